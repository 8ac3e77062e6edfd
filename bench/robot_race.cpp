// A race of robots on rabbithill at each skill, as a player would start it: how fast they lap
// beside the scripted rider, how often they crash and pass each other, and what the auto pilot
// and the whole race tic cost per robot and tic.
#include "bench_home.h"
#include "bike/bike.h"
#include "common/common.h"
#include "files/data_file.h"
#include "race/auto_pilot.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "race/scripted_rider.h"
#include "track/track.h"

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr int k_most_tics = 20 * 60 * k_tics_per_second;
const char* const k_skill_names[k_skill_count] = {"novice", "amateur", "expert"};

// The thread's own processor time, so a busy machine's other work does not count.
double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

bool start(std::vector<int> codes, int laps, int skill) {
    race_start_params p;
    p.track = "rabbithill";
    p.laps = laps;
    p.skill = skill;
    return race_start_lineup(p, codes.data(), static_cast<int>(codes.size()));
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Laps after the first (the first starts from the grid), of every rider that rode them.
void laps_of(int slot, std::vector<double>* out) {
    for (int n = 2; n <= laps_completed(slot); n++) {
        float t = lap_time(slot, n);
        if (t > 0) out->push_back(t);
    }
}

// The scripted rider's laps at its default pace, alone.
double scripted_lap(int laps) {
    if (!start({lineup_local}, laps, 1)) return 0;
    int bike = race_slot(0).bike;
    gate_follower f;
    gate_follower_reset(f);
    for (int t = 0; t < k_most_tics && !race_results_done(); t++) {
        bool dropped = race_clock() >= race_gate_drop_tic();
        rider_input_set(0, dropped ? gate_follower_input(f, bike) : gate_follower_wait());
        race_world_tic();
    }
    std::vector<double> times;
    laps_of(0, &times);
    return median(times);
}

// Every robot that has not finished: where it is, how far round, and how long since it last
// passed a gate, so a robot that cannot go on is found.
void stragglers(int robots) {
    for (int slot = 0; slot < robots; slot++) {
        int bike = race_slot(slot).bike;
        if (bike < 0 || rider_finished(slot)) continue;
        const rider_timing& r = timing_of(slot);
        int last = r.position > 0 ? crossing_tic(r, r.position - 1) : race_gate_drop_tic();
        bike_vec3d p = bike_frame_position(bike);
        std::printf("         not finished: slot %d at (%.0f, %.0f, %.0f) %.1f mph, crossings %d, "
                    "%.0f s since the last, crashes %d, next point %d of %zu\n",
                    slot, p.x, p.y, p.z, bike_speed_mph(bike), r.position,
                    (race_clock() - last) * k_tic_length, crash_count(bike),
                    auto_pilot_next_point(slot), auto_pilot_path(slot).size());
    }
}

void robot_race(int robots, int laps, int skill) {
    if (!start(std::vector<int>(static_cast<size_t>(robots), lineup_robot), laps, skill)) {
        std::printf("%s: the race did not start\n", k_skill_names[skill]);
        return;
    }
    double pilot = 0, whole = 0; // s
    long robot_tics = 0;
    int changes = 0;
    std::vector<int> place(k_max_riders, -1);
    int tics = 0;
    for (; tics < k_most_tics && !race_results_done(); tics++) {
        // The auto pilot alone, timed by running it once more on the same state before the
        // race tic runs it: its second run this tic finds its lines already picked.
        double a = cpu_seconds();
        for (int slot = 0; slot < robots; slot++)
            if (race_slot(slot).bike >= 0) auto_pilot_tic(slot, race_slot(slot).bike);
        double b = cpu_seconds();
        race_world_tic();
        double c = cpu_seconds();
        pilot += b - a;
        whole += c - b;
        robot_tics += robots;
        for (int i = 0; i < running_order_count(); i++) {
            int slot = running_order_at(i).slot;
            if (place[slot] >= 0 && i < place[slot] && race_clock() > race_gate_drop_tic())
                changes++;
            place[slot] = i;
        }
    }
    stragglers(robots);
    std::vector<double> lap_times;
    int finished = 0, crashes = 0, laps_ridden = 0;
    for (int slot = 0; slot < robots; slot++) {
        if (race_slot(slot).bike < 0) continue;
        finished += rider_finished(slot) ? 1 : 0;
        crashes += crash_count(race_slot(slot).bike);
        laps_ridden += laps_completed(slot);
        laps_of(slot, &lap_times);
    }
    double us_pilot = pilot * 1e6 / robot_tics;
    double us_whole = whole * 1e6 / robot_tics;
    double seconds = whole;
    std::printf("%-8s robots %d laps %d: finished %d in %.1f s of race, results %s\n",
                k_skill_names[skill], robots, laps, finished, tics * k_tic_length,
                race_results_done() ? "written" : "not done");
    std::printf("         median lap %.2f s (fastest %.2f s), crashes per robot per lap %.3f, "
                "position changes %d\n",
                median(lap_times),
                lap_times.empty() ? 0.0 : *std::min_element(lap_times.begin(), lap_times.end()),
                laps_ridden > 0 ? static_cast<double>(crashes) / laps_ridden : 0.0, changes);
    std::printf("         auto pilot %.2f us per robot-tic, race tic %.2f us per robot-tic "
                "(auto pilot %.1f%%), real-time multiple %.1f\n",
                us_pilot, us_whole, us_whole > 0 ? 100 * us_pilot / us_whole : 0.0,
                seconds > 0 ? tics * k_tic_length / seconds : 0.0);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv) {
    int robots = argc > 1 ? std::atoi(argv[1]) : 40;
    int laps = argc > 2 ? std::atoi(argv[2]) : 3;
    int only = -1; // every skill
    for (int skill = 0; argc > 3 && skill < k_skill_count; skill++)
        if (std::string(argv[3]) == k_skill_names[skill]) only = skill;
    if (robots < 1 || robots > k_lineup_size || laps < 1 || laps > 50 || (argc > 3 && only < 0)) {
        std::fprintf(stderr,
                     "usage: robot_race [robots 1-%d [laps 1-50 [novice|amateur|expert]]]\n",
                     k_lineup_size);
        return 1;
    }
    namespace fs = std::filesystem;
    // Robots ride in simulation mode.
    const fs::path home = bench_home_open("tb_robot_race_");
    setup_values_apply_line(setup(), "arcade", "No");
    world_create();
    if (only < 0) {
        std::printf("scripted rider: median lap %.2f s\n", scripted_lap(laps));
        std::fflush(stdout);
    }
    for (int skill = 0; skill < k_skill_count; skill++)
        if (only < 0 || only == skill) robot_race(robots, laps, skill);
    race_shutdown();
    world_destroy();
    fs::remove_all(home);
    return 0;
}
