// The table of setup keys, the stability preset, and reading and writing setup lines.
#include "bike/data/bike_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
constexpr const char* k_no_yes[] = {"No", "Yes"};
constexpr const char* k_brake[] = {"Normal", "Antilock"};
constexpr const char* k_wheelies[] = {"No", "Yes", "Front Only"};

constexpr setup_key text_key(setup_key_id id, const char* key, int max_length,
                             const char* initial) {
    return {id, key, key, setup_kind_text, 0, 0, 0, 0, nullptr, 0, max_length, initial};
}
constexpr setup_key slider(setup_key_id id, const char* key, const char* label, double step,
                           double lo, double hi, double initial) {
    return {id, key, label, setup_kind_slider, step, lo, hi, initial, nullptr, 0, 0, ""};
}
template <int n>
constexpr setup_key choice(setup_key_id id, const char* key, const char* label,
                           const char* const (&items)[n], int initial) {
    return {id, key, label, setup_kind_choice, 0, 0, n - 1, static_cast<double>(initial), items,
            n,  0,   ""};
}

// Menu sliders in degrees become radians in the bike; the initial column is the stability preset
// at 100, which start-up applies before the config file is read.
// clang-format off
constexpr setup_key k_setup_keys[] = {
    {key_bike, "bike", "Bike", setup_kind_bike, 0, 0, 0, 0, nullptr, 0, 0, k_default_bike_name},
    text_key(key_name, "name", 63, "Joe Motocross"),
    text_key(key_number, "number", 3, "999"),
    text_key(key_rider_texture, "rider_texture", 1023, ""),
    text_key(key_head_texture, "head_texture", 1023, ""),
    text_key(key_bike_texture, "bike_texture", 1023, ""),
    text_key(key_wheel_texture, "wheel_texture", 1023, ""),
    slider(key_stability, "stability", "Stability", 1, 0, 100, 100),
    slider(key_leveling, "leveling", "Leveling", 1, 0, 100, 20),
    slider(key_roll_damping, "roll_damping", "Roll Damping", 1, 0, 100, 80),
    slider(key_roll_limit_angle, "roll_limit_angle", "Roll Limit Angle", 1, 0, 180, 45),
    slider(key_roll_limit_factor, "roll_limit_factor", "Roll Limit Factor", 1, 0, 64, 32),
    slider(key_steering_damping, "steering_damping", "Steering Damping", 1, 0, 100, 60),
    slider(key_steering_strength, "steering_strength", "Steering Strength", 1, 0, 100, 75),
    slider(key_max_steering_force, "max_steering_force", "Max Steering Force", 5, 0, 1000, 400),
    slider(key_direct_steering, "direct_steering", "Direct Steering", 0.125, 0, 1, 0.125),
    slider(key_slow_damping_speed, "slow_damping_speed", "Slow Damping Speed", 1, 0, 100, 40),
    slider(key_slow_damping_factor, "slow_damping_factor", "Slow Damping Factor", 0.25, 1, 10, 2),
    slider(key_land_damping_falloff, "land_damping_falloff", "Landing Damping Falloff", 0.0625, 0, 0.5, 0.25),
    slider(key_land_damping_factor, "land_damping_factor", "Landing Damping Factor", 0.25, 1, 3, 2),
    slider(key_full_lock_speed, "full_lock_speed", "Full Lock Speed", 1, 1, 100, 10),
    slider(key_restricted_lock_speed, "restricted_lock_speed", "Restricted Lock Speed", 1, 1, 100, 50),
    slider(key_restricted_lock, "restricted_lock", "Restricted Lock Angle", 0.125, 0, 45, 1),
    choice(key_arcade, "arcade", "Arcade Physics", k_no_yes, 1),
    choice(key_front_brake, "front_brake", "Front Brake", k_brake, 1),
    choice(key_rear_brake, "rear_brake", "Rear Brake", k_brake, 0),
    choice(key_stop_wheelies, "stop_wheelies", "Stop Wheelies", k_wheelies, 1),
    choice(key_auto_shift, "auto_shift", "Automatic Shifting", k_no_yes, 1),
    choice(key_auto_dab, "auto_dab", "Dab When Stopped", k_no_yes, 1),
    choice(key_auto_align, "auto_align", "Realign After Fall", k_no_yes, 1),
    choice(key_sticky_dab, "sticky_dab", "Sticky Sit/Dab", k_no_yes, 0),
    choice(key_reverse_steering, "reverse_steering", "Reversed Steering", k_no_yes, 1),
    choice(key_lean_indicator, "lean_indicator", "Lean Indicator", k_no_yes, 1),
    slider(key_auto_clutch_rpms, "auto_clutch_rpms", "Auto Clutch RPMs", 100, 0, 5000, 5000),
    slider(key_brake_torque, "brake_torque", "Braking Torque (Front)", 10, 0, 500, 500),
    slider(key_rear_brake_torque, "rear_brake_torque", "Braking Torque (Rear)", 10, 0, 500, 250),
    slider(key_max_dab_speed, "max_dab_speed", "Max Dab Speed (MPH)", 1, 5, 60, 60),
    slider(key_front_sprocket_adjustment, "front_sprocket_adjustment", "Countershaft Sprocket", 1, -2, 2, 0),
    slider(key_rear_sprocket_adjustment, "rear_sprocket_adjustment", "Rear Sprocket", 1, -2, 2, 0),
    slider(key_fork_compression, "fork_compression_adjustment", "Fork High Speed Compression Damping", 1, 0, 100,
           50),
    slider(key_fork_slow_compression, "fork_slow_compression_adjustment", "Fork Low Speed Compression Damping", 1, 0,
           100, 50),
    slider(key_fork_rebound, "fork_rebound_adjustment", "Fork High Speed Rebound Damping", 1, 0, 100, 50),
    slider(key_fork_slow_rebound, "fork_slow_rebound_adjustment", "Fork Low Speed Rebound Damping", 1, 0, 100, 50),
    slider(key_fork_spring_rate, "fork_spring_rate_adjustment", "Fork Spring Rate", 1, 0, 100, 50),
    slider(key_fork_preload, "fork_preload_adjustment", "Fork Preload", 1, 0, 100, 50),
    slider(key_fork_oil_level, "fork_oil_level_adjustment", "Fork Oil Level", 1, 0, 100, 50),
    slider(key_shock_compression, "shock_compression_adjustment", "Shock High Speed Compression Damping", 1, 0, 100,
           75),
    slider(key_shock_slow_compression, "shock_slow_compression_adjustment", "Shock Low Speed Compression Damping", 1,
           0, 100, 50),
    slider(key_shock_rebound, "shock_rebound_adjustment", "Shock High Speed Rebound Damping", 1, 0, 100, 75),
    slider(key_shock_slow_rebound, "shock_slow_rebound_adjustment", "Shock Low Speed Rebound Damping", 1, 0, 100,
           50),
    slider(key_shock_spring_rate, "shock_spring_rate_adjustment", "Shock Spring Rate", 1, 0, 100, 50),
    slider(key_shock_preload, "shock_preload_adjustment", "Shock Preload", 1, 0, 100, 50),
    slider(key_rider_yspring, "rider_yspring", "Rider Vertical Spring", 1, 0, 100, 50),
    slider(key_rider_ydamping, "rider_ydamping", "Rider Vertical Damping", 1, 0, 100, 50),
    slider(key_rider_zspring, "rider_zspring", "Rider Forward Spring", 1, 0, 100, 50),
    slider(key_rider_zdamping, "rider_zdamping", "Rider Forward Damping", 1, 0, 100, 50),
    slider(key_rider_mass_distribution, "rider_mass_distribution", "Rider Mass Distribution", 0.01, 0.33, 0.5, 0.33),
};
// clang-format on
static_assert(sizeof k_setup_keys / sizeof k_setup_keys[0] == k_setup_key_count,
              "one record per setup key");
static_assert(k_setup_key_count == 57, "the setup file has 57 lines");

constexpr bool table_in_enum_order() {
    for (int i = 0; i < k_setup_key_count; i++)
        if (k_setup_keys[i].id != i) return false;
    return true;
}
static_assert(table_in_enum_order(), "setup keys listed in their enum order");

// The assist sliders the stability preset writes, at stability 0, 20, 40, 60, 80 and 100.
struct stability_row {
    setup_key_id id;
    double column[6];
};
// clang-format off
constexpr stability_row k_stability_table[] = {
    {key_leveling, {20, 20, 20, 20, 20, 20}},
    {key_roll_damping, {40, 50, 60, 70, 75, 80}},
    {key_roll_limit_angle, {90, 45, 45, 45, 45, 45}},
    {key_roll_limit_factor, {0, 5, 10, 32, 32, 32}},
    {key_steering_damping, {45, 45, 45, 45, 50, 60}},
    {key_steering_strength, {75, 75, 75, 75, 75, 75}},
    {key_direct_steering, {1, 1, 1, 1, 1, 0.125}},
    {key_max_steering_force, {400, 400, 400, 400, 400, 400}},
    {key_slow_damping_speed, {40, 40, 40, 40, 40, 40}},
    {key_slow_damping_factor, {1, 1, 1.5, 2, 2, 2}},
    {key_land_damping_falloff, {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {key_land_damping_factor, {1, 1.5, 2, 2, 2, 2}},
    {key_full_lock_speed, {10, 10, 10, 10, 10, 10}},
    {key_restricted_lock_speed, {50, 50, 50, 50, 50, 50}},
    {key_restricted_lock, {45, 15, 10, 5, 2.5, 1}},
};
// clang-format on
static_assert(sizeof k_stability_table / sizeof k_stability_table[0] == 15,
              "the preset writes fifteen keys");

// Old setup files name the 250 four-strokes without a year; those were the 2008 models.
struct bike_alias {
    const char* old_name;
    const char* name;
};
constexpr bike_alias k_bike_aliases[] = {
    {"crf250", "crf250(2008)"},
    {"kx250f", "kx250f(2008)"},
    {"rmz250", "rmz250(2008)"},
    {"yz250f", "yz250f(2008)"},
};

setup_values initial_setup() {
    setup_values v;
    setup_values_reset(v);
    return v;
}
setup_values g_setup = initial_setup();

double clamp_to(const setup_key& k, double value) {
    return std::clamp(value, k.minimum, k.maximum);
}
} // namespace

const setup_key& setup_key_of(setup_key_id id) { return k_setup_keys[id]; }

const setup_key* setup_key_find(const char* key) {
    for (const setup_key& k : k_setup_keys)
        if (strcmp(k.key, key) == 0) return &k;
    return nullptr;
}

void setup_values_reset(setup_values& v) {
    for (const setup_key& k : k_setup_keys) {
        v.number[k.id] = k.kind == setup_kind_slider ? k.initial : 0;
        v.choice[k.id] = k.kind == setup_kind_choice ? static_cast<int>(k.initial) : 0;
        v.text[k.id] = k.kind == setup_kind_text ? k.initial_text : "";
    }
    v.choice[key_bike] = bike_default_index();
    stability_preset(v, v.number[key_stability]);
}

void stability_preset(setup_values& v, double s) {
    double x = std::clamp(s * 5 / 100, 0.0, 5.0);
    int i = std::clamp(static_cast<int>(std::floor(x)), 0, 4);
    double f = x - i;
    for (const stability_row& row : k_stability_table)
        v.number[row.id] =
            clamp_to(k_setup_keys[row.id], row.column[i] + (row.column[i + 1] - row.column[i]) * f);
}

void setup_set_slider(setup_values& v, setup_key_id id, double value) {
    const setup_key& k = k_setup_keys[id];
    if (k.kind != setup_kind_slider || !std::isfinite(value)) return;
    v.number[id] = clamp_to(k, value);
    if (id == key_stability) stability_preset(v, v.number[id]);
}

const char* setup_bike_alias(const char* name) {
    for (const bike_alias& a : k_bike_aliases)
        if (strcmp(a.old_name, name) == 0) return a.name;
    return name;
}

setup_line_status setup_values_read_line(setup_values& v, const char* key, const char* value) {
    const setup_key* k = setup_key_find(key);
    if (!k) return setup_line_unknown_key;
    switch (k->kind) {
    case setup_kind_bike: {
        int index = bike_info_find(setup_bike_alias(value));
        if (index < 0) return setup_line_bad_value;
        v.choice[k->id] = index;
        break;
    }
    case setup_kind_text:
        v.text[k->id] = std::string(value, strnlen(value, static_cast<size_t>(k->max_length)));
        break;
    case setup_kind_choice: {
        int found = -1;
        for (int i = 0; i < k->choice_count && found < 0; i++)
            if (strcmp(k->choices[i], value) == 0) found = i;
        if (found < 0) return setup_line_bad_value;
        v.choice[k->id] = found;
        break;
    }
    case setup_kind_slider: {
        double number = 0;
        // A value that is not a number leaves the slider as it was.
        if (sscanf(value, "%lf", &number) != 1 || !std::isfinite(number))
            return setup_line_bad_value;
        setup_set_slider(v, k->id, number);
        break;
    }
    }
    return setup_line_used;
}

bool setup_values_apply_line(setup_values& v, const char* key, const char* value) {
    return setup_values_read_line(v, key, value) != setup_line_unknown_key;
}

std::string setup_values_lines(const setup_values& v) {
    std::string out;
    char number[64];
    for (const setup_key& k : k_setup_keys) {
        out += k.key;
        out += '=';
        switch (k.kind) {
        case setup_kind_bike:
            out += bike_info_at(v.choice[k.id]).name;
            break;
        case setup_kind_text: {
            // A line break would end the line early and start a key of its own.
            std::string text = v.text[k.id];
            std::replace(text.begin(), text.end(), '\n', ' ');
            std::replace(text.begin(), text.end(), '\r', ' ');
            out += text;
            break;
        }
        case setup_kind_choice:
            out += k.choices[std::clamp(v.choice[k.id], 0, k.choice_count - 1)];
            break;
        case setup_kind_slider:
            snprintf(number, sizeof number, "%f", v.number[k.id]);
            out += number;
            break;
        }
        out += '\n';
    }
    return out;
}

const setup_values& setup() { return g_setup; }
void setup_replace(const setup_values& v) { g_setup = v; }
void setup_reset() { setup_values_reset(g_setup); }
void setup_set_choice(setup_key_id id, int index) { g_setup.choice[id] = index; }
void setup_set_number(setup_key_id id, double value) { g_setup.number[id] = value; }
void setup_set_text(setup_key_id id, const std::string& text) { g_setup.text[id] = text; }
void setup_stability_preset(double s) { stability_preset(g_setup, s); }

bool apply_setup_line(const char* key, const char* value) {
    return setup_values_read_line(g_setup, key, value) != setup_line_unknown_key;
}

setup_line_status setup_read_line(const char* key, const char* value) {
    return setup_values_read_line(g_setup, key, value);
}
