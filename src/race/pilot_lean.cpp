// Grip and lean: the load on the tyres, the arc to the aim point, the lean the ground's grip
// allows along the path, and the counter-steering that makes it.
#include "race/pilot_local.h"
#include "race/race_local.h"

#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float k_full_lock_speed = 1;  // ft/s
constexpr double k_upright_speed = 7.5; // ft/s below which a robot does not lean at all
// Squaring up for a take-off, the lean allowed falls by this much (rad, 7π/16 to seven places):
// from π/2 to π/16.
constexpr double k_take_off_lean_cut = 1.3744469;
constexpr double k_steepest_grip_lean = 1.1780972; // rad (3π/8), however good the grip

struct lean_state {
    double grip_mu = -1; // the friction grip_theta was worked out for
    double grip_theta = 0;
};
lean_state g_lean;

// The frame's sideways and up axes, read once for every point a lean is clamped at.
struct lean_frame {
    vec3d side, up;
};

// The steepest lean against the ground the surface's grip holds, remembered for the last grip
// asked about: neighbouring points mostly share their surface.
double grip_angle(double mu) {
    if (mu != g_lean.grip_mu) {
        g_lean.grip_mu = mu;
        g_lean.grip_theta = std::min(std::atan(mu), k_steepest_grip_lean);
    }
    return g_lean.grip_theta;
}

// The lean target clamped so the tyres keep their grip on the ground at a point.
double grip_clamp(const lean_frame& f, double phi, double lambda, double px, double pz) {
    vec3 n = ground_normal_at(static_cast<float>(px), static_cast<float>(pz));
    vec3d normal = {n.x, n.y, n.z};
    double nx = dot(normal, f.side);
    double ny = dot(normal, f.up);
    double mu = 1;
    if (ground().surfaces.count > 0)
        mu = surface_type_get(surface_type_at(static_cast<float>(px), static_cast<float>(pz)))
                 .friction[0]
                 .value;
    double theta = grip_angle(mu);
    // The ground's slope across the bike is at most |nx| / ny; a lean that keeps its grip on
    // any slope up to that is left as it is without working the slope out.
    if (ny > 0 && std::fabs(phi - lambda) + std::fabs(nx) / ny + 1e-9 < theta) return phi;
    double beta = std::atan2(nx, ny);
    double lo = lambda - beta - theta, hi = lambda - beta + theta;
    return phi < lo ? lo : std::min(phi, hi);
}
} // namespace

void lean_reset() { g_lean = lean_state{}; }

void load_step(drive_state& d) {
    double lift =
        (d.front.touching ? d.front.ground_lift : 0) + (d.rear.touching ? d.rear.ground_lift : 0);
    double load = lift / (k_gravity * bike_total_mass(d.bike));
    d.g = std::max(1.0, load - 1);
    d.limit = k_pi / d.g;
    double tan_lean = std::tan(d.lambda);
    if (std::fabs(tan_lean) < 1e-9) tan_lean = tan_lean < 0 ? -1e-9 : 1e-9;
    d.turn_radius = -d.s * d.s / (k_gravity * d.g * tan_lean);
}

void aim_radius_step(drive_state& d) {
    vec3d to = d.aim - d.x;
    double a = dot(to, d.lateral), b = -dot(to, d.back);
    if (b <= 0) {
        d.aim_radius = a >= 0 ? 10 : -10;
        return;
    }
    double ca = d.turn_radius, ex = a - ca, eb = b;
    double el = std::hypot(ex, eb);
    double qa = a, qb = b;
    if (el > 0) {
        qa = ca + ex / el * std::fabs(d.turn_radius);
        qb = eb / el * std::fabs(d.turn_radius);
    }
    double a2 = a + 2 * (a - qa), b2 = b + 2 * (b - qb);
    if (std::fabs(a2) < 1e-6) a2 = a2 < 0 ? -1e-6 : 1e-6;
    d.aim_radius = (a2 * a2 + b2 * b2) / (2 * a2);
}

void lean_step(robot_state& r, drive_state& d) {
    const double needed = std::atan(-d.s * d.s / (k_gravity * d.g * d.aim_radius));
    // The lean the grip allows along the next points and where the front wheel is going.
    double phi = needed;
    const lean_frame frame = {bike_body_axis(d.bike, body_frame, 0),
                              bike_body_axis(d.bike, body_frame, 1)};
    for (int k = 4; k >= 0; k--) {
        const line_point& q = path_at(r, d.i + k);
        phi = grip_clamp(frame, phi, d.lambda, q.x, q.z);
    }
    {
        vec3d fw = bike_body_position(d.bike, body_front_wheel);
        vec3d fv = bike_body_velocity(d.bike, body_front_wheel);
        phi = grip_clamp(frame, phi, d.lambda, fw.x + 0.25 * fv.x, fw.z + 0.25 * fv.z);
    }
    if (phi != needed) {
        d.target = std::min(d.target, std::sqrt(std::tan(std::fabs(phi)) * d.g *
                                                std::fabs(d.aim_radius) * k_gravity));
        r.grip_limited_tic = d.now;
    }

    // Easy on the throttle while the front tyre slides; slow bikes stay upright.
    double q = 1;
    const double front_slip = d.front.touching ? d.front.slip_speed : 0;
    if (d.front.touching) q = clamp01((16 - front_slip) / 16);
    if (d.s < k_upright_speed) {
        phi = 0;
        q = 1;
    } else if (d.s < k_lean_speed) {
        double h = clamp01((d.s - k_upright_speed) * 0.4);
        phi *= h;
        q = 1 - (1 - q) * h;
    }
    if (d.t_jump < 3) {
        // Square up for the take-off at the speed the line jumped at.
        double gj = clamp01((3 - d.t_jump) / 2);
        q += (1 - q) * gj;
        d.target += (std::max(d.s, std::fabs(path_at(r, d.i).speed) + 2.0) - d.target) * gj;
        double most = k_pi / 2 - k_take_off_lean_cut * gj;
        phi = std::clamp(phi, -most, most);
        d.limit += (k_pi / 8 - d.limit) * clamp01((3 - d.t_jump) / 3);
    }
    d.phi = phi;
    d.throttle_scale = q;
}

void steer_step(const drive_state& d, rider_input& in) {
    double limit = d.limit;
    double e = (d.phi - d.lambda) * d.gain;
    if ((e < 0 && d.lambda >= 0) || (e >= 0 && d.lambda < 0)) limit *= 2;
    e = std::clamp(e, -limit, limit);
    bike_set_steering_lock(
        d.bike, k_full_lock_speed, 50,
        static_cast<float>(
            std::clamp((1 + 4 * std::min(std::fabs(e) / k_pi, 1.0)) * k_pi / 180, 0.0, k_pi / 4)));

    // Counter-steer for the roll rate the lean error asks for; with the front wheel in the air
    // or sliding, steer along the wheel's own track.
    const double front_slip = d.front.touching ? d.front.slip_speed : 0;
    double r_band = std::clamp(e - d.roll_rate, -0.125, 0.125);
    double s1 = (d.roll_rate - (e - r_band)) * 4;
    double s2 = steering_position_control(d.bike, front_track_angle(d.bike));
    double steer = s2;
    if (d.front.touching) steer = s2 + (s1 - s2) * clamp01((4 - front_slip) / 4);
    in.steer = static_cast<float>(std::clamp(steer, -1.0, 1.0));
}
