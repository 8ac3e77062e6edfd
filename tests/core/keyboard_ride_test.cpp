// The default keys ride the local bike on rabbithill: key presses pushed through SDL reach the
// bindings, the actions and the local rider's controls, and the bike pulls away, shifts, steers
// and brakes.
#include "core/core_local.h"
#include "core/config.h"
#include "core/menu_local.h"
#include "core/program.h"

#include "platform/controls.h"
#include "platform/event_queue.h"
#include "race/race_world.h"
#include "race/scripted_rider.h"
#include "track/track_view.h"
#include "core/view.h"
#include "core/hud_feed.h"
#include "ui/hud_layout.h"
#include "support/sdl_events.h"

#include <SDL.h>

namespace {
struct keyboard_ride : race_world {
    void SetUp() override {
        race_world::SetUp();
        platform_use(k_platform_sdl);
        program_reset();
        config_reset();
        bindings_reset();
        event_queue_clear();
        ASSERT_TRUE(platform().create_window("Trailbok", 320, 240, 24, 16));
        bindings_resolve();
    }
    void TearDown() override {
        bindings_close();
        platform().destroy_window();
        platform_use(k_platform_null);
        race_world::TearDown();
    }

    static void key(SDL_Scancode scancode, bool down) { sdl_push_key(scancode, down); }

    // Tics as the frame loop runs them, each taking every event that has arrived.
    static void tics(int n) {
        frame_timing& t = program_edit().time;
        for (int i = 0; i < n; i++) {
            t.target_time = t.sim_time + k_tic_length;
            t.frame_time = t.target_time;
            run_one_tic();
        }
    }

    static vec3d forward(int bike) {
        vec3d nose = bike_body_point(bike, body_frame, {0, 0, -1});
        vec3d centre = bike_body_point(bike, body_frame, {0, 0, 0});
        return {nose.x - centre.x, nose.y - centre.y, nose.z - centre.z};
    }
};
} // namespace

TEST_F(keyboard_ride, DefaultKeysPullAwayShiftSteerAndBrake) {
    ASSERT_TRUE(start("rabbithill", {lineup_local}));
    race_set_gate_drop_tic(64);
    program_edit().viewed_slot = 0;
    menus().page = menu_none;
    fix_view_mode();
    ASSERT_TRUE(program().riding);
    int bike = race_slot(0).bike;
    tics(80);
    vec3d start_at = bike_frame_position(bike);
    vec3d ahead = forward(bike);

    key(SDL_SCANCODE_X, true); // throttle
    tics(1);
    EXPECT_FLOAT_EQ(rider_input_of(0).throttle, 1.0f);
    tics(383);
    vec3d now = bike_frame_position(bike);
    double along = (now.x - start_at.x) * ahead.x + (now.z - start_at.z) * ahead.z;
    EXPECT_GT(along, 30.0) << "three seconds of throttle carry the bike forward off the grid";
    EXPECT_GT(bike_speed_mph(bike), 10.0f);

    int gear = bike_gear(bike);
    key(SDL_SCANCODE_UP, true); // upshift
    tics(2);
    key(SDL_SCANCODE_UP, false);
    tics(30);
    EXPECT_EQ(bike_gear(bike), gear + 1);

    vec3d before_turn = forward(bike);
    key(SDL_SCANCODE_LEFT, true);
    tics(64);
    key(SDL_SCANCODE_LEFT, false);
    vec3d after_turn = forward(bike);
    // Seen from above, a turn to the left takes the nose anticlockwise: x then z of the cross.
    double turn = before_turn.z * after_turn.x - before_turn.x * after_turn.z;
    EXPECT_GT(turn, 0.05) << "left steers left";

    key(SDL_SCANCODE_X, false);
    float rolling = bike_speed_mph(bike);
    key(SDL_SCANCODE_C, true); // front brake
    key(SDL_SCANCODE_V, true); // rear brake
    tics(256);
    EXPECT_LT(bike_speed_mph(bike), rolling * 0.5f);
    EXPECT_FLOAT_EQ(rider_input_of(0).front_brake, 1.0f);
}

// A warped run races under the menus with the cameras on the first slot; "--autopilot" still
// rides the local bike from its own place, and no control of an earlier race sticks to it.
TEST_F(keyboard_ride, TheAutopilotRidesTheLocalBikeUnderTheMenus) {
    program_edit().options.autopilot = true;
    rider_input stale;
    stale.throttle = 0.27f;
    stale.clutch = 0.3f;
    rider_input_set(2, stale);
    ASSERT_TRUE(start("rabbithill", {lineup_robot, lineup_robot, lineup_local}, 1));
    EXPECT_EQ(rider_input_of(2).throttle, 0.0f) << "a new race starts with the controls at rest";
    race_set_gate_drop_tic(64);
    program_edit().viewed_slot = 0;
    menus().page = menu_new_race;
    fix_view_mode();
    ASSERT_FALSE(program().riding);
    tics(64);
    const vec3d at_drop = bike_frame_position(race_slot(2).bike);
    tics(5 * k_tics_per_second);
    EXPECT_GT(distance(bike_frame_position(race_slot(2).bike), at_drop), 40.0)
        << "away from the gate in 5 s";
}

namespace {
// A person on a keyboard: digital keys only, and no key changes sooner than 13 tics (a tenth of a
// second) after its last change. What the rider wants is what the scripted gate follower would
// do with analogue controls; the keys only approximate it.
struct key_rider {
    struct key_state {
        SDL_Scancode code;
        bool down = false;
        int changed = -1000;
    };
    key_state left{SDL_SCANCODE_LEFT}, right{SDL_SCANCODE_RIGHT}, throttle{SDL_SCANCODE_X},
        front{SDL_SCANCODE_C}, rear{SDL_SCANCODE_V};
    gate_follower brain;
    int presses = 0;

    static constexpr int k_reaction_tics = 13;

    void want(key_state& k, bool down, int tic) {
        if (k.down == down || tic - k.changed < k_reaction_tics) return;
        k.down = down;
        k.changed = tic;
        presses++;
        sdl_push_key(k.code, down);
    }
    void tic(int bike, int tic) {
        const rider_input in = gate_follower_input(brain, bike);
        // The key whose steer goes the way the rider wants (Left steers left, however the
        // steering axis is wired).
        const float left_steer = setup_reverse_steering() ? -1.0f : 1.0f;
        const float wanted = in.steer * left_steer;
        want(left, wanted > 0.3f, tic);
        want(right, wanted < -0.3f, tic);
        want(throttle, in.throttle > 0.4f, tic);
        want(front, in.front_brake > 0.15f, tic);
        want(rear, in.rear_brake > 0.15f, tic);
    }
};
} // namespace

// A newcomer on the default keys and settings rides rabbithill's whole first lap, through every
// gate in order, without a fall that ends the ride.
TEST_F(keyboard_ride, AKeyboardRiderRidesALapOfRabbithill) {
    ASSERT_TRUE(start("rabbithill", {lineup_local}, 1));
    race_set_gate_drop_tic(64);
    program_edit().viewed_slot = 0;
    menus().page = menu_none;
    fix_view_mode();
    ASSERT_TRUE(program().riding);
    const int bike = race_slot(0).bike;
    ASSERT_TRUE(bike_params_of(bike).arcade) << "a newcomer rides with arcade physics";
    key_rider rider;
    gate_follower_reset(rider.brain, 0);
    rider.brain.turn_speed = 30;
    const int lap = first_lap_length();
    int crashes_at_start = crash_count(bike);
    int t = 0;
    for (; t < 300 * k_tics_per_second && timing_of(0).position < lap; t++) {
        const int due = timing_of(0).position;
        rider.brain.position = std::clamp(rider.brain.position, due, due + 1);
        rider.tic(bike, race_clock());
        tics(1);
    }
    EXPECT_GE(timing_of(0).position, lap)
        << "gates ridden " << timing_of(0).position << " of " << lap << " in " << t / 128 << " s";
    EXPECT_LE(crash_count(bike) - crashes_at_start, 1);
    EXPECT_GT(rider.presses, 50) << "the keys did the riding";
}

// Watching the race from the trackside, the picture cuts to the camera of the gate the viewed
// rider rides for, from the first look: no choice needs making first.
TEST_F(keyboard_ride, TheTracksideViewFollowsTheRiderRoundTheLap) {
    ASSERT_TRUE(start("rabbithill", {lineup_local}, 1));
    program_edit().viewed_slot = 0;
    const int first = camera_for_gate(gate_at_position(0));
    int position = 1;
    while (position < first_lap_length() && (camera_for_gate(gate_at_position(position)) < 0 ||
                                             camera_for_gate(gate_at_position(position)) == first))
        position++;
    ASSERT_LT(position, first_lap_length()) << "the track has cameras along the lap";
    for (int c = 0; c < position; c++) {
        const timing_gate& g = gate_at(gate_at_position(c));
        ASSERT_TRUE(gate_crossing_check(0, g.centre[0] + 0.5f * g.direction[0],
                                        g.centre[2] + 0.5f * g.direction[2], 100 + c));
    }
    const float still[k_action_channels] = {};
    trackside_camera_tic(still, false);
    EXPECT_EQ(view_settings().trackside_choice, camera_for_gate(gate_at_position(position)));
}

// A time trial has nobody to be ahead of: the board's second line is the lap clock, blank until
// the rider crosses the start line and then running.
TEST_F(keyboard_ride, TheTimeTrialBoardShowsTheLapClockRunning) {
    race_start_params p;
    p.track = "practice";
    p.time_trial = true;
    ASSERT_TRUE(race_start(p));
    program_edit().viewed_slot = 0;
    EXPECT_LT(hud_frame_now().board.lap_clock, 0) << "not yet on a lap";
    for (int c = timing_of(0).position; c < first_lap_length(); c++) {
        const timing_gate& g = gate_at(gate_at_position(c));
        ASSERT_TRUE(gate_crossing_check(0, g.centre[0] + 0.5f * g.direction[0],
                                        g.centre[2] + 0.5f * g.direction[2], race_clock()));
    }
    const int crossed = race_clock();
    race_set_clock(crossed + 2 * k_tics_per_second + 64);
    EXPECT_FLOAT_EQ(hud_frame_now().board.lap_clock, 2.5f);
    EXPECT_EQ(hud_lap_clock_text(2.5f), "Lap 0:02.5 ");
}
