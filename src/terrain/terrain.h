// The terrain: height field, surfaces, ruts, ground texturing and roost.
#pragma once

// Refreshes one block of the ground's data texture every 2^interval frames.
void ground_refresh(int reshade_interval);
