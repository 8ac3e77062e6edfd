// The robots' line library: the lines files, the statistics' limits, pruning and eviction, the
// estimates by time mode and the chained look-ahead.
#include "race/robot_lines.h"

#include "race/race_local.h"

#include "common/loading.h"
#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "track/track.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {
constexpr int k_segments_most = 2 * k_max_lap_entries;
constexpr int k_points_most = 1 << 16; // per line; more is taken for a damaged file
constexpr int k_prune_above = 43;      // lines a segment keeps after pruning, at most
constexpr int k_halvings_most = 16;
constexpr double k_distinct_start = 2; // ft between first points that makes a line's start its own
constexpr int k_chain_links = 4;       // lines of a chain: eight segments ahead

struct lines_state {
    std::vector<line_segment> segments;
    bool held = false;
    std::string track; // folder the held library belongs to
    int skill = 0;
    int32_t next_serial = 1;
    bool learning = false;
};
lines_state g_lines;

// A cursor over a lines file's text: numbers with any white space before them.
struct text_cursor {
    const char* at;
    const char* end;

    void skip_space() {
        while (at < end && (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r' ||
                            *at == '\v' || *at == '\f'))
            at++;
    }
    bool word(const char* w) {
        skip_space();
        const char* p = at;
        for (; *w; w++, p++)
            if (p >= end || *p != *w) return false;
        at = p;
        return true;
    }
    bool character(char c) {
        skip_space();
        if (at >= end || *at != c) return false;
        at++;
        return true;
    }
    bool integer(int32_t* out) {
        skip_space();
        const char* p = at;
        if (p < end && *p == '+') p++;
        auto r = std::from_chars(p, end, *out);
        if (r.ec != std::errc()) return false;
        at = r.ptr;
        return true;
    }
    bool number(float* out) {
        skip_space();
        const char* p = at;
        if (p < end && *p == '+') p++;
        auto r = std::from_chars(p, end, *out);
        if (r.ec != std::errc() || !std::isfinite(*out)) return false;
        at = r.ptr;
        return true;
    }
};

// One line as the file holds it; false when its numbers do not parse.
bool read_line(text_cursor& c, racing_line* line) {
    int32_t count;
    int32_t v[8];
    if (!c.integer(&count)) return false;
    for (int32_t& x : v)
        if (!c.integer(&x)) return false;
    if (count < 0 || count > k_points_most) return false;
    line->points.clear();
    for (int32_t k = 0; k < count; k++) {
        line_point p;
        if (!c.character('[') || !c.number(&p.x) || !c.number(&p.y) || !c.number(&p.z) ||
            !c.character(']') || !c.number(&p.speed) || !c.number(&p.lean))
            return false;
        line->points.push_back(p);
    }
    line->time_a = v[0];
    line->time_b = v[1];
    line->uses = v[2];
    line->best_a = v[3];
    line->best_b = v[4];
    line->sum_a = v[5];
    line->sum_b = v[6];
    line->failures = v[7];
    return true;
}

double horizontal_distance(double ax, double az, double bx, double bz) {
    return std::sqrt((ax - bx) * (ax - bx) + (az - bz) * (az - bz));
}

// Whether the segments p1-p2 and q1-q2 cross in the ground plane.
bool paths_cross_at(const line_point& p1, const line_point& p2, const line_point& q1,
                    const line_point& q2) {
    auto side = [](const line_point& a, const line_point& b, const line_point& c) {
        double s = (static_cast<double>(b.x) - a.x) * (static_cast<double>(c.z) - a.z) -
                   (static_cast<double>(b.z) - a.z) * (static_cast<double>(c.x) - a.x);
        return (s > 0) - (s < 0);
    };
    int d1 = side(q1, q2, p1), d2 = side(q1, q2, p2), d3 = side(p1, p2, q1), d4 = side(p1, p2, q2);
    return d1 * d2 < 0 && d3 * d4 < 0;
}

bool paths_cross(const racing_line& a, const racing_line& b) {
    for (size_t i = 1; i < a.points.size(); i++)
        for (size_t j = 1; j < b.points.size(); j++)
            if (paths_cross_at(a.points[i - 1], a.points[i], b.points[j - 1], b.points[j]))
                return true;
    return false;
}

int lines_in(const line_segment& s) {
    int n = 0;
    for (const racing_line& l : s.lines)
        if (!l.points.empty()) n++;
    return n;
}

// Overfull segments lose the lines that cross the most others, each with an eviction victim.
void prune_segment(line_segment& s) {
    while (lines_in(s) > k_prune_above) {
        int worst = -1, worst_crossings = -1;
        double worst_time = 0;
        for (int i = 0; i < k_lines_per_segment; i++) {
            if (s.lines[i].points.empty()) continue;
            int crossings = 0;
            for (int j = 0; j < k_lines_per_segment; j++)
                if (j != i && !s.lines[j].points.empty() && paths_cross(s.lines[i], s.lines[j]))
                    crossings++;
            // Of lines crossing as many others, the slower goes.
            double t = line_expected_tics(s.lines[i]);
            if (crossings > worst_crossings || (crossings == worst_crossings && t > worst_time)) {
                worst = i;
                worst_crossings = crossings;
                worst_time = t;
            }
        }
        line_empty(s.lines[worst]);
        if (lines_in(s) <= k_prune_above) break;
        int victim = line_eviction_victim(s);
        if (victim >= 0) line_empty(s.lines[victim]);
    }
}

int skill_index(int skill) { return std::clamp(skill, 0, k_skill_count - 1); }
} // namespace

void line_circle_centre(const line_point& a, const line_point& b, const line_point& c, double* cx,
                        double* cz) {
    double ax = a.x, az = a.z, bx = b.x, bz = b.z, qx = c.x, qz = c.z;
    double d = 2 * (ax * (bz - qz) + bx * (qz - az) + qx * (az - bz));
    double span = std::max(horizontal_distance(ax, az, qx, qz), 1e-9);
    if (std::fabs(d) / (span * span) < 1e-6) {
        double tx = (qx - ax) / span, tz = (qz - az) / span;
        *cx = qx + tz * 1000000;
        *cz = qz - tx * 1000000;
        return;
    }
    double a2 = ax * ax + az * az, b2 = bx * bx + bz * bz, c2 = qx * qx + qz * qz;
    *cx = (a2 * (bz - qz) + b2 * (qz - az) + c2 * (az - bz)) / d;
    *cz = (a2 * (qx - bx) + b2 * (ax - qx) + c2 * (bx - ax)) / d;
}

int line_learned_before(int crossing) {
    for (int k = crossing - 1; k >= 0; k--)
        if (line_segment_of_crossing(k) >= 0) return k;
    return -1;
}

const char* lines_file_name(int skill) {
    static constexpr const char* k_names[k_skill_count] = {"lines_novice", "lines_amateur",
                                                           "lines_expert"};
    return k_names[skill_index(skill)];
}

bool lines_parse(const std::string& text, int segment_count, std::vector<line_segment>* out,
                 std::string* why) {
    out->assign(static_cast<size_t>(std::max(segment_count, 0)), line_segment{});
    text_cursor c{text.data(), text.data() + text.size()};
    int32_t count = 0;
    if (!c.word("ct03") || !c.integer(&count)) {
        *why = "not a lines file";
        return false;
    }
    if (count != segment_count) {
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "%d segments where the track has %d", count,
                      segment_count);
        *why = buffer;
        return false;
    }
    racing_line line;
    for (int s = 0; s < segment_count; s++) {
        int32_t lines = 0;
        if (!c.integer(&lines) || lines < 0) return true;
        int slot = 0;
        for (int32_t k = 0; k < lines; k++) {
            // What follows a line that does not parse can't be trusted: reading ends there.
            if (!read_line(c, &line)) return true;
            if (slot >= k_lines_per_segment) continue;
            racing_line& kept = (*out)[s].lines[slot++];
            kept = line;
            line_statistics_limit(kept);
            if (kept.points.empty()) line_empty(kept);
        }
    }
    return true;
}

std::string lines_format(const std::vector<line_segment>& segments) {
    std::string out;
    // A point's five numbers in "%f", each as wide as a float's largest value (a sign, 39 digits
    // and 7 decimals) so a damaged line is never written cut short.
    char buffer[5 * 48 + 8];
    std::snprintf(buffer, sizeof buffer, "ct03 %d\n", static_cast<int>(segments.size()));
    out += buffer;
    for (const line_segment& s : segments) {
        std::snprintf(buffer, sizeof buffer, "%d\n", lines_in(s));
        out += buffer;
        for (const racing_line& l : s.lines) {
            if (l.points.empty()) continue;
            std::snprintf(buffer, sizeof buffer, "%d %d %d %d %d %d %d %d %d\n",
                          static_cast<int>(l.points.size()), l.time_a, l.time_b, l.uses, l.best_a,
                          l.best_b, l.sum_a, l.sum_b, l.failures);
            out += buffer;
            for (const line_point& p : l.points) {
                std::snprintf(buffer, sizeof buffer, "[%f %f %f] %f %f\n", p.x, p.y, p.z, p.speed,
                              p.lean);
                out += buffer;
            }
        }
    }
    return out;
}

void line_statistics_limit(racing_line& l) {
    l.uses = std::max(l.uses, 0);
    l.failures = std::max(l.failures, 0);
    l.sum_a = std::max(l.sum_a, 0);
    l.sum_b = std::max(l.sum_b, 0);
    for (int i = 0;
         i < k_halvings_most && (l.sum_b > k_line_sum_limit || l.uses > k_line_count_limit ||
                                 l.failures > k_line_count_limit);
         i++) {
        int32_t halved = l.uses / 2;
        // The sums shrink with the uses, so the averages stay.
        if (l.uses > 0) {
            l.sum_a = static_cast<int32_t>(static_cast<int64_t>(l.sum_a) * halved / l.uses);
            l.sum_b = static_cast<int32_t>(static_cast<int64_t>(l.sum_b) * halved / l.uses);
        }
        l.uses = halved;
        l.failures /= 2;
    }
    l.sum_a = std::min(l.sum_a, k_line_sum_limit);
    l.sum_b = std::min(l.sum_b, k_line_sum_limit);
    l.uses = std::min(l.uses, k_line_count_limit);
    l.failures = std::min(l.failures, k_line_count_limit);
}

int line_segment_count() { return static_cast<int>(g_lines.segments.size()); }

const line_segment& line_segment_at(int segment) {
    TB_ASSERT(segment >= 0 && segment < line_segment_count());
    return g_lines.segments[segment];
}

void line_segment_set(int segment, const line_segment& lines) {
    TB_ASSERT(segment >= 0 && segment < line_segment_count());
    g_lines.segments[static_cast<size_t>(segment)] = lines;
}

void lines_empty_all() {
    for (line_segment& s : g_lines.segments)
        for (racing_line& l : s.lines) line_empty(l);
}

void lines_record_failure(int segment, int line) {
    racing_line& l = g_lines.segments[static_cast<size_t>(segment)].lines[line];
    l.failures = std::min(l.failures + 1, k_line_count_limit);
}

void lines_record_use(int segment, int line, int32_t a, int32_t b) {
    racing_line& l = g_lines.segments[static_cast<size_t>(segment)].lines[line];
    l.uses = std::min(l.uses + 1, k_line_count_limit);
    l.best_a = std::min(l.best_a, a);
    l.best_b = std::min(l.best_b, b);
    l.sum_a = static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(l.sum_a) + a, k_line_sum_limit));
    l.sum_b = static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(l.sum_b) + b, k_line_sum_limit));
}

void lines_record_pick(int segment, int line, int now) {
    line_segment& s = g_lines.segments[static_cast<size_t>(segment)];
    const racing_line& picked = s.lines[line];
    const line_point& end = picked.points.back();
    for (racing_line& l : s.lines) {
        if (l.points.empty()) continue;
        const line_point& e = l.points.back();
        double dx = e.x - end.x, dy = e.y - end.y, dz = e.z - end.z;
        if (&l == &picked || dx * dx + dy * dy + dz * dz <= 9) l.last_picked = now;
    }
}

int32_t line_serial_new() { return g_lines.next_serial++; }

void line_empty(racing_line& line) { line = racing_line{}; }

int line_with_serial(int segment, int32_t serial) {
    if (segment < 0 || segment >= line_segment_count() || serial <= 0) return -1;
    const line_segment& s = g_lines.segments[segment];
    for (int i = 0; i < k_lines_per_segment; i++)
        if (s.lines[i].serial == serial && !s.lines[i].points.empty()) return i;
    return -1;
}

int line_segments_of_track() {
    if (gate_count() == 0) return 0;
    return first_lap_learned_count() + normal_lap_learned_count();
}

int line_segment_of_crossing(int crossing) {
    int first = first_lap_length(), normal = normal_lap_length();
    if (crossing < 0 || gate_count() == 0 || (crossing >= first && normal == 0)) return -1;
    int index = crossing < first ? crossing : first + (crossing - first) % normal;
    if (lap_entry(index) >= k_gate_no_learn) return -1;
    int segment = 0;
    for (int i = 0; i < index; i++)
        if (lap_entry(i) < k_gate_no_learn) segment++;
    return segment;
}

int line_segment_on(int segment, int gates) {
    int first = first_lap_learned_count(), normal = normal_lap_learned_count();
    if (segment < 0 || segment >= first + normal || normal == 0) return -1;
    int s = segment;
    for (int step = 0; step < gates; step++)
        s = s < first - 1 ? s + 1 : s == first - 1 ? first : first + (s - first + 1) % normal;
    return s;
}

int line_segment_after(int segment) { return line_segment_on(segment, 2); }

double line_expected_tics(const racing_line& l) {
    if (l.uses == 0) return l.time_b * 1.25 + (l.failures > 0 ? k_line_failure_tics : 0);
    return static_cast<double>(l.sum_b) / l.uses +
           k_line_failure_tics * static_cast<double>(l.failures) / (l.uses + l.failures);
}

namespace {
bool has_own_start(const line_segment& s, int i) {
    const racing_line& l = s.lines[i];
    for (int j = 0; j < k_lines_per_segment; j++) {
        const racing_line& o = s.lines[j];
        if (j == i || o.points.empty()) continue;
        if (horizontal_distance(l.points[0].x, l.points[0].z, o.points[0].x, o.points[0].z) <
            k_distinct_start)
            return false;
    }
    return true;
}

// The slowest line that `may_go` lets go (a line starting where no other does counts as
// quicker than its time says); -1 when none may.
template <class rule> int slowest_line(const line_segment& s, rule may_go) {
    int victim = -1;
    double worst = 0;
    for (int i = 0; i < k_lines_per_segment; i++) {
        const racing_line& l = s.lines[i];
        if (l.points.empty() || !may_go(l, i)) continue;
        double t = line_expected_tics(l);
        if (has_own_start(s, i)) t *= 0.75;
        if (victim < 0 || t > worst) {
            victim = i;
            worst = t;
        }
    }
    return victim;
}
} // namespace

int line_eviction_victim(const line_segment& s) {
    int successful = 0;
    for (const racing_line& l : s.lines)
        if (!l.points.empty() && l.failures < l.uses) successful++;
    if (successful > 22) return slowest_line(s, [](const racing_line&, int) { return true; });
    // Few proven lines: a line that failed at least as often as it got through may go.
    int victim = slowest_line(
        s, [](const racing_line& l, int) { return l.failures > 0 && l.failures >= l.uses; });
    if (victim >= 0) return victim;
    // Else an untried line whose start another line shares, or learning would stop once a
    // segment is full of lines nobody rode.
    return slowest_line(s, [&s](const racing_line& l, int i) {
        return l.uses == 0 && l.failures == 0 && !has_own_start(s, i);
    });
}

double line_mode_estimate(const racing_line& l, int mode) {
    int tries = l.uses + l.failures;
    double failing = tries > 0 ? static_cast<double>(l.failures) / tries : 0;
    double average = l.uses > 0 ? static_cast<double>(l.sum_b) / l.uses : 0;
    switch (mode) {
    case 0:
        if (l.uses < 5) return k_no_line_time;
        return average + std::clamp(failing, 0.0, 1.0) * k_line_failure_tics;
    case 1:
        if (l.uses < 5) return k_no_line_time;
        return average + std::clamp(failing * 8 / 7, 0.0, 1.0) * k_line_failure_tics;
    case 2:
        if (l.uses < 1) return k_no_line_time;
        return average + std::clamp(failing * 4, 0.0, 1.0) * k_line_failure_tics;
    default: {
        // Testing: the least tried lines first, lines that mostly fail last.
        if (tries > 5 && 4 * l.uses < l.failures) return 100000;
        uint32_t weight = static_cast<uint32_t>(l.uses) + 4 * static_cast<uint32_t>(l.failures);
        int bits = 0;
        while (weight >> bits) bits++;
        return 1000.0 * (bits >= 1 ? bits + 4 : 0);
    }
    }
}

bool lines_connect(const racing_line& from, const racing_line& to) {
    size_t n = from.points.size();
    if (n < 3 || to.points.size() < 2) return false;
    double cx, cz;
    line_circle_centre(from.points[n - 3], from.points[n - 2], from.points[n - 1], &cx, &cz);
    double r = horizontal_distance(cx, cz, from.points[n - 1].x, from.points[n - 1].z);
    double d1 = horizontal_distance(cx, cz, to.points[0].x, to.points[0].z);
    double d2 = horizontal_distance(cx, cz, to.points[1].x, to.points[1].z);
    return d1 >= r - 2.5 && d1 <= r + 2.5 && std::fabs(d2 - d1) <= 2 &&
           std::fabs(from.points[n - 1].speed) <= std::fabs(to.points[0].speed) + 15;
}

void line_chain_values(int segment, int mode, double values[k_lines_per_segment]) {
    // The segments of the chain, then each link's best value from the far end back.
    int chain[k_chain_links];
    chain[0] = segment;
    for (int k = 1; k < k_chain_links; k++)
        chain[k] = chain[k - 1] >= 0 ? line_segment_after(chain[k - 1]) : -1;
    double next[k_lines_per_segment], here[k_lines_per_segment];
    for (int k = k_chain_links - 1; k >= 0; k--) {
        const line_segment* s = chain[k] >= 0 && chain[k] < line_segment_count()
                                    ? &g_lines.segments[chain[k]]
                                    : nullptr;
        const line_segment* after =
            k + 1 < k_chain_links && chain[k + 1] >= 0 && chain[k + 1] < line_segment_count()
                ? &g_lines.segments[chain[k + 1]]
                : nullptr;
        for (int i = 0; i < k_lines_per_segment; i++) {
            here[i] = k_no_line_time * static_cast<double>(k_chain_links - k);
            if (!s || s->lines[i].points.empty()) continue;
            double rest = k_no_line_time * static_cast<double>(k_chain_links - k - 1);
            if (after) {
                for (int j = 0; j < k_lines_per_segment; j++)
                    if (!after->lines[j].points.empty() && next[j] < rest &&
                        lines_connect(s->lines[i], after->lines[j]))
                        rest = next[j];
            }
            here[i] = line_mode_estimate(s->lines[i], mode) + rest;
        }
        std::copy(here, here + k_lines_per_segment, next);
    }
    std::copy(next, next + k_lines_per_segment, values);
}

line_learn_result line_offer(int segment, const std::vector<line_point>& points, int32_t time_a,
                             int32_t time_b) {
    if (segment < 0 || segment >= line_segment_count() || points.empty()) return line_canceled;
    line_segment& s = g_lines.segments[segment];
    for (const racing_line& l : s.lines) {
        if (l.points.size() != points.size()) continue;
        bool same = true;
        for (size_t k = 0; k < points.size() && same; k++) {
            const line_point &a = l.points[k], &b = points[k];
            double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
            same = std::fabs(a.speed - b.speed) <= 1.0 / 16 &&
                   dx * dx + dy * dy + dz * dz <= 1.0 / 256;
        }
        if (same) {
            log("auto pilot: %d rejected (duplicate)\n", segment);
            return line_duplicate;
        }
    }
    int slot = -1;
    for (int i = 0; i < k_lines_per_segment && slot < 0; i++)
        if (s.lines[i].points.empty()) slot = i;
    line_learn_result result = line_added;
    if (slot < 0) {
        slot = line_eviction_victim(s);
        if (slot < 0 || line_expected_tics(s.lines[slot]) < 1.25 * time_b) {
            log("auto pilot: %d rejected (too slow)\n", segment);
            return line_too_slow;
        }
        const racing_line& old = s.lines[slot];
        if (debug_level() > 0)
            log("auto pilot: evicting %d (times: %.2f %.2f tested (%d %d): %.2f %.2f repl: %f "
                "%f)\n",
                slot, old.time_a * k_tic_length, old.time_b * k_tic_length, old.uses, old.failures,
                old.uses > 0 ? old.sum_a * k_tic_length / old.uses : 0.0,
                old.uses > 0 ? old.sum_b * k_tic_length / old.uses : 0.0, time_a * k_tic_length,
                time_b * k_tic_length);
        result = line_replaced;
    }
    racing_line& l = s.lines[slot];
    line_empty(l);
    l.points = points;
    l.time_a = time_a;
    l.time_b = time_b;
    l.serial = line_serial_new();
    return result;
}

void lines_analyze() {
    loading_step_begin("Analyzing lines");
    for (line_segment& s : g_lines.segments) prune_segment(s);
    double values[k_lines_per_segment];
    for (int segment = 0; segment < line_segment_count(); segment++) {
        line_segment& s = g_lines.segments[segment];
        for (int mode = 0; mode < 3; mode++) {
            line_chain_values(segment, mode, values);
            s.best[mode] = -1;
            for (int i = 0; i < k_lines_per_segment; i++)
                if (!s.lines[i].points.empty() &&
                    (s.best[mode] < 0 || values[i] < values[s.best[mode]]))
                    s.best[mode] = i;
        }
    }
    loading_step_done("Analyzing lines");
}

void lines_load(const char* track, int skill) {
    lines_clear();
    int count = line_segments_of_track();
    if (!track || count <= 0 || count > k_segments_most) return;
    g_lines.held = true;
    g_lines.track = track;
    g_lines.skill = skill_index(skill);
    g_lines.segments.assign(static_cast<size_t>(count), line_segment{});
    std::string name = std::string("@") + track + "/" + lines_file_name(skill);
    std::string text, why;
    if (file_to_string(name.c_str(), &text) && !lines_parse(text, count, &g_lines.segments, &why)) {
        log("Ignoring %s: %s\n", name.c_str(), why.c_str());
        g_lines.segments.assign(static_cast<size_t>(count), line_segment{});
    }
    for (line_segment& s : g_lines.segments)
        for (racing_line& l : s.lines)
            if (!l.points.empty()) l.serial = line_serial_new();
    lines_analyze();
}

void lines_remember() {
    if (g_lines.held && g_lines.learning) {
        loading_step_begin("Remembering lines");
        std::string name = "@" + g_lines.track + "/" + lines_file_name(g_lines.skill);
        std::string text = lines_format(g_lines.segments);
        data_file* f = data_file_open_replace(name.c_str());
        bool written = f && data_file_write(f, text.data(), text.size());
        if (f && !written) data_file_abandon(f);
        if (!written || !data_file_close(f)) show_message("Can't write '%s'\n", name.c_str());
        loading_step_done("Remembering lines");
    }
    lines_clear();
}

void lines_clear() {
    bool learning = g_lines.learning;
    g_lines = lines_state{};
    g_lines.learning = learning;
    lines_recording_reset(-1);
}

void lines_as_strips(std::vector<float>* points, std::vector<int>* counts) {
    for (const line_segment& s : g_lines.segments)
        for (const racing_line& line : s.lines) {
            if (line.points.size() < 2) continue;
            for (const line_point& p : line.points) points->insert(points->end(), {p.x, p.y, p.z});
            counts->push_back(static_cast<int>(line.points.size()));
        }
}

bool lines_held() { return g_lines.held; }
void lines_set_learning(bool on) { g_lines.learning = on; }
bool lines_learning() { return g_lines.learning; }
