// Height gradients: the profile's values and slopes, placing a gradient's end points, editing
// its profile points, and the gradient buttons.
#include "editor/editor_local.h"

#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
float length_of(const editor_gradient& g) { return std::hypot(g.x1 - g.x0, g.z1 - g.z0); }

bool hits(float px, float pz, float x, float z) {
    return std::hypot(px - x, pz - z) <= editor_pick() * 0.5f;
}

// A gradient that is still a flat line: at most two points, every height 0.
bool simple(const editor_gradient& g) {
    if (g.points.size() > 2) return false;
    for (const profile_point& p : g.points)
        if (p.h != 0) return false;
    return true;
}

float segment_slope(const editor_gradient& g, int k) {
    const profile_point &a = g.points[k], &b = g.points[k + 1];
    return b.t > a.t ? (b.h - a.h) / (b.t - a.t) : 0;
}

// The selected gradient (nullptr for none) and, with one, the pointer's world point.
editor_gradient* selected_at_pointer(float* x, float* z) {
    editor_gradient* g = gradient_selected();
    if (g) editor_pointer_world(x, z);
    return g;
}

void flatten(editor_gradient& g) {
    g.points = {profile_point{0, 0, 0}, profile_point{length_of(g), 0, 0}};
}
} // namespace

editor_gradient* gradient_selected() {
    editor_state& e = editor_get();
    if (e.gradient < 0 || e.gradient >= static_cast<int>(e.gradients.size())) return nullptr;
    return &e.gradients[e.gradient];
}

float profile_slope(const editor_gradient& g, int k) {
    const int last = static_cast<int>(g.points.size()) - 1;
    if (last < 1) return 0;
    if (k <= 0) return segment_slope(g, 0);
    if (k >= last) return segment_slope(g, last - 1);
    if (g.points[k - 1].segment == 0) return segment_slope(g, k - 1);
    if (g.points[k].segment == 0) return segment_slope(g, k);
    return (segment_slope(g, k - 1) + segment_slope(g, k)) * 0.5f;
}

float profile_value(const editor_gradient& g, float t) {
    if (g.points.empty()) return 0;
    if (t < g.points.front().t) return g.points.front().h;
    const int last = static_cast<int>(g.points.size()) - 1;
    for (int k = 0; k < last; k++) {
        const profile_point &a = g.points[k], &b = g.points[k + 1];
        if (!(t >= a.t && t < b.t)) continue;
        const float span = b.t - a.t;
        const float f = (t - a.t) / span;
        if (a.segment == 0) return a.h + (b.h - a.h) * f;
        const float m0 = profile_slope(g, k) * span, m1 = profile_slope(g, k + 1) * span;
        return a.h + m0 * f + (3 * (b.h - a.h) - 2 * m0 - m1) * f * f +
               (2 * (a.h - b.h) + m0 + m1) * f * f * f;
    }
    return g.points.back().h;
}

float gradient_value_at(float x, float z, bool radial) {
    const editor_gradient* g = gradient_selected();
    if (!g || g->points.empty()) return 0;
    const float length = length_of(*g);
    const float ux = length > 0 ? (g->x1 - g->x0) / length : 1;
    const float uz = length > 0 ? (g->z1 - g->z0) / length : 0;
    const float dx = x - g->x0, dz = z - g->z0;
    const float along = dx * ux + dz * uz;
    float t = along;
    if (radial) t = along >= 0 ? std::hypot(dx, dz) : std::fabs(dx * uz - dz * ux);
    return profile_value(*g, t);
}

void gradient_placement_press() {
    editor_state& e = editor_get();
    float x, z;
    editor_gradient* g = selected_at_pointer(&x, &z);
    if (!g) return;
    if (hits(x, z, g->x0, g->z0)) {
        e.drag_target = 1;
        return;
    }
    if (hits(x, z, g->x1, g->z1)) {
        e.drag_target = 2;
        return;
    }
    e.drag_target = 0;
    for (int k = 0; k < static_cast<int>(e.gradients.size()); k++) {
        const editor_gradient& o = e.gradients[k];
        if (hits(x, z, o.x0, o.z0) || hits(x, z, o.x1, o.z1)) {
            e.gradient = k;
            e.point = -1;
        }
    }
}

void gradient_placement_drag() {
    editor_state& e = editor_get();
    editor_gradient* g = gradient_selected();
    if (!g || e.drag_target == 0) return;
    float x, z;
    editor_pointer_world(&x, &z);
    const float before[4] = {g->x0, g->z0, g->x1, g->z1};
    if (e.drag_target == 1) {
        if (simple(*g)) {
            g->x0 = x, g->z0 = z;
        } else {
            const float dx = x - g->x0, dz = z - g->z0;
            g->x0 += dx, g->z0 += dz, g->x1 += dx, g->z1 += dz;
        }
    } else if (simple(*g)) {
        g->x1 = x, g->z1 = z;
    } else {
        const float dx = x - g->x0, dz = z - g->z0;
        const float d = std::hypot(dx, dz);
        if (d > 0 && !g->points.empty()) {
            const float t = g->points.back().t;
            g->x1 = g->x0 + dx / d * t;
            g->z1 = g->z0 + dz / d * t;
        }
    }
    if (before[0] != g->x0 || before[1] != g->z0 || before[2] != g->x1 || before[3] != g->z1)
        ground_mark_edited();
}

void gradient_placement_release() {
    editor_state& e = editor_get();
    editor_gradient* g = gradient_selected();
    if (g && e.drag_target != 0 && simple(*g)) flatten(*g);
}

void gradient_edit_press() {
    editor_state& e = editor_get();
    float x, z;
    editor_gradient* g = selected_at_pointer(&x, &z);
    if (!g) return;
    for (int k = 0; k < static_cast<int>(g->points.size()); k++) {
        const profile_point& p = g->points[k];
        if (hits(x, z, g->x0 + p.t, g->z0 - p.h)) {
            e.point = k;
            e.drag_target = 1;
            e.values[item_segment_type] = p.segment;
            return;
        }
    }
    for (int k = 1; k < static_cast<int>(g->points.size()); k++) {
        if (!(x > g->x0 + g->points[k - 1].t && x < g->x0 + g->points[k].t)) continue;
        profile_point p{x - g->x0, g->z0 - z, g->points[k - 1].segment};
        g->points.insert(g->points.begin() + k, p);
        e.point = k;
        e.drag_target = 1;
        e.values[item_segment_type] = p.segment;
        ground_mark_edited();
        return;
    }
}

void gradient_edit_drag() {
    editor_state& e = editor_get();
    editor_gradient* g = gradient_selected();
    if (!g || e.drag_target != 1 || e.point < 0 || e.point >= static_cast<int>(g->points.size()))
        return;
    float x, z;
    editor_pointer_world(&x, &z);
    float t = x - g->x0, h = g->z0 - z;
    const float grain = e.values[item_granularity];
    if (grain != 0) {
        t = std::floor(t / grain) * grain;
        h = std::floor(h / grain) * grain;
    }
    profile_point& p = g->points[e.point];
    const int last = static_cast<int>(g->points.size()) - 1;
    if (e.point == 0 || e.point == last) {
        if (p.h != h) ground_mark_edited();
        p.h = h;
        return;
    }
    if (t <= g->points[e.point - 1].t || t >= g->points[e.point + 1].t) {
        g->points.erase(g->points.begin() + e.point);
        e.drag_target = 0;
        e.point = -1;
        ground_mark_edited();
        return;
    }
    if (p.t != t || p.h != h) ground_mark_edited();
    p.t = t;
    p.h = h;
}

void gradient_flatten() {
    editor_gradient* g = gradient_selected();
    if (!g) return;
    flatten(*g);
    editor_get().point = -1;
    ground_mark_edited();
}

void gradient_new() {
    editor_state& e = editor_get();
    editor_gradient g;
    g.x0 = e.view_x;
    g.z0 = e.view_z;
    g.x1 = e.view_x + 50;
    g.z1 = e.view_z;
    flatten(g);
    e.gradients.push_back(g);
    e.gradient = static_cast<int>(e.gradients.size()) - 1;
    e.point = -1;
    ground_mark_edited();
}

void gradient_copy() {
    editor_state& e = editor_get();
    const editor_gradient* from = gradient_selected();
    if (!from) {
        editor_message("No gradient selected");
        return;
    }
    const editor_gradient source = *from;
    gradient_new();
    editor_gradient& g = e.gradients.back();
    const float length = length_of(source);
    const float dx = length > 0 ? (source.x1 - source.x0) / length : 1;
    const float dz = length > 0 ? (source.z1 - source.z0) / length : 0;
    g.x0 = source.x0 + 10 * dz, g.z0 = source.z0 - 10 * dx;
    g.x1 = source.x1 + 10 * dz, g.z1 = source.z1 - 10 * dx;
    g.points = source.points;
}

void gradient_set_from_terrain() {
    editor_state& e = editor_get();
    editor_gradient* g = gradient_selected();
    if (!g || e.snapshot.empty()) return;
    const float c = ground().field.cell_size;
    const float length = length_of(*g);
    const float ux = length > 0 ? (g->x1 - g->x0) / length : 0;
    const float uz = length > 0 ? (g->z1 - g->z0) / length : 0;
    height_field view = ground().field;
    view.heights = e.snapshot.data();
    std::vector<profile_point> points;
    for (int k = 0; static_cast<float>(k) * c < length; k++) {
        const float t = static_cast<float>(k) * c;
        points.push_back({t, field_height_at(view, g->x0 + ux * t, g->z0 + uz * t), 1});
    }
    points.push_back({length, field_height_at(view, g->x1, g->z1), 1});
    // From the end back: a straight run long enough keeps only its ends, joined by a line.
    const float min_span = 2 * std::sqrt(2.0f) * c;
    int end = static_cast<int>(points.size()) - 1;
    while (end >= 2) {
        auto slope = [&](int k) {
            return (points[k + 1].h - points[k].h) / (points[k + 1].t - points[k].t);
        };
        int start = end - 1;
        while (start >= 1 && std::fabs(slope(start - 1) - slope(start)) < 1.0f / 8192) start--;
        if (end - start >= 2 && points[end].t - points[start].t >= min_span) {
            points.erase(points.begin() + start + 1, points.begin() + end);
            points[start].segment = 0;
        }
        end = start;
    }
    g->points = points;
    e.point = -1;
    ground_mark_edited();
}

void gradient_set_segment_type(int type) {
    editor_state& e = editor_get();
    editor_gradient* g = gradient_selected();
    if (!g || e.point < 0 || e.point >= static_cast<int>(g->points.size())) return;
    g->points[e.point].segment = static_cast<uint8_t>(type);
    ground_mark_edited();
}
