// The bike catalogue: one constant record per bike model, and the lookup by name.
#pragma once

#include "common/vec3.h"

#include <string>

constexpr int k_bike_count = 80;
constexpr int k_torque_samples = 50; // one per 500 rpm from 0 to 24500
constexpr int k_gear_count = 6;      // a ratio <= 0 marks a gear the bike does not have
constexpr int k_skeleton_floats = 58;
constexpr int k_bike_name_size = 16;
constexpr int k_bike_file_size = 64;

// Positions are in the construction frame with y = 0 at the ground the bike is built on.
struct bike_info {
    char name[k_bike_name_size] = {}; // catalogue name: the key in setups, menus, demos, network
    char bike_class[k_bike_name_size] = {}; // "50", "125", "250", "250f" or "450f"
    vec3 front_wheel_position;              // ft, front axle
    float front_rim_radius = 0;             // ft, ring of masses standing for rim and tyre
    float front_tyre_radius = 0;            // ft, tyre cross-section; rim + tyre = rolling radius
    float front_rim_mass = 0;               // slug
    float front_hub_radius = 0;             // ft
    float front_hub_mass = 0;               // slug
    vec3 rear_wheel_position;               // ft, rear axle
    float rear_rim_radius = 0;              // ft
    float rear_tyre_radius = 0;             // ft
    float rear_rim_mass = 0;                // slug
    float rear_hub_radius = 0;              // ft
    float rear_hub_mass = 0;                // slug
    vec3 frame_position;                    // ft
    float frame_mass = 0;                   // slug, without the rider
    vec3 frame_box;              // ft, sides of the inertia box; x spaces the swingarm arms
    vec3 steering_head_position; // ft, upper fork body and steering hinge
    vec3 swingarm_position;      // ft
    vec3 swingarm_pivot;         // ft
    vec3 fork_lower_position;    // ft, the steering axis runs from here to the head
    float fork_leg_spacing = 0;  // ft, a leg's radius is 1/8 of it
    float fork_length = 0;       // ft
    float fork_mass = 0;         // slug, both legs
    float fork_spring_rate_range[2] = {}; // lbf/ft at adjustment 0 and 1
    float fork_preload_range[2] = {};     // ft
    float fork_air_gap_range[2] = {};     // ft, air column at oil level 0 and 1
    float fork_damping[4] = {}; // lbf·s/ft: hs compression, ls compression, hs rebound, ls rebound
    float fork_travel = 0;      // ft
    float swingarm_mass = 0;    // slug, each of the two arms
    float shock_spring_rate_range[2] = {}; // lbf/ft
    float shock_preload_range[2] = {};     // ft
    float shock_damping[4] = {};           // as for the fork
    float linkage_knot_value = 0;          // ft of shock compression at the knot
    float linkage_end_value = 0;           // ft of shock compression at full travel
    float swingarm_travel = 0;             // rad
    float linkage_knot = 0;                // fraction of swingarm travel
    float linkage_slopes[3] = {};         // shock compression per travel fraction: start, knot, end
    float primary_ratio = 0;              // crank turns per gearbox input turn
    float front_sprocket = 0;             // teeth
    float rear_sprocket = 0;              // teeth
    float gear_ratios[k_gear_count] = {}; // 1st to 6th
    float engine_inertia = 0;             // slug·ft²
    float driveline_stiffness = 0;        // lbf·ft per rad of wheel angle
    float driveline_damping = 0;          // lbf·ft per rad/s
    float closed_throttle_torque[k_torque_samples] = {}; // lbf·ft at i·500 rpm
    float open_throttle_torque[k_torque_samples] = {};   // lbf·ft at i·500 rpm
    float auto_downshift_rpm = 0;                        // rpm
    float auto_upshift_rpm = 0;                          // rpm
    float max_rpm = 0;                // rpm, rated; the curve itself holds the limiter
    vec3 rider_offset_axis;           // ft, direction of the stored rider offset
    vec3 rider_position;              // ft
    float rider_offset_range[2] = {}; // ft
    float rider_mass = 0;             // slug
    char frame_model[k_bike_file_size] = {};
    char frame_shape[k_bike_file_size] = {};
    char bike_texture[k_bike_file_size] = {};
    char fork_upper_model[k_bike_file_size] = {};
    char fork_upper_shape[k_bike_file_size] = {};
    char fork_lower_model[k_bike_file_size] = {};
    char fork_lower_shape[k_bike_file_size] = {};
    char swingarm_model[k_bike_file_size] = {};
    char swingarm_shape[k_bike_file_size] = {};
    char front_wheel_model[k_bike_file_size] = {};
    char front_wheel_shape[k_bike_file_size] = {};
    char rear_wheel_model[k_bike_file_size] = {};
    char rear_wheel_shape[k_bike_file_size] = {};
    char wheel_texture[k_bike_file_size] = {};
    char rider_head_model[k_bike_file_size] = {};
    char rider_head_texture[k_bike_file_size] = {};
    char rider_body_model[k_bike_file_size] = {};
    char rider_body_first_person_model[k_bike_file_size] = {};
    char rider_shape[k_bike_file_size] = {};
    char rider_body_texture[k_bike_file_size] = {};
    char side_plates_model[k_bike_file_size] = {};
    char front_plate_model[k_bike_file_size] = {};
    char rider_plate_model[k_bike_file_size] = {};
    float rider_skeleton[k_skeleton_floats] = {}; // rest pose, layout in bike_skeleton
};

// Offsets into rider_skeleton.
enum bike_skeleton {
    skeleton_head = 0,          // rider body
    skeleton_left_shoulder = 3, // rider body
    skeleton_right_shoulder = 6,
    skeleton_left_hip = 9, // rider body
    skeleton_right_hip = 12,
    skeleton_left_grip = 15, // upper fork
    skeleton_right_grip = 18,
    skeleton_left_foot_rest = 21, // frame
    skeleton_right_foot_rest = 24,
    skeleton_upper_arm = 27, // lengths, ft
    skeleton_forearm = 28,
    skeleton_thigh = 29,
    skeleton_shin = 30,
    skeleton_bind_pose = 31, // nine joints of the rider model, 3 floats each
};

// The name part of a bike's own files ("crf250(2018)" -> "crf250_2018"): its models are
// "@<base>_frame.jm" ..., its graphics "@<base>.png" and the choices "<base>-<label>.png".
std::string bike_file_base(const bike_info& info);

// The whole table, in catalogue order.
const bike_info* bike_catalogue();
const bike_info& bike_info_at(int index);

// Exact, case-sensitive search; -1 when the name is not in the catalogue.
int bike_info_find(const char* name);
// The catalogue index to build a bike named `name`: the record itself, or the fallback (the first
// "125" bike for a name holding "125", else the first "250f" bike) with a shown message.
int bike_info_find_or_fallback(const char* name);
// The index of the default bike, "yz250f(2017)".
int bike_default_index();
constexpr const char* k_default_bike_name = "yz250f(2017)";

// The bike-choice menu's order: 450f and 350 bikes newest first, the two-stroke 250s, the 250f
// bikes newest first, the 125s, the 50s. Fills `order` with catalogue indices.
void bike_menu_order(int order[k_bike_count]);

// Derived numbers every consumer of the catalogue agrees on.
float bike_rpm_of_radians(float omega);                            // rpm of rad/s
float bike_peak_open_torque(const bike_info& info, float* at_rpm); // lbf·ft
float bike_peak_power_hp(const bike_info& info);                   // from the open-throttle curve
int bike_gear_count(const bike_info& info);
// Road speed at `rpm` in gear g (0-based) with the catalogue sprockets.
float bike_speed_at_rpm(const bike_info& info, int gear, float rpm); // ft/s
