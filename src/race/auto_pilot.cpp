// The auto pilot: a robot's tic, line picking with the personalities' time modes, and the
// statistics of the lines it rode; the riding itself is in the pilot_ files.
#include "race/auto_pilot.h"
#include "race/pilot_local.h"

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
constexpr int k_points_short = 10;       // a new line is picked when fewer remain ahead
constexpr int k_points_passed_kept = 30; // passed points a path keeps behind the robot
constexpr int k_lost_tics = 3 * k_tics_per_second;
constexpr int k_fresh_path_tics = 12 * k_tics_per_second;
constexpr int k_retry_tics = k_tics_per_second; // after a pick found no line
constexpr int k_picks_per_tic = 4;
constexpr int k_empty_segments_skipped = 4;

constexpr int k_points_within_second = 4;

struct pilot_state {
    robot_state robots[k_max_riders];
    bool practice = false;
    bool said_no_lines = false; // the player was told the robots have no line to ride
};
pilot_state g_pilot;

// The first learned crossing from c on, -1 when none.
int learned_from(int c) {
    int limit = c + 2 * k_max_lap_entries;
    for (int k = std::max(c, 0); k < limit; k++)
        if (line_segment_of_crossing(k) >= 0) return k;
    return -1;
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

// How many other robots picked each line of the segment lately: heading for its first points
// with them, a robot would ride into their backs. One pass over the picks for all the lines.
void line_crowds(int slot, int segment, int now, int crowd[k_lines_per_segment]) {
    std::fill(crowd, crowd + k_lines_per_segment, 0);
    const line_segment& s = line_segment_at(segment);
    for (int other = 0; other < k_max_riders; other++) {
        const robot_state& o = g_pilot.robots[other];
        if (other == slot || o.finished || o.path.empty()) continue;
        bool counted[k_lines_per_segment] = {};
        for (const picked_line& p : o.picks) {
            if (p.segment != segment || now - p.tic >= k_crowd_tics) continue;
            for (int k = 0; k < k_lines_per_segment; k++)
                if (!counted[k] && !s.lines[k].points.empty() && s.lines[k].serial == p.serial) {
                    counted[k] = true;
                    crowd[k]++;
                }
        }
    }
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

// The piece of the path from point k − 1 to point k that the robot at x rides along: the nearest
// of the pieces up to the point it heads for (which may lie well ahead of it), -1 when the path
// has no piece. `side2` gets the squared distance in the ground plane.
int ridden_piece(const robot_state& r, vec3d x, double* side2) {
    const int n = static_cast<int>(r.path.size());
    int best = -1;
    double nearest = 0;
    const int last = std::min(r.next_point, n - 1);
    for (int k = std::max(1, last - k_points_passed_kept); k <= last; k++) {
        const line_point &a = r.path[k - 1], &b = r.path[k];
        double ux = b.x - a.x, uz = b.z - a.z, ul = ux * ux + uz * uz;
        double ox = x.x - a.x, oz = x.z - a.z;
        double u = ul > 0 ? std::clamp((ox * ux + oz * uz) / ul, 0.0, 1.0) : 0.0;
        double dx = ox - u * ux, dz = oz - u * uz, d2 = dx * dx + dz * dz;
        if (best < 0 || d2 < nearest) {
            best = k;
            nearest = d2;
        }
    }
    *side2 = nearest;
    return best;
}

// The robot went down: the line it rode takes the blame, and so does the line before when the
// robot came off it moments ago; it forgets what it picked.
void robot_went_down(robot_state& r, int bike) {
    double side2 = 0;
    int k = ridden_piece(r, bike_frame_position(bike), &side2);
    if (k >= 0) {
        int segment = r.path_segments[static_cast<size_t>(k)];
        add_failure(r, segment);
        int before = k - k_points_within_second;
        if (before >= 0 && r.path_segments[static_cast<size_t>(before)] != segment)
            add_failure(r, r.path_segments[static_cast<size_t>(before)]);
    }
    picks_clear(r);
}

// A finished robot rides out the rest of its path slower and slower.
void robot_finished(robot_state& r) {
    int n = static_cast<int>(r.path.size());
    int from = std::min(r.next_point, n);
    int left = n - from;
    // Easing off, not braking: riders still racing come through behind.
    for (int k = from; k < n; k++) {
        double remaining = left > 1 ? static_cast<double>(n - 1 - k) / (left - 1) : 0;
        r.path[k].speed *= static_cast<float>(0.5 + 0.5 * remaining);
    }
}

// A finished robot at the end of its path, or down, leaves the track: it fades from sight
// while rolling on, touching nobody, then its bike is parked out of the world.
void robot_leaves(robot_state& r, int slot, int bike, int now) {
    if (r.leaving_since < 0) r.leaving_since = now;
    rider_input_set(slot, waiting_input());
    if (now - r.leaving_since >= k_leaving_tics && bike_simulated(bike)) {
        bike_hold_still(bike);
        bike_deactivate(bike);
    }
}

// One tic's riding along the path, step by step.
void robot_drive(robot_state& r, int slot, int bike, double lambda) {
    rider_input in = rider_input_of(slot);
    drive_state d;
    d.slot = slot;
    d.bike = bike;
    d.now = race_clock();
    d.knocked = knocked_off(bike);
    d.lambda = lambda;
    in.back_up = 0;
    in.lean = 0;
    in.shift = 0;
    d.x = bike_frame_position(bike);
    d.v = bike_frame_velocity(bike);
    d.s = length(d.v);
    // A slow bike that tips over gets a foot down: the dab stands it up and the realignment
    // turns it towards its line.
    in.sit = d.s < k_lean_speed && std::fabs(lambda) > k_dab_lean ? 1.0f : 0.0f;
    vec3d w = bike_body_angular_velocity(bike, body_frame);
    d.roll_rate = dot(w, bike_body_axis(bike, body_frame, 2));
    d.pitch_rate = dot(w, bike_body_axis(bike, body_frame, 0));
    d.forward = bike_forward(bike);
    d.front = bike_tyre_contact(bike, body_front_wheel);
    d.rear = bike_tyre_contact(bike, body_rear_wheel);

    path_place(r, d);
    jump_ahead(r, d);
    load_step(d);
    d.back = backward_of(bike, d.v, d.s);
    d.lateral = {d.back.z, 0, -d.back.x};
    // Held up by another bike, not by the line: no statistics for these lines.
    if (traffic_step(r, d)) picks_clear(r);
    aim_point(r, d);
    aim_radius_step(d);
    lean_step(r, d);
    steer_step(d, in);
    speed_step(r, d, in);
    rider_input_set(slot, in);
    marshals_push(r, d, in);
}
} // namespace

void auto_pilot_reset() {
    bool practice = g_pilot.practice;
    g_pilot = pilot_state{};
    g_pilot.practice = practice;
    traffic_reset();
    lean_reset();
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
float auto_pilot_leaving(int slot) {
    const robot_state& r = g_pilot.robots[slot];
    if (r.leaving_since < 0) return -1;
    return std::min(1.0f, static_cast<float>(race_clock() - r.leaving_since) / k_leaving_tics);
}
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
    int crowd[k_lines_per_segment];
    line_crowds(slot, segment, now, crowd);
    for (int k = 0; k < k_lines_per_segment; k++) {
        const racing_line& l = s.lines[k];
        if (l.points.empty()) continue;
        double score = values[k] > 0 ? smallest / values[k] : 1;
        // The segment's best line comes to the fore as the race goes on.
        if (out.mode < 3 && k == s.best[out.mode])
            score += std::clamp((seconds - 40) * 0.05, 0.0, 1.0) * (1 - score);
        if (segment == 0) score = 0.2 * score + 0.8;
        double match = line_match(r, l, x) / (1 + k_crowd_weight * crowd[k]);
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
    r.picks[r.pick_ring] = picked_line{segment, picked.serial, now};
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
    // Gone after the finish: its controls stay as they were left.
    if (r.finished && !bike_simulated(bike)) return;
    if (r.finished && (r.leaving_since >= 0 ||
                       r.next_point + 1 >= static_cast<int>(r.path.size()) || knocked_off(bike))) {
        robot_leaves(r, slot, bike, now);
        return;
    }
    if (crash_count(bike) != r.crashes_seen) {
        r.crashes_seen = crash_count(bike);
        robot_went_down(r, bike);
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
        // Nothing to ride: stand.
        rider_input_set(slot, waiting_input());
        r.last_advance = r.last_reached = now;
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
    // On its line: near the piece of path it rides, at nearly the speed the line was ridden.
    double side2 = 0;
    int k = ridden_piece(r, bike_frame_position(bike), &side2);
    bool on_line = false;
    if (k >= 0) {
        const line_point &a = r.path[static_cast<size_t>(k - 1)],
                         &b = r.path[static_cast<size_t>(k)];
        double s = length(bike_frame_velocity(bike));
        on_line = side2 <= 16 &&
                  (s >= 15.0 / 16 * std::fabs(a.speed) || s >= 15.0 / 16 * std::fabs(b.speed));
    }
    if (!on_line) {
        // The line ridden takes the failure, not the one about to be picked here.
        add_failure(r, k >= 0 ? r.path_segments[static_cast<size_t>(k)]
                              : line_segment_of_crossing(crossing));
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
