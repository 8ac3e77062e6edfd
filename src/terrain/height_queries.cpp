// Height, normal and triangle queries over the checkerboard triangulation of the height field.
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
// Far beyond any field, but small enough that the cell index fits an int (NaN lands here too).
constexpr float k_max_cell_index = 16777216.0f;

struct cell_position {
    int i, j;   // cell, unclamped
    float u, v; // fraction inside the cell
};

// Keeps a cell coordinate where an int holds it; written so that NaN lands at the low end.
inline float bound_cell(float f) {
    f = f > -k_max_cell_index ? f : -k_max_cell_index;
    return f < k_max_cell_index ? f : k_max_cell_index;
}

inline cell_position locate(const height_field& field, float x, float z) {
    float fx = bound_cell(x * field.inverse_cell_size);
    float fz = bound_cell(z * field.inverse_cell_size);
    int i = static_cast<int>(fx);
    if (static_cast<float>(i) > fx) i--;
    int j = static_cast<int>(fz);
    if (static_cast<float>(j) > fz) j--;
    return {i, j, fx - static_cast<float>(i), fz - static_cast<float>(j)};
}

inline int clamp_index(int k, int n) { return k < 0 ? 0 : (k >= n ? n - 1 : k); }

inline float sample(const float* heights, int n, int i, int j) {
    return heights[clamp_index(i, n) + n * clamp_index(j, n)];
}

// The triangle under a position: its base corner P0 and the corners P1 and P2 along which the
// x and z fractions run, as grid offsets from the cell, and the weights of those fractions.
struct triangle_choice {
    int p0x, p0z, p1x, p1z, p2x, p2z;
    float a, b; // fraction towards P1, towards P2
};

inline triangle_choice choose(const cell_position& p) {
    if ((p.i + p.j) & 1) {
        if (p.u + p.v <= 1.0f) return {0, 0, 1, 0, 0, 1, p.u, p.v};
        return {1, 1, 0, 1, 1, 0, 1.0f - p.u, 1.0f - p.v};
    }
    if (p.v <= p.u) return {1, 0, 0, 0, 1, 1, 1.0f - p.u, p.v};
    return {0, 1, 1, 1, 0, 0, p.u, 1.0f - p.v};
}

inline float interpolate(const float* heights, int n, float x, float z, const height_field& f) {
    cell_position p = locate(f, x, z);
    triangle_choice t = choose(p);
    float h0, h1, h2;
    if (static_cast<unsigned>(p.i) < static_cast<unsigned>(n - 1) &&
        static_cast<unsigned>(p.j) < static_cast<unsigned>(n - 1)) {
        // Inside the grid no corner needs clamping.
        const float* cell = heights + p.i + n * p.j;
        h0 = cell[t.p0x + n * t.p0z];
        h1 = cell[t.p1x + n * t.p1z];
        h2 = cell[t.p2x + n * t.p2z];
    } else {
        h0 = sample(heights, n, p.i + t.p0x, p.j + t.p0z);
        h1 = sample(heights, n, p.i + t.p1x, p.j + t.p1z);
        h2 = sample(heights, n, p.i + t.p2x, p.j + t.p2z);
    }
    return h0 + t.a * (h1 - h0) + t.b * (h2 - h0);
}

inline vec3 corner(const height_field& f, int i, int j) {
    return {static_cast<float>(i) * f.cell_size, sample(f.heights, f.samples_per_side, i, j),
            static_cast<float>(j) * f.cell_size};
}

inline vec3 cross_up(vec3 p0, vec3 p1, vec3 p2) {
    vec3 a{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
    vec3 b{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
    vec3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    if (n.y < 0) n = {-n.x, -n.y, -n.z};
    return n;
}

// The three corners (grid indices) of triangle `which` of cell (i, j), in the cache's order.
inline void triangle_corners(int i, int j, int which, int ci[3], int cj[3]) {
    bool even = ((i + j) & 1) == 0;
    if (even && which == 0) {
        ci[0] = i, cj[0] = j, ci[1] = i + 1, cj[1] = j, ci[2] = i + 1, cj[2] = j + 1;
    } else if (even) {
        ci[0] = i, cj[0] = j, ci[1] = i, cj[1] = j + 1, ci[2] = i + 1, cj[2] = j + 1;
    } else if (which == 0) {
        ci[0] = i, cj[0] = j, ci[1] = i + 1, cj[1] = j, ci[2] = i, cj[2] = j + 1;
    } else {
        ci[0] = i + 1, cj[0] = j, ci[1] = i + 1, cj[1] = j + 1, ci[2] = i, cj[2] = j + 1;
    }
}

inline vec3 normalised(vec3 v) {
    float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length <= 0) return {0, 1, 0};
    float r = 1.0f / length;
    return {v.x * r, v.y * r, v.z * r};
}

// The cached unit normal of triangle `which` of cell (i, j), recomputed when dirty.
const vec3& cached_normal(height_field& f, int i, int j, int which) {
    int index = field_triangle_index(f, i, j, which);
    if (f.normal_dirty[index]) {
        int ci[3], cj[3];
        triangle_corners(i, j, which, ci, cj);
        f.triangle_normals[index] = normalised(
            cross_up(corner(f, ci[0], cj[0]), corner(f, ci[1], cj[1]), corner(f, ci[2], cj[2])));
        f.normal_dirty[index] = 0;
    }
    return f.triangle_normals[index];
}
} // namespace

float field_height_at(const height_field& field, float x, float z) {
    return interpolate(field.heights, field.samples_per_side, x, z, field);
}

float field_loaded_height_at(const height_field& field, float x, float z) {
    return interpolate(field.loaded_heights, field.samples_per_side, x, z, field);
}

vec3 field_normal_at(const height_field& field, float x, float z) {
    cell_position p = locate(field, x, z);
    triangle_choice t = choose(p);
    return cross_up(corner(field, p.i + t.p0x, p.j + t.p0z),
                    corner(field, p.i + t.p1x, p.j + t.p1z),
                    corner(field, p.i + t.p2x, p.j + t.p2z));
}

vec3 field_vertex_normal_at(height_field& field, int i, int j) {
    int n = field.samples_per_side;
    i = clamp_index(i, n);
    j = clamp_index(j, n);
    int row_triangles = 2 * n - 2;
    vec3 sum{0, 0, 0};
    // Each (cell, triangle) pair around the sample; triangle indices outside the grid are
    // clamped to the border triangle of their row, and rows to the border rows.
    auto add = [&](int ci, int cj, int which) {
        int t = 2 * ci + which;
        t = t < 0 ? 0 : (t >= row_triangles ? row_triangles - 1 : t);
        int row = cj < 0 ? 0 : (cj > n - 2 ? n - 2 : cj);
        const vec3& v = cached_normal(field, t >> 1, row, t & 1);
        sum.x += v.x, sum.y += v.y, sum.z += v.z;
    };
    if (((i + j) & 1) == 0) {
        for (int cj = j - 1; cj <= j; cj++)
            for (int ci = i - 1; ci <= i; ci++) add(ci, cj, 0), add(ci, cj, 1);
    } else {
        add(i, j, 0);         // odd cell, sample is its (0, 0) corner
        add(i - 1, j - 1, 1); // odd cell, (1, 1) corner
        add(i - 1, j, 0);     // even cell, (1, 0) corner
        add(i, j - 1, 1);     // even cell, (0, 1) corner
    }
    return normalised(sum);
}

// The cells overlapping [x0, x1] x [z0, z1], as the triangle walk and the height bound share them.
struct cell_range {
    int i0, i1, j0, j1;
};

cell_range cells_in_square(const height_field& field, float x0, float z0, float x1, float z1) {
    float c = field.cell_size;
    cell_range r{static_cast<int>(std::floor(bound_cell(x0 / c))),
                 static_cast<int>(std::ceil(bound_cell(x1 / c))) - 1,
                 static_cast<int>(std::floor(bound_cell(z0 / c))),
                 static_cast<int>(std::ceil(bound_cell(z1 / c))) - 1};
    // A square wider than the whole field is a caller's mistake; don't spin over it.
    int limit = field.samples_per_side + 2;
    if (r.i1 - r.i0 > limit) r.i1 = r.i0 + limit;
    if (r.j1 - r.j0 > limit) r.j1 = r.j0 + limit;
    return r;
}

float field_highest_in_square(const height_field& field, float x0, float z0, float x1, float z1) {
    cell_range r = cells_in_square(field, x0, z0, x1, z1);
    float highest = -3.0e38f;
    for (int j = r.j0; j <= r.j1 + 1; j++)
        for (int i = r.i0; i <= r.i1 + 1; i++) highest = std::max(highest, corner(field, i, j).y);
    return highest;
}

void field_triangles_in_square(const height_field& field, float x0, float z0, float x1, float z1,
                               ground_triangle_visitor visit, void* context) {
    cell_range r = cells_in_square(field, x0, z0, x1, z1);
    for (int j = r.j0; j <= r.j1; j++) {
        for (int i = r.i0; i <= r.i1; i++) {
            int t = ((i + j) & 1) == 0 ? 1 : 0;
            ground_triangle a{
                {corner(field, i, j), corner(field, i, j + 1), corner(field, i + 1, j + t)}};
            visit(a, context);
            ground_triangle b{{corner(field, i + 1, j + 1), corner(field, i + 1, j),
                               corner(field, i, j + 1 - t)}};
            visit(b, context);
        }
    }
}

float field_smoothed_height(const height_field& field, float x, float z, float radius) {
    const float d = field.cell_size;
    const int n = field.samples_per_side;
    const int i0 = static_cast<int>(std::ceil(bound_cell((x - radius) / d)));
    const int i1 = static_cast<int>(std::floor(bound_cell((x + radius) / d)));
    const int j0 = static_cast<int>(std::ceil(bound_cell((z - radius) / d)));
    const int j1 = static_cast<int>(std::floor(bound_cell((z + radius) / d)));
    double sum = 0, weights = 0;
    for (int j = j0; j <= j1 && j - j0 <= n; j++)
        for (int i = i0; i <= i1 && i - i0 <= n; i++) {
            float distance =
                std::hypot(static_cast<float>(i) * d - x, static_cast<float>(j) * d - z);
            float w = distance < radius ? 1.0f : (radius + d - distance) / d;
            if (w <= 0) continue;
            sum += w * sample(field.heights, n, i, j);
            weights += w;
        }
    if (weights > 0) return static_cast<float>(sum / weights);
    return sample(field.heights, n, static_cast<int>(std::floor(bound_cell((x - radius) / d))),
                  static_cast<int>(std::floor(bound_cell((z - radius) / d))));
}
