// The editor's tile map brush: paints a surface type (scattering its "alt" variants) along the
// stroke and fits the transition tiles around every painted square.
#include "editor/editor_tools_local.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
// The brush acts on a stroke's first tic and then every so many.
constexpr int k_paint_interval = 32; // tics

// A type's four corner types from its blend code; bit k of the mask gives corner k the other
// type (0 (+x, +z), 1 (-x, +z), 2 (+x, -z), 3 (-x, -z)).
void corners_of(int32_t code, int corners[4]) {
    const uint32_t c = static_cast<uint32_t>(code);
    const int base = static_cast<int>(c >> 16 & 0xff), other = static_cast<int>(c >> 8 & 0xff);
    for (int k = 0; k < 4; k++) corners[k] = (c >> k & 1) ? other : base;
}

// The corners of each neighbour (dx, dz) that touch the painted square, by bits.
struct neighbour_fit {
    int dx, dz;
    int corners;
};
constexpr neighbour_fit k_neighbours[] = {
    {-1, -1, 1 << 0},         {0, -1, 1 << 0 | 1 << 1}, {1, -1, 1 << 1},
    {-1, 0, 1 << 0 | 1 << 2}, {1, 0, 1 << 1 | 1 << 3},  {-1, 1, 1 << 2},
    {0, 1, 1 << 2 | 1 << 3},  {1, 1, 1 << 3},
};

// The type painted for T: one of the types sharing T's blend code, at random.
int painted_type(editor_tools_state& tools, const surface_set& set, int tile) {
    const int32_t code = set.types[tile].blend_code;
    int sharing = 0;
    for (int i = 0; i < set.count; i++) sharing += set.types[i].blend_code == code;
    if (sharing < 2) return tile;
    int pick = tools_random_below(tools, sharing);
    for (int i = 0; i < set.count; i++)
        if (set.types[i].blend_code == code && pick-- == 0) return i;
    return tile;
}

// Gives the neighbour the type whose corners meet the painted square's type, when one does.
void fit_neighbour(const surface_set& set, int xc, int zc, const neighbour_fit& fit, int tile) {
    const int n = set.tiles_per_side;
    const int x = xc + fit.dx, z = zc + fit.dz;
    if (x < 0 || z < 0 || x >= n || z >= n) return;
    const uint8_t square = set.tilemap[static_cast<size_t>(z) * n + x];
    int corners[4];
    corners_of(set.types[std::min<int>(square, set.count - 1)].blend_code, corners);
    bool changed = false;
    for (int k = 0; k < 4; k++) {
        if (!(fit.corners >> k & 1) || corners[k] == tile) continue;
        corners[k] = tile;
        changed = true;
    }
    if (!changed) return;
    for (int i = 0; i < set.count; i++) {
        int candidate[4];
        corners_of(set.types[i].blend_code, candidate);
        if (std::equal(candidate, candidate + 4, corners)) {
            ground_set_tile(x, z, i);
            return;
        }
    }
}
} // namespace

bool tilemap_paint(editor_tools_state& tools, const editor_pointer& pointer,
                   const editor_tool_settings& settings) {
    const ground_state& g = ground();
    const surface_set& set = g.surfaces;
    if (pointer.ground_locked || pointer.tic % k_paint_interval != 0) return false;
    if (!set.tilemap || set.count == 0 || settings.tile < 0 || settings.tile >= set.count)
        return false;
    const float c = g.field.cell_size;
    const int n = set.tiles_per_side;
    const float x0 = pointer.prev_x < 0 ? pointer.x : pointer.prev_x;
    const float z0 = pointer.prev_x < 0 ? pointer.z : pointer.prev_z;
    const float r = pointer.radius;
    // Only the squares whose centres can lie within the radius of the segment are visited.
    auto square_range = [&](float a, float b, int* lo, int* hi) {
        *lo = std::max(0, static_cast<int>(std::floor((std::min(a, b) - r) / (2 * c))) - 1);
        *hi = std::min(n - 1, static_cast<int>(std::ceil((std::max(a, b) + r) / (2 * c))) + 1);
    };
    int xlo, xhi, zlo, zhi;
    square_range(x0, pointer.x, &xlo, &xhi);
    square_range(z0, pointer.z, &zlo, &zhi);
    int touched_x0 = n, touched_z0 = n, touched_x1 = -1, touched_z1 = -1;
    for (int zc = zlo; zc <= zhi; zc++)
        for (int xc = xlo; xc <= xhi; xc++) {
            const float cx = (2 * xc + 1) * c, cz = (2 * zc + 1) * c;
            if (segment_distance(cx, cz, x0, z0, pointer.x, pointer.z) > r) continue;
            ground_set_tile(xc, zc, painted_type(tools, set, settings.tile));
            for (const neighbour_fit& fit : k_neighbours)
                fit_neighbour(set, xc, zc, fit, settings.tile);
            touched_x0 = std::min(touched_x0, xc - 1);
            touched_z0 = std::min(touched_z0, zc - 1);
            touched_x1 = std::max(touched_x1, xc + 1);
            touched_z1 = std::max(touched_z1, zc + 1);
        }
    if (touched_x1 < 0) return false;
    // A square covers two height cells a side; its neighbours were fitted too.
    const int last = g.field.samples_per_side - 1;
    ground_mark_dirty(std::clamp(2 * touched_x0, 0, last), std::clamp(2 * touched_z0, 0, last),
                      std::clamp(2 * touched_x1 + 2, 0, last),
                      std::clamp(2 * touched_z1 + 2, 0, last));
    return true;
}

void tilemap_panel(const editor_tool_settings& settings, std::vector<std::string>& lines) {
    const surface_set& set = ground().surfaces;
    if (settings.tile < 0 || settings.tile >= set.count) return;
    lines.emplace_back(set.types[settings.tile].name);
}
