// Control bindings: which key or axis drives each action channel and special function, their
// text form in the config file, and the capture that rebinds one.
#pragma once

#include <cstdint>
#include <string>

constexpr int k_action_channels = 9;

enum action_channel {
    action_steer = 0,
    action_throttle = 1,
    action_front_brake = 2,
    action_rear_brake = 3,
    action_shift = 4,
    action_clutch = 5,
    action_sit = 6,
    action_back_up = 7,
    action_lean = 8,
};

// The special functions bound like actions but handled by the frame loop.
enum special_binding {
    special_pause,
    special_step,
    special_rewind,
    special_skip,
    special_prev,
    special_next,
    special_console,
    special_screenshot,
    special_telemetry,
    special_count,
};

// One bindable control function with its current binding.
struct binding {
    const char* key;   // config key, "throttle_key"
    const char* label; // "Throttle"
    const char* default_control;
    int channel;         // action channel, or -1 for a special function
    float scale;         // what the control adds to its channel
    std::string control; // key control name, empty when unbound or bound to an axis
    int32_t code;        // resolved key control code
    std::string axis;    // axis control name
    int axis_handle;     // -1 when no axis is open
    float lo, hi;        // the axis range that maps to 0..1
    float value;         // 1 while the key is held, or the axis reading
};

constexpr int k_binding_count = 21;

const binding* bindings();
const binding& special(special_binding which);
// The binding with this config key ("throttle_key"), or nullptr.
const binding* binding_for_key(const char* key);
// Back to the default controls, unresolved.
void bindings_reset();
// Turns every binding's control name into a control code or an open axis.
void bindings_resolve();
// Closes every binding's axis.
void bindings_close();
// A key event: every binding on this control takes 1 when pressed, 0 when released.
void bindings_key(int32_t control, int pressed);
// Reads the bound axes, then adds every binding's scale times its value into its channel.
// Bindings whose device was missing are tried again once devices come and go.
void bindings_sum(float actions[k_action_channels]);

// A config value: "(k)name" or a plain name binds a key, "(lo,hi)name" an axis range. False,
// with the binding unchanged, when the range is not two finite numbers.
bool parse_binding(binding& b, const char* text);
// The config line of a binding ("throttle_key=(k)x\n"), empty when it is unbound.
std::string binding_line(const binding& b);

// Starts capturing a new control for binding `index`; run_clock is the running clock.
void bindings_capture_start(int index, double run_clock);
// A press while capturing goes to the capture alone: true when it was taken.
bool bindings_capture_press(int32_t control, double run_clock);
// The capture's per-tic step; a finished capture rebinds its binding.
void bindings_capture_tic(double run_clock);
// The binding a capture is running for, -1 for none.
int bindings_capturing();
// True when the special function's control is this one.
bool is_special(int32_t control, special_binding which);
