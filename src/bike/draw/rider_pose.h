// The rider's drawn pose: two-bone limbs, the nine bone frames of the skinned rider, the head's
// orientation and the lean away from bars that come too close. Plain maths, no drawing.
#pragma once

#include "bike/bike.h"
#include "bike/data/bike_info.h"
#include "resources/model.h"

constexpr int k_rider_bones = 9;

enum rider_bone {
    bone_left_forearm,
    bone_right_forearm,
    bone_left_upper_arm,
    bone_right_upper_arm,
    bone_left_shin,
    bone_right_shin,
    bone_left_thigh,
    bone_right_thigh,
    bone_torso,
};

// A body's place: its position and its axes in world coordinates.
struct pose_frame {
    vec3d position;
    vec3d axis[3]; // x, y, z
};
// A point given in the frame's own coordinates, in world coordinates.
vec3d frame_point(const pose_frame& f, vec3d local);

// The middle joint of a two-bone limb from root to target; `hint` says which way it bends.
// An overstretched limb keeps its middle joint at 95 % of its reach.
vec3d limb_ik(vec3d root, vec3d target, double upper, double lower, vec3d hint);

// The rider body as it is drawn: tilted back about its left hip when the grips come within
// 1.25 ft of the shoulders' midpoint. Returns the frame unchanged otherwise.
pose_frame rider_leaning_back(const pose_frame& rider, const pose_frame& fork_upper,
                              const float skeleton[k_skeleton_floats]);

// Everything the pose is built from, in world coordinates.
struct rider_pose_input {
    pose_frame rider;      // as drawn (after leaning back)
    pose_frame fork_upper; // the grips turn with it
    vec3d left_foot, right_foot;
    float left_foot_weight = 0, right_foot_weight = 0; // 0..1
    float throttle = 0;                                // 0..1
};

// The joints the pose places, in world coordinates.
struct rider_joints {
    vec3d shoulder[2], elbow[2], grip[2], hip[2], knee[2], foot[2]; // left, right
    vec3d pelvis, chest;
};

// The joints, then the nine bones in the rider body's own coordinates (the model is drawn at
// the rider body).
rider_joints rider_joints_place(const rider_pose_input& in,
                                const float skeleton[k_skeleton_floats]);
void rider_bones_place(const rider_pose_input& in, const rider_joints& joints,
                       const float skeleton[k_skeleton_floats], model_bone bones[k_rider_bones]);

// The head's axes (x, y, z in world coordinates) for a rider body frame and its velocity: turned
// towards the way the rider travels, within the neck's reach.
void rider_head_axes(const pose_frame& rider, vec3d velocity, vec3d axes[3]);
