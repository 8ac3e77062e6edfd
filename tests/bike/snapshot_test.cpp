// Condensing a riding bike into a snapshot, posing other bikes from snapshots and histories, and
// the activity of touched remote bikes.
#include "ride_world.h"

#include "bike/sim/bike_drivetrain.h"
#include "bike/replication/bike_snapshot.h"
#include "bike/replication/state_history.h"

#include <cmath>

namespace {
constexpr double k_dt = 1.0 / 128;

// A bike at speed in a turn: steering, suspension and wheels all away from their rest values.
class snapshot_world : public ride_world {
  protected:
    void ride_into_turn(int tics) {
        start("yz250f(2017)", 60, 480, -k_pi / 2);
        for (int t = 0; t < tics; t++) {
            rider_input in;
            in.throttle = t < 64 ? 0 : 0.7f;
            in.clutch = t < 64 ? 0 : 1;
            in.steer = t > 300 ? 0.3f : 0;
            tic(in);
        }
    }
    int other(const char* name = "yz250f(2017)") {
        int b = bike_create(name, 1, "2", "", "", "", "");
        bike_prepare(b, clock);
        return b;
    }
    static double distance(dBodyID a, dBodyID b) {
        return length(vec_of(dBodyGetPosition(a)) - vec_of(dBodyGetPosition(b)));
    }
    static bool mounted(int b) {
        return dJointGetBody(bike_at(b).joints[joint_rider_mount], 0) != nullptr;
    }
};

// Quaternion components may come back one step off: posing normalises the decoded quaternion.
void expect_same_snapshot(const compact_state& a, const compact_state& b) {
    for (int i = 0; i < k_compact_state_size; i++) {
        bool quaternion = (i >= 9 && i < 17) || (i >= 26 && i < 34);
        if (!quaternion) {
            EXPECT_EQ(a.bytes[i], b.bytes[i]) << "byte " << i;
        } else if (i % 2 == 1) {
            int ua = a.bytes[i] | a.bytes[i + 1] << 8, ub = b.bytes[i] | b.bytes[i + 1] << 8;
            EXPECT_LE(std::abs(ua - ub), 1) << "quaternion at byte " << i;
        }
    }
}

TEST_F(snapshot_world, CondenseRestoreCondenseKeepsTheSnapshot) {
    ride_into_turn(500);
    ASSERT_GT(speed(), 10);
    compact_state first = compact_state_encode(bike);
    int copy = other();
    compact_state_pose(copy, first, 5);
    compact_state second = compact_state_encode(copy);
    expect_same_snapshot(first, second);
    // A second round from the restored bike changes nothing more.
    compact_state_pose(copy, second, 5);
    expect_same_snapshot(second, compact_state_encode(copy));

    // Every body lands where the ridden bike's is, to the resolution of the joint bytes.
    for (int i = 0; i < k_bike_body_count; i++)
        EXPECT_LT(distance(body(i), bike_at(copy).bodies[i]), 0.03) << "body " << i;
    EXPECT_EQ(bike_at(copy).ride.gear, state().ride.gear);
    EXPECT_NEAR(bike_at(copy).ride.engine_speed, state().ride.engine_speed, 4);
    EXPECT_NEAR(bike_at(copy).ride.input.throttle, state().ride.input.throttle, 1.0 / 15);
}

TEST_F(snapshot_world, JointsReadBackTheAnglesTheSnapshotHolds) {
    ride_into_turn(420);
    compact_state s = compact_state_encode(bike);
    int copy = other();
    compact_state_pose(copy, s, 5);
    compact_fields f = compact_state_unpack(s, compact_ranges_of(copy));
    const bike_state& c = bike_at(copy);
    EXPECT_NEAR(dJointGetHingeAngle(c.joints[joint_steering]), f.steer_angle, 1e-5);
    EXPECT_NEAR(dJointGetHingeAngle(c.joints[joint_swingarm_pivot]), f.swingarm_angle, 1e-5);
    EXPECT_NEAR(dJointGetSliderPosition(c.joints[joint_fork]), f.fork_position, 1e-5);
    EXPECT_NEAR(dJointGetHingeAngle(c.joints[joint_front_axle]), f.front_wheel_angle, 1e-5);
    EXPECT_NEAR(dJointGetHingeAngle(c.joints[joint_rear_axle]), f.rear_wheel_angle, 1e-5);
}

TEST_F(snapshot_world, GearsTheBikeLacksStepDown) {
    start("yz250f(2017)", 60, 480, 0);
    ASSERT_LE(bike_info_at(state().catalogue_index).gear_ratios[5], 0);
    compact_state s = compact_state_encode(bike);
    for (int bits : {5, 6}) {
        s.bytes[36] = static_cast<uint8_t>(bits | 0x30);
        compact_state_pose(bike, s, 5);
        EXPECT_EQ(state().ride.gear, 4) << bits;
        EXPECT_NEAR(state().ride.input.throttle, 3 / 15.0, 1e-6);
    }
}

TEST_F(snapshot_world, KnockoutCodeDetachesOnceAndTheNextSnapshotRemounts) {
    start("yz250f(2017)", 60, 480, 0);
    for (int t = 0; t < 64; t++) tic({});
    compact_state riding = compact_state_encode(bike);
    compact_state down = riding;
    down.bytes[36] = 7 | (15 << 4);
    compact_state_pose(bike, down, 5);
    EXPECT_FALSE(mounted(bike));
    EXPECT_EQ(state().ride.knockout_tics, 15 * 127 / 15 + 1);
    EXPECT_EQ(state().ride.input.throttle, 0);
    compact_state_pose(bike, down, 5);
    EXPECT_FALSE(mounted(bike));
    compact_state_pose(bike, riding, 5);
    EXPECT_TRUE(mounted(bike));
    EXPECT_EQ(state().ride.knockout_tics, 0);
    // Remounted where the snapshot put the rider, not snapped back to the seat.
    compact_fields f = compact_state_unpack(riding, compact_ranges_of(bike));
    EXPECT_NEAR(position(body_rider).y, f.frame_position[1] + f.rider_offset[1], 1e-3);
}

TEST_F(snapshot_world, VersionFourRecordsPutTheRiderAlongItsAxis) {
    start("yz250f(2017)", 60, 480, 0);
    const bike_info& info = bike_info_at(state().catalogue_index);
    compact_state full = compact_state_encode(bike);
    compact_state v4{};
    for (int i = 0; i < 20; i++) v4.bytes[i] = full.bytes[i];
    v4.bytes[20] = 255;
    for (int i = 0; i < 5; i++) v4.bytes[21 + i] = full.bytes[34 + i];
    int copy = other();
    compact_state_pose(copy, v4, 4);
    vec3d axis = vec_of(info.rider_offset_axis);
    vec3d expect = axis * (info.rider_offset_range[1] / length(axis)) +
                   vec_of(info.rider_position) - vec_of(info.frame_position);
    dVector3 local;
    const bike_state& c = bike_at(copy);
    const dReal* r = dBodyGetPosition(c.bodies[body_rider]);
    dBodyGetPosRelPoint(c.bodies[body_frame], r[0], r[1], r[2], local);
    EXPECT_NEAR(local[0], expect.x, 1e-4);
    EXPECT_NEAR(local[1], expect.y, 1e-4);
    EXPECT_NEAR(local[2], expect.z, 1e-4);
    EXPECT_EQ(c.ride.gear, state().ride.gear);
}

TEST(RotationRate, GivesTheTurnBetweenTwoOrientationsPerSecond) {
    double from[4] = {1, 0, 0, 0};
    double angle = 0.02;
    // A turn about the world y axis, given as the quaternion and as its negation.
    double to[4] = {std::cos(angle / 2), 0, std::sin(angle / 2), 0};
    double neg[4] = {-to[0], -to[1], -to[2], -to[3]};
    double w[3];
    for (const double* q : {to, neg}) {
        rotation_rate(from, q, k_dt, w);
        EXPECT_NEAR(w[0], 0, 1e-9);
        EXPECT_NEAR(w[1], angle / k_dt, 1e-6);
        EXPECT_NEAR(w[2], 0, 1e-9);
    }
    // Relative to a turned start it is still the world turn between them.
    double start_q[4] = {std::cos(0.4), std::sin(0.4), 0, 0};
    double end_q[4];
    dQuaternion a = {to[0], to[1], to[2], to[3]},
                b = {start_q[0], start_q[1], start_q[2], start_q[3]}, c;
    dQMultiply0(c, a, b);
    for (int i = 0; i < 4; i++) end_q[i] = c[i];
    rotation_rate(start_q, end_q, k_dt, w);
    EXPECT_NEAR(w[1], angle / k_dt, 1e-6);
    EXPECT_NEAR(w[0], 0, 1e-6);
}

// A remote rider's history, recorded every 4 tics from a bike riding straight at a steady speed.
class history_world : public snapshot_world {
  protected:
    static constexpr int k_slot = 7;
    void record(int tics) {
        history_clear_all();
        start("yz250f(2017)", 60, 480, -k_pi / 2);
        for (int t = 0; t < tics; t++) {
            rider_input in;
            in.throttle = 0.6f;
            in.clutch = t < 32 ? 0 : 1;
            tic(in);
            if (t % 4 == 0) history_add(k_slot, compact_state_encode(bike), t);
        }
        remote = other();
        bike_deactivate(remote);
    }
    vec3d remote_frame() { return vec_of(dBodyGetPosition(bike_at(remote).bodies[body_frame])); }
    vec3d remote_velocity() {
        return vec_of(dBodyGetLinearVel(bike_at(remote).bodies[body_frame]));
    }
    vec3d stored_frame(int tic) {
        for (const history_entry& e : history_of(k_slot).entries)
            if (e.tic == tic) {
                compact_fields f = compact_state_unpack(e.state, compact_ranges_of(remote));
                return {f.frame_position[0], f.frame_position[1], f.frame_position[2]};
            }
        ADD_FAILURE() << "no entry for tic " << tic;
        return {};
    }
    int remote = -1;
};

TEST_F(history_world, AStoredTicShowsThatSnapshotWithTheVelocityOfTheStepBefore) {
    record(400);
    history_apply(k_slot, remote, 392, 5);
    vec3d at = remote_frame(), expect = stored_frame(392);
    EXPECT_NEAR(at.x, expect.x, 1e-3);
    EXPECT_NEAR(at.z, expect.z, 1e-3);
    vec3d v = (stored_frame(392) - stored_frame(388)) * (1 / (4 * k_dt));
    EXPECT_NEAR(remote_velocity().x, v.x, 1e-3);
    EXPECT_NEAR(remote_velocity().z, v.z, 1e-3);
    EXPECT_GT(length(v), 5);
}

TEST_F(history_world, BetweenSnapshotsThePoseIsBlendedAndPastTheNewestCarriedOn64Tics) {
    record(400);
    history_apply(k_slot, remote, 390, 5);
    vec3d mid = (stored_frame(388) + stored_frame(392)) * 0.5;
    EXPECT_NEAR(remote_frame().x, mid.x, 2e-3);
    EXPECT_NEAR(remote_frame().z, mid.z, 2e-3);

    vec3d step = stored_frame(396) - stored_frame(392);
    history_apply(k_slot, remote, 396 + 100, 5);
    vec3d carried = stored_frame(396) + step * (64 / 4.0);
    EXPECT_NEAR(remote_frame().x, carried.x, 0.01);
    EXPECT_NEAR(remote_frame().z, carried.z, 0.01);
}

TEST_F(history_world, BeforeEveryEntryTheOldestStandsStill) {
    record(100);
    // The ring holds tics 0..96; ask for a tic before the first by restarting the slot late.
    history_clear(k_slot);
    history_add(k_slot, compact_state_encode(bike), 50);
    history_add(k_slot, compact_state_encode(bike), 54);
    history_apply(k_slot, remote, 10, 5);
    EXPECT_EQ(length(remote_velocity()), 0);
    vec3d expect = stored_frame(50);
    EXPECT_NEAR(remote_frame().x, expect.x, 1e-3);
}

TEST_F(history_world, AnEmptyHistoryLeavesTheBikeAlone) {
    record(16);
    history_clear(k_slot);
    vec3d before = remote_frame();
    history_apply(k_slot, remote, 8, 5);
    EXPECT_EQ(remote_frame().x, before.x);
    EXPECT_EQ(remote_frame().z, before.z);
}

TEST_F(history_world, ATouchedBikeIsSimulatedForThreeQuartersOfASecondThenFrozen) {
    record(300);
    history_apply(k_slot, remote, 0, 5);
    EXPECT_FALSE(dBodyIsEnabled(bike_at(remote).bodies[body_frame]));
    bike_touched(remote);
    EXPECT_EQ(bike_at(remote).ride.activity, 1);
    EXPECT_TRUE(dBodyIsEnabled(bike_at(remote).bodies[body_frame]));
    int active_tics = 0;
    for (int t = 0; t < 128; t++) {
        if (bike_at(remote).ride.activity > 0.25f) active_tics++;
        activity_decay(remote);
    }
    EXPECT_EQ(active_tics, 96);
    EXPECT_EQ(bike_at(remote).ride.activity, 0);
    EXPECT_FALSE(dBodyIsEnabled(bike_at(remote).bodies[body_rider]));

    // Touched again while frozen between 0 and 0.25: held at 0.25 and still frozen.
    bike_touched(remote);
    for (int t = 0; t < 100; t++) activity_decay(remote);
    ASSERT_GT(bike_at(remote).ride.activity, 0);
    ASSERT_LE(bike_at(remote).ride.activity, 0.25f);
    bike_touched(remote);
    EXPECT_EQ(bike_at(remote).ride.activity, 0.25f);
    EXPECT_FALSE(dBodyIsEnabled(bike_at(remote).bodies[body_frame]));
}

TEST_F(history_world, AFreshlyTouchedBikeFeelsNoPullFor32TicsThenIsDrawnToItsRecording) {
    record(300);
    history_apply(k_slot, remote, 200, 5);
    // As in a race tic: touched in the contact pass, decayed after the world step.
    bike_touched(remote);
    activity_decay(remote);
    // Knock the bike a foot off its recording.
    bike_translate(remote, {1, 0, 0});
    int first_pull = -1;
    for (int t = 0; t < 64 && first_pull < 0; t++) {
        dBodySetForce(bike_at(remote).bodies[body_frame], 0, 0, 0);
        history_apply(k_slot, remote, 200, 5);
        const dReal* f = dBodyGetForce(bike_at(remote).bodies[body_frame]);
        if (std::fabs(f[0]) > 1) {
            first_pull = t;
            // Towards the recording, not away.
            EXPECT_LT(f[0], 0);
        }
        activity_decay(remote);
    }
    EXPECT_EQ(first_pull, 32);
}
} // namespace
