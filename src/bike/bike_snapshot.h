// A simulated bike condensed into a snapshot, remote bikes posed from their histories, and the
// activity that lets a touched remote bike be simulated for a while.
#pragma once

#include "bike/compact_state.h"

// The encoding's scales for this bike on the loaded ground.
compact_ranges compact_ranges_of(int bike);
compact_state compact_state_encode(int bike);
// Writes every body from one snapshot and takes over gear, throttle, knock-out and engine speed.
// `version` is 5, or 4 for the short records of old demos.
void compact_state_pose(int bike, const compact_state& state, int version);
// Poses the slot's bike for tic T from the slot's history: written directly while frozen, pulled
// towards the recording while active. An empty history leaves the bike as it is.
void history_apply(int slot, int bike, int tic, int version);

// Local and robot bikes are active, remote bikes frozen; a touch makes a remote bike simulated for
// three quarters of a second.
void bike_activate(int bike);
void bike_deactivate(int bike);
void bike_touched(int bike);
void activity_decay(int bike);

// The angular velocity (world axes, rad/s) that turns orientation `from` into `to` within
// `seconds`; quaternions w, x, y, z.
void rotation_rate(const double from[4], const double to[4], double seconds, double out[3]);
