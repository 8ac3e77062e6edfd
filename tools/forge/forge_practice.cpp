// The practice track: a flat field of packed dirt with a straight of jumps of known shape, a
// circle of checkpoints and a 40-slot start gate.
#include "common/common.h"
#include "forge.h"
#include "forge_ground_textures.h"
#include "forge_practice.h"
#include "forge_resources.h"
#include "forge_terrain.h"
#include "forge_track_files.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {
constexpr int k_slots_per_row = 20;
constexpr float k_slot_spacing = 3.0f; // ft
constexpr float k_row_spacing = 12.0f; // ft

// One surface: packed dirt, firm and grippy, throwing little roost and barely rutting.
std::string tileinfo_text() {
    std::string texture = ground_texture_file(ground_material::hardpack, 0);
    return "name packed-dirt\ntexture @ground/" + texture +
           "\nfriction 1.1 1\nfriction 1.02 60\nroll_resist 5 12 1\nroll_resist 6 14 60\n"
           "roost count=3 size=0.15 r=160 g=140 b=110 fade_a=-400\n"
           "erode_depth 0.2\nerode_inner_depth 0.02\nerode_lower 80\nerode_limit 0 1 1\n"
           "erode_limit 0.15 0 0\naddtile\n";
}

std::string timing_text() {
    std::vector<forge_slot> slots;
    float heading = forge_heading_along(1, 0);
    for (int row = 0; row < 2; row++)
        for (int k = 0; k < k_slots_per_row; k++) {
            float z = k_practice_start_z +
                      (static_cast<float>(k) - (k_slots_per_row - 1) / 2.0f) * k_slot_spacing;
            slots.push_back(
                {k_practice_start_x - static_cast<float>(row) * k_row_spacing, 0, z, heading});
        }
    std::vector<forge_gate> gates;
    for (int k = 0; k < k_practice_gate_count; k++) {
        float a = 2 * k_pi_f * static_cast<float>(k) / k_practice_gate_count;
        float x = k_practice_circle_x + k_practice_circle_radius * std::sin(a);
        float z = k_practice_circle_z - k_practice_circle_radius * std::cos(a);
        gates.push_back(
            {k_practice_gate_radius, x, practice_height(x, z), z, std::cos(a), std::sin(a)});
    }
    // Gate 0 is the finish line: the first lap rides from the start gate to it and around once.
    std::vector<int> first = {0}, normal;
    for (int k = 1; k <= k_practice_gate_count; k++) {
        first.push_back(k % k_practice_gate_count);
        normal.push_back(k % k_practice_gate_count);
    }
    return forge_timing_gates_text(slots, gates, first, normal);
}

// The top view for the HUD: the whole field faintly, the straight and the ring of the gates
// opaque, north up.
image practice_map(const std::vector<uint8_t>& shading, int n) {
    constexpr float k_ring_half = 12.0f; // ft either side of the circle
    return forge_map_picture(
        k_practice_extent, n, k_practice_cell_size, shading, [](float x, float z, int, int) {
            bool straight = x >= k_practice_straight_begin && x <= k_practice_straight_end &&
                            std::fabs(z - k_practice_straight_z) <= k_practice_straight_half;
            float ring = std::fabs(std::hypot(x - k_practice_circle_x, z - k_practice_circle_z) -
                                   k_practice_circle_radius);
            if (straight || ring <= k_ring_half) return forge_map_paint{{0.78f, 0.64f, 0.45f}, 255};
            return forge_map_paint{{0.6f, 0.52f, 0.4f}, 90}; // the field
        });
}
} // namespace

bool forge_practice_track(const std::string& out) {
    std::string folder = out + k_practice_folder + "/";
    rabbithill_ground g;
    g.size_exponent = k_practice_size_exponent;
    g.cell_size = k_practice_cell_size;
    int n = k_practice_samples;
    g.samples_per_side = n;
    g.heights.resize(static_cast<size_t>(n) * n);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            g.heights[static_cast<size_t>(j) * n + i] = practice_height(
                static_cast<float>(i) * g.cell_size, static_cast<float>(j) * g.cell_size);
    int tiles = 1 << g.size_exponent;
    std::string tilemap(static_cast<size_t>(tiles) * tiles, '\0');
    forge_ground_light light = forge_light_ground(g.heights, n, g.cell_size, k_forge_sun);
    return forge_write_file(folder + "terrain.hf", rabbithill_terrain_hf(g)) &&
           forge_write_file(folder + "tileinfo", tileinfo_text()) &&
           forge_write_file(folder + "tilemap", tilemap) &&
           forge_write_file(folder + "desc", std::string(k_practice_name) + "\n") &&
           forge_write_ground_light(folder, light, n) &&
           forge_write_file(folder + "timing_gates", timing_text()) &&
           forge_write_png(folder + "map.png", practice_map(light.shading, n));
}
