// Sphere contacts between bikes and with the track's statues, and the statues' 8 × 8 buckets.
#include "bike/bike_contact.h"

#include "bike/bike_local.h"
#include "bike/bike_sim.h"

#include <algorithm>
#include <cmath>

namespace {
struct statue_table {
    std::vector<contact_statue> statues;
    std::vector<int> buckets[k_statue_buckets][k_statue_buckets]; // [z][x], statue order
    double extent = 0;                                            // ft
};
statue_table g_statues;

// One collision part of a bike: a shaped body, or a wheel standing as its rim circle.
struct bike_part {
    int body = 0;
    const shape* part_shape = nullptr; // null for a wheel
    const wheel_contact* wheel = nullptr;
};

int bike_parts(const bike_state& b, bike_part out[k_bike_shape_count]) {
    static constexpr int k_shaped[][2] = {{body_frame, shape_frame},
                                          {body_fork_upper, shape_fork_upper},
                                          {body_fork_lower, shape_fork_lower},
                                          {body_swingarm, shape_swingarm},
                                          {body_rider, shape_rider}};
    int n = 0;
    for (const auto& bs : k_shaped)
        if (!b.shapes[bs[1]].spheres.empty()) out[n++] = {bs[0], &b.shapes[bs[1]], nullptr};
    out[n++] = {body_front_wheel, nullptr, &b.front_contact};
    out[n++] = {body_rear_wheel, nullptr, &b.rear_contact};
    return n;
}

double part_bounding_radius(const bike_part& p) {
    return p.part_shape ? p.part_shape->bounding_radius
                        : p.wheel->rim_radius + p.wheel->tyre_radius;
}

bike_vec3d world_point(dBodyID body, bike_vec3 local) {
    dVector3 out;
    dBodyGetRelPointPos(body, local.x, local.y, local.z, out);
    return vec_of(out);
}

// The wheel as a sphere at its rim point nearest `towards`.
shape_sphere wheel_sphere(const wheel_contact& w, bike_vec3d towards, bike_vec3d* centre) {
    bike_vec3d c = vec_of(dBodyGetPosition(w.wheel));
    bike_vec3d a = body_axis(w.wheel, 0);
    bike_vec3d q = towards - c;
    bike_vec3d radial = q - a * dot(a, q);
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

// Either a joint, or in passive mode equal and opposite forces on the enabled bodies.
void sphere_pair_apply(dBodyID body1, dBodyID body2, const sphere_pair_hit& h, bool passive) {
    if (!h.joined) return;
    if (!passive) {
        // The normal runs from the first centre to the second, so it points into body 2.
        contact_joint_make(body2, body1, h.point, h.normal, h.depth, h.mu, h.k, h.c, {});
        return;
    }
    dVector3 u1 = {0, 0, 0, 0}, u2 = {0, 0, 0, 0};
    if (body1) dBodyGetPointVel(body1, h.point.x, h.point.y, h.point.z, u1);
    if (body2) dBodyGetPointVel(body2, h.point.x, h.point.y, h.point.z, u2);
    double f =
        std::clamp(dot(h.normal, vec_of(u1) - vec_of(u2)) * h.c + h.depth * h.k, -1000.0, 1000.0);
    bike_vec3d force = h.normal * f;
    if (body2 && dBodyIsEnabled(body2))
        dBodyAddForceAtPos(body2, force.x, force.y, force.z, h.point.x, h.point.y, h.point.z);
    if (body1 && dBodyIsEnabled(body1))
        dBodyAddForceAtPos(body1, -force.x, -force.y, -force.z, h.point.x, h.point.y, h.point.z);
}

// Every sphere of part p (of body1) against every sphere of the shape q placed by (pos, rot)
// or of the wheel of q. True when anything touched.
bool parts_touch(dBodyID body1, const bike_part& p, dBodyID body2, const bike_part& q,
                 bool passive) {
    bool touched = false;
    auto spheres_of = [](dBodyID body, const bike_part& part, bike_vec3d towards,
                         std::vector<std::pair<bike_vec3d, shape_sphere>>& out) {
        out.clear();
        if (part.part_shape) {
            for (const shape_sphere& s : part.part_shape->spheres)
                out.push_back({world_point(body, s.centre), s});
        } else {
            bike_vec3d c;
            shape_sphere s = wheel_sphere(*part.wheel, towards, &c);
            out.push_back({c, s});
        }
    };
    // Kept between calls so the pair loops do not allocate; the simulation has one thread.
    static std::vector<std::pair<bike_vec3d, shape_sphere>> s1, s2;
    bike_vec3d c2 = vec_of(dBodyGetPosition(body2));
    spheres_of(body1, p, c2, s1);
    for (const auto& a : s1) {
        spheres_of(body2, q, a.first, s2);
        for (const auto& b : s2) {
            // A wheel of the first part faces each sphere of the second with its nearest rim point.
            bike_vec3d ca = a.first;
            shape_sphere sa = a.second;
            if (!p.part_shape) sa = wheel_sphere(*p.wheel, b.first, &ca);
            sphere_pair_hit h;
            if (!sphere_pair_test(ca, sa, b.first, b.second, &h)) continue;
            touched = true;
            sphere_pair_apply(body1, body2, h, passive);
        }
    }
    return touched;
}

bool is_front_kind(int body) { return body == body_front_wheel || body == body_fork_lower; }

double frame_speed_squared(const bike_state& b) {
    bike_vec3d v = vec_of(dBodyGetLinearVel(b.bodies[body_frame]));
    return dot(v, v);
}
} // namespace

bool sphere_pair_test(bike_vec3d c1, const shape_sphere& s1, bike_vec3d c2, const shape_sphere& s2,
                      sphere_pair_hit* out) {
    bike_vec3d sep = c2 - c1;
    double d = length(sep);
    double depth = s1.radius + s2.radius - d;
    if (depth <= 0) return false;
    sphere_pair_hit h;
    h.depth = depth;
    // Centres on top of each other give no direction to push along.
    h.joined = !(d < 1.0 / 16 && d < std::min(s1.radius, s2.radius) / 16);
    h.normal = d > 0 ? sep * (1 / d) : bike_vec3d{0, 1, 0};
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

std::vector<int> statues_near(double x0, double z0, double x1, double z1) {
    std::vector<int> out;
    if (g_statues.statues.empty()) return out;
    int bx0 = statue_bucket_index(x0, g_statues.extent);
    int bx1 = statue_bucket_index(x1, g_statues.extent);
    int bz0 = statue_bucket_index(z0, g_statues.extent);
    int bz1 = statue_bucket_index(z1, g_statues.extent);
    for (int z = bz0; z <= bz1; z++)
        for (int x = bx0; x <= bx1; x++) {
            // Each bucket is already in statue order, so merging keeps the list sorted.
            std::vector<int> merged;
            const std::vector<int>& bucket = g_statues.buckets[z][x];
            std::set_union(out.begin(), out.end(), bucket.begin(), bucket.end(),
                           std::back_inserter(merged));
            out.swap(merged);
        }
    return out;
}

const contact_statue& statue_at(int index) { return g_statues.statues[index]; }

void statue_contacts(bike_state& b) {
    bike_vec3d f = vec_of(dBodyGetPosition(b.bodies[body_frame]));
    std::vector<int> near = statues_near(f.x - 6, f.z - 6, f.x + 6, f.z + 6);
    bike_part parts[k_bike_shape_count];
    int count = bike_parts(b, parts);
    for (int index : near) {
        contact_statue& st = g_statues.statues[index];
        if (!st.statue_shape) continue;
        bool touched = false;
        for (int i = 0; i < count; i++) {
            dBodyID body = b.bodies[parts[i].body];
            for (const shape_sphere& s : st.statue_shape->spheres) {
                const double* r = st.rotation;
                bike_vec3d c =
                    st.position +
                    bike_vec3d{r[0] * s.centre.x + r[1] * s.centre.y + r[2] * s.centre.z,
                               r[4] * s.centre.x + r[5] * s.centre.y + r[6] * s.centre.z,
                               r[8] * s.centre.x + r[9] * s.centre.y + r[10] * s.centre.z};
                std::vector<std::pair<bike_vec3d, shape_sphere>> mine;
                if (parts[i].part_shape) {
                    for (const shape_sphere& m : parts[i].part_shape->spheres)
                        mine.push_back({world_point(body, m.centre), m});
                } else {
                    bike_vec3d wc;
                    shape_sphere ws = wheel_sphere(*parts[i].wheel, c, &wc);
                    mine.push_back({wc, ws});
                }
                for (const auto& m : mine) {
                    sphere_pair_hit h;
                    if (!sphere_pair_test(m.first, m.second, c, s, &h)) continue;
                    touched = true;
                    sphere_pair_apply(body, nullptr, h, false);
                }
            }
        }
        if (touched) st.touched_tic = world_clock();
    }
}

void rider_against_own_bike(bike_state& b) {
    if (b.shapes[shape_rider].spheres.empty()) return;
    bike_part rider = {body_rider, &b.shapes[shape_rider], nullptr};
    dBodyID rider_body = b.bodies[body_rider];
    static constexpr int k_parts[][2] = {{body_frame, shape_frame},
                                         {body_fork_upper, shape_fork_upper}};
    for (const auto& bs : k_parts) {
        if (b.shapes[bs[1]].spheres.empty()) continue;
        bike_part part = {bs[0], &b.shapes[bs[1]], nullptr};
        dBodyID body = b.bodies[bs[0]];
        bike_vec3d sep = vec_of(dBodyGetPosition(body)) - vec_of(dBodyGetPosition(rider_body));
        double reach = part_bounding_radius(rider) + part_bounding_radius(part);
        if (dot(sep, sep) >= reach * reach) continue;
        parts_touch(rider_body, rider, body, part, false);
    }
}

bool bike_collide_bike(int a, int b, bool passive) {
    bike_state& ba = bike_at(a);
    bike_state& bb = bike_at(b);
    bike_part pa[k_bike_shape_count], pb[k_bike_shape_count];
    int na = bike_parts(ba, pa), nb = bike_parts(bb, pb);
    bool touched = false;
    bool a_front_touched[k_bike_body_count] = {};
    bool b_touched[k_bike_body_count] = {};
    for (int i = 0; i < na; i++) {
        dBodyID body1 = ba.bodies[pa[i].body];
        bike_vec3d c1 = vec_of(dBodyGetPosition(body1));
        for (int j = 0; j < nb; j++) {
            dBodyID body2 = bb.bodies[pb[j].body];
            bike_vec3d c2 = vec_of(dBodyGetPosition(body2));
            double reach = part_bounding_radius(pa[i]) + part_bounding_radius(pb[j]);
            bike_vec3d sep = c2 - c1;
            if (dot(sep, sep) >= reach * reach) continue;
            if (!parts_touch(body1, pa[i], body2, pb[j], passive)) continue;
            touched = true;
            if (is_front_kind(pa[i].body)) a_front_touched[pa[i].body] = true;
            b_touched[pb[j].body] = true;
        }
    }
    if (!touched) return false;
    bool fa = a_front_touched[body_front_wheel] || a_front_touched[body_fork_lower];
    bool shared = (a_front_touched[body_front_wheel] && b_touched[body_front_wheel]) ||
                  (a_front_touched[body_fork_lower] && b_touched[body_fork_lower]);
    bool tb_front = b_touched[body_front_wheel] || b_touched[body_fork_lower];
    double va2 = frame_speed_squared(ba), vb2 = frame_speed_squared(bb);
    auto raise = [](bike_state& s, double speed2, float to) {
        if (speed2 >= 100) s.contact_timer = std::max(s.contact_timer, to);
    };
    if (shared) {
        raise(ba, va2, 128);
        raise(bb, vb2, 128);
    } else if (!fa && tb_front) {
        if (ba.knockout_tics <= 0 && std::lround(va2) >= 25) raise(bb, vb2, 192);
    } else if (fa) {
        if (bb.knockout_tics <= 0 && std::lround(vb2) >= 25) raise(ba, va2, 192);
    }
    return true;
}

int bikes_collide_all(const int* bikes, int count) {
    std::vector<int> order(bikes, bikes + count);
    for (int b : order) bike_collide_world(b);
    // Fastest first; equal speeds keep their handle order so every run pairs them alike.
    std::stable_sort(order.begin(), order.end(), [](int x, int y) {
        return frame_speed_squared(bike_at(x)) > frame_speed_squared(bike_at(y));
    });
    int touched = 0;
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++)
            if (bike_collide_bike(order[i], order[j], false)) touched++;
    return touched;
}
