// The 39-byte snapshot of one bike: where its fields lie, blending two, and the codes of byte 36.
#pragma once

#include "bike/bike.h"

#include <cstdint>

// Where each field lies in the 39 bytes; several-byte fields are little endian.
enum compact_offset {
    compact_frame_x = 0,           // 3 bytes, a fraction of the terrain's side
    compact_frame_y = 3,           // 3 bytes, above the terrain's lowest height
    compact_frame_z = 6,           // 3 bytes
    compact_frame_quaternion = 9,  // 4 × 2 bytes, w x y z
    compact_steer = 17,            // the steering hinge over its ±45°
    compact_swingarm = 18,         // bit 0 set: the bike was simulated, not posed
    compact_fork = 19,             //
    compact_rider_offset = 20,     // 3 × 2 bytes, ±16 ft
    compact_rider_quaternion = 26, // 4 × 2 bytes
    compact_front_wheel = 34,      // a fraction of a turn
    compact_rear_wheel = 35,       //
    compact_drive = 36,            // gear, dab and throttle, or 7 and the knock-out code
    compact_engine_rpm = 37,       // 2 bytes, of 32768 rpm
    // The short records of version-4 demos.
    compact4_rider_along = 20, // the rider's offset along the bike's own axis
    compact4_tail = 21,        // what the full form keeps from compact_front_wheel on
    compact4_drive = 23,
};

// Blends two snapshots; positions may be carried past b with f > 1. A version-4 demo never blends.
compact_state compact_state_interpolate(const compact_state& a, const compact_state& b, float f,
                                        bool version4);

// Byte 36's codes.
bool compact_state_knocked_out(const compact_state& state);
bool compact_state_simulated(const compact_state& state); // bit 0 of byte 18
