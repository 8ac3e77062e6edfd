// One engine voice: its template, the ".braap" file on top, the exhaust pipe, the synthesis of
// firings from the sound table, and the Doppler shift, distance and pan of its stream.
#include "sound/engine_voice.h"

#include "common/message.h"
#include "files/files.h"
#include "platform/log.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int k_ring_mask = k_voice_ring_size - 1;
constexpr int32_t k_phase_one = 1 << 24;    // one firing period
constexpr float k_ring_limit = 16;          // the pipe's feedback never runs away past this
constexpr float k_min_firing_frequency = 5; // Hz
constexpr int k_line_size = 2048;

// A built-in voice: what it fires like and its pipe.
struct voice_template {
    const char* name;
    bool four_stroke;
    float firings_per_rev;
    float low_torque;  // lbf·ft
    float high_torque; // lbf·ft
    float min_rpm;
    pipe_params pipe;
};

enum template_id { template_four_stroke, template_two_stroke, template_50, k_template_count };

// Each template's load runs over the torque its class's bikes give at closed and at full
// throttle, averaged over the revs they are ridden at (2000 rpm to the rated speed): the
// four-strokes -8.35 ... 20.5 lbf·ft, the two-strokes -4.7 ... 16.4, the 50s -1.7 ... 3.1.
constexpr voice_template k_templates[] = {
    {"default_four_stroke", true, 0.5f, -8.35f, 20.5f, 1000, {5.0f, 0.918f, -0.85f, 0, 15}},
    {"default_two_stroke", false, 1.0f, -4.7f, 16.4f, 1000, {1.75f, 0.3f, -0.75f, 0, 15}},
    {"50", false, 1.0f, -1.7f, 3.1f, 1000, {1.75f, 0.3f, -0.75f, 0, 15}},
};
static_assert(sizeof k_templates / sizeof k_templates[0] == k_template_count);

// The default ".braap" file of each engine class that has one.
struct class_default {
    const char* engine_class;
    const char* file;
};
constexpr class_default k_class_defaults[] = {
    {"50", "@default50.braap"},   {"125", "@default125.braap"},   {"250f", "@default250f.braap"},
    {"250", "@default250.braap"}, {"450f", "@default450f.braap"},
};

template_id template_of(const char* engine_class) {
    size_t n = strlen(engine_class);
    if (n > 0 && engine_class[n - 1] == 'f') return template_four_stroke;
    if (strcmp(engine_class, "50") == 0) return template_50;
    return template_two_stroke;
}

// A keyword that stands alone: followed by white space or the line's end.
const char* keyword_rest(const char* line, const char* keyword) {
    size_t n = strlen(keyword);
    if (strncmp(line, keyword, n) != 0) return nullptr;
    if (line[n] != '\0' && !isspace(static_cast<unsigned char>(line[n]))) return nullptr;
    return line + n;
}

// Up to 100 numbers after a keyword; an empty list becomes the one value `empty`.
int read_numbers(const char* text, float* out, float empty) {
    int count = 0;
    while (count < k_variation_max) {
        char* end;
        float v = strtof(text, &end);
        if (end == text || !std::isfinite(v)) break;
        out[count++] = v;
        text = end;
    }
    if (count == 0) out[count++] = empty;
    return count;
}

bool apply_line(engine_voice& voice, const char* line, const char* name) {
    float value;
    if (strncmp(line, "pipe", 4) == 0) {
        pipe_params p{5.0f, 0.918f, -0.85f, 0, 15};
        sscanf(line, "pipe %f %f %f %d %d", &p.length, &p.spread, &p.gain, &p.first_tap,
               &p.last_tap);
        voice_set_pipe(voice, p);
    } else if (sscanf(line, "minrpm %f", &value) == 1) {
        if (std::isfinite(value)) voice.min_rpm = value;
    } else if (sscanf(line, "lowtorque %f", &value) == 1) {
        if (std::isfinite(value)) voice.low_torque = value;
    } else if (sscanf(line, "hightorque %f", &value) == 1) {
        if (std::isfinite(value)) voice.high_torque = value;
    } else if (const char* bias = keyword_rest(line, "bias")) {
        voice.bias_count = read_numbers(bias, voice.bias, 0);
    } else if (const char* scale = keyword_rest(line, "scale")) {
        voice.scale_count = read_numbers(scale, voice.scale, 1);
    } else if (const char* table_name = keyword_rest(line, "soundtable")) {
        char file[1024] = {};
        int table = sscanf(table_name, " %1023s", file) == 1 ? sound_table_load(file) : -1;
        if (table >= 0)
            voice.table = table;
        else
            show_message("Error reading '%.512s'", file[0] ? file : name);
    } else {
        return false;
    }
    return true;
}

int round_to_int(double v) { return static_cast<int>(std::lround(v)); }

// The four players as the synthesis loop runs them: their samples looked up once per firing
// rather than per output sample, and their places kept apart from the ring.
struct player_samples {
    const float* data[k_voice_players] = {}; // nullptr: silent until the next firing
    uint32_t last[k_voice_players] = {};     // index of the last sample
    float gain[k_voice_players] = {};
    uint32_t position[k_voice_players] = {}; // 22.10
    uint32_t step[k_voice_players] = {};     // 22.10
};

// A player without gain is left out until the next firing gives it one (and a new place).
void look_up_samples(const engine_voice& v, player_samples* out) {
    for (int k = 0; k < k_voice_players; k++) {
        const voice_player& p = v.players[k];
        out->data[k] = nullptr;
        out->gain[k] = p.gain;
        out->position[k] = p.position;
        out->step[k] = p.step;
        if (p.sample < 0 || p.gain == 0) continue;
        const std::vector<float>& s = sound_sample_at(p.sample);
        out->data[k] = s.data();
        out->last[k] = static_cast<uint32_t>(s.size() - 1);
    }
}

void keep_positions(const player_samples& samples, engine_voice& v) {
    for (int k = 0; k < k_voice_players; k++) v.players[k].position = samples.position[k];
}

// A firing: the engine speed of this firing picks the table's rows and columns, the firing
// frequency, and the cycle each of the four players starts.
void fire(engine_voice& v, float r, float load) {
    const sound_table& t = sound_table_at(v.table);
    int i = 0;
    while (i < t.rows && !(t.row_keys[i] > r)) i++;
    int low_row = std::clamp(i - 1, 0, t.rows - 1), high_row = std::clamp(i, 0, t.rows - 1);
    float tr = 1;
    if (low_row != high_row)
        tr = std::clamp((r - t.row_keys[low_row]) / (t.row_keys[high_row] - t.row_keys[low_row]),
                        0.0f, 1.0f);
    int j = 0;
    while (j < t.columns && !(t.column_keys[j] > load)) j++;
    int low_col = std::clamp(j - 1, 0, t.columns - 1), high_col = std::clamp(j, 0, t.columns - 1);
    float o = 1;
    if (low_col != high_col)
        o = std::clamp((load - t.column_keys[low_col]) /
                           (t.column_keys[high_col] - t.column_keys[low_col]),
                       0.0f, 1.0f);
    v.firing_frequency = std::max(r * v.firings_per_rev / 60, k_min_firing_frequency);
    const int rows[k_voice_players] = {low_row, high_row, low_row, high_row};
    const int cols[k_voice_players] = {low_col, low_col, high_col, high_col};
    const float gains[k_voice_players] = {(1 - tr) * (1 - o), tr * (1 - o), (1 - tr) * o, tr * o};
    const uint32_t next = v.firing_count; // the count after this firing
    for (int k = 0; k < k_voice_players; k++) {
        const sound_cell& cell = t.cells[static_cast<size_t>(rows[k]) * t.columns + cols[k]];
        const double length = static_cast<double>(sound_sample_at(cell.sample).size());
        const uint32_t p = static_cast<uint32_t>(cell.period);
        uint32_t m =
            cell.remap.empty() ? next : static_cast<uint32_t>(cell.remap[next % cell.remap.size()]);
        voice_player& pl = v.players[k];
        pl.sample = cell.sample;
        pl.gain = gains[k];
        pl.position = static_cast<uint32_t>(round_to_int((m % p) * length / p)) << 10;
        pl.step = static_cast<uint32_t>(
            round_to_int(v.firing_frequency / k_voice_rate * length / p * 1024));
    }
}

// s x 127 + 127 rounded to the nearest and held to a byte; |s| <= 16 keeps the shifted value
// positive, so truncation rounds.
inline uint8_t to_byte(float s) {
    constexpr int k_shift = 4096;
    int v = static_cast<int>(s * 127 + (127 + k_shift + 0.5f)) - k_shift;
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

int32_t phase_increment(float frequency) {
    return round_to_int(frequency / k_voice_rate * k_phase_one);
}
} // namespace

void voice_set_pipe(engine_voice& v, const pipe_params& pipe) {
    int first = std::clamp(pipe.first_tap, 0, k_pipe_taps - 1);
    int last = std::clamp(pipe.last_tap, first, k_pipe_taps - 1);
    const int n = last - first + 1;
    const float a = std::isfinite(pipe.length) ? pipe.length : 0;
    const float b = std::isfinite(pipe.spread) ? pipe.spread : 0;
    const float g = std::isfinite(pipe.gain) ? pipe.gain : 0;
    for (int t = 0; t < k_pipe_taps; t++) {
        v.pipe_gains[t] = 0;
        v.pipe_delays[t] = k_voice_ring_size;
    }
    for (int t = first; t <= last; t++) {
        float length = a;
        if (n > 1) {
            float x = static_cast<float>(t - first), d = static_cast<float>(last - first);
            length = a - (x + x * x / (d * d)) * std::min(a, b) / n;
        }
        // There and back along the pipe at the speed of sound; kept within the ring.
        double delay = 2.0 * length * k_voice_rate / k_speed_of_sound;
        int samples = static_cast<int>(std::clamp(std::round(delay), 0.0, k_voice_ring_size - 1.0));
        v.pipe_delays[t] = k_voice_ring_size - samples;
        v.pipe_gains[t] = g / n;
    }
}

pipe_params voice_template_pipe(const char* engine_class) {
    return k_templates[template_of(engine_class)].pipe;
}

void voice_from_template(engine_voice& v, const char* engine_class) {
    const voice_template& t = k_templates[template_of(engine_class)];
    const int stream = v.stream;
    v = engine_voice{};
    v.stream = stream;
    v.table = sound_table_builtin(t.four_stroke);
    v.firings_per_rev = t.firings_per_rev;
    v.low_torque = t.low_torque;
    v.high_torque = t.high_torque;
    v.min_rpm = t.min_rpm;
    voice_set_pipe(v, t.pipe);
    v.ring.assign(k_voice_ring_size, 0.0f);
}

int voice_apply_braap(engine_voice& v, const char* text, size_t size, const char* name) {
    // The pipe is silent until the file says otherwise.
    voice_set_pipe(v, pipe_params{});
    int not_understood = 0;
    size_t at = 0;
    char line[k_line_size];
    while (at < size) {
        size_t end = at;
        while (end < size && text[end] != '\n') end++;
        size_t n = std::min(end - at, sizeof line - 1);
        memcpy(line, text + at, n);
        line[n] = '\0';
        at = end + 1;
        if (char* hash = strchr(line, '#')) *hash = '\0';
        char* start = line;
        while (*start && isspace(static_cast<unsigned char>(*start))) start++;
        if (!*start) continue;
        if (!apply_line(v, start, name)) not_understood++;
    }
    return not_understood;
}

std::vector<std::string> braap_candidates(const char* sound_name) {
    std::vector<std::string> out;
    std::string name = sound_name;
    for (bool first = true;; first = false) {
        size_t slash = name.rfind('/');
        size_t from = slash == std::string::npos ? 0 : slash + 1;
        size_t mark = name.rfind(first ? '.' : '-');
        if (mark == std::string::npos || mark < from) break;
        name.replace(mark, std::string::npos, ".braap");
        out.push_back(name);
    }
    return out;
}

const char* braap_class_default(const char* engine_class) {
    for (const class_default& d : k_class_defaults)
        if (strcmp(d.engine_class, engine_class) == 0) return d.file;
    return nullptr;
}

std::string voice_load(engine_voice& v, const char* engine_class, const char* sound_name) {
    voice_from_template(v, engine_class);
    std::string used;
    std::string text;
    for (const std::string& name : braap_candidates(sound_name)) {
        if (file_to_string(name.c_str(), &text)) {
            used = name;
            break;
        }
    }
    const char* fallback = braap_class_default(engine_class);
    if (used.empty() && fallback && file_to_string(fallback, &text)) used = fallback;
    if (used.empty()) return used;
    int not_understood = voice_apply_braap(v, text.data(), text.size(), used.c_str());
    if (not_understood > 0)
        log("%s: %d lines not understood, left out\n", used.c_str(), not_understood);
    return used;
}

float voice_engine_load(const engine_voice& v, float torque) {
    float load = 0;
    if (v.high_torque != v.low_torque)
        load = std::clamp((torque - v.low_torque) / (v.high_torque - v.low_torque), 0.0f, 1.0f);
    return std::isfinite(load) ? load : 0;
}

int voice_synthesise(engine_voice& v, int played, float rpm, float torque, uint8_t* out,
                     int* first) {
    *first = v.write_cursor;
    int n = (played + k_voice_ring_size + k_voice_write_lead - v.write_cursor) & k_ring_mask;
    n = std::min(n, k_voice_max_block);
    if (n <= 0 || v.table < 0) return 0;
    const float load = voice_engine_load(v, torque);
    if (!std::isfinite(rpm)) rpm = v.previous_rpm;
    int32_t increment = phase_increment(v.firing_frequency);
    // The taps in use, in groups of four (the last padded with silent taps) so that the four
    // partial sums do not wait on each other; all of it held apart from the ring it reads.
    float gains[k_pipe_taps] = {};
    int32_t delays[k_pipe_taps] = {};
    int tap_count = 0;
    for (int t = 0; t < k_pipe_taps; t++) {
        if (v.pipe_gains[t] == 0) continue;
        gains[tap_count] = v.pipe_gains[t];
        delays[tap_count++] = v.pipe_delays[t];
    }
    tap_count = (tap_count + 3) & ~3;
    player_samples samples;
    look_up_samples(v, &samples);
    float* ring = v.ring.data();
    int b = v.write_cursor;
    int32_t phase = v.phase;
    for (int k = 0; k < n; k++) {
        float s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        for (int i = 0; i < tap_count; i += 4) {
            s0 += gains[i] * ring[(b + delays[i]) & k_ring_mask];
            s1 += gains[i + 1] * ring[(b + delays[i + 1]) & k_ring_mask];
            s2 += gains[i + 2] * ring[(b + delays[i + 2]) & k_ring_mask];
            s3 += gains[i + 3] * ring[(b + delays[i + 3]) & k_ring_mask];
        }
        float s = (s0 + s1) + (s2 + s3);
        for (int i = 0; i < k_voice_players; i++) {
            if (!samples.data[i]) continue;
            // Between firings a player may run past its cycle's end: it holds the last sample.
            s += samples.gain[i] *
                 samples.data[i][std::min(samples.position[i] >> 10, samples.last[i])];
            samples.position[i] += samples.step[i];
        }
        const float kept = std::clamp(s, -k_ring_limit, k_ring_limit);
        ring[b] = kept;
        out[k] = to_byte(kept);
        phase += increment;
        if (phase > k_phase_one - 1) {
            phase -= k_phase_one;
            const uint32_t c = v.firing_count;
            float r = (v.previous_rpm + (rpm - v.previous_rpm) * k / n + v.bias[c % v.bias_count]) *
                      v.scale[c % v.scale_count];
            r = std::max(r, v.min_rpm);
            v.firing_count = c + 1;
            fire(v, r, load);
            look_up_samples(v, &samples);
            increment = phase_increment(v.firing_frequency);
        }
        b = (b + 1) & k_ring_mask;
    }
    keep_positions(samples, v);
    v.phase = phase;
    v.write_cursor = b;
    v.previous_rpm = rpm;
    return n;
}

voice_spatial voice_spatial_of(const vec3d& position, const vec3d& velocity,
                               const sound_listener& listener, float volume) {
    const double dx = listener.position.x - position.x, dy = listener.position.y - position.y,
                 dz = listener.position.z - position.z;
    const double d2 = dx * dx + dy * dy + dz * dz;
    double ratio = 1, pan = 0, distance = std::sqrt(d2);
    if (d2 >= 1.0 / 1024) {
        const double ux = dx / distance, uy = dy / distance, uz = dz / distance;
        const double listener_term =
            1 - (listener.velocity.x * ux + listener.velocity.y * uy + listener.velocity.z * uz) /
                    k_speed_of_sound;
        const double source_term =
            1 - (velocity.x * ux + velocity.y * uy + velocity.z * uz) / k_speed_of_sound;
        ratio = listener_term <= 8 * source_term ? listener_term / source_term : 0.125;
        pan = -(ux * listener.right.x + uy * listener.right.y + uz * listener.right.z) * 32767;
    }
    const double attenuation = std::max(1.0, (distance - 1) / 48 + 1);
    double level = volume * 32767.0 / attenuation;
    // A broken position or velocity leaves the sound as it is recorded, not a crash.
    if (std::isnan(ratio)) ratio = 1;
    if (std::isnan(level)) level = 0;
    if (std::isnan(pan)) pan = 0;
    voice_spatial out;
    out.rate = round_to_int(std::clamp(k_voice_rate * ratio, 100.0, 1000000.0));
    out.volume = round_to_int(std::clamp(level, 0.0, 32767.0));
    out.pan = round_to_int(std::clamp(pan, -32767.0, 32767.0));
    return out;
}
