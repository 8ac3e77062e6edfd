// A simulated bike condensed into a snapshot, remote bikes posed from their histories, and the
// activity that lets a touched remote bike be simulated for a while.
#pragma once

#include "bike/replication/compact_state.h"

// The angular velocity (world axes, rad/s) that turns orientation `from` into `to` within
// `seconds`; quaternions w, x, y, z.
void rotation_rate(const double from[4], const double to[4], double seconds, double out[3]);
