// The rider's rules on a hung bike: steering torque, crash thresholds, knock-out, inputs.
#include "bike/rider/bike_rider.h"
#include "bike_test_world.h"

namespace {
class rider_test : public bike_world_test {
  protected:
    // The rider moving at v (ft/s) for the last four tics, the frame held still.
    void rider_moving(vec3d v) {
        dBodySetLinearVel(body(body_rider), v.x, v.y, v.z);
        for (vec3d& h : state().ride.rider_velocity_history) h = v;
    }
    vec3d steering_axis() {
        const bike_info& i = info();
        vec3d s = vec_of(i.steering_head_position) - vec_of(i.fork_lower_position);
        return s * (1 / length(s));
    }
};

TEST_F(rider_test, DirectSteeringIsAPureTorqueOnTheBars) {
    hang();
    state().params.direct_steering = 1;
    state().params.steering_strength = 75;
    state().ride.input.steer = 1;
    steering_apply(state());
    // 75 * 1 * 1.5 about the steering axis, the frame taking the opposite.
    double on_wheel = dot(vec_of(dBodyGetTorque(body(body_front_wheel))), steering_axis());
    EXPECT_NEAR(on_wheel, 112.5, 1e-6);
    EXPECT_NEAR(dot(vec_of(dBodyGetTorque(body(body_frame))), steering_axis()), -112.5, 1e-6);
}

TEST_F(rider_test, SteeringTorqueIsLimited) {
    hang();
    state().params.direct_steering = 1;
    state().params.steering_strength = 100;
    state().params.max_steering_force = 60;
    state().ride.input.steer = -1;
    steering_apply(state());
    EXPECT_NEAR(dot(vec_of(dBodyGetTorque(body(body_front_wheel))), steering_axis()), -60, 1e-6);
}

TEST_F(rider_test, HardRiderMotionCrashes) {
    hang();
    now.tic = 2000;
    // 40 ft/s against the frame is under the 46.5 ft/s of an ordinary tic.
    rider_moving({0, 0, 40});
    crash_detect(state(), now);
    EXPECT_EQ(state().ride.crash_count, 0);
    rider_moving({0, 0, 47});
    crash_detect(state(), now);
    EXPECT_EQ(state().ride.crash_count, 1);
    EXPECT_TRUE(knocked_off(bike));
    EXPECT_EQ(dJointGetBody(state().joints[joint_rider_mount], 0), nullptr);
    EXPECT_EQ(state().ride.knockout_tics, 512);
}

TEST_F(rider_test, LongJumpLandingLowersTheThresholds) {
    hang();
    // A 0.7 s jump, touched down 8 tics ago: the thresholds fall to 31 ft/s and 1376 ft/s^2.
    state().ride.airborne_start_tic = 1000;
    state().ride.landed_tic = 1090;
    rider_moving({0, 0, 32});
    crash_detect(state(), bike_tic{1098});
    EXPECT_EQ(state().ride.crash_count, 1);

    bike_reset(bike);
    hang();
    // The same speed after a short hop is no crash.
    state().ride.airborne_start_tic = 1000;
    state().ride.landed_tic = 1010;
    rider_moving({0, 0, 32});
    crash_detect(state(), bike_tic{1018});
    EXPECT_EQ(state().ride.crash_count, 0);
}

TEST_F(rider_test, SuddenStopOfTheRiderCrashes) {
    hang();
    now.tic = 600;
    // From 10 ft/s down to rest in four tics: 320 ft/s^2 plus gravity, no crash.
    for (vec3d& h : state().ride.rider_velocity_history) h = {0, -10, 0};
    dBodySetLinearVel(body(body_rider), 0, 0, 0);
    crash_detect(state(), now);
    EXPECT_EQ(state().ride.crash_count, 0);
    // From 70 ft/s: 2240 ft/s^2, beyond 43 g times 1.5.
    for (vec3d& h : state().ride.rider_velocity_history) h = {0, 0, 70};
    dBodySetLinearVel(body(body_rider), 0, 0, 0);
    crash_detect(state(), now);
    EXPECT_EQ(state().ride.crash_count, 1);
}

TEST_F(rider_test, SecondCrashUsesTheSecondKnockoutEntry) {
    int table[k_knockout_table_size] = {100, 1000, 2000};
    const bike_tic online{0, 0, table};
    rider_crash(state(), online);
    EXPECT_EQ(state().ride.knockout_tics, 612);
    state().ride.knockout_tics = 0;
    rider_crash(state(), online);
    EXPECT_EQ(state().ride.knockout_tics, 1512);
    EXPECT_EQ(state().ride.crash_count, 2);
}

TEST_F(rider_test, SlidingRiderKeepsTheCountUntilSlow) {
    hang();
    rider_crash(state(), bike_tic{});
    state().ride.knockout_tics = 400;
    dBodySetLinearVel(body(body_rider), 3, 0, 0);
    knockout_update(state());
    EXPECT_EQ(state().ride.knockout_tics, 400);
    dBodySetLinearVel(body(body_rider), 1, 0, 0);
    knockout_update(state());
    EXPECT_EQ(state().ride.knockout_tics, 399);
}

TEST_F(rider_test, RiderIsPutBackWhenTheCountEnds) {
    hang();
    rider_crash(state(), bike_tic{});
    dBodySetPosition(body(body_rider), 5, 1, 5);
    dBodySetLinearVel(body(body_rider), 0, 0, 0);
    state().ride.knockout_tics = 1;
    knockout_update(state());
    EXPECT_FALSE(knocked_off(bike));
    EXPECT_EQ(dJointGetBody(state().joints[joint_rider_mount], 0), body(body_rider));
    vec3d place = vec_of(info().rider_position);
    EXPECT_NEAR(length(vec_of(dBodyGetPosition(body(body_rider))) - place), 0, 1e-9);
}

TEST_F(rider_test, KnockedOffRiderCannotOpenTheThrottle) {
    rider_input in;
    in.throttle = 1;
    in.lean = 1;
    in.steer = 3;
    in.clutch = 0.5f;
    rider_input_apply(bike, in);
    EXPECT_EQ(state().ride.input.throttle, 1);
    EXPECT_EQ(state().ride.input.steer, 1);
    rider_crash(state(), bike_tic{});
    rider_input_apply(bike, in);
    EXPECT_EQ(state().ride.input.throttle, 0);
    EXPECT_EQ(state().ride.input.lean, 0);
    EXPECT_EQ(state().ride.input.clutch, 0.5f);
}

TEST_F(rider_test, ShiftRequestShiftsOncePerPress) {
    rider_input in;
    in.shift = 1;
    rider_input_apply(bike, in);
    rider_input_apply(bike, in);
    EXPECT_EQ(state().ride.gear, 1);
    in.shift = 0;
    rider_input_apply(bike, in);
    in.shift = 1;
    rider_input_apply(bike, in);
    EXPECT_EQ(state().ride.gear, 2);
}

TEST_F(rider_test, FeetRestOnThePegsWhileRiding) {
    hang();
    foot_update(state());
    const bike_info& i = info();
    vec3d peg = {i.rider_skeleton[skeleton_left_foot_rest],
                 i.rider_skeleton[skeleton_left_foot_rest + 1],
                 i.rider_skeleton[skeleton_left_foot_rest + 2]};
    vec3d want = peg + vec_of(i.frame_position);
    EXPECT_NEAR(length(state().ride.left_foot.position - want), 0, 1e-9);
}

TEST_F(rider_test, DabLevelRisesWhileKnockedOffAndFallsAfter) {
    state().ride.knockout_tics = 600;
    dab_and_realign(state(), bike);
    EXPECT_FLOAT_EQ(state().ride.dab_level, 8.0f / 128);
    state().ride.knockout_tics = 0;
    foot_update(state());
    EXPECT_FLOAT_EQ(state().ride.dab_level, 4.0f / 128);
}
} // namespace
