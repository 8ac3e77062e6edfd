// The generator's sun shading and shadow casting on fields of known shape, and its reading of
// height files, malformed ones included.
#include "forge_track_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {
constexpr int k_n = 129;
constexpr float k_c = 1.0f; // ft

// A flat field with a block of the given height over [x0, x1] x [z0, z1] samples.
std::vector<float> field_with_block(int x0, int x1, int z0, int z1, float height) {
    std::vector<float> h(static_cast<size_t>(k_n) * k_n, 0.0f);
    for (int j = z0; j <= z1; j++)
        for (int i = x0; i <= x1; i++) h[static_cast<size_t>(j) * k_n + i] = height;
    return h;
}

int channel(int value) { return std::clamp(value, 0, 255); }
} // namespace

TEST(GroundLight, FlatGroundTakesTheShadingFormula) {
    std::vector<float> flat(static_cast<size_t>(k_n) * k_n, 3.0f);
    forge_sun sun = {{0, 1, 0}, {1.0f, 0.5f, 0.25f}, {0.2f, 0.2f, 0.2f}};
    forge_ground_light light = forge_light_ground(flat, k_n, k_c, sun);
    ASSERT_EQ(light.shading.size(), flat.size() * 3);
    ASSERT_EQ(light.shadow.size(), flat.size());
    // Sun straight overhead: trunc((colour + ambient) * 0.5 * 255).
    size_t at = 60 * k_n + 60;
    EXPECT_EQ(light.shadow[at], 0);
    EXPECT_EQ(light.shading[at * 3 + 0], channel(static_cast<int>(1.2f * 127.5f)));
    EXPECT_EQ(light.shading[at * 3 + 1], channel(static_cast<int>(0.7f * 127.5f)));
    EXPECT_EQ(light.shading[at * 3 + 2], channel(static_cast<int>(0.45f * 127.5f)));
    // A bright sun saturates at 255 instead of wrapping.
    forge_sun bright = {{0, 1, 0}, {3, 3, 3}, {1, 1, 1}};
    EXPECT_EQ(forge_light_ground(flat, k_n, k_c, bright).shading[at * 3], 255);
}

TEST(GroundLight, ABlockCastsAShadowAsLongAsTheSunIsLow) {
    // Sun due west at 45 degrees: a 10 ft block shades 10 ft of ground east of it.
    std::vector<float> h = field_with_block(40, 50, 40, 80, 10.0f);
    forge_sun sun = {{-1, 1, 0}, {1, 1, 1}, {0.3f, 0.3f, 0.3f}};
    forge_ground_light light = forge_light_ground(h, k_n, k_c, sun);
    auto shadow = [&](int i, int j) { return light.shadow[static_cast<size_t>(j) * k_n + i]; };
    auto red = [&](int i, int j) { return light.shading[(static_cast<size_t>(j) * k_n + i) * 3]; };
    // East of the block (x 51 ... 59) is in shadow; from 61 on the sun clears its top.
    for (int i = 52; i <= 58; i++) EXPECT_EQ(shadow(i, 60), 255) << i;
    for (int i = 62; i <= 70; i++) EXPECT_EQ(shadow(i, 60), 0) << i;
    // West of it and on its top, lit; beyond its ends along z, lit.
    EXPECT_EQ(shadow(30, 60), 0);
    EXPECT_EQ(shadow(45, 60), 0);
    EXPECT_EQ(shadow(55, 30), 0);
    EXPECT_EQ(shadow(55, 90), 0);
    // Shadowed ground has only the ambient light; lit flat ground has the sun's share too.
    EXPECT_EQ(red(55, 60), static_cast<int>(0.3f * 127.5f));
    EXPECT_GT(red(70, 60), red(55, 60) + 50);
}

TEST(GroundLight, SlopesFacingAwayFromTheSunAreUnlit) {
    // A ridge along z: the east face turns away from a sun low in the west.
    std::vector<float> h(static_cast<size_t>(k_n) * k_n, 0.0f);
    for (int j = 0; j < k_n; j++)
        for (int i = 0; i < k_n; i++)
            h[static_cast<size_t>(j) * k_n + i] = std::max(0.0f, 20.0f - std::fabs(i - 64.0f));
    forge_sun sun = {{-1, 0.3f, 0}, {1, 1, 1}, {0.25f, 0.25f, 0.25f}};
    forge_ground_light light = forge_light_ground(h, k_n, k_c, sun);
    size_t west = 64 * k_n + 54, east = 64 * k_n + 74;
    EXPECT_GT(light.shading[west * 3], light.shading[east * 3] + 60);
    EXPECT_EQ(light.shading[east * 3], static_cast<int>(0.25f * 127.5f));
}

TEST(GroundLight, ReadsAHeightFileBackAndRefusesBrokenOnes) {
    // e = 1: 5 x 5 samples from 2 ft to 4 ft.
    std::string good = "1 2.5 2 4\n:";
    for (int k = 0; k < 25; k++) {
        uint16_t v = k == 0 ? 0 : (k == 24 ? 65535 : 32768);
        good += static_cast<char>(v & 0xFF);
        good += static_cast<char>(v >> 8);
    }
    int n = 0;
    float c = 0;
    std::vector<float> h = forge_read_terrain_hf(good, &n, &c);
    ASSERT_EQ(h.size(), 25u);
    EXPECT_EQ(n, 5);
    EXPECT_FLOAT_EQ(c, 2.5f);
    EXPECT_FLOAT_EQ(h[0], 2.0f);
    EXPECT_FLOAT_EQ(h[24], 4.0f);
    EXPECT_NEAR(h[12], 3.0f, 1e-4f);

    // A body one byte short, no colon, a header that is not four numbers, an absurd size.
    EXPECT_TRUE(forge_read_terrain_hf(good.substr(0, good.size() - 1), &n, &c).empty());
    EXPECT_TRUE(forge_read_terrain_hf("1 2.5 2 4\n", &n, &c).empty());
    EXPECT_TRUE(forge_read_terrain_hf("one two\n:" + good.substr(11), &n, &c).empty());
    EXPECT_TRUE(forge_read_terrain_hf("30 1 0 1\n:" + good.substr(11), &n, &c).empty());
    EXPECT_TRUE(forge_read_terrain_hf("-2 1 0 1\n:" + good.substr(11), &n, &c).empty());
    EXPECT_TRUE(forge_read_terrain_hf("", &n, &c).empty());
}

TEST(GroundLight, TimingTextReadsAsSlotsGatesAndLaps) {
    std::vector<forge_slot> slots = {{1, 0, 2, forge_heading_along(1, 0)}};
    std::vector<forge_gate> gates = {{10, 5, 1, 6, 1, 0}, {12, 7, 1, 8, 0, 1}};
    std::string text = forge_timing_gates_text(slots, gates, {0, 1, 0}, {1, 0, 1});
    EXPECT_EQ(text,
              "startinggate:\n[1.000000 0.000000 2.000000] -1.570796\n"
              "checkpoints:\n10.000000 [5.000000 1.000000 6.000000] [1.000000 0.000000 0.000000]\n"
              "12.000000 [7.000000 1.000000 8.000000] [0.000000 0.000000 1.000000]\n"
              "firstlap:\n0 1 0 \nnormallap:\n1 0 1 \n");
    // The heading faces the rider along the given direction: (-sin a, -cos a).
    for (float angle : {0.0f, 1.0f, 2.5f, -2.0f}) {
        float a = forge_heading_along(std::cos(angle), std::sin(angle));
        EXPECT_NEAR(-std::sin(a), std::cos(angle), 1e-5f);
        EXPECT_NEAR(-std::cos(a), std::sin(angle), 1e-5f);
    }
}
