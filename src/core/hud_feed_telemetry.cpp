// The followed rider's telemetry taken from its bike and controls once per world tic.
#include "core/hud_feed.h"

#include "bike/bike.h"
#include "race/race.h"

#include <cmath>

namespace {
// The throttle of a rider whose controls are not ours: the newest snapshot received of it.
float recorded_throttle(int slot, int bike) {
    int tic = 0;
    compact_state state;
    if (!history_entry_at(slot, 0, &tic, &state)) return 0;
    const bike_info& info = bike_info_of(bike);
    const compact_ranges ranges{1, 0, info.swingarm_travel, info.fork_travel};
    return compact_state_unpack(state, ranges).throttle;
}

hud_suspension_sample suspension_of(const suspension_telemetry& t) {
    return {t.position, t.speed, t.low_speed_share};
}
} // namespace

bool hud_telemetry_sample_of(int slot, hud_telemetry_sample* out) {
    if (slot < 0 || slot >= k_max_riders) return false;
    const rider_slot& s = race_slot(slot);
    const int bike = s.bike;
    if (bike < 0 || !bike_live(bike)) return false;
    hud_telemetry_sample t;
    t.slot = slot;
    t.brakes_known = s.kind != rider_remote;
    const rider_input& in = rider_input_of(slot);
    t.speed = std::fabs(bike_speed_mph(bike));
    t.throttle = t.brakes_known ? in.throttle : recorded_throttle(slot, bike);
    t.front_brake = t.brakes_known ? in.front_brake : 0;
    t.rear_brake = t.brakes_known ? in.rear_brake : 0;
    t.gear = bike_gear(bike);
    t.fork = suspension_of(fork_telemetry(bike));
    t.shock = suspension_of(shock_telemetry(bike));
    *out = t;
    return true;
}
