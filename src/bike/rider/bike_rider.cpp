// The rider's crashes, knock-out and return to the bike, its body springs and its feet.
#include "bike/rider/bike_rider.h"

#include "bike/contact/bike_contact.h"
#include "bike/sim/bike_drivetrain.h"
#include "bike/sim/bike_local.h"

#include "common/common.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
// A bike fallen over at a standstill is stood up again when it lies between these (rad, π/8 and
// 7π/20 to four places), rolled at the rate (rad/s), slower within the dab lean of upright.
constexpr double k_realign_least = 0.3927;
constexpr double k_realign_most = 1.0996;
constexpr double k_realign_roll_rate = 0.3927;

struct rider_hooks {
    realign_target_fn realign_target = nullptr;
};
rider_hooks g_hooks;

vec3d skeleton_point(const bike_info& info, int at) {
    return {info.rider_skeleton[at], info.rider_skeleton[at + 1], info.rider_skeleton[at + 2]};
}

vec3d rel_point(dBodyID body, vec3d p) {
    dVector3 out;
    dBodyGetRelPointPos(body, p.x, p.y, p.z, out);
    return vec_of(out);
}

vec3d point_velocity(dBodyID body, vec3d p) {
    dVector3 out;
    dBodyGetPointVel(body, p.x, p.y, p.z, out);
    return vec_of(out);
}

// The rider's place on the frame, in the frame's own coordinates.
vec3d rider_place(const bike_info& info) {
    return vec_of(info.rider_position) - vec_of(info.frame_position);
}

// A spring-damper along one direction for this step, as a frictionless soft contact.
void spring_joint(dBodyID body1, dBodyID body2, vec3d at, vec3d normal, double depth, double k,
                  double c) {
    contact_joint_make(body1, body2, at, normal, depth, 0, k, c, {});
}

// Holds point pA of A within `slack` of point pB of B (points in world coordinates).
void tether(dBodyID a, vec3d pa, dBodyID b, vec3d pb, double slack) {
    vec3d sep = pb - pa;
    double d = length(sep);
    if (d <= slack || d <= 0) return;
    spring_joint(a, b, pa, sep * (1 / d), d - slack, 5000, 500);
}

double frame_speed(const bike_state& b) {
    return length(vec_of(dBodyGetLinearVel(b.bodies[body_frame])));
}

void rider_return(bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    dBodyID frame = b.bodies[body_frame], rider = b.bodies[body_rider];
    vec3d at = rel_point(frame, rider_place(info));
    vec3d v = point_velocity(frame, at);
    dBodySetPosition(rider, at.x, at.y, at.z);
    dBodySetRotation(rider, dBodyGetRotation(frame));
    dBodySetLinearVel(rider, v.x, v.y, v.z);
    const dReal* w = dBodyGetAngularVel(frame);
    dBodySetAngularVel(rider, w[0], w[1], w[2]);
    rider_mount_attach(b);
}

bool on_ground(const wheel_contact& c) { return wheel_touches(c); }
} // namespace

void rider_rules_reset() { g_hooks = rider_hooks{}; }

void rider_input_apply(int bike, const rider_input& in) {
    bike_state& b = bike_at(bike);
    rider_input& out = b.ride.input;
    bool off = b.ride.knockout_tics > 0;
    out.throttle = off ? 0 : std::clamp(in.throttle, 0.0f, 1.0f);
    out.clutch = std::clamp(in.clutch, 0.0f, 1.0f);
    out.front_brake = std::clamp(in.front_brake, 0.0f, 1.0f);
    out.rear_brake = std::clamp(in.rear_brake, 0.0f, 1.0f);
    out.steer = std::clamp(in.steer, -1.0f, 1.0f);
    out.sit = off ? 0 : std::clamp(in.sit, 0.0f, 1.0f);
    out.back_up = off ? 0 : std::clamp(in.back_up, 0.0f, 1.0f);
    out.lean = off ? 0 : std::clamp(in.lean, -1.0f, 1.0f);
    out.shift = std::clamp(in.shift, -1, 1);
    shift(bike, out.shift);
}

void rider_input_from_slot(int bike, int slot) {
    if (slot < 0 || slot >= k_max_riders) return;
    rider_input_apply(bike, rider_input_of(slot));
}

void rider_down_start_test(bike_state& b, const bike_tic& t) {
    if (t.tic > t.gate_drop_tic + 2 * k_tics_per_second && frame_speed(b) < 5)
        b.ride.rider_down = 1;
}

void rider_crash(bike_state& b, const bike_tic& t) {
    if (b.ride.knockout_tics > 0) return;
    dBodyID rider = b.bodies[body_rider];
    dJointAttach(b.joints[joint_rider_mount], nullptr, nullptr);
    rider_feet_result feet = rider_feet(b);
    b.ride.left_foot.position = feet.left;
    b.ride.left_foot.velocity = point_velocity(rider, feet.left);
    b.ride.right_foot.position = feet.right;
    b.ride.right_foot.velocity = point_velocity(rider, feet.right);
    int extra = t.knockout_table
                    ? t.knockout_table[std::min(b.ride.crash_count, k_knockout_table_size - 1)]
                    : 0;
    b.ride.knockout_tics = extra + k_knockout_tics;
    b.ride.crash_count += 1;
    b.ride.input.throttle = 0;
    b.ride.input.sit = 0;
    b.ride.input.back_up = 0;
    b.ride.input.lean = 0;
}

void crash_detect(bike_state& b, const bike_tic& t) {
    if (b.params.arcade || b.ride.knockout_tics > 0) return;
    int now = t.tic;
    double f = 1.5;
    // Just down from a long jump the rider lets go sooner.
    if (b.ride.landed_tic >= b.ride.airborne_start_tic) {
        double a = std::clamp(
            ((b.ride.landed_tic - b.ride.airborne_start_tic) * k_tic_length - 0.559) * 7.9365, 0.0,
            1.0);
        double c = std::clamp(((now - b.ride.landed_tic) * k_tic_length - 0.25) * -8, 0.0, 1.0);
        f = 1.5 - 0.5 * a * c;
    }
    dBodyID rider = b.bodies[body_rider];
    vec3d v = vec_of(dBodyGetLinearVel(rider));
    vec3d carried = point_velocity(b.bodies[body_frame], vec_of(dBodyGetPosition(rider)));
    vec3d old = b.ride.rider_velocity_history[now & 3];
    vec3d accel = (v - old) * (1 / (4 * k_tic_length)) + vec3d{0, k_gravity, 0};
    if (length(v - carried) > 31 * f || length(accel) > 1376 * f) rider_crash(b, t);
}

void knockout_update(bike_state& b) {
    if (b.ride.knockout_tics <= 0) return;
    const bike_info& info = bike_info_at(b.catalogue_index);
    dBodyID rider = b.bodies[body_rider], frame = b.bodies[body_frame];
    dBodyID fork = b.bodies[body_fork_upper];
    b.ride.input.throttle = b.ride.input.sit = b.ride.input.back_up = b.ride.input.lean = 0;
    if (length(vec_of(dBodyGetLinearVel(rider))) >= 2) {
        // Still tumbling: the hands keep hold of the bars as far as the arms reach.
        double reach = 0.875 * (info.rider_skeleton[skeleton_upper_arm] +
                                info.rider_skeleton[skeleton_forearm]);
        tether(rider, rel_point(rider, skeleton_point(info, skeleton_left_shoulder)), fork,
               rel_point(fork, skeleton_point(info, skeleton_left_grip)), reach);
        tether(rider, rel_point(rider, skeleton_point(info, skeleton_right_shoulder)), fork,
               rel_point(fork, skeleton_point(info, skeleton_right_grip)), reach);
        rider_against_own_bike(b);
        if (b.ride.knockout_tics > k_knockout_pull_back) {
            vec3d hip = skeleton_point(info, skeleton_right_hip);
            vec3d grip = skeleton_point(info, skeleton_right_grip);
            tether(rider, rel_point(rider, {0, hip.y, hip.z}), fork,
                   rel_point(fork, {0, grip.y, grip.z + 10}), 8);
        }
    } else {
        b.ride.knockout_tics -= 1;
    }
    if (b.ride.knockout_tics <= k_knockout_pull_back) {
        double slack =
            5 * std::clamp((b.ride.knockout_tics - k_knockout_legs_in) / 384.0, 0.0, 1.0);
        vec3d place = rider_place(info);
        for (vec3d o : {vec3d{0, 0, 0}, vec3d{-5, 10, 0}, vec3d{5, 10, 0}})
            tether(rider, rel_point(rider, o), frame, rel_point(frame, place + o), slack);
        if (b.ride.knockout_tics <= k_knockout_foot_return) {
            // The foot on the low side goes back to its peg.
            bool left = lean_of(b) >= 0;
            foot_point& foot = left ? b.ride.left_foot : b.ride.right_foot;
            vec3d rest =
                skeleton_point(info, left ? skeleton_left_foot_rest : skeleton_right_foot_rest);
            vec3d target = rel_point(frame, rest + vec3d{0, 3, 1});
            vec3d to = target - foot.position;
            double d = length(to), step = 4 * k_tic_length;
            foot.position = d <= step ? target : foot.position + to * (step / d);
        }
    }
    if (b.ride.knockout_tics <= 0) {
        b.ride.knockout_tics = 0;
        rider_return(b);
    }
}

void velocity_hold(dBodyID body, double force, vec3d target) {
    vec3d d = vec_of(dBodyGetLinearVel(body)) - target;
    double l = length(d);
    if (l < 0.25) return;
    vec3d f = d * (-force * std::min(1.0, (l - 0.25) * 0.8) / l);
    dBodyAddForce(body, f.x, f.y, f.z);
}

void angular_motor(dBodyID body, vec3d axis, double velocity, double max_torque) {
    dJointID m = dJointCreateAMotor(world_id(), world_contact_group());
    dJointAttach(m, body, nullptr);
    dJointSetAMotorNumAxes(m, 1);
    dJointSetAMotorAxis(m, 0, 0, axis.x, axis.y, axis.z);
    dJointSetAMotorParam(m, dParamVel, velocity);
    dJointSetAMotorParam(m, dParamFMax, max_torque);
}

void low_speed_aids(bike_state& b, const bike_tic& t) {
    const bike_params& p = b.params;
    dBodyID frame = b.bodies[body_frame];
    double speed = frame_speed(b);
    bool off = b.ride.knockout_tics > 0;
    int now = t.tic;
    if (b.ride.input.back_up > 0 && speed < 5) {
        double w = (1 - std::cos((now % 128) * 2 * k_pi / 127)) / 2;
        int settled = (t.gate_drop_tic + 128) / 128 * 128;
        if (now < settled && (now & (3 << 7))) w = 0;
        b.ride.input.sit = off ? 0 : 1;
        velocity_hold(frame, 2000, body_axis(frame, 2) * (4 * w));
        angular_motor(frame, {0, 1, 0}, -b.ride.input.steer * w * k_pi / 2, 2000);
        return;
    }
    if (!p.auto_dab || speed > p.max_dab_speed) return;
    double lean = std::fabs(lean_of(b));
    if (speed > 15 && lean < std::clamp((speed - 15) / 15, 0.0, 1.0) * k_pi / 4) return;
    bool idle = b.ride.input.throttle == 0 || b.ride.input.clutch == 0;
    if (!(idle || speed < 5 || lean > k_dab_lean)) return;
    double want = std::clamp((speed - p.max_dab_speed) / -p.max_dab_speed, 0.0, 1.0);
    b.ride.input.sit =
        off ? 0 : static_cast<float>(std::max(want, static_cast<double>(b.ride.input.sit)));
    if (speed < 5 && idle && on_ground(b.ride.front_contact) && on_ground(b.ride.rear_contact)) {
        b.ride.input.front_brake = 1;
        b.ride.input.rear_brake = 1;
        velocity_hold(frame, 1000, {});
    }
}

void rider_springs_apply(bike_state& b) {
    if (b.ride.knockout_tics > 0) return;
    const bike_info& info = bike_info_at(b.catalogue_index);
    const bike_params& p = b.params;
    dBodyID frame = b.bodies[body_frame], rider = b.bodies[body_rider];
    vec3d rz = body_axis(frame, 2), ry = body_axis(frame, 1);
    vec3d at = vec_of(dBodyGetPosition(rider));
    vec3d d = rel_point(frame, rider_place(info)) - at;
    double dz = dot(d, rz), dy = dot(d, ry);
    double m = info.rider_mass / 4.6875;

    double t = std::clamp((b.ride.input.sit * 0.5 + 0.5) * dy - b.ride.input.lean, -0.75, 0.75);
    double e = dz - t;
    double k = 0, c = 0;
    if (std::fabs(dz) > 0.75) {
        k = c = 2500;
    } else {
        k = std::fabs(e) * 100 + p.rider_zspring * 600;
    }
    k *= m;
    c *= m;
    if (k > 0) spring_joint(rider, frame, at, rz * (e >= 0 ? 1.0 : -1.0), std::fabs(e), k, c);

    e = dy + 0.125 - 0.5 * b.ride.input.sit;
    if (dy > 0.5 || dy < -0.75) {
        k = c = 2500;
    } else {
        k = p.rider_yspring * 400;
        c = p.rider_ydamping * 100;
    }
    k *= m;
    c *= m;
    if (k + c > 0) spring_joint(rider, frame, at, ry * (e >= 0 ? 1.0 : -1.0), std::fabs(e), k, c);

    dJointID mount = b.joints[joint_rider_mount];
    dJointSetHinge2Param(mount, dParamSuspensionERP, 0);
    dJointSetHinge2Param(mount, dParamSuspensionCFM, 1 / ((p.rider_zdamping * 30 + 5) * m));
}

void rider_set_realign_target(realign_target_fn fn) { g_hooks.realign_target = fn; }

// A bike lying over at a standstill is turned towards the racing line; when the line is behind or
// well off to the side the bike is carried while it turns. True when the bike is carried, which
// ends this tic's dab.
static bool realign(bike_state& b, int bike) {
    vec3d target;
    if (!g_hooks.realign_target || !g_hooks.realign_target(bike, &target)) return false;
    dBodyID frame = b.bodies[body_frame];
    vec3d back = body_axis(frame, 2);
    back.y = 0;
    double l2 = dot(back, back);
    if (l2 <= 1.0 / 1024) return false;
    back = back * (1 / std::sqrt(l2));
    vec3d o = target - vec_of(dBodyGetPosition(frame));
    double side = back.z * o.x - back.x * o.z, ahead = back.x * o.x + back.z * o.z;
    double turn = side > 0 ? -k_pi / 2 : k_pi / 2;
    double most = b.total_mass * 320;
    if (ahead >= 0 || std::fabs(side) >= -0.25 * ahead) {
        angular_motor(frame, {0, 1, 0}, turn, most);
        if (wheel_touches(b.ride.front_contact))
            dBodyAddForce(b.front_wheel.wheel, 0, b.total_mass * k_gravity, 0);
        if (wheel_touches(b.ride.rear_contact))
            dBodyAddForce(b.rear_wheel.wheel, 0, b.total_mass * k_gravity, 0);
        return true;
    }
    angular_motor(frame, {0, 1, 0}, turn, std::fabs(side / (0.25 * ahead)) * most);
    return false;
}

void dab_and_realign(bike_state& b, int bike) {
    const bike_params& p = b.params;
    const bike_info& info = bike_info_at(b.catalogue_index);
    if (b.ride.knockout_tics > 0) {
        b.ride.dab_level = std::min(1.0f, b.ride.dab_level + static_cast<float>(8 * k_tic_length));
        return;
    }
    if (b.ride.input.sit <= 0) return;
    double speed = frame_speed(b);
    if (speed > p.max_dab_speed) return;
    dBodyID frame = b.bodies[body_frame];
    ground_hit hit;
    if (!on_ground(b.ride.front_contact) &&
        !sphere_ground_test(vec_of(dBodyGetPosition(b.bodies[body_rider])),
                            info.rider_position.y + 1, &hit))
        return;
    double lambda = lean_of(b);
    if (speed > 15 && (!on_ground(b.ride.front_contact) || !on_ground(b.ride.rear_contact) ||
                       std::fabs(lambda) < 0.5890486))
        return;
    b.ride.dab_level = std::min(1.0f, b.ride.dab_level + static_cast<float>(8 * k_tic_length));
    if (p.arcade) return;
    if (speed >= 5 && b.ride.contact_timer > 0) return;
    if (speed < 5 && std::fabs(lambda) > k_realign_least && std::fabs(lambda) < k_realign_most &&
        p.auto_align && b.ride.input.back_up <= 0.125 && realign(b, bike))
        return;

    double wz = dot(vec_of(dBodyGetAngularVel(frame)), body_axis(frame, 2));
    double r = lambda >= 0 ? -k_realign_roll_rate : k_realign_roll_rate;
    if (std::fabs(lambda) < k_dab_lean) r *= std::fabs(lambda) / k_dab_lean;
    double f = 0;
    if (r > 0 && r > wz) f = -400;
    if (r < 0 && r < wz) f = 400;
    if (std::fabs(lambda) < 0.09817) f *= std::fabs(lambda) / 0.09817;
    if (b.ride.input.back_up < 0.125 || speed > 5) {
        double v2 = speed * speed, mds = p.max_dab_speed, base = 0;
        if (speed <= 0)
            base = 0;
        else if (speed <= 15)
            base = p.roll_limit_angle * (1 - std::pow(1 - std::min(v2 / (mds * mds), 1.0), 32));
        else if (speed <= mds)
            base = p.roll_limit_angle +
                   (2 * k_pi - p.roll_limit_angle) * (v2 - 225) / std::max(mds * mds - 225, 1e-6);
        else
            base = 2 * k_pi;
        double c = 1.25 * base;
        double s = wz >= 0 ? -b.ride.input.steer : b.ride.input.steer;
        double g = std::clamp(2 * (s - 0.5), 0.0, 1.0);
        double fl = std::clamp((std::fabs(lambda) - c) / 0.25, 0.0, 1.0);
        f *= fl + (1 - fl) * g;
        if (speed > 5) f *= b.ride.steering_lock_level;
    }
    if (f == 0) return;
    if (body_axis(frame, 1).y >= 0.707) {
        dBodyAddRelForceAtRelPos(frame, f, 0, 0, 0, 4, 0);
        dBodyAddForceAtRelPos(frame, 0, std::fabs(f) / 8, 0, 0, 4, 0);
    } else {
        dBodyAddForceAtRelPos(frame, 0, std::fabs(f), 0, 0, 4, 0);
    }
}

rider_feet_result rider_feet(const bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    dBodyID frame = b.bodies[body_frame], rider = b.bodies[body_rider];
    rider_feet_result out;
    vec3d l = skeleton_point(info, skeleton_left_foot_rest);
    vec3d r = skeleton_point(info, skeleton_right_foot_rest);
    int k = b.ride.knockout_tics;
    if (k > 0) {
        double w = std::min(std::max(k, 1), 128) / 128.0;
        double a = 0.5 * std::clamp(2 * w - 1, 0.0, 1.0), bb = std::clamp(2 * w, 0.0, 1.0);
        double c = std::clamp(4 * w / 3, 0.0, 1.0);
        l.x -= a;
        r.x += a;
        l.y += 1.75 * bb;
        r.y += 1.75 * bb;
        l.z += c;
        r.z += c;
    }
    out.left = rel_point(frame, l);
    out.right = rel_point(frame, r);
    if (b.ride.dab_level != 0 && k < k_knockout_legs_in) {
        vec3d hl = rel_point(rider, skeleton_point(info, skeleton_left_hip));
        vec3d hr = rel_point(rider, skeleton_point(info, skeleton_right_hip));
        vec3d d = hr - hl;
        vec3d f = body_axis(frame, 2) * -1.0;
        double lambda = lean_of(b);
        double s = std::clamp(dot(f, vec_of(dBodyGetLinearVel(frame))) / 15, 0.0, 1.0);
        double m = std::clamp(std::fabs(lambda) * 4 / k_pi, 0.0, 1.0);
        vec3d o = f * ((1.25 * s - 0.25) * m * 2.5);
        auto put_down = [&](vec3d hip_point, vec3d& foot, float& weight) {
            vec3d ground = {hip_point.x,
                            contact_ground_height(static_cast<float>(hip_point.x),
                                                  static_cast<float>(hip_point.z)) +
                                0.125,
                            hip_point.z};
            weight = b.ride.dab_level;
            foot = foot + (ground - foot) * weight;
        };
        if (lambda > -0.1) put_down(hl + d * (0.5 * m - 0.5) + o, out.left, out.left_weight);
        if (lambda < 0.1) put_down(hr + d * (0.5 - 0.5 * m) + o, out.right, out.right_weight);
    }
    if (k > 0) {
        double g = std::clamp(2 * k - 128, 1, 128) / 128.0;
        out.left = out.left + (b.ride.left_foot.position - out.left) * g;
        out.right = out.right + (b.ride.right_foot.position - out.right) * g;
        out.left_weight = out.right_weight = 1;
    }
    return out;
}

void foot_update(bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    dBodyID rider = b.bodies[body_rider];
    if (b.ride.knockout_tics <= 0) {
        rider_feet_result feet = rider_feet(b);
        b.ride.left_foot.position = feet.left;
        b.ride.left_foot.velocity = point_velocity(rider, feet.left);
        b.ride.right_foot.position = feet.right;
        b.ride.right_foot.velocity = point_velocity(rider, feet.right);
    } else {
        double leg = info.rider_skeleton[skeleton_thigh] + info.rider_skeleton[skeleton_shin];
        vec3d side = body_axis(rider, 0);
        for (int i = 0; i < 2; i++) {
            foot_point& foot = i == 0 ? b.ride.left_foot : b.ride.right_foot;
            foot.position = foot.position + foot.velocity * k_tic_length;
            foot.velocity.y -= k_gravity * k_tic_length;
            double floor = contact_ground_height(static_cast<float>(foot.position.x),
                                                 static_cast<float>(foot.position.z)) +
                           0.25;
            if (foot.position.y < floor) {
                foot.position.y = floor;
                foot.velocity = {};
            }
            foot.velocity = foot.velocity * 0.9375;
            vec3d hip = rel_point(
                rider, skeleton_point(info, i == 0 ? skeleton_left_hip : skeleton_right_hip));
            vec3d out = foot.position - hip;
            double d = length(out);
            if (d > leg) {
                vec3d u = out * (1 / d);
                foot.position = hip + u * leg;
                double away = dot(foot.velocity, u);
                if (away > 0) foot.velocity = foot.velocity - u * away;
            }
            // Each foot stays on its own side of the rider.
            vec3d toward = i == 0 ? side * -1.0 : side;
            double across = dot(foot.position - hip, toward);
            if (across < 0) foot.position = foot.position - toward * across;
        }
    }
    b.ride.dab_level = std::max(0.0f, b.ride.dab_level - static_cast<float>(4 * k_tic_length));
}
