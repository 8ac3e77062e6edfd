// The generated practice track through the real loader: every height is the analytic one, the
// jumps have their documented shape, the circle of gates times a lap, the sun shades it.
#include "common/common.h"
#include "forge_practice.h"

#include "files/data_file.h"
#include "files/files.h"
#include "resources/image.h"
#include "terrain/ground_shading.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"

#include "support/track_suite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

struct PracticeTrack : ::testing::Test {
    static inline fs::path home;
    static inline bool loaded = false;

    static void SetUpTestSuite() {
        loaded = track_suite_open(home, "tb_practice_track_", k_practice_folder);
    }
    static void TearDownTestSuite() { track_suite_close(home); }
    void SetUp() override { ASSERT_TRUE(loaded); }

    static float sample(int i, int j) {
        const height_field& f = ground().field;
        return f.heights[static_cast<size_t>(j) * f.samples_per_side + i];
    }
};

TEST_F(PracticeTrack, ListedByItsDescriptionAndPackedDirtThroughout) {
    int k = track_list_find(k_practice_folder);
    ASSERT_GE(k, 0);
    EXPECT_EQ(track_list_entry(k).display_name, "Practice Area");
    EXPECT_STREQ(track_display_name(), "Practice Area");
    for (float x : {1.0f, 130.0f, 256.0f, 511.0f})
        for (float z : {1.0f, 96.0f, 320.0f, 511.0f})
            EXPECT_STREQ(surface_type_get(surface_type_at(x, z)).name, "packed-dirt")
                << x << " " << z;
}

TEST_F(PracticeTrack, EverySampleHasTheAnalyticHeight) {
    const height_field& f = ground().field;
    ASSERT_EQ(f.size_exponent, k_practice_size_exponent);
    ASSERT_EQ(f.samples_per_side, k_practice_samples);
    ASSERT_FLOAT_EQ(f.cell_size, k_practice_cell_size);
    ASSERT_FLOAT_EQ(f.extent, k_practice_extent);
    // 16-bit samples over the 6 ft range: within a ten-thousandth of a foot.
    int off = 0;
    for (int j = 0; j < f.samples_per_side; j++)
        for (int i = 0; i < f.samples_per_side; i++) {
            float expected = practice_height(static_cast<float>(i) * f.cell_size,
                                             static_cast<float>(j) * f.cell_size);
            if (std::fabs(sample(i, j) - expected) > 1e-4f) {
                if (off++ < 10)
                    ADD_FAILURE() << i << " " << j << ": " << sample(i, j) << " vs " << expected;
            }
        }
    EXPECT_EQ(off, 0);
    // Between samples on the flat and on the tops, the ground is the analytic height too.
    for (const practice_jump& jump : k_practice_jumps) {
        float top = jump.x_begin + jump.height / jump.up_slope + jump.top_length / 2;
        EXPECT_NEAR(ground_height_at(top + 0.37f, k_practice_straight_z + 0.61f), jump.height,
                    1e-3f);
    }
    EXPECT_NEAR(ground_height_at(300.3f, 300.7f), 0.0f, 1e-3f);
}

TEST_F(PracticeTrack, JumpsHaveTheirDocumentedHeightsAndSlopes) {
    int z = static_cast<int>(k_practice_straight_z);
    for (const practice_jump& jump : k_practice_jumps) {
        float highest = 0;
        float length =
            jump.height / jump.up_slope + jump.top_length + jump.height / jump.down_slope;
        for (int i = static_cast<int>(jump.x_begin); i <= static_cast<int>(jump.x_begin + length);
             i++)
            highest = std::max(highest, sample(i, z));
        EXPECT_NEAR(highest, jump.height, 1e-3f) << jump.name;
        // Slopes measured across two feet in the middle of each face.
        float up_mid = jump.x_begin + jump.height / jump.up_slope / 2;
        int a = static_cast<int>(std::lround(up_mid)) - 1;
        EXPECT_NEAR((sample(a + 2, z) - sample(a, z)) / 2, jump.up_slope, 1e-3f) << jump.name;
        float down_mid = jump.x_begin + jump.height / jump.up_slope + jump.top_length +
                         jump.height / jump.down_slope / 2;
        int b = static_cast<int>(std::lround(down_mid)) - 1;
        EXPECT_NEAR((sample(b, z) - sample(b + 2, z)) / 2, jump.down_slope, 1e-3f) << jump.name;
        // The whole width of the straight carries the jump.
        EXPECT_NEAR(
            ground_height_at(up_mid, k_practice_straight_z + k_practice_straight_half - 0.5f),
            ground_height_at(up_mid, k_practice_straight_z), 1e-3f);
    }
    // Heights documented for physics tests: a 3 ft and a 6 ft tabletop and a 4 ft step-up.
    EXPECT_FLOAT_EQ(k_practice_jumps[0].height, 3.0f);
    EXPECT_FLOAT_EQ(k_practice_jumps[1].height, 6.0f);
    EXPECT_FLOAT_EQ(k_practice_jumps[2].height, 4.0f);
}

TEST_F(PracticeTrack, CircleOfGatesTimesALap) {
    ASSERT_EQ(gate_count(), k_practice_gate_count);
    ASSERT_GE(gate_count(), 8);
    ASSERT_GT(first_lap_length(), 2);
    ASSERT_GT(normal_lap_length(), 2);
    EXPECT_EQ(normal_lap_length(), k_practice_gate_count);
    // From the middle of the front row: east to the circle's north point, then round it.
    const start_slot& slot = start_slot_at(9);
    float cx = k_practice_circle_x, cz = k_practice_circle_z, r = k_practice_circle_radius;
    float run_in = cx - slot.point[0];
    float arc = 2 * k_pi_f * r;
    auto path = [&](float t, float* x, float* z) {
        if (t < run_in) {
            *x = slot.point[0] + t;
            *z = slot.point[2] + (cz - r - slot.point[2]) * t / run_in;
            return;
        }
        float a = (t - run_in) / r;
        *x = cx + r * std::sin(a);
        *z = cz - r * std::cos(a);
    };
    int positions = first_lap_length() + 2 * normal_lap_length();
    int position = 0;
    for (float t = 0; t < run_in + 3 * arc + 10 && position < positions; t += 0.25f) {
        float x, z;
        path(t, &x, &z);
        if (gate_contains(gate_at(gate_at_position(position)), x, z)) position++;
    }
    EXPECT_EQ(position, positions);
    // Cutting straight across the circle from gate 0 to the opposite gate misses those between.
    const timing_gate& north = gate_at(0);
    const timing_gate& side = gate_at(k_practice_gate_count / 4);
    bool hit = false;
    for (float t = 0; t <= 1; t += 0.001f) {
        float x = north.centre[0] + t * (cx - north.centre[0]);
        float z = north.centre[2] + t * (cz + r - north.centre[2]);
        hit = hit || gate_contains(side, x, z);
    }
    EXPECT_FALSE(hit);
}

TEST_F(PracticeTrack, FortySlotsOnTheFlatFacingTheCircle) {
    ASSERT_EQ(start_slot_count(), 40);
    for (int i = 0; i < start_slot_count(); i++) {
        const start_slot& s = start_slot_at(i);
        EXPECT_NEAR(-std::sin(s.heading), 1.0f, 1e-4f);
        EXPECT_NEAR(-std::cos(s.heading), 0.0f, 1e-4f);
        EXPECT_FLOAT_EQ(practice_height(s.point[0], s.point[2]), 0.0f);
        EXPECT_FLOAT_EQ(practice_height(s.piece_x, s.piece_z), 0.0f);
        for (int g = 0; g < gate_count(); g++)
            EXPECT_FALSE(gate_contains(gate_at(g), s.point[0], s.point[2]));
    }
}

TEST_F(PracticeTrack, FlatGroundIsShadedByTheFormulaAndTheJumpsCastShadows) {
    float sun[3], colour[3], ambient[3];
    ASSERT_TRUE(track_lighting_read(k_practice_folder, sun, colour, ambient));
    float length = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    float up = sun[1] / length; // the flat ground's normal is straight up
    const ground_shading_state& shading = ground_shading();
    int n = k_practice_samples;
    size_t open = static_cast<size_t>(400) * n + 400; // flat, far from any jump
    EXPECT_EQ(shading.shadow[open], 0);
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(
            shading.shading[open * 3 + k],
            static_cast<int>(std::clamp((colour[k] * up + ambient[k]) * 0.5f * 255, 0.0f, 255.0f)));
    // The sun stands in the south-west (sun_vector x < 0, z > 0): the 6 ft tabletop's north-east
    // corner, where its landing face meets the side of the straight, shades the flat beyond it
    // away from the sun.
    ASSERT_LT(sun[0], 0);
    ASSERT_GT(sun[2], 0);
    const practice_jump& big = k_practice_jumps[1];
    float corner_x = big.x_begin + big.height / big.up_slope + big.top_length;
    float corner_z = k_practice_straight_z - k_practice_straight_half;
    float horizontal = std::hypot(sun[0], sun[2]);
    int x = static_cast<int>(std::lround(corner_x - 9 * sun[0] / horizontal));
    int z = static_cast<int>(std::lround(corner_z - 9 * sun[2] / horizontal));
    size_t behind = static_cast<size_t>(z) * n + x;
    EXPECT_EQ(sample(x, z), 0.0f);
    EXPECT_GT(shading.shadow[behind], 200);
    EXPECT_LT(shading.shading[behind * 3], shading.shading[open * 3] - 30);
}

TEST_F(PracticeTrack, MapShowsTheRingOfGatesAndTheStraight) {
    std::string png;
    ASSERT_TRUE(file_to_string("@practice/map.png", &png));
    image map;
    std::string text;
    ASSERT_TRUE(
        image_decode_png(reinterpret_cast<const uint8_t*>(png.data()), png.size(), &map, &text));
    ASSERT_EQ(map.channels, 4);
    ASSERT_EQ(map.width, map.height);
    auto alpha = [&](float x, float z) {
        int i = std::clamp(static_cast<int>(x / k_practice_extent * map.width), 0, map.width - 1);
        int j = std::clamp(static_cast<int>(z / k_practice_extent * map.height), 0, map.height - 1);
        return map.pixels[(static_cast<size_t>(j) * map.width + i) * 4 + 3];
    };
    // Every gate's centre is on the drawn ring, and so is the straight's middle.
    for (int g = 0; g < gate_count(); g++)
        EXPECT_EQ(alpha(gate_at(g).centre[0], gate_at(g).centre[2]), 255) << "gate " << g;
    EXPECT_EQ(alpha(256, k_practice_straight_z), 255);
    // The open field inside the ring is only faintly drawn.
    EXPECT_LT(alpha(k_practice_circle_x, k_practice_circle_z), 128);
}
} // namespace
