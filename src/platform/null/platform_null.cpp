// The null back-end: no window, a clock that only moves when told to, and the shared event
// queue that tests fill, so frames and tics run without real time.
#include "platform/platform.h"
#include "platform/sound_device.h"

namespace {
constexpr int k_null_max_modes = 32;

struct null_state {
    double clock = 0;
    int sleeps = 0;
    bool window = false;
    bool closed = false;
    bool drawable = true;
    display_mode modes[k_null_max_modes + 1] = {};
};
null_state g_null;

double null_clock() { return g_null.clock; }

void null_sleep(int seconds, int microseconds) {
    g_null.sleeps++;
    g_null.clock += seconds + microseconds * 1e-6;
}

// Yielding lets the clock reach any deadline the caller waits for.
void null_yield() { g_null.clock += 0.001; }

bool null_create_window(const char*, int, int, int, int) {
    g_null.window = true;
    return true;
}

void null_destroy_window() { g_null.window = false; }
void null_pump() {}

bool null_begin_frame(int* width, int* height) {
    if (!g_null.window || !g_null.drawable) return false;
    *width = 640;
    *height = 480;
    return true;
}

bool null_end_frame() { return g_null.window && !g_null.closed; }
void null_message_box(const char*, const char*) {}
void* null_gl_proc(const char*) { return nullptr; }
const display_mode* null_display_modes() { return g_null.modes; }
void null_request_mode(int, int, bool) {}
const char* null_key_name(int) { return ""; }
} // namespace

const platform_backend k_platform_null = {
    "null",
    null_clock,
    null_sleep,
    null_yield,
    null_create_window,
    null_destroy_window,
    null_pump,
    null_begin_frame,
    null_end_frame,
    null_message_box,
    null_gl_proc,
    null_display_modes,
    null_request_mode,
    null_key_name,
    &k_sound_null,
};

void null_platform_reset() { g_null = null_state{}; }
void null_platform_set_clock(double seconds) { g_null.clock = seconds; }
int null_platform_sleep_count() { return g_null.sleeps; }
void null_platform_close_window() { g_null.closed = true; }
void null_platform_set_drawable(bool drawable) { g_null.drawable = drawable; }

void null_platform_set_modes(const display_mode* modes) {
    int n = 0;
    for (; modes && n < k_null_max_modes && modes[n].width > 0; n++) g_null.modes[n] = modes[n];
    g_null.modes[n] = display_mode{};
}
