// The frame record the frame loop hands the renderer and the engine sounds: recorded riders
// fading near the local rider, the rider's own bike seen through its eyes, the engines' volumes
// by what the player is doing, and the engines heard from the camera of every view.
#include "core/core_local.h"
#include "frame_loop_fixture.h"
#include "core/menu_local.h"

#include "core/frame_record.h"
#include "core/view.h"

#include "track/track_view.h"

#include <gtest/gtest.h>

#include <cmath>
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
    // How loud and where a slot's engine is heard from the frame's listener.
    static voice_spatial heard_from(const sound_frame& f, int slot) {
        const sound_source& s = f.sources[slot];
        return voice_spatial_of(s.engine.position, s.engine.velocity, f.listener, 1);
    }
    int local = -1, ghost = -1;
    static constexpr int ghost_slot = 1;
};

double distance(const vec3d& a, const vec3d& b) { return length(a - b); }

void place(track_camera& camera, const vec3d& at) {
    camera.position[0] = static_cast<float>(at.x);
    camera.position[1] = static_cast<float>(at.y);
    camera.position[2] = static_cast<float>(at.z);
}

vec3d eye_of(const scene_camera& c) { return {c.eye[0], c.eye[1], c.eye[2]}; }
vec3d right_of(const scene_camera& c) { return {c.rotation[0], c.rotation[3], c.rotation[6]}; }

void expect_at(const vec3d& got, const vec3d& want, const char* what) {
    EXPECT_NEAR(got.x, want.x, 1e-4) << what;
    EXPECT_NEAR(got.y, want.y, 1e-4) << what;
    EXPECT_NEAR(got.z, want.z, 1e-4) << what;
}

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

// A trackside camera beside the ghost, far from the followed local rider: the ghost is heard
// close and on the camera's right, the rider faint; moving the camera moves the ears with it.
TEST_F(FrameRecord, TheTracksideViewHearsFromItsCamera) {
    const track_camera kept = free_camera();
    ghost_at(300);
    program_edit().viewed_slot = 0;
    program_edit().view = trackside_camera;
    track_camera camera;
    camera.yaw = 0.4f;
    free_camera_set(camera);
    const vec3d right = right_of(trackside_camera_now(-1));
    const vec3d at = bike_frame_position(ghost);
    place(camera, at - right * 20);
    free_camera_set(camera);

    const sound_frame f = sound_frame_build();
    ASSERT_TRUE(f.has_listener);
    expect_at(f.listener.position, eye_of(trackside_camera_now(-1)), "the camera's eye");
    expect_at(f.listener.velocity, {}, "a trackside camera stands still");
    expect_at(f.listener.right, right, "the camera's right");
    const voice_spatial ghost_heard = heard_from(f, ghost_slot), rider_heard = heard_from(f, 0);
    EXPECT_GT(ghost_heard.volume, 3 * rider_heard.volume)
        << "the ghost is 20 ft away, the rider "
        << distance(f.listener.position, bike_frame_position(local));
    EXPECT_GT(ghost_heard.pan, 30000) << "the ghost stands on the camera's right";

    // The camera moved to the far side of the ghost: the ghost is heard on the left.
    place(camera, at + right * 20);
    free_camera_set(camera);
    const sound_frame moved = sound_frame_build();
    expect_at(moved.listener.position, eye_of(trackside_camera_now(-1)), "the moved camera");
    EXPECT_GT(distance(moved.listener.position, f.listener.position), 39);
    EXPECT_LT(heard_from(moved, ghost_slot).pan, -30000);
    free_camera_set(kept);
}

// The orbit camera is heard from where it hangs behind the bike and moves along with it; the
// rider's own view is heard from the rider's eyes on the head.
TEST_F(FrameRecord, TheOrbitAndRiderViewsHearFromTheirCameras) {
    ghost_at(300);
    // Falling for a few steps, with no ground under it, the bike has a velocity to go along with.
    bike_push(local, {400, 0, 0});
    for (int step = 0; step < 16; step++) world_step();
    ASSERT_GT(length(bike_frame_velocity(local)), 1);
    program_edit().viewed_slot = 0;
    program_edit().view = orbit_camera;
    const sound_frame orbit = sound_frame_build();
    ASSERT_TRUE(orbit.has_listener);
    const scene_camera behind = orbit_camera_now();
    expect_at(orbit.listener.position, eye_of(behind), "the orbit camera's eye");
    expect_at(orbit.listener.right, right_of(behind), "the orbit camera's right");
    expect_at(orbit.listener.velocity, bike_frame_velocity(local), "it follows the bike");
    const vec3d head = bike_body_position(local, body_rider);
    EXPECT_GT(distance(orbit.listener.position, head), 5) << "not the rider's head";

    program_edit().view = rider_camera;
    const sound_frame own = sound_frame_build();
    const scene_camera eyes = rider_camera_of(local, 0, static_cast<float>(config().fov));
    expect_at(own.listener.position, eye_of(eyes), "the rider's eyes");
    expect_at(own.listener.velocity, bike_body_velocity(local, body_rider), "moving with them");
    expect_at(own.listener.right, right_of(eyes), "right ear on the rider's right");
    EXPECT_LT(distance(own.listener.position, head), 2) << "the eyes are on the rider's head";
    // The orbit camera hangs back from the bike: its own engine is quieter there.
    EXPECT_LT(heard_from(orbit, 0).volume, heard_from(own, 0).volume);
}
} // namespace
