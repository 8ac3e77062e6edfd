// Timing gates, the start gate's slots and the lap definition of the loaded track.
#pragma once

#include <string>

constexpr int k_max_gates = 256;
constexpr int k_max_start_slots = 160;
constexpr int k_max_lap_entries = 256;
// A lap entry of this or more is gate (entry - k_gate_no_learn), timed but not learned by robots.
constexpr int k_gate_no_learn = 100000;

// A checkpoint: the half-disc of `radius` around `centre` on the side `direction` points to.
struct timing_gate {
    float centre[3];    // ft
    float direction[3]; // not necessarily unit length
    float radius;       // ft
    int rider_down;     // set while a fallen rider's next gate is this one
};

// One place behind the start gate, with the hinged piece in front of it.
struct start_slot {
    float point[3];         // ft; y is the piece's height above the ground
    float heading;          // rad, in [-pi, pi]
    float piece_x, piece_z; // ft, where the piece stands, 3 ft ahead of the point
    std::string model;      // "" when "null"
    std::string texture;
    std::string shape;
};

// Reads a "timing_gates" text; everything is cleared first, so an empty text leaves no timing.
void timing_gates_parse(const std::string& text);
// Loads the file by name; an absent file leaves the track without start gate and timing.
bool timing_gates_load(const char* name);
void timing_gates_clear();
// The file as the editor writes it back.
std::string timing_gates_format();

int gate_count();
const timing_gate& gate_at(int gate);
// A gate moved or turned whole (the editor).
void gate_set(int gate, const timing_gate& g);
// True when (x, z) lies in the gate's half-disc.
bool gate_contains(const timing_gate& gate, float x, float z);

int first_lap_length();
int normal_lap_length();
// Lap entry i of the first-lap list followed by the normal-lap list (raw, with the 100000 mark).
int lap_entry(int i);
// Replaces lap entry i (the editor's switch points); entries outside both lists are left alone.
void lap_entry_set(int i, int entry);
// The gate number an entry stands for.
inline int lap_entry_gate(int entry) {
    return entry >= k_gate_no_learn ? entry - k_gate_no_learn : entry;
}
// Entries of each list that robots learn lines for (below 100000).
int first_lap_learned_count();
int normal_lap_learned_count();
// The gate at a timing position, positions past the first lap folded onto the normal lap.
int gate_at_position(int position);

int start_slot_count();
const start_slot& start_slot_at(int slot);
// Adds a start slot (the editor); false when all are taken.
bool start_slot_add(const start_slot& slot);
