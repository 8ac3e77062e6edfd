// What the object tools' files share: the handle geometry, the tools' own random numbers and
// each mode's press, drag and key actions.
#pragma once

#include "editor/editor_tools.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

constexpr int k_key_delete = 127;

// True when (x, z) lies within pick / 2 of the handle at (hx, hz).
inline bool handle_hit(const editor_pointer& p, float hx, float hz) {
    const float dx = p.x - hx, dz = p.z - hz, r = p.pick / 2;
    return dx * dx + dz * dz <= r * r;
}
// Where the turn handle of a statue or decal at (x, z) with angle a lies.
inline void turn_handle(const editor_pointer& p, float x, float z, float a, float* hx, float* hz) {
    *hx = x - 4 * p.pick * std::sin(a);
    *hz = z - 4 * p.pick * std::cos(a);
}
// An angle brought into [-pi, pi).
float tools_wrap_angle(float a);
// The tools' own generator, apart from the simulation's: a number in 0 … n - 1, and an angle in
// [-pi, pi).
int tools_random_below(editor_tools_state& tools, int n);
float tools_random_angle(editor_tools_state& tools);
// The distance from (x, z) to the segment from (x0, z0) to (x1, z1).
float segment_distance(float x, float z, float x0, float z0, float x1, float z1);
void mark_add(std::vector<editor_mark>& marks, int kind, float x0, float z0, float x1, float z1,
              uint32_t rgba);

constexpr uint32_t k_mark_plain = 0xffffffff;
constexpr uint32_t k_mark_selected = 0xffff40ff;
constexpr uint32_t k_mark_second = 0x40ffffff;
constexpr uint32_t k_mark_group = 0xff8040ff;

// Timing gates (mode 11).
bool gates_press(editor_tools_state& tools, const editor_pointer& pointer, int* drag_target);
bool gates_drag(editor_tools_state& tools, const editor_pointer& pointer, int drag_target);
bool gates_switch_point(editor_tools_state& tools, bool set, bool ground_locked);
void gates_panel(const editor_tools_state& tools, std::vector<std::string>& lines);
void gates_marks(const editor_tools_state& tools, const editor_pointer& pointer,
                 std::vector<editor_mark>& marks);

// Billboards (mode 12).
bool billboards_press(editor_tools_state& tools, const editor_pointer& pointer);
bool billboards_drag(editor_tools_state& tools, const editor_pointer& pointer,
                     const editor_tool_settings& settings);
bool billboards_delete(editor_tools_state& tools, const editor_pointer& pointer);
bool billboards_height(editor_tools_state& tools, const editor_tool_settings& settings);
void billboards_marks(const editor_tools_state& tools, const editor_pointer& pointer,
                      std::vector<editor_mark>& marks);

// Statues (mode 13).
bool statues_press(editor_tools_state& tools, const editor_pointer& pointer, int* drag_target);
bool statues_drag(editor_tools_state& tools, const editor_pointer& pointer, int drag_target);
bool statues_key(editor_tools_state& tools, int code, const editor_pointer& pointer,
                 std::string* message, bool* consumed);
bool statues_snap(editor_tools_state& tools, const editor_gradient* gradient, bool ground_locked);
void statues_marks(const editor_tools_state& tools, const editor_pointer& pointer,
                   const editor_tool_settings& settings, std::vector<editor_mark>& marks);

// The tile map (mode 14).
bool tilemap_paint(editor_tools_state& tools, const editor_pointer& pointer,
                   const editor_tool_settings& settings);
void tilemap_panel(const editor_tool_settings& settings, std::vector<std::string>& lines);

// Decals (mode 15).
bool decals_press(editor_tools_state& tools, const editor_pointer& pointer,
                  const editor_tool_settings& settings, int* drag_target);
bool decals_drag(editor_tools_state& tools, const editor_pointer& pointer,
                 const editor_tool_settings& settings, int drag_target);
bool decals_key(editor_tools_state& tools, int code, const editor_pointer& pointer,
                const editor_tool_settings& settings, bool* consumed);
void decals_marks(const editor_tools_state& tools, const editor_pointer& pointer,
                  const editor_tool_settings& settings, std::vector<editor_mark>& marks);
