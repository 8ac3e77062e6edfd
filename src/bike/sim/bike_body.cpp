// A bike's seven bodies and six joints: creation, reset, placement and destruction.
#include "bike/sim/bike_local.h"

#include <cmath>
#include <cstring>

namespace {
// A wheel: a hub sphere plus sixteen tyre-sized spheres on the rim circle, so it spins like a ring.
void wheel_mass(dMass& m, float hub_mass, float hub_radius, float rim_mass, float rim_radius,
                float tyre_radius) {
    dMassSetSphereTotal(&m, hub_mass, hub_radius);
    for (int k = 0; k < 16; k++) {
        double a = k * (k_pi / 8);
        dMass s;
        dMassSetSphereTotal(&s, rim_mass / 16.0, tyre_radius);
        dMassTranslate(&s, 0, rim_radius * std::cos(a), rim_radius * std::sin(a));
        dMassAdd(&m, &s);
    }
    // The ring is balanced; rounding must not leave the centre off the axle.
    m.c[0] = m.c[1] = m.c[2] = 0;
}

// Both fork legs, tilted back by the rake.
void fork_mass(dMass& m, const bike_info& info) {
    double radius = info.fork_leg_spacing / 8.0;
    double length = info.fork_length * 2.0 / 3.0;
    dMassSetZero(&m);
    for (int side = -1; side <= 1; side += 2) {
        dMass leg;
        dMassSetCapsuleTotal(&leg, info.fork_mass / 2.0, 2, radius, length);
        dMassTranslate(&leg, side * info.fork_leg_spacing / 2.0, 0, 0);
        dMassAdd(&m, &leg);
    }
    vec3 head = info.steering_head_position, lower = info.fork_lower_position;
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, std::atan((lower.z - head.z) / (lower.y - head.y)));
    dMassRotate(&m, r);
}

// Two square-section arms from the pivot to the axle, at the sides of the frame.
void swingarm_mass(dMass& m, const bike_info& info) {
    vec3d pivot = vec_of(info.swingarm_pivot), axle = vec_of(info.rear_wheel_position);
    double w = info.frame_box.x / 4.0;
    double l = length(axle - pivot);
    dMassSetZero(&m);
    for (int side = -1; side <= 1; side += 2) {
        dMass arm;
        dMassSetBoxTotal(&arm, info.swingarm_mass, w, w, l);
        dMassTranslate(&arm, side * info.frame_box.x / 2.0, 0, 0);
        dMassAdd(&m, &arm);
    }
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, -std::atan((axle.y - pivot.y) / (axle.z - pivot.z)));
    dMassRotate(&m, r);
}

void frame_and_rider_masses(bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    dMass m;
    dMassSetBoxTotal(&m, b.params.frame_body_mass, info.frame_box.x, info.frame_box.y,
                     info.frame_box.z);
    dBodySetMass(b.bodies[body_frame], &m);
    dMassSetSphereTotal(&m, b.params.rider_body_mass, 1);
    dBodySetMass(b.bodies[body_rider], &m);
    double total = 0;
    for (dBodyID body : b.bodies) {
        dBodyGetMass(body, &m);
        total += m.mass;
    }
    b.total_mass = static_cast<float>(total);
}

dJointID hinge(dBodyID a, dBodyID c, vec3d anchor, vec3d axis) {
    dJointID j = dJointCreateHinge(world_id(), nullptr);
    dJointAttach(j, a, c);
    dJointSetHingeAnchor(j, anchor.x, anchor.y, anchor.z);
    dJointSetHingeAxis(j, axis.x, axis.y, axis.z);
    return j;
}

void create_bodies(bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    for (dBodyID& body : b.bodies) body = dBodyCreate(world_id());
    dMass m;
    wheel_mass(m, info.front_hub_mass, info.front_hub_radius, info.front_rim_mass,
               info.front_rim_radius, info.front_tyre_radius);
    dBodySetMass(b.bodies[body_front_wheel], &m);
    wheel_mass(m, info.rear_hub_mass, info.rear_hub_radius, info.rear_rim_mass,
               info.rear_rim_radius, info.rear_tyre_radius);
    dBodySetMass(b.bodies[body_rear_wheel], &m);
    fork_mass(m, info);
    dBodySetMass(b.bodies[body_fork_upper], &m);
    dBodySetMass(b.bodies[body_fork_lower], &m);
    swingarm_mass(m, info);
    dBodySetMass(b.bodies[body_swingarm], &m);
    frame_and_rider_masses(b);
    dBodySetFiniteRotationMode(b.bodies[body_front_wheel], 1);
    dBodySetFiniteRotationMode(b.bodies[body_rear_wheel], 1);
}

// Every body at its construction position, upright and still; joints are made against this pose.
void pose_bodies(bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    const vec3 positions[k_bike_body_count] = {
        info.frame_position,         info.front_wheel_position, info.rear_wheel_position,
        info.steering_head_position, info.fork_lower_position,  info.swingarm_position,
        info.rider_position};
    dMatrix3 identity;
    dRSetIdentity(identity);
    for (int i = 0; i < k_bike_body_count; i++) {
        dBodyID body = b.bodies[i];
        dBodySetPosition(body, positions[i].x, positions[i].y, positions[i].z);
        dBodySetRotation(body, identity);
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
}

void create_joints(bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    dBodyID* body = b.bodies;
    vec3d x_axis = {1, 0, 0};
    vec3d steer_axis = vec_of(info.steering_head_position) - vec_of(info.fork_lower_position);
    b.joints[joint_front_axle] = hinge(body[body_fork_lower], body[body_front_wheel],
                                       vec_of(info.front_wheel_position), x_axis);
    b.joints[joint_rear_axle] =
        hinge(body[body_swingarm], body[body_rear_wheel], vec_of(info.rear_wheel_position), x_axis);
    dJointID steer = hinge(body[body_fork_upper], body[body_frame],
                           vec_of(info.steering_head_position), steer_axis);
    dJointSetHingeParam(steer, dParamLoStop, -k_pi / 4);
    dJointSetHingeParam(steer, dParamHiStop, k_pi / 4);
    b.joints[joint_steering] = steer;

    dJointID fork = dJointCreateSlider(world_id(), nullptr);
    dJointAttach(fork, body[body_fork_upper], body[body_fork_lower]);
    dJointSetSliderAxis(fork, steer_axis.x, steer_axis.y, steer_axis.z);
    dJointSetSliderParam(fork, dParamBounce, 0);
    dJointSetSliderParam(fork, dParamLoStop, -info.fork_travel);
    dJointSetSliderParam(fork, dParamHiStop, 0);
    b.joints[joint_fork] = fork;

    dJointID pivot =
        hinge(body[body_swingarm], body[body_frame], vec_of(info.swingarm_pivot), x_axis);
    dJointSetHingeParam(pivot, dParamBounce, 0);
    dJointSetHingeParam(pivot, dParamLoStop, -info.swingarm_travel);
    dJointSetHingeParam(pivot, dParamHiStop, 0);
    b.joints[joint_swingarm_pivot] = pivot;

    b.joints[joint_rider_mount] = dJointCreateHinge2(world_id(), nullptr);
    rider_mount_attach(b);
    for (int i = 0; i < k_bike_joint_count; i++)
        dJointSetFeedback(b.joints[i], &b.ride.joint_feedback[i]);
}

void wheel_setup(wheel_part& w, dBodyID wheel, float rim, float tyre) {
    w = wheel_part{};
    w.wheel = wheel;
    w.rim_radius = rim;
    w.tyre_radius = tyre;
}

// The point `p` of the bike's construction frame, moved and turned with the frame body.
vec3d frame_point(const bike_state& b, vec3d p) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    dVector3 out;
    vec3d local = p - vec_of(info.frame_position);
    dBodyGetRelPointPos(b.bodies[body_frame], local.x, local.y, local.z, out);
    return vec_of(out);
}
} // namespace

void rider_mount_attach(bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    dJointID mount = b.joints[joint_rider_mount];
    dJointAttach(mount, b.bodies[body_rider], b.bodies[body_frame]);
    // Far ahead of the bike, so turning about axis 2 moves the rider nearly straight up and down.
    vec3d anchor = frame_point(b, {0, info.rider_position.y, -50});
    dJointSetHinge2Anchor(mount, anchor.x, anchor.y, anchor.z);
    dVector3 axis1, axis2;
    dBodyVectorToWorld(b.bodies[body_frame], 0, 1, 1, axis1);
    dBodyVectorToWorld(b.bodies[body_frame], 1, 0, 0, axis2);
    dJointSetHinge2Axes(mount, axis1, axis2);
    dJointSetHinge2Param(mount, dParamLoStop, 0);
    dJointSetHinge2Param(mount, dParamHiStop, 0);
}

int bike_create(const char* name, int slot_value, const char* number, const char* bike_texture,
                const char* wheel_texture, const char* rider_texture, const char* head_texture) {
    int handle = bike_slot_new();
    bike_state& b = bike_at(handle);
    b.catalogue_index = bike_info_find_or_fallback(name ? name : "");
    const bike_info& info = bike_info_at(b.catalogue_index);
    b.owner_value = slot_value;
    bike_number_text(number ? number : "", b.number);
    b.resources = bike_resources_load(
        info, bike_texture ? bike_texture : "", wheel_texture ? wheel_texture : "",
        rider_texture ? rider_texture : "", head_texture ? head_texture : "", b.number,
        bike_resource_loader_current());
    const char* shape_files[k_bike_shape_count] = {
        info.frame_shape,       info.fork_upper_shape, info.fork_lower_shape, info.swingarm_shape,
        info.front_wheel_shape, info.rear_wheel_shape, info.rider_shape};
    for (int i = 0; i < k_bike_shape_count; i++) b.shapes[i] = shape_copy(shape_files[i]);
    b.params = bike_params_defaults(info);
    b.engine_inertia = info.engine_inertia;

    create_bodies(b);
    pose_bodies(b);
    create_joints(b);
    wheel_setup(b.front_wheel, b.bodies[body_front_wheel], info.front_rim_radius,
                info.front_tyre_radius);
    wheel_setup(b.rear_wheel, b.bodies[body_rear_wheel], info.rear_rim_radius,
                info.rear_tyre_radius);
    bike_reset(handle);
    return handle;
}

void bike_destroy(int bike) {
    if (!bike_live(bike)) return;
    bike_state& b = bike_at(bike);
    for (dJointID& j : b.joints) {
        if (j) dJointDestroy(j);
        j = nullptr;
    }
    for (dBodyID& body : b.bodies) {
        if (body) dBodyDestroy(body);
        body = nullptr;
    }
    bike_slot_free(bike);
}

void bike_reset(int bike) {
    bike_state& b = bike_at(bike);
    pose_bodies(b);
    b.ride = {};
    // The rider sits at its place on the frame (the frame is at its own place already).
    rider_mount_attach(b);
}

void bike_place(int bike, vec3d axis, double angle) {
    bike_state& b = bike_at(bike);
    dMatrix3 r;
    dRFromAxisAndAngle(r, axis.x, axis.y, axis.z, angle);
    for (dBodyID body : b.bodies) {
        const dReal* p = dBodyGetPosition(body);
        double x = r[0] * p[0] + r[1] * p[1] + r[2] * p[2];
        double y = r[4] * p[0] + r[5] * p[1] + r[6] * p[2];
        double z = r[8] * p[0] + r[9] * p[1] + r[10] * p[2];
        dBodySetPosition(body, x, y, z);
        dBodySetRotation(body, r);
    }
}

void bike_translate(int bike, vec3d d) {
    for (dBodyID body : bike_at(bike).bodies) {
        const dReal* p = dBodyGetPosition(body);
        dBodySetPosition(body, p[0] + d.x, p[1] + d.y, p[2] + d.z);
    }
}

void bike_push(int bike, vec3d force) {
    dBodyAddForce(bike_at(bike).bodies[body_frame], force.x, force.y, force.z);
}

void bike_set_params(int bike, const bike_params& params) {
    bike_state& b = bike_at(bike);
    b.params = params;
    frame_and_rider_masses(b);
}
