// The robots' first lines: the scripted rider rides each generated track through the line
// learning at three paces, then robots race on what it rode to fill in the lines' statistics.
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

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
constexpr const char* k_tracks[] = {"rabbithill", "practice"};
constexpr int k_learning_races = 4; // each gives one line per segment
constexpr int k_learning_laps = 2;
constexpr int k_trial_robots = 8;
constexpr int k_trial_laps = 1;
constexpr int k_race_tics_most = 30 * 60 * k_tics_per_second;
// After the first robot finishes, the rest have this long to follow before the trial ends.
constexpr int k_trial_tail_tics = 60 * k_tics_per_second;

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

bool start(const char* track, int skill, std::initializer_list<int> codes, int laps) {
    race_start_params p;
    p.track = track;
    p.laps = laps;
    p.skill = skill;
    return race_start_lineup(p, codes.begin(), static_cast<int>(codes.size()));
}

// The scripted rider rides a race on its own, learning as it goes.
bool learning_race(const char* track, int skill, int race) {
    if (!start(track, skill, {lineup_local}, k_learning_laps)) return false;
    int bike = race_slot(0).bike;
    gate_follower f;
    gate_follower_reset(f);
    vary(f, skill, race);
    int t = 0;
    for (; t < k_race_tics_most && !race_results_done(); t++) {
        bool dropped = race_clock() >= race_gate_drop_tic();
        rider_input_set(0, dropped ? gate_follower_input(f, bike) : gate_follower_wait());
        race_world_tic();
    }
    fprintf(stderr, "forge_lines: %s %s learning race %d: %.0f s, %d laps, crashes %d%s\n", track,
            lines_file_name(skill), race, t * k_tic_length, laps_completed(0), crash_count(bike),
            race_results_done() ? "" : ", not finished");
    return race_results_done();
}

// Robots race on the lines, trying the least tested, so every line gets runs.
bool trial_race(const char* track, int skill) {
    std::initializer_list<int> robots = {lineup_robot, lineup_robot, lineup_robot, lineup_robot,
                                         lineup_robot, lineup_robot, lineup_robot, lineup_robot};
    static_assert(k_trial_robots == 8);
    race_set_robot_practice(true);
    bool ok = start(track, skill, robots, k_trial_laps);
    int t = 0, first_finish = -1;
    for (; ok && t < k_race_tics_most && !race_results_done(); t++) {
        race_world_tic();
        if (first_finish < 0 && running_order_count() > 0 &&
            rider_finished(running_order_at(0).slot))
            first_finish = t;
        if (first_finish >= 0 && t - first_finish > k_trial_tail_tics) break;
    }
    int finished = 0;
    for (int slot = 0; slot < k_trial_robots; slot++) finished += rider_finished(slot) ? 1 : 0;
    fprintf(stderr, "forge_lines: %s %s trial race: %.0f s, %d of %d robots finished\n", track,
            lines_file_name(skill), t * k_tic_length, finished, k_trial_robots);
    race_set_robot_practice(false);
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
    for (int race = 0; race < k_learning_races; race++)
        if (!learning_race(track, skill, race)) {
            fprintf(stderr, "forge_lines: the scripted rider did not finish on %s\n", track);
            return false;
        }
    if (!trial_race(track, skill)) return false;
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
