// The generator's bike and rider models. Every shape is placed in the bike's construction frame
// (y up, z backwards, the ground at y = 0) and moved into the body it belongs to.
#include "forge_bike_models.h"

#include "forge_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {
using profile = std::vector<std::pair<float, float>>; // side-view points (z, y)

vec3 mirror(vec3 a) { return {-a.x, a.y, a.z}; }

// A model whose shapes are given in the construction frame and kept relative to its body.
struct body_model {
    mesh_builder m;
    vec3 origin;
    int detail;

    explicit body_model(vec3 body, int level = 0) : origin(body), detail(level) {}
    void add(model_part p, int swatch, const mesh_material& material) {
        shape_move(p, {-origin.x, -origin.y, -origin.z});
        m.add(std::move(p), swatch, material);
    }
    // The same shape on both sides of the centre line.
    template <typename Make> void pair(Make make, int swatch, const mesh_material& material) {
        add(make(1.0f), swatch, material);
        add(make(-1.0f), swatch, material);
    }
    // Round things get fewer sides further away.
    int sides(int near) const {
        return detail == 0 ? near : detail == 1 ? std::max(4, near / 2) : 3;
    }
};

model_part hull_pair(const profile& zy, float inner, float outer, float side) {
    return side > 0 ? shape_hull(zy, inner, outer) : shape_hull(zy, -outer, -inner);
}

// The steering axis and the rake, from the catalogue's head and slider points.
struct steering {
    vec3 head, axis;
    float rake; // rad back from vertical
};
steering steering_of(const bike_info& b) {
    vec3 head = b.steering_head_position, lower = b.fork_lower_position;
    vec3 d = {0, head.y - lower.y, head.z - lower.z};
    float l = std::sqrt(d.y * d.y + d.z * d.z);
    return {head, {0, d.y / l, d.z / l}, std::atan2(d.z, d.y)};
}

model_part tilted_box(vec3 centre, vec3 size, float rake) {
    model_part p = shape_box({0, 0, 0}, size);
    shape_rotate(p, 0, rake, {0, 0, 0});
    shape_move(p, centre);
    return p;
}

// A number plate outline (x, y) facing forward (-z) or backward (+z) at `centre`, tilted back
// by `tilt`; its face maps the whole number picture the right way round from outside.
model_part plate(const profile& outline_xy, float thickness, bool facing_back, vec3 centre,
                 float tilt) {
    model_part p = shape_hull(outline_xy, -thickness / 2, thickness / 2);
    shape_rotate(p, 1, facing_back ? -1.5707963f : 1.5707963f, {0, 0, 0});
    shape_rotate(p, 0, tilt, {0, 0, 0});
    shape_move(p, centre);
    return p;
}
} // namespace

model_mesh frame_model(const bike_info& b, int detail) {
    const bool two_stroke = strcmp(b.bike_class, "125") == 0 || strcmp(b.bike_class, "250") == 0;
    const float size = strcmp(b.bike_class, "50") == 0     ? 0.75f
                       : strcmp(b.bike_class, "450f") == 0 ? 1.1f
                                                           : 1.0f;
    body_model m(b.frame_position, detail);
    const steering st = steering_of(b);
    // Plastics: tank, radiator shrouds carrying the graphics, seat, rear fender.
    m.add(shape_hull({{2.55f, 3.5f},
                      {2.8f, 3.78f},
                      {3.55f, 3.72f},
                      {3.85f, 3.45f},
                      {3.65f, 2.95f},
                      {2.75f, 2.98f}},
                     -0.4f, 0.4f),
          sw_primary, k_gloss);
    m.pair(
        [](float s) {
            return hull_pair({{2.15f, 3.55f},
                              {2.5f, 3.85f},
                              {3.45f, 3.62f},
                              {3.35f, 2.85f},
                              {2.6f, 2.5f},
                              {2.2f, 2.9f}},
                             0.38f, 0.46f, s);
        },
        sw_primary, k_gloss);
    m.pair(
        [](float s) {
            return hull_pair({{2.3f, 3.4f}, {3.38f, 3.3f}, {3.36f, 3.05f}, {2.4f, 3.12f}}, 0.455f,
                             0.468f, s);
        },
        sw_stripe, k_gloss);
    m.add(shape_hull({{3.45f, 3.45f},
                      {3.7f, 3.64f},
                      {4.6f, 3.66f},
                      {5.95f, 3.78f},
                      {6.05f, 3.66f},
                      {5.9f, 3.5f},
                      {3.8f, 3.3f}},
                     -0.27f, 0.27f),
          sw_black, k_matte);
    m.add(shape_hull({{5.5f, 3.52f}, {7.35f, 3.92f}, {7.42f, 3.84f}, {5.6f, 3.38f}}, -0.32f, 0.32f),
          sw_primary, k_gloss);
    if (detail < 2) {
        m.pair(
            [](float s) {
                return hull_pair({{2.35f, 3.35f}, {3.05f, 3.3f}, {3.05f, 2.55f}, {2.4f, 2.6f}},
                                 0.26f, 0.38f, s);
            },
            sw_dark, k_satin);
        m.add(shape_hull({{4.5f, 3.4f}, {5.4f, 3.5f}, {5.3f, 2.75f}, {4.5f, 2.8f}}, -0.3f, 0.3f),
              sw_black, k_satin);
    }
    // The frame: head tube, spars to the swingarm pivot, the cradle under the engine, the
    // subframe under the seat.
    const int tube = m.sides(8);
    m.add(shape_tube(st.head + (st.axis * -0.45f), st.head + (st.axis * 0.12f), 0.13f, 0.13f, tube),
          sw_frame, k_satin);
    m.pair(
        [&](float s) {
            return shape_pipe(
                {{0.18f * s, 2.85f, 2.35f}, {0.3f * s, 2.45f, 3.6f}, {0.3f * s, 1.95f, 4.15f}},
                0.085f, tube);
        },
        sw_frame, k_satin);
    if (detail < 2) {
        m.add(shape_tube({0, 2.65f, 2.2f}, {0, 2.2f, 2.4f}, 0.09f, 0.09f, tube), sw_frame, k_satin);
        m.pair(
            [&](float s) {
                return shape_pipe({{0, 2.2f, 2.4f},
                                   {0.2f * s, 1.35f, 2.75f},
                                   {0.22f * s, 1.2f, 3.5f},
                                   {0.26f * s, 1.55f, 4.15f}},
                                  0.07f, tube);
            },
            sw_frame, k_satin);
        m.pair(
            [&](float s) {
                return shape_tube({0.26f * s, 2.3f, 4.15f}, {0.22f * s, 3.42f, 5.8f}, 0.055f, 0.05f,
                                  m.sides(6));
            },
            sw_frame, k_satin);
    }
    // The engine: cases, the cylinder leaning forward, its head.
    const vec3 cases = {0, 1.72f, 3.5f};
    m.add(shape_box(cases, {0.52f * size, 0.72f * size, 1.05f * size}), sw_engine, k_satin);
    const float bore = (two_stroke ? 0.22f : 0.26f) * size;
    m.add(shape_tube({0, 2.0f, 3.15f}, {0, 2.0f + 0.7f * size, 3.15f - 0.2f * size}, bore, bore,
                     m.sides(10)),
          sw_engine, k_satin);
    m.add(shape_box({0, 2.05f + 0.75f * size, 3.13f - 0.22f * size},
                    {bore * 2.1f, 0.22f * size, bore * 2.1f}),
          two_stroke ? sw_engine : sw_dark, k_satin);
    if (detail == 0) {
        m.add(
            shape_tube({0.2f, 1.75f, 3.45f}, {0.32f, 1.75f, 3.45f}, 0.3f * size, 0.27f * size, 12),
            sw_engine, k_metal);
        m.add(shape_tube({-0.2f, 1.8f, 3.7f}, {-0.3f, 1.8f, 3.7f}, 0.24f * size, 0.22f * size, 12),
              sw_engine, k_metal);
    }
    // The shock between the frame and the swingarm's linkage.
    m.add(shape_tube({0, 3.05f, 4.2f}, {0, 1.85f, 4.6f}, 0.12f, 0.12f, m.sides(8)), sw_gold,
          k_satin);
    // Exhaust: a four-stroke's header into a long silencer, or a two-stroke's expansion chamber.
    const int pipe = m.sides(8);
    if (detail == 2) {
        m.add(shape_tube({0.4f, 2.6f, 4.6f}, {0.4f, 3.2f, 6.0f}, 0.18f, 0.16f, pipe), sw_frame,
              k_metal);
    } else if (two_stroke) {
        m.add(shape_pipe({{0.1f, 2.3f, 2.75f}, {0.15f, 1.7f, 2.45f}}, 0.08f, pipe), sw_dark,
              k_metal);
        m.add(shape_tube({0.16f, 1.62f, 2.5f}, {0.3f, 1.3f, 3.3f}, 0.12f, 0.2f, pipe), sw_dark,
              k_metal);
        m.add(shape_tube({0.3f, 1.3f, 3.3f}, {0.35f, 1.95f, 4.25f}, 0.2f, 0.09f, pipe), sw_dark,
              k_metal);
        m.add(shape_tube({0.4f, 2.35f, 4.4f}, {0.4f, 3.1f, 5.9f}, 0.15f, 0.13f, pipe), sw_frame,
              k_metal);
    } else {
        m.add(shape_pipe({{0.12f, 2.55f, 2.75f},
                          {0.25f, 2.2f, 2.45f},
                          {0.36f, 1.65f, 2.75f},
                          {0.38f, 1.7f, 3.9f},
                          {0.38f, 2.6f, 4.6f}},
                         0.07f, pipe),
              sw_chrome, k_metal);
        m.add(shape_tube({0.4f, 2.7f, 4.65f}, {0.4f, 3.3f, 6.2f}, 0.2f, 0.17f, pipe), sw_frame,
              k_metal);
    }
    // Foot pegs under the rider's feet, the brake pedal and the shift lever.
    const float* peg = &b.rider_skeleton[skeleton_right_foot_rest];
    const vec3 peg_at = b.frame_position + vec3{peg[0], peg[1], peg[2]};
    if (detail < 2) {
        m.add(shape_box(peg_at, {0.3f, 0.07f, 0.16f}), sw_frame, k_metal);
        m.add(shape_box(mirror(peg_at), {0.3f, 0.07f, 0.16f}), sw_frame, k_metal);
    }
    if (detail == 0) {
        m.add(shape_box({0.32f, peg_at.y + 0.05f, peg_at.z - 0.45f}, {0.05f, 0.05f, 0.65f}),
              sw_frame, k_metal);
        m.add(shape_box({-0.32f, peg_at.y + 0.15f, peg_at.z - 0.4f}, {0.05f, 0.05f, 0.5f}),
              sw_frame, k_metal);
    }
    return m.m.mesh();
}

model_mesh side_plates_model(const bike_info& b) {
    body_model m(b.frame_position);
    m.pair(
        [](float s) {
            return hull_pair({{4.65f, 3.45f}, {5.85f, 3.58f}, {5.75f, 2.9f}, {4.85f, 2.75f}}, 0.33f,
                             0.37f, s);
        },
        k_own_uvs, k_gloss);
    return m.m.mesh();
}

model_mesh fork_upper_model(const bike_info& b, int detail) {
    body_model m(b.steering_head_position, detail);
    const steering st = steering_of(b);
    const float leg = b.fork_leg_spacing / 2;
    // Triple clamps square to the steering axis, the fork tubes down from them.
    m.add(tilted_box(st.head + (st.axis * 0.08f), {2 * leg + 0.3f, 0.1f, 0.38f}, st.rake), sw_frame,
          k_satin);
    m.add(tilted_box(st.head + (st.axis * -0.42f), {2 * leg + 0.3f, 0.12f, 0.42f}, st.rake),
          sw_frame, k_satin);
    m.pair(
        [&](float s) {
            vec3 top = st.head + vec3{leg * s, 0, 0};
            return shape_tube(top + (st.axis * 0.12f), top + (st.axis * -1.55f), 0.085f, 0.085f,
                              m.sides(10));
        },
        sw_gold, k_metal);
    // The bars on their risers, grips and levers at the rider's hands.
    const float* grip = &b.rider_skeleton[skeleton_right_grip];
    const vec3 hand = st.head + vec3{grip[0], grip[1], grip[2]};
    if (detail == 2) {
        m.add(shape_tube({-1.2f, hand.y, hand.z}, {1.2f, hand.y, hand.z}, 0.06f, 0.06f, 3), sw_dark,
              k_metal);
        m.add(shape_tube(st.head + (st.axis * 0.12f), {0, hand.y, hand.z}, 0.06f, 0.06f, 3),
              sw_frame, k_satin);
    } else {
        m.pair(
            [&](float s) {
                return shape_tube((st.head + (st.axis * 0.12f)) + vec3{0.15f * s, 0, 0},
                                  {0.2f * s, hand.y - 0.1f, hand.z - 0.06f}, 0.05f, 0.05f,
                                  m.sides(6));
            },
            sw_frame, k_satin);
        m.add(shape_pipe({{-1.25f, hand.y + 0.03f, hand.z + 0.03f},
                          {-0.75f, hand.y, hand.z},
                          {-0.3f, hand.y - 0.07f, hand.z - 0.05f},
                          {0.3f, hand.y - 0.07f, hand.z - 0.05f},
                          {0.75f, hand.y, hand.z},
                          {1.25f, hand.y + 0.03f, hand.z + 0.03f}},
                         0.045f, m.sides(6)),
              sw_dark, k_metal);
        m.pair(
            [&](float s) {
                return shape_tube({0.88f * s, hand.y + 0.02f, hand.z + 0.02f},
                                  {1.25f * s, hand.y + 0.03f, hand.z + 0.03f}, 0.075f, 0.075f,
                                  m.sides(8));
            },
            sw_black, k_matte);
        m.add(shape_box({0, hand.y - 0.05f, hand.z - 0.05f}, {0.5f, 0.12f, 0.12f}), sw_primary,
              k_matte);
    }
    if (detail == 0)
        m.pair(
            [&](float s) {
                model_part lever = shape_box({0, 0, 0}, {0.5f, 0.04f, 0.07f});
                shape_rotate(lever, 1, 0.3f * s, {0, 0, 0});
                shape_move(lever, {0.95f * s, hand.y + 0.02f, hand.z - 0.18f});
                return lever;
            },
            sw_dark, k_metal);
    // The front fender: a strip curving over the wheel below the bottom clamp.
    const vec3 axle = b.front_wheel_position;
    const float radius = b.front_rim_radius + b.front_tyre_radius + 0.2f;
    const int pieces = detail == 0 ? 9 : detail == 1 ? 5 : 2;
    for (int k = 0; k < pieces; k++) {
        float a0 = -0.55f + 1.9f * static_cast<float>(k) / static_cast<float>(pieces);
        float a1 = -0.55f + 1.9f * static_cast<float>(k + 1) / static_cast<float>(pieces);
        auto at = [&](float a, float r) {
            return std::pair<float, float>{axle.z - r * std::sin(a),
                                           axle.y + 0.05f + r * std::cos(a)};
        };
        m.add(shape_hull(
                  {at(a0, radius), at(a1, radius), at(a1, radius + 0.05f), at(a0, radius + 0.05f)},
                  -0.3f, 0.3f),
              sw_primary, k_gloss);
    }
    return m.m.mesh();
}

model_mesh front_plate_model(const bike_info& b) {
    body_model m(b.steering_head_position);
    const steering st = steering_of(b);
    m.add(plate({{-0.38f, -0.32f}, {0.38f, -0.32f}, {0.42f, 0.26f}, {0, 0.34f}, {-0.42f, 0.26f}},
                0.04f, false, {0, 3.3f, 2.0f}, st.rake),
          k_own_uvs, k_gloss);
    return m.m.mesh();
}

model_mesh fork_lower_model(const bike_info& b, int detail) {
    body_model m(b.fork_lower_position, detail);
    const steering st = steering_of(b);
    const vec3 lower = b.fork_lower_position;
    const vec3 axle = b.front_wheel_position;
    const float leg = b.fork_leg_spacing / 2;
    // Where the fork's axis passes the axle's height.
    const float t_axle = (axle.y - lower.y) / st.axis.y;
    m.pair(
        [&](float s) {
            vec3 base = lower + vec3{leg * s, 0, 0};
            return shape_tube(base + (st.axis * (t_axle - 0.08f)),
                              base + (st.axis * (t_axle + 1.25f)), 0.11f, 0.11f, m.sides(10));
        },
        sw_dark, k_satin);
    m.pair(
        [&](float s) {
            return shape_box({leg * s, axle.y, axle.z + 0.06f}, {0.17f, 0.22f, 0.28f});
        },
        sw_frame, k_satin);
    if (detail < 2)
        m.pair(
            [&](float s) {
                vec3 base = lower + vec3{leg * s, 0, 0};
                vec3 low = base + (st.axis * (t_axle + 0.2f));
                vec3 high = base + (st.axis * (t_axle + 0.95f));
                return hull_pair({{low.z - 0.16f, low.y},
                                  {high.z - 0.16f, high.y},
                                  {high.z - 0.02f, high.y + 0.05f},
                                  {low.z + 0.02f, low.y - 0.05f}},
                                 leg - 0.07f, leg + 0.07f, s);
            },
            sw_black, k_gloss);
    if (detail == 0)
        m.add(shape_box({-leg + 0.12f, axle.y + 0.3f, axle.z + 0.25f}, {0.1f, 0.25f, 0.3f}),
              sw_dark, k_satin);
    return m.m.mesh();
}

model_mesh swingarm_model(const bike_info& b, int detail) {
    body_model m(b.swingarm_position, detail);
    const vec3 pivot = b.swingarm_pivot, axle = b.rear_wheel_position;
    m.pair(
        [&](float s) {
            return hull_pair({{pivot.z - 0.08f, pivot.y + 0.18f},
                              {pivot.z + 0.07f, pivot.y - 0.15f},
                              {axle.z + 0.15f, axle.y - 0.08f},
                              {axle.z + 0.2f, axle.y + 0.06f},
                              {axle.z - 0.1f, axle.y + 0.16f}},
                             0.33f, 0.45f, s);
        },
        sw_frame, k_satin);
    m.add(
        shape_tube({-0.45f, pivot.y, pivot.z}, {0.45f, pivot.y, pivot.z}, 0.09f, 0.09f, m.sides(8)),
        sw_frame, k_satin);
    m.add(shape_box({0, pivot.y - 0.05f, pivot.z + 0.42f}, {0.7f, 0.12f, 0.3f}), sw_frame, k_satin);
    if (detail < 2) {
        // The chain on the left, from the gearbox sprocket to the wheel's.
        const float x = -0.5f, sprocket = 0.42f;
        m.add(shape_tube({x, pivot.y + 0.12f, pivot.z - 0.05f}, {x, axle.y + sprocket, axle.z},
                         0.03f, 0.03f, 4),
              sw_black, k_satin);
        m.add(shape_tube({x, pivot.y - 0.12f, pivot.z - 0.05f}, {x, axle.y - sprocket, axle.z},
                         0.03f, 0.03f, 4),
              sw_black, k_satin);
        m.add(shape_box({0.4f, axle.y + 0.22f, axle.z - 0.3f}, {0.1f, 0.22f, 0.3f}), sw_dark,
              k_satin);
    }
    return m.m.mesh();
}

model_mesh wheel_model(const bike_info& b, bool front, int detail) {
    mesh_builder m;
    const float rim = front ? b.front_rim_radius : b.rear_rim_radius;
    const float tyre = front ? b.front_tyre_radius : b.rear_tyre_radius;
    const int segments = detail == 0 ? 48 : detail == 1 ? 20 : 10;
    const int sides = detail == 0 ? 8 : detail == 1 ? 4 : 3;
    // A knobbly tyre whose tread reaches the rolling radius, a little wider at the back.
    m.add(shape_tyre(rim + tyre / 2, tyre / 2 - 0.02f, segments, sides, detail == 0 ? 0.035f : 0,
                     front ? 1.0f : 1.3f),
          sw_black, k_matte);
    // The rim: an inner band and its two flanges.
    const int rim_segments = detail == 0 ? 32 : detail == 1 ? 12 : 8;
    if (detail < 2) {
        model_part band = shape_tube({-0.12f, 0, 0}, {0.12f, 0, 0}, rim - 0.06f, rim - 0.06f,
                                     rim_segments, 1, true);
        shape_flip(band);
        m.add(band, sw_chrome, k_metal);
        m.add(shape_ring(-0.12f, rim - 0.07f, rim + 0.02f, rim_segments), sw_chrome, k_metal);
    }
    m.add(shape_ring(0.12f, rim - 0.07f, rim + 0.02f, rim_segments), sw_chrome, k_metal);
    // Hub and spokes, crossing from each flange to the rim.
    m.add(shape_tube({-0.22f, 0, 0}, {0.22f, 0, 0}, 0.12f, 0.12f, detail == 0 ? 12 : 4), sw_frame,
          k_metal);
    if (detail < 2) {
        const int spokes = detail == 0 ? 16 : 6;
        for (int side = -1; side <= 1; side += 2)
            for (int k = 0; k < spokes; k++) {
                float a = 6.2831853f * (static_cast<float>(k) + 0.25f * (side + 1)) /
                          static_cast<float>(spokes);
                float twist = k % 2 ? 0.45f : -0.45f;
                vec3 hub_end = {0.17f * static_cast<float>(side), 0.16f * std::cos(a),
                                0.16f * std::sin(a)};
                vec3 rim_end = {0.04f * static_cast<float>(side),
                                (rim - 0.07f) * std::cos(a + twist),
                                (rim - 0.07f) * std::sin(a + twist)};
                m.add(shape_tube(hub_end, rim_end, 0.014f, 0.014f, 3, 1, true), sw_chrome, k_metal);
            }
    }
    // The front's brake disc on the left; the rear's disc on the right and sprocket on the left.
    const int ring = detail == 0 ? 24 : 10;
    if (detail == 2) {
    } else if (front) {
        m.add(shape_ring(-0.2f, 0.22f, 0.45f, ring), sw_chrome, k_metal);
    } else {
        m.add(shape_ring(0.22f, 0.18f, 0.38f, ring), sw_chrome, k_metal);
        m.add(shape_ring(-0.24f, 0.12f, 0.42f, ring), sw_gold, k_satin);
    }
    return m.mesh();
}

model_mesh rider_body_model(const bike_info& b, bool with_torso, int detail) {
    enum {
        left_forearm,
        right_forearm,
        left_upper_arm,
        right_upper_arm,
        left_shin,
        right_shin,
        left_thigh,
        right_thigh,
        torso
    };
    const float* bind = &b.rider_skeleton[skeleton_bind_pose];
    const float shoulder_x = bind[9], elbow_x = bind[3], hip_x = bind[21];
    const float arm_y = bind[1], hip_y = bind[22], knee_y = bind[13];
    const float reach = elbow_x + b.rider_skeleton[skeleton_forearm];
    const float foot_y = knee_y - b.rider_skeleton[skeleton_shin];
    const float z = bind[2];
    mesh_builder m;
    const int round = detail == 0 ? 10 : detail == 1 ? 5 : 3;
    for (int side = -1; side <= 1; side += 2) {
        const bool left = side < 0;
        const float s = static_cast<float>(side);
        // Sleeves, then the gloves that hold the grips.
        m.bone = left ? left_upper_arm : right_upper_arm;
        m.add(shape_tube({s * (shoulder_x - 0.05f), arm_y, z}, {s * (elbow_x + 0.05f), arm_y, z},
                         0.17f, 0.14f, round),
              sw_primary, k_matte);
        m.bone = left ? left_forearm : right_forearm;
        m.add(shape_tube({s * (elbow_x - 0.05f), arm_y, z}, {s * (reach - 0.2f), arm_y, z}, 0.14f,
                         0.11f, round),
              sw_primary, k_matte);
        if (detail < 2)
            m.add(shape_tube({s * (reach - 0.3f), arm_y, z}, {s * (reach - 0.12f), arm_y, z}, 0.13f,
                             0.12f, round),
                  sw_black, k_matte);
        m.add(shape_ellipsoid({s * reach, arm_y, z}, {0.16f, 0.11f, 0.13f}, round, round / 2 + 1),
              sw_black, k_matte);
        // Pants down to the knees, boots to the pegs.
        m.bone = left ? left_thigh : right_thigh;
        m.add(shape_tube({s * hip_x, hip_y + 0.05f, z}, {s * hip_x, knee_y - 0.05f, z}, 0.25f,
                         0.18f, round),
              sw_stripe, k_matte);
        m.bone = left ? left_shin : right_shin;
        m.add(shape_tube({s * hip_x, knee_y + 0.1f, z}, {s * hip_x, foot_y + 0.2f, z}, 0.2f, 0.17f,
                         round),
              sw_white, k_matte);
        if (detail < 2)
            m.add(shape_ellipsoid({s * hip_x, knee_y, z - 0.12f}, {0.17f, 0.22f, 0.12f}, round,
                                  round / 2 + 1),
                  sw_black, k_satin);
        m.add(shape_hull({{z - 0.5f, foot_y - 0.04f},
                          {z + 0.2f, foot_y - 0.04f},
                          {z + 0.22f, foot_y + 0.35f},
                          {z - 0.05f, foot_y + 0.32f},
                          {z - 0.45f, foot_y + 0.12f}},
                         s * hip_x - 0.14f, s * hip_x + 0.14f),
              sw_white, k_matte);
        if (detail < 2)
            m.add(shape_box({s * hip_x, foot_y - 0.06f, z - 0.15f}, {0.3f, 0.06f, 0.75f}), sw_black,
                  k_matte);
    }
    if (with_torso) {
        m.bone = torso;
        const float chest = arm_y - 0.1f;
        m.add(shape_tube({0, hip_y - 0.05f, z}, {0, chest, z}, 0.34f, 0.38f, round + 2, 1.45f),
              sw_primary, k_matte);
        if (detail < 2) {
            m.add(shape_ellipsoid({0, chest, z}, {0.58f, 0.2f, 0.38f}, round + 2, round / 2 + 1),
                  sw_primary, k_matte);
            m.add(shape_tube({0, hip_y - 0.4f, z + 0.02f}, {0, hip_y + 0.1f, z + 0.02f}, 0.32f,
                             0.33f, round + 2, 1.4f),
                  sw_stripe, k_matte);
            m.add(shape_tube({0, chest, z - 0.05f}, {0, arm_y + 0.4f, z - 0.08f}, 0.14f, 0.13f,
                             round),
                  sw_skin, k_matte);
        }
    }
    m.bone = -1;
    return m.mesh(9);
}

model_mesh rider_head_model(int detail) {
    mesh_builder m;
    const int round = detail == 0 ? 14 : detail == 1 ? 7 : 5;
    // Shell, peak, chin bar and goggles; the face is towards -z.
    m.add(shape_ellipsoid({0, 0.3f, 0.05f}, {0.42f, 0.44f, 0.5f}, round, round / 2 + 1), sw_primary,
          k_gloss);
    m.add(
        shape_hull({{-0.42f, 0.64f}, {-0.82f, 0.58f}, {-0.8f, 0.5f}, {-0.4f, 0.52f}}, -0.3f, 0.3f),
        sw_stripe, k_gloss);
    if (detail < 2)
        m.add(shape_ellipsoid({0, 0.02f, -0.33f}, {0.3f, 0.17f, 0.24f}, round, round / 2 + 1),
              sw_primary, k_gloss);
    m.add(shape_box({0, 0.3f, -0.43f}, {0.62f, 0.18f, 0.12f}), sw_dark, k_metal);
    return m.mesh();
}

model_mesh rider_plate_model(const bike_info& b) {
    const float* bind = &b.rider_skeleton[skeleton_bind_pose];
    mesh_builder m;
    m.bone = 8; // the torso
    m.add(plate({{-0.3f, -0.3f}, {0.3f, -0.3f}, {0.3f, 0.3f}, {-0.3f, 0.3f}}, 0.03f, true,
                {0, bind[1] - 0.55f, bind[2] + 0.4f}, 0),
          k_own_uvs, k_matte);
    return m.mesh(9);
}
