// The twenty binding records, their config text, the capture that rebinds them, and how their
// values add up into the nine action channels.
#include "core/core_local.h"
#include "core/bindings.h"

#include "platform/capture.h"
#include "platform/controls.h"
#include "platform/devices.h"
#include "platform/log.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

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
    {"telemetry_key", "Telemetry", "g", -1, 0},
};
constexpr int k_first_special = 12;
static_assert(k_binding_count - k_first_special == special_count);

struct bindings_state {
    binding records[k_binding_count];
    bool initialised = false;
    int devices_seen = -1; // device generation the bindings were last resolved against
    int capturing = -1;    // the binding a capture is for
};
bindings_state g_bindings;

void ensure() {
    if (!g_bindings.initialised) bindings_reset();
}

void close_binding_axis(binding& b) {
    if (b.axis_handle >= 0) close_axis(b.axis_handle);
    b.axis_handle = -1;
}

// Resolves one binding; quiet is for the retries after devices come and go.
void resolve(binding& b, bool quiet) {
    if (!b.control.empty() && b.code == k_control_none) {
        b.code = bind_button(b.control.c_str());
        if (b.code == k_control_none && !quiet)
            log("No control called \"%s\" for %s\n", b.control.c_str(), b.key);
    }
    if (!b.axis.empty() && b.axis_handle < 0) {
        b.axis_handle = open_axis(b.axis.c_str());
        if (b.axis_handle < 0 && !quiet)
            log("No axis called \"%s\" for %s\n", b.axis.c_str(), b.key);
    }
}

// A pad plugged in after start-up gives the bindings that named it their control.
void resolve_again_after_device_changes() {
    if (g_bindings.devices_seen == devices_generation()) return;
    g_bindings.devices_seen = devices_generation();
    for (binding& b : g_bindings.records) resolve(b, true);
}

float axis_value(const binding& b) {
    if (b.hi == b.lo) return 0;
    float raw = read_axis(b.axis_handle) / 32768.0f;
    return std::clamp((raw - b.lo) / (b.hi - b.lo), 0.0f, 1.0f);
}
} // namespace

const binding* bindings() { return bindings_edit(); }
const binding& special(special_binding which) { return special_edit(which); }
const binding* binding_for_key(const char* key) { return binding_for_key_edit(key); }

binding* bindings_edit() {
    ensure();
    return g_bindings.records;
}

binding& special_edit(special_binding which) {
    ensure();
    return g_bindings.records[k_first_special + which];
}

binding* binding_for_key_edit(const char* key) {
    ensure();
    for (binding& b : g_bindings.records)
        if (strcmp(b.key, key) == 0) return &b;
    return nullptr;
}

void bindings_reset() {
    for (int i = 0; i < k_binding_count; i++) {
        const binding_default& d = k_defaults[i];
        g_bindings.records[i] =
            binding{d.key,          d.label, d.control, d.channel, d.scale, d.control,
                    k_control_none, "",      -1,        0,         1,       0};
    }
    g_bindings.initialised = true;
    g_bindings.devices_seen = -1;
    g_bindings.capturing = -1;
}

void bindings_resolve() {
    ensure();
    for (binding& b : g_bindings.records) {
        b.code = k_control_none;
        close_binding_axis(b);
        b.value = 0;
        resolve(b, false);
    }
    g_bindings.devices_seen = devices_generation();
}

void bindings_close() {
    ensure();
    for (binding& b : g_bindings.records) close_binding_axis(b);
    capture_stop();
    g_bindings.capturing = -1;
}

void bindings_key(int32_t control, int pressed) {
    ensure();
    for (binding& b : g_bindings.records)
        if (b.code == control && control != k_control_none) b.value = pressed ? 1.0f : 0.0f;
}

void bindings_sum(float actions[k_action_channels]) {
    ensure();
    resolve_again_after_device_changes();
    for (binding& b : g_bindings.records)
        if (b.axis_handle >= 0) b.value = axis_value(b);
    for (const binding& b : g_bindings.records)
        if (b.channel >= 0) actions[b.channel] += b.scale * b.value;
}

bool is_special(int32_t control, special_binding which) {
    const binding& b = special(which);
    return b.code != k_control_none && b.code == control;
}

bool parse_binding(binding& b, const char* text) {
    while (isspace(static_cast<unsigned char>(*text))) text++;
    float lo = 0, hi = 1;
    const char* close = strchr(text, ')');
    const bool axis = text[0] == '(' && close && sscanf(text, "(%f,%f)", &lo, &hi) == 2;
    // A range that is not two finite numbers would steer with NaN.
    if (axis && (!std::isfinite(lo) || !std::isfinite(hi))) return false;
    close_binding_axis(b);
    b.control.clear();
    b.axis.clear();
    b.code = k_control_none;
    b.lo = 0;
    b.hi = 1;
    b.value = 0;
    if (axis) {
        b.lo = lo;
        b.hi = hi;
        b.axis = close + 1;
        return true;
    }
    b.control = strncmp(text, "(k)", 3) == 0 ? text + 3 : text;
    return true;
}

std::string binding_line(const binding& b) {
    char line[1200];
    if (!b.axis.empty())
        snprintf(line, sizeof line, "%s=(%f,%f)%.1000s\n", b.key, b.lo, b.hi, b.axis.c_str());
    else if (!b.control.empty())
        snprintf(line, sizeof line, "%s=(k)%.1000s\n", b.key, b.control.c_str());
    else
        return "";
    return line;
}

void bindings_capture_start(int index, double run_clock) {
    ensure();
    if (index < 0 || index >= k_binding_count) return;
    g_bindings.capturing = index;
    capture_start(run_clock);
}

bool bindings_capture_press(int32_t control, double run_clock) {
    if (!capture_running()) return false;
    if (capture_press(control, run_clock).kind == capture_cancelled) g_bindings.capturing = -1;
    return true;
}

void bindings_capture_tic(double run_clock) {
    if (!capture_running() || g_bindings.capturing < 0) return;
    capture_outcome out = capture_tic(run_clock);
    if (out.kind != capture_key && out.kind != capture_axis) return;
    binding& b = g_bindings.records[g_bindings.capturing];
    g_bindings.capturing = -1;
    close_binding_axis(b);
    b.value = 0;
    if (out.kind == capture_axis) {
        b.control.clear();
        b.code = k_control_none;
        b.axis = out.name;
        b.axis_handle = out.axis_handle;
        b.lo = out.lo;
        b.hi = out.hi;
    } else {
        b.axis.clear();
        b.control = out.name;
        // Binding it by name makes a pad's button queue its presses from now on.
        b.code = bind_button(out.name.c_str());
        if (b.code == k_control_none) b.code = out.code;
    }
}

int bindings_capturing() { return capture_running() ? g_bindings.capturing : -1; }
