// Start-up over the null platform: missing game data, no tracks, command-line errors.
#include "core/config.h"
#include "core/program.h"

#include "bike/bike.h"

#include "files/files.h"
#include "platform/event_queue.h"
#include "platform/controls.h"
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

    // The smallest loadable track: a flat 129 x 129 field with its shading, surface and tile map.
    void make_track() {
        const int n = 129;
        fs::path dir = root / "data" / "flat";
        fs::create_directories(dir);
        std::string hf = "6 1.0 0 10 :";
        hf.append(static_cast<size_t>(n) * n * 2, '\0');
        std::ofstream(dir / "terrain.hf", std::ios::binary) << hf;
        std::ofstream(dir / "shading.ppm", std::ios::binary)
            << "P6\n129 129\n255\n"
            << std::string(static_cast<size_t>(n) * n * 3, char(200));
        std::ofstream(dir / "texturelist") << "1.0 5.0 15.0 nothing.png\n";
        std::ofstream(dir / "tilemap", std::ios::binary) << std::string(64 * 64, '\0');
        std::ofstream(root / "data" / "zzzz.saf") << "-\n";
    }

    std::string last_log() {
        std::ifstream in(root / "home" / "Trailbok" / "lastlog.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};
} // namespace

TEST_F(Startup, MissingGameDataStopsWithStatusZero) {
    EXPECT_EQ(run({}), 0);
    EXPECT_TRUE(fs::exists(root / "home" / "Trailbok" / "lastlog.txt"))
        << "the home folder is made";
    EXPECT_EQ(last_log().find("Trailbok version"), std::string::npos);
}

TEST_F(Startup, NoTracksStopsWithStatusOne) {
    std::ofstream(root / "data" / "zzzz.saf") << "-\n";
    testing::internal::CaptureStderr();
    int status = run({"--nosound"});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "No tracks found\n");
    const std::string text = last_log();
    EXPECT_NE(text.find("] Trailbok version 2019-01-01-1436 snapshot\n"), std::string::npos);
    // What had started ends, last first; what had not (the sound, the settings) is left alone.
    const size_t files = text.find("] Freeing file list\n");
    ASSERT_NE(files, std::string::npos);
    EXPECT_NE(text.find("] Deleting textures\n", files), std::string::npos);
    EXPECT_EQ(text.find("Closing audio"), std::string::npos);
    EXPECT_EQ(text.find("Writing config files"), std::string::npos);
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
    EXPECT_FALSE(fs::exists(root / "home" / "Trailbok" / "lastlog.txt"))
        << "help reads no game data";
}

TEST_F(Startup, CloseRequestEndsTheRunWithTheFullShutDown) {
    make_track();
    null_platform_reset();
    event_queue_clear();
    event_queue_push({k_control_close, 1, 0.0});
    EXPECT_EQ(run({"--nosound", "--track", "flat"}), 0);
    std::string text = last_log();
    const char* order[] = {
        "Deallocating bikes",   "Finished deallocating bikes", "Deallocating track",
        "Freeing memory (1)",   "Closing input devices",       "Closing audio",
        "Writing config files", "Freeing memory (2)",          "Freeing memory (3)",
        "Freeing file list",    "Freeing memory (4)",          "Deleting textures",
        "Deleting models"};
    size_t at = 0;
    for (const char* line : order) {
        size_t found = text.find(std::string("] ") + line + "\n", at);
        ASSERT_NE(found, std::string::npos) << line << " missing or out of order";
        at = found;
    }
}

TEST_F(Startup, WindowClosedDuringLoadingSkipsTheLoopButWritesTheConfig) {
    make_track();
    // A config shipped beside the game data: read at start-up, never written over.
    const std::string shipped = "fov=90\nnumber=42\nvolume=25\nleft_key=(0.5,1)Joystick1.axis[0]\n";
    std::ofstream(root / "data" / "config") << shipped;
    null_platform_reset();
    event_queue_clear();
    null_platform_close_window();
    EXPECT_EQ(run({"--nosound", "--width", "1024"}), 0);
    std::string text = last_log();
    EXPECT_EQ(text.find("Deallocating bikes"), std::string::npos);
    EXPECT_NE(text.find("] Closing audio\n"), std::string::npos);
    // The config goes to the home folder with this run's values: the command line's width, the
    // values read, the slider clamped to its range, the bindings in their written form.
    std::ifstream in(root / "home" / "Trailbok" / "config");
    ASSERT_TRUE(in.good()) << "no config in the home folder";
    std::stringstream written;
    written << in.rdbuf();
    const std::string config = written.str();
    for (const char* line :
         {"xres=1024\n", "fov=90.000000\n", "number=42\n", "volume=10.000000\n",
          "left_key=(0.500000,1.000000)Joystick1.axis[0]\n", "throttle_key=(k)x\n"})
        EXPECT_NE(config.find(line), std::string::npos) << line << config;
    EXPECT_LT(config.find("xres="), config.find("bike=")) << "settings, then the setup lines";
    EXPECT_LT(config.find("number="), config.find("fov="));
    EXPECT_LT(config.find("fov="), config.find("throttle_key=")) << "the bindings come last";
    std::ifstream again(root / "data" / "config");
    std::stringstream kept;
    kept << again.rdbuf();
    EXPECT_EQ(kept.str(), shipped);
}

TEST_F(Startup, ADemoNamedOnTheCommandLinePlaysOnItsOwnTrack) {
    make_track();
    std::ofstream(root / "data" / "config") << "track=elsewhere\n";
    const std::string demo = (root / "race.qvdemo").string();
    std::ofstream(demo) << "QV06 1 0 3 1800\nflat\nyz250f(2017)||||\n7\nSomeone\n\n";
    null_platform_reset();
    event_queue_clear();
    event_queue_push({k_control_close, 1, 0.0});
    EXPECT_EQ(run({"--nosound", demo.c_str()}), 0);
    // The demo's track became the chosen track, and the race on it was started.
    std::ifstream in(root / "home" / "Trailbok" / "config");
    std::stringstream written;
    written << in.rdbuf();
    EXPECT_NE(written.str().find("track=flat\n"), std::string::npos) << written.str();
    std::string text = last_log();
    EXPECT_NE(text.find("] Resetting\n"), std::string::npos);
    EXPECT_EQ(text.find("Can't play"), std::string::npos) << text;
}

TEST_F(Startup, SettingsBindingsAndSetupPersistAcrossRuns) {
    make_track();
    std::ofstream(root / "data" / "config")
        << "name=Second Rider\nbike=crf450(2017)\nleft_key=(0,-1)pad-left-x\nfov=75\n";
    null_platform_reset();
    event_queue_clear();
    event_queue_push({k_control_close, 1, 0.0});
    ASSERT_EQ(run({"--nosound", "--width", "900", "--draw-fps", "1", "--connect",
                   "trailbok:race.example"}),
              0);
    const fs::path written = root / "home" / "Trailbok" / "config";
    std::stringstream first;
    first << std::ifstream(written).rdbuf();
    // The options that change settings are written back with their values, beside what the
    // shipped config set.
    for (const char* line :
         {"xres=900\n", "draw_fps=1\n", "server_name=race.example\n",
          "server_name_hist00=race.example\n", "fov=75.000000\n", "name=Second Rider\n",
          "bike=crf450(2017)\n", "left_key=(0.000000,-1.000000)pad-left-x\n"})
        EXPECT_NE(first.str().find(line), std::string::npos) << line << first.str();

    // The next run reads them from the home folder alone, and keeps them.
    fs::remove(root / "data" / "config");
    null_platform_reset();
    event_queue_clear();
    event_queue_push({k_control_close, 1, 0.0});
    ASSERT_EQ(run({"--nosound"}), 0);
    EXPECT_EQ(config().xres, 900);
    EXPECT_EQ(config().fov, 75);
    EXPECT_EQ(setup().text[key_name], "Second Rider");
    EXPECT_EQ(binding_for_key("left_key")->axis, "pad-left-x");
    std::stringstream second;
    second << std::ifstream(written).rdbuf();
    EXPECT_EQ(second.str(), first.str());
}

// A configured track that was since removed: the run takes one that is installed, says so, and
// the menus and the race then agree on it.
TEST_F(Startup, AConfiguredTrackNoLongerInstalledIsReplacedAndSaidSo) {
    make_track();
    std::ofstream(root / "data" / "config") << "track=gone\n";
    null_platform_reset();
    event_queue_clear();
    event_queue_push({k_control_close, 1, 0.0});
    EXPECT_EQ(run({"--nosound"}), 0);
    EXPECT_NE(last_log().find("Track \"gone\" is not installed; racing on flat"),
              std::string::npos);
    std::stringstream written;
    written << std::ifstream(root / "home" / "Trailbok" / "config").rdbuf();
    EXPECT_NE(written.str().find("track=flat\n"), std::string::npos) << written.str();
}
