// The robots' library of racing lines for the loaded track and skill: the "ct03" lines files,
// pruning, eviction, learning from human laps, and the statistics of robot runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int k_lines_per_segment = 45;
constexpr int32_t k_no_line_time = 1000000;     // tics: no time recorded yet
constexpr int32_t k_never_picked = -1000000;    // tic
constexpr int32_t k_line_count_limit = 65535;   // uses and failures
constexpr int32_t k_line_sum_limit = 100000000; // tics, each sum of times
constexpr int k_line_point_tics = 32;           // path points lie a quarter second apart
constexpr int k_line_failure_tics = 640;        // a failure costs 5 s in the expected time
constexpr int k_skill_count = 3;

// One point of a recorded path.
struct line_point {
    float x = 0, y = 0, z = 0; // ft
    float speed = 0;           // ft/s, negative when neither wheel touched the ground
    float lean = 0;            // rad
};

// A recorded path two gate intervals long, with how robots fared on it.
struct racing_line {
    std::vector<line_point> points;  // none: an empty slot
    int32_t time_a = k_no_line_time; // tics of the first gate interval when recorded
    int32_t time_b = k_no_line_time; // tics of both intervals when recorded
    int32_t uses = 0;                // robot runs that completed the line
    int32_t best_a = k_no_line_time; // fastest robot times
    int32_t best_b = k_no_line_time;
    int32_t sum_a = 0; // sums of robot times
    int32_t sum_b = 0;
    int32_t failures = 0; // robot runs that crashed or left the line
    int32_t last_picked = k_never_picked;
    int32_t serial = 0; // unique within one load of the library
};

// The lines that start at one learned gate of the lap sequence, and the best of them by each of
// the time modes 0 to 2 (-1 when none).
struct line_segment {
    racing_line lines[k_lines_per_segment];
    int best[3] = {-1, -1, -1};
};

// "lines_novice", "lines_amateur" or "lines_expert"; skills outside 0..2 count as the nearest.
const char* lines_file_name(int skill);

// Reads a lines file's text for a track of `segment_count` segments. False, with the reason in
// `why`, when the text is not a lines file for this track; damaged lines are dropped on the way.
bool lines_parse(const std::string& text, int segment_count, std::vector<line_segment>* out,
                 std::string* why);
std::string lines_format(const std::vector<line_segment>& segments);
// Statistics beyond their limits halved, at most 16 times, then capped.
void line_statistics_limit(racing_line& line);

// The held library.
int line_segment_count();
// Every line of the held library as a strip to draw: the points' x, y, z one after another, and
// each strip's point count (lines of fewer than two points are left out).
void lines_as_strips(std::vector<float>* points, std::vector<int>* counts);
const line_segment& line_segment_at(int segment);
// Replaces a segment of the held library whole (a library made by hand).
void line_segment_set(int segment, const line_segment& lines);
// Empties every line of the held library (learning from nothing).
void lines_empty_all();
// A robot on line `line` of the segment fell or missed its gates on it.
void lines_record_failure(int segment, int line);
// A robot rode line `line` of the segment to its end in a and b tics (to its middle and last
// gate).
void lines_record_use(int segment, int line, int32_t a, int32_t b);
// A robot picked line `line` of the segment at tic `now`: it and the lines that end where it ends
// count as just picked.
void lines_record_pick(int segment, int line, int now);
// A new serial for a line that is loaded or created.
int32_t line_serial_new();
void line_empty(racing_line& line);
// The segment's line with this serial, -1 when none.
int line_with_serial(int segment, int32_t serial);

// The segment a crossing stands for: its lap-sequence entry among the learned entries, the
// first lap's before the normal lap's; -1 for a gate left out of learning or without timing.
int line_segment_of_crossing(int crossing);
// The segment of the learned gate `gates` on from this one's (the normal lap wraps round; the
// first lap runs on into the normal lap); -1 for no segment.
int line_segment_on(int segment, int gates);
// The segment whose lines start where a line of this one ends, two learned gates on.
int line_segment_after(int segment);
// The learned crossing before this one, -1 when none.
int line_learned_before(int crossing);
// The centre of the circle through three points in the ground plane; a point far out along the
// perpendicular at the last one when they lie on a line.
void line_circle_centre(const line_point& a, const line_point& b, const line_point& c, double* cx,
                        double* cz);
// Segments the lap sequence has learned gates for: 0 without timing.
int line_segments_of_track();

// Expected tics of a line for eviction: untried lines by their recorded time, tried ones by the
// robots' average, failures at 5 s each.
double line_expected_tics(const racing_line& line);
// The slot a new line would replace when the segment is full, -1 when none may go.
int line_eviction_victim(const line_segment& segment);
// Robot time estimate of a line by time mode (0 to 3); k_no_line_time without enough uses.
double line_mode_estimate(const racing_line& line, int mode);
// Whether a line of the segment after may follow this line: it starts on the circle this line
// ends on, and is not much slower at the join.
bool lines_connect(const racing_line& from, const racing_line& to);
// Each line's smallest estimated time over a connected chain of lines four links (eight
// segments) ahead, by mode; `values` gets one entry per slot (k_no_line_time for empty ones).
void line_chain_values(int segment, int mode, double values[k_lines_per_segment]);

// Why a candidate line was or was not taken.
enum line_learn_result { line_added, line_replaced, line_duplicate, line_too_slow, line_canceled };
// Offers a ridden line to a segment; the line is taken into an empty slot or over the eviction
// victim when that is slower by a quarter.
line_learn_result line_offer(int segment, const std::vector<line_point>& points, int32_t time_a,
                             int32_t time_b);

// The library of the loaded track and skill: a missing or mismatching file leaves every segment
// empty. "Analyzing lines" prunes overfull segments and finds each segment's best lines.
void lines_load(const char* track, int skill);
// "Remembering lines": writes the held library back to its file when learning is on, then drops
// it.
void lines_remember();
// Prunes every overfull segment and finds the best line of every segment by each mode.
void lines_analyze();
// Drops the library and the learning buffers without saving.
void lines_clear();
bool lines_held();

// Line learning ("--learn"): human laps add lines, and the library is saved at the next reset.
void lines_set_learning(bool on);
bool lines_learning();

// A path point where the bike is now: its frame's position, speed and lean.
line_point line_point_of_bike(int bike);
// A human rider's tic: a path point every quarter second for the lines being recorded.
void lines_record_tic(int slot, int bike, int clock);
// A human rider's crossing at `crossing` made with the detection's offset (0 at the expected
// gate): offers the line of the last two intervals.
void lines_human_crossing(int slot, int bike, int crossing, int offset);
// Forgets what a slot was recording (a new bike, a new race).
void lines_recording_reset(int slot);

// Realignment: the nearest point of the best line of the bike's segment.
bool lines_realign_target(int slot, double x, double y, double z, double* tx, double* ty,
                          double* tz);
