// Devices as any back-end reports them: ids, unique names, both button spellings, relative
// axes, aliases and a device that comes back.
#include "platform/controls.h"
#include "platform/devices.h"
#include "platform/event_queue.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {
struct Devices : ::testing::Test {
    void SetUp() override {
        platform_use(k_platform_null);
        devices_shutdown();
        event_queue_clear();
    }
    void TearDown() override {
        devices_shutdown();
        event_queue_clear();
    }
    static int joystick(const char* name, int axes = 2, int buttons = 4) {
        return device_attach(device_report{name, name, device_joystick, axes, buttons, false});
    }
};
} // namespace

TEST_F(Devices, IdsComeFromTheNameAndNeverCollide) {
    // "ab": even bytes sum to 'a', odd bytes to 'b'.
    EXPECT_EQ(device_id_checksum("ab"), (('a' + 256 * 'b') & 32767) * 65536);
    int a = joystick("Stick A");
    int b = joystick("Stick A"); // same base name: a second device, a second id
    EXPECT_EQ(device_name(b), "StickA#2");
    EXPECT_NE(device_id(a), device_id(b));
    EXPECT_EQ(device_id(b) % 65536, 0);
    EXPECT_GT(device_id(b), 0);
}

TEST_F(Devices, DevicesWithNothingToReadAreDropped) {
    EXPECT_EQ(joystick("Dunsel", 0, 0), -1);
    EXPECT_EQ(device_count(), 0);
}

TEST_F(Devices, ButtonsHaveTwoSpellingsAndOnlyTheFirst256HaveNames) {
    int d = joystick("Joystick 1", 2, 400);
    EXPECT_EQ(bind_button("Joystick1.key[3]"), bind_button("Joystick1 button 3"));
    EXPECT_EQ(bind_button("Joystick1.key[255]"), device_id(d) + 255);
    EXPECT_EQ(bind_button("Joystick1.key[300]"), k_control_none);
    EXPECT_EQ(bind_button("Joystick1.key[-1]"), k_control_none);
    EXPECT_EQ(bind_button("Nobody.key[0]"), k_control_none);
    EXPECT_EQ(name_of(device_id(d) + 300), "");
    EXPECT_TRUE(device_active(d)) << "a bound device is polled";
}

TEST_F(Devices, ARelativeAxisReadTwiceGivesTheMovementThenZero) {
    int mouse = device_attach(device_report{"Mouse", "Mouse", device_mouse, 3, 5, true});
    int x = open_axis("mouse-x");
    ASSERT_GE(x, 0);
    device_move_axis(mouse, 0, 12);
    device_move_axis(mouse, 0, -2);
    EXPECT_EQ(read_axis(x), 10);
    EXPECT_EQ(read_axis(x), 0);
    EXPECT_TRUE(absolute_axes().empty()) << "mouse axes are never watched by the capture";
    close_axis(x);
}

TEST_F(Devices, ASecondAliasForANameIsRefused) {
    int first = joystick("Joystick 1");
    joystick("Joystick 2");
    joystick("Joystick 3");
    // The first two joysticks take the joystick-a and joystick-b aliases.
    EXPECT_EQ(bind_button("joystick-a-1"), device_id(first));
    EXPECT_EQ(std::string(control_alias("joystick-b-x")), "Joystick2.axis[0]");
    EXPECT_FALSE(alias_add("joystick-a-x", "Joystick3.axis[0]"));
    EXPECT_EQ(std::string(control_alias("joystick-a-x")), "Joystick1.axis[0]");
    devices_shutdown();
    EXPECT_EQ(std::string(control_alias("joystick-a-x")), "joystick-a-x") << "gone with them";
}

TEST_F(Devices, ADeviceThatComesBackIsTheSameDevice) {
    int d = joystick("Pad");
    int32_t button = bind_button("Pad.key[1]");
    int axis = open_axis("Pad.axis[0]");
    device_set_axis(d, 0, 40000);
    EXPECT_EQ(read_axis(axis), 32767) << "clamped to the full scale";
    device_button(d, 1, true, 5.0);
    device_detach(d);
    EXPECT_EQ(read_axis(axis), 0);
    platform_event e;
    ASSERT_TRUE(event_queue_take(&e, nullptr));
    ASSERT_TRUE(event_queue_take(&e, nullptr));
    EXPECT_EQ(e.control, button);
    EXPECT_EQ(e.pressed, 0) << "the held button is let go";
    int other = joystick("Other");
    EXPECT_EQ(joystick("Pad"), d);
    EXPECT_TRUE(device_was_known());
    EXPECT_NE(device_id(other), device_id(d));
    device_button(d, 1, true, 6.0);
    ASSERT_TRUE(event_queue_take(&e, nullptr));
    EXPECT_EQ(e.control, button);
    EXPECT_EQ(e.time, 6.0);
    close_axis(axis);
}
