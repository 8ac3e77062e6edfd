// The last 128 snapshots of every rider slot, ordered by tic, and choosing what to show.
#pragma once

#include "bike/compact_state.h"

#include <cstdint>

constexpr int k_history_size = 128;
constexpr int k_history_slots = 160;
constexpr int k_history_extrapolate_tics = 64; // how far positions are carried past the newest

struct history_entry {
    int32_t tic; // -1 when empty
    compact_state state;
};

struct state_history {
    history_entry entries[k_history_size];
    int head;    // index of the newest entry
    int pending; // entries added since the demo recorder last wrote this slot
};

const state_history& history_of(int slot);
void history_clear(int slot);
void history_clear_all();
// Stores a snapshot in tic order; the first snapshot stored for a tic stays. False when nothing
// was stored (a slot out of range, a tic already held, or older than a whole full ring).
bool history_add(int slot, const compact_state& state, int tic);
// The tic of the newest snapshot, -1 when the history is empty.
int history_newest_tic(int slot);
// Takes the recorder's count of new entries.
int history_take_pending(int slot);
// The entries around tic T (indices into entries); false when the history is empty.
bool history_bracket(int slot, int tic, int* from, int* to);

// The snapshot to show at tic T, with the bracket it came from and its length in tics.
struct history_choice {
    compact_state state;
    int from, to; // entry indices; `to` is `from` when nothing is blended
    int length;   // tics between them, at least 1
};
bool history_choose(int slot, int tic, bool version4, history_choice* out);
