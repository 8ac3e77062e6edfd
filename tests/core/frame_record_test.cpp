// The frame record the frame loop hands the renderer and the engine sounds: recorded riders
// fading near the local rider, the rider's own bike seen through its eyes, and the engines'
// volumes by what the player is doing.
#include "core/core_local.h"
#include "frame_loop_fixture.h"
#include "core/menu_local.h"

#include "core/frame_record.h"
#include "core/view.h"

#include <gtest/gtest.h>

#include <utility>

namespace {
class FrameRecord : public ::testing::Test {
  protected:
    void SetUp() override {
        frame_loop_fresh_start();
        world_create();
        local = bike_create("yz250f(2017)", 0, "1", "", "", "", "");
        ghost = bike_create("cr125", 1, "7", "", "", "", "");
        race_slot_set(0, rider_local, local);
        race_slot_set(1, rider_remote, ghost);
        heard(ghost_slot, ghost);
    }
    // A state of the remote rider arrives, as the recording or the server sends them.
    static void heard(int slot, int bike) {
        ASSERT_TRUE(history_add(slot, compact_state_encode(bike), race_clock()));
    }
    void TearDown() override {
        race_clear_slots();
        world_destroy();
    }
    // The ghost put `away` ft along x from the local bike.
    void ghost_at(double away) {
        const vec3d home = bike_frame_position(local), at = bike_frame_position(ghost);
        bike_translate(ghost, {home.x + away - at.x, home.y - at.y, home.z - at.z});
    }
    static const render_bike* drawn(const render_frame& f, int bike) {
        for (int k = 0; k < f.bike_count; k++)
            if (f.bikes[k].bike == bike) return &f.bikes[k];
        return nullptr;
    }
    int local = -1, ghost = -1;
    static constexpr int ghost_slot = 1;
};

TEST(GhostOpacity, RecordedRidersFadeWithinTheFadeDistance) {
    EXPECT_EQ(ghost_opacity(5, 10), 0.0f) << "within half the distance: gone";
    EXPECT_NEAR(ghost_opacity(7.5f, 10), 0.5f, 1e-6f);
    EXPECT_EQ(ghost_opacity(12, 10), 1.0f);
    EXPECT_EQ(ghost_opacity(0.5f, 0), 1.0f) << "no fade distance, no fading";
}

TEST_F(FrameRecord, RecordedRidersFadeNearTheLocalRider) {
    for (auto [away, expected] :
         {std::pair{5.0, 0.0f}, std::pair{7.5, 0.5f}, std::pair{12.0, 1.0f}}) {
        ghost_at(away);
        const render_frame f = world_frame(scene_camera{});
        ASSERT_NE(drawn(f, ghost), nullptr);
        EXPECT_NEAR(drawn(f, ghost)->opacity, expected, 1e-3f) << away;
        EXPECT_EQ(drawn(f, local)->opacity, 1.0f);
    }
    config_edit().ghost_fade_distance = 0;
    EXPECT_EQ(drawn(world_frame(scene_camera{}), ghost)->opacity, 1.0f) << "no fading at 0";
}

TEST_F(FrameRecord, TheRidersOwnBikeIsDrawnAsItsRiderSeesIt) {
    const scene_camera eyes = rider_camera_of(local, 0, 90);
    render_frame f = world_frame(eyes);
    ASSERT_EQ(f.bike_count, 2);
    EXPECT_EQ(drawn(f, local)->mode, bike_first_person);
    EXPECT_EQ(drawn(f, ghost)->mode, bike_whole);
    config_edit().hide_rider = 1;
    EXPECT_EQ(drawn(world_frame(eyes), local)->mode, bike_without_rider);
    // From the orbit camera nobody's eyes are used.
    EXPECT_EQ(drawn(world_frame(orbit_camera_now()), local)->mode, bike_whole);
}

// A remote rider is drawn only while its states keep coming: one not heard for a second is gone
// from the picture, not frozen where it was last seen.
TEST_F(FrameRecord, ARemoteRiderNotHeardForASecondIsNotDrawn) {
    ASSERT_NE(drawn(world_frame(scene_camera{}), ghost), nullptr);
    race_set_clock(race_clock() + 2 * k_tics_per_second);
    EXPECT_EQ(drawn(world_frame(scene_camera{}), ghost), nullptr);
    EXPECT_NE(drawn(world_frame(scene_camera{}), local), nullptr);
    heard(ghost_slot, ghost);
    EXPECT_NE(drawn(world_frame(scene_camera{}), ghost), nullptr);
}

TEST_F(FrameRecord, EnginesAreMutedInTheEditorAndWhilePausedAndQuietBehindTheMenus) {
    ride_local_rider();
    race_slot_set(0, rider_local, local);
    program_edit().view = rider_camera;
    ASSERT_TRUE(program().riding);
    auto volume = [](int slot) { return sound_frame_build().sources[slot].volume; };
    EXPECT_NEAR(volume(0), 1.0f, 1e-6f) << "the viewed rider at full volume (10 of 10)";
    program_edit().paused = true;
    EXPECT_EQ(volume(0), 0.0f);
    program_edit().paused = false;
    menus().page = menu_main;
    EXPECT_EQ(volume(0), 0.0f) << "a riding player's menus silence the race";
    program_edit().riding = false;
    EXPECT_NEAR(volume(0), 0.25f, 1e-6f) << "a watching player hears it behind the menus";
    menus().page = menu_none;
    program_edit().view = editor_view;
    EXPECT_EQ(volume(0), 0.0f);
    const sound_frame f = sound_frame_build();
    EXPECT_EQ(f.sources[0].bike, local);
    EXPECT_EQ(f.sources[2].bike, -1) << "an empty slot names no bike";
    EXPECT_TRUE(f.has_listener) << "heard from the viewed rider";
}
} // namespace
