// Condensing a bike into 39 bytes and posing a bike from them.
#include "bike/replication/bike_snapshot.h"

#include "bike/contact/bike_contact.h"
#include "bike/sim/bike_local.h"
#include "bike/rider/bike_rider.h"
#include "bike/replication/state_history.h"
#include "common/common.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>

namespace {
// A snapshot's contents in the units posing needs; version-4 records keep the rider along one axis.
struct snapshot_view {
    compact_fields fields;
    uint8_t drive; // byte 36 of the full form
    bool version4;
    float rider_along; // ft, version 4 only
};

// Byte 36 of the full form: the short version-4 records keep it at byte 23.
uint8_t drive_of(const compact_state& s, int version) {
    return s.bytes[version == 4 ? compact4_drive : compact_drive];
}

snapshot_view view_of(const bike_state& b, const compact_state& s, int version,
                      const compact_ranges& r) {
    snapshot_view v{};
    v.version4 = version == 4;
    v.drive = drive_of(s, version);
    if (!v.version4) {
        v.fields = compact_state_unpack(s, r);
        return v;
    }
    // The short form: bytes 21..25 hold what the full form keeps in 34..38.
    compact_state full = s;
    for (int i = 0; i < 5; i++) full.bytes[compact_front_wheel + i] = s.bytes[compact4_tail + i];
    v.fields = compact_state_unpack(full, r);
    const bike_info& info = bike_info_at(b.catalogue_index);
    v.rider_along =
        info.rider_offset_range[0] + (info.rider_offset_range[1] - info.rider_offset_range[0]) *
                                         s.bytes[compact4_rider_along] / 255.0f;
    return v;
}

bool drive_knocked_out(uint8_t drive) { return (drive & 7) == 7; }

// R = A · B for 3 × 3 rotations in ODE's row-major 3 × 4 layout.
void multiply(const dReal* a, const dReal* b, dMatrix3 out) { dMultiply0_333(out, a, b); }

void set_turned(dBodyID body, dBodyID parent, vec3d local_point, vec3d axis, double angle) {
    dVector3 p;
    dBodyGetRelPointPos(parent, local_point.x, local_point.y, local_point.z, p);
    dBodySetPosition(body, p[0], p[1], p[2]);
    dMatrix3 turn, r;
    dRFromAxisAndAngle(turn, axis.x, axis.y, axis.z, angle);
    multiply(dBodyGetRotation(parent), turn, r);
    dBodySetRotation(body, r);
}

int gear_from_bits(const bike_info& info, int bits) {
    for (int i = std::min(bits, 5); i > 0; i--)
        if (info.gear_ratios[i] > 0) return i;
    return 0;
}

// The rider mount joined again, as if the rider had been put back on the seat; the rider stays
// where the snapshot put it.
void reattach(bike_state& b) {
    const bike_info& info = bike_info_at(b.catalogue_index);
    dBodyID rider = b.bodies[body_rider];
    vec3d saved_position = vec_of(dBodyGetPosition(rider));
    dQuaternion saved_q;
    dBodyCopyQuaternion(rider, saved_q);
    set_turned(rider, b.bodies[body_frame],
               vec_of(info.rider_position) - vec_of(info.frame_position), {1, 0, 0}, 0);
    rider_mount_attach(b);
    dBodySetPosition(rider, saved_position.x, saved_position.y, saved_position.z);
    dBodySetQuaternion(rider, saved_q);
}

void knock_off(bike_state& b, uint8_t drive) {
    dJointAttach(b.joints[joint_rider_mount], nullptr, nullptr);
    b.ride.input.throttle = 0;
    b.ride.knockout_tics = (drive >> 4) * 127 / 15 + 1;
}

// Byte 36: the rider knocked off, or gear and throttle.
void take_drive(bike_state& b, uint8_t drive) {
    if (drive_knocked_out(drive)) {
        knock_off(b, drive);
        return;
    }
    if (b.ride.knockout_tics != 0) reattach(b);
    b.ride.knockout_tics = 0;
    b.ride.gear = gear_from_bits(bike_info_at(b.catalogue_index), drive & 7);
    b.ride.input.throttle = (drive >> 4) / 15.0f;
}

// The feet where the rider stood when the snapshot knocked it off, moving with the rider's body.
void feet_at_knockout(bike_state& b) {
    int kept = b.ride.knockout_tics;
    b.ride.knockout_tics = 0;
    rider_feet_result feet = rider_feet(b);
    b.ride.knockout_tics = kept;
    dBodyID rider = b.bodies[body_rider];
    dVector3 v;
    dBodyGetPointVel(rider, feet.left.x, feet.left.y, feet.left.z, v);
    b.ride.left_foot = {feet.left, vec_of(v)};
    dBodyGetPointVel(rider, feet.right.x, feet.right.y, feet.right.z, v);
    b.ride.right_foot = {feet.right, vec_of(v)};
}

void zero_accumulators(bike_state& b) {
    for (dBodyID body : b.bodies) {
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
}

void set_enabled(bike_state& b, bool enabled) {
    for (dBodyID body : b.bodies) {
        if (enabled)
            dBodyEnable(body);
        else
            dBodyDisable(body);
    }
}

vec3d limited(vec3d v, double limit) {
    double l = length(v);
    return l > limit ? v * (limit / l) : v;
}

struct body_pose {
    vec3d position;
    double q[4];
};

void take_poses(const bike_state& b, body_pose out[k_bike_body_count]) {
    for (int i = 0; i < k_bike_body_count; i++) {
        out[i].position = vec_of(dBodyGetPosition(b.bodies[i]));
        const dReal* q = dBodyGetQuaternion(b.bodies[i]);
        for (int k = 0; k < 4; k++) out[i].q[k] = q[k];
    }
}

void passive_apply(int bike, const compact_state& from, const compact_state& to, int length,
                   const compact_state& chosen, int version) {
    bike_state& b = bike_at(bike);
    int kept_knockout = b.ride.knockout_tics;
    body_pose start[k_bike_body_count], end[k_bike_body_count];
    compact_state_pose(bike, from, version);
    take_poses(b, start);
    compact_state_pose(bike, to, version);
    take_poses(b, end);
    double n = std::max(length, 1);
    for (int i = 0; i < k_bike_body_count; i++) {
        vec3d v = (end[i].position - start[i].position) * (1 / (n * k_tic_length));
        double w[3];
        rotation_rate(start[i].q, end[i].q, k_tic_length, w);
        dBodySetLinearVel(b.bodies[i], v.x, v.y, v.z);
        dBodySetAngularVel(b.bodies[i], w[0] / n, w[1] / n, w[2] / n);
    }
    compact_state_pose(bike, chosen, version);

    // A recording made on other ground may put the rear wheel under this ground.
    if (contact_ground_ready()) {
        const bike_info& info = bike_info_at(b.catalogue_index);
        dVector3 down;
        dBodyVectorToWorld(b.bodies[body_frame], 0, -info.rear_rim_radius, 0, down);
        vec3d p = vec_of(dBodyGetPosition(b.bodies[body_rear_wheel])) + vec_of(down);
        double rise = contact_ground_height(static_cast<float>(p.x), static_cast<float>(p.z)) - p.y;
        if (rise > 0) bike_translate(bike, {0, rise, 0});
    }
    if (kept_knockout == 0 && b.ride.knockout_tics != 0) feet_at_knockout(b);
    uint8_t drive = drive_of(chosen, version);
    // The feet go back on the pegs as they came off, so a rider who dabbed once does not ride on
    // with a foot down.
    if (drive_knocked_out(drive) || (drive & 8))
        b.ride.dab_level = std::min(b.ride.dab_level + static_cast<float>(8 * k_tic_length), 1.0f);
    else
        b.ride.dab_level = std::max(b.ride.dab_level - static_cast<float>(8 * k_tic_length), 0.0f);
}

void active_apply(int bike, const compact_state& from, const compact_state& to, int length,
                  const compact_state& chosen, int version) {
    bike_state& b = bike_at(bike);
    const bike_info& info = bike_info_at(b.catalogue_index);
    compact_ranges r = compact_ranges_of(bike);
    double a = b.ride.activity, k = 0, c = 0;
    if (a <= 0.5) {
        double s = std::clamp(2 * (0.5 - a), 0.0, 1.0);
        k = 5000 + 45000 * s;
        c = 500;
    } else if (a <= 0.75) {
        double s = std::clamp(4 * (0.75 - a), 0.0, 1.0);
        k = 5000 * s;
        c = 500 * s;
    }
    snapshot_view target = view_of(b, chosen, version, r);
    compact_fields f_from = compact_state_unpack(from, r), f_to = compact_state_unpack(to, r);
    dBodyID frame = b.bodies[body_frame];
    vec3d p_target{target.fields.frame_position[0], target.fields.frame_position[1],
                   target.fields.frame_position[2]};
    vec3d v_target{f_to.frame_position[0] - f_from.frame_position[0],
                   f_to.frame_position[1] - f_from.frame_position[1],
                   f_to.frame_position[2] - f_from.frame_position[2]};
    v_target = v_target * (1 / (std::max(length, 1) * k_tic_length));
    vec3d force = (p_target - vec_of(dBodyGetPosition(frame))) * k +
                  (v_target - vec_of(dBodyGetLinearVel(frame))) * c;
    force = limited(force, 2500);
    dBodyAddForce(frame, force.x, force.y, force.z);

    double q_now[4], q_target[4], w_target[3];
    const dReal* q = dBodyGetQuaternion(frame);
    for (int i = 0; i < 4; i++) {
        q_now[i] = q[i];
        q_target[i] = target.fields.frame_quaternion[i];
    }
    rotation_rate(q_now, q_target, k_tic_length, w_target);
    vec3d torque = vec3d{w_target[0], w_target[1], w_target[2]} * (k * k_tic_length) -
                   vec_of(dBodyGetAngularVel(frame)) * c;
    torque = limited(torque, 2500);
    dBodyAddTorque(frame, torque.x, torque.y, torque.z);

    dJointID steer = b.joints[joint_steering];
    double steer_error =
        target.fields.steer_angle - dJointGetHingeAngle(steer) - dJointGetHingeAngleRate(steer);
    b.ride.input.steer = static_cast<float>(std::clamp(steer_error * 0.25, -1.0, 1.0));

    if (drive_knocked_out(target.drive)) {
        if (b.ride.knockout_tics == 0) feet_at_knockout(b);
        knock_off(b, target.drive);
    } else {
        take_drive(b, target.drive);
    }
    bool riding = b.ride.knockout_tics < 1;
    b.ride.input.sit = riding && (target.drive & 8) ? 1.0f : 0.0f;
    // The rider spring's fore-aft law run backwards, so the simulated rider takes up the
    // recorded position.
    dMatrix3 rot;
    dReal tq[4] = {q_target[0], q_target[1], q_target[2], q_target[3]};
    dNormalize4(tq);
    dQtoR(tq, rot);
    vec3d ry{rot[1], rot[5], rot[9]}, rz{rot[2], rot[6], rot[10]};
    vec3d d{target.fields.rider_offset[0], target.fields.rider_offset[1],
            target.fields.rider_offset[2]};
    double dy = (info.rider_position.y - info.frame_position.y) - dot(d, ry);
    double dz = (info.rider_position.z - info.frame_position.z) - dot(d, rz);
    b.ride.input.lean =
        riding ? static_cast<float>(std::clamp(dy * (0.5 * b.ride.input.sit + 0.5) - dz, -1.0, 1.0))
               : 0.0f;
    b.ride.engine_speed =
        static_cast<float>(target.fields.engine_rpm / k_rpm_per_radian_per_second);
}
} // namespace

void rotation_rate(const double from[4], const double to[4], double seconds, double out[3]) {
    // The relative turn to · from⁻¹, in world axes.
    double aw = from[0], ax = -from[1], ay = -from[2], az = -from[3];
    double bw = to[0], bx = to[1], by = to[2], bz = to[3];
    double w = bw * aw - bx * ax - by * ay - bz * az;
    double x = bw * ax + bx * aw + by * az - bz * ay;
    double y = bw * ay - bx * az + by * aw + bz * ax;
    double z = bw * az + bx * ay - by * ax + bz * aw;
    if (w < 0) {
        w = -w;
        x = -x;
        y = -y;
        z = -z;
    }
    double s = std::sqrt(x * x + y * y + z * z);
    double scale = s > 1e-12 ? 2 * std::atan2(s, w) / s : 2.0 / std::max(w, 1e-12);
    for (int i = 0; i < 3; i++) out[i] = (i == 0 ? x : i == 1 ? y : z) * scale / seconds;
}

compact_ranges compact_ranges_of(int bike) {
    const bike_info& info = bike_info_at(bike_at(bike).catalogue_index);
    const height_field& field = ground().field;
    compact_ranges r{};
    // Without a ground the snapshot still needs a scale: a 1024 ft square from height 0.
    r.extent = field.extent > 0 ? field.extent : 1024.0f;
    r.min_height = field.extent > 0 ? field.min_height : 0.0f;
    r.swingarm_travel = info.swingarm_travel;
    r.fork_travel = info.fork_travel;
    return r;
}

compact_state compact_state_encode(int bike) {
    const bike_state& b = bike_at(bike);
    compact_fields f{};
    const dReal* frame = dBodyGetPosition(b.bodies[body_frame]);
    const dReal* rider = dBodyGetPosition(b.bodies[body_rider]);
    const dReal* qf = dBodyGetQuaternion(b.bodies[body_frame]);
    const dReal* qr = dBodyGetQuaternion(b.bodies[body_rider]);
    for (int i = 0; i < 3; i++) {
        f.frame_position[i] = static_cast<float>(frame[i]);
        f.rider_offset[i] = static_cast<float>(rider[i] - frame[i]);
    }
    for (int i = 0; i < 4; i++) {
        f.frame_quaternion[i] = static_cast<float>(qf[i]);
        f.rider_quaternion[i] = static_cast<float>(qr[i]);
    }
    f.steer_angle = static_cast<float>(dJointGetHingeAngle(b.joints[joint_steering]));
    f.swingarm_angle = static_cast<float>(dJointGetHingeAngle(b.joints[joint_swingarm_pivot]));
    f.fork_position = static_cast<float>(dJointGetSliderPosition(b.joints[joint_fork]));
    f.front_wheel_angle = static_cast<float>(dJointGetHingeAngle(b.joints[joint_front_axle]));
    f.rear_wheel_angle = static_cast<float>(dJointGetHingeAngle(b.joints[joint_rear_axle]));
    f.knockout_tics = b.ride.knockout_tics;
    f.gear = b.ride.gear;
    f.dabbing = b.ride.dab_level > 0;
    f.throttle = b.ride.input.throttle;
    f.engine_rpm = static_cast<float>(b.ride.engine_speed * k_rpm_per_radian_per_second);
    return compact_state_pack(f, compact_ranges_of(bike));
}

void compact_state_pose(int bike, const compact_state& state, int version) {
    bike_state& b = bike_at(bike);
    const bike_info& info = bike_info_at(b.catalogue_index);
    compact_ranges r = compact_ranges_of(bike);
    snapshot_view v = view_of(b, state, version, r);
    const compact_fields& f = v.fields;
    dBodyID* body = b.bodies;
    vec3d frame_at = vec_of(info.frame_position), head = vec_of(info.steering_head_position);
    vec3d lower = vec_of(info.fork_lower_position), arm = vec_of(info.swingarm_position);
    vec3d pivot = vec_of(info.swingarm_pivot);

    dBodySetPosition(body[body_frame], f.frame_position[0], f.frame_position[1],
                     f.frame_position[2]);
    dQuaternion qf = {f.frame_quaternion[0], f.frame_quaternion[1], f.frame_quaternion[2],
                      f.frame_quaternion[3]};
    dBodySetQuaternion(body[body_frame], qf);

    set_turned(body[body_fork_upper], body[body_frame], head - frame_at, head - lower,
               f.steer_angle);

    dMatrix3 turn;
    dRFromAxisAndAngle(turn, 1, 0, 0, f.swingarm_angle);
    vec3d radius = arm - pivot;
    vec3d turned{turn[0] * radius.x + turn[1] * radius.y + turn[2] * radius.z,
                 turn[4] * radius.x + turn[5] * radius.y + turn[6] * radius.z,
                 turn[8] * radius.x + turn[9] * radius.y + turn[10] * radius.z};
    set_turned(body[body_swingarm], body[body_frame], turned + pivot - frame_at, {1, 0, 0},
               f.swingarm_angle);

    vec3d down = lower - head;
    vec3d u = down * (1 / length(down));
    set_turned(body[body_fork_lower], body[body_fork_upper], lower + u * f.fork_position - head,
               {1, 0, 0}, 0);

    if (!v.version4) {
        dBodySetPosition(body[body_rider], f.frame_position[0] + f.rider_offset[0],
                         f.frame_position[1] + f.rider_offset[1],
                         f.frame_position[2] + f.rider_offset[2]);
        dQuaternion qr = {f.rider_quaternion[0], f.rider_quaternion[1], f.rider_quaternion[2],
                          f.rider_quaternion[3]};
        dBodySetQuaternion(body[body_rider], qr);
    } else {
        vec3d axis = vec_of(info.rider_offset_axis);
        double l = length(axis);
        vec3d along = l > 0 ? axis * (v.rider_along / l) : vec3d{};
        set_turned(body[body_rider], body[body_frame],
                   along + vec_of(info.rider_position) - frame_at, {1, 0, 0}, 0);
    }
    set_turned(body[body_front_wheel], body[body_fork_lower],
               vec_of(info.front_wheel_position) - lower, {-1, 0, 0}, f.front_wheel_angle);
    set_turned(body[body_rear_wheel], body[body_swingarm], vec_of(info.rear_wheel_position) - arm,
               {-1, 0, 0}, f.rear_wheel_angle);
    take_drive(b, v.drive);
    b.ride.engine_speed = static_cast<float>(f.engine_rpm / k_rpm_per_radian_per_second);
}

void history_apply(int slot, int bike, int tic, int version) {
    history_choice choice;
    if (!history_choose(slot, std::max(tic, 0), version == 4, &choice)) return;
    const state_history& h = history_of(slot);
    const compact_state& from = h.entries[choice.from].state;
    const compact_state& to = h.entries[choice.to].state;
    if (bike_at(bike).ride.activity > 0.25f)
        active_apply(bike, from, to, choice.length, choice.state, version);
    else
        passive_apply(bike, from, to, choice.length, choice.state, version);
}

void bike_activate(int bike) {
    bike_state& b = bike_at(bike);
    if (b.ride.activity <= 0.25f) zero_accumulators(b);
    b.ride.activity = 1;
    set_enabled(b, true);
}

void bike_deactivate(int bike) {
    bike_state& b = bike_at(bike);
    if (b.ride.activity <= 0.25f) zero_accumulators(b);
    b.ride.activity = 0;
    set_enabled(b, false);
}

void bike_touched(int bike) {
    bike_state& b = bike_at(bike);
    if (b.ride.activity == 0) {
        bike_activate(bike);
    } else if (b.ride.activity <= 0.25f) {
        zero_accumulators(b);
        b.ride.activity = 0.25f;
        set_enabled(b, false);
    }
}

void activity_decay(int bike) {
    bike_state& b = bike_at(bike);
    if (b.ride.activity <= 0) return;
    if (b.ride.activity <= 0.25f) zero_accumulators(b);
    b.ride.activity -= static_cast<float>(k_tic_length);
    if (b.ride.activity < 0) b.ride.activity = 0;
    set_enabled(b, b.ride.activity > 0.25f);
}
