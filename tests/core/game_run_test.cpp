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

namespace fs = std::filesystem;

namespace {
TEST(GameRun, RacesOnTheGeneratedTrackAndClosesOnQuit) {
    fs::path home = data_set_home_open("tb_game_run_");
    unsetenv("TAVO_LOGFILE");
    log_reset();

    // Once the window is up, let the race run a few seconds of real time, then ask to quit.
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
            if (window_seen && std::chrono::steady_clock::now() - start > std::chrono::seconds(4)) {
                SDL_Event quit{};
                quit.type = SDL_QUIT;
                SDL_PushEvent(&quit);
            }
        }
    });
    const char* args[] = {"trailbok", "--nosound", "--warp", "--track", "practice"};
    int status = program_main(5, args, k_platform_sdl);
    done = true;
    closer.join();

    EXPECT_EQ(status, 0);
    EXPECT_GT(program().world_tics, 128);
    std::ifstream in(home / "Trailbok" / "lastlog.txt");
    std::stringstream log_text;
    log_text << in.rdbuf();
    std::string text = log_text.str();
    EXPECT_NE(text.find("] Loading terrain\n"), std::string::npos);
    // Every model, texture and file the race needed was found.
    EXPECT_EQ(text.find("Warning"), std::string::npos) << text;
    EXPECT_NE(text.find("] Deleting models\n"), std::string::npos);

    data_set_home_close(home);
    log_reset();
}
} // namespace
