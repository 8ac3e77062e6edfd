// Engine torque, clutch wind-up and slip, engine braking, shifting and antilock brakes.
#include "bike/sim/bike_drivetrain.h"
#include "bike_test_world.h"

#include "common/common.h"

namespace {
constexpr double k_rad_per_rpm = 2 * k_pi / 60;

TEST_F(bike_world_test, StandstillFullThrottleSpinsTheEngineAlone) {
    hang();
    EXPECT_FLOAT_EQ(engine_torque_at(info(), 0, 1), 5);
    EXPECT_FLOAT_EQ(engine_torque_at(info(), 0, 0), 2);
    state().ride.input.throttle = 1;
    state().ride.input.clutch = 1;
    // The automatic clutch (5000 rpm) is fully open at 0 rpm.
    clutch_result r = clutch_step(state(), 0, 0);
    EXPECT_EQ(r.engagement, 0);
    EXPECT_EQ(r.transmitted, 0);
    drivetrain_apply(state(), now.tic);
    EXPECT_NEAR(state().ride.engine_speed, k_tic_length * 5 / info().engine_inertia, 1e-4);
    const dReal* torque = dBodyGetTorque(body(body_rear_wheel));
    EXPECT_EQ(torque[0], 0);
}

TEST_F(bike_world_test, TorqueTableInterpolatesAndEndsAtTheLastEntry) {
    const float* open = info().open_throttle_torque;
    const float* closed = info().closed_throttle_torque;
    // 750 rpm lies halfway between the samples at 500 and 1000 rpm.
    float at750 = engine_torque_at(info(), static_cast<float>(750 * k_rad_per_rpm), 0.25f);
    float a = (closed[1] + closed[2]) / 2, b = (open[1] + open[2]) / 2;
    EXPECT_NEAR(at750, a + (b - a) * 0.25f, 1e-4);
    for (float rpm : {24500.0f, 26000.0f, 90000.0f}) {
        float t = engine_torque_at(info(), static_cast<float>(rpm * k_rad_per_rpm), 0.5f);
        EXPECT_NEAR(t, closed[49] + (open[49] - closed[49]) * 0.5f, 1e-4) << rpm;
    }
    // Below zero rpm the first entry holds.
    EXPECT_FLOAT_EQ(engine_torque_at(info(), -100, 1), open[0]);
}

TEST_F(bike_world_test, ShiftingStaysInsideAFiveSpeedBox) {
    ASSERT_LE(info().gear_ratios[5], 0); // the cr125 has five gears
    EXPECT_EQ(bike_gear(bike), 0);
    shift(bike, -1);
    EXPECT_EQ(bike_gear(bike), 0);
    shift(bike, 0);
    // A held request shifts once.
    for (int i = 0; i < 50; i++) shift(bike, 1);
    EXPECT_EQ(bike_gear(bike), 1);
    shift(bike, 0);
    shift(bike, 1);
    EXPECT_EQ(bike_gear(bike), 2);
    set_gear(bike, 4);
    shift(bike, 0);
    shift(bike, 1);
    EXPECT_EQ(bike_gear(bike), 4);
    set_gear(bike, 5);
    EXPECT_EQ(bike_gear(bike), 4);
    set_gear(bike, -3);
    EXPECT_EQ(bike_gear(bike), 0);
    // Out-of-range requests and a knocked-off rider change nothing.
    shift(bike, 0);
    shift(bike, 2);
    EXPECT_EQ(bike_gear(bike), 0);
    state().ride.knockout_tics = 100;
    shift(bike, 1);
    EXPECT_EQ(bike_gear(bike), 0);
}

TEST_F(bike_world_test, HalfClutchWindsUpAnEighthTurnAndPassesAQuarter) {
    bike_state& s = state();
    s.ride.input.clutch = 0.5f;
    s.ride.engine_speed =
        static_cast<float>(9000 * k_rad_per_rpm); // well above the automatic clutch
    s.ride.engine_angle = 1.0f;
    double wheel_rate =
        s.ride.engine_speed / overall_ratio(s) - 100; // damping term saturates at 500
    clutch_result r = clutch_step(s, 0, wheel_rate);
    double expected_t = info().driveline_stiffness * 1.0 + 500;
    EXPECT_FLOAT_EQ(r.engagement, 0.5f);
    EXPECT_NEAR(r.torque, expected_t, 1e-2);
    EXPECT_NEAR(r.transmitted, expected_t / 4, 1e-2);
    EXPECT_NEAR(r.engine_angle, k_pi / 8, 1e-6);
    // Wound the other way it slips back to -pi/8.
    s.ride.engine_angle = -1.0f;
    EXPECT_NEAR(clutch_step(s, 0, wheel_rate).engine_angle, -k_pi / 8, 1e-6);
    // Within the wind-up the angle stays.
    s.ride.engine_angle = 0.2f;
    EXPECT_FLOAT_EQ(clutch_step(s, 0, wheel_rate).engine_angle, 0.2f);
}

TEST_F(bike_world_test, AutomaticClutchClosesOverTwoThousandRpm) {
    bike_state& s = state();
    s.ride.input.clutch = 1;
    s.ride.engine_speed = static_cast<float>(6000 * k_rad_per_rpm);
    double wheel_rate = s.ride.engine_speed / overall_ratio(s);
    s.ride.engine_angle = 0.1f;
    clutch_result r = clutch_step(s, 0, wheel_rate);
    EXPECT_NEAR(r.engagement, 0.5, 1e-5);
    EXPECT_NEAR(r.transmitted, 0.25 * info().driveline_stiffness * 0.1, 1e-2);
}

TEST_F(bike_world_test, EngineBrakingPassesTheRidersClutchBelowTheAutomaticOne) {
    bike_state& s = state();
    s.ride.input.clutch = 0.8f;
    s.ride.engine_speed = static_cast<float>(1000 * k_rad_per_rpm);
    s.ride.engine_angle = -0.05f;
    double wheel_rate = s.ride.engine_speed / overall_ratio(s);
    clutch_result r = clutch_step(s, 0, wheel_rate);
    double t = info().driveline_stiffness * -0.05;
    EXPECT_LT(r.torque, 0);
    EXPECT_FLOAT_EQ(r.engagement, 0.8f);
    EXPECT_NEAR(r.transmitted, 0.64 * t, 1e-2);
}

TEST_F(bike_world_test, DrivelineTorqueTurnsWheelAndFrameOppositeWays) {
    bike_state& s = state();
    s.ride.input.clutch = 1;
    s.ride.engine_speed = static_cast<float>(9000 * k_rad_per_rpm);
    s.ride.engine_angle = 0.1f;
    clutch_result r = clutch_step(s, 0, 0);
    drivetrain_apply(s, now.tic);
    EXPECT_NEAR(dBodyGetTorque(body(body_rear_wheel))[0], -r.transmitted, 1e-6);
    EXPECT_NEAR(dBodyGetTorque(body(body_frame))[0], r.transmitted, 1e-6);
    double n = overall_ratio(s);
    double tau = engine_torque_at(info(), static_cast<float>(9000 * k_rad_per_rpm), 0);
    double omega =
        9000 * k_rad_per_rpm + k_tic_length * (tau - r.transmitted / n) / info().engine_inertia;
    EXPECT_NEAR(s.ride.engine_speed, omega, 1e-2);
}

TEST_F(bike_world_test, FrontAntilockReleasesASlidingWheel) {
    bike_state& s = state();
    s.ride.input.front_brake = 1;
    s.ride.input.rear_brake = 1;
    s.ride.front_contact.depth = 0.05f;
    s.ride.rear_contact.depth = 0.05f;
    s.ride.front_contact.velocity = {0, 0, -3};
    s.ride.rear_contact.velocity = {0, 0, -3};
    ASSERT_TRUE(s.params.front_antilock);
    ASSERT_FALSE(s.params.rear_antilock);
    float front = -1, rear = -1;
    brake_limits(s, &front, &rear);
    EXPECT_EQ(front, 0);
    EXPECT_EQ(rear, s.params.rear_brake_torque);
    drivetrain_apply(s, now.tic);
    EXPECT_EQ(dJointGetHingeParam(s.joints[joint_front_axle], dParamFMax), 0);
    EXPECT_EQ(dJointGetHingeParam(s.joints[joint_rear_axle], dParamFMax),
              s.params.rear_brake_torque);
    // Gripping (1 ft/s at the contact) the brake works.
    s.ride.front_contact.velocity = {0, 0, -1};
    brake_limits(s, &front, &rear);
    EXPECT_EQ(front, s.params.brake_torque);
    // The stoppie cut: front down, rear up.
    s.ride.rear_contact.depth = 0;
    brake_limits(s, &front, &rear);
    EXPECT_EQ(front, 0);
}

TEST_F(bike_world_test, WheelieCutStopsDriveOnTheBackWheel) {
    bike_state& s = state();
    s.params.wheelie_cut = true;
    s.ride.input.throttle = 1;
    s.ride.rear_contact.depth = 0.05f;
    EXPECT_EQ(engine_torque(bike), 0);
    // Nose clearly dropping: the engine drives again.
    dBodySetAngularVel(body(body_frame), -0.5, 0, 0);
    EXPECT_FLOAT_EQ(engine_torque(bike), 5);
}
} // namespace
