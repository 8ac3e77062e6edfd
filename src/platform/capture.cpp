// The capture: watched axes with their rest and extreme values, and the captured key.
#include "platform/capture.h"

#include "platform/controls.h"
#include "platform/devices.h"
#include "platform/log.h"

#include <cmath>
#include <vector>

namespace {
constexpr double k_settle_time = 0.25; // s a control must rest before it wins
constexpr float k_axis_travel = 0.5f;  // of the axis's half range, from rest
constexpr float k_range_lo = 0.0625f;  // of the travel: where the binding starts
constexpr float k_range_hi = 0.9375f;  // where it is full

struct watched_axis {
    std::string name;
    int handle;
    float rest;
    float extreme;
};

struct capture_state {
    bool running = false;
    std::vector<watched_axis> axes;
    double capture_time = 0; // run clock of the last new extreme or captured key
    int32_t key = k_control_none;
    std::string key_name;
};
capture_state g_capture;

float axis_value(int handle) { return read_axis(handle) / 32768.0f; }

// Closes every watched handle except the one a binding takes over.
void end_capture(int keep_handle) {
    for (const watched_axis& a : g_capture.axes)
        if (a.handle != keep_handle) close_axis(a.handle);
    g_capture = capture_state{};
    devices_watch_all(false);
    if (debug_level() >= 1) log("Done watching pots\n");
}
} // namespace

void capture_start(double run_clock) {
    if (g_capture.running) end_capture(-1);
    g_capture.running = true;
    g_capture.capture_time = run_clock;
    devices_watch_all(true);
    if (debug_level() >= 1) log("Watching pots\n");
    for (const std::string& name : absolute_axes()) {
        int handle = open_axis(name.c_str());
        if (debug_level() >= 1) log("\t%s %s\n", name.c_str(), handle >= 0 ? "Ok" : "Failed");
        if (handle < 0) continue;
        float rest = axis_value(handle);
        g_capture.axes.push_back(watched_axis{name, handle, rest, rest});
    }
}

bool capture_running() { return g_capture.running; }

capture_outcome capture_press(int32_t code, double run_clock) {
    capture_outcome out;
    if (!g_capture.running) return out;
    if (code == key_code_of("esc")) {
        end_capture(-1);
        out.kind = capture_cancelled;
        return out;
    }
    if (g_capture.key != k_control_none) return out;
    std::string name = name_of(code);
    if (name.empty()) return out;
    g_capture.key = code;
    g_capture.key_name = name;
    g_capture.capture_time = run_clock;
    return out;
}

capture_outcome capture_tic(double run_clock) {
    capture_outcome out;
    if (!g_capture.running) return out;
    for (watched_axis& a : g_capture.axes) {
        float v = axis_value(a.handle);
        float before = a.extreme;
        if (std::fabs(a.rest - v) > std::fabs(a.rest - a.extreme)) {
            a.extreme = v;
            g_capture.capture_time = run_clock;
        }
        if (run_clock - g_capture.capture_time > k_settle_time &&
            std::fabs(a.rest - before) > k_axis_travel) {
            out.kind = capture_axis;
            out.name = a.name;
            out.axis_handle = a.handle;
            out.lo = a.rest + k_range_lo * (before - a.rest);
            out.hi = a.rest + k_range_hi * (before - a.rest);
            end_capture(a.handle);
            return out;
        }
    }
    if (g_capture.key != k_control_none && run_clock - g_capture.capture_time > k_settle_time) {
        out.kind = capture_key;
        out.code = g_capture.key;
        out.name = g_capture.key_name;
        end_capture(-1);
    }
    return out;
}

void capture_stop() {
    if (g_capture.running) end_capture(-1);
}
