// The game on the generated data set, through the real window and GL back-end (headless): it
// starts a race on a track, simulates it and closes on a quit request, with nothing missing,
// records its sound, and records what every view shows on video and in screenshots.
#include "core/core_local.h"
#include "core/program.h"

#include "files/files.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "race/race.h"
#include "resources/image.h"
#include "resources/texture.h"

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
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
// Asks the window to close, as the player would.
void push_quit() {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

// Runs the game through the SDL back-end; once the window is up, lets it run `seconds` of real
// time and then asks it to quit. Returns the exit status.
// Runs the game for the given seconds after its window opened, and on until it has run more
// than `min_tics` world tics (a busy machine runs few frames a second), a minute at most.
int run_game_for(std::vector<const char*> args, int seconds, int min_tics = 0) {
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
            if (!window_seen) continue;
            const auto running = std::chrono::steady_clock::now() - start;
            const int64_t tics = std::atomic_ref<int64_t>(program_edit().world_tics).load();
            if ((running > std::chrono::seconds(seconds) && tics > min_tics) ||
                running > std::chrono::seconds(60))
                push_quit();
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

    // Start-up and the track's loading take a few seconds on a busy machine.
    int status = run_game_for({"--nosound", "--warp", "--track", "practice"}, 8, 128);

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

    // Start-up (the shader programs built and first drawn among it) and the track's loading take
    // a few seconds on a busy machine before the first tic is recorded.
    int status = run_game_for(
        {"--record-audio", file.c_str(), "--lock-fps", "60", "--track", "practice"}, 5, 32);

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

namespace {
// Presses and releases a key in the window, as the player would.
void press_key(SDL_Scancode scan, SDL_Keycode sym) {
    for (Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) {
        SDL_Event e{};
        e.type = type;
        e.key.keysym.scancode = scan;
        e.key.keysym.sym = sym;
        SDL_PushEvent(&e);
    }
}

// The binary PPM pictures of a "--record-video" stream, each as its width, height and pixels.
struct video_frame {
    int width = 0, height = 0;
    std::string rgb;
};
std::vector<video_frame> read_video(const std::string& bytes) {
    std::vector<video_frame> frames;
    size_t at = 0;
    while (at < bytes.size()) {
        video_frame f;
        int header = 0;
        if (sscanf(bytes.c_str() + at, "P6\n%d %d\n255\n%n", &f.width, &f.height, &header) != 2 ||
            header == 0)
            break;
        const size_t size = static_cast<size_t>(f.width) * f.height * 3;
        if (at + header + size > bytes.size()) break;
        f.rgb = bytes.substr(at + header, size);
        frames.push_back(std::move(f));
        at += header + size;
    }
    return frames;
}

// Whether the top row (the sky) is blue rather than the clear colour or black.
bool shows_sky(const video_frame& f) {
    int blue = 0;
    for (int x = 0; x < f.width; x++) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(&f.rgb[x * 3]);
        if (p[2] > p[0] + 20 && p[2] > 120 && !(p[0] == 50 && p[1] == 153 && p[2] == 204)) blue++;
    }
    return blue > f.width / 2;
}
} // namespace

TEST(GameRun, RecordsTheRaceOnVideoFromEveryView) {
    fs::path home = data_set_home_open("tb_game_video_");
    unsetenv("TAVO_LOGFILE");
    log_reset();
    fs::create_directories(home / "Trailbok");
    std::ofstream(home / "Trailbok" / "config") << "video_mode=Windowed\nxres=160\nyres=120\n";
    const fs::path video = home / "video.ppm";
    fflush(stdout);
    const int saved_stdout = dup(1);
    FILE* out = fopen(video.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    dup2(fileno(out), 1);

    // Close the menu, then Tab through the rider's camera, the orbit and the trackside view.
    std::atomic<bool> done = false;
    std::thread player([&] {
        while (!done && !SDL_WasInit(SDL_INIT_VIDEO))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        press_key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        for (int view = 0; view < 3 && !done; view++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            press_key(SDL_SCANCODE_S, SDLK_s);
            // The next view only once this one's screenshot is saved, however slow the frames.
            const fs::path shot =
                home / "Trailbok" / ("screenshot00" + std::to_string(view + 1) + ".png");
            for (int wait = 0; wait < 600 && !done && !fs::exists(shot); wait++)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            press_key(SDL_SCANCODE_TAB, SDLK_TAB);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        push_quit();
    });
    const char* args[] = {"trailbok", "--nosound", "--record-video", "--track", "rabbithill"};
    int status = program_main(5, args, k_platform_sdl);
    done = true;
    player.join();
    fflush(stdout);
    dup2(saved_stdout, 1);
    close(saved_stdout);
    fclose(out);
    EXPECT_EQ(status, 0);

    std::ifstream in(video, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::vector<video_frame> frames = read_video(bytes.str());
    ASSERT_GT(frames.size(), 8u);
    int with_sky = 0;
    for (const video_frame& f : frames) {
        EXPECT_EQ(f.width, 160);
        EXPECT_EQ(f.height, 120);
        with_sky += shows_sky(f);
    }
    // The rider's and the orbit views look along the track to the sky; the trackside view
    // follows the rider with the track's cameras, which may look down on it from a bank.
    EXPECT_GT(with_sky, static_cast<int>(frames.size()) / 2) << "the views draw the sky";
    for (const video_frame& f : frames)
        EXPECT_NE(f.rgb.find_first_not_of(f.rgb[0]), std::string::npos) << "a picture, not a fill";
    // The views differ: the first and a late frame do not show the same picture.
    EXPECT_NE(frames.front().rgb, frames[frames.size() * 3 / 4].rgb);
    // The screenshot key saved what each view showed.
    for (const char* name : {"screenshot001.png", "screenshot002.png"}) {
        image shot;
        ASSERT_TRUE(image_load(("@" + std::string(name)).c_str(), &shot)) << name;
        video_frame top;
        top.width = shot.width;
        top.height = 1;
        top.rgb.assign(shot.pixels.begin(), shot.pixels.begin() + shot.width * 3);
        EXPECT_EQ(shot.width, 160);
        EXPECT_TRUE(shows_sky(top)) << name;
    }
    image trackside;
    EXPECT_TRUE(image_load("@screenshot003.png", &trackside));
    data_set_home_close(home);
    log_reset();
}
