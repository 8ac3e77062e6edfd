// Platform options in TAVO_OPTIONS: flags, numbers, unrecognised values.
#include "platform/log.h"
#include "platform/options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

TEST(PlatformOptions, BracketedSettingsAnywhereInTheText) {
    platform_options_set("[threaded:on][sound-rate:44100] junk [waveout:no]");
    EXPECT_EQ(platform_flag("threaded", 0), 1);
    EXPECT_EQ(platform_number("sound-rate", 22050), 44100);
    EXPECT_EQ(platform_flag("waveout", 1), 0);
    EXPECT_EQ(platform_flag("dsnd", 1), 1) << "absent options take the default";
    EXPECT_EQ(platform_number("sound-mixahead", 125), 125);
    platform_options_set(nullptr);
}

TEST(PlatformOptions, UnrecognisedValueLogsAndKeepsDefault) {
    std::string path = "/tmp/tb_options_" + std::to_string(getpid()) + ".txt";
    unsetenv("TAVO_LOGFILE");
    log_reset();
    log("TAVO_LOGFILE=%s", path.c_str());
    platform_options_set("[dsnd:maybe][sound-channels:lots]");
    EXPECT_EQ(platform_flag("dsnd", 1), 1);
    EXPECT_EQ(platform_number("sound-channels", 16), 16);
    log_close();
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("unrecognized setting for dsnd\n"), std::string::npos);
    EXPECT_NE(text.str().find("unrecognized setting for sound-channels\n"), std::string::npos);
    log_reset();
    platform_options_set(nullptr);
    remove(path.c_str());
}

TEST(PlatformOptions, ReadFromEnvironment) {
    setenv("TAVO_OPTIONS", "[fullscreen:yes]", 1);
    platform_options_set(nullptr);
    EXPECT_EQ(platform_flag("fullscreen", 0), 1);
    unsetenv("TAVO_OPTIONS");
    platform_options_set(nullptr);
    EXPECT_EQ(platform_flag("fullscreen", 0), 0);
}
