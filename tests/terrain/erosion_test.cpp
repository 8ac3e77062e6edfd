// Ground deformation: the terrain edit record's bytes, the wheel sampler's paths, and the queue
// drain digging and heaping on a flat test ground.
#include "ground_fixture.h"

#include "common/message.h"
#include "terrain/erosion.h"
#include "terrain/terrain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
// A flat ground of 129 x 129 samples one foot apart at height 0, with the default surface.
struct ErosionTest : ::testing::Test {
    void SetUp() override {
        ground_free();
        ground_create(6, 1.0f, 0, 10);
        erosion_reset();
        terrain_edit_set_sender(nullptr);
        terrain_edit_set_recorder(nullptr);
    }
    void TearDown() override {
        terrain_edit_set_sender(nullptr);
        terrain_edit_set_recorder(nullptr);
        erosion_reset();
        // Empty the queue's ring too, so the next test starts with nothing pending.
        ground_free();
    }
    static float height(int i, int j) {
        const height_field& f = ground().field;
        return f.heights[i + static_cast<size_t>(f.samples_per_side) * j];
    }
    static double height_sum() {
        const height_field& f = ground().field;
        double sum = 0;
        for (int k = 0; k < f.samples_per_side * f.samples_per_side; k++) sum += f.heights[k];
        return sum;
    }
};

// The smooth bump's weight of a sample d cells from the centre, for a reach of r cells.
double weight(double d, double r) {
    if (d > r) return 0;
    double s = d / r;
    return 1 - 3 * s * s + 2 * s * s * s;
}

std::vector<std::vector<uint8_t>> g_sent;
void capture(const uint8_t* bytes, int length) { g_sent.emplace_back(bytes, bytes + length); }

// One queued point, through a one-point record.
void queue_point(float x, float z, float push_x, float push_z, int count) {
    erosion_point p;
    p.x = x, p.z = z, p.push_x = push_x, p.push_z = push_z, p.count = count;
    const float zero[2] = {0, 0};
    uint8_t record[k_edit_record_max_bytes];
    int length = terrain_edit_encode(&p, 1, zero, zero, ground().field.extent, record);
    terrain_edit_apply(record, length);
}

// ------------------------------------------------------------------------------------------
// The record

TEST_F(ErosionTest, AThreePointPathPacksIntoTheRecordLayout) {
    erosion_point points[3];
    points[0] = {64.3f, 32.2f, 1.0f, -1.0f, 5};
    points[1] = {65.6f, 32.57f, 0.0f, 0.5f, 15};
    points[2] = {67.7f, 32.76f, -0.5f, 1.0f, 1};
    const float step_min[2] = {1.3f, 0.19f}, step_max[2] = {2.1f, 0.37f};
    uint8_t out[k_edit_record_max_bytes];
    ASSERT_EQ(terrain_edit_encode(points, 3, step_min, step_max, 128.0f, out), 25);
    const uint8_t expected[25] = {
        0x01,                  // version
        0x27, 0x80,            // (1.3 - 0.0625 + 1024) / 2048 * 65535, rounded: 0x8027
        0x04, 0x80,            // (0.19 - 0.0625 + 1024) / 2048 * 65535: 0x8004
        0x45, 0x80,            // (2.1 + 0.0625 + 1024) / 2048 * 65535: 0x8045
        0x0d, 0x80,            // (0.37 + 0.0625 + 1024) / 2048 * 65535: 0x800d
        0x99, 0x99, 0x80,      // 64.3 / 128 * 16777215: 0x809999
        0x66, 0x66, 0x40,      // 32.2 / 128 * 16777215: 0x406666
        253,  1,               // push +1 (252) and -1 (0); count 5 = 01 01 split low, high
        18,   208,  131,  255, // steps over the decoded ranges; push 0 (128), 0.5 (252); 15
        235,  45,   65,   252, // push -0.5 (64), 1 (252); count 1 in the x byte
    };
    EXPECT_EQ(0, std::memcmp(out, expected, sizeof expected));
}

TEST_F(ErosionTest, RecordsRoundTripAtTheirLimits) {
    const float extent = 128.0f;
    erosion_point points[k_erosion_path_points];
    for (int k = 0; k < k_erosion_path_points; k++) {
        // From the corner of the field to its far edge and back, steps at both ends of the range.
        points[k].x = k == 0 ? 0.0f : points[k - 1].x + (k % 2 ? 2.0f : -0.5f);
        points[k].z = k == 0 ? extent : points[k - 1].z - (k % 3 ? 1.0f : 0.25f);
        points[k].push_x = k % 2 ? 1.0f : -1.0f;
        points[k].push_z = k % 2 ? -1.0f : 0.96875f;
        points[k].count = 1 + k % k_erosion_point_samples;
    }
    const float step_min[2] = {-0.5f, -1.0f}, step_max[2] = {2.0f, -0.25f};
    uint8_t out[k_edit_record_max_bytes];
    ASSERT_EQ(terrain_edit_encode(points, k_erosion_path_points, step_min, step_max, extent, out),
              269);
    erosion_point back[k_erosion_path_points];
    ASSERT_EQ(terrain_edit_decode(out, 269, extent, back), k_erosion_path_points);
    for (int k = 0; k < k_erosion_path_points; k++) {
        // Steps resolve to 1/255 of the padded range; the reader follows the writer's decoded
        // positions, so the error does not grow along the path.
        EXPECT_NEAR(back[k].x, points[k].x, 0.01f) << k;
        EXPECT_NEAR(back[k].z, points[k].z, 0.01f) << k;
        EXPECT_NEAR(back[k].push_x, points[k].push_x, 1.0f / 32) << k;
        EXPECT_NEAR(back[k].push_z, points[k].push_z, 1.0f / 32) << k;
        EXPECT_EQ(back[k].count, points[k].count) << k;
    }
    EXPECT_EQ(back[0].x, 0.0f);
    EXPECT_EQ(back[0].z, extent);
}

TEST_F(ErosionTest, PushBytesDecodeAtTheirEnds) {
    uint8_t record[17] = {1};
    erosion_point p[1];
    record[15] = 0;
    record[16] = 252;
    ASSERT_EQ(terrain_edit_decode(record, 17, 128.0f, p), 1);
    EXPECT_EQ(p[0].push_x, -1.0f);
    EXPECT_EQ(p[0].push_z, 0.96875f);
    EXPECT_EQ(p[0].count, 0);
}

TEST_F(ErosionTest, ShortOrForeignRecordsQueueNothing) {
    uint8_t record[21] = {1};
    EXPECT_EQ(terrain_edit_decode(record, 16, 128.0f, nullptr), 0);
    record[0] = 2;
    erosion_point p[2];
    EXPECT_EQ(terrain_edit_decode(record, 21, 128.0f, p), 0);
    terrain_edit_apply(record, 21);
    record[0] = 1;
    terrain_edit_apply(record, 16);
    EXPECT_EQ(erosion_queue_count(), 0);
    // Bytes past a whole point are ignored: 20 bytes carry one point.
    EXPECT_EQ(terrain_edit_decode(record, 20, 128.0f, p), 1);
}

TEST_F(ErosionTest, AFullQueueDropsPointsAndSaysSoOnce) {
    erosion_point points[k_erosion_path_points];
    for (int k = 0; k < k_erosion_path_points; k++) points[k] = {10.0f + k, 20.0f, 1.0f, 0.0f, 3};
    const float step[2] = {1, 0};
    uint8_t record[k_edit_record_max_bytes];
    const int length =
        terrain_edit_encode(points, k_erosion_path_points, step, step, 128.0f, record);
    messages_clear();
    const int records = k_erosion_queue_size / k_erosion_path_points;
    for (int k = 0; k < records; k++) terrain_edit_apply(record, length);
    EXPECT_EQ(erosion_queue_count(), k_erosion_queue_size);
    EXPECT_NE(message_recent(0), "Erode queue full!");
    terrain_edit_apply(record, length);
    terrain_edit_apply(record, length);
    EXPECT_EQ(erosion_queue_count(), k_erosion_queue_size);
    EXPECT_EQ(message_recent(0), "Erode queue full!");
    EXPECT_NE(message_recent(1), "Erode queue full!");
}

// ------------------------------------------------------------------------------------------
// The sampler

// A wheel on the flat default ground at (x, z), rolling along +x at 30 ft/s and pushed back
// along the ground by `push` lbf.
erosion_contact rolling_wheel(float x, float z, float push) {
    erosion_contact c;
    c.point[0] = x, c.point[1] = 0, c.point[2] = z;
    c.velocity[0] = 30;
    c.force[0] = push;
    c.force[1] = 400;
    c.depth = 0.1f;
    return c;
}

TEST_F(ErosionTest, APathOfSixtyFourPointsGoesOutWholeAs269Bytes) {
    g_sent.clear();
    terrain_edit_set_sender(capture);
    erosion_sampler s;
    // A quarter of a foot a tic: four samples make each point, one foot apart.
    int tic = 0;
    float x = 2;
    while (g_sent.empty() && tic < 2000) {
        erosion_sample(s, rolling_wheel(x, 10, 200), false, tic++);
        x += 0.25f;
    }
    ASSERT_EQ(g_sent.size(), 1u);
    ASSERT_EQ(g_sent[0].size(), 269u);
    erosion_point back[k_erosion_path_points];
    ASSERT_EQ(terrain_edit_decode(g_sent[0].data(), 269, ground().field.extent, back), 64);
    for (int k = 0; k < 64; k++) {
        EXPECT_EQ(back[k].count, 4) << k;
        EXPECT_NEAR(back[k].x, 2.375f + k, 0.01f) << k;
        EXPECT_NEAR(back[k].z, 10, 0.01f) << k;
        // The whole push of 200 lbf is above erode_upper: full strength, along +x.
        EXPECT_NEAR(back[k].push_x, 1, 1.0f / 32) << k;
    }
}

TEST_F(ErosionTest, APathSpreadBeyondSixtyFourFeetStartsAgain) {
    g_sent.clear();
    terrain_edit_set_sender(capture);
    erosion_sampler s;
    int tic = 0;
    // Points at 2.25, 3.25, 4.25 and 5, then a jump of 80 ft: the step to 85.25 would spread
    // the path's steps over more than 64 ft, so the four go out and a new path starts there.
    for (float x : {2.0f, 2.5f, 3.0f, 3.5f, 4.0f, 4.5f, 5.0f, 85.0f, 85.5f, 86.0f})
        erosion_sample(s, rolling_wheel(x, 10, 200), false, tic++);
    ASSERT_EQ(g_sent.size(), 1u);
    erosion_point back[k_erosion_path_points];
    int n = terrain_edit_decode(g_sent[0].data(), static_cast<int>(g_sent[0].size()),
                                ground().field.extent, back);
    ASSERT_EQ(n, 4);
    EXPECT_NEAR(back[0].x, 2.25f, 0.01f);
    EXPECT_NEAR(back[3].x, 5.0f, 0.01f);
    ASSERT_EQ(s.point_count, 1);
    EXPECT_NEAR(s.points[0].x, 85.25f, 0.001f);
}

TEST_F(ErosionTest, AQuietPathGoesOutSixtyFourTicsAfterItsLastPoint) {
    g_sent.clear();
    terrain_edit_set_sender(capture);
    erosion_sampler s;
    int tic = 0;
    for (float x : {2.0f, 2.5f, 3.0f, 3.5f, 4.0f})
        erosion_sample(s, rolling_wheel(x, 10, 200), false, tic++);
    const int last_point = tic - 1; // the sample at 4.0 made the point of 3 and 3.5
    // Standing still in contact with a push below erode_lower: no samples, and the path waits.
    erosion_contact still = rolling_wheel(4.0f, 10, 30);
    still.velocity[0] = 0;
    while (tic <= last_point + 64) {
        erosion_sample(s, still, false, tic++);
        ASSERT_TRUE(g_sent.empty()) << tic;
    }
    erosion_sample(s, still, false, tic++);
    ASSERT_EQ(g_sent.size(), 1u);
    erosion_point back[k_erosion_path_points];
    // The pending sample at 4.0 became the last point.
    ASSERT_EQ(terrain_edit_decode(g_sent[0].data(), static_cast<int>(g_sent[0].size()),
                                  ground().field.extent, back),
              3);
    EXPECT_NEAR(back[2].x, 4.0f, 0.01f);
    EXPECT_EQ(back[2].count, 1);
    EXPECT_EQ(s.point_count, 0);
    EXPECT_EQ(s.sample_count, 0);
}

TEST_F(ErosionTest, ASpinningWheelInPlaceMakesPointsOfFifteenSamples) {
    g_sent.clear();
    terrain_edit_set_sender(capture);
    erosion_sampler s;
    erosion_contact spinning = rolling_wheel(20, 20, 300);
    spinning.slip[0] = -40;
    for (int tic = 0; tic < 15 * 65 + 1; tic++) erosion_sample(s, spinning, false, tic);
    ASSERT_EQ(g_sent.size(), 1u);
    erosion_point back[k_erosion_path_points];
    ASSERT_EQ(terrain_edit_decode(g_sent[0].data(), 269, ground().field.extent, back), 64);
    for (int k = 0; k < 64; k++) EXPECT_EQ(back[k].count, 15) << k;
}

TEST_F(ErosionTest, SlowWheelsAndLightPushesMakeNoSamples) {
    erosion_sampler s;
    erosion_contact slow = rolling_wheel(20, 20, 1000);
    slow.velocity[0] = 10; // erode_off_speed: no push counts
    erosion_sample(s, slow, false, 1);
    EXPECT_EQ(s.sample_count, 0);
    erosion_contact light = rolling_wheel(20, 20, 50); // erode_lower exactly
    erosion_sample(s, light, false, 2);
    EXPECT_EQ(s.sample_count, 0);
    // The same push at full slip is half as strong again, and counts.
    light.slip[0] = 5;
    erosion_sample(s, light, false, 3);
    EXPECT_EQ(s.sample_count, 1);
    EXPECT_NEAR(s.sum[2], 0.125f + 0.875f * 0.25f, 1e-6f);
}

// ------------------------------------------------------------------------------------------
// The drain

// Whether sample (i, j) lies in the square a bump of radius r cells around (x, z) covers.
bool in_square(int i, int j, double x, double z, int r) {
    int i0 = static_cast<int>(std::floor(x)) - r + 1, j0 = static_cast<int>(std::floor(z)) - r + 1;
    return i >= i0 && i < i0 + 2 * r && j >= j0 && j < j0 + 2 * r;
}

TEST_F(ErosionTest, ADrainedPointDigsAroundItselfAndHeapsTwoFeetBehind) {
    // g = 262144 / 1024 / 2048 = 1/8. The record carries a push of 1 as 63/64 of the way from
    // -1 to 1 (0.96875), which moves the dirt (0.96875 - 0.125) * 8/7 of erode_displacement
    // (2 ft) back: the heap's centre is at x = 64 - 1.9285714.
    erosion_set_setting(262144);
    queue_point(64, 64, 1, 0, 2);
    erosion_drain(0, nullptr);
    EXPECT_EQ(erosion_queue_count(), 0);
    const double outer = 2 * 1.0 * 0.125 * 1.0; // count × a × g × erode_depth
    const double inner = 1.0 * 0.125 * 0.125;   // b × g × erode_inner_depth
    const double tx = 64 - (0.96875 - 0.125) * 8 / 7 * 2, tz = 64;
    // What the two bumps take out, and how the heap's weights add up.
    double removed = 0, spread = 0;
    for (int j = 56; j <= 72; j++)
        for (int i = 56; i <= 72; i++) {
            double d = std::hypot(i - 64.0, j - 64.0);
            if (in_square(i, j, 64, 64, 4)) removed += outer * weight(d, 4);
            if (in_square(i, j, 64, 64, 2)) removed += inner * weight(d, 2);
            if (in_square(i, j, tx, tz, 4)) spread += weight(std::hypot(i - tx, j - tz), 4);
        }
    const double heap = removed / spread;
    auto expected = [&](int i, int j) {
        double d = std::hypot(i - 64.0, j - 64.0), dt = std::hypot(i - tx, j - tz);
        return -(in_square(i, j, 64, 64, 4) ? outer * weight(d, 4) : 0) -
               (in_square(i, j, 64, 64, 2) ? inner * weight(d, 2) : 0) +
               (in_square(i, j, tx, tz, 4) ? heap * weight(dt, 4) : 0);
    };
    // Ahead of the point only the outer bump reaches: 2 cells out, weight 1/2.
    EXPECT_NEAR(height(66, 64), -outer * 0.5 + heap * weight(66 - tx, 4), 1e-5);
    EXPECT_NEAR(height(68, 64), 0, 1e-6);
    for (int i = 57; i <= 68; i++)
        for (int j : {60, 62, 63, 64, 65, 67})
            EXPECT_NEAR(height(i, j), expected(i, j), 1e-5) << i << ", " << j;
    // The point itself ends lower, the heap's centre higher.
    EXPECT_LT(height(64, 64), -0.1f);
    EXPECT_GT(height(62, 64), 0.1f);
    // All the dirt dug out is heaped up.
    EXPECT_NEAR(height_sum(), 0, 1e-5);
    EXPECT_NEAR(erosion_moved().removed, removed, 1e-4);
    EXPECT_NEAR(erosion_moved().heaped, removed, 1e-4);
}

TEST_F(ErosionTest, RutsStopAtTheDepthTable) {
    // Strong erosion (g = 1/16) on one spot whose dirt goes far away: each pass digs the rest of
    // the way less deep, and the spot never goes below the depth where the default table stops
    // digging (1 ft).
    const char tileinfo[] = "erode_displacement 20\nerode_max_slope 10\naddtile\n";
    surface_set& set = ground_own().surfaces;
    ASSERT_TRUE(surface_types_parse_tileinfo(&set, tileinfo, sizeof tileinfo - 1, nullptr));
    surface_set_tilemap(&set, 6, 1.0f, nullptr, 0);
    erosion_set_setting(131072);
    for (int k = 0; k < 400; k++) queue_point(64, 64, 1, 0, 15);
    float deepest = 0;
    for (int tic = 0; erosion_queue_count() > 0; tic++) {
        erosion_drain(tic, nullptr);
        deepest = std::max(deepest, -height(64, 64));
    }
    EXPECT_GT(deepest, 0.9f);
    EXPECT_LE(deepest, 1.0f + 1e-5f);
    // A spot already at the table's last depth takes no more.
    for (int j = 0; j < 129; j++)
        for (int i = 0; i < 129; i++) ground_set_height(i, j, -1.0f);
    queue_point(30, 30, 0, 0.05f, 15);
    erosion_drain(1000, nullptr);
    EXPECT_EQ(height(30, 30), -1.0f);
    EXPECT_EQ(height(32, 30), -1.0f);
    EXPECT_EQ(erosion_queue_count(), 0);
}

TEST_F(ErosionTest, ABumpAtAShallowSpotDoesNotDeepenItsDugNeighbours) {
    // The table scales a bump by the depth at its centre; its edge reaches samples already dug to
    // the table's last depth (1 ft), which stay there while the shallow centre is dug.
    const char tileinfo[] = "erode_displacement 20\nerode_max_slope 10\naddtile\n";
    surface_set& set = ground_own().surfaces;
    ASSERT_TRUE(surface_types_parse_tileinfo(&set, tileinfo, sizeof tileinfo - 1, nullptr));
    surface_set_tilemap(&set, 6, 1.0f, nullptr, 0);
    for (int j = 0; j < 129; j++)
        for (int i = 0; i < 129; i++) ground_set_height(i, j, -1.0f);
    ground_set_height(64, 64, 0);
    const double before = height_sum();
    erosion_set_setting(131072);
    queue_point(64, 64, 1, 0, 15);
    erosion_drain(0, nullptr);
    EXPECT_LT(height(64, 64), -0.5f) << "the shallow centre is dug";
    for (int j = 60; j <= 68; j++)
        for (int i = 60; i <= 68; i++) EXPECT_GE(height(i, j), -1.0f) << i << ", " << j;
    // What was taken is what was heaped, the floor's refusals included.
    EXPECT_NEAR(height_sum(), before, 1e-4);
    EXPECT_NEAR(erosion_moved().removed, erosion_moved().heaped, 1e-4);
}

TEST_F(ErosionTest, TheGroundLockRefusesWritesButNotTheDrain) {
    erosion_set_setting(262144);
    ground_set_locked(true);
    EXPECT_FALSE(ground_set_height(10, 10, 5.0f));
    EXPECT_EQ(height(10, 10), 0.0f);
    EXPECT_EQ(erosion_bump(10, 10, 4, -1), 0.0f);
    EXPECT_EQ(height(10, 10), 0.0f);
    queue_point(64, 64, 1, 0, 2);
    erosion_drain(0, nullptr);
    EXPECT_LT(height(64, 64), -0.1f);
    EXPECT_TRUE(ground().locked);
}

TEST_F(ErosionTest, WithErosionOffTheQueueIsNeverDrained) {
    queue_point(64, 64, 1, 0, 2);
    for (int setting : {-1, 0}) {
        erosion_set_setting(setting);
        erosion_drain(0, nullptr);
        EXPECT_EQ(erosion_queue_count(), 1);
        EXPECT_EQ(height(64, 64), 0.0f);
    }
}

TEST_F(ErosionTest, PointsNearTheRiderWaitAtMost256Tics) {
    erosion_set_setting(262144);
    queue_point(64, 64, 1, 0, 2);
    queue_point(100, 100, 1, 0, 2);
    const float rider[2] = {60, 64}; // 4 ft away
    erosion_drain(10, rider);
    EXPECT_EQ(erosion_queue_count(), 2); // the far point waits behind the near one
    erosion_drain(265, rider);
    EXPECT_EQ(erosion_queue_count(), 2);
    erosion_drain(266, rider);
    EXPECT_EQ(erosion_queue_count(), 0);
    EXPECT_LT(height(64, 64), 0.0f);
}

TEST_F(ErosionTest, AnEntryFacingAStepUpIsSkipped) {
    erosion_set_setting(262144);
    // The target 2 ft behind is 1.5 ft higher: more than erode_max_slope (0.5) times 2 ft.
    for (int j = 0; j < 129; j++)
        for (int i = 0; i <= 62; i++) ground_set_height(i, j, 1.5f);
    queue_point(64, 64, 1, 0, 2);
    erosion_drain(0, nullptr);
    EXPECT_EQ(erosion_queue_count(), 0);
    EXPECT_EQ(height(64, 64), 0.0f);
    EXPECT_EQ(height(66, 64), 0.0f);
}

// A track's ground with its composed textures: a rut the drain digs puts the textures over it
// out of date and its samples up for reshading, and leaves the rest of the ground alone.
struct ErosionTexturing : GroundTest {
    void SetUp() override {
        GroundTest::SetUp();
        erosion_reset();
    }
    void TearDown() override {
        erosion_reset();
        GroundTest::TearDown();
    }
};

TEST_F(ErosionTexturing, ADrainedRutMarksOnlyTheTexturesOverIt) {
    write_track(7, 1.0f, [](float, float) { return 5.0f; });
    ASSERT_TRUE(load_track_ground());
    for (int k = 0; k < 20; k++) frame(200, 10, 200);
    ASSERT_EQ(ground_block_stamp(0, 0), 0);
    ASSERT_FALSE(ground_reshade_pending(64, 64));
    erosion_set_setting(262144);
    // The rut around (64, 64) and its heap around (62, 64) lie in the first of the four blocks
    // (128 samples a side) and in the level-5 tile (1, 1) (samples 64 to 128).
    queue_point(64, 64, 1, 0, 2);
    erosion_drain(0, nullptr);
    ASSERT_LT(ground_height_at(64, 64), 5.0f);
    EXPECT_EQ(ground_block_stamp(0, 0), ground_frame());
    for (int b = 1; b < 4; b++) EXPECT_EQ(ground_block_stamp(b % 2, b / 2), 0) << b;
    int32_t stamp = 0;
    bool valid = false;
    ASSERT_TRUE(ground_tile_stamp(5, 1, 1, &stamp, &valid));
    EXPECT_EQ(stamp, ground_frame());
    ASSERT_TRUE(ground_tile_stamp(5, 3, 3, &stamp, &valid));
    EXPECT_EQ(stamp, 0);
    // The changed samples and their neighbours wait for new shading; far ground does not.
    EXPECT_TRUE(ground_reshade_pending(64, 64));
    EXPECT_TRUE(ground_reshade_pending(60, 64));
    EXPECT_FALSE(ground_reshade_pending(120, 120));
    // The frames that follow recompose the marked textures.
    for (int k = 0; k < 20; k++) frame(200, 10, 200);
    EXPECT_EQ(ground_block_stamp(0, 0), 0);
    EXPECT_EQ(ground_stats().texture_age, 0);
}

} // namespace
