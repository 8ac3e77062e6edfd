// Sphere contacts between bikes and with the track's statues, and the statues' 8 × 8 buckets.
#include "bike/contact/bike_contact.h"

#include "bike/sim/bike_local.h"

#include <algorithm>
#include <cmath>

namespace {
struct statue_table {
    std::vector<contact_statue> statues;
    std::vector<int> buckets[k_statue_buckets][k_statue_buckets]; // [z][x], statue order
    double extent = 0;                                            // ft
};
statue_table g_statues;

// Slack on every bounding test, so rounding in a bound never rejects a pair that the exact
// sphere test would find touching (ft).
constexpr double k_bound_slack = 1.0 / 1024;

// One collision part of a bike as it stands in this contact phase: a shaped body with its
// spheres' world centres, or a wheel standing as its rim circle.
struct placed_part {
    int body = 0;
    dBodyID id = nullptr;
    const shape* part_shape = nullptr; // null for a wheel
    const wheel_part* wheel = nullptr;
    vec3d origin;     // ft, the body's position
    double reach = 0; // ft, from the origin to the farthest sphere surface
    vec3d lo, hi;     // ft, a box holding every sphere (or the whole tyre)
    int first = 0;    // the part's first sphere in the bike's centre list
    // Most parts meet nothing, so their spheres and boxes are placed only when first asked.
    bool centres_placed = false;
    bool box_placed = false;
};

// A bike's parts as they stand, and one sphere and one box holding them all. Bodies do not move
// during the contact phase, so a bike is placed once per phase.
struct placed_bike {
    placed_part parts[k_bike_shape_count];
    int part_count = 0;
    std::vector<vec3d> centres; // ft, world centres of the shaped parts' spheres
    vec3d centre;               // ft, the frame's position
    double reach = 0;           // ft, holds every part's spheres, with slack
    vec3d lo, hi;               // ft, the box holding every part's box, once placed
    bool box_placed = false;
};

// Buffers the contact phase keeps between calls so that it does not allocate once the field is
// placed; the simulation runs on one thread.
struct contact_scratch {
    std::vector<int> near_spheres; // of one part, facing another
    std::vector<int> merged;       // statue buckets being merged
    std::vector<int> near_statues;
    std::vector<vec3d> statue_centres;
    placed_bike own; // a bike against statues or itself
    placed_bike pair[2];
    std::vector<int> order; // the field by speed
    std::vector<double> speed2;
    std::vector<placed_bike> placed;
};
contact_scratch g_scratch;

vec3d world_point(dBodyID body, vec3 local) {
    dVector3 out;
    dBodyGetRelPointPos(body, local.x, local.y, local.z, out);
    return vec_of(out);
}

// Boxes grow by a sphere's radius on every side.
void box_add(vec3d& lo, vec3d& hi, vec3d c, double r) {
    lo = {std::min(lo.x, c.x - r), std::min(lo.y, c.y - r), std::min(lo.z, c.z - r)};
    hi = {std::max(hi.x, c.x + r), std::max(hi.y, c.y + r), std::max(hi.z, c.z + r)};
}

// True only when the boxes lie apart by more than the slack along some axis: then no sphere of
// one reaches any sphere of the other. Boxes are far cheaper to compare than the spheres around
// parts, and much tighter around long, thin parts lying side by side.
bool boxes_apart(vec3d lo1, vec3d hi1, vec3d lo2, vec3d hi2) {
    return lo1.x > hi2.x + k_bound_slack || lo2.x > hi1.x + k_bound_slack ||
           lo1.y > hi2.y + k_bound_slack || lo2.y > hi1.y + k_bound_slack ||
           lo1.z > hi2.z + k_bound_slack || lo2.z > hi1.z + k_bound_slack;
}

double part_bounding_radius(const placed_part& p) {
    return p.part_shape ? p.part_shape->bounding_radius
                        : p.wheel->rim_radius + p.wheel->tyre_radius;
}

// A box holding the shape's spheres once the body is placed: the box around them in the body's
// own frame, turned with the body and grown to hold its turned self.
void shape_box(dBodyID body, const shape& sh, vec3d origin, vec3d* lo, vec3d* hi) {
    float lx = 1e30f, ly = 1e30f, lz = 1e30f, hx = -1e30f, hy = -1e30f, hz = -1e30f;
    for (const shape_sphere& s : sh.spheres) {
        lx = std::min(lx, s.centre.x - s.radius);
        ly = std::min(ly, s.centre.y - s.radius);
        lz = std::min(lz, s.centre.z - s.radius);
        hx = std::max(hx, s.centre.x + s.radius);
        hy = std::max(hy, s.centre.y + s.radius);
        hz = std::max(hz, s.centre.z + s.radius);
    }
    // Widened by the rounding of the float sums above.
    vec3d own_lo = vec3d{lx, ly, lz} - vec3d{1, 1, 1} * k_bound_slack;
    vec3d own_hi = vec3d{hx, hy, hz} + vec3d{1, 1, 1} * k_bound_slack;
    vec3d mid = (own_lo + own_hi) * 0.5, half = (own_hi - own_lo) * 0.5;
    const dReal* r = dBodyGetRotation(body);
    vec3d at = origin + vec3d{r[0] * mid.x + r[1] * mid.y + r[2] * mid.z,
                              r[4] * mid.x + r[5] * mid.y + r[6] * mid.z,
                              r[8] * mid.x + r[9] * mid.y + r[10] * mid.z};
    vec3d grown = {std::fabs(r[0]) * half.x + std::fabs(r[1]) * half.y + std::fabs(r[2]) * half.z,
                   std::fabs(r[4]) * half.x + std::fabs(r[5]) * half.y + std::fabs(r[6]) * half.z,
                   std::fabs(r[8]) * half.x + std::fabs(r[9]) * half.y + std::fabs(r[10]) * half.z};
    *lo = at - grown;
    *hi = at + grown;
}

// The part's box, placed on first use.
placed_part& part_box(placed_part& p) {
    if (!p.box_placed) {
        shape_box(p.id, *p.part_shape, p.origin, &p.lo, &p.hi);
        p.box_placed = true;
    }
    return p;
}

// The box holding every part's box, placed on first use.
placed_bike& bike_box(placed_bike& b) {
    if (!b.box_placed) {
        b.lo = b.hi = b.centre;
        for (int i = 0; i < b.part_count; i++) {
            const placed_part& p = part_box(b.parts[i]);
            box_add(b.lo, b.hi, p.lo, 0);
            box_add(b.lo, b.hi, p.hi, 0);
        }
        b.box_placed = true;
    }
    return b;
}

// True only when the bikes' enclosing spheres or boxes lie apart: then no parts are near.
bool bikes_apart(placed_bike& a, placed_bike& b) {
    vec3d sep = b.centre - a.centre;
    double reach = a.reach + b.reach;
    return dot(sep, sep) >= reach * reach ||
           boxes_apart(bike_box(a).lo, a.hi, bike_box(b).lo, b.hi);
}

// True only when the sphere lies apart from the part's box, as boxes_apart.
bool sphere_outside_box(vec3d c, double r, placed_part& q) {
    part_box(q);
    vec3d lo = {c.x - r, c.y - r, c.z - r}, hi = {c.x + r, c.y + r, c.z + r};
    return boxes_apart(lo, hi, q.lo, q.hi);
}

// The shaped bodies that have spheres, in body order, then both wheels.
void place_bike(bike_state& b, placed_bike& out) {
    static constexpr int k_shaped[][2] = {{body_frame, shape_frame},
                                          {body_fork_upper, shape_fork_upper},
                                          {body_fork_lower, shape_fork_lower},
                                          {body_swingarm, shape_swingarm},
                                          {body_rider, shape_rider}};
    out.part_count = 0;
    int spheres = 0;
    auto add = [&](int body, const shape* part_shape, const wheel_part* wheel) {
        placed_part& p = out.parts[out.part_count++];
        p.body = body;
        p.id = b.bodies[body];
        p.part_shape = part_shape;
        p.wheel = wheel;
        p.origin = vec_of(dBodyGetPosition(p.id));
        p.reach = part_bounding_radius(p);
        p.first = spheres;
        p.centres_placed = false;
        p.box_placed = !part_shape;
        if (part_shape) {
            spheres += static_cast<int>(part_shape->spheres.size());
        } else {
            p.lo = p.hi = p.origin;
            box_add(p.lo, p.hi, p.origin, p.reach);
        }
    };
    for (const auto& bs : k_shaped)
        if (!b.shapes[bs[1]].spheres.empty()) add(bs[0], &b.shapes[bs[1]], nullptr);
    add(body_front_wheel, nullptr, &b.front_wheel);
    add(body_rear_wheel, nullptr, &b.rear_wheel);
    out.centres.resize(spheres);
    out.centre = vec_of(dBodyGetPosition(b.bodies[body_frame]));
    out.reach = 0;
    out.box_placed = false;
    for (int i = 0; i < out.part_count; i++) {
        const placed_part& p = out.parts[i];
        out.reach = std::max(out.reach, length(p.origin - out.centre) + p.reach);
    }
    out.reach += k_bound_slack;
}

// The world centres of a shaped part's spheres, placed on first use.
const vec3d* part_centres(placed_bike& b, placed_part& p) {
    vec3d* out = b.centres.data() + p.first;
    if (!p.centres_placed && p.part_shape) {
        const std::vector<shape_sphere>& spheres = p.part_shape->spheres;
        for (size_t i = 0; i < spheres.size(); i++) out[i] = world_point(p.id, spheres[i].centre);
        p.centres_placed = true;
    }
    return out;
}

// False only when a sphere (centre c, radius r) surely cannot reach any sphere of the part.
bool may_reach(vec3d c, double r, const placed_part& q) {
    vec3d d = c - q.origin;
    double limit = r + q.reach + k_bound_slack;
    return dot(d, d) < limit * limit;
}

// The wheel as a sphere at its rim point nearest `towards`.
shape_sphere wheel_sphere(const wheel_part& w, vec3d towards, vec3d* centre) {
    vec3d c = vec_of(dBodyGetPosition(w.wheel));
    vec3d a = body_axis(w.wheel, 0);
    vec3d q = towards - c;
    vec3d radial = q - a * dot(a, q);
    double l = length(radial);
    // On the axle line every rim point is equally near; any one stands for the rim.
    *centre =
        l > 1e-12 ? c + radial * (w.rim_radius / l) : c + body_axis(w.wheel, 1) * w.rim_radius;
    shape_sphere s;
    s.radius = w.tyre_radius;
    s.friction = 1;
    s.stiffness = 25000;
    s.damping = 2500;
    return s;
}

// What a touching sphere pair makes: a joint, equal and opposite forces on the enabled bodies
// (passive), or nothing when only asking whether bikes overlap.
enum pair_mode { pair_joints, pair_forces, pair_test };

void sphere_pair_apply(dBodyID body1, dBodyID body2, const sphere_pair_hit& h, pair_mode mode) {
    if (!h.joined || mode == pair_test) return;
    if (mode == pair_joints) {
        // The normal runs from the first centre to the second, so it points into body 2.
        contact_joint_make(body2, body1, h.point, h.normal, h.depth, h.mu, h.k, h.c, {});
        return;
    }
    dVector3 u1 = {0, 0, 0, 0}, u2 = {0, 0, 0, 0};
    if (body1) dBodyGetPointVel(body1, h.point.x, h.point.y, h.point.z, u1);
    if (body2) dBodyGetPointVel(body2, h.point.x, h.point.y, h.point.z, u2);
    double f =
        std::clamp(dot(h.normal, vec_of(u1) - vec_of(u2)) * h.c + h.depth * h.k, -1000.0, 1000.0);
    vec3d force = h.normal * f;
    if (body2 && dBodyIsEnabled(body2))
        dBodyAddForceAtPos(body2, force.x, force.y, force.z, h.point.x, h.point.y, h.point.z);
    if (body1 && dBodyIsEnabled(body1))
        dBodyAddForceAtPos(body1, -force.x, -force.y, -force.z, h.point.x, h.point.y, h.point.z);
}

// Every sphere of part p (of bike pb) against every sphere of part q (of bike qb), p's spheres
// outermost; a wheel faces each sphere of the other part with its nearest rim point. Spheres
// that cannot reach the other part at all are passed over, which leaves the order of the
// contacts made as it is. True when anything touched.
bool parts_touch(placed_bike& pb, placed_part& p, placed_bike& qb, placed_part& q, pair_mode mode) {
    std::vector<int>& near_q = g_scratch.near_spheres;
    near_q.clear();
    const vec3d* qc = q.part_shape ? part_centres(qb, q) : nullptr;
    if (q.part_shape) {
        const std::vector<shape_sphere>& qs = q.part_shape->spheres;
        for (int j = 0; j < static_cast<int>(qs.size()); j++)
            if (may_reach(qc[j], qs[j].radius, p) && !sphere_outside_box(qc[j], qs[j].radius, p))
                near_q.push_back(j);
        if (near_q.empty()) return false;
    }
    const vec3d* pc = p.part_shape ? part_centres(pb, p) : nullptr;
    bool touched = false;
    int na = p.part_shape ? static_cast<int>(p.part_shape->spheres.size()) : 1;
    for (int i = 0; i < na; i++) {
        vec3d ca;
        shape_sphere sa;
        if (p.part_shape) {
            ca = pc[i];
            sa = p.part_shape->spheres[i];
            if (sphere_outside_box(ca, sa.radius, q)) continue;
        } else {
            // Only the rim point nearest q's origin stands here; another rim point may still
            // reach into q's box, so the wheel's own box answers for it.
            sa = wheel_sphere(*p.wheel, q.origin, &ca);
        }
        if (!may_reach(ca, sa.radius, q)) continue;
        auto against = [&](vec3d cb, const shape_sphere& sb) {
            vec3d c1 = ca;
            shape_sphere s1 = sa;
            if (!p.part_shape) s1 = wheel_sphere(*p.wheel, cb, &c1);
            sphere_pair_hit h;
            if (!sphere_pair_test(c1, s1, cb, sb, &h)) return;
            touched = true;
            sphere_pair_apply(p.id, q.id, h, mode);
        };
        if (q.part_shape) {
            for (int j : near_q) {
                against(qc[j], q.part_shape->spheres[j]);
                // Asked only whether they touch: the first touch answers.
                if (touched && mode == pair_test) return true;
            }
        } else {
            vec3d cb;
            shape_sphere sb = wheel_sphere(*q.wheel, ca, &cb);
            against(cb, sb);
            if (touched && mode == pair_test) return true;
        }
    }
    return touched;
}

bool is_front_kind(int body) { return body == body_front_wheel || body == body_fork_lower; }

double frame_speed_squared(const bike_state& b) {
    vec3d v = vec_of(dBodyGetLinearVel(b.bodies[body_frame]));
    return dot(v, v);
}
} // namespace

bool sphere_pair_test(vec3d c1, const shape_sphere& s1, vec3d c2, const shape_sphere& s2,
                      sphere_pair_hit* out) {
    vec3d sep = c2 - c1;
    // Most pairs lie well apart; the root is taken only near touching. The slack keeps every
    // pair the exact test below would take.
    double dd = dot(sep, sep);
    double reach = s1.radius + s2.radius + k_bound_slack;
    if (dd >= reach * reach) return false;
    double d = std::sqrt(dd);
    double depth = s1.radius + s2.radius - d;
    if (depth <= 0) return false;
    sphere_pair_hit h;
    h.depth = depth;
    // Centres on top of each other give no direction to push along.
    h.joined = !(d < 1.0 / 16 && d < std::min(s1.radius, s2.radius) / 16);
    h.normal = d > 0 ? sep * (1 / d) : vec3d{0, 1, 0};
    h.point = c1 + h.normal * (s1.radius - depth / 2);
    h.mu = std::min(s1.friction, s2.friction);
    h.k = std::min(s1.stiffness, s2.stiffness);
    h.c = std::min(s1.damping, s2.damping);
    // No pair pushes harder than 2500 lbf from its spring alone.
    if (h.k * depth > 2500) h.k = 2500 / depth;
    *out = h;
    return true;
}

int statue_bucket_index(double x, double extent) {
    if (extent <= 0) return 0;
    double i = std::floor(((x / extent) - 0.125) * 4.0 / 3.0 * 8);
    return static_cast<int>(std::clamp(i, 0.0, 7.0));
}

void statue_buckets_build(const std::vector<contact_statue>& statues, double extent) {
    statue_buckets_clear();
    g_statues.statues = statues;
    g_statues.extent = extent;
    for (int i = 0; i < static_cast<int>(statues.size()); i++) {
        const contact_statue& s = statues[i];
        double r = s.statue_shape ? s.statue_shape->bounding_radius : 0;
        int x0 = statue_bucket_index(s.position.x - r, extent);
        int x1 = statue_bucket_index(s.position.x + r, extent);
        int z0 = statue_bucket_index(s.position.z - r, extent);
        int z1 = statue_bucket_index(s.position.z + r, extent);
        for (int z = z0; z <= z1; z++)
            for (int x = x0; x <= x1; x++) g_statues.buckets[z][x].push_back(i);
    }
}

void statue_buckets_clear() {
    g_statues.statues.clear();
    for (auto& row : g_statues.buckets)
        for (auto& bucket : row) bucket.clear();
    g_statues.extent = 0;
}

namespace {
// The statues of the buckets covering the square, sorted and without duplicates, into `out`.
void statues_near_into(double x0, double z0, double x1, double z1, std::vector<int>& out) {
    out.clear();
    if (g_statues.statues.empty()) return;
    int bx0 = statue_bucket_index(x0, g_statues.extent);
    int bx1 = statue_bucket_index(x1, g_statues.extent);
    int bz0 = statue_bucket_index(z0, g_statues.extent);
    int bz1 = statue_bucket_index(z1, g_statues.extent);
    std::vector<int>& merged = g_scratch.merged;
    for (int z = bz0; z <= bz1; z++)
        for (int x = bx0; x <= bx1; x++) {
            // Each bucket is already in statue order, so merging keeps the list sorted.
            const std::vector<int>& bucket = g_statues.buckets[z][x];
            merged.clear();
            std::set_union(out.begin(), out.end(), bucket.begin(), bucket.end(),
                           std::back_inserter(merged));
            out.swap(merged);
        }
}
} // namespace

std::vector<int> statues_near(double x0, double z0, double x1, double z1) {
    std::vector<int> out;
    statues_near_into(x0, z0, x1, z1, out);
    return out;
}

const contact_statue& statue_at(int index) { return g_statues.statues[index]; }

namespace {
// The bike's parts against the statues near its frame whose indices lie in [first, last); with
// `record` each statue touched records the tic. True when any touched.
bool statues_touch(bike_state& b, int tic, pair_mode mode, bool record, int first, int last) {
    std::vector<int>& near = g_scratch.near_statues;
    vec3d f = vec_of(dBodyGetPosition(b.bodies[body_frame]));
    statues_near_into(f.x - 6, f.z - 6, f.x + 6, f.z + 6, near);
    if (near.empty()) return false;
    placed_bike& me = g_scratch.own;
    bool placed = false;
    bool any = false;
    std::vector<vec3d>& statue_centres = g_scratch.statue_centres;
    for (int index : near) {
        if (index < first || index >= last) continue;
        contact_statue& st = g_statues.statues[index];
        if (!st.statue_shape) continue;
        if (!placed) {
            place_bike(b, me);
            placed = true;
        }
        // A statue beyond the bike's own sphere meets none of its parts.
        const vec3d apart = st.position - me.centre;
        const double beyond = me.reach + st.statue_shape->bounding_radius + k_bound_slack;
        if (dot(apart, apart) >= beyond * beyond) continue;
        const std::vector<shape_sphere>& spheres = st.statue_shape->spheres;
        const double* r = st.rotation;
        // The statue placed as a part, so a bike part out of its reach is passed over whole.
        placed_part statue;
        statue.origin = st.position;
        statue_centres.clear();
        for (const shape_sphere& s : spheres) {
            vec3d c =
                st.position + vec3d{r[0] * s.centre.x + r[1] * s.centre.y + r[2] * s.centre.z,
                                    r[4] * s.centre.x + r[5] * s.centre.y + r[6] * s.centre.z,
                                    r[8] * s.centre.x + r[9] * s.centre.y + r[10] * s.centre.z};
            statue_centres.push_back(c);
            statue.reach = std::max(statue.reach, length(c - st.position) + s.radius);
        }
        bool touched = false;
        for (int i = 0; i < me.part_count; i++) {
            placed_part& part = me.parts[i];
            if (!may_reach(part.origin, part.reach, statue)) continue;
            const vec3d* mine = part_centres(me, part);
            for (size_t k = 0; k < spheres.size(); k++) {
                vec3d c = statue_centres[k];
                // A statue sphere out of the part's reach meets none of its spheres.
                if (!may_reach(c, spheres[k].radius, part)) continue;
                auto against = [&](vec3d cm, const shape_sphere& sm) {
                    sphere_pair_hit h;
                    if (!sphere_pair_test(cm, sm, c, spheres[k], &h)) return;
                    touched = true;
                    sphere_pair_apply(part.id, nullptr, h, mode);
                };
                if (part.part_shape) {
                    const std::vector<shape_sphere>& ms = part.part_shape->spheres;
                    for (size_t m = 0; m < ms.size(); m++) against(mine[m], ms[m]);
                } else {
                    vec3d wc;
                    shape_sphere ws = wheel_sphere(*part.wheel, c, &wc);
                    against(wc, ws);
                }
            }
        }
        if (touched && record) st.touched_tic = tic;
        any |= touched;
    }
    return any;
}
} // namespace

void statue_contacts(bike_state& b, int tic) {
    statues_touch(b, tic, pair_joints, true, 0, static_cast<int>(g_statues.statues.size()));
}

void statues_set(const bike_statue* statues, int count, double extent) {
    std::vector<contact_statue> list(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; i++) {
        list[i].position = statues[i].position;
        list[i].statue_shape = statues[i].collision;
        const double* m = statues[i].rotation;
        for (int r = 0; r < 3; r++)
            for (int c = 0; c < 3; c++) list[i].rotation[4 * r + c] = m[3 * r + c];
    }
    statue_buckets_build(list, extent);
}

void statue_set_pose(int statue, vec3d position, const double rotation[9]) {
    if (statue < 0 || statue >= static_cast<int>(g_statues.statues.size())) return;
    contact_statue& st = g_statues.statues[statue];
    st.position = position;
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) st.rotation[4 * r + c] = rotation[3 * r + c];
}

int statue_touched_tic(int statue) {
    if (statue < 0 || statue >= static_cast<int>(g_statues.statues.size())) return -1;
    return g_statues.statues[statue].touched_tic;
}

bool bike_overlaps_statues(int bike) {
    return statues_touch(bike_at(bike), 0, pair_test, false, 0,
                         static_cast<int>(g_statues.statues.size()));
}

void bike_touch_statues(int bike, int first, int count, int tic) {
    const int last = std::min(first + count, static_cast<int>(g_statues.statues.size()));
    // No joint is made: only the touches are recorded.
    statues_touch(bike_at(bike), tic, pair_test, true, first, last);
}

void rider_against_own_bike(bike_state& b) {
    if (b.shapes[shape_rider].spheres.empty()) return;
    placed_bike& me = g_scratch.own;
    place_bike(b, me);
    placed_part* rider = nullptr;
    for (int i = 0; i < me.part_count; i++)
        if (me.parts[i].body == body_rider) rider = &me.parts[i];
    // The rider's spheres meet the frame's, then the upper fork's.
    for (int body : {body_frame, body_fork_upper}) {
        for (int i = 0; i < me.part_count; i++) {
            placed_part& part = me.parts[i];
            if (part.body != body) continue;
            vec3d sep = part.origin - rider->origin;
            double reach = rider->reach + part.reach;
            if (dot(sep, sep) >= reach * reach) continue;
            parts_touch(me, *rider, me, part, pair_joints);
        }
    }
}

namespace {
// Contacts between two placed bikes; the rules of bike_collide_bike.
bool placed_bikes_collide(bike_state& ba, placed_bike& pa, bike_state& bb, placed_bike& pb,
                          pair_mode mode) {
    bool touched = false;
    bool a_front_touched[k_bike_body_count] = {};
    bool b_touched[k_bike_body_count] = {};
    for (int i = 0; i < pa.part_count; i++) {
        placed_part& p = pa.parts[i];
        for (int j = 0; j < pb.part_count; j++) {
            placed_part& q = pb.parts[j];
            double reach = p.reach + q.reach;
            vec3d sep = q.origin - p.origin;
            if (dot(sep, sep) >= reach * reach ||
                boxes_apart(part_box(p).lo, p.hi, part_box(q).lo, q.hi))
                continue;
            if (!parts_touch(pa, p, pb, q, mode)) continue;
            if (mode == pair_test) return true;
            touched = true;
            if (is_front_kind(p.body)) a_front_touched[p.body] = true;
            b_touched[q.body] = true;
        }
    }
    if (!touched || mode == pair_test) return touched;
    bool fa = a_front_touched[body_front_wheel] || a_front_touched[body_fork_lower];
    bool shared = (a_front_touched[body_front_wheel] && b_touched[body_front_wheel]) ||
                  (a_front_touched[body_fork_lower] && b_touched[body_fork_lower]);
    bool tb_front = b_touched[body_front_wheel] || b_touched[body_fork_lower];
    double va2 = frame_speed_squared(ba), vb2 = frame_speed_squared(bb);
    auto raise = [](bike_state& s, double speed2, float to) {
        if (speed2 >= 100) s.ride.contact_timer = std::max(s.ride.contact_timer, to);
    };
    if (shared) {
        raise(ba, va2, 128);
        raise(bb, vb2, 128);
    } else if (!fa && tb_front) {
        if (ba.ride.knockout_tics <= 0 && std::lround(va2) >= 25) raise(bb, vb2, 192);
    } else if (fa) {
        if (bb.ride.knockout_tics <= 0 && std::lround(vb2) >= 25) raise(ba, va2, 192);
    }
    return true;
}
} // namespace

namespace {
bool bikes_pair(int a, int b, pair_mode mode) {
    placed_bike& pa = g_scratch.pair[0];
    placed_bike& pb = g_scratch.pair[1];
    bike_state& ba = bike_at(a);
    bike_state& bb = bike_at(b);
    place_bike(ba, pa);
    place_bike(bb, pb);
    if (bikes_apart(pa, pb)) return false;
    return placed_bikes_collide(ba, pa, bb, pb, mode);
}
} // namespace

bool bike_collide_bike(int a, int b, bool passive) {
    return bikes_pair(a, b, passive ? pair_forces : pair_joints);
}

bool bikes_overlap(int a, int b) { return bikes_pair(a, b, pair_test); }

int bikes_collide_all(const int* bikes, int count, const bike_tic& t) {
    std::vector<int>& order = g_scratch.order;
    std::vector<double>& speed2 = g_scratch.speed2;
    std::vector<placed_bike>& placed = g_scratch.placed;
    for (int i = 0; i < count; i++) bike_collide_world(bikes[i], t);
    // Fastest first; equal speeds keep the order they were given in, so every run pairs them
    // alike.
    order.clear();
    speed2.clear();
    for (int i = 0; i < count; i++) {
        double s = frame_speed_squared(bike_at(bikes[i]));
        int k = i;
        order.push_back(bikes[i]);
        speed2.push_back(s);
        for (; k > 0 && s > speed2[k - 1]; k--) {
            order[k] = order[k - 1];
            speed2[k] = speed2[k - 1];
        }
        order[k] = bikes[i];
        speed2[k] = s;
    }
    if (static_cast<int>(placed.size()) < count) placed.resize(count);
    for (int i = 0; i < count; i++) place_bike(bike_at(order[i]), placed[i]);
    int touched = 0;
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++) {
            if (bikes_apart(placed[i], placed[j])) continue;
            if (placed_bikes_collide(bike_at(order[i]), placed[i], bike_at(order[j]), placed[j],
                                     pair_joints))
                touched++;
        }
    return touched;
}

void contact_scratch_free() {
    g_scratch = contact_scratch{};
    ground_scratch_free();
}
