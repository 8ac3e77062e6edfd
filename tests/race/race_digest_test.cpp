// A fixed race whose final bike states are compared with a stored digest: ten riders on
// rabbithill's grid, the player following the gates and nine robots on their lines, for thirty
// seconds of race time.
#include "race_world.h"

#include "race/scripted_rider.h"

#include <algorithm>
#include <string>

namespace {
constexpr int k_riders = 10;
constexpr int k_race_tics = 30 * k_tics_per_second;

// Only a deliberate change of the simulation (or of the gate follower, the robots' auto pilot or
// the lines the data set gives them) changes this, in a commit that says why.
constexpr const char* k_stored_digest = "c4ea2dbd3a970765315e6ca091c6de1ec36eb3f8";

// The player in simulation mode on the start-up setup, waiting behind the gate with the clutch
// in and a foot down, then following the gates from the drop; nine robots on the bikes the
// shuffle gives them, ridden by their auto pilot on the novice lines. Bike against bike, the
// start gate and the race clock are the real race tic's.
TEST_F(race_world, TenRidersThirtySecondsOfRabbitHillGiveTheStoredDigest) {
    apply_setup_line("arcade", "No");
    std::initializer_list<int> lineup = {lineup_local, lineup_robot, lineup_robot, lineup_robot,
                                         lineup_robot, lineup_robot, lineup_robot, lineup_robot,
                                         lineup_robot, lineup_robot};
    // The race clock at the reset seeds the shuffle and the drop: a first reset sets it to 0.
    ASSERT_TRUE(start("rabbithill", lineup, 1));
    ASSERT_TRUE(start("rabbithill", lineup, 1));
    for (int slot = 0; slot < k_riders; slot++) ASSERT_GE(race_slot(slot).bike, 0) << slot;
    gate_follower follower;
    gate_follower_reset(follower);
    const int bike = race_slot(0).bike;
    while (race_clock() < k_race_tics) {
        bool dropped = race_clock() >= race_gate_drop_tic();
        rider_input_set(0, dropped ? gate_follower_input(follower, bike) : gate_follower_wait());
        race_world_tic();
    }
    // A race, not a heap at the gate: every rider got away through the first gate, and the
    // leaders are well on round the lap.
    int leader = 0;
    for (int slot = 0; slot < k_riders; slot++) {
        EXPECT_GE(timing_of(slot).position, 1) << "slot " << slot;
        leader = std::max(leader, timing_of(slot).position);
    }
    EXPECT_GE(leader, 4);
    EXPECT_EQ(race_digest(), k_stored_digest);
}
} // namespace
