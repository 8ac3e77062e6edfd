// Contact generation for a bike against the ground: tyres, rolling resistance and body spheres.
#include "bike/contact/bike_contact.h"

#include "bike/sim/bike_local.h"
#include "bike/rider/bike_rider.h"

#include "common/common.h"
#include "terrain/roost.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// The bodies whose spheres meet the ground, with the shape each carries.
struct body_shape {
    int body;
    int shape;
};
constexpr body_shape k_ground_bodies[] = {
    {body_frame, shape_frame},           {body_fork_upper, shape_fork_upper},
    {body_fork_lower, shape_fork_lower}, {body_swingarm, shape_swingarm},
    {body_rider, shape_rider},
};

void tyre_contact(int bike, bike_state& b, const wheel_part& part, wheel_contact& w) {
    ground_hit hit;
    if (!wheel_ground_test(part, w, &hit)) {
        w.depth = 0;
        return;
    }
    dVector3 u;
    dBodyGetPointVel(part.wheel, hit.point.x, hit.point.y, hit.point.z, u);
    w.point = hit.point;
    w.velocity = vec_of(u);
    w.normal = hit.normal;
    w.depth = static_cast<float>(hit.depth);

    int type = surface_type_at(static_cast<float>(hit.point.x), static_cast<float>(hit.point.z));
    double grip = 1;
    if (b.params.arcade) {
        double lean = std::fabs(bike_lean_angle(bike));
        grip = 1 - 0.375 * std::clamp(4 * lean / k_pi, 0.0, 1.0);
    }
    double mu = friction_at(type, static_cast<float>(length(w.velocity))) * grip;
    double k = 0, c = 0;
    tyre_softness(hit.depth, part.tyre_radius, &k, &c);

    // Friction across the slide when sliding, else across the wheel's own travel.
    vec3d n = hit.normal;
    vec3d fdir = cross(n, w.velocity);
    if (dot(fdir, fdir) < 1.0 / 1024) fdir = cross(n, body_axis(part.wheel, 0));
    double fl = length(fdir);
    fdir = fl > 0 ? fdir * (1 / fl) : vec3d{};
    dJointID j = contact_joint_make(part.wheel, nullptr, hit.point, n, hit.depth, mu, k, c, fdir);
    dJointSetFeedback(j, &w.feedback);

    // Rolling resistance, proportional below 1 ft/s so a bike can come to rest.
    vec3d v = vec_of(dBodyGetLinearVel(part.wheel));
    v = v - n * dot(v, n);
    double speed = length(v);
    float p = 0, q = 0;
    roll_resist_at(type, static_cast<float>(speed), &p, &q);
    double sink = std::min(hit.depth / part.tyre_radius, 1.0);
    double f = p + (q - p) * sink;
    vec3d force = speed > 1 ? v * (-f / speed) : v * -f;
    dBodyAddForce(part.wheel, force.x, force.y, force.z);
}

// False only when no sphere of the body's shape can reach the ground: the sphere around the
// body holding them all lies wholly above the highest ground under it. Each sphere's own square
// lies inside the body's, so no sphere finds ground higher than `highest` (ft) under it: a
// sphere clear of that is clear of the ground too.
bool body_may_touch_ground(dBodyID body, const shape& sh, float* highest) {
    // Slack over the rounding of the bound and the body's rotation (ft).
    constexpr double k_slack = 1.0 / 1024;
    const height_field& field = ground().field;
    double r = sh.bounding_radius + k_slack;
    *highest = std::numeric_limits<float>::infinity();
    // The ground walk stops at squares wider than the field; there only each sphere can tell.
    if (2 * r >= field.cell_size * (field.samples_per_side - 1)) return true;
    vec3d o = vec_of(dBodyGetPosition(body));
    float x0 = static_cast<float>(o.x - r), z0 = static_cast<float>(o.z - r);
    float x1 = static_cast<float>(o.x + r), z1 = static_cast<float>(o.z + r);
    *highest = ground_highest_in_square(x0, z0, x1, z1);
    return !(o.y - r > *highest);
}

vec3d body_point(dBodyID body, vec3 local) {
    dVector3 out;
    dBodyGetRelPointPos(body, local.x, local.y, local.z, out);
    return vec_of(out);
}
} // namespace

double soft_erp(double k, double c) { return k_tic_length * k / (k_tic_length * k + c); }
double soft_cfm(double k, double c) { return 1 / (k_tic_length * k + c); }

void tyre_softness(double depth, double tyre_radius, double* k, double* c) {
    double s = tyre_radius > 0 ? std::min(depth / tyre_radius, 1.0) : 1.0;
    double s3 = s * s * s;
    *k = 24000 * s3 + 1000;
    *c = 2300 * s3 + 200;
}

dJointID contact_joint_make(dBodyID body1, dBodyID body2, vec3d point, vec3d normal, double depth,
                            double mu, double k, double c, vec3d fdir1) {
    dContact contact = {};
    contact.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
    contact.surface.mu = mu;
    contact.surface.soft_erp = soft_erp(k, c);
    contact.surface.soft_cfm = soft_cfm(k, c);
    contact.geom.pos[0] = point.x;
    contact.geom.pos[1] = point.y;
    contact.geom.pos[2] = point.z;
    contact.geom.normal[0] = normal.x;
    contact.geom.normal[1] = normal.y;
    contact.geom.normal[2] = normal.z;
    contact.geom.depth = depth;
    if (dot(fdir1, fdir1) > 0) {
        contact.surface.mode |= dContactFDir1;
        contact.fdir1[0] = fdir1.x;
        contact.fdir1[1] = fdir1.y;
        contact.fdir1[2] = fdir1.z;
    }
    dJointID j = dJointCreateContact(world_id(), world_contact_group(), &contact);
    dJointAttach(j, body1, body2);
    return j;
}

bool bike_collide_world(int bike, const bike_tic& t) {
    bike_state& b = bike_at(bike);
    tyre_contact(bike, b, b.front_wheel, b.ride.front_contact);
    tyre_contact(bike, b, b.rear_wheel, b.ride.rear_contact);
    bool touched = wheel_touches(b.ride.front_contact) || wheel_touches(b.ride.rear_contact);

    for (const body_shape& bs : k_ground_bodies) {
        dBodyID body = b.bodies[bs.body];
        const shape& sh = b.shapes[bs.shape];
        float highest = 0;
        if (sh.spheres.empty() || !contact_ground_ready() ||
            !body_may_touch_ground(body, sh, &highest))
            continue;
        bool body_touched = false;
        for (const shape_sphere& s : sh.spheres) {
            ground_hit hit;
            vec3d c = body_point(body, s.centre);
            if (c.y - s.radius > highest || !sphere_ground_test(c, s.radius, &hit)) continue;
            contact_joint_make(body, nullptr, hit.point, hit.normal, hit.depth, s.friction, 2500,
                               250, {});
            body_touched = true;
        }
        if (!body_touched) continue;
        touched = true;
        // The frame sliding on its skid plate is still riding; anything else down is a fall.
        if (bs.body != body_frame) b.ride.rider_down = 1;
        if (bs.body == body_rider && b.ride.knockout_tics <= 0 &&
            body_axis(b.bodies[body_rider], 1).y < 0 &&
            length(vec_of(dBodyGetLinearVel(b.bodies[body_rider]))) > 5)
            rider_crash(b, t);
    }
    statue_contacts(b, t.tic);
    return touched;
}

bool bike_overlaps_ground(int bike) {
    const bike_state& b = bike_at(bike);
    ground_hit hit;
    if (wheel_ground_test(b.front_wheel, b.ride.front_contact, &hit) && hit.depth > 0) return true;
    if (wheel_ground_test(b.rear_wheel, b.ride.rear_contact, &hit) && hit.depth > 0) return true;
    for (const body_shape& bs : k_ground_bodies) {
        dBodyID body = b.bodies[bs.body];
        const shape& sh = b.shapes[bs.shape];
        float highest = 0;
        if (sh.spheres.empty() || !body_may_touch_ground(body, sh, &highest)) continue;
        for (const shape_sphere& s : sh.spheres) {
            vec3d c = body_point(body, s.centre);
            if (c.y - s.radius <= highest && sphere_ground_test(c, s.radius, &hit)) return true;
        }
    }
    return false;
}

namespace {
void put(float out[3], vec3d v) {
    out[0] = static_cast<float>(v.x);
    out[1] = static_cast<float>(v.y);
    out[2] = static_cast<float>(v.z);
}

// A wheel as the roost emitter takes it: the tic's contact when it is known, else one found now.
roost_wheel roost_wheel_of(const wheel_part& part, const wheel_contact& w, bool known) {
    roost_wheel r;
    vec3d point, normal, velocity;
    if (known) {
        if (!wheel_touches(w)) return r;
        point = w.point;
        normal = w.normal;
        velocity = w.velocity;
    } else {
        ground_hit hit;
        if (!contact_ground_ready() || !wheel_ground_test(part, w, &hit) || hit.depth <= 0)
            return r;
        dVector3 u;
        dBodyGetPointVel(part.wheel, hit.point.x, hit.point.y, hit.point.z, u);
        point = hit.point;
        normal = hit.normal;
        velocity = vec_of(u);
    }
    r.touching = true;
    put(r.point, point);
    put(r.normal, normal);
    put(r.point_velocity, velocity);
    put(r.centre, vec_of(dBodyGetPosition(part.wheel)));
    put(r.velocity, vec_of(dBodyGetLinearVel(part.wheel)));
    put(r.spin, vec_of(dBodyGetAngularVel(part.wheel)));
    put(r.axle, body_axis(part.wheel, 0));
    return r;
}
} // namespace

void bike_emit_roost(int bike, bool simulated, int tic) {
    const bike_state& b = bike_at(bike);
    roost_emit_bike(roost_wheel_of(b.front_wheel, b.ride.front_contact, simulated),
                    roost_wheel_of(b.rear_wheel, b.ride.rear_contact, simulated), tic);
}
