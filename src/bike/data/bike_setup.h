// The bike setup: its 57 keys, the stability preset, and the bike parameters they make.
#pragma once

#include "bike/data/bike_info.h"

#include <string>

struct data_file;

// The setup keys in the order the setup lines are written.
enum setup_key_id {
    key_bike,
    key_name,
    key_number,
    key_rider_texture,
    key_head_texture,
    key_bike_texture,
    key_wheel_texture,
    key_stability,
    key_leveling,
    key_roll_damping,
    key_roll_limit_angle,
    key_roll_limit_factor,
    key_steering_damping,
    key_steering_strength,
    key_max_steering_force,
    key_direct_steering,
    key_slow_damping_speed,
    key_slow_damping_factor,
    key_land_damping_falloff,
    key_land_damping_factor,
    key_full_lock_speed,
    key_restricted_lock_speed,
    key_restricted_lock,
    key_arcade,
    key_front_brake,
    key_rear_brake,
    key_stop_wheelies,
    key_auto_shift,
    key_auto_dab,
    key_auto_align,
    key_sticky_dab,
    key_reverse_steering,
    key_lean_indicator,
    key_auto_clutch_rpms,
    key_brake_torque,
    key_rear_brake_torque,
    key_max_dab_speed,
    key_front_sprocket_adjustment,
    key_rear_sprocket_adjustment,
    key_fork_compression,
    key_fork_slow_compression,
    key_fork_rebound,
    key_fork_slow_rebound,
    key_fork_spring_rate,
    key_fork_preload,
    key_fork_oil_level,
    key_shock_compression,
    key_shock_slow_compression,
    key_shock_rebound,
    key_shock_slow_rebound,
    key_shock_spring_rate,
    key_shock_preload,
    key_rider_yspring,
    key_rider_ydamping,
    key_rider_zspring,
    key_rider_zdamping,
    key_rider_mass_distribution,
    k_setup_key_count
};

enum setup_kind { setup_kind_text, setup_kind_choice, setup_kind_slider, setup_kind_bike };

// One setup key: its file key, menu label and the range or choices of its value.
struct setup_key {
    setup_key_id id;
    const char* key;
    const char* label;
    setup_kind kind;
    double step; // sliders
    double minimum;
    double maximum;
    double initial;             // sliders: the value after start-up; choices: the item index
    const char* const* choices; // choices: item labels
    int choice_count;
    int max_length;           // texts: characters kept
    const char* initial_text; // texts
};

const setup_key& setup_key_of(setup_key_id id);
// The key named exactly `key`, or nullptr.
const setup_key* setup_key_find(const char* key);

// The values of every key: sliders as doubles, choices (and the bike) as indices, texts.
struct setup_values {
    double number[k_setup_key_count] = {}; // sliders
    int choice[k_setup_key_count] = {};    // choices; the catalogue index for key_bike
    std::string text[k_setup_key_count];   // texts
};

// Every key at its start-up value (the stability preset at 100 included).
void setup_values_reset(setup_values& v);
// Sets a slider, clamped to its range; setting stability runs the preset.
void setup_set_slider(setup_values& v, setup_key_id id, double value);
// Writes the fifteen assist sliders from the stability table for a stability of s.
void stability_preset(setup_values& v, double s);
// How one "key=value" line of a setup or config file was taken: a bad value (a bike or item
// label that matches nothing, a slider value that is not a finite number) leaves the value.
enum setup_line_status { setup_line_unknown_key, setup_line_used, setup_line_bad_value };
setup_line_status setup_values_read_line(setup_values& v, const char* key, const char* value);
// One "key=value" line of a setup or config file; false when the key is not a setup key.
bool setup_values_apply_line(setup_values& v, const char* key, const char* value);
// The 57 lines "key=value\n" in their order.
std::string setup_values_lines(const setup_values& v);
// Reads a bare old bike name ("crf250") as its 2008 model; other names unchanged.
const char* setup_bike_alias(const char* name);

// The program's setup (the local rider's), and the interface the config file and console use.
const setup_values& setup();
// The program's setup back at its start-up values.
void setup_reset();
// The program's setup replaced whole (a setup file, the menus).
void setup_replace(const setup_values& v);
// One value of the program's setup: a choice's index, a slider's number, a text (none clamped).
void setup_set_choice(setup_key_id id, int index);
void setup_set_number(setup_key_id id, double value);
void setup_set_text(setup_key_id id, const std::string& text);
// The stability preset run on the program's setup.
void setup_stability_preset(double s);
bool apply_setup_line(const char* key, const char* value);
setup_line_status setup_read_line(const char* key, const char* value);
// Writes the 57 setup lines to a stream; false when a write failed.
bool write_setup_lines(data_file* file);

// The physical parameters of one bike that the setup decides; the rigid-body, suspension,
// drivetrain and rider code read these.
struct bike_params {
    float leveling = 20;                      // 0..100
    float roll_damping = 60;                  // 0..100
    float roll_limit_angle = 0.785398f;       // rad
    float roll_limit_factor = 10;             // 0..64
    float steering_damping = 45;              // 0..100
    float steering_strength = 75;             // 0..100
    float max_steering_force = 400;           // 0..1000
    float direct_steering = 1;                // 0..1
    float slow_damping_speed = 0;             // ft/s
    float slow_damping_factor = 1;            // 1..10
    float land_damping_falloff = 0.25f;       // 0..0.5
    float land_damping_factor = 2;            // 1..3
    float full_lock_speed = 10;               // ft/s
    float restricted_lock_speed = 50;         // ft/s
    float restricted_lock = 0.0872665f;       // rad
    float auto_clutch_rpms = 5000;            // rpm
    float brake_torque = 250;                 // lbf·ft, front
    float rear_brake_torque = 250;            // lbf·ft
    float max_dab_speed = 30;                 // ft/s
    float final_drive_ratio = 0;              // rear teeth / front teeth
    float fork_hs_compression = 0;            // lbf·s/ft
    float fork_ls_compression = 0;            // lbf
    float fork_hs_rebound = 0;                // lbf·s/ft
    float fork_ls_rebound = 0;                // lbf
    float fork_spring_rate = 0;               // lbf/ft
    float fork_preload = 0;                   // ft
    float fork_air_gap = 0;                   // ft
    float shock_hs_compression = 0;           // lbf·s/ft
    float shock_ls_compression = 0;           // lbf
    float shock_hs_rebound = 0;               // lbf·s/ft
    float shock_ls_rebound = 0;               // lbf
    float shock_spring_rate = 0;              // lbf/ft
    float shock_preload = 0;                  // ft
    float rider_yspring = 0.5f;               // 0..1
    float rider_ydamping = 0.75f;             // 0..1
    float rider_zspring = 0.5f;               // 0..1
    float rider_zdamping = 0.75f;             // 0..1
    float rider_mass_distribution = 1.0f / 3; // share of the rider's mass on the rider body
    float frame_body_mass = 0;                // slug, frame plus the rest of the rider
    vec3 frame_body_inertia;                  // slug·ft², principal moments of the frame box
    float rider_body_mass = 0;                // slug
    float rider_body_inertia = 0;             // slug·ft², solid sphere of 1 ft
    bool arcade = false;
    bool front_antilock = true;
    bool rear_antilock = false;
    bool wheelie_cut = false; // stop_wheelies: cut the throttle on a wheelie
    bool stoppie_cut = true;  // stop_wheelies: cut the front brake on a stoppie
    bool auto_shift = false;
    bool auto_dab = false;
    bool auto_align = true;
};

// The parameters every bike is created with (what robots and remote riders keep).
bike_params bike_params_defaults(const bike_info& info);
// Applies every key of a setup to a bike's parameters, in the setup's order.
void setup_apply_values(const setup_values& v, const bike_info& info, bike_params& p);
// setup_apply for the local bike: refused while the frame moves faster than 0.125 ft/s, with
// "Settings not applied.  Mechanic can't keep up error." when refused again within 10 s of real
// time. True when applied.
bool setup_apply(const setup_values& v, const bike_info& info, bike_params& p, float frame_speed,
                 double real_time);
// Forgets the last refusal.
void setup_refusal_reset();

// The bike parameters a setter may change, each with its clamp.
enum bike_param_id {
    param_leveling,
    param_roll_damping,
    param_roll_limit_angle,
    param_roll_limit_factor,
    param_steering_damping,
    param_steering_strength,
    param_max_steering_force,
    param_direct_steering,
    param_slow_damping_speed,
    param_slow_damping_factor,
    param_land_damping_falloff,
    param_land_damping_factor,
    param_full_lock_speed,
    param_restricted_lock_speed,
    param_restricted_lock,
    param_auto_clutch_rpms,
    param_brake_torque,
    param_rear_brake_torque,
    param_max_dab_speed,
    param_rider_yspring,
    param_rider_ydamping,
    param_rider_zspring,
    param_rider_zdamping,
    param_count
};
const char* bike_param_name(bike_param_id id);
// Sets one parameter, clamped to its range.
void bike_param_set(bike_params& p, bike_param_id id, float value);
float bike_param_get(const bike_params& p, bike_param_id id);
// Moves rider mass between the frame and rider bodies; d is clamped to 0.33..0.5.
void bike_params_set_mass_distribution(bike_params& p, const bike_info& info, float d);
// Teeth after an adjustment (clamped to -2..2), at least 3.
float setup_sprocket_teeth(float catalogue_teeth, double adjustment);

// The physical value a setup slider stands for on this bike, as the menu shows it ("0.440 kg/mm",
// "10.16 mm", "13.00 teeth"); empty for keys shown as their plain value.
std::string setup_display_value(const setup_values& v, const bike_info& info, setup_key_id id);
