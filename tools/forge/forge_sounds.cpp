// The engine sounds of the data set: for each engine class and for each bike model, firings
// synthesised at several engine speeds and three loads, the sound table over them and the
// ".braap" file. A model's voice is its class's, shaped by the model's own catalogue record.
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
    float rated_rpm;       // the rev limit the class's pipe is cut for
    float wobble;          // firing to firing speed change: rpm factor (four-stroke), rpm added
    float pop;             // a four-stroke's off-throttle pop, as a firing's strength
    float rasp;            // how hard open throttle saturates
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
     "bias 0 40 -30 20 -40 10\n",
     12750,
     40,
     0,
     1.6f},
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
     "bias 0 60 -40 30 -50 0 20\n",
     12750,
     50,
     0,
     1.6f},
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
     "bias 0 50 -50 30 -30 60\n",
     10500,
     50,
     0,
     1.6f},
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
     "scale 1 1.012 0.994 1.006 0.988 1.003\n",
     13000,
     0.01f,
     0.8f,
     1.6f},
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
     "scale 1 1.018 0.99 1.01 0.982 1.004\n",
     12000,
     0.015f,
     0.8f,
     1.6f},
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

// The loads a table is recorded at: closed, half and full throttle. Half throttle has cells of
// its own so that the closed throttle's pops do not carry into it.
constexpr float k_loads[] = {0, 0.5f, 1};
constexpr int k_load_count = sizeof k_loads / sizeof k_loads[0];

// k_cycles firings at `rpm` and `load` (0 closed throttle ... 1 open), each cycle overlapping the
// tails of the ones before it so that the recording wraps without a click.
std::vector<float> cycles(const class_sound& c, float rpm, float load, uint32_t seed) {
    const float firings_per_rev = c.four_stroke ? 0.5f : 1.0f;
    const int period = static_cast<int>(std::lround(k_rate * 60.0 / (rpm * firings_per_rev)));
    std::vector<float> out(static_cast<size_t>(period) * k_cycles, 0.0f);
    noise n{seed};
    float strength[k_cycles];
    for (float& s : strength) s = 0.3f + 0.6f * load + 0.1f * n.next();
    // Off throttle a four-stroke pops now and then; a two-stroke burbles unevenly.
    if (load == 0 && c.four_stroke) strength[2] = c.pop;
    const float hiss = c.hiss_amount * (0.6f + 0.4f * load);
    // Opening the throttle makes it louder and it rasps: a soft saturation.
    const float drive = c.rasp * load;
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
            if (drive > 0) s = std::tanh(drive * s) / std::tanh(drive);
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

// The samples of every row and load and the sound table over them, as "sounds/<name>.table";
// `seed` keeps one voice's firings apart from another's.
bool write_table(const std::string& out, const class_sound& c, const std::string& name,
                 uint32_t seed) {
    std::string table =
        "SOUNDTABLE " + std::to_string(k_max_rows) + " " + std::to_string(k_load_count) + "\n";
    char line[160];
    for (float r : c.rows) {
        snprintf(line, sizeof line, "%.0f\n", r);
        table += line;
    }
    for (float load : k_loads) {
        snprintf(line, sizeof line, "%g\n", load);
        table += line;
    }
    // Every cell is scaled alike, so the open-throttle peak sits at 0.6: the pipe's resonance
    // needs the headroom.
    std::vector<std::vector<float>> cells;
    float peak = 0;
    for (int r = 0; r < k_max_rows; r++) {
        for (int l = 0; l < k_load_count; l++) {
            const uint32_t cell_seed = 0x9e3779b9u * (r * k_load_count + l + 1) ^ seed;
            cells.push_back(cycles(c, c.rows[r], k_loads[l], cell_seed));
            for (float v : cells.back()) peak = std::max(peak, std::fabs(v));
        }
    }
    const float gain = peak > 0 ? 0.6f / peak : 1.0f;
    for (int r = 0; r < k_max_rows; r++) {
        for (int l = 0; l < k_load_count; l++) {
            snprintf(line, sizeof line, "sounds/%s_%.0f_%.0f.raw", name.c_str(), c.rows[r],
                     k_loads[l] * 100);
            const std::vector<float>& cell = cells[static_cast<size_t>(r * k_load_count + l)];
            if (!forge_write_file(out + line, raw_bytes(cell, gain))) return false;
            // Four recorded firings, played in turn; off throttle in a shuffled order.
            table += k_loads[l] > 0 ? "-1\n" : "2 0 3 1 -1\n";
            table += std::to_string(k_cycles) + " @" + line + "\n";
        }
    }
    return forge_write_file(out + "sounds/" + name + ".table", table);
}

constexpr int k_pipe_last_tap = 15;

std::string pipe_line(const float pipe[3], int last_tap) {
    char line[96];
    snprintf(line, sizeof line, "pipe %.3f %.3f %.3f 0 %d\n", pipe[0], pipe[1], pipe[2], last_tap);
    return line;
}

// The torque an engine gives at closed and at full throttle (lbf·ft), averaged over the revs
// it is ridden at, 2000 rpm to its rated speed: the load range of its voice. Of all ranges
// these make the heard load closest to the throttle, in the least-squares sense.
struct torque_range {
    float low = 0;
    float high = 0;
};

torque_range torque_range_of(const bike_info& b) {
    constexpr int k_ridden_from = 2000 / 500; // the curves' sample at 2000 rpm
    torque_range r;
    int n = 0;
    for (int i = k_ridden_from; i < k_torque_samples && i * 500 <= b.max_rpm; i++, n++) {
        r.low += b.closed_throttle_torque[i];
        r.high += b.open_throttle_torque[i];
    }
    if (n > 0) r.low /= n, r.high /= n;
    return r;
}

float peak_torque(const bike_info& b) {
    float peak = 0;
    for (float t : b.open_throttle_torque) peak = std::max(peak, t);
    return peak;
}

// What a class's models have on average: their load range, their peak torque, and the peak
// torque per crank inertia (rad/s²) that kicks the crank from one firing to the next.
struct class_average {
    torque_range load;
    float peak = 0;
    float kick = 0;
};

class_average class_average_of(const char* engine_class) {
    class_average a;
    int n = 0;
    for (int i = 0; i < k_bike_count; i++) {
        const bike_info& b = bike_info_at(i);
        if (strcmp(b.bike_class, engine_class) != 0) continue;
        const torque_range r = torque_range_of(b);
        a.load.low += r.low;
        a.load.high += r.high;
        a.peak += peak_torque(b);
        a.kick += peak_torque(b) / b.engine_inertia;
        n++;
    }
    if (n > 0) a.load.low /= n, a.load.high /= n, a.peak /= n, a.kick /= n;
    return a;
}

std::string load_lines(const torque_range& r) {
    char lines[96];
    snprintf(lines, sizeof lines, "lowtorque %.2f\nhightorque %.2f\n", r.low, r.high);
    return lines;
}

bool write_class(const std::string& out, const class_sound& c) {
    if (!write_table(out, c, c.table, 0)) return false;
    std::string braap = std::string("# The ") + c.engine_class + " class's engine\n" +
                        pipe_line(c.pipe, k_pipe_last_tap) +
                        load_lines(class_average_of(c.engine_class).load) + c.variation +
                        "soundtable @sounds/" + c.table + ".table\n";
    return forge_write_file(out + "default" + c.engine_class + ".braap", braap);
}

const class_sound* class_of(const char* engine_class) {
    for (const class_sound& c : k_classes)
        if (strcmp(c.engine_class, engine_class) == 0) return &c;
    return nullptr;
}

uint32_t name_hash(const std::string& name, uint32_t purpose) {
    uint32_t h = 2166136261u ^ (purpose * 0x9e3779b9u);
    for (unsigned char ch : name) h = (h ^ ch) * 16777619u;
    return h | 1;
}

// A value in -1 ... 1 that a name and a purpose always give, on every build.
float hashed(const std::string& name, uint32_t purpose) {
    noise n{name_hash(name, purpose)};
    n.next();
    return n.next();
}

// A model's own voice: its class's sound reshaped by the model's catalogue record, the pipe's
// taps, its idle, its firing-to-firing wobble and its torque as the load range.
struct model_voice {
    class_sound sound;
    int last_tap = k_pipe_last_tap;
    float min_rpm = 1000;
    std::string variation; // the "bias" or "scale" line
    torque_range load;
};

// A maker's engine keeps its character over the years (the share of the name without its
// year); each year's is retuned a little (the share of the whole name).
model_voice model_voice_of(const bike_info& b, const class_sound& c) {
    const std::string name = b.name, maker = name.substr(0, name.find('('));
    auto vary = [&](uint32_t purpose, float maker_share, float year_share) {
        return 1 + maker_share * hashed(maker, purpose) + year_share * hashed(name, purpose);
    };
    const class_average average = class_average_of(b.bike_class);
    model_voice v;
    class_sound& m = v.sound;
    m = c;
    // A higher-revving engine wants a shorter pipe, and a shorter pipe rings higher.
    m.pipe[0] = c.pipe[0] * c.rated_rpm / b.max_rpm * vary(1, 0.08f, 0.03f);
    m.pipe[1] = c.pipe[1] * vary(2, 0.25f, 0.08f);
    m.pipe[2] = c.pipe[2] * vary(3, 0.1f, 0.04f);
    m.ring_hz = c.ring_hz * c.pipe[0] / m.pipe[0] * vary(4, 0.1f, 0.04f);
    m.ring_decay = c.ring_decay * vary(5, 0.2f, 0.06f);
    m.ring_amount = c.ring_amount * vary(6, 0.3f, 0.1f);
    // More torque than the class's average: a bigger bang, lower.
    m.thump_hz = c.thump_hz / std::cbrt(peak_torque(b) / average.peak) * vary(7, 0.12f, 0.04f);
    m.thump_decay = c.thump_decay * vary(8, 0.2f, 0.06f);
    m.hiss_amount = c.hiss_amount * vary(9, 0.3f, 0.1f);
    m.valve_tick = c.valve_tick * vary(10, 0.4f, 0.1f);
    m.pop = c.pop * vary(11, 0.15f, 0.05f);
    m.rasp = c.rasp * vary(12, 0.2f, 0.06f);
    v.last_tap = k_pipe_last_tap - static_cast<int>(std::lround(1.5f * (1 + hashed(maker, 13))));
    // A lighter crank idles faster: 1000 rpm for the 250s' crank.
    constexpr float k_reference_inertia = 0.0048828f;
    v.min_rpm = 1000 * std::cbrt(k_reference_inertia / b.engine_inertia) * vary(14, 0.04f, 0.02f);
    // Each firing kicks the crank by the torque over its inertia: more kick, more wobble. The
    // wobble averages out, so the pitch still follows the revs.
    const float amount = c.wobble * std::sqrt(peak_torque(b) / b.engine_inertia / average.kick) *
                         vary(15, 0.3f, 0.1f);
    const int count = 5 + static_cast<int>(std::lround(1.5f * (1 + hashed(name, 16))));
    std::vector<float> wobble(static_cast<size_t>(count));
    float mean = 0;
    for (int i = 0; i < count; i++) {
        wobble[i] = amount * hashed(name, 100 + i);
        mean += wobble[i] / count;
    }
    v.variation = c.four_stroke ? "scale" : "bias";
    for (float w : wobble) {
        char entry[32];
        if (c.four_stroke)
            snprintf(entry, sizeof entry, " %.4f", 1 + w - mean);
        else
            snprintf(entry, sizeof entry, " %ld", std::lround(w - mean));
        v.variation += entry;
    }
    v.load = torque_range_of(b);
    return v;
}

// A model's table and samples take its file name part; its ".braap" the name of its bike
// texture, so that the texture's variants find it too.
bool write_model(const std::string& out, const bike_info& b, const class_sound& c) {
    const model_voice v = model_voice_of(b, c);
    const std::string base = bike_file_base(b);
    if (!write_table(out, v.sound, base, name_hash(b.name, 0))) return false;
    std::string texture = b.bike_texture[0] == '@' ? b.bike_texture + 1 : b.bike_texture;
    texture = texture.substr(0, texture.rfind('.'));
    char idle[48];
    snprintf(idle, sizeof idle, "minrpm %.0f\n", v.min_rpm);
    const std::string braap = std::string("# ") + b.name + "'s own voice\n" +
                              pipe_line(v.sound.pipe, v.last_tap) + idle + load_lines(v.load) +
                              v.variation + "\nsoundtable @sounds/" + base + ".table\n";
    return forge_write_file(out + texture + ".braap", braap);
}
} // namespace

bool forge_engine_sounds(const std::string& out) {
    forge_make_folders(out + "sounds/");
    for (const class_sound& c : k_classes)
        if (!write_class(out, c)) return false;
    for (int i = 0; i < k_bike_count; i++) {
        const bike_info& b = bike_info_at(i);
        const class_sound* c = class_of(b.bike_class);
        if (!c || !write_model(out, b, *c)) return false;
    }
    return true;
}
