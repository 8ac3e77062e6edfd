// Rabbithill's files placed from its layout: shading and shadows of its ground, the start gate,
// the checkpoints with both lap lists, the trackside cameras, and the HUD's top view of the track.
#include "forge.h"
#include "forge_layout.h"
#include "forge_resources.h"
#include "forge_track_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr int k_slots_per_row = 20;
constexpr int k_slot_rows = 2;
constexpr float k_slot_spacing = 3.2f;      // ft between neighbouring slots of a row
constexpr float k_front_row_s = 40.0f;      // ft along the lap of the front row's slot points
constexpr float k_row_spacing = 12.0f;      // ft between rows
constexpr float k_first_gate_s = 60.0f;     // ft, the first checkpoint after the start gate
constexpr float k_gate_margin = 6.0f;       // ft a gate reaches past the groove's edge
constexpr float k_straight_spacing = 60.0f; // ft between gates where the lap runs straight
constexpr float k_turn_spacing = 30.0f;     // ft between gates where it turns
constexpr float k_turning = 0.35f;          // rad of heading change over a straight spacing
constexpr float k_least_spacing = 12.0f;    // ft; a forced gate this close replaces a filler

float heading_change(const track_layout& layout, float s, float ahead) {
    layout_point a = layout_at(layout, s), b = layout_at(layout, s + ahead);
    float dot = std::clamp(a.dir_x * b.dir_x + a.dir_z * b.dir_z, -1.0f, 1.0f);
    return std::acos(dot);
}

// Where the checkpoints stand, in riding order from the first one after the start gate: every
// feature's beginning and end, the finish line, and fillers close enough that a rider cannot
// leave the groove between two of them without missing one, closer still in the turns.
std::vector<float> gate_places(const track_layout& layout) {
    float end = k_first_gate_s + layout.length;
    std::vector<float> forced = {layout.finish_s};
    for (const layout_feature& f : layout.features)
        for (float s : {f.s_begin, f.s_end})
            forced.push_back(s < k_first_gate_s ? s + layout.length : s);
    std::sort(forced.begin(), forced.end());
    std::vector<float> places = {k_first_gate_s};
    size_t next_forced = 0;
    for (;;) {
        float s = places.back();
        while (next_forced < forced.size() && forced[next_forced] <= s + k_least_spacing / 2)
            next_forced++;
        bool turning = heading_change(layout, s, k_straight_spacing) > k_turning;
        float filler = s + (turning ? k_turn_spacing : k_straight_spacing);
        float target = filler;
        if (next_forced < forced.size() && forced[next_forced] < filler + k_least_spacing)
            target = forced[next_forced];
        if (target >= end - k_least_spacing) break;
        places.push_back(target);
    }
    return places;
}

std::vector<forge_gate> make_gates(const track_layout& layout, const std::vector<float>& places) {
    std::vector<forge_gate> gates;
    for (float s : places) {
        layout_point p = layout_at(layout, s);
        gates.push_back({p.half_width + k_gate_margin, p.x, layout_surface_height(layout, s, 0),
                         p.z, p.dir_x, p.dir_z});
    }
    return gates;
}

std::vector<forge_slot> make_slots(const track_layout& layout) {
    std::vector<forge_slot> slots;
    for (int row = 0; row < k_slot_rows; row++) {
        layout_point p = layout_at(layout, k_front_row_s - static_cast<float>(row) * k_row_spacing);
        float heading = forge_heading_along(p.dir_x, p.dir_z);
        for (int k = 0; k < k_slots_per_row; k++) {
            // Offsets to the rider's left, (dir_z, -dir_x), centred on the centre line; the
            // second row sits in the gaps of the first.
            float offset = (static_cast<float>(k) - (k_slots_per_row - 1) / 2.0f) * k_slot_spacing +
                           static_cast<float>(row) * k_slot_spacing / 2;
            slots.push_back({p.x + offset * p.dir_z, 0, p.z - offset * p.dir_x, heading});
        }
    }
    return slots;
}

std::string timing_text(const track_layout& layout) {
    std::vector<float> places = gate_places(layout);
    std::vector<int> first, normal;
    int count = static_cast<int>(places.size());
    int finish = 0;
    for (int k = 0; k < count; k++)
        if (std::fabs(places[k] - layout.finish_s) < 0.01f) finish = k;
    for (int k = 0; k <= finish; k++) first.push_back(k);
    for (int k = finish + 1; k < count; k++) normal.push_back(k);
    for (int k = 0; k <= finish; k++) normal.push_back(k);
    return forge_timing_gates_text(make_slots(layout), make_gates(layout, places), first, normal);
}

// Trackside cameras: one beside each stretch of the lap, 40 ft out from its middle and 12 ft up,
// looking after the riders between its gates and zooming to keep them a few feet across.
std::string cameras_text(const track_layout& layout) {
    constexpr int k_cameras = 8;
    constexpr float k_side = 40, k_height = 12; // ft
    const std::vector<float> places = gate_places(layout);
    const int gates = static_cast<int>(places.size());
    std::string text;
    char line[96];
    for (int c = 0; c < k_cameras; c++) {
        const int first = c * gates / k_cameras, last = (c + 1) * gates / k_cameras;
        if (first >= last) continue;
        text += "gate";
        for (int g = first; g < last; g++) text += " " + std::to_string(g);
        text += "\nfov 60\nautofovsize 14\n";
        // Alternate sides of the groove, so no camera looks into the sun for long.
        layout_point p = layout_at(layout, (places[first] + places[last - 1]) / 2);
        const float side = c % 2 ? k_side : -k_side;
        snprintf(line, sizeof line, "addcamera %.2f %.2f %.2f\n", p.x + p.dir_z * side, k_height,
                 p.z - p.dir_x * side);
        text += line;
    }
    return text;
}

// The top view: the whole field, north up, the groove opaque over the shaded hillside, which
// fades out away from the track.
image track_map(const track_layout& layout, int n, float c, const std::vector<uint8_t>& shading) {
    constexpr int k_side = k_forge_map_side;
    constexpr float k_fade = 50.0f; // ft beyond the groove where the hillside fades out
    float extent = static_cast<float>(n - 1) * c;
    float per_pixel = extent / k_side;                                      // ft
    std::vector<float> beyond(static_cast<size_t>(k_side) * k_side, 1e30f); // ft past the edge
    for (size_t k = 0; k < layout.points.size(); k += 4) {
        const layout_point& p = layout.points[k];
        float reach = p.half_width + k_fade;
        int i0 = std::max(0, static_cast<int>((p.x - reach) / per_pixel));
        int i1 = std::min(k_side - 1, static_cast<int>((p.x + reach) / per_pixel));
        int j0 = std::max(0, static_cast<int>((p.z - reach) / per_pixel));
        int j1 = std::min(k_side - 1, static_cast<int>((p.z + reach) / per_pixel));
        for (int j = j0; j <= j1; j++)
            for (int i = i0; i <= i1; i++) {
                float x = (static_cast<float>(i) + 0.5f) * per_pixel;
                float z = (static_cast<float>(j) + 0.5f) * per_pixel;
                float d = std::hypot(x - p.x, z - p.z) - p.half_width;
                float& b = beyond[static_cast<size_t>(j) * k_side + i];
                b = std::min(b, d);
            }
    }
    return forge_map_picture(extent, n, c, shading, [&](float, float, int i, int j) {
        float d = beyond[static_cast<size_t>(j) * k_side + i];
        if (d <= 0) return forge_map_paint{{0.78f, 0.62f, 0.42f}, 255};            // groove
        if (d <= 2 * per_pixel) return forge_map_paint{{0.25f, 0.18f, 0.1f}, 255}; // its edge
        float alpha = 0.7f * std::clamp(1 - d / k_fade, 0.0f, 1.0f);
        return forge_map_paint{{0.36f, 0.52f, 0.26f}, alpha * 255}; // hillside
    });
}
} // namespace

std::vector<float> forge_rabbithill_gate_places() { return gate_places(rabbithill_layout()); }

image forge_map_picture(
    float extent, int n, float cell_size, const std::vector<uint8_t>& shading,
    const std::function<forge_map_paint(float x, float z, int i, int j)>& paint) {
    constexpr int k_side = k_forge_map_side;
    const float per_pixel = extent / k_side; // ft
    image im;
    image_allocate(&im, k_side, k_side, 4);
    for (int j = 0; j < k_side; j++)
        for (int i = 0; i < k_side; i++) {
            float x = (static_cast<float>(i) + 0.5f) * per_pixel;
            float z = (static_cast<float>(j) + 0.5f) * per_pixel;
            forge_map_paint p = paint(x, z, i, j);
            int si = std::min(n - 1, static_cast<int>(x / cell_size));
            int sj = std::min(n - 1, static_cast<int>(z / cell_size));
            float light =
                static_cast<float>(shading[(static_cast<size_t>(sj) * n + si) * 3 + 1]) / 128;
            uint8_t* px = &im.pixels[(static_cast<size_t>(j) * k_side + i) * 4];
            for (int k = 0; k < 3; k++)
                px[k] = static_cast<uint8_t>(std::clamp(p.colour[k] * light * 255, 0.0f, 255.0f));
            px[3] = static_cast<uint8_t>(std::lround(p.alpha));
        }
    return im;
}

bool forge_rabbithill_track_files(const std::string& out) {
    std::string folder = out + k_rabbithill_folder + "/";
    // The heights exactly as the game reads them back from the ground step's file.
    FILE* f = fopen((folder + "terrain.hf").c_str(), "rb");
    if (!f) {
        fprintf(stderr, "forge: rabbithill has no terrain.hf yet\n");
        return false;
    }
    std::string bytes;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, got);
    fclose(f);
    int n = 0;
    float c = 0;
    std::vector<float> heights = forge_read_terrain_hf(bytes, &n, &c);
    if (heights.empty()) {
        fprintf(stderr, "forge: rabbithill's terrain.hf is not readable\n");
        return false;
    }
    const track_layout& layout = rabbithill_layout();
    forge_ground_light light = forge_light_ground(heights, n, c, k_forge_sun);
    return forge_write_ground_light(folder, light, n) &&
           forge_write_file(folder + "timing_gates", timing_text(layout)) &&
           forge_write_file(folder + "cameras", cameras_text(layout)) &&
           forge_write_png(folder + "map.png", track_map(layout, n, c, light.shading));
}
