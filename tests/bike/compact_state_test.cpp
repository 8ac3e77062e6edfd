// The 39-byte snapshot: layout, quantisation, blending, and the per-slot history ring.
#include "common/common.h"
#include "bike/replication/compact_state.h"
#include "bike/replication/state_history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {
const compact_ranges k_ranges{1280.0f, -20.0f, 0.5f, 1.0f};

compact_fields sample_fields() {
    compact_fields f{};
    f.frame_position[0] = 640.25f;
    f.frame_position[1] = 3.5f;
    f.frame_position[2] = 100.0f;
    f.frame_quaternion[0] = 0.9238795f; // 45 degrees about y
    f.frame_quaternion[2] = 0.3826834f;
    f.steer_angle = 0.2f;
    f.swingarm_angle = -0.2f;
    f.fork_position = -0.4f;
    f.rider_offset[0] = 0.1f;
    f.rider_offset[1] = 2.0f;
    f.rider_offset[2] = -0.5f;
    f.rider_quaternion[0] = 1.0f;
    f.front_wheel_angle = 1.0f;
    f.rear_wheel_angle = -2.0f;
    f.gear = 3;
    f.dabbing = true;
    f.throttle = 0.5f;
    f.engine_rpm = 9000.0f;
    return f;
}

compact_state with_byte(int index, uint8_t value) {
    compact_state s{};
    s.bytes[index] = value;
    return s;
}
} // namespace

TEST(CompactState, LayoutAndQuantisationWithinOneStep) {
    compact_fields in = sample_fields();
    compact_state s = compact_state_pack(in, k_ranges);
    // Frame x sits at 24 bits of the extent, little endian.
    uint32_t x = s.bytes[0] | (s.bytes[1] << 8) | (s.bytes[2] << 16);
    EXPECT_EQ(x, static_cast<uint32_t>(std::floor(640.25 / 1280 * 16777215 + 0.5)));
    compact_fields out = compact_state_unpack(s, k_ranges);
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(out.frame_position[i], in.frame_position[i], 1280.0 / 16777215);
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(out.frame_quaternion[i], in.frame_quaternion[i], 2.0 / 65535);
    EXPECT_NEAR(out.steer_angle, in.steer_angle, (k_pi / 2) / 255);
    // Bit 0 of the swingarm and fork bytes carries a flag: up to two steps of error.
    EXPECT_NEAR(out.swingarm_angle, in.swingarm_angle, 2 * 0.5 / 255);
    EXPECT_NEAR(out.fork_position, in.fork_position, 2 * 1.0 / 255);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(out.rider_offset[i], in.rider_offset[i], 32.0 / 65535);
    EXPECT_NEAR(out.front_wheel_angle, in.front_wheel_angle, 2 * k_pi / 255);
    EXPECT_NEAR(out.rear_wheel_angle, in.rear_wheel_angle, 2 * k_pi / 255);
    EXPECT_EQ(out.gear, 3);
    EXPECT_TRUE(out.dabbing);
    EXPECT_NEAR(out.throttle, 7.0f / 15, 1e-6) << "throttle is truncated to fifteenths";
    EXPECT_NEAR(out.engine_rpm, 9000.0f, 32768.0 / 65535);
    EXPECT_TRUE(compact_state_simulated(s));
    EXPECT_EQ(s.bytes[19] & 1, 0);
}

TEST(CompactState, PackUnpackPackIsStable) {
    compact_state first = compact_state_pack(sample_fields(), k_ranges);
    compact_state again = compact_state_pack(compact_state_unpack(first, k_ranges), k_ranges);
    EXPECT_EQ(memcmp(first.bytes, again.bytes, k_compact_state_size), 0);
}

TEST(CompactState, OutOfRangeValuesClamp) {
    compact_fields f = sample_fields();
    f.frame_position[1] = -50.0f; // below min_height
    f.rider_offset[0] = 40.0f;
    f.rider_offset[1] = -40.0f;
    f.engine_rpm = -100.0f;
    compact_state s = compact_state_pack(f, k_ranges);
    EXPECT_EQ(s.bytes[3] | s.bytes[4] | s.bytes[5], 0);
    compact_fields out = compact_state_unpack(s, k_ranges);
    EXPECT_FLOAT_EQ(out.rider_offset[0], 16.0f);
    EXPECT_FLOAT_EQ(out.rider_offset[1], -16.0f);
    EXPECT_EQ(s.bytes[37] | s.bytes[38], 0);
}

TEST(CompactState, KnockoutCode) {
    compact_fields f = sample_fields();
    f.knockout_tics = 128;
    compact_state s = compact_state_pack(f, k_ranges);
    EXPECT_TRUE(compact_state_knocked_out(s));
    EXPECT_EQ(s.bytes[36], 7 | (15 << 4));
    f.knockout_tics = 1;
    s = compact_state_pack(f, k_ranges);
    EXPECT_EQ(s.bytes[36], 7);
    EXPECT_EQ(compact_state_unpack(s, k_ranges).knockout_tics, 1);
    f.knockout_tics = 0;
    f.gear = 9;
    s = compact_state_pack(f, k_ranges);
    EXPECT_EQ(s.bytes[36] & 7, 6) << "gear index clamps to 6, never the knockout code";
}

TEST(CompactState, WheelAnglesBlendTheShortWayForward) {
    auto blended = [](uint8_t a, uint8_t b, float f) {
        return compact_state_interpolate(with_byte(34, a), with_byte(34, b), f, false).bytes[34];
    };
    EXPECT_EQ(blended(250, 5, 0.3f), 253) << "forward through 0: 250 .. 260";
    EXPECT_EQ(blended(250, 5, 0.7f), 2);
    EXPECT_EQ(blended(5, 250, 0.3f), 2) << "back through 0 by ten steps";
    EXPECT_EQ(blended(5, 250, 0.7f), 253);
    EXPECT_EQ(blended(40, 20, 0.5f), 30);
    // Forward by 215 steps: halfway is 40 + 107.5.
    EXPECT_NEAR(blended(40, 0, 0.5f), 148, 1);
}

TEST(CompactState, InterpolationRules) {
    compact_fields a = sample_fields(), b = sample_fields();
    b.frame_position[0] = 660.25f;
    b.engine_rpm = 10000;
    b.gear = 4;
    compact_state sa = compact_state_pack(a, k_ranges), sb = compact_state_pack(b, k_ranges);
    compact_state mid = compact_state_interpolate(sa, sb, 0.5f, false);
    compact_fields m = compact_state_unpack(mid, k_ranges);
    EXPECT_NEAR(m.frame_position[0], 650.25f, 0.001);
    EXPECT_NEAR(m.engine_rpm, 9500, 1);
    EXPECT_EQ(m.gear, 3) << "the drive byte is the older snapshot's";
    EXPECT_FALSE(compact_state_simulated(mid));
    // Positions carry on past b; the rest stops at b.
    compact_fields far =
        compact_state_unpack(compact_state_interpolate(sa, sb, 2.0f, false), k_ranges);
    EXPECT_NEAR(far.frame_position[0], 680.25f, 0.001);
    EXPECT_NEAR(far.engine_rpm, 10000, 1);
    EXPECT_EQ(
        memcmp(compact_state_interpolate(sa, sb, 0.5f, true).bytes, sa.bytes, k_compact_state_size),
        0)
        << "version-4 demos are never blended";
}

TEST(CompactState, QuaternionBlendTakesTheShortWay) {
    compact_fields a = sample_fields(), b = sample_fields();
    for (float& q : b.frame_quaternion) q = -q; // the same orientation
    compact_state s = compact_state_interpolate(compact_state_pack(a, k_ranges),
                                                compact_state_pack(b, k_ranges), 0.5f, false);
    compact_fields m = compact_state_unpack(s, k_ranges);
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(std::fabs(m.frame_quaternion[i]), std::fabs(a.frame_quaternion[i]), 1e-3);
}

namespace {
compact_state tagged(int tag) {
    compact_state s{};
    s.bytes[0] = static_cast<uint8_t>(tag);
    return s;
}

struct History : ::testing::Test {
    void SetUp() override { history_clear_all(); }
};
} // namespace

TEST_F(History, SameTicKeepsTheFirstSnapshot) {
    EXPECT_TRUE(history_add(5, tagged(1), 10));
    EXPECT_FALSE(history_add(5, tagged(2), 10));
    const state_history& h = history_of(5);
    EXPECT_EQ(h.entries[h.head].tic, 10);
    EXPECT_EQ(h.entries[h.head].state.bytes[0], 1);
    EXPECT_EQ(h.pending, 1);
}

TEST_F(History, OlderSnapshotGoesInTicOrder) {
    history_add(0, tagged(10), 10);
    history_add(0, tagged(30), 30);
    history_add(0, tagged(20), 20);
    const state_history& h = history_of(0);
    EXPECT_EQ(h.entries[h.head].tic, 30);
    int prev = (h.head + k_history_size - 1) % k_history_size;
    EXPECT_EQ(h.entries[prev].tic, 20);
    EXPECT_EQ(h.entries[(prev + k_history_size - 1) % k_history_size].tic, 10);
}

TEST_F(History, FullRingDropsTheOldestAndRefusesOlderStill) {
    for (int t = 0; t < 200; t++) history_add(1, tagged(t), t * 2);
    const state_history& h = history_of(1);
    int oldest = 400;
    for (const history_entry& e : h.entries) oldest = std::min(oldest, e.tic);
    EXPECT_EQ(oldest, 2 * (200 - 128));
    EXPECT_FALSE(history_add(1, tagged(0), 1)) << "older than every entry of a full ring";
    EXPECT_TRUE(history_add(1, tagged(0), oldest + 1));
}

TEST_F(History, SlotOutOfRangeStoresNothing) {
    EXPECT_FALSE(history_add(160, tagged(1), 1));
    EXPECT_FALSE(history_add(-1, tagged(1), 1));
}

TEST_F(History, ChoosingAStoredTicShowsItUnchanged) {
    history_add(2, tagged(10), 100);
    history_add(2, tagged(20), 104);
    history_choice c;
    ASSERT_TRUE(history_choose(2, 104, false, &c));
    EXPECT_EQ(c.state.bytes[0], 20);
    EXPECT_EQ(c.length, 4) << "velocities come from the step before it";
}

TEST_F(History, BetweenEntriesBlendsAndPastTheNewestExtrapolatesAtMost64Tics) {
    compact_fields a = sample_fields(), b = sample_fields();
    b.frame_position[0] += 4;
    history_add(3, compact_state_pack(a, k_ranges), 100);
    history_add(3, compact_state_pack(b, k_ranges), 104);
    history_choice c;
    ASSERT_TRUE(history_choose(3, 102, false, &c));
    EXPECT_NEAR(compact_state_unpack(c.state, k_ranges).frame_position[0], a.frame_position[0] + 2,
                0.001);
    ASSERT_TRUE(history_choose(3, 204, false, &c));
    // 64 tics past the newest at 1 ft per tic.
    EXPECT_NEAR(compact_state_unpack(c.state, k_ranges).frame_position[0], b.frame_position[0] + 64,
                0.001);
}

TEST_F(History, OlderThanEveryEntryShowsTheOldest) {
    history_add(4, tagged(7), 50);
    history_add(4, tagged(8), 60);
    history_choice c;
    ASSERT_TRUE(history_choose(4, 10, false, &c));
    EXPECT_EQ(c.state.bytes[0], 7);
    EXPECT_EQ(c.from, c.to) << "no step: zero velocities";
    EXPECT_FALSE(history_choose(9, 10, false, &c)) << "an empty history shows nothing";
}
