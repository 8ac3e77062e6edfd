// The "timing_gates" file: start-gate slots, checkpoints and the two lap lists.
#include "track/track_gates.h"

#include "common/common.h"
#include "common/file_problems.h"
#include "files/files.h"
#include "platform/log.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
struct gates_state {
    timing_gate gates[k_max_gates];
    int gate_count = 0;
    int lap[k_max_lap_entries];
    int first_length = 0;
    int normal_length = 0;
    start_slot slots[k_max_start_slots];
    int slot_count = 0;
};
gates_state g_gates;

const char* const k_default_model = "@startgate.jm";
const char* const k_default_texture = "@startgate.ppm";
const char* const k_default_shape = "@startgate.shp";

// A cursor over the file's text, read with scanf patterns the way a stream would be.
struct text_cursor {
    const char* begin;
    const char* at;
    const char* end;

    bool done() const { return at >= end; }
    // The line of the first word from p on, counted only for a listener of file problems.
    int line_from(const char* p) const {
        if (!file_problems_heard()) return 0;
        while (p < end && isspace(static_cast<unsigned char>(*p))) p++;
        return text_line_at(begin, p);
    }
    // The rest of the current line, leaving the cursor at the start of the next.
    std::string line() {
        const char* start = at;
        while (at < end && *at != '\n') at++;
        std::string out(start, at);
        if (at < end) at++;
        return out;
    }
    // The next whitespace-separated word, or "" at the end.
    std::string word() {
        while (at < end && isspace(static_cast<unsigned char>(*at))) at++;
        const char* start = at;
        while (at < end && !isspace(static_cast<unsigned char>(*at))) at++;
        return std::string(start, at);
    }
};

float normalise_heading(float a) {
    if (a >= -k_pi && a <= k_pi) return a;
    double turns = (a + k_pi) / (2 * k_pi);
    return static_cast<float>((turns - std::floor(turns)) * 2 * k_pi - k_pi);
}

std::string piece_name(const char* read, int have, const char* fallback) {
    if (!have) return fallback;
    return strcmp(read, "null") == 0 ? "" : read;
}

// Slot lines up to the first line that is not one; returns that line's first word.
std::string read_slots(text_cursor& c) {
    while (!c.done()) {
        const int line_number = c.line_from(c.at);
        std::string line = c.line();
        float x, y, z, a;
        char model[1024], texture[1024], shape[1024];
        int n = sscanf(line.c_str(), " [ %f %f %f ] %f %1023s %1023s %1023s", &x, &y, &z, &a, model,
                       texture, shape);
        if (n < 4) {
            text_cursor first{line.c_str(), line.c_str(), line.c_str() + line.size()};
            std::string word = first.word();
            if (word.empty()) continue; // blank lines between slots
            return word;
        }
        if (g_gates.slot_count == k_max_start_slots) {
            file_problem_report("timing_gates", line_number, "more than %d start slots",
                                k_max_start_slots);
            continue;
        }
        file_entry_line("start slots", line_number);
        start_slot& s = g_gates.slots[g_gates.slot_count++];
        s.point[0] = x;
        s.point[1] = y;
        s.point[2] = z;
        s.heading = normalise_heading(a);
        s.piece_x = x - 3 * std::sin(s.heading);
        s.piece_z = z - 3 * std::cos(s.heading);
        s.model = piece_name(model, n >= 5, k_default_model);
        s.texture = piece_name(texture, n >= 6, k_default_texture);
        s.shape = piece_name(shape, n >= 7, k_default_shape);
    }
    return "";
}

void read_checkpoints(text_cursor& c) {
    while (g_gates.gate_count < k_max_gates && !c.done()) {
        timing_gate g{};
        int used = 0;
        std::string rest(c.at, c.end - c.at > 4096 ? c.at + 4096 : c.end);
        int n = sscanf(rest.c_str(), "%f [ %f %f %f ] [ %f %f %f ] %n", &g.radius, &g.centre[0],
                       &g.centre[1], &g.centre[2], &g.direction[0], &g.direction[1],
                       &g.direction[2], &used);
        if (n < 7 || used == 0) return;
        file_entry_line("gates", c.line_from(c.at));
        g_gates.gates[g_gates.gate_count++] = g;
        c.at += used;
    }
}

// Integers up to the first thing that is not one; returns how many were stored.
int read_lap_list(text_cursor& c, int* out, int room) {
    int stored = 0, read = 0;
    while (!c.done() && read < k_max_lap_entries) {
        int e = 0, used = 0;
        std::string rest(c.at, c.end - c.at > 64 ? c.at + 64 : c.end);
        if (sscanf(rest.c_str(), "%d%n", &e, &used) != 1) break;
        const int line = c.line_from(c.at);
        c.at += used;
        read++;
        if (stored >= room) continue;
        int gates = g_gates.gate_count;
        if (e < 0 || e % k_gate_no_learn >= gates)
            file_problem_report("timing_gates", line,
                                "the lap names gate %d, but gates are 0 to %d",
                                e < 0 ? e : e % k_gate_no_learn, gates - 1);
        int value;
        if (e < 0)
            value = 0;
        else
            value = (e >= k_gate_no_learn ? k_gate_no_learn : 0) +
                    std::min(e % k_gate_no_learn, std::max(gates - 1, 0));
        out[stored++] = value;
    }
    return stored;
}

int learned(const int* list, int n) {
    int count = 0;
    for (int i = 0; i < n; i++) count += list[i] < k_gate_no_learn;
    return count;
}

// Without enough gates on both laps there is no timing at all.
void apply_validity_rule() {
    bool valid = g_gates.gate_count > 0 && g_gates.first_length > 2 && g_gates.normal_length > 2 &&
                 first_lap_learned_count() > 2 && normal_lap_learned_count() > 2;
    if (!valid) {
        if (g_gates.gate_count > 0 || g_gates.first_length + g_gates.normal_length > 0)
            file_problem_report("timing_gates", 0,
                                "no timing: it needs gates and more than 2 learned gates on each "
                                "lap (first lap %d, normal lap %d)",
                                first_lap_learned_count(), normal_lap_learned_count());
        g_gates.gate_count = 0;
    }
}
} // namespace

void timing_gates_clear() {
    g_gates.gate_count = 0;
    g_gates.first_length = 0;
    g_gates.normal_length = 0;
    g_gates.slot_count = 0;
}

void timing_gates_parse(const std::string& text) {
    timing_gates_clear();
    text_cursor c{text.data(), text.data(), text.data() + text.size()};
    std::string word = c.word();
    if (word == "startinggate:") {
        c.line(); // the rest of the header line
        word = read_slots(c);
    }
    if (word == "checkpoints:") read_checkpoints(c);
    word = c.word();
    if (word == "firstlap:") {
        g_gates.first_length = read_lap_list(c, g_gates.lap, k_max_lap_entries);
        word = c.word();
        if (word == "normallap:")
            g_gates.normal_length = read_lap_list(c, g_gates.lap + g_gates.first_length,
                                                  k_max_lap_entries - g_gates.first_length);
    }
    apply_validity_rule();
    if (g_gates.gate_count > 0 && debug_level() > 0)
        log("Found %d timing gates, first lap has %d gates, normal lap has %d\n",
            g_gates.gate_count, g_gates.first_length, g_gates.normal_length);
}

bool timing_gates_load(const char* name) {
    std::string text;
    if (!file_to_string(name, &text)) {
        timing_gates_clear();
        return false;
    }
    timing_gates_parse(text);
    return true;
}

std::string timing_gates_format() {
    std::string out;
    char buffer[512];
    if (g_gates.slot_count > 0) out += "startinggate:\n";
    for (int i = 0; i < g_gates.slot_count; i++) {
        const start_slot& s = g_gates.slots[i];
        snprintf(buffer, sizeof buffer, "[%f %f %f] %f", s.point[0], s.point[1], s.point[2],
                 s.heading);
        out += buffer;
        if (s.model == k_default_model && s.texture == k_default_texture &&
            s.shape == k_default_shape) {
            out += "\n";
        } else {
            auto named = [](const std::string& n) { return n.empty() ? std::string("null") : n; };
            out += " " + named(s.model) + " " + named(s.texture) + " " + named(s.shape) + "\n";
        }
    }
    if (g_gates.gate_count > 0) out += "checkpoints:\n";
    for (int i = 0; i < g_gates.gate_count; i++) {
        const timing_gate& g = g_gates.gates[i];
        snprintf(buffer, sizeof buffer, "%f [%f %f %f] [%f %f %f]\n", g.radius, g.centre[0],
                 g.centre[1], g.centre[2], g.direction[0], g.direction[1], g.direction[2]);
        out += buffer;
    }
    auto list = [&](const char* header, const int* entries, int n) {
        if (n == 0) return;
        out += header;
        for (int i = 0; i < n; i++) out += std::to_string(entries[i]) + " ";
        out += "\n";
    };
    list("firstlap:\n", g_gates.lap, g_gates.first_length);
    list("normallap:\n", g_gates.lap + g_gates.first_length, g_gates.normal_length);
    return out;
}

int gate_count() { return g_gates.gate_count; }
const timing_gate& gate_at(int gate) { return g_gates.gates[gate]; }
void gate_set(int gate, const timing_gate& g) { g_gates.gates[gate] = g; }
void gate_set_rider_down(int gate, bool down) { g_gates.gates[gate].rider_down = down ? 1 : 0; }

bool gate_contains(const timing_gate& g, float x, float z) {
    float dx = x - g.centre[0], dz = z - g.centre[2];
    return dx * dx + dz * dz <= g.radius * g.radius &&
           dx * g.direction[0] + dz * g.direction[2] >= 0;
}

int first_lap_length() { return g_gates.first_length; }
int normal_lap_length() { return g_gates.normal_length; }
int lap_entry(int i) { return g_gates.lap[i]; }
void lap_entry_set(int i, int entry) {
    if (i >= 0 && i < g_gates.first_length + g_gates.normal_length) g_gates.lap[i] = entry;
}
int first_lap_learned_count() { return learned(g_gates.lap, g_gates.first_length); }
int normal_lap_learned_count() {
    return learned(g_gates.lap + g_gates.first_length, g_gates.normal_length);
}

int gate_at_position(int position) {
    int first = g_gates.first_length, normal = g_gates.normal_length;
    if (position < 0 || first + normal == 0) return -1;
    if (position >= first) {
        if (normal == 0) return -1;
        position = first + (position - first) % normal;
    }
    return lap_entry_gate(g_gates.lap[position]);
}

int start_slot_count() { return g_gates.slot_count; }
const start_slot& start_slot_at(int slot) { return g_gates.slots[slot]; }

bool start_slot_add(const start_slot& slot) {
    if (g_gates.slot_count == k_max_start_slots) return false;
    g_gates.slots[g_gates.slot_count++] = slot;
    return true;
}
