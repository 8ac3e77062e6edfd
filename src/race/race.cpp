// The race: rider slots, the race clock, starting a race and the race tic.
#include "race/race.h"

#include "bike/bike_contact.h"
#include "bike/bike_rider.h"
#include "bike/bike_sim.h"
#include "bike/bike_state.h"
#include "bike/state_history.h"
#include "race/race_grid.h"
#include "race/race_timing.h"
#include "track/track.h"

namespace {
struct race_state {
    rider_slot slots[k_max_riders];
    int lineup[k_lineup_size] = {};
    int robot_order[k_robot_count] = {};
    int clock = 0;     // tics
    int gate_drop = 0; // tic
};
race_state g_race;
}

rider_slot& race_slot(int slot) { return g_race.slots[slot]; }

void race_clear_slots() {
    for (rider_slot& s : g_race.slots) s = rider_slot{};
    for (int& code : g_race.lineup) code = 0;
}

int* race_lineup() { return g_race.lineup; }

bool race_start(const race_start_params& params) {
    // The shared generator is reseeded from the clock as it stands at the reset.
    robot_order_shuffle(g_race.clock, g_race.robot_order);
    g_race.gate_drop = params.playback ? 14 * k_tics_per_second : gate_drop_draw();
    g_race.clock = 0;
    rider_set_gate_drop_tic(g_race.gate_drop);
    timing_reset(params.time_limit_tics, params.laps, g_race.gate_drop);
    if (!params.track.empty() && !track_reset(params.track.c_str(), false)) return false;
    history_clear_all();
    for (int slot = 0; slot < k_max_riders; slot++) timing_set_occupied(slot, g_race.slots[slot].bike >= 0);
    running_order_update();
    return true;
}

// The simulation part of the race tic: the world step, every bike prepared for the next step,
// then the gates each bike crossed.
void race_world_tic() {
    if (world_exists()) {
        int bikes[k_max_riders], count = 0;
        for (const rider_slot& s : g_race.slots)
            if (s.bike >= 0 && s.kind != rider_remote) bikes[count++] = s.bike;
        bikes_collide_all(bikes, count);
        world_step();
        world_set_clock(g_race.clock);
        for (int slot = 0; slot < k_max_riders; slot++) {
            int bike = g_race.slots[slot].bike;
            if (bike < 0) continue;
            rider_input_from_slot(bike, slot);
            bike_prepare(bike);
        }
        for (int slot = 0; slot < k_max_riders; slot++) {
            if (g_race.slots[slot].bike < 0) continue;
            const dReal* wheel = dBodyGetPosition(bike_at(g_race.slots[slot].bike).bodies[body_front_wheel]);
            gate_crossing_check(slot, static_cast<float>(wheel[0]), static_cast<float>(wheel[2]), g_race.clock);
        }
    }
    timed_race_end(g_race.clock);
    g_race.clock++;
}

int race_clock() { return g_race.clock; }
int race_gate_drop_tic() { return g_race.gate_drop; }
