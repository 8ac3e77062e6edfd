// The capture ("Watching pots"): finds the control a player moves or presses to bind it.
#pragma once

#include <cstdint>
#include <string>

enum capture_kind { capture_nothing, capture_key, capture_axis, capture_cancelled };

// What a capture ended with. An axis comes with its open handle, which the binding now owns.
struct capture_outcome {
    capture_kind kind = capture_nothing;
    int32_t code = -1; // capture_key
    std::string name;  // the key's or the axis's name
    int axis_handle = -1;
    float lo = 0, hi = 1; // the axis range that maps to 0..1
};

// Starts watching every absolute axis from its rest position; run_clock is the running clock.
void capture_start(double run_clock);
bool capture_running();
// A press while capturing: "esc" cancels, any other named control is taken (once).
capture_outcome capture_press(int32_t code, double run_clock);
// The per-tic update after the tic's events: an axis that travelled past half range and rested
// a quarter second wins; else a key pressed a quarter second ago.
capture_outcome capture_tic(double run_clock);
// Ends a capture without a result, closing what it watched.
void capture_stop();
