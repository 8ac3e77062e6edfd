// Robot shuffle, gate drop and grid places.
#include "race/race_grid.h"

#include "common/common.h"
#include "common/random.h"
#include "track/track_gates.h"

#include <cmath>
#include <utility>

void robot_order_shuffle(int race_clock_at_reset, int order[k_robot_count]) {
    random_seed(static_cast<uint32_t>(race_clock_at_reset));
    for (int i = 0; i < k_robot_count; i++) order[i] = i;
    for (int k = k_robot_count - 1; k >= 1; k--) {
        int j = static_cast<int>((random_next() >> 16) % static_cast<uint32_t>(k));
        std::swap(order[k], order[j]);
    }
}

int gate_drop_draw() {
    double u = (random_next() & 0x7fffffffu) / 2147483648.0;
    return static_cast<int>((13 + 2 * u) / k_tic_length);
}

void grid_position(int place, float extent, float* x, float* z, float* heading) {
    int slots = start_slot_count();
    if (slots == 0) {
        *x = extent / 2 + 5.0f * place;
        *z = extent / 2;
        *heading = 0;
        return;
    }
    const start_slot& s = start_slot_at(place % slots);
    float row = static_cast<float>(place / slots) + 0.0625f;
    *x = s.point[0] + std::sin(s.heading) * row * 10;
    *z = s.point[2] + std::cos(s.heading) * row * 10;
    *heading = s.heading;
}
