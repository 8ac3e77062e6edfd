// The sound device: choosing a back-end, the fragment and mix-ahead rules, the readback block,
// the null back-end, and the SDL back-end mixing on SDL's own audio thread.
#include "platform/log.h"
#include "platform/mixer.h"
#include "platform/options.h"
#include "platform/platform.h"
#include "platform/sound_device.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

namespace {
TEST(SoundDevice, FragmentsAndMixAhead) {
    EXPECT_EQ(sound_fragment_samples(22050), 344);
    EXPECT_EQ(sound_mixahead_fragments(125), 8);
    EXPECT_EQ(sound_mixahead_fragments(1000), 32);
    EXPECT_EQ(sound_mixahead_fragments(5), 1);
}

TEST(SoundDevice, ReadbackMixesOneStereoBlockWhenAsked) {
    platform_options_set("[sound-channels:4]");
    ASSERT_TRUE(open_readback_device(88320, 690));
    EXPECT_FALSE(open_readback_device(88320, 690)) << "one device at a time";
    const sound_backend& d = sound_device();
    std::vector<uint8_t> ramp(1380);
    for (size_t i = 0; i < ramp.size(); i++) ramp[i] = static_cast<uint8_t>(128 + 40);
    int s = d.create(static_cast<int>(ramp.size()), ramp.data(), 0);
    d.set_loop(s, true);
    d.play(s);
    const uint8_t* block = d.readback();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 128 + 39 * 15 / 32);
    EXPECT_EQ(block[1379], 128 + 39 * 15 / 32);
    EXPECT_EQ(d.position(s), 690);
    d.free(s);
    close_sound_device();
    EXPECT_FALSE(sound_device_open());
    EXPECT_EQ(sound_device().create(1, ramp.data(), 0), -1) << "no device: the null back-end";
    platform_options_set(nullptr);
}

TEST(SoundDevice, TheNullPlatformRunsSilent) {
    platform_use(k_platform_null);
    EXPECT_FALSE(open_sound_device());
    EXPECT_FALSE(sound_device_open());
    EXPECT_EQ(sound_device().readback(), nullptr);
}

TEST(SoundDevice, TheWaveoutOptionOffLeavesTheStreamingOutputClosed) {
    platform_use(k_platform_sdl);
    platform_options_set("[waveout:off]");
    EXPECT_FALSE(open_sound_device());
    platform_options_set(nullptr);
    platform_use(k_platform_null);
}

TEST(SoundDevice, SdlMixesFragmentsOnItsAudioThread) {
    platform_use(k_platform_sdl);
    platform_options_set("[sound-rate:44100][sound-mixahead:50]");
    ASSERT_TRUE(open_sound_device()) << SDL_GetError();
    EXPECT_TRUE(mixer_is_open());
    EXPECT_EQ(mixer_rate(), 44100);
    const sound_backend& d = sound_device();
    std::vector<uint8_t> wave(32768, 128 + 20);
    int s = d.create(static_cast<int>(wave.size()), wave.data(), 0);
    d.set_loop(s, true);
    d.play(s);
    // The audio thread moves the stream's position on by itself.
    int moved = 0;
    for (int i = 0; i < 500 && moved == 0; i++) {
        SDL_Delay(10);
        moved = d.position(s);
    }
    EXPECT_GT(moved, 0);
    d.free(s);
    close_sound_device();
    EXPECT_FALSE(mixer_is_open());
    platform_options_set(nullptr);
    platform_use(k_platform_null);
}
} // namespace
