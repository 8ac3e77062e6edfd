// What the race's own files share: the one race state.
#pragma once

#include "race/race.h"
#include "race/race_bench.h"

#include "bike/bike.h"
#include "race/race_grid.h"
#include "race/race_results.h"
#include "track/track_gates.h"
#include "track/track_script.h"

#include <cstdio>
#include <vector>

// A text into a fixed field of a slot, cut to fit.
template <size_t N> void copy_text(char (&out)[N], const char* text) {
    std::snprintf(out, N, "%s", text);
}

// A hinged piece of the start gate: up until the drop, then falling unless a bike leans on it.
struct gate_piece {
    float raised = 1; // 1 up, 0 down
    float speed = 0;  // of the fall, per second
    int touched_tic = -1;
};

struct race_state {
    rider_slot slots[k_max_riders];
    int lineup[k_lineup_size] = {};
    int robot_order[k_robot_count] = {};
    race_start_params params;
    int clock = 0;     // tics
    int gate_drop = 0; // tic
    bool results_done = false;
    std::vector<result_entry> final_results;
    gate_piece pieces[k_max_start_slots];
    int piece_count = 0;
    int heard_clock[k_max_riders] = {}; // online: the clock when a remote rider was last heard
    int false_start_hold = 0;           // tics the local rider is still held
    float false_start_origin[3] = {};   // ft, where the local bike was placed
    float off_course_bias = 10;         // s
    float off_course_scale = 1.5f;
    int knockout_table[k_knockout_table_size] = {}; // extra knock-out tics by crash count
    const race_demo_hooks* demo = nullptr;          // demo recording and playback, when registered
    race_network_rider_fn network_rider = nullptr;  // online riders, when a client registered
    // time trial
    int trial_laps_seen = 0;
    bool ghost_lap_counted = false; // the ghost's lap has fed the best lap
    int last_lap_tics = 0;
    int best_lap_tics = 0;
    long (*calendar)() = nullptr;
    void (*phase_hook)(race_tic_phase) = nullptr; // a benchmark timing the tic's phases
};

race_state& race();
// The clock and rules the bikes obey in this tic.
bike_tic race_bike_tic();
// A robot past the finish, or one untangling itself from a crowd of bikes, rides through the
// others: it touches only the ground and statues, and nobody waits behind it or runs into it.
// Finished robots so never stand in the way of those still racing, and no crowd holds itself up
// for good.
bool race_rider_passes_through(int slot);
// Creates the bikes the lineup asks for and puts them on the grid.
void race_build_grid();
// Time trial: slot 0's bike placed three crossings before the end of the first lap.
void time_trial_place();
// Time trial: a completed lap timed, the ghost and the recording started again at the finish,
// the attempt restarted when the rider backs up.
void time_trial_tic();
// The bike of the next demo rider in a slot, frozen and posed from its history; -1 for none.
int race_demo_rider(int slot);
// The bike of the rider a race server named for a slot, frozen; -1 for none.
int race_network_rider(int slot);
// A watching player's view runs this many tics behind the race, so remote riders are shown
// between states that have arrived.
constexpr int k_watch_delay = 127;
// Start gate: raised at the reset, falling after the drop.
void start_gate_raise();
void start_gate_animate();
// What the track's script reads of this race.
extern const script_race k_race_script;
// Online: the local rider who left before the drop is held until 15 s after it.
void false_start_tic(int local_slot);
