// Line learning from human laps: two recordings overlapping by a gate interval, offered to the
// library at each crossing; and the realignment target on the best lines.
#include "race/race_local.h"
#include "race/race_timing.h"
#include "race/robot_lines.h"

#include "bike/bike.h"
#include "platform/log.h"

#include <cmath>

namespace {
// A line being recorded from one learned gate to the one two on.
struct line_recording {
    std::vector<line_point> points;
    int start = -1;      // crossing it began at; -1 when not recording
    int crash_count = 0; // the bike's crashes when it began
};

struct learning_state {
    line_recording riders[k_max_riders][2];
};
learning_state g_learning;

void recording_start(line_recording& r, int crossing, int bike) {
    r.points.clear();
    r.start = crossing;
    r.crash_count = crash_count(bike);
}
} // namespace

line_point line_point_of_bike(int bike) {
    vec3d x = bike_frame_position(bike), v = bike_frame_velocity(bike);
    line_point p;
    p.x = static_cast<float>(x.x);
    p.y = static_cast<float>(x.y);
    p.z = static_cast<float>(x.z);
    p.speed = static_cast<float>(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z));
    if (!bike_tyre_contact(bike, body_front_wheel).touching &&
        !bike_tyre_contact(bike, body_rear_wheel).touching)
        p.speed = -p.speed;
    p.lean = bike_lean_angle(bike);
    return p;
}

void lines_record_tic(int slot, int bike, int clock) {
    if (!lines_learning() || !lines_held() || clock % k_line_point_tics != 0) return;
    line_recording* r = g_learning.riders[slot];
    if (r[0].start < 0 && r[1].start < 0) return;
    line_point p = line_point_of_bike(bike);
    for (int b = 0; b < 2; b++)
        if (r[b].start >= 0) r[b].points.push_back(p);
}

void lines_human_crossing(int slot, int bike, int crossing, int offset) {
    if (!lines_learning() || !lines_held() || line_segment_of_crossing(crossing) < 0) return;
    line_recording* r = g_learning.riders[slot];
    if (offset != 0) {
        // Gates were skipped: what was recorded runs past them.
        recording_start(r[0], crossing, bike);
        r[1] = line_recording{};
        return;
    }
    int middle = line_learned_before(crossing),
        first = middle >= 0 ? line_learned_before(middle) : -1;
    int done = -1;
    for (int b = 0; b < 2; b++)
        if (first >= 0 && r[b].start == first) done = b;
    if (done >= 0) {
        const rider_timing& t = timing_of(slot);
        int t0 = crossing_tic(t, first), t1 = crossing_tic(t, middle),
            t2 = crossing_tic(t, crossing);
        line_recording& line = r[done];
        int segment = line_segment_of_crossing(first);
        if (t0 >= 0 && t1 >= 0 && t2 >= 0) {
            if (line.points.empty() || knocked_off(bike) || crash_count(bike) != line.crash_count) {
                if (debug_level() > 0) log("auto pilot: %d canceled\n", segment);
            } else {
                line_offer(segment, line.points, t1 - t0, t2 - t0);
            }
        }
    }
    // The finished recording starts again here; otherwise the idle one, or the older.
    int again = done;
    if (again < 0)
        again = r[0].start < 0 ? 0 : r[1].start < 0 ? 1 : r[0].start < r[1].start ? 0 : 1;
    recording_start(r[again], crossing, bike);
}

void lines_recording_reset(int slot) {
    if (slot < 0) {
        g_learning = learning_state{};
        return;
    }
    for (line_recording& r : g_learning.riders[slot]) r = line_recording{};
}

bool lines_realign_target(int slot, double x, double y, double z, double* tx, double* ty,
                          double* tz) {
    if (!lines_held() || slot < 0 || slot >= k_max_riders) return false;
    // The line that starts at the last learned gate the rider crossed covers where it is now.
    int position = timing_of(slot).position;
    int crossing = line_learned_before(position);
    if (crossing < 0)
        for (int c = position; c < position + k_max_lap_entries && crossing < 0; c++)
            if (line_segment_of_crossing(c) >= 0) crossing = c;
    int segment = line_segment_of_crossing(crossing);
    if (segment < 0 || segment >= line_segment_count()) return false;
    const line_segment& s = line_segment_at(segment);
    if (s.best[0] < 0) return false;
    const racing_line& l = s.lines[s.best[0]];
    double nearest = -1;
    for (const line_point& p : l.points) {
        double d = (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y) + (p.z - z) * (p.z - z);
        if (nearest < 0 || d < nearest) {
            nearest = d;
            *tx = p.x;
            *ty = p.y;
            *tz = p.z;
        }
    }
    return nearest >= 0;
}
