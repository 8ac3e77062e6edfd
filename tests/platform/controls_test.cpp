// Control names: exact, loose and hexadecimal lookups, and names of codes.
#include "platform/controls.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

TEST(Controls, LooseComparisonIgnoresCaseAndUnderscores) {
    int32_t right_ctrl = k_control_key_base + 0x11D;
    EXPECT_EQ(key_code_of("Right Ctrl"), right_ctrl);
    EXPECT_EQ(key_code_of("right ctrl"), right_ctrl);
    EXPECT_EQ(key_code_of("right_ctrl"), right_ctrl);
    EXPECT_EQ(key_code_of("x"), k_control_key_base + 0x2D);
    EXPECT_EQ(key_code_of("esc"), k_control_key_base + 0x01);
    EXPECT_EQ(key_code_of("nonsense key"), k_control_none);
}

TEST(Controls, HexadecimalScanCodes) {
    EXPECT_EQ(key_code_of("0x1d"), k_control_key_base + 0x1D);
    EXPECT_EQ(key_code_of("0x1ff"), k_control_key_base + 0x1FF);
    EXPECT_EQ(key_code_of("0x200"), k_control_none);
}

TEST(Controls, SpecialNamesAndAliases) {
    EXPECT_EQ(key_code_of("Close"), k_control_close);
    EXPECT_EQ(key_code_of("cursor-left"), k_control_mouse_left);
    EXPECT_EQ(name_of(k_control_mouse_right), "Mouse Right");
    EXPECT_EQ(name_of(k_control_close), "Close");
}

TEST(Controls, NamesOfCodes) {
    EXPECT_EQ(name_of(k_control_key_base + 0x39), "Space");
    EXPECT_EQ(name_of(k_control_key_base + 0x14B), "Left");
    EXPECT_EQ(name_of(k_control_key_base + 0x5D), "0x5d");
    EXPECT_EQ(name_of(65), "");
    // Every named key round-trips through its name.
    for (int scan = 0; scan < 512; scan++) {
        std::string name = name_of(k_control_key_base + scan);
        EXPECT_EQ(key_code_of(name.c_str()), k_control_key_base + scan) << name;
    }
}

namespace {
// A keyboard whose system names only the right Ctrl key, in its own language.
const char* foreign_key_name(int scan) { return scan == 0x11D ? "Strg rechts" : ""; }
} // namespace

TEST(Controls, ThePlatformsNamesComeFirstThenTheTableThenHex) {
    platform_backend foreign = k_platform_null;
    foreign.key_name = foreign_key_name;
    platform_use(foreign);
    EXPECT_EQ(name_of(k_control_key_base + 0x11D), "Strg rechts");
    EXPECT_EQ(key_code_of("strg_rechts"), k_control_key_base + 0x11D);
    EXPECT_EQ(key_code_of("Right Ctrl"), k_control_key_base + 0x11D) << "the table still names it";
    EXPECT_EQ(name_of(k_control_key_base + 0x2D), "X") << "not named by the system";
    EXPECT_EQ(name_of(k_control_key_base + 0x1FE), "0x1fe");
    platform_use(k_platform_null);
    EXPECT_EQ(name_of(k_control_key_base + 0x11D), "Right Ctrl");
}
