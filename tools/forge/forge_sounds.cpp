// The engine sounds of the data set: for each engine class, single-cycle samples synthesised at
// several engine speeds and two loads, the sound table over them and the class's ".braap" file;
// and the ".braap" files of the bike models that have a voice of their own.
#include "common/common.h"
#include "forge.h"

#include "bike/data/bike_info.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
constexpr int k_rate = 44100; // the rate voices are synthesised at
constexpr int k_cycles = 4;   // firings recorded in each sample, slightly different
constexpr int k_max_rows = 5;

// How one engine class sounds: the firing pulse's parts and the exhaust pipe.
struct class_sound {
    const char* engine_class;
    const char* table; // base name of its table and samples
    bool four_stroke;
    float rows[k_max_rows]; // rpm keys
    float thump_hz;         // the pulse's low body
    float thump_decay;      // s
    float ring_hz;          // the pipe's ring after each firing
    float ring_decay;       // s
    float ring_amount;
    float hiss_amount;     // exhaust noise
    float valve_tick;      // a four-stroke's small mid-cycle tick
    float pipe[3];         // length (ft), spread (ft), gain
    const char* variation; // bias and scale lines
};

constexpr class_sound k_classes[] = {
    {"50",
     "two_stroke_50",
     false,
     {3000, 6000, 9000, 12000, 15000},
     320,
     0.004f,
     2600,
     0.0035f,
     0.55f,
     0.25f,
     0,
     {0.9f, 0.2f, -0.5f},
     "bias 0 40 -30 20 -40 10\n"},
    {"125",
     "two_stroke_125",
     false,
     {2000, 5000, 8000, 11000, 14000},
     240,
     0.006f,
     1700,
     0.006f,
     0.75f,
     0.18f,
     0,
     {1.5f, 0.3f, -0.6f},
     "bias 0 60 -40 30 -50 0 20\n"},
    {"250",
     "two_stroke_250",
     false,
     {1500, 4000, 6500, 9000, 11500},
     170,
     0.009f,
     1050,
     0.008f,
     0.6f,
     0.15f,
     0,
     {2.2f, 0.45f, -0.6f},
     "bias 0 50 -50 30 -30 60\n"},
    {"250f",
     "four_stroke_250",
     true,
     {2000, 5000, 8000, 11000, 14000},
     125,
     0.014f,
     620,
     0.005f,
     0.25f,
     0.12f,
     0.12f,
     {4.0f, 0.8f, -0.55f},
     "scale 1 1.012 0.994 1.006 0.988 1.003\n"},
    {"450f",
     "four_stroke_450",
     true,
     {1500, 4000, 6500, 9000, 12000},
     85,
     0.02f,
     420,
     0.006f,
     0.2f,
     0.1f,
     0.1f,
     {5.0f, 0.9f, -0.6f},
     "scale 1 1.018 0.99 1.01 0.982 1.004\n"},
};

// Bike models with a voice of their own: a class table with their own pipe.
struct model_sound {
    const char* bike;
    const char* table;
    float pipe[3];
};

constexpr model_sound k_models[] = {
    {"cr125", "two_stroke_125", {1.4f, 0.25f, -0.62f}},
    {"kx125", "two_stroke_125", {1.6f, 0.35f, -0.58f}},
    {"rm125", "two_stroke_125", {1.55f, 0.2f, -0.64f}},
    {"yz125", "two_stroke_125", {1.45f, 0.3f, -0.6f}},
    {"125sx", "two_stroke_125", {1.35f, 0.28f, -0.56f}},
    {"cr250(2007)", "two_stroke_250", {2.1f, 0.4f, -0.62f}},
    {"kx250(2006)", "two_stroke_250", {2.3f, 0.5f, -0.58f}},
    {"rm250(2008)", "two_stroke_250", {2.25f, 0.35f, -0.64f}},
    {"yz250(2012)", "two_stroke_250", {2.15f, 0.45f, -0.6f}},
    {"250sx(2012)", "two_stroke_250", {2.0f, 0.42f, -0.56f}},
    {"350sxf(2011)", "four_stroke_450", {4.4f, 0.85f, -0.58f}},
    {"350sxf(2013)", "four_stroke_250", {4.4f, 0.9f, -0.56f}},
    {"350sxf(2017)", "four_stroke_250", {4.3f, 0.85f, -0.58f}},
};

// A small deterministic generator, so the data set is the same on every build.
struct noise {
    uint32_t state;
    float next() { // -1 ... 1
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(state) / 2147483648.0f - 1.0f;
    }
};

// One firing's pressure pulse t seconds after it, with its strength and its hiss.
float pulse(const class_sound& c, double t, float strength, float hiss) {
    if (t < 0) return 0;
    double thump = std::exp(-t / c.thump_decay) * std::sin(2 * k_pi * c.thump_hz * t);
    double ring =
        c.ring_amount * std::exp(-t / c.ring_decay) * std::sin(2 * k_pi * c.ring_hz * t + 0.6);
    double attack = std::min(1.0, t / 0.0004); // no click at the very start
    return static_cast<float>(attack * strength * (thump + ring) +
                              hiss * std::exp(-t / 0.003) * attack);
}

// k_cycles firings at `rpm` and `load` (0 closed throttle, 1 open), each cycle overlapping the
// tails of the ones before it so that the recording wraps without a click.
std::vector<float> cycles(const class_sound& c, float rpm, int load, uint32_t seed) {
    const float firings_per_rev = c.four_stroke ? 0.5f : 1.0f;
    const int period = static_cast<int>(std::lround(k_rate * 60.0 / (rpm * firings_per_rev)));
    std::vector<float> out(static_cast<size_t>(period) * k_cycles, 0.0f);
    noise n{seed};
    float strength[k_cycles];
    for (float& s : strength) {
        s = load ? 0.9f + 0.1f * n.next() : 0.3f + 0.1f * n.next();
    }
    // Off throttle a four-stroke pops now and then; a two-stroke burbles unevenly.
    if (!load && c.four_stroke) strength[2] = 0.8f;
    const float hiss = c.hiss_amount * (load ? 1.0f : 0.6f);
    for (int j = 0; j < k_cycles; j++) {
        for (int i = 0; i < period; i++) {
            float s = 0;
            // This firing and the tails of the ones before it, wrapping around the recording.
            for (int back = 0; back < k_cycles; back++) {
                int firing = (j - back + k_cycles) % k_cycles;
                double t = (i + back * period) / static_cast<double>(k_rate);
                s += pulse(c, t, strength[firing], hiss * n.next());
                if (c.four_stroke) {
                    double tick = t - 0.5 * period / k_rate;
                    if (tick >= 0)
                        s += c.valve_tick * static_cast<float>(std::exp(-tick / 0.0015) *
                                                               std::sin(2 * k_pi * 3100 * tick));
                }
            }
            // Open throttle is louder and rasps: a soft saturation.
            if (load) s = std::tanh(1.6f * s) / std::tanh(1.6f);
            out[static_cast<size_t>(j) * period + i] = s;
        }
    }
    return out;
}

std::string raw_bytes(const std::vector<float>& values, float gain) {
    std::string bytes(values.size() * 2, '\0');
    for (size_t i = 0; i < values.size(); i++) {
        long v = std::lround(std::clamp(values[i] * gain, -1.0f, 1.0f) * 32767);
        bytes[2 * i] = static_cast<char>(v & 0xff);
        bytes[2 * i + 1] = static_cast<char>((v >> 8) & 0xff);
    }
    return bytes;
}

std::string pipe_line(const float pipe[3]) {
    char line[96];
    snprintf(line, sizeof line, "pipe %.3f %.3f %.3f 0 15\n", pipe[0], pipe[1], pipe[2]);
    return line;
}

bool write_class(const std::string& out, const class_sound& c) {
    std::string table = "SOUNDTABLE 5 2\n";
    char line[128];
    for (float r : c.rows) {
        snprintf(line, sizeof line, "%.0f\n", r);
        table += line;
    }
    table += "0\n1\n";
    // Every cell is scaled alike, so the open-throttle peak sits at 0.6: the pipe's resonance
    // needs the headroom.
    std::vector<std::vector<float>> cells;
    float peak = 0;
    for (int r = 0; r < k_max_rows; r++) {
        for (int load = 0; load < 2; load++) {
            cells.push_back(cycles(c, c.rows[r], load, 0x9e3779b9u * (r * 2 + load + 1)));
            for (float v : cells.back()) peak = std::max(peak, std::fabs(v));
        }
    }
    const float gain = peak > 0 ? 0.6f / peak : 1.0f;
    for (int r = 0; r < k_max_rows; r++) {
        for (int load = 0; load < 2; load++) {
            snprintf(line, sizeof line, "sounds/%s_%.0f_%d.raw", c.table, c.rows[r], load);
            if (!forge_write_file(out + line, raw_bytes(cells[r * 2 + load], gain))) return false;
            // Four recorded firings, played in turn; off throttle in a shuffled order.
            table += load ? "-1\n" : "2 0 3 1 -1\n";
            char cell[160];
            snprintf(cell, sizeof cell, "%d @%s\n", k_cycles, line);
            table += cell;
        }
    }
    if (!forge_write_file(out + "sounds/" + c.table + ".table", table)) return false;
    std::string braap = std::string("# The ") + c.engine_class + " class's engine\n" +
                        pipe_line(c.pipe) + c.variation + "soundtable @sounds/" + c.table +
                        ".table\n";
    return forge_write_file(out + "default" + c.engine_class + ".braap", braap);
}

const class_sound* class_of_table(const char* table) {
    for (const class_sound& c : k_classes)
        if (strcmp(c.table, table) == 0) return &c;
    return nullptr;
}

// A model's ".braap" takes the name of its bike texture.
std::string braap_name_of(const bike_info& b) {
    std::string name = b.bike_texture[0] == '@' ? b.bike_texture + 1 : b.bike_texture;
    size_t dot = name.rfind('.');
    return name.substr(0, dot) + ".braap";
}
} // namespace

bool forge_engine_sounds(const std::string& out) {
    forge_make_folders(out + "sounds/");
    for (const class_sound& c : k_classes)
        if (!write_class(out, c)) return false;
    for (const model_sound& m : k_models) {
        const bike_info* b = nullptr;
        for (int i = 0; i < k_bike_count && !b; i++)
            if (strcmp(bike_info_at(i).name, m.bike) == 0) b = &bike_info_at(i);
        const class_sound* c = class_of_table(m.table);
        if (!b || !c) return false;
        std::string braap = std::string("# ") + m.bike + "'s own pipe\n" + pipe_line(m.pipe) +
                            c->variation + "soundtable @sounds/" + m.table + ".table\n";
        if (!forge_write_file(out + braap_name_of(*b), braap)) return false;
    }
    return true;
}
