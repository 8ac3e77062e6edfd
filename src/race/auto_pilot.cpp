// The auto pilot: line picking with the personalities' time modes, path following, the control
// law of steering, lean and speed, room for the bike ahead, and the statistics of robot runs.
#include "race/auto_pilot.h"

#include "race/race_local.h"
#include "race/race_timing.h"
#include "race/robot_lines.h"
#include "race/robot_list.h"

#include "bike/bike.h"
#include "common/message.h"
#include "platform/log.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cmath>

namespace {
constexpr int k_picks_kept = 8;          // lines remembered per robot for their statistics
constexpr int k_points_short = 10;       // a new line is picked when fewer remain ahead
constexpr int k_points_passed_kept = 30; // passed points a path keeps behind the robot
constexpr int k_points_passed_ahead = 8; // a point reached passes the ones before it
constexpr int k_lost_tics = 3 * k_tics_per_second;
constexpr int k_fresh_path_tics = 12 * k_tics_per_second;
constexpr int k_retry_tics = k_tics_per_second; // after a pick found no line
constexpr int k_picks_per_tic = 4;
constexpr int k_empty_segments_skipped = 4;
constexpr int k_shift_tics = 32;                           // between gear changes
constexpr float k_full_lock_speed = 1;                     // ft/s
constexpr int k_stuck_tics = 2 * k_tics_per_second;        // standing this long, a robot backs up
constexpr int k_back_up_tics = k_tics_per_second;          // a walk back lasts at least this
constexpr int k_back_up_most_tics = 4 * k_tics_per_second; // and at most this
constexpr double k_facing_angle = 0.5; // rad off the point headed for, a bike may ride on
constexpr int k_patience_tics = k_tics_per_second; // held up this long, standing bikes are passed
constexpr double k_standing_speed = 2;             // ft/s
constexpr double k_point_seconds = k_line_point_tics * k_tic_length;
constexpr double k_no_jump = 1000000; // s
constexpr double k_lean_speed = 10;   // ft/s from which a robot leans into its turns fully
// Leaning less than this (rad, π/8 to seven places) on a straight, a robot aims a point further on.
constexpr double k_straight_lean = 0.3926991;
// Squaring up for a take-off, the lean allowed falls by this much (rad, 7π/16 to seven places):
// from π/2 to π/16.
constexpr double k_take_off_lean_cut = 1.3744469;
constexpr int k_untangle_tics = 6 * k_tics_per_second; // wedged this long, a robot rides through
constexpr double k_untangle_reach = 12; // ft between frames within which bikes may touch
constexpr double k_push = 8;            // ft/s² the marshals give a stalled bike
constexpr int k_gates_past = 2;         // gates past the last that counts, a path has missed it
constexpr int k_ride_back_tics = 30 * k_tics_per_second; // the longest a robot seeks a gate
constexpr int k_short_lap = 12; // learned gates of a lap too short to tell ahead from behind

// A line a robot picked: where it starts and which it is.
struct picked_line {
    int segment = -1;
    int32_t serial = 0;
};

struct robot_state {
    int personality = 0;
    std::vector<line_point> path;
    std::vector<int> path_segments; // the segment of the line each path point came from
    int next_point = 0;             // index of the path point headed for
    int last_advance = 0;           // tic the robot last reached a point
    int last_reached = 0;           // the same, not moved on by the lost rule
    int lost = 0;
    int next_segment = -1; // where the next line starts; -1 to find it from the timing position
    int retry_tic = 0;     // no pick before this tic
    picked_line picks[k_picks_kept];
    int pick_ring = 0;
    float previous_throttle = 0;
    int grip_limited_tic = k_never_picked;
    int crashes_seen = 0;
    bool finished = false;
    int stuck_since = 0;   // tic a spell of no way along the path may start from
    int backing_until = 0; // tic a step back ends
    bool untangling = false;
    int rode_back_at = -1; // the timing position at which the robot last turned back for a gate
    int rode_back_tic = 0; // and when
    // The gate due and the line headed along when the robot last asked whether it missed a gate.
    int missed_asked_position = -2, missed_asked_segment = -2;
};

// What every robot reads of every bike in one tic.
struct bike_view {
    vec3d x, v;
    double speed = 0;
    vec3d back; // unit, against the direction of travel
    double corners[4][2];
    double mid_x = 0, mid_z = 0; // the footprint's centre
    double radius = 0;           // ft from the centre holding the footprint, with slack
};

struct pilot_state {
    robot_state robots[k_max_riders];
    bool practice = false;
    int view_tic = -1;
    bike_view views[k_max_riders];
    int present[k_max_riders]; // the slots of the views present, in slot order
    int present_count = 0;
    bool said_no_lines = false; // the player was told the robots have no line to ride
    double grip_mu = -1;        // the friction grip_theta was worked out for
    double grip_theta = 0;
};
pilot_state g_pilot;

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

vec3d point_of(const line_point& p) { return {p.x, p.y, p.z}; }

// The backward unit vector of travel; a bike at rest takes its frame's backward axis.
vec3d backward_of(int bike, vec3d v, double speed) {
    if (speed > 1e-6) return v * (-1 / speed);
    vec3d f = bike_forward(bike);
    return f * -1.0;
}

void footprint(const bike_view& w, double corners[4][2]);

void views_refresh(int tic) {
    if (g_pilot.view_tic == tic) return;
    g_pilot.view_tic = tic;
    g_pilot.present_count = 0;
    for (int slot = 0; slot < k_max_riders; slot++) {
        bike_view& w = g_pilot.views[slot];
        int bike = race_slot(slot).bike;
        if (bike < 0) continue;
        w.x = bike_frame_position(bike);
        w.v = bike_frame_velocity(bike);
        w.speed = length(w.v);
        w.back = backward_of(bike, w.v, w.speed);
        footprint(w, w.corners);
        w.mid_x = (w.corners[0][0] + w.corners[2][0]) / 2;
        w.mid_z = (w.corners[0][1] + w.corners[2][1]) / 2;
        w.radius =
            std::hypot(w.corners[2][0] - w.corners[0][0], w.corners[2][1] - w.corners[0][1]) / 2 +
            1e-6;
        // A robot riding through the others still reads where it is itself.
        if (!race_rider_passes_through(slot)) g_pilot.present[g_pilot.present_count++] = slot;
    }
}

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

// The path point at index k, the index clamped to the path.
const line_point& path_at(const robot_state& r, int k) {
    int n = static_cast<int>(r.path.size());
    return r.path[std::clamp(k, 0, n - 1)];
}

// The point at a fractional index q: from the nearest point towards the next.
vec3d path_point(const robot_state& r, double q) {
    int m = static_cast<int>(std::lround(q));
    vec3d a = point_of(path_at(r, m)), b = point_of(path_at(r, m + 1));
    return a + ((b - a) * (q - m));
}

// The first learned crossing from c on, -1 when none.
int learned_from(int c) {
    int limit = c + 2 * k_max_lap_entries;
    for (int k = std::max(c, 0); k < limit; k++)
        if (line_segment_of_crossing(k) >= 0) return k;
    return -1;
}

void picks_clear(robot_state& r) {
    for (picked_line& p : r.picks) p = picked_line{};
}

// The slot of the line the robot picked for a segment, -1 when none is remembered.
int picked_slot(const robot_state& r, int segment) {
    if (segment < 0) return -1;
    for (int k = 0; k < k_picks_kept; k++) {
        // The newest pick for the segment counts.
        const picked_line& p = r.picks[(r.pick_ring - 1 - k + 2 * k_picks_kept) % k_picks_kept];
        if (p.segment == segment) return line_with_serial(segment, p.serial);
    }
    return -1;
}

void add_failure(const robot_state& r, int segment) {
    int slot = picked_slot(r, segment);
    if (slot < 0) return;
    lines_record_failure(segment, slot);
}

// The time mode by the gap to the rider ahead at the robot's last crossing.
int time_mode(int slot, const robot_personality& p) {
    const rider_timing& me = timing_of(slot);
    int c = me.position - 1;
    double gap = 1e9;
    for (int i = 1; i < running_order_count() && c >= 0; i++) {
        if (running_order_at(i).slot != slot) continue;
        int mine = crossing_tic(me, c),
            theirs = crossing_tic(timing_of(running_order_at(i - 1).slot), c);
        if (mine >= 0 && theirs >= 0) gap = (mine - theirs) * k_tic_length;
        break;
    }
    return gap <= p.gap_threshold ? p.time_mode_near : p.time_mode_far;
}

// How well a line starts where the robot's path ends: on the same turn, not much slower.
double line_match(const robot_state& r, const racing_line& l, vec3d x) {
    if (l.points.size() < 2) return 0;
    size_t n = r.path.size();
    if (n < 3) {
        double m = clamp01((100 - length(point_of(l.points[0]) - x)) / 96);
        return 10 * m * m * m;
    }
    double cx, cz;
    line_circle_centre(r.path[n - 3], r.path[n - 2], r.path[n - 1], &cx, &cz);
    double radius = std::hypot(r.path[n - 1].x - cx, r.path[n - 1].z - cz);
    double d1 = std::hypot(l.points[0].x - cx, l.points[0].z - cz);
    double d2 = std::hypot(l.points[1].x - cx, l.points[1].z - cz);
    double v = std::fabs(r.path[n - 1].speed);
    double a = clamp01((v - std::fabs(l.points[0].speed) - 15) * -0.2);
    double b = clamp01((std::fabs(radius - d1) - 5) * -0.2857143);
    double c = clamp01((std::fabs(d2 - d1) - 3) * -0.5);
    double bc = b * c;
    return a * bc * bc * bc;
}

bool segment_has_lines(int segment) {
    for (const racing_line& l : line_segment_at(segment).lines)
        if (!l.points.empty()) return true;
    return false;
}

// The next line's segment: where the path's last line ends, else the next learned gate.
int segment_to_pick(robot_state& r, int slot) {
    if (r.next_segment >= 0) return r.next_segment;
    int c = learned_from(timing_of(slot).position);
    return c >= 0 ? line_segment_of_crossing(c) : -1;
}

// The robot went down: its lines here take the blame, and it forgets what it picked.
void robot_went_down(robot_state& r, int slot) {
    const rider_timing& t = timing_of(slot);
    int last = line_learned_before(t.position);
    if (last >= 0) {
        add_failure(r, line_segment_of_crossing(last));
        int before = line_learned_before(last);
        int since = race_clock() - crossing_tic(t, last);
        if (before >= 0 && since < k_tics_per_second)
            add_failure(r, line_segment_of_crossing(before));
    }
    picks_clear(r);
}

// A finished robot rides out the rest of its path slower and slower.
void robot_finished(robot_state& r) {
    int n = static_cast<int>(r.path.size());
    int from = std::min(r.next_point, n);
    int left = n - from;
    for (int k = from; k < n; k++) {
        double remaining = left > 1 ? static_cast<double>(n - 1 - k) / (left - 1) : 0;
        r.path[k].speed *= static_cast<float>(0.25 + 0.75 * remaining);
    }
}

// Moves the point headed for on while the robot is near it going its way. A robot that came
// near a later point of the next few has passed the ones before it too.
void follow_path(robot_state& r, vec3d x, vec3d heading, int now, int slot) {
    double reach = r.lost > 0 ? 30 : 60;
    int n = static_cast<int>(r.path.size());
    auto reached = [&](int k) {
        const line_point& p = r.path[k];
        double dx = p.x - x.x, dz = p.z - x.z;
        double d2 = dx * dx + dz * dz;
        if (d2 > reach * reach) return false;
        if (d2 <= 16) return true;
        // The path's direction there must not run against the robot's heading.
        const line_point& after = k + 1 < n ? r.path[k + 1] : p;
        const line_point& before = k > 0 ? r.path[k - 1] : p;
        return (after.x - before.x) * heading.x + (after.z - before.z) * heading.z >= 0;
    };
    // Sent back for a gate it missed, a robot heads for its line's start at the gate until it has
    // crossed the gate, however near the points beyond are.
    int most = n;
    if (r.rode_back_at == timing_of(slot).position && now - r.rode_back_tic < k_ride_back_tics)
        most = std::min(n, 1);
    for (;;) {
        int last = -1;
        for (int k = r.next_point; k < std::min(most, r.next_point + k_points_passed_ahead); k++)
            if (reached(k)) last = k;
        if (last < 0) break;
        for (; r.next_point <= last; r.next_point++)
            if (r.lost > 0) r.lost--;
        r.last_advance = r.last_reached = now;
    }
    // Points close together are all reached from afar; the path has run out only once the robot
    // has passed its end.
    if (r.next_point >= n &&
        (n == 0 || (r.path[n - 1].x - x.x) * heading.x + (r.path[n - 1].z - x.z) * heading.z < 0)) {
        r.path.clear();
        r.path_segments.clear();
        r.next_point = 0;
        r.next_segment = -1;
    }
}

// The robot forgets its path and picks its next line afresh, from `segment` or, with -1, from
// the next gate it has to cross.
void path_drop(robot_state& r, int segment, int now) {
    r.path.clear();
    r.path_segments.clear();
    r.next_point = 0;
    r.next_segment = segment;
    r.last_advance = r.last_reached = now;
    picks_clear(r);
}

// A robot whose path has taken it well past the last gate it may still cross would have to ride a
// whole lap round to it: the segment of that gate, for the robot to ride back to it, or -1 while
// nothing is missed.
int gate_to_ride_back_to(robot_state& r, int slot) {
    int n = static_cast<int>(r.path_segments.size());
    if (r.next_point >= n) return -1;
    int position = timing_of(slot).position;
    // The answer changes only with the gate due and the line headed along; asked again, it is
    // no, as it was (a yes drops the path).
    if (position == r.missed_asked_position &&
        r.path_segments[r.next_point] == r.missed_asked_segment)
        return -1;
    r.missed_asked_position = position;
    r.missed_asked_segment = r.path_segments[r.next_point];
    // Once sent back, a robot is not sent back again before it has crossed a gate.
    if (position == r.rode_back_at) return -1;
    int last = -1; // the last crossing that still counts, when it has lines
    for (int c = position; c <= position + k_gates_counted_past; c++) {
        if (line_segment_of_crossing(c) >= 0) last = c;
        if (crossing_completes_lap(c)) break;
    }
    if (last < 0) return -1;
    int last_segment = line_segment_of_crossing(last);
    // Lines span two gates: a path whose line starts two gates or more past the last one that
    // counts has left it behind. On a lap of few gates ahead and behind cannot be told apart.
    int heading_for = r.path_segments[r.next_point], past = -1;
    for (int k = 1; k < k_short_lap; k++) {
        int s = line_segment_on(last_segment, k);
        if (s < 0 || s == last_segment) return -1;
        if (s == heading_for && past < 0) past = k;
    }
    return past >= k_gates_past && past <= k_gates_past + 3 ? last_segment : -1;
}

// The engine speed the bike's road speed s makes in its gear (rpm).
double road_rpm(int bike, double s) {
    const bike_info& info = bike_info_of(bike);
    double radius = info.rear_rim_radius + info.rear_tyre_radius;
    double ratio = info.gear_ratios[bike_gear(bike)] * info.primary_ratio *
                   bike_params_of(bike).final_drive_ratio;
    return radius > 0 ? s / radius * ratio * k_rpm_per_radian_per_second : 0;
}

// Throttle, clutch and brakes for a speed s towards the target T.
void speed_control(int bike, double s, double target, double pitch_rate, bool rear_down,
                   bool knocked, rider_input& in) {
    if (!rear_down) {
        in.front_brake = in.rear_brake = 0;
        in.clutch = 1;
        double rear_y = bike_body_position(bike, body_rear_wheel).y;
        double front_y = bike_body_position(bike, body_front_wheel).y;
        if ((rear_y <= front_y || pitch_rate >= 0) && pitch_rate >= -k_pi / 4) {
            // In the air, nose up or level: off the throttle; a high nose is brought down with
            // the rear brake.
            in.throttle = 0;
            if (front_y > rear_y + 1 && pitch_rate >= -k_pi / 8) {
                in.clutch = 0;
                in.rear_brake = 1;
            } else {
                in.clutch = 0.125f;
            }
        } else {
            // Nose falling: the spinning wheel lifts it.
            in.throttle = knocked ? 0 : 1;
            in.clutch = 0.125f;
        }
        return;
    }
    in.front_brake = in.rear_brake = 0;
    if (s < target - 1) {
        in.throttle = 1;
    } else {
        double over = s - (target - 1);
        if (over < 1) {
            in.throttle = static_cast<float>(1 - over);
        } else {
            in.throttle = 0;
            in.front_brake = in.rear_brake = static_cast<float>(clamp01(over - 1));
        }
    }
    if (knocked) in.throttle = 0;
    // In first gear the clutch slips until the engine is well above its shift-down speed.
    if (bike_gear(bike) > 0) {
        in.clutch = 1;
    } else {
        double low = bike_info_of(bike).auto_downshift_rpm - 1000;
        in.clutch = static_cast<float>(clamp01((engine_rpm(bike) - low) / 1000));
    }
}

// The target speed near the bike `o` ahead: keep a gap that grows after the start and shrinks
// towards the end of a long race, and do not ride into it.
double avoid(int other, vec3d x, double s, vec3d back, vec3d lateral, double turn_radius,
             double target, bool* cleared) {
    const bike_view& o = g_pilot.views[other];
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

// The frame's sideways and up axes, read once for every point a lean is clamped at.
struct lean_frame {
    vec3d side, up;
};

// The steepest lean against the ground the surface's grip holds, remembered for the last grip
// asked about: neighbouring points mostly share their surface.
double grip_angle(double mu) {
    if (mu != g_pilot.grip_mu) {
        g_pilot.grip_mu = mu;
        g_pilot.grip_theta = std::min(std::atan(mu), 1.1780972);
    }
    return g_pilot.grip_theta;
}

// The lean target clamped so the tyres keep their grip on the ground at a point.
double grip_clamp(const lean_frame& f, double phi, double lambda, double px, double pz) {
    vec3 n = ground_normal_at(static_cast<float>(px), static_cast<float>(pz));
    vec3d normal = {n.x, n.y, n.z};
    double nx = dot(normal, f.side);
    double ny = dot(normal, f.up);
    double mu = 1;
    if (ground().surfaces.count > 0)
        mu = surface_type_get(surface_type_at(static_cast<float>(px), static_cast<float>(pz)))
                 .friction[0]
                 .value;
    double theta = grip_angle(mu);
    // The ground's slope across the bike is at most |nx| / ny; a lean that keeps its grip on
    // any slope up to that is left as it is without working the slope out.
    if (ny > 0 && std::fabs(phi - lambda) + std::fabs(nx) / ny + 1e-9 < theta) return phi;
    double beta = std::atan2(nx, ny);
    double lo = lambda - beta - theta, hi = lambda - beta + theta;
    return phi < lo ? lo : std::min(phi, hi);
}

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

void robot_drive(robot_state& r, int slot, int bike, double lambda) {
    rider_input in = rider_input_of(slot);
    const int now = race_clock();
    const bool knocked = knocked_off(bike);
    in.back_up = 0;
    in.lean = 0;
    in.shift = 0;
    vec3d x = bike_frame_position(bike), v = bike_frame_velocity(bike);
    const double s = length(v);
    // A slow bike that tips over gets a foot down: the dab stands it up and the realignment
    // turns it towards its line.
    in.sit = s < k_lean_speed && std::fabs(lambda) > k_dab_lean ? 1.0f : 0.0f;
    vec3d w = bike_body_angular_velocity(bike, body_frame);
    const double roll_rate = dot(w, bike_body_axis(bike, body_frame, 2));
    const double pitch_rate = dot(w, bike_body_axis(bike, body_frame, 0));
    const vec3d forward = bike_forward(bike);
    const tyre_contact_state front = bike_tyre_contact(bike, body_front_wheel);
    const tyre_contact_state rear = bike_tyre_contact(bike, body_rear_wheel);
    const int n = static_cast<int>(r.path.size());

    // Where the robot is along its path, a point ahead of it. A robot facing back along its
    // path, every passed point ahead of it, is where it heads for.
    double p = std::min(r.next_point, n - 1);
    for (int k = std::min(r.next_point, n) - 1; k >= 0; k--) {
        double ak = dot(point_of(r.path[k]) - x, forward);
        if (ak >= 0) continue;
        p = k + 1;
        if (k + 1 < n) {
            double a1 = dot(point_of(r.path[k + 1]) - x, forward);
            if (a1 > 0) p = k + 1 + clamp01(-ak / (a1 - ak));
        }
        break;
    }
    const int i = static_cast<int>(std::lround(p));
    double target = std::fabs(path_at(r, i).speed) +
                    (std::fabs(path_at(r, i + 1).speed) - std::fabs(path_at(r, i).speed)) * (p - i);
    // Below the speed it leans at a robot cannot turn, so it rides no slower on purpose.
    target = std::max(target, k_lean_speed);

    // A jump ahead: the first pair of airborne points within five seconds.
    int take_off = -1;
    for (int k = i; k < std::min(i + 20, n); k++)
        if (path_at(r, k).speed < 0 && path_at(r, k + 1).speed < 0) {
            take_off = k;
            break;
        }
    double t_jump = k_no_jump;
    if (take_off >= 0 && i >= 0)
        t_jump = (take_off - i) * k_point_seconds +
                 length(point_of(path_at(r, i)) - x) / std::max(s, 1e-6);

    // The load on the tyres against the bike's weight, and the turn the lean makes now.
    double lift = (front.touching ? front.ground_lift : 0) + (rear.touching ? rear.ground_lift : 0);
    double load = lift / (k_gravity * bike_total_mass(bike));
    double g = std::max(1.0, load - 1);
    double limit = k_pi / g;
    double tan_lean = std::tan(lambda);
    if (std::fabs(tan_lean) < 1e-9) tan_lean = tan_lean < 0 ? -1e-9 : 1e-9;
    const double turn_radius = -s * s / (k_gravity * g * tan_lean);

    // The travel frame, and room for the nearest bike ahead whose footprint meets ours.
    const vec3d back = backward_of(bike, v, s);
    const vec3d lateral = {back.z, 0, -back.x};
    views_refresh(now);
    {
        const bike_view& me = g_pilot.views[slot];
        int nearest = -1;
        double nearest_d2 = 0;
        const bool impatient = now - r.last_advance > k_patience_tics;
        // A robot riding through the others waits for none of them.
        for (int k = 0; k < g_pilot.present_count && !r.untangling; k++) {
            const int o = g_pilot.present[k];
            const bike_view& other = g_pilot.views[o];
            if (o == slot) continue;
            vec3d dx = other.x - x;
            double d2 = dot(dx, dx);
            if (nearest >= 0 && d2 >= nearest_d2) continue;
            // Footprints whose enclosing circles are apart are apart.
            double mx = other.mid_x - me.mid_x, mz = other.mid_z - me.mid_z;
            double apart = me.radius + other.radius;
            if (mx * mx + mz * mz > apart * apart) continue;
            if (dot(dx, back + other.back) >= 0) continue;
            // Held up too long, a robot no longer waits behind a bike that stands still: it
            // pushes on past it.
            if (impatient && other.speed < k_standing_speed) continue;
            if (!footprints_overlap(me.corners, other.corners)) continue;
            nearest = o;
            nearest_d2 = d2;
        }
        if (nearest >= 0) {
            bool cleared = false;
            target = avoid(nearest, x, s, back, lateral, turn_radius, target, &cleared);
            // Held up by another bike, not by the line: no statistics for these lines.
            if (cleared) picks_clear(r);
        }
    }

    // The aim point, and how hard to steer for it.
    double gain = 4;
    vec3d aim;
    if (timing_of(slot).position == 0) {
        aim = path_point(r, p + 4);
    } else {
        int straight = 0;
        for (int k = i + 1; k < std::min(i + 7, n); k++) {
            vec3d d = point_of(r.path[k]) - x;
            double along = d.x * back.x + d.z * back.z, side = d.x * lateral.x + d.z * lateral.z;
            if (along >= 0 || std::fabs(side) > -0.125 * along) break;
            straight++;
        }
        double fc = clamp01((20.0 - straight) / 17);
        gain = 4 * fc;
        limit *= fc;
        if (t_jump >= 2) {
            aim =
                path_point(r, straight > 4 && std::fabs(lambda) < k_straight_lean ? p + 3 : p + 2);
        } else {
            double wj = clamp01((2 - t_jump) * 2);
            vec3d a3 = point_of(path_at(r, i + 3));
            vec3d course = point_of(path_at(r, take_off + 3)) - point_of(path_at(r, take_off));
            aim = a3 + (((x + course) - a3) * wj);
        }
    }

    // The radius of the arc to the aim point, leaving the current turn at twice the error.
    double aim_radius;
    {
        vec3d to = aim - x;
        double a = dot(to, lateral), b = -dot(to, back);
        if (b <= 0) {
            aim_radius = a >= 0 ? 10 : -10;
        } else {
            double ca = turn_radius, ex = a - ca, eb = b;
            double el = std::hypot(ex, eb);
            double qa = a, qb = b;
            if (el > 0) {
                qa = ca + ex / el * std::fabs(turn_radius);
                qb = eb / el * std::fabs(turn_radius);
            }
            double a2 = a + 2 * (a - qa), b2 = b + 2 * (b - qb);
            if (std::fabs(a2) < 1e-6) a2 = a2 < 0 ? -1e-6 : 1e-6;
            aim_radius = (a2 * a2 + b2 * b2) / (2 * a2);
        }
    }
    const double needed = std::atan(-s * s / (k_gravity * g * aim_radius));

    // The lean the grip allows along the next points and where the front wheel is going.
    double phi = needed;
    const lean_frame frame = {bike_body_axis(bike, body_frame, 0),
                              bike_body_axis(bike, body_frame, 1)};
    for (int k = 4; k >= 0; k--) {
        const line_point& q = path_at(r, i + k);
        phi = grip_clamp(frame, phi, lambda, q.x, q.z);
    }
    {
        vec3d fw = bike_body_position(bike, body_front_wheel);
        vec3d fv = bike_body_velocity(bike, body_front_wheel);
        phi = grip_clamp(frame, phi, lambda, fw.x + 0.25 * fv.x, fw.z + 0.25 * fv.z);
    }
    if (phi != needed) {
        target = std::min(
            target, std::sqrt(std::tan(std::fabs(phi)) * g * std::fabs(aim_radius) * k_gravity));
        r.grip_limited_tic = now;
    }

    // Easy on the throttle while the front tyre slides; slow bikes stay upright.
    double q = 1;
    const double front_slip = front.touching ? front.slip_speed : 0;
    if (front.touching) q = clamp01((16 - front_slip) / 16);
    if (s < 7.5) {
        phi = 0;
        q = 1;
    } else if (s < 10) {
        double h = clamp01((s - 7.5) * 0.4);
        phi *= h;
        q = 1 - (1 - q) * h;
    }
    if (t_jump < 3) {
        // Square up for the take-off at the speed the line jumped at.
        double gj = clamp01((3 - t_jump) / 2);
        q += (1 - q) * gj;
        target += (std::max(s, std::fabs(path_at(r, i).speed) + 2.0) - target) * gj;
        double most = k_pi / 2 - k_take_off_lean_cut * gj;
        phi = std::clamp(phi, -most, most);
        limit += (k_pi / 8 - limit) * clamp01((3 - t_jump) / 3);
    }

    double e = (phi - lambda) * gain;
    if ((e < 0 && lambda >= 0) || (e >= 0 && lambda < 0)) limit *= 2;
    e = std::clamp(e, -limit, limit);
    bike_set_steering_lock(
        bike, k_full_lock_speed, 50,
        static_cast<float>(
            std::clamp((1 + 4 * std::min(std::fabs(e) / k_pi, 1.0)) * k_pi / 180, 0.0, k_pi / 4)));

    // Counter-steer for the roll rate the lean error asks for; with the front wheel in the air
    // or sliding, steer along the wheel's own track.
    double r_band = std::clamp(e - roll_rate, -0.125, 0.125);
    double s1 = (roll_rate - (e - r_band)) * 4;
    double s2 = steering_position_control(bike, front_track_angle(bike));
    double steer = s2;
    if (front.touching) steer = s2 + (s1 - s2) * clamp01((4 - front_slip) / 4);
    in.steer = static_cast<float>(std::clamp(steer, -1.0, 1.0));

    speed_control(bike, s, target, pitch_rate, rear.touching, knocked, in);
    // Gears go by the road speed at the automatic shifting's engine speeds: a spinning rear
    // wheel is no reason to shift up, and a bike stuck with its wheel spinning goes down to
    // first.
    if (rear.touching && now % k_shift_tics == 0) {
        const bike_info& info = bike_info_of(bike);
        double rpm = road_rpm(bike, s);
        if (rpm > info.auto_upshift_rpm)
            in.shift = 1;
        else if (rpm < info.auto_downshift_rpm)
            in.shift = -1;
    }
    double t = q * in.throttle;
    if (now - r.grip_limited_tic <= k_tics_per_second / 8)
        t = std::clamp(t, 0.0, r.previous_throttle + 1.0 / 32);
    else
        t = std::clamp(t, r.previous_throttle - 1.0 / 32, 1.0);
    r.previous_throttle = knocked ? 0.0f : static_cast<float>(t);
    in.throttle = static_cast<float>(clamp01(t));
    rider_input_set(slot, in);
    // Stalled for long, upright and driving, on a face too steep to climb from a standstill or
    // among bikes, a robot is pushed on by the marshals as a stuck rider is.
    if (r.untangling && s < 2 * k_standing_speed && rear.touching && !knocked &&
        std::fabs(lambda) < 0.4 && in.throttle > 0) {
        const double level = std::hypot(forward.x, forward.z);
        if (level > 1e-6) {
            double f = k_push * bike_total_mass(bike) / level;
            bike_push(bike, {forward.x * f, 0, forward.z * f});
        }
    }
}
} // namespace

void auto_pilot_reset() {
    bool practice = g_pilot.practice;
    g_pilot = pilot_state{};
    g_pilot.practice = practice;
}

void auto_pilot_start(int slot, int personality) {
    robot_state& r = g_pilot.robots[slot];
    r = robot_state{};
    r.personality = g_pilot.practice ? k_personality_tester : personality;
    r.last_advance = r.last_reached = race_clock();
    r.crashes_seen = 0;
}

int auto_pilot_personality(int slot) { return g_pilot.robots[slot].personality; }
bool auto_pilot_untangling(int slot) { return g_pilot.robots[slot].untangling; }
void auto_pilot_set_practice(bool on) { g_pilot.practice = on; }
bool auto_pilot_practice() { return g_pilot.practice; }

const std::vector<line_point>& auto_pilot_path(int slot) { return g_pilot.robots[slot].path; }
int auto_pilot_next_point(int slot) { return g_pilot.robots[slot].next_point; }
int auto_pilot_next_segment(int slot) {
    robot_state& r = g_pilot.robots[slot];
    return r.path.empty() ? -1 : r.next_segment;
}

int32_t auto_pilot_picked_serial(int slot, int segment) {
    const robot_state& r = g_pilot.robots[slot];
    int line = picked_slot(r, segment);
    return line >= 0 ? line_segment_at(segment).lines[line].serial : 0;
}

line_pick auto_pilot_pick(int slot, int bike) {
    robot_state& r = g_pilot.robots[slot];
    line_pick out;
    int segment = segment_to_pick(r, slot);
    // A segment nobody has ridden yet is passed by: the robot heads for the next line on.
    for (int k = 0; k < k_empty_segments_skipped && segment >= 0 &&
                    segment < line_segment_count() && !segment_has_lines(segment);
         k++)
        segment = line_segment_on(segment, 1);
    if (segment < 0 || segment >= line_segment_count()) return out;
    out.segment = segment;
    const line_segment& s = line_segment_at(segment);
    const robot_personality& who = personality_at(r.personality);
    out.mode = time_mode(slot, who);
    double values[k_lines_per_segment];
    line_chain_values(segment, out.mode, values);
    double smallest = -1;
    for (int k = 0; k < k_lines_per_segment; k++)
        if (!s.lines[k].points.empty() && (smallest < 0 || values[k] < smallest))
            smallest = values[k];
    const int now = race_clock();
    const double seconds = now * k_tic_length;
    const vec3d x = bike_frame_position(bike);
    for (int k = 0; k < k_lines_per_segment; k++) {
        const racing_line& l = s.lines[k];
        if (l.points.empty()) continue;
        double score = values[k] > 0 ? smallest / values[k] : 1;
        // The segment's best line comes to the fore as the race goes on.
        if (out.mode < 3 && k == s.best[out.mode])
            score += std::clamp((seconds - 40) * 0.05, 0.0, 1.0) * (1 - score);
        if (segment == 0) score = 0.2 * score + 0.8;
        double match = line_match(r, l, x);
        // Lines someone picked lately weigh their time less, spreading robots over the lines.
        double fresh = clamp01((now - l.last_picked) * k_tic_length / 3);
        out.score[k] = score;
        out.match[k] = match;
        out.total[k] = match + fresh * score;
        if (out.line < 0 || out.total[k] > out.total[out.line]) out.line = k;
    }
    if (out.line < 0) return out;
    const racing_line& picked = s.lines[out.line];
    if (debug_level() > 0)
        log("auto pilot: picking %d score = %f match = %f last_picked = %f\n", out.line,
            out.score[out.line], out.match[out.line], picked.last_picked * k_tic_length);
    lines_record_pick(segment, out.line, now);
    r.picks[r.pick_ring] = picked_line{segment, picked.serial};
    r.pick_ring = (r.pick_ring + 1) % k_picks_kept;
    int drop = r.next_point - k_points_passed_kept;
    if (drop > 0) {
        r.path.erase(r.path.begin(), r.path.begin() + drop);
        r.path_segments.erase(r.path_segments.begin(), r.path_segments.begin() + drop);
        r.next_point -= drop;
    }
    r.path.insert(r.path.end(), picked.points.begin(), picked.points.end());
    r.path_segments.insert(r.path_segments.end(), picked.points.size(), segment);
    r.next_segment = line_segment_after(segment);
    return out;
}

void auto_pilot_tic(int slot, int bike) {
    robot_state& r = g_pilot.robots[slot];
    const int now = race_clock();
    // Parked after the finish: its controls stay as they were left.
    if (r.finished && !bike_simulated(bike)) return;
    if (crash_count(bike) != r.crashes_seen) {
        r.crashes_seen = crash_count(bike);
        robot_went_down(r, slot);
    }
    if (!r.finished && rider_finished(slot)) {
        r.finished = true;
        robot_finished(r);
    }
    if (now < race_gate_drop_tic()) {
        rider_input_set(slot, waiting_input());
        r.last_advance = r.last_reached = r.stuck_since = now;
        return;
    }
    // Short lines are picked one after another until enough lies ahead.
    for (int picks = 0;
         picks < k_picks_per_tic && !r.finished && now >= r.retry_tic && line_segment_count() > 0 &&
         static_cast<int>(r.path.size()) - r.next_point < k_points_short;
         picks++) {
        if (auto_pilot_pick(slot, bike).line < 0) r.retry_tic = now + k_retry_tics;
    }
    if (r.path.empty()) {
        // A racing robot with no line to pick stands where it is: said once a race, so that a
        // grid waiting at the gate is not taken for a fault.
        if (!r.finished && !g_pilot.said_no_lines && timing_of(slot).position == 0) {
            g_pilot.said_no_lines = true;
            show_message("The robots have no racing line here (%s): they wait",
                         lines_file_name(race_params().skill));
        }
        // Nothing to ride: stand. A finished robot come to rest is parked for good: its bike
        // is no longer simulated.
        rider_input_set(slot, waiting_input());
        r.last_advance = r.last_reached = now;
        vec3d v = bike_frame_velocity(bike);
        if (r.finished && bike_simulated(bike) && !knocked_off(bike) &&
            v.x * v.x + v.z * v.z < k_standing_speed * k_standing_speed) {
            bike_hold_still(bike);
            bike_deactivate(bike);
        }
        return;
    }
    if (now - r.last_reached > k_fresh_path_tics) {
        // Long lost, off the track or turned about, a robot drops its path and picks its next
        // line afresh from where it is: the line starting nearest it matches best.
        path_drop(r, -1, now);
        return;
    }
    if (now - r.last_advance > k_lost_tics) {
        // Lost: the robot keeps its path but must come nearer its points to reach them, and
        // its controls stay as they are for this tic.
        r.lost = 3;
        r.last_advance = now;
        return;
    }
    vec3d v = bike_frame_velocity(bike);
    vec3d heading = bike_forward(bike);
    if (v.x * v.x + v.z * v.z > 1) heading = v;
    follow_path(r, bike_frame_position(bike), heading, now, slot);
    if (!r.finished) {
        int back_to = gate_to_ride_back_to(r, slot);
        if (back_to >= 0) {
            path_drop(r, back_to, now);
            r.rode_back_at = timing_of(slot).position;
            r.rode_back_tic = now;
            return;
        }
    }
    untangle_update(r, slot, bike, now);
    const double lambda = bike_lean_angle(bike);
    if (r.path.empty() || backing_up(r, slot, bike, now, lambda)) return;
    robot_drive(r, slot, bike, lambda);
}

void auto_pilot_crossing(int slot, int bike, int crossing, int offset) {
    (void)offset;
    if (line_segment_of_crossing(crossing) < 0) return;
    robot_state& r = g_pilot.robots[slot];
    const rider_timing& t = timing_of(slot);
    bool on_line = false;
    int n = static_cast<int>(r.path.size());
    if (n >= 2) {
        int k = std::clamp(r.next_point, 1, n - 1);
        const line_point &a = r.path[k - 1], &b = r.path[k];
        vec3d x = bike_frame_position(bike), v = bike_frame_velocity(bike);
        double ux = b.x - a.x, uz = b.z - a.z, ul = ux * ux + uz * uz;
        double ox = x.x - a.x, oz = x.z - a.z;
        double side2 = ox * ox + oz * oz;
        if (ul > 0) {
            double c = ox * uz - oz * ux;
            side2 = c * c / ul;
        }
        double s = length(v);
        on_line = side2 <= 16 &&
                  (s >= 15.0 / 16 * std::fabs(a.speed) || s >= 15.0 / 16 * std::fabs(b.speed));
    }
    if (!on_line) {
        add_failure(r, line_segment_of_crossing(crossing));
        return;
    }
    int middle = line_learned_before(crossing),
        first = middle >= 0 ? line_learned_before(middle) : -1;
    int segment = first >= 0 ? line_segment_of_crossing(first) : -1;
    int slot_of_line = picked_slot(r, segment);
    if (slot_of_line < 0) return;
    int t0 = crossing_tic(t, first), t1 = crossing_tic(t, middle), t2 = crossing_tic(t, crossing);
    if (t0 < 0 || t1 < 0 || t2 < 0) return;
    lines_record_use(segment, slot_of_line, t1 - t0, t2 - t0);
}
