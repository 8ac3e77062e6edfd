// What the race's own files share: the one race state.
#pragma once

#include "race/race.h"

#include "bike/bike.h"
#include "race/race_grid.h"
#include "race/race_results.h"
#include "track/track_gates.h"

#include <vector>

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
    int false_start_hold = 0;         // tics the local rider is still held
    float false_start_origin[3] = {}; // ft, where the local bike was placed
    float off_course_bias = 10;       // s
    float off_course_scale = 1.5f;
    int knockout_table[k_knockout_table_size] = {}; // extra knock-out tics by crash count
    // time trial
    int trial_laps_seen = 0;
    int last_lap_tics = 0;
    int best_lap_tics = 0;
    long (*calendar)() = nullptr;
};

race_state& race();
// The clock and rules the bikes obey in this tic.
bike_tic race_bike_tic();
// Creates the bikes the lineup asks for and puts them on the grid.
void race_build_grid();
// Time trial: slot 0's bike placed three crossings before the end of the first lap.
void time_trial_place();
// Time trial: a completed lap timed, the attempt restarted when the rider backs up.
void time_trial_tic();
// Start gate: raised at the reset, falling after the drop.
void start_gate_raise();
void start_gate_animate();
// Online: the local rider who left before the drop is held until 15 s after it.
void false_start_tic(int local_slot);
