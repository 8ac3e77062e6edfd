// Riding the default bike on the practice field: settling, pulling away, braking, turning.
#include "ride_world.h"

#include <algorithm>

namespace {
const char* const k_bike = "yz250f(2017)";

TEST_F(ride_world, SettlesToItsStaticSagWithoutSinkingOrBouncing) {
    start(k_bike, 60, 480, 0);
    const bike_info& info = bike_info_at(state().catalogue_index);
    rider_input idle;
    script_step s[] = {{0, idle}};
    double low = 1e9, high = -1e9;
    run(s, 1, 128 * 4, [&](int t) {
        // Never through the ground: the tyres carry the bike on a fraction of their section.
        EXPECT_LT(state().front_contact.depth, info.front_tyre_radius) << t;
        EXPECT_LT(state().rear_contact.depth, info.rear_tyre_radius) << t;
        if (t >= 128 * 3) {
            low = std::min(low, position(body_frame).y);
            high = std::max(high, position(body_frame).y);
        }
    });
    // At rest: no creeping, no bouncing in the last second.
    EXPECT_LT(speed(), 0.05);
    EXPECT_LT(high - low, 0.005);
    EXPECT_EQ(state().crash_count, 0);
    EXPECT_NEAR(bike_lean_angle(bike), 0, 0.01);
    // The tyres together carry the whole bike and rider.
    double carried = state().front_contact.feedback.f1[1] + state().rear_contact.feedback.f1[1];
    EXPECT_NEAR(carried, state().total_mass * 32, state().total_mass * 32 * 0.03);
    // Both ends sag into the first part of their travel, the rear more, as a set-up bike does.
    double fork = -dJointGetSliderPosition(state().joints[joint_fork]) / info.fork_travel;
    double arm = -dJointGetHingeAngle(state().joints[joint_swingarm_pivot]) / info.swingarm_travel;
    EXPECT_GT(fork, 0.1);
    EXPECT_LT(fork, 0.4);
    EXPECT_GT(arm, 0.2);
    EXPECT_LT(arm, 0.45);
    EXPECT_GT(arm, fork);
}
} // namespace
