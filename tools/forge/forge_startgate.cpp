// The start gate's hinged piece: a grated steel panel on a hinge bar ("startgate.jm"), its
// texture ("startgate.ppm") and the spheres riders collide with ("startgate.shp").
#include "forge.h"
#include "forge_resources.h"
#include "forge_shapes.h"
#include "forge_track_files.h"

#include "bike/bike_data.h"
#include "resources/image.h"

#include <algorithm>
#include <cmath>

namespace {
// The piece stands at its origin across the slot: x across, y up, the rider behind it at +z.
constexpr float k_panel_width = 2.0f;  // ft
constexpr float k_panel_bottom = 0.2f; // ft, top of the hinge bar
constexpr float k_panel_height = 1.5f; // ft
constexpr float k_bar = 0.12f;         // ft, thickness of the frame bars
constexpr int k_texture_side = 64;     // pixels

// Regions of the texture: the painted frame on the left half, bare steel on the right.
struct swatch {
    float u0, v0, u1, v1;
};
constexpr swatch k_paint = {0.02f, 0.02f, 0.48f, 0.98f};
constexpr swatch k_steel = {0.52f, 0.02f, 0.98f, 0.98f};

void add_box(model_part& into, float x, float y, float z, float w, float h, float d,
             const swatch& s) {
    const float centre[3] = {x, y, z};
    const float size[3] = {w, h, d};
    const float white[4] = {1, 1, 1, 1};
    model_part b = forge_box_part(centre, size, white, 40);
    for (int v = 0; v < b.vertex_count; v++) {
        float& u = b.uvs[2 * v];
        float& t = b.uvs[2 * v + 1];
        u = s.u0 + u * (s.u1 - s.u0);
        t = s.v0 + t * (s.v1 - s.v0);
    }
    for (int& index : b.triangles) index += into.vertex_count;
    into.positions.insert(into.positions.end(), b.positions.begin(), b.positions.end());
    into.normals.insert(into.normals.end(), b.normals.begin(), b.normals.end());
    into.uvs.insert(into.uvs.end(), b.uvs.begin(), b.uvs.end());
    into.triangles.insert(into.triangles.end(), b.triangles.begin(), b.triangles.end());
    into.vertex_count += b.vertex_count;
    into.triangle_count += b.triangle_count;
}

model_mesh gate_model() {
    model_part part;
    part.shininess = 40;
    float half = k_panel_width / 2, top = k_panel_bottom + k_panel_height;
    float mid = k_panel_bottom + k_panel_height / 2;
    // The hinge bar runs a little past the panel on both sides, with two knuckles.
    add_box(part, 0, 0.1f, 0, k_panel_width + 0.4f, 0.14f, 0.14f, k_steel);
    for (float x : {-half + 0.2f, half - 0.2f})
        add_box(part, x, 0.1f, 0, 0.25f, 0.22f, 0.22f, k_steel);
    // The frame: two uprights and a top rail, painted.
    for (float x : {-half + k_bar / 2, half - k_bar / 2})
        add_box(part, x, mid, 0, k_bar, k_panel_height, k_bar, k_paint);
    add_box(part, 0, top - k_bar / 2, 0, k_panel_width, k_bar, k_bar, k_paint);
    add_box(part, 0, k_panel_bottom + k_bar / 2, 0, k_panel_width, k_bar, k_bar, k_paint);
    // The grate: thin bars, upright and across.
    for (int k = 1; k < 6; k++) {
        float x = -half + k_panel_width * static_cast<float>(k) / 6;
        add_box(part, x, mid, 0, 0.04f, k_panel_height - k_bar, 0.04f, k_steel);
    }
    for (int k = 1; k < 4; k++) {
        float y = k_panel_bottom + k_panel_height * static_cast<float>(k) / 4;
        add_box(part, 0, y, 0, k_panel_width - k_bar, 0.04f, 0.04f, k_steel);
    }
    model_mesh mesh;
    mesh.parts.push_back(part);
    return mesh;
}

image gate_texture() {
    image im;
    image_allocate(&im, k_texture_side, k_texture_side, 3);
    for (int y = 0; y < k_texture_side; y++)
        for (int x = 0; x < k_texture_side; x++) {
            uint8_t* p = &im.pixels[(static_cast<size_t>(y) * k_texture_side + x) * 3];
            // Left: chipped yellow paint in diagonal bands; right: brushed galvanised steel.
            uint32_t noise =
                static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
            noise = (noise ^ (noise >> 13)) * 1274126177u;
            int grain = static_cast<int>((noise >> 24) % 24) - 12;
            int r, g, b;
            if (x < k_texture_side / 2) {
                bool band = ((x + y) / 8) % 2 == 0;
                r = band ? 235 : 40, g = band ? 190 : 40, b = band ? 30 : 44;
            } else {
                int streak = static_cast<int>(12 * std::sin(static_cast<float>(y) * 0.7f));
                r = 150 + streak, g = 156 + streak, b = 162 + streak;
            }
            p[0] = static_cast<uint8_t>(std::clamp(r + grain, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(g + grain, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp(b + grain, 0, 255));
        }
    return im;
}

// Spheres over the panel's face in three rows, so a bike pushed into the gate meets steel
// anywhere across it; steel is slippery and very stiff.
shape gate_shape() {
    return forge_sphere_grid({-0.75f, -0.25f, 0.25f, 0.75f}, {0.45f, 0.95f, 1.45f}, {0}, 0.27f,
                             0.35f, 8000, 150);
}
} // namespace

bool forge_start_gate(const std::string& out) {
    return forge_write_model(out + "startgate.jm", gate_model()) &&
           forge_write_file(out + "startgate.ppm", image_encode_ppm(gate_texture())) &&
           forge_write_file(out + "startgate.shp", shape_format(gate_shape()));
}
