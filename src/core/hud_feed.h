// What the frame loop hands the HUD each frame.
#pragma once

#include "ui/ui.h"

hud_frame hud_frame_now();

// The followed rider's telemetry this tic; false without a live bike in the slot.
bool hud_telemetry_sample_of(int slot, hud_telemetry_sample* out);
