// What a track script reads of the race: the clock, the race's length, the running order and
// each slot's timing, rider and main body.
#include "race/race_local.h"

#include "race/race_timing.h"
#include "track/track_script.h"

namespace {
int finish_time() { return race().params.time_limit_tics; }
int finish_laps() { return race().params.laps; }
int running_count() { return running_order_count(); }

void order_entry(int i, int* slot, int* position, int* tic) {
    const running_entry& e = running_order_at(i);
    *slot = e.slot;
    *position = e.position;
    *tic = e.tic;
}

bool occupied(int slot) { return race().slots[slot].bike >= 0; }
int timing_position(int slot) { return timing_of(slot).position; }
int crossing(int slot, int k) { return crossing_tic(timing_of(slot), k); }
bool rider_down(int slot) {
    return bike_rider_down(race().slots[slot].bike) && !rider_finished(slot);
}
const char* rider_number(int slot) { return race().slots[slot].number; }
const char* rider_name(int slot) { return race().slots[slot].name; }

bool body_vector(int slot, double out[3], vec3d (*get)(int, int)) {
    const int bike = race().slots[slot].bike;
    if (!bike_live(bike)) return false;
    const vec3d v = get(bike, body_frame);
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
    return true;
}
bool body_position(int slot, double out[3]) { return body_vector(slot, out, bike_body_position); }
bool body_velocity(int slot, double out[3]) { return body_vector(slot, out, bike_body_velocity); }
} // namespace

const script_race k_race_script = {race_clock,    race_gate_drop_tic, finish_time,  finish_laps,
                                   running_count, order_entry,        occupied,     timing_position,
                                   crossing,      rider_down,         rider_number, rider_name,
                                   body_position, body_velocity};
