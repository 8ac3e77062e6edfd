// Catalogue lookup by name, the fallback for unknown names, and numbers derived from a record.
#include "bike/data/bike_info.h"

#include "common/common.h"
#include "common/message.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

int bike_info_find(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < k_bike_count; i++)
        if (strcmp(bike_info_at(i).name, name) == 0) return i;
    return -1;
}

namespace {
int first_containing(const char* part) {
    for (int i = 0; i < k_bike_count; i++)
        if (strstr(bike_info_at(i).name, part)) return i;
    return 0;
}
} // namespace

int bike_info_find_or_fallback(const char* name) {
    if (!name) name = "";
    int index = bike_info_find(name);
    if (index >= 0) return index;
    index = strstr(name, "125") ? first_containing("125") : first_containing("250f");
    show_message("bike info for '%.20s' not found using '%.20s' instead", name,
                 bike_info_at(index).name);
    return index;
}

int bike_default_index() {
    int index = bike_info_find(k_default_bike_name);
    return index >= 0 ? index : 0;
}

namespace {
// The menu's groups: big four-strokes (and every 350), two-stroke 250s, 250f, 125, 50.
int menu_group(const bike_info& b) {
    if (strncmp(b.name, "350", 3) == 0 || strcmp(b.bike_class, "450f") == 0) return 0;
    if (strcmp(b.bike_class, "250") == 0) return 1;
    if (strcmp(b.bike_class, "250f") == 0) return 2;
    if (strcmp(b.bike_class, "125") == 0) return 3;
    return 4;
}

int model_year(const bike_info& b) {
    const char* open = strchr(b.name, '(');
    return open ? atoi(open + 1) : 0;
}
} // namespace

void bike_menu_order(int order[k_bike_count]) {
    for (int i = 0; i < k_bike_count; i++) order[i] = i;
    std::stable_sort(order, order + k_bike_count, [](int a, int b) {
        const bike_info& x = bike_info_at(a);
        const bike_info& y = bike_info_at(b);
        if (menu_group(x) != menu_group(y)) return menu_group(x) < menu_group(y);
        return model_year(x) > model_year(y);
    });
}

float bike_rpm_of_radians(float omega) {
    return omega * static_cast<float>(k_rpm_per_radian_per_second);
}

float bike_peak_open_torque(const bike_info& info, float* at_rpm) {
    int best = 0;
    for (int i = 1; i < k_torque_samples; i++)
        if (info.open_throttle_torque[i] > info.open_throttle_torque[best]) best = i;
    if (at_rpm) *at_rpm = static_cast<float>(best * 500);
    return info.open_throttle_torque[best];
}

float bike_peak_power_hp(const bike_info& info) {
    float best = 0;
    for (int i = 0; i < k_torque_samples; i++)
        best =
            std::max(best, info.open_throttle_torque[i] * static_cast<float>(i * 500) / 5252.113f);
    return best;
}

int bike_gear_count(const bike_info& info) {
    int n = 0;
    while (n < k_gear_count && info.gear_ratios[n] > 0) n++;
    return n;
}

float bike_speed_at_rpm(const bike_info& info, int gear, float rpm) {
    if (gear < 0 || gear >= k_gear_count || info.gear_ratios[gear] <= 0 || info.front_sprocket <= 0)
        return 0;
    float overall =
        info.gear_ratios[gear] * info.primary_ratio * (info.rear_sprocket / info.front_sprocket);
    float rolling_radius = info.rear_rim_radius + info.rear_tyre_radius;
    return rpm / static_cast<float>(k_rpm_per_radian_per_second) / overall * rolling_radius;
}
