// The fork and shock force laws, handed to the fork slider's and swingarm pivot's motors.
#include "bike/sim/bike_suspension.h"

#include "bike/sim/bike_local.h"

#include <algorithm>
#include <cmath>

namespace {
// The fork's air column: atmospheric pressure on its area, compressed adiabatically (the
// exponent is 1.4 as a float).
constexpr double k_fork_air_force = 82.4616928; // lbf
constexpr double k_air_exponent = 1.39999997615814;
// Both motors push at most this fast; the force limit decides what they actually do.
constexpr double k_motor_speed = 100;

// The last 1/32 of travel before full extension fades the force out, so the bike rests on its
// top-out stop without being pushed through it.
double top_out_fade(double force, double fraction_from_top) {
    double s = -32 * fraction_from_top;
    if (s < 0) return 0;
    if (s <= 1) return force * s;
    return force;
}

float low_speed_share(const float damping[4], float v) {
    double denominator = v < 0 ? -v * damping[0] + damping[1] : v * damping[2] + damping[3];
    if (denominator == 0) return 0;
    return static_cast<float>((v < 0 ? damping[1] : damping[3]) / denominator);
}
} // namespace

float two_stage_damping(float v, float hs_compression, float ls_compression, float hs_rebound,
                        float ls_rebound) {
    if (v >= 0) {
        float h = -v * hs_rebound;
        return std::clamp(h - ls_rebound, 8 * h, h / 8);
    }
    float h = -v * hs_compression;
    return std::clamp(h + ls_compression, h / 8, 8 * h);
}

linkage_point linkage(const bike_state& b, float q) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    double k = info.linkage_knot;
    q = std::clamp(q, 0.0f, 1.0f);
    double l, u, y0, y1, m0, m1;
    if (q <= k) {
        l = k;
        u = l > 0 ? q / l : 1;
        y0 = 0;
        y1 = info.linkage_knot_value;
        m0 = info.linkage_slopes[0] * l;
        m1 = info.linkage_slopes[1] * l;
    } else {
        l = 1 - k;
        u = (q - k) / l;
        y0 = info.linkage_knot_value;
        y1 = info.linkage_end_value;
        m0 = info.linkage_slopes[1] * l;
        m1 = info.linkage_slopes[2] * l;
    }
    double a = 3 * (y1 - y0) - 2 * m0 - m1;
    double c = 2 * (y0 - y1) + m0 + m1;
    linkage_point out;
    out.compression = static_cast<float>(y0 + m0 * u + a * u * u + c * u * u * u);
    out.leverage = l > 0 ? static_cast<float>((m0 + 2 * a * u + 3 * c * u * u) / l) : 0;
    return out;
}

float fork_force(const bike_state& b, float p, float p_rate) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    const bike_params& s = b.params;
    double damping = two_stage_damping(p_rate, s.fork_hs_compression, s.fork_ls_compression,
                                       s.fork_hs_rebound, s.fork_ls_rebound);
    double spring = (s.fork_preload - p) * static_cast<double>(s.fork_spring_rate);
    double column = info.fork_travel + static_cast<double>(s.fork_air_gap);
    double n = std::clamp(-static_cast<double>(p), 0.0, static_cast<double>(info.fork_travel));
    double air = 0;
    if (column - n > 0)
        air = k_fork_air_force * (std::pow(column / (column - n), k_air_exponent) - 1);
    double f = air + damping + spring;
    if (info.fork_travel <= 0) return 0;
    return static_cast<float>(top_out_fade(f, p / static_cast<double>(info.fork_travel)));
}

float shock_torque(const bike_state& b, float angle, float angle_rate) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    const bike_params& s = b.params;
    if (info.swingarm_travel <= 0) return 0;
    linkage_point lk = linkage(b, -angle / info.swingarm_travel);
    // The leverage is applied per radian of hinge rate, not per travel fraction.
    float v = angle_rate * lk.leverage;
    double damping = two_stage_damping(v, s.shock_hs_compression, s.shock_ls_compression,
                                       s.shock_hs_rebound, s.shock_ls_rebound);
    double t =
        ((lk.compression + static_cast<double>(s.shock_preload)) * s.shock_spring_rate + damping) *
        lk.leverage;
    return static_cast<float>(top_out_fade(t, angle / static_cast<double>(info.swingarm_travel)));
}

void suspension_apply(bike_state& b) {
    dJointID fork = b.joints[joint_fork];
    double f = fork_force(b, static_cast<float>(dJointGetSliderPosition(fork)),
                          static_cast<float>(dJointGetSliderPositionRate(fork)));
    // A negative force only resists: the motor holds still with at most |f|.
    dJointSetSliderParam(fork, dParamVel, f >= 0 ? k_motor_speed : 0);
    dJointSetSliderParam(fork, dParamFMax, std::fabs(f));

    dJointID pivot = b.joints[joint_swingarm_pivot];
    double t = shock_torque(b, static_cast<float>(dJointGetHingeAngle(pivot)),
                            static_cast<float>(dJointGetHingeAngleRate(pivot)));
    dJointSetHingeParam(pivot, dParamVel, t >= 0 ? k_motor_speed : 0);
    dJointSetHingeParam(pivot, dParamFMax, std::fabs(t));
}

suspension_telemetry fork_telemetry(int bike) {
    const bike_state& b = bike_at(bike);
    const bike_info& info = bike_info_at(b.catalogue_index);
    dJointID fork = b.joints[joint_fork];
    suspension_telemetry t;
    float p = static_cast<float>(dJointGetSliderPosition(fork));
    t.position = info.fork_travel > 0 ? -p / info.fork_travel : 0;
    t.speed = static_cast<float>(dJointGetSliderPositionRate(fork));
    // The catalogue's coefficients, so the graph shows the bike's character, not the setup.
    t.low_speed_share = low_speed_share(info.fork_damping, t.speed);
    return t;
}

suspension_telemetry shock_telemetry(int bike) {
    const bike_state& b = bike_at(bike);
    const bike_info& info = bike_info_at(b.catalogue_index);
    dJointID pivot = b.joints[joint_swingarm_pivot];
    suspension_telemetry t;
    float angle = static_cast<float>(dJointGetHingeAngle(pivot));
    float q = info.swingarm_travel > 0 ? -angle / info.swingarm_travel : 0;
    t.position = std::clamp(q, 0.0f, 1.0f);
    t.speed = static_cast<float>(dJointGetHingeAngleRate(pivot)) * linkage(b, q).leverage;
    t.low_speed_share = low_speed_share(info.shock_damping, t.speed);
    return t;
}
