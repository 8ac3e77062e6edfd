// The "timing_gates" file: sections, lap entry rules, validity, headings and writing back.
#include "common/common.h"
#include "track/track_gates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {
const char* const k_three_gates = "checkpoints:\n"
                                  "10 [0 0 0] [1 0 0]\n"
                                  "10 [100 0 0] [0 0 1]\n"
                                  "10 [100 0 100] [-1 0 0]\n";
}

TEST(TimingGates, CheckpointsWithoutLapsGiveNoTiming) {
    timing_gates_parse(k_three_gates);
    EXPECT_EQ(gate_count(), 0);
}

TEST(TimingGates, ThreeGatesWithThreeEntryLapsAreValid) {
    timing_gates_parse(std::string(k_three_gates) + "firstlap:\n0 1 2\nnormallap:\n0 1 2\n");
    ASSERT_EQ(gate_count(), 3);
    EXPECT_EQ(first_lap_length(), 3);
    EXPECT_EQ(normal_lap_length(), 3);
    EXPECT_FLOAT_EQ(gate_at(1).centre[0], 100);
    EXPECT_FLOAT_EQ(gate_at(2).direction[0], -1);
}

TEST(TimingGates, UnlearnedEntriesDoNotCountForValidity) {
    timing_gates_parse(std::string(k_three_gates) + "firstlap:\n0 1 100002\nnormallap:\n0 1 2\n");
    EXPECT_EQ(first_lap_length(), 3);
    EXPECT_EQ(first_lap_learned_count(), 2);
    EXPECT_EQ(gate_count(), 0) << "only two first-lap entries are learned";
}

TEST(TimingGates, LapEntriesAreClampedToTheGates) {
    std::string five = "checkpoints:\n";
    for (int i = 0; i < 5; i++) five += "5 [" + std::to_string(i * 10) + " 0 0] [1 0 0]\n";
    timing_gates_parse(five + "firstlap: 7 -3 100009 1 2\nnormallap: 0 1 2 3\n");
    ASSERT_EQ(gate_count(), 5);
    EXPECT_EQ(lap_entry(0), 4);
    EXPECT_EQ(lap_entry(1), 0);
    EXPECT_EQ(lap_entry(2), 100004);
    EXPECT_EQ(lap_entry_gate(lap_entry(2)), 4);
}

TEST(TimingGates, PositionsPastTheFirstLapFoldOntoTheNormalLap) {
    timing_gates_parse(std::string(k_three_gates) + "firstlap: 2 0 1 2\nnormallap: 0 1 2\n");
    ASSERT_EQ(gate_count(), 3);
    EXPECT_EQ(gate_at_position(0), 2);
    EXPECT_EQ(gate_at_position(3), 2);
    EXPECT_EQ(gate_at_position(4), 0);
    EXPECT_EQ(gate_at_position(4 + 3 * 10), 0);
    EXPECT_EQ(gate_at_position(5 + 3 * 10), 1);
}

TEST(TimingGates, StartSlotsTakeDefaultsNullsAndNormalisedHeadings) {
    timing_gates_parse("startinggate:\n"
                       "[10 0.5 20] 4.0\n"
                       "[14 0.5 20] 0 my.jm null my.shp\n"
                       "checkpoints:\n");
    ASSERT_EQ(start_slot_count(), 2);
    const start_slot& a = start_slot_at(0);
    EXPECT_NEAR(a.heading, 4.0 - 2 * k_pi, 1e-5);
    EXPECT_EQ(a.model, "@startgate.jm");
    EXPECT_EQ(a.texture, "@startgate.ppm");
    EXPECT_EQ(a.shape, "@startgate.shp");
    // The piece stands 3 ft from the point toward (-sin a, -cos a).
    EXPECT_NEAR(a.piece_x, 10 - 3 * std::sin(a.heading), 1e-5);
    EXPECT_NEAR(a.piece_z, 20 - 3 * std::cos(a.heading), 1e-5);
    const start_slot& b = start_slot_at(1);
    EXPECT_EQ(b.model, "my.jm");
    EXPECT_EQ(b.texture, "");
    EXPECT_EQ(b.shape, "my.shp");
}

TEST(TimingGates, WrittenBackAndReadAgainIsTheSame) {
    std::string original = "startinggate:\n[1 2 3] 0.5\n[4 5 6] -1 a.jm b.ppm null\n" +
                           std::string(k_three_gates) +
                           "firstlap:\n0 1 2 100001\nnormallap:\n0 1 2\n";
    timing_gates_parse(original);
    std::string written = timing_gates_format();
    EXPECT_NE(written.find("[1.000000 2.000000 3.000000] 0.500000\n"), std::string::npos)
        << "a slot with the default piece writes four values";
    EXPECT_NE(written.find(" a.jm b.ppm null\n"), std::string::npos);
    timing_gates_parse(written);
    EXPECT_EQ(timing_gates_format(), written);
    EXPECT_EQ(gate_count(), 3);
    EXPECT_EQ(lap_entry(3), 100001);
}

TEST(TimingGates, HalfDiscContainment) {
    timing_gate g{{50, 0, 50}, {0, 0, -2}, 10, 0};
    EXPECT_TRUE(gate_contains(g, 50, 45));
    EXPECT_TRUE(gate_contains(g, 50, 50)) << "the centre line belongs to the gate";
    EXPECT_FALSE(gate_contains(g, 50, 55)) << "behind the gate";
    EXPECT_FALSE(gate_contains(g, 50, 39)) << "beyond the radius";
}

TEST(TimingGates, MalformedTextEndsQuietly) {
    timing_gates_parse("startinggate:\n[1 2] x\ncheckpoints:\n3 [1 2 3] [");
    EXPECT_EQ(start_slot_count(), 0);
    EXPECT_EQ(gate_count(), 0);
    timing_gates_parse("");
    EXPECT_EQ(gate_count(), 0);
    std::string many = "startinggate:\n";
    for (int i = 0; i < 200; i++) many += "[0 0 0] 0\n";
    timing_gates_parse(many);
    EXPECT_EQ(start_slot_count(), k_max_start_slots);
}
