// A bike lying over at a standstill is turned towards the racing line, carried when the line lies
// behind it or well off to the side.
#include "ride_world.h"

#include <cmath>

namespace {
vec3d g_target;
bool target_at(int, vec3d* out) {
    *out = g_target;
    return true;
}

class realign_world : public ride_world {
  protected:
    void TearDown() override {
        rider_set_realign_target(nullptr);
        ride_world::TearDown();
    }
    // The default bike standing at (60, 480) facing -z, leaned 40 degrees over to its side.
    void lie_over() {
        world_destroy();
        world_create();
        bike = bike_create("yz250f(2017)", 0, "1", "", "", "", "");
        bike_place(bike, {0, 0, 1}, 0.7);
        bike_translate(bike, {60, contact_ground_height(60, 480) + 0.05, 480});
        clock = bike_tic{};
        bike_prepare(bike, clock);
    }
    // The frame's heading error to the target, positive when the target lies to the right.
    double heading_error() {
        vec3d forward = body_axis(body(body_frame), 2) * -1.0;
        vec3d o = g_target - position(body_frame);
        return -std::atan2(forward.z * o.x - forward.x * o.z, forward.x * o.x + forward.z * o.z);
    }
    rider_input sitting() {
        rider_input in;
        in.sit = 1;
        in.clutch = 0;
        return in;
    }
};

TEST_F(realign_world, ALineOffToTheSideTurnsTheBikeAndCarriesIt) {
    lie_over();
    ASSERT_NEAR(std::fabs(bike_lean_angle(bike)), 0.7, 0.1);
    g_target = position(body_frame) + vec3d{60, 0, -100};
    rider_set_realign_target(target_at);
    double before = heading_error();
    ASSERT_GT(before, 0.4);
    tic(sitting());
    tic(sitting());
    // Turning clockwise seen from above, towards the line on the right.
    EXPECT_LT(dBodyGetAngularVel(body(body_frame))[1], -0.5);
    for (int t = 0; t < 30; t++) tic(sitting());
    EXPECT_LT(heading_error(), before - 0.3);
    EXPECT_EQ(crash_count(bike), 0);
}

TEST_F(realign_world, ALineBehindTurnsTheBikeTheShorterWay) {
    lie_over();
    // Behind and a little to the left: the bike turns left (anticlockwise) towards it.
    g_target = position(body_frame) + vec3d{-20, 0, 100};
    rider_set_realign_target(target_at);
    tic(sitting());
    tic(sitting());
    EXPECT_GT(dBodyGetAngularVel(body(body_frame))[1], 0.5);
}

TEST_F(realign_world, NoLineOrTheLineStraightAheadLeavesTheHeadingAlone) {
    for (bool line : {false, true}) {
        lie_over();
        g_target = position(body_frame) + vec3d{0, 0, -100};
        rider_set_realign_target(line ? target_at : nullptr);
        for (int t = 0; t < 8; t++) tic(sitting());
        EXPECT_LT(std::fabs(dBodyGetAngularVel(body(body_frame))[1]), 0.2) << line;
    }
}

TEST_F(realign_world, BackingUpOrAssistOffSkipsRealignment) {
    lie_over();
    g_target = position(body_frame) + vec3d{60, 0, -100};
    rider_set_realign_target(target_at);
    rider_input in = sitting();
    in.back_up = 1;
    for (int t = 0; t < 4; t++) tic(in);
    double backing = dBodyGetAngularVel(body(body_frame))[1];
    lie_over();
    bike_params p = state().params;
    p.auto_align = false;
    bike_set_params(bike, p);
    for (int t = 0; t < 4; t++) tic(sitting());
    EXPECT_GT(backing, -0.5);
    EXPECT_GT(dBodyGetAngularVel(body(body_frame))[1], -0.5);
}
} // namespace
