// The editor's object tools driven by presses, drags and keys on a small track: gates and their
// lap lists, billboards, statues, the tile map and decals.
#include "common/common.h"
#include "editor/editor_tools.h"

#include "bike/contact/bike_contact.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_objects.h"
#include "track/track_view.h"

#include "support/flat_track_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {

struct EditorTools : FlatTrackTest {
    editor_tools_state tools;
    editor_tool_settings settings;

    void SetUp() override {
        FlatTrackTest::SetUp();
        for (const char* name : {"a.ppm", "b.ppm"})
            write(data / name, "P6\n2 2\n255\n" + std::string(12, char(90)));
    }

    static editor_pointer at(float x, float z) {
        editor_pointer p;
        p.x = x;
        p.z = z;
        p.pick = 1;
        p.radius = 1;
        return p;
    }

    int press(int mode, const editor_pointer& p) {
        int target = -1;
        tools_press(tools, mode, p, settings, &target);
        return target;
    }
    bool key(int mode, int code, const editor_pointer& p, std::string* message = nullptr) {
        bool consumed = false;
        return tools_key(tools, mode, code, p, settings, message, &consumed);
    }
};

float distance(float x0, float z0, float x1, float z1) { return std::hypot(x1 - x0, z1 - z0); }

// ---------------------------------------------------------------------------------------------
// Timing gates

TEST_F(EditorTools, AGateCentreInsideAnotherGatesHalfDiscIsStillDragged) {
    make_track({});
    timing_gates_parse("checkpoints:\n"
                       "10 [20 0 20] [1 0 0]\n"
                       "10 [25 0 20] [1 0 0]\n"
                       "10 [100 0 100] [1 0 0]\n"
                       "firstlap:\n0 1 2\nnormallap:\n0 1 2\n");
    ASSERT_EQ(gate_count(), 3);
    ASSERT_TRUE(gate_contains(gate_at(0), 25, 20));

    EXPECT_EQ(press(mode_timing_gate, at(25, 20)), 1);
    EXPECT_EQ(tools.gate, 1);
    EXPECT_TRUE(tools_drag(tools, mode_timing_gate, at(27, 24), settings, 1));
    EXPECT_EQ(gate_at(1).centre[0], 27);
    EXPECT_EQ(gate_at(1).centre[2], 24);
    EXPECT_EQ(gate_at(0).centre[0], 20) << "the gate whose half-disc held the centre stays";
    editor_pointer locked = at(90, 90);
    locked.ground_locked = true;
    EXPECT_FALSE(tools_drag(tools, mode_timing_gate, locked, settings, 1));
    EXPECT_EQ(gate_at(1).centre[0], 27);

    // Inside the first gate's half-disc, away from every handle: selected, nothing dragged.
    EXPECT_EQ(press(mode_timing_gate, at(22, 15)), 0);
    EXPECT_EQ(tools.gate, 0);
    EXPECT_FALSE(tools_drag(tools, mode_timing_gate, at(40, 40), settings, 0));
    EXPECT_EQ(gate_at(0).centre[0], 20);
    EXPECT_EQ(gate_at(0).centre[2], 20);

    // The direction handle sets the direction and the radius.
    EXPECT_EQ(press(mode_timing_gate, at(30, 20)), 2);
    EXPECT_EQ(tools.gate, 0);
    EXPECT_TRUE(tools_drag(tools, mode_timing_gate, at(20, 32), settings, 2));
    EXPECT_NEAR(gate_at(0).radius, 12, 1e-5);
    EXPECT_TRUE(gate_contains(gate_at(0), 20, 30));
    EXPECT_FALSE(gate_contains(gate_at(0), 25, 18)) << "the half-disc now faces +z";

    // Behind both gates nothing is selected.
    EXPECT_EQ(press(mode_timing_gate, at(5, 5)), 0);
    EXPECT_EQ(tools.gate, -1);
}

TEST_F(EditorTools, SwitchPointsAreSetAndClearedOnBothLapLists) {
    make_track({});
    std::string text = "checkpoints:\n";
    for (int g = 0; g < 5; g++) text += "5 [" + std::to_string(10 * g + 5) + " 0 50] [1 0 0]\n";
    text += "firstlap:\n0 1 100002 3\nnormallap:\n2 1 0 3\n";
    timing_gates_parse(text);
    ASSERT_EQ(gate_count(), 5);
    const int laps = first_lap_length() + normal_lap_length();

    ASSERT_EQ(press(mode_timing_gate, at(25, 50)), 1);
    ASSERT_EQ(tools.gate, 2);
    const auto panel = [&] { return tools_panel_lines(tools, mode_timing_gate, settings); };
    EXPECT_EQ(panel(), std::vector<std::string>{"Switch Point: Mixed"});

    EXPECT_TRUE(tools_button(tools, button_clear_switch_point, settings, nullptr, false));
    EXPECT_EQ(panel(), std::vector<std::string>{"Switch Point: No"});
    int marked = 0;
    for (int i = 0; i < laps; i++) marked += lap_entry(i) == 2 + k_gate_no_learn;
    EXPECT_EQ(marked, 2);
    EXPECT_EQ(lap_entry(1), 1) << "other gates' entries stay";

    // The robots learn one gate fewer on the normal lap while the timing still counts it.
    EXPECT_EQ(normal_lap_learned_count(), 3);
    EXPECT_FALSE(tools_button(tools, button_set_switch_point, settings, nullptr, true))
        << "the ground lock refuses gate edits";
    EXPECT_TRUE(tools_button(tools, button_set_switch_point, settings, nullptr, false));
    EXPECT_EQ(panel(), std::vector<std::string>{"Switch Point: Yes"});
    EXPECT_EQ(lap_entry(2), 2);
    EXPECT_EQ(lap_entry(first_lap_length()), 2);
    EXPECT_EQ(normal_lap_learned_count(), 4);

    ASSERT_EQ(press(mode_timing_gate, at(45, 50)), 1);
    EXPECT_EQ(panel(), std::vector<std::string>{"Gate not referenced"});
    // The text written back holds the marks.
    tools.gate = 1;
    EXPECT_TRUE(tools_button(tools, button_clear_switch_point, settings, nullptr, false));
    timing_gates_parse(timing_gates_format());
    EXPECT_EQ(lap_entry(1), 1 + k_gate_no_learn);
}

// ---------------------------------------------------------------------------------------------
// Billboards

TEST_F(EditorTools, PaintedBillboardsKeepOneCardWidthApart) {
    make_track({{"billboards", "[40 0 40] 2 1.5 #ff0000#@a.ppm\n[70 0 60] 2 1.5 @b.ppm\n"}});
    const int first = billboard_first_file();
    ASSERT_EQ(billboard_count(), first + 2);

    EXPECT_EQ(press(mode_billboards, at(40.2f, 40)), 0);
    ASSERT_EQ(tools.billboard, first);
    EXPECT_EQ(tools_panel_lines(tools, mode_billboards, settings),
              std::vector<std::string>{"@a.ppm"});
    // A press on open ground stamps a copy, colour and all.
    int target = 0;
    EXPECT_TRUE(tools_press(tools, mode_billboards, at(50, 60), settings, &target));
    ASSERT_EQ(billboard_count(), first + 3);
    ASSERT_EQ(tools.painted_billboard, first + 2);
    const billboard& copy = billboards()[first + 2];
    EXPECT_EQ(copy.x, 50);
    EXPECT_EQ(copy.z, 60);
    EXPECT_EQ(copy.colour[0], 255);
    EXPECT_EQ(copy.colour[1], 0);
    EXPECT_EQ(billboard_texture_name(first + 2), "@a.ppm");

    // A stroke along z = 60 past the other file card: copies about one card width (3 ft) apart
    // and none within a card width of any card.
    settings.billboard_spacing = 1;
    for (float x = 50; x <= 90; x += 0.05f) {
        editor_pointer p = at(x, 60);
        tools_drag(tools, mode_billboards, p, settings, 0);
    }
    const int painted = billboard_count() - (first + 3);
    EXPECT_GE(painted, 9);
    std::vector<float> xs;
    for (int i = first; i < billboard_count(); i++) {
        const billboard& b = billboards()[i];
        for (int j = first; j < i; j++)
            EXPECT_GE(distance(b.x, b.z, billboards()[j].x, billboards()[j].z), 3 - 1e-4f)
                << i << " " << j;
        if (i >= first + 2) xs.push_back(b.x);
    }
    // Between neighbouring copies on the line no wider gap than a card and a stroke step,
    // except around the card in the way.
    std::sort(xs.begin(), xs.end());
    for (size_t k = 1; k < xs.size(); k++)
        if (xs[k] < 66 || xs[k - 1] > 74) {
            EXPECT_LT(xs[k] - xs[k - 1], 3.1f) << xs[k];
        }

    // "Height" lifts the selected card.
    settings.billboard_height = 1.5f;
    EXPECT_TRUE(tools_button(tools, button_height_changed, settings, nullptr, false));
    EXPECT_EQ(billboards()[first].offset, 1.5f);
    EXPECT_FLOAT_EQ(billboards()[first].y, ground_height_at(40, 40) + 1.5f);
}

TEST_F(EditorTools, DeletingABillboardKeepsTheSelectionOnTheSameCard) {
    make_track({{"billboards", "[10 0 10] 2 1 @a.ppm\n[20 0 10] 2 1 @b.ppm\n[30 0 10] 2 1 "
                               "@a.ppm\n"}});
    const int first = billboard_first_file();
    const int reserved = billboard_reserved_count();
    press(mode_billboards, at(30, 10));
    ASSERT_EQ(tools.billboard, first + 2);
    key(mode_billboards, 127, at(10, 10));
    ASSERT_EQ(billboard_count(), first + 2);
    EXPECT_EQ(billboard_reserved_count(), reserved);
    ASSERT_EQ(tools.billboard, first + 1);
    EXPECT_EQ(billboards()[tools.billboard].x, 30);
    key(mode_billboards, 'x', at(30, 10));
    EXPECT_EQ(tools.billboard, -1);
    ASSERT_EQ(billboard_count(), first + 1);
    EXPECT_EQ(billboards_format(), "[20.000000 0.000000 10.000000] 2.000000 1.000000 @b.ppm\n");
    // Nothing near: nothing goes.
    key(mode_billboards, 'x', at(60, 60));
    EXPECT_EQ(billboard_count(), first + 1);
}

// ---------------------------------------------------------------------------------------------
// Statues

std::string statue_line(float x, float z, float value, const char* texture) {
    char line[200];
    snprintf(line, sizeof line, "[%f 0 %f] %f null %s null\n", x, z, value, texture);
    return line;
}

TEST_F(EditorTools, InterpolateSpacesStatuesEvenlyOrRefusesAMismatch) {
    make_track(
        {{"statues", statue_line(10, 10, 0, "@a.ppm") + statue_line(50, 50, 0, "@a.ppm") +
                         statue_line(12, 80, 0, "@a.ppm") + statue_line(40, 10, 0, "@a.ppm")}});
    const int first = statue_first_file();
    ASSERT_EQ(statue_count(), first + 4);
    EXPECT_EQ(press(mode_statues, at(10, 10)), 1);
    ASSERT_EQ(tools.statue, first);
    std::string message;
    EXPECT_TRUE(key(mode_statues, 'i', at(0, 0), &message));
    EXPECT_EQ(message, "");
    EXPECT_NEAR(statues()[first + 1].x, 20, 1e-4);
    EXPECT_NEAR(statues()[first + 1].z, 10, 1e-4);
    EXPECT_NEAR(statues()[first + 2].x, 30, 1e-4);
    EXPECT_EQ(statues()[first + 3].x, 40);

    // A statue of another look after the selected one: nothing moves.
    statue_add(100, 0, 100, 0, "null", "@b.ppm", "null");
    statue_place(first + 1, 15, statues()[first + 1].z);
    EXPECT_FALSE(key(mode_statues, 'i', at(0, 0), &message));
    EXPECT_EQ(message, "Bad match for interpolate!");
    EXPECT_EQ(statues()[first + 1].x, 15);
    EXPECT_EQ(statues()[first + 2].x, 30);
}

TEST_F(EditorTools, StatuesMoveTurnCopyAndGoAsTheirValuesAllow) {
    make_track({{"statues", statue_line(20, 20, 0, "@a.ppm") + statue_line(40, 20, -7, "@a.ppm") +
                                statue_line(60, 20, 5, "@a.ppm")}});
    const int first = statue_first_file();
    // The turn handle of a heading 0 lies 4 pick distances towards -z.
    EXPECT_EQ(press(mode_statues, at(20, 16)), 2);
    ASSERT_EQ(tools.statue, first);
    EXPECT_TRUE(tools_drag(tools, mode_statues, at(30, 20), settings, 2));
    EXPECT_NEAR(statues()[first].value, -k_pi_f / 2, 1e-5);
    // Its model's x axis turned with it.
    EXPECT_NEAR(statues()[first].orientation[0], 0, 1e-5);

    // Far below a whole turn the value stays that far below.
    EXPECT_EQ(press(mode_statues, at(40, 20)), 1);
    EXPECT_TRUE(tools_drag(tools, mode_statues, at(40, 30), settings, 2));
    EXPECT_NEAR(statues()[first + 1].value, -k_pi_f - 4 * k_pi_f, 1e-4);
    // A face-camera statue keeps its value.
    EXPECT_EQ(press(mode_statues, at(60, 20)), 1);
    tools_drag(tools, mode_statues, at(70, 20), settings, 2);
    EXPECT_EQ(statues()[first + 2].value, 5);

    // Moving, and the lock.
    EXPECT_TRUE(tools_drag(tools, mode_statues, at(64, 30), settings, 1));
    EXPECT_EQ(statues()[first + 2].x, 64);
    // The bikes find it where it now stands (buckets of 16 ft), no longer where it stood.
    const auto near = [](double x, double z) { return statues_near(x - 2, z - 2, x + 2, z + 2); };
    std::vector<int> here = near(64, 30), there = near(60, 20);
    EXPECT_NE(std::find(here.begin(), here.end(), first + 2), here.end());
    EXPECT_EQ(std::find(there.begin(), there.end(), first + 2), there.end());
    editor_pointer locked = at(80, 80);
    locked.ground_locked = true;
    EXPECT_FALSE(tools_drag(tools, mode_statues, locked, settings, 1));
    EXPECT_EQ(statues()[first + 2].x, 64);
    EXPECT_FALSE(key(mode_statues, 'd', locked));
    EXPECT_EQ(statue_count(), first + 3);

    // "d" copies the selected statue to the pointer; Delete takes the one under the pointer.
    EXPECT_TRUE(key(mode_statues, 'd', at(90, 90)));
    ASSERT_EQ(statue_count(), first + 4);
    EXPECT_EQ(statues()[first + 3].value, 5);
    EXPECT_EQ(statues()[first + 3].texture_name, "@a.ppm");
    EXPECT_TRUE(key(mode_statues, 127, at(20, 20)));
    ASSERT_EQ(statue_count(), first + 3);
    EXPECT_EQ(tools.statue, first + 1) << "the selection follows its statue down";
    EXPECT_EQ(statues()[tools.statue].x, 64);
}

TEST_F(EditorTools, SnapToGradientTakesTheCircleOrTheLine) {
    make_track({{"statues", statue_line(49, 23, 0, "@a.ppm") + statue_line(65, 21, 0, "@a.ppm")}});
    const int first = statue_first_file();
    editor_gradient gradient;
    gradient.x0 = 20, gradient.z0 = 20, gradient.x1 = 80, gradient.z1 = 20;
    gradient.points = {{0, 0, 0}, {30, 1, 0}, {60, 0, 0}};
    EXPECT_FALSE(tools_button(tools, button_snap_to_gradient, settings, &gradient, false))
        << "nothing selected";

    // Nearer the circle of radius 30 than the line: onto the circle.
    tools.statue = first;
    EXPECT_FALSE(tools_button(tools, button_snap_to_gradient, settings, &gradient, true));
    EXPECT_EQ(statues()[first].x, 49);
    EXPECT_TRUE(tools_button(tools, button_snap_to_gradient, settings, &gradient, false));
    EXPECT_NEAR(distance(20, 20, statues()[first].x, statues()[first].z), 30, 1e-4);
    EXPECT_NEAR((statues()[first].z - 20) / (statues()[first].x - 20), 3.0 / 29, 1e-5);

    // Nearer the line: onto it, facing the start.
    tools.statue = first + 1;
    EXPECT_TRUE(tools_button(tools, button_snap_to_gradient, settings, &gradient, false));
    EXPECT_NEAR(statues()[first + 1].x, 65, 1e-4);
    EXPECT_NEAR(statues()[first + 1].z, 20, 1e-4);
    EXPECT_NEAR(statues()[first + 1].value, -k_pi_f / 2, 1e-5);
}

// ---------------------------------------------------------------------------------------------
// The tile map

TEST_F(EditorTools, TilePaintingScattersAltsAndFitsOnlyMatchingNeighbours) {
    make_track({{"texturelist", "dirt.png\ngrass.png\ngrass-alt1.png\ndirt-grass-1010.png\n"}});
    const surface_set& set = ground().surfaces;
    ASSERT_EQ(set.count, 4);
    const int n = set.tiles_per_side;
    auto tile = [&](int xc, int zc) { return set.tilemap[zc * n + xc]; };
    settings.tile = 1;

    // One square, its centre at (21, 21).
    editor_pointer p = at(21, 21);
    p.radius = 0.5f;
    EXPECT_TRUE(tools_drag(tools, mode_tilemap_edit, p, settings, 0));
    EXPECT_TRUE(tile(10, 10) == 1 || tile(10, 10) == 2);
    // The +x neighbour's -x corners turned grass: dirt with grass at corners 1 and 3.
    EXPECT_EQ(tile(11, 10), 3);
    // No type has grass at the -x neighbour's +x corners alone: it stays dirt.
    EXPECT_EQ(tile(9, 10), 0);
    EXPECT_EQ(tile(10, 11), 0);
    EXPECT_EQ(tile(12, 10), 0);

    // Between the brush's tics nothing is painted; under the lock nothing at all.
    p = at(61, 61);
    p.radius = 9; // reaches the corners of the 7 x 7 squares around the centre
    p.tic = 5;
    EXPECT_FALSE(tools_drag(tools, mode_tilemap_edit, p, settings, 0));
    p.tic = 0;
    p.ground_locked = true;
    EXPECT_FALSE(tools_drag(tools, mode_tilemap_edit, p, settings, 0));
    EXPECT_EQ(tile(30, 30), 0);

    // A wide stroke scatters grass and its alt.
    p.ground_locked = false;
    p.tic = 32;
    EXPECT_TRUE(tools_drag(tools, mode_tilemap_edit, p, settings, 0));
    int counts[4] = {};
    for (int zc = 27; zc <= 33; zc++)
        for (int xc = 27; xc <= 33; xc++) counts[tile(xc, zc)]++;
    EXPECT_EQ(counts[1] + counts[2], 49);
    EXPECT_GE(counts[1], 10);
    EXPECT_GE(counts[2], 10);
    // Squares beyond the radius are only fitted, never painted.
    EXPECT_NE(tile(40, 30), 1);
    EXPECT_NE(tile(40, 30), 2);
}

// ---------------------------------------------------------------------------------------------
// Decals

std::string decal_line(float x, float z, float angle, const char* name) {
    char line[200];
    snprintf(line, sizeof line, "[%f %f] %f 2 1 %s\n", x, z, angle, name);
    return line;
}

// Every grid cell lists decals in ascending order, each one it lists reaches over the cell,
// and every decal is listed in the cell of its centre.
void expect_grid_whole() {
    const float cell = ground().field.extent / k_decal_grid;
    for (int cz = 0; cz < k_decal_grid; cz++)
        for (int cx = 0; cx < k_decal_grid; cx++) {
            const std::vector<int>& list = decal_grid_cell(cx, cz);
            EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
            EXPECT_EQ(std::adjacent_find(list.begin(), list.end()), list.end());
            for (int i : list) {
                ASSERT_LT(i, decal_count());
                const ground_decal& d = decal_at(i);
                const float reach = d.size * std::max(1.0f, d.aspect);
                EXPECT_GE(d.x + reach, cx * cell);
                EXPECT_LE(d.x - reach, (cx + 1) * cell);
                EXPECT_GE(d.z + reach, cz * cell);
                EXPECT_LE(d.z - reach, (cz + 1) * cell);
            }
        }
    for (int i = 0; i < decal_count(); i++) {
        const ground_decal& d = decal_at(i);
        const std::vector<int>& list =
            decal_grid_cell(static_cast<int>(d.x / cell), static_cast<int>(d.z / cell));
        EXPECT_TRUE(std::binary_search(list.begin(), list.end(), i)) << i;
    }
}

struct dirty_marks {
    int count = 0;
    int i0 = 0, j0 = 0, i1 = 0, j1 = 0;
};
dirty_marks g_dirty;
void record_dirty(int i0, int j0, int i1, int j1) {
    if (g_dirty.count++ == 0) g_dirty = {1, i0, j0, i1, j1};
}

TEST_F(EditorTools, DecalLevelBottomDrawsBeneathAll) {
    make_track({{"decals", decal_line(30, 30, 0, "@a.ppm") + decal_line(31, 30, 0, "@b.ppm") +
                               decal_line(32, 30, 0, "@a.ppm")}});
    ASSERT_EQ(decal_count(), 3);
    EXPECT_EQ(press(mode_decals, at(31, 30)), 1);
    ASSERT_EQ(tools.decal, 1);
    settings.level = level_bottom;
    settings.orientation = orient_copy;
    int target = -1;
    EXPECT_TRUE(tools_press(tools, mode_decals, at(31, 31), settings, &target));
    EXPECT_EQ(target, 0);
    ASSERT_EQ(decal_count(), 4);
    // The copy is first in the drawing order and in the cell it lies in.
    EXPECT_EQ(tools.decal, 0);
    EXPECT_EQ(decal_name(0), "@b.ppm");
    EXPECT_EQ(decal_at(0).x, 31);
    EXPECT_EQ(decal_at(0).z, 31);
    EXPECT_EQ(decal_grid_cell(1, 1).front(), 0);
    EXPECT_EQ(decal_name(2), "@b.ppm") << "the original moved up one place";
    expect_grid_whole();

    // "Under Current" goes beneath the run of like decals ending at the selected one, "Over
    // Current" above the run starting at it, "Top" above all.
    press(mode_decals, at(30, 30));
    ASSERT_EQ(tools.decal, 1);
    settings.level = level_over_current;
    tools_press(tools, mode_decals, at(40, 40), settings, &target);
    EXPECT_EQ(tools.decal, 2);
    settings.level = level_top;
    tools_press(tools, mode_decals, at(44, 40), settings, &target);
    EXPECT_EQ(tools.decal, decal_count() - 1);
    EXPECT_EQ(decal_name(tools.decal), "@a.ppm");
    expect_grid_whole();
}

TEST_F(EditorTools, DecalNamesStayRightAcrossInsertsRemovesAndGroupMoves) {
    make_track({{"decals", decal_line(30, 30, 0, "@a.ppm") + decal_line(40, 30, 0, "@a.ppm") +
                               decal_line(50, 30, 0, "@b.ppm") + decal_line(60, 30, 0, "@a.ppm")}});
    ASSERT_EQ(decal_count(), 4);
    press(mode_decals, at(60, 30));
    ASSERT_EQ(tools.decal, 3);
    EXPECT_FALSE(key(mode_decals, 'm', at(40, 30)));
    ASSERT_EQ(tools.decal_group, std::vector<int>{1});

    // A copy of the leader and of its member, each beneath its own run of like decals.
    settings.level = level_under_current;
    settings.orientation = orient_copy;
    int target = -1;
    EXPECT_TRUE(tools_press(tools, mode_decals, at(60, 60), settings, &target));
    ASSERT_EQ(decal_count(), 6);
    ASSERT_EQ(tools.decal_group.size(), 1u);
    const int member = tools.decal_group[0];
    EXPECT_EQ(member, 0);
    EXPECT_EQ(decal_at(tools.decal).x, 60);
    EXPECT_EQ(decal_at(tools.decal).z, 60);
    EXPECT_EQ(decal_at(member).x, 40);
    EXPECT_EQ(decal_at(member).z, 60);
    EXPECT_EQ(decal_name(tools.decal - 1), "@b.ppm") << "the copy sits just above the b decal";
    expect_grid_whole();

    // Deleting a decal before both: the names follow, and the ground under it is marked.
    decal_ground_hooks hooks;
    hooks.mark_dirty = record_dirty;
    decals_set_ground_hooks(&hooks);
    g_dirty = {};
    EXPECT_TRUE(key(mode_decals, 'x', at(30, 30)));
    ASSERT_EQ(decal_count(), 5);
    EXPECT_EQ(g_dirty.count, 1);
    EXPECT_LE(g_dirty.i0, 29);
    EXPECT_GE(g_dirty.i1, 31);
    EXPECT_LE(g_dirty.j0, 29);
    EXPECT_GE(g_dirty.j1, 31);
    EXPECT_EQ(decal_at(tools.decal).x, 60);
    EXPECT_EQ(decal_at(tools.decal).z, 60);
    ASSERT_EQ(tools.decal_group.size(), 1u);
    EXPECT_EQ(decal_at(tools.decal_group[0]).x, 40);
    EXPECT_EQ(decal_at(tools.decal_group[0]).z, 60);
    expect_grid_whole();

    // Pressing the leader again keeps the group; a move carries the member along.
    EXPECT_EQ(press(mode_decals, at(60, 60)), 1);
    ASSERT_EQ(tools.decal_group.size(), 1u);
    EXPECT_TRUE(tools_drag(tools, mode_decals, at(70, 65), settings, 1));
    const int m = tools.decal_group[0];
    EXPECT_FLOAT_EQ(decal_at(m).x, 50);
    EXPECT_FLOAT_EQ(decal_at(m).z, 65);
    // A quarter turn swings it round the leader and turns it as much.
    EXPECT_EQ(press(mode_decals, at(70, 61)), 2);
    EXPECT_TRUE(tools_drag(tools, mode_decals, at(60, 65), settings, 2));
    EXPECT_NEAR(decal_at(tools.decal).angle, k_pi_f / 2, 1e-5);
    EXPECT_NEAR(decal_at(m).x, 70, 1e-4);
    EXPECT_NEAR(decal_at(m).z, 85, 1e-4);
    EXPECT_NEAR(decal_at(m).angle, k_pi_f / 2, 1e-5);
    expect_grid_whole();

    // Selecting another decal empties the group.
    press(mode_decals, at(50, 30));
    EXPECT_TRUE(tools.decal_group.empty());
}

TEST_F(EditorTools, GroupSpreadsTwiceAsFarSquaredAndHiddenDecalsStay) {
    make_track({{"decals", decal_line(50, 50, 0, "@a.ppm") + decal_line(54, 50, 0, "@a.ppm") +
                               decal_line(50, 47, 0, "@a.ppm") + decal_line(58, 50, 0, "@b.ppm")}});
    press(mode_decals, at(50, 50));
    editor_pointer wide = at(52, 49);
    wide.radius = 10;
    settings.hide_different = true;
    EXPECT_FALSE(key(mode_decals, 'M', wide));
    std::vector<int> group = tools.decal_group;
    std::sort(group.begin(), group.end());
    ASSERT_EQ(group, (std::vector<int>{1, 2})) << "the b decal is hidden from marking";
    EXPECT_TRUE(key(mode_decals, '}', at(0, 0)));
    EXPECT_TRUE(key(mode_decals, '}', at(0, 0)));
    const float f = 1.0666667f * 1.0666667f;
    EXPECT_NEAR(decal_at(1).x, 50 + 4 * f, 1e-4);
    EXPECT_NEAR(decal_at(2).z, 50 - 3 * f, 1e-4);
    EXPECT_EQ(decal_at(0).x, 50);
    EXPECT_EQ(decal_at(3).x, 58);
    EXPECT_TRUE(key(mode_decals, '{', at(0, 0)));
    EXPECT_NEAR(decal_at(1).x, 50 + 4 * f * 0.9375f, 1e-4);
    // Stamped at the bottom, each member's copy goes in beneath the copies before it: the
    // group then names copies that keep their offsets from the new leader.
    std::vector<std::pair<float, float>> offsets;
    for (int member : tools.decal_group)
        offsets.emplace_back(decal_at(member).x - 50, decal_at(member).z - 50);
    settings.level = level_bottom;
    settings.orientation = orient_copy;
    int target = -1;
    EXPECT_TRUE(tools_press(tools, mode_decals, at(80, 80), settings, &target));
    ASSERT_EQ(decal_count(), 7);
    EXPECT_EQ(decal_at(tools.decal).x, 80);
    EXPECT_EQ(decal_at(tools.decal).z, 80);
    ASSERT_EQ(tools.decal_group.size(), 2u);
    EXPECT_NE(tools.decal_group[0], tools.decal_group[1]);
    for (size_t k = 0; k < offsets.size(); k++) {
        const ground_decal& copy = decal_at(tools.decal_group[k]);
        EXPECT_NEAR(copy.x - 80, offsets[k].first, 1e-4) << k;
        EXPECT_NEAR(copy.z - 80, offsets[k].second, 1e-4) << k;
    }
    // "X" within the radius takes only like decals while the others are hidden.
    EXPECT_TRUE(key(mode_decals, 'X', wide));
    ASSERT_EQ(decal_count(), 4);
    EXPECT_EQ(decal_name(3), "@b.ppm");
    EXPECT_EQ(decal_at(tools.decal).x, 80);
    ASSERT_EQ(tools.decal_group.size(), 2u);
    for (size_t k = 0; k < offsets.size(); k++)
        EXPECT_NEAR(decal_at(tools.decal_group[k]).x - 80, offsets[k].first, 1e-4) << k;
    expect_grid_whole();
}

TEST_F(EditorTools, PaintedDecalsFlowOneSpacingApart) {
    make_track({{"decals", decal_line(20, 20, 0, "@a.ppm")}});
    press(mode_decals, at(20, 20));
    settings.orientation = orient_flow;
    settings.decal_spacing = 1; // one decal length, 2 ft
    for (float x = 20; x <= 40; x += 0.05f) tools_drag(tools, mode_decals, at(x, 20), settings, 0);
    EXPECT_GE(decal_count(), 9);
    for (int i = 1; i < decal_count(); i++) {
        const ground_decal& d = decal_at(i);
        const ground_decal& previous = decal_at(i - 1);
        EXPECT_GT(d.x - previous.x, 2);
        EXPECT_LT(d.x - previous.x, 2.1f);
        // Each copy's v axis points back to the one before.
        EXPECT_NEAR(d.sine, -1, 1e-5);
    }
    expect_grid_whole();
}

TEST_F(EditorTools, TheLockLeavesBillboardsAndDecalsEditable) {
    make_track(
        {{"billboards", "[10 0 10] 2 1 @a.ppm\n"}, {"decals", decal_line(20, 20, 0, "@a.ppm")}});
    editor_pointer p = at(10, 10);
    p.ground_locked = true;
    press(mode_billboards, p);
    p.x = 30;
    int target = 0;
    EXPECT_TRUE(tools_press(tools, mode_billboards, p, settings, &target));
    p.x = 20, p.z = 20;
    press(mode_decals, p);
    ASSERT_EQ(tools.decal, 0);
    p.x = 25;
    EXPECT_TRUE(tools_drag(tools, mode_decals, p, settings, 1));
    EXPECT_EQ(decal_at(0).x, 25);
}
} // namespace
