// The log file: opening by request or environment, stamps, control-S lines, closing.
#include "platform/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
std::string temp_path(const char* tag) {
    return std::string("/tmp/tb_log_") + tag + "_" + std::to_string(getpid()) + ".txt";
}

std::string read_all(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct LogTest : ::testing::Test {
    void SetUp() override {
        unsetenv("TAVO_LOGFILE");
        unsetenv("TAVO_LOGFILE_FLAGS");
        log_reset();
    }
    void TearDown() override {
        log_reset();
        unsetenv("TAVO_LOGFILE");
        unsetenv("TAVO_LOGFILE_FLAGS");
    }
};
} // namespace

TEST_F(LogTest, RequestOpensFileWithBannerAndStampedLines) {
    std::string path = temp_path("request");
    log("TAVO_LOGFILE=%s", path.c_str());
    log("hello %d\n", 42);
    log("\x13secret\n");
    log_close();
    log("after close\n");
    std::string text = read_all(path);
    std::regex stamped(R"(\[\d+:\d\d:\d\d\.\d\d\] )");
    EXPECT_NE(text.find("Logfile \"" + path + "\" opened\n"), std::string::npos);
    EXPECT_NE(text.find("] TAVO 0.31\n"), std::string::npos);
    EXPECT_NE(text.find("] hello 42\n"), std::string::npos);
    EXPECT_EQ(text.find("secret"), std::string::npos) << "control-S lines never reach the file";
    EXPECT_EQ(text.find("after close"), std::string::npos);
    // Every line carries a stamp.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(std::regex_search(line, stamped)) << line;
    remove(path.c_str());
}

TEST_F(LogTest, EnvironmentOverridesRequestAndAppendsWithDoubleAngle) {
    std::string path = temp_path("env");
    {
        std::ofstream old(path);
        old << "earlier run\n";
    }
    setenv("TAVO_LOGFILE", (">>" + path).c_str(), 1);
    log("TAVO_LOGFILE=/nonexistent/folder/lastlog.txt");
    log("second run\n");
    log_close();
    std::string text = read_all(path);
    EXPECT_EQ(text.rfind("earlier run\n", 0), 0u) << "appending keeps the old content";
    EXPECT_NE(text.find("second run"), std::string::npos);
    remove(path.c_str());
}

TEST_F(LogTest, SingleAngleReplacesAndFlagsOverrideMode) {
    std::string path = temp_path("flags");
    {
        std::ofstream old(path);
        old << "old content\n";
    }
    setenv("TAVO_LOGFILE", (">" + path).c_str(), 1);
    log("first\n");
    log_close();
    EXPECT_EQ(read_all(path).find("old content"), std::string::npos);

    log_reset();
    setenv("TAVO_LOGFILE", path.c_str(), 1);
    setenv("TAVO_LOGFILE_FLAGS", "a", 1);
    log("second\n");
    log_close();
    std::string text = read_all(path);
    EXPECT_NE(text.find("first"), std::string::npos);
    EXPECT_NE(text.find("second"), std::string::npos);
    remove(path.c_str());
}

TEST_F(LogTest, ALineLongerThanTheBufferIsWrittenWhole) {
    std::string path = temp_path("long");
    setenv("TAVO_LOGFILE", path.c_str(), 1);
    // A driver's extension list runs to many kilobytes.
    std::string extensions;
    for (int i = 0; extensions.size() < 12000; i++)
        extensions += "GL_EXT_number_" + std::to_string(i) + " ";
    log("GL_EXTENSIONS: %s\n", extensions.c_str());
    log("next line\n");
    log_close();
    std::istringstream lines(read_all(path));
    std::vector<std::string> read;
    for (std::string line; std::getline(lines, line);) read.push_back(line);
    ASSERT_GE(read.size(), 2u);
    const std::string& long_line = read[read.size() - 2];
    ASSERT_GT(long_line.size(), extensions.size());
    EXPECT_EQ(long_line.substr(long_line.size() - extensions.size()), extensions)
        << "the line ends with the whole list";
    EXPECT_TRUE(std::regex_match(read.back(), std::regex(R"(\[\d+:\d\d:\d\d\.\d\d\] next line)")))
        << "the next message starts a line of its own";
    remove(path.c_str());
}

TEST_F(LogTest, WithoutAFileMessagesAreDropped) {
    log("nobody hears this\n");
    EXPECT_FALSE(log_is_open());
    log_error("broken thing");
    ASSERT_NE(last_error(), nullptr);
    EXPECT_STREQ(last_error(), "broken thing");
}

TEST(LogStamp, FormatsHoursMinutesSecondsHundredths) {
    char stamp[32];
    log_format_stamp(3 * 3600 + 7 * 60 + 9.456, stamp, sizeof stamp);
    EXPECT_STREQ(stamp, "[3:07:09.45] ");
    log_format_stamp(0.0, stamp, sizeof stamp);
    EXPECT_STREQ(stamp, "[0:00:00.00] ");
}
