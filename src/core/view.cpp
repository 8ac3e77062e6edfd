// View modes: the per-frame fixes, Tab's cycle, and the camera controls of one tic.
#include "core/view.h"

#include "core/config.h"
#include "core/program.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "track/track.h"

#include <algorithm>
#include <cmath>

namespace {
bool track_loaded() { return track_current() != nullptr; }

bool slot_has_bike(int slot) {
    return slot >= 0 && slot < k_max_riders && race_slot(slot).bike >= 0;
}

bool slot_is_local(int slot) {
    return slot >= 0 && slot < k_max_riders && race_slot(slot).kind == rider_local;
}
} // namespace

void fix_view_mode() {
    program_state& p = program();
    if (track_loaded() && p.view == title_view) p.view = rider_camera;
    p.riding = slot_is_local(p.viewed_slot) && (config().spy == 0 || p.view != trackside_camera);
    if (p.riding && p.view != editor_view && p.view != rider_camera && p.view != orbit_camera)
        p.view = rider_camera;
    if (!slot_has_bike(p.viewed_slot)) p.view = trackside_camera;
    if (!track_loaded()) p.view = title_view;
}

void view_cycle() {
    program_state& p = program();
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
    program_state& p = program();
    const int count = running_order_count();
    if (count == 0) return;
    int at = -1;
    for (int i = 0; i < count && at < 0; i++)
        if (running_order_at(i).slot == p.viewed_slot) at = i;
    // A viewed slot outside the order (an empty one) starts from the leader.
    p.viewed_slot = running_order_at(at < 0 ? 0 : std::clamp(at + step, 0, count - 1)).slot;
}

void orbit_camera_tic(const float actions[k_action_channels]) {
    program_state& p = program();
    p.orbit_yaw += actions[action_steer] * static_cast<float>(2 * M_PI / 1024);
    if (p.orbit_yaw > M_PI) p.orbit_yaw -= static_cast<float>(2 * M_PI);
    if (p.orbit_yaw < -M_PI) p.orbit_yaw += static_cast<float>(2 * M_PI);
    if (actions[action_throttle] > 0.5f)
        p.orbit_distance = std::max(0.25f, p.orbit_distance - 1.0f / 64);
    if (actions[action_front_brake] > 0.5f) p.orbit_distance += 1.0f / 64;
    p.orbit_height += static_cast<float>(k_tic_length) * actions[action_shift];
}

void trackside_camera_tic(const float actions[k_action_channels]) {
    program_state& p = program();
    float dab = actions[action_sit];
    if (p.previous_dab < 0.5f && dab >= 0.5f) p.trackside_follow = !p.trackside_follow;
    p.previous_dab = dab;
    const float tic = static_cast<float>(k_tic_length);
    if (actions[action_throttle] > 0.5f) p.fly_speed = std::min(100.0f, p.fly_speed + 80 * tic);
    if (actions[action_front_brake] > 0.5f) p.fly_speed = std::max(-100.0f, p.fly_speed - 80 * tic);
    float decay = 60 * tic;
    if (p.fly_speed > 0)
        p.fly_speed = std::max(0.0f, p.fly_speed - decay);
    else
        p.fly_speed = std::min(0.0f, p.fly_speed + decay);
}
