// View modes: the per-frame fixes, Tab's cycle, and the camera controls of one tic.
#include "core/core_local.h"
#include "core/view.h"

#include "core/config.h"
#include "core/program.h"
#include "bike/bike.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "render/render.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_view.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// The eyes move from the chest (0) up to the helmet (1) with the first-person height.
constexpr vec3d k_eye_low = {0, 0.5, -0.4};
constexpr vec3d k_eye_high = {0, 1.0583830, -1.1933695};

// What the player has set the views to, and the key-framed camera path of the trackside view
// ("addkey", "readkeys").
struct view_state {
    view_controls controls;
    std::vector<camera_keyframe> keyframes; // ordered by tic
    bool keycam = false;                    // the trackside view follows the keyframes
};
view_state g_view;

bool track_loaded() { return track_current() != nullptr; }

bool slot_has_bike(int slot) {
    return slot >= 0 && slot < k_max_riders && race_slot(slot).bike >= 0;
}

// The bike the cameras follow, -1 when the viewed slot has none.
int viewed_bike() {
    const int slot = program().viewed_slot;
    const int bike = slot_has_bike(slot) ? race_slot(slot).bike : -1;
    return bike_live(bike) ? bike : -1;
}

bool slot_is_local(int slot) {
    return slot >= 0 && slot < k_max_riders && race_slot(slot).kind == rider_local;
}
} // namespace

void fix_view_mode() {
    program_state& p = program_edit();
    if (track_loaded() && p.view == title_view) p.view = rider_camera;
    p.riding = slot_is_local(p.viewed_slot) && (config().spy == 0 || p.view != trackside_camera);
    if (p.riding && p.view != editor_view && p.view != rider_camera && p.view != orbit_camera)
        p.view = rider_camera;
    if (!slot_has_bike(p.viewed_slot)) p.view = trackside_camera;
    if (!track_loaded()) p.view = title_view;
}

void view_cycle() {
    program_state& p = program_edit();
    switch (p.view) {
    case rider_camera:
        p.view = p.options.editor ? editor_view : orbit_camera;
        break;
    case editor_view:
        p.view = orbit_camera;
        break;
    case orbit_camera:
        p.view = trackside_camera;
        break;
    case trackside_camera:
        p.view = rider_camera;
        break;
    case title_view:
        break;
    }
}

void view_step_running_order(int step) {
    program_state& p = program_edit();
    const int count = running_order_count();
    if (count == 0) return;
    int at = -1;
    for (int i = 0; i < count && at < 0; i++)
        if (running_order_at(i).slot == p.viewed_slot) at = i;
    // A viewed slot outside the order (an empty one) starts from the leader.
    p.viewed_slot = running_order_at(at < 0 ? 0 : std::clamp(at + step, 0, count - 1)).slot;
}

void orbit_camera_tic(const float actions[k_action_channels]) {
    view_controls& controls = g_view.controls;
    controls.orbit_yaw += actions[action_steer] * static_cast<float>(2 * k_pi / 1024);
    if (controls.orbit_yaw > k_pi) controls.orbit_yaw -= static_cast<float>(2 * k_pi);
    if (controls.orbit_yaw < -k_pi) controls.orbit_yaw += static_cast<float>(2 * k_pi);
    if (actions[action_throttle] > 0.5f)
        controls.orbit_distance = std::max(0.25f, controls.orbit_distance - 1.0f / 64);
    if (actions[action_front_brake] > 0.5f) controls.orbit_distance += 1.0f / 64;
    controls.orbit_height += static_cast<float>(k_tic_length) * actions[action_shift];
}

void trackside_camera_tic(const float actions[k_action_channels], bool dab_pressed) {
    const program_state& p = program();
    view_controls& set = g_view.controls;
    if (dab_pressed) set.trackside_follow = !set.trackside_follow;

    // Following, the camera that covers the viewed rider's next gate takes over.
    const int bike = viewed_bike();
    bool cut = false;
    if (set.trackside_follow && normal_lap_length() > 0 && bike >= 0) {
        int camera = camera_for_gate(gate_at_position(timing_of(p.viewed_slot).position));
        // Automatic (no camera chosen) follows too: left on the free camera, a viewer of a
        // replay would watch the start line while the race goes on elsewhere.
        if (camera >= 0 && camera != set.trackside_choice) {
            set.trackside_choice = camera;
            cut = true;
        }
    }
    // A picture that switched cameras starts on its rider at once.
    if (set.trackside_choice != set.trackside_operated) cut = true;
    set.trackside_operated = set.trackside_choice;
    const bool chosen = set.trackside_choice >= 0 && set.trackside_choice < track_camera_count();
    camera_controls controls;
    controls.steer = actions[action_steer];
    controls.pitch = actions[action_shift];
    controls.cut = cut;
    if (bike >= 0) {
        controls.has_target = true;
        vec3d at = bike_frame_position(bike);
        vec3d v = p.paused ? vec3d{} : bike_frame_velocity(bike);
        const double target[3] = {at.x, at.y, at.z}, velocity[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; k++) {
            controls.target[k] = static_cast<float>(target[k]);
            controls.velocity[k] = static_cast<float>(velocity[k]);
        }
    }
    track_camera_operate(chosen ? set.trackside_choice : -1, controls);

    // The free camera flies along its own line of sight.
    const float tic = static_cast<float>(k_tic_length);
    if (actions[action_throttle] > 0.5f) set.fly_speed = std::min(100.0f, set.fly_speed + 80 * tic);
    if (actions[action_front_brake] > 0.5f)
        set.fly_speed = std::max(-100.0f, set.fly_speed - 80 * tic);
    float decay = 60 * tic;
    if (set.fly_speed > 0)
        set.fly_speed = std::max(0.0f, set.fly_speed - decay);
    else
        set.fly_speed = std::min(0.0f, set.fly_speed + decay);
    track_camera free = free_camera();
    free.fov = config().fov;
    if (std::fabs(set.fly_speed) > 0.0001f) {
        const float step = tic * set.fly_speed;
        free.position[0] += step * std::sin(free.yaw) * std::cos(free.pitch);
        free.position[1] += step * std::sin(free.pitch);
        free.position[2] += step * std::cos(free.yaw) * std::cos(free.pitch);
        free.position[1] = std::max(
            free.position[1], ground_smoothed_height(free.position[0], free.position[2], 10) + 2);
    }
    free_camera_set(free);
}

scene_camera orbit_camera_now() {
    const program_state& p = program();
    const view_controls& controls = g_view.controls;
    const settings& cfg = config();
    scene_camera c;
    c.fov = cfg.fov;
    const int bike = viewed_bike();
    if (bike < 0) return c;
    const float* centre = p.options.chase_center;
    const vec3d target = bike_body_point(bike, body_frame, {centre[0], centre[1], centre[2]});
    double dx, dz;
    if (p.riding) {
        const vec3d rear = bike_body_axis(bike, body_frame, 2);
        dx = rear.x;
        dz = rear.z;
        if (!cfg.rigid_camera) {
            // Moving, the camera swings round behind the way the bike travels.
            const vec3d v = bike_frame_velocity(bike);
            const double speed = std::hypot(v.x, v.z);
            const double t = speed * speed < 900 ? std::clamp((speed - 10) * 0.05, 0.0, 1.0) : 1;
            const double rear_length = std::hypot(dx, dz);
            if (rear_length > 0 && speed > 0) {
                dx = dx / rear_length * (1 - t) - v.x / speed * t;
                dz = dz / rear_length * (1 - t) - v.z / speed * t;
            }
        }
    } else {
        dx = std::sin(controls.orbit_yaw);
        dz = std::cos(controls.orbit_yaw);
    }
    const double length = std::hypot(dx, dz);
    if (length > 0)
        dx /= length, dz /= length;
    else
        dx = 0, dz = 1;
    const double distance = p.riding ? cfg.third_person_distance : controls.orbit_distance;
    const double height = p.riding ? cfg.third_person_height : controls.orbit_height;
    const double x = target.x + dx * distance, z = target.z + dz * distance;
    const double y =
        std::max(target.y + height, static_cast<double>(ground_smoothed_height(
                                        static_cast<float>(x), static_cast<float>(z), 10)) +
                                        5);
    c.eye[0] = static_cast<float>(x);
    c.eye[1] = static_cast<float>(y);
    c.eye[2] = static_cast<float>(z);
    // Looking at the target with the world's up.
    double back[3] = {x - target.x, y - target.y, z - target.z};
    double bl = std::sqrt(back[0] * back[0] + back[1] * back[1] + back[2] * back[2]);
    if (bl <= 0) return c;
    for (double& v : back) v /= bl;
    double right[3] = {back[2], 0, -back[0]};
    double rl = std::hypot(right[0], right[2]);
    if (rl <= 0) right[0] = 1, rl = 1;
    for (double& v : right) v /= rl;
    const double up[3] = {back[1] * right[2] - back[2] * right[1],
                          back[2] * right[0] - back[0] * right[2],
                          back[0] * right[1] - back[1] * right[0]};
    for (int row = 0; row < 3; row++) {
        c.rotation[3 * row] = static_cast<float>(right[row]);
        c.rotation[3 * row + 1] = static_cast<float>(up[row]);
        c.rotation[3 * row + 2] = static_cast<float>(back[row]);
    }
    return c;
}

scene_camera rider_camera_of(int bike, int slot, float fov) {
    const settings& s = config();
    scene_camera c;
    const double h = std::clamp(static_cast<float>(s.first_person_height), 0.0f, 1.0f);
    const vec3d eye = bike_body_point(bike, body_rider,
                                      {k_eye_low.x + (k_eye_high.x - k_eye_low.x) * h,
                                       k_eye_low.y + (k_eye_high.y - k_eye_low.y) * h,
                                       k_eye_low.z + (k_eye_high.z - k_eye_low.z) * h});
    c.eye[0] = static_cast<float>(eye.x);
    c.eye[1] = static_cast<float>(eye.y);
    c.eye[2] = static_cast<float>(eye.z);
    vec3d axes[3];
    for (int k = 0; k < 3; k++) axes[k] = bike_body_axis(bike, body_rider, k);
    // A positive angle tilts the view down.
    const double theta = static_cast<float>(s.first_person_angle) * k_pi / 180;
    const vec3d up = axes[1], back = axes[2];
    axes[1] = {std::cos(theta) * up.x - std::sin(theta) * back.x,
               std::cos(theta) * up.y - std::sin(theta) * back.y,
               std::cos(theta) * up.z - std::sin(theta) * back.z};
    axes[2] = {std::sin(theta) * up.x + std::cos(theta) * back.x,
               std::sin(theta) * up.y + std::cos(theta) * back.y,
               std::sin(theta) * up.z + std::cos(theta) * back.z};
    for (int k = 0; k < 3; k++) {
        c.rotation[k] = static_cast<float>(axes[k].x);
        c.rotation[3 + k] = static_cast<float>(axes[k].y);
        c.rotation[6 + k] = static_cast<float>(axes[k].z);
    }
    const vec3d v = bike_body_velocity(bike, body_rider);
    c.velocity[0] = static_cast<float>(v.x);
    c.velocity[1] = static_cast<float>(v.y);
    c.velocity[2] = static_cast<float>(v.z);
    c.fov = fov;
    c.viewed_slot = slot;
    return c;
}

scene_camera trackside_camera_now(int chosen_camera) {
    const std::vector<camera_keyframe>& keys = g_view.keyframes;
    if (g_view.keycam && !keys.empty())
        return keyframed_camera(keys.data(), static_cast<int>(keys.size()), race_clock());
    if (chosen_camera >= 0 && chosen_camera < track_camera_count())
        return track_camera_view(track_camera_at(chosen_camera));
    return track_camera_view(free_camera());
}

const std::vector<camera_keyframe>& view_keyframes() { return g_view.keyframes; }
void view_keyframes_set(const std::vector<camera_keyframe>& keys) { g_view.keyframes = keys; }
bool view_keycam() { return g_view.keycam; }
void view_set_keycam(bool on) { g_view.keycam = on; }
void view_reset() { g_view = view_state{}; }

const view_controls& view_settings() { return g_view.controls; }
void view_choose_trackside(int camera) { g_view.controls.trackside_choice = camera; }
void view_set_trackside_follow(bool on) { g_view.controls.trackside_follow = on; }
