// The rider's drawn pose: limb inverse kinematics, bone frames, the head and the lean-back.
#include "bike/draw/rider_pose.h"

#include "bike/sim/bike_local.h"

#include <algorithm>
#include <cmath>

namespace {
vec3d skeleton_vec(const float* s, int at) { return {s[at], s[at + 1], s[at + 2]}; }

// The part of v across the unit direction d.
vec3d across(vec3d v, vec3d d) { return v - d * dot(v, d); }

// A frame whose first axis is `direction` and whose second lies towards `reference`.
void frame_along(vec3d direction, vec3d reference, vec3d out[3]) {
    out[0] = normalized(direction);
    vec3d second = across(reference, out[0]);
    if (dot(second, second) < 1e-12) {
        // A reference along the bone says nothing; any square frame will do.
        vec3d other = std::fabs(out[0].x) < 0.9 ? vec3d{1, 0, 0} : vec3d{0, 1, 0};
        second = across(other, out[0]);
    }
    out[1] = normalized(second);
    out[2] = cross(out[0], out[1]);
}

// Each bone in the bind pose: its direction and the axis its reference takes there.
struct bind_axes {
    vec3d direction;
    vec3d second;
};
constexpr bind_axes k_bind[k_rider_bones] = {
    {{1, 0, 0}, {0, 0, -1}}, // left forearm: hand out at -x, the grip line turns to -z
    {{-1, 0, 0}, {0, 0, 1}}, // right forearm
    {{1, 0, 0}, {0, 1, 0}},  // left upper arm, second axis along the spine
    {{-1, 0, 0}, {0, 1, 0}}, // right upper arm
    {{0, 1, 0}, {1, 0, 0}},  // shins and thighs: up the leg, the hip line across
    {{0, 1, 0}, {1, 0, 0}},  {{0, 1, 0}, {1, 0, 0}},
    {{0, 1, 0}, {1, 0, 0}},  {{0, 1, 0}, {1, 0, 0}}, // torso: up the spine, the body's x across
};

// The leg's second-axis reference: the hip line, turned towards the normal of the leg's plane
// as far as the foot carries weight.
vec3d leg_reference(vec3d hip_line, vec3d hip, vec3d knee, vec3d foot, float weight) {
    vec3d normal = cross(knee - hip, foot - hip);
    if (dot(normal, normal) < 0.001) return hip_line;
    normal = normalized(normal);
    if (dot(normal, hip_line) < 0) normal = normal * -1.0;
    return hip_line + (normal - hip_line) * weight;
}
} // namespace

vec3d frame_point(const pose_frame& f, vec3d local) {
    return f.position + f.axis[0] * local.x + f.axis[1] * local.y + f.axis[2] * local.z;
}

vec3d limb_ik(vec3d root, vec3d target, double upper, double lower, vec3d hint) {
    vec3d to_target = target - root;
    double d = length(to_target);
    vec3d u = d > 0 ? to_target * (1 / d) : normalized(hint - root);
    d = std::min(d, 0.95 * (upper + lower));
    // A target on the root itself still bends the limb by the hint.
    d = std::max(d, 1e-6);
    double along = (upper * upper + d * d - lower * lower) / (2 * d);
    along = std::clamp(along, -upper, upper);
    vec3d side = normalized(across(hint - root, u));
    double height = std::sqrt(std::max(0.0, upper * upper - along * along));
    return root + u * along + side * height;
}

pose_frame rider_leaning_back(const pose_frame& rider, const pose_frame& fork_upper,
                              const float s[k_skeleton_floats]) {
    vec3d c = frame_point(rider, {0, s[skeleton_left_shoulder + 1], s[skeleton_left_shoulder + 2]});
    vec3d h = frame_point(fork_upper, {0, s[skeleton_left_grip + 1], s[skeleton_left_grip + 2]});
    double a = std::clamp(1.25 - length(c - h), 0.0, 1.0);
    if (a <= 0) return rider;
    pose_frame out = rider;
    const vec3d x = rider.axis[0];
    vec3d y = normalized(rider.axis[1] + rider.axis[2] * (0.375 * a));
    vec3d z = cross(x, y);
    out.axis[1] = cross(z, x);
    out.axis[2] = z;
    // The left hip stays where it was.
    vec3d hip = skeleton_vec(s, skeleton_left_hip);
    out.position = out.position + frame_point(rider, hip) - frame_point(out, hip);
    return out;
}

rider_joints rider_joints_place(const rider_pose_input& in, const float s[k_skeleton_floats]) {
    rider_joints j;
    const pose_frame& r = in.rider;
    j.shoulder[0] = frame_point(r, skeleton_vec(s, skeleton_left_shoulder));
    j.shoulder[1] = frame_point(r, skeleton_vec(s, skeleton_right_shoulder));
    j.hip[0] = frame_point(r, skeleton_vec(s, skeleton_left_hip));
    j.hip[1] = frame_point(r, skeleton_vec(s, skeleton_right_hip));
    j.grip[0] = frame_point(in.fork_upper, skeleton_vec(s, skeleton_left_grip));
    j.grip[1] = frame_point(in.fork_upper, skeleton_vec(s, skeleton_right_grip));
    j.foot[0] = in.left_foot;
    j.foot[1] = in.right_foot;
    j.pelvis = frame_point(r, {0, s[skeleton_left_hip + 1], s[skeleton_left_hip + 2]});
    j.chest = frame_point(r, {0, s[skeleton_left_shoulder + 1], s[skeleton_left_shoulder + 2]});

    // The elbows point back, down and out; the right one drops as the throttle opens, and the
    // one on the lower shoulder drops further.
    const double dy = j.shoulder[1].y - j.shoulder[0].y;
    const vec3d g = j.grip[1] - j.grip[0];
    const float* sl = &s[skeleton_left_shoulder];
    const float* sr = &s[skeleton_right_shoulder];
    vec3d left_hint =
        frame_point(r, {sl[0] - 0.5, sl[1] - 1.0 - 1.5 * std::max(dy, 0.0), sl[2] + 2.0}) - g;
    vec3d right_hint =
        frame_point(r, {sr[0] + 0.5, sr[1] - 0.9 - 0.125 * in.throttle - 1.5 * std::max(-dy, 0.0),
                        sr[2] + 2.0}) +
        g;
    const double upper_arm = s[skeleton_upper_arm], forearm = s[skeleton_forearm];
    j.elbow[0] = limb_ik(j.shoulder[0], j.grip[0], upper_arm, forearm, left_hint);
    j.elbow[1] = limb_ik(j.shoulder[1], j.grip[1], upper_arm, forearm, right_hint);

    // The knees point forwards and out.
    const vec3d hl = skeleton_vec(s, skeleton_left_hip), hr = skeleton_vec(s, skeleton_right_hip);
    const double thigh = s[skeleton_thigh], shin = s[skeleton_shin];
    j.knee[0] = limb_ik(j.hip[0], j.foot[0], thigh, shin, frame_point(r, hl + vec3d{-0.5, 0, -2}));
    j.knee[1] = limb_ik(j.hip[1], j.foot[1], thigh, shin, frame_point(r, hr + vec3d{0.5, 0, -2}));
    return j;
}

void rider_bones_place(const rider_pose_input& in, const rider_joints& j,
                       const float s[k_skeleton_floats], model_bone bones[k_rider_bones]) {
    const vec3d spine = j.chest - j.pelvis;
    const vec3d grip_line = j.grip[1] - j.grip[0];
    const vec3d hip_line = normalized(j.hip[1] - j.hip[0]);
    const float weights[2] = {in.left_foot_weight, in.right_foot_weight};
    struct posed {
        vec3d at, direction, reference;
    } p[k_rider_bones];
    for (int side = 0; side < 2; side++) {
        p[bone_left_forearm + side] = {j.elbow[side], j.elbow[side] - j.grip[side], grip_line};
        p[bone_left_upper_arm + side] = {j.shoulder[side], j.shoulder[side] - j.elbow[side], spine};
        vec3d leg = leg_reference(hip_line, j.hip[side], j.knee[side], j.foot[side], weights[side]);
        p[bone_left_shin + side] = {j.knee[side], j.knee[side] - j.foot[side], leg};
        p[bone_left_thigh + side] = {j.hip[side], j.hip[side] - j.knee[side], leg};
    }
    p[bone_torso] = {j.pelvis, spine, in.rider.axis[0]};

    // Bones go into the rider body's own coordinates: R_body^T (world - position).
    const pose_frame& r = in.rider;
    auto to_local = [&](vec3d v) {
        return vec3d{dot(v, r.axis[0]), dot(v, r.axis[1]), dot(v, r.axis[2])};
    };
    for (int b = 0; b < k_rider_bones; b++) {
        vec3d posed_axes[3], bind_axes_full[3];
        frame_along(to_local(p[b].direction), to_local(p[b].reference), posed_axes);
        frame_along(k_bind[b].direction, k_bind[b].second, bind_axes_full);
        model_bone& out = bones[b];
        // The bind centre of each bone is the joint it turns about, from the skeleton's table.
        for (int k = 0; k < 3; k++) out.centre[k] = s[skeleton_bind_pose + 3 * b + k];
        vec3d at = to_local(p[b].at - r.position);
        out.translation[0] = static_cast<float>(at.x);
        out.translation[1] = static_cast<float>(at.y);
        out.translation[2] = static_cast<float>(at.z);
        // R = P B^T: bind axis k goes onto posed axis k.
        const double* pa[3] = {&posed_axes[0].x, &posed_axes[1].x, &posed_axes[2].x};
        const double* ba[3] = {&bind_axes_full[0].x, &bind_axes_full[1].x, &bind_axes_full[2].x};
        for (int row = 0; row < 3; row++)
            for (int col = 0; col < 3; col++) {
                double v = 0;
                for (int k = 0; k < 3; k++) v += pa[k][row] * ba[k][col];
                out.rotation[3 * row + col] = static_cast<float>(v);
            }
    }
}

void rider_head_axes(const pose_frame& rider, vec3d v, vec3d axes[3]) {
    const vec3d y = rider.axis[1], z = rider.axis[2];
    if (dot(z, v) >= 0) v = v - z * dot(z, v);
    vec3d w = z - v;
    double wl = length(w);
    if (wl < 32) w = z + (w - z) * (wl / 32);
    double h = std::sqrt(w.x * w.x + w.z * w.z);
    w.y = std::max(h * (60 - h) * 0.0058333, 0.0) + 0.25 * h;
    vec3d l = normalized(w);
    const double root = std::sqrt(3.25);
    vec3d n1 = (y * 1.5 - z) * (1 / root);
    vec3d n2 = (y * 1.5 + z) * (1 / root);
    vec3d up{0, 1, 0};
    double reach = length(up - n1);
    if (reach > 0.5) up = n1 + (up - n1) * (0.5 / reach);
    vec3d l1 = l + n1 * (2 * dot(l, n1));
    double turn = length(l1 - n2);
    if (turn > 0.75) l1 = n2 + (l1 - n2) * (0.75 / turn);
    vec3d l2 = l1 - n1 * ((2.0 / 3.0) * dot(l1, n1));
    axes[0] = normalized(cross(up, l2));
    axes[1] = normalized(cross(l2, axes[0]));
    axes[2] = normalized(l2);
}
