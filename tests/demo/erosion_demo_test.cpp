// Ruts in demos: a race recorded with erosion on carries its setting and the paths its wheels
// dug, and playing it back digs the same ground.
#include "demo_world.h"

#include "terrain/erosion.h"

#include <vector>

namespace {
// Works off the whole queue, away from any rider, and returns the ground's heights.
std::vector<float> settled_heights() {
    for (int tic = 0; erosion_queue_count() > 0; tic++) erosion_drain(tic, nullptr);
    const height_field& f = ground().field;
    return std::vector<float>(f.heights, f.heights + static_cast<size_t>(f.samples_per_side) *
                                                         f.samples_per_side);
}

struct erosion_demo : demo_world {
    void TearDown() override {
        erosion_reset();
        demo_world::TearDown();
    }
};

TEST_F(erosion_demo, ARaceRecordedWithErosionPlaysBackToTheSameGround) {
    // "--erode 20": the practice track's packed dirt marks quickly enough to see.
    erosion_set_setting(20 * 1024);
    recorded_race rec;
    ride_and_record(rec, 12);
    const std::vector<float> raced = settled_heights();
    const height_field& f = ground().field;
    float deepest = 0;
    for (size_t k = 0; k < raced.size(); k++)
        deepest = std::max(deepest, f.loaded_heights[k] - raced[k]);
    EXPECT_GT(deepest, 0.01f) << "the riders dug into the ground";

    read_back blocks;
    write(default_demo(), rec.demo);
    ASSERT_TRUE(read_whole(default_demo(), &blocks));
    ASSERT_EQ(blocks.erosion.size(), 1u);
    EXPECT_EQ(blocks.erosion[0], 20 * 1024);
    EXPECT_GT(blocks.edits, 0);

    // Fresh ground and the player's own "--erode 3": the demo brings its setting and its edits.
    track_unload();
    track_set_current(nullptr);
    erosion_reset();
    erosion_set_setting(3 * 1024);
    ASSERT_TRUE(demo_play_race(k_demo_default_file, {}));
    EXPECT_EQ(erosion_setting(), 20 * 1024) << "the setting comes with the demo's first blocks";
    for (int k = 0; k < static_cast<int>(raced.size()); k++)
        ASSERT_EQ(ground().field.heights[k], ground().field.loaded_heights[k]);
    while (race_clock() < rec.end_tic + 64) race_world_tic();
    const std::vector<float> played = settled_heights();
    ASSERT_EQ(played.size(), raced.size());
    size_t differing = 0;
    for (size_t k = 0; k < raced.size(); k++) differing += played[k] != raced[k];
    EXPECT_EQ(differing, 0u);

    // The next race is the player's again: the demo's setting goes with it.
    ASSERT_TRUE(start_recorded({lineup_robot}, 1, false));
    EXPECT_EQ(erosion_setting(), 3 * 1024) << "the player's own setting is back after the playback";
}
} // namespace
