// The SDL2 back-end: the window with its OpenGL compatibility context, display modes, keyboard,
// mouse and joystick input, and the clock.
#include "platform/controls.h"
#include "platform/devices.h"
#include "platform/display.h"
#include "platform/event_queue.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/platform.h"
#include "platform/sound_device.h"

#include <SDL.h>

#include <cstdio>
#include <sched.h>
#include <string>
#include <time.h>
#include <vector>

namespace {
// One joystick SDL has open, and the device it feeds.
struct sdl_joystick {
    SDL_JoystickID instance;
    SDL_Joystick* joystick;
    SDL_GameController* controller; // nullptr unless SDL has a mapping for it
    int device;
    int buttons; // its own buttons; each hat follows as four more
};

struct sdl_state {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    double tick_offset = 0;  // our clock minus SDL's event clock, s
    int requested_width = 0; // px, the windowed size asked for
    int requested_height = 0;
    bool fullscreen = false;
    bool busy = false; // a mode change is under way: no frame is drawn
    bool options_read = false;
    bool modes_built = false;
    std::vector<display_mode> modes; // ends with a zero entry
    display_mode desktop{};
    std::vector<sdl_joystick> joysticks;
    bool input_started = false; // the joystick systems were started for the devices
    int mouse = -1;             // the "Mouse" device
    int cursor = -1;            // the "cursor" device
};
sdl_state g_sdl;

constexpr Uint32 k_input_systems = SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER;
constexpr int k_wheel_step = 120; // mouse-wheel counts per notch
constexpr int k_message_box_max = 1023;

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

// SDL's standard controller names, as aliases any pad's bindings can be written with: every
// axis, then every button of its mapping.
struct pad_alias {
    bool axis;
    int control; // an SDL_GameControllerAxis or SDL_GameControllerButton
    const char* alias_name;
};
constexpr pad_alias k_pad_aliases[] = {
    {true, SDL_CONTROLLER_AXIS_LEFTX, "pad-left-x"},
    {true, SDL_CONTROLLER_AXIS_LEFTY, "pad-left-y"},
    {true, SDL_CONTROLLER_AXIS_RIGHTX, "pad-right-x"},
    {true, SDL_CONTROLLER_AXIS_RIGHTY, "pad-right-y"},
    {true, SDL_CONTROLLER_AXIS_TRIGGERLEFT, "pad-left-trigger"},
    {true, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, "pad-right-trigger"},
    {false, SDL_CONTROLLER_BUTTON_A, "pad-a"},
    {false, SDL_CONTROLLER_BUTTON_B, "pad-b"},
    {false, SDL_CONTROLLER_BUTTON_X, "pad-x"},
    {false, SDL_CONTROLLER_BUTTON_Y, "pad-y"},
    {false, SDL_CONTROLLER_BUTTON_BACK, "pad-back"},
    {false, SDL_CONTROLLER_BUTTON_GUIDE, "pad-guide"},
    {false, SDL_CONTROLLER_BUTTON_START, "pad-start"},
    {false, SDL_CONTROLLER_BUTTON_LEFTSTICK, "pad-left-stick"},
    {false, SDL_CONTROLLER_BUTTON_RIGHTSTICK, "pad-right-stick"},
    {false, SDL_CONTROLLER_BUTTON_LEFTSHOULDER, "pad-left-shoulder"},
    {false, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, "pad-right-shoulder"},
    {false, SDL_CONTROLLER_BUTTON_DPAD_UP, "pad-up"},
    {false, SDL_CONTROLLER_BUTTON_DPAD_DOWN, "pad-down"},
    {false, SDL_CONTROLLER_BUTTON_DPAD_LEFT, "pad-left"},
    {false, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, "pad-right"},
    {false, SDL_CONTROLLER_BUTTON_MISC1, "pad-misc"},
    {false, SDL_CONTROLLER_BUTTON_PADDLE1, "pad-paddle-1"},
    {false, SDL_CONTROLLER_BUTTON_PADDLE2, "pad-paddle-2"},
    {false, SDL_CONTROLLER_BUTTON_PADDLE3, "pad-paddle-3"},
    {false, SDL_CONTROLLER_BUTTON_PADDLE4, "pad-paddle-4"},
    {false, SDL_CONTROLLER_BUTTON_TOUCHPAD, "pad-touchpad"},
};
static_assert(sizeof k_pad_aliases / sizeof k_pad_aliases[0] ==
              int{SDL_CONTROLLER_AXIS_MAX} + int{SDL_CONTROLLER_BUTTON_MAX});

// Hats are buttons too: up, right, down, left after the joystick's own buttons.
constexpr Uint8 k_hat_directions[4] = {SDL_HAT_UP, SDL_HAT_RIGHT, SDL_HAT_DOWN, SDL_HAT_LEFT};

// The device's control that a controller mapping entry names, or "" when it has none.
std::string mapped_control(const sdl_joystick& j, const SDL_GameControllerButtonBind& bind) {
    std::string name = device_name(j.device);
    switch (bind.bindType) {
    case SDL_CONTROLLER_BINDTYPE_AXIS:
        return name + ".axis[" + std::to_string(bind.value.axis) + "]";
    case SDL_CONTROLLER_BINDTYPE_BUTTON:
        return name + ".key[" + std::to_string(bind.value.button) + "]";
    case SDL_CONTROLLER_BINDTYPE_HAT:
        for (int d = 0; d < 4; d++)
            if (bind.value.hat.hat_mask == k_hat_directions[d])
                return name + ".key[" + std::to_string(j.buttons + 4 * bind.value.hat.hat + d) +
                       "]";
        return "";
    default:
        return "";
    }
}

void add_pad_aliases(const sdl_joystick& j) {
    if (!j.controller) return;
    for (const pad_alias& a : k_pad_aliases) {
        SDL_GameControllerButtonBind bind =
            a.axis ? SDL_GameControllerGetBindForAxis(
                         j.controller, static_cast<SDL_GameControllerAxis>(a.control))
                   : SDL_GameControllerGetBindForButton(
                         j.controller, static_cast<SDL_GameControllerButton>(a.control));
        std::string control = mapped_control(j, bind);
        if (!control.empty()) alias_add(a.alias_name, control.c_str());
    }
}

bool joystick_open(SDL_JoystickID instance) {
    for (const sdl_joystick& j : g_sdl.joysticks)
        if (j.instance == instance) return true;
    return false;
}

// Opens SDL's joystick at a device index and attaches it as a device (once per instance).
void joystick_attach(int index) {
    if (joystick_open(SDL_JoystickGetDeviceInstanceID(index))) return;
    sdl_joystick j{};
    j.controller = SDL_IsGameController(index) ? SDL_GameControllerOpen(index) : nullptr;
    j.joystick =
        j.controller ? SDL_GameControllerGetJoystick(j.controller) : SDL_JoystickOpen(index);
    const char* name = SDL_JoystickName(j.joystick);
    if (!j.joystick || !name) {
        log("Can't create \"%s\"\n", name ? name : SDL_GetError());
        if (j.controller) SDL_GameControllerClose(j.controller);
        return;
    }
    j.instance = SDL_JoystickInstanceID(j.joystick);
    j.buttons = SDL_JoystickNumButtons(j.joystick);
    const char* product = j.controller ? SDL_GameControllerName(j.controller) : nullptr;
    device_report report{name,
                         product ? product : name,
                         device_joystick,
                         SDL_JoystickNumAxes(j.joystick),
                         j.buttons + 4 * SDL_JoystickNumHats(j.joystick),
                         false};
    j.device = device_attach(report);
    if (j.device < 0) {
        if (j.controller)
            SDL_GameControllerClose(j.controller);
        else
            SDL_JoystickClose(j.joystick);
        return;
    }
    for (int a = 0; a < report.axes; a++)
        device_set_axis(j.device, a, SDL_JoystickGetAxis(j.joystick, a));
    g_sdl.joysticks.push_back(j);
    add_pad_aliases(j);
}

void joystick_close(const sdl_joystick& j) {
    if (j.controller)
        SDL_GameControllerClose(j.controller);
    else
        SDL_JoystickClose(j.joystick);
}

void joystick_removed(SDL_JoystickID instance) {
    for (size_t i = 0; i < g_sdl.joysticks.size(); i++) {
        if (g_sdl.joysticks[i].instance != instance) continue;
        device_detach(g_sdl.joysticks[i].device);
        joystick_close(g_sdl.joysticks[i]);
        g_sdl.joysticks.erase(g_sdl.joysticks.begin() + static_cast<long>(i));
        return;
    }
}

const sdl_joystick* joystick_of(SDL_JoystickID instance) {
    for (const sdl_joystick& j : g_sdl.joysticks)
        if (j.instance == instance) return &j;
    return nullptr;
}

void hat_moved(const SDL_JoyHatEvent& e) {
    const sdl_joystick* j = joystick_of(e.which);
    if (!j) return;
    for (int d = 0; d < 4; d++)
        device_button(j->device, j->buttons + 4 * e.hat + d, (e.value & k_hat_directions[d]) != 0,
                      event_time(e.timestamp));
}

// The cursor at (-1, -1) until the pointer is in the window: the first position it reports is
// where the window found it, not a move of the player's.
void cursor_outside() {
    device_set_axis(g_sdl.cursor, 0, -1);
    device_set_axis(g_sdl.cursor, 1, -1);
}

// The mouse and the cursor, then every joystick SDL knows, in the roll call's log lines.
void discover_devices() {
    if (!platform_flag("dinput", 1)) {
        log("DirectInput disabled\n");
    } else {
        g_sdl.input_started = SDL_InitSubSystem(k_input_systems) == 0;
        platform_flag("dinputsticksonly", 1); // read for its log line; SDL lists no keyboards
        log("DirectInput roll call...\n");
        g_sdl.mouse = device_attach(device_report{"Mouse", "Mouse", device_mouse, 3, 5, true});
        for (int i = 0; i < SDL_NumJoysticks(); i++) joystick_attach(i);
        log("End of DirectInput roll call\n");
    }
    g_sdl.cursor = device_attach(device_report{"cursor", "cursor", device_cursor, 2, 0, false});
    cursor_outside();
}

// Mouse buttons as the Mouse device numbers them: left, right, middle, then the side buttons.
int mouse_device_button(Uint8 button) {
    switch (button) {
    case SDL_BUTTON_LEFT:
        return 0;
    case SDL_BUTTON_RIGHT:
        return 1;
    case SDL_BUTTON_MIDDLE:
        return 2;
    case SDL_BUTTON_X1:
        return 3;
    case SDL_BUTTON_X2:
        return 4;
    default:
        return -1;
    }
}

// The cursor in drawable pixels, which differ from window units on scaled displays.
void cursor_moved(int x, int y) {
    int ww = 0, wh = 0, dw = 0, dh = 0;
    SDL_GetWindowSize(g_sdl.window, &ww, &wh);
    SDL_GL_GetDrawableSize(g_sdl.window, &dw, &dh);
    if (ww > 0 && wh > 0) {
        x = x * dw / ww;
        y = y * dh / wh;
    }
    device_set_axis(g_sdl.cursor, 0, x);
    device_set_axis(g_sdl.cursor, 1, y);
}

void window_event(const SDL_WindowEvent& e) {
    if (e.event == SDL_WINDOWEVENT_SIZE_CHANGED) log("WM_SIZE message %dx%d\n", e.data1, e.data2);
    if (e.event == SDL_WINDOWEVENT_LEAVE) cursor_outside();
}

void handle(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        queue(k_control_close, 1, event_time(e.quit.timestamp));
        break;
    case SDL_WINDOWEVENT:
        window_event(e.window);
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
    case SDL_MOUSEMOTION:
        device_move_axis(g_sdl.mouse, 0, e.motion.xrel);
        device_move_axis(g_sdl.mouse, 1, e.motion.yrel);
        cursor_moved(e.motion.x, e.motion.y);
        break;
    case SDL_MOUSEWHEEL:
        device_move_axis(g_sdl.mouse, 2, e.wheel.y * k_wheel_step);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        double t = event_time(e.button.timestamp);
        int32_t code = e.button.button == SDL_BUTTON_LEFT     ? k_control_mouse_left
                       : e.button.button == SDL_BUTTON_MIDDLE ? k_control_mouse_middle
                       : e.button.button == SDL_BUTTON_RIGHT  ? k_control_mouse_right
                                                              : k_control_none;
        if (code != k_control_none) queue(code, down, t);
        device_button(g_sdl.mouse, mouse_device_button(e.button.button), down, t);
        break;
    }
    case SDL_JOYAXISMOTION:
        if (const sdl_joystick* j = joystick_of(e.jaxis.which))
            device_set_axis(j->device, e.jaxis.axis, e.jaxis.value);
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        if (const sdl_joystick* j = joystick_of(e.jbutton.which))
            device_button(j->device, e.jbutton.button, e.type == SDL_JOYBUTTONDOWN,
                          event_time(e.jbutton.timestamp));
        break;
    case SDL_JOYHATMOTION:
        hat_moved(e.jhat);
        break;
    case SDL_JOYDEVICEADDED:
        joystick_attach(e.jdevice.which);
        break;
    case SDL_JOYDEVICEREMOVED:
        joystick_removed(e.jdevice.which);
        break;
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

reported_mode reported(const SDL_DisplayMode& m) {
    return reported_mode{m.w, m.h, static_cast<int>(SDL_BITSPERPIXEL(m.format)), m.refresh_rate};
}

const display_mode* sdl_display_modes() {
    if (g_sdl.modes_built) return g_sdl.modes.data();
    // The list is wanted before the window exists; the video system is started just to ask.
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        log("Can't start SDL video: %s\n", SDL_GetError());
        g_sdl.modes.assign(1, display_mode{});
        return g_sdl.modes.data();
    }
    g_sdl.modes_built = true;
    SDL_DisplayMode desktop{};
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) desktop = SDL_DisplayMode{};
    std::vector<reported_mode> found;
    for (int i = 0; i < SDL_GetNumDisplayModes(0); i++) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, i, &m) == 0) found.push_back(reported(m));
    }
    g_sdl.modes =
        display_modes_build(reported(desktop), found.data(), static_cast<int>(found.size()));
    g_sdl.desktop = display_mode{desktop.w, desktop.h, reported(desktop).depth};
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return g_sdl.modes.data();
}

void read_window_options() {
    if (g_sdl.options_read) return;
    g_sdl.options_read = true;
    platform_flag("fullscreen", 0); // kept with the window only; the video mode decides
    bool threaded = platform_flag("threaded", 0);
    log("Options:\n");
    log("%10s [%s]\n", "threaded:", threaded ? "on" : "off");
    if (threaded)
        log("Window messages are handled on the main thread with SDL; \"threaded\" is not "
            "needed\n");
}

// Makes the window fullscreen in the mode that fits the requested size best.
void enter_fullscreen(int width, int height) {
    display_mode mode = fullscreen_mode_for(g_sdl.modes.data(), g_sdl.desktop, width, height);
    bool desktop = mode.width == g_sdl.desktop.width && mode.height == g_sdl.desktop.height;
    if (!desktop) {
        SDL_DisplayMode wanted{0, mode.width, mode.height, 0, nullptr};
        SDL_DisplayMode closest{};
        if (SDL_GetClosestDisplayMode(0, &wanted, &closest))
            SDL_SetWindowDisplayMode(g_sdl.window, &closest);
    }
    if (SDL_SetWindowFullscreen(g_sdl.window, desktop ? SDL_WINDOW_FULLSCREEN_DESKTOP
                                                      : SDL_WINDOW_FULLSCREEN) != 0)
        log("Can't change the display mode: %s\n", SDL_GetError());
    g_sdl.fullscreen = true;
}

void leave_fullscreen(int width, int height) {
    SDL_SetWindowFullscreen(g_sdl.window, 0);
    if (width > 0 && height > 0) SDL_SetWindowSize(g_sdl.window, width, height);
    SDL_SetWindowPosition(g_sdl.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    g_sdl.fullscreen = false;
}

void set_gl_attributes(int colour_bits, int depth_bits) {
    // 32 bits of colour are 24 bits of red, green and blue; alpha is asked for separately.
    int channel = colour_bits > 16 ? 8 : 5;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, colour_bits > 16 ? 8 : 6);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits > 0 ? depth_bits : 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

void quit_window_systems() { SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS); }

bool sdl_create_window(const char* title, int width, int height, int flags, int depth_bits) {
    sdl_display_modes();
    read_window_options();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        log_error("Can't create window!");
        log("%s\n", SDL_GetError());
        return false;
    }
    platform_key_names_reset(); // the keyboard layout's names are known from now on
    g_sdl.tick_offset = system_clock_seconds() - SDL_GetTicks() / 1000.0;
    bool fullscreen = (flags & k_window_fullscreen) != 0;
    if (width <= 0 || height <= 0) {
        width = g_sdl.desktop.width > 0 ? g_sdl.desktop.width : 640;
        height = g_sdl.desktop.height > 0 ? g_sdl.desktop.height : 480;
    }
    g_sdl.requested_width = width;
    g_sdl.requested_height = height;
    log("Choosing pixel format\n");
    set_gl_attributes(flags & 0xff, depth_bits);
    log("Creating window\n");
    g_sdl.window =
        SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                         SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!g_sdl.window) {
        log_error("Can't create window!");
        log("%s\n", SDL_GetError());
        quit_window_systems();
        return false;
    }
    if (fullscreen) enter_fullscreen(width, height);
    SDL_RaiseWindow(g_sdl.window);
    discover_devices();
    log("Creating OpenGL context\n");
    g_sdl.context = SDL_GL_CreateContext(g_sdl.window);
    if (!g_sdl.context) {
        log_error("Couldn't create OpenGL context");
        log("%s\n", SDL_GetError());
        SDL_DestroyWindow(g_sdl.window);
        g_sdl.window = nullptr;
        for (const sdl_joystick& j : g_sdl.joysticks) joystick_close(j);
        g_sdl.joysticks.clear();
        devices_shutdown();
        if (g_sdl.input_started) SDL_QuitSubSystem(k_input_systems);
        g_sdl.input_started = false;
        quit_window_systems();
        return false;
    }
    SDL_GL_SetSwapInterval(0);
    SDL_StartTextInput();
    return true;
}

void sdl_destroy_window() {
    if (!g_sdl.window) return;
    log("Deleting OpenGL context\n");
    SDL_StopTextInput();
    SDL_GL_DeleteContext(g_sdl.context);
    log("Closing input devices\n");
    for (const sdl_joystick& j : g_sdl.joysticks) joystick_close(j);
    devices_shutdown();
    log("Destroying window\n");
    // Leaving fullscreen first gives the desktop its own mode back.
    if (g_sdl.fullscreen) SDL_SetWindowFullscreen(g_sdl.window, 0);
    SDL_DestroyWindow(g_sdl.window);
    if (g_sdl.input_started) SDL_QuitSubSystem(k_input_systems);
    quit_window_systems();
    log("Window shutdown complete\n");
    // The mode list stays: it was built once for the run.
    std::vector<display_mode> modes = std::move(g_sdl.modes);
    display_mode desktop = g_sdl.desktop;
    bool modes_built = g_sdl.modes_built;
    g_sdl = sdl_state{};
    g_sdl.modes = std::move(modes);
    g_sdl.desktop = desktop;
    g_sdl.modes_built = modes_built;
    g_sdl.options_read = true;
}

void sdl_pump() {
    if (!g_sdl.window) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) handle(e);
}

bool sdl_begin_frame(int* width, int* height) {
    if (!g_sdl.window || !g_sdl.context || g_sdl.busy) return false;
    Uint32 flags = SDL_GetWindowFlags(g_sdl.window);
    if (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) return false;
    SDL_GL_MakeCurrent(g_sdl.window, g_sdl.context);
    SDL_GL_GetDrawableSize(g_sdl.window, width, height);
    return *width > 0 && *height > 0;
}

bool sdl_end_frame() {
    if (!g_sdl.window || !g_sdl.context) return false;
    SDL_GL_SwapWindow(g_sdl.window);
    return true;
}

void sdl_request_mode(int width, int height, bool fullscreen) {
    if (!g_sdl.window) return;
    log("Switching to %s %dx%d\n", fullscreen ? "fullscreen" : "a window", width, height);
    g_sdl.busy = true;
    if (fullscreen) {
        enter_fullscreen(width, height);
    } else {
        if (width <= 0 || height <= 0) {
            width = g_sdl.requested_width;
            height = g_sdl.requested_height;
        }
        leave_fullscreen(width, height);
        g_sdl.requested_width = width;
        g_sdl.requested_height = height;
    }
    // The change is done once SDL has handled the window's answers to it.
    SDL_PumpEvents();
    g_sdl.busy = false;
}

void sdl_message_box(const char* title, const char* text) {
    char shown[k_message_box_max + 1];
    snprintf(shown, sizeof shown, "%s", text);
    // Headless there is nobody to show a box to; the error stream still carries it.
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, shown, g_sdl.window) != 0)
        fprintf(stderr, "%s: %s", title, shown);
}

void* sdl_gl_proc(const char* name) { return SDL_GL_GetProcAddress(name); }

// The name the keyboard layout gives the key, or SDL's name for its position before there is a
// window to ask.
const char* sdl_key_name(int scan) {
    for (const scan_map& m : k_scan_map) {
        if (m.scan != scan) continue;
        if (SDL_WasInit(SDL_INIT_VIDEO)) {
            const char* name = SDL_GetKeyName(SDL_GetKeyFromScancode(m.sdl));
            if (name && name[0]) return name;
        }
        return SDL_GetScancodeName(m.sdl);
    }
    return "";
}
} // namespace

const platform_backend k_platform_sdl = {
    "sdl",
    sdl_clock,
    sdl_sleep,
    sdl_yield,
    sdl_create_window,
    sdl_destroy_window,
    sdl_pump,
    sdl_begin_frame,
    sdl_end_frame,
    sdl_message_box,
    sdl_gl_proc,
    sdl_display_modes,
    sdl_request_mode,
    sdl_key_name,
    &k_sound_sdl,
};
