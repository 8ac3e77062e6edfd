// A setup turned into a bike's parameters; creation defaults; per-parameter setters.
#include "bike/data/bike_setup.h"

#include "common/common.h"
#include "common/message.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr float k_degree = k_pi_f / 180;

// Each settable parameter: its name, where it lives and its clamp.
struct bike_param_record {
    bike_param_id id;
    const char* name;
    float bike_params::*field;
    float minimum;
    float maximum;
};
constexpr bike_param_record k_params[] = {
    {param_leveling, "leveling", &bike_params::leveling, 0, 100},
    {param_roll_damping, "roll_damping", &bike_params::roll_damping, 0, 100},
    {param_roll_limit_angle, "roll_limit_angle", &bike_params::roll_limit_angle, 0, k_pi_f},
    {param_roll_limit_factor, "roll_limit_factor", &bike_params::roll_limit_factor, 0, 64},
    {param_steering_damping, "steering_damping", &bike_params::steering_damping, 0, 100},
    {param_steering_strength, "steering_strength", &bike_params::steering_strength, 0, 100},
    {param_max_steering_force, "max_steering_force", &bike_params::max_steering_force, 0, 1000},
    {param_direct_steering, "direct_steering", &bike_params::direct_steering, 0, 1},
    {param_slow_damping_speed, "slow_damping_speed", &bike_params::slow_damping_speed, 0, 100},
    {param_slow_damping_factor, "slow_damping_factor", &bike_params::slow_damping_factor, 1, 10},
    {param_land_damping_falloff, "land_damping_falloff", &bike_params::land_damping_falloff, 0,
     0.5f},
    {param_land_damping_factor, "land_damping_factor", &bike_params::land_damping_factor, 1, 3},
    {param_full_lock_speed, "full_lock_speed", &bike_params::full_lock_speed, 1, 100},
    {param_restricted_lock_speed, "restricted_lock_speed", &bike_params::restricted_lock_speed, 1,
     100},
    {param_restricted_lock, "restricted_lock", &bike_params::restricted_lock, 0, k_pi_f / 4},
    {param_auto_clutch_rpms, "auto_clutch_rpms", &bike_params::auto_clutch_rpms, 0, 5000},
    {param_brake_torque, "brake_torque", &bike_params::brake_torque, 0, 500},
    {param_rear_brake_torque, "rear_brake_torque", &bike_params::rear_brake_torque, 0, 500},
    // Below 7 ft/s a dab could never catch the bike before it stops.
    {param_max_dab_speed, "max_dab_speed", &bike_params::max_dab_speed, 7, 100},
    {param_rider_yspring, "rider_yspring", &bike_params::rider_yspring, 0, 1},
    {param_rider_ydamping, "rider_ydamping", &bike_params::rider_ydamping, 0, 1},
    {param_rider_zspring, "rider_zspring", &bike_params::rider_zspring, 0, 1},
    {param_rider_zdamping, "rider_zdamping", &bike_params::rider_zdamping, 0, 1},
};
static_assert(sizeof k_params / sizeof k_params[0] == param_count, "one record per bike parameter");

struct refusal_state {
    double last_refusal = -20; // s of real time; far enough back that a first refusal is silent
};
refusal_state g_refusal;

float lerp_range(const float range[2], double t) {
    return range[0] + (range[1] - range[0]) * static_cast<float>(std::clamp(t, 0.0, 1.0));
}
// The high-speed adjuster doubles or halves the catalogue coefficient every 25 steps.
float high_speed_factor(double v) {
    return static_cast<float>(std::clamp(std::pow(2.0, v * 0.04 - 2), 0.25, 4.0));
}
// The low-speed adjuster adds or removes up to the catalogue's constant force.
float low_speed_factor(double v) { return static_cast<float>(std::clamp(v * 0.02 - 1, -1.0, 1.0)); }

// The rider's mass split between the frame body (a solid box) and the rider body (a 1 ft sphere).
void set_body_masses(bike_params& p, const bike_info& info, float d) {
    p.rider_mass_distribution = d;
    p.frame_body_mass = info.frame_mass + (1 - d) * info.rider_mass;
    float x2 = info.frame_box.x * info.frame_box.x;
    float y2 = info.frame_box.y * info.frame_box.y;
    float z2 = info.frame_box.z * info.frame_box.z;
    p.frame_body_inertia = {p.frame_body_mass * (y2 + z2) / 12, p.frame_body_mass * (x2 + z2) / 12,
                            p.frame_body_mass * (x2 + y2) / 12};
    p.rider_body_mass = d * info.rider_mass;
    p.rider_body_inertia = 0.4f * p.rider_body_mass;
}

void set_gearing(bike_params& p, const bike_info& info, double front_adjust, double rear_adjust) {
    p.final_drive_ratio = setup_sprocket_teeth(info.rear_sprocket, rear_adjust) /
                          setup_sprocket_teeth(info.front_sprocket, front_adjust);
}
} // namespace

const char* bike_param_name(bike_param_id id) { return k_params[id].name; }

void bike_param_set(bike_params& p, bike_param_id id, float value) {
    const bike_param_record& r = k_params[id];
    if (std::isnan(value)) return;
    p.*r.field = std::clamp(value, r.minimum, r.maximum);
}

float bike_param_get(const bike_params& p, bike_param_id id) { return p.*k_params[id].field; }

float setup_sprocket_teeth(float catalogue_teeth, double adjustment) {
    double a = std::isnan(adjustment) ? 0 : std::clamp(adjustment, -2.0, 2.0);
    return std::max(3.0f, static_cast<float>(std::floor(catalogue_teeth + a)));
}

void bike_params_set_mass_distribution(bike_params& p, const bike_info& info, float d) {
    set_body_masses(p, info, std::isnan(d) ? 0.33f : std::clamp(d, 0.33f, 0.5f));
}

bike_params bike_params_defaults(const bike_info& info) {
    bike_params p; // the assist, brake and flag defaults are the record's own initialisers
    set_gearing(p, info, 0, 0);
    p.fork_hs_compression = info.fork_damping[0];
    p.fork_ls_compression = 0;
    p.fork_hs_rebound = info.fork_damping[2];
    p.fork_ls_rebound = 0;
    p.fork_spring_rate = lerp_range(info.fork_spring_rate_range, 0.5);
    p.fork_preload = lerp_range(info.fork_preload_range, 0.5);
    p.fork_air_gap = lerp_range(info.fork_air_gap_range, 0);
    p.shock_hs_compression = 2 * info.shock_damping[0];
    p.shock_ls_compression = 0;
    p.shock_hs_rebound = 2 * info.shock_damping[2];
    p.shock_ls_rebound = info.shock_damping[3];
    p.shock_spring_rate = lerp_range(info.shock_spring_rate_range, 0.5);
    p.shock_preload = lerp_range(info.shock_preload_range, 0.5);
    // Bike creation puts a third of the rider on the rider body, below the setup's lowest 0.33.
    set_body_masses(p, info, 1.0f / 3);
    return p;
}

void setup_apply_values(const setup_values& v, const bike_info& info, bike_params& p) {
    auto slider = [&](setup_key_id id) { return static_cast<float>(v.number[id]); };
    auto yes = [&](setup_key_id id) { return v.choice[id] == 1; };
    bike_param_set(p, param_leveling, slider(key_leveling));
    bike_param_set(p, param_roll_damping, slider(key_roll_damping));
    bike_param_set(p, param_roll_limit_angle, slider(key_roll_limit_angle) * k_degree);
    bike_param_set(p, param_roll_limit_factor, slider(key_roll_limit_factor));
    bike_param_set(p, param_steering_damping, slider(key_steering_damping));
    bike_param_set(p, param_steering_strength, slider(key_steering_strength));
    bike_param_set(p, param_max_steering_force, slider(key_max_steering_force));
    p.arcade = yes(key_arcade);
    p.front_antilock = yes(key_front_brake);
    p.rear_antilock = yes(key_rear_brake);
    int wheelies = v.choice[key_stop_wheelies];
    p.wheelie_cut = wheelies == 1;
    p.stoppie_cut = wheelies == 1 || wheelies == 2;
    p.auto_shift = yes(key_auto_shift);
    p.auto_dab = yes(key_auto_dab);
    p.auto_align = yes(key_auto_align);
    bike_param_set(p, param_direct_steering, slider(key_direct_steering));
    bike_param_set(p, param_slow_damping_speed, slider(key_slow_damping_speed));
    bike_param_set(p, param_slow_damping_factor, slider(key_slow_damping_factor));
    bike_param_set(p, param_land_damping_falloff, slider(key_land_damping_falloff));
    bike_param_set(p, param_land_damping_factor, slider(key_land_damping_factor));
    bike_param_set(p, param_full_lock_speed, slider(key_full_lock_speed));
    bike_param_set(p, param_restricted_lock_speed, slider(key_restricted_lock_speed));
    bike_param_set(p, param_restricted_lock, slider(key_restricted_lock) * k_degree);
    bike_param_set(p, param_auto_clutch_rpms, slider(key_auto_clutch_rpms));
    bike_param_set(p, param_brake_torque, slider(key_brake_torque));
    bike_param_set(p, param_rear_brake_torque, slider(key_rear_brake_torque));
    bike_param_set(p, param_max_dab_speed, slider(key_max_dab_speed) * 22 / 15);
    set_gearing(p, info, v.number[key_front_sprocket_adjustment],
                v.number[key_rear_sprocket_adjustment]);

    p.fork_hs_compression =
        high_speed_factor(v.number[key_fork_compression]) * info.fork_damping[0];
    p.fork_ls_compression =
        low_speed_factor(v.number[key_fork_slow_compression]) * info.fork_damping[1];
    p.fork_hs_rebound = high_speed_factor(v.number[key_fork_rebound]) * info.fork_damping[2];
    p.fork_ls_rebound = low_speed_factor(v.number[key_fork_slow_rebound]) * info.fork_damping[3];
    p.fork_spring_rate =
        lerp_range(info.fork_spring_rate_range, v.number[key_fork_spring_rate] * 0.01);
    p.fork_preload = lerp_range(info.fork_preload_range, v.number[key_fork_preload] * 0.01);
    p.fork_air_gap = lerp_range(info.fork_air_gap_range, v.number[key_fork_oil_level] * 0.01);

    p.shock_hs_compression =
        high_speed_factor(v.number[key_shock_compression]) * info.shock_damping[0];
    p.shock_ls_compression =
        low_speed_factor(v.number[key_shock_slow_compression]) * info.shock_damping[1];
    p.shock_hs_rebound = high_speed_factor(v.number[key_shock_rebound]) * info.shock_damping[2];
    p.shock_ls_rebound = low_speed_factor(v.number[key_shock_slow_rebound]) * info.shock_damping[3];
    p.shock_spring_rate =
        lerp_range(info.shock_spring_rate_range, v.number[key_shock_spring_rate] * 0.01);
    p.shock_preload = lerp_range(info.shock_preload_range, v.number[key_shock_preload] * 0.01);

    bike_param_set(p, param_rider_yspring, slider(key_rider_yspring) * 0.01f);
    bike_param_set(p, param_rider_zspring, slider(key_rider_zspring) * 0.01f);
    bike_param_set(p, param_rider_ydamping, slider(key_rider_ydamping) * 0.01f);
    bike_param_set(p, param_rider_zdamping, slider(key_rider_zdamping) * 0.01f);
    bike_params_set_mass_distribution(p, info, slider(key_rider_mass_distribution));
}

bool setup_apply(const setup_values& v, const bike_info& info, bike_params& p, float frame_speed,
                 double real_time) {
    if (frame_speed > 0.125f) {
        if (real_time - g_refusal.last_refusal < 10)
            show_message("Settings not applied.  Mechanic can't keep up error.");
        g_refusal.last_refusal = real_time;
        return false;
    }
    setup_apply_values(v, info, p);
    return true;
}

void setup_refusal_reset() { g_refusal = refusal_state{}; }

namespace {
// How a suspension adjustment reads on the setup page: its range in the record, the factor from
// our units to the shown ones, and the format.
struct setup_display {
    setup_key_id id;
    float (bike_info::*range)[2];
    double to_shown;
    const char* format;
};

constexpr setup_display k_displays[] = {
    {key_fork_spring_rate, &bike_info::fork_spring_rate_range, 0.000744082, "%.3f kg/mm"},
    {key_shock_spring_rate, &bike_info::shock_spring_rate_range, 0.00148816, "%.2f kg/mm"},
    {key_fork_preload, &bike_info::fork_preload_range, 304.8, "%.2f mm"}, // ft to mm
    {key_fork_oil_level, &bike_info::fork_air_gap_range, 304.8, "%.2f mm"},
    {key_shock_preload, &bike_info::shock_preload_range, 304.8, "%.2f mm"},
};
} // namespace

std::string setup_display_value(const setup_values& v, const bike_info& info, setup_key_id id) {
    char text[64] = "";
    double value = v.number[id];
    for (const setup_display& d : k_displays)
        if (d.id == id)
            snprintf(text, sizeof text, d.format,
                     lerp_range(info.*d.range, value * 0.01) * d.to_shown);
    if (id == key_front_sprocket_adjustment)
        snprintf(text, sizeof text, "%.2f teeth", info.front_sprocket + value);
    if (id == key_rear_sprocket_adjustment)
        snprintf(text, sizeof text, "%.2f teeth", info.rear_sprocket + value);
    return text;
}
