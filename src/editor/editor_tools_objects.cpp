// The editor's billboard and statue tools: picking, stamping and painting cards; picking,
// moving, turning, copying, interpolating and snapping statues.
#include "bike/data/bike_shape.h"
#include "editor/editor_tools_local.h"
#include "race/race.h"
#include "terrain/terrain.h"
#include "track/track_objects.h"
#include "track/track_view.h"

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------------------------------------
// Billboards

namespace {
bool billboard_valid(int index) { return index >= 0 && index < billboard_count(); }

// The roost particles' cards come and go with the riding: they are not the track's to pick.
bool billboard_pickable(int index) { return index >= billboard_reserved_count(); }

float flat_distance2(float x0, float z0, float x1, float z1) {
    return (x1 - x0) * (x1 - x0) + (z1 - z0) * (z1 - z0);
}

// The first card within pick / 2 of the pointer, searching round from the one after the
// selected card; -1 when none.
int billboard_search(const editor_tools_state& tools, const editor_pointer& pointer) {
    const int n = billboard_count();
    const int start = billboard_valid(tools.billboard) ? tools.billboard + 1 : 0;
    const float r = pointer.pick / 2;
    for (int k = 0; k < n; k++) {
        const int i = (start + k) % n;
        const billboard& b = billboards()[i];
        if (billboard_pickable(i) && flat_distance2(b.x, b.z, pointer.x, pointer.z) <= r * r)
            return i;
    }
    return -1;
}

// A copy of the selected card standing at (x, z); it becomes the last painted card.
void billboard_stamp(editor_tools_state& tools, float x, float z) {
    const billboard source = billboards()[tools.billboard];
    const std::string name = billboard_texture_name(tools.billboard);
    const int copy = billboard_add(x, source.offset, z, source.size, source.factor, name.c_str());
    billboard_set_colour(copy, source.colour);
    tools.painted_billboard = copy;
}
} // namespace

bool billboards_press(editor_tools_state& tools, const editor_pointer& pointer) {
    const int found = billboard_search(tools, pointer);
    if (found >= 0) {
        // The view shows the card's offset as "Height".
        tools.billboard = found;
        tools.painted_billboard = -1;
        return false;
    }
    if (!billboard_valid(tools.billboard)) return false;
    billboard_stamp(tools, pointer.x, pointer.z);
    return true;
}

bool billboards_drag(editor_tools_state& tools, const editor_pointer& pointer,
                     const editor_tool_settings& settings) {
    if (!billboard_valid(tools.billboard) || !billboard_valid(tools.painted_billboard))
        return false;
    const billboard& last = billboards()[tools.painted_billboard];
    const float spacing = settings.billboard_spacing * last.size * last.factor;
    if (flat_distance2(last.x, last.z, pointer.x, pointer.z) < spacing * spacing) return false;
    for (int i = billboard_reserved_count(); i < billboard_count(); i++) {
        const billboard& b = billboards()[i];
        if (flat_distance2(b.x, b.z, pointer.x, pointer.z) < spacing * spacing) return false;
    }
    billboard_stamp(tools, pointer.x, pointer.z);
    return true;
}

bool billboards_delete(editor_tools_state& tools, const editor_pointer& pointer) {
    const int found = billboard_search(tools, pointer);
    if (found < 0 || !billboard_remove(found)) return false;
    for (int* index : {&tools.billboard, &tools.painted_billboard}) {
        if (*index == found)
            *index = -1;
        else if (*index > found)
            (*index)--;
    }
    // Taking a card away is not an edit that holds the exit back.
    return false;
}

bool billboards_height(editor_tools_state& tools, const editor_tool_settings& settings) {
    if (!billboard_valid(tools.billboard)) return false;
    billboard_set_offset(tools.billboard, settings.billboard_height);
    return true;
}

void billboards_marks(const editor_tools_state& tools, const editor_pointer& pointer,
                      std::vector<editor_mark>& marks) {
    for (int i = billboard_reserved_count(); i < billboard_count(); i++) {
        const billboard& b = billboards()[i];
        uint32_t colour = k_mark_plain;
        if (i == tools.billboard) colour = k_mark_selected;
        if (i == tools.painted_billboard) colour = k_mark_second;
        mark_add(marks, mark_cross, b.x, b.z, pointer.pick / 2, 0, colour);
        mark_add(marks, mark_circle, b.x, b.z, b.size * b.factor / 2, 0, colour);
    }
}

// ---------------------------------------------------------------------------------------------
// Statues

namespace {
constexpr float k_face_camera = 3.25f;
constexpr float k_whole_turn = 2 * k_pi_f;

bool statue_valid(int index) { return index >= 0 && index < statue_count(); }

// A new heading given to a statue by its value's form: a face-camera value stays, a heading
// is replaced, and a value far below a whole turn (upright on slopes) stays that far below.
void statue_turn(int index, float heading) {
    const float value = statues()[index].value;
    const float a = tools_wrap_angle(heading);
    if (value >= k_face_camera) return;
    statue_set_value(index, value > -k_whole_turn ? a : a - 2 * k_whole_turn);
}

bool same_look(const statue& a, const statue& b) {
    return a.model_name == b.model_name && a.texture_name == b.texture_name;
}

bool statues_delete(editor_tools_state& tools, const editor_pointer& pointer) {
    for (int i = statue_first_file(); i < statue_count(); i++) {
        const statue& s = statues()[i];
        if (!handle_hit(pointer, s.x, s.z)) continue;
        if (!statue_remove(i)) return false;
        if (tools.statue == i)
            tools.statue = -1;
        else if (tools.statue > i)
            tools.statue--;
        return true;
    }
    return false;
}

bool statues_interpolate(editor_tools_state& tools, std::string* message) {
    const int first = tools.statue, last = statue_count() - 1;
    if (last - first < 2) return false;
    const statue& s = statues()[first];
    for (int i = first + 1; i <= last; i++) {
        if (same_look(statues()[i], s)) continue;
        if (message) *message = "Bad match for interpolate!";
        return false;
    }
    const float x0 = s.x, z0 = s.z, x1 = statues()[last].x, z1 = statues()[last].z;
    for (int i = first + 1; i < last; i++) {
        const float t = static_cast<float>(i - first) / static_cast<float>(last - first);
        statue_place(i, x0 + t * (x1 - x0), z0 + t * (z1 - z0));
    }
    return true;
}
} // namespace

bool statues_press(editor_tools_state& tools, const editor_pointer& pointer, int* drag_target) {
    *drag_target = 0;
    tools.statue = -1;
    for (int i = 0; i < statue_count(); i++)
        if (handle_hit(pointer, statues()[i].x, statues()[i].z)) {
            tools.statue = i;
            *drag_target = 1;
            return false;
        }
    for (int i = 0; i < statue_count(); i++) {
        const statue& s = statues()[i];
        float hx, hz;
        turn_handle(pointer, s.x, s.z, s.value, &hx, &hz);
        if (handle_hit(pointer, hx, hz)) {
            tools.statue = i;
            *drag_target = 2;
            return false;
        }
    }
    return false;
}

bool statues_drag(editor_tools_state& tools, const editor_pointer& pointer, int drag_target) {
    if (pointer.ground_locked || !statue_valid(tools.statue)) return false;
    const statue& s = statues()[tools.statue];
    if (drag_target == 1) {
        if (s.x == pointer.x && s.z == pointer.z) return false;
        statue_place(tools.statue, pointer.x, pointer.z);
    } else if (drag_target == 2) {
        const float before = s.value;
        statue_turn(tools.statue, std::atan2(s.x - pointer.x, s.z - pointer.z));
        if (statues()[tools.statue].value == before) return false;
        statue_reground(tools.statue);
    } else {
        return false;
    }
    race_statues_refresh();
    return true;
}

bool statues_key(editor_tools_state& tools, int code, const editor_pointer& pointer,
                 std::string* message, bool* consumed) {
    if (code != 'd' && code != 'i' && code != 'x' && code != k_key_delete) return false;
    *consumed = true;
    if (pointer.ground_locked) return false;
    bool changed = false;
    if (code == 'x' || code == k_key_delete) {
        changed = statues_delete(tools, pointer);
    } else if (!statue_valid(tools.statue)) {
        return false;
    } else if (code == 'd') {
        const statue s = statues()[tools.statue];
        statue_add(pointer.x, s.offset, pointer.z, s.value, s.model_name.c_str(),
                   s.texture_name.c_str(), s.shape_name.c_str());
        changed = true;
    } else {
        changed = statues_interpolate(tools, message);
    }
    if (changed) race_statues_refresh();
    return changed;
}

bool statues_snap(editor_tools_state& tools, const editor_gradient* gradient, bool ground_locked) {
    if (ground_locked || !statue_valid(tools.statue) || !gradient || gradient->points.empty())
        return false;
    const statue& s = statues()[tools.statue];
    const float vx = s.x - gradient->x0, vz = s.z - gradient->z0;
    const float r = std::sqrt(vx * vx + vz * vz);
    float nearest = gradient->points[0].t;
    for (const profile_point& p : gradient->points)
        if (std::fabs(p.t - r) < std::fabs(nearest - r)) nearest = p.t;
    const float gx = gradient->x1 - gradient->x0, gz = gradient->z1 - gradient->z0;
    const float gl = std::sqrt(gx * gx + gz * gz);
    const float ux = gl > 0 ? gx / gl : 0, uz = gl > 0 ? gz / gl : 0;
    const float along = vx * ux + vz * uz;
    const float fx = along * ux, fz = along * uz;
    const float off_line = std::sqrt((vx - fx) * (vx - fx) + (vz - fz) * (vz - fz));
    float x, z, heading;
    if (off_line >= std::fabs(r - nearest)) {
        // Round the circle of the nearest profile point about the gradient's start.
        const float scale = r > 0 ? nearest / r : 0;
        x = gradient->x0 + vx * scale;
        z = gradient->z0 + vz * scale;
        heading = std::atan2(-vz, vx);
    } else {
        // Onto the gradient's line, facing its start.
        x = gradient->x0 + fx;
        z = gradient->z0 + fz;
        heading = std::atan2(-fx, -fz);
    }
    statue_turn(tools.statue, heading);
    statue_place(tools.statue, x, z);
    race_statues_refresh();
    return true;
}

void statues_marks(const editor_tools_state& tools, const editor_pointer& pointer,
                   const editor_tool_settings& settings, std::vector<editor_mark>& marks) {
    for (int i = 0; i < statue_count(); i++) {
        const statue& s = statues()[i];
        const uint32_t colour = i == tools.statue ? k_mark_selected : k_mark_plain;
        float hx, hz;
        turn_handle(pointer, s.x, s.z, s.value, &hx, &hz);
        mark_add(marks, mark_cross, s.x, s.z, pointer.pick / 2, 0, colour);
        mark_add(marks, mark_line, s.x, s.z, hx, hz, colour);
        mark_add(marks, mark_circle, hx, hz, pointer.pick / 2, 0, colour);
        if (!settings.show_collidable || !s.collision) continue;
        float m[9];
        statue_rotation(s, m);
        for (const shape_sphere& sp : s.collision->spheres) {
            const float cx = s.x + m[0] * sp.centre.x + m[1] * sp.centre.y + m[2] * sp.centre.z;
            const float cz = s.z + m[6] * sp.centre.x + m[7] * sp.centre.y + m[8] * sp.centre.z;
            mark_add(marks, mark_circle, cx, cz, sp.radius, 0, k_mark_second);
        }
    }
}
