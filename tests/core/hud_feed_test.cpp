// The HUD's texts worked out from the race's timing: the gaps between riders, the ticker
// entries, the lapping warning and the results rows.
#include "core/hud_feed.h"

#include "race/race.h"
#include "race/race_timing.h"
#include "track/track_gates.h"

#include <gtest/gtest.h>

#include <string>

namespace {
constexpr int k_second = 128; // tics

// Four gates 120 ft apart along z, facing +z; every lap crosses them all in order.
std::string gates_along_z() {
    std::string text = "checkpoints:\n";
    for (int g = 0; g < 4; g++) text += "12 [0 0 " + std::to_string(g * 120) + "] [0 0 1]\n";
    return text + "firstlap: 0 1 2 3\nnormallap: 0 1 2 3\n";
}

struct HudRace : ::testing::Test {
    void SetUp() override {
        race_clear_slots();
        timing_gates_parse(gates_along_z());
        race_set_gate_drop_tic(0);
        timing_reset(0, 3);
        for (int s : {0, 1, 2}) {
            timing_set_occupied(s, true);
            const char* numbers[] = {"10", "11", "12"};
            race_slot_fill(s, "", numbers[s], "");
        }
    }
    void TearDown() override {
        for (int s : {0, 1, 2}) timing_set_occupied(s, false);
        timing_gates_clear();
        race_clear_slots();
    }
    // Crosses the rider's next gate at the clock.
    static void cross(int slot, int clock) {
        const int gate = timing_of(slot).position % 4;
        ASSERT_TRUE(gate_crossing_check(slot, 0, gate * 120.0f + 1, clock));
    }
};
} // namespace

TEST_F(HudRace, TheLeadersGapIsItsLeadAndASingleRiderHasNone) {
    EXPECT_FLOAT_EQ(hud_gap_seconds(0), 0);
    cross(0, 10 * k_second);
    EXPECT_FLOAT_EQ(hud_gap_seconds(0), 0) << "the others have not crossed";
    cross(1, 12 * k_second + 64);
    cross(2, 13 * k_second);
    // The leader is 2.5 s ahead of the second, who is 2.5 s behind the leader.
    EXPECT_FLOAT_EQ(hud_gap_seconds(0), 2.5f);
    EXPECT_FLOAT_EQ(hud_gap_seconds(1), -2.5f);
    EXPECT_FLOAT_EQ(hud_gap_seconds(2), -0.5f);
    // A rider a gate further on is compared at the crossing both have made.
    cross(0, 20 * k_second);
    EXPECT_FLOAT_EQ(hud_gap_seconds(0), 2.5f);
    EXPECT_EQ(hud_ticker_entries()[1], "2  11    2.500");
}

TEST_F(HudRace, TheLappingWarningNamesTheRiderComingThrough) {
    // Rider 0 laps every 40 s; rider 1 takes 80 s a lap.
    for (int g = 0; g < 8; g++) cross(0, (g + 1) * 10 * k_second);
    for (int g = 0; g < 4; g++) cross(1, (g + 1) * 20 * k_second - 2 * k_second);
    // Rider 1 passed gate 3 at 78 s; rider 0 passed it a lap later at 80 s.
    EXPECT_EQ(hud_lapping_text(1, 80 * k_second), " 10 (2.0) ");
    // Not once 15 s have passed since rider 1's crossing, and never for the leader.
    EXPECT_EQ(hud_lapping_text(1, 94 * k_second), "");
    EXPECT_EQ(hud_lapping_text(0, 80 * k_second), "");
}

TEST_F(HudRace, ResultsAppearOnceTheLeaderHasFinished) {
    bool final_results = true;
    EXPECT_TRUE(hud_result_rows(&final_results).empty());
    EXPECT_FALSE(final_results);
    // Three laps of four gates: rider 0 every 10 s, rider 1 every 11 s.
    for (int g = 0; g < 12; g++) cross(0, (g + 1) * 10 * k_second);
    for (int g = 0; g < 11; g++) cross(1, (g + 1) * 11 * k_second);
    std::vector<hud_result_row> rows = hud_result_rows(&final_results);
    ASSERT_EQ(rows.size(), 3u) << "the finished leader, then the riders still out";
    EXPECT_TRUE(rows[0].finished);
    EXPECT_FALSE(rows[1].finished);
    EXPECT_EQ(rows[1].position, "-");
    EXPECT_EQ(rows[0].position, "1");
    EXPECT_EQ(rows[0].number, " 10");
    EXPECT_EQ(rows[0].lap, "L3");
    EXPECT_EQ(rows[0].gap, "  0.000");
    EXPECT_EQ(rows[0].best_time, "0:40.000");
    EXPECT_EQ(rows[0].best_lap, "(2)");
    cross(1, 12 * 11 * k_second);
    rows = hud_result_rows(&final_results);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(rows[1].finished);
    EXPECT_EQ(rows[1].gap, " 12.000");
}

// One lap: nobody has a timed lap (laps are timed from the second), so the results show each
// finisher's race time and no zero best lap; a rider still out is listed, unplaced.
TEST_F(HudRace, AOneLapRaceShowsRaceTimesAndTheRidersStillOut) {
    timing_reset(0, 1);
    for (int s : {0, 1, 2}) timing_set_occupied(s, true);
    for (int g = 0; g < 4; g++) cross(0, (g + 1) * 10 * k_second);
    for (int g = 0; g < 4; g++) cross(1, (g + 1) * 11 * k_second);
    cross(2, 15 * k_second);
    bool final_results = true;
    const std::vector<hud_result_row> rows = hud_result_rows(&final_results);
    EXPECT_FALSE(final_results);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].time, "0:40.000");
    EXPECT_EQ(rows[1].time, "0:44.000");
    for (int i : {0, 1}) {
        EXPECT_EQ(rows[i].position, std::to_string(i + 1));
        EXPECT_EQ(rows[i].best_time, "-") << "no lap was timed, so no time is shown";
        EXPECT_EQ(rows[i].best_lap, "-");
    }
    EXPECT_EQ(rows[2].number, " 12");
    EXPECT_EQ(rows[2].position, "-");
    EXPECT_EQ(rows[2].time, "riding");
    EXPECT_FALSE(rows[2].finished);
}
