// State histories: a ring of 128 snapshots per slot, kept in tic order.
#include "bike/replication/state_history.h"

#include "common/common.h"
#include "common/message.h"

#include <algorithm>

namespace {
struct history_table {
    state_history slots[k_history_slots];
};

void clear(state_history& h) { h = state_history{}; }

history_table g_histories;

int previous(int i) { return (i + k_history_size - 1) % k_history_size; }
int next(int i) { return (i + 1) % k_history_size; }

state_history& slot_history(int slot) {
    TB_ASSERT(slot >= 0 && slot < k_history_slots);
    return g_histories.slots[slot];
}
} // namespace

const state_history& history_of(int slot) { return slot_history(slot); }

void history_clear(int slot) { clear(slot_history(slot)); }

void history_clear_all() {
    for (state_history& h : g_histories.slots) clear(h);
}

bool history_add(int slot, const compact_state& state, int tic) {
    if (slot < 0 || slot >= k_history_slots) {
        show_message("add_state_to_history: slot out of range");
        return false;
    }
    state_history& h = slot_history(slot);
    int at = h.head, newer = 0;
    while (newer < k_history_size && h.entries[at].tic > tic) {
        at = previous(at);
        newer++;
    }
    if (newer == k_history_size) return false; // older than every entry of a full ring
    if (h.entries[at].tic == tic) return false;
    // Entries newer than the snapshot move up one place; on a full ring the oldest goes.
    for (int i = 0, from = h.head; i < newer; i++, from = previous(from))
        h.entries[next(from)] = h.entries[from];
    h.entries[next(at)] = history_entry{tic, state};
    h.head = next(h.head);
    // Only what was stored is pending, so the recorder never writes an entry twice.
    h.pending = std::min(h.pending + 1, k_history_size);
    return true;
}

int history_take_pending(int slot) {
    state_history& h = slot_history(slot);
    int n = h.pending;
    h.pending = 0;
    return n;
}

bool history_entry_at(int slot, int age, int* tic, compact_state* state) {
    if (slot < 0 || slot >= k_history_slots || age < 0 || age >= k_history_size) return false;
    const state_history& h = g_histories.slots[slot];
    const history_entry& e = h.entries[(h.head + k_history_size - age) % k_history_size];
    if (e.tic < 0) return false;
    *tic = e.tic;
    *state = e.state;
    return true;
}

bool history_bracket(int slot, int tic, int* from, int* to) {
    const state_history& h = slot_history(slot);
    tic = std::max(tic, 0);
    int c = h.head, n = 0;
    while (n < k_history_size && h.entries[c].tic >= tic) {
        c = previous(c);
        n++;
    }
    if (n == 0) {
        if (h.entries[h.head].tic < 0) return false;
        *to = h.head;
        *from = h.entries[previous(h.head)].tic >= 0 ? previous(h.head) : h.head;
    } else if (n < k_history_size && h.entries[c].tic >= 0) {
        *from = c;
        *to = next(c);
    } else {
        *from = next(c);
        *to = n > 1 ? next(*from) : *from;
    }
    return true;
}

int history_newest_tic(int slot) {
    if (slot < 0 || slot >= k_history_slots) return -1;
    const state_history& h = g_histories.slots[slot];
    return h.entries[h.head].tic;
}

bool history_choose(int slot, int tic, bool version4, history_choice* out) {
    int from, to;
    if (!history_bracket(slot, tic, &from, &to)) return false;
    const state_history& h = slot_history(slot);
    tic = std::max(tic, 0);
    int e = h.entries[from].tic, g = h.entries[to].tic;
    if (e < tic && e != g) {
        out->length = g - e;
        out->from = from;
        out->to = to;
        if (g == tic) {
            out->state = h.entries[to].state;
        } else {
            float f =
                static_cast<float>(std::min(g + k_history_extrapolate_tics, tic) - e) / out->length;
            out->state =
                compact_state_interpolate(h.entries[from].state, h.entries[to].state, f, version4);
        }
    } else {
        out->length = 1;
        out->from = out->to = from;
        out->state = h.entries[from].state;
    }
    return true;
}
