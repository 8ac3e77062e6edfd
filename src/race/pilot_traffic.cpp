// Traffic: every bike's footprint read once a tic, and the room a robot leaves the bike ahead
// whose footprint meets its own.
#include "race/pilot_local.h"
#include "race/race_local.h"

#include <algorithm>
#include <cmath>

namespace {
// What every robot reads of every bike in one tic.
struct bike_view {
    vec3d x, v;
    double speed = 0;
    vec3d back; // unit, against the direction of travel
    double corners[4][2];
    double mid_x = 0, mid_z = 0; // the footprint's centre
    double radius = 0;           // ft from the centre holding the footprint, with slack
    bool down = false;           // lying over or its rider off it
};

struct traffic_state {
    int view_tic = -1;
    bike_view views[k_max_riders];
    int present[k_max_riders]; // the slots of the views present, in slot order
    int present_count = 0;
};
traffic_state g_traffic;
// Passing a bike standing or lying on the path: how wide of the robot's heading it counts, how
// far ahead, and how fast the robot goes by.
constexpr double k_pass_clearance = 5;     // ft between the frames, side to side
constexpr double k_passing_speed = 15;     // ft/s
constexpr double k_obstacle_seconds = 1.5; // of travel ahead within which an obstacle is passed
constexpr double k_beside = 2;             // ft ahead: a bike nearer is beside, not ahead
constexpr double k_down_lean = 1.0;        // rad from upright: a bike lying over
constexpr int k_start_grace_tics = 3 * k_tics_per_second; // the grid still pulling away

// The corners of a bike's footprint: 2 ft either side, from 4 ft behind to 4 ft plus a
// second's travel ahead.
void footprint(const bike_view& w, double corners[4][2]) {
    double dx = w.back.x, dz = w.back.z;
    double fl = std::sqrt(dx * dx + dz * dz);
    if (fl > 0) {
        dx /= fl;
        dz /= fl;
    }
    double lx = dz, lz = -dx;
    double behind = 4, ahead = -(4 + w.speed);
    const double along[4] = {behind, behind, ahead, ahead};
    const double side[4] = {-2, 2, 2, -2};
    for (int k = 0; k < 4; k++) {
        corners[k][0] = w.x.x + dx * along[k] + lx * side[k];
        corners[k][1] = w.x.z + dz * along[k] + lz * side[k];
    }
}

// Separating axes of two footprints: false as soon as one axis parts them. A footprint is a
// rectangle, so its first two edges give every axis its four edges would.
bool footprints_overlap(const double a[4][2], const double b[4][2]) {
    for (const double(*q)[2] : {a, b}) {
        for (int k = 0; k < 2; k++) {
            double nx = -(q[(k + 1) % 4][1] - q[k][1]), nz = q[(k + 1) % 4][0] - q[k][0];
            double amin = 1e300, amax = -1e300, bmin = 1e300, bmax = -1e300;
            for (int m = 0; m < 4; m++) {
                double pa = a[m][0] * nx + a[m][1] * nz, pb = b[m][0] * nx + b[m][1] * nz;
                amin = std::min(amin, pa);
                amax = std::max(amax, pa);
                bmin = std::min(bmin, pb);
                bmax = std::max(bmax, pb);
            }
            if (amax < bmin || bmax < amin) return false;
        }
    }
    return true;
}

// The target speed near the bike `o` ahead: keep a gap that grows after the start and shrinks
// towards the end of a long race, and do not ride into it.
double avoid(int other, vec3d x, double s, vec3d back, vec3d lateral, double turn_radius,
             double target, bool* cleared) {
    const bike_view& o = g_traffic.views[other];
    double tau = std::min((race_clock() - race_gate_drop_tic()) * k_tic_length, 100.0);
    double k = clamp01((tau - 3) / 2) * clamp01((120 - tau) / 100);
    double room = 12 + 8 * k;
    double distance = length(o.x - x);
    vec3d q = o.x - (x + (lateral * turn_radius));
    double qq = dot(q, q);
    vec3d tangential = qq > 0 ? (o.v - (q * (dot(o.v, q) / qq))) : o.v;
    double u = dot(tangential, back) < 0 ? length(tangential) : 0;
    if (distance >= room) {
        if (u < target) {
            double et = (s - u) / 5;
            double overlap = (s * et - 2.5 * et * et) - (u * et + distance);
            if (overlap > -room) {
                target += (u - target) * clamp01((overlap + room) / 3);
                *cleared = true;
            }
        }
    } else {
        target = std::min(target, (1 - 0.25 * k) * u);
    }
    return target;
}
} // namespace

void traffic_refresh(int tic) {
    if (g_traffic.view_tic == tic) return;
    g_traffic.view_tic = tic;
    g_traffic.present_count = 0;
    for (int slot = 0; slot < k_max_riders; slot++) {
        bike_view& w = g_traffic.views[slot];
        int bike = race_slot(slot).bike;
        if (bike < 0) continue;
        w.x = bike_frame_position(bike);
        w.v = bike_frame_velocity(bike);
        w.speed = length(w.v);
        w.back = backward_of(bike, w.v, w.speed);
        w.down = knocked_off(bike) || std::fabs(bike_lean_angle(bike)) > k_down_lean;
        footprint(w, w.corners);
        w.mid_x = (w.corners[0][0] + w.corners[2][0]) / 2;
        w.mid_z = (w.corners[0][1] + w.corners[2][1]) / 2;
        w.radius =
            std::hypot(w.corners[2][0] - w.corners[0][0], w.corners[2][1] - w.corners[0][1]) / 2 +
            1e-6;
        // A robot riding through the others still reads where it is itself.
        if (!race_rider_passes_through(slot)) g_traffic.present[g_traffic.present_count++] = slot;
    }
}

vec3d backward_of(int bike, vec3d v, double speed) {
    if (speed > 1e-6) return v * (-1 / speed);
    vec3d f = bike_forward(bike);
    return f * -1.0;
}

namespace {
// An obstacle is a bike standing or lying where the robot rides: once the grid has pulled away, a
// standing bike is no leader to follow.
bool obstacle(const bike_view& o, int now) {
    return o.down ||
           (o.speed < k_standing_speed && now - race_gate_drop_tic() > k_start_grace_tics);
}
} // namespace

bool traffic_step(const robot_state& r, drive_state& d) {
    traffic_refresh(d.now);
    const bike_view& me = g_traffic.views[d.slot];
    int nearest = -1;
    double nearest_d2 = 0;
    const double reach = 4 + d.s * k_obstacle_seconds + k_pass_clearance;
    // A robot riding through the others waits for none of them.
    for (int k = 0; k < g_traffic.present_count && !r.untangling; k++) {
        const int o = g_traffic.present[k];
        const bike_view& other = g_traffic.views[o];
        if (o == d.slot) continue;
        vec3d dx = other.x - d.x;
        if (obstacle(other, d.now)) {
            // Passed at a passing speed, never followed down to a standstill.
            double along = -(dx.x * d.back.x + dx.z * d.back.z);
            double side = dx.x * d.lateral.x + dx.z * d.lateral.z;
            if (along >= k_beside && along <= reach && std::fabs(side) < k_pass_clearance)
                d.target = std::min(d.target, k_passing_speed);
            continue;
        }
        double d2 = dot(dx, dx);
        if (nearest >= 0 && d2 >= nearest_d2) continue;
        // Footprints whose enclosing circles are apart are apart.
        double mx = other.mid_x - me.mid_x, mz = other.mid_z - me.mid_z;
        double apart = me.radius + other.radius;
        if (mx * mx + mz * mz > apart * apart) continue;
        if (dot(dx, d.back + other.back) >= 0) continue;
        if (!footprints_overlap(me.corners, other.corners)) continue;
        nearest = o;
        nearest_d2 = d2;
    }
    if (nearest < 0) return false;
    bool cleared = false;
    d.target = avoid(nearest, d.x, d.s, d.back, d.lateral, d.turn_radius, d.target, &cleared);
    return cleared;
}

void traffic_reset() { g_traffic = traffic_state{}; }
