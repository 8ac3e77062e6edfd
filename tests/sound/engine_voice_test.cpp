// What the generated voices sound like, synthesised straight from the voice as the stream would
// play it: part throttle is heard between closed and full throttle at the same revs, every bike's
// load range fits its engine's torque, and no two four-stroke models share a voice.
#include "sound/engine_voice.h"

#include "bike/data/bike_info.h"
#include "bike/sim/bike_drivetrain.h"
#include "common/common.h"
#include "common/message.h"

#include "support/data_set_home.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {
constexpr int k_steady_from = k_voice_rate / 4; // the pipe's echoes have built up by then
constexpr int k_window = 4096;                  // samples of one spectrum
constexpr double k_lowest_band = 50;            // Hz
constexpr int k_band_count = 22;                // third octaves from 50 Hz to about 8 kHz

struct EngineVoice : ::testing::Test {
    std::filesystem::path home;
    void SetUp() override {
        home = data_set_home_open("tb_voice_");
        messages_clear();
    }
    void TearDown() override {
        sound_tables_free();
        data_set_home_close(home);
    }
};

const bike_info& bike_named(const char* name) {
    const int index = bike_info_find(name);
    EXPECT_GE(index, 0) << name;
    return bike_info_at(index < 0 ? 0 : index);
}

// The voice a catalogue model is heard with, and the file it came from.
std::string load_voice(engine_voice& v, const bike_info& b) {
    return voice_load(v, b.bike_class, b.bike_texture);
}

// The model's own ".braap": its bike texture's name.
std::string own_file(const bike_info& b) {
    std::string name = b.bike_texture;
    return name.substr(0, name.rfind('.')) + ".braap";
}

float torque_at(const bike_info& b, float rpm, float throttle) {
    return engine_torque_at(b, static_cast<float>(rpm / k_rpm_per_radian_per_second), throttle);
}

// `seconds` of the voice at steady revs and torque, as the stream plays it back at the voice's
// rate: values around 0 in bytes' steps.
std::vector<double> play(engine_voice& v, float rpm, float torque, double seconds) {
    std::vector<double> out;
    const size_t wanted = static_cast<size_t>(seconds * k_voice_rate);
    uint8_t bytes[k_voice_max_block];
    int played = 0;
    while (out.size() < wanted) {
        int first = 0;
        const int made = voice_synthesise(v, played, rpm, torque, bytes, &first);
        for (int i = 0; i < made; i++) out.push_back(bytes[i] - 127.0);
        played = (played + k_voice_rate / 60) % k_voice_ring_size;
    }
    out.resize(wanted);
    return out;
}

double rms(const std::vector<double>& x) {
    double sum = 0;
    for (size_t i = k_steady_from; i < x.size(); i++) sum += x[i] * x[i];
    return std::sqrt(sum / static_cast<double>(x.size() - k_steady_from));
}

// The steady part's level in each third-octave band (dB), from plain DFTs of Hann-windowed
// stretches, each bin by the Goertzel recurrence.
std::vector<double> band_levels(const std::vector<double>& x) {
    std::vector<double> energy(k_band_count, 1e-9);
    const double band_step = std::pow(2.0, 1.0 / 3);
    const double top = k_lowest_band * std::pow(band_step, k_band_count);
    const int last_bin = static_cast<int>(top * k_window / k_voice_rate);
    std::vector<double> w(k_window);
    for (size_t from = k_steady_from; from + k_window <= x.size(); from += k_window) {
        for (int i = 0; i < k_window; i++)
            w[i] = x[from + i] * (0.5 - 0.5 * std::cos(2 * k_pi * i / (k_window - 1)));
        for (int bin = 1; bin < last_bin; bin++) {
            const double hz = static_cast<double>(bin) * k_voice_rate / k_window;
            const int band =
                static_cast<int>(std::floor(std::log(hz / k_lowest_band) / std::log(band_step)));
            if (band < 0 || band >= k_band_count) continue;
            const double c = 2 * std::cos(2 * k_pi * bin / k_window);
            double s1 = 0, s2 = 0;
            for (double value : w) {
                const double s = value + c * s1 - s2;
                s2 = s1;
                s1 = s;
            }
            energy[band] += s1 * s1 + s2 * s2 - c * s1 * s2;
        }
    }
    std::vector<double> levels;
    for (double e : energy) levels.push_back(10 * std::log10(e));
    return levels;
}

// How far apart two spectra are: the root mean square of their bands' level differences (dB),
// and the same with the overall level difference taken out (the colour alone).
struct spectrum_gap {
    double level;
    double colour;
};

spectrum_gap gap_between(const std::vector<double>& a, const std::vector<double>& b) {
    double mean = 0;
    for (int i = 0; i < k_band_count; i++) mean += (a[i] - b[i]) / k_band_count;
    double level = 0, colour = 0;
    for (int i = 0; i < k_band_count; i++) {
        const double d = a[i] - b[i];
        level += d * d / k_band_count;
        colour += (d - mean) * (d - mean) / k_band_count;
    }
    return {std::sqrt(level), std::sqrt(colour)};
}

double db(double ratio) { return 20 * std::log10(ratio); }

// At the same revs, closing the throttle part way is heard: quieter than full throttle and
// louder than a closed one, and of a colour of its own, on a four-stroke of each size and a
// two-stroke.
TEST_F(EngineVoice, PartThrottleIsHeardBetweenClosedAndFullThrottle) {
    for (const char* name : {"yz250f(2017)", "crf450(2018)", "cr125"}) {
        const bike_info& b = bike_named(name);
        constexpr float rpm = 8000;
        std::vector<double> heard[3];
        const float throttles[3] = {0, 0.4f, 1};
        for (int k = 0; k < 3; k++) {
            engine_voice v;
            ASSERT_EQ(load_voice(v, b), own_file(b));
            heard[k] = play(v, rpm, torque_at(b, rpm, throttles[k]), 0.75);
        }
        const double closed = rms(heard[0]), part = rms(heard[1]), full = rms(heard[2]);
        const std::vector<double> part_bands = band_levels(heard[1]);
        const spectrum_gap to_full = gap_between(part_bands, band_levels(heard[2]));
        const spectrum_gap to_closed = gap_between(part_bands, band_levels(heard[0]));
        EXPECT_GT(db(full / part), 1.5) << name << ": full " << full << ", part " << part;
        EXPECT_GT(db(part / closed), 1.5) << name << ": part " << part << ", closed " << closed;
        EXPECT_GT(to_full.level, 1.5) << name;
        EXPECT_GT(to_closed.level, 1.5) << name;
        EXPECT_GT(to_full.colour, 1.0) << name << ": not just quieter";
        EXPECT_GT(to_closed.colour, 1.0) << name << ": not just louder";
    }
}

// Over the revs a bike is ridden at, its voice hears a closed throttle as little load, full
// throttle as nearly full load and half throttle as about half: the range fits the engine.
TEST_F(EngineVoice, EveryBikesLoadRangeFitsItsEngine) {
    for (int i = 0; i < k_bike_count; i++) {
        const bike_info& b = bike_info_at(i);
        engine_voice own, builtin;
        EXPECT_EQ(load_voice(own, b), own_file(b)) << b.name;
        voice_from_template(builtin, b.bike_class);
        double own_load[3] = {}, builtin_load[3] = {};
        int n = 0;
        for (float rpm = 2000; rpm <= b.max_rpm; rpm += 250, n++) {
            for (int k = 0; k < 3; k++) {
                const float torque = torque_at(b, rpm, k * 0.5f);
                own_load[k] += voice_engine_load(own, torque);
                builtin_load[k] += voice_engine_load(builtin, torque);
            }
        }
        for (int k = 0; k < 3; k++) own_load[k] /= n, builtin_load[k] /= n;
        EXPECT_LT(own_load[0], 0.15) << b.name << " closed";
        EXPECT_NEAR(own_load[1], 0.5, 0.1) << b.name << " half";
        EXPECT_GT(own_load[2], 0.85) << b.name << " full";
        // The built-in voice of the class, for a file that is missing, fits less closely.
        EXPECT_LT(builtin_load[0], 0.3) << b.name << " closed, built-in";
        EXPECT_NEAR(builtin_load[1], 0.5, 0.25) << b.name << " half, built-in";
        EXPECT_GT(builtin_load[2], 0.7) << b.name << " full, built-in";
    }
}

bool same_voice(const engine_voice& a, const engine_voice& b) {
    return a.table == b.table && a.min_rpm == b.min_rpm && a.low_torque == b.low_torque &&
           a.high_torque == b.high_torque && a.bias_count == b.bias_count &&
           a.scale_count == b.scale_count &&
           memcmp(a.pipe_delays, b.pipe_delays, sizeof a.pipe_delays) == 0 &&
           memcmp(a.pipe_gains, b.pipe_gains, sizeof a.pipe_gains) == 0 &&
           memcmp(a.bias, b.bias, sizeof a.bias) == 0 &&
           memcmp(a.scale, b.scale, sizeof a.scale) == 0;
}

TEST_F(EngineVoice, NoTwoFourStrokeModelsShareAVoice) {
    std::vector<engine_voice> voices;
    std::vector<const char*> names;
    for (int i = 0; i < k_bike_count; i++) {
        const bike_info& b = bike_info_at(i);
        if (b.bike_class[strlen(b.bike_class) - 1] != 'f') continue;
        voices.emplace_back();
        EXPECT_EQ(load_voice(voices.back(), b), own_file(b)) << b.name;
        names.push_back(b.name);
    }
    EXPECT_GE(voices.size(), 60u);
    for (size_t a = 0; a < voices.size(); a++)
        for (size_t b = a + 1; b < voices.size(); b++)
            EXPECT_FALSE(same_voice(voices[a], voices[b])) << names[a] << " " << names[b];
}

// Four makers' 250 four-strokes of one year, and one maker's 450 over two years, at the same
// revs and the same load: each pair is told apart by the colour of its sound.
TEST_F(EngineVoice, FourStrokeModelsSoundDifferentAtTheSameRevsAndLoad) {
    const char* pairs[][2] = {{"yz250f(2018)", "kx250f(2018)"},
                              {"yz250f(2018)", "crf250(2018)"},
                              {"kx250f(2018)", "rmz250(2018)"},
                              {"crf250(2018)", "rmz250(2018)"},
                              {"crf450(2017)", "crf450(2018)"}};
    constexpr float rpm = 7000, load = 0.6f;
    for (auto& pair : pairs) {
        std::vector<double> bands[2];
        for (int k = 0; k < 2; k++) {
            engine_voice v;
            const bike_info& b = bike_named(pair[k]);
            ASSERT_EQ(load_voice(v, b), own_file(b));
            const float torque = v.low_torque + load * (v.high_torque - v.low_torque);
            bands[k] = band_levels(play(v, rpm, torque, 0.75));
        }
        const spectrum_gap gap = gap_between(bands[0], bands[1]);
        EXPECT_GT(gap.colour, 1.0) << pair[0] << " " << pair[1] << ": " << gap.colour << " dB";
    }
}
} // namespace
