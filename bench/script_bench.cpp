// Rabbithill's track script in a race of ten robots: what its frame handler (60 drawn frames a
// second) and its tic handler (128 tics) cost per second of race, as a share of one core.
#include "bench_home.h"
#include "bike/bike.h"
#include "common/common.h"
#include "files/data_file.h"
#include "race/race.h"
#include "track/track.h"
#include "track/track_script.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
using clock_type = std::chrono::steady_clock;
constexpr int k_frames_per_second = 60;
constexpr int k_race_seconds = 60;

double since(clock_type::time_point t0) {
    return std::chrono::duration<double>(clock_type::now() - t0).count();
}
} // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path home = bench_home_open("tb_script_bench_");
    world_create();
    std::vector<int> codes(10, lineup_robot);
    race_start_params p;
    p.track = "rabbithill";
    p.laps = 3;
    if (!race_start_lineup(p, codes.data(), static_cast<int>(codes.size())) ||
        !track_script_running()) {
        std::fprintf(stderr, "script_bench: no race or no script on rabbithill\n");
        return 1;
    }
    double frame_seconds = 0, tic_seconds = 0;
    int frames = 0, tics = 0;
    for (int second = 0; second < k_race_seconds; second++) {
        for (int t = 0; t < k_tics_per_second; t++) {
            // The frames of this second spread over its tics, as the frame loop draws them.
            while (frames * k_tics_per_second <
                   (second * k_tics_per_second + t) * k_frames_per_second) {
                const auto t0 = clock_type::now();
                track_script_frame_handler(race_clock());
                frame_seconds += since(t0);
                frames++;
            }
            // The race tic calls the tic handler first; it is timed alone here.
            const auto t0 = clock_type::now();
            track_script_tic_handler(race_clock());
            tic_seconds += since(t0);
            tics++;
            race_world_tic();
        }
    }
    const double per_second = (frame_seconds + tic_seconds) / k_race_seconds;
    std::printf("script_bench: %d s of race, %d frames, %d tics%s\n", k_race_seconds, frames, tics,
                track_script_running() ? "" : " (the script was stopped)");
    std::printf("  frame handler %.2f us per call, tic handler %.2f us per call\n",
                1e6 * frame_seconds / frames, 1e6 * tic_seconds / tics);
    std::printf("  %.3f ms per second of race: %.3f%% of one core (goal under 1%%)\n",
                1e3 * per_second, 100 * per_second);
    race_shutdown();
    world_destroy();
    fs::remove_all(home);
    return 0;
}
