// Changed ground: the rectangle the drawing has yet to refresh, and its samples reshaded from the
// track's light when the drawing takes it.
#include "terrain/ground_shading.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <vector>

namespace {
struct ground_dirty_state {
    float sun_vector[3] = {0.57735027f, 0.57735027f, 0.57735027f};
    float sun_colour[3] = {1, 1, 1};
    float ambient[3] = {0.5f, 0.5f, 0.5f};
    int i0 = 0, j0 = 0, i1 = -1, j1 = -1; // empty when i0 > i1
    std::vector<uint8_t> reshade;         // per sample: its shading is out of date
};
ground_dirty_state g_dirty;

void reshade_sample(ground_shading_state& shading, int n, int i, int j) {
    const ground_dirty_state& d = g_dirty;
    const terrain_vec3 normal = vertex_normal_at(i, j);
    const float* sun = d.sun_vector;
    const float lit =
        std::clamp(sun[0] * normal.x + sun[1] * normal.y + sun[2] * normal.z, 0.0f, 1.0f);
    const size_t at = static_cast<size_t>(j) * n + i;
    const float shadow = shading.shadow.size() > at ? shading.shadow[at] : 0;
    const float u = lit * (1 - shadow / 255);
    for (int c = 0; c < 3; c++) {
        const float v = (d.sun_colour[c] * u + d.ambient[c]) * 0.5f * 255;
        shading.shading[at * 3 + c] = static_cast<uint8_t>(std::clamp(static_cast<int>(v), 0, 255));
    }
}
} // namespace

void ground_set_light(const float sun_vector[3], const float sun_colour[3],
                      const float ambient[3]) {
    std::copy(sun_vector, sun_vector + 3, g_dirty.sun_vector);
    std::copy(sun_colour, sun_colour + 3, g_dirty.sun_colour);
    std::copy(ambient, ambient + 3, g_dirty.ambient);
}

void ground_mark_dirty(int i0, int j0, int i1, int j1) {
    const int n = ground().field.samples_per_side;
    if (n <= 0 || i0 > i1 || j0 > j1) return;
    // A changed sample tilts the triangles around it, so its neighbours' shading changes too.
    i0 = std::max(i0 - 1, 0);
    j0 = std::max(j0 - 1, 0);
    i1 = std::min(i1 + 1, n - 1);
    j1 = std::min(j1 + 1, n - 1);
    ground_dirty_state& d = g_dirty;
    if (d.reshade.size() != static_cast<size_t>(n) * n)
        d.reshade.assign(static_cast<size_t>(n) * n, 0);
    for (int j = j0; j <= j1; j++)
        std::fill_n(d.reshade.begin() + static_cast<ptrdiff_t>(j) * n + i0, i1 - i0 + 1, 1);
    if (d.i0 > d.i1) {
        d.i0 = i0, d.j0 = j0, d.i1 = i1, d.j1 = j1;
    } else {
        d.i0 = std::min(d.i0, i0), d.j0 = std::min(d.j0, j0);
        d.i1 = std::max(d.i1, i1), d.j1 = std::max(d.j1, j1);
    }
}

bool ground_take_dirty(int* i0, int* j0, int* i1, int* j1) {
    ground_dirty_state& d = g_dirty;
    if (d.i0 > d.i1) return false;
    // Reshading waits for the drawing to ask, so a tic that digs many ruts pays nothing for it.
    const int n = ground().field.samples_per_side;
    ground_shading_state& shading = ground_shading();
    const bool shaded = shading.samples_per_side == n &&
                        shading.shading.size() == static_cast<size_t>(n) * n * 3 &&
                        d.reshade.size() == static_cast<size_t>(n) * n;
    for (int j = d.j0; j <= d.j1 && d.reshade.size() == static_cast<size_t>(n) * n; j++)
        for (int i = d.i0; i <= d.i1; i++) {
            uint8_t& flag = d.reshade[static_cast<size_t>(j) * n + i];
            if (!flag) continue;
            flag = 0;
            if (shaded) reshade_sample(shading, n, i, j);
        }
    *i0 = d.i0, *j0 = d.j0, *i1 = d.i1, *j1 = d.j1;
    d.i0 = d.j0 = 0;
    d.i1 = d.j1 = -1;
    return true;
}
