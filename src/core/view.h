// View modes and the cameras the player steers with the riding controls.
#pragma once

#include "core/bindings.h"
#include "render/render.h"

#include <vector>

// Tab: rider -> orbit (or editor) -> trackside -> rider.
void view_cycle();
// The viewed slot becomes the previous (-1) or next (+1) rider of the running order, stopping
// at either end.
void view_step_running_order(int step);
void orbit_camera_tic(const float actions[k_action_channels]);
// `dab_pressed`: the Sit/Dab control went down this tic (it toggles following the viewed rider).
void trackside_camera_tic(const float actions[k_action_channels], bool dab_pressed);

// What the player has set the views to.
struct view_controls {
    float orbit_yaw = 0;          // rad
    float orbit_distance = 10;    // ft
    float orbit_height = 5;       // ft
    bool trackside_follow = true; // the trackside view cuts to the camera of the rider's gate
    int trackside_choice = -1;    // chosen track camera, -1 automatic
    int trackside_operated = -1;  // the camera the last trackside tic pointed
    float fly_speed = 0;          // ft/s of the free camera
};
const view_controls& view_settings();
// The track camera the trackside view shows (-1 automatic), as the digit keys choose it.
void view_choose_trackside(int camera);
void view_set_trackside_follow(bool on);
// The orbit camera round the viewed bike: behind it while riding, else where the player turned it.
scene_camera orbit_camera_now();
// The rider's own camera: its eyes on the rider body, looking down by the tilt.
scene_camera rider_camera_of(int bike, int slot, float fov);
// The trackside view: the key-framed camera when it is on and has keyframes, else the chosen
// track camera (-1 for none), else the free camera.
scene_camera trackside_camera_now(int chosen_camera);

// The key-framed camera path, ordered by tic, and whether the trackside view follows it.
const std::vector<camera_keyframe>& view_keyframes();
void view_keyframes_set(const std::vector<camera_keyframe>& keys);
bool view_keycam();
void view_set_keycam(bool on);
// The views' own state back to its start-up values.
void view_reset();
