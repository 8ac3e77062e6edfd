// The engine as one spinning inertia driving the rear wheel through clutch and driveline spring.
#include "bike/sim/bike_drivetrain.h"

#include "bike/sim/bike_local.h"

#include "common/common.h"

#include <algorithm>
#include <cmath>

namespace {
double wrap_angle(double a) {
    while (a > k_pi) a -= 2 * k_pi;
    while (a <= -k_pi) a += 2 * k_pi;
    return a;
}

int clamped_gear(const bike_info& info, int g) {
    g = std::clamp(g, 0, k_gear_count - 1);
    while (g > 0 && info.gear_ratios[g] <= 0) g--;
    return g;
}

double contact_speed_squared(const wheel_contact& c) { return dot(c.velocity, c.velocity); }

void auto_shift(bike_state& b, int tic) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    if (!b.params.auto_shift) return;
    if (dJointGetHingeAngle(b.joints[joint_swingarm_pivot]) >= -0.01) return;
    if (tic % 32 != 0) return;
    // A spinning or skidding rear wheel says nothing about road speed.
    if (wheel_touches(b.ride.rear_contact) && contact_speed_squared(b.ride.rear_contact) > 4)
        return;
    double rate = dJointGetHingeAngleRate(b.joints[joint_rear_axle]);
    double rpm = overall_ratio(b) * rate * k_rpm_per_radian_per_second;
    if (rpm < info.auto_downshift_rpm)
        b.ride.gear = clamped_gear(info, b.ride.gear - 1);
    else if (rpm > info.auto_upshift_rpm)
        b.ride.gear = clamped_gear(info, b.ride.gear + 1);
}
} // namespace

float engine_torque_at(const bike_info& info, float omega, float throttle) {
    double x = std::clamp(omega * k_rpm_per_radian_per_second * 0.002, 0.0, 49.0);
    int i = std::clamp(static_cast<int>(std::floor(x)), 0, k_torque_samples - 1);
    double f = x - i;
    int next = std::min(i + 1, k_torque_samples - 1);
    double a = info.closed_throttle_torque[i] +
               (info.closed_throttle_torque[next] - info.closed_throttle_torque[i]) * f;
    double c = info.open_throttle_torque[i] +
               (info.open_throttle_torque[next] - info.open_throttle_torque[i]) * f;
    return static_cast<float>(a + (c - a) * throttle);
}

float engine_torque_of(const bike_state& b) {
    float t = engine_torque_at(bike_info_at(b.catalogue_index), b.ride.engine_speed,
                               b.ride.input.throttle);
    if (b.params.wheelie_cut && t > 0 && !wheel_touches(b.ride.front_contact) &&
        wheel_touches(b.ride.rear_contact)) {
        const dReal* w = dBodyGetAngularVel(b.bodies[body_frame]);
        dVector3 own;
        dBodyVectorFromWorld(b.bodies[body_frame], w[0], w[1], w[2], own);
        // Only while the nose is not clearly coming down already.
        if (own[0] > -0.03125) t = 0;
    }
    return t;
}

float engine_rpm_of(const bike_state& b) {
    return static_cast<float>(b.ride.engine_speed * k_rpm_per_radian_per_second);
}

float overall_ratio(const bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    return info.gear_ratios[b.ride.gear] * info.primary_ratio * b.params.final_drive_ratio;
}

void shift(int bike, int request) {
    bike_state& b = bike_at(bike);
    if (b.ride.knockout_tics > 0 || request == b.ride.last_shift || request < -1 || request > 1)
        return;
    b.ride.last_shift = request;
    b.ride.gear = clamped_gear(bike_info_at(b.catalogue_index), b.ride.gear + request);
}

void set_gear(int bike, int g) {
    bike_state& b = bike_at(bike);
    b.ride.gear = clamped_gear(bike_info_at(b.catalogue_index), g);
}

clutch_result clutch_step(const bike_state& b, double wheel_angle, double wheel_rate) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    double omega = b.ride.engine_speed;
    double rpm = omega * k_rpm_per_radian_per_second;
    double c_in = b.ride.input.clutch;
    double delta = wrap_angle(b.ride.engine_angle - wheel_angle);
    double c = c_in;
    double auto_rpm = b.params.auto_clutch_rpms;
    // The automatic clutch is open at its rpm and closes over the next 2000.
    if (rpm <= auto_rpm + 2000) c = std::min(c_in, std::clamp((rpm - auto_rpm) / 2000, 0.0, 1.0));
    double t =
        info.driveline_stiffness * delta +
        std::clamp((omega - overall_ratio(b) * wheel_rate) * info.driveline_damping, -500.0, 500.0);
    // Engine braking goes through the rider's clutch; the automatic one does not open for it.
    if (t < 0) c = c_in;
    t = std::clamp(t, -1000000.0, 1000000.0);
    double phi = b.ride.engine_angle;
    double wind = c * k_pi / 4;
    if (delta > wind) phi = wheel_angle + wind;
    if (delta < -wind) phi = wheel_angle - wind;
    clutch_result r;
    r.engagement = static_cast<float>(c);
    r.torque = static_cast<float>(t);
    r.transmitted = static_cast<float>(c * c * t);
    r.engine_angle = static_cast<float>(phi);
    return r;
}

void brake_limits(const bike_state& b, float* front, float* rear) {
    const bike_params& p = b.params;
    bool front_down = wheel_touches(b.ride.front_contact),
         rear_down = wheel_touches(b.ride.rear_contact);
    float f = p.brake_torque * b.ride.input.front_brake;
    if (p.front_antilock && front_down && contact_speed_squared(b.ride.front_contact) > 4) f = 0;
    if (p.stoppie_cut && front_down && !rear_down) f = 0;
    float r = p.rear_brake_torque * b.ride.input.rear_brake;
    if (p.rear_antilock && rear_down && contact_speed_squared(b.ride.rear_contact) > 4) r = 0;
    *front = f;
    *rear = r;
}

void drivetrain_apply(bike_state& b, int tic) {
    auto_shift(b, tic);
    double tau = engine_torque_of(b);
    dJointID axle = b.joints[joint_rear_axle];
    clutch_result r = clutch_step(b, dJointGetHingeAngle(axle), dJointGetHingeAngleRate(axle));
    // With the bike facing -z, a positive torque drives the wheel forward and lifts the front.
    dBodyAddRelTorque(b.bodies[body_rear_wheel], -r.transmitted, 0, 0);
    dBodyAddRelTorque(b.bodies[body_frame], r.transmitted, 0, 0);
    double n = overall_ratio(b);
    double omega =
        b.ride.engine_speed + k_tic_length * (tau - r.transmitted / n) / b.engine_inertia;
    b.ride.engine_speed = static_cast<float>(omega);
    b.ride.engine_angle = static_cast<float>(wrap_angle(r.engine_angle + k_tic_length * omega / n));

    float front = 0, rear = 0;
    brake_limits(b, &front, &rear);
    dJointSetHingeParam(b.joints[joint_front_axle], dParamVel, 0);
    dJointSetHingeParam(b.joints[joint_front_axle], dParamFMax, front);
    dJointSetHingeParam(axle, dParamVel, 0);
    dJointSetHingeParam(axle, dParamFMax, rear);
}
