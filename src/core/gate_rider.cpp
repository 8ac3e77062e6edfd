// The rider behind "--autopilot": the gate follower riding the local bike.
#include "core/gate_rider.h"

#include "race/scripted_rider.h"
#include "race/race.h"
#include "race/race_timing.h"

#include <algorithm>

namespace {
struct gate_rider_state {
    gate_follower follower;
    int bike = -1;       // the bike being ridden
    int last_clock = -1; // race clock of the previous tic
};
gate_rider_state g_gate_rider;
} // namespace

void gate_rider_reset() { g_gate_rider = gate_rider_state{}; }

rider_input gate_rider_input(int slot) {
    gate_rider_state& a = g_gate_rider;
    const int bike = race_slot(slot).bike;
    const int clock = race_clock();
    if (bike != a.bike || clock < a.last_clock) {
        gate_follower_reset(a.follower, timing_of(slot).position);
        a.follower.turn_speed = 30;
        a.bike = bike;
    }
    a.last_clock = clock;
    if (bike < 0 || clock <= race_gate_drop_tic() || race_false_start_hold() > 0)
        return gate_follower_wait();
    // The follower and the timing each decide when the front wheel has reached a gate. A
    // follower that got ahead would ride for gates the timing no longer counts (it counts the gate
    // due or one of the next two) and a whole lap round for the one missed: the follower rides
    // for no gate past the one after the gate due, so the timing counts the next it reaches.
    // Past the finish the timing counts nothing more, and the rider rides on round the lap.
    if (!rider_finished(slot)) {
        const int due = timing_of(slot).position;
        a.follower.position = std::clamp(a.follower.position, due, due + 1);
    }
    return gate_follower_input(a.follower, bike);
}
