// What the editor's view shares with its tools for gates, billboards, statues, the tile map and
// decals (modes 11 to 15): the pointer and stroke as the view sees them, the panel values the
// tools read, and the tools' own selections. The view owns the pointer, the panel and the change
// flags; the tools own their selections and the edits of the track's tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The editing modes, in the panel's order.
enum editor_mode {
    mode_raise,
    mode_lower,
    mode_smooth,
    mode_smudge,
    mode_snap,
    mode_gradient_linear_paint,
    mode_gradient_linear_add,
    mode_gradient_radial_paint,
    mode_gradient_radial_add,
    mode_gradient_placement,
    mode_gradient_edit,
    mode_timing_gate,
    mode_billboards,
    mode_statues,
    mode_tilemap_edit,
    mode_decals,
    editor_mode_count
};

// One point of a height gradient's profile; `segment` governs the run to the next point.
struct profile_point {
    float t = 0, h = 0;
    uint8_t segment = 0; // 0 "Line", 1 "Curve"
};

// A height gradient: a profile of heights laid along the line from start to end.
struct editor_gradient {
    float x0 = 0, z0 = 0, x1 = 0, z1 = 0;
    std::vector<profile_point> points; // sorted by t
};

// The pointer and stroke at a press, a drag tic or a key.
struct editor_pointer {
    float x = 0, z = 0;            // the pointer's world point
    float pick = 1;                // pick distance: a handle is hit within pick / 2
    float radius = 1;              // the brush's outer radius, world units
    float prev_x = -1, prev_z = 0; // the stroke's previous point; prev_x < 0 when none
    int tic = 0;                   // tics since the left press (0 on the press's own tic)
    bool ground_locked = false;    // the ground lock: gate, statue and tile map edits refused
};

// The panel values the tools read.
enum decal_orientation { orient_copy, orient_random, orient_flow, orient_flow2, orient_uphill };
enum decal_level { level_top, level_under_current, level_over_current, level_bottom };
struct editor_tool_settings {
    float billboard_spacing = 1; // "Spacing" of the billboards
    float billboard_height = 0;  // "Height"
    int tile = 0;                // "Tile"
    bool show_collidable = false;
    float decal_spacing = 0.75f; // "Spacing" of the decals
    int orientation = orient_flow;
    bool hide_different = false;
    int level = level_over_current;
};

// The tools' selections (indices into the track's tables, -1 for none) and their random numbers,
// which are not the simulation's.
struct editor_tools_state {
    int gate = -1;
    int billboard = -1;
    int painted_billboard = -1;
    int statue = -1;
    int decal = -1;
    std::vector<int> decal_group; // decals following the selected one's moves, turns and copies
    uint32_t random_state = 1;
};

// Each operation returns true when it changed the track (the view then sets its change flags).
// A left press in the view; sets *drag_target (0 none, 1 first handle, 2 second handle).
bool tools_press(editor_tools_state& tools, int mode, const editor_pointer& pointer,
                 const editor_tool_settings& settings, int* drag_target);
// Every tic while the left button is held.
bool tools_drag(editor_tools_state& tools, int mode, const editor_pointer& pointer,
                const editor_tool_settings& settings, int drag_target);
// A key of modes 12, 13 and 15 ("i", "d", Delete, "x", "X", "m", "M", "{", "}"); *consumed is
// set when the key was the tools'. `message` receives a message for the view's message line,
// when there is one.
bool tools_key(editor_tools_state& tools, int mode, int code, const editor_pointer& pointer,
               const editor_tool_settings& settings, std::string* message, bool* consumed);
// The panel's tool buttons and values: "Set AI Switch Point", "Clear AI Switch Point",
// "Snap to Gradient" and a change of "Height".
enum tool_button {
    button_set_switch_point,
    button_clear_switch_point,
    button_snap_to_gradient,
    button_height_changed
};
bool tools_button(editor_tools_state& tools, int button, const editor_tool_settings& settings,
                  const editor_gradient* gradient, bool ground_locked);
// The mode's lines for the panel ("Switch Point: Yes", the billboard's texture name, the tile's
// surface name), one per element.
std::vector<std::string> tools_panel_lines(const editor_tools_state& tools, int mode,
                                           const editor_tool_settings& settings);
// What the view draws for the mode's tools, in world units on the ground (x, z): gates with
// their handles, billboards, statues with their turn handles (and their collision shapes with
// "Show Collidable"), decals with their handles, the selections highlighted.
enum mark_kind { mark_line, mark_circle, mark_cross };
struct editor_mark {
    int kind = mark_line;
    float x0 = 0, z0 = 0; // line start, or centre
    float x1 = 0, z1 = 0; // line end; x1 is the radius or half-size of a circle or cross
    uint32_t rgba = 0xffffffff;
};
std::vector<editor_mark> tools_marks(const editor_tools_state& tools, int mode,
                                     const editor_pointer& pointer,
                                     const editor_tool_settings& settings);
// A selection of a table whose entries were removed or inserted outside the tools (a track
// reload) is dropped.
void tools_reset(editor_tools_state& tools);
