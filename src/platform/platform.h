// The platform function table: window, GL context, input events, clock and sleeping.
#pragma once

#include <cstdint>

// One queued control event: a control code, pressed (1) or released (0), and when it happened.
struct platform_event {
    int32_t control;
    int pressed;
    double time; // s on the platform clock
};

// Window creation flag that asks for a fullscreen mode; added to the colour depth.
constexpr int k_window_fullscreen = 0x200;

// What a platform back-end must provide; the program calls nothing else of the platform.
struct platform_backend {
    const char* name;
    double (*clock)(); // s since an arbitrary start, millisecond resolution
    void (*sleep)(int seconds, int microseconds);
    void (*yield)();
    bool (*create_window)(const char* title, int width, int height, int flags, int depth_bits);
    void (*destroy_window)();
    // Moves window messages into the event queue (the queue itself is shared, event_queue.h).
    void (*pump)();
    // Begins a frame: true with the drawable size when the window can be drawn.
    bool (*begin_frame)(int* width, int* height);
    bool (*end_frame)(); // false when the window is gone
    void (*message_box)(const char* title, const char* text);
    void* (*gl_proc)(const char* name);
};

extern const platform_backend k_platform_null;
extern const platform_backend k_platform_sdl;

// The back-end in use (the null one until platform_use picks another).
const platform_backend& platform();
void platform_use(const platform_backend& backend);

// The frame loop's sleep: whole milliseconds less one, then yields until the deadline.
void platform_sleep_until(double deadline);

// Test control of the null back-end: its clock only moves when told to or when slept on.
void null_platform_reset();
void null_platform_set_clock(double seconds);
int null_platform_sleep_count();
void null_platform_close_window(); // the next end_frame fails, as when the user closes it
void null_platform_set_drawable(bool drawable);
