// "--autopilot", a test aid: a gate follower rides the local bike, so a headless game can race on
// its own (online too).
#pragma once

#include "bike/bike.h"

// This tic's controls for the local rider of a slot: standing at the gate until it drops, then
// riding the lap gate by gate. A new race (a new bike, or the clock going back) starts afresh.
rider_input gate_rider_input(int slot);
void gate_rider_reset();
