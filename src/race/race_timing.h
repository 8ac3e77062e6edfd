// Race timing: crossings of the timing gates, laps, the finish rule and the running order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One rider's timing, reset when its bike is placed.
struct rider_timing {
    int position = 0;                   // crossings completed
    std::vector<int32_t> crossing_tics; // tic of crossing k, -1 for a missed gate
    bool finished = false;              // sticky until the position is set back
};

struct running_entry {
    int slot;
    int position; // crossings completed
    int tic;      // tic of the last crossing, 0 before the first
};

// A new race: its length (timed part in tics, laps part); the race's own gate drop is read
// from the race.
void timing_reset(int finish_time, int finish_laps);
const rider_timing& timing_of(int slot);
// Forgets every crossing of the rider (a time trial's new attempt).
void timing_clear(int slot);
// Sets the tic of the rider's crossing k (a race server's report, a demo's record).
void timing_set_crossing(int slot, int k, int tic);
// The tic of the rider's crossing k, -1 when missed or not made.
int crossing_tic(const rider_timing& r, int k);
// Slots taking part (those holding a bike); timing is kept for these only.
void timing_set_occupied(int slot, bool occupied);
bool timing_occupied(int slot);
void timing_set_position(int slot, int position);

int race_laps();
int halfway_lap();

int laps_completed(int slot);
// The crossing that completes lap n (n >= 1).
int crossing_completing_lap(int n);
// Whether crossing c completes a lap: no gate beyond it counts while it is missing.
bool crossing_completes_lap(int c);
// Seconds of lap n (negative n: the last completed lap); 0 when unknown.
float lap_time(int slot, int n);
// The best lap from lap 2 on and its time; 0 and 0 with fewer than two laps.
int best_lap(int slot, float* seconds);

// A crossing that counted: its number and the offset it was found at from the expected one.
struct gate_crossing {
    int crossing = -1;
    int offset = 0;
};
// A gate missed is passed over: the crossing check counts the gate due or one of this many past it.
constexpr int k_gates_counted_past = 2;
// Checks whether the bike's front wheel at (x, z) makes a crossing this tic; true when one counted.
bool gate_crossing_check(int slot, float x, float z, int clock, gate_crossing* made = nullptr);
bool rider_finished(int slot);
void running_order_update();
int running_order_count();
const running_entry& running_order_at(int i);
// Decides the laps of a timed race once its time has run out.
void timed_race_end(int clock);
