// The robots' first lines: the scripted rider rides each generated track through the line
// learning at three paces from start places across the gate, then grids of robots race on what
// it rode, up to two grids, towards every line having the runs the robots' time modes need.
#include "bike/bike.h"
#include "common/common.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "race/robot_lines.h"
#include "race/scripted_rider.h"
#include "track/track.h"
#include "track/track_gates.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
constexpr const char* k_tracks[] = {"rabbithill", "practice"};
constexpr int k_learning_races = 4; // each gives one line per segment
constexpr int k_learning_laps = 2;
constexpr int k_trial_robots = 8;
constexpr int k_trial_laps = 2;       // the normal lap's lines start on the second
constexpr int k_trial_races_most = 2; // what the build's time allows
constexpr int k_uses_wanted = 5;      // the runs the time modes ask of a line before they time it
// Of the robots of the trial races, at least this share finishes or the lines are no good.
constexpr double k_trial_finish_share = 0.25;
constexpr int k_race_tics_most = 30 * 60 * k_tics_per_second;
// After the first robot finishes, the rest have this long to follow before the trial ends.
constexpr int k_trial_tail_tics = 120 * k_tics_per_second;

// The scripted rider's pace at each skill: how fast it rides open track, bends and rough ground.
struct pace {
    float cruise_speed; // ft/s
    float turn_speed;   // ft/s
    float rough_speed;  // ft/s
    float max_lean;     // rad
    float least_speed;  // ft/s: robots lean into bends only above a walking pace, so their lines
                        // are never ridden slower
};
constexpr pace k_paces[k_skill_count] = {
    {24, 14, 12, 0.45f, 11},
    {30, 17, 13, 0.5f, 12},
    {36, 19, 14, 0.6f, 13},
};

// Each learning race rides a little differently, so the segments get lines of their own.
void vary(gate_follower& f, int skill, int race) {
    const pace& p = k_paces[skill];
    float k = 1 + 0.04f * static_cast<float>(race - k_learning_races / 2);
    f.cruise_speed = p.cruise_speed * k;
    f.turn_speed = p.turn_speed * k;
    f.rough_speed = p.rough_speed * k;
    f.max_lean = p.max_lean;
    f.least_speed = p.least_speed;
    f.aim_beyond = 3.0f + 2.0f * static_cast<float>(race);
}

bool start(const char* track, int skill, const std::vector<int>& codes, int laps) {
    race_start_params p;
    p.track = track;
    p.laps = laps;
    p.skill = skill;
    return race_start_lineup(p, codes.data(), static_cast<int>(codes.size()));
}

// The grid places `count` riders start from, spread evenly across the start gate.
std::vector<int> places_across_gate(int count) {
    int slots = std::max(start_slot_count(), 1);
    std::vector<int> places;
    for (int k = 0; k < count; k++)
        places.push_back(count > 1 ? k * (std::min(slots, k_lineup_size) - 1) / (count - 1) : 0);
    return places;
}

// A lineup of `code` at each of the places, the grid empty between them.
std::vector<int> lineup_at(const std::vector<int>& places, int code) {
    std::vector<int> codes(static_cast<size_t>(places.back() + 1), lineup_demo);
    for (int place : places) codes[static_cast<size_t>(place)] = code;
    return codes;
}

// The scripted rider rides a race on its own from a start place, learning as it goes.
bool learning_race(const char* track, int skill, int race, int place) {
    if (!start(track, skill, lineup_at({place}, lineup_local), k_learning_laps)) return false;
    int bike = race_slot(place).bike;
    gate_follower f;
    gate_follower_reset(f);
    vary(f, skill, race);
    int t = 0;
    for (; t < k_race_tics_most && !race_results_done(); t++) {
        bool dropped = race_clock() >= race_gate_drop_tic();
        rider_input_set(place, dropped ? gate_follower_input(f, bike) : gate_follower_wait());
        race_world_tic();
    }
    fprintf(stderr,
            "forge_lines: %s %s learning race %d from place %d: %.0f s, %d laps, crashes %d%s\n",
            track, lines_file_name(skill), race, place, t * k_tic_length, laps_completed(place),
            crash_count(bike), race_results_done() ? "" : ", not finished");
    return race_results_done();
}

// Lines the time modes cannot time yet: fewer runs than they ask, unless robots mostly fall on
// them (those the tester leaves for last, and the picks pass over).
int lines_untested() {
    int untested = 0;
    for (int s = 0; s < line_segment_count(); s++)
        for (const racing_line& l : line_segment_at(s).lines) {
            if (l.points.empty() || l.uses >= k_uses_wanted) continue;
            bool failing = l.uses + l.failures > k_uses_wanted && 4 * l.uses < l.failures;
            untested += failing ? 0 : 1;
        }
    return untested;
}

// Robots from across the gate race on the lines, trying the least tested, so every line gets
// runs; false when the race did not start. `finished_all` counts the robots that finished.
bool trial_race(const char* track, int skill, int race, int* finished_all) {
    race_set_robot_practice(true);
    std::vector<int> places = places_across_gate(k_trial_robots);
    bool ok = start(track, skill, lineup_at(places, lineup_robot), k_trial_laps);
    int t = 0, first_finish = -1;
    for (; ok && t < k_race_tics_most && !race_results_done(); t++) {
        race_world_tic();
        if (first_finish < 0 && running_order_count() > 0 &&
            rider_finished(running_order_at(0).slot))
            first_finish = t;
        if (first_finish >= 0 && t - first_finish > k_trial_tail_tics) break;
    }
    int finished = 0;
    for (int place : places) finished += rider_finished(place) ? 1 : 0;
    fprintf(stderr,
            "forge_lines: %s %s trial race %d: %.0f s, %d of %d robots finished, %d lines with "
            "fewer than %d runs\n",
            track, lines_file_name(skill), race, t * k_tic_length, finished, k_trial_robots,
            lines_untested(), k_uses_wanted);
    race_set_robot_practice(false);

    *finished_all += finished;
    return ok;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Writes the lines file into the data folder only when it changed, so builds stay quiet.
bool publish(const fs::path& home, const fs::path& game, const char* track, int skill) {
    fs::path from = home / "Trailbok" / track / lines_file_name(skill);
    fs::path to = game / track / lines_file_name(skill);
    std::string text = read_file(from);
    if (text.empty()) return false;
    if (fs::exists(to) && read_file(to) == text) return true;
    std::ofstream out(to, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

bool forge_track_lines(const fs::path& home, const fs::path& game, const char* track, int skill) {
    race_set_robot_learning(true);
    // Learning starts from an empty library, whatever an earlier run left in the data folder,
    // so the lines depend on the simulation alone.
    if (!start(track, skill, {}, k_learning_laps)) return false;
    lines_empty_all();
    std::vector<int> places = places_across_gate(k_learning_races);
    for (int race = 0; race < k_learning_races; race++)
        if (!learning_race(track, skill, race, places[static_cast<size_t>(race)])) {
            fprintf(stderr, "forge_lines: the scripted rider did not finish on %s\n", track);
            return false;
        }
    int finished = 0, raced = 0;
    for (; raced < k_trial_races_most && (raced == 0 || lines_untested() > 0); raced++)
        if (!trial_race(track, skill, raced, &finished)) return false;
    if (finished < k_trial_finish_share * k_trial_robots * raced) {
        fprintf(stderr,
                "forge_lines: only %d of %d robots finished the trial races on %s (%s): the "
                "learned lines do not carry robots round\n",
                finished, k_trial_robots * raced, track, lines_file_name(skill));
        return false;
    }
    // Shutting the race down remembers the lines.
    race_shutdown();
    return publish(home, game, track, skill);
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: forge_lines GAME_FOLDER\n");
        return 2;
    }
    fs::path game = fs::absolute(argv[1]);
    fs::path home = fs::temp_directory_path() / ("tb_forge_lines_" + std::to_string(getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("QV_HOME", game.c_str(), 1);
    setenv("TAVO_LOGFILE", (home / "log.txt").c_str(), 1);
    files_free();
    track_list_scan();
    setup_reset();
    // The lines are for robots, who ride in simulation mode.
    apply_setup_line("arcade", "No");
    world_create();
    bool ok = true;
    for (const char* track : k_tracks)
        for (int skill = 0; skill < k_skill_count && ok; skill++)
            ok = forge_track_lines(home, game, track, skill);
    race_shutdown();
    world_destroy();
    track_unload();
    track_list_free();
    files_free();
    log_close();
    if (ok) fs::remove_all(home);
    if (!ok) fprintf(stderr, "forge_lines: failed; its log is %s\n", (home / "log.txt").c_str());
    return ok ? 0 : 1;
}
