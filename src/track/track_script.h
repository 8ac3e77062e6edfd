// Track scripts: the track's "frills.js" run in an engine context of its own, its frame and tic
// handlers, and the `qv` object through which it reads the race and animates the track.
#pragma once

#include <cstdint>
#include <string>

// What a script may read of the race; race control provides it. The script's functions check
// slots (0..159) and running-order entries before they ask, so these see only valid ones.
struct script_race {
    int (*clock)();         // tics since the reset
    int (*gate_drop_tic)(); // tic
    int (*finish_time)();   // tics of the timed part, 0 for laps only
    int (*finish_laps)();
    int (*running_count)();
    // Running-order entry i (below the count): slot, crossings made, tic of the last one.
    void (*running_entry)(int i, int* slot, int* position, int* tic);
    bool (*occupied)(int slot); // holds a bike
    int (*timing_position)(int slot);
    int (*crossing_tic)(int slot, int crossing); // -1 when missed or not made
    bool (*rider_down)(int slot);                // down and not finished
    const char* (*rider_number)(int slot);
    const char* (*rider_name)(int slot);
    // The bike's main body: position (ft) and velocity (ft/s); false for an empty slot.
    bool (*body_position)(int slot, double out[3]);
    bool (*body_velocity)(int slot, double out[3]);
};
// No race: nobody in the slots, the clock at 0.
extern const script_race k_script_race_none;

// Why a script was stopped for good: a call spent its budget, the calls of a race second spent
// theirs, or the engine was refused memory.
enum script_stop {
    script_running = 0,
    script_out_of_time,
    script_out_of_second,
    script_out_of_memory,
};

// The budgets are counted in work, never in time, so a script is stopped at the same call on
// every machine and a demo's frills replay the same. The unit is one of the engine's interrupt
// checks, which come every 256 instructions; the engine's own functions (joining or sorting a
// long array, searching a long string) count the instructions their work is worth.
//
// Each call into a script may do this many checks' worth (some 4M instructions: 10 ms to 50 ms
// of a current processor, the engine's slowest functions taking the longest) before it is
// stopped.
constexpr int k_script_budget_checks = 16384;
// The tic handler's calls of one race second (the 128 tics of a whole second of the race clock)
// together may do two calls' worth: a handler that keeps just under the budget of one call is
// stopped on the third tic of a second instead of taking the race's time for all 128. Fixed
// seconds rather than a rolling window, so when a script is stopped follows from the clock alone;
// a second's tics never have more than the pool, and two seconds' worth is the most that can come
// close together (the end of one second and the start of the next). The frame handler has a
// pool of the same size for every 128 of its calls: frames come as fast as the machine draws and
// go on while the race clock stands, so they are counted apart and never decide when the tic
// handler is stopped.
constexpr int k_script_second_checks = 2 * k_script_budget_checks;
// Bytes the engine of one script may hold.
constexpr int64_t k_script_memory_limit = 16 << 20;

// At the race reset: reads "@<folder>/frills.js"; when there is one, makes a new context current
// (the old one goes either way), evaluates the prelude and then the script. False when the track
// has no script.
bool track_script_load(const char* folder, const script_race* race);
// The same from a text (`name` is the file name errors are reported with).
bool track_script_load_text(const std::string& source, const char* name, const script_race* race);
// The value of an expression in the script's context as JSON ("<no context>" without a script,
// "<error>" when it cannot be evaluated), as a track maker inspects a script.
std::string track_script_json(const char* expression);
// Destroys the current context (none is left).
void track_script_unload();
// A context is current and has not been stopped.
bool track_script_running();
// Once per drawn frame and at the start of every race tic: `qv.frame_handler_` or
// `qv.tic_handler_` with the race clock as text.
void track_script_frame_handler(int tic);
void track_script_tic_handler(int tic);
// Calls a function by its dotted path from the global object with text arguments, protected;
// false (and the error text set) when the path is missing, not callable or the call threw.
bool track_script_call(const char* path, const char* const* args, int arg_count);
// The last error ("" when none), at most 1023 characters.
const char* track_script_error();
// Whether and why the current script was stopped.
script_stop track_script_stopped();
// Bytes the current context holds, and the checks' worth its last call used.
int64_t track_script_memory();
int track_script_last_checks();
