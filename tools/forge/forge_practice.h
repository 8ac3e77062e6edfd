// The practice track "practice": a flat field with a straight of three jumps of known shape and
// a circle of gates. Physics tests read the analytic height from here.
#pragma once

#include <algorithm>
#include <cmath>

constexpr const char* k_practice_folder = "practice";
constexpr const char* k_practice_name = "Practice Area";
constexpr int k_practice_size_exponent = 8;  // 512 cells a side
constexpr float k_practice_cell_size = 1.0f; // ft
constexpr int k_practice_samples = (1 << (k_practice_size_exponent + 1)) + 1;
constexpr float k_practice_extent = 512.0f; // ft

// A trapezoid across the straight: a straight take-off face, a flat top, a straight landing
// face. Slopes are rise per ft; the faces meet the flat ground and the top with sharp edges, so
// every height and angle is exactly what is written here.
struct practice_jump {
    const char* name;
    float x_begin;    // ft, where the take-off face leaves the flat
    float height;     // ft
    float up_slope;   // rise per ft of the take-off face
    float top_length; // ft of flat top
    float down_slope; // fall per ft of the landing face
};

// The straight runs east (+x) along z = k_practice_straight_z.
constexpr float k_practice_straight_z = 96.0f;     // ft
constexpr float k_practice_straight_half = 15.0f;  // ft; the jumps span this, then fall 1:1
constexpr float k_practice_straight_begin = 40.0f; // ft of x
constexpr float k_practice_straight_end = 470.0f;  // ft of x

constexpr practice_jump k_practice_jumps[] = {
    {"3 ft tabletop", 120.0f, 3.0f, 0.5f, 12.0f, 0.4f},  // 26.6 deg up, 21.8 deg down
    {"6 ft tabletop", 210.0f, 6.0f, 0.6f, 20.0f, 0.45f}, // 31.0 deg up, 24.2 deg down
    {"4 ft step-up", 320.0f, 4.0f, 0.7f, 40.0f, 0.2f},   // 35.0 deg face, long 11.3 deg ramp off
};
constexpr int k_practice_jump_count = sizeof k_practice_jumps / sizeof k_practice_jumps[0];

// The circle of checkpoints, ridden clockwise seen from above (x east, z south): gate k stands
// at angle 2 pi k / count from the circle's north point, facing along the circle.
constexpr float k_practice_circle_x = 256.0f;      // ft
constexpr float k_practice_circle_z = 320.0f;      // ft
constexpr float k_practice_circle_radius = 130.0f; // ft
constexpr int k_practice_gate_count = 12;
constexpr float k_practice_gate_radius = 20.0f; // ft

// The start gate: two rows of 20 on the flat north-west of the circle, facing east towards the
// circle's north point, where gate 0 (the finish line) stands.
constexpr float k_practice_start_x = 100.0f; // ft, front row's slot points
constexpr float k_practice_start_z = 190.0f; // ft, the rows' middle

// Height of a jump's profile at x, ignoring where across the straight it is.
inline float practice_jump_profile(const practice_jump& j, float x) {
    float t = x - j.x_begin;
    if (t <= 0) return 0;
    float up = j.height / j.up_slope;
    if (t < up) return t * j.up_slope;
    t -= up;
    if (t <= j.top_length) return j.height;
    t -= j.top_length;
    return std::max(0.0f, j.height - t * j.down_slope);
}

// The ground height at (x, z), ft. Off the straight the field is flat at 0.
inline float practice_height(float x, float z) {
    float across = std::max(0.0f, std::fabs(z - k_practice_straight_z) - k_practice_straight_half);
    float h = 0;
    for (const practice_jump& j : k_practice_jumps)
        h = std::max(h, practice_jump_profile(j, x) - across);
    return h;
}
