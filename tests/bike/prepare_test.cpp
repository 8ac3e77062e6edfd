// The work of bike_prepare: bookkeeping, frozen bikes, the joint-force balance, automatic shifting.
#include "bike/sim/bike_drivetrain.h"
#include "bike_test_world.h"

namespace {
TEST_F(bike_world_test, ContactTimerCountsDownToZero) {
    state().ride.contact_timer = 2.5f;
    bike_prepare(bike, now);
    EXPECT_FLOAT_EQ(state().ride.contact_timer, 1.5f);
    bike_prepare(bike, now);
    EXPECT_FLOAT_EQ(state().ride.contact_timer, 0.5f);
    bike_prepare(bike, now);
    EXPECT_EQ(state().ride.contact_timer, 0);
    bike_prepare(bike, now);
    EXPECT_EQ(state().ride.contact_timer, 0);
}

TEST_F(bike_world_test, AirborneAndLandedTics) {
    now.tic = 100;
    dBodySetLinearVel(body(body_frame), 0, -3, 0);
    bike_prepare(bike, now);
    EXPECT_EQ(state().ride.airborne_start_tic, 100);
    // Still in the air a tic later: the start stays.
    now.tic = 101;
    bike_prepare(bike, now);
    EXPECT_EQ(state().ride.airborne_start_tic, 100);
    now.tic = 190;
    state().ride.rear_contact.depth = 0.01f;
    bike_prepare(bike, now);
    EXPECT_EQ(state().ride.landed_tic, 190);
    now.tic = 191;
    bike_prepare(bike, now);
    EXPECT_EQ(state().ride.landed_tic, 190);
    // Moving up off the ground does not count as taking off.
    state().ride.rear_contact.depth = 0;
    dBodySetLinearVel(body(body_frame), 0, 3, 0);
    now.tic = 200;
    bike_prepare(bike, now);
    EXPECT_EQ(state().ride.airborne_start_tic, 100);
}

TEST_F(bike_world_test, PrepareKeepsInputsAndRecordsRiderVelocity) {
    state().ride.input.front_brake = 0.25f;
    state().ride.input.rear_brake = 0.75f;
    state().ride.input.sit = 1;
    dBodySetLinearVel(body(body_rider), 1, 2, 3);
    now.tic = 7;
    bike_prepare(bike, now);
    EXPECT_EQ(state().ride.input.front_brake, 0.25f);
    EXPECT_EQ(state().ride.input.rear_brake, 0.75f);
    EXPECT_EQ(state().ride.input.sit, 1);
    EXPECT_EQ(state().ride.rider_velocity_history[3].x, 1);
    EXPECT_EQ(state().ride.rider_velocity_history[3].z, 3);
}

TEST_F(bike_world_test, FrozenBikeGetsNoForces) {
    state().ride.activity = 0.25f;
    state().ride.input.throttle = 1;
    bike_prepare(bike, now);
    EXPECT_EQ(state().ride.engine_speed, 0);
    state().ride.activity = 0.26f;
    bike_prepare(bike, now);
    EXPECT_GT(state().ride.engine_speed, 0);
}

TEST_F(bike_world_test, JointForceBalanceCancelsWhatTheJointsDid) {
    bike_state& s = state();
    dJointFeedback& f = s.ride.joint_feedback[joint_front_axle];
    f.f1[0] = 1, f.f1[1] = 2, f.f1[2] = 3;
    f.t1[2] = 1;
    f.f2[1] = -1;
    dJointFeedback& g = s.ride.joint_feedback[joint_swingarm_pivot];
    g.f1[1] = 10;
    g.t2[0] = 2;
    joint_force_balance(s);
    const dReal* force = dBodyGetForce(body(body_frame));
    EXPECT_DOUBLE_EQ(force[0], -1);
    EXPECT_DOUBLE_EQ(force[1], -11);
    EXPECT_DOUBLE_EQ(force[2], -3);
    // Moments about the frame's centre: front axle joint (lower fork, front wheel), swingarm
    // pivot (swingarm, frame).
    vec3 fr = info().frame_position, lower = info().fork_lower_position,
         wheel = info().front_wheel_position, arm = info().swingarm_position;
    auto moment = [&](vec3 at, double fx, double fy, double fz) {
        double rx = at.x - fr.x, ry = at.y - fr.y, rz = at.z - fr.z;
        return vec3d{ry * fz - rz * fy, rz * fx - rx * fz, rx * fy - ry * fx};
    };
    vec3d m1 = moment(lower, 1, 2, 3), m2 = moment(wheel, 0, -1, 0), m3 = moment(arm, 0, 10, 0);
    const dReal* torque = dBodyGetTorque(body(body_frame));
    EXPECT_NEAR(torque[0], -(2 + m1.x + m2.x + m3.x), 1e-5);
    EXPECT_NEAR(torque[1], -(m1.y + m2.y + m3.y), 1e-5);
    EXPECT_NEAR(torque[2], -(1 + m1.z + m2.z + m3.z), 1e-5);
}

TEST_F(bike_world_test, BalanceWaitsForTheClockAndTheRider) {
    state().ride.joint_feedback[joint_fork].f1[1] = 5;
    now.tic = 1;
    bike_prepare(bike, now);
    EXPECT_EQ(dBodyGetForce(body(body_frame))[1], 0);
    now.tic = 2;
    state().ride.knockout_tics = 10;
    bike_prepare(bike, now);
    EXPECT_EQ(dBodyGetForce(body(body_frame))[1], 0);
    state().ride.knockout_tics = 0;
    bike_prepare(bike, now);
    EXPECT_EQ(dBodyGetForce(body(body_frame))[1], -5);
}

// Squats the swingarm a little and spins the rear wheel forward at `rpm` of engine in the gear.
void spin_rear(bike_state& b, double rpm) {
    dJointID pivot = b.joints[joint_swingarm_pivot];
    for (int t = 0; t < 8 && dJointGetHingeAngle(pivot) > -0.05; t++) {
        dBodyAddTorque(b.bodies[body_swingarm], -100, 0, 0);
        world_step();
    }
    for (dBodyID body : b.bodies) dBodySetAngularVel(body, 0, 0, 0);
    double rate = rpm / k_rpm_per_radian_per_second / overall_ratio(b);
    dBodySetAngularVel(b.bodies[body_rear_wheel], -rate, 0, 0);
}

TEST_F(bike_world_test, AutomaticShiftingEveryThirtyTwoTics) {
    hang();
    bike_state& s = state();
    s.params.auto_shift = true;
    set_gear(bike, 2);
    spin_rear(s, info().auto_downshift_rpm - 200);
    ASSERT_LT(dJointGetHingeAngle(s.joints[joint_swingarm_pivot]), -0.01);
    now.tic = 33;
    drivetrain_apply(s, now.tic);
    EXPECT_EQ(bike_gear(bike), 2);
    now.tic = 64;
    drivetrain_apply(s, now.tic);
    EXPECT_EQ(bike_gear(bike), 1);

    spin_rear(s, info().auto_upshift_rpm + 200);
    now.tic = 96;
    drivetrain_apply(s, now.tic);
    EXPECT_EQ(bike_gear(bike), 2);
    // A wheel spinning on the ground says nothing about road speed.
    spin_rear(s, info().auto_upshift_rpm + 200);
    s.ride.rear_contact.depth = 0.02f;
    s.ride.rear_contact.velocity = {0, 0, 5};
    now.tic = 128;
    drivetrain_apply(s, now.tic);
    EXPECT_EQ(bike_gear(bike), 2);
    // Without the setting nothing shifts.
    s.ride.rear_contact.depth = 0;
    s.params.auto_shift = false;
    drivetrain_apply(s, now.tic);
    EXPECT_EQ(bike_gear(bike), 2);
}
} // namespace
