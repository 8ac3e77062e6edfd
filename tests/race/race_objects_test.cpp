// Rabbithill's statues in a race: the start gate holds the bikes until it drops, and a hay bale
// stops a bike ridden into it.
#include "race_world.h"

#include "terrain/terrain.h"
#include "track/track_objects.h"

#include <cmath>
#include <string>

namespace {
// How far a point lies past the slot's gate piece, along the way the slot's rider faces.
double past_piece(const start_slot& slot, vec3d p) {
    const double fx = -std::sin(slot.heading), fz = -std::cos(slot.heading);
    return (p.x - slot.piece_x) * fx + (p.z - slot.piece_z) * fz;
}

rider_input full_throttle() {
    rider_input in;
    in.throttle = 1;
    in.clutch = 1;
    return in;
}
} // namespace

TEST_F(race_world, TheGateHoldsABikeUntilTheDropAndFallsAwayFromItsWheel) {
    ASSERT_TRUE(start("rabbithill", {lineup_local}));
    ASSERT_GT(start_slot_count(), 0);
    const start_slot& slot = start_slot_at(0);
    race_set_gate_drop_tic(3 * k_tics_per_second);
    const int bike = race_slot(0).bike;
    double nearest = -1e9;
    // The rider opens the throttle at once and leans on the gate until it drops.
    while (race_clock() < race_gate_drop_tic()) {
        rider_input_set(0, full_throttle());
        race_world_tic();
        const double front = past_piece(slot, bike_body_position(bike, body_front_wheel));
        nearest = std::max(nearest, front);
        ASSERT_LT(front, 0) << "the front wheel passed the gate at tic " << race_clock();
        ASSERT_EQ(race_gate_piece_raised(0), 1.0f);
    }
    EXPECT_GT(nearest, -2) << "the wheel was pressed against the gate";
    EXPECT_GE(statue_touched_tic(start_gate_piece_statue(0)), race_clock() - 2)
        << "the gate knows it is leaned on";
    // Still pressing on it at the drop, the bike does not hold its piece up: the piece swings
    // forward, away from the wheel, and the bike rides over it.
    for (int t = 0; t < k_tics_per_second; t++) {
        rider_input in = full_throttle();
        in.throttle = 0.6f;
        rider_input_set(0, in);
        race_world_tic();
    }
    EXPECT_EQ(race_gate_piece_raised(0), 0.0f) << "a wheel behind the piece does not hold it";
    for (int t = 0; t < 2 * k_tics_per_second; t++) {
        rider_input in = full_throttle();
        in.throttle = 0.6f;
        rider_input_set(0, in);
        race_world_tic();
    }
    EXPECT_GT(past_piece(slot, bike_frame_position(bike)), 15) << "away over the fallen gate";
}

TEST_F(race_world, EveryPieceFallsAtTheDropWhenNoBikeLeansOnIt) {
    ASSERT_TRUE(start("rabbithill", {lineup_local}));
    race_set_gate_drop_tic(k_tics_per_second);
    while (race_clock() <= race_gate_drop_tic() + k_tics_per_second / 2) race_world_tic();
    for (int i = 0; i < start_slot_count(); i++) EXPECT_EQ(race_gate_piece_raised(i), 0.0f) << i;
}

TEST_F(race_world, ABikeRiddenIntoAHayBaleStopsAgainstIt) {
    ASSERT_TRUE(start("rabbithill", {lineup_local}));
    race_set_gate_drop_tic(0);
    int bale = -1;
    for (int i = statue_first_file(); i < statue_count() && bale < 0; i++)
        if (statues()[i].shape_name.find("haybale") != std::string::npos) bale = i;
    ASSERT_GE(bale, 0) << "rabbithill has hay bales";
    const statue& s = statues()[bale];
    // Across the bale (its own x axis), from the side where the ground is nearer its height.
    const double ax = s.orientation[0], az = s.orientation[6];
    double side = 1;
    {
        const float h0 = ground_height_at(s.x, s.z);
        const float hp = ground_height_at(s.x + 15 * ax, s.z + 15 * az);
        const float hm = ground_height_at(s.x - 15 * ax, s.z - 15 * az);
        side = std::fabs(hp - h0) < std::fabs(hm - h0) ? 1 : -1;
    }
    const double dx = -side * ax, dz = -side * az; // from the start towards the bale
    const int bike = race_slot(0).bike;
    race_place_bike(bike, static_cast<float>(s.x - 15 * dx), static_cast<float>(s.z - 15 * dz),
                    static_cast<float>(std::atan2(-dx, -dz)), nullptr, 0);
    double furthest = -1e9;
    for (int t = 0; t < 4 * k_tics_per_second; t++) {
        rider_input in = full_throttle();
        in.throttle = 0.5f;
        rider_input_set(0, in);
        race_world_tic();
        const vec3d f = bike_body_position(bike, body_front_wheel);
        furthest = std::max(furthest, (f.x - s.x) * dx + (f.z - s.z) * dz);
    }
    EXPECT_GE(statue_touched_tic(bale), 0) << "the bike reached the bale";
    EXPECT_LT(furthest, 0.5) << "the front wheel never got through the bale";
    const vec3d f = bike_frame_position(bike);
    EXPECT_LT((f.x - s.x) * dx + (f.z - s.z) * dz, 0) << "the bike stays on its own side";
}
