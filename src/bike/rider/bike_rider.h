// The rider's part of a bike's tic: crash rules, aids, springs, steering, dabbing and feet.
#pragma once

#include "bike/sim/bike_local.h"

// The phases of a knock-out, in tics left of the count.
constexpr int k_knockout_tics = 512;        // every crash keeps the rider off at least this long
constexpr int k_knockout_pull_back = 511;   // from here on the rider is pulled back to the bike
constexpr int k_knockout_foot_return = 319; // from here the low-side foot goes back to its peg
constexpr int k_knockout_legs_in = 128;     // over the last second the legs fold back in

// Each runs at its place in bike_prepare's order.
void rider_down_start_test(bike_state& b, const bike_tic& t);
void crash_detect(bike_state& b, const bike_tic& t);
void knockout_update(bike_state& b);
void low_speed_aids(bike_state& b, const bike_tic& t);
void rider_springs_apply(bike_state& b);
void steering_apply(bike_state& b);
void steering_damper_apply(bike_state& b);
void dab_and_realign(bike_state& b, int bike);
void foot_update(bike_state& b);

// Throws the rider off: the mount is let go and the knock-out count starts, longer by the
// race's knock-out table for the rider's crash number.
void rider_crash(bike_state& b, const bike_tic& t);
// Forgets the realignment target's source.
void rider_rules_reset();

// Roll angle of the frame: 0 upright, negative leaning right.
double lean_of(const bike_state& b);

// Velocity hold: pulls the body's velocity towards `target` with at most `force` lbf.
void velocity_hold(dBodyID body, double force, vec3d target);
// A one-axis angular motor about `axis` (world) on the body for this step.
void angular_motor(dBodyID body, vec3d axis, double velocity, double max_torque);
// The feet of the rider model: world points and how much weight each carries (0..1).
struct rider_feet_result {
    vec3d left, right;
    float left_weight = 0, right_weight = 0;
};
rider_feet_result rider_feet(const bike_state& b);
