// The scripted rider: pure pursuit through the gates' aim points, speed by bends and ground.
#include "race/scripted_rider.h"

#include "terrain/terrain.h"
#include "track/track_gates.h"

#include <algorithm>
#include <cmath>

void gate_follower_reset(gate_follower& f, int position) {
    f.position = position;
    f.reached = 0;
    f.shift_wait = 0;
    f.target_speed = 0;
}

rider_input gate_follower_wait() {
    rider_input in;
    in.clutch = 0;
    in.sit = 1;
    return in;
}

int gate_follower_gate(const gate_follower& f) { return gate_at_position(f.position); }

namespace {
// The point the follower steers for at a gate: its centre, moved along its direction and to the
// side of its lane.
void aim_point(const gate_follower& f, const timing_gate& g, float* x, float* z) {
    float dl = std::sqrt(g.direction[0] * g.direction[0] + g.direction[2] * g.direction[2]);
    float ux = dl > 0 ? g.direction[0] / dl : 0, uz = dl > 0 ? g.direction[2] / dl : 0;
    // Facing along (ux, uz), the right hand points to (-uz, ux).
    *x = g.centre[0] + ux * f.aim_beyond - uz * f.aim_aside;
    *z = g.centre[2] + uz * f.aim_beyond + ux * f.aim_aside;
}

// How sharply the ground along a line bends upward within `length` ahead of (x, z): the
// largest rise in slope over 2 ft steps (a lip or the foot of a face shows as a kink).
float ground_kink_ahead(float x, float z, float dx, float dz, float length) {
    const float step = 2;
    float worst = 0;
    float h0 = ground_height_at(x, z), h1 = ground_height_at(x + dx * step, z + dz * step);
    for (float s = 2 * step; s <= length; s += step) {
        float h2 = ground_height_at(x + dx * s, z + dz * s);
        float bend = std::fabs((h2 - h1) - (h1 - h0)) / step;
        worst = std::max(worst, bend);
        h0 = h1;
        h1 = h2;
    }
    return worst;
}

// The steer command that leans the bike towards `wanted_lean` (rad, positive to the left) in
// simulation mode. A rider leans a bike by counter-steering: a push on the bar to start the lean,
// eased off as the lean comes. So the follower asks for a roll rate towards the wanted lean.
float counter_steer(const gate_follower& f, int bike, double wanted_lean) {
    const bike_params& p = bike_params_of(bike);
    double lean = bike_lean_angle(bike);
    // Positive rolls the bike to its left.
    vec3d w = bike_body_angular_velocity(bike, body_frame);
    vec3d z = bike_body_axis(bike, body_frame, 2);
    double roll_rate = w.x * z.x + w.y * z.y + w.z * z.z;
    double want = std::clamp(f.lean_gain * (wanted_lean - lean), -double(f.most_roll_rate),
                             double(f.most_roll_rate));
    if (p.direct_steering >= 1) {
        // The command is the steering torque itself (positive turns the bar left, which rolls
        // the bike right): the follower's own hands close the roll-rate loop.
        return float(std::clamp((roll_rate - want) * f.roll_rate_gain, -1.0, 1.0));
    }
    // The bike's indirect steering turns the command into a wanted roll rate,
    // (-steer * roll_limit_angle - lean) * 2.5, and leaves errors within 0.125 rad/s alone:
    // asking for that much beyond the rate wanted makes it act on the whole error.
    double ask = want + (want > roll_rate ? 0.125 : want < roll_rate ? -0.125 : 0);
    double limit = std::max(0.1, double(p.roll_limit_angle));
    return float(std::clamp(-(ask / 2.5 + lean) / limit, -1.0, 1.0));
}

// Angle between two gates' directions in the ground plane (rad).
float turn_between(const timing_gate& a, const timing_gate& b) {
    float ax = a.direction[0], az = a.direction[2], bx = b.direction[0], bz = b.direction[2];
    float la = std::sqrt(ax * ax + az * az), lb = std::sqrt(bx * bx + bz * bz);
    if (la <= 0 || lb <= 0) return 0;
    return std::acos(std::clamp((ax * bx + az * bz) / (la * lb), -1.0f, 1.0f));
}
} // namespace

rider_input gate_follower_input(gate_follower& f, int bike) {
    rider_input in;
    int gate = gate_at_position(f.position);
    if (gate < 0 || knocked_off(bike)) return in;
    vec3d wheel = bike_body_position(bike, body_front_wheel);
    if (gate_contains(gate_at(gate), float(wheel.x), float(wheel.z))) {
        f.position++;
        f.reached++;
        gate = gate_at_position(f.position);
        if (gate < 0) return in;
    }
    const timing_gate& g = gate_at(gate);

    // Where the bike points and moves, in the ground plane.
    vec3d pos = bike_frame_position(bike);
    vec3d forward = bike_forward(bike);
    double fl = std::sqrt(forward.x * forward.x + forward.z * forward.z);
    double fx = fl > 0 ? forward.x / fl : 0, fz = fl > 0 ? forward.z / fl : -1;
    vec3d v = bike_frame_velocity(bike);
    double speed = std::sqrt(v.x * v.x + v.z * v.z);

    // Pure pursuit of a carrot ahead on the line through the next gates' aim points: the arc
    // through it asks for a lean of atan(v^2 k / g) (positive to the right). In arcade mode the
    // steer command asks for a lean of steer times the roll limit.
    float ax, az;
    aim_point(f, g, &ax, &az);
    double cx = ax, cz = az;
    double from_x = ax, from_z = az;
    double carrot = std::max(double(f.carrot_distance), f.carrot_time * speed);
    double reach2 = carrot * carrot;
    if ((ax - pos.x) * (ax - pos.x) + (az - pos.z) * (az - pos.z) < reach2) {
        for (int k = 1; k <= 2; k++) {
            int next_gate = gate_at_position(f.position + k);
            if (next_gate < 0) break;
            float nx, nz;
            aim_point(f, gate_at(next_gate), &nx, &nz);
            // Where the segment from the last aim point leaves the circle of the carrot's
            // distance around the bike.
            double sx = nx - from_x, sz = nz - from_z;
            double ox = from_x - pos.x, oz = from_z - pos.z;
            double a = sx * sx + sz * sz, bq = ox * sx + oz * sz, c = ox * ox + oz * oz - reach2;
            double disc = bq * bq - a * c;
            cx = nx;
            cz = nz;
            if (a > 0 && disc >= 0) {
                double u = (-bq + std::sqrt(disc)) / a;
                if (u <= 1) {
                    cx = from_x + sx * std::max(u, 0.0);
                    cz = from_z + sz * std::max(u, 0.0);
                    break;
                }
            }
            from_x = nx;
            from_z = nz;
        }
    }
    double dx = cx - pos.x, dz = cz - pos.z;
    double distance = std::max(std::sqrt(dx * dx + dz * dz), 1.0);
    double ahead = (dx * fx + dz * fz) / distance;
    double right = (dx * -fz + dz * fx) / distance;
    double error = std::atan2(right, ahead);
    double curvature = 2 * std::sin(error) / distance;
    double lean = std::atan(std::max(speed, 8.0) * std::max(speed, 8.0) * curvature / 32);
    double limit = std::max(0.1, double(bike_params_of(bike).roll_limit_angle));
    // Never asked for the whole roll limit: at that lean the footpegs and the swingarm touch.
    // The lean that counts is against the ground: less into an off-camber slope, more into a
    // berm.
    vec3 n = ground_normal_at(float(pos.x), float(pos.z));
    double nl = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
    double falls_right = nl > 0 ? std::asin(std::clamp((n.x * -fz + n.z * fx) / nl, -1.0, 1.0)) : 0;
    double camber = curvature >= 0 ? -falls_right : falls_right;
    double most = std::clamp(f.max_lean + camber, 0.15, limit);
    lean = std::clamp(lean, -most, most);
    in.steer = bike_params_of(bike).arcade ? float(lean / limit) : counter_steer(f, bike, -lean);

    // Slow for a hard bend at this gate or the next, for a kink in the ground ahead, and while
    // pointing well away from the gate.
    float target = f.cruise_speed;
    float bend = 0;
    for (int k = 1; k <= 2; k++) {
        int next = gate_at_position(f.position + k);
        if (next >= 0) bend = std::max(bend, turn_between(g, gate_at(next)));
    }
    if (bend > 0.5f) target = std::min(target, f.turn_speed);
    float kink = ground_kink_ahead(float(pos.x), float(pos.z), float(fx), float(fz), f.look_ahead);
    if (kink > 0.15f) target = std::min(target, f.rough_speed);
    if (std::fabs(error) > 0.6) target = std::min(target, f.turn_speed);
    // The arc to the aim point taken at the most lean allowed: tan(lean) = v^2 k / g.
    if (std::fabs(curvature) > 1e-4)
        target = std::min(target, float(std::sqrt(32 * std::tan(most) / std::fabs(curvature))));
    target = std::max(target, f.least_speed);
    f.target_speed = target;

    double over = speed - target;
    in.clutch = 1;
    in.throttle = float(std::clamp(-over * 0.15, 0.0, 1.0));
    // Leaned over, the throttle opens only gently, so the rear tyre keeps its grip.
    double leaned = std::fabs(bike_lean_angle(bike));
    in.throttle = std::min(in.throttle, float(std::clamp(1 - leaned / most, 0.25, 1.0)));
    if (over > 3) {
        in.front_brake = float(std::clamp((over - 3) * 0.1, 0.0, 0.6));
        in.rear_brake = in.front_brake;
    }
    // The clutch slips below walking pace, so the engine cannot stall the bike away.
    if (speed < 6) in.clutch = float(std::clamp(0.3 + speed / 10, 0.0, 1.0));

    // Shift by the revs: up near the top, down when they sag.
    const bike_info& info = bike_info_of(bike);
    float rpm = engine_rpm(bike);
    if (f.shift_wait > 0) {
        f.shift_wait--;
    } else if (rpm > info.auto_upshift_rpm && bike_gear(bike) < 5) {
        in.shift = 1;
        f.shift_wait = 32;
    } else if (rpm < info.auto_downshift_rpm && bike_gear(bike) > 0) {
        in.shift = -1;
        f.shift_wait = 32;
    }
    return in;
}
