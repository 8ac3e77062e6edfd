// The ground of "rabbithill": heights cut from the hillside along the layout, the surface
// types with their grip and rutting, and the tile map of groove, infield and sand.
#include "forge.h"
#include "forge_ground_textures.h"
#include "forge_layout.h"
#include "forge_terrain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {
constexpr float k_shoulder = 16.0f; // ft over which the groove's edge blends into the hillside
constexpr float k_rim =
    4.0f; // ft of plain dirt between a special surface and the grass, more than a tile's diagonal

float smoothstep(float edge0, float edge1, float v) {
    float t = std::clamp((v - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// Grip, rolling resistance, thrown dirt and rutting of one material, as "tileinfo" lines: the
// racing dirt ruts, hard pack barely marks, and grass never ruts. The racing dirt and loam dig
// narrow ruts (a bump a couple of cells wide) and throw the dirt well clear of them, sideways
// more than along the line, since a push along the line only moves dirt from one point of the
// line to the next; their depth tables slow the digging half way down and stop it at the floor.
struct material_params {
    ground_material material;
    const char* lines;
};

constexpr material_params k_params[] = {
    {ground_material::grass,
     "friction 0.85 1\nfriction 0.72 60\nroll_resist 6 14 1\nroll_resist 8 18 60\n"
     "roost count=4 size=0.2 r=86 g=104 b=52 fade_a=-300 slip_threshold=6\n"
     "erode_depth 0\nerode_inner_depth 0\nerode_lower 100000\n"},
    {ground_material::dirt,
     "friction 1.05 1\nfriction 0.95 60\nroll_resist 8 20 1\nroll_resist 10 26 60\n"
     "roost count=8 r=120 g=90 b=62 fade_a=-256\n"
     "erode_depth 2.5\nerode_radius 2.5\nerode_inner_depth 0.25\nerode_inner_radius 1.25\n"
     "erode_displacement 3\nerode_lateral_scale 2\nerode_limit 0 1 1\nerode_limit 0.4 0.5 0.5\n"
     "erode_limit 0.75 0 0\n"},
    {ground_material::loam,
     "friction 1.1 1\nfriction 1.0 60\nroll_resist 12 30 1\nroll_resist 14 36 60\n"
     "roost count=14 size=0.3 r=84 g=60 b=42 fade_a=-200\n"
     "erode_depth 3\nerode_radius 2.5\nerode_inner_depth 0.3\nerode_inner_radius 1.25\n"
     "erode_displacement 3\nerode_lateral_scale 2\nerode_lower 40\nerode_limit 0 1 1\n"
     "erode_limit 0.6 0.5 0.5\nerode_limit 1 0 0\n"},
    {ground_material::sand,
     "friction 0.78 1\nfriction 0.7 60\nroll_resist 30 90 1\nroll_resist 34 100 60\n"
     "roost count=20 size=0.2 grow=6 r=206 g=182 b=130 fade_a=-220\n"
     "erode_depth 2\nerode_radius 3\nerode_lower 30\nerode_limit 0 1 1\nerode_limit 2 0 0\n"},
    {ground_material::hardpack,
     "friction 1.1 1\nfriction 1.02 60\nroll_resist 5 12 1\nroll_resist 6 14 60\n"
     "roost count=3 size=0.15 r=160 g=140 b=110 fade_a=-400\n"
     "erode_depth 0.2\nerode_inner_depth 0.02\nerode_lower 80\nerode_limit 0 1 1\n"
     "erode_limit 0.15 0 0\n"},
};
static_assert(sizeof k_params / sizeof k_params[0] == static_cast<size_t>(ground_material::count));

// One surface type of the track: its texture, and the material whose behaviour it has.
struct forge_surface {
    std::string texture;
    ground_material behaves_as;
};

struct surface_table {
    std::vector<forge_surface> types;
    int plain[static_cast<int>(ground_material::count)][k_ground_variants] = {};
    int blend[static_cast<int>(ground_material::count)][16] = {}; // dirt with another material
};

surface_table make_surface_table() {
    surface_table t;
    constexpr int count = static_cast<int>(ground_material::count);
    for (int m = 0; m < count; m++) {
        auto material = static_cast<ground_material>(m);
        t.plain[m][0] = static_cast<int>(t.types.size());
        t.types.push_back({ground_texture_file(material, 0), material});
        for (int v = 1; v < k_ground_variants; v++) t.plain[m][v] = t.plain[m][0];
    }
    for (ground_material material : {ground_material::dirt, ground_material::grass}) {
        for (int v = 1; v < k_ground_variants; v++) {
            t.plain[static_cast<int>(material)][v] = static_cast<int>(t.types.size());
            t.types.push_back({ground_texture_file(material, v), material});
        }
    }
    for (int m = 0; m < count; m++) {
        auto other = static_cast<ground_material>(m);
        if (other == ground_material::dirt) continue;
        for (int mask = 1; mask < 15; mask++) {
            int corners = __builtin_popcount(static_cast<unsigned>(mask));
            t.blend[m][mask] = static_cast<int>(t.types.size());
            // A tile behaves like the material holding most of its corners (dirt on a tie).
            t.types.push_back({ground_blend_file(ground_material::dirt, other, mask),
                               corners > 2 ? other : ground_material::dirt});
        }
    }
    return t;
}

std::string tileinfo_text(const surface_table& table) {
    std::string text;
    for (const forge_surface& s : table.types) {
        std::string name = s.texture.substr(0, s.texture.size() - 4);
        text += "name " + name + "\ntexture @ground/" + s.texture + "\n";
        text += k_params[static_cast<int>(s.behaves_as)].lines;
        text += "addtile\n";
    }
    return text;
}

// For every sample: where it lies relative to the lap (nearest centre-line point).
struct lap_places {
    int n = 0;
    std::vector<float> s, offset, distance;
};

lap_places locate_samples(const track_layout& layout, int n, float c) {
    lap_places p;
    p.n = n;
    size_t total = static_cast<size_t>(n) * n;
    p.s.assign(total, 0);
    p.offset.assign(total, 0);
    p.distance.assign(total, 1e30f);
    size_t count = layout.points.size();
    // Chords of two layout steps (1 ft) are far shorter than any turn's radius.
    for (size_t k = 0; k < count; k += 2) {
        const layout_point& a = layout.points[k];
        const layout_point& b = layout.points[(k + 2) % count];
        float reach = std::max(a.half_width, b.half_width) + k_shoulder + 2;
        int i0 = std::max(0, static_cast<int>((std::min(a.x, b.x) - reach) / c));
        int i1 = std::min(n - 1, static_cast<int>((std::max(a.x, b.x) + reach) / c) + 1);
        int j0 = std::max(0, static_cast<int>((std::min(a.z, b.z) - reach) / c));
        int j1 = std::min(n - 1, static_cast<int>((std::max(a.z, b.z) + reach) / c) + 1);
        float sx = b.x - a.x, sz = b.z - a.z, length2 = sx * sx + sz * sz;
        float chord = std::sqrt(length2);
        for (int j = j0; j <= j1; j++) {
            for (int i = i0; i <= i1; i++) {
                float x = static_cast<float>(i) * c, z = static_cast<float>(j) * c;
                float t = std::clamp(((x - a.x) * sx + (z - a.z) * sz) / length2, 0.0f, 1.0f);
                float px = a.x + t * sx, pz = a.z + t * sz;
                float d = std::hypot(x - px, z - pz);
                size_t at = static_cast<size_t>(j) * n + i;
                if (d >= p.distance[at]) continue;
                p.distance[at] = d;
                float s = a.s + t * chord;
                p.s[at] = s >= layout.length ? s - layout.length : s;
                // The rider's left is (dir_z, -dir_x).
                p.offset[at] = (x - px) * (sz / chord) - (z - pz) * (sx / chord);
            }
        }
    }
    return p;
}

ground_material material_at(const track_layout& layout, float s, float distance) {
    float half = layout_at(layout, s).half_width;
    if (distance > half) return ground_material::grass;
    if (distance > half - k_rim) return ground_material::dirt;
    if (s < 120 || s > layout.length - 30) return ground_material::hardpack; // the gate area
    const layout_feature* f = layout_feature_at(layout, s);
    if (!f) return ground_material::dirt;
    if (f->kind == feature_kind::sand_section) return ground_material::sand;
    if (f->kind == feature_kind::berm_turn || f->kind == feature_kind::off_camber_turn)
        return ground_material::loam;
    return ground_material::dirt;
}

// The surface type of a tile from its four corner materials.
int tile_type(const surface_table& table, const ground_material corner[4], int xc, int zc) {
    // corner order: (-x,-z), (+x,-z), (-x,+z), (+x,+z), i.e. mask bits 3, 2, 1, 0
    ground_material other = ground_material::dirt;
    int mask = 0;
    bool all_same = true;
    for (int k = 0; k < 4; k++) {
        if (corner[k] != corner[0]) all_same = false;
        if (corner[k] == ground_material::dirt) continue;
        if (other != ground_material::dirt && corner[k] != other) {
            other = ground_material::count; // three materials meet: plain dirt
            break;
        }
        other = corner[k];
        mask |= 1 << (3 - k);
    }
    if (all_same) {
        uint32_t h = static_cast<uint32_t>(xc) * 73856093u ^ static_cast<uint32_t>(zc) * 19349663u;
        h ^= h >> 11;
        int variant = (h % 7) < 5 ? 0 : 1 + static_cast<int>(h % 2);
        return table.plain[static_cast<int>(corner[0])][variant];
    }
    if (other == ground_material::count)
        return table.plain[static_cast<int>(ground_material::dirt)][0];
    return table.blend[static_cast<int>(other)][mask];
}
} // namespace

rabbithill_ground forge_rabbithill_heights() {
    const track_layout& layout = rabbithill_layout();
    rabbithill_ground g;
    g.size_exponent = k_rabbithill_size_exponent;
    g.cell_size = k_rabbithill_cell_size;
    int n = (1 << (g.size_exponent + 1)) + 1;
    g.samples_per_side = n;
    float c = g.cell_size;
    lap_places places = locate_samples(layout, n, c);
    g.heights.resize(static_cast<size_t>(n) * n);
    for (int j = 0; j < n; j++) {
        for (int i = 0; i < n; i++) {
            size_t at = static_cast<size_t>(j) * n + i;
            float x = static_cast<float>(i) * c, z = static_cast<float>(j) * c;
            float h = layout_hillside(x, z);
            float d = places.distance[at];
            if (d < 100) {
                float s = places.s[at];
                float half = layout_at(layout, s).half_width;
                float weight = 1 - smoothstep(half, half + k_shoulder, d);
                if (weight > 0) {
                    float offset = std::clamp(places.offset[at], -half, half);
                    h += weight * (layout_surface_height(layout, s, offset) - h);
                }
            }
            g.heights[at] = h;
        }
    }
    // Tile corners are the even samples.
    int tiles = 1 << g.size_exponent;
    surface_table table = make_surface_table();
    g.tileinfo = tileinfo_text(table);
    g.tilemap.resize(static_cast<size_t>(tiles) * tiles);
    auto corner_material = [&](int i, int j) {
        size_t at = static_cast<size_t>(j) * n + i;
        return material_at(layout, places.s[at], places.distance[at]);
    };
    for (int zc = 0; zc < tiles; zc++) {
        for (int xc = 0; xc < tiles; xc++) {
            ground_material corner[4] = {
                corner_material(2 * xc, 2 * zc), corner_material(2 * xc + 2, 2 * zc),
                corner_material(2 * xc, 2 * zc + 2), corner_material(2 * xc + 2, 2 * zc + 2)};
            g.tilemap[static_cast<size_t>(zc) * tiles + xc] =
                static_cast<uint8_t>(tile_type(table, corner, xc, zc));
        }
    }
    return g;
}

std::string rabbithill_terrain_hf(const rabbithill_ground& g) {
    float lo = *std::min_element(g.heights.begin(), g.heights.end());
    float hi = *std::max_element(g.heights.begin(), g.heights.end());
    char header[128];
    snprintf(header, sizeof header, "%d %f %f %f\n:", g.size_exponent, g.cell_size, lo, hi);
    // The header's numbers are what the game reads back, so quantise against them.
    float lo_read = 0, hi_read = 0;
    sscanf(header, "%*d %*f %f %f", &lo_read, &hi_read);
    std::string bytes = header;
    bytes.reserve(bytes.size() + 2 * g.heights.size());
    float scale = 65535.0f / (hi_read - lo_read);
    for (float h : g.heights) {
        long v = std::lround((h - lo_read) * scale);
        v = std::clamp(v, 0L, 65535L);
        bytes += static_cast<char>(v & 0xFF);
        bytes += static_cast<char>(v >> 8);
    }
    return bytes;
}

bool forge_rabbithill_ground(const std::string& out) {
    std::string folder = out + k_rabbithill_folder + "/";
    rabbithill_ground g = forge_rabbithill_heights();
    std::string map(g.tilemap.begin(), g.tilemap.end());
    return forge_write_file(folder + "terrain.hf", rabbithill_terrain_hf(g)) &&
           forge_write_file(folder + "tileinfo", g.tileinfo) &&
           forge_write_file(folder + "tilemap", map) &&
           forge_write_file(folder + "desc", std::string(k_rabbithill_name) + "\n");
}
