// Everything one simulated bike carries from tic to tic.
#pragma once

#include "bike/bike.h"
#include "bike/draw/bike_resources.h"
#include "terrain/erosion.h"

#include <ode/ode.h>

enum bike_joint_index {
    joint_front_axle,
    joint_rear_axle,
    joint_steering,
    joint_fork,
    joint_swingarm_pivot,
    joint_rider_mount,
    k_bike_joint_count
};

// Collision spheres in the order the shapes are listed for a bike.
enum bike_shape_index {
    shape_frame,
    shape_fork_upper,
    shape_fork_lower,
    shape_swingarm,
    shape_front_wheel,
    shape_rear_wheel,
    shape_rider,
    k_bike_shape_count
};

// A wheel as the contacts take it: its body and the torus its tyre makes about the axle, fixed
// when the bike is made.
struct wheel_part {
    dBodyID wheel = nullptr;
    vec3d axle_axis = {1, 0, 0}; // in the wheel body's frame
    float rim_radius = 0;        // ft
    float tyre_radius = 0;       // ft
};

// One tyre's contact with the ground, refreshed by every contact test.
struct wheel_contact {
    vec3d point;                  // ft, world
    vec3d velocity;               // ft/s, of the wheel body at the point
    vec3d normal;                 // unit, out of the ground
    float depth = 0;              // ft, 0 when not touching
    dJointFeedback feedback = {}; // of this tic's contact joint
};

// A free foot point of the rider model.
struct foot_point {
    vec3d position; // ft
    vec3d velocity; // ft/s
};

// Everything of a bike that one ride changes and bike_reset puts back, at its start values.
struct bike_ride {
    // ODE writes through these pointers during the step, so a bike never moves in memory.
    dJointFeedback joint_feedback[k_bike_joint_count] = {};
    wheel_contact front_contact;
    wheel_contact rear_contact;
    erosion_sampler front_ruts; // the wheels' pushes on the ground, condensed into paths
    erosion_sampler rear_ruts;

    // inputs
    rider_input input = {.clutch = 0}; // a reset bike stands with its clutch pulled in
    int gear = 0;                      // 0 = first
    int last_shift = 0;                // the previous shift request, -1, 0 or +1

    // engine
    float engine_angle = 0; // rad, in rear-wheel units, in (-pi, pi]
    float engine_speed = 0; // rad/s of the crankshaft

    // rider
    float dab_level = 0;           // 0..1
    float land_damping_level = 1;  // >= 1
    float steering_lock_level = 0; // 0..1
    float contact_timer = 0;       // tics
    foot_point left_foot;
    foot_point right_foot;
    vec3d rider_velocity_history[4]; // ft/s, slot = tic mod 4

    // race
    int rider_down = 0;
    int knockout_tics = 0;
    int crash_count = 0;
    int airborne_start_tic = 0;
    int landed_tic = 0;
    float activity = 1; // above 0.25 simulated, else frozen

    // The inputs the low-speed aids may override for one tic, restored at its end.
    float saved_front_brake = 0;
    float saved_rear_brake = 0;
    float saved_sit = 0;
};

struct bike_state {
    // What bike_reset keeps: the bike's make-up, bodies and joints, and what it draws with.
    int catalogue_index = 0;
    dBodyID bodies[k_bike_body_count] = {};
    dJointID joints[k_bike_joint_count] = {};
    wheel_part front_wheel;
    wheel_part rear_wheel;
    int owner_value = 0;
    char number[8] = {}; // at most 7 characters
    bike_resources resources;
    shape shapes[k_bike_shape_count];
    float total_mass = 0;     // slug
    float engine_inertia = 0; // slug·ft²

    // setup
    bike_params params;

    bike_ride ride;
};
