// The game on the generated data set, through the real window and GL back-end (headless): it
// starts a race on a track, simulates it and closes on a quit request, with nothing missing.
#include "core/program.h"

#include "files/files.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "race/race.h"

#include "support/data_set_home.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {
// Runs the game through the SDL back-end; once the window is up, lets it run `seconds` of real
// time and then asks it to quit. Returns the exit status.
int run_game_for(std::vector<const char*> args, int seconds) {
    std::atomic<bool> done = false;
    std::thread closer([&] {
        auto start = std::chrono::steady_clock::now();
        bool window_seen = false;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!window_seen && SDL_WasInit(SDL_INIT_VIDEO)) {
                window_seen = true;
                start = std::chrono::steady_clock::now();
            }
            if (window_seen &&
                std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds)) {
                SDL_Event quit{};
                quit.type = SDL_QUIT;
                SDL_PushEvent(&quit);
            }
        }
    });
    args.insert(args.begin(), "trailbok");
    int status = program_main(static_cast<int>(args.size()), args.data(), k_platform_sdl);
    done = true;
    closer.join();
    return status;
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(GameRun, RacesOnTheGeneratedTrackAndClosesOnQuit) {
    fs::path home = data_set_home_open("tb_game_run_");
    unsetenv("TAVO_LOGFILE");
    log_reset();

    int status = run_game_for({"--nosound", "--warp", "--track", "practice"}, 4);

    EXPECT_EQ(status, 0);
    EXPECT_GT(program().world_tics, 128);
    std::string text = read_text(home / "Trailbok" / "lastlog.txt");
    EXPECT_NE(text.find("] Loading terrain\n"), std::string::npos);
    // Every model, texture and file the race needed was found.
    EXPECT_EQ(text.find("Warning"), std::string::npos) << text;
    EXPECT_NE(text.find("] Deleting models\n"), std::string::npos);

    data_set_home_close(home);
    log_reset();
}

// "--record-audio": the mixed engines of the race, one tic of 690 stereo samples at a time.
TEST(GameRun, RecordsTheRacesSound) {
    fs::path home = data_set_home_open("tb_game_audio_");
    unsetenv("TAVO_LOGFILE");
    log_reset();
    const fs::path file = home / "race.raw";

    int status = run_game_for(
        {"--record-audio", file.c_str(), "--lock-fps", "60", "--track", "practice"}, 2);

    EXPECT_EQ(status, 0);
    ASSERT_GT(program().world_tics, 32);
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), static_cast<uintmax_t>(program().world_tics) * 1380);
    std::string bytes = read_text(file);
    size_t heard = 0;
    for (char b : bytes) heard += static_cast<unsigned char>(b) != 128;
    EXPECT_GT(heard, bytes.size() / 4) << "the engines are on the recording";
    std::string text = read_text(home / "Trailbok" / "lastlog.txt");
    EXPECT_NE(text.find("] Opening readback audio...\n"), std::string::npos);
    EXPECT_EQ(text.find("Error reading"), std::string::npos) << text;

    data_set_home_close(home);
    log_reset();
}
} // namespace
