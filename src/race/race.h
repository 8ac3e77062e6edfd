// Race control: the rider slots, the lineup, starting a race and the world tic.
#pragma once

#include "common/common.h"

#include <string>

enum rider_kind { rider_local = 0, rider_remote = 1, rider_robot = 2 };

// One of the 160 rider places of a race.
struct rider_slot {
    int bike = -1; // bike handle, -1 when the slot is empty
    rider_kind kind = rider_remote;
    char name[64] = {};
    char number[4] = {};
    char bike_name[32] = {}; // catalogue name of the slot's bike
};

constexpr int k_lineup_size = 40;

rider_slot& race_slot(int slot);
// Empties all slots (no bike, kind remote) and the lineup.
void race_clear_slots();
int* race_lineup(); // k_lineup_size lineup codes

struct race_start_params {
    std::string track; // folder of the track to race on
    bool playback = false;
    int record_mode = 0;
    int time_limit_tics = 0; // 0: no limit
    int laps = 1000;
    int skill = 0;
};
// Resets for a new race on the params' track; false when the track cannot be loaded.
bool race_start(const race_start_params& params);
// One tic of the race world; advances the race clock.
void race_world_tic();
int race_clock();        // tics since the race reset
int race_gate_drop_tic(); // the tic the start gate drops
