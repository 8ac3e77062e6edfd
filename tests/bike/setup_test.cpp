// The bike setup: key ranges and defaults, stability preset, setup lines, bike parameters.
#include "common/common.h"
#include "bike/bike_data.h"

#include "common/message.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

setup_values fresh() {
    setup_values v;
    setup_values_reset(v);
    return v;
}

const bike_info& cr125() { return bike_info_at(bike_info_find("cr125")); }

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Reads "key=value" lines the way the config and setup readers do: key before the first '='.
void read_lines(setup_values& v, const std::string& text) {
    for (const std::string& line : lines_of(text)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        setup_values_apply_line(v, line.substr(0, eq).c_str(), line.substr(eq + 1).c_str());
    }
}

// The setup file's 57 keys in their written order.
// clang-format off
const char* const k_line_order[] = {
    "bike", "name", "number", "rider_texture", "head_texture", "bike_texture", "wheel_texture", "stability",
    "leveling", "roll_damping", "roll_limit_angle", "roll_limit_factor", "steering_damping", "steering_strength",
    "max_steering_force", "direct_steering", "slow_damping_speed", "slow_damping_factor", "land_damping_falloff",
    "land_damping_factor", "full_lock_speed", "restricted_lock_speed", "restricted_lock", "arcade", "front_brake",
    "rear_brake", "stop_wheelies", "auto_shift", "auto_dab", "auto_align", "sticky_dab", "reverse_steering",
    "lean_indicator", "auto_clutch_rpms", "brake_torque", "rear_brake_torque", "max_dab_speed",
    "front_sprocket_adjustment", "rear_sprocket_adjustment", "fork_compression_adjustment",
    "fork_slow_compression_adjustment", "fork_rebound_adjustment", "fork_slow_rebound_adjustment",
    "fork_spring_rate_adjustment", "fork_preload_adjustment", "fork_oil_level_adjustment",
    "shock_compression_adjustment", "shock_slow_compression_adjustment", "shock_rebound_adjustment",
    "shock_slow_rebound_adjustment", "shock_spring_rate_adjustment", "shock_preload_adjustment", "rider_yspring",
    "rider_ydamping", "rider_zspring", "rider_zdamping", "rider_mass_distribution"};

// Each slider's range and the value it has right after start-up.
struct slider_expectation {
    const char* key;
    double minimum, maximum, initial;
};
// clang-format on
// clang-format off
const slider_expectation k_sliders[] = {
    {"stability", 0, 100, 100},           {"leveling", 0, 100, 20},
    {"roll_damping", 0, 100, 80},         {"roll_limit_angle", 0, 180, 45},
    {"roll_limit_factor", 0, 64, 32},     {"steering_damping", 0, 100, 60},
    {"steering_strength", 0, 100, 75},    {"max_steering_force", 0, 1000, 400},
    {"direct_steering", 0, 1, 0.125},     {"slow_damping_speed", 0, 100, 40},
    {"slow_damping_factor", 1, 10, 2},    {"land_damping_falloff", 0, 0.5, 0.25},
    {"land_damping_factor", 1, 3, 2},     {"full_lock_speed", 1, 100, 10},
    {"restricted_lock_speed", 1, 100, 50}, {"restricted_lock", 0, 45, 1},
    {"auto_clutch_rpms", 0, 5000, 5000},  {"brake_torque", 0, 500, 500},
    {"rear_brake_torque", 0, 500, 250},   {"max_dab_speed", 5, 60, 60},
    {"front_sprocket_adjustment", -2, 2, 0}, {"rear_sprocket_adjustment", -2, 2, 0},
    {"fork_compression_adjustment", 0, 100, 50}, {"fork_slow_compression_adjustment", 0, 100, 50},
    {"fork_rebound_adjustment", 0, 100, 50}, {"fork_slow_rebound_adjustment", 0, 100, 50},
    {"fork_spring_rate_adjustment", 0, 100, 50}, {"fork_preload_adjustment", 0, 100, 50},
    {"fork_oil_level_adjustment", 0, 100, 50}, {"shock_compression_adjustment", 0, 100, 75},
    {"shock_slow_compression_adjustment", 0, 100, 50}, {"shock_rebound_adjustment", 0, 100, 75},
    {"shock_slow_rebound_adjustment", 0, 100, 50}, {"shock_spring_rate_adjustment", 0, 100, 50},
    {"shock_preload_adjustment", 0, 100, 50}, {"rider_yspring", 0, 100, 50},
    {"rider_ydamping", 0, 100, 50},        {"rider_zspring", 0, 100, 50},
    {"rider_zdamping", 0, 100, 50},        {"rider_mass_distribution", 0.33, 0.5, 0.33},
};
// clang-format on

struct choice_expectation {
    const char* key;
    const char* initial;
    std::vector<const char*> labels;
};
const choice_expectation k_choices[] = {
    {"arcade", "Yes", {"No", "Yes"}},
    {"front_brake", "Antilock", {"Normal", "Antilock"}},
    {"rear_brake", "Normal", {"Normal", "Antilock"}},
    {"stop_wheelies", "Yes", {"No", "Yes", "Front Only"}},
    {"auto_shift", "Yes", {"No", "Yes"}},
    {"auto_dab", "Yes", {"No", "Yes"}},
    {"auto_align", "Yes", {"No", "Yes"}},
    {"sticky_dab", "No", {"No", "Yes"}},
    {"reverse_steering", "Yes", {"No", "Yes"}},
    {"lean_indicator", "Yes", {"No", "Yes"}},
};

std::string line_value(const setup_values& v, const char* key) {
    std::string prefix = std::string(key) + "=";
    for (const std::string& line : lines_of(setup_values_lines(v)))
        if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
    return "<missing>";
}
} // namespace

TEST(setup_keys, the_57_lines_in_order) {
    std::vector<std::string> lines = lines_of(setup_values_lines(fresh()));
    ASSERT_EQ(lines.size(), 57u);
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(lines[i].substr(0, lines[i].find('=')), k_line_order[i]) << i;
}

TEST(setup_keys, initial_values) {
    setup_values v = fresh();
    for (const slider_expectation& s : k_sliders) {
        const setup_key* k = setup_key_find(s.key);
        ASSERT_NE(k, nullptr) << s.key;
        EXPECT_EQ(k->kind, setup_kind_slider) << s.key;
        EXPECT_DOUBLE_EQ(v.number[k->id], s.initial) << s.key;
        EXPECT_DOUBLE_EQ(k->minimum, s.minimum) << s.key;
        EXPECT_DOUBLE_EQ(k->maximum, s.maximum) << s.key;
    }
    for (const choice_expectation& c : k_choices) {
        EXPECT_EQ(line_value(v, c.key), c.initial) << c.key;
        const setup_key* k = setup_key_find(c.key);
        ASSERT_EQ(k->choice_count, static_cast<int>(c.labels.size())) << c.key;
        for (int i = 0; i < k->choice_count; i++) EXPECT_STREQ(k->choices[i], c.labels[i]) << c.key;
    }
    EXPECT_EQ(line_value(v, "bike"), "yz250f(2017)");
    EXPECT_EQ(line_value(v, "name"), "Joe Motocross");
    EXPECT_EQ(line_value(v, "number"), "999");
    EXPECT_EQ(line_value(v, "stability"), "100.000000");
    EXPECT_EQ(line_value(v, "restricted_lock"), "1.000000");
}

TEST(setup_keys, sliders_clamp_and_ignore_non_numbers) {
    for (const slider_expectation& s : k_sliders) {
        if (strcmp(s.key, "stability") == 0) continue; // the preset has its own test
        setup_values v = fresh();
        const setup_key* k = setup_key_find(s.key);
        char text[64];
        snprintf(text, sizeof text, "%f", s.maximum + 1000);
        EXPECT_TRUE(setup_values_apply_line(v, s.key, text));
        EXPECT_DOUBLE_EQ(v.number[k->id], s.maximum) << s.key;
        snprintf(text, sizeof text, "%f", s.minimum - 1000);
        setup_values_apply_line(v, s.key, text);
        EXPECT_DOUBLE_EQ(v.number[k->id], s.minimum) << s.key;
        double middle = (s.minimum + s.maximum) / 2;
        snprintf(text, sizeof text, "%f", middle);
        setup_values_apply_line(v, s.key, text);
        EXPECT_NEAR(v.number[k->id], middle, 1e-6) << s.key;
        for (const char* junk : {"fast", "", "nan", "inf", "-inf"}) {
            setup_values_apply_line(v, s.key, junk);
            EXPECT_NEAR(v.number[k->id], middle, 1e-6) << s.key << " <- " << junk;
        }
    }
}

TEST(setup_keys, choices_texts_and_unknown_keys) {
    setup_values v = fresh();
    EXPECT_TRUE(setup_values_apply_line(v, "stop_wheelies", "Front Only"));
    EXPECT_EQ(line_value(v, "stop_wheelies"), "Front Only");
    // Labels match exactly: anything else leaves the selection.
    setup_values_apply_line(v, "stop_wheelies", "front only");
    setup_values_apply_line(v, "stop_wheelies", "Front Only ");
    EXPECT_EQ(line_value(v, "stop_wheelies"), "Front Only");
    setup_values_apply_line(v, "number", "123456789");
    EXPECT_EQ(line_value(v, "number"), "123");
    setup_values_apply_line(v, "name", std::string(100, 'x').c_str());
    EXPECT_EQ(line_value(v, "name"), std::string(63, 'x'));
    setup_values_apply_line(v, "bike_texture", std::string(2000, 'b').c_str());
    EXPECT_EQ(line_value(v, "bike_texture").size(), 1023u);
    EXPECT_FALSE(setup_values_apply_line(v, "fov", "90"));
    EXPECT_FALSE(
        setup_values_apply_line(v, "leveling ", "10")); // spaces before '=' make another key
    EXPECT_FALSE(setup_values_apply_line(v, "Leveling", "10"));
}

TEST(setup_keys, bike_names_and_old_names) {
    setup_values v = fresh();
    const char* old_names[][2] = {{"crf250", "crf250(2008)"},
                                  {"kx250f", "kx250f(2008)"},
                                  {"rmz250", "rmz250(2008)"},
                                  {"yz250f", "yz250f(2008)"}};
    for (auto& pair : old_names) {
        setup_values_apply_line(v, "bike", pair[0]);
        EXPECT_EQ(line_value(v, "bike"), pair[1]);
    }
    setup_values_apply_line(v, "bike", "rs50kx");
    EXPECT_EQ(line_value(v, "bike"), "rs50kx");
    // A bike that is not installed leaves the selection.
    setup_values_apply_line(v, "bike", "cr500");
    setup_values_apply_line(v, "bike", "RS50KX");
    EXPECT_EQ(line_value(v, "bike"), "rs50kx");
}

TEST(setup_keys, lines_round_trip) {
    setup_values v = fresh();
    read_lines(v, "bike=350sxf(2013)\nname=Pat "
                  "Dirt\nnumber=42\nrider_texture=rider_body-red\nwheel_texture=wheels-gold\n"
                  "stability=50\nroll_damping=33\narcade=No\nrear_brake=Antilock\nstop_wheelies="
                  "No\nauto_clutch_rpms=2500\n"
                  "max_dab_speed=20\nfront_sprocket_adjustment=-1\nfork_spring_rate_adjustment=73\n"
                  "rider_mass_distribution=0.45\n");
    std::string written = setup_values_lines(v);
    setup_values back;
    for (int i = 0; i < k_setup_key_count; i++)
        back.number[i] = -1; // nothing left over from a reset
    read_lines(back, written);
    EXPECT_EQ(setup_values_lines(back), written);
    EXPECT_EQ(line_value(back, "bike"), "350sxf(2013)");
    EXPECT_EQ(line_value(back, "name"), "Pat Dirt");
    EXPECT_EQ(line_value(back, "roll_damping"), "33.000000");
    EXPECT_EQ(line_value(back, "stability"), "50.000000");
    EXPECT_EQ(line_value(back, "rear_brake"), "Antilock");
    EXPECT_EQ(line_value(back, "rider_mass_distribution"), "0.450000");
}

TEST(setup_keys, the_program_setup_takes_lines) {
    setup_reset();
    EXPECT_TRUE(apply_setup_line("leveling", "33"));
    EXPECT_DOUBLE_EQ(setup().number[key_leveling], 33);
    EXPECT_FALSE(apply_setup_line("xres", "800"));
    setup_reset();
}

TEST(stability, preset_interpolates_the_table) {
    setup_values v = fresh();
    setup_values_apply_line(v, "stability", "50");
    EXPECT_DOUBLE_EQ(v.number[key_roll_damping], 65);
    EXPECT_DOUBLE_EQ(v.number[key_roll_limit_factor], 21);
    EXPECT_DOUBLE_EQ(v.number[key_slow_damping_factor], 1.75);
    EXPECT_DOUBLE_EQ(v.number[key_restricted_lock], 7.5);
    EXPECT_DOUBLE_EQ(v.number[key_land_damping_falloff], 0.25);
    setup_values_apply_line(v, "stability", "0");
    EXPECT_DOUBLE_EQ(v.number[key_roll_limit_angle], 90);
    EXPECT_DOUBLE_EQ(v.number[key_restricted_lock], 45);
    EXPECT_DOUBLE_EQ(v.number[key_direct_steering], 1);
    EXPECT_DOUBLE_EQ(v.number[key_land_damping_falloff], 0);
    EXPECT_DOUBLE_EQ(v.number[key_land_damping_factor], 1);
    setup_values_apply_line(v, "stability", "90");
    EXPECT_DOUBLE_EQ(v.number[key_direct_steering], 0.5625);
    EXPECT_DOUBLE_EQ(v.number[key_steering_damping], 55);
    // Outside 0..100 the end columns hold.
    stability_preset(v, 250);
    EXPECT_DOUBLE_EQ(v.number[key_restricted_lock], 1);
    stability_preset(v, -40);
    EXPECT_DOUBLE_EQ(v.number[key_restricted_lock], 45);
    setup_values_apply_line(v, "stability", "400");
    EXPECT_DOUBLE_EQ(v.number[key_stability], 100);
    EXPECT_DOUBLE_EQ(v.number[key_roll_damping], 80);
}

TEST(stability, file_values_after_the_preset_win) {
    setup_values v = fresh();
    read_lines(v, "stability=100\nroll_damping=30\n");
    EXPECT_DOUBLE_EQ(v.number[key_roll_damping], 30);
    // Written files put stability first, so reading one back keeps its own values.
    setup_values again = fresh();
    read_lines(again, setup_values_lines(v));
    EXPECT_DOUBLE_EQ(again.number[key_roll_damping], 30);
    // A stability line after the value rewrites it.
    read_lines(v, "roll_damping=30\nstability=100\n");
    EXPECT_DOUBLE_EQ(v.number[key_roll_damping], 80);
}

TEST(bike_params, creation_defaults) {
    const bike_info& b = cr125();
    bike_params p = bike_params_defaults(b);
    EXPECT_FLOAT_EQ(p.final_drive_ratio, 4.0f);
    EXPECT_FLOAT_EQ(p.fork_hs_compression, 60);
    EXPECT_FLOAT_EQ(p.fork_ls_compression, 0);
    EXPECT_FLOAT_EQ(p.fork_hs_rebound, 30);
    EXPECT_FLOAT_EQ(p.fork_ls_rebound, 0);
    EXPECT_NEAR(p.fork_spring_rate, 591.3325f, 1e-3f);
    EXPECT_NEAR(p.fork_preload, 0.04165f, 1e-6f);
    EXPECT_FLOAT_EQ(p.fork_air_gap, 0.4167f);
    EXPECT_FLOAT_EQ(p.shock_hs_compression, 1600);
    EXPECT_FLOAT_EQ(p.shock_ls_compression, 0);
    EXPECT_FLOAT_EQ(p.shock_hs_rebound, 1200);
    EXPECT_FLOAT_EQ(p.shock_ls_rebound, 150);
    EXPECT_FLOAT_EQ(p.max_dab_speed, 30);
    EXPECT_FLOAT_EQ(p.restricted_lock, 0.0872665f);
    EXPECT_FLOAT_EQ(p.roll_limit_angle, static_cast<float>(k_pi / 4));
    EXPECT_TRUE(p.stoppie_cut);
    EXPECT_FALSE(p.wheelie_cut);
    EXPECT_TRUE(p.front_antilock);
    EXPECT_FALSE(p.rear_antilock);
    EXPECT_FALSE(p.auto_shift);
    EXPECT_FALSE(p.auto_dab);
    EXPECT_TRUE(p.auto_align);
    EXPECT_FALSE(p.arcade);
    // A third of the rider rides on the rider body.
    EXPECT_FLOAT_EQ(p.rider_body_mass, b.rider_mass / 3);
    EXPECT_FLOAT_EQ(p.frame_body_mass + p.rider_body_mass, b.frame_mass + b.rider_mass);
}

TEST(bike_params, the_initial_setup_on_a_125) {
    const bike_info& b = cr125();
    bike_params p = bike_params_defaults(b);
    setup_apply_values(fresh(), b, p);
    EXPECT_FLOAT_EQ(p.roll_damping, 80);
    EXPECT_FLOAT_EQ(p.roll_limit_angle, static_cast<float>(45 * k_pi / 180));
    EXPECT_FLOAT_EQ(p.restricted_lock, static_cast<float>(k_pi / 180));
    EXPECT_FLOAT_EQ(p.max_dab_speed, 88); // 60 mph
    EXPECT_FLOAT_EQ(p.brake_torque, 500);
    EXPECT_TRUE(p.arcade);
    EXPECT_TRUE(p.wheelie_cut);
    EXPECT_TRUE(p.stoppie_cut);
    EXPECT_TRUE(p.auto_shift);
    // At 50 the damping factors are 1 and the low-speed terms 0; the shock at 75 doubles.
    EXPECT_FLOAT_EQ(p.fork_hs_compression, 60);
    EXPECT_FLOAT_EQ(p.fork_ls_compression, 0);
    EXPECT_FLOAT_EQ(p.shock_hs_compression, 1600);
    EXPECT_FLOAT_EQ(p.shock_hs_rebound, 1200);
    EXPECT_FLOAT_EQ(p.shock_ls_rebound, 0);
    EXPECT_NEAR(p.fork_spring_rate, 591.3f, 0.1f);
    EXPECT_NEAR(p.fork_air_gap, 0.3333f, 1e-4f);
    EXPECT_FLOAT_EQ(p.rider_yspring, 0.5f);
    EXPECT_FLOAT_EQ(p.rider_mass_distribution, 0.33f);
    EXPECT_EQ(setup_display_value(fresh(), b, key_fork_spring_rate), "0.440 kg/mm");
    EXPECT_EQ(setup_display_value(fresh(), b, key_shock_spring_rate), "4.70 kg/mm");
    EXPECT_EQ(setup_display_value(fresh(), b, key_fork_preload), "12.69 mm");
    EXPECT_EQ(setup_display_value(fresh(), b, key_rear_sprocket_adjustment), "52.00 teeth");
    EXPECT_EQ(setup_display_value(fresh(), b, key_leveling), "");
}

TEST(bike_params, damping_adjusters) {
    const bike_info& b = cr125();
    setup_values v = fresh();
    bike_params p = bike_params_defaults(b);
    setup_set_slider(v, key_fork_compression, 0);
    setup_set_slider(v, key_fork_rebound, 100);
    setup_set_slider(v, key_fork_slow_compression, 0);
    setup_set_slider(v, key_shock_slow_rebound, 100);
    setup_set_slider(v, key_shock_compression, 25);
    setup_apply_values(v, b, p);
    EXPECT_FLOAT_EQ(p.fork_hs_compression, 0.25f * 60);
    EXPECT_FLOAT_EQ(p.fork_hs_rebound, 4 * b.fork_damping[2]);
    EXPECT_FLOAT_EQ(p.fork_ls_compression, -60);
    EXPECT_FLOAT_EQ(p.shock_ls_rebound, 150);
    EXPECT_FLOAT_EQ(p.shock_hs_compression, 400);
}

TEST(bike_params, gearing) {
    const bike_info& b = cr125();
    setup_values v = fresh();
    bike_params p = bike_params_defaults(b);
    read_lines(v, "front_sprocket_adjustment=5\nrear_sprocket_adjustment=-1.5\n");
    setup_apply_values(v, b, p);
    // 5 acts as 2: 15 teeth; 52 - 1.5 rounds down to 50.
    EXPECT_FLOAT_EQ(p.final_drive_ratio, 50.0f / 15.0f);
    EXPECT_EQ(setup_sprocket_teeth(4, -2), 3);
    EXPECT_EQ(setup_sprocket_teeth(3, -2), 3);
    EXPECT_EQ(setup_sprocket_teeth(13, 7), 15);
    EXPECT_EQ(setup_sprocket_teeth(13, NAN), 13);
}

TEST(bike_params, setters_clamp) {
    bike_params p = bike_params_defaults(cr125());
    bike_param_set(p, param_max_dab_speed, 3 * 22.0f / 15); // 3 mph
    EXPECT_FLOAT_EQ(p.max_dab_speed, 7);
    bike_param_set(p, param_roll_limit_angle, 10);
    EXPECT_FLOAT_EQ(p.roll_limit_angle, static_cast<float>(k_pi));
    bike_param_set(p, param_restricted_lock, -1);
    EXPECT_FLOAT_EQ(p.restricted_lock, 0);
    bike_param_set(p, param_slow_damping_factor, 0);
    EXPECT_FLOAT_EQ(p.slow_damping_factor, 1);
    bike_param_set(p, param_rider_zdamping, 2);
    EXPECT_FLOAT_EQ(p.rider_zdamping, 1);
    bike_param_set(p, param_leveling, NAN);
    EXPECT_FLOAT_EQ(p.leveling, 20);
    EXPECT_STREQ(bike_param_name(param_auto_clutch_rpms), "auto_clutch_rpms");
    for (int i = 0; i < param_count; i++) {
        auto id = static_cast<bike_param_id>(i);
        bike_param_set(p, id, 1e9f);
        float high = bike_param_get(p, id);
        bike_param_set(p, id, -1e9f);
        EXPECT_LT(bike_param_get(p, id), high) << bike_param_name(id);
        EXPECT_LE(high, 5000) << bike_param_name(id);
        EXPECT_GE(bike_param_get(p, id), 0) << bike_param_name(id);
    }
}

TEST(bike_params, rider_mass_distribution_moves_mass) {
    const bike_info& b = bike_info_at(bike_info_find("crf450(2018)"));
    bike_params p = bike_params_defaults(b);
    float total = p.frame_body_mass + p.rider_body_mass;
    for (float d : {0.1f, 0.4f, 0.9f}) {
        bike_params_set_mass_distribution(p, b, d);
        EXPECT_FLOAT_EQ(p.frame_body_mass + p.rider_body_mass, total);
        EXPECT_GE(p.rider_mass_distribution, 0.33f);
        EXPECT_LE(p.rider_mass_distribution, 0.5f);
    }
    bike_params_set_mass_distribution(p, b, 0.5f);
    EXPECT_FLOAT_EQ(p.rider_body_mass, b.rider_mass / 2);
    EXPECT_FLOAT_EQ(p.rider_body_inertia, 0.4f * b.rider_mass / 2);
    // A box of 0.8333 x 1.6667 x 1.6667 ft: yaw and roll inertias each come from two sides.
    float m = p.frame_body_mass;
    EXPECT_NEAR(p.frame_body_inertia.x, m * (1.6667f * 1.6667f * 2) / 12, 1e-4f);
    EXPECT_NEAR(p.frame_body_inertia.y, m * (0.8333f * 0.8333f + 1.6667f * 1.6667f) / 12, 1e-4f);
}

TEST(setup_apply, refused_while_moving) {
    const bike_info& b = cr125();
    setup_refusal_reset();
    messages_clear();
    setup_values v = fresh();
    setup_set_slider(v, key_leveling, 77);
    bike_params p = bike_params_defaults(b);
    // First refusal: silent. A second within 10 s: the message. Neither applies.
    EXPECT_FALSE(setup_apply(v, b, p, 3.0f, 100.0));
    EXPECT_EQ(messages_visible(), 0);
    EXPECT_FALSE(setup_apply(v, b, p, 3.0f, 105.0));
    EXPECT_EQ(message_recent(0), "Settings not applied.  Mechanic can't keep up error.");
    EXPECT_FLOAT_EQ(p.leveling, 20);
    int shown = messages_visible();
    // Over 10 s later it is silent again.
    EXPECT_FALSE(setup_apply(v, b, p, 3.0f, 116.0));
    EXPECT_EQ(messages_visible(), shown);
    // Standing (or creeping under 0.125 ft/s) it applies.
    EXPECT_TRUE(setup_apply(v, b, p, 0.1f, 117.0));
    EXPECT_FLOAT_EQ(p.leveling, 77);
    setup_refusal_reset();
}

TEST(setup_apply, a_first_refusal_early_in_the_run_is_silent) {
    setup_refusal_reset();
    messages_clear();
    bike_params p = bike_params_defaults(cr125());
    EXPECT_FALSE(setup_apply(fresh(), cr125(), p, 10.0f, 0.0));
    EXPECT_EQ(messages_visible(), 0);
    setup_refusal_reset();
}
