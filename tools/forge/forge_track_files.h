// Track files the generator computes from a finished ground: sun shading, shadows, lighting,
// timing gates and the HUD map; and the steps that write them for the generated tracks.
#pragma once

#include "resources/image.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The one sun every generated track is lit by: a late afternoon sun low in the west-southwest
// (x east, z south), warm direct light over a cool sky-blue fill.
struct forge_sun {
    float vector[3];  // towards the sun, not yet unit length
    float colour[3];  // direct light
    float ambient[3]; // sky fill
};
constexpr forge_sun k_forge_sun = {
    {-0.8f, 0.45f, 0.4f}, {1.0f, 0.94f, 0.8f}, {0.42f, 0.45f, 0.55f}};

// Per-sample shading (r, g, b at half intensity, 128 = 1.0) and shadow (0 lit, 255 shadowed),
// n x n with x fastest, for heights of the same layout.
struct forge_ground_light {
    std::vector<uint8_t> shading;
    std::vector<uint8_t> shadow;
};
forge_ground_light forge_light_ground(const std::vector<float>& heights, int n, float cell_size,
                                      const forge_sun& sun);
// Writes "shadingx2.ppm", "shadows.pgm" (lit = 255) and "lighting" into a track folder.
bool forge_write_ground_light(const std::string& folder, const forge_ground_light& light, int n);
// The "lighting" text of the sun.
std::string forge_lighting_text(const forge_sun& sun);

// The heights of a "terrain.hf" with a binary body, as the game reads them back; empty when
// the bytes are not one.
std::vector<float> forge_read_terrain_hf(const std::string& bytes, int* n, float* cell_size);

// One start-gate slot and one checkpoint, as "timing_gates" lines.
struct forge_slot {
    float x, y, z; // ft; y is the piece's height above the ground
    float heading; // rad; the rider faces (-sin, -cos)
};
struct forge_gate {
    float radius;       // ft
    float x, y, z;      // ft
    float dir_x, dir_z; // along the lap
};
std::string forge_timing_gates_text(const std::vector<forge_slot>& slots,
                                    const std::vector<forge_gate>& gates,
                                    const std::vector<int>& first_lap,
                                    const std::vector<int>& normal_lap);
// The slot heading that faces along (dir_x, dir_z).
float forge_heading_along(float dir_x, float dir_z);

// The HUD's top view of a square field extent ft wide, north up, k_forge_map_side pixels square
// with an alpha channel. paint gives the colour (0-1) and alpha (0-255) of pixel (i, j) from the
// ground position (x, z) of its centre; the colour is then lit by the ground's shading under it
// (n x n samples cell_size apart, as forge_ground_light holds it).
constexpr int k_forge_map_side = 256; // pixels
struct forge_map_paint {
    float colour[3];
    float alpha;
};
image forge_map_picture(
    float extent, int n, float cell_size, const std::vector<uint8_t>& shading,
    const std::function<forge_map_paint(float x, float z, int i, int j)>& paint);

// Where rabbithill's checkpoints stand, in ft along the lap, in gate order.
std::vector<float> forge_rabbithill_gate_places();

// Generator steps: rabbithill's shading, shadows, lighting, timing gates and map; the practice
// track; the start-gate piece's model, texture and collision shape.
bool forge_rabbithill_track_files(const std::string& out);
bool forge_practice_track(const std::string& out);
bool forge_start_gate(const std::string& out);
// Rabbithill's trackside objects: trees, bushes, spectators, banners, tape lines, hay bales, the
// flaggers and the decals, with their pictures and models.
bool forge_rabbithill_objects(const std::string& out);
// Rabbithill's "frills.js" with its scoreboard and flag (after the objects, whose files it adds
// to).
bool forge_rabbithill_frills(const std::string& out);
