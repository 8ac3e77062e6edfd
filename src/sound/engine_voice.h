// Engine voices: the sound tables and samples they play, the voice templates, the ".braap"
// reader, the per-frame synthesis into a stream's ring and the stream's spatial parameters.
#pragma once

#include "common/vec3.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int k_voice_ring_size = 32768; // samples of the stream and of the pipe's delay line
constexpr int k_voice_rate = 44100;      // samples per second the voice is synthesised at
constexpr int k_pipe_taps = 16;
constexpr int k_variation_max = 100; // bias and scale entries
constexpr int k_voice_players = 4;
constexpr float k_speed_of_sound = 1140.63f; // ft/s
constexpr int k_voice_write_lead = 4410;     // samples the writer keeps ahead of playback
constexpr int k_voice_max_block = 8820;      // samples made at most per frame

// One cell of a sound table: a recorded stretch of `period` engine cycles and the order its
// cycles are played in (empty: one after the other).
struct sound_cell {
    int sample = -1; // index into the sample cache
    int period = 1;
    std::vector<int> remap;
};

// Cells by engine speed (rows, rpm keys ascending) and load (columns, keys 0 ... 1 ascending).
struct sound_table {
    int rows = 0;
    int columns = 0;
    std::vector<float> row_keys;    // rpm
    std::vector<float> column_keys; // load
    std::vector<sound_cell> cells;  // row-major
};

// A sound table file by name, loaded once and kept; -1 with a shown message when it can't be
// read. Samples are cached the same way.
int sound_table_load(const char* name);
const sound_table& sound_table_at(int table);
const std::vector<float>& sound_sample_at(int sample); // values in -1 ... 1
// The built-in one-row tables: the four-stroke cycle, and the two-stroke one.
int sound_table_builtin(bool four_stroke);
// Frees every table and sample (at shut-down, after every voice is closed).
void sound_tables_free();
int sound_table_count();

// The exhaust pipe: length a, spread b, gain g over taps first ... last.
struct pipe_params {
    float length = 1; // ft
    float spread = 1; // ft
    float gain = 0;
    int first_tap = 0;
    int last_tap = k_pipe_taps - 1;
};

// One of the four sample players: the cell it plays, its gain and its 22.10 fixed-point place.
struct voice_player {
    int sample = -1;
    float gain = 0;
    uint32_t position = 0;
    uint32_t step = 0;
};

struct engine_voice {
    int stream = -1; // the sound device's stream, -1 when there is no sound
    int table = -1;
    float firings_per_rev = 1;
    float low_torque = -3.5f;              // lbf·ft at load 0
    float high_torque = 3.5f;              // lbf·ft at load 1
    float min_rpm = 1000;                  // rpm
    int32_t pipe_delays[k_pipe_taps] = {}; // stored as ring size - delay in samples
    float pipe_gains[k_pipe_taps] = {};
    float bias[k_variation_max] = {}; // rpm added, one entry per firing, cyclic
    int bias_count = 1;
    float scale[k_variation_max] = {1}; // rpm factor, one entry per firing, cyclic
    int scale_count = 1;
    voice_player players[k_voice_players];
    std::vector<float> ring; // synthesised output, also the pipe's delay line
    int32_t write_cursor = 11025;
    int32_t phase = 0; // 24-bit fraction of one firing period
    uint32_t firing_count = 0;
    float firing_frequency = 10; // Hz
    float previous_rpm = 1000;   // rpm
    float volume_factor = 1;     // 0 mutes (a demo rider whose data ran out)
};

// The built-in template for an engine class: four-stroke for classes ending in "f", the 50's
// for "50", else two-stroke; with its built-in table and pipe.
void voice_from_template(engine_voice& voice, const char* engine_class);
void voice_set_pipe(engine_voice& voice, const pipe_params& pipe);
// The template's pipe for an engine class (the console's "pipe" defaults).
pipe_params voice_template_pipe(const char* engine_class);
// Applies a ".braap" text on top of the voice; `name` is for messages. Returns the number of
// lines not understood.
int voice_apply_braap(engine_voice& voice, const char* text, size_t size, const char* name);
// The template for the class, then the ".braap" file the sound name leads to (its variants,
// then the class's default file); returns the file used, "" for the template alone.
std::string voice_load(engine_voice& voice, const char* engine_class, const char* sound_name);
// The ".braap" names a sound name leads to, in the order they are tried.
std::vector<std::string> braap_candidates(const char* sound_name);
// The default ".braap" file of an engine class, nullptr when the class has none.
const char* braap_class_default(const char* engine_class);

// The load (0 closed ... 1 full throttle) the voice plays for an engine torque (lbf·ft): where
// the torque falls between the voice's low and high torque.
float voice_engine_load(const engine_voice& voice, float torque);
// Synthesises the samples the ring needs for the stream's play position `played`, at engine
// speed `rpm` and torque `torque`; returns how many were made (0 ... 8820) and leaves them as
// bytes in `out` (at least k_voice_max_block), starting at ring index `*first`.
int voice_synthesise(engine_voice& voice, int played, float rpm, float torque, uint8_t* out,
                     int* first);

// Where the sound is heard from: the camera's position, velocity and right-pointing axis.
struct sound_listener {
    vec3d position; // ft
    vec3d velocity; // ft/s
    vec3d right;    // unit
};

// The stream's playback rate (Hz), volume (0 ... 32767) and pan (-32767 ... 32767) for a
// source at `position` moving at `velocity`: Doppler shift, distance and direction.
struct voice_spatial {
    int rate;
    int volume;
    int pan;
};
voice_spatial voice_spatial_of(const vec3d& position, const vec3d& velocity,
                               const sound_listener& listener, float volume);
