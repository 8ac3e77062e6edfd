// Engine sound, heard through the readback back-end as a recording: the pitch follows the firing
// frequency for two- and four-strokes, a receding bike is pitched down, a bike on the left is
// louder on the left, distance quietens; and the voices' files, tables and fall-backs.
#include "sound/sound.h"

#include "bike/data/bike_info.h"
#include "common/message.h"
#include "platform/log.h"
#include "platform/sound_device.h"

#include "support/data_set_home.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

namespace {
constexpr int k_record_rate = 88320;
constexpr int k_block = 690; // one tic

// The recording of one slot's voice: left and right as signed values around 0.
struct recording {
    std::vector<double> left;
    std::vector<double> right;
};

double rms(const std::vector<double>& x, size_t from = 0) {
    double sum = 0;
    for (size_t i = from; i < x.size(); i++) sum += x[i] * x[i];
    return x.size() > from ? std::sqrt(sum / (x.size() - from)) : 0;
}

// The fundamental frequency of a stretch of sound (Hz), by the cumulative mean normalised
// difference: the first lag whose difference dips under the threshold, refined to its minimum.
double fundamental(const std::vector<double>& x, int rate, double low_hz, double high_hz) {
    const int max_lag = static_cast<int>(rate / low_hz), min_lag = static_cast<int>(rate / high_hz);
    const int window = static_cast<int>(x.size()) - max_lag;
    if (window <= 0) return 0;
    std::vector<double> d(max_lag + 1, 0.0);
    for (int lag = 1; lag <= max_lag; lag++) {
        double sum = 0;
        for (int i = 0; i < window; i++) {
            double diff = x[i] - x[i + lag];
            sum += diff * diff;
        }
        d[lag] = sum;
    }
    std::vector<double> cmnd(max_lag + 1, 1.0);
    double running = 0;
    for (int lag = 1; lag <= max_lag; lag++) {
        running += d[lag];
        cmnd[lag] = running > 0 ? d[lag] * lag / running : 1;
    }
    int best = -1;
    for (int lag = min_lag; lag <= max_lag; lag++) {
        if (cmnd[lag] < 0.25) {
            while (lag + 1 <= max_lag && cmnd[lag + 1] < cmnd[lag]) lag++;
            best = lag;
            break;
        }
    }
    if (best < 0) {
        best = min_lag;
        for (int lag = min_lag; lag <= max_lag; lag++)
            if (cmnd[lag] < cmnd[best]) best = lag;
    }
    double shift = 0;
    if (best > 1 && best < max_lag) {
        double a = cmnd[best - 1], b = cmnd[best], c = cmnd[best + 1];
        double denominator = a - 2 * b + c;
        if (denominator != 0) shift = 0.5 * (a - c) / denominator;
    }
    return rate / (best + shift);
}

struct EngineSound : ::testing::Test {
    std::filesystem::path home;
    void SetUp() override {
        home = data_set_home_open("tb_sound_");
        setenv("TAVO_LOGFILE", (home / "log.txt").c_str(), 1);
        log_reset();
        messages_clear();
        ASSERT_TRUE(open_readback_device(k_record_rate, k_block));
        sound_listener l;
        l.right = {1, 0, 0};
        engine_sound_set_listener(l);
    }
    void TearDown() override {
        engine_sounds_free();
        close_sound_device();
        log_reset();
        unsetenv("TAVO_LOGFILE");
        data_set_home_close(home);
    }

    // Synthesises and mixes one tic at a time, as a recording run does.
    static recording record(int slot, const engine_sound_input& in, double seconds,
                            float volume = 1) {
        recording r;
        int tics = static_cast<int>(seconds * k_tics_per_second);
        for (int t = 0; t < tics; t++) {
            engine_sound_synthesise(slot, in, volume);
            const uint8_t* block = sound_device().readback();
            for (int i = 0; i < k_block; i++) {
                r.left.push_back(block[2 * i] - 128.0);
                r.right.push_back(block[2 * i + 1] - 128.0);
            }
        }
        return r;
    }

    // The pitch of the steady part (after the first half second), on a quarter of the rate.
    static double pitch(const recording& r, double low_hz, double high_hz) {
        std::vector<double> mono;
        const size_t from = k_record_rate / 2;
        for (size_t i = from; i + 4 <= r.left.size(); i += 4) {
            double sum = 0;
            for (size_t k = i; k < i + 4; k++) sum += r.left[k] + r.right[k];
            mono.push_back(sum);
        }
        mono.resize(std::min<size_t>(mono.size(), k_record_rate / 4 / 2));
        return fundamental(mono, k_record_rate / 4, low_hz, high_hz);
    }

    static std::string log_text() {
        log_close();
        std::ifstream in(std::getenv("TAVO_LOGFILE"));
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

engine_sound_input engine_at(float rpm, float torque = 10) {
    engine_sound_input in;
    in.rpm = rpm;
    in.torque = torque;
    in.position = {0, 0, -10}; // straight ahead of the listener
    return in;
}

// At several engine speeds, the recording's pitch is the firing frequency within 3%.
void expect_pitch_follows_firing(const char* engine_class, const char* sound_name,
                                 double firings_per_rev) {
    for (float rpm : {3000.0f, 6000.0f, 9000.0f, 12000.0f}) {
        engine_sound_load(0, engine_class, sound_name);
        const double firing = rpm * firings_per_rev / 60.0;
        double f = EngineSound::pitch(EngineSound::record(0, engine_at(rpm), 1.0), 10, 400);
        EXPECT_NEAR(f / firing, 1.0, 0.03) << engine_class << " " << rpm << " rpm: " << f << " Hz";
    }
}

TEST_F(EngineSound, TwoStrokePitchFollowsOneFiringPerTurn) {
    EXPECT_EQ(engine_sound_load(0, "125", "@cr125.png"), "@cr125.braap");
    expect_pitch_follows_firing("125", "@cr125.png", 1.0);
}

TEST_F(EngineSound, FourStrokePitchFollowsOneFiringEverySecondTurn) {
    EXPECT_EQ(engine_sound_load(0, "250f", "@yz250f_2017.png"), "@yz250f_2017.braap");
    expect_pitch_follows_firing("250f", "@yz250f_2017.png", 0.5);
    expect_pitch_follows_firing("450f", "@crf450_2018.png", 0.5);
    // The class's own voice, for a bike without one.
    EXPECT_EQ(engine_sound_load(0, "450f", "@no_such_bike.png"), "@default450f.braap");
    expect_pitch_follows_firing("450f", "@no_such_bike.png", 0.5);
}

TEST_F(EngineSound, ClosedThrottleAndOpenThrottleSoundDifferent) {
    engine_sound_load(0, "450f", "@crf450_2018.png");
    recording open = record(0, engine_at(5000, 30), 1.0);
    engine_sound_load(0, "450f", "@crf450_2018.png");
    recording closed = record(0, engine_at(5000, -8), 1.0);
    EXPECT_GT(rms(open.left, k_record_rate / 2), 1.4 * rms(closed.left, k_record_rate / 2));
}

TEST_F(EngineSound, ARecedingBikeIsPitchedDown) {
    engine_sound_load(0, "125", "@cr125.png");
    engine_sound_input still = engine_at(6000);
    still.position = {0, 0, -200};
    double standing = pitch(record(0, still, 1.0), 20, 400);
    engine_sound_load(0, "125", "@cr125.png");
    engine_sound_input away = still;
    away.velocity = {0, 0, -300}; // away from the listener at the origin
    double receding = pitch(record(0, away, 1.0), 20, 400);
    const double expected = 1 / (1 + 300 / k_speed_of_sound);
    EXPECT_NEAR(receding / standing, expected, 0.03) << standing << " Hz, " << receding << " Hz";
}

TEST_F(EngineSound, ABikeOnTheLeftIsLouderOnTheLeft) {
    engine_sound_load(0, "250", "@cr250_2007.png");
    engine_sound_input in = engine_at(7000);
    in.position = {-30, 0, -5};
    recording r = record(0, in, 0.75);
    EXPECT_GT(rms(r.left, k_record_rate / 4), 2 * rms(r.right, k_record_rate / 4));
    engine_sound_load(0, "250", "@cr250_2007.png");
    in.position = {30, 0, -5};
    r = record(0, in, 0.75);
    EXPECT_GT(rms(r.right, k_record_rate / 4), 2 * rms(r.left, k_record_rate / 4));
}

TEST_F(EngineSound, DistanceQuietensAndAMutedRiderIsSilent) {
    engine_sound_load(0, "250f", "@kx250f_2018.png");
    recording near = record(0, engine_at(6000), 0.75);
    engine_sound_load(0, "250f", "@kx250f_2018.png");
    engine_sound_input far = engine_at(6000);
    far.position = {0, 0, -400};
    recording distant = record(0, far, 0.75);
    EXPECT_GT(rms(near.left, k_record_rate / 4), 3 * rms(distant.left, k_record_rate / 4));
    engine_sound_set_volume_factor(0, 0);
    recording muted = record(0, engine_at(6000), 0.5);
    EXPECT_EQ(rms(muted.left, k_record_rate / 8), 0) << "a demo rider whose data ran out";
}

TEST_F(EngineSound, EachClassSoundsDifferent) {
    // The same engine speed in every class: the classes' recordings differ in pitch or colour.
    const char* classes[][2] = {{"50", "@rs50cr.png"},
                                {"125", "@yz125.png"},
                                {"250", "@yz250_2012.png"},
                                {"250f", "@yz250f_2017.png"},
                                {"450f", "@yz450f_2018.png"}};
    std::vector<recording> heard;
    for (auto& c : classes) {
        EXPECT_NE(engine_sound_load(0, c[0], c[1]), "") << c[0];
        heard.push_back(record(0, engine_at(6000), 0.75));
    }
    for (size_t a = 0; a < heard.size(); a++) {
        for (size_t b = a + 1; b < heard.size(); b++) {
            double diff = 0;
            for (size_t i = k_record_rate / 4; i < heard[a].left.size(); i++)
                diff += std::fabs(heard[a].left[i] - heard[b].left[i]);
            EXPECT_GT(diff / heard[a].left.size(), 1.0) << classes[a][0] << " " << classes[b][0];
        }
    }
}

TEST_F(EngineSound, NamesLeadToVariantsThenTheBaseName) {
    std::vector<std::string> expected = {"bikes/yz125-blue-1.braap", "bikes/yz125-blue.braap",
                                         "bikes/yz125.braap"};
    EXPECT_EQ(braap_candidates("bikes/yz125-blue-1.png"), expected);
    expected = {"my-bikes/kx125-black.braap", "my-bikes/kx125.braap"};
    EXPECT_EQ(braap_candidates("my-bikes/kx125-black.png"), expected)
        << "a dash in the folder is not a variant";
    EXPECT_TRUE(braap_candidates("noextension").empty());
    // The generator's graphics choices find their model's own voice.
    EXPECT_EQ(engine_sound_load(0, "125", "@kx125-black.png"), "@kx125.braap");
}

TEST_F(EngineSound, ClassesWithoutAFileUseTheirDefaultOrTheBuiltInVoice) {
    EXPECT_EQ(engine_sound_load(0, "250f", "@no_such_bike.png"), "@default250f.braap");
    EXPECT_EQ(engine_sound_load(0, "300", "@no_such_bike.png"), "");
    const engine_voice* v = engine_sound_voice(0);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->table, sound_table_builtin(false)) << "the built-in two-stroke voice";
    EXPECT_EQ(v->firings_per_rev, 1.0f);
    // The built-in voice still follows the firing frequency.
    double f = pitch(record(0, engine_at(4800), 1.0), 20, 400);
    EXPECT_NEAR(f / 80.0, 1.0, 0.03) << f;
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string raw_samples(std::initializer_list<int16_t> values) {
    std::string bytes;
    for (int16_t v : values) {
        bytes += static_cast<char>(v & 0xff);
        bytes += static_cast<char>((v >> 8) & 0xff);
    }
    return bytes;
}

TEST_F(EngineSound, OutsideTheTableTheNearestRowAndColumnAlone) {
    const std::filesystem::path dir = home / "Trailbok";
    write_file(dir / "t/a.raw", raw_samples({1000, 2000}));
    write_file(dir / "t/b.raw", raw_samples({3000, 4000}));
    write_file(dir / "t/c.raw", raw_samples({5000, 6000}));
    write_file(dir / "t/d.raw", raw_samples({7000, 8000}));
    write_file(dir / "t/edge.table", "SOUNDTABLE 2 2\n4000 8000\n0.2 0.8\n"
                                     "-1 1 @t/a.raw\n-1 1 @t/b.raw\n"
                                     "-1 1 @t/c.raw\n-1 1 @t/d.raw\n");
    write_file(dir / "edge.braap", "minrpm 0\nlowtorque 0\nhightorque 10\n"
                                   "soundtable @t/edge.table # the test's table\n");
    engine_sound_load(0, "125", "@edge.png");
    const int table = sound_table_load("@t/edge.table");
    ASSERT_GE(table, 0);
    const sound_table& t = sound_table_at(table);
    // Below the first row key and above the last column key: row 0 and column 1 only.
    record(0, engine_at(1500, 20), 0.1);
    const engine_voice* v = engine_sound_voice(0);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->table, table);
    const int cell_row0_col1 = t.cells[1].sample;
    float heard = 0;
    for (const voice_player& p : v->players)
        if (p.sample == cell_row0_col1) heard += p.gain;
    EXPECT_FLOAT_EQ(heard, 1.0f);
    // A firing frequency below 5 Hz is raised to 5 Hz.
    record(0, engine_at(100, 20), 0.5);
    EXPECT_FLOAT_EQ(engine_sound_voice(0)->firing_frequency, 5.0f);
}

TEST_F(EngineSound, DamagedFilesGiveAMessageAndKeepAVoice) {
    const std::filesystem::path dir = home / "Trailbok";
    write_file(dir / "t/ok.raw", raw_samples({1000, -1000}));
    write_file(dir / "t/remap.table", "SOUNDTABLE 1 1\n0\n0\n3 x -1\n1 @t/ok.raw\n");
    write_file(dir / "t/missing.table", "SOUNDTABLE 1 1\n0\n0\n-1\n1 @t/none.raw\n");
    write_file(dir / "remap.braap", "soundtable @t/remap.table\n");
    write_file(dir / "missing.braap", "soundtable @t/missing.table\n");
    std::string junk(3000, '\0');
    for (size_t i = 0; i < junk.size(); i++) junk[i] = static_cast<char>((i * 7919) % 251);
    write_file(dir / "junk.braap", junk + "\nbias\nscale\npipe 1 2\nsoundtable\n");

    engine_sound_load(0, "250f", "@remap.png");
    EXPECT_EQ(engine_sound_voice(0)->table, sound_table_builtin(true));
    EXPECT_EQ(message_recent(1), "(0, 0) Bad remap entry");
    EXPECT_EQ(message_recent(0), "Error reading '@t/remap.table'");
    engine_sound_load(0, "125", "@missing.png");
    EXPECT_EQ(message_recent(1), "(0, 0) Error reading '@t/none.raw'");
    EXPECT_EQ(engine_sound_voice(0)->table, sound_table_builtin(false));
    engine_sound_load(0, "450f", "@junk.png");
    const engine_voice* v = engine_sound_voice(0);
    EXPECT_EQ(v->bias_count, 1);
    EXPECT_EQ(v->scale[0], 1.0f) << "an empty scale list is {1}";
    recording r = record(0, engine_at(6000), 0.5);
    EXPECT_GT(rms(r.left), 0) << "the junk file's voice still sounds";
    EXPECT_NE(log_text().find("@junk.braap: "), std::string::npos);
}

TEST_F(EngineSound, ThePipeCommandRetunesTheFollowedVoice) {
    engine_sound_load(3, "450f", "@fc450_2018.png");
    const int32_t before = engine_sound_voice(3)->pipe_delays[0];
    EXPECT_TRUE(engine_sound_pipe(3, "2.0"));
    EXPECT_EQ(message_recent(0), "Pipe updated");
    const engine_voice* v = engine_sound_voice(3);
    // A pipe of 2 ft: the echo comes back after 2 x 2 x 44100 / 1140.63 samples.
    EXPECT_EQ(k_voice_ring_size - v->pipe_delays[0], 155);
    EXPECT_NE(v->pipe_delays[0], before);
    // The rest are the four-stroke template's: gain -0.85 over 16 taps.
    EXPECT_FLOAT_EQ(v->pipe_gains[15], -0.85f / 16);
    EXPECT_FALSE(engine_sound_pipe(4, "2.0")) << "no voice in that slot";
}

TEST(EngineSpatial, DopplerAndPanRules) {
    sound_listener l;
    l.right = {1, 0, 0};
    // Away from the listener at the speed of sound: half the pitch.
    voice_spatial s = voice_spatial_of({0, 0, -100}, {0, 0, -k_speed_of_sound}, l, 1);
    EXPECT_EQ(s.rate, 22050);
    EXPECT_EQ(s.pan, 0);
    // A listener term more than 8 times the source term: an eighth.
    l.velocity = {0, 0, -3 * k_speed_of_sound};
    s = voice_spatial_of({0, 0, -100}, {0, 0, 0.7 * k_speed_of_sound}, l, 1);
    EXPECT_EQ(s.rate, 5513);
    // Right beside the listener: no shift, no pan, full volume.
    l.velocity = {};
    s = voice_spatial_of({0.01, 0, 0}, {500, 0, 0}, l, 1);
    EXPECT_EQ(s.rate, 44100);
    EXPECT_EQ(s.volume, 32767);
    // On the right at 49 ft: panned right, at half volume.
    s = voice_spatial_of({49, 0, 0}, {}, l, 1);
    EXPECT_EQ(s.pan, 32767);
    EXPECT_EQ(s.volume, 16384);
}

// A slot's engine as the frame would hand it over for a bike of the catalogue.
sound_source source_for(int bike, const char* name) {
    const bike_info& info = bike_info_at(bike_info_find_or_fallback(name));
    sound_source s;
    s.bike = bike;
    s.catalogue = bike_info_find_or_fallback(name);
    s.engine_class = info.bike_class;
    s.sound_name = info.bike_texture;
    s.volume = 1;
    return s;
}

TEST_F(EngineSound, AVoiceLivesWithItsSlotsBike) {
    engine_sound_update(0, source_for(4096, "yz250f(2017)"));
    ASSERT_NE(engine_sound_voice(0), nullptr);
    EXPECT_EQ(engine_sound_voice(0)->table, sound_table_load("@sounds/yz250f_2017.table"));
    EXPECT_EQ(engine_sound_voice(0)->firings_per_rev, 0.5f);
    engine_sound_update(0, source_for(8192, "cr125"));
    EXPECT_EQ(engine_sound_voice(0)->table, sound_table_load("@sounds/cr125.table"))
        << "a new bike in the slot gets its own voice";
    engine_sound_update(0, sound_source{});
    EXPECT_EQ(engine_sound_voice(0), nullptr) << "a slot without a bike is silent";
}

// A frame of sources with the listener where the frame puts it: the engines the frame names are
// heard, the rest are closed.
TEST_F(EngineSound, AFrameVoicesTheSlotsItNamesAndClosesTheRest) {
    sound_frame frame;
    frame.has_listener = true;
    frame.listener.position = {100, 5, 100};
    frame.listener.right = {1, 0, 0};
    frame.sources[3] = source_for(4096, "cr125");
    frame.sources[3].engine.position = {101, 5, 100};
    engine_sounds_update(frame);
    EXPECT_NE(engine_sound_voice(3), nullptr);
    EXPECT_EQ(engine_sound_voice(0), nullptr);
    EXPECT_EQ(engine_sound_listener().position.x, 100);
    frame.has_listener = false;
    frame.listener.position = {0, 0, 0};
    frame.sources[3] = sound_source{};
    engine_sounds_update(frame);
    EXPECT_EQ(engine_sound_voice(3), nullptr);
    EXPECT_EQ(engine_sound_listener().position.x, 100) << "without a listener it stays put";
}
} // namespace
