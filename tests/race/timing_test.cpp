// Race timing: crossings, laps, finishing, the running order, penalties, results and the grid.
#include "race/race.h"
#include "race/race_grid.h"
#include "race/race_results.h"
#include "race/race_timing.h"
#include "track/track_gates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

namespace {
constexpr int k_second = 128; // tics

// Four gates 100 ft apart on the x axis, facing +x; every lap crosses all four.
const char* const k_four_gates =
    "checkpoints:\n"
    "10 [0 0 0] [1 0 0]\n10 [100 0 0] [1 0 0]\n10 [200 0 0] [1 0 0]\n10 [300 0 0] [1 0 0]\n"
    "firstlap: 0 1 2 3\nnormallap: 0 1 2 3\n";

struct Timing : ::testing::Test {
    void SetUp() override {
        timing_gates_parse(k_four_gates);
        race_set_gate_drop_tic(0);
        timing_reset(0, 5);
        for (int s : {0, 1, 2}) timing_set_occupied(s, true);
        race_clear_slots();
    }
    void TearDown() override { timing_gates_clear(); }

    // Just past gate g.
    static bool at_gate(int slot, int g, int clock) {
        return gate_crossing_check(slot, g * 100.0f + 1, 0, clock);
    }

    // Rides whole laps from the rider's position, one gate every `gap` tics, from `clock`.
    static int ride_laps(int slot, int laps, int clock, int gap) {
        for (int i = 0; i < laps * 4; i++) {
            clock += gap;
            int gate = timing_of(slot).position % 4;
            EXPECT_TRUE(at_gate(slot, gate, clock));
        }
        return clock;
    }
};
} // namespace

TEST_F(Timing, TrackWithoutTimingReadsZero) {
    timing_gates_parse("checkpoints:\n10 [0 0 0] [1 0 0]\n");
    EXPECT_FALSE(at_gate(0, 0, 10));
    EXPECT_EQ(laps_completed(0), 0);
    EXPECT_EQ(lap_time(0, 1), 0.0f);
    EXPECT_FALSE(rider_finished(0));
}

TEST_F(Timing, LapsAndLapTimes) {
    EXPECT_EQ(halfway_lap(), 3);
    int clock = ride_laps(0, 1, 0, k_second);     // lap 1: 4 s from the drop
    clock = ride_laps(0, 1, clock, 2 * k_second); // lap 2: 8 s
    ride_laps(0, 1, clock, k_second + 64);        // lap 3: 6 s
    EXPECT_EQ(laps_completed(0), 3);
    EXPECT_FLOAT_EQ(lap_time(0, 1), 4.0f);
    EXPECT_FLOAT_EQ(lap_time(0, 2), 8.0f);
    EXPECT_FLOAT_EQ(lap_time(0, -1), 6.0f) << "negative: the last completed lap";
    EXPECT_EQ(lap_time(0, 4), 0.0f);
    float best = 0;
    EXPECT_EQ(best_lap(0, &best), 3) << "lap 1 never counts";
    EXPECT_FLOAT_EQ(best, 6.0f);
}

TEST_F(Timing, CrossingFromBehindDoesNotCount) {
    EXPECT_FALSE(gate_crossing_check(0, -1.0f, 0, 5)) << "behind gate 0";
    EXPECT_TRUE(gate_crossing_check(0, 1.0f, 0, 6));
    EXPECT_EQ(timing_of(0).position, 1);
}

TEST_F(Timing, SkippingAheadIsAllowedButNeverPastAMissedLapEnd) {
    ASSERT_TRUE(at_gate(0, 0, 10));
    ASSERT_TRUE(at_gate(0, 2, 20)); // gate 1 missed
    EXPECT_EQ(timing_of(0).position, 3);
    EXPECT_EQ(timing_of(0).crossing_tics[1], -1);
    // Going back to the missed gate counts it and puts the rider there again.
    ASSERT_TRUE(at_gate(0, 1, 25));
    EXPECT_EQ(timing_of(0).crossing_tics[1], 25);
    EXPECT_EQ(timing_of(0).position, 2);
    EXPECT_FALSE(at_gate(0, 0, 27)) << "a gate already crossed behind the rider is ignored";
    // Gate 3 ends the lap: gate 0 of the next lap does not count before it.
    ASSERT_TRUE(at_gate(0, 2, 28));
    EXPECT_FALSE(at_gate(0, 0, 30));
    EXPECT_EQ(timing_of(0).position, 3);
}

TEST_F(Timing, RidersFinishAtTheirFirstLapAfterTheLeader) {
    int clock_a = ride_laps(0, 5, 0, 100);
    int clock_b = ride_laps(1, 4, 0, 110);
    EXPECT_TRUE(rider_finished(0));
    EXPECT_FALSE(rider_finished(1));
    ride_laps(1, 1, std::max(clock_a, clock_b), 110);
    EXPECT_TRUE(rider_finished(1)) << "the next lap completion after the leader finished";
    EXPECT_FALSE(rider_finished(2));
    EXPECT_EQ(running_order_at(0).slot, 0);
    EXPECT_EQ(running_order_at(1).slot, 1);
    EXPECT_EQ(running_order_at(2).slot, 2);
}

TEST_F(Timing, LapAtExactlyTheLeadersFinishingTicFinishes) {
    // Slot 1 is a lap down and crosses its line at the very tic the leader takes the flag.
    int clock = ride_laps(0, 4, 0, 100);
    ride_laps(1, 3, 0, 100 * 4 / 3);
    for (int i = 0; i < 3; i++) ASSERT_TRUE(at_gate(0, i, clock + 10 * (i + 1)));
    for (int i = 0; i < 3; i++) ASSERT_TRUE(at_gate(1, i, clock + 10 * (i + 1)));
    int flag = clock + 100;
    ASSERT_TRUE(at_gate(0, 3, flag));
    ASSERT_TRUE(at_gate(1, 3, flag));
    EXPECT_TRUE(rider_finished(0));
    EXPECT_TRUE(rider_finished(1));
}

TEST_F(Timing, RunningOrderByPositionThenTicThenSlot) {
    ASSERT_TRUE(at_gate(2, 0, 50));
    ASSERT_TRUE(at_gate(1, 0, 40));
    ASSERT_TRUE(at_gate(1, 1, 90));
    EXPECT_EQ(running_order_count(), 3);
    EXPECT_EQ(running_order_at(0).slot, 1);
    EXPECT_EQ(running_order_at(1).slot, 2);
    EXPECT_EQ(running_order_at(2).slot, 0);
    EXPECT_EQ(running_order_at(0).tic, 90);
}

TEST_F(Timing, TimedRaceEndsExtraLapsAfterTheTimeRunsOut) {
    timing_reset(60 * k_second, 2); // 1 minute + 2 laps
    timing_set_occupied(0, true);
    EXPECT_EQ(race_laps(), 1000000);
    int clock = ride_laps(0, 9, 0, 200); // 9 laps in 56.25 s
    timed_race_end(clock);
    EXPECT_EQ(race_laps(), 1000000) << "the time has not run out yet";
    clock = ride_laps(0, 1, clock, 200); // lap 10 after the minute
    timed_race_end(clock);
    EXPECT_EQ(race_laps(), 12);
}

TEST_F(Timing, SkippedGatesArePenalisedByTheFieldsTime) {
    // Slots 1 and 2 ride every gate 10 s apart; slot 0 skips gates 1 and 2 of lap 1 and is
    // at gate 3 only 12 s after gate 0.
    for (int s : {1, 2}) ride_laps(s, 1, 0, 10 * k_second);
    ASSERT_TRUE(at_gate(0, 0, 10 * k_second));
    ASSERT_TRUE(at_gate(0, 3, 22 * k_second));
    EXPECT_EQ(segment_reference_time(0, 3), 30 * k_second);
    std::vector<result_entry> results = final_results_compute();
    auto mine = std::find_if(results.begin(), results.end(),
                             [](const result_entry& e) { return e.slot == 0; });
    ASSERT_NE(mine, results.end());
    // Expected 30 s + 1 s, took 12 s.
    EXPECT_EQ(mine->penalty, 19 * k_second);
    EXPECT_EQ(mine->tic, 22 * k_second + 19 * k_second);
    EXPECT_EQ(results.back().slot, 0)
        << "the penalty puts it behind the riders who rode every gate";
}

TEST_F(Timing, ALaterLapSegmentHasOneReferenceWhicheverLapAsks) {
    // 1 s a gate in laps 1 and 2, then 3 s a gate in laps 3 and 4.
    int clock = ride_laps(0, 2, 0, k_second);
    ride_laps(0, 2, clock, 3 * k_second);
    // Gate 0 to gate 1 of a lap, asked as lap 2, 3 and 4: laps 2, 3 and 4 each count once.
    const int expected = (1 + 3 + 3) * k_second / 3;
    EXPECT_EQ(segment_reference_time(4, 5), expected);
    EXPECT_EQ(segment_reference_time(8, 9), expected);
    EXPECT_EQ(segment_reference_time(12, 13), expected);
    // Gate 2 over the line to gate 0 of the next lap likewise, over the two places the rider
    // rode it: from lap 2 into lap 3 (1 s + 3 s) and from lap 3 into lap 4 (3 s + 3 s).
    const int over_the_line = (1 + 3 + 3 + 3) * k_second / 2;
    EXPECT_EQ(segment_reference_time(6, 8), over_the_line);
    EXPECT_EQ(segment_reference_time(10, 12), over_the_line);
}

TEST_F(Timing, ResultsFileFormat) {
    race_slot_fill(0, "", "7", "yz250f(2017)");
    race_slot_set(0, rider_remote, 0);
    timing_reset(0, 1);
    timing_set_occupied(0, true);
    ride_laps(0, 1, 0, 3 * k_second);
    ASSERT_TRUE(rider_finished(0));
    std::string text = results_text(final_results_compute(), "rabbithill", 1700000000, 0, 1);
    EXPECT_EQ(text.rfind("Time=0.00|Laps=1|Track=rabbithill|Date=1700000000\r\n", 0), 0u);
    EXPECT_NE(text.find(" No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("   7 | yz250f(2017) |    1 |   0:12.000 |    0 |   0:00.000\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n4\r\n   3.000    6.000    9.000   12.000\r\n"), std::string::npos);
}

TEST(RaceStart, ShuffleIsARepeatablePermutation) {
    int a[k_robot_count], b[k_robot_count];
    robot_order_shuffle(1234, a);
    int drop_a = gate_drop_draw();
    robot_order_shuffle(1234, b);
    int drop_b = gate_drop_draw();
    EXPECT_TRUE(std::equal(a, a + k_robot_count, b));
    EXPECT_EQ(drop_a, drop_b);
    std::set<int> seen(a, a + k_robot_count);
    EXPECT_EQ(seen.size(), static_cast<size_t>(k_robot_count));
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), k_robot_count - 1);
    for (int clock = 0; clock < 200; clock++) {
        robot_order_shuffle(clock, a);
        int drop = gate_drop_draw();
        EXPECT_GE(drop, 13 * k_second);
        EXPECT_LT(drop, 15 * k_second);
    }
}

TEST(RaceStart, GridRowsStandBehindTheSlots) {
    timing_gates_parse("startinggate:\n[100 0 50] 0\n[104 0 50] 0\n");
    float x, z, h;
    grid_position(0, 1000, &x, &z, &h);
    EXPECT_FLOAT_EQ(x, 100);
    EXPECT_FLOAT_EQ(z, 50 + 0.625f);
    grid_position(3, 1000, &x, &z, &h);
    EXPECT_FLOAT_EQ(x, 104);
    EXPECT_FLOAT_EQ(z, 50 + 10.625f) << "the second row 10 ft further back";
    timing_gates_clear();
    grid_position(2, 1000, &x, &z, &h);
    EXPECT_FLOAT_EQ(x, 510);
    EXPECT_FLOAT_EQ(z, 500);
}

#include "bike/bike.h"

TEST(RaceTic, ABikesFrontWheelAtAGateCountsTheCrossing) {
    timing_gates_parse(
        "checkpoints:\n10 [100 0 50] [1 0 0]\n10 [200 0 50] [1 0 0]\n10 [300 0 50] [1 0 0]\n"
        "firstlap: 0 1 2\nnormallap: 0 1 2\n");
    world_create();
    race_clear_slots();
    const int lineup[] = {lineup_local};
    race_lineup_set(lineup, 1);
    race_start_params params;
    params.laps = 3;
    ASSERT_TRUE(race_start(params));
    int bike = race_slot(0).bike;
    ASSERT_GE(bike, 0);
    EXPECT_EQ(race_slot(0).kind, rider_local);
    vec3d wheel = bike_body_position(bike, body_front_wheel);
    bike_translate(bike, vec3d{101 - wheel.x, 0, 50 - wheel.z});
    race_world_tic();
    EXPECT_EQ(timing_of(0).position, 1);
    EXPECT_EQ(timing_of(0).crossing_tics[0], 0);
    EXPECT_EQ(race_clock(), 1);
    EXPECT_EQ(running_order_at(0).slot, 0);
    race_clear_slots();
    world_destroy();
    timing_gates_clear();
}
