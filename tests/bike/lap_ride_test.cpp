// Riding rabbithill from the first start slot through its timing gates with the gate follower, in
// arcade mode and in simulation mode.
#include "ride_world.h"

#include "bike/bike_data.h"
#include "common/ripemd160.h"
#include "race/race.h"
#include "race/scripted_rider.h"
#include "track/track_gates.h"

#include <algorithm>
#include <string>

namespace {
// The generated default track, loaded once for the suite.
class lap_ride : public ::testing::TestWithParam<bike_in_mode> {
  protected:
    static inline std::filesystem::path home;
    static inline bool loaded = false;

    static void SetUpTestSuite() { loaded = track_suite_open(home, "tb_lap_", "rabbithill"); }
    static void TearDownTestSuite() {
        shape_cache_free();
        track_suite_close(home);
    }
    void SetUp() override {
        ASSERT_TRUE(loaded);
        ASSERT_GT(gate_count(), 10);
    }
    void TearDown() override { world_destroy(); }

    // A fresh world with the bike on grid place 0, facing along the lap, on the player's setup in
    // the test's mode.
    void start() {
        world_destroy();
        world_create();
        bike = bike_create(std::get<0>(GetParam()), 0, "1", "", "", "", "");
        use_player_setup(bike, std::get<1>(GetParam()));
        race_place_on_grid(bike, 0);
        gate_follower_reset(follower);
        clock = bike_tic{};
    }
    void tic() {
        rider_input in = gate_follower_input(follower, bike);
        rider_input_apply(bike, in);
        bike_collide_world(bike, clock);
        world_step();
        clock.tic++;
        bike_prepare(bike, clock);
    }
    std::string digest() {
        ripemd160_state h;
        ripemd160_init(h);
        bike_digest_update(h, bike);
        uint8_t d[20];
        ripemd160_final(h, d);
        return ripemd160_hex(d);
    }

    int bike = -1;
    gate_follower follower;
    bike_tic clock;
};

// From the first start slot through the first lap to the finish, then once more round the whole
// lap, every gate reached in its half-disc in the lap's order, the rider never thrown off.
TEST_P(lap_ride, RidesTheFirstLapAndAWholeLapThroughEveryGate) {
    start();
    int gates = first_lap_length() + normal_lap_length();
    ASSERT_GT(first_lap_length(), 10);
    double lowest_up = 1;
    int t = 0, last_gate_tic = 0, reached = 0;
    // A gate comes every few seconds; a rider stuck for twenty has lost the lap.
    for (; t < 128 * 600 && follower.reached < gates && t - last_gate_tic < 128 * 20; t++) {
        tic();
        if (follower.reached != reached) {
            reached = follower.reached;
            last_gate_tic = t;
        }
        ASSERT_FALSE(knocked_off(bike)) << "thrown off before timing position " << follower.position
                                        << " at " << t / 128.0 << " s";
        lowest_up = std::min(lowest_up, body_axis(bike_at(bike).bodies[body_frame], 1).y);
    }
    EXPECT_EQ(follower.reached, gates) << "stuck before timing position " << follower.position;
    EXPECT_EQ(crash_count(bike), 0);
    EXPECT_EQ(bike_rider_down(bike), 0);
    // Leaning through the turns, never laid down.
    EXPECT_GT(lowest_up, 0.5);
}

// The same rider on the same track rides the same way to the last bit.
TEST_P(lap_ride, TheFirstGatesRideBitIdenticallyOnARerun) {
    auto ride = [&](int* reached) {
        start();
        for (int t = 0; t < 128 * 30 && follower.reached < 12; t++) tic();
        *reached = follower.reached;
        return digest();
    };
    int first_reached = 0, second_reached = 0;
    std::string first = ride(&first_reached);
    std::string second = ride(&second_reached);
    EXPECT_EQ(first_reached, 12);
    EXPECT_EQ(second_reached, first_reached);
    EXPECT_EQ(first, second);
}

INSTANTIATE_TEST_SUITE_P(catalogue, lap_ride, bikes_in_both_modes(), bike_in_mode_name());
} // namespace
