// Rider slots and the race clock; race control proper arrives with the race Part.
#include "race/race.h"

#include "track/track.h"

namespace {
struct race_state {
    rider_slot slots[k_max_riders];
    int lineup[k_lineup_size] = {};
    int clock = 0;       // tics
    int gate_drop = 0;   // tic
};
race_state g_race;
}

rider_slot& race_slot(int slot) { return g_race.slots[slot]; }

void race_clear_slots() {
    for (rider_slot& s : g_race.slots) s = rider_slot{};
    for (int& code : g_race.lineup) code = 0;
}

int* race_lineup() { return g_race.lineup; }

void race_start(const race_start_params& params) {
    g_race.clock = 0;
    if (!params.track.empty()) track_reset(params.track.c_str(), false);
}
void race_world_tic() { g_race.clock++; }
int race_clock() { return g_race.clock; }
int race_gate_drop_tic() { return g_race.gate_drop; }
int race_leader_gates() { return 0; }
