// What the track script's own files share: the one script record and the parts of `qv`.
#pragma once

#include "track/track_script.h"

#include <duktape.h>

#include <cstdint>

// The current script: its engine context, what it reads the race through, its last error and
// what it has used of its budgets.
struct script_state {
    duk_context* ctx = nullptr;
    const script_race* race = &k_script_race_none;
    char error[1024] = {};
    script_stop stop = script_running;
    int64_t memory = 0;   // bytes the engine holds
    bool refused = false; // an allocation was refused at the memory limit
    int checks = 0;       // interrupt checks in the call running now
    int last_checks = 0;  // and in the last call
    bool calling = false; // a call is running (the budget counts only then)
    double deadline = 0;  // s of the thread's processor time, for the call running now
    double time_limit = k_script_time_limit; // s
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
