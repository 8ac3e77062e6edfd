// What other subsystems read of a bike: its bodies, speed, lean, setup and rider status.
#include "bike/sim/bike_drivetrain.h"
#include "bike/sim/bike_local.h"

#include "common/ripemd160.h"

#include <algorithm>
#include <cmath>

namespace {
dBodyID body_of(int bike, int body) {
    TB_ASSERT(body >= 0 && body < k_bike_body_count);
    return bike_at(bike).bodies[body];
}
} // namespace

vec3d bike_body_position(int bike, int body) {
    return vec_of(dBodyGetPosition(body_of(bike, body)));
}
vec3d bike_body_velocity(int bike, int body) {
    return vec_of(dBodyGetLinearVel(body_of(bike, body)));
}
vec3d bike_body_angular_velocity(int bike, int body) {
    return vec_of(dBodyGetAngularVel(body_of(bike, body)));
}
vec3d bike_body_axis(int bike, int body, int axis) {
    TB_ASSERT(axis >= 0 && axis < 3);
    return body_axis(body_of(bike, body), axis);
}
vec3d bike_body_point(int bike, int body, vec3d local) {
    dVector3 out;
    dBodyGetRelPointPos(body_of(bike, body), local.x, local.y, local.z, out);
    return vec_of(out);
}
vec3d bike_frame_position(int bike) { return bike_body_position(bike, body_frame); }
vec3d bike_frame_velocity(int bike) { return bike_body_velocity(bike, body_frame); }
vec3d bike_forward(int bike) { return body_axis(body_of(bike, body_frame), 2) * -1.0; }

float bike_speed_mph(int bike) {
    dBodyID frame = body_of(bike, body_frame);
    return static_cast<float>(-dot(vec_of(dBodyGetLinearVel(frame)), body_axis(frame, 2)) *
                              k_mph_per_foot_per_second);
}

const bike_params& bike_params_of(int bike) { return bike_at(bike).params; }
int bike_catalogue_index(int bike) { return bike_at(bike).catalogue_index; }
const bike_resources& bike_resources_of(int bike) { return bike_at(bike).resources; }
const bike_info& bike_info_of(int bike) { return bike_info_at(bike_at(bike).catalogue_index); }

tyre_contact_state bike_tyre_contact(int bike, int wheel) {
    TB_ASSERT(wheel == body_front_wheel || wheel == body_rear_wheel);
    const bike_state& b = bike_at(bike);
    const wheel_contact& w = wheel == body_front_wheel ? b.ride.front_contact : b.ride.rear_contact;
    tyre_contact_state c;
    c.touching = wheel_touches(w);
    if (!c.touching) return c;
    c.depth = w.depth;
    c.point = w.point;
    c.slip_speed = length(w.velocity);
    // The contact joint's push on the wheel, the wheel being the joint's first body.
    c.ground_lift = w.feedback.f1[1];
    return c;
}

float bike_total_mass(int bike) { return bike_at(bike).total_mass; }

void bike_set_steering_lock(int bike, float full_lock_speed, float restricted_lock_speed,
                            float restricted_lock) {
    bike_params& p = bike_at(bike).params;
    bike_param_set(p, param_full_lock_speed, full_lock_speed);
    bike_param_set(p, param_restricted_lock_speed, restricted_lock_speed);
    bike_param_set(p, param_restricted_lock, restricted_lock);
}

bool knocked_off(int bike) { return bike_at(bike).ride.knockout_tics > 0; }
int knockout_tics(int bike) { return bike_at(bike).ride.knockout_tics; }
int crash_count(int bike) { return bike_at(bike).ride.crash_count; }
int bike_rider_down(int bike) { return bike_at(bike).ride.rider_down; }
int bike_gear(int bike) { return bike_at(bike).ride.gear; }
float engine_rpm(int bike) { return engine_rpm_of(bike_at(bike)); }
float engine_torque(int bike) { return engine_torque_of(bike_at(bike)); }
float bike_activity(int bike) { return bike_at(bike).ride.activity; }
bool bike_simulated(int bike) { return dBodyIsEnabled(body_of(bike, body_frame)) != 0; }

void bike_hold_still(int bike) {
    bike_state& b = bike_at(bike);
    for (dBodyID body : b.bodies) {
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
    }
    b.ride.input = rider_input{};
}

void bike_digest_update(ripemd160_state& digest, int bike) {
    for (dBodyID body : bike_at(bike).bodies) {
        ripemd160_update(digest, dBodyGetPosition(body), 3 * sizeof(dReal));
        ripemd160_update(digest, dBodyGetRotation(body), 12 * sizeof(dReal));
        ripemd160_update(digest, dBodyGetLinearVel(body), 3 * sizeof(dReal));
        ripemd160_update(digest, dBodyGetAngularVel(body), 3 * sizeof(dReal));
    }
}
