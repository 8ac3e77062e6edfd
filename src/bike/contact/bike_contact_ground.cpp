// Where a tyre or a sphere presses into the ground's triangles: deepest point, normal and depth.
#include "bike/contact/bike_contact.h"
#include "bike/sim/bike_local.h"

#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
struct triangle_d {
    vec3d v[3];
    vec3d n; // unit, upward
};

void triangle_corners(const ground_triangle& t, triangle_d* out) {
    for (int i = 0; i < 3; i++) out->v[i] = {t.corner[i].x, t.corner[i].y, t.corner[i].z};
}

void triangle_normal(triangle_d* t) {
    vec3d n = normalized(cross(t->v[1] - t->v[0], t->v[2] - t->v[0]));
    // The ground's triangles face up whatever their winding.
    t->n = n.y < 0 ? n * -1.0 : n;
}

triangle_d triangle_of(const ground_triangle& t) {
    triangle_d out;
    triangle_corners(t, &out);
    triangle_normal(&out);
    return out;
}

// Slack on the quick distance bound, well above the rounding of ground coordinates (ft).
constexpr double k_bound_slack = 1.0 / 1024;

// False only when every point of the triangle lies at least `reach` from p: the box around its
// corners is that far away.
bool box_within(const triangle_d& t, vec3d p, double reach) {
    auto gap = [](double a, double b, double c, double x) {
        double lo = std::min(a, std::min(b, c)), hi = std::max(a, std::max(b, c));
        return x < lo ? lo - x : (x > hi ? x - hi : 0.0);
    };
    double dx = gap(t.v[0].x, t.v[1].x, t.v[2].x, p.x);
    double dy = gap(t.v[0].y, t.v[1].y, t.v[2].y, p.y);
    double dz = gap(t.v[0].z, t.v[1].z, t.v[2].z, p.z);
    double limit = reach + k_bound_slack;
    return dx * dx + dy * dy + dz * dz < limit * limit;
}

// Whether p, projected along the triangle's normal, falls inside it (edges included).
bool over_triangle(const triangle_d& t, vec3d p) {
    double s[3];
    for (int i = 0; i < 3; i++) {
        vec3d e = t.v[(i + 1) % 3] - t.v[i];
        s[i] = dot(cross(e, p - t.v[i]), t.n);
    }
    return (s[0] >= 0 && s[1] >= 0 && s[2] >= 0) || (s[0] <= 0 && s[1] <= 0 && s[2] <= 0);
}

vec3d segment_closest(vec3d a, vec3d b, vec3d p) {
    vec3d e = b - a;
    double ee = dot(e, e);
    if (ee <= 0) return a;
    return a + e * std::clamp(dot(p - a, e) / ee, 0.0, 1.0);
}

// The point of the rim circle (centre c, unit axis a, radius R) nearest to p.
vec3d circle_closest(vec3d c, vec3d a, double R, vec3d p, vec3d fallback) {
    vec3d q = p - c;
    vec3d radial = q - a * dot(a, q);
    double l = length(radial);
    if (l < 1e-12) return fallback;
    return c + radial * (R / l);
}

// A triangle whose edges the tyre search still has to walk: its lowest rim point lies beside it.
struct edge_walk {
    triangle_d t;
    vec3d rim_point;
    double above = 0;     // ft, of the lowest rim point over the triangle's plane
    double distance2 = 0; // ft², from the axle's centre to the triangle's nearest point
    int order = 0;        // of the triangle's first candidate
};

// The edge walks of the tyre search in progress, kept between searches so that the search does
// not allocate; the simulation runs on one thread.
struct ground_scratch {
    std::vector<edge_walk> walks;
};
ground_scratch g_ground_scratch;

// Slack on the bounds that pass over an edge walk: far above the rounding of a computed depth
// (ft), so a walk is skipped only when its depth would surely fall short of the best.
constexpr double k_depth_slack = 1.0 / (1 << 30);

// The tyre's deepest contact. Candidates are numbered in the order the triangles are visited
// (four numbers to a triangle: the face, then its three edges); the deepest wins, and of equal
// depths the first, so the edge walks may run after the faces and still find the same contact.
struct torus_search {
    vec3d centre, axle;
    double rim = 0, tyre = 0;
    ground_hit best;
    int best_order = 0;
    bool found = false;
    int visited = 0; // triangles
};

void keep(torus_search& s, int order, vec3d point, vec3d normal, double depth) {
    if (depth <= 0) return;
    if (s.found && (depth < s.best.depth || (depth == s.best.depth && order > s.best_order)))
        return;
    s.found = true;
    s.best_order = order;
    s.best.point = point;
    s.best.normal = normal;
    s.best.depth = depth;
}

// True when no contact of depth up to `bound` (ft) can beat the best found.
bool beaten(const torus_search& s, double bound) {
    return s.found && bound + k_depth_slack < s.best.depth;
}

// True when no contact with points at least sqrt(distance2) from the axle's centre can beat the
// best found: every rim point lies the rim radius from the centre, so such a point lies at
// least that distance less the rim radius from the rim.
bool beaten_from_centre(const torus_search& s, double distance2) {
    if (!s.found) return false;
    double least = s.rim + s.tyre - s.best.depth + k_depth_slack;
    return least > 0 && distance2 > least * least;
}

vec3d triangle_closest(const triangle_d& t, vec3d p);

// Beside the triangle an edge or corner may still reach into the tyre: alternate nearest points
// between each edge and the rim circle until they settle.
void torus_edges(torus_search& s, const edge_walk& w) {
    const triangle_d& t = w.t;
    // Every edge point lies in the plane, at least `above` from every rim point, and no nearer
    // the centre than the triangle.
    if (beaten(s, s.tyre - w.above) || beaten_from_centre(s, w.distance2)) return;
    double reach = s.rim + s.tyre;
    for (int i = 0; i < 3; i++) {
        vec3d a = t.v[i], b = t.v[(i + 1) % 3];
        vec3d to_centre = segment_closest(a, b, s.centre) - s.centre;
        double centre_distance2 = dot(to_centre, to_centre);
        if (centre_distance2 >= reach * reach) continue;
        // Most edges fall well short of the best face.
        if (beaten_from_centre(s, centre_distance2)) continue;
        vec3d q = segment_closest(a, b, w.rim_point);
        vec3d k = w.rim_point;
        for (int it = 0; it < 6; it++) {
            k = circle_closest(s.centre, s.axle, s.rim, q, w.rim_point);
            vec3d next = segment_closest(a, b, k);
            // Once the edge point repeats to the bit, every further round repeats too.
            bool settled = std::memcmp(&next, &q, sizeof q) == 0;
            q = next;
            if (settled) break;
        }
        vec3d sep = k - q;
        double dist = length(sep);
        // A rim below the surface beside this triangle is the neighbouring triangle's to find.
        if (dist < 1e-9 || dot(sep, t.n) <= 0) continue;
        keep(s, w.order + 1 + i, q, sep * (1 / dist), s.tyre - dist);
    }
}

// The first pass: each triangle's face; the edge walks wait until every face is known, when the
// best face usually leaves them nothing to find.
void torus_visit(const ground_triangle& gt, void* context) {
    torus_search& s = *static_cast<torus_search*>(context);
    int order = 4 * s.visited++;
    triangle_d t;
    triangle_corners(gt, &t);
    // Every point of the tyre lies within rim + tyre radius of the axle's centre. Most of the
    // triangles under the wheel's square are out of that reach, and the box says so cheaply.
    double reach = s.rim + s.tyre;
    if (!box_within(t, s.centre, reach)) return;
    vec3d near = triangle_closest(t, s.centre) - s.centre;
    double distance2 = dot(near, near);
    if (distance2 >= reach * reach) return;
    triangle_normal(&t);
    vec3d d = normalized((t.n - s.axle * dot(s.axle, t.n)) * -1.0);
    // A wheel lying flat has no lowest rim point; its centre stands for the rim.
    vec3d rim_point = s.centre + d * s.rim;
    double above = dot(rim_point - t.v[0], t.n);
    // The lowest rim point is the rim's nearest to the plane: a tyre's width clear of the plane
    // is clear of every point of the triangle in it.
    if (above >= s.tyre) return;
    if (over_triangle(t, rim_point)) {
        keep(s, order, rim_point - t.n * above, t.n, s.tyre - above);
        return;
    }
    g_ground_scratch.walks.push_back({t, rim_point, above, distance2, order});
}

struct sphere_search {
    vec3d centre;
    double radius = 0;
    ground_hit best;
    bool found = false;
};

// Closest point of the triangle to p (Voronoi regions of the corners, edges and face).
vec3d triangle_closest(const triangle_d& t, vec3d p) {
    vec3d a = t.v[0], b = t.v[1], c = t.v[2];
    vec3d ab = b - a, ac = c - a, ap = p - a;
    double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    vec3d bp = p - b;
    double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) return b;
    double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + ab * (d1 / (d1 - d3));
    vec3d cp = p - c;
    double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
    double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
    double denom = 1 / (va + vb + vc);
    return a + ab * (vb * denom) + ac * (vc * denom);
}

void sphere_visit(const ground_triangle& gt, void* context) {
    sphere_search& s = *static_cast<sphere_search*>(context);
    triangle_d t = triangle_of(gt);
    double above = dot(s.centre - t.v[0], t.n);
    ground_hit hit;
    if (over_triangle(t, s.centre)) {
        hit.point = s.centre - t.n * above;
        hit.normal = t.n;
        hit.depth = s.radius - above;
    } else {
        if (above <= 0) return;
        vec3d q = triangle_closest(t, s.centre);
        vec3d sep = s.centre - q;
        double dist = length(sep);
        if (dist < 1e-9) return;
        hit.point = q;
        hit.normal = sep * (1 / dist);
        hit.depth = s.radius - dist;
    }
    if (hit.depth <= 0 || (s.found && hit.depth <= s.best.depth)) return;
    s.found = true;
    s.best = hit;
}
} // namespace

void ground_scratch_free() { g_ground_scratch = ground_scratch{}; }

bool contact_ground_ready() { return ground().field.heights != nullptr; }

float contact_ground_height(float x, float z) {
    return contact_ground_ready() ? ground_height_at(x, z) : 0.0f;
}

float contact_first_friction(float x, float z) {
    if (!contact_ground_ready() || ground().surfaces.count <= 0) return 1;
    return surface_type_get(surface_type_at(x, z)).friction[0].value;
}

bool wheel_ground_test(const wheel_part& wheel, const wheel_contact& last, ground_hit* out) {
    if (!contact_ground_ready()) return false;
    torus_search s;
    s.centre = vec_of(dBodyGetPosition(wheel.wheel));
    s.axle = body_axis(wheel.wheel, 0);
    s.rim = wheel.rim_radius;
    s.tyre = wheel.tyre_radius;
    double reach = s.rim + s.tyre;
    float x0 = static_cast<float>(s.centre.x - reach), z0 = static_cast<float>(s.centre.z - reach);
    float x1 = static_cast<float>(s.centre.x + reach), z1 = static_cast<float>(s.centre.z + reach);
    // A tyre wholly above the highest ground under it touches none of its triangles. That is
    // worth asking first only of a tyre that was off the ground at its last test: a tyre that
    // was on it rarely leaves in one tic, and its triangles would tell the same.
    if (!wheel_touches(last) && s.centre.y - reach > ground_highest_in_square(x0, z0, x1, z1))
        return false;
    std::vector<edge_walk>& walks = g_ground_scratch.walks;
    walks.clear();
    ground_triangles_in_square(x0, z0, x1, z1, torus_visit, &s);
    for (const edge_walk& w : walks) torus_edges(s, w);
    if (!s.found) return false;
    // A tyre is never pulled down: a wall pushes sideways, a ceiling pushes up.
    vec3d n = s.best.normal;
    if (n.y < 0) {
        if (n.x * n.x + n.z * n.z >= 1.0 / 1024)
            n.y = 0;
        else
            n = {0, 1, 0};
    }
    s.best.normal = normalized(n);
    *out = s.best;
    return true;
}

bool sphere_ground_test(vec3d centre, double radius, ground_hit* out) {
    if (!contact_ground_ready()) return false;
    sphere_search s;
    s.centre = centre;
    s.radius = radius;
    float x0 = static_cast<float>(centre.x - radius), z0 = static_cast<float>(centre.z - radius);
    float x1 = static_cast<float>(centre.x + radius), z1 = static_cast<float>(centre.z + radius);
    if (centre.y - radius > ground_highest_in_square(x0, z0, x1, z1)) return false;
    ground_triangles_in_square(x0, z0, x1, z1, sphere_visit, &s);
    if (!s.found) return false;
    *out = s.best;
    return true;
}
