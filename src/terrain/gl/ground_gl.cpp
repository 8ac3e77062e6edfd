// The ground on an OpenGL 1.x card as a plain mesh of the height field, coloured per sample by its
// surface type and the track's shading, in square nodes that get coarser with distance. It stands
// in for the composed ground textures until they are drawn.
#include "terrain/terrain.h"

#include "platform/log.h"
#include "resources/image.h"
#include "resources/texture.h"
#include "terrain/ground_shading.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
// The ground is a quadtree of square nodes, each drawn as 8 x 8 quads over its samples: a node
// is drawn whole once the eye is far enough away for its coarser step, else its four children.
constexpr int k_node_quads = 8;
constexpr float k_detail_distance = 1.5f; // node sides between the eye and a node drawn whole
constexpr float k_skirt_depth = 1.0f;     // ft per sample step that a node's edges reach down

// A node's lists: its quads, then the skirt of each edge (towards -z, +z, -x, +x).
constexpr int k_node_lists = 5;

struct ground_node {
    float lowest = 0, highest = 0; // ft
    uint32_t lists = 0;            // the first of k_node_lists, made when first drawn
};

struct ground_gl_state {
    int generation = -1;          // of the ground the nodes were made for
    int levels = 0;               // level 0 is the root; the last level's nodes are 8 cells a side
    std::vector<int> level_start; // index of each level's first node
    std::vector<ground_node> nodes;
    std::vector<uint8_t> colours; // r, g, b per sample
    std::vector<float> surface;   // r, g, b per surface type, 0..1
    struct drawn {
        int level, i, j;
        float distance;
    };
    std::vector<drawn> chosen; // this frame's nodes, near to far
    // The level each finest node's ground is drawn at this frame, -1 where none is; an edge
    // between levels shows a gap that the skirts on both sides hide.
    std::vector<int8_t> drawn_level;
    float eye[3] = {};
    float view[3] = {0, 0, -1};
    float view_cos = -1; // cosine of the widest angle from the view direction that is seen
    int polygons = 0;
};
ground_gl_state g_ground_gl;

ground_node& node_at(int level, int i, int j) {
    return g_ground_gl.nodes[g_ground_gl.level_start[level] + (j << level) + i];
}

void release_lists() {
    for (ground_node& n : g_ground_gl.nodes)
        if (n.lists) glDeleteLists(n.lists, k_node_lists);
    g_ground_gl.nodes.clear();
}

// The mean colour of each surface type's picture; grey for a picture that does not load.
std::vector<float> surface_colours(const surface_set& set) {
    std::vector<float> colours(static_cast<size_t>(std::max(set.count, 1)) * 3, 0.5f);
    for (int t = 0; t < set.count; t++) {
        image im;
        if (!image_load(set.types[t].texture_name, &im) || im.width <= 0 || im.channels < 3)
            continue;
        double sum[3] = {};
        const size_t pixels = static_cast<size_t>(im.width) * im.height;
        for (size_t k = 0; k < pixels; k++)
            for (int c = 0; c < 3; c++) sum[c] += im.pixels[k * im.channels + c];
        for (int c = 0; c < 3; c++)
            colours[static_cast<size_t>(t) * 3 + c] = static_cast<float>(sum[c] / pixels / 255);
    }
    return colours;
}

// A small fixed variation per sample, so that flat ground still shows its grain.
float grain(int i, int j) {
    uint32_t h = static_cast<uint32_t>(i) * 73856093u ^ static_cast<uint32_t>(j) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return 0.94f + 0.12f * static_cast<float>(h & 1023) / 1023.0f;
}

void colour_sample(int i, int j) {
    const ground_state& g = ground();
    const int n = g.field.samples_per_side;
    const ground_shading_state& shading = ground_shading();
    const bool shaded = shading.samples_per_side == n && !shading.shading.empty();
    const size_t at = static_cast<size_t>(j) * n + i;
    int type = surface_set_type_at(g.surfaces, static_cast<float>(i) * g.field.cell_size,
                                   static_cast<float>(j) * g.field.cell_size);
    type = std::clamp(type, 0, std::max(g.surfaces.count - 1, 0));
    const float variation = grain(i, j);
    for (int c = 0; c < 3; c++) {
        float light = shaded ? shading.shading[at * 3 + c] / 128.0f : 1.0f;
        float v = g_ground_gl.surface[static_cast<size_t>(type) * 3 + c] * light * variation;
        g_ground_gl.colours[at * 3 + c] =
            static_cast<uint8_t>(std::clamp(v * 255.0f, 0.0f, 255.0f));
    }
}

void build_colours() {
    const ground_state& g = ground();
    const int n = g.field.samples_per_side;
    g_ground_gl.surface = surface_colours(g.surfaces);
    g_ground_gl.colours.assign(static_cast<size_t>(n) * n * 3, 0);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) colour_sample(i, j);
}

// The height ranges of the finest nodes [fi0, fi1] x [fj0, fj1], then of every node above them.
void measure_nodes(int fi0, int fj0, int fi1, int fj1) {
    const height_field& f = ground().field;
    const int finest = g_ground_gl.levels - 1;
    for (int j = fj0; j <= fj1; j++)
        for (int i = fi0; i <= fi1; i++) {
            ground_node& n = node_at(finest, i, j);
            n.lowest = 1e30f, n.highest = -1e30f;
            for (int y = 0; y <= k_node_quads; y++)
                for (int x = 0; x <= k_node_quads; x++) {
                    float h = f.heights[(j * k_node_quads + y) * f.samples_per_side +
                                        i * k_node_quads + x];
                    n.lowest = std::min(n.lowest, h);
                    n.highest = std::max(n.highest, h);
                }
        }
    for (int level = finest - 1; level >= 0; level--) {
        const int shift = finest - level;
        for (int j = fj0 >> shift; j <= fj1 >> shift; j++)
            for (int i = fi0 >> shift; i <= fi1 >> shift; i++) {
                ground_node& n = node_at(level, i, j);
                n.lowest = 1e30f, n.highest = -1e30f;
                for (int c = 0; c < 4; c++) {
                    const ground_node& child =
                        node_at(level + 1, 2 * i + (c & 1), 2 * j + (c >> 1));
                    n.lowest = std::min(n.lowest, child.lowest);
                    n.highest = std::max(n.highest, child.highest);
                }
            }
    }
}

// The nodes with their height ranges, finest level first, then each level from its children.
void build_nodes() {
    release_lists();
    const height_field& f = ground().field;
    const int cells = f.samples_per_side - 1;
    int levels = 1;
    while ((k_node_quads << (levels - 1)) < cells) levels++;
    g_ground_gl.levels = levels;
    g_ground_gl.level_start.assign(static_cast<size_t>(levels), 0);
    int total = 0;
    for (int level = 0; level < levels; level++) {
        g_ground_gl.level_start[level] = total;
        total += 1 << (2 * level);
    }
    g_ground_gl.nodes.assign(static_cast<size_t>(total), ground_node{});
    g_ground_gl.drawn_level.assign(static_cast<size_t>(1) << (2 * (levels - 1)), -1);
    const int finest = levels - 1, per_side = 1 << finest;
    measure_nodes(0, 0, per_side - 1, per_side - 1);
    build_colours();
}

// Ruts: a changed block of samples takes its new shading, and every node over it has its
// height range measured again and its lists compiled again when next drawn.
void refresh_block(int i0, int j0, int i1, int j1) {
    if (g_ground_gl.generation != ground().generation || g_ground_gl.nodes.empty()) return;
    const int n = ground().field.samples_per_side;
    i1 = std::min(i1, n - 1), j1 = std::min(j1, n - 1);
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++) colour_sample(i, j);
    // A sample on a node's edge belongs to the node on either side.
    const int finest = g_ground_gl.levels - 1, per_side = 1 << finest;
    const int first_i = std::max(i0 - 1, 0) / k_node_quads,
              last_i = std::min(i1 / k_node_quads, per_side - 1);
    const int first_j = std::max(j0 - 1, 0) / k_node_quads,
              last_j = std::min(j1 / k_node_quads, per_side - 1);
    measure_nodes(first_i, first_j, last_i, last_j);
    for (int level = finest; level >= 0; level--) {
        const int shift = finest - level;
        for (int j = first_j >> shift; j <= last_j >> shift; j++)
            for (int i = first_i >> shift; i <= last_i >> shift; i++) {
                ground_node& node = node_at(level, i, j);
                if (node.lists) glDeleteLists(node.lists, k_node_lists);
                node.lists = 0;
            }
    }
}

void vertex(const height_field& f, int i, int j, float drop) {
    const size_t at = static_cast<size_t>(j) * f.samples_per_side + i;
    glColor3ubv(&g_ground_gl.colours[at * 3]);
    glVertex3f(static_cast<float>(i) * f.cell_size, f.heights[at] - drop,
               static_cast<float>(j) * f.cell_size);
}

// A node's quads split along the same diagonals as the height queries' (at the finest step),
// and the skirts that hang from its edges, each in a list of its own.
uint32_t compile_node(int level, int ni, int nj) {
    const height_field& f = ground().field;
    const int step = 1 << (g_ground_gl.levels - 1 - level);
    const int side = k_node_quads * step;
    const int i0 = ni * side, j0 = nj * side, i1 = i0 + side, j1 = j0 + side;
    uint32_t lists = glGenLists(k_node_lists);
    if (!lists) return 0;
    glNewList(lists, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (int j = j0; j < j1; j += step)
        for (int i = i0; i < i1; i += step) {
            const int ia = i + step, ja = j + step;
            if (((i / step + j / step) & 1) == 0) {
                vertex(f, i, j, 0), vertex(f, i, ja, 0), vertex(f, ia, ja, 0);
                vertex(f, i, j, 0), vertex(f, ia, ja, 0), vertex(f, ia, j, 0);
            } else {
                vertex(f, i, j, 0), vertex(f, i, ja, 0), vertex(f, ia, j, 0);
                vertex(f, ia, j, 0), vertex(f, i, ja, 0), vertex(f, ia, ja, 0);
            }
        }
    glEnd();
    glEndList();
    // Each skirt is seen from outside the node only.
    const float drop = k_skirt_depth * static_cast<float>(step);
    for (int edge = 0; edge < 4; edge++) {
        glNewList(lists + 1 + edge, GL_COMPILE);
        glBegin(GL_QUADS);
        for (int k = 0; k < side; k += step) {
            const int a = k, b = k + step;
            switch (edge) {
            case 0:
                vertex(f, i0 + a, j0, 0), vertex(f, i0 + b, j0, 0);
                vertex(f, i0 + b, j0, drop), vertex(f, i0 + a, j0, drop);
                break;
            case 1:
                vertex(f, i0 + b, j1, 0), vertex(f, i0 + a, j1, 0);
                vertex(f, i0 + a, j1, drop), vertex(f, i0 + b, j1, drop);
                break;
            case 2:
                vertex(f, i0, j0 + b, 0), vertex(f, i0, j0 + a, 0);
                vertex(f, i0, j0 + a, drop), vertex(f, i0, j0 + b, drop);
                break;
            default:
                vertex(f, i1, j0 + a, 0), vertex(f, i1, j0 + b, 0);
                vertex(f, i1, j0 + b, drop), vertex(f, i1, j0 + a, drop);
                break;
            }
        }
        glEnd();
        glEndList();
    }
    return lists;
}

// Picks the nodes to draw under one: whole when far enough for its step, else its children.
// Nodes wholly outside the view are left out.
void choose_nodes(int level, int i, int j) {
    ground_gl_state& s = g_ground_gl;
    const height_field& f = ground().field;
    const ground_node& n = node_at(level, i, j);
    const float side = static_cast<float>(k_node_quads << (s.levels - 1 - level)) * f.cell_size;
    const float centre[3] = {(static_cast<float>(i) + 0.5f) * side, (n.lowest + n.highest) / 2,
                             (static_cast<float>(j) + 0.5f) * side};
    const float half_height = (n.highest - n.lowest) / 2;
    const float radius = std::sqrt(side * side / 2 + half_height * half_height);
    const float d[3] = {centre[0] - s.eye[0], centre[1] - s.eye[1], centre[2] - s.eye[2]};
    const float reach = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const float along = d[0] * s.view[0] + d[1] * s.view[1] + d[2] * s.view[2];
    if (along < -radius) return;
    // Outside the cone of the view (widened by the node's own size): not seen.
    if (reach > radius) {
        const float spread = std::asin(std::min(1.0f, radius / reach));
        if (std::acos(std::clamp(along / reach, -1.0f, 1.0f)) - spread > std::acos(s.view_cos))
            return;
    }
    const float distance = std::max(0.0f, reach - radius);
    if (level == s.levels - 1 || distance > k_detail_distance * side) {
        s.chosen.push_back({level, i, j, distance});
        return;
    }
    for (int c = 0; c < 4; c++) choose_nodes(level + 1, 2 * i + (c & 1), 2 * j + (c >> 1));
}
} // namespace

void ground_set_view(const float eye[3], const float view_direction[3], float view_tangent) {
    memcpy(g_ground_gl.eye, eye, sizeof g_ground_gl.eye);
    memcpy(g_ground_gl.view, view_direction, sizeof g_ground_gl.view);
    g_ground_gl.view_cos = view_tangent > 0 ? 1 / std::sqrt(1 + view_tangent * view_tangent) : -1;
}

// The plain mesh carries its colours in its lists: only ground that changed is made again.
void ground_texture_update() {
    int i0, j0, i1, j1;
    while (ground_take_dirty(&i0, &j0, &i1, &j1)) refresh_block(i0, j0, i1, j1);
}

void ground_draw() {
    ground_gl_state& s = g_ground_gl;
    s.polygons = 0;
    const ground_state& g = ground();
    if (!g.field.heights) return;
    if (s.generation != g.generation) {
        build_nodes();
        s.generation = g.generation;
    }
    s.chosen.clear();
    choose_nodes(0, 0, 0);
    // Near nodes first, so that the far ones fail the depth test early.
    std::sort(s.chosen.begin(), s.chosen.end(),
              [](const auto& a, const auto& b) { return a.distance < b.distance; });
    const int finest = s.levels - 1, per_side = 1 << finest;
    std::fill(s.drawn_level.begin(), s.drawn_level.end(), int8_t{-1});
    for (const auto& c : s.chosen) {
        const int span = 1 << (finest - c.level);
        for (int j = c.j * span; j < (c.j + 1) * span; j++)
            for (int i = c.i * span; i < (c.i + 1) * span; i++)
                s.drawn_level[static_cast<size_t>(j) * per_side + i] = static_cast<int8_t>(c.level);
    }
    // The level drawn beyond an edge: at the finest node just outside its middle.
    auto level_beyond = [&](int i, int j) {
        if (i < 0 || j < 0 || i >= per_side || j >= per_side) return -2; // the field's edge
        return static_cast<int>(s.drawn_level[static_cast<size_t>(j) * per_side + i]);
    };
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    // A plain mesh has no drawing order of its own; the depth test sorts it.
    glDepthFunc(GL_LEQUAL);
    for (const auto& c : s.chosen) {
        ground_node& n = node_at(c.level, c.i, c.j);
        if (!n.lists) n.lists = compile_node(c.level, c.i, c.j);
        if (!n.lists) continue;
        glCallList(n.lists);
        s.polygons += 2 * k_node_quads * k_node_quads;
        const int span = 1 << (finest - c.level);
        const int i0 = c.i * span, j0 = c.j * span, mid = span / 2;
        const int beyond[4] = {level_beyond(i0 + mid, j0 - 1), level_beyond(i0 + mid, j0 + span),
                               level_beyond(i0 - 1, j0 + mid), level_beyond(i0 + span, j0 + mid)};
        for (int edge = 0; edge < 4; edge++) {
            if (beyond[edge] == c.level || beyond[edge] == -2) continue;
            glCallList(n.lists + 1 + edge);
            s.polygons += 2 * k_node_quads;
        }
    }
    glPopAttrib();
}

int ground_polygons_drawn() { return g_ground_gl.polygons; }
