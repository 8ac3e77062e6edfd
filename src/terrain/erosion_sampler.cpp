// The per-wheel erosion sampler: a wheel's pushes on the ground condensed into points about a
// foot apart, and the points into paths that go out as terrain edit records.
#include "terrain/erosion.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float k_point_spacing = 1;          // ft of travel that one point condenses
constexpr float k_least_push = 0.0009765625f; // 2^-10, squared push below which nothing digs
constexpr float k_most_spread = 64;           // ft, of the step ranges within one record
constexpr int k_idle_tics = 64;               // a quiet path is sent after this long

// (v - lo) / (hi - lo) clamped to [0, 1]; a step (0 below hi, 1 from it) when lo == hi.
float ramp(float v, float lo, float hi) {
    if (hi == lo) return v >= hi ? 1.0f : 0.0f;
    return std::clamp((v - lo) / (hi - lo), 0.0f, 1.0f);
}

void clear_pending(erosion_sampler& s) {
    for (float& v : s.sum) v = 0;
    s.travelled = 0;
    s.sample_count = 0;
}

void submit_path(erosion_sampler& s) {
    const height_field& field = ground().field;
    if (s.point_count > 0 && field.heights) {
        uint8_t record[k_edit_record_max_bytes];
        int length = terrain_edit_encode(s.points, s.point_count, s.step_min, s.step_max,
                                         field.extent, record);
        terrain_edit_submit(record, length);
    }
    s.point_count = 0;
    s.step_min[0] = s.step_min[1] = s.step_max[0] = s.step_max[1] = 0;
}

void make_point(erosion_sampler& s, int tic) {
    if (s.sample_count == 0) return;
    if (s.point_count == k_erosion_path_points) submit_path(s);
    const float n = static_cast<float>(s.sample_count);
    erosion_point p;
    p.x = s.sum[0] / n;
    p.z = s.sum[1] / n;
    p.push_x = s.sum[2] / n;
    p.push_z = s.sum[3] / n;
    p.count = s.sample_count;
    const int k = s.point_count;
    if (k >= 1) {
        const float step[2] = {p.x - s.points[k - 1].x, p.z - s.points[k - 1].z};
        if (k == 1) {
            for (int a = 0; a < 2; a++) s.step_min[a] = s.step_max[a] = step[a];
        } else {
            float lo[2], hi[2];
            for (int a = 0; a < 2; a++) {
                lo[a] = std::min(s.step_min[a], step[a]);
                hi[a] = std::max(s.step_max[a], step[a]);
            }
            if (std::max(hi[0] - lo[0], hi[1] - lo[1]) > k_most_spread) {
                submit_path(s); // a new path starts at the new point
            } else {
                for (int a = 0; a < 2; a++) {
                    s.step_min[a] = lo[a];
                    s.step_max[a] = hi[a];
                }
            }
        }
    }
    s.points[s.point_count++] = p;
    s.last_point_tic = tic;
}

void idle(erosion_sampler& s, int tic) {
    if (s.point_count == 0 || s.last_point_tic + k_idle_tics >= tic) return;
    make_point(s, tic);
    submit_path(s);
    clear_pending(s);
}
} // namespace

void erosion_sampler_reset(erosion_sampler& sampler) { sampler = erosion_sampler{}; }

void erosion_sample(erosion_sampler& s, const erosion_contact& c, bool is_front, int tic) {
    if (c.depth <= 0 || !ground().field.heights) {
        idle(s, tic);
        return;
    }
    const float x = c.point[0], z = c.point[2];
    const erosion_params& e = surface_type_get(surface_type_at(x, z)).erosion;
    const vec3 n = ground_normal_at(x, z);
    const float* v = c.velocity;
    // Along the wheel's travel over the ground, and across it.
    float hx = v[0], hz = v[2];
    const float horizontal = std::sqrt(hx * hx + hz * hz);
    if (horizontal > 0) {
        hx /= horizontal;
        hz /= horizontal;
    }
    const float lx = -hz, lz = hx;
    const float speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    const float speed_factor = ramp(speed, e.off_speed, e.on_speed);
    // The part of the contact force along the ground pushes dirt; project_to_ground chooses
    // how much of the rest counts too.
    const float* f = c.force;
    const float nn = n.x * n.x + n.y * n.y + n.z * n.z;
    const float along = nn > 0 ? (n.x * f[0] + n.y * f[1] + n.z * f[2]) / nn : 0;
    const float tangential_x = f[0] - n.x * along, tangential_z = f[2] - n.z * along;
    float px = (f[0] + (tangential_x - f[0]) * e.project_to_ground) * speed_factor;
    float pz = (f[2] + (tangential_z - f[2]) * e.project_to_ground) * speed_factor;
    const float slip =
        std::sqrt(c.slip[0] * c.slip[0] + c.slip[1] * c.slip[1] + c.slip[2] * c.slip[2]);
    const float w = ramp(slip, e.slip_lower, e.slip_upper);
    const float slip_scale = e.slip_base_scale + w * (e.slip_scale - e.slip_base_scale);
    px *= slip_scale;
    pz *= slip_scale;
    const float lateral = (px * lx + pz * lz) * (e.lateral_scale - 1);
    px += lx * lateral;
    pz += lz * lateral;
    if (is_front) {
        px *= e.front_scale;
        pz *= e.front_scale;
    }
    const float push2 = px * px + pz * pz;
    if (push2 <= e.lower * e.lower || push2 <= k_least_push) {
        idle(s, tic);
        return;
    }
    const float push = std::sqrt(push2);
    const float strength = 0.125f + 0.875f * ramp(push, e.lower, e.upper);
    px = px / push * strength;
    pz = pz / push * strength;

    float d = 0;
    if (s.sample_count > 0) {
        const float dx = x - s.last_x, dz = z - s.last_z;
        d = std::sqrt(dx * dx + dz * dz);
    }
    s.last_x = x;
    s.last_z = z;
    if (s.sample_count < k_erosion_point_samples && s.travelled + d < k_point_spacing) {
        s.sum[0] += x;
        s.sum[1] += z;
        s.sum[2] += px;
        s.sum[3] += pz;
        s.travelled += d;
        s.sample_count++;
        return;
    }
    const bool full = s.sample_count == k_erosion_point_samples;
    const float carried = s.travelled + d - k_point_spacing;
    make_point(s, tic);
    s.sum[0] = x;
    s.sum[1] = z;
    s.sum[2] = px;
    s.sum[3] = pz;
    s.sample_count = 1;
    s.travelled = full || carried >= k_point_spacing ? 0 : std::max(carried, 0.0f);
}
