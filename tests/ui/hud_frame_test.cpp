// The HUD drawn from a frame record filled by hand, with no race, bike or track loaded, under the
// offscreen driver: the map's squares and arrow land where the record puts the riders, the
// board, the lap box and the results panel show what the record says, and nothing shows without
// a track.
#include "ui/hud_layout.h"
#include "ui/ui.h"

#include "platform/platform.h"
#include "render/render.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr int k_width = 640, k_height = 480; // px

struct rgb {
    int r, g, b;
};

class HudFrame : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(k_platform_sdl.create_window("hud test", k_width, k_height, 24, 24));
        platform_use(k_platform_sdl);
        int w = 0, h = 0;
        ASSERT_TRUE(platform().begin_frame(&w, &h));
        ASSERT_TRUE(gl_features_init(false));
        // A map picture of one plain colour, so the squares stand out against it.
        const unsigned char blue[2 * 2 * 3] = {0, 0, 128, 0, 0, 128, 0, 0, 128, 0, 0, 128};
        glGenTextures(1, &map_texture);
        glBindTexture(GL_TEXTURE_2D, map_texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, blue);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    static void TearDownTestSuite() {
        glDeleteTextures(1, &map_texture);
        k_platform_sdl.destroy_window();
        platform_use(k_platform_null);
    }
    void SetUp() override { hud_reset(); }

    // A rider on the track in the rider's view, at 640 x 480, the start title long gone.
    static hud_frame riding() {
        hud_frame f;
        f.width = k_width;
        f.height = k_height;
        f.track_loaded = true;
        f.followed_live = true;
        f.title.race_seconds = 60;
        f.title.track = "Hand Filled";
        return f;
    }

    // Draws the frame over a plain background and reads it back.
    void draw(const hud_frame& f, float background = 0) {
        int w = 0, h = 0;
        ASSERT_TRUE(platform().begin_frame(&w, &h));
        ASSERT_EQ(w, k_width);
        glViewport(0, 0, k_width, k_height);
        glClearColor(background, background, background, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        hud_draw(f);
        pixels.assign(static_cast<size_t>(k_width) * k_height * 3, 0);
        ASSERT_TRUE(render_read_pixels(k_width, k_height, pixels.data()));
        layout = hud_layout_for(k_width, k_height, f.map_scale);
    }

    // The pixel under an overlay point.
    rgb at(float x, float y) const {
        float px = 0, py = 0;
        hud_to_pixels(layout, k_width, k_height, x, y, &px, &py);
        const int column = std::clamp(static_cast<int>(px), 0, k_width - 1);
        const int row = std::clamp(k_height - 1 - static_cast<int>(py), 0, k_height - 1);
        const unsigned char* p = &pixels[(static_cast<size_t>(row) * k_width + column) * 3];
        return {p[0], p[1], p[2]};
    }
    // The pixel under a point of the terrain on the map.
    rgb on_map(float extent, float x, float z, float dx = 0, float dy = 0) const {
        float mx = 0, my = 0;
        hud_map_point(layout.map, extent, x, z, &mx, &my);
        return at(mx + dx, my + dy);
    }
    static bool near(rgb c, int r, int g, int b) {
        return std::abs(c.r - r) <= 3 && std::abs(c.g - g) <= 3 && std::abs(c.b - b) <= 3;
    }
    rgb centre(const hud_rect& r) const { return at((r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2); }

    static inline GLuint map_texture = 0;
    std::vector<unsigned char> pixels;
    hud_layout layout;
};
} // namespace

TEST_F(HudFrame, EachRidersSquareLandsWhereTheRecordPutsIt) {
    hud_frame f = riding();
    f.map.texture = map_texture;
    f.map.extent = 1000;
    f.map.riders = {
        {250, 250, marker_rider}, {750, 250, marker_finished}, {250, 750, marker_leader}};
    f.map.x = 750;
    f.map.z = 750;
    f.map.heading_x = 0;
    f.map.heading_z = -1; // north
    draw(f);
    EXPECT_TRUE(near(on_map(1000, 500, 500), 0, 0, 128)) << "the map picture between the riders";
    EXPECT_TRUE(near(on_map(1000, 250, 250), 255, 255, 255)) << "a rider in white";
    EXPECT_TRUE(near(on_map(1000, 750, 250), 64, 64, 64)) << "a finished rider in grey";
    EXPECT_TRUE(near(on_map(1000, 250, 750), 51, 217, 77)) << "the leader in green";
    EXPECT_TRUE(near(on_map(1000, 750, 750), 255, 38, 26)) << "the followed rider's red arrow";
    // The arrow is narrow ahead (north, up the map) and wide behind.
    const float s =
        std::max(hud_map_marker_half(1) * (layout.map.x1 - layout.map.x0), 0.012f) * 2.4f;
    EXPECT_TRUE(near(on_map(1000, 750, 750, 0.4f * s, 0.6f * s), 0, 0, 128)) << "beside the tip";
    EXPECT_FALSE(near(on_map(1000, 750, 750, 0.4f * s, -0.6f * s), 0, 0, 128)) << "the tail";

    // Turned south, the wide end is north of the rider.
    f.map.heading_z = 1;
    draw(f);
    EXPECT_FALSE(near(on_map(1000, 750, 750, 0.4f * s, 0.6f * s), 0, 0, 128));
    EXPECT_TRUE(near(on_map(1000, 750, 750, 0.4f * s, -0.6f * s), 0, 0, 128));

    // Beyond the terrain's edge a rider is kept on the map's edge.
    f.map.riders = {{-400, 500, marker_leader}};
    draw(f);
    EXPECT_TRUE(near(at(layout.map.x0 + 0.005f, (layout.map.y0 + layout.map.y1) / 2), 51, 217, 77));
}

TEST_F(HudFrame, TheBoardNeedsGatesAndEverythingNeedsATrack) {
    hud_frame f = riding();
    f.has_gates = true;
    f.board.number = "7";
    draw(f);
    // Without its picture the board is a dim slate.
    EXPECT_TRUE(near(centre(layout.board), 64, 64, 64));
    f.has_gates = false;
    draw(f);
    EXPECT_TRUE(near(centre(layout.board), 0, 0, 0));
    // The same rider with no track loaded: nothing of the board, the dial or the map.
    f.has_gates = true;
    f.track_loaded = false;
    f.map.texture = map_texture;
    f.map.extent = 1000;
    draw(f);
    EXPECT_TRUE(near(centre(layout.board), 0, 0, 0));
    EXPECT_TRUE(near(centre(layout.map), 0, 0, 0));
    int lit = 0;
    for (size_t i = 0; i < pixels.size(); i++) lit += pixels[i] != 0;
    EXPECT_EQ(lit, 0);
}

TEST_F(HudFrame, TheLapBoxTurnsWhiteOnTheLastLapAndCheckeredAtTheEnd) {
    hud_frame f = riding();
    f.broadcast = true;
    f.ticker.entries = {"1  10 Leader", "2  11 Second    2.500"};
    f.ticker.race_laps = 3;
    f.ticker.leader_laps = 1;
    draw(f);
    const hud_rect& b = layout.lap_box;
    EXPECT_TRUE(near(centre(b), 51, 217, 77)) << "green while laps remain";
    f.ticker.leader_laps = 2;
    draw(f);
    EXPECT_TRUE(near(centre(b), 255, 255, 255)) << "white on the last lap";
    f.ticker.leader_laps = 3;
    draw(f);
    // Eight cells by two, the bottom-left one dim.
    const float cw = (b.x1 - b.x0) / 8, ch = (b.y1 - b.y0) / 2;
    EXPECT_TRUE(near(at(b.x0 + cw * 0.5f, b.y0 + ch * 0.5f), 64, 64, 64));
    EXPECT_TRUE(near(at(b.x0 + cw * 1.5f, b.y0 + ch * 0.5f), 255, 255, 255));
    EXPECT_TRUE(near(at(b.x0 + cw * 0.5f, b.y0 + ch * 1.5f), 255, 255, 255));
    // No riders in the running order: no ticker and no lap box.
    f.ticker.entries.clear();
    draw(f);
    EXPECT_TRUE(near(centre(b), 0, 0, 0));
}

TEST_F(HudFrame, TheResultsPanelGrowsWithItsRowsAndTheFinalLines) {
    hud_frame f = riding();
    f.has_gates = true;
    f.followed_live = false; // a trackside look at the finish
    f.results.rows.resize(2);
    f.results.rows[0].slot = 0;
    f.results.rows[1].slot = 1;
    draw(f, 1);
    // The panel hangs from near the top by a row per line: a title, the headers, two riders, the
    // rider's own place and what comes next.
    const float row = 0.06f, top = 0.75f;
    EXPECT_LT(at(0, top - row * 2).r, 160) << "shaded";
    EXPECT_TRUE(near(at(0, top + row), 255, 255, 255)) << "above the results";
    EXPECT_TRUE(near(at(0, top - row * 7.2f), 255, 255, 255)) << "below the unofficial results";
    // Final results add the total race time and a line before the penalties.
    f.results.final_results = true;
    draw(f, 1);
    EXPECT_LT(at(0, top - row * 7.2f).r, 160);
    EXPECT_TRUE(near(at(0, top - row * 9), 255, 255, 255));
    // A full grid of forty fits on the screen: its last rows are still on the shaded panel.
    f.results.rows.resize(40);
    for (int i = 0; i < 40; i++) f.results.rows[static_cast<size_t>(i)].slot = i;
    draw(f, 1);
    EXPECT_LT(at(0, -0.9f).r, 160) << "the panel reaches down the screen";
    EXPECT_LT(at(0, 0.9f).r, 160);
    // No rows: no panel.
    f.results = hud_results{};
    draw(f, 1);
    EXPECT_TRUE(near(at(0, top - row * 2), 255, 255, 255));
}
