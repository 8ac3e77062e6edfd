// The software mixer against hand-computed output: levels, pan, rate, mixes of voices, the voice
// budget, zero-crossing level changes, restarts, the ring writes and 16-bit output.
#include "platform/mixer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
constexpr int k_rate = 22050;

struct Mixer : ::testing::Test {
    void SetUp() override { mixer_open(k_rate, true, k_default_voice_budget, 4096); }
    void TearDown() override { mixer_close(); }

    // n stereo output samples as bytes, left and right interleaved.
    static std::vector<uint8_t> mix(int n) {
        std::vector<uint8_t> out(static_cast<size_t>(n) * 2);
        mixer_mix(out.data(), n, false);
        return out;
    }
    static int sound(const std::vector<uint8_t>& samples, int rate = 0) {
        return mixer_create(static_cast<int>(samples.size()), samples.data(), rate);
    }
};

// Signed sample k at level L, as the level table holds it.
int level_value(int k, int level) {
    if (k > 0) return (k - 1) * level / 32;
    if (k == -128) return -(127 * level / 32);
    if (k < 0) return -((-k - 1) * level / 32);
    return 0;
}

TEST_F(Mixer, OneCentredVoicePlaysOnBothSidesAtLevelFifteenThenEnds) {
    int s = sound({128 + 40, 128 - 40, 128 + 100, 128});
    mixer_play(s);
    // Full volume centred: (32767 - 0) * 32767 / 2^26 = 15 on each side.
    ASSERT_EQ(level_value(40, 15), 18);
    ASSERT_EQ(level_value(100, 15), 46);
    std::vector<uint8_t> expected = {146, 146, 110, 110, 174, 174, 128, 128, 128, 128, 128, 128};
    EXPECT_EQ(mix(6), expected);
    EXPECT_FALSE(mixer_playing(s)) << "a sound that is not looping ends with its data";
}

TEST_F(Mixer, PanAndRateAndLoop) {
    int s = sound({128 + 40, 128 - 40});
    mixer_set_pan(s, -32768); // all left: level 31, right level 0
    mixer_set_rate(s, k_rate / 2);
    mixer_set_loop(s, true);
    mixer_play(s);
    const int hi = 128 + level_value(40, 31), lo = 128 - level_value(40, 31);
    ASSERT_EQ(hi, 165);
    // Half the rate: each sample twice; looping: around again.
    std::vector<uint8_t> expected = {165, 128, 165, 128, 91, 128, 91, 128, 165, 128, 165, 128};
    EXPECT_EQ(lo, 91);
    EXPECT_EQ(mix(6), expected);
    EXPECT_TRUE(mixer_playing(s));
}

TEST_F(Mixer, VoicesOfDifferentLevelsRatesAndPansAddUp) {
    int a = sound({128 + 60, 128 + 60, 128 - 60, 128 - 60});
    int b = sound({128 + 100, 128 - 100});
    mixer_set_loop(a, true);
    mixer_set_loop(b, true);
    mixer_set_volume(b, 16384);
    mixer_set_pan(b, 16384);       // left (32767 - 16384) * 16384 / 2^26 = 3, right 12
    mixer_set_rate(b, k_rate * 2); // every other sample: always the first
    mixer_play(a);
    mixer_play(b);
    std::vector<uint8_t> out = mix(4);
    const int a_hi = level_value(60, 15), b_left = level_value(100, 3),
              b_right = level_value(100, 12);
    EXPECT_EQ(out[0], 128 + a_hi + b_left);
    EXPECT_EQ(out[1], 128 + a_hi + b_right);
    EXPECT_EQ(out[2], 128 + a_hi + b_left);
    EXPECT_EQ(out[4], 128 - a_hi + b_left);
    EXPECT_EQ(out[7], 128 - a_hi + b_right);
}

TEST_F(Mixer, SixteenBitOutputScalesAndClampsTheSum) {
    int a = sound({128 + 100});
    int b = sound({128 + 100});
    mixer_set_loop(a, true);
    mixer_set_loop(b, true);
    mixer_play(a);
    std::vector<int16_t> out(4);
    mixer_mix(out.data(), 2, true);
    EXPECT_EQ(out[0], level_value(100, 15) * 256);
    EXPECT_EQ(out[1], level_value(100, 15) * 256);
    mixer_set_pan(a, -32768);
    mixer_set_pan(b, -32768);
    mixer_play(b);
    mixer_mix(out.data(), 2, true);
    // 2 x level_value(100, 31) = 192: past the top, held at 0x7F00.
    EXPECT_EQ(out[2], 32512);
    EXPECT_EQ(out[3], 0);
}

TEST_F(Mixer, VoicesBeyondTheBudgetAdvanceSilently) {
    // 20 voices of equal level and the default budget of 16 entries: 8 voices heard in stereo.
    std::vector<int> voices;
    for (int i = 0; i < 20; i++) {
        voices.push_back(sound(std::vector<uint8_t>(1000, 128 + 5)));
        mixer_play(voices.back());
    }
    std::vector<uint8_t> out = mix(100);
    EXPECT_EQ(out[0], 128 + 8 * level_value(5, 15));
    EXPECT_EQ(out[1], 128 + 8 * level_value(5, 15));
    EXPECT_EQ(out[199], 128 + 8);
    for (int v : voices) EXPECT_EQ(mixer_position(v), 100) << "silent voices keep their place";
}

TEST_F(Mixer, AVolumeDropWaitsForTheZeroCrossing) {
    // Five samples above zero, five below, looping.
    std::vector<uint8_t> wave = {160, 160, 160, 160, 160, 96, 96, 96, 96, 96};
    int s = sound(wave);
    mixer_set_loop(s, true);
    mixer_play(s);
    mix(2);
    mixer_set_volume(s, 0);
    std::vector<uint8_t> out = mix(6);
    const int old_level = 128 + level_value(32, 15);
    // Samples 2, 3 and 4 are still on the positive side: the old level.
    EXPECT_EQ(out[0], old_level);
    EXPECT_EQ(out[2], old_level);
    EXPECT_EQ(out[4], old_level);
    // From the first sample below zero on, the new level: silence.
    EXPECT_EQ(out[6], 128);
    EXPECT_EQ(out[10], 128);
    std::vector<uint8_t> later = mix(10);
    for (uint8_t b : later) EXPECT_EQ(b, 128);
}

TEST_F(Mixer, PlayingAgainFadesOutAtTheCrossingThenStartsOver) {
    std::vector<uint8_t> wave = {130, 140, 150, 160, 100, 90, 80, 70};
    int s = sound(wave);
    mixer_set_loop(s, true);
    mixer_play(s);
    mix(2); // position 2
    mixer_play(s);
    EXPECT_EQ(mixer_position(s), 0) << "restarting reads as the start";
    std::vector<uint8_t> out = mix(4);
    // 150 and 160 finish the positive run; the crossing restarts at 130, 140.
    EXPECT_EQ(out[0], 128 + level_value(150 - 128, 15));
    EXPECT_EQ(out[2], 128 + level_value(160 - 128, 15));
    EXPECT_EQ(out[4], 128 + level_value(130 - 128, 15));
    EXPECT_EQ(out[6], 128 + level_value(140 - 128, 15));
    EXPECT_EQ(mixer_position(s), 2);
}

TEST_F(Mixer, ResamplingByPointSamplingAtCreation) {
    // 1000 samples at 11025 on a 22050 mixer: 2000 stored, each source sample twice.
    std::vector<uint8_t> source(1000);
    for (int i = 0; i < 1000; i++) source[i] = static_cast<uint8_t>(i % 2 ? 200 : 60);
    int s = sound(source, 11025);
    EXPECT_EQ(mixer_length(s), 2000);
    mixer_set_pan(s, -32768);
    mixer_play(s);
    std::vector<uint8_t> out = mix(8);
    const int hi = 128 + level_value(72, 31), lo = 128 + level_value(-68, 31);
    std::vector<uint8_t> left = {out[0], out[2], out[4], out[6], out[8], out[10]};
    std::vector<uint8_t> expected = {static_cast<uint8_t>(lo), static_cast<uint8_t>(lo),
                                     static_cast<uint8_t>(hi), static_cast<uint8_t>(hi),
                                     static_cast<uint8_t>(lo), static_cast<uint8_t>(lo)};
    EXPECT_EQ(left, expected);
}

TEST_F(Mixer, WritingPastTheEndWrapsToTheStart) {
    int s = sound(std::vector<uint8_t>(1000, 128));
    std::vector<uint8_t> bytes(300, 128 + 64);
    mixer_write(s, 300, bytes.data(), 900);
    mixer_play(s);
    std::vector<uint8_t> out = mix(1000);
    const uint8_t loud = static_cast<uint8_t>(128 + level_value(64, 15));
    for (int i : {0, 199, 900, 999}) EXPECT_EQ(out[2 * i], loud) << i;
    for (int i : {200, 500, 899}) EXPECT_EQ(out[2 * i], 128) << i;

    // More bytes than the sound holds: only the last 1000 count, the offset moved along.
    std::vector<uint8_t> many(1500, 128);
    many[500] = 200; // the first byte kept, stored at (0 + 500) mod 1000
    mixer_write(s, 1500, many.data(), 0);
    mixer_play(s);
    out = mix(1000);
    EXPECT_EQ(out[2 * 500], 128 + level_value(72, 15));
    EXPECT_EQ(out[0], 128);
}

TEST_F(Mixer, DuplicatesShareTheDataUntilTheLastGoes) {
    int s = sound({128 + 40, 128 + 40});
    int copy = mixer_duplicate(s);
    ASSERT_GE(copy, 0);
    mixer_write(s, 1, std::vector<uint8_t>{128 + 100}.data(), 0);
    mixer_free(s);
    mixer_play(copy);
    std::vector<uint8_t> out = mix(2);
    EXPECT_EQ(out[0], 128 + level_value(100, 15)) << "the duplicate sees the shared data";
    EXPECT_EQ(out[2], 128 + level_value(40, 15));
    EXPECT_EQ(mixer_duplicate(-1), -1);
}

TEST_F(Mixer, StoppedSoundsLeaveAfterTheNextBlock) {
    int s = sound(std::vector<uint8_t>(100, 128 + 40));
    mixer_set_loop(s, true);
    mixer_play(s);
    mix(1);
    mixer_stop(s);
    std::vector<uint8_t> out = mix(2);
    EXPECT_EQ(out[0], 128);
    EXPECT_FALSE(mixer_playing(s));
}

TEST_F(Mixer, BadRequestsAreRefusedOrIgnored) {
    EXPECT_EQ(mixer_create(0, nullptr, 0), -1);
    uint8_t one = 128;
    EXPECT_EQ(mixer_create(1, &one, -5), -1);
    mixer_play(7);
    mixer_set_volume(-1, 100);
    mixer_write(3, 10, &one, 0);
    EXPECT_EQ(mixer_position(12), 0);
    std::vector<uint8_t> out = mix(3);
    for (uint8_t b : out) EXPECT_EQ(b, 128);
}

TEST(MixerMono, TheWholeVolumeGoesToTheOneSide) {
    mixer_open(k_rate, false, k_default_voice_budget, 64);
    uint8_t sample = 128 + 40;
    int s = mixer_create(1, &sample, 0);
    mixer_set_pan(s, 32767); // ignored: mono output is always fully on its one side
    mixer_play(s);
    uint8_t out[2] = {};
    mixer_mix(out, 2, false);
    EXPECT_EQ(out[0], 128 + level_value(40, 31));
    EXPECT_EQ(out[1], 128);
    mixer_close();
}
} // namespace
