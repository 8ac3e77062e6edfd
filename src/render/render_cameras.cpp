// The cameras' geometry: trackside rotations, the track cameras' views and the key-framed camera
// path.
#include "render/render_local.h"

#include "track/track_view.h"

#include <algorithm>
#include <cmath>

namespace {
// One component along the cubic Hermite curve from p0 to p1 with the neighbours before and
// after; a and b are the neighbours' intervals over this one (0 or less: no tangent).
float hermite(float before, float p0, float p1, float after, float a, float b, float u) {
    const float m0 = a > 0 ? ((p1 - p0) + (p0 - before) / a) / 2 : 0;
    const float m1 = b > 0 ? ((p1 - p0) + (after - p1) / b) / 2 : 0;
    return p0 + m0 * u + (3 * (p1 - p0) - 2 * m0 - m1) * u * u +
           (2 * (p0 - p1) + m0 + m1) * u * u * u;
}

// The rotation of a quaternion (x, y, z, w) with its first and third rows negated.
void keyframe_rotation(const float q[4], float out[9]) {
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    const float m[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - z * w),     2 * (x * z + y * w),
                        2 * (x * y + z * w),     1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
                        2 * (x * z - y * w),     2 * (y * z + x * w),     1 - 2 * (x * x + y * y)};
    for (int k = 0; k < 9; k++) out[k] = k / 3 == 1 ? m[k] : -m[k];
}
} // namespace

void trackside_rotation(float yaw, float pitch, float out[9]) {
    const float cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
    const float right[3] = {-cy, 0, sy};
    const float up[3] = {-sp * sy, cp, -sp * cy};
    const float back[3] = {-cp * sy, -sp, -cp * cy};
    for (int row = 0; row < 3; row++) {
        out[3 * row] = right[row];
        out[3 * row + 1] = up[row];
        out[3 * row + 2] = back[row];
    }
}

void keyframe_quaternion(float yaw, float pitch, float out[4]) {
    const float cy = std::cos(yaw / 2), sy = std::sin(yaw / 2);
    const float cp = std::cos(pitch / 2), sp = std::sin(pitch / 2);
    out[0] = cy * sp;
    out[1] = sy * cp;
    out[2] = -sy * sp;
    out[3] = cy * cp;
}

scene_camera keyframed_camera(const camera_keyframe* keys, int count, int clock) {
    int i = 0;
    while (i < count && keys[i].tic <= clock) i++;
    scene_camera c;
    if (i == count || i == 0) {
        const camera_keyframe& k = keys[i == count ? count - 1 : 0];
        std::copy(k.position, k.position + 3, c.eye);
        keyframe_rotation(k.quaternion, c.rotation);
        c.fov = k.fov;
        return c;
    }
    const camera_keyframe& k0 = keys[i - 1];
    const camera_keyframe& k1 = keys[i];
    const camera_keyframe& before = keys[std::max(i - 2, 0)];
    const camera_keyframe& after = keys[std::min(i + 1, count - 1)];
    const float span = static_cast<float>(k1.tic - k0.tic);
    const float u = span > 0 ? std::clamp((clock - k0.tic) / span, 0.0f, 1.0f) : 0;
    const float a = span > 0 ? (k0.tic - before.tic) / span : 0;
    const float b = span > 0 ? (after.tic - k1.tic) / span : 0;
    for (int k = 0; k < 3; k++)
        c.eye[k] =
            hermite(before.position[k], k0.position[k], k1.position[k], after.position[k], a, b, u);
    // Each quaternion on the same side as the destination's, so the path takes the short way.
    auto aligned = [&](const camera_keyframe& key, float out[4]) {
        float d = 0;
        for (int k = 0; k < 4; k++) d += key.quaternion[k] * k1.quaternion[k];
        for (int k = 0; k < 4; k++) out[k] = d < 0 ? -key.quaternion[k] : key.quaternion[k];
    };
    float qb[4], q0[4], qa[4], q[4];
    aligned(before, qb);
    aligned(k0, q0);
    aligned(after, qa);
    float norm = 0;
    for (int k = 0; k < 4; k++) {
        q[k] = hermite(qb[k], q0[k], k1.quaternion[k], qa[k], a, b, u);
        norm += q[k] * q[k];
    }
    norm = std::sqrt(norm);
    if (norm > 0)
        for (float& v : q) v /= norm;
    keyframe_rotation(q, c.rotation);
    c.fov = k0.fov + (k1.fov - k0.fov) * u;
    return c;
}

scene_camera track_camera_view(const track_camera& t) {
    scene_camera c;
    std::copy(t.position, t.position + 3, c.eye);
    trackside_rotation(t.yaw, t.pitch, c.rotation);
    c.fov = t.fov;
    return c;
}
