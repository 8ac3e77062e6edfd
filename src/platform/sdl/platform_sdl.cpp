// The SDL2 back-end: a window with an OpenGL compatibility context, input events and the clock.
#include "platform/controls.h"
#include "platform/event_queue.h"
#include "platform/log.h"
#include "platform/platform.h"

#include <SDL.h>

#include <cstdio>
#include <sched.h>
#include <time.h>

namespace {
struct sdl_state {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    double tick_offset = 0; // our clock minus SDL's event clock, s
};
sdl_state g_sdl;

struct scan_map {
    SDL_Scancode sdl;
    int scan; // set-1 scan code, +0x100 for extended keys
};

// The keys a keyboard reports, from SDL's USB usage codes to the 9-bit scan codes we name.
constexpr scan_map k_scan_map[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},
    {SDL_SCANCODE_1, 0x02},
    {SDL_SCANCODE_2, 0x03},
    {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05},
    {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},
    {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0A},
    {SDL_SCANCODE_0, 0x0B},
    {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},
    {SDL_SCANCODE_BACKSPACE, 0x0E},
    {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10},
    {SDL_SCANCODE_W, 0x11},
    {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13},
    {SDL_SCANCODE_T, 0x14},
    {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16},
    {SDL_SCANCODE_I, 0x17},
    {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
    {SDL_SCANCODE_RETURN, 0x1C},
    {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_S, 0x1F},
    {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22},
    {SDL_SCANCODE_H, 0x23},
    {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},
    {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29},
    {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},
    {SDL_SCANCODE_Z, 0x2C},
    {SDL_SCANCODE_X, 0x2D},
    {SDL_SCANCODE_C, 0x2E},
    {SDL_SCANCODE_V, 0x2F},
    {SDL_SCANCODE_B, 0x30},
    {SDL_SCANCODE_N, 0x31},
    {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},
    {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37},
    {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_CAPSLOCK, 0x3A},
    {SDL_SCANCODE_F1, 0x3B},
    {SDL_SCANCODE_F2, 0x3C},
    {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E},
    {SDL_SCANCODE_F5, 0x3F},
    {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41},
    {SDL_SCANCODE_F8, 0x42},
    {SDL_SCANCODE_F9, 0x43},
    {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_PAUSE, 0x45},
    {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48},
    {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B},
    {SDL_SCANCODE_KP_5, 0x4C},
    {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_1, 0x4F},
    {SDL_SCANCODE_KP_2, 0x50},
    {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52},
    {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_F11, 0x57},
    {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_KP_ENTER, 0x11C},
    {SDL_SCANCODE_RCTRL, 0x11D},
    {SDL_SCANCODE_KP_DIVIDE, 0x135},
    {SDL_SCANCODE_RALT, 0x138},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x145},
    {SDL_SCANCODE_HOME, 0x147},
    {SDL_SCANCODE_UP, 0x148},
    {SDL_SCANCODE_PAGEUP, 0x149},
    {SDL_SCANCODE_LEFT, 0x14B},
    {SDL_SCANCODE_RIGHT, 0x14D},
    {SDL_SCANCODE_END, 0x14F},
    {SDL_SCANCODE_DOWN, 0x150},
    {SDL_SCANCODE_PAGEDOWN, 0x151},
    {SDL_SCANCODE_INSERT, 0x152},
    {SDL_SCANCODE_DELETE, 0x153},
    {SDL_SCANCODE_LGUI, 0x15B},
    {SDL_SCANCODE_RGUI, 0x15C},
};

int scan_code_of(SDL_Scancode sdl) {
    for (const scan_map& m : k_scan_map)
        if (m.sdl == sdl) return m.scan;
    return -1;
}

double event_time(Uint32 sdl_ms) { return sdl_ms / 1000.0 + g_sdl.tick_offset; }

void queue(int32_t control, int pressed, double time) {
    event_queue_push(platform_event{control, pressed, time});
}

// Keys that type a control character but raise no text event still type it, as Tab does.
int typed_control_character(SDL_Keycode key) {
    switch (key) {
    case SDLK_TAB:
        return 9;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return 13;
    case SDLK_BACKSPACE:
        return 8;
    case SDLK_ESCAPE:
        return 27;
    default:
        return -1;
    }
}

void handle(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        queue(k_control_close, 1, event_time(e.quit.timestamp));
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        bool down = e.type == SDL_KEYDOWN;
        // Keys held with Alt belong to the window manager, not to the game.
        if (e.key.keysym.mod & KMOD_ALT && e.key.keysym.scancode != SDL_SCANCODE_LALT &&
            e.key.keysym.scancode != SDL_SCANCODE_RALT)
            break;
        int scan = scan_code_of(e.key.keysym.scancode);
        double t = event_time(e.key.timestamp);
        if (scan >= 0) queue(k_control_key_base + scan, down ? 1 : 0, t);
        int typed = typed_control_character(e.key.keysym.sym);
        if (down && typed >= 0) queue(typed, 1, t);
        break;
    }
    case SDL_TEXTINPUT: {
        unsigned char c = static_cast<unsigned char>(e.text.text[0]);
        if (c && c < 128 && e.text.text[1] == 0) queue(c, 1, event_time(e.text.timestamp));
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int32_t code = e.button.button == SDL_BUTTON_LEFT     ? k_control_mouse_left
                       : e.button.button == SDL_BUTTON_MIDDLE ? k_control_mouse_middle
                       : e.button.button == SDL_BUTTON_RIGHT  ? k_control_mouse_right
                                                              : k_control_none;
        if (code != k_control_none)
            queue(code, e.type == SDL_MOUSEBUTTONDOWN, event_time(e.button.timestamp));
        break;
    }
    default:
        break;
    }
}

double sdl_clock() { return system_clock_seconds(); }

void sdl_sleep(int seconds, int microseconds) {
    timespec ts{seconds, microseconds * 1000L};
    nanosleep(&ts, nullptr);
}

void sdl_yield() { sched_yield(); }

bool sdl_create_window(const char* title, int width, int height, int flags, int depth_bits) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        log("Can't start SDL video: %s\n", SDL_GetError());
        return false;
    }
    g_sdl.tick_offset = system_clock_seconds() - SDL_GetTicks() / 1000.0;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits > 0 ? depth_bits : 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    Uint32 window_flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (flags & k_window_fullscreen)
        window_flags |=
            (width == 0 || height == 0) ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_FULLSCREEN;
    if (width <= 0 || height <= 0) {
        width = 640;
        height = 480;
    }
    g_sdl.window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                    height, window_flags);
    if (!g_sdl.window) {
        log("Can't create window: %s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        return false;
    }
    g_sdl.context = SDL_GL_CreateContext(g_sdl.window);
    if (!g_sdl.context) {
        log("Can't create GL context: %s\n", SDL_GetError());
        SDL_DestroyWindow(g_sdl.window);
        g_sdl.window = nullptr;
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        return false;
    }
    SDL_GL_SetSwapInterval(0);
    SDL_StartTextInput();
    return true;
}

void sdl_destroy_window() {
    if (!g_sdl.window) return;
    SDL_StopTextInput();
    SDL_GL_DeleteContext(g_sdl.context);
    SDL_DestroyWindow(g_sdl.window);
    g_sdl = sdl_state{};
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

void sdl_pump() {
    if (!g_sdl.window) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) handle(e);
}

bool sdl_begin_frame(int* width, int* height) {
    if (!g_sdl.window) return false;
    Uint32 flags = SDL_GetWindowFlags(g_sdl.window);
    if (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) return false;
    SDL_GL_MakeCurrent(g_sdl.window, g_sdl.context);
    SDL_GL_GetDrawableSize(g_sdl.window, width, height);
    return *width > 0 && *height > 0;
}

bool sdl_end_frame() {
    if (!g_sdl.window) return false;
    SDL_GL_SwapWindow(g_sdl.window);
    return true;
}

void sdl_message_box(const char* title, const char* text) {
    // Headless there is nobody to show a box to; the error stream still carries it.
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, g_sdl.window) != 0)
        fprintf(stderr, "%s: %s", title, text);
}

void* sdl_gl_proc(const char* name) { return SDL_GL_GetProcAddress(name); }
} // namespace

const platform_backend k_platform_sdl = {
    "sdl",           sdl_clock,         sdl_sleep,
    sdl_yield,       sdl_create_window, sdl_destroy_window,
    sdl_pump,        sdl_begin_frame,   sdl_end_frame,
    sdl_message_box, sdl_gl_proc,
};
