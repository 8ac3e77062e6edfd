// The bike catalogue: names and order, the published rows, and physical sense of every record.
#include "bike/bike_data.h"

#include "common/message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {
// The catalogue order and classes every demo, setup and network peer relies on.
// clang-format off
const std::pair<const char*, const char*> k_expected[k_bike_count] = {
    {"cr125", "125"},          {"crf250(2007)", "250f"},   {"crf250(2008)", "250f"},   {"crf250(2009)", "250f"},
    {"crf250(2013)", "250f"},  {"crf250(2016)", "250f"},   {"crf250(2017)", "250f"},   {"crf250(2018)", "250f"},
    {"cr250(2007)", "250"},    {"crf450(2011)", "450f"},   {"crf450(2013)", "450f"},   {"crf450(2016)", "450f"},
    {"crf450(2017)", "450f"},  {"crf450(2018)", "450f"},   {"kx125", "125"},           {"kx250f(2007)", "250f"},
    {"kx250f(2008)", "250f"},  {"kx250f(2009)", "250f"},   {"kx250f(2013)", "250f"},   {"kx250f(2016)", "250f"},
    {"kx250f(2017)", "250f"},  {"kx250f(2018)", "250f"},   {"kx250(2006)", "250"},     {"kx450f(2011)", "450f"},
    {"kx450f(2013)", "450f"},  {"kx450f(2016)", "450f"},   {"kx450f(2017)", "450f"},   {"kx450f(2018)", "450f"},
    {"rm125", "125"},          {"rmz250(2007)", "250f"},   {"rmz250(2008)", "250f"},   {"rmz250(2009)", "250f"},
    {"rmz250(2013)", "250f"},  {"rmz250(2016)", "250f"},   {"rmz250(2017)", "250f"},   {"rmz250(2018)", "250f"},
    {"rm250(2008)", "250"},    {"rmz450(2011)", "450f"},   {"rmz450(2013)", "450f"},   {"rmz450(2016)", "450f"},
    {"rmz450(2017)", "450f"},  {"rmz450(2018)", "450f"},   {"yz125", "125"},           {"yz250f(2007)", "250f"},
    {"yz250f_se(2006)", "250f"}, {"yz250f(2008)", "250f"}, {"yz250f(2009)", "250f"},   {"yz250f(2013)", "250f"},
    {"yz250f(2016)", "250f"},  {"yz250f(2017)", "250f"},   {"yz250f(2018)", "250f"},   {"yz250(2012)", "250"},
    {"yz450f(2011)", "450f"},  {"yz450f(2013)", "450f"},   {"yz450f(2016)", "450f"},   {"yz450f(2017)", "450f"},
    {"yz450f(2018)", "450f"},  {"125sx", "125"},           {"250sxf(2009)", "250f"},   {"250sxf(2013)", "250f"},
    {"250sxf(2016)", "250f"},  {"250sxf(2017)", "250f"},   {"250sxf(2018)", "250f"},   {"250sx(2012)", "250"},
    {"350sxf(2011)", "450f"},  {"350sxf(2013)", "250f"},   {"350sxf(2017)", "250f"},   {"450sxf(2011)", "450f"},
    {"450sxf(2013)", "450f"},  {"450sxf(2016)", "450f"},   {"450sxf(2017)", "450f"},   {"450sxf(2018)", "450f"},
    {"fc250(2017)", "250f"},   {"fc250(2018)", "250f"},    {"fc450(2017)", "450f"},    {"fc450(2018)", "450f"},
    {"rs50cr", "50"},          {"rs50kx", "50"},           {"rs50rm", "50"},           {"rs50yz", "50"},
};
// clang-format on

const bike_info& by_name(const char* name) {
    int index = bike_info_find(name);
    EXPECT_GE(index, 0) << name;
    return bike_info_at(index < 0 ? 0 : index);
}

bool is_class(const bike_info& b, const char* c) { return strcmp(b.bike_class, c) == 0; }

constexpr float k_mph = 15.0f / 22.0f; // per ft/s
} // namespace

TEST(catalogue, names_classes_and_order) {
    std::set<std::string> names;
    for (int i = 0; i < k_bike_count; i++) {
        const bike_info& b = bike_info_at(i);
        EXPECT_STREQ(b.name, k_expected[i].first) << i;
        EXPECT_STREQ(b.bike_class, k_expected[i].second) << b.name;
        EXPECT_LT(strlen(b.name), sizeof b.name);
        names.insert(b.name);
        EXPECT_EQ(bike_info_find(b.name), i);
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(k_bike_count));
    EXPECT_STREQ(bike_info_at(bike_default_index()).name, "yz250f(2017)");
}

TEST(catalogue, find_is_exact_and_case_sensitive) {
    EXPECT_EQ(bike_info_find("CR125"), -1);
    EXPECT_EQ(bike_info_find("cr125 "), -1);
    EXPECT_EQ(bike_info_find(""), -1);
    EXPECT_EQ(bike_info_find(nullptr), -1);
    EXPECT_EQ(bike_info_find("cr125"), 0);
}

TEST(catalogue, unknown_names_fall_back_with_a_message) {
    messages_clear();
    EXPECT_EQ(bike_info_find_or_fallback("cr125x"), bike_info_find("cr125"));
    EXPECT_EQ(message_recent(0), "bike info for 'cr125x' not found using 'cr125' instead");
    EXPECT_EQ(bike_info_find_or_fallback("foo"), bike_info_find("kx250f(2007)"));
    EXPECT_EQ(message_recent(0), "bike info for 'foo' not found using 'kx250f(2007)' instead");
    // The requested name is cut to 20 characters in the message.
    EXPECT_EQ(bike_info_find_or_fallback("a_very_long_bike_name_indeed"),
              bike_info_find("kx250f(2007)"));
    EXPECT_EQ(message_recent(0),
              "bike info for 'a_very_long_bike_nam' not found using 'kx250f(2007)' instead");
    // A known name finds itself quietly.
    int visible = messages_visible();
    EXPECT_EQ(bike_info_find_or_fallback("rs50yz"), bike_info_find("rs50yz"));
    EXPECT_EQ(messages_visible(), visible);
}

TEST(catalogue, the_reference_125) {
    const bike_info& b = by_name("cr125");
    EXPECT_FLOAT_EQ(b.front_wheel_position.y, 1.09f);
    EXPECT_FLOAT_EQ(b.front_rim_radius + b.front_tyre_radius, 1.1666f);
    EXPECT_FLOAT_EQ(b.frame_mass, 3.65375f);
    EXPECT_FLOAT_EQ(b.fork_spring_rate_range[0], 322.545f);
    EXPECT_FLOAT_EQ(b.fork_spring_rate_range[1], 860.12f);
    EXPECT_FLOAT_EQ(b.shock_spring_rate_range[1], 4502.19f);
    EXPECT_FLOAT_EQ(b.shock_damping[2], 600);
    EXPECT_FLOAT_EQ(b.fork_damping[2], 30);
    EXPECT_FLOAT_EQ(b.linkage_slopes[1], 0.460479f);
    EXPECT_FLOAT_EQ(b.gear_ratios[4], 1.13333f);
    EXPECT_LT(b.gear_ratios[5], 0);
    // The curves as measured: 5 lbf·ft from standstill, the limiter above 12750 rpm.
    EXPECT_FLOAT_EQ(b.open_throttle_torque[0], 5);
    EXPECT_FLOAT_EQ(b.open_throttle_torque[20], 15.9664f);
    EXPECT_FLOAT_EQ(b.open_throttle_torque[25], 2.10085f);
    EXPECT_FLOAT_EQ(b.open_throttle_torque[49], -11);
    EXPECT_FLOAT_EQ(b.closed_throttle_torque[3], 0);
    EXPECT_FLOAT_EQ(b.closed_throttle_torque[15], -3.67f);
    EXPECT_FLOAT_EQ(b.closed_throttle_torque[27], -12);
    EXPECT_FLOAT_EQ(b.closed_throttle_torque[49], -23);
    EXPECT_STREQ(b.frame_model, "@cr125_frame.jm");
    EXPECT_STREQ(b.bike_texture, "@cr125.png");
    EXPECT_STREQ(b.side_plates_model, "@cr125_side_plates.jm");
    EXPECT_STREQ(b.front_wheel_shape, "@front_wheel.shp");
    EXPECT_STREQ(b.rider_body_first_person_model, "@rider_body_fp.jm");
    EXPECT_FLOAT_EQ(b.rider_skeleton[skeleton_right_grip], 1.097f);
    EXPECT_FLOAT_EQ(b.rider_skeleton[skeleton_shin], 1.701f);
    EXPECT_FLOAT_EQ(b.rider_skeleton[57], 0.01f);
}

TEST(catalogue, published_rows) {
    struct row {
        const char* name;
        float frame_mass, rider_mass, primary, front, rear;
        int gears;
        float inertia, stiffness, damping, peak, peak_rpm, down, up, max;
    };
    const row rows[] = {
        {"cr125", 3.65375f, 4.6875f, 3.15f, 13, 52, 5, 0.0048828f, 7500, 0.75f, 15.97f, 10000, 9400,
         12000, 12750},
        {"crf250(2018)", 4.24f, 4.6875f, 3.47368f, 13, 49, 5, 0.0048828f, 7500, 0.75f, 18.44f,
         10000, 8000, 12500, 13250},
        {"cr250(2007)", 4.36562f, 5.46875f, 3.0f, 13, 49, 5, 0.0068359f, 7500, 0.75f, 32.84f, 7500,
         6000, 9000, 10500},
        {"crf450(2018)", 4.735f, 5.46875f, 2.32143f, 13, 49, 5, 0.0088501f, 7500, 0.75f, 35.4f,
         7500, 6000, 10500, 12000},
        {"rs50cr", 3.34125f, 4.6875f, 3.71429f, 12, 55, 6, 0.0011936f, 1200, 1.0f, 4.31f, 9500,
         9400, 12000, 12750},
    };
    for (const row& r : rows) {
        const bike_info& b = by_name(r.name);
        SCOPED_TRACE(r.name);
        EXPECT_FLOAT_EQ(b.frame_mass, r.frame_mass);
        EXPECT_FLOAT_EQ(b.rider_mass, r.rider_mass);
        EXPECT_FLOAT_EQ(b.primary_ratio, r.primary);
        EXPECT_FLOAT_EQ(b.front_sprocket, r.front);
        EXPECT_FLOAT_EQ(b.rear_sprocket, r.rear);
        EXPECT_EQ(bike_gear_count(b), r.gears);
        EXPECT_FLOAT_EQ(b.engine_inertia, r.inertia);
        EXPECT_FLOAT_EQ(b.driveline_stiffness, r.stiffness);
        EXPECT_FLOAT_EQ(b.driveline_damping, r.damping);
        float at = 0;
        EXPECT_NEAR(bike_peak_open_torque(b, &at), r.peak, 0.005f);
        EXPECT_EQ(at, r.peak_rpm);
        EXPECT_EQ(b.auto_downshift_rpm, r.down);
        EXPECT_EQ(b.auto_upshift_rpm, r.up);
        EXPECT_EQ(b.max_rpm, r.max);
    }
}

// Chassis, wheels, shapes and rider files are shared; only the listed fields may differ.
TEST(catalogue, shared_fields_are_shared) {
    const bike_info& ref = bike_info_at(0);
    for (int i = 0; i < k_bike_count; i++) {
        const bike_info& b = bike_info_at(i);
        SCOPED_TRACE(b.name);
        EXPECT_EQ(b.rear_wheel_position.z, ref.rear_wheel_position.z);
        EXPECT_EQ(b.steering_head_position.y, ref.steering_head_position.y);
        EXPECT_EQ(b.swingarm_pivot.z, ref.swingarm_pivot.z);
        EXPECT_EQ(b.fork_travel, ref.fork_travel);
        EXPECT_EQ(b.swingarm_travel, ref.swingarm_travel);
        EXPECT_EQ(memcmp(b.rider_skeleton, ref.rider_skeleton, sizeof ref.rider_skeleton), 0);
        EXPECT_STREQ(b.frame_shape, "@generic_frame.shp");
        EXPECT_STREQ(b.rider_shape, "@generic_rider.shp");
        EXPECT_STREQ(b.wheel_texture, ref.wheel_texture);
        // Texture variants split model names at the first '-': a base name must not have one.
        EXPECT_EQ(strchr(b.frame_model, '-'), nullptr);
        EXPECT_EQ(b.frame_model[0], '@');
        EXPECT_EQ(strchr(b.frame_model, '('), nullptr);
    }
}

TEST(catalogue, every_record_is_a_plausible_motorcycle) {
    for (int i = 0; i < k_bike_count; i++) {
        const bike_info& b = bike_info_at(i);
        SCOPED_TRACE(b.name);
        bool mini = is_class(b, "50");
        // 100 to 160 lb of frame and engine, a 150 to 175 lb rider.
        EXPECT_GT(b.frame_mass, 3.1f);
        EXPECT_LT(b.frame_mass, 5.0f);
        EXPECT_GE(b.rider_mass, 4.5f);
        EXPECT_LE(b.rider_mass, 5.5f);
        EXPECT_GT(b.fork_mass, 0.3f);
        EXPECT_LT(b.fork_mass, 1.0f);
        EXPECT_GT(b.swingarm_mass, 0.25f);
        EXPECT_LT(b.swingarm_mass, 0.8f);
        // Springs at their middle setting: 0.3 to 0.6 kg/mm per fork leg, 3 to 6.5 kg/mm shock.
        float fork_mid =
            (b.fork_spring_rate_range[0] + b.fork_spring_rate_range[1]) / 2 * 0.000744082f;
        float shock_mid =
            (b.shock_spring_rate_range[0] + b.shock_spring_rate_range[1]) / 2 * 0.00148816f;
        EXPECT_GT(fork_mid, mini ? 0.2f : 0.3f);
        EXPECT_LT(fork_mid, 0.6f);
        EXPECT_GT(shock_mid, mini ? 2.0f : 3.0f);
        EXPECT_LT(shock_mid, 6.5f);
        EXPECT_LT(b.fork_spring_rate_range[0], b.fork_spring_rate_range[1]);
        EXPECT_LT(b.shock_spring_rate_range[0], b.shock_spring_rate_range[1]);
        // Gearboxes: 5 or 6 gears, each taller than the last, missing gears only at the top.
        int gears = bike_gear_count(b);
        EXPECT_GE(gears, 5);
        for (int g = 1; g < gears; g++) EXPECT_LT(b.gear_ratios[g], b.gear_ratios[g - 1]);
        for (int g = gears; g < k_gear_count; g++) EXPECT_LE(b.gear_ratios[g], 0);
        EXPECT_GT(b.primary_ratio, 2.0f);
        EXPECT_LT(b.primary_ratio, 4.0f);
        EXPECT_GT(b.rear_sprocket / b.front_sprocket, 3.4f);
        EXPECT_LT(b.rear_sprocket / b.front_sprocket, 4.8f);
        // Road speeds at max_rpm: first gear for a start, top gear for the longest straight.
        float first = bike_speed_at_rpm(b, 0, b.max_rpm) * k_mph;
        float top = bike_speed_at_rpm(b, gears - 1, b.max_rpm) * k_mph;
        EXPECT_GT(first, mini ? 12.0f : 20.0f);
        EXPECT_LT(first, mini ? 30.0f : 45.0f);
        EXPECT_GT(top, mini ? 30.0f : 60.0f);
        EXPECT_LT(top, mini ? 55.0f : 95.0f);
        // Shifting points inside the rev range, and the limiter above the rated maximum.
        EXPECT_LT(b.auto_downshift_rpm, b.auto_upshift_rpm);
        EXPECT_LT(b.auto_upshift_rpm, b.max_rpm);
        EXPECT_GT(b.max_rpm, 9000);
        EXPECT_LT(b.max_rpm, 15000);
        // Every upshift must land above the downshift point, or automatic shifting hunts.
        for (int g = 1; g < gears; g++)
            EXPECT_GT(b.auto_upshift_rpm * b.gear_ratios[g] / b.gear_ratios[g - 1],
                      b.auto_downshift_rpm * 0.9f);
        float peak_rpm = 0;
        float peak = bike_peak_open_torque(b, &peak_rpm);
        EXPECT_LT(peak_rpm, b.max_rpm);
        EXPECT_GT(peak_rpm, 5000);
        for (int s = 0; s < k_torque_samples; s++) {
            float rpm = s * 500.0f;
            if (rpm <= b.max_rpm) {
                EXPECT_GT(b.open_throttle_torque[s], 0) << rpm;
            }
            if (rpm >= b.max_rpm + 500) {
                EXPECT_LE(b.open_throttle_torque[s], 0) << rpm;
            }
            if (s > 0 && rpm > b.max_rpm) {
                EXPECT_LE(b.open_throttle_torque[s], b.open_throttle_torque[s - 1]);
            }
            EXPECT_LE(b.closed_throttle_torque[s], b.open_throttle_torque[s] + 1e-4f) << rpm;
            if (rpm >= 2000) {
                EXPECT_LT(b.closed_throttle_torque[s], 0) << rpm;
            }
        }
        // At idle the engine holds itself against its own drag.
        EXPECT_GT(b.closed_throttle_torque[0], 0);
        EXPECT_GT(peak, 3.0f);
        EXPECT_GT(b.engine_inertia, 0.0005f);
        EXPECT_LT(b.engine_inertia, 0.02f);
    }
}

TEST(catalogue, bigger_classes_pull_harder) {
    std::map<std::string, std::vector<const bike_info*>> by_class;
    for (int i = 0; i < k_bike_count; i++)
        by_class[bike_info_at(i).bike_class].push_back(&bike_info_at(i));
    // skip_350: the 350 cc four-strokes race as 250f but are not quarter-litre engines.
    auto stronger = [&](const char* big, const char* small, bool skip_350 = false) {
        for (const bike_info* a : by_class[big])
            for (const bike_info* b : by_class[small]) {
                if (skip_350 && strncmp(b->name, "350", 3) == 0) continue;
                EXPECT_GT(bike_peak_power_hp(*a), bike_peak_power_hp(*b))
                    << a->name << " vs " << b->name;
                EXPECT_GT(bike_peak_open_torque(*a, nullptr), bike_peak_open_torque(*b, nullptr))
                    << a->name << " vs " << b->name;
            }
    };
    stronger("450f", "250f");
    stronger("250f", "125");
    stronger("250", "125");
    stronger("125", "50");
    stronger("250", "250f", true);
    // A 50 is a minibike: under 10 hp with the lightest crank.
    for (const bike_info* b : by_class["50"]) {
        EXPECT_LT(bike_peak_power_hp(*b), 10);
        for (const bike_info* big : by_class["125"])
            EXPECT_LT(b->engine_inertia, big->engine_inertia);
    }
    // Open-class bikes are heavier than the 125s.
    for (const bike_info* a : by_class["450f"])
        for (const bike_info* b : by_class["125"]) EXPECT_GT(a->frame_mass, b->frame_mass);
}

TEST(catalogue, menu_order) {
    int order[k_bike_count];
    bike_menu_order(order);
    std::set<int> seen(order, order + k_bike_count);
    EXPECT_EQ(seen.size(), static_cast<size_t>(k_bike_count));
    // Big four-strokes and 350s newest first, then the two-stroke 250s, 250f, 125s and 50s.
    const bike_info& first = bike_info_at(order[0]);
    EXPECT_TRUE(strstr(first.name, "(2018)") != nullptr) << first.name;
    EXPECT_TRUE(is_class(first, "450f"));
    auto group = [](const bike_info& b) {
        if (strncmp(b.name, "350", 3) == 0 || is_class(b, "450f")) return 0;
        if (is_class(b, "250")) return 1;
        if (is_class(b, "250f")) return 2;
        return is_class(b, "125") ? 3 : 4;
    };
    for (int i = 1; i < k_bike_count; i++)
        EXPECT_LE(group(bike_info_at(order[i - 1])), group(bike_info_at(order[i])));
    EXPECT_STREQ(bike_info_at(order[k_bike_count - 1]).bike_class, "50");
    int index_350_2017 = bike_info_find("350sxf(2017)");
    int position = static_cast<int>(std::find(order, order + k_bike_count, index_350_2017) - order);
    EXPECT_EQ(group(bike_info_at(order[position])), 0);
}
