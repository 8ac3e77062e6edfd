// The rider's pose: two-bone limbs, bones that carry the bind pose onto the joints, the head
// within the neck's reach and the lean away from bars that come too close.
#include "bike/draw/rider_pose.h"
#include "bike/bike.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
double distance(vec3d a, vec3d b) { return length(a - b); }

pose_frame frame_at(vec3d position) {
    pose_frame f;
    f.position = position;
    f.axis[0] = {1, 0, 0};
    f.axis[1] = {0, 1, 0};
    f.axis[2] = {0, 0, 1};
    return f;
}

// A rotation's columns.
pose_frame turned_about_y(vec3d position, double angle) {
    pose_frame f = frame_at(position);
    f.axis[0] = {std::cos(angle), 0, -std::sin(angle)};
    f.axis[2] = {std::sin(angle), 0, std::cos(angle)};
    return f;
}

// A skinned point: R (p - c) + t of a bone.
vec3d skinned(const model_bone& b, vec3d p) {
    const double d[3] = {p.x - b.centre[0], p.y - b.centre[1], p.z - b.centre[2]};
    double out[3];
    for (int r = 0; r < 3; r++)
        out[r] = b.rotation[3 * r] * d[0] + b.rotation[3 * r + 1] * d[1] +
                 b.rotation[3 * r + 2] * d[2] + b.translation[r];
    return {out[0], out[1], out[2]};
}

vec3d in_world(const pose_frame& f, vec3d local) { return frame_point(f, local); }
} // namespace

TEST(LimbIk, TheMiddleJointKeepsBothLengthsAndBendsTowardsTheHint) {
    const vec3d root{0, 0, 0}, target{0, -2, 0.5}, hint{0, -1, -3};
    vec3d knee = limb_ik(root, target, 1.328, 1.701, hint);
    EXPECT_NEAR(distance(root, knee), 1.328, 1e-9);
    EXPECT_NEAR(distance(knee, target), 1.701, 1e-9);
    EXPECT_LT(knee.z, 0) << "the knee goes the hint's way";
    vec3d other = limb_ik(root, target, 1.328, 1.701, {0, -1, 3});
    EXPECT_GT(other.z, 0.5);
}

TEST(LimbIk, AnOverstretchedLimbKeepsItsKneeWhereFullReachPutsIt) {
    const vec3d hip{1, 4, 2}, hint{0, 3, -5};
    const vec3d along = vec3d{0, -6, 1} * (1 / std::sqrt(37.0));
    const double reach = 0.95 * (1.328 + 1.701);
    // Every foot on the line beyond 95 % of the leg's reach leaves the knee at one place: the
    // knee of a foot at exactly that reach, thigh and shin at their lengths from hip and foot.
    const vec3d at_reach = limb_ik(hip, hip + along * reach, 1.328, 1.701, hint);
    EXPECT_NEAR(distance(at_reach, hip), 1.328, 1e-9);
    EXPECT_NEAR(distance(at_reach, hip + along * reach), 1.701, 1e-9);
    for (double beyond : {reach + 0.01, 4.0, 6.0, 40.0}) {
        vec3d knee = limb_ik(hip, hip + along * beyond, 1.328, 1.701, hint);
        EXPECT_NEAR(distance(knee, at_reach), 0, 1e-9) << beyond;
    }
}

TEST(RiderPose, BonesCarryTheBindPoseOntoThePlacedJoints) {
    const bike_info& info = bike_info_at(0);
    const float* s = info.rider_skeleton;
    rider_pose_input in;
    // The rider on its bike as built, the bars turned a little.
    in.rider = turned_about_y({10, 4.5, 20}, 0.4);
    in.fork_upper = turned_about_y(frame_point(in.rider, {0, -1.6, -1.96}), 0.6);
    in.left_foot = in_world(in.rider, {-0.6, -3.1, 0.1});
    in.right_foot = in_world(in.rider, {0.6, -3.0, 0.0});
    in.left_foot_weight = 0.7f;
    in.throttle = 0.5f;
    const rider_joints j = rider_joints_place(in, s);
    model_bone bones[k_rider_bones];
    rider_bones_place(in, j, s, bones);
    // The bones are in the rider body's coordinates; carried into the world, each bind joint
    // lands on its placed joint and each limb's end on its hand or foot.
    auto world = [&](int bone, vec3d bind) {
        return in_world(in.rider, skinned(bones[bone], bind));
    };
    const float* b = &s[skeleton_bind_pose];
    for (int side = 0; side < 2; side++) {
        const double sign = side ? 1 : -1;
        const vec3d elbow{b[3 * side], b[3 * side + 1], b[3 * side + 2]};
        const vec3d hand{sign * (std::fabs(b[3 * side]) + s[skeleton_forearm]), elbow.y, elbow.z};
        EXPECT_NEAR(distance(world(bone_left_forearm + side, elbow), j.elbow[side]), 0, 1e-4);
        EXPECT_NEAR(distance(world(bone_left_forearm + side, hand), j.grip[side]), 0, 1e-3)
            << "the hand on the grip";
        EXPECT_NEAR(distance(world(bone_left_upper_arm + side, elbow), j.elbow[side]), 0, 1e-4)
            << "upper arm and forearm meet at the elbow";
        const vec3d knee{b[12 + 3 * side], b[13 + 3 * side], b[14 + 3 * side]};
        const vec3d foot{knee.x, knee.y - s[skeleton_shin], knee.z};
        EXPECT_NEAR(distance(world(bone_left_shin + side, knee), j.knee[side]), 0, 1e-4);
        EXPECT_NEAR(distance(world(bone_left_shin + side, foot), j.foot[side]), 0, 1e-3)
            << "the boot on the peg";
        EXPECT_NEAR(distance(world(bone_left_thigh + side, knee), j.knee[side]), 0, 1e-4);
    }
    const vec3d pelvis{b[24], b[25], b[26]};
    EXPECT_NEAR(distance(world(bone_torso, pelvis), j.pelvis), 0, 1e-4);
    const vec3d shoulders{0, b[7], b[8]};
    EXPECT_NEAR(distance(world(bone_torso, shoulders), j.chest), 0, 2e-3);
    // Every bone's rotation is a rotation.
    for (const model_bone& bone : bones) {
        const float* r = bone.rotation;
        const double det = r[0] * (r[4] * r[8] - r[5] * r[7]) - r[1] * (r[3] * r[8] - r[5] * r[6]) +
                           r[2] * (r[3] * r[7] - r[4] * r[6]);
        EXPECT_NEAR(det, 1, 1e-4);
    }
    // The knees point forwards (-z of the rider) and the elbows out.
    for (int side = 0; side < 2; side++) {
        vec3d knee = j.knee[side] - in.rider.position;
        EXPECT_LT(dot(knee, in.rider.axis[2]),
                  dot(j.hip[side] - in.rider.position, in.rider.axis[2]));
    }
    EXPECT_LT(dot(j.elbow[0] - in.rider.position, in.rider.axis[0]),
              dot(j.shoulder[0] - in.rider.position, in.rider.axis[0]) + 0.2);
}

TEST(RiderPose, BarsTooCloseTiltTheRiderBackAboutItsLeftHip) {
    const float* s = bike_info_at(0).rider_skeleton;
    pose_frame rider = frame_at({0, 4.5, 4.12});
    // The grips' midpoint 1 ft straight ahead of the shoulders' midpoint.
    const vec3d chest =
        frame_point(rider, {0, s[skeleton_left_shoulder + 1], s[skeleton_left_shoulder + 2]});
    const vec3d grip_mid{0, s[skeleton_left_grip + 1], s[skeleton_left_grip + 2]};
    pose_frame fork = frame_at({0, chest.y - grip_mid.y, chest.z - 1 - grip_mid.z});
    pose_frame drawn = rider_leaning_back(rider, fork, s);
    EXPECT_NEAR(std::atan2(drawn.axis[1].z, drawn.axis[1].y), std::atan(0.09375), 1e-9);
    EXPECT_NEAR(length(drawn.axis[1]), 1, 1e-12);
    EXPECT_NEAR(dot(drawn.axis[1], drawn.axis[2]), 0, 1e-12);
    const vec3d hip{s[skeleton_left_hip], s[skeleton_left_hip + 1], s[skeleton_left_hip + 2]};
    EXPECT_NEAR(distance(frame_point(drawn, hip), frame_point(rider, hip)), 0, 1e-12);
    // At 1.25 ft or more nothing changes.
    fork.position.z -= 0.3;
    pose_frame far = rider_leaning_back(rider, fork, s);
    EXPECT_EQ(far.axis[1].z, 0);
    EXPECT_EQ(far.position.y, rider.position.y);
}

TEST(RiderPose, TheHeadTurnsTowardsTheWayTheRiderGoesWithinTheNecksReach) {
    pose_frame rider = frame_at({0, 4.5, 0});
    vec3d axes[3];
    // Still: looking ahead and down.
    rider_head_axes(rider, {0, 0, 0}, axes);
    EXPECT_GT(axes[2].y, 0) << "the face (-z) tips down";
    EXPECT_NEAR(axes[2].x, 0, 1e-9);
    const double still_down = axes[2].y;
    // Fast ahead: looking further up the track.
    rider_head_axes(rider, {0, 0, -60}, axes);
    EXPECT_LT(axes[2].y, still_down);
    // Sliding sideways fast: turned towards the slide, but only as far as the neck goes.
    rider_head_axes(rider, {-80, 0, -5}, axes);
    EXPECT_GT(axes[2].x, 0.2) << "the face (-z) turns to -x";
    const vec3d n2 = (rider.axis[1] * 1.5 + rider.axis[2]) * (1 / std::sqrt(3.25));
    vec3d extreme[3];
    rider_head_axes(rider, {-10000, 0, 0}, extreme);
    EXPECT_LT(length(extreme[2] - n2), 1.2) << "the turn stays within reach of the body";
    for (int k = 0; k < 3; k++) EXPECT_NEAR(length(axes[k]), 1, 1e-9);
    EXPECT_NEAR(dot(axes[0], axes[1]), 0, 1e-9);
}
