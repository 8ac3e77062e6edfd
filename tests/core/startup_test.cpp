// Start-up over the null platform: missing game data, no tracks, command-line errors.
#include "core/program.h"

#include "files/files.h"
#include "platform/log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
struct Startup : ::testing::Test {
    fs::path root;
    void SetUp() override {
        root = fs::temp_directory_path() / ("tb_startup_" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "data");
        setenv("XDG_DATA_HOME", (root / "home").c_str(), 1);
        setenv("QV_HOME", (root / "data").c_str(), 1);
        unsetenv("TAVO_LOGFILE");
        folders_free();
        log_reset();
    }
    void TearDown() override {
        unsetenv("QV_HOME");
        unsetenv("XDG_DATA_HOME");
        folders_free();
        log_reset();
        fs::remove_all(root);
    }

    int run(std::vector<const char*> args) {
        args.insert(args.begin(), "trailbok");
        return program_main(static_cast<int>(args.size()), args.data(), k_platform_null);
    }

    std::string last_log() {
        std::ifstream in(root / "home" / "Trailbok" / "lastlog.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};
}

TEST_F(Startup, MissingGameDataStopsWithStatusZero) {
    EXPECT_EQ(run({}), 0);
    EXPECT_TRUE(fs::exists(root / "home" / "Trailbok" / "lastlog.txt")) << "the home folder is made";
    EXPECT_EQ(last_log().find("Trailbok version"), std::string::npos);
}

TEST_F(Startup, NoTracksStopsWithStatusOne) {
    std::ofstream(root / "data" / "zzzz.saf") << "-\n";
    testing::internal::CaptureStderr();
    int status = run({"--nosound"});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "No tracks found\n");
    EXPECT_NE(last_log().find("] Trailbok version 2019-01-01-1436 snapshot\n"), std::string::npos);
}

TEST_F(Startup, CommandLineErrorStopsWithStatusOne) {
    std::ofstream(root / "data" / "zzzz.saf") << "-\n";
    testing::internal::CaptureStderr();
    int status = run({"--lock-fps", "soon"});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "Bad arg for --lock-fps\n");
}

TEST_F(Startup, HelpPrintsTheOptionsAndStops) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(run({"--help"}), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("--lock-fps"), std::string::npos);
    EXPECT_FALSE(fs::exists(root / "home" / "Trailbok" / "lastlog.txt")) << "help reads no game data";
}
