// The ground's level of detail: the error pyramid over the quadtree of the height field, its
// refinement around the eye every frame, and the fans the refined tree is drawn with.
#include "terrain/ground_local.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {
constexpr int k_node_cost = 10;       // work units of one node; a sample examined costs one
constexpr int k_always_refined = 128; // height cells: nodes this wide or wider are always split
constexpr float k_half_diagonal = 0.7071f;
constexpr float k_full_detail_fade = 5;                       // ft beyond the full-detail distance
constexpr float k_neighbour_reach = 3.1622777f * 0.50048828f; // child sides, centre to neighbour

struct lod_state {
    int e = -1; // size exponent of the ground the pyramid is for; -1 none
    std::vector<size_t> level_start;
    std::vector<float> pyramid[2];
    int in_use = 0;
    float lod_factor = 0.125f / 70;
    // The recomputation under way into the other pyramid.
    bool recomputing = false;
    int level = 0;
    size_t node = 0;
    uint32_t changes_at_start = 0;
    uint32_t changes_done = 0;
    // Refinement of the frame: one bit per node, and each level's window around the eye.
    std::vector<uint32_t> refined;
    int window_lo[2][32] = {}, window_hi[2][32] = {};
    ground_mesh timed; // the mesh built alone, to be timed
};
lod_state g_lod;

size_t node_index(int level, int i, int j) {
    return g_lod.level_start[level] + (static_cast<size_t>(j) << level) + static_cast<size_t>(i);
}

int node_side(int level) { return 1 << (g_lod.e + 1 - level); } // height cells

// The largest distance of the node's samples from the two triangles its corners make, split
// along the diagonal the checkerboard rule gives the node as a cell of its level.
float node_height_error(const height_field& f, int level, int i, int j) {
    const int side = node_side(level), n = f.samples_per_side;
    const int x0 = i * side, z0 = j * side;
    const float* h = f.heights;
    auto at = [&](int x, int z) { return h[static_cast<size_t>(z) * n + x]; };
    const float h00 = at(x0, z0), h10 = at(x0 + side, z0), h01 = at(x0, z0 + side),
                h11 = at(x0 + side, z0 + side);
    const bool even = ((i + j) & 1) == 0;
    const float inverse = 1.0f / static_cast<float>(side);
    float worst = 0;
    for (int v = 0; v <= side; v++) {
        const float fv = static_cast<float>(v) * inverse;
        const float* row = h + static_cast<size_t>(z0 + v) * n + x0;
        for (int u = 0; u <= side; u++) {
            const float fu = static_cast<float>(u) * inverse;
            float plane;
            if (!even)
                plane = u + v <= side ? h00 + fu * (h10 - h00) + fv * (h01 - h00)
                                      : h11 + (1 - fu) * (h01 - h11) + (1 - fv) * (h10 - h11);
            else
                plane = v <= u ? h10 + (1 - fu) * (h00 - h10) + fv * (h11 - h10)
                               : h01 + fu * (h11 - h01) + (1 - fv) * (h00 - h01);
            worst = std::max(worst, std::fabs(row[u] - plane));
        }
    }
    return worst;
}

// One node of the pyramid being built; the finer level is already complete in it.
float node_bound(const height_field& f, const std::vector<float>& pyramid, int level, int i,
                 int j) {
    const float node_extent = f.extent / static_cast<float>(1 << level);
    const float own =
        node_height_error(f, level, i, j) / g_lod.lod_factor + k_half_diagonal * node_extent;
    float bound = own * own;
    if (level == g_lod.e) return bound;
    const int fine = level + 1, per_side = 1 << fine;
    const int ci = 2 * i, cj = 2 * j;
    float children = 0;
    for (int c = 0; c < 4; c++)
        children = std::max(children, pyramid[node_index(fine, ci + (c & 1), cj + (c >> 1))]);
    // The finer nodes along the children's edges: a node is refined whenever one of them is.
    constexpr int k_around[8][2] = {{0, -1}, {1, -1}, {2, 0},  {2, 1},
                                    {1, 2},  {0, 2},  {-1, 1}, {-1, 0}};
    float around = 0;
    for (const auto& o : k_around) {
        const int ni = ci + o[0], nj = cj + o[1];
        if (ni < 0 || nj < 0 || ni >= per_side || nj >= per_side) continue;
        around = std::max(around, pyramid[node_index(fine, ni, nj)]);
    }
    const float reach = std::sqrt(around) + node_extent * 0.5f * k_neighbour_reach;
    return std::max({bound, children, reach * reach});
}

void layout_for(int e) {
    g_lod.e = e;
    g_lod.level_start.assign(static_cast<size_t>(e) + 2, 0);
    size_t total = 0;
    for (int level = 0; level <= e; level++) {
        g_lod.level_start[level] = total;
        total += static_cast<size_t>(1) << (2 * level);
    }
    g_lod.level_start[e + 1] = total;
    for (auto& p : g_lod.pyramid) p.assign(total, 0.0f);
    g_lod.refined.assign((total + 31) / 32, 0);
    g_lod.in_use = 0;
    g_lod.recomputing = false;
}

bool node_marked(int level, int i, int j) {
    const size_t k = node_index(level, i, j);
    return (g_lod.refined[k >> 5] >> (k & 31)) & 1;
}

void mark(int level, int i, int j) {
    const size_t k = node_index(level, i, j);
    g_lod.refined[k >> 5] |= 1u << (k & 31);
}

// A level's window of nodes around the eye sample p, one axis.
void window_of(int level, int p, int finer_lo, int finer_hi, bool has_finer, int* lo, int* hi) {
    const int per_side = 1 << level;
    if (per_side <= 4) {
        *lo = 0, *hi = per_side - 1;
        return;
    }
    const int r = 1 << (g_lod.e - level);
    const int t = std::clamp(((p - r) >> (g_lod.e - level + 1)) - 1, 0, per_side - 4);
    *lo = t, *hi = t + 3;
    // One node more where the finer window ends under this one's end, so that every finer
    // node's neighbours have their parents split.
    if (has_finer && *lo == finer_lo / 2 && *lo > 0) --*lo;
    if (has_finer && *hi == finer_hi / 2 && *hi < per_side - 1) ++*hi;
}

bool forced(int level, int i, int j) {
    if (node_side(level) >= k_always_refined || level == 0) return true;
    return i >= g_lod.window_lo[0][level] && i <= g_lod.window_hi[0][level] &&
           j >= g_lod.window_lo[1][level] && j <= g_lod.window_hi[1][level];
}

// The squared distance a node's error bound is held against: its centre's from the eye, shrunk
// to nothing within the full-detail distance and growing back over the fade beyond it.
float refine_distance2(float dx, float dz, float side, float full_detail) {
    const float d2 = dx * dx + dz * dz;
    if (full_detail < 0) return d2;
    const float nearest = std::max(0.0f, std::sqrt(d2) - k_half_diagonal * side);
    const float scale = std::clamp((nearest - full_detail) / k_full_detail_fade, 0.0f, 1.0f);
    return d2 * scale * scale;
}

void refine_walk(const height_field& f, const float eye[3], float full_detail, int level, int i,
                 int j) {
    const std::vector<float>& pyramid = g_lod.pyramid[g_lod.in_use];
    const float side = f.extent / static_cast<float>(1 << level);
    const float dx = (static_cast<float>(i) + 0.5f) * side - eye[0];
    const float dz = (static_cast<float>(j) + 0.5f) * side - eye[2];
    if (!forced(level, i, j) &&
        pyramid[node_index(level, i, j)] <= refine_distance2(dx, dz, side, full_detail))
        return;
    mark(level, i, j);
    if (level == g_lod.e) return;
    for (int c = 0; c < 4; c++)
        refine_walk(f, eye, full_detail, level + 1, 2 * i + (c & 1), 2 * j + (c >> 1));
}

// ---------------------------------------------------------------------------------------------
// Drawing order and fans.

struct mesh_walk {
    const height_field* f;
    float eye[3];
    float view[3];
    float cone_cos = 0, cone_sin = 0; // half the widest angle seen; no side culling when sin is 0
    int order[4][2];                  // children far to near
    ground_texture_chooser choose;
    ground_mesh* mesh;
};

bool behind_eye(const mesh_walk& w, int level, int i, int j) {
    const height_field& f = *w.f;
    const float side = f.extent / static_cast<float>(1 << level);
    const float x = (static_cast<float>(i) + (w.view[0] > 0 ? 1.0f : 0.0f)) * side;
    const float z = (static_cast<float>(j) + (w.view[2] > 0 ? 1.0f : 0.0f)) * side;
    const float y = w.view[1] > 0 ? f.max_height : f.min_height;
    return (x - w.eye[0]) * w.view[0] + (y - w.eye[1]) * w.view[1] + (z - w.eye[2]) * w.view[2] < 0;
}

// Whether a node lies wholly outside the cone the eye sees: its bounding sphere (over the
// ground's whole height range) beyond the cone's side. Leaving such nodes out changes no pixel.
bool outside_view(const mesh_walk& w, int level, int i, int j) {
    if (w.cone_sin <= 0) return false;
    const height_field& f = *w.f;
    const float side = f.extent / static_cast<float>(1 << level);
    const float half_height = 0.5f * (f.max_height - f.min_height);
    const float d[3] = {(static_cast<float>(i) + 0.5f) * side - w.eye[0],
                        f.min_height + half_height - w.eye[1],
                        (static_cast<float>(j) + 0.5f) * side - w.eye[2]};
    const float radius = std::sqrt(0.5f * side * side + half_height * half_height);
    const float along = d[0] * w.view[0] + d[1] * w.view[1] + d[2] * w.view[2];
    const float across =
        std::sqrt(std::max(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - along * along, 0.0f));
    return across * w.cone_cos - along * w.cone_sin > radius;
}

bool neighbour_refined(int level, int i, int j) {
    const int per_side = 1 << level;
    if (i < 0 || j < 0 || i >= per_side || j >= per_side) return false;
    return node_marked(level, i, j);
}

void emit_fan(mesh_walk& w, int level, int i, int j) {
    ground_mesh& m = *w.mesh;
    const height_field& f = *w.f;
    const int side = node_side(level), half = side / 2;
    const int x0 = i * side, z0 = j * side, x1 = x0 + side, z1 = z0 + side;
    // A refined node of the finest level is drawn whole: every edge's middle is a corner of
    // the height field's own triangles.
    const bool whole = level == g_lod.e && node_marked(level, i, j);
    // Corners counter-clockwise seen from above, each followed by the middle of the edge to the
    // next when the node across that edge is split.
    const int corners[4][2] = {{x0, z0}, {x0, z1}, {x1, z1}, {x1, z0}};
    const int middles[4][2] = {{x0, z0 + half}, {x0 + half, z1}, {x1, z0 + half}, {x0 + half, z0}};
    const int across[4][2] = {{i - 1, j}, {i, j + 1}, {i + 1, j}, {i, j - 1}};
    int outline[10][2]; // the ring, its first sample again at the end
    int count = 0;
    for (int k = 0; k < 4; k++) {
        outline[count][0] = corners[k][0], outline[count][1] = corners[k][1], count++;
        if (whole || neighbour_refined(level, across[k][0], across[k][1]))
            outline[count][0] = middles[k][0], outline[count][1] = middles[k][1], count++;
    }
    outline[count][0] = x0, outline[count][1] = z0, count++;
    ground_mesh_fan fan;
    fan.level = level, fan.i = i, fan.j = j;
    fan.first = static_cast<int>(m.ring.size() / 2);
    fan.count = count;
    m.ring.insert(m.ring.end(), &outline[0][0], &outline[0][0] + 2 * count);
    m.fans.push_back(fan);
    m.polygons += fan.count;

    const ground_texture_choice t = w.choose(level, i, j);
    if (m.runs.empty() || m.runs.back().texture != t.texture) {
        ground_draw_run run;
        run.texture = t.texture;
        run.normal_map = t.normal_map;
        run.specular_map = t.specular_map;
        run.first = static_cast<int>(m.vertices.size() / 5);
        m.runs.push_back(run);
    }
    // Written in place: this runs for every drawn triangle of every frame. Each sample of the
    // fan is worked out once, then copied into its triangles.
    const int n = f.samples_per_side;
    const float inverse_side = 1.0f / static_cast<float>(t.side);
    float corner[11][5];
    auto vertex = [&](int si, int sj, float* v) {
        v[0] = static_cast<float>(si) * f.cell_size;
        v[1] = f.heights[static_cast<size_t>(sj) * n + si];
        v[2] = static_cast<float>(sj) * f.cell_size;
        v[3] = static_cast<float>(si - t.origin_x) * inverse_side;
        v[4] = static_cast<float>(sj - t.origin_z) * inverse_side;
    };
    vertex(x0 + half, z0 + half, corner[10]);
    for (int k = 0; k < count; k++) vertex(outline[k][0], outline[k][1], corner[k]);
    const size_t at = m.vertices.size();
    m.vertices.resize(at + static_cast<size_t>(count - 1) * 15);
    float* out = m.vertices.data() + at;
    for (int k = 0; k + 1 < count; k++, out += 15) {
        memcpy(out, corner[10], sizeof corner[10]);
        memcpy(out + 5, corner[k], 2 * sizeof corner[k]);
    }
    m.runs.back().count += 3 * (fan.count - 1);
}

void mesh_node(mesh_walk& w, int level, int i, int j) {
    if (behind_eye(w, level, i, j) || outside_view(w, level, i, j)) return;
    if (level == g_lod.e || !node_marked(level, i, j)) {
        emit_fan(w, level, i, j);
        return;
    }
    for (const auto& o : w.order) mesh_node(w, level + 1, 2 * i + o[0], 2 * j + o[1]);
}
} // namespace

void lod_build(float lod_factor) {
    const height_field& f = ground().field;
    if (!f.heights) return;
    g_lod.lod_factor = std::max(lod_factor, 1e-6f);
    layout_for(f.size_exponent);
    g_lod.changes_done = f.changes - 1; // anything but the current count starts a build
    lod_advance(-1);
}

void lod_advance(int budget) {
    const height_field& f = ground().field;
    if (!f.heights || g_lod.e != f.size_exponent) return;
    if (!g_lod.recomputing) {
        if (f.changes == g_lod.changes_done) return;
        g_lod.recomputing = true;
        g_lod.level = g_lod.e;
        g_lod.node = 0;
        g_lod.changes_at_start = f.changes;
    }
    std::vector<float>& building = g_lod.pyramid[1 - g_lod.in_use];
    long long left = budget < 0 ? LLONG_MAX : budget;
    while (left > 0) {
        const int level = g_lod.level;
        const int per_side = 1 << level;
        const int i = static_cast<int>(g_lod.node % per_side);
        const int j = static_cast<int>(g_lod.node / per_side);
        building[node_index(level, i, j)] = node_bound(f, building, level, i, j);
        const long long samples = static_cast<long long>(node_side(level) + 1) *
                                  static_cast<long long>(node_side(level) + 1);
        left -= k_node_cost + samples;
        if (++g_lod.node < static_cast<size_t>(per_side) * per_side) continue;
        g_lod.node = 0;
        if (--g_lod.level >= 0) continue;
        g_lod.in_use = 1 - g_lod.in_use;
        g_lod.recomputing = false;
        g_lod.changes_done = g_lod.changes_at_start;
        return;
    }
}

void lod_free() { g_lod = lod_state{}; }

bool lod_recomputing() { return g_lod.recomputing; }

float lod_bound(int level, int i, int j) {
    return g_lod.e < 0 ? 0 : g_lod.pyramid[g_lod.in_use][node_index(level, i, j)];
}

float lod_node_error(int level, int i, int j) {
    return g_lod.e < 0 ? 0 : node_height_error(ground().field, level, i, j);
}

bool lod_refined(int level, int i, int j) { return g_lod.e >= 0 && node_marked(level, i, j); }

void lod_refine(const float eye[3], float full_detail) {
    const height_field& f = ground().field;
    if (g_lod.e < 0 || g_lod.e != f.size_exponent) return;
    std::fill(g_lod.refined.begin(), g_lod.refined.end(), 0u);
    const float limit = static_cast<float>(f.samples_per_side);
    for (int axis = 0; axis < 2; axis++) {
        const float at = std::clamp(eye[axis * 2] * f.inverse_cell_size, -limit, 2 * limit);
        const int p = static_cast<int>(std::floor(at));
        for (int level = g_lod.e; level >= 1; level--)
            window_of(level, p, g_lod.window_lo[axis][level + 1], g_lod.window_hi[axis][level + 1],
                      level < g_lod.e, &g_lod.window_lo[axis][level],
                      &g_lod.window_hi[axis][level]);
    }
    refine_walk(f, eye, full_detail, 0, 0, 0);
}

void lod_build_mesh(const float eye[3], const float view[3], float view_tangent,
                    ground_texture_chooser choose, ground_mesh* mesh) {
    mesh->fans.clear();
    mesh->ring.clear();
    mesh->vertices.clear();
    mesh->runs.clear();
    mesh->polygons = 0;
    const height_field& f = ground().field;
    if (g_lod.e < 0 || g_lod.e != f.size_exponent) return;
    mesh_walk w;
    w.f = &f;
    memcpy(w.eye, eye, sizeof w.eye);
    memcpy(w.view, view, sizeof w.view);
    w.choose = choose;
    w.mesh = mesh;
    if (view_tangent > 0) {
        const float l = std::sqrt(1 + view_tangent * view_tangent);
        w.cone_cos = 1 / l;
        w.cone_sin = view_tangent / l;
    }
    // The child furthest along the view first, then the two beside it (the one further along
    // the larger component first), the nearest last.
    const int fx = view[0] > 0 ? 1 : 0, fz = view[2] > 0 ? 1 : 0;
    const bool x_leads = std::fabs(view[0]) >= std::fabs(view[2]);
    const int order[4][2] = {{fx, fz},
                             {x_leads ? fx : 1 - fx, x_leads ? 1 - fz : fz},
                             {x_leads ? 1 - fx : fx, x_leads ? fz : 1 - fz},
                             {1 - fx, 1 - fz}};
    memcpy(w.order, order, sizeof order);
    mesh_node(w, 0, 0, 0);
}

int ground_mesh_build_alone(const float eye[3], const float view[3], float view_tangent) {
    lod_refine(eye, ground_config().full_detail_distance);
    lod_build_mesh(
        eye, view, view_tangent, [](int, int, int) { return ground_texture_choice{}; },
        &g_lod.timed);
    return g_lod.timed.polygons;
}
