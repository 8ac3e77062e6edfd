// A race of robots on rabbithill at each skill, as a player would start it: how fast they lap
// beside the scripted rider, how often they crash, fall and pass each other, and what the auto
// pilot, the other phases and the whole race tic cost per robot and tic.
//
// robot_race [robots [laps [skill [tics [census | grids N]]]]]: with tics the race stops after
// that many tics, for profilers; with grids each skill races on N grids and prints the spread of
// their results. Every race prints a digest of every bike's state each second and of every
// rider's crossings at the end; two builds that print the same digest raced identically.
#include "bench_home.h"
#include "bike/bike.h"
#include "bike/bike_bench.h"
#include "common/common.h"
#include "common/ripemd160.h"
#include "files/data_file.h"
#include "race/auto_pilot.h"
#include "race/race.h"
#include "race/race_bench.h"
#include "race/race_timing.h"
#include "race/scripted_rider.h"
#include "track/track.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
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

// The processor time of each phase of the race tics timed so far. The marks come from the race
// tic itself, so the race timed is the race a player gets; each mark's own reading of the clock
// is taken off again (`mark_cost`). With a census, what every world step solves is counted just
// before it, outside the time, and the steps are timed apart by the size of their largest island.
constexpr int k_island_classes = 5;
const char* const k_island_class_names[k_island_classes] = {"1", "2", "3-4", "5-8", "9+"};

// The class of an island of this many bodies, by the bikes (7 bodies each) it joins.
int island_class(int bodies) {
    int bikes = (bodies + 6) / 7;
    return bikes <= 1 ? 0 : bikes == 2 ? 1 : bikes <= 4 ? 2 : bikes <= 8 ? 3 : 4;
}

struct phase_times {
    double spent[race_phase_count + 1] = {}; // s; the last entry holds time outside the tic
    long marks[race_phase_count + 1] = {};   // marks that ended a stretch of each phase
    int phase = race_phase_count;
    double since = 0;     // s, when the current phase began
    double mark_cost = 0; // s, of one reading of the clock
    bool census = false;
    long steps = 0;
    long bike_contacts = 0;  // joints between two bikes, summed over the steps
    long largest_island = 0; // bodies, summed over the steps
    int most_bodies = 0;     // in one island
    int step_class = 0;      // of the step being timed
    long class_steps[k_island_classes] = {};
    double class_seconds[k_island_classes] = {}; // of the world steps
};
phase_times g_phases;

void phase_enter(race_tic_phase phase) {
    double now = cpu_seconds();
    g_phases.spent[g_phases.phase] += now - g_phases.since;
    g_phases.marks[g_phases.phase]++;
    if (g_phases.phase == race_phase_step && g_phases.census) {
        g_phases.class_steps[g_phases.step_class]++;
        g_phases.class_seconds[g_phases.step_class] += now - g_phases.since - g_phases.mark_cost;
    }
    g_phases.phase = phase;
    if (phase == race_phase_step && g_phases.census) {
        world_census c = world_census_take();
        g_phases.steps++;
        g_phases.bike_contacts += c.bike_contacts;
        g_phases.largest_island += c.largest_island;
        g_phases.most_bodies = std::max(g_phases.most_bodies, c.largest_island);
        g_phases.step_class = island_class(c.largest_island);
        now = cpu_seconds();
    }
    g_phases.since = now;
}

// The processor time of one reading of the clock, for taking the marks' own cost off.
double clock_reading_cost() {
    constexpr int k_readings = 20000;
    double first = cpu_seconds(), last = first;
    for (int i = 0; i < k_readings; i++) last = cpu_seconds();
    return (last - first) / k_readings;
}

// A phase's time less the readings of the clock that its marks made.
double phase_seconds(const phase_times& t, int phase) {
    return std::max(0.0, t.spent[phase] - t.marks[phase] * t.mark_cost);
}

// The race tic's and the auto pilot's cost per robot-tic and the real-time multiple over `tics`
// timed in `t`.
void cost_line(const char* title, const phase_times& t, int tics, int robots) {
    double whole = 0; // s
    for (int p = 0; p < race_phase_count; p++) whole += phase_seconds(t, p);
    double robot_tics = static_cast<double>(tics) * robots;
    double us_pilot = phase_seconds(t, race_phase_pilot) * 1e6 / robot_tics;
    double us_whole = whole * 1e6 / robot_tics;
    std::printf("         %s: auto pilot %.2f us per robot-tic, race tic %.2f us per robot-tic "
                "(auto pilot %.1f%%), real-time multiple %.1f\n",
                title, us_pilot, us_whole, us_whole > 0 ? 100 * us_pilot / us_whole : 0.0,
                whole > 0 ? tics * k_tic_length / whole : 0.0);
    // The rigid-body step alone bounds the multiple: no cheaper contacts, slots or auto pilot
    // can take a race past it.
    double step = phase_seconds(t, race_phase_step);
    std::printf("         %s: world step %.2f us per robot-tic, real-time multiple with "
                "nothing else %.1f\n",
                title, step * 1e6 / robot_tics, step > 0 ? tics * k_tic_length / step : 0.0);
}

const char* const k_phase_names[] = {"script", "contacts", "roost",      "world step",
                                     "ruts",   "slots",    "auto pilot", "end"};
static_assert(std::size(k_phase_names) == race_phase_count, "a name for every phase");

bool start(std::vector<int> codes, int laps, int skill) {
    race_start_params p;
    p.track = "rabbithill";
    p.laps = laps;
    p.skill = skill;
    return race_start_lineup(p, codes.data(), static_cast<int>(codes.size()));
}

// Bikes that went down with their riders still on them: lying over at a crawl. Such a fall is
// no crash (the rider is not thrown off), yet the dab and the realignment take seconds to stand
// the bike up again.
constexpr double k_lying_lean = 1.0;  // rad from upright
constexpr double k_lying_speed = 9.0; // ft/s
constexpr double k_up_again = 0.4;    // rad from upright, where a fall has ended
struct fall_count {
    std::vector<bool> lying = std::vector<bool>(k_max_riders, false);
    int falls = 0;
    long lying_tics = 0;
};

void falls_update(fall_count& f, int robots) {
    if (race_clock() < race_gate_drop_tic()) return;
    for (int slot = 0; slot < robots; slot++) {
        int bike = race_slot(slot).bike;
        if (bike < 0 || rider_finished(slot)) continue;
        bool lying = false;
        if (!knocked_off(bike)) {
            vec3d v = bike_frame_velocity(bike);
            double lean = std::fabs(bike_lean_angle(bike));
            // A fall lasts until the bike is nearly upright again, however it rocks on the way.
            lying = f.lying[slot] ? lean > k_up_again
                                  : lean > k_lying_lean && v.x * v.x + v.y * v.y + v.z * v.z <
                                                               k_lying_speed * k_lying_speed;
        }
        if (lying && !f.lying[slot]) f.falls++;
        f.lying_tics += lying ? 1 : 0;
        f.lying[slot] = lying;
    }
}

// How far each robot got from its grid place in the first seconds after the drop, in a straight
// line: a grid that pulls away cleanly covers well over 200 ft in 10 s.
constexpr int k_start_seconds = 10;
struct start_distance {
    std::vector<vec3d> grid = std::vector<vec3d>(k_max_riders);
    std::vector<double> covered = std::vector<double>(k_max_riders, -1);
};

void starts_update(start_distance& s, int robots) {
    int since = race_clock() - race_gate_drop_tic();
    if (since != 0 && since != k_start_seconds * k_tics_per_second) return;
    for (int slot = 0; slot < robots; slot++) {
        int bike = race_slot(slot).bike;
        if (bike < 0) continue;
        vec3d x = bike_frame_position(bike);
        if (since == 0)
            s.grid[slot] = x;
        else
            s.covered[slot] = std::hypot(x.x - s.grid[slot].x, x.z - s.grid[slot].z);
    }
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

// The tic of the rider's last crossing; the gate drop before its first.
int last_crossing_tic(int slot) {
    const rider_timing& r = timing_of(slot);
    return r.position > 0 ? crossing_tic(r, r.position - 1) : race_gate_drop_tic();
}

// Every robot that has not finished: where it is, how far round, and how long since it last
// passed a gate, so a robot that cannot go on is found.
void stragglers(int robots) {
    for (int slot = 0; slot < robots; slot++) {
        int bike = race_slot(slot).bike;
        if (bike < 0 || rider_finished(slot)) continue;
        const rider_timing& r = timing_of(slot);
        int last = last_crossing_tic(slot);
        vec3d p = bike_frame_position(bike);
        std::printf("         not finished: slot %d at (%.0f, %.0f, %.0f) %.1f mph, crossings %d, "
                    "%.0f s since the last, crashes %d, next point %d of %zu\n",
                    slot, p.x, p.y, p.z, bike_speed_mph(bike), r.position,
                    (race_clock() - last) * k_tic_length, crash_count(bike),
                    auto_pilot_next_point(slot), auto_pilot_path(slot).size());
    }
}

// Every bike's state, and with `crossings` every rider's crossing tics, in slot order.
void race_digest_update(ripemd160_state& h, int robots, bool crossings) {
    for (int slot = 0; slot < robots; slot++) {
        if (race_slot(slot).bike < 0) continue;
        bike_digest_update(h, race_slot(slot).bike);
        if (!crossings) continue;
        const rider_timing& r = timing_of(slot);
        ripemd160_update(h, &r.position, sizeof r.position);
        for (int k = 0; k < r.position; k++) {
            int tic = crossing_tic(r, k);
            ripemd160_update(h, &tic, sizeof tic);
        }
    }
}

// The grid of a race: the first is the game's own draw of robots; the others put the robots
// numbered from 20 to 99 on the grid in turn, each grid starting 17 numbers on, so every grid
// races other robots in other places.
constexpr int k_first_robot_number = 20, k_robot_numbers = 80, k_grid_step = 17;
std::vector<int> grid_codes(int robots, int grid) {
    std::vector<int> codes(static_cast<size_t>(robots), lineup_robot);
    for (int i = 0; grid > 0 && i < robots; i++)
        codes[static_cast<size_t>(i)] =
            lineup_robot_number + k_first_robot_number + (i + k_grid_step * grid) % k_robot_numbers;
    return codes;
}

// What one race showed, for the spread over several grids.
struct race_summary {
    bool started = false;
    bool all_finished = false;
    double middle = 0, last = 0;   // s from the gate drop to the finishers' finish
    double falls = 0, crashes = 0; // per robot per lap
};

race_summary robot_race(int robots, int laps, int skill, int most_tics, bool census, int grid) {
    race_summary out;
    if (!start(grid_codes(robots, grid), laps, skill)) {
        std::printf("%s: the race did not start\n", k_skill_names[skill]);
        return out;
    }
    out.started = true;
    g_phases = phase_times{};
    g_phases.mark_cost = clock_reading_cost();
    g_phases.census = census;
    race_set_phase_hook(phase_enter);
    int changes = 0;
    fall_count falls;
    start_distance start_run;
    std::vector<int> place(k_max_riders, -1);
    ripemd160_state digest;
    ripemd160_init(digest);
    int tics = 0;
    // The phases' times up to the first finish, while every robot still races.
    phase_times racing;
    int racing_tics = 0;
    for (; tics < most_tics && !race_results_done(); tics++) {
        phase_enter(race_phase_count);
        race_world_tic();
        phase_enter(race_phase_count);
        if (racing_tics == 0)
            for (int slot = 0; slot < robots; slot++)
                if (race_slot(slot).bike >= 0 && rider_finished(slot)) {
                    racing = g_phases;
                    racing_tics = tics + 1;
                    break;
                }
        for (int i = 0; i < running_order_count(); i++) {
            int slot = running_order_at(i).slot;
            if (place[slot] >= 0 && i < place[slot] && race_clock() > race_gate_drop_tic())
                changes++;
            place[slot] = i;
        }
        falls_update(falls, robots);
        starts_update(start_run, robots);
        if (race_clock() % k_tics_per_second == 0) race_digest_update(digest, robots, false);
    }
    race_digest_update(digest, robots, true);
    stragglers(robots);
    std::vector<double> lap_times, finishes;
    int finished = 0, crashes = 0, laps_ridden = 0;
    for (int slot = 0; slot < robots; slot++) {
        if (race_slot(slot).bike < 0) continue;
        finished += rider_finished(slot) ? 1 : 0;
        if (rider_finished(slot))
            finishes.push_back((last_crossing_tic(slot) - race_gate_drop_tic()) * k_tic_length);
        crashes += crash_count(race_slot(slot).bike);
        laps_ridden += laps_completed(slot);
        laps_of(slot, &lap_times);
    }
    race_set_phase_hook(nullptr);
    std::printf("%-8s robots %d laps %d grid %d: finished %d in %.1f s of race, results %s\n",
                k_skill_names[skill], robots, laps, grid, finished, tics * k_tic_length,
                race_results_done() ? "written" : "not done");
    std::sort(finishes.begin(), finishes.end());
    if (!finishes.empty()) {
        out.middle = median(finishes);
        out.last = finishes.back();
        std::printf(
            "         finish after the gate drop: first %.1f s, median %.1f s, last %.1f s\n",
            finishes.front(), out.middle, out.last);
    }
    out.all_finished = finished == robots;
    out.falls = laps_ridden > 0 ? static_cast<double>(falls.falls) / laps_ridden : 0.0;
    out.crashes = laps_ridden > 0 ? static_cast<double>(crashes) / laps_ridden : 0.0;
    // Laps after the first exist only in races of two laps or more.
    if (!lap_times.empty())
        std::printf("         median lap %.2f s (fastest %.2f s)\n", median(lap_times),
                    *std::min_element(lap_times.begin(), lap_times.end()));
    std::printf("         crashes per robot per lap %.3f, falls without a crash %.3f (lying over "
                "%.1f s per robot), position changes %d\n",
                out.crashes, out.falls, falls.lying_tics * k_tic_length / robots, changes);
    std::vector<double> covered;
    for (int slot = 0; slot < robots; slot++)
        if (start_run.covered[slot] >= 0) covered.push_back(start_run.covered[slot]);
    if (!covered.empty())
        std::printf("         from the grid in the %d s after the drop: least %.0f ft, median %.0f "
                    "ft, most %.0f ft\n",
                    k_start_seconds, *std::min_element(covered.begin(), covered.end()),
                    median(covered), *std::max_element(covered.begin(), covered.end()));
    cost_line("whole race", g_phases, tics, robots);
    if (racing_tics > 0) cost_line("to the first finish", racing, racing_tics, robots);
    std::printf("         us per robot-tic:");
    for (int p = 0; p < race_phase_count; p++)
        std::printf(" %s %.2f%s", k_phase_names[p],
                    phase_seconds(g_phases, p) * 1e6 / (static_cast<double>(tics) * robots),
                    p + 1 < race_phase_count ? "," : "\n");
    if (census && g_phases.steps > 0)
        std::printf("         per world step: bike-to-bike contacts %.1f, largest island %.1f "
                    "bodies (at most %d)\n",
                    static_cast<double>(g_phases.bike_contacts) / g_phases.steps,
                    static_cast<double>(g_phases.largest_island) / g_phases.steps,
                    g_phases.most_bodies);
    for (int k = 0; census && k < k_island_classes; k++)
        if (g_phases.class_steps[k] > 0)
            std::printf("         steps whose largest island joins %s bikes: %.1f%%, world step "
                        "%.2f us per robot-tic\n",
                        k_island_class_names[k], 100.0 * g_phases.class_steps[k] / g_phases.steps,
                        g_phases.class_seconds[k] * 1e6 / (g_phases.class_steps[k] * robots));
    uint8_t d[20];
    ripemd160_final(digest, d);
    std::printf("         digest %s\n", ripemd160_hex(d).c_str());
    std::fflush(stdout);
    return out;
}

// A race of many robots is chaotic: one grid's numbers say little alone.
void spread_line(int skill, const std::vector<race_summary>& races) {
    if (races.size() < 2) return;
    int all = 0;
    std::vector<double> middle, last, falls, crashes;
    for (const race_summary& r : races) {
        all += r.all_finished ? 1 : 0;
        middle.push_back(r.middle);
        last.push_back(r.last);
        falls.push_back(r.falls);
        crashes.push_back(r.crashes);
    }
    auto range = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        char text[64];
        std::snprintf(text, sizeof text, "%.1f to %.1f (median %.1f)", v.front(), v.back(),
                      median(v));
        return std::string(text);
    };
    std::printf("%-8s over %zu grids: every robot finished in %d; median finish %s s, last "
                "finish %s s\n",
                k_skill_names[skill], races.size(), all, range(middle).c_str(),
                range(last).c_str());
    std::printf("         crashes per robot per lap %s, falls without a crash %s\n",
                range(crashes).c_str(), range(falls).c_str());
}
} // namespace

int main(int argc, char** argv) {
    int robots = argc > 1 ? std::atoi(argv[1]) : 40;
    int laps = argc > 2 ? std::atoi(argv[2]) : 3;
    int only = -1; // every skill
    for (int skill = 0; argc > 3 && skill < k_skill_count; skill++)
        if (std::string(argv[3]) == k_skill_names[skill]) only = skill;
    int most_tics = argc > 4 ? std::atoi(argv[4]) : k_most_tics;
    bool census = argc > 5 && std::string(argv[5]) == "census";
    bool grids_asked = argc > 6 && std::string(argv[5]) == "grids";
    int grids = grids_asked ? std::atoi(argv[6]) : 1;
    if (robots < 1 || robots > k_lineup_size || laps < 1 || laps > 50 || (argc > 3 && only < 0) ||
        most_tics < 1 || (argc > 5 && !census && !grids_asked) || grids < 1 || grids > 100 ||
        argc > (grids_asked ? 7 : 6)) {
        std::fprintf(stderr,
                     "usage: robot_race [robots 1-%d [laps 1-50 [novice|amateur|expert "
                     "[tics [census | grids 1-100]]]]]\n",
                     k_lineup_size);
        return 1;
    }
    namespace fs = std::filesystem;
    // Robots ride in simulation mode.
    const fs::path home = bench_home_open("tb_robot_race_");
    apply_setup_line("arcade", "No");
    world_create();
    if (only < 0) {
        std::printf("scripted rider: median lap %.2f s\n", scripted_lap(laps));
        std::fflush(stdout);
    }
    for (int skill = 0; skill < k_skill_count; skill++) {
        if (only >= 0 && only != skill) continue;
        std::vector<race_summary> races;
        for (int grid = 0; grid < grids; grid++) {
            race_summary r = robot_race(robots, laps, skill, most_tics, census, grid);
            if (r.started) races.push_back(r);
        }
        spread_line(skill, races);
    }
    race_shutdown();
    world_destroy();
    fs::remove_all(home);
    return 0;
}
