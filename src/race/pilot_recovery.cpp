// Recovery: waiting at the gate, walking a wedged bike back, riding through a tangle of bikes,
// and the marshals' push for a bike stalled on a face it cannot climb.
#include "race/pilot_local.h"
#include "race/race_local.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int k_stuck_tics = 2 * k_tics_per_second;        // standing this long, a robot backs up
constexpr int k_back_up_tics = k_tics_per_second;          // a walk back lasts at least this
constexpr int k_back_up_most_tics = 4 * k_tics_per_second; // and at most this
constexpr double k_facing_angle = 0.5; // rad off the point headed for, a bike may ride on
constexpr int k_untangle_tics = 6 * k_tics_per_second; // wedged this long, a robot rides through
constexpr double k_untangle_reach = 12; // ft between frames within which bikes may touch
constexpr double k_push = 8;            // ft/s² the marshals give a stalled bike
} // namespace

// Behind the gate before the drop: engine free, brakes on.
rider_input waiting_input() {
    rider_input in;
    in.clutch = 0;
    in.front_brake = in.rear_brake = 1;
    return in;
}

// A robot that has made no way along its path for a while with its bike upright, wedged on a
// crest, against hay bales or nose to nose with another bike, walks its bike back and turns it
// towards the point it heads for, until it faces that point or the walk has gone on long enough.
bool backing_up(robot_state& r, int slot, int bike, int now, double lambda) {
    // A bike on the move is not wedged, however far it is from its path.
    vec3d v = bike_frame_velocity(bike);
    if (knocked_off(bike) || std::fabs(lambda) > 0.4 ||
        v.x * v.x + v.z * v.z > k_standing_speed * k_standing_speed)
        r.stuck_since = now;
    int since = std::max(r.stuck_since, r.last_advance);
    if (now >= r.backing_until && now - since > k_stuck_tics) {
        r.backing_until = now + k_back_up_most_tics;
        r.stuck_since = r.backing_until;
    }
    if (now >= r.backing_until) return false;
    const line_point& p = path_at(r, r.next_point);
    vec3d x = bike_frame_position(bike), f = bike_forward(bike);
    double tx = p.x - x.x, tz = p.z - x.z;
    // The angle from the bike's heading to the point, positive turning about the world's up.
    double angle = std::atan2(f.z * tx - f.x * tz, f.x * tx + f.z * tz);
    if (now - (r.backing_until - k_back_up_most_tics) >= k_back_up_tics &&
        std::fabs(angle) < k_facing_angle) {
        r.backing_until = now;
        r.stuck_since = now;
        return false;
    }
    rider_input in;
    in.clutch = 0;
    in.back_up = 1;
    // Walking back, the steer turns the bike about the vertical the other way round.
    in.steer = static_cast<float>(std::clamp(-2 * angle, -1.0, 1.0));
    rider_input_set(slot, in);
    return true;
}

// A robot that has reached no point of its path for long, whatever holds it (a crowd at the
// start, a queue stalled on a jump's face, a bike lying across its line), rides through the
// other bikes until it reaches a point and is clear of them all.
void untangle_update(robot_state& r, int slot, int bike, int now) {
    if (now - r.last_reached > k_untangle_tics) {
        r.untangling = true;
        return;
    }
    if (!r.untangling) return;
    const vec3d x = bike_frame_position(bike);
    for (int o = 0; o < k_max_riders; o++) {
        int other = race_slot(o).bike;
        if (o == slot || other < 0) continue;
        vec3d d = bike_frame_position(other) - x;
        if (dot(d, d) < k_untangle_reach * k_untangle_reach && bikes_overlap(bike, other)) return;
    }
    r.untangling = false;
}

// Stalled for long, upright and driving, on a face too steep to climb from a standstill or among
// bikes, a robot is pushed on by the marshals as a stuck rider is.
void marshals_push(const robot_state& r, const drive_state& d, const rider_input& in) {
    if (r.untangling && d.s < 2 * k_standing_speed && d.rear.touching && !d.knocked &&
        std::fabs(d.lambda) < 0.4 && in.throttle > 0) {
        const double level = std::hypot(d.forward.x, d.forward.z);
        if (level > 1e-6) {
            double f = k_push * bike_total_mass(d.bike) / level;
            bike_push(d.bike, {d.forward.x * f, 0, d.forward.z * f});
        }
    }
}
