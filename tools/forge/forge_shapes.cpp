// The seven fixed collision shapes of every bike and rider, built from spheres.
#include "forge_shapes.h"

#include "bike/bike_data.h"

namespace {
// Surfaces: plastic and metal slide, tyres grip, a rider's kit is in between. The stiffness and
// damping only matter against statues and other bikes: firm enough that two bikes do not sink
// into each other at a rub, soft enough not to launch them.
struct material {
    float friction;
    float stiffness; // lbf/ft
    float damping;   // lbf·s/ft
};
constexpr material k_plastic = {0.5f, 5000, 100};
constexpr material k_metal = {0.35f, 8000, 150};
constexpr material k_tyre = {1.0f, 8000, 150};
constexpr material k_rider = {0.6f, 3000, 120};

void add(shape& s, float x, float y, float z, float radius, material m) {
    shape_sphere p;
    p.centre = {x, y, z};
    p.radius = radius;
    p.friction = m.friction;
    p.stiffness = m.stiffness;
    p.damping = m.damping;
    s.spheres.push_back(p);
}

// A sphere on each side of the bike's centre line.
void add_pair(shape& s, float x, float y, float z, float radius, material m) {
    add(s, -x, y, z, radius, m);
    add(s, x, y, z, radius, m);
}

// Offsets are from each body's position in the catalogue: frame (0, 1.98, 3.6), steering head
// (0, 2.9, 2.16), fork sliders (0, 1.77, 1.59), swingarm (0, 1.34, 4.99), rider (0, 4.5, 4.12).
shape frame_shape() {
    shape s;
    add(s, 0, 0.92f, -1.44f, 0.3f, k_metal);            // steering head
    add(s, 0, 1.0f, -0.8f, 0.45f, k_plastic);           // tank
    add(s, 0, 1.05f, 0.3f, 0.35f, k_plastic);           // front of the seat
    add(s, 0, 1.05f, 1.0f, 0.3f, k_plastic);            // back of the seat
    add(s, 0, 1.0f, 2.2f, 0.3f, k_plastic);             // rear fender
    add(s, 0, 1.15f, 3.0f, 0.25f, k_plastic);           // fender tip
    add(s, 0, -0.45f, -0.2f, 0.55f, k_metal);           // engine cases, 1 ft of ground clearance
    add_pair(s, 0.45f, 0.3f, -0.9f, 0.3f, k_plastic);   // radiator shrouds
    add_pair(s, 0.35f, 0.7f, 1.0f, 0.3f, k_plastic);    // side panels
    add_pair(s, 0.6f, -0.557f, 0.584f, 0.12f, k_metal); // foot pegs
    add(s, 0.45f, 0.7f, 1.8f, 0.22f, k_metal);          // silencer on the right
    return s;
}

shape fork_upper_shape() {
    shape s;
    add_pair(s, 1.0f, 1.145f, 0.753f, 0.15f, k_metal); // bar ends at the grips
    add_pair(s, 0.5f, 1.08f, 0.62f, 0.15f, k_metal);
    add(s, 0, 1.02f, 0.5f, 0.2f, k_metal);             // bar clamp
    add(s, 0, 0.45f, -0.35f, 0.3f, k_plastic);         // number plate
    add_pair(s, 0.4167f, 0.1f, 0.05f, 0.14f, k_metal); // fork tubes in the clamps
    add_pair(s, 0.4167f, -0.3f, -0.15f, 0.14f, k_metal);
    add(s, 0, -0.45f, -1.5f, 0.25f, k_plastic); // front fender
    add(s, 0, -0.5f, -0.9f, 0.25f, k_plastic);
    return s;
}

shape fork_lower_shape() {
    shape s;
    add_pair(s, 0.4167f, -0.6f, -0.43f, 0.15f, k_metal); // axle lugs
    add_pair(s, 0.4167f, -0.2f, -0.1f, 0.15f, k_metal);
    add_pair(s, 0.4167f, 0.2f, 0.1f, 0.15f, k_metal);
    return s;
}

shape swingarm_shape() {
    shape s;
    // From the pivot (0, 0.26, -0.91) to the rear axle (0, -0.3, 1.01), on both arms.
    for (float t : {0.1f, 0.4f, 0.7f, 0.95f})
        add_pair(s, 0.4167f, 0.26f + (-0.3f - 0.26f) * t, -0.91f + (1.01f + 0.91f) * t, 0.15f,
                 k_metal);
    return s;
}

// The tyre as a ring of twelve spheres, so bikes touching wheels meet at the rubber. The
// directions are exact constants, not libm calls, so every machine writes the same bytes.
shape wheel_shape(float rim_radius, float tyre_radius) {
    constexpr float k_ring[12][2] = {{1, 0},  {0.8660254f, 0.5f},   {0.5f, 0.8660254f},
                                     {0, 1},  {-0.5f, 0.8660254f},  {-0.8660254f, 0.5f},
                                     {-1, 0}, {-0.8660254f, -0.5f}, {-0.5f, -0.8660254f},
                                     {0, -1}, {0.5f, -0.8660254f},  {0.8660254f, -0.5f}};
    shape s;
    for (const auto& d : k_ring)
        add(s, 0, rim_radius * d[0], rim_radius * d[1], tyre_radius, k_tyre);
    return s;
}

shape rider_shape() {
    shape s;
    add(s, 0, 0.80838f, -0.94337f, 0.45f, k_rider);           // helmet
    add(s, 0, 0.35f, -0.45f, 0.5f, k_rider);                  // chest
    add(s, 0, -0.1f, 0.05f, 0.5f, k_rider);                   // belly
    add(s, 0, -0.5f, 0.55f, 0.45f, k_rider);                  // seat of the pants
    add_pair(s, 0.556f, 0.58038f, -0.65451f, 0.25f, k_rider); // shoulders
    add_pair(s, 0.95f, 0.1f, -0.95f, 0.2f, k_rider);          // elbows, out towards the grips
    add_pair(s, 0.42f, -1.05f, 0.15f, 0.28f, k_rider);        // thighs
    add_pair(s, 0.55f, -1.55f, -0.4f, 0.22f, k_rider);        // knees, bent forward
    add_pair(s, 0.57f, -2.3f, -0.17f, 0.2f, k_rider);         // shins
    add_pair(s, 0.6f, -3.0f, 0.0f, 0.18f, k_rider);           // boots on the pegs
    return s;
}
} // namespace

std::vector<forge_shape_file> forge_shape_files() {
    const shape shapes[] = {frame_shape(),
                            fork_upper_shape(),
                            fork_lower_shape(),
                            swingarm_shape(),
                            wheel_shape(0.8333f, 0.3333f),
                            wheel_shape(0.75f, 0.3333f),
                            rider_shape()};
    static_assert(sizeof shapes / sizeof shapes[0] == k_bike_shape_file_count);
    std::vector<forge_shape_file> files;
    // The file in the data folder is the "@" name without its "@".
    for (int i = 0; i < k_bike_shape_file_count; i++)
        files.push_back({k_bike_shape_files[i] + 1, shape_format(shapes[i])});
    return files;
}

shape forge_sphere_grid(const std::vector<float>& xs, const std::vector<float>& ys,
                        const std::vector<float>& zs, float radius, float friction, float stiffness,
                        float damping) {
    shape s;
    for (float y : ys)
        for (float x : xs)
            for (float z : zs) {
                shape_sphere p;
                p.centre = {x, y, z};
                p.radius = radius;
                p.friction = friction;
                p.stiffness = stiffness;
                p.damping = damping;
                s.spheres.push_back(p);
            }
    s.bounding_radius = shape_bounding_radius(s.spheres);
    return s;
}
