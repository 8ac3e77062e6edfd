// Path following: the point a robot heads for along its path, where it is along it, the jump
// ahead, the aim point, and the ride back to a gate its path took it past.
#include "race/pilot_local.h"
#include "race/race_local.h"
#include "race/race_timing.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int k_points_passed_ahead = 8; // a point reached passes the ones before it
constexpr int k_gates_past = 2;          // gates past the last that counts, a path has missed it
constexpr int k_ride_back_tics = 30 * k_tics_per_second; // the longest a robot seeks a gate
constexpr int k_short_lap = 12; // learned gates of a lap too short to tell ahead from behind
// Leaning less than this (rad, π/8 to seven places) on a straight, a robot aims a point further on.
constexpr double k_straight_lean = 0.3926991;
} // namespace

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

// Where the robot is along its path, a point ahead of it. A robot facing back along its path,
// every passed point ahead of it, is where it heads for.
void path_place(const robot_state& r, drive_state& d) {
    const int n = static_cast<int>(r.path.size());
    double p = std::min(r.next_point, n - 1);
    for (int k = std::min(r.next_point, n) - 1; k >= 0; k--) {
        double ak = dot(point_of(r.path[k]) - d.x, d.forward);
        if (ak >= 0) continue;
        p = k + 1;
        if (k + 1 < n) {
            double a1 = dot(point_of(r.path[k + 1]) - d.x, d.forward);
            if (a1 > 0) p = k + 1 + clamp01(-ak / (a1 - ak));
        }
        break;
    }
    d.p = p;
    d.i = static_cast<int>(std::lround(p));
    const int i = d.i;
    d.target = std::fabs(path_at(r, i).speed) +
               (std::fabs(path_at(r, i + 1).speed) - std::fabs(path_at(r, i).speed)) * (p - i);
    // Below the speed it leans at a robot cannot turn, so it rides no slower on purpose.
    d.target = std::max(d.target, k_lean_speed);
}

// A jump ahead: the first pair of airborne points within five seconds.
void jump_ahead(const robot_state& r, drive_state& d) {
    const int n = static_cast<int>(r.path.size());
    d.take_off = -1;
    for (int k = d.i; k < std::min(d.i + 20, n); k++)
        if (path_at(r, k).speed < 0 && path_at(r, k + 1).speed < 0) {
            d.take_off = k;
            break;
        }
    constexpr double k_no_jump = 1000000; // s
    d.t_jump = k_no_jump;
    if (d.take_off >= 0 && d.i >= 0)
        d.t_jump = (d.take_off - d.i) * k_point_seconds +
                   length(point_of(path_at(r, d.i)) - d.x) / std::max(d.s, 1e-6);
}

// The aim point, and how hard to steer for it: nearer on bends, further on straights, and the
// take-off's course before a jump.
void aim_point(const robot_state& r, drive_state& d) {
    const int n = static_cast<int>(r.path.size());
    d.gain = 4;
    if (timing_of(d.slot).position == 0) {
        d.aim = path_point(r, d.p + 4);
    } else {
        int straight = 0;
        for (int k = d.i + 1; k < std::min(d.i + 7, n); k++) {
            vec3d to = point_of(r.path[k]) - d.x;
            double along = to.x * d.back.x + to.z * d.back.z,
                   side = to.x * d.lateral.x + to.z * d.lateral.z;
            if (along >= 0 || std::fabs(side) > -0.125 * along) break;
            straight++;
        }
        double fc = clamp01((20.0 - straight) / 17);
        d.gain = 4 * fc;
        d.limit *= fc;
        if (d.t_jump >= 2) {
            d.aim = path_point(r, straight > 4 && std::fabs(d.lambda) < k_straight_lean ? d.p + 3
                                                                                        : d.p + 2);
        } else {
            double wj = clamp01((2 - d.t_jump) * 2);
            vec3d a3 = point_of(path_at(r, d.i + 3));
            vec3d course = point_of(path_at(r, d.take_off + 3)) - point_of(path_at(r, d.take_off));
            d.aim = a3 + (((d.x + course) - a3) * wj);
        }
    }
}
