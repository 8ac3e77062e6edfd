// Rider inputs per slot, and the bike tables start-up and shut-down reach.
#include "bike/sim/bike_local.h"

#include <algorithm>

namespace {
struct input_state {
    rider_input slots[k_max_riders];
};
input_state g_inputs;

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
float clamp11(float v) { return std::clamp(v, -1.0f, 1.0f); }
} // namespace

const rider_input& rider_input_of(int slot) {
    TB_ASSERT(slot >= 0 && slot < k_max_riders);
    return g_inputs.slots[slot];
}

void rider_input_set(int slot, const rider_input& in) {
    TB_ASSERT(slot >= 0 && slot < k_max_riders);
    rider_input& out = g_inputs.slots[slot];
    out.throttle = clamp01(in.throttle);
    out.clutch = clamp01(in.clutch);
    out.front_brake = clamp01(in.front_brake);
    out.rear_brake = clamp01(in.rear_brake);
    out.steer = clamp11(in.steer);
    out.sit = clamp01(in.sit);
    out.back_up = clamp01(in.back_up);
    out.lean = clamp11(in.lean);
    out.shift = std::clamp(in.shift, -1, 1);
}

void bike_select_default() { setup_reset(); }
bool setup_reverse_steering() { return setup().choice[key_reverse_steering] == 1; }
bool setup_sticky_dab() { return setup().choice[key_sticky_dab] == 1; }
void bike_tables_free() { shape_cache_free(); }

void rider_inputs_reset() { g_inputs = input_state{}; }
