// The editor's object tools: each mode's press, drag, key and button handed to its tool, the
// shared geometry and random numbers, and the timing gates' tool.
#include "editor/editor_tools.h"

#include "editor/editor_tools_local.h"
#include "track/track_gates.h"
#include "track/track_objects.h"

#include <algorithm>
#include <cmath>

float tools_wrap_angle(float a) {
    const float turns = (a + k_pi_f) / (2 * k_pi_f);
    return (turns - std::floor(turns)) * 2 * k_pi_f - k_pi_f;
}

int tools_random_below(editor_tools_state& tools, int n) {
    // xorshift32: its state must never be 0.
    uint32_t x = tools.random_state ? tools.random_state : 1;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    tools.random_state = x;
    return static_cast<int>((static_cast<uint64_t>(x) * static_cast<uint64_t>(n)) >> 32);
}

float tools_random_angle(editor_tools_state& tools) {
    constexpr int k_steps = 1 << 24;
    return static_cast<float>(tools_random_below(tools, k_steps)) / k_steps * 2 * k_pi_f - k_pi_f;
}

float segment_distance(float x, float z, float x0, float z0, float x1, float z1) {
    const float dx = x1 - x0, dz = z1 - z0;
    const float length2 = dx * dx + dz * dz;
    float t = 0;
    if (length2 > 0) t = std::clamp(((x - x0) * dx + (z - z0) * dz) / length2, 0.0f, 1.0f);
    const float ex = x - (x0 + t * dx), ez = z - (z0 + t * dz);
    return std::sqrt(ex * ex + ez * ez);
}

void mark_add(std::vector<editor_mark>& marks, int kind, float x0, float z0, float x1, float z1,
              uint32_t rgba) {
    editor_mark m;
    m.kind = kind;
    m.x0 = x0;
    m.z0 = z0;
    m.x1 = x1;
    m.z1 = z1;
    m.rgba = rgba;
    marks.push_back(m);
}

// ---------------------------------------------------------------------------------------------
// Timing gates

namespace {
bool gate_valid(int gate) { return gate >= 0 && gate < gate_count(); }

// The end of a gate's direction handle: its radius along its direction on the ground.
void direction_handle(const timing_gate& g, float* hx, float* hz) {
    const float l = std::sqrt(g.direction[0] * g.direction[0] + g.direction[2] * g.direction[2]);
    const float ux = l > 0 ? g.direction[0] / l : 0, uz = l > 0 ? g.direction[2] / l : 0;
    *hx = g.centre[0] + ux * g.radius;
    *hz = g.centre[2] + uz * g.radius;
}
} // namespace

bool gates_press(editor_tools_state& tools, const editor_pointer& pointer, int* drag_target) {
    // The handles come before the half-discs, so a centre lying in another gate's half-disc can
    // still be taken.
    for (int g = 0; g < gate_count(); g++) {
        const timing_gate& gate = gate_at(g);
        if (handle_hit(pointer, gate.centre[0], gate.centre[2])) {
            tools.gate = g;
            *drag_target = 1;
            return false;
        }
    }
    for (int g = 0; g < gate_count(); g++) {
        float hx, hz;
        direction_handle(gate_at(g), &hx, &hz);
        if (handle_hit(pointer, hx, hz)) {
            tools.gate = g;
            *drag_target = 2;
            return false;
        }
    }
    *drag_target = 0;
    tools.gate = -1;
    for (int g = 0; g < gate_count() && tools.gate < 0; g++) {
        const timing_gate& gate = gate_at(g);
        const float dx = pointer.x - gate.centre[0], dz = pointer.z - gate.centre[2];
        if (dx * dx + dz * dz < gate.radius * gate.radius &&
            dx * gate.direction[0] + dz * gate.direction[2] > 0)
            tools.gate = g;
    }
    return false;
}

bool gates_drag(editor_tools_state& tools, const editor_pointer& pointer, int drag_target) {
    if (pointer.ground_locked || !gate_valid(tools.gate)) return false;
    timing_gate gate = gate_at(tools.gate);
    if (drag_target == 1) {
        if (gate.centre[0] == pointer.x && gate.centre[1] == 0 && gate.centre[2] == pointer.z)
            return false;
        gate.centre[0] = pointer.x;
        gate.centre[1] = 0;
        gate.centre[2] = pointer.z;
        gate_set(tools.gate, gate);
        return true;
    }
    if (drag_target == 2) {
        const float dx = pointer.x - gate.centre[0], dz = pointer.z - gate.centre[2];
        if (gate.direction[0] == dx && gate.direction[1] == 0 && gate.direction[2] == dz)
            return false;
        gate.direction[0] = dx;
        gate.direction[1] = 0;
        gate.direction[2] = dz;
        gate.radius = std::sqrt(dx * dx + dz * dz);
        gate_set(tools.gate, gate);
        return true;
    }
    return false;
}

bool gates_switch_point(editor_tools_state& tools, bool set, bool ground_locked) {
    if (ground_locked || !gate_valid(tools.gate)) return false;
    const int plain = tools.gate, marked = tools.gate + k_gate_no_learn;
    const int from = set ? marked : plain, to = set ? plain : marked;
    bool changed = false;
    for (int i = 0; i < first_lap_length() + normal_lap_length(); i++) {
        if (lap_entry(i) != from) continue;
        lap_entry_set(i, to);
        changed = true;
    }
    return changed;
}

void gates_panel(const editor_tools_state& tools, std::vector<std::string>& lines) {
    if (!gate_valid(tools.gate)) return;
    bool plain = false, marked = false;
    for (int i = 0; i < first_lap_length() + normal_lap_length(); i++) {
        plain = plain || lap_entry(i) == tools.gate;
        marked = marked || lap_entry(i) == tools.gate + k_gate_no_learn;
    }
    if (plain && marked)
        lines.emplace_back("Switch Point: Mixed");
    else if (plain)
        lines.emplace_back("Switch Point: Yes");
    else if (marked)
        lines.emplace_back("Switch Point: No");
    else
        lines.emplace_back("Gate not referenced");
}

void gates_marks(const editor_tools_state& tools, const editor_pointer& pointer,
                 std::vector<editor_mark>& marks) {
    for (int g = 0; g < gate_count(); g++) {
        const timing_gate& gate = gate_at(g);
        const uint32_t colour = g == tools.gate ? k_mark_selected : k_mark_plain;
        float hx, hz;
        direction_handle(gate, &hx, &hz);
        // The gate's line across the track, its direction and both handles.
        const float ax = hz - gate.centre[2], az = -(hx - gate.centre[0]);
        mark_add(marks, mark_line, gate.centre[0] - ax, gate.centre[2] - az, gate.centre[0] + ax,
                 gate.centre[2] + az, colour);
        mark_add(marks, mark_line, gate.centre[0], gate.centre[2], hx, hz, colour);
        mark_add(marks, mark_cross, gate.centre[0], gate.centre[2], pointer.pick / 2, 0, colour);
        mark_add(marks, mark_circle, hx, hz, pointer.pick / 2, 0, colour);
    }
}

// ---------------------------------------------------------------------------------------------
// The modes

bool tools_press(editor_tools_state& tools, int mode, const editor_pointer& pointer,
                 const editor_tool_settings& settings, int* drag_target) {
    int unused_target = 0;
    if (!drag_target) drag_target = &unused_target;
    *drag_target = 0;
    switch (mode) {
    case mode_timing_gate:
        return gates_press(tools, pointer, drag_target);
    case mode_billboards:
        return billboards_press(tools, pointer);
    case mode_statues:
        return statues_press(tools, pointer, drag_target);
    case mode_decals:
        return decals_press(tools, pointer, settings, drag_target);
    default:
        return false; // the tile map paints from the stroke's first tic
    }
}

bool tools_drag(editor_tools_state& tools, int mode, const editor_pointer& pointer,
                const editor_tool_settings& settings, int drag_target) {
    switch (mode) {
    case mode_timing_gate:
        return gates_drag(tools, pointer, drag_target);
    case mode_billboards:
        return billboards_drag(tools, pointer, settings);
    case mode_statues:
        return statues_drag(tools, pointer, drag_target);
    case mode_tilemap_edit:
        return tilemap_paint(tools, pointer, settings);
    case mode_decals:
        return decals_drag(tools, pointer, settings, drag_target);
    default:
        return false;
    }
}

bool tools_key(editor_tools_state& tools, int mode, int code, const editor_pointer& pointer,
               const editor_tool_settings& settings, std::string* message, bool* consumed) {
    bool unused_consumed = false;
    if (!consumed) consumed = &unused_consumed;
    *consumed = false;
    switch (mode) {
    case mode_billboards:
        if (code != k_key_delete && code != 'x') return false;
        *consumed = true;
        return billboards_delete(tools, pointer);
    case mode_statues:
        return statues_key(tools, code, pointer, message, consumed);
    case mode_decals:
        return decals_key(tools, code, pointer, settings, consumed);
    default:
        return false;
    }
}

bool tools_button(editor_tools_state& tools, int button, const editor_tool_settings& settings,
                  const editor_gradient* gradient, bool ground_locked) {
    switch (button) {
    case button_set_switch_point:
        return gates_switch_point(tools, true, ground_locked);
    case button_clear_switch_point:
        return gates_switch_point(tools, false, ground_locked);
    case button_snap_to_gradient:
        return statues_snap(tools, gradient, ground_locked);
    case button_height_changed:
        return billboards_height(tools, settings);
    default:
        return false;
    }
}

std::vector<std::string> tools_panel_lines(const editor_tools_state& tools, int mode,
                                           const editor_tool_settings& settings) {
    std::vector<std::string> lines;
    if (mode == mode_timing_gate) gates_panel(tools, lines);
    if (mode == mode_billboards)
        lines.push_back(tools.billboard >= 0 && tools.billboard < billboard_count()
                            ? billboard_texture_name(tools.billboard)
                            : std::string("[none]"));
    if (mode == mode_tilemap_edit) tilemap_panel(settings, lines);
    return lines;
}

std::vector<editor_mark> tools_marks(const editor_tools_state& tools, int mode,
                                     const editor_pointer& pointer,
                                     const editor_tool_settings& settings) {
    std::vector<editor_mark> marks;
    switch (mode) {
    case mode_timing_gate:
        gates_marks(tools, pointer, marks);
        break;
    case mode_billboards:
        billboards_marks(tools, pointer, marks);
        break;
    case mode_statues:
        statues_marks(tools, pointer, settings, marks);
        break;
    case mode_tilemap_edit:
        mark_add(marks, mark_circle, pointer.x, pointer.z, pointer.radius, 0, k_mark_plain);
        break;
    case mode_decals:
        decals_marks(tools, pointer, settings, marks);
        break;
    default:
        break;
    }
    return marks;
}

void tools_reset(editor_tools_state& tools) {
    const uint32_t random_state = tools.random_state;
    tools = editor_tools_state{};
    tools.random_state = random_state;
}
