// The editor's state, its view mapping, the keys and pointer, the tic and the dispatch of each
// mode's press, drag and release.
#include "editor/editor_local.h"

#include "platform/controls.h"
#include "platform/devices.h"
#include "race/race.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_view.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace {
editor_state g_editor;

constexpr int k_key_backspace = 8;
constexpr int k_key_tab = 9;
constexpr int k_key_delete = 127;

bool brush_mode(int mode) {
    return (mode >= mode_raise && mode <= mode_smudge) ||
           (mode >= mode_gradient_linear_paint && mode <= mode_gradient_radial_add);
}
bool height_mode(int mode) { return mode >= mode_raise && mode <= mode_snap; }
// Modes whose release and "l" key use the previous brush point.
bool line_mode(int mode) {
    return (mode >= mode_raise && mode <= mode_smudge) ||
           (mode >= mode_gradient_linear_paint && mode <= mode_gradient_edit) ||
           mode == mode_tilemap_edit;
}
bool tools_mode(int mode) { return mode >= mode_timing_gate && mode < editor_mode_count; }

void tools_changed(bool changed) {
    if (!changed) return;
    ground_mark_edited();
    // The bikes meet the statues where they stand now.
    if (g_editor.mode == mode_statues) race_statues_refresh();
}

} // namespace

// The pointer in window pixels from the cursor's axes, and the panel item under it when it
// moved.
void editor_pointer_update() {
    editor_state& e = g_editor;
    if (e.cursor_axis[0] < 0) e.cursor_axis[0] = open_axis("cursor-x");
    if (e.cursor_axis[1] < 0) e.cursor_axis[1] = open_axis("cursor-y");
    if (e.cursor_axis[0] < 0 || e.cursor_axis[1] < 0) return;
    const float px = static_cast<float>(read_axis(e.cursor_axis[0]));
    const float py = static_cast<float>(read_axis(e.cursor_axis[1]));
    if (px == e.pointer_px && py == e.pointer_py) return;
    e.pointer_px = px;
    e.pointer_py = py;
    e.hover_item = panel_item_at(px, py);
}

namespace {

void press_view() {
    editor_state& e = g_editor;
    if (height_mode(e.mode) && e.update_needed) editor_commit();
    e.stroke_active = 1;
    e.stroke_tic = 0;
    e.drag_target = 0;
    float x, z;
    editor_pointer_world(&x, &z);
    if (e.mode == mode_smudge) {
        e.smudge_x = x;
        e.smudge_z = z;
    }
    if (e.mode == mode_gradient_placement) {
        gradient_placement_press();
    } else if (e.mode == mode_gradient_edit) {
        gradient_edit_press();
    } else if (tools_mode(e.mode)) {
        int target = 0;
        const int picked = e.tools.billboard;
        tools_changed(
            tools_press(e.tools, e.mode, editor_pointer_for_tools(), editor_settings(), &target));
        e.drag_target = target;
        // A billboard picked by the press shows its own height above the ground.
        if (e.mode == mode_billboards && e.tools.billboard >= 0 && e.tools.billboard != picked)
            e.values[item_billboard_height] = billboards()[e.tools.billboard].offset;
    }
}

void release_view() {
    editor_state& e = g_editor;
    if (e.mode == mode_gradient_placement) gradient_placement_release();
    e.stroke_active = 0;
    e.drag_target = 0;
    if (height_mode(e.mode) && e.update_needed) editor_commit();
    if (line_mode(e.mode)) e.prev_x = -1;
}

// The mode's action for one tic of a stroke.
void drag_view() {
    editor_state& e = g_editor;
    if (brush_mode(e.mode)) {
        if (e.stroke_tic % k_brush_interval == 0) brush_apply();
    } else if (e.mode == mode_snap) {
        if (e.stroke_tic % k_snap_interval == 0) snap_apply();
    } else if (e.mode == mode_gradient_placement) {
        gradient_placement_drag();
    } else if (e.mode == mode_gradient_edit) {
        gradient_edit_drag();
    } else if (tools_mode(e.mode)) {
        const editor_pointer pointer = editor_pointer_for_tools();
        tools_changed(tools_drag(e.tools, e.mode, pointer, editor_settings(), e.drag_target));
        // The tile map paints along the stroke as the brushes do: each application's point is
        // the next one's previous point.
        if (e.mode == mode_tilemap_edit && e.stroke_tic % k_brush_interval == 0) {
            e.prev_x = pointer.x;
            e.prev_z = pointer.z;
        }
    }
    e.stroke_tic++;
}

void set_mode(int mode) {
    editor_state& e = g_editor;
    if (mode == e.mode) return;
    editor_message("OK");
    if (e.update_needed) editor_commit();
    e.mode = mode;
}

void pan(float dx, float dz) {
    g_editor.view_x += dx;
    g_editor.view_z += dz;
}

// The keys the object tools take in their modes.
bool tools_key_taken(int code) {
    editor_state& e = g_editor;
    const bool del = code == k_key_delete || code == key_code_of("delete") || code == 'x';
    const bool wanted =
        (e.mode == mode_statues && (code == 'i' || code == 'd')) ||
        (del && (e.mode == mode_billboards || e.mode == mode_statues || e.mode == mode_decals)) ||
        (e.mode == mode_decals &&
         (code == 'X' || code == 'd' || code == 'm' || code == 'M' || code == '{' || code == '}'));
    if (!wanted) return false;
    std::string message;
    bool consumed = false;
    const int tool_code = del ? k_key_delete : code;
    tools_changed(tools_key(e.tools, e.mode, tool_code, editor_pointer_for_tools(),
                            editor_settings(), &message, &consumed));
    if (!message.empty()) editor_message(message);
    return true;
}

// A key press outside the panel; true when it was the editor's.
bool view_key(int code) {
    editor_state& e = g_editor;
    const float quarter = ground().field.extent / std::exp2(e.values[item_zoom]) * 0.25f;
    if (code == key_code_of("left")) {
        pan(-quarter, 0);
    } else if (code == key_code_of("right")) {
        pan(quarter, 0);
    } else if (code == key_code_of("up")) {
        pan(0, -quarter);
    } else if (code == key_code_of("down")) {
        pan(0, quarter);
    } else if (code == '=') {
        e.values[item_zoom] += 0.5f;
    } else if (code == '-') {
        e.values[item_zoom] =
            std::max(e.values[item_zoom] - 0.5f, k_panel_items[item_zoom].minimum);
    } else if (code == ']' || code == '[') {
        const panel_item_record& r = k_panel_items[item_strength];
        e.values[item_strength] = std::clamp(
            e.values[item_strength] + (code == ']' ? r.step : -r.step), r.minimum, r.maximum);
    } else if (code == 's') {
        editor_save();
    } else if (code == 'p') {
        editor_export_pov();
    } else if (code == 'u') {
        editor_message("OK");
        if (e.update_needed) editor_commit();
    } else if (code == k_key_backspace) {
        editor_undo();
    } else if (code == 'f') {
        gradient_flatten();
    } else if (code == 'l' && line_mode(e.mode)) {
        if (e.prev_x < 0)
            editor_pointer_world(&e.prev_x, &e.prev_z);
        else
            e.prev_x = -1;
    } else if (code >= '1' && code <= '9') {
        // The number keys run from Smooth on, leaving out Smudge: "2" is Snap, "3" the first
        // gradient mode and "9" Timing Gate.
        set_mode(code == '1'   ? mode_smooth
                 : code == '2' ? mode_snap
                               : mode_gradient_linear_paint + (code - '3'));
    } else {
        return tools_key_taken(code);
    }
    return true;
}
} // namespace

editor_state& editor_get() { return g_editor; }

void editor_message(const std::string& text) { g_editor.message = text; }
const char* editor_message_line() { return g_editor.message.c_str(); }

float editor_scale() {
    const editor_state& e = g_editor;
    return ground().field.extent /
           (static_cast<float>(std::max(e.height, 1)) * std::exp2(e.values[item_zoom]));
}

float editor_pick() {
    return std::max(1.0f, 0.01f * ground().field.extent / std::exp2(g_editor.values[item_zoom]));
}

void editor_pointer_world(float* x, float* z) {
    const editor_state& e = g_editor;
    const float s = editor_scale();
    *x = e.view_x + (e.pointer_px - static_cast<float>(e.width / 2)) * s;
    *z = e.view_z + (e.pointer_py - static_cast<float>(e.height / 2)) * s;
}

editor_pointer editor_pointer_for_tools() {
    const editor_state& e = g_editor;
    editor_pointer p;
    editor_pointer_world(&p.x, &p.z);
    p.pick = editor_pick();
    p.radius = e.values[item_radius] * editor_scale();
    p.prev_x = e.prev_x;
    p.prev_z = e.prev_z;
    p.tic = e.stroke_tic;
    p.ground_locked = ground().locked;
    return p;
}

editor_tool_settings editor_settings() {
    const float* v = g_editor.values;
    editor_tool_settings s;
    s.billboard_spacing = v[item_billboard_spacing];
    s.billboard_height = v[item_billboard_height];
    s.tile = static_cast<int>(v[item_tile]);
    s.show_collidable = v[item_show_collidable] != 0;
    s.decal_spacing = v[item_decal_spacing];
    s.orientation = static_cast<int>(v[item_orientation]);
    s.hide_different = v[item_hide_different] != 0;
    s.level = static_cast<int>(v[item_level]);
    return s;
}

void editor_set_window(int width, int height) {
    g_editor.width = std::max(width, 1);
    g_editor.height = std::max(height, 1);
}

void editor_load() {
    editor_unload();
    editor_state& e = g_editor;
    for (int i = 0; i < k_panel_item_count; i++) e.values[i] = k_panel_items[i].initial;
    const height_field& field = ground().field;
    if (!field.heights) return;
    e.prepared = true;
    e.view_x = e.view_z = field.extent * 0.5f;
    const size_t count = static_cast<size_t>(field.samples_per_side) * field.samples_per_side;
    e.snapshot.assign(field.heights, field.heights + count);
    ground_mark_heights_committed();
    ground_mark_saved();
    // The track as loaded is the first undo level, so the first edit can be undone too.
    editor_commit();
    if (const char* folder = track_current()) edinfo_read(folder);
}

void editor_unload() {
    editor_state& e = g_editor;
    const int axes[2] = {e.cursor_axis[0], e.cursor_axis[1]};
    const int width = e.width, height = e.height;
    e = editor_state{};
    e.cursor_axis[0] = axes[0];
    e.cursor_axis[1] = axes[1];
    e.width = width;
    e.height = height;
    for (int i = 0; i < k_panel_item_count; i++) e.values[i] = k_panel_items[i].initial;
    tools_reset(e.tools);
    editor_undo_clear();
}

bool editor_modified() { return g_editor.prepared && ground().modified; }

bool editor_key(int control, int pressed) {
    editor_state& e = g_editor;
    if (control == k_key_tab || !e.prepared) return false;
    editor_pointer_update();
    if (control == k_control_mouse_left) {
        e.left_held = pressed != 0;
        if (pressed) {
            if (e.hover_item >= 0) {
                e.stroke_active = k_stroke_panel + e.hover_item;
                panel_press(e.hover_item, e.pointer_px);
            } else {
                press_view();
            }
        } else if (e.stroke_active == 1) {
            release_view();
        } else {
            e.stroke_active = 0;
        }
        return true;
    }
    if (control == k_control_mouse_right) {
        e.right_held = pressed != 0;
        e.pan_px = e.pointer_px;
        e.pan_py = e.pointer_py;
        return true;
    }
    if (!pressed) return false;
    if (control >= 0 && control <= 255) {
        char text[40];
        if (std::isgraph(control) || control == ' ')
            snprintf(text, sizeof text, "Pressed 0x%02x ('%c')", control, control);
        else
            snprintf(text, sizeof text, "Pressed 0x%02x", control);
        editor_message(text);
    }
    // A key the item under the pointer has no use for (zoom over a mode button) is the view's.
    if (e.hover_item >= 0 && panel_key(e.hover_item, control)) return true;
    return view_key(control);
}

void editor_tic() {
    editor_state& e = g_editor;
    if (!e.prepared) return;
    editor_pointer_update();
    if (ground().heights_changed && !e.update_needed) {
        e.update_needed = true;
        editor_message("Update needed!");
    }
    if (e.right_held) {
        const float s = editor_scale();
        pan((e.pan_px - e.pointer_px) * s, (e.pan_py - e.pointer_py) * s);
        e.pan_px = e.pointer_px;
        e.pan_py = e.pointer_py;
    }
    // A number held down follows the pointer; a button acts once per press.
    if (e.stroke_active >= k_stroke_panel && e.left_held &&
        e.hover_item == e.stroke_active - k_stroke_panel &&
        k_panel_items[e.hover_item].kind == kind_number)
        panel_press(e.hover_item, e.pointer_px);
    if (e.stroke_active == 1) drag_view();
}
