// The twenty binding records and how their values add up into the nine action channels.
#include "core/bindings.h"

#include "platform/controls.h"

namespace {
struct binding_default {
    const char* key;
    const char* label;
    const char* control;
    int channel;
    float scale;
};

constexpr binding_default k_defaults[k_binding_count] = {
    {"throttle_key", "Throttle", "x", action_throttle, 1},
    {"front_brake_key", "Front Brake", "c", action_front_brake, 1},
    {"rear_brake_key", "Rear Brake", "v", action_rear_brake, 1},
    {"left_key", "Left", "left", action_steer, 1},
    {"right_key", "Right", "right", action_steer, -1},
    {"clutch_key", "Clutch", "z", action_clutch, 1},
    {"upshift_key", "Upshift", "up", action_shift, 1},
    {"downshift_key", "Downshift", "down", action_shift, -1},
    {"dab_key", "Sit/Dab", "right ctrl", action_sit, 1},
    {"back_up_key", "Back up", "b", action_back_up, 1},
    {"lean_forward_key", "Lean Forward", "n", action_lean, -1},
    {"lean_backward_key", "Lean Backward", "m", action_lean, 1},
    {"pause_key", "Pause", "pause", -1, 0},
    {"step_key", "Step", ".", -1, 0},
    {"rewind_key", "Rewind", "\\", -1, 0},
    {"skip_key", "Skip", "/", -1, 0},
    {"prev_key", "Previous Bike", "[", -1, 0},
    {"next_key", "Next Bike", "]", -1, 0},
    {"console_key", "Chat", "t", -1, 0},
    {"screenshot_key", "Screenshot", "s", -1, 0},
};
constexpr int k_first_special = 12;
static_assert(k_binding_count - k_first_special == special_count);

binding g_bindings[k_binding_count];
bool g_initialised = false;

void ensure() {
    if (!g_initialised) bindings_reset();
}
} // namespace

binding* bindings() {
    ensure();
    return g_bindings;
}

binding& special(special_binding which) {
    ensure();
    return g_bindings[k_first_special + which];
}

void bindings_reset() {
    for (int i = 0; i < k_binding_count; i++) {
        const binding_default& d = k_defaults[i];
        g_bindings[i] = binding{d.key,          d.label, d.control, d.channel, d.scale, d.control,
                                k_control_none, "",      -1,        0,         1,       0};
    }
    g_initialised = true;
}

void bindings_resolve() {
    ensure();
    for (binding& b : g_bindings) {
        b.code = b.control.empty() ? k_control_none : key_code_of(b.control.c_str());
        b.value = 0;
    }
}

void bindings_key(int32_t control, int pressed) {
    ensure();
    for (binding& b : g_bindings)
        if (b.code == control && control != k_control_none) b.value = pressed ? 1.0f : 0.0f;
}

void bindings_sum(float actions[k_action_channels]) {
    ensure();
    for (const binding& b : g_bindings)
        if (b.channel >= 0) actions[b.channel] += b.scale * b.value;
}

bool is_special(int32_t control, special_binding which) {
    const binding& b = special(which);
    return b.code != k_control_none && b.code == control;
}
