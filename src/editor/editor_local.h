// What the editor's own files share: its state, the panel's item table and the operations one
// file runs for another.
#pragma once

#include "editor/editor.h"
#include "editor/editor_tools.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr int k_undo_levels = 8;
constexpr int k_panel_width = 208;   // px
constexpr int k_panel_row = 15;      // px, the height of one item or text line
constexpr int k_brush_interval = 32; // tics between brush applications
constexpr int k_snap_interval = 16;  // tics between snaps

// The panel's items in panel order; the first 16 are the mode buttons.
enum panel_item {
    item_submode = editor_mode_count,
    item_save,
    item_zoom,
    item_strength,
    item_focus,
    item_radius,
    item_billboard_spacing,
    item_billboard_height,
    item_new_gradient,
    item_copy_gradient,
    item_segment_type,
    item_granularity,
    item_set_from_terrain,
    item_flatten,
    item_set_switch_point,
    item_clear_switch_point,
    item_tile,
    item_show_collidable,
    item_snap_to_gradient,
    item_decal_spacing,
    item_orientation,
    item_hide_different,
    item_level,
    k_panel_item_count
};
enum submode { submode_assign, submode_raise_only, submode_lower_only };
enum item_kind { kind_button, kind_choice, kind_number };

// One panel item: its label, kind, default, step and range (or the choice labels), and the one
// mode it is shown in (-1: always).
struct panel_item_record {
    const char* label;
    int kind;
    float initial, step, minimum, maximum;
    const char* const* choices; // null-terminated, for choice items
    int shown_in;
};
extern const panel_item_record k_panel_items[k_panel_item_count];

// One undo level: every height and the two per-sample shading arrays as they were committed.
struct undo_entry {
    std::vector<float> heights;
    std::vector<uint8_t> shading, normals;
};

struct editor_state {
    bool prepared = false;
    int mode = mode_raise;
    float view_x = 0, view_z = 0;  // ft, the world point at the window's centre
    int width = 640, height = 480; // px, the window
    // The pointer in window pixels, and where the right-button pan last took it from.
    float pointer_px = -1, pointer_py = -1;
    float pan_px = 0, pan_py = 0;
    bool right_held = false, left_held = false;
    int cursor_axis[2] = {-1, -1};
    int hover_item = -1;   // the panel item under the pointer, -1 for none
    int stroke_active = 0; // 0 none, 1 a stroke in the view, k_stroke_panel + item a panel press
    float prev_x = -1, prev_z = 0; // the previous brush point; prev_x < 0 when none
    float smudge_x = 0, smudge_z = 0;
    int stroke_tic = 0;
    int drag_target = 0;
    int gradient = -1, point = -1; // selected gradient and profile point
    std::vector<float> snapshot;   // every height as last committed
    bool update_needed = false;
    undo_entry ring[k_undo_levels];
    int ring_index = 0, ring_count = 0;
    std::vector<editor_gradient> gradients;
    std::string message;
    float values[k_panel_item_count] = {}; // numbers, and choices as their index
    editor_tools_state tools;
    std::string save_fault; // a file whose save is made to fail (tests of an interrupted save)
};
constexpr int k_stroke_panel = 1000;

editor_state& editor_get();

// Reads the pointer from the cursor's axes (the panel item under it again when it moved).
void editor_pointer_update();
// The view: world units per pixel, the pick distance, and the pointer's world point.
float editor_scale();
float editor_pick();
void editor_pointer_world(float* x, float* z);
editor_pointer editor_pointer_for_tools();
editor_tool_settings editor_settings();
void editor_message(const std::string& text);

// Committing a height edit, and undoing the last.
void editor_commit();
void editor_undo();
void editor_undo_clear();

// The panel: the item under a pixel (-1 none), the visible items in order, a press or key on an
// item, and the panel's text lines below the items.
int panel_item_at(float px, float py);
std::vector<int> panel_visible_items();
void panel_press(int item, float px);
// A key over a panel item; false when the item has no use for it.
bool panel_key(int item, int code);
std::vector<std::string> panel_text_lines();
// An item's row as the panel shows it: its label, and its value or choice.
std::string panel_item_text(int item);

// The terrain brushes (modes 0 to 3 and 5 to 8) and the snap (mode 4), applied once.
void brush_apply();
void snap_apply();

// Gradients: the selected one (nullptr for none), the profile's value and slopes, the placement
// and edit tools, and the buttons.
editor_gradient* gradient_selected();
float profile_value(const editor_gradient& g, float t);
float profile_slope(const editor_gradient& g, int k);
float gradient_value_at(float x, float z, bool radial);
void gradient_placement_press();
void gradient_placement_drag();
void gradient_placement_release();
void gradient_edit_press();
void gradient_edit_drag();
void gradient_flatten();
void gradient_new();
void gradient_copy();
void gradient_set_from_terrain();
void gradient_set_segment_type(int type);

// The track folder's save in its order, "edinfo" alone, and the ray tracer's scene.
bool editor_save();
bool edinfo_write(const char* folder);
void edinfo_read(const char* folder);
bool editor_export_pov();
