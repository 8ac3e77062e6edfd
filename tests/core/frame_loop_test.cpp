// The frame loop over the null platform: frame steps, tics, input routing, pause and views.
#include "core/core_local.h"
#include "core/config.h"
#include "core/menu_local.h"
#include "core/view.h"
#include "core/program.h"
#include "frame_loop_fixture.h"

#include "bike/bike.h"
#include "common/common.h"
#include "platform/controls.h"
#include "platform/event_queue.h"
#include "race/race.h"
#include "track/track.h"
#include "track/track_view.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
constexpr double tic = k_tic_length;

int32_t key(const char* name) { return key_code_of(name); }

struct FrameLoop : ::testing::Test {
    void SetUp() override { frame_loop_fresh_start(); }
    void TearDown() override { track_set_current(nullptr); }

    static void ride() { ride_local_rider(); }

    // Lets real time run to t and draws one frame.
    void frame_at(double t) {
        null_platform_set_clock(t);
        ASSERT_TRUE(frame_once());
    }

    static void press(const char* name, double at) { event_queue_push({key(name), 1, at}); }
    static void release(const char* name, double at) { event_queue_push({key(name), 0, at}); }
};
} // namespace

TEST_F(FrameLoop, SlowFrameAdvancesOnlySixteenTics) {
    ride();
    frame_at(1.0);
    EXPECT_EQ(program().world_tics, 16);
    EXPECT_DOUBLE_EQ(program().time.sim_time, 0.125);
    EXPECT_DOUBLE_EQ(program().time.run_clock, 0.125);
    EXPECT_DOUBLE_EQ(program().time.last_frame_time, 1.0)
        << "simulated time falls behind real time";
    EXPECT_EQ(program().time.fps_histogram[7], 1u);
}

TEST_F(FrameLoop, ShortGapSleepsUntilOneTicHasPassed) {
    ride();
    frame_at(0.002);
    EXPECT_GE(null_platform_sleep_count(), 1);
    EXPECT_GE(program().time.last_frame_time, tic);
    // Whole tics run until simulated time has caught up with the frame step.
    EXPECT_EQ(program().world_tics,
              static_cast<int64_t>(std::ceil(program().time.target_time / tic)));
}

TEST_F(FrameLoop, LockFpsStepsExactlyOneThirtieth) {
    ride();
    program_edit().options.lock_fps = 30;
    frame_at(0.01);
    EXPECT_DOUBLE_EQ(program().time.target_time, 1.0 / 30);
    frame_at(5.0); // whatever the real gap
    EXPECT_DOUBLE_EQ(program().time.target_time, 2.0 / 30);
    EXPECT_EQ(program().world_tics, 9) << "tics run until 2/30 s is reached";
}

TEST_F(FrameLoop, WarpRunsHundredTicsWithoutSleeping) {
    ride();
    program_edit().options.warp = true;
    frame_at(0.0);
    frame_at(0.0);
    EXPECT_EQ(program().world_tics, 200);
    EXPECT_EQ(null_platform_sleep_count(), 0);
}

TEST_F(FrameLoop, WarpHasNoEffectWhenConnected) {
    run_options warp;
    warp.warp = true;
    frame_timing t;
    null_platform_set_clock(0.05);
    link_state link{true, 10, 9, 0}; // exactly in step with the server: factor 1
    EXPECT_DOUBLE_EQ(frame_step_wait(t, warp, link), 0.05);
}

TEST_F(FrameLoop, ConnectedScalingFollowsTheServer) {
    const double step = 0.02;
    // Far behind before the gate drops: up to four times real time.
    EXPECT_DOUBLE_EQ(frame_step_scale(step, {true, 1000, 0, 5000}), step * 4);
    // Far behind after the start: at most 1.125 times.
    EXPECT_DOUBLE_EQ(frame_step_scale(step, {true, 1000, 100, 0}), step * 1.125);
    // Far ahead of the server: half speed.
    EXPECT_DOUBLE_EQ(frame_step_scale(step, {true, 0, 1000, 0}), step * 0.5);
    // Half a second ahead: three quarters.
    EXPECT_DOUBLE_EQ(frame_step_scale(step, {true, 100, 100 + 63, 0}), step * 0.75);
    EXPECT_DOUBLE_EQ(frame_step_scale(step, {false, 1000, 0, 0}), step);
}

TEST_F(FrameLoop, HistogramBinsByPowersOfTwoTics) {
    uint32_t h[8] = {};
    fps_histogram_count(h, 0.5 * tic);
    fps_histogram_count(h, 1.0 * tic);
    fps_histogram_count(h, 3.0 * tic);
    fps_histogram_count(h, 63.0 * tic);
    fps_histogram_count(h, 64.0 * tic);
    EXPECT_EQ(h[0], 1u);
    EXPECT_EQ(h[1], 1u);
    EXPECT_EQ(h[2], 1u);
    EXPECT_EQ(h[6], 1u);
    EXPECT_EQ(h[7], 1u);
}

TEST_F(FrameLoop, KeyEventsApplyFromTheirOwnTic) {
    ride();
    program_state& p = program_edit();
    // A frame of four tics whose events were stamped during the frame's wait.
    p.time.frame_time = p.time.target_time = 4 * tic;
    press("x", 2.5 * tic);                          // throttle held from the third tic
    press("z", 0.2 * tic), release("z", 0.4 * tic); // clutch tapped within the first tic
    float throttle[4], clutch[4];
    for (int i = 0; i < 4; i++) {
        run_one_tic();
        throttle[i] = p.actions[action_throttle];
        clutch[i] = p.actions[action_clutch];
    }
    EXPECT_EQ(throttle[0], 0.0f);
    EXPECT_EQ(throttle[1], 0.0f);
    EXPECT_EQ(throttle[2], 1.0f);
    EXPECT_EQ(throttle[3], 1.0f) << "a held key contributes in every tic";
    for (float c : clutch) EXPECT_EQ(c, 0.0f) << "pressed and released within a tic counts nothing";
    EXPECT_FLOAT_EQ(rider_input_of(0).throttle, 1.0f);
}

TEST_F(FrameLoop, TwoBindingsOnOneChannelAddUp) {
    ride();
    program_state& p = program_edit();
    p.time.frame_time = p.time.target_time = 2 * tic;
    press("left", 0.1 * tic);
    press("right", 1.1 * tic);
    run_one_tic();
    EXPECT_EQ(p.actions[action_steer], 1.0f);
    // "Reversed Steering" is on by default: the bike gets the channel negated.
    EXPECT_FLOAT_EQ(rider_input_of(0).steer, setup_reverse_steering() ? -1.0f : 1.0f);
    run_one_tic();
    EXPECT_EQ(p.actions[action_steer], 0.0f);
    EXPECT_FLOAT_EQ(rider_input_of(0).steer, 0.0f);
}

TEST_F(FrameLoop, ClutchDropsAtOnceButEngagesAtFourPerSecond) {
    ride();
    program_state& p = program_edit();
    p.time.frame_time = p.time.target_time = 3 * tic;
    press("z", 0.1 * tic);
    release("z", 1.1 * tic);
    run_one_tic();
    EXPECT_FLOAT_EQ(rider_input_of(0).clutch, 0.0f);
    run_one_tic();
    EXPECT_FLOAT_EQ(rider_input_of(0).clutch, static_cast<float>(4 * tic));
    run_one_tic();
    EXPECT_FLOAT_EQ(rider_input_of(0).clutch, static_cast<float>(8 * tic));
}

TEST_F(FrameLoop, StepKeyRunsOneTicPerPressWhilePaused) {
    ride();
    press("pause", 0.001);
    frame_at(0.05);
    ASSERT_TRUE(program().paused);
    int64_t before = program().world_tics;
    press(".", 0.06);
    press(".", 0.07);
    frame_at(0.5);
    EXPECT_EQ(program().world_tics, before + 2);
    EXPECT_TRUE(program().paused);
}

TEST_F(FrameLoop, MenuWhileRidingOfflineStopsTheWorldNotTheClock) {
    ride();
    menus().page = menu_main;
    frame_at(0.5);
    EXPECT_DOUBLE_EQ(program().time.sim_time, 0.125);
    EXPECT_EQ(program().world_tics, 0);
}

TEST_F(FrameLoop, EscOpensAndClosesTheMainMenu) {
    ride();
    press("esc", 0.001);
    frame_at(0.02);
    EXPECT_EQ(menus().page, menu_main);
    press("esc", 0.021);
    frame_at(0.04);
    EXPECT_EQ(menus().page, menu_none);
}

TEST_F(FrameLoop, TabCyclesViewsOfAnotherRider) {
    track_set_current("practice");
    race_slot_set(3, rider_remote, 1);
    program_edit().viewed_slot = 3;
    program_edit().view = rider_camera;
    menus().page = menu_none;
    const view_mode expected[] = {orbit_camera, trackside_camera, rider_camera};
    double t = 0.01;
    for (view_mode v : expected) {
        event_queue_push({9, 1, t});
        t += 0.02;
        frame_at(t);
        EXPECT_EQ(program().view, v);
    }
}

TEST_F(FrameLoop, TabInTitleViewDoesNothing) {
    menus().page = menu_none;
    event_queue_push({9, 1, 0.001});
    frame_at(0.02);
    EXPECT_EQ(program().view, title_view);
}

TEST_F(FrameLoop, RidingLeavesTheTracksideCameraOnTheNextFrame) {
    ride();
    program_edit().view = trackside_camera;
    frame_at(0.02);
    EXPECT_EQ(program().view, rider_camera);
    config_edit().spy = 1;
    program_edit().view = trackside_camera;
    frame_at(0.04);
    EXPECT_EQ(program().view, trackside_camera) << "spy mode keeps the trackside view";
}

TEST_F(FrameLoop, CloseEndsTheLoopAtTheNextFrame) {
    ride();
    event_queue_push({k_control_close, 1, 0.001});
    frame_at(0.02);
    EXPECT_TRUE(program().quit_requested);
    EXPECT_FALSE(frame_once());
}

TEST_F(FrameLoop, ClosedWindowEndsTheLoop) {
    ride();
    null_platform_close_window();
    null_platform_set_clock(0.02);
    EXPECT_FALSE(frame_once());
}

TEST_F(FrameLoop, OrbitCameraControls) {
    track_set_current("practice");
    race_slot_set(3, race_slot(3).kind, 1);
    program_edit().viewed_slot = 3;
    program_edit().view = orbit_camera;
    menus().page = menu_none;
    press("x", 0.0001); // throttle pulls the camera in
    frame_at(0.125);
    EXPECT_NEAR(view_settings().orbit_distance, 10.0f - 16.0f / 64, 1e-5);
    press("left", 0.13);
    frame_at(0.25);
    EXPECT_NEAR(view_settings().orbit_yaw, 16 * 2 * k_pi / 1024, 1e-5);
}

#include "race/race_timing.h"
#include "track/track_gates.h"

namespace {
// A race on the loaded track (nothing to load), ridden by the local rider in slot 0.
void start_race(int laps, int time_limit_tics) {
    race_start_params params;
    params.laps = laps;
    params.time_limit_tics = time_limit_tics;
    ASSERT_TRUE(race_start(params));
    race_slot_set(0, rider_local, 0);
    timing_set_occupied(0, true);
    running_order_update();
}

const char* const k_three_gates =
    "checkpoints:\n10 [0 0 0] [1 0 0]\n10 [100 0 0] [1 0 0]\n10 [200 0 0] [1 0 0]\n"
    "firstlap: 0 1 2\nnormallap: 0 1 2\n";

// A warped run's race of `laps` on three gates, with lineup codes 7 first and 9 last.
void start_warped_race(int laps) {
    timing_gates_parse(k_three_gates);
    start_race(laps, 0);
    int lineup[k_lineup_size] = {};
    lineup[0] = 7;
    lineup[k_lineup_size - 1] = 9;
    race_lineup_set(lineup, k_lineup_size);
    program_edit().options.warp = true;
}

// The local rider in slot 0 rides one lap through the three gates from `from_tic` on.
void ride_lap(int from_tic) {
    for (int g = 0; g < 3; g++)
        ASSERT_TRUE(gate_crossing_check(0, g * 100.0f + 1, 0, from_tic + g));
}
} // namespace

TEST_F(FrameLoop, WarpStartsTheConfiguredRaceWithTheLineupRotated) {
    ride();
    // The configured race differs from the one running: the next race is the configured one.
    config_edit().laps = 2;
    config_edit().minutes = 3;
    config_edit().record = 1;
    start_warped_race(5);
    frame_at(0.0);
    EXPECT_EQ(race_lineup()[0], 7) << "nobody has finished the race";
    ride_lap(110);
    frame_at(0.0);
    EXPECT_EQ(race_lineup()[0], 7) << "one lap of two";
    EXPECT_GE(race_clock(), 200);
    ride_lap(210);
    frame_at(0.0);
    EXPECT_EQ(race_lineup()[1], 7);
    EXPECT_EQ(race_lineup()[0], 9) << "the last place moves to the first";
    EXPECT_LT(race_clock(), 100) << "the race clock started again";
    EXPECT_EQ(race_params().laps, 2) << "the configured laps";
    EXPECT_EQ(race_params().time_limit_tics, 3 * 60 * k_tics_per_second) << "and minutes";
    EXPECT_EQ(race_params().record_mode, 1) << "recorded as the setting asks";
    timing_gates_clear();
}

TEST_F(FrameLoop, WarpEndsALongerFirstRaceOnceItsLeaderHasRiddenTheConfiguredLaps) {
    ride();
    config_edit().laps = 1;
    config_edit().minutes = 0;
    start_warped_race(1000); // the race a run with a track starts with
    frame_at(0.0);
    EXPECT_EQ(race_lineup()[0], 7) << "nobody has ridden a lap";
    ride_lap(110);
    frame_at(0.0);
    EXPECT_EQ(race_lineup()[0], 9) << "the leader has ridden the configured lap";
    EXPECT_EQ(race_params().laps, 1);
    EXPECT_EQ(race_params().time_limit_tics, 0);
    EXPECT_EQ(race_laps(), 1);
    timing_gates_clear();
}

// A rider who never gets round must not hold a warped run on one race for ever: the next race
// starts once the leader has ridden the race's laps.
TEST_F(FrameLoop, WarpStartsTheNextRaceOnceTheLeaderHasRiddenTheLapsWhateverTheRest) {
    ride();
    config_edit().laps = 1;
    config_edit().minutes = 0;
    start_warped_race(1);
    race_slot_set(1, rider_robot, -1);
    timing_set_occupied(1, true);
    running_order_update();
    frame_at(0.0);
    ASSERT_EQ(race_lineup()[0], 7);
    ride_lap(110);
    frame_at(0.0);
    EXPECT_EQ(race_lineup()[0], 9) << "the next race started";
    EXPECT_LT(race_clock(), 100);
    timing_set_occupied(1, false);
    timing_gates_clear();
}

TEST_F(FrameLoop, WarpLetsATimedRaceRunUntilItsTimeIsUp) {
    ride();
    config_edit().laps = 0; // minutes and no extra laps
    config_edit().minutes = 1;
    timing_gates_parse(k_three_gates);
    start_race(0, 60 * 128);
    int lineup[k_lineup_size] = {};
    lineup[0] = 7;
    lineup[k_lineup_size - 1] = 9;
    race_lineup_set(lineup, k_lineup_size);
    program_edit().options.warp = true;
    for (int g = 0; g < 3; g++) ASSERT_TRUE(gate_crossing_check(0, g * 100.0f + 1, 0, 10 + g));
    for (int f = 0; f < 5; f++) frame_at(0.0);
    EXPECT_EQ(race_clock(), 500) << "the race goes on: its laps are not decided yet";
    EXPECT_EQ(race_lineup()[0], 7);
    timing_gates_clear();
}

TEST_F(FrameLoop, PreviousAndNextBikeKeysWalkTheRunningOrder) {
    track_set_current("practice");
    timing_gates_parse(k_three_gates);
    timing_reset(0, 3);
    // Running order: slot 5 (two gates), slot 2 (one), slot 0 (none).
    for (int slot : {0, 2, 5}) {
        race_slot_set(slot, race_slot(slot).kind, slot);
        timing_set_occupied(slot, true);
    }
    race_slot_set(0, rider_local, race_slot(0).bike);
    for (int g = 0; g < 2; g++) ASSERT_TRUE(gate_crossing_check(5, g * 100.0f + 1, 0, 10 + g));
    ASSERT_TRUE(gate_crossing_check(2, 1, 0, 20));
    ASSERT_EQ(running_order_at(0).slot, 5);
    menus().page = menu_none;
    program_edit().viewed_slot = 2; // watching a robot: not riding
    double t = 0.001;
    auto key_frame = [&](const char* name) {
        press(name, t);
        release(name, t + 0.001);
        t += 0.02;
        frame_at(t);
    };
    key_frame("[");
    EXPECT_EQ(program().viewed_slot, 5) << "the rider ahead";
    key_frame("[");
    EXPECT_EQ(program().viewed_slot, 5) << "the leader is the first";
    key_frame("]");
    key_frame("]");
    EXPECT_EQ(program().viewed_slot, 0);
    key_frame("]");
    EXPECT_EQ(program().viewed_slot, 0) << "the last stays the last";
    ASSERT_TRUE(program().riding) << "back on the local rider's bike";
    key_frame("[");
    EXPECT_EQ(program().viewed_slot, 0) << "a racing rider does not look away";
    program_edit().in_warmup = true;
    key_frame("[");
    EXPECT_EQ(program().viewed_slot, 2) << "in warm-up";
    program_edit().in_warmup = false;
    program_edit().viewed_slot = 0;
    config_edit().spy = 1;
    key_frame("[");
    EXPECT_EQ(program().viewed_slot, 2) << "with spy mode";
    timing_gates_clear();
}

TEST_F(FrameLoop, DigitKeysChooseOnlyCamerasTheTrackHas) {
    ride();
    program_edit().view = trackside_camera;
    config_edit().spy = 1;
    cameras_clear();
    double t = 0.001;
    // Digits arrive as the characters they type.
    for (char digit : {'3', '9', '1', '0'}) {
        view_choose_trackside(4);
        event_queue_push({digit, 1, t});
        t += 0.02;
        frame_at(t);
        EXPECT_EQ(view_settings().trackside_choice, -1) << digit << ": no camera, so automatic";
    }
    cameras_parse("addcamera 10 5 10\naddcamera 20 5 20\n");
    ASSERT_EQ(track_camera_count(), 2);
    const struct {
        char digit;
        int chosen;
    } cases[] = {{'3', 1}, {'9', 1}, {'1', 0}, {'2', 1}, {'0', -1}};
    for (auto c : cases) {
        view_choose_trackside(4);
        event_queue_push({c.digit, 1, t});
        t += 0.02;
        frame_at(t);
        EXPECT_EQ(view_settings().trackside_choice, c.chosen) << c.digit;
    }
    cameras_clear();
}
