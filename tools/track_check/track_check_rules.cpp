// The checker's rules over a loaded track: gates that can be ridden in order, start slots and
// objects standing on the ground.
#include "track_check_local.h"

#include "terrain/terrain.h"
#include "track/track_gates.h"
#include "track/track_objects.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {
// An object whose lowest point is this far above the ground under it floats.
constexpr float k_float_height = 6.0f; // ft
// Two start slots closer than this put their bikes into each other.
constexpr float k_slot_spacing = 1.0f; // ft

std::string format(const char* f, double a = 0, double b = 0, double c = 0) {
    char text[256];
    snprintf(text, sizeof text, f, a, b, c);
    return text;
}

// The line of entry `index` of a kind, 0 when it was not heard.
int line_of(const file_report& report, const char* kind, int index) {
    const std::vector<int> lines = file_entry_lines_of(report, kind);
    return index >= 0 && index < static_cast<int>(lines.size()) ? lines[index] : 0;
}

float field_extent() { return ground().field.extent; }

bool on_field(float x, float z) {
    const float e = field_extent();
    return x >= 0 && z >= 0 && x <= e && z <= e;
}

// The distance from a point to the field's square, 0 inside it.
float distance_to_field(float x, float z) {
    const float e = field_extent();
    const float dx = std::max({0.0f, -x, x - e}), dz = std::max({0.0f, -z, z - e});
    return std::sqrt(dx * dx + dz * dz);
}

// The gates in riding order around each lap: the first lap, then the normal lap, which starts
// again from its beginning after its end.
struct lap_step {
    int from, to; // gate numbers
};

std::vector<lap_step> lap_steps() {
    std::vector<lap_step> steps;
    const int first = first_lap_length(), normal = normal_lap_length();
    const int total = first + normal;
    for (int i = 0; i + 1 < total; i++)
        steps.push_back({lap_entry_gate(lap_entry(i)), lap_entry_gate(lap_entry(i + 1))});
    if (normal > 1)
        steps.push_back({lap_entry_gate(lap_entry(total - 1)), lap_entry_gate(lap_entry(first))});
    return steps;
}

void check_gate_shapes(const file_report& report, std::vector<file_problem>* out) {
    for (int g = 0; g < gate_count(); g++) {
        const timing_gate& gate = gate_at(g);
        const int line = line_of(report, "gates", g);
        if (!(gate.radius > 0)) {
            out->push_back(
                {"timing_gates", line,
                 format("gate %g has radius %g: it can never be ridden through", g, gate.radius)});
        } else if (distance_to_field(gate.centre[0], gate.centre[2]) >= gate.radius) {
            out->push_back({"timing_gates", line,
                            format("gate %g at (%g, %g) lies off the field: it can't be reached", g,
                                   gate.centre[0], gate.centre[2])});
        }
        if (gate.direction[0] == 0 && gate.direction[2] == 0)
            out->push_back({"timing_gates", line,
                            format("gate %g has no direction: it counts from every side", g)});
    }
}

void check_lap_order(const file_report& report, std::vector<file_problem>* out) {
    std::vector<bool> ridden(static_cast<size_t>(gate_count()), false);
    for (int i = 0; i < first_lap_length() + normal_lap_length(); i++)
        ridden[lap_entry_gate(lap_entry(i))] = true;
    for (int g = 0; g < gate_count(); g++)
        if (!ridden[g])
            out->push_back({"timing_gates", line_of(report, "gates", g),
                            format("gate %g is in neither lap: it is never ridden", g)});
    std::vector<lap_step> reported;
    for (const lap_step& step : lap_steps()) {
        bool again = false;
        for (const lap_step& r : reported) again |= r.from == step.from && r.to == step.to;
        if (again) continue;
        reported.push_back(step);
        const timing_gate& a = gate_at(step.from);
        const timing_gate& b = gate_at(step.to);
        const int line = line_of(report, "gates", step.from);
        if (step.from == step.to) {
            out->push_back(
                {"timing_gates", 0, format("the laps list gate %g twice in a row", step.from)});
            continue;
        }
        // A rider is at a gate on the side its direction points to, so that side should look
        // towards the next gate of the lap.
        const float dx = b.centre[0] - a.centre[0], dz = b.centre[2] - a.centre[2];
        if (dx * a.direction[0] + dz * a.direction[2] < 0)
            out->push_back({"timing_gates", line,
                            format("gate %g faces away from gate %g, the next in the lap",
                                   step.from, step.to)});
    }
}

void check_slots(const file_report& report, std::vector<file_problem>* out) {
    const int first_gate =
        gate_count() > 0 && first_lap_length() > 0 ? lap_entry_gate(lap_entry(0)) : -1;
    for (int s = 0; s < start_slot_count(); s++) {
        const start_slot& slot = start_slot_at(s);
        const int line = line_of(report, "start slots", s);
        const float x = slot.point[0], y = slot.point[1], z = slot.point[2];
        if (!on_field(x, z) || !on_field(slot.piece_x, slot.piece_z))
            out->push_back({"timing_gates", line,
                            format("start slot %g at (%g, %g) is off the field", s, x, z)});
        if (y < 0)
            out->push_back({"timing_gates", line,
                            format("start slot %g: its gate stands %g ft into the ground", s, -y)});
        else if (y > k_float_height)
            out->push_back({"timing_gates", line,
                            format("start slot %g: its gate floats %g ft above the ground", s, y)});
        for (int t = 0; t < s; t++) {
            const start_slot& other = start_slot_at(t);
            if (std::hypot(other.point[0] - x, other.point[2] - z) < k_slot_spacing)
                out->push_back(
                    {"timing_gates", line, format("start slot %g stands on start slot %g", s, t)});
        }
        // Bikes start behind their gate piece, facing it; the lap's first gate must lie ahead.
        if (first_gate >= 0) {
            const timing_gate& gate = gate_at(first_gate);
            const float ahead = (gate.centre[0] - x) * -std::sin(slot.heading) +
                                (gate.centre[2] - z) * -std::cos(slot.heading);
            if (ahead < 0 && !gate_contains(gate, x, z))
                out->push_back({"timing_gates", line,
                                format("start slot %g faces away from gate %g, the first of the "
                                       "lap",
                                       s, first_gate)});
        }
    }
}

// The lowest and highest point of a model above its origin, false without one.
bool model_span(int model, float* low, float* high) {
    const model_mesh* mesh = model ? model_get(model) : nullptr;
    if (!mesh) return false;
    bool any = false;
    for (const model_part& part : mesh->parts)
        for (size_t k = 1; k < part.positions.size(); k += 3) {
            const float y = part.positions[k];
            *low = any ? std::min(*low, y) : y;
            *high = any ? std::max(*high, y) : y;
            any = true;
        }
    return any;
}

// An object standing at (x, z) with its lowest and highest point above the ground under it.
void check_standing(const char* file, int line, const std::string& what, float x, float z,
                    float low, float high, std::vector<file_problem>* out) {
    if (!on_field(x, z)) {
        out->push_back({file, line, what + format(" at (%g, %g) is off the field", x, z)});
        return;
    }
    if (high <= 0)
        out->push_back(
            {file, line, what + format(" is sunk into the ground, its top %g ft under it", -high)});
    else if (low > k_float_height)
        out->push_back({file, line, what + format(" floats %g ft above the ground", low)});
}
} // namespace

void check_gates(const file_report& report, std::vector<file_problem>* out) {
    check_gate_shapes(report, out);
    if (gate_count() > 0) check_lap_order(report, out);
    check_slots(report, out);
}

void check_objects(const file_report& report, std::vector<file_problem>* out) {
    const billboard* cards = billboards();
    for (int i = billboard_first_file(); i < billboard_count(); i++) {
        const billboard& c = cards[i];
        const int entry = i - billboard_first_file();
        const std::string what = "billboard " + std::to_string(entry);
        check_standing("billboards", line_of(report, "billboards", entry), what, c.x, c.z, c.offset,
                       c.offset + c.size, out);
    }
    for (int i = statue_first_file(); i < statue_count(); i++) {
        const statue& s = statues()[i];
        const int entry = i - statue_first_file();
        const std::string what = "statue " + std::to_string(entry);
        float low = 0, high = 0;
        if (!model_span(s.model, &low, &high)) low = high = 0;
        // A statue without a model is only checked for where it stands.
        if (!s.model) high = 1;
        check_standing("statues", line_of(report, "statues", entry), what, s.x, s.z, s.offset + low,
                       s.offset + high, out);
    }
    for (int i = 0; i < decal_count(); i++) {
        const ground_decal& d = decal_at(i);
        if (!on_field(d.x, d.z))
            out->push_back({"decals", line_of(report, "decals", i),
                            format("decal %g at (%g, %g) is off the field", i, d.x, d.z)});
    }
}
