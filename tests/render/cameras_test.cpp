// The trackside cameras' orientation, the key-framed camera and the camera operator.
#include "render/render.h"
#include "track/track_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {
void column(const float r[9], int c, float out[3]) {
    for (int k = 0; k < 3; k++) out[k] = r[3 * k + c];
}
float dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

camera_keyframe key_at(int tic, float x, float yaw, float fov) {
    camera_keyframe k;
    k.tic = tic;
    k.position[0] = x;
    k.position[1] = 10;
    keyframe_quaternion(yaw, 0, k.quaternion);
    k.fov = fov;
    return k;
}
} // namespace

TEST(TracksideCamera, LooksAlongItsYawAndPitchWithASquareFrame) {
    for (float yaw : {0.0f, 0.7f, -2.5f})
        for (float pitch : {0.0f, -0.4f, 0.3f}) {
            float r[9];
            trackside_rotation(yaw, pitch, r);
            float right[3], up[3], back[3];
            column(r, 0, right), column(r, 1, up), column(r, 2, back);
            const float look[3] = {std::sin(yaw) * std::cos(pitch), std::sin(pitch),
                                   std::cos(yaw) * std::cos(pitch)};
            EXPECT_NEAR(dot(back, look), -1, 1e-5f) << "it looks down its negated third column";
            EXPECT_NEAR(dot(right, up), 0, 1e-5f);
            EXPECT_NEAR(right[1], 0, 1e-6f) << "the horizon stays level";
            EXPECT_GT(up[1], 0);
            // Right-handed: right x up = back.
            const float rxu[3] = {right[1] * up[2] - right[2] * up[1],
                                  right[2] * up[0] - right[0] * up[2],
                                  right[0] * up[1] - right[1] * up[0]};
            EXPECT_NEAR(dot(rxu, back), 1, 1e-5f);
        }
}

TEST(TracksideCamera, AKeyframeTakenFromACameraLooksTheSameWay) {
    for (float yaw : {0.0f, 1.2f, -2.0f})
        for (float pitch : {0.0f, -0.3f}) {
            camera_keyframe k;
            keyframe_quaternion(yaw, pitch, k.quaternion);
            scene_camera c = keyframed_camera(&k, 1, 0);
            float expected[9];
            trackside_rotation(yaw, pitch, expected);
            for (int i = 0; i < 9; i++) EXPECT_NEAR(c.rotation[i], expected[i], 1e-5f) << i;
        }
}

TEST(KeyCamera, EasesBetweenTwoKeyframesAndIsHalfwayAtTheMiddle) {
    const camera_keyframe keys[2] = {key_at(0, 0, 0, 60), key_at(128, 100, 1.0f, 90)};
    scene_camera middle = keyframed_camera(keys, 2, 64);
    EXPECT_NEAR(middle.eye[0], 50, 1e-3f);
    EXPECT_NEAR(middle.fov, 75, 1e-4f);
    float expected[9];
    trackside_rotation(0.5f, 0, expected);
    for (int i = 0; i < 9; i++) EXPECT_NEAR(middle.rotation[i], expected[i], 1e-4f) << i;
    // Both tangents are 0, so the camera starts and stops gently.
    EXPECT_LT(keyframed_camera(keys, 2, 16).eye[0], 100.0f * 16 / 128 / 2);
    EXPECT_GT(keyframed_camera(keys, 2, 112).eye[0], 100 - 100.0f * 16 / 128 / 2);
    // Before the first and after the last keyframe the camera stays on them.
    EXPECT_EQ(keyframed_camera(keys, 2, -50).eye[0], 0);
    EXPECT_EQ(keyframed_camera(keys, 2, 500).eye[0], 100);
}

TEST(KeyCamera, NeighboursGiveTheCurveItsTangents) {
    // Evenly spaced keyframes on a line: the curve passes each at constant speed.
    const camera_keyframe keys[4] = {key_at(0, 0, 0, 90), key_at(100, 10, 0, 90),
                                     key_at(200, 20, 0, 90), key_at(300, 30, 0, 90)};
    for (int tic : {110, 150, 175, 199})
        EXPECT_NEAR(keyframed_camera(keys, 4, tic).eye[0], tic / 10.0f, 1e-4f) << tic;
}

TEST(CameraOperator, FollowsItsRiderAndTurnsNoFasterThanAllowed) {
    track_camera c;
    c.yaw = 0;
    camera_controls in;
    in.has_target = true;
    in.target[0] = 50; // due east of a camera looking south
    in.target[2] = 0;
    float previous_rate = 0;
    for (int tic = 0; tic < 10 * k_tics_per_second; tic++) {
        camera_operate(c, in);
        EXPECT_LE(std::fabs(c.yaw_rate - previous_rate), k_pi / 128 + 1e-5f);
        previous_rate = c.yaw_rate;
    }
    EXPECT_NEAR(c.yaw, k_pi / 2, 0.005f) << "it ends up looking at the rider";
    EXPECT_NEAR(c.pitch, 0, 0.005f);
}

// Riders pass a camera on straight lines at many distances, speeds and headings, some climbing;
// from the cut onwards the camera keeps each one near the middle of its picture and its zoom
// keeps the rider within a quarter of its size.
TEST(CameraOperator, KeepsAPassingRiderInTheMiddleOfThePicture) {
    int passes = 0;
    for (float distance = 40; distance <= 100; distance += 20)
        for (float speed = 10; speed <= 40; speed += 10)
            for (float heading = 0; heading < 2 * k_pi; heading += 0.7f)
                for (float climb = -0.1f; climb <= 0.1f; climb += 0.1f) {
                    track_camera c;
                    c.position[1] = 12;
                    c.auto_fov_size = 14;
                    c.fov = 60;
                    camera_controls in;
                    in.has_target = true;
                    const float along[3] = {std::sin(heading), climb, std::cos(heading)};
                    const float across[3] = {std::cos(heading), 0, -std::sin(heading)};
                    float worst = 0, worst_zoom = 0;
                    for (int tic = 0; tic < 8 * k_tics_per_second; tic++) {
                        const float t = static_cast<float>(tic) / k_tics_per_second - 4;
                        for (int k = 0; k < 3; k++) {
                            in.target[k] = across[k] * distance + along[k] * speed * t;
                            in.velocity[k] = along[k] * speed;
                        }
                        in.cut = tic == 0;
                        camera_operate(c, in);
                        float look[3], to[3];
                        look[0] = std::sin(c.yaw) * std::cos(c.pitch);
                        look[1] = std::sin(c.pitch);
                        look[2] = std::cos(c.yaw) * std::cos(c.pitch);
                        for (int k = 0; k < 3; k++) to[k] = in.target[k] - c.position[k];
                        const float range = std::sqrt(dot(to, to));
                        const float off = std::acos(std::clamp(dot(look, to) / range, -1.0f, 1.0f));
                        worst = std::max(worst, off / (c.fov * static_cast<float>(k_pi) / 360));
                        const float wanted = 2 * std::atan(14 / range) * 180 / k_pi;
                        worst_zoom = std::max(worst_zoom, std::fabs(c.fov - wanted) / wanted);
                    }
                    EXPECT_LT(worst, 0.5f) << distance << " ft " << speed << " ft/s " << heading;
                    EXPECT_LT(worst_zoom, 0.25f) << distance << " ft " << speed << " ft/s";
                    passes++;
                }
    EXPECT_GT(passes, 100);
}

TEST(CameraOperator, ACutPointsAtOnceAndZoomsToKeepTheRiderItsSize) {
    track_camera c;
    c.auto_fov_size = 10;
    camera_controls in;
    in.has_target = true;
    in.cut = true;
    in.target[0] = -20;
    in.target[1] = 20;
    in.target[2] = -20;
    camera_operate(c, in);
    const float flat = std::hypot(20.0f, 20.0f);
    EXPECT_NEAR(c.yaw, std::atan2(-20.0f, -20.0f), 1e-4f);
    EXPECT_NEAR(c.pitch, std::atan2(20.0f, flat), 1e-4f);
    const float distance = std::sqrt(3 * 20.0f * 20.0f);
    EXPECT_NEAR(c.fov, 2 * std::atan(10 / distance) * 180 / k_pi, 1e-3f);
}

TEST(Cameras, TheCamerasFileAssignsGatesAndFieldsOfView) {
    cameras_parse("fov -60\nautofovsize 12\ngate 3 7\naddcamera 10 5 20\nnonsense\n"
                  "addcamera 1 2 3\ngate 9 300 4\naddcamera 0 0 0\n");
    ASSERT_EQ(track_camera_count(), 3);
    EXPECT_EQ(track_camera_at(0).fov, 60);
    EXPECT_EQ(track_camera_at(0).auto_fov_size, 12);
    EXPECT_EQ(track_camera_at(1).fov, 90) << "a camera's settings go with it";
    EXPECT_EQ(track_camera_at(0).position[1], 5) << "no ground: the height is above 0";
    EXPECT_EQ(camera_for_gate(3), 0);
    EXPECT_EQ(camera_for_gate(7), 0);
    EXPECT_EQ(camera_for_gate(9), 2);
    EXPECT_EQ(camera_for_gate(4), -1) << "gate numbers stop at the first one out of range";
    EXPECT_EQ(camera_for_gate(5), -1);
    cameras_clear();
    EXPECT_EQ(track_camera_count(), 0);
    EXPECT_EQ(camera_for_gate(3), -1);
}
