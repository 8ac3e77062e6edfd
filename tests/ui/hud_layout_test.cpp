// The HUD's layout facts as numbers and strings: the needle, the gear cell, the board's texts at
// their edge values, the lean colours, the map's corners, and every element inside the window
// and clear of the others.
#include "ui/hud_layout.h"

#include "common/common.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {
constexpr int k_second = 128; // tics

bool inside(const hud_rect& r, float w) {
    return r.x0 >= -w && r.x1 <= w && r.y0 >= -1 && r.y1 <= 1 && r.x0 < r.x1 && r.y0 < r.y1;
}
bool overlap(const hud_rect& a, const hud_rect& b) {
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}
} // namespace

TEST(HudLayout, TheNeedleSweepsFromMinus135To135) {
    EXPECT_FLOAT_EQ(hud_needle_degrees(0), -135);
    EXPECT_FLOAT_EQ(hud_needle_degrees(8000), 0);
    EXPECT_FLOAT_EQ(hud_needle_degrees(16000), 135);
}

TEST(HudLayout, GearsTakeTheirCellOfTheThreeByThreeAtlas) {
    int column = -1, row = -1;
    hud_gear_cell(0, &column, &row);
    EXPECT_EQ(column * 10 + row, 0);
    hud_gear_cell(4, &column, &row);
    EXPECT_EQ(column * 10 + row, 11);
    hud_gear_cell(5, &column, &row);
    EXPECT_EQ(column * 10 + row, 21);
    hud_gear_cell(9, &column, &row); // beyond the atlas it wraps
    EXPECT_EQ(column * 10 + row, 0);
}

TEST(HudLayout, BoardTextsAtTheirEdgeValues) {
    EXPECT_EQ(hud_position_text(0, 1, false), "L1 P1");
    EXPECT_EQ(hud_position_text(11, 40, false), "L12 P40");
    EXPECT_EQ(hud_position_text(3, 2, true), "P2");
    EXPECT_EQ(hud_gap_text(0), "+0.0 ");
    EXPECT_EQ(hud_gap_text(-0.04f), "-0.0 ");
    EXPECT_EQ(hud_gap_text(12.36f), "+12.4 ");
    // No lap time is shown before there is one; tenths are cut, minutes roll over at 60 s.
    EXPECT_EQ(hud_last_lap_text(0), "");
    EXPECT_EQ(hud_best_lap_text(0), "");
    EXPECT_EQ(hud_last_lap_text(59.99f), "Last - 0:59.9 ");
    EXPECT_EQ(hud_last_lap_text(60), "Last - 1:00.0 ");
    EXPECT_EQ(hud_best_lap_text(125.55f), "Best - 2:05.5");
    EXPECT_EQ(hud_minutes_millis(83.25f), "1:23.250");
    // Before the drop the race time reads zero.
    EXPECT_EQ(hud_race_time_text(100, 1800), "Time - 0:00.0 ");
    EXPECT_EQ(hud_race_time_text(1800 + 61 * k_second + 64, 1800), "Time - 1:01.5 ");
    EXPECT_EQ(hud_race_length_text(0, 5), "5 laps");
    EXPECT_EQ(hud_race_length_text(20 * 60 * k_second, 0), "20 minutes");
    EXPECT_EQ(hud_race_length_text(15 * 60 * k_second + 10 * k_second, 2), "15 minutes + 2 laps");
    EXPECT_FLOAT_EQ(hud_title_opacity(0), 1);
    EXPECT_FLOAT_EQ(hud_title_opacity(2.5f), 0.5f);
    EXPECT_FLOAT_EQ(hud_title_opacity(3.5f), 0);
}

TEST(HudLayout, TheLeanBandChangesColourBeyond36Degrees) {
    EXPECT_EQ(hud_lean_pair(0), 1);
    EXPECT_EQ(hud_lean_pair(0.62f), 1);
    EXPECT_EQ(hud_lean_pair(0.64f), 0);
    EXPECT_EQ(hud_lean_pair(-0.64f), 0);
    EXPECT_EQ(hud_lean_steps(0), 2);
    EXPECT_EQ(hud_lean_steps(k_pi_f), 33);
    EXPECT_EQ(hud_lean_steps(-k_pi_f / 2), 17);
}

TEST(HudLayout, TheTerrainsCornersLandOnTheMapsCorners) {
    const hud_layout l = hud_layout_for(1280, 720, 1);
    const hud_rect& m = l.map;
    const float extent = 2048;
    float x = 0, y = 0;
    hud_map_point(m, extent, 0, 0, &x, &y); // north-west: top left
    EXPECT_FLOAT_EQ(x, m.x0);
    EXPECT_FLOAT_EQ(y, m.y1);
    hud_map_point(m, extent, extent, 0, &x, &y); // north-east: top right
    EXPECT_FLOAT_EQ(x, m.x1);
    EXPECT_FLOAT_EQ(y, m.y1);
    hud_map_point(m, extent, 0, extent, &x, &y); // south-west: bottom left
    EXPECT_FLOAT_EQ(x, m.x0);
    EXPECT_FLOAT_EQ(y, m.y0);
    hud_map_point(m, extent, extent / 2, extent / 2, &x, &y);
    EXPECT_FLOAT_EQ(x, (m.x0 + m.x1) / 2);
    EXPECT_FLOAT_EQ(y, (m.y0 + m.y1) / 2);
    // The map grows with its scale; its markers stay the same size on the screen.
    const hud_layout big = hud_layout_for(1280, 720, 2);
    EXPECT_FLOAT_EQ(big.map.x1 - big.map.x0, 2 * (m.x1 - m.x0));
    EXPECT_FLOAT_EQ(hud_map_marker_half(2) * (big.map.x1 - big.map.x0),
                    hud_map_marker_half(1) * (m.x1 - m.x0));
}

TEST(HudLayout, EveryElementFitsTheWindowAndClearsTheOthers) {
    const int sizes[3][2] = {{1280, 720}, {1024, 768}, {640, 480}};
    for (const auto& size : sizes) {
        const hud_layout l = hud_layout_for(size[0], size[1], 1);
        EXPECT_FLOAT_EQ(l.w, static_cast<float>(size[0]) / size[1]);
        const hud_rect* all[] = {&l.board,  &l.lapping, &l.tach,      &l.lean,
                                 &l.map,    &l.title,   &l.status,    &l.graph,
                                 &l.ticker, &l.lap_box, &l.telemetry, &l.results};
        for (const hud_rect* r : all) EXPECT_TRUE(inside(*r, l.w)) << size[0] << "x" << size[1];
        // What the rider's view draws together never overlaps.
        const hud_rect* riding[] = {&l.board,  &l.tach,  &l.lean,     &l.map,
                                    &l.status, &l.graph, &l.telemetry};
        for (const hud_rect* a : riding)
            for (const hud_rect* b : riding) {
                if (a == b) continue;
                EXPECT_FALSE(overlap(*a, *b)) << size[0] << "x" << size[1];
            }
        EXPECT_TRUE(inside(l.gear, l.w));
        EXPECT_TRUE(l.gear.x0 >= l.tach.x0 && l.gear.x1 <= l.tach.x1 && l.gear.y0 >= l.tach.y0);
        // The board's height and the map's side are fixed shares of the half-height.
        EXPECT_NEAR(l.board.y1 - l.board.y0, 0.6227f, 1e-5f);
        EXPECT_NEAR(l.map.y1 - l.map.y0, 0.4668f, 1e-5f);
        float px = 0, py = 0;
        hud_to_pixels(l, size[0], size[1], -l.w, 1, &px, &py);
        EXPECT_FLOAT_EQ(px, 0);
        EXPECT_FLOAT_EQ(py, 0);
        hud_to_pixels(l, size[0], size[1], l.w, -1, &px, &py);
        EXPECT_FLOAT_EQ(px, static_cast<float>(size[0]));
        EXPECT_FLOAT_EQ(py, static_cast<float>(size[1]));
    }
}
