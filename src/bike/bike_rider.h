// The rider's part of a bike's tic: crash rules, aids, springs, steering, dabbing and feet.
#pragma once

#include "bike/bike.h"
#include "bike/bike_state.h"

// Each runs at its place in bike_prepare's order.
void rider_down_start_test(bike_state& b);
void crash_detect(bike_state& b);
void knockout_update(bike_state& b);
void low_speed_aids(bike_state& b);
void rider_springs_apply(bike_state& b);
void steering_apply(bike_state& b);
void steering_damper_apply(bike_state& b);
void dab_and_realign(bike_state& b);
void foot_update(bike_state& b);

// Where a bike that fell over at a standstill is turned to when realigning: the nearest point of
// the best recorded line of its stretch of track. False when there is none (no lines, or the
// rider has just finished). Set by whoever keeps the lines; none by default.
using realign_target_fn = bool (*)(const bike_state& b, bike_vec3d* target);
void rider_set_realign_target(realign_target_fn fn);

// Throws the rider off: the mount is let go and the knock-out count starts.
void rider_crash(bike_state& b);
// The knock-out tics a server sets per crash number (all 0 offline).
void rider_knockout_table_set(const int table[16]);
// The tic the start gate drops, for back-up walking and the rider-down rule.
void rider_set_gate_drop_tic(int tic);
int rider_gate_drop_tic();

// A rider's controls for its bike, clamped; the shift request goes to the gearbox. A knocked-off
// rider cannot open the throttle, sit, back up or lean.
void rider_input_apply(int bike, const rider_input& in);
// The controls of a rider slot (bike.h) given to its bike.
void rider_input_from_slot(int bike, int slot);

// Roll angle of the frame: 0 upright, negative leaning right.
double lean_of(const bike_state& b);
// The steering angle at which the front wheel would roll along its own velocity (rad).
float front_track_angle(int bike);
// A torque T about the steering axis: T on the front wheel, -T on the frame; positive steers left.
void steering_torque_apply(int bike, float torque);
// The position controller on the steering hinge towards angle t (rad); returns its output.
float steering_position_control(int bike, float t);

// Velocity hold: pulls the body's velocity towards `target` with at most `force` lbf.
void velocity_hold(dBodyID body, double force, bike_vec3d target);
// A one-axis angular motor about `axis` (world) on the body for this step.
void angular_motor(dBodyID body, bike_vec3d axis, double velocity, double max_torque);
// The feet of the rider model: world points and how much weight each carries (0..1).
struct rider_feet_result {
    bike_vec3d left, right;
    float left_weight = 0, right_weight = 0;
};
rider_feet_result rider_feet(const bike_state& b);
