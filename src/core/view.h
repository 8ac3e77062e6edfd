// View modes and the cameras the player steers with the riding controls.
#pragma once

#include "core/bindings.h"
#include "render/render.h"

// Tab: rider -> orbit (or editor) -> trackside -> rider.
void view_cycle();
// The viewed slot becomes the previous (-1) or next (+1) rider of the running order, stopping
// at either end.
void view_step_running_order(int step);
void orbit_camera_tic(const float actions[k_action_channels]);
void trackside_camera_tic(const float actions[k_action_channels]);
// The orbit camera round the viewed bike: behind it while riding, else where the player turned it.
scene_camera orbit_camera_now();
