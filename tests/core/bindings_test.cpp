// Bindings over the null platform: the config text of keys and axis ranges, an analogue stick
// steering in proportion, a pad plugged in late, the capture rebinding a control from the tic
// loop, and the config file keeping the window's keys and the bindings.
#include "core/core_local.h"
#include "core/config.h"
#include "core/menu_local.h"
#include "core/program.h"
#include "frame_loop_fixture.h"
#include "support/temp_data_test.h"

#include "bike/bike.h"
#include "files/files.h"
#include "platform/controls.h"
#include "platform/devices.h"
#include "platform/event_queue.h"
#include "platform/log.h"
#include "race/race.h"
#include "track/track.h"

#include <gtest/gtest.h>

namespace {
constexpr double tic = 1.0 / 128;

struct Bindings : TempDataTest {
    void SetUp() override {
        TempDataTest::SetUp();
        frame_loop_fresh_start();
    }
    void TearDown() override {
        bindings_close();
        devices_shutdown();
        track_set_current(nullptr);
        TempDataTest::TearDown();
    }

    static void ride() { ride_local_rider(); }

    static void frame_at(double t) {
        null_platform_set_clock(t);
        ASSERT_TRUE(frame_once());
    }

    static int pad() {
        return device_attach(device_report{"Pad", "Pad", device_joystick, 4, 8, false});
    }
};
} // namespace

TEST_F(Bindings, AxisRangesAndKeysReadAndWriteInTheirConfigForms) {
    binding& left = *binding_for_key_edit("left_key");
    parse_binding(left, "  (0.5,1)Joystick1.axis[0]");
    EXPECT_EQ(left.axis, "Joystick1.axis[0]");
    EXPECT_TRUE(left.control.empty());
    EXPECT_FLOAT_EQ(left.lo, 0.5f);
    EXPECT_FLOAT_EQ(left.hi, 1.0f);
    EXPECT_EQ(binding_line(left), "left_key=(0.500000,1.000000)Joystick1.axis[0]\n");

    binding& throttle = *binding_for_key_edit("throttle_key");
    parse_binding(throttle, "(k)Joystick1.key[0]");
    std::string with_prefix = throttle.control;
    parse_binding(throttle, "Joystick1.key[0]");
    EXPECT_EQ(throttle.control, with_prefix);
    EXPECT_EQ(binding_line(throttle), "throttle_key=(k)Joystick1.key[0]\n");
    EXPECT_FLOAT_EQ(throttle.lo, 0.0f);
    // A bracket without two numbers is a key name.
    parse_binding(throttle, "(x)");
    EXPECT_EQ(throttle.control, "(x)");
    EXPECT_TRUE(throttle.axis.empty());
}

TEST_F(Bindings, AStickBoundToSteeringSteersInProportion) {
    int d = pad();
    // Left on the stick's left half, right on its right half.
    parse_binding(*binding_for_key_edit("left_key"), "(0,-1)Pad.axis[0]");
    parse_binding(*binding_for_key_edit("right_key"), "(0,1)Pad axis 0");
    bindings_resolve();
    ride();
    const float sign = setup_reverse_steering() ? -1.0f : 1.0f;
    device_set_axis(d, 0, -16384);
    frame_at(tic);
    EXPECT_FLOAT_EQ(rider_input_of(0).steer, sign * 0.5f);
    device_set_axis(d, 0, 8192);
    frame_at(2 * tic);
    EXPECT_FLOAT_EQ(rider_input_of(0).steer, sign * -0.25f);
    device_set_axis(d, 0, k_axis_full_scale);
    frame_at(3 * tic);
    EXPECT_NEAR(rider_input_of(0).steer, sign * -1.0f, 1e-4);
}

TEST_F(Bindings, APadPluggedInAfterStartUpTakesItsBindings) {
    parse_binding(*binding_for_key_edit("throttle_key"), "Pad.key[2]");
    bindings_resolve();
    ride();
    frame_at(tic);
    int d = pad();
    frame_at(2 * tic); // the tic loop resolves again after devices came
    device_button(d, 2, true, 2 * tic);
    frame_at(3 * tic);
    EXPECT_FLOAT_EQ(rider_input_of(0).throttle, 1.0f);
    // Pulled out with the button held: the throttle closes.
    device_detach(d);
    frame_at(4 * tic);
    EXPECT_FLOAT_EQ(rider_input_of(0).throttle, 0.0f);
}

TEST_F(Bindings, CaptureFromTheTicLoopRebindsToTheMovedAxis) {
    int d = pad();
    bindings_resolve();
    ride();
    menus().page = menu_main; // the controls page is a menu page
    frame_at(tic);
    bindings_capture_start(0, program().time.run_clock);
    // The throttle key itself is only a press for the capture now.
    event_queue_push({key_code_of("x"), 1, tic});
    device_set_axis(d, 3, -20000);
    for (int f = 2; f < 80; f++) frame_at(f * tic);
    const binding& b = bindings()[0];
    EXPECT_EQ(b.axis, "Pad axis 3") << "the moving axis wins over the key";
    EXPECT_TRUE(b.control.empty());
    EXPECT_FLOAT_EQ(b.hi, 0.9375f * -20000 / 32768.0f);
    EXPECT_GE(b.axis_handle, 0);
    EXPECT_EQ(open_axis_count(), 1);
}

TEST_F(Bindings, ConfigKeepsTheWindowAndTheBindings) {
    const display_mode modes[] = {{1280, 1024, 32}, {800, 600, 32}, {1024, 768, 16}, {}};
    null_platform_set_modes(modes);
    video_modes_build();
    ASSERT_EQ(video_modes().size(), 4u) << "the 16-bit mode is not offered";
    EXPECT_EQ(video_modes()[3].label, "800x600");
    write(home / "config",
          "xres=1000\nyres=700\nvideo_mode=Windowed\r\n"
          "throttle_key=(k)pad-right-trigger\nleft_key=(0,-1)pad-left-x\nfov =90\n");
    read_config();
    EXPECT_EQ(config().xres, 1000);
    EXPECT_TRUE(video_mode_windowed());
    EXPECT_EQ(binding_for_key("throttle_key")->control, "pad-right-trigger");
    EXPECT_EQ(binding_for_key("left_key")->axis, "pad-left-x");
    video_mode_select(3);
    write_config();
    std::string text = read(home / "config");
    EXPECT_NE(text.find("video_mode=800x600\n"), std::string::npos);
    EXPECT_NE(text.find("left_key=(0.000000,-1.000000)pad-left-x\n"), std::string::npos);
    EXPECT_NE(text.find("right_key=(k)right\n"), std::string::npos);
    config_reset();
    read_config();
    EXPECT_EQ(video_mode_selected().width, 800);
    EXPECT_FALSE(video_mode_windowed());
    null_platform_set_modes(nullptr);
    video_modes_build();
}
