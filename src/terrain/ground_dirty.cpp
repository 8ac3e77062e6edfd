// Changed ground: the blocks of samples the drawing has yet to refresh, reshaded from the track's
// light when the drawing takes them.
#include "terrain/ground_shading.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <vector>

namespace {
constexpr int k_block_shift = 5; // blocks of 32 x 32 samples

struct ground_dirty_state {
    float sun_vector[3] = {0.57735027f, 0.57735027f, 0.57735027f};
    float sun_colour[3] = {1, 1, 1};
    float ambient[3] = {0.5f, 0.5f, 0.5f};
    int samples = 0;              // per side, of the ground the flags below were made for
    int blocks = 0;               // per side
    std::vector<uint8_t> reshade; // per sample: its shading is out of date
    std::vector<uint8_t> dirty;   // per block: it holds changed samples
    int dirty_count = 0;
    int cursor = 0; // the block the next search starts at
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

// The flags fit the loaded ground; a new ground starts with nothing changed.
void fit_ground(int n) {
    ground_dirty_state& d = g_dirty;
    if (d.samples == n) return;
    d.samples = n;
    d.blocks = (n + (1 << k_block_shift) - 1) >> k_block_shift;
    d.reshade.assign(static_cast<size_t>(n) * n, 0);
    d.dirty.assign(static_cast<size_t>(d.blocks) * d.blocks, 0);
    d.dirty_count = 0;
    d.cursor = 0;
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
    fit_ground(n);
    // A changed sample tilts the triangles around it, so its neighbours' shading changes too.
    i0 = std::max(i0 - 1, 0);
    j0 = std::max(j0 - 1, 0);
    i1 = std::min(i1 + 1, n - 1);
    j1 = std::min(j1 + 1, n - 1);
    if (i0 > i1 || j0 > j1) return;
    ground_dirty_state& d = g_dirty;
    for (int j = j0; j <= j1; j++)
        std::fill_n(d.reshade.begin() + static_cast<ptrdiff_t>(j) * n + i0, i1 - i0 + 1, 1);
    for (int bj = j0 >> k_block_shift; bj <= j1 >> k_block_shift; bj++)
        for (int bi = i0 >> k_block_shift; bi <= i1 >> k_block_shift; bi++) {
            uint8_t& flag = d.dirty[static_cast<size_t>(bj) * d.blocks + bi];
            d.dirty_count += !flag;
            flag = 1;
        }
}

bool ground_take_dirty(int* i0, int* j0, int* i1, int* j1) {
    ground_dirty_state& d = g_dirty;
    const int n = ground().field.samples_per_side;
    if (n != d.samples) fit_ground(n);
    if (d.dirty_count == 0) return false;
    const int total = d.blocks * d.blocks;
    int block = d.cursor;
    while (!d.dirty[static_cast<size_t>(block)]) block = (block + 1) % total;
    d.dirty[static_cast<size_t>(block)] = 0;
    d.dirty_count--;
    d.cursor = (block + 1) % total;
    const int bi = block % d.blocks, bj = block / d.blocks;
    *i0 = bi << k_block_shift, *j0 = bj << k_block_shift;
    *i1 = std::min(*i0 + (1 << k_block_shift) - 1, n - 1);
    *j1 = std::min(*j0 + (1 << k_block_shift) - 1, n - 1);
    // Reshading waits for the drawing to ask, so a tic that digs many ruts pays nothing for it.
    ground_shading_state& shading = ground_shading();
    const bool shaded =
        shading.samples_per_side == n && shading.shading.size() == static_cast<size_t>(n) * n * 3;
    for (int j = *j0; j <= *j1; j++)
        for (int i = *i0; i <= *i1; i++) {
            uint8_t& flag = d.reshade[static_cast<size_t>(j) * n + i];
            if (!flag) continue;
            flag = 0;
            if (shaded) reshade_sample(shading, n, i, j);
        }
    return true;
}
