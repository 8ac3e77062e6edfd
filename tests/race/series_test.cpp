// Points series: reading series and standings files, damaged files, the lineups of the events,
// the standings table, and a series of two events run with robots on the practice track.
#include "race_world.h"

#include "race/series.h"

#include <string>
#include <vector>

namespace {
// Forty points entries: the given ones first, then zeros.
std::string points(std::initializer_list<int> first) {
    std::string line;
    int n = 0;
    for (int p : first) line += std::to_string(p) + " ", n++;
    for (; n < 40; n++) line += "0 ";
    return line + "\n";
}

// A series of N robots and `events` motos on the practice track; `round_every` motos make a
// round.
std::string series_text(const char* title, std::initializer_list<int> riders, int events,
                        int round_every, const char* skill = "Amateur", int laps = 1) {
    std::string text =
        std::string("\"") + title + "\"\n" + std::to_string(riders.size()) + " " + skill + "\n";
    for (int r : riders) text += std::to_string(r) + " ";
    text += "\n" + std::to_string(events) + "\n";
    for (int e = 0; e < events; e++) {
        text += "\"Moto " + std::to_string(e + 1) + "\" practice 0 " + std::to_string(laps) + "\n";
        text += points({25, 22, 20, 18});
        text += (e + 1) % round_every == 0 ? points({50, 40, 30, 20}) : points({});
    }
    return text;
}

points_series parsed(const std::string& text) {
    points_series s;
    std::string error;
    EXPECT_TRUE(series_parse(text, &s, &error)) << error;
    return s;
}

TEST(series_file, ReadsTitleRidersSkillAndEvents) {
    const points_series s = parsed(series_text("Spring Cup", {21, 24, 33}, 4, 2, "Novice", 3));
    EXPECT_EQ(s.title, "Spring Cup");
    EXPECT_EQ(s.riders, (std::vector<int>{21, 24, 33}));
    EXPECT_EQ(s.skill, 0);
    ASSERT_EQ(s.events.size(), 4u);
    EXPECT_EQ(s.events[1].title, "Moto 2");
    EXPECT_EQ(s.events[1].track, "practice");
    EXPECT_EQ(s.events[1].laps, 3);
    EXPECT_EQ(s.events[1].moto_points[1], 22);
    EXPECT_EQ(s.events[0].round_points[0], 0);
    EXPECT_EQ(s.events[1].round_points[0], 50);
    EXPECT_EQ(series_round_count(s), 2);
    // A skill name that is not one of the three means Expert; a single word is a title too.
    const points_series t = parsed("Single\n0 Pro\n\n0\n");
    EXPECT_EQ(t.title, "Single");
    EXPECT_EQ(t.skill, 2);
    EXPECT_TRUE(t.events.empty());
}

TEST(series_file, DamagedFilesAreRefusedWithAReason) {
    const std::string whole = series_text("Cup", {21, 24}, 2, 1);
    const char* damaged[] = {
        "",
        "\"Unclosed title\n2 Novice\n",
        "Cup\nmany Novice\n",
        "Cup\n200 Novice\n",
        "Cup\n-1 Novice\n0\n",
        "Cup\n3 Novice\n21 24\n",
        "Cup\n0 Novice\n99999999999\n",
        "Cup\n0 Novice\n2000000000\n",
    };
    for (const char* text : damaged) {
        points_series s;
        std::string error;
        EXPECT_FALSE(series_parse(text, &s, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    // Every cut short of the whole file is refused.
    for (size_t cut = 0; cut + 1 < whole.size(); cut += 7) {
        points_series s;
        std::string error;
        const std::string part = whole.substr(0, cut);
        if (part.find_last_not_of(" \n") == std::string::npos) continue;
        EXPECT_FALSE(series_parse(part, &s, &error)) << "cut at " << cut;
    }
}

TEST(series_lineup, FirstEventInRiderOrderThenTheWorstPicksFirst) {
    points_series s = parsed(series_text("Cup", {21, 24, 33}, 2, 2));
    int lineup[k_lineup_size];
    series_lineup(s, 0, lineup);
    EXPECT_EQ(lineup[0], lineup_robot_number + 21);
    EXPECT_EQ(lineup[1], lineup_robot_number + 24);
    EXPECT_EQ(lineup[2], lineup_robot_number + 33);
    EXPECT_EQ(lineup[3], lineup_local);
    EXPECT_EQ(lineup[4], lineup_demo);
    // Moto 1: 33 won, the player second, 21 third, 24 had no place.
    s.events[0].results = {2, k_series_unranked, 0, 1};
    s.completed = 1;
    series_lineup(s, 1, lineup);
    // Every other gate from 6: no place first, then the third, the second, the winner.
    EXPECT_EQ(lineup[6], lineup_robot_number + 24);
    EXPECT_EQ(lineup[8], lineup_robot_number + 21);
    EXPECT_EQ(lineup[10], lineup_local);
    EXPECT_EQ(lineup[12], lineup_robot_number + 33);
    for (int gate : {0, 7, 9, 11, 14}) EXPECT_EQ(lineup[gate], lineup_demo) << gate;
}

TEST(series_lineup, SixteenRidersFillTheMiddleOfTheGateOutwards) {
    std::vector<int> riders;
    std::string numbers;
    for (int i = 0; i < 15; i++) numbers += std::to_string(20 + i) + " ";
    points_series s = parsed("Big\n15 Expert\n" + numbers + "\n1\nM practice 0 1\n" + points({25}) +
                             points({25}));
    // Rider i finished in place i, the player last.
    s.events[0].results.resize(16);
    for (int i = 0; i < 16; i++) s.events[0].results[i] = i;
    s.completed = 1;
    int lineup[k_lineup_size];
    series_lineup(s, 1, lineup);
    // The last placed (the player) picks first: gate 10, then 9, 11, 8, ...
    EXPECT_EQ(lineup[10], lineup_local);
    EXPECT_EQ(lineup[9], lineup_robot_number + 34);
    EXPECT_EQ(lineup[11], lineup_robot_number + 33);
    EXPECT_EQ(lineup[8], lineup_robot_number + 32);
    // The winner picks last of sixteen: the 16th entry of the table is gate 15 (10, 9, 11, 8,
    // 12, 7, 13, 6, 14, 5, 15, 4, 16, 3, 17, 2).
    EXPECT_EQ(lineup[2], lineup_robot_number + 20);
    EXPECT_EQ(lineup[0], lineup_demo);
}

TEST(series_standings, OneMotoRoundsAndUnfinishedRounds) {
    // Three motos, each its own round; a robot (24) that did not ride keeps no place and scores 0.
    points_series s = parsed(series_text("Cup", {21, 24}, 3, 1));
    s.events[0].results = {0, k_series_unranked, 1};
    s.events[1].results = {1, k_series_unranked, 0};
    s.completed = 2;
    series_rank_rounds(s);
    EXPECT_EQ(series_total(s, 0), 50 + 40);
    EXPECT_EQ(series_total(s, 1), 0);
    EXPECT_EQ(series_total(s, 2), 40 + 50);
    const series_standings t = series_standings_of(s, "7");
    EXPECT_EQ(t.headline, "Next Event: Moto 3");
    EXPECT_EQ(t.header, (std::vector<std::string>{"No.", "Total", "Rd 1", "Rd 2", "Rd 3"}));
    ASSERT_EQ(t.rows.size(), 3u);
    const series_standings::row* player = nullptr;
    for (const series_standings::row& r : t.rows)
        if (r.player) player = &r;
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->cells, (std::vector<std::string>{"7", "90", "40 (2)", "50 (1)", ""}));
    // The robot that never rode comes last, with no points.
    EXPECT_EQ(t.rows.back().cells[0], "24");
    EXPECT_EQ(t.rows.back().cells[1], "0");

    // Two-moto rounds: the first moto alone shows "- (n-)".
    points_series two = parsed(series_text("Cup", {21, 24}, 4, 2));
    two.events[0].results = {0, 1, 2};
    two.events[1].results = {2, 0, 1};
    two.events[2].results = {1, 0, 2};
    two.completed = 3;
    series_rank_rounds(two);
    // Round 1: 21 has 25 + 20 = 45, 24 has 22 + 25 = 47, the player 20 + 22 = 42.
    EXPECT_EQ(series_total(two, 1), 50);
    EXPECT_EQ(series_total(two, 0), 40);
    EXPECT_EQ(series_total(two, 2), 30);
    const series_standings u = series_standings_of(two, "999");
    EXPECT_EQ(u.rows[0].cells, (std::vector<std::string>{"24", "50", "50 (2-1)", "- (1-)"}));
}

TEST(series_standings, RoundTiesGoToTheBetterPlaceInTheLastMoto) {
    points_series s = parsed(series_text("Cup", {21}, 2, 2));
    // 25 + 22 against 22 + 25: equal, the second moto's winner takes the round.
    s.events[0].results = {0, 1};
    s.events[1].results = {1, 0};
    s.completed = 2;
    series_rank_rounds(s);
    EXPECT_EQ(s.events[1].round_ranks[1], 0);
    EXPECT_EQ(s.events[1].round_ranks[0], 1);
    EXPECT_EQ(series_standings_of(s, "1").headline, "Cup Final Standings");
}

TEST(series_standings, StandingsFileLinesAreCompletedEvents) {
    points_series s = parsed(series_text("Cup", {21, 24}, 2, 2));
    // A third line is beyond the events; places outside 1..3 are no place.
    series_read_standings(s, "2 1 3 \n0 1 2 \n1 2 3 \n");
    EXPECT_EQ(s.completed, 2);
    EXPECT_EQ(s.events[0].results, (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(s.events[1].results, (std::vector<int>{k_series_unranked, 0, 1}));
    EXPECT_EQ(series_standings_text(s), "2 1 3 \n0 1 2 \n");
    // An incomplete line ends the list; garbage leaves no events completed.
    series_read_standings(s, "2 1 3 \n1 2\n");
    EXPECT_EQ(s.completed, 1);
    series_read_standings(s, "garbage\n");
    EXPECT_EQ(s.completed, 0);
}

class series_run : public race_run {
  protected:
    void TearDown() override {
        series_free();
        race_run::TearDown();
    }
    int load(const char* title) {
        files_free();
        track_list_scan();
        series_load_all();
        for (int i = 0; i < series_count(); i++)
            if (series_at(i).title == title) return i;
        return -1;
    }
    static int local_slot() {
        for (int slot = 0; slot < k_max_riders; slot++)
            if (race_slot(slot).bike >= 0 && race_slot(slot).kind == rider_local) return slot;
        return -1;
    }
};

TEST_F(series_run, SeriesWithAMissingTrackOrADamagedFileIsLeftOut) {
    std::string bad_track = series_text("Nowhere Cup", {21}, 1, 1);
    bad_track.replace(bad_track.find("practice"), 8, "nowhere");
    write(home / "nowhere.series", bad_track);
    write(home / "short.series", series_text("Short Cup", {21}, 2, 1).substr(0, 60));
    write(home / "good.series", series_text("Good Cup", {21}, 1, 1));
    write(home / "good.series_standings", "not numbers\n");
    EXPECT_EQ(load("Nowhere Cup"), -1);
    EXPECT_EQ(load("Short Cup"), -1);
    const int good = load("Good Cup");
    ASSERT_GE(good, 0);
    EXPECT_EQ(series_at(good).completed, 0);
    const std::string log = log_text();
    EXPECT_NE(log.find("nowhere.series left out: no track \"nowhere\""), std::string::npos) << log;
    EXPECT_NE(log.find("short.series left out"), std::string::npos) << log;
}

TEST_F(series_run, TwoEventsWithRobotsScoreTheRoundAndTheStandingsAreSaved) {
    write(home / "duel.series", series_text("Duel", {21, 24}, 2, 2));
    const int id = load("Duel");
    ASSERT_GE(id, 0);
    race_start_params base;
    ASSERT_TRUE(series_start_next(id, true, base));
    EXPECT_EQ(series_running(), id);
    EXPECT_EQ(race_params().laps, 1);
    EXPECT_EQ(race_params().skill, 1);
    // The robots in rider order, the player behind them.
    EXPECT_STREQ(race_slot(0).number, "21");
    EXPECT_EQ(race_slot(0).kind, rider_robot);
    EXPECT_STREQ(race_slot(1).number, "24");
    const int player = local_slot();
    ASSERT_EQ(player, 2);

    // The player rides the lap to the finish.
    const int bike = race_slot(player).bike;
    for (int t = 0; t < 128 * 120 && !rider_finished(player); t++) {
        rider_input_set(player, circle_rider(bike, race_clock() - race_gate_drop_tic(),
                                             timing_of(player).position == 0));
        race_world_tic();
    }
    ASSERT_TRUE(rider_finished(player));
    std::vector<int> order;
    for (int i = 0; i < running_order_count(); i++) order.push_back(running_order_at(i).slot);

    // Starting the second event scores the first from its running order: the player finished
    // cleanly and ranks where the order puts it, each robot by its number.
    ASSERT_TRUE(series_start_next(id, true, base));
    const points_series& s = series_at(id);
    ASSERT_EQ(s.completed, 1);
    const int rider_of_slot[3] = {0, 1, 2};
    for (int k = 0; k < 3; k++) EXPECT_EQ(s.events[0].results[rider_of_slot[order[k]]], k) << k;
    // The worst placed picks the first gate of every other one from 6.
    const int codes[3] = {lineup_robot_number + 21, lineup_robot_number + 24, lineup_local};
    EXPECT_EQ(race_lineup()[6], codes[rider_of_slot[order[2]]]);
    EXPECT_EQ(race_lineup()[8], codes[rider_of_slot[order[1]]]);
    EXPECT_EQ(race_lineup()[10], codes[rider_of_slot[order[0]]]);

    // In the second moto the player stays on the gate: a reset leaves the player unplaced and
    // the robots placed.
    for (int t = 0; t < 128 * 5; t++) race_world_tic();
    race_start_params again;
    again.track = "practice";
    ASSERT_TRUE(race_start(again));
    ASSERT_EQ(s.completed, 2);
    EXPECT_EQ(series_running(), -1);
    const std::vector<int> moto2 = s.events[1].results;
    EXPECT_EQ(moto2[2], k_series_unranked);
    EXPECT_TRUE((moto2[0] == 0 && moto2[1] == 1) || (moto2[0] == 1 && moto2[1] == 0));

    // The round: each rider's moto points, most first, the round points by that order.
    int moto_sum[3];
    for (int r = 0; r < 3; r++)
        moto_sum[r] = s.events[0].moto_points[s.events[0].results[r]] +
                      (moto2[r] >= 0 ? s.events[1].moto_points[moto2[r]] : 0);
    const int first_robot =
        moto_sum[0] > moto_sum[1] || (moto_sum[0] == moto_sum[1] && moto2[0] < moto2[1]) ? 0 : 1;
    EXPECT_GT(moto_sum[first_robot], moto_sum[2]);
    EXPECT_EQ(series_total(s, first_robot), 50);
    EXPECT_EQ(series_total(s, 1 - first_robot), 40);
    // Even winning the first moto, the player's 25 trail both robots' two motos.
    EXPECT_EQ(series_total(s, 2), 30);

    // The standings file holds both events; loading again gives the same standings.
    const std::string saved = read(home / "duel.series_standings");
    EXPECT_EQ(saved, series_standings_text(s));
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 2);
    const series_standings before = series_standings_of(s, "999");
    const std::vector<int> moto1 = s.events[0].results;
    const int again_id = load("Duel");
    ASSERT_GE(again_id, 0);
    const points_series& r = series_at(again_id);
    EXPECT_EQ(r.completed, 2);
    EXPECT_EQ(r.events[0].results, moto1);
    EXPECT_EQ(r.events[1].results, moto2);
    const series_standings after = series_standings_of(r, "999");
    EXPECT_EQ(after.headline, "Duel Final Standings");
    ASSERT_EQ(after.rows.size(), before.rows.size());
    for (size_t i = 0; i < after.rows.size(); i++)
        EXPECT_EQ(after.rows[i].cells, before.rows[i].cells);

    // With every event done the next one starts nothing; reset points starts over.
    EXPECT_FALSE(series_start_next(again_id, true, base));
    series_reset_points(again_id);
    EXPECT_EQ(series_at(again_id).completed, 0);
    EXPECT_EQ(series_total(series_at(again_id), 0), 0);
}
} // namespace
