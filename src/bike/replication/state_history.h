// The ring of the last 128 snapshots of every rider slot, and choosing what to show at a tic.
#pragma once

#include "bike/replication/compact_state.h"

#include <cstdint>

constexpr int k_history_extrapolate_tics = 64; // how far positions are carried past the newest

struct history_entry {
    int32_t tic = -1; // -1 when empty
    compact_state state = {};
};

struct state_history {
    history_entry entries[k_history_size];
    int head = 0;    // index of the newest entry
    int pending = 0; // entries added since the demo recorder last wrote this slot
};

const state_history& history_of(int slot);
// The entries around tic T (indices into entries); false when the history is empty.
bool history_bracket(int slot, int tic, int* from, int* to);

// The snapshot to show at tic T, with the bracket it came from and its length in tics.
struct history_choice {
    compact_state state;
    int from, to; // entry indices; `to` is `from` when nothing is blended
    int length;   // tics between them, at least 1
};
bool history_choose(int slot, int tic, bool version4, history_choice* out);
