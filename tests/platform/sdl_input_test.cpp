// Input through the SDL back-end, headless: virtual joysticks and pads found, named, read and
// plugged in and out while running; key, character and mouse events pushed through SDL; the
// capture picking what the player moves; display modes and mode switches.
#include "platform/capture.h"
#include "platform/controls.h"
#include "platform/devices.h"
#include "platform/event_queue.h"
#include "platform/log.h"
#include "platform/platform.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
const platform_backend& sdl = k_platform_sdl;

struct SdlInput : ::testing::Test {
    std::string log_path;
    std::vector<int> virtual_indices;

    void SetUp() override {
        log_path = "/tmp/tb_sdl_input_" + std::to_string(getpid()) + ".txt";
        setenv("TAVO_LOGFILE", log_path.c_str(), 1);
        log_reset();
        platform_use(sdl);
        event_queue_clear();
        // A headless window never has the keyboard focus, and SDL keeps a pad's input from a
        // window without it.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0);
    }
    void TearDown() override {
        capture_stop();
        sdl.destroy_window();
        while (SDL_NumJoysticks() > 0) SDL_JoystickDetachVirtual(0);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
        platform_use(k_platform_null);
        log_close();
        unsetenv("TAVO_LOGFILE");
        log_reset();
        unlink(log_path.c_str());
    }

    // A virtual joystick as a driver would show it; a pad gets SDL's standard mapping.
    static int attach(const char* name, int axes, int buttons, int hats, bool pad = false) {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = pad ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN;
        desc.naxes = static_cast<Uint16>(axes);
        desc.nbuttons = static_cast<Uint16>(buttons);
        desc.nhats = static_cast<Uint16>(hats);
        desc.name = name;
        return SDL_JoystickAttachVirtualEx(&desc);
    }

    // The virtual joystick whose name the back-end gave a device.
    static SDL_Joystick* stick(int device_index) { return SDL_JoystickOpen(device_index); }

    void open_window() { ASSERT_TRUE(sdl.create_window("Trailbok test", 320, 240, 24, 16)); }

    static int device_called(const char* name) {
        for (int d = 0; d < device_count(); d++)
            if (device_name(d) == name) return d;
        return -1;
    }

    // Every event the back-end has queued by now.
    static std::vector<platform_event> events() {
        std::vector<platform_event> out;
        platform_event e;
        while (next_event(&e)) out.push_back(e);
        return out;
    }

    std::string log_text() {
        std::ifstream in(log_path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static void push_key(SDL_Scancode scancode, SDL_Keycode key, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.timestamp = SDL_GetTicks();
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = scancode;
        e.key.keysym.sym = key;
        SDL_PushEvent(&e);
    }
};
} // namespace

TEST_F(SdlInput, JoysticksOfOneNameAreNumberedAndNamedBothWays) {
    ASSERT_GE(attach("Joystick 1", 2, 4, 0), 0);
    ASSERT_GE(attach("Joystick 1", 2, 4, 0), 0);
    open_window();
    int first = device_called("Joystick1");
    int second = device_called("Joystick1#2");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_GE(device_called("Mouse"), 0);
    EXPECT_GE(device_called("cursor"), 0);
    EXPECT_NE(device_id(first), device_id(second));
    EXPECT_EQ(device_id(first) % 65536, 0);
    EXPECT_EQ(device_id(first), device_id_checksum("Joystick1"));

    // Both spellings of a button name the same control; index 300 is beyond any name.
    EXPECT_EQ(bind_button("Joystick1#2.key[3]"), device_id(second) + 3);
    EXPECT_EQ(bind_button("Joystick1#2 button 3"), device_id(second) + 3);
    EXPECT_EQ(bind_button("Joystick1#2.key[4]"), k_control_none) << "it has four buttons";
    EXPECT_EQ(bind_button("Joystick1.key[300]"), k_control_none);
    EXPECT_EQ(name_of(device_id(second) + 3), "Joystick1#2 button 3");
    EXPECT_EQ(bind_button("joystick-b-2"), device_id(second) + 1);

    std::vector<std::string> axes = absolute_axes();
    EXPECT_EQ(axes, (std::vector<std::string>{"Joystick1 axis 0", "Joystick1 axis 1",
                                              "Joystick1#2 axis 0", "Joystick1#2 axis 1"}));
    std::string text = log_text();
    EXPECT_NE(text.find("] DirectInput roll call...\n"), std::string::npos);
    EXPECT_NE(text.find("] Joystick 1 (Joystick 1)\n"), std::string::npos);
    EXPECT_NE(text.find("] 2 axes, 4 keys\n"), std::string::npos);
    EXPECT_NE(text.find("] Adding axis \"Joystick1#2 axis 1\"\n"), std::string::npos);
    EXPECT_NE(text.find("] End of DirectInput roll call\n"), std::string::npos);
}

TEST_F(SdlInput, AxesSpanTheFullScaleAndButtonsArriveWithTheirTimes) {
    int index = attach("Wheel", 3, 2, 1);
    open_window();
    SDL_Joystick* j = stick(index);
    int device = device_called("Wheel");
    ASSERT_GE(device, 0);
    int steer = open_axis("Wheel.axis[0]");
    int pedal = open_axis("Wheel axis 2");
    ASSERT_GE(steer, 0);
    ASSERT_GE(pedal, 0);
    EXPECT_EQ(open_axis("Wheel.axis[3]"), -1) << "three axes";

    SDL_JoystickSetVirtualAxis(j, 0, -32768);
    SDL_JoystickSetVirtualAxis(j, 2, 32767);
    events();
    EXPECT_EQ(read_axis(steer), -32767) << "the range is symmetric";
    EXPECT_EQ(read_axis(pedal), 32767);
    EXPECT_EQ(read_axis(pedal), 32767) << "an absolute axis keeps its value";

    // A button of a device nothing is bound to is not polled.
    SDL_JoystickSetVirtualButton(j, 1, 1);
    EXPECT_TRUE(events().empty());
    SDL_JoystickSetVirtualButton(j, 1, 0);
    events();

    int32_t button = bind_button("Wheel.key[1]");
    double before = sdl.clock();
    SDL_JoystickSetVirtualButton(j, 1, 1);
    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_LEFT);
    std::vector<platform_event> got = events();
    double after = sdl.clock();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].control, button);
    EXPECT_EQ(got[0].pressed, 1);
    EXPECT_GE(got[0].time, before - 0.002);
    EXPECT_LE(got[0].time, after + 0.002);
    // The hat's four directions follow the two buttons: up, right, down, left.
    EXPECT_EQ(got[1].control, device_id(device) + 2 + 3);
    EXPECT_EQ(name_of(got[1].control), "Wheel button 5");

    SDL_JoystickSetVirtualButton(j, 1, 0);
    got = events();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].pressed, 0);
    close_axis(steer);
    close_axis(pedal);
    SDL_JoystickClose(j);
}

TEST_F(SdlInput, APadPulledOutAndPluggedBackKeepsItsBindings) {
    int index = attach("Gamepad", 6, 15, 0, true);
    open_window();
    int device = device_called("Gamepad");
    ASSERT_GE(device, 0);
    int32_t id = device_id(device);
    int32_t start = bind_button("pad-start");
    EXPECT_EQ(start, id + 6) << "SDL's mapping of a pad puts start on button 6";
    int stick_x = open_axis("pad-left-x");
    ASSERT_GE(stick_x, 0);
    SDL_Joystick* j = stick(index);
    SDL_JoystickSetVirtualAxis(j, 0, 16384);
    SDL_JoystickSetVirtualButton(j, 6, 1);
    events();
    EXPECT_EQ(read_axis(stick_x), 16384);
    SDL_JoystickClose(j);

    // Pulled out: the held button lets go and the stick rests.
    SDL_JoystickDetachVirtual(index);
    std::vector<platform_event> got = events();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].control, start);
    EXPECT_EQ(got[0].pressed, 0);
    EXPECT_FALSE(device_present(device));
    EXPECT_EQ(read_axis(stick_x), 0);

    // Plugged back in: the same device, id, handle and binding.
    index = attach("Gamepad", 6, 15, 0, true);
    events();
    EXPECT_TRUE(device_present(device));
    EXPECT_EQ(device_id(device), id);
    j = stick(index);
    SDL_JoystickSetVirtualAxis(j, 0, -8192);
    SDL_JoystickSetVirtualButton(j, 6, 1);
    got = events();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].control, start);
    EXPECT_EQ(read_axis(stick_x), -8192);
    close_axis(stick_x);
    SDL_JoystickClose(j);

    std::string text = log_text();
    EXPECT_NE(text.find("] Device \"Gamepad\" is gone\n"), std::string::npos);
    EXPECT_NE(text.find("] Device \"Gamepad\" is back\n"), std::string::npos);
}

TEST_F(SdlInput, APadPluggedInWhileRunningIsAdded) {
    open_window();
    EXPECT_EQ(device_called("Late"), -1);
    EXPECT_EQ(open_axis("pad-left-y"), -1);
    int generation = devices_generation();
    attach("Late", 6, 15, 0, true);
    events();
    EXPECT_GE(device_called("Late"), 0);
    EXPECT_NE(devices_generation(), generation) << "bindings learn to try again";
    int handle = open_axis("pad-left-y");
    EXPECT_GE(handle, 0);
    close_axis(handle);
}

TEST_F(SdlInput, CaptureTakesAnAxisThatTravelledPastHalfRangeAndRested) {
    int index = attach("Joystick 1", 2, 2, 0);
    open_window();
    SDL_Joystick* j = stick(index);
    SDL_JoystickSetVirtualAxis(j, 1, -3000); // a stick that rests a little off centre
    events();
    double clock = 10.0;
    capture_start(clock);
    // A small wobble of the other axis never wins.
    SDL_JoystickSetVirtualAxis(j, 0, 9000);
    for (int tic = 0; tic < 64; tic++) {
        events();
        EXPECT_EQ(capture_tic(clock += 1.0 / 128).kind, capture_nothing);
    }
    // Pushed past half range, it is taken only once it has rested a quarter second.
    SDL_JoystickSetVirtualAxis(j, 1, 30000);
    capture_outcome out;
    double moved = clock;
    while (out.kind == capture_nothing && clock < moved + 1) {
        events();
        out = capture_tic(clock += 1.0 / 128);
    }
    ASSERT_EQ(out.kind, capture_axis);
    EXPECT_GT(clock - moved, 0.25);
    EXPECT_LE(clock - moved, 0.25 + 2.0 / 128) << "the tic it moved, then a quarter second";
    EXPECT_EQ(out.name, "Joystick1 axis 1");
    float rest = -3000 / 32768.0f, extreme = 30000 / 32768.0f;
    EXPECT_FLOAT_EQ(out.lo, rest + 0.0625f * (extreme - rest));
    EXPECT_FLOAT_EQ(out.hi, rest + 0.9375f * (extreme - rest));
    EXPECT_FALSE(capture_running());
    EXPECT_EQ(read_axis(out.axis_handle), 30000) << "the handle is the binding's now";
    EXPECT_EQ(open_axis_count(), 1) << "every other watched axis is closed";
    close_axis(out.axis_handle);
    SDL_JoystickClose(j);
}

TEST_F(SdlInput, CaptureTakesAPressedButtonOfAPadNothingIsBoundTo) {
    int index = attach("Joystick 1", 2, 4, 0);
    open_window();
    SDL_Joystick* j = stick(index);
    double clock = 3.0;
    capture_start(clock);
    SDL_JoystickSetVirtualButton(j, 2, 1);
    capture_outcome out;
    for (const platform_event& e : events())
        if (e.pressed) capture_press(e.control, clock);
    double pressed = clock;
    while (out.kind == capture_nothing && clock < pressed + 1)
        out = capture_tic(clock += 1.0 / 128);
    ASSERT_EQ(out.kind, capture_key);
    EXPECT_EQ(out.name, "Joystick1 button 2");
    EXPECT_GT(clock - pressed, 0.25);
    // Esc leaves a capture without a result.
    capture_start(clock);
    EXPECT_EQ(capture_press(key_code_of("esc"), clock).kind, capture_cancelled);
    EXPECT_FALSE(capture_running());
    EXPECT_EQ(open_axis_count(), 0);
    SDL_JoystickClose(j);
}

TEST_F(SdlInput, KeysGiveTheirScanCodesAndTabTypesNine) {
    open_window();
    events();
    push_key(SDL_SCANCODE_TAB, SDLK_TAB, true);
    push_key(SDL_SCANCODE_TAB, SDLK_TAB, false);
    push_key(SDL_SCANCODE_RCTRL, SDLK_RCTRL, true);
    push_key(SDL_SCANCODE_X, SDLK_x, true);
    std::vector<platform_event> got = events();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].control, k_control_key_base + 0x0F);
    EXPECT_EQ(got[0].pressed, 1);
    EXPECT_EQ(got[1].control, 9) << "the character event the frame loop reacts to";
    EXPECT_EQ(got[2].control, k_control_key_base + 0x0F);
    EXPECT_EQ(got[2].pressed, 0);
    EXPECT_EQ(got[3].control, key_code_of("right ctrl"));
    EXPECT_EQ(got[4].control, key_code_of("x"));
    EXPECT_EQ(name_of(got[3].control), "Right Ctrl");
    // Every key the keyboard can name reads back from its name.
    for (int scan = 0; scan < 512; scan++) {
        std::string name = name_of(k_control_key_base + scan);
        EXPECT_EQ(key_code_of(name.c_str()), k_control_key_base + scan) << name;
    }
}

TEST_F(SdlInput, MouseAxesCountMovementSinceTheLastRead) {
    open_window();
    int x = open_axis("mouse-x");
    int cursor_x = open_axis("cursor-x");
    ASSERT_GE(x, 0);
    ASSERT_GE(cursor_x, 0);
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = 100;
    e.motion.y = 50;
    e.motion.xrel = 7;
    SDL_PushEvent(&e);
    e.motion.x = 97;
    e.motion.xrel = -3;
    SDL_PushEvent(&e);
    events();
    EXPECT_EQ(read_axis(x), 4);
    EXPECT_EQ(read_axis(x), 0) << "no movement since";
    int width = 0, height = 0, window_width = 0, window_height = 0;
    ASSERT_TRUE(sdl.begin_frame(&width, &height));
    sdl.end_frame();
    SDL_GetWindowSize(SDL_GL_GetCurrentWindow(), &window_width, &window_height);
    EXPECT_EQ(read_axis(cursor_x), 97 * width / window_width) << "in drawable pixels";
    close_axis(x);
    close_axis(cursor_x);
}

TEST_F(SdlInput, DesktopModeComesFirstAndTheWindowSwitchesToFullscreenAndBack) {
    const display_mode* modes = sdl.display_modes();
    ASSERT_GT(modes[0].width, 0);
    open_window();
    int width = 0, height = 0;
    ASSERT_TRUE(sdl.begin_frame(&width, &height));
    sdl.end_frame();
    EXPECT_EQ(width, 320);
    sdl.request_mode(0, 0, true);
    ASSERT_TRUE(sdl.begin_frame(&width, &height));
    sdl.end_frame();
    EXPECT_EQ(width, modes[0].width) << "the desktop's own mode";
    EXPECT_EQ(height, modes[0].height);
    sdl.request_mode(400, 300, false);
    ASSERT_TRUE(sdl.begin_frame(&width, &height));
    sdl.end_frame();
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);
}

TEST_F(SdlInput, AMessageBoxNobodyCanSeeGoesToTheErrorStream) {
    // Without a display to show it on, a modal box would otherwise wait for a click.
    std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    std::string wayland = getenv("WAYLAND_DISPLAY") ? getenv("WAYLAND_DISPLAY") : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStderr();
    sdl.message_box("Problem starting Trailbok", std::string(2000, 'x').c_str());
    std::string err = testing::internal::GetCapturedStderr();
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    if (!wayland.empty()) setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
    EXPECT_EQ(err, "Problem starting Trailbok: " + std::string(1023, 'x'));
}
