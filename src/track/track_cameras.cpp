// Trackside cameras: the "cameras" file, the gate-to-camera map, the free camera and the camera
// operator that pans, tilts and zooms a camera to follow a rider.
#include "track/track_gates.h"
#include "track/track_local.h"
#include "track/track_view.h"

#include "common/common.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

namespace {
constexpr int k_gate_map_size = 256;
constexpr float k_free_camera_back = 40;   // ft behind the start gate
constexpr float k_free_camera_height = 10; // ft above the ground there

struct camera_state {
    std::vector<track_camera> cameras;
    int gate_camera[k_gate_map_size];
    track_camera free;
    camera_state() { std::fill(gate_camera, gate_camera + k_gate_map_size, -1); }
};
camera_state g_cameras;

float wrap(float a) {
    while (a > k_pi_f) a -= 2 * k_pi_f;
    while (a <= -k_pi_f) a += 2 * k_pi_f;
    return a;
}

// The ground's height, 0 where no ground is loaded.
float ground_below(float x, float z) { return ground().field.heights ? ground_height_at(x, z) : 0; }

// Behind the middle of the start gate, looking the way the riders face; the field's middle
// without a start gate.
void place_free_camera() {
    track_camera c;
    const float extent = ground().field.extent;
    float x = extent / 2, z = extent / 2, heading = 0;
    if (int slots = start_slot_count()) {
        x = z = 0;
        for (int k = 0; k < slots; k++) {
            x += start_slot_at(k).point[0] / static_cast<float>(slots);
            z += start_slot_at(k).point[2] / static_cast<float>(slots);
        }
        heading = start_slot_at(0).heading;
        x += k_free_camera_back * std::sin(heading);
        z += k_free_camera_back * std::cos(heading);
    }
    c.position[0] = x;
    c.position[1] = ground_below(x, z) + k_free_camera_height;
    c.position[2] = z;
    c.yaw = wrap(heading + k_pi_f);
    g_cameras.free = c;
}

// Rate towards a wanted rate, by at most `step`.
float approach(float rate, float wanted, float step) {
    return rate + std::clamp(wanted - rate, -step, step);
}
} // namespace

void cameras_clear() {
    g_cameras.cameras.clear();
    std::fill(g_cameras.gate_camera, g_cameras.gate_camera + k_gate_map_size, -1);
}

void cameras_parse(const std::string& text) {
    cameras_clear();
    float fov = 90, auto_fov = 0;
    std::vector<int> pending_gates;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        float x, y, z, value;
        if (sscanf(line.c_str(), " addcamera %f %f %f", &x, &y, &z) == 3) {
            track_camera c;
            c.position[0] = x;
            c.position[1] = ground_below(x, z) + y;
            c.position[2] = z;
            c.fov = fov;
            c.auto_fov_size = auto_fov;
            for (int gate : pending_gates)
                g_cameras.gate_camera[gate] = static_cast<int>(g_cameras.cameras.size());
            pending_gates.clear();
            g_cameras.cameras.push_back(c);
            fov = 90;
            auto_fov = 0;
        } else if (sscanf(line.c_str(), " fov %f", &value) == 1) {
            fov = std::fabs(value);
        } else if (sscanf(line.c_str(), " autofovsize %f", &value) == 1) {
            auto_fov = std::fabs(value);
        } else {
            int consumed = 0;
            char word[8] = {};
            if (sscanf(line.c_str(), " %7s%n", word, &consumed) != 1 || strcmp(word, "gate") != 0)
                continue;
            const char* at = line.c_str() + consumed;
            int gate, used;
            while (sscanf(at, "%d%n", &gate, &used) == 1 && gate >= 0 && gate < k_gate_map_size) {
                pending_gates.push_back(gate);
                at += used;
            }
        }
    }
    if (debug_level() >= 1) log("%d cameras found\n", track_camera_count());
}

void cameras_load(const char* folder) {
    std::string text;
    if (file_to_string(("@" + std::string(folder) + "/cameras").c_str(), &text))
        cameras_parse(text);
    else
        cameras_clear();
    place_free_camera();
}

int track_camera_count() { return static_cast<int>(g_cameras.cameras.size()); }
const track_camera& track_camera_at(int camera) {
    TB_ASSERT(camera >= 0 && camera < track_camera_count());
    return g_cameras.cameras[camera];
}

int camera_for_gate(int gate) {
    return gate >= 0 && gate < k_gate_map_size ? g_cameras.gate_camera[gate] : -1;
}

const track_camera& free_camera() { return g_cameras.free; }
void free_camera_set(const track_camera& camera) { g_cameras.free = camera; }

void camera_operate(track_camera& c, const camera_controls& in) {
    const float dt = static_cast<float>(k_tic_length);
    float want_yaw_rate, want_pitch_rate;
    if (in.has_target) {
        const float* t = in.target;
        float ahead[3];
        for (int k = 0; k < 3; k++) ahead[k] = t[k] + in.velocity[k] * dt;
        auto yaw_to = [&](const float* p) {
            return std::atan2(p[0] - c.position[0], p[2] - c.position[2]);
        };
        auto pitch_to = [&](const float* p) {
            float flat = std::hypot(p[0] - c.position[0], p[2] - c.position[2]);
            return std::atan2(p[1] - c.position[1], flat);
        };
        const float theta = yaw_to(t), phi = pitch_to(t);
        const float omega = std::clamp(wrap(yaw_to(ahead) - theta) / dt, -2 * k_pi_f, 2 * k_pi_f);
        const float phi_rate = std::clamp((pitch_to(ahead) - phi) / dt, -2 * k_pi_f, 2 * k_pi_f);
        if (in.cut) {
            c.yaw = theta;
            c.pitch = phi;
        }
        const float e = std::clamp(wrap(theta - c.yaw), -k_pi_f / 2, k_pi_f / 2);
        want_yaw_rate = (omega > 0) == (e > 0) ? e + omega : e;
        const float pitch_error = phi - c.pitch;
        want_pitch_rate =
            ((phi_rate > 0) == (pitch_error > 0) ? phi_rate : 0) + pitch_error * k_pi_f / 4;
        if (c.auto_fov_size > 0) {
            float d[3] = {t[0] - c.position[0], t[1] - c.position[1], t[2] - c.position[2]};
            float distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            float wanted = 2 * std::atan(c.auto_fov_size / std::max(distance, 1e-3f)) *
                           static_cast<float>(180 / k_pi);
            float difference = wanted - c.fov;
            c.fov = in.cut ? wanted : approach(c.fov, wanted, dt * (2 * std::fabs(difference) + 1));
        }
    } else {
        want_yaw_rate = in.steer * 3 * k_pi_f / 8;
        want_pitch_rate = in.pitch * k_pi_f / 4;
    }
    c.yaw_rate = in.cut ? want_yaw_rate : approach(c.yaw_rate, want_yaw_rate, k_pi_f * dt);
    c.yaw = wrap(c.yaw + dt * c.yaw_rate);
    c.pitch_rate = in.cut ? want_pitch_rate : approach(c.pitch_rate, want_pitch_rate, k_pi_f * dt);
    c.pitch = std::clamp(c.pitch + dt * c.pitch_rate, -k_pi_f / 2, k_pi_f / 2);
}
void track_camera_operate(int camera, const camera_controls& controls) {
    TB_ASSERT(camera >= -1 && camera < track_camera_count());
    camera_operate(camera < 0 ? g_cameras.free : g_cameras.cameras[camera], controls);
}
