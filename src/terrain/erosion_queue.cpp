// The erosion queue and its drain: each queued point lowers the ground around it, as far as the
// surface's depth table allows against the heights as loaded, and heaps the dirt behind it.
#include "common/message.h"
#include "terrain/erosion.h"
#include "terrain/ground_local.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr int k_no_deadline = -1;
constexpr float k_avoid_distance2 = 100;       // ft², around the local rider's bike
constexpr int k_avoid_tics = 256;              // the longest an entry waits for the rider to pass
constexpr float k_push_floor = 0.125f;         // the weakest push a point carries
constexpr float k_displace_scale = 1.1428572f; // 8/7: pushes of 0.125..1 move the dirt 0..1

struct erosion_state {
    int setting = -1;                 // 1/1024 units
    std::vector<erosion_point> queue; // the ring, allocated with the first entry
    int head = 0;
    int count = 0;
    int deadline = k_no_deadline; // tic until which entries near the rider may wait
    bool full_reported = false;   // "Erode queue full!" is shown once per run
    terrain_edit_fn send = nullptr;
    terrain_edit_fn record = nullptr;
    erosion_totals totals;
};
erosion_state g_erosion;

void enqueue(const erosion_point& p) {
    erosion_state& s = g_erosion;
    if (s.count == k_erosion_queue_size) {
        if (!s.full_reported) show_message("Erode queue full!");
        s.full_reported = true;
        return;
    }
    if (s.queue.empty()) s.queue.resize(k_erosion_queue_size);
    s.queue[(s.head + s.count) % k_erosion_queue_size] = p;
    s.count++;
}

// The first sample of the bump's square along one axis and the square's side, for a radius in
// cells around a position in cells.
struct bump_square {
    int first_i, first_j, side;
    float cx, cz; // the centre, in cells
    float reach;  // radius in cells
};

bump_square square_around(const height_field& f, float x, float z, float radius) {
    bump_square q;
    q.cx = x * f.inverse_cell_size;
    q.cz = z * f.inverse_cell_size;
    q.reach = radius * f.inverse_cell_size;
    const int r = static_cast<int>(std::ceil(q.reach));
    q.first_i = static_cast<int>(std::floor(q.cx)) - r + 1;
    q.first_j = static_cast<int>(std::floor(q.cz)) - r + 1;
    q.side = 2 * r;
    return q;
}

// 1 - 3s² + 2s³ of the distance over the reach, none beyond it.
float bump_weight(const bump_square& q, int i, int j) {
    const float dx = static_cast<float>(i) - q.cx, dz = static_cast<float>(j) - q.cz;
    const float d = std::sqrt(dx * dx + dz * dz);
    if (q.reach <= 0 || d > q.reach) return 0;
    const float s = d / q.reach;
    return 1 - 3 * s * s + 2 * s * s * s;
}

// The depth below the heights as loaded where a surface's depth table stops the digging (both
// bumps scaled to nothing), infinite when it never does.
float dig_floor(const erosion_params& e) {
    for (int k = 0; k < std::clamp(e.limit_count, 0, k_erode_limits); k++)
        if (e.limit_a[k] <= 0 && e.limit_b[k] <= 0) return e.limit_depth[k];
    return INFINITY;
}

// Adds amount × weight / divisor to every sample of the square; the sum of what was written. A
// bump's depth is scaled by the table at its centre, but its edge reaches samples already dug
// deeper (or of another surface): lowering stops at each sample's own floor, so the dirt moved
// is what was really taken.
float raise_square(const bump_square& q, float amount, float divisor) {
    height_field& f = ground_own().field;
    const int n = f.samples_per_side;
    float changed = 0;
    for (int j = q.first_j; j < q.first_j + q.side; j++)
        for (int i = q.first_i; i < q.first_i + q.side; i++) {
            if (i < 0 || j < 0 || i >= n || j >= n) continue;
            const float w = bump_weight(q, i, j);
            if (w <= 0) continue;
            const size_t k = i + static_cast<size_t>(n) * j;
            float& h = f.heights[k];
            const float before = h;
            float target = before + amount * w / divisor;
            if (amount < 0) {
                const float floor =
                    dig_floor(surface_type_get(surface_type_at(static_cast<float>(i) * f.cell_size,
                                                               static_cast<float>(j) * f.cell_size))
                                  .erosion);
                target = std::max(target, std::min(before, f.loaded_heights[k] - floor));
            }
            if (target == before || !ground_set_height(i, j, target)) continue;
            changed += h - before;
        }
    if (q.side > 0)
        ground_mark_dirty(std::max(q.first_i, 0), std::max(q.first_j, 0),
                          std::min(q.first_i + q.side - 1, n - 1),
                          std::min(q.first_j + q.side - 1, n - 1));
    return changed;
}

// Where the depth table puts a rut `depth` deep: the outer and inner bumps' scales.
void depth_limits(const erosion_params& e, float depth, float* a, float* b) {
    const int count = std::clamp(e.limit_count, 0, k_erode_limits);
    if (count == 0) {
        *a = *b = 1;
        return;
    }
    float t = 0;
    if (count >= 2 && depth >= e.limit_depth[0]) {
        t = static_cast<float>(count - 1);
        for (int k = 1; k < count; k++)
            if (e.limit_depth[k] > depth) {
                t = static_cast<float>(k - 1) +
                    (depth - e.limit_depth[k - 1]) / (e.limit_depth[k] - e.limit_depth[k - 1]);
                break;
            }
    }
    const int k0 = std::clamp(static_cast<int>(std::floor(t)), 0, count - 1);
    const int k1 = std::clamp(k0 + 1, 0, count - 1);
    const float u = t - std::floor(t);
    *a = e.limit_a[k0] + u * (e.limit_a[k1] - e.limit_a[k0]);
    *b = e.limit_b[k0] + u * (e.limit_b[k1] - e.limit_b[k0]);
}

// One queued point worked into the ground.
void erode_entry(const erosion_point& p) {
    const height_field& f = ground().field;
    const erosion_params& e = surface_type_get(surface_type_at(p.x, p.z)).erosion;
    const float push = std::sqrt(p.push_x * p.push_x + p.push_z * p.push_z);
    const float displace =
        std::clamp((push - k_push_floor) * k_displace_scale, 0.0f, 1.0f) * e.displacement;
    const float ux = push > 0 ? p.push_x / push : 0, uz = push > 0 ? p.push_z / push : 0;
    const float tx = p.x - displace * ux, tz = p.z - displace * uz;
    const float h0 = field_height_at(f, p.x, p.z), h1 = field_height_at(f, tx, tz);
    const float depth = field_loaded_height_at(f, p.x, p.z) - h0;
    const float dh = h1 - h0;
    // Dirt is not pushed up a steep face nor over a drop.
    if (dh < displace * e.min_slope || dh > displace * e.max_slope) return;
    float g = static_cast<float>(g_erosion.setting) / 1024 / 2048;
    if (dh < 0) g *= (h0 - h1) / displace * e.downhill_scale + 1;
    float a, b;
    depth_limits(e, depth, &a, &b);
    const float outer = static_cast<float>(p.count) * a * g * e.depth;
    const float inner = b * g * e.inner_depth;
    const float r1 = outer != 0 ? erosion_bump(p.x, p.z, e.radius, -outer) : 0;
    const float r2 = inner != 0 ? erosion_bump(p.x, p.z, e.inner_radius, -inner) : 0;
    const float placed = erosion_deposit(tx, tz, e.radius, -(r1 + r2));
    g_erosion.totals.removed -= static_cast<double>(r1) + r2;
    g_erosion.totals.heaped += placed;
    g_erosion.totals.entries++;
}
} // namespace

float erosion_bump(float x, float z, float radius, float amount) {
    if (amount == 0 || !ground().field.heights) return 0;
    return raise_square(square_around(ground().field, x, z, radius), amount, 1);
}

float erosion_deposit(float x, float z, float radius, float amount) {
    if (amount == 0 || !ground().field.heights) return 0;
    const bump_square q = square_around(ground().field, x, z, radius);
    float total = 0;
    for (int j = q.first_j; j < q.first_j + q.side; j++)
        for (int i = q.first_i; i < q.first_i + q.side; i++) total += bump_weight(q, i, j);
    return raise_square(q, amount, std::max(total, 1.0f));
}

void erosion_set_setting(int value) { g_erosion.setting = value; }
int erosion_setting() { return g_erosion.setting; }

void terrain_edit_set_sender(terrain_edit_fn send) { g_erosion.send = send; }
void terrain_edit_set_recorder(terrain_edit_fn record) { g_erosion.record = record; }

void terrain_edit_submit(const uint8_t* bytes, int length) {
    if (g_erosion.send) {
        g_erosion.send(bytes, length);
        return;
    }
    terrain_edit_apply(bytes, length);
    if (g_erosion.record) g_erosion.record(bytes, length);
}

void terrain_edit_apply(const uint8_t* bytes, int length) {
    const height_field& f = ground().field;
    if (!f.heights) return;
    erosion_point points[k_erosion_path_points];
    const int count = terrain_edit_decode(bytes, length, f.extent, points);
    for (int k = 0; k < count; k++) enqueue(points[k]);
}

void erosion_drain(int tic, const float* avoid) {
    erosion_state& s = g_erosion;
    if (s.setting <= 0 || !ground().field.heights) return;
    if (s.deadline != k_no_deadline && s.deadline <= tic) {
        avoid = nullptr;
        s.deadline = k_no_deadline;
    }
    // Writes are made here for every client alike; a connected race's lock keeps out the rest.
    ground_state& g = ground_own();
    const bool locked = g.locked;
    g.locked = false;
    for (int budget = s.count / 64 + 32; budget > 0 && s.count > 0; budget--) {
        const erosion_point& p = s.queue[s.head];
        if (avoid) {
            const float dx = p.x - avoid[0], dz = p.z - avoid[1];
            if (dx * dx + dz * dz < k_avoid_distance2) {
                if (s.deadline == k_no_deadline) s.deadline = tic + k_avoid_tics;
                break;
            }
        }
        const erosion_point entry = p;
        s.head = (s.head + 1) % k_erosion_queue_size;
        s.count--;
        erode_entry(entry);
        s.deadline = k_no_deadline;
    }
    g.locked = locked;
}

int erosion_queue_count() { return g_erosion.count; }

void erosion_settle() {
    if (g_erosion.setting <= 0) return;
    for (int tic = 0; g_erosion.count > 0; tic++) erosion_drain(tic, nullptr);
}

void erosion_reset() {
    erosion_state& s = g_erosion;
    s.setting = -1;
    s.head = s.count = 0;
    s.deadline = k_no_deadline;
    s.totals = erosion_totals{};
}

const erosion_totals& erosion_moved() { return g_erosion.totals; }
