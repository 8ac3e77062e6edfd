// The editor's panel: its items as a table of records, which are shown in which mode, where the
// pointer is over them, what a press or a key does to each, and the text lines below them.
#include "editor/editor_local.h"

#include "platform/controls.h"
#include "terrain/terrain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr const char* k_submodes[] = {"Assign", "Raise Only", "Lower Only", nullptr};
constexpr const char* k_segments[] = {"Line", "Curve", nullptr};
constexpr const char* k_no_yes[] = {"No", "Yes", nullptr};
constexpr const char* k_orientations[] = {"Copy", "Random", "Flow", "Flow2", "Uphill", nullptr};
constexpr const char* k_levels[] = {"Top", "Under Current", "Over Current", "Bottom", nullptr};

constexpr panel_item_record button(const char* label, int shown_in = -1) {
    return {label, kind_button, 0, 0, 0, 0, nullptr, shown_in};
}
constexpr panel_item_record number(const char* label, float initial, float step, float minimum,
                                   float maximum, int shown_in = -1) {
    return {label, kind_number, initial, step, minimum, maximum, nullptr, shown_in};
}
constexpr panel_item_record choice(const char* label, const char* const* labels, int initial,
                                   int shown_in = -1) {
    return {label, kind_choice, static_cast<float>(initial), 1, 0, 0, labels, shown_in};
}
} // namespace

const panel_item_record k_panel_items[k_panel_item_count] = {
    button("Raise"),
    button("Lower"),
    button("Smooth"),
    button("Smudge"),
    button("Snap"),
    button("Gradient Linear Paint"),
    button("Gradient Linear Add"),
    button("Gradient Radial Paint"),
    button("Gradient Radial Add"),
    button("Gradient Placement"),
    button("Gradient Edit"),
    button("Timing Gate"),
    button("Billboards"),
    button("Statues"),
    button("Tilemap Edit"),
    button("Decals"),
    choice("SubMode", k_submodes, submode_assign),
    button("Save"),
    number("Zoom", 1, 0.125f, -3, 8),
    number("Strength", 3, 0.25f, -5, 5),
    number("Focus", 0.5f, 0.03125f, 0, 1),
    number("Radius", 64, 1, 1, 128),
    number("Spacing", 1, 0.25f, 0.25f, 1000, mode_billboards),
    number("Height", 0, 0.25f, -50, 50, mode_billboards),
    button("New Gradient", mode_gradient_placement),
    button("Copy Gradient", mode_gradient_placement),
    choice("Segment Type", k_segments, 0, mode_gradient_edit),
    number("Granularity", 0, 0.0625f, 0, 1, mode_gradient_edit),
    button("Set From Terrain", mode_gradient_edit),
    button("Flatten", mode_gradient_edit),
    button("Set AI Switch Point", mode_timing_gate),
    button("Clear AI Switch Point", mode_timing_gate),
    number("Tile", 0, 1, 0, 255, mode_tilemap_edit),
    choice("Show Collidable", k_no_yes, 0, mode_statues),
    button("Snap to Gradient", mode_statues),
    number("Spacing", 0.75f, 0.0625f, 0.25f, 4, mode_decals),
    choice("Orientation", k_orientations, orient_flow, mode_decals),
    choice("Hide different", k_no_yes, 0, mode_decals),
    choice("Level", k_levels, level_over_current, mode_decals),
};

namespace {
int choice_count(const panel_item_record& r) {
    int n = 0;
    while (r.choices && r.choices[n]) n++;
    return n;
}

// A value's change reaches whoever acts on it.
void value_changed(int item) {
    editor_state& e = editor_get();
    if (item == item_billboard_height)
        if (tools_button(e.tools, button_height_changed, editor_settings(), gradient_selected(),
                         ground().locked))
            ground_mark_edited();
    if (item == item_segment_type)
        gradient_set_segment_type(static_cast<int>(e.values[item_segment_type]));
}

void set_number(int item, float value) {
    editor_state& e = editor_get();
    const panel_item_record& r = k_panel_items[item];
    value = std::clamp(value, r.minimum, r.maximum);
    if (r.step > 0) value = r.minimum + std::round((value - r.minimum) / r.step) * r.step;
    value = std::clamp(value, r.minimum, r.maximum);
    if (value == e.values[item]) return;
    e.values[item] = value;
    value_changed(item);
}

void activate(int item) {
    editor_state& e = editor_get();
    if (item < editor_mode_count) {
        if (item != e.mode) {
            editor_message("OK");
            if (e.update_needed) editor_commit();
            e.mode = item;
        }
        return;
    }
    bool changed = false;
    switch (item) {
    case item_save:
        editor_save();
        break;
    case item_new_gradient:
        gradient_new();
        break;
    case item_copy_gradient:
        gradient_copy();
        break;
    case item_set_from_terrain:
        gradient_set_from_terrain();
        break;
    case item_flatten:
        gradient_flatten();
        break;
    case item_set_switch_point:
    case item_clear_switch_point:
    case item_snap_to_gradient: {
        const int which = item == item_set_switch_point     ? button_set_switch_point
                          : item == item_clear_switch_point ? button_clear_switch_point
                                                            : button_snap_to_gradient;
        changed =
            tools_button(e.tools, which, editor_settings(), gradient_selected(), ground().locked);
        break;
    }
    default:
        break;
    }
    if (changed) ground_mark_edited();
}

std::string item_text(int item) {
    const editor_state& e = editor_get();
    const panel_item_record& r = k_panel_items[item];
    char text[96];
    if (r.kind == kind_number) {
        snprintf(text, sizeof text, "%s: %g", r.label, static_cast<double>(e.values[item]));
    } else if (r.kind == kind_choice) {
        const int k = std::clamp(static_cast<int>(e.values[item]), 0, choice_count(r) - 1);
        snprintf(text, sizeof text, "%s: %s", r.label, r.choices[k]);
    } else {
        snprintf(text, sizeof text, "%s", r.label);
    }
    return text;
}
} // namespace

std::vector<int> panel_visible_items() {
    const editor_state& e = editor_get();
    std::vector<int> items;
    for (int i = 0; i < k_panel_item_count; i++)
        if (k_panel_items[i].shown_in < 0 || k_panel_items[i].shown_in == e.mode)
            items.push_back(i);
    return items;
}

std::string panel_item_text(int item) { return item_text(item); }

int panel_item_at(float px, float py) {
    if (px < 0 || py < 0 || px >= static_cast<float>(k_panel_width)) return -1;
    const std::vector<int> items = panel_visible_items();
    const int row = static_cast<int>(py) / k_panel_row;
    return row < static_cast<int>(items.size()) ? items[row] : -1;
}

void panel_press(int item, float px) {
    editor_state& e = editor_get();
    const panel_item_record& r = k_panel_items[item];
    if (r.kind == kind_button) {
        activate(item);
    } else if (r.kind == kind_choice) {
        const int n = choice_count(r);
        e.values[item] = static_cast<float>((static_cast<int>(e.values[item]) + 1) % n);
        value_changed(item);
    } else {
        // The row is a slider across the panel's width.
        const float f = std::clamp(px / static_cast<float>(k_panel_width), 0.0f, 1.0f);
        set_number(item, r.minimum + f * (r.maximum - r.minimum));
    }
}

bool panel_key(int item, int code) {
    editor_state& e = editor_get();
    const panel_item_record& r = k_panel_items[item];
    const bool up = code == '=' || code == '+' || code == ']' || code == key_code_of("right");
    const bool down = code == '-' || code == '[' || code == key_code_of("left");
    const bool enter = code == 13 || code == ' ';
    if (r.kind == kind_number && (up || down)) {
        set_number(item, e.values[item] + (up ? r.step : -r.step));
    } else if (r.kind == kind_choice && (up || down || enter)) {
        const int n = choice_count(r);
        e.values[item] =
            static_cast<float>((static_cast<int>(e.values[item]) + (down ? n - 1 : 1)) % n);
        value_changed(item);
    } else if (r.kind == kind_button && enter) {
        activate(item);
    } else {
        return false;
    }
    return true;
}

std::vector<std::string> panel_text_lines() {
    const editor_state& e = editor_get();
    std::vector<std::string> lines;
    char text[160];
    const float s = editor_scale();
    snprintf(text, sizeof text, "Actual Radius: %.2f (%.2f)",
             static_cast<double>(e.values[item_radius] * s),
             static_cast<double>(e.values[item_radius] * e.values[item_focus] * s));
    lines.push_back(text);
    snprintf(text, sizeof text, "Actual Strength: %.3f",
             static_cast<double>(std::exp2(e.values[item_strength])));
    lines.push_back(text);
    const editor_gradient* g = gradient_selected();
    if (e.mode == mode_gradient_placement && g) {
        snprintf(text, sizeof text, "Length: %.2f",
                 static_cast<double>(std::hypot(g->x1 - g->x0, g->z1 - g->z0)));
        lines.push_back(text);
    }
    if (e.mode == mode_gradient_edit && g && e.point >= 0 &&
        e.point < static_cast<int>(g->points.size())) {
        const int last = static_cast<int>(g->points.size()) - 1;
        const int at = g->points[e.point].segment == 1 || e.point == last ? e.point : e.point + 1;
        snprintf(text, sizeof text, "Slope: %.3f", static_cast<double>(profile_slope(*g, at)));
        lines.push_back(text);
        snprintf(text, sizeof text, "Height: %.2f", static_cast<double>(g->points[e.point].h));
        lines.push_back(text);
    }
    if (e.mode >= mode_timing_gate)
        for (const std::string& line : tools_panel_lines(e.tools, e.mode, editor_settings()))
            lines.push_back(line);
    float x, z;
    editor_pointer_world(&x, &z);
    snprintf(text, sizeof text, "%.2f %.2f %.2f", static_cast<double>(x),
             static_cast<double>(ground_height_at(x, z)), static_cast<double>(z));
    lines.push_back(text);
    lines.push_back(e.message);
    return lines;
}
