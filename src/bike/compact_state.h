// The 39-byte snapshot of one bike that demos store and the network carries.
#pragma once

#include <cstdint>

constexpr int k_compact_state_size = 39;

struct compact_state {
    uint8_t bytes[k_compact_state_size];
};

// What the encoding is scaled by: the terrain and the bike's suspension travel.
struct compact_ranges {
    float extent;          // ft, the terrain's side
    float min_height;      // ft, the terrain's lowest height
    float swingarm_travel; // rad
    float fork_travel;     // ft
};

// A snapshot's contents in physical units (what encoding reads and decoding gives back).
struct compact_fields {
    float frame_position[3];   // ft
    float frame_quaternion[4]; // w, x, y, z
    float steer_angle;         // rad, the steering hinge
    float swingarm_angle;      // rad, negative compressed
    float fork_position;       // ft, negative compressed
    float rider_offset[3];     // ft, rider body minus frame, world axes
    float rider_quaternion[4]; // w, x, y, z
    float front_wheel_angle;   // rad, relative to the lower fork
    float rear_wheel_angle;    // rad, relative to the swingarm
    int knockout_tics;         // > 0 while the rider is knocked off
    int gear;                  // gear index
    bool dabbing;              // a foot is down
    float throttle;            // 0..1
    float engine_rpm;          // rev/min
};

compact_state compact_state_pack(const compact_fields& fields, const compact_ranges& ranges);
compact_fields compact_state_unpack(const compact_state& state, const compact_ranges& ranges);
// Blends two snapshots; positions may be carried past b with f > 1. A version-4 demo never blends.
compact_state compact_state_interpolate(const compact_state& a, const compact_state& b, float f,
                                        bool version4);

// Byte 36's codes.
bool compact_state_knocked_out(const compact_state& state);
bool compact_state_simulated(const compact_state& state); // bit 0 of byte 18
