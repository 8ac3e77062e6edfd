// The robots' line library: lines files read and written, damaged files, the statistics' limits,
// eviction, learning from a ridden lap, robot statistics at gates and the picking of lines.
#include "race_world.h"

#include "common/message.h"
#include "race/auto_pilot.h"
#include "race/robot_list.h"
#include "race/robot_lines.h"
#include "race/scripted_rider.h"

#include <algorithm>
#include <string>

namespace {
// A line of `n` points along x from (x0, 0, z), at `speed`.
racing_line straight_line(int n, float x0, float z, float speed) {
    racing_line l;
    for (int k = 0; k < n; k++) l.points.push_back({x0 + 8.0f * k, 0, z, speed, 0});
    l.time_a = 100;
    l.time_b = 200;
    return l;
}

int lines_held_in(const line_segment& s) {
    return static_cast<int>(std::count_if(std::begin(s.lines), std::end(s.lines),
                                          [](const racing_line& l) { return !l.points.empty(); }));
}

TEST(robot_lines, AFileWrittenReadsBackTheSameWhateverItsWhiteSpace) {
    std::vector<line_segment> segments(2);
    segments[0].lines[0] = straight_line(3, 0, 0, 20);
    segments[0].lines[0].uses = 7;
    segments[0].lines[0].sum_b = 1400;
    segments[0].lines[0].best_b = 190;
    segments[0].lines[3] = straight_line(4, 5, 10, -30); // airborne points keep their sign
    segments[1].lines[0] = straight_line(2, 1, 2, 12);
    segments[1].lines[0].failures = 3;
    std::string text = lines_format(segments);
    ASSERT_EQ(text.rfind("ct03 2\n", 0), 0u);

    std::string spaced;
    for (char c : text)
        spaced += c == ' ' ? std::string("\t  ") : c == '\n' ? "\r\n\n" : std::string(1, c);
    for (const std::string& t : {text, spaced}) {
        std::vector<line_segment> read;
        std::string why;
        ASSERT_TRUE(lines_parse(t, 2, &read, &why)) << why;
        EXPECT_EQ(lines_format(read), text);
        EXPECT_EQ(read[0].lines[0].uses, 7);
        EXPECT_EQ(read[0].lines[1].points.size(), 4u) << "empty slots are not written";
        EXPECT_LT(read[0].lines[1].points[0].speed, 0);
        EXPECT_EQ(read[1].lines[0].failures, 3);
    }
}

TEST(robot_lines, ADamagedLineOfTheWidestNumbersIsWrittenWholeAndReadsBackTheSame) {
    // A file a reader keeps: its points as far out as a float goes, its second line after it.
    std::string text = "ct03 1\n2\n2 1 2 0 1 1 0 0 0\n"
                       "[3e38 -3e38 3e38] -3e38 3e38\n[-3e38 3e38 -3e38] 3e38 -3e38\n"
                       "1 5 9 0 1 1 0 0 0\n[1 2 3] 4 5\n";
    std::vector<line_segment> read, again;
    std::string why;
    ASSERT_TRUE(lines_parse(text, 1, &read, &why)) << why;
    ASSERT_EQ(lines_held_in(read[0]), 2);
    ASSERT_TRUE(lines_parse(lines_format(read), 1, &again, &why)) << why;
    ASSERT_EQ(lines_held_in(again[0]), 2);
    for (int i = 0; i < 2; i++) {
        const racing_line &a = read[0].lines[i], &b = again[0].lines[i];
        ASSERT_EQ(a.points.size(), b.points.size());
        for (size_t k = 0; k < a.points.size(); k++) {
            EXPECT_EQ(a.points[k].x, b.points[k].x);
            EXPECT_EQ(a.points[k].y, b.points[k].y);
            EXPECT_EQ(a.points[k].z, b.points[k].z);
            EXPECT_EQ(a.points[k].speed, b.points[k].speed);
            EXPECT_EQ(a.points[k].lean, b.points[k].lean);
        }
    }
}

TEST(robot_lines, AFileForAnotherTrackOrNoLinesFileAtAllIsRefusedWithItsReason) {
    std::vector<line_segment> segments(3);
    std::string text = lines_format(segments);
    std::vector<line_segment> read;
    std::string why;
    EXPECT_FALSE(lines_parse(text, 4, &read, &why));
    EXPECT_NE(why.find("3 segments where the track has 4"), std::string::npos) << why;
    for (const char* bad : {"", "ct02 3\n", "hello", "ct03", "ct03 x"}) {
        why.clear();
        EXPECT_FALSE(lines_parse(bad, 3, &read, &why)) << bad;
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(read.size(), 3u) << "the library keeps its segments, empty";
    }
}

TEST(robot_lines, LinesBeyondFortyFiveAreReadAndDroppedAndADamagedLineEndsTheReading) {
    std::vector<line_segment> full(2);
    for (racing_line& l : full[0].lines) l = straight_line(2, 0, 0, 10);
    std::string text = lines_format(full);
    // Three more lines in the first segment, then the second segment's one line.
    std::string extra = "3\n2 1 2 0 1000000 1000000 0 0 0\n[1 2 3] 4 5\n[6 7 8] 9 1\n";
    std::string count = "45\n";
    size_t at = text.find(count);
    ASSERT_NE(at, std::string::npos);
    std::string more = text.substr(0, at) + "48\n" + text.substr(at + count.size());
    more.resize(more.size() - 2); // the second segment's "0\n"
    more += extra.substr(2) + extra.substr(2) + extra.substr(2) + "1\n" + extra.substr(2);
    std::vector<line_segment> read;
    std::string why;
    ASSERT_TRUE(lines_parse(more, 2, &read, &why)) << why;
    EXPECT_EQ(lines_held_in(read[0]), 45);
    EXPECT_EQ(lines_held_in(read[1]), 1) << "reading goes on after the dropped lines";

    // Every cut through the file reads without a crash and keeps only whole lines.
    for (size_t cut = 0; cut < more.size(); cut += 97) {
        std::vector<line_segment> part;
        if (!lines_parse(more.substr(0, cut), 2, &part, &why)) continue;
        for (const line_segment& s : part)
            for (const racing_line& l : s.lines)
                EXPECT_TRUE(l.points.empty() || l.points.size() == 2u) << cut;
    }
    // A point that does not parse drops its line and what follows it.
    std::string damaged = "ct03 2\n2\n2 1 2 0 1 1 0 0 0\n[1 2 3] 4 5\n[6 7 8] 9 1\n"
                          "2 1 2 0 1 1 0 0 0\n[1 2 3] 4 5\n[6 nan 8] 9 1\n1\n"
                          "2 1 2 0 1 1 0 0 0\n[1 2 3] 4 5\n[6 7 8] 9 1\n";
    ASSERT_TRUE(lines_parse(damaged, 2, &read, &why));
    EXPECT_EQ(lines_held_in(read[0]), 1);
    EXPECT_EQ(lines_held_in(read[1]), 0);
}

TEST(robot_lines, StatisticsBeyondTheirLimitsAreHalvedKeepingTheirAverages) {
    racing_line l = straight_line(2, 0, 0, 10);
    l.uses = 140000;
    l.sum_a = 70000000;
    l.sum_b = 100000000;
    l.failures = 90000;
    line_statistics_limit(l);
    EXPECT_LE(l.uses, k_line_count_limit);
    EXPECT_LE(l.failures, k_line_count_limit);
    EXPECT_EQ(l.uses, 35000) << "halved until the uses fit";
    EXPECT_NEAR(static_cast<double>(l.sum_a) / l.uses, 500.0, 0.01);
    EXPECT_NEAR(static_cast<double>(l.sum_b) / l.uses, 714.3, 0.1);
    EXPECT_EQ(l.failures, 22500);
    // A line read with a sum beyond any halving is capped.
    racing_line big = straight_line(2, 0, 0, 10);
    big.uses = 1;
    big.sum_b = 2000000000;
    line_statistics_limit(big);
    EXPECT_LE(big.sum_b, k_line_sum_limit);
}

TEST(robot_lines, AFullSegmentEvictsFailingLinesFirstThenUntriedOnesSharingAStart) {
    line_segment s;
    for (int i = 0; i < k_lines_per_segment; i++) {
        // Starts 3 ft apart: each its own.
        s.lines[i] = straight_line(3, 0, 3.0f * static_cast<float>(i), 10);
        if (i < 20) {
            s.lines[i].uses = 5;
            s.lines[i].failures = 1;
            s.lines[i].sum_b = 5 * 300;
        }
    }
    EXPECT_EQ(line_eviction_victim(s), -1) << "untried lines of their own start stay";
    // An untried line starting where another does may go, the slowest such first, so that
    // learning goes on in a full segment.
    for (int i : {40, 41}) s.lines[i].points[0].z = s.lines[i - 1].points[0].z + 1;
    s.lines[41].time_b = 300;
    EXPECT_EQ(line_eviction_victim(s), 41);
    s.lines[40].time_b = 250;
    s.lines[41].uses = 1;
    s.lines[41].sum_b = 300;
    EXPECT_EQ(line_eviction_victim(s), 40) << "once ridden, it is no longer untried";
    // A line that failed as often as it got through may go, the slowest such first.
    s.lines[30].uses = 2;
    s.lines[30].failures = 2;
    s.lines[30].sum_b = 2 * 250;
    s.lines[31].uses = 1;
    s.lines[31].failures = 1;
    s.lines[31].sum_b = 900;
    EXPECT_EQ(line_eviction_victim(s), 31);
    // With more than 22 proven lines any line may go: the slowest by expected time.
    for (int i = 20; i < 25; i++) {
        s.lines[i].uses = 5;
        s.lines[i].sum_b = 5 * 300;
    }
    s.lines[3].sum_b = 5 * 2000;
    EXPECT_EQ(line_eviction_victim(s), 3);
}

TEST(robot_lines, TheTesterModeRanksTheLeastTriedLinesFirstAndMostlyFailingOnesLast) {
    racing_line untried = straight_line(2, 0, 0, 10), tried = untried, failing = untried;
    tried.uses = 40;
    tried.sum_b = 40 * 300;
    failing.uses = 1;
    failing.failures = 9;
    EXPECT_LT(line_mode_estimate(untried, 3), line_mode_estimate(tried, 3));
    EXPECT_LT(line_mode_estimate(tried, 3), line_mode_estimate(failing, 3));
    // The racing modes want enough runs before they trust a line.
    EXPECT_EQ(line_mode_estimate(untried, 0), k_no_line_time);
    EXPECT_EQ(line_mode_estimate(tried, 0), 300);
}

// Races on rabbithill with the line library of the generated data set.
class robot_race : public race_world {
  protected:
    void TearDown() override {
        auto_pilot_set_practice(false);
        race_set_robot_learning(false);
        race_world::TearDown();
    }
    void run_until(int clock) {
        while (race_clock() < clock && !race_results_done()) race_world_tic();
    }
    // A one-lap race of forty robots on rabbithill.
    static bool start_forty(int skill = 0) {
        const std::vector<int> robots(40, lineup_robot);
        race_start_params p;
        p.track = "rabbithill";
        p.laps = 1;
        p.skill = skill;
        return race_start_lineup(p, robots.data(), 40);
    }
};

TEST_F(robot_race, OfferedLinesDuplicatesAndTooSlowOnesAreRejected) {
    ASSERT_TRUE(start("rabbithill", {}));
    ASSERT_GT(line_segment_count(), 0);
    line_segment s = line_segment_at(0);
    for (racing_line& l : s.lines) line_empty(l);
    line_segment_set(0, s);
    racing_line a = straight_line(5, 0, 0, 20);
    EXPECT_EQ(line_offer(0, a.points, 100, 200), line_added);
    // The same path again, even much faster, is a duplicate.
    std::vector<line_point> same = a.points;
    same[2].x += 0.01f;
    same[3].speed += 0.05f;
    EXPECT_EQ(line_offer(0, same, 50, 100), line_duplicate);
    // Full of untried lines and a few proven ones, none may go.
    s = line_segment_at(0);
    for (int i = 1; i < k_lines_per_segment; i++) {
        s.lines[i] = straight_line(5, 0, static_cast<float>(3 * i), 20);
        s.lines[i].serial = line_serial_new();
    }
    line_segment_set(0, s);
    EXPECT_EQ(line_offer(0, straight_line(5, 1, 1, 30).points, 50, 100), line_too_slow);
    // A line that failed more than it got through goes for one a quarter faster than it: it
    // is expected at 400 + 640 * 2/3 tics.
    s = line_segment_at(0);
    s.lines[9].uses = 1;
    s.lines[9].failures = 2;
    s.lines[9].sum_b = 400;
    line_segment_set(0, s);
    EXPECT_EQ(line_offer(0, straight_line(5, 1, 1, 30).points, 100, 700), line_too_slow);
    EXPECT_EQ(line_offer(0, straight_line(5, 1, 1, 30).points, 100, 600), line_replaced);
    const racing_line& replaced = line_segment_at(0).lines[9];
    EXPECT_EQ(replaced.time_b, 600);
    EXPECT_EQ(replaced.uses, 0);
    EXPECT_EQ(replaced.failures, 0);
}

TEST_F(robot_race, ADamagedLinesFileIsIgnoredWithItsMessageAndRobotsStandStill) {
    write(home / "rabbithill" / "lines_novice", "ct03 999\n1\n2 1 2 3 [garbage");
    ASSERT_TRUE(start("rabbithill", {lineup_robot}));
    EXPECT_NE(log_text().find("Ignoring @rabbithill/lines_novice: 999 segments"),
              std::string::npos);
    ASSERT_GT(line_segment_count(), 0);
    for (int s = 0; s < line_segment_count(); s++) EXPECT_EQ(lines_held_in(line_segment_at(s)), 0);
    vec3d grid = frame_of(0);
    run_until(race_gate_drop_tic() + 4 * k_tics_per_second);
    EXPECT_LT(distance(frame_of(0), grid), 3) << "nothing to ride: the robot stays";
    bool told = false;
    for (int k = 0; k < 20; k++)
        told = told ||
               message_recent(k) == "The robots have no racing line here (lines_novice): they wait";
    EXPECT_TRUE(told) << "and the player is told why";
}

// The scripted rider rides one lap as the local rider with learning on, into an emptied
// library: every segment whose line ended within the lap holds exactly the one line ridden,
// starting at its own gate and as long as the two gate intervals took.
TEST_F(robot_race, ALearnedLapAddsExactlyOneLinePerSegment) {
    apply_setup_line("arcade", "No");
    race_set_robot_learning(true);
    ASSERT_TRUE(start("rabbithill", {lineup_local}, 1));
    lines_empty_all();
    int bike = race_slot(0).bike;
    gate_follower f;
    gate_follower_reset(f);
    for (int t = 0; t < 240 * k_tics_per_second && !race_results_done(); t++) {
        bool dropped = race_clock() >= race_gate_drop_tic();
        rider_input_set(0, dropped ? gate_follower_input(f, bike) : gate_follower_wait());
        race_world_tic();
    }
    ASSERT_TRUE(rider_finished(0));
    const int learned = first_lap_learned_count();
    ASSERT_EQ(learned, first_lap_length()) << "every gate of rabbithill's first lap is learned";
    for (int s = 0; s < line_segment_count(); s++) {
        const line_segment& seg = line_segment_at(s);
        int expected = s < learned - 2 ? 1 : 0;
        ASSERT_EQ(lines_held_in(seg), expected) << "segment " << s;
        if (!expected) continue;
        const racing_line& l = seg.lines[0];
        const rider_timing& t = timing_of(0);
        EXPECT_EQ(l.time_a, crossing_tic(t, s + 1) - crossing_tic(t, s));
        EXPECT_EQ(l.time_b, crossing_tic(t, s + 2) - crossing_tic(t, s));
        EXPECT_NEAR(static_cast<double>(l.points.size()), l.time_b / double(k_line_point_tics),
                    1.5);
        const timing_gate& g = gate_at(gate_at_position(s));
        EXPECT_LT(std::hypot(l.points[0].x - g.centre[0], l.points[0].z - g.centre[2]), 40)
            << "segment " << s << " starts at its gate";
    }
}

// A robot's crossing gives a use to the line it picked two gates back when it rode it, with its
// times; a crossing off its line gives the line it rides a failure.
TEST_F(robot_race, ARobotsRunsCountForTheLinesItRodeAndAgainstTheLineItLeft) {
    apply_setup_line("arcade", "No");
    ASSERT_TRUE(start("rabbithill", {lineup_robot}, 1));
    const int bike = race_slot(0).bike;
    int uses_counted = 0, position = 0;
    // A robot from the grid may weave off its first lines down the start straight: the lap gives
    // it the time to ride onto them.
    for (int t = 0; t < 240 * k_tics_per_second && uses_counted < 3; t++) {
        const int c = timing_of(0).position; // the crossing to be made next
        const int from = c >= 2 ? line_segment_of_crossing(c - 2) : -1;
        const int32_t serial = from >= 0 ? auto_pilot_picked_serial(0, from) : 0;
        const int slot = from >= 0 ? line_with_serial(from, serial) : -1;
        racing_line before = slot >= 0 ? line_segment_at(from).lines[slot] : racing_line{};
        race_world_tic();
        position = timing_of(0).position;
        if (position != c + 1 || slot < 0) continue;
        const racing_line& after = line_segment_at(from).lines[slot];
        if (after.uses == before.uses) continue; // off its line at this gate
        const rider_timing& timing = timing_of(0);
        int a = crossing_tic(timing, c - 1) - crossing_tic(timing, c - 2);
        int b = crossing_tic(timing, c) - crossing_tic(timing, c - 2);
        EXPECT_EQ(after.uses, before.uses + 1);
        EXPECT_EQ(after.sum_a, before.sum_a + a);
        EXPECT_EQ(after.sum_b, before.sum_b + b);
        EXPECT_EQ(after.best_b, std::min(before.best_b, b));
        EXPECT_EQ(after.failures, before.failures);
        uses_counted++;
    }
    ASSERT_EQ(uses_counted, 3) << "the robot rides its lines through the gates";

    // Put far off its path at a gate in the middle of the line it rides, its next crossing
    // counts against that line, not against any line still to be picked.
    for (int t = 0; t < 60 * k_tics_per_second; t++) {
        const int last = timing_of(0).position - 1;
        if (last >= 1 && auto_pilot_picked_serial(0, line_segment_of_crossing(last)) == 0 &&
            auto_pilot_picked_serial(0, line_segment_of_crossing(last - 1)) != 0)
            break;
        race_world_tic();
    }
    const int c = timing_of(0).position - 1;
    const int segment = line_segment_of_crossing(c - 1);
    const int slot = line_with_serial(segment, auto_pilot_picked_serial(0, segment));
    ASSERT_GE(slot, 0) << "the robot rides a line begun a gate back";
    ASSERT_EQ(auto_pilot_picked_serial(0, line_segment_of_crossing(c)), 0);
    const int failures = line_segment_at(segment).lines[slot].failures;
    vec3d x = frame_of(0), f = bike_forward(bike);
    double fl = std::max(std::hypot(f.x, f.z), 1e-9);
    race_place_bike(bike, static_cast<float>(x.x + 40 * f.z / fl),
                    static_cast<float>(x.z - 40 * f.x / fl), 0, nullptr, 0);
    auto_pilot_crossing(0, bike, c, 0);
    EXPECT_EQ(line_segment_at(segment).lines[slot].failures, failures + 1);
}

// A robot put down off its line, turned about and at rest, finds its way back and rides on
// through the gates.
TEST_F(robot_race, ARobotTurnedAboutOffItsLineRidesBackOnThroughTheGates) {
    apply_setup_line("arcade", "No");
    ASSERT_TRUE(start("rabbithill", {lineup_robot}, 1));
    const int bike = race_slot(0).bike;
    for (int t = 0; t < 120 * k_tics_per_second && timing_of(0).position < 4; t++) race_world_tic();
    ASSERT_GE(timing_of(0).position, 4) << "the robot rides its first gates";

    const int from = timing_of(0).position;
    vec3d x = frame_of(0), f = bike_forward(bike);
    double fl = std::max(std::hypot(f.x, f.z), 1e-9);
    // Bikes face (-sin h, -cos h): this heading turns it against its way.
    race_place_bike(bike, static_cast<float>(x.x + 25 * f.z / fl),
                    static_cast<float>(x.z - 25 * f.x / fl),
                    static_cast<float>(std::atan2(f.x, f.z)), nullptr, 0);
    const int placed = race_clock();
    while (race_clock() - placed < 90 * k_tics_per_second && timing_of(0).position < from + 3)
        race_world_tic();
    EXPECT_GE(timing_of(0).position, from + 3)
        << "after " << (race_clock() - placed) * k_tic_length << " s the robot is at timing "
        << timing_of(0).position << ", placed at " << from;
}

// The robot's next pick, taken just after the drop: a line picked a second ago weighs its time
// by a third, others in full.
TEST_F(robot_race, ALinePickedASecondAgoWeighsItsTimeByAThird) {
    ASSERT_TRUE(start("rabbithill", {lineup_robot}, 1));
    run_until(race_gate_drop_tic() + k_tics_per_second);
    const int segment = auto_pilot_next_segment(0);
    ASSERT_GE(segment, 0);
    line_segment s = line_segment_at(segment);
    ASSERT_GE(lines_held_in(s), 2);
    const int now = race_clock();
    for (racing_line& l : s.lines) l.last_picked = k_never_picked;
    int recent = -1;
    for (int k = 0; k < k_lines_per_segment && recent < 0; k++)
        if (!s.lines[k].points.empty()) recent = k;
    s.lines[recent].last_picked = now - k_tics_per_second;
    line_segment_set(segment, s);
    line_pick p = auto_pilot_pick(0, race_slot(0).bike);
    ASSERT_EQ(p.segment, segment);
    for (int k = 0; k < k_lines_per_segment; k++) {
        if (s.lines[k].points.empty()) continue;
        double weight = k == recent ? 1.0 / 3 : 1.0;
        EXPECT_NEAR(p.total[k] - p.match[k], weight * p.score[k], 1e-9) << k;
    }
}

// In practice every robot tests: of lines that start alike, the one never tried is picked.
TEST_F(robot_race, TesterRobotsPickTheLeastTriedLine) {
    auto_pilot_set_practice(true);
    ASSERT_TRUE(start("rabbithill", {lineup_robot}, 1));
    EXPECT_EQ(auto_pilot_personality(0), k_personality_tester);
    run_until(race_gate_drop_tic() + k_tics_per_second);
    const int segment = auto_pilot_next_segment(0);
    ASSERT_GE(segment, 0);
    line_segment s = line_segment_at(segment);
    int first = -1;
    for (int k = 0; k < k_lines_per_segment && first < 0; k++)
        if (!s.lines[k].points.empty()) first = k;
    ASSERT_GE(first, 0);
    const std::vector<line_point> path = s.lines[first].points;
    for (int k = 0; k < 6; k++) {
        racing_line& l = s.lines[k];
        l = racing_line{};
        l.points = path;
        l.time_a = 100;
        l.time_b = 200;
        l.uses = k == 4 ? 0 : 40;
        l.sum_b = l.uses * 200;
        l.serial = line_serial_new();
    }
    for (int k = 6; k < k_lines_per_segment; k++) line_empty(s.lines[k]);
    line_segment_set(segment, s);
    line_pick p = auto_pilot_pick(0, race_slot(0).bike);
    EXPECT_EQ(p.mode, 3);
    EXPECT_EQ(p.line, 4);
}

// Two robots waiting at the gate, one put down half inside the other: while both race, the
// bikes push each other apart; a finished robot with nothing left to ride leaves the track,
// touching nobody as it fades, and is gone within a second.
TEST_F(robot_race, AFinishedRobotLeavesTheTrackThroughTheBikesStillRacing) {
    apply_setup_line("arcade", "No");
    for (bool finished : {false, true}) {
        ASSERT_TRUE(start("rabbithill", {lineup_robot, lineup_robot}, 1));
        run_until(k_tics_per_second);
        ASSERT_GT(race_gate_drop_tic(), race_clock() + k_tics_per_second);
        if (finished)
            for (int c = 0; c <= crossing_completing_lap(1); c++)
                race_set_crossing(0, c, race_clock());
        ASSERT_EQ(rider_finished(0), finished);
        race_world_tic(); // the robot sees it has finished
        const int a = race_slot(0).bike, b = race_slot(1).bike;
        const vec3d x = placed_at(0), f = bike_forward(a);
        const float heading = static_cast<float>(std::atan2(-f.x, -f.z));
        race_place_bike(b, static_cast<float>(x.x - f.z), static_cast<float>(x.z + f.x), heading,
                        nullptr, 0);
        ASSERT_TRUE(bikes_overlap(a, b));
        const vec3d put = frame_of(1);
        for (int t = 0; t < 63; t++) race_world_tic();
        // Across the ground: the bike settles on its springs either way.
        const double moved = std::hypot(frame_of(1).x - put.x, frame_of(1).z - put.z);
        if (finished) {
            EXPECT_LT(moved, 0.15) << "the leaving robot touched it";
            EXPECT_GT(race_slot_opacity(0), 0.3f);
            EXPECT_LT(race_slot_opacity(0), 0.7f) << "half a second into fading";
            for (int t = 0; t < 80; t++) race_world_tic();
            EXPECT_EQ(race_slot_opacity(0), 0.0f);
            EXPECT_FALSE(bike_simulated(a));
        } else {
            EXPECT_GT(moved, 0.3) << "the racing robot did not push it";
            EXPECT_EQ(race_slot_opacity(0), 1.0f);
        }
        EXPECT_EQ(race_slot_opacity(1), 1.0f);
    }
}

// A robot that has finished rides out the rest of its path, easing off, seen and solid among
// the others; at its end it leaves the track and its bike is parked out of sight, while the
// others race on.
TEST_F(robot_race, AFinishedRobotRidesOutItsPathThenLeavesTheTrack) {
    apply_setup_line("arcade", "No");
    ASSERT_TRUE(start("rabbithill", {lineup_robot, lineup_robot}, 1));
    run_until(race_gate_drop_tic() + 3 * k_tics_per_second);
    for (int c = 0; c <= crossing_completing_lap(1); c++) race_set_crossing(0, c, race_clock());
    const int a = race_slot(0).bike, b = race_slot(1).bike;
    const int finished_at = race_clock();
    int seen_until = finished_at;
    while (bike_simulated(a) && race_clock() - finished_at < 60 * k_tics_per_second) {
        race_world_tic();
        if (race_slot_opacity(0) == 1.0f) seen_until = race_clock();
    }
    ASSERT_FALSE(bike_simulated(a)) << "still riding 60 s after the finish";
    EXPECT_GT(seen_until - finished_at, k_tics_per_second) << "it rode out its path first";
    EXPECT_LE(race_clock() - seen_until, k_tics_per_second + 1) << "a second to leave";
    EXPECT_EQ(race_slot_opacity(0), 0.0f);
    const vec3d parked = frame_of(0);
    run_until(race_clock() + 5 * k_tics_per_second);
    EXPECT_EQ(distance(frame_of(0), parked), 0);
    EXPECT_TRUE(bike_simulated(b));
    EXPECT_FALSE(rider_finished(1));
    EXPECT_EQ(race_slot_opacity(1), 1.0f);
}

// At the drop every robot picks its first line at once: those picked already weigh less, so
// the grid spreads over the lines across the gate instead of all heading for the nearest.
TEST_F(robot_race, AtTheDropTheGridSpreadsOverTheFirstLines) {
    apply_setup_line("arcade", "No");
    ASSERT_TRUE(start_forty());
    run_until(race_gate_drop_tic() + 2);
    std::map<int32_t, int> riders_of;
    for (int slot = 0; slot < 40; slot++) {
        const int32_t serial = auto_pilot_picked_serial(slot, 0);
        ASSERT_NE(serial, 0) << "slot " << slot << " picked no first line";
        riders_of[serial]++;
    }
    int most = 0;
    for (const auto& [serial, riders] : riders_of) most = std::max(most, riders);
    const size_t lines = static_cast<size_t>(lines_held_in(line_segment_at(0)));
    EXPECT_EQ(riders_of.size(), lines) << "every first line has riders";
    EXPECT_LE(most, 2 * 40 / static_cast<int>(lines)) << "none takes twice its share";
}

// Forty robots at the gate make a crowd at the first bends; none of them stays wedged in it:
// every one is on its way round the lap within a minute of the drop.
TEST_F(robot_race, FortyRobotsAllGetAwayFromTheStart) {
    apply_setup_line("arcade", "No");
    ASSERT_TRUE(start_forty(2));
    run_until(race_gate_drop_tic() + 60 * k_tics_per_second);
    for (int slot = 0; slot < 40; slot++)
        EXPECT_GE(timing_of(slot).position, 4)
            << "slot " << slot << " at " << frame_of(slot).x << ", " << frame_of(slot).z;
}

// Two races of forty robots from the same reset ride the same, the start and the first bends
// bike against bike: every bike's state every second.
TEST_F(robot_race, FortyRobotsRaceTheSameTwice) {
    apply_setup_line("arcade", "No");
    std::vector<std::string> digests[2];
    for (std::vector<std::string>& digest : digests) {
        ASSERT_TRUE(start("rabbithill", {}));
        ASSERT_TRUE(start_forty());
        const int end = race_gate_drop_tic() + 5 * k_tics_per_second;
        while (race_clock() < end) {
            race_world_tic();
            if (race_clock() % k_tics_per_second == 0) digest.push_back(race_digest());
        }
        int moving = 0;
        for (int slot = 0; slot < 40; slot++) {
            vec3d v = bike_frame_velocity(race_slot(slot).bike);
            moving += std::hypot(v.x, v.z) > 8 ? 1 : 0;
        }
        EXPECT_GE(moving, 2) << "the front of the field is away from the gate";
    }
    EXPECT_EQ(digests[0], digests[1]);
}

// A robot that rode past three gates without crossing them (they stood elsewhere while it rode
// by) turns back for the last of them that still counts, instead of riding a whole lap round to
// the first: it crosses that gate soon after, and rides on through the next ones.
TEST_F(robot_race, ARobotThatMissedGatesRidesBackForTheLastThatCounts) {
    apply_setup_line("arcade", "No");
    ASSERT_TRUE(start("rabbithill", {lineup_robot}, 2));
    for (int t = 0; t < 120 * k_tics_per_second && timing_of(0).position < 6; t++) race_world_tic();
    const int from = timing_of(0).position;
    ASSERT_GE(from, 6) << "the robot rides its first gates";

    // The next three gates are taken away until the robot has ridden through the third one's
    // place; nothing is counted meanwhile.
    timing_gate kept[3];
    for (int k = 0; k < 3; k++) {
        kept[k] = gate_at(gate_at_position(from + k));
        timing_gate moved = kept[k];
        moved.centre[0] += 5000;
        gate_set(gate_at_position(from + k), moved);
    }
    const timing_gate& last = kept[2];
    auto to_last = [&] {
        vec3d x = frame_of(0);
        return std::hypot(x.x - last.centre[0], x.z - last.centre[2]);
    };
    bool reached = false;
    const int taken = race_clock();
    while (race_clock() - taken < 60 * k_tics_per_second) {
        race_world_tic();
        if (to_last() < last.radius) reached = true;
        if (reached && to_last() > last.radius + 20) break;
    }
    ASSERT_TRUE(reached) << "the robot rode by the third gate's place";
    ASSERT_EQ(timing_of(0).position, from);
    for (int k = 0; k < 3; k++) gate_set(gate_at_position(from + k), kept[k]);

    // A lap takes minutes; riding back to the gate takes seconds.
    const int passed = race_clock();
    while (race_clock() - passed < 40 * k_tics_per_second && timing_of(0).position <= from + 2)
        race_world_tic();
    EXPECT_GT(timing_of(0).position, from + 2)
        << "after " << (race_clock() - passed) * k_tic_length << " s the robot is at timing "
        << timing_of(0).position << ", due at " << from;
    const int crossed = race_clock();
    while (race_clock() - crossed < 40 * k_tics_per_second && timing_of(0).position < from + 6)
        race_world_tic();
    EXPECT_GE(timing_of(0).position, from + 6) << "it rides on round the lap";
}
} // namespace
