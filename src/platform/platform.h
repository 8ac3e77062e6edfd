// The platform function table: window, GL context, input events, clock, sleeping and sound.
#pragma once

#include <cstdint>

struct sound_backend;

// One queued control event: a control code, pressed (1) or released (0), and when it happened.
struct platform_event {
    int32_t control;
    int pressed;
    double time; // s on the platform clock
};

// Window creation flag that asks for a fullscreen mode; added to the colour depth.
constexpr int k_window_fullscreen = 0x200;

// One display mode; a list of them ends with a zero entry.
struct display_mode {
    int width;  // px
    int height; // px
    int depth;  // bits per pixel
};

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
    // A modal box with an OK button; the error stream when no display can show one.
    void (*message_box)(const char* title, const char* text);
    void* (*gl_proc)(const char* name);
    // The display modes, desktop mode first, built once (ends with a zero entry).
    const display_mode* (*display_modes)();
    // Switches the open window between windowed and fullscreen (0 by 0: the desktop's mode).
    void (*request_mode)(int width, int height, bool fullscreen);
    // The system's name for a 9-bit scan code, "" when it has none.
    const char* (*key_name)(int scan_code);
    // The streaming sound output that goes with this platform (sound_device.h).
    const sound_backend* sound;
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
// The display modes the null back-end reports (desktop first; nullptr or a zero first entry: none).
void null_platform_set_modes(const display_mode* modes);
