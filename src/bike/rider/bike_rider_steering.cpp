// The steering controller, the arcade balance and steering aids, and the steering damper.
#include "bike/contact/bike_contact.h"
#include "bike/sim/bike_local.h"
#include "bike/rider/bike_rider.h"

#include "common/common.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
vec3d steering_axis_world(const bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    vec3d s = vec_of(info.steering_head_position) - vec_of(info.fork_lower_position);
    s = s * (1 / length(s));
    dVector3 out;
    dBodyVectorToWorld(b.bodies[body_frame], s.x, s.y, s.z, out);
    return vec_of(out);
}

double roll_rate(const bike_state& b) {
    return dot(vec_of(dBodyGetAngularVel(b.bodies[body_frame])),
               body_axis(b.bodies[body_frame], 2));
}

double frame_speed(const bike_state& b) {
    return length(vec_of(dBodyGetLinearVel(b.bodies[body_frame])));
}

double front_track_angle_of(const bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    vec3d s = vec_of(info.steering_head_position) - vec_of(info.fork_lower_position);
    s = s * (1 / length(s));
    const dReal* vw = dBodyGetLinearVel(b.bodies[body_front_wheel]);
    dVector3 v;
    dBodyVectorFromWorld(b.bodies[body_fork_upper], vw[0], vw[1], vw[2], v);
    double a = v[1] * -s.z + v[2] * s.y;
    double bx = v[0];
    if (a * a + bx * bx > 1) return -std::atan2(bx, -a);
    return 0;
}

void apply_torque(const bike_state& b, double t) {
    vec3d s = steering_axis_world(b) * t;
    dBodyAddTorque(b.bodies[body_front_wheel], s.x, s.y, s.z);
    dBodyAddTorque(b.bodies[body_frame], -s.x, -s.y, -s.z);
}

double shrink(double v, double by) {
    if (v > by) return v - by;
    if (v < -by) return v + by;
    return 0;
}

double position_control(const bike_state& b, double t) {
    dJointID steer = b.joints[joint_steering];
    double psi = dJointGetHingeAngle(steer);
    double d = shrink(std::clamp(t - psi, -0.25, 0.25), 1.0 / 32);
    double w = shrink(8 * d - dJointGetHingeAngleRate(steer), 1.0 / 2400);
    return std::clamp(0.5 * w, -2.0 / 3, 2.0 / 3);
}

double front_rate(const bike_state& b) {
    return dJointGetHingeAngleRate(b.joints[joint_front_axle]);
}

void steering_controller(bike_state& b) {
    const bike_params& p = b.params;
    const bike_info& info = bike_info_at(b.catalogue_index);
    const rider_input& in = b.ride.input;
    double psi = dJointGetHingeAngle(b.joints[joint_steering]);
    double lambda = lean_of(b);
    double wz = roll_rate(b);
    double speed = frame_speed(b);
    double phi = front_track_angle_of(b);
    double vf = (info.front_rim_radius + info.front_tyre_radius) * front_rate(b);

    double td = p.steering_strength * in.steer * p.direct_steering;
    double hi_limit = p.max_steering_force, lo_limit = -p.max_steering_force;

    // The lock narrows with speed, more on grippy ground.
    double full = p.full_lock_speed;
    double restricted = std::max(full + 1, static_cast<double>(p.restricted_lock_speed));
    double k = std::clamp((1 / std::max(vf, 1.0) - 1 / restricted) / (1 / full - 1 / restricted),
                          0.0, 1.0);
    vec3d fw = vec_of(dBodyGetPosition(b.bodies[body_front_wheel]));
    float fx = static_cast<float>(fw.x), fz = static_cast<float>(fw.z);
    double mu0 = std::max(0.125, static_cast<double>(contact_first_friction(fx, fz)));
    double high_lock = std::min(k_pi / 4, p.restricted_lock / mu0);
    double lock = (k_pi / 4 - high_lock) * k + high_lock;

    double g =
        fw.y - contact_ground_height(fx, fz) - (info.front_rim_radius + info.front_tyre_radius);
    if (vf > 1 && g < 0.5) {
        double limit = (k_pi / 4 - lock) * std::clamp(2 * g, 0.0, 1.0) + lock;
        double e = 1.125 * limit + 0.015;
        if (phi > limit) lo_limit *= std::clamp((phi - e) / (limit - e), 0.0, 1.0) * 1.25 - 0.25;
        if (phi < -limit) hi_limit *= std::clamp((phi + e) / (e - limit), 0.0, 1.0) * 1.25 - 0.25;
    }

    double assist = 0;
    if (!wheel_touches(b.ride.front_contact) || front_rate(b) <= k_pi / 4) {
        b.ride.land_damping_level = p.land_damping_factor;
        assist = -50 * psi;
    } else {
        assist = wz * p.roll_damping * b.ride.land_damping_level;
        if (b.ride.land_damping_level > 1) {
            if (p.land_damping_falloff <= 0)
                b.ride.land_damping_level = 1;
            else
                b.ride.land_damping_level =
                    std::max(1.0f, b.ride.land_damping_level -
                                       static_cast<float>((p.land_damping_factor - 1) *
                                                          k_tic_length / p.land_damping_falloff));
        }
        double level = lambda * p.leveling;
        if (speed < p.slow_damping_speed) {
            double m =
                p.slow_damping_factor +
                (1 - p.slow_damping_factor) * std::clamp(speed / p.slow_damping_speed, 0.0, 1.0);
            assist *= m;
            level *= m;
        }
        bool further = (wz >= 0 && lambda >= 0) || (wz < 0 && lambda < 0);
        if (further && std::fabs(lambda) > p.roll_limit_angle)
            assist *= (std::fabs(lambda) - p.roll_limit_angle) * p.roll_limit_factor + 1;
        assist += level;

        if (p.direct_steering < 1) {
            double wanted = -in.steer * p.roll_limit_angle - lambda;
            double r = wanted * 2.5;
            bool back_up_right = (r > 0 && lambda < 0) || (r < 0 && lambda > 0);
            double c = back_up_right ? 9.817477 : 3.926991;
            r = std::clamp(r, -c, c);
            double e = std::clamp(r - wz, -0.125, 0.125);
            double q = std::clamp((wz - (r - e)) * 4, -1.0, 1.0);
            td = (td - p.steering_strength * q) * p.direct_steering + p.steering_strength * q;
        }
    }
    if (b.ride.contact_timer > 0) {
        double cap = 200 * std::clamp((128 - b.ride.contact_timer) / 128.0, 0.0, 1.0);
        assist = std::clamp(assist, -cap, cap);
    }
    double t = (assist + td) * 1.5;
    t = std::max(std::min(t, hi_limit), lo_limit);
    apply_torque(b, t);

    double pr = std::clamp((vf - 5) / 10, 0.0, 1.0);
    double lo = 0.25 * pr * lock, hi = (0.625 * pr + 0.125) * lock;
    // With no lock at all (a restricted lock of 0 at speed) the level steps at the lock.
    auto past_lock = [&](double angle) {
        return hi > lo ? std::clamp((angle - lo) / (hi - lo), 0.0, 1.0) : angle > lo ? 1.0 : 0.0;
    };
    double x = 0, y = 0;
    if (lambda >= 0) {
        x = past_lock(-phi);
        y = std::clamp((psi - 0.2618) * 3.8197, 0.0, 1.0);
    } else {
        x = past_lock(phi);
        y = std::clamp((psi + 0.2618) * -3.8197, 0.0, 1.0);
    }
    b.ride.steering_lock_level = static_cast<float>(std::max(x, y));
}

void arcade_aids(bike_state& b) {
    const bike_params& p = b.params;
    const bike_info& info = bike_info_at(b.catalogue_index);
    dBodyID frame = b.bodies[body_frame];
    double psi = dJointGetHingeAngle(b.joints[joint_steering]);
    vec3d pos = vec_of(dBodyGetPosition(frame)), vel = vec_of(dBodyGetLinearVel(frame));
    vec3d ahead = pos + vel - vec3d{0, 16, 0};
    if (!wheel_touches(b.ride.front_contact) &&
        ahead.y - contact_ground_height(static_cast<float>(ahead.x), static_cast<float>(ahead.z)) >=
            info.frame_position.y) {
        apply_torque(b, (-50 * psi + p.steering_strength * b.ride.input.steer * p.direct_steering) *
                            1.5);
        return;
    }
    double f = std::clamp((p.roll_damping - 40) * 0.025, 0.0, 1.0);
    double lambda = lean_of(b);
    double wanted = -k_pi / 4 * b.ride.input.steer;
    double e = std::min(std::fabs(lambda - wanted), 0.0625);
    double rate = (1.5 - 0.5 * f) * 16 * e;
    if (lambda >= wanted) rate = -rate;
    angular_motor(frame, body_axis(frame, 2), rate, 1000);
    apply_torque(b, p.steering_strength *
                        position_control(b, front_track_angle_of(b) - 0.5 * b.ride.input.steer));
    // A tail far behind the frame damps yaw and slides.
    dVector3 v, at;
    dBodyGetRelPointVel(frame, 0, 0, 20, v);
    dBodyGetRelPointPos(frame, 0, 0, 20, at);
    dBodyAddForceAtPos(frame, -0.25 * v[0], -0.25 * v[1], -0.25 * v[2], at[0], at[1], at[2]);
}
} // namespace

double lean_of(const bike_state& b) {
    dBodyID frame = b.bodies[body_frame];
    vec3d up = body_axis(frame, 1);
    vec3d forward = body_axis(frame, 2) * -1.0;
    double flat = std::sqrt(forward.x * forward.x + forward.z * forward.z);
    if (flat <= 0) return 0;
    vec3d right = {-forward.z / flat, 0, forward.x / flat};
    return std::acos(std::clamp(dot(right, up), -1.0, 1.0)) - k_pi / 2;
}

float bike_lean_angle(int bike) { return static_cast<float>(lean_of(bike_at(bike))); }

float front_track_angle(int bike) {
    return static_cast<float>(front_track_angle_of(bike_at(bike)));
}

void steering_torque_apply(int bike, float torque) { apply_torque(bike_at(bike), torque); }

float steering_position_control(int bike, float t) {
    return static_cast<float>(position_control(bike_at(bike), t));
}

void steering_apply(bike_state& b) {
    b.ride.steering_lock_level = 0;
    if (b.ride.knockout_tics > 0) return;
    if (b.params.arcade)
        arcade_aids(b);
    else
        steering_controller(b);
}

void steering_damper_apply(bike_state& b) {
    dBodyID wheel = b.bodies[body_front_wheel];
    vec3d a = body_axis(wheel, 0);
    vec3d w = vec_of(dBodyGetAngularVel(wheel));
    vec3d t = (a * dot(a, w) - w) * b.params.steering_damping;
    dBodyAddTorque(wheel, t.x, t.y, t.z);
    dBodyAddTorque(b.bodies[body_frame], -t.x, -t.y, -t.z);
}
