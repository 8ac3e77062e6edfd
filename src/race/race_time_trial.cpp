// Time trial: one rider lapping from just before the finish, each lap timed on its own.
#include "race/race_local.h"
#include "race/race_timing.h"

#include "bike/bike.h"

#include <cmath>

void time_trial_place() {
    race_state& r = race();
    int bike = r.slots[0].bike;
    if (bike < 0) return;
    if (gate_count() == 0) {
        race_place_on_grid(bike, 0);
        return;
    }
    int crossing = std::max(first_lap_length() - 3, 0);
    const timing_gate& g = gate_at(gate_at_position(crossing));
    float heading = std::atan2(-g.direction[0], -g.direction[2]);
    race_place_bike(bike, g.centre[0], g.centre[2], heading, nullptr, 0);
    timing_clear(0);
    timing_set_position(0, crossing);
    r.trial_laps_seen = laps_completed(0);
    running_order_update();
}

namespace {
// The lap just ridden from the finish back to the finish, in tics (0 or less when unknown).
int timed_lap_tics(int slot) {
    int first = first_lap_length(), normal = normal_lap_length();
    const rider_timing& t = timing_of(slot);
    return crossing_tic(t, first + normal - 1) - crossing_tic(t, first - 1);
}

void best_lap_offer(int lap) {
    race_state& r = race();
    if (lap > 0 && (r.best_lap_tics <= 0 || lap < r.best_lap_tics)) r.best_lap_tics = lap;
}

// The player has crossed the finish: every other rider goes, and the fastest lap comes back as
// the ghost, starting from the finish together with the player while this lap is recorded.
void timed_lap_start() {
    race_state& r = race();
    for (int slot = 1; slot < k_max_riders; slot++) {
        rider_slot& s = r.slots[slot];
        if (s.bike >= 0) bike_destroy(s.bike);
        s = rider_slot{};
        timing_set_occupied(slot, false);
    }
    r.ghost_lap_counted = false;
    if (r.demo) r.demo->trial_lap_start();
    if (race_demo_rider(1) >= 0) {
        timing_clear(1);
        timing_set_occupied(1, true);
        timing_set_position(1, first_lap_length() - 1);
    }
    running_order_update();
}

// A ghost that completes its lap before the player still sets the best lap.
void ghost_lap_check() {
    race_state& r = race();
    if (r.ghost_lap_counted || r.slots[1].bike < 0 || laps_completed(1) < 2) return;
    r.ghost_lap_counted = true;
    best_lap_offer(timed_lap_tics(1));
}
} // namespace

void time_trial_tic() {
    race_state& r = race();
    if (r.slots[0].bike < 0) return;
    if (r.params.back_up_aborts_attempt && rider_input_of(0).back_up > 0.5f) {
        time_trial_place();
        return;
    }
    ghost_lap_check();
    int laps = laps_completed(0);
    if (laps == r.trial_laps_seen) return;
    r.trial_laps_seen = laps;
    // The first lap ends where the timed laps start; from then on each lap is timed alone.
    if (laps == 1) timed_lap_start();
    if (laps < 2) return;
    int lap = timed_lap_tics(0);
    r.last_lap_tics = lap;
    best_lap_offer(lap);
    // Kept as the fastest lap when the player reached the finish before the ghost did.
    bool ghost_behind = r.slots[1].bike < 0 || laps_completed(1) < 2;
    if (r.demo) r.demo->trial_lap_end(lap > 0 && ghost_behind);
    int first = first_lap_length();
    for (int slot = 0; slot < k_max_riders; slot++)
        if (r.slots[slot].bike >= 0) timing_set_position(slot, first - 1);
    r.trial_laps_seen = laps_completed(0);
    running_order_update();
}

int time_trial_last_lap_tics() { return race().last_lap_tics; }
int time_trial_best_lap_tics() { return race().best_lap_tics; }
