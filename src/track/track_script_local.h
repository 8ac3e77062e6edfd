// What the track script's own files share: the one script record and the parts of `qv`.
#pragma once

#include "track/track_script.h"

#include <duktape.h>

#include <cstdint>

// The instructions' worth of one interrupt check.
constexpr int64_t k_script_check_work = 256;

// What a group of calls has spent of a shared budget: the tic handler's calls of one race second,
// or 128 calls of the frame handler.
struct script_pool {
    int64_t window = -1; // which second or which 128 frames the spending is of
    int64_t spent = 0;   // instructions' worth
};

// The current script: its engine context, what it reads the race through, its last error and
// what it has used of its budgets.
struct script_state {
    duk_context* ctx = nullptr;
    const script_race* race = &k_script_race_none;
    char error[1024] = {};
    script_stop stop = script_running;
    int64_t memory = 0;       // bytes the engine holds
    bool refused = false;     // an allocation was refused at the memory limit
    bool calling = false;     // a call is running (its budget holds only then)
    bool pool_limits = false; // what is left of a pool, not the call's own budget, is its limit
    int64_t stop_work = 0;    // the meter's work when the script was stopped
    int last_checks = 0;      // checks' worth of work in the last call, until it was stopped
    script_pool tics;
    script_pool frames;
    int64_t frame_calls = 0;
    uint64_t random = 0; // the state of the script's random numbers, the same at every start
};
script_state& script();

// Creates `qv` on the global object with every native function.
void script_api_register(duk_context* ctx);
// The prelude evaluated before the track's script.
extern const char* const k_script_prelude;

// Custom frames: a writable copy of a texture's pictures that a script draws into.
int script_canvas_begin(uint32_t texture);
int script_canvas_end(uint32_t texture);
// Copies a rectangle of the sequence's frame `frame` into the copy; the corners and size are
// fractions of the texture's width and height. 1 when something was copied.
int script_canvas_paste(uint32_t texture, int frame, double sx, double sy, double dx, double dy,
                        double w, double h);
void script_canvas_clear();
