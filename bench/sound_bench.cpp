// The cost of engine sound: synthesising every voice at 60 frames a second and mixing the
// fragments of 1/64 s they play in, for 1, 10 and 40 engines at 22050 and 44100 output samples
// per second. One iteration is one second of audio, so its time over 1 s is the share of one
// core the sound takes while it plays.
#include "sound/sound.h"

#include "common/common.h"
#include "files/data_file.h"
#include "platform/sound_device.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {
constexpr int k_frames_per_second = 60;
constexpr int k_fragments_per_second = 64;

// The generated data set's voices, every class in turn, at engine speeds spread over the range
// and moving, each bike at its own place around the listener.
void bm_engines(benchmark::State& state) {
    const int engines = static_cast<int>(state.range(0));
    const int rate = static_cast<int>(state.range(1));
    setenv("QV_HOME", TB_GAME_DIR, 1);
    files_free();
    open_readback_device(rate, rate / k_fragments_per_second);
    const char* classes[][2] = {{"250f", "@yz250f_2017.png"},
                                {"125", "@cr125.png"},
                                {"450f", "@crf450_2018.png"},
                                {"250", "@kx250_2006.png"},
                                {"50", "@rs50cr.png"}};
    for (int i = 0; i < engines; i++) engine_sound_load(i, classes[i % 5][0], classes[i % 5][1]);
    sound_listener listener;
    listener.right = {1, 0, 0};
    engine_sound_set_listener(listener);
    engine_sound_input in[k_max_riders];
    for (int i = 0; i < engines; i++) {
        in[i].rpm = 3000.0f + 9000.0f * i / engines;
        in[i].torque = i % 3 ? 20.0f : -5.0f;
        in[i].position = {static_cast<double>(i % 7) * 20 - 60, 0, -10.0 - i * 5};
        in[i].velocity = {0, 0, i % 2 ? 40.0 : -40.0};
    }
    for (auto _ : state) {
        // One second: the frames synthesise, the audio thread's fragments mix in between.
        int fragments = 0;
        for (int frame = 0; frame < k_frames_per_second; frame++) {
            for (int i = 0; i < engines; i++) {
                in[i].rpm += frame < k_frames_per_second / 2 ? 20.0f : -20.0f;
                engine_sound_synthesise(i, in[i], 1);
            }
            while (fragments * k_frames_per_second < (frame + 1) * k_fragments_per_second) {
                benchmark::DoNotOptimize(sound_device().readback());
                fragments++;
            }
        }
    }
    engine_sounds_free();
    close_sound_device();
    const double seconds = static_cast<double>(state.iterations());
    state.counters["per_voice_second"] = benchmark::Counter(
        seconds * engines, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
} // namespace

BENCHMARK(bm_engines)
    ->ArgNames({"engines", "rate"})
    ->ArgsProduct({{1, 10, 40}, {22050, 44100}})
    ->Unit(benchmark::kMillisecond);
