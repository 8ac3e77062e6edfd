// Fork and shock force laws, the linkage curve, the motors they drive and the graph telemetry.
#include "bike/sim/bike_suspension.h"
#include "bike_test_world.h"

#include <algorithm>

namespace {
// The setup with every adjuster in the middle.
bike_params middle_params(const bike_info& info) {
    setup_values v;
    setup_values_reset(v);
    for (setup_key_id id :
         {key_fork_compression, key_fork_slow_compression, key_fork_rebound, key_fork_slow_rebound,
          key_fork_spring_rate, key_fork_preload, key_fork_oil_level, key_shock_compression,
          key_shock_slow_compression, key_shock_rebound, key_shock_slow_rebound,
          key_shock_spring_rate, key_shock_preload})
        setup_set_slider(v, id, 50);
    bike_params p = bike_params_defaults(info);
    setup_apply_values(v, info, p);
    return p;
}

double air_spring(double travel, double gap, double compression) {
    return 82.4616928 * (std::pow((travel + gap) / (travel + gap - compression), 1.4) - 1);
}

TEST(suspension_damping, TwoStageBands) {
    // Compressing at 2 ft/s.
    EXPECT_FLOAT_EQ(two_stage_damping(-2, 60, 0, 30, 0), 120);
    EXPECT_FLOAT_EQ(two_stage_damping(-2, 60, 60, 30, 0), 180);
    EXPECT_FLOAT_EQ(two_stage_damping(-2, 60, -60, 30, 0), 60);
    // -30 would push the wrong way; the band keeps 1/8 of the linear 30.
    EXPECT_FLOAT_EQ(two_stage_damping(-0.5f, 60, -60, 30, 0), 3.75f);
    // A big low-speed force is capped at 8 times the linear force.
    EXPECT_FLOAT_EQ(two_stage_damping(-0.1f, 10, 100, 30, 0), 8.0f);
    // Extending: negative, with the same band.
    EXPECT_FLOAT_EQ(two_stage_damping(1, 60, 0, 30, 10), -40);
    EXPECT_FLOAT_EQ(two_stage_damping(1, 60, 0, 30, -29), -3.75f);
    EXPECT_FLOAT_EQ(two_stage_damping(0, 60, 60, 30, 30), 0);
}

TEST_F(bike_world_test, ForkAtFullExtensionPushesNothing) {
    state().params.fork_preload = 0.08f;
    EXPECT_EQ(fork_force(state(), 0, 0), 0);
    EXPECT_EQ(fork_force(state(), 0, -3), 0);
}

TEST_F(bike_world_test, MiddleSetupForkNumbers) {
    state().params = middle_params(info());
    const bike_params& p = state().params;
    EXPECT_NEAR(p.fork_spring_rate, 591.3, 0.05);
    EXPECT_NEAR(p.fork_preload, 0.0417, 0.0001);
    EXPECT_NEAR(p.fork_air_gap, 0.3333, 0.0001);
    double spring = (p.fork_preload + 0.25) * p.fork_spring_rate;
    double air = air_spring(info().fork_travel, p.fork_air_gap, 0.25);
    EXPECT_NEAR(spring, 172.5, 0.1);
    EXPECT_NEAR(air, 27.8, 0.05);
    EXPECT_NEAR(fork_force(state(), -0.25f, 0), spring + air, 0.01);
}

TEST_F(bike_world_test, ForkForceFadesNearTheTop) {
    state().params = middle_params(info());
    const bike_params& p = state().params;
    float travel = info().fork_travel;
    double n = travel / 64;
    double full = (p.fork_preload + n) * p.fork_spring_rate + air_spring(travel, p.fork_air_gap, n);
    EXPECT_NEAR(fork_force(state(), -travel / 64, 0), 0.5 * full, 1e-3);
}

TEST_F(bike_world_test, LinkageCurvePieces) {
    const bike_info& i = info();
    linkage_point start = linkage(state(), 0);
    EXPECT_FLOAT_EQ(start.compression, 0);
    EXPECT_NEAR(start.leverage, i.linkage_slopes[0], 1e-6);
    // Exactly at the knot the first piece answers with u = 1.
    linkage_point knot = linkage(state(), i.linkage_knot);
    EXPECT_NEAR(knot.compression, i.linkage_knot_value, 1e-6);
    EXPECT_NEAR(knot.leverage, i.linkage_slopes[1], 1e-6);
    linkage_point after = linkage(state(), i.linkage_knot + 1e-4f);
    EXPECT_NEAR(after.compression, i.linkage_knot_value, 1e-4);
    linkage_point end = linkage(state(), 1);
    EXPECT_NEAR(end.compression, i.linkage_end_value, 1e-6);
    EXPECT_NEAR(end.leverage, i.linkage_slopes[2], 1e-6);
    // Midway in the first piece, from the Hermite basis.
    double k = i.linkage_knot, m0 = i.linkage_slopes[0] * k, m1 = i.linkage_slopes[1] * k;
    double y1 = i.linkage_knot_value, u = 0.5;
    double h = (2 * u * u * u - 3 * u * u + 1) * 0 + (u * u * u - 2 * u * u + u) * m0 +
               (-2 * u * u * u + 3 * u * u) * y1 + (u * u * u - u * u) * m1;
    EXPECT_NEAR(linkage(state(), static_cast<float>(k / 2)).compression, h, 1e-6);
}

TEST_F(bike_world_test, ShockTorqueUsesLeverageAndFades) {
    state().params = middle_params(info());
    const bike_params& p = state().params;
    float travel = info().swingarm_travel;
    EXPECT_EQ(shock_torque(state(), 0, 0), 0);
    float angle = -0.5f * travel;
    linkage_point l = linkage(state(), 0.5f);
    double rate = -0.4; // compressing
    double v = rate * l.leverage;
    double damping = -v * p.shock_hs_compression + p.shock_ls_compression;
    damping = std::clamp(damping, -v * p.shock_hs_compression / 8, -v * p.shock_hs_compression * 8);
    double expected =
        ((l.compression + p.shock_preload) * p.shock_spring_rate + damping) * l.leverage;
    EXPECT_NEAR(shock_torque(state(), angle, static_cast<float>(rate)), expected, 1e-2);
}

// Moves the sliders along the fork axis by `p` (negative compresses) moving at `rate`.
void set_fork(bike_state& b, double p, double rate) {
    dVector3 axis;
    dJointGetSliderAxis(b.joints[joint_fork], axis);
    dBodyID lower = b.bodies[body_fork_lower];
    const dReal* at = dBodyGetPosition(lower);
    dBodySetPosition(lower, at[0] - p * axis[0], at[1] - p * axis[1], at[2] - p * axis[2]);
    dBodySetLinearVel(lower, -rate * axis[0], -rate * axis[1], -rate * axis[2]);
}

TEST_F(bike_world_test, ForkMotorOpensOrHolds) {
    state().params = middle_params(info());
    dJointID fork = state().joints[joint_fork];
    set_fork(state(), -0.5, -1);
    EXPECT_NEAR(dJointGetSliderPosition(fork), -0.5, 1e-9);
    EXPECT_NEAR(dJointGetSliderPositionRate(fork), -1, 1e-9);
    suspension_apply(state());
    float f = fork_force(state(), -0.5f, -1);
    EXPECT_GT(f, 0);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamVel), 100);
    EXPECT_NEAR(dJointGetSliderParam(fork, dParamFMax), f, 1e-3);

    // Rebounding hard enough that damping outweighs the spring: the motor only resists.
    state().params.fork_hs_rebound = 2000;
    set_fork(state(), 0, 5);
    suspension_apply(state());
    f = fork_force(state(), -0.5f, 5);
    EXPECT_LT(f, 0);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamVel), 0);
    EXPECT_NEAR(dJointGetSliderParam(fork, dParamFMax), -f, 1e-3);
}

TEST_F(bike_world_test, TelemetryUsesCatalogueDamping) {
    set_fork(state(), -0.25, -1);
    suspension_telemetry t = fork_telemetry(bike);
    EXPECT_NEAR(t.position, 0.25 / info().fork_travel, 1e-6);
    EXPECT_NEAR(t.speed, -1, 1e-6);
    const float* d = info().fork_damping;
    EXPECT_NEAR(t.low_speed_share, d[1] / (d[0] + d[1]), 1e-6);
    // The adjusted coefficients don't change what the graph shows.
    state().params.fork_hs_compression = 1;
    EXPECT_NEAR(fork_telemetry(bike).low_speed_share, d[1] / (d[0] + d[1]), 1e-6);

    suspension_telemetry s = shock_telemetry(bike);
    EXPECT_EQ(s.position, 0);
    EXPECT_EQ(s.speed, 0);
    EXPECT_NEAR(s.low_speed_share, 1, 1e-6); // at rest everything is low-speed
}
} // namespace
