// Crossings, laps, the finish rule, the running order and the end of timed races.
#include "race/race_timing.h"

#include "race/race.h"

#include "common/common.h"
#include "track/track_gates.h"

#include <algorithm>

namespace {
constexpr int k_undecided_laps = 1000000;

struct timing_state {
    rider_timing riders[k_max_riders];
    bool occupied[k_max_riders] = {};
    running_entry order[k_max_riders];
    int order_count = 0;
    int finish_time = 0; // tics
    int finish_laps = 0;
    int race_laps = 0;
    int halfway_lap = 0;
};
timing_state g_timing;

bool has_timing() { return gate_count() > 0; }

// The gate a crossing number stands for.
int gate_of_crossing(int c) {
    int first = first_lap_length(), normal = normal_lap_length();
    int index = c < first ? c : first + (normal > 0 ? (c - first) % normal : 0);
    return lap_entry_gate(lap_entry(index));
}

// The tic of the rider's latest lap-completing crossing, -1 when none.
int last_lap_tic(int slot) {
    int laps = laps_completed(slot);
    return laps > 0 ? crossing_tic(g_timing.riders[slot], crossing_completing_lap(laps)) : -1;
}

// The earliest tic any rider completed lap n, -1 when nobody did.
int earliest_lap_tic(int n) {
    int best = -1, c = crossing_completing_lap(n);
    for (int s = 0; s < k_max_riders; s++) {
        if (!g_timing.occupied[s]) continue;
        int t = crossing_tic(g_timing.riders[s], c);
        if (t >= 0 && (best < 0 || t < best)) best = t;
    }
    return best;
}
} // namespace

int crossing_tic(const rider_timing& r, int k) {
    if (k < 0 || k >= static_cast<int>(r.crossing_tics.size())) return -1;
    return r.crossing_tics[k];
}

void timing_reset(int finish_time, int finish_laps) {
    for (rider_timing& r : g_timing.riders) r = rider_timing{};
    std::fill(g_timing.occupied, g_timing.occupied + k_max_riders, false);
    g_timing.order_count = 0;
    g_timing.finish_time = finish_time;
    g_timing.finish_laps = finish_laps;
    if (finish_time != 0) {
        g_timing.race_laps = g_timing.halfway_lap = k_undecided_laps;
    } else {
        g_timing.race_laps = finish_laps;
        g_timing.halfway_lap = (finish_laps + 1) / 2;
    }
}

const rider_timing& timing_of(int slot) { return g_timing.riders[slot]; }

void timing_clear(int slot) { g_timing.riders[slot] = rider_timing{}; }

void timing_set_crossing(int slot, int k, int tic) {
    rider_timing& r = g_timing.riders[slot];
    if (static_cast<int>(r.crossing_tics.size()) <= k)
        r.crossing_tics.resize(static_cast<size_t>(k) + 1, -1);
    r.crossing_tics[static_cast<size_t>(k)] = tic;
}
void timing_set_occupied(int slot, bool occupied) { g_timing.occupied[slot] = occupied; }
bool timing_occupied(int slot) {
    return slot >= 0 && slot < k_max_riders && g_timing.occupied[slot];
}

void timing_set_position(int slot, int position) {
    rider_timing& r = g_timing.riders[slot];
    if (position < r.position) r.finished = false;
    r.position = position;
}

int race_laps() { return g_timing.race_laps; }
int halfway_lap() { return g_timing.halfway_lap; }

int laps_completed(int slot) {
    if (!has_timing() || slot < 0 || slot >= k_max_riders) return 0;
    const rider_timing& r = g_timing.riders[slot];
    if (normal_lap_length() == 0 || r.position < first_lap_length()) return 0;
    return (r.position - first_lap_length()) / normal_lap_length() + 1;
}

bool crossing_completes_lap(int c) {
    int rest = c + 1 - first_lap_length();
    return rest >= 0 && normal_lap_length() > 0 && rest % normal_lap_length() == 0;
}

int crossing_completing_lap(int n) {
    return first_lap_length() + (n - 1) * normal_lap_length() - 1;
}

float lap_time(int slot, int n) {
    if (!has_timing() || slot < 0 || slot >= k_max_riders) return 0;
    int laps = laps_completed(slot);
    if (n < 0) n = laps;
    if (n == 0 || n > laps) return 0;
    const rider_timing& r = g_timing.riders[slot];
    int start = n == 1 ? race_gate_drop_tic() : crossing_tic(r, crossing_completing_lap(n - 1));
    int end = crossing_tic(r, crossing_completing_lap(n));
    if (start < 0 || end < 0) return 0;
    return static_cast<float>((end - start) * k_tic_length);
}

int best_lap(int slot, float* seconds) {
    *seconds = 0;
    int laps = laps_completed(slot);
    if (laps < 2) return 0;
    int best = 2;
    float best_time = lap_time(slot, 2);
    for (int i = 3; i <= laps; i++) {
        float t = lap_time(slot, i);
        if (best_time <= 0 || (t > 0 && t < best_time)) {
            best = i;
            best_time = t;
        }
    }
    *seconds = best_time;
    return best;
}

bool gate_crossing_check(int slot, float x, float z, int clock, gate_crossing* made) {
    if (!has_timing() || g_timing.riders[slot].finished) return false;
    rider_timing& r = g_timing.riders[slot];
    static_assert(k_gates_counted_past == 2, "the gates past the one due, tried below");
    for (int i : {-3, -2, 0, 1, 2}) {
        int c = r.position + i;
        if (c < 0) continue;
        bool missing = crossing_tic(r, c) < 0;
        bool at_gate = gate_contains(gate_at(gate_of_crossing(c)), x, z);
        if (!at_gate) {
            // Nobody rides past a lap they have not completed.
            if (crossing_completes_lap(c) && missing) return false;
            continue;
        }
        if (i < 0 && !missing) continue; // a gate already crossed behind the rider
        timing_set_position(slot, r.position + i + 1);
        if (static_cast<int>(r.crossing_tics.size()) <= c) r.crossing_tics.resize(c + 1, -1);
        r.crossing_tics[c] = clock;
        if (crossing_completes_lap(c)) rider_finished(slot);
        running_order_update();
        if (made) *made = gate_crossing{c, i};
        return true;
    }
    return false;
}

bool rider_finished(int slot) {
    if (slot < 0 || slot >= k_max_riders) return false;
    rider_timing& r = g_timing.riders[slot];
    if (r.finished) return true;
    if (!has_timing() || g_timing.order_count == 0 || g_timing.race_laps >= k_undecided_laps)
        return false;
    const rider_timing& leader = g_timing.riders[g_timing.order[0].slot];
    int finish_crossing = crossing_completing_lap(g_timing.race_laps);
    if (leader.position <= finish_crossing) return false;
    int leader_tic = crossing_tic(leader, finish_crossing);
    int mine = last_lap_tic(slot);
    if (leader_tic < 0 || mine < 0 || mine < leader_tic) return false;
    r.finished = true;
    return true;
}

void running_order_update() {
    g_timing.order_count = 0;
    for (int s = 0; s < k_max_riders; s++) {
        if (!g_timing.occupied[s]) continue;
        const rider_timing& r = g_timing.riders[s];
        int tic = r.position > 0 ? std::max(crossing_tic(r, r.position - 1), 0) : 0;
        g_timing.order[g_timing.order_count++] = running_entry{s, r.position, tic};
    }
    std::sort(g_timing.order, g_timing.order + g_timing.order_count,
              [](const running_entry& a, const running_entry& b) {
                  if (a.position != b.position) return a.position > b.position;
                  if (a.tic != b.tic) return a.tic < b.tic;
                  return a.slot < b.slot;
              });
}

int running_order_count() { return g_timing.order_count; }
const running_entry& running_order_at(int i) { return g_timing.order[i]; }

void timed_race_end(int clock) {
    if (g_timing.finish_time == 0 || g_timing.order_count == 0) return;
    int leader_laps = laps_completed(g_timing.order[0].slot);
    if (g_timing.halfway_lap == k_undecided_laps &&
        clock >= race_gate_drop_tic() + g_timing.finish_time / 2)
        g_timing.halfway_lap = leader_laps + 1;
    int end = race_gate_drop_tic() + g_timing.finish_time;
    if (clock < end) return;
    for (int o = std::max(1, std::min(g_timing.race_laps, leader_laps - 1));; o++) {
        int t = earliest_lap_tic(o);
        if (t < 0) return;
        if (t >= end) {
            g_timing.race_laps = std::min(g_timing.race_laps, o + g_timing.finish_laps);
            return;
        }
        g_timing.race_laps = std::max(g_timing.race_laps, o + g_timing.finish_laps + 1);
    }
}
