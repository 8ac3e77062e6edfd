// The layout of the default track "rabbithill": its lap spline and the features along it.
// Everything placed on the track (ground, gates, start slots, robot lines, map, scenery) is
// placed from here.
#pragma once

#include <vector>

// The ground: 2^(e+1) cells of c feet a side.
constexpr int k_rabbithill_size_exponent = 9;
constexpr float k_rabbithill_cell_size = 1.25f; // ft
constexpr float k_rabbithill_extent = 1280.0f;  // ft, 1024 cells of 1.25 ft
constexpr const char* k_rabbithill_folder = "rabbithill";
constexpr const char* k_rabbithill_name = "Rabbit Hill";

enum class feature_kind {
    start_straight,
    berm_turn,
    tabletop,
    double_jump,
    triple_jump,
    whoops,
    rhythm_lane,
    step_up,
    off_camber_turn,
    sand_section,
    finish_jump,
    turn,
};

// One feature of the lap: what it is and where it runs, in feet along the lap.
struct layout_feature {
    feature_kind kind;
    const char* name;
    float s_begin; // ft along the lap
    float s_end;   // ft
};

// A point of the lap's centre line.
struct layout_point {
    float s;            // ft along the lap from the start gate
    float x, z;         // ft
    float dir_x, dir_z; // unit direction of travel
    float half_width;   // ft, half the width of the groove
};

// Where a ground position lies relative to the lap.
struct layout_place {
    float s;        // ft along the lap of the nearest centre-line point
    float offset;   // ft sideways from the centre line, positive to the rider's left
    float distance; // ft from the centre line
};

struct track_layout {
    float length = 0;                 // ft, one lap
    float step = 0;                   // ft between points
    std::vector<layout_point> points; // evenly spaced along the lap, first at s = 0
    std::vector<float> grade;         // ft, smoothed hillside height under each point
    std::vector<layout_feature> features;
    float finish_s = 0; // ft, where the finish line crosses the lap
};

// The layout, built on first use.
const track_layout& rabbithill_layout();

// The centre line at s (taken modulo the lap length), interpolated between points.
layout_point layout_at(const track_layout& layout, float s);
// The first feature covering s, or nullptr.
const layout_feature* layout_feature_at(const track_layout& layout, float s);
// The first feature of a kind, or nullptr.
const layout_feature* layout_find(const track_layout& layout, feature_kind kind);
// Height of the features above the graded ground along the centre line at s.
float layout_profile(const track_layout& layout, float s);
// Height across the groove (berms, off-camber) at s and a sideways offset.
float layout_cross(const track_layout& layout, float s, float offset);
// The graded ground height under the centre line at s.
float layout_grade(const track_layout& layout, float s);
// The hillside the track is cut into, before any grading.
float layout_hillside(float x, float z);
// Nearest point of the lap to a ground position (a brute search; for tests and placing).
layout_place layout_locate(const track_layout& layout, float x, float z);
// The whole height of the track surface at s and offset: grade, features and banking.
float layout_surface_height(const track_layout& layout, float s, float offset);
