// A bike's work between two steps, in its fixed order, and the joint-force balance.
#include "bike/contact/bike_contact.h"
#include "bike/sim/bike_drivetrain.h"
#include "bike/sim/bike_local.h"
#include "bike/rider/bike_rider.h"
#include "bike/sim/bike_suspension.h"

void joint_force_balance(bike_state& b) {
    vec3d frame = vec_of(dBodyGetPosition(b.bodies[body_frame]));
    vec3d force, torque;
    for (int i = 0; i < k_bike_joint_count; i++) {
        const dJointFeedback& f = b.ride.joint_feedback[i];
        dBodyID body1 = dJointGetBody(b.joints[i], 0);
        dBodyID body2 = dJointGetBody(b.joints[i], 1);
        vec3d f1 = vec_of(f.f1), f2 = vec_of(f.f2);
        force = force + f1 + f2;
        torque = torque + vec_of(f.t1) + vec_of(f.t2);
        if (body1) torque = torque + cross(vec_of(dBodyGetPosition(body1)) - frame, f1);
        if (body2) torque = torque + cross(vec_of(dBodyGetPosition(body2)) - frame, f2);
    }
    dBodyAddForce(b.bodies[body_frame], -force.x, -force.y, -force.z);
    dBodyAddTorque(b.bodies[body_frame], -torque.x, -torque.y, -torque.z);
}

void bike_prepare(int bike, const bike_tic& t) {
    bike_state& b = bike_at(bike);
    int now = t.tic;
    if (b.ride.activity <= 0.25f) {
        foot_update(b);
        return;
    }
    rider_down_start_test(b, t);
    if (b.ride.contact_timer > 1)
        b.ride.contact_timer -= 1;
    else if (b.ride.contact_timer < -1)
        b.ride.contact_timer += 1;
    else
        b.ride.contact_timer = 0;

    bool touching = wheel_touches(b.ride.front_contact) || wheel_touches(b.ride.rear_contact);
    if (touching && b.ride.landed_tic < b.ride.airborne_start_tic) b.ride.landed_tic = now;
    if (!touching && dBodyGetLinearVel(b.bodies[body_frame])[1] < 0 &&
        b.ride.airborne_start_tic <= b.ride.landed_tic)
        b.ride.airborne_start_tic = now;

    crash_detect(b, t);
    knockout_update(b);
    // The aids below may brake or sit the rider for this tic only.
    b.ride.saved_front_brake = b.ride.input.front_brake;
    b.ride.saved_rear_brake = b.ride.input.rear_brake;
    b.ride.saved_sit = b.ride.input.sit;
    low_speed_aids(b, t);
    rider_springs_apply(b);
    suspension_apply(b);
    steering_apply(b);
    drivetrain_apply(b, now);
    steering_damper_apply(b);
    if (now > 1 && b.ride.knockout_tics <= 0) joint_force_balance(b);
    dab_and_realign(b, bike);
    b.ride.input.front_brake = b.ride.saved_front_brake;
    b.ride.input.rear_brake = b.ride.saved_rear_brake;
    b.ride.input.sit = b.ride.saved_sit;
    foot_update(b);
    b.ride.rider_velocity_history[now & 3] = vec_of(dBodyGetLinearVel(b.bodies[body_rider]));
}
