// View modes and the cameras the player steers with the riding controls.
#pragma once

#include "core/bindings.h"

// Tab: rider -> orbit (or editor) -> trackside -> rider.
void view_cycle();
void orbit_camera_tic(const float actions[k_action_channels]);
void trackside_camera_tic(const float actions[k_action_channels]);
