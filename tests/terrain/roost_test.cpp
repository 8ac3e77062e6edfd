// Roost: which wheels throw dirt, how much, and how the particles fly, fade and land.
#include "terrain/roost.h"

#include "common/random.h"
#include "terrain/terrain.h"

#include "terrain/terrain_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {
constexpr int k_e = 6; // 129 samples a side, 1 ft apart

struct Roost : TerrainFilesTest {
    void SetUp() override {
        TerrainFilesTest::SetUp();
        roost_set_frequency(100);
        roost_reset();
        random_seed(5489);
    }
    void TearDown() override {
        roost_reset();
        TerrainFilesTest::TearDown();
    }

    // Flat ground at height 0 whose one surface type has the given "roost" lines.
    void make_ground(const std::string& roost_lines) {
        write(data / "field" / "terrain.hf", flat_terrain_hf(k_e, 1));
        write(data / "field" / "tileinfo", "name dirt\n" + roost_lines + "addtile\n");
        write(data / "field" / "tilemap",
              std::string(static_cast<size_t>(1 << k_e) * (1 << k_e), '\0'));
        ground_set_texture_loader(nullptr);
        ASSERT_TRUE(height_field_load("field"));
        ASSERT_TRUE(surface_types_load("field"));
        ASSERT_TRUE(tilemap_load("field"));
    }

    // A wheel of radius 1 ft on the ground at (50, 50) with the bike travelling along -z at
    // `speed` ft/s and its tread turning forwards at `spin` ft/s: rolling when the two are
    // equal, spinning when the tread is faster.
    static roost_wheel wheel(float speed, float spin) {
        roost_wheel w;
        w.touching = true;
        w.point[0] = 50, w.point[1] = 0, w.point[2] = 50;
        w.centre[0] = 50, w.centre[1] = 1, w.centre[2] = 50;
        w.velocity[2] = -speed;
        w.spin[0] = -spin; // rad/s about the axle (+x): forwards rolling along -z
        // The tread's velocity at the contact: v + spin x (p - b), with p - b = (0, -1, 0).
        w.point_velocity[2] = -speed + spin;
        return w;
    }

    // Emits from a fresh pool `tics` times (the rear wheel spinning) and counts how often each
    // number of particles came out, up to `most`; any other number fails.
    static std::vector<int> particles_per_tic(int tics, int fewest, int most) {
        std::vector<int> seen(static_cast<size_t>(most + 1));
        for (int t = 0; t < tics; t++) {
            roost_reset();
            roost_emit_bike(roost_wheel{}, wheel(5, 30), t);
            const int n = roost_active_count();
            EXPECT_TRUE(n >= fewest && n <= most) << n;
            if (n >= fewest && n <= most) seen[n]++;
        }
        return seen;
    }
};
} // namespace

TEST_F(Roost, OnlyASpinningRearWheelOnARoostingSurfaceThrowsDirt) {
    make_ground("roost count=4\n");
    const roost_wheel still;
    roost_emit_bike(still, wheel(20, 20), 0);
    EXPECT_EQ(roost_active_count(), 0) << "a rolling tread does not slip over the ground";
    roost_emit_bike(still, wheel(5, 30), 1);
    EXPECT_GT(roost_active_count(), 0) << "a spinning wheel throws dirt";
    roost_reset();

    make_ground("");
    roost_emit_bike(still, wheel(5, 30), 2);
    EXPECT_EQ(roost_active_count(), 0) << "a surface without roost throws nothing";
}

TEST_F(Roost, TheFanOfASpinningTreadGoesBackAndUp) {
    make_ground("roost count=10 randomize=0\n");
    roost_set_frequency(1000);
    const roost_wheel still;
    roost_emit_bike(still, wheel(5, 30), 0);
    ASSERT_EQ(roost_active_count(), 10);
    // After a reset the particles are taken in order from the first.
    for (int i = 0; i < 10; i++) {
        float p[3], v[3];
        roost_particle_motion(i, p, v);
        EXPECT_GT(v[2], 0) << "clod " << i << " flies back, against the bike's travel";
        EXPECT_GE(v[1], 0) << "and up off the tread";
        EXPECT_GE(p[2], 50) << "from behind the contact";
    }
}

TEST_F(Roost, FrequencyZeroEmitsNothingAndOneFiftyEmitsOneOrTwoBatches) {
    make_ground("roost count=50\n");
    const roost_wheel still;
    roost_set_frequency(0);
    for (int t = 0; t < 100; t++) roost_emit_bike(still, wheel(5, 30), t);
    EXPECT_EQ(roost_active_count(), 0);

    roost_set_frequency(150);
    const std::vector<int> seen = particles_per_tic(400, 1, 2);
    EXPECT_NEAR(seen[2] / 400.0, 0.5, 0.1) << "the second batch comes about half the time";
}

TEST_F(Roost, ACountOfTwoAndAHalfGivesTwoOrThreeButNeverMoreThanTheBatch) {
    make_ground("roost count=2.5\n");
    roost_set_frequency(500);
    const std::vector<int> seen = particles_per_tic(200, 2, 3);
    EXPECT_GT(seen[2], 50);
    EXPECT_GT(seen[3], 50);
    roost_set_frequency(100);
    EXPECT_EQ(particles_per_tic(50, 1, 1)[1], 50) << "a batch of one caps the count";
}

TEST_F(Roost, WetGroundSplashesTwoSideSpraysFromEitherWheel) {
    make_ground("roost splash=1 count=4 randomize=0\n");
    roost_set_frequency(400);
    roost_emit_bike(wheel(30, 30), roost_wheel{}, 1);
    ASSERT_EQ(roost_active_count(), 4);
    int left = 0, right = 0;
    for (int i = 0; i < 4; i++) {
        float p[3], v[3];
        roost_particle_motion(i, p, v);
        EXPECT_GE(v[1], 0) << "sprays go up out of the water";
        (v[0] > 0 ? right : left)++;
    }
    EXPECT_EQ(left, 2);
    EXPECT_EQ(right, 2);
}

TEST_F(Roost, ARisingParticleStaysBelowTheGroundAndAFallingOneGoes) {
    make_ground("roost count=1\n");
    roost_type type;
    const float below[3] = {50, -5, 50}, up[3] = {0, 40, 0};
    ASSERT_TRUE(roost_spawn(below, up, type));
    for (int t = 0; t < 100; t++) {
        roost_update();
        float p[3], v[3];
        roost_particle_motion(0, p, v);
        if (v[1] >= 0) {
            ASSERT_EQ(roost_active_count(), 1) << "still rising at tic " << t;
        }
    }
    // It rose above the ground and fell back below it.
    for (int t = 0; t < 600 && roost_active_count() > 0; t++) roost_update();
    EXPECT_EQ(roost_active_count(), 0);
    EXPECT_EQ(roost_card_at(0).texture, 0u) << "its card is hidden";
}

TEST_F(Roost, TheDefaultFadeTakesAlphaFrom255To1In127Tics) {
    make_ground("roost count=1\n");
    roost_type type;
    type.texture = 7;
    const float high[3] = {50, 1000, 50}, up[3] = {0, 100, 0};
    ASSERT_TRUE(roost_spawn(high, up, type));
    EXPECT_EQ(roost_card_at(0).colour[3], 255);
    for (int t = 0; t < 127; t++) roost_update();
    EXPECT_EQ(roost_card_at(0).colour[3], 1);
    EXPECT_EQ(roost_card_at(0).texture, 7u);
    EXPECT_NEAR(roost_card_at(0).size, 0.25f + 127 * type.grow / 128, 1e-3f) << "it grew";
}

TEST_F(Roost, ThePoolRunsOutQuietlyAndAResetFreesIt) {
    make_ground("roost count=1\n");
    roost_type type;
    const float at[3] = {50, 100, 50}, still[3] = {0, 0, 0};
    for (int i = 0; i < k_roost_particles; i++) ASSERT_TRUE(roost_spawn(at, still, type));
    EXPECT_FALSE(roost_spawn(at, still, type));
    EXPECT_EQ(roost_active_count(), k_roost_particles);
    roost_reset();
    EXPECT_EQ(roost_active_count(), 0);
    EXPECT_TRUE(roost_spawn(at, still, type));
}
