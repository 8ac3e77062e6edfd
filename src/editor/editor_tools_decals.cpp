// The editor's decal tool: picking, moving and turning decals with their group, stamping and
// painting copies at a chosen level of the drawing order, and deleting them.
#include "editor/editor_tools_local.h"
#include "terrain/terrain.h"
#include "track/track_objects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr float k_least_change = 0.001f;
constexpr float k_group_closer = 0.9375f;
constexpr float k_group_farther = 1.0666667f;

bool decal_valid(int index) { return index >= 0 && index < decal_count(); }

// Same texture and same picture.
bool alike(int a, int b) {
    return decal_at(a).texture == decal_at(b).texture && decal_name(a) == decal_name(b);
}

// Whether a decal can be picked, marked or deleted: with "Hide different" only the selected
// decal's like.
bool eligible(const editor_tools_state& tools, const editor_tool_settings& settings, int index) {
    return !settings.hide_different || !decal_valid(tools.decal) || alike(index, tools.decal);
}

bool in_group(const editor_tools_state& tools, int index) {
    return std::find(tools.decal_group.begin(), tools.decal_group.end(), index) !=
           tools.decal_group.end();
}

// Every name the tools hold for a decal at or after `position` moves with an insertion there.
void names_inserted(editor_tools_state& tools, std::vector<int>& extra, int position) {
    auto shift = [position](int& index) {
        if (index >= position) index++;
    };
    shift(tools.decal);
    for (int& m : tools.decal_group) shift(m);
    for (int& m : extra) shift(m);
}

// Where a copy of decal `index` goes in the drawing order by "Level".
int level_position(int index, int level) {
    switch (level) {
    case level_bottom:
        return 0;
    case level_under_current: {
        int k = index;
        while (k > 0 && alike(k - 1, index)) k--;
        return k;
    }
    case level_over_current: {
        int k = index;
        while (k + 1 < decal_count() && alike(k + 1, index)) k++;
        return k + 1;
    }
    default:
        return decal_count();
    }
}

// The group's new places after the selected decal went from (cx, cz, a) to where it is now:
// each keeps its offset, turned by the change of angle about the new centre.
struct leader_move {
    float cx, cz, angle;  // where the leader was
    float nx, nz, nangle; // where it is now
};
void member_place(const leader_move& m, const ground_decal& member, float* x, float* z,
                  float* angle) {
    const float delta = m.nangle - m.angle;
    const float s = std::sin(delta), c = std::cos(delta);
    const float ox = member.x - m.cx, oz = member.z - m.cz;
    *x = m.nx + ox * c + oz * s;
    *z = m.nz - ox * s + oz * c;
    *angle = member.angle + delta;
    if (*angle < -k_pi_f || *angle > k_pi_f) *angle = tools_wrap_angle(*angle);
}

void move_group(editor_tools_state& tools, const leader_move& m) {
    for (int member : tools.decal_group) {
        if (!decal_valid(member)) continue;
        float x, z, angle;
        member_place(m, decal_at(member), &x, &z, &angle);
        decal_place(member, x, z, angle);
    }
}

enum stamp_kind { stamp_at_pointer, stamp_one_spacing };

// A copy of the selected decal and its group, placed by "Orientation" from the pointer, entered
// at the "Level" position; the copies become the selection and the group.
void stamp(editor_tools_state& tools, const editor_pointer& pointer,
           const editor_tool_settings& settings, stamp_kind kind) {
    const ground_decal source = decal_at(tools.decal);
    const std::string name = decal_name(tools.decal);
    const float spacing = settings.decal_spacing * source.size;
    const float bx = source.x - spacing / 2 * source.sine;
    const float bz = source.z - spacing / 2 * source.cosine;
    const float dx = pointer.x - source.x, dz = pointer.z - source.z;
    const float length = std::sqrt(dx * dx + dz * dz);
    float x = pointer.x, z = pointer.z;
    if (kind == stamp_one_spacing) {
        const float ux = length > 0 ? dx / length : source.sine;
        const float uz = length > 0 ? dz / length : source.cosine;
        x = source.x + spacing * ux;
        z = source.z + spacing * uz;
    }
    float angle = source.angle;
    switch (settings.orientation) {
    case orient_random:
        angle = tools_random_angle(tools);
        break;
    case orient_flow:
        angle = std::atan2(-dx, -dz);
        break;
    case orient_flow2: {
        // Chained end to end: the copy's back end meets the selected decal's.
        angle = std::atan2(-(pointer.x - bx), -(pointer.z - bz));
        const float sx = spacing / 2 * std::sin(angle), sz = spacing / 2 * std::cos(angle);
        if (kind == stamp_at_pointer) {
            x = pointer.x + sx;
            z = pointer.z + sz;
        } else {
            x = bx - sx;
            z = bz - sz;
        }
        break;
    }
    case orient_uphill: {
        vec3 normal = ground_normal_at(x, z);
        const float l = std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z);
        const float nx = l > 0 ? normal.x / l : 0, nz = l > 0 ? normal.z / l : 0;
        angle = nx * nx + nz * nz < 1.0f / 1024 ? tools_random_angle(tools) : std::atan2(nx, nz);
        break;
    }
    default:
        break;
    }
    const leader_move move{source.x, source.z, source.angle, x, z, angle};
    ground_decal copy = source;
    copy.x = x;
    copy.z = z;
    copy.angle = angle;
    std::vector<int> copies;
    const int position = level_position(tools.decal, settings.level);
    names_inserted(tools, copies, position);
    tools.decal = decal_insert(position, std::move(copy), name);
    // Every name held (the new leader, the members and their copies so far) moves as each
    // member's copy goes in.
    for (size_t k = 0; k < tools.decal_group.size(); k++) {
        const int member = tools.decal_group[k];
        if (!decal_valid(member)) continue;
        ground_decal member_copy = decal_at(member);
        member_place(move, member_copy, &member_copy.x, &member_copy.z, &member_copy.angle);
        const std::string member_name = decal_name(member);
        const int at = level_position(member, settings.level);
        names_inserted(tools, copies, at);
        copies.push_back(decal_insert(at, std::move(member_copy), member_name));
    }
    tools.decal_group = copies;
}

// The decals of the tool's filter within `reach` of the pointer (centre, or with `handles`
// also the turn handle), in ascending order.
std::vector<int> decals_near(const editor_tools_state& tools, const editor_pointer& pointer,
                             const editor_tool_settings& settings, float reach, bool handles) {
    std::vector<int> found;
    for (int i = 0; i < decal_count(); i++) {
        if (!eligible(tools, settings, i)) continue;
        const ground_decal& d = decal_at(i);
        float hx, hz;
        turn_handle(pointer, d.x, d.z, d.angle, &hx, &hz);
        const float dx = pointer.x - d.x, dz = pointer.z - d.z;
        const float ex = pointer.x - hx, ez = pointer.z - hz;
        if (dx * dx + dz * dz <= reach * reach || (handles && ex * ex + ez * ez <= reach * reach))
            found.push_back(i);
    }
    return found;
}

bool remove_near(editor_tools_state& tools, const std::vector<int>& doomed) {
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
        const int gone = *it;
        decal_remove(gone);
        auto rename = [gone](int& index) {
            if (index == gone)
                index = -1;
            else if (index > gone)
                index--;
        };
        rename(tools.decal);
        for (int& m : tools.decal_group) rename(m);
        tools.decal_group.erase(std::remove(tools.decal_group.begin(), tools.decal_group.end(), -1),
                                tools.decal_group.end());
    }
    return !doomed.empty();
}
} // namespace

bool decals_press(editor_tools_state& tools, const editor_pointer& pointer,
                  const editor_tool_settings& settings, int* drag_target) {
    *drag_target = 0;
    if (decal_count() == 0) return false;
    int picked = -1;
    for (int i = 0; i < decal_count() && picked < 0; i++)
        if (eligible(tools, settings, i) && handle_hit(pointer, decal_at(i).x, decal_at(i).z)) {
            picked = i;
            *drag_target = 1;
        }
    for (int i = 0; i < decal_count() && picked < 0; i++) {
        if (!eligible(tools, settings, i)) continue;
        const ground_decal& d = decal_at(i);
        float hx, hz;
        turn_handle(pointer, d.x, d.z, d.angle, &hx, &hz);
        if (handle_hit(pointer, hx, hz)) {
            picked = i;
            *drag_target = 2;
        }
    }
    if (picked >= 0) {
        if (picked != tools.decal) tools.decal_group.clear();
        tools.decal = picked;
        return false;
    }
    if (!decal_valid(tools.decal)) return false;
    stamp(tools, pointer, settings, stamp_at_pointer);
    return true;
}

bool decals_drag(editor_tools_state& tools, const editor_pointer& pointer,
                 const editor_tool_settings& settings, int drag_target) {
    if (!decal_valid(tools.decal)) return false;
    const ground_decal& d = decal_at(tools.decal);
    leader_move move{d.x, d.z, d.angle, d.x, d.z, d.angle};
    if (drag_target == 1) {
        if (std::fabs(pointer.x - d.x) < k_least_change &&
            std::fabs(pointer.z - d.z) < k_least_change)
            return false;
        move.nx = pointer.x;
        move.nz = pointer.z;
    } else if (drag_target == 2) {
        const float angle = std::atan2(d.x - pointer.x, d.z - pointer.z);
        if (std::fabs(angle - d.angle) < k_least_change) return false;
        move.nangle = angle;
    } else {
        const float spacing = settings.decal_spacing * d.size;
        const float dx = pointer.x - d.x, dz = pointer.z - d.z;
        float distance = std::sqrt(dx * dx + dz * dz);
        if (settings.orientation == orient_flow2) {
            const float ex = pointer.x - (d.x - spacing / 2 * d.sine);
            const float ez = pointer.z - (d.z - spacing / 2 * d.cosine);
            distance = std::min(distance, std::sqrt(ex * ex + ez * ez));
        }
        if (!(distance > spacing)) return false;
        stamp(tools, pointer, settings, stamp_at_pointer);
        return true;
    }
    decal_place(tools.decal, move.nx, move.nz, move.nangle);
    move_group(tools, move);
    return true;
}

bool decals_key(editor_tools_state& tools, int code, const editor_pointer& pointer,
                const editor_tool_settings& settings, bool* consumed) {
    static constexpr char k_keys[] = "dmMxX{}";
    if (code != k_key_delete && (code <= 0 || code > 127 || !std::strchr(k_keys, code)))
        return false;
    *consumed = true;
    if (decal_count() == 0) return false;
    const float pick_reach = pointer.pick / 2;
    switch (code) {
    case 'x':
    case k_key_delete:
        return remove_near(tools, decals_near(tools, pointer, settings, pick_reach, false));
    case 'X':
        return remove_near(tools, decals_near(tools, pointer, settings, pointer.radius, false));
    default:
        break;
    }
    if (!decal_valid(tools.decal)) return false;
    if (code == 'd') {
        stamp(tools, pointer, settings, stamp_one_spacing);
        return true;
    }
    if (code == 'm' || code == 'M') {
        const float reach = code == 'm' ? pick_reach : std::max(pointer.radius, pick_reach);
        for (int i : decals_near(tools, pointer, settings, reach, true)) {
            if (i == tools.decal) continue;
            auto at = std::find(tools.decal_group.begin(), tools.decal_group.end(), i);
            if (at == tools.decal_group.end())
                tools.decal_group.push_back(i);
            else if (code == 'm')
                tools.decal_group.erase(at);
        }
        // The group is the tools' own: the track itself is unchanged.
        return false;
    }
    const float factor = code == '{' ? k_group_closer : k_group_farther;
    const ground_decal& leader = decal_at(tools.decal);
    bool moved = false;
    for (int member : tools.decal_group) {
        if (!decal_valid(member)) continue;
        const ground_decal& m = decal_at(member);
        decal_place(member, leader.x + (m.x - leader.x) * factor,
                    leader.z + (m.z - leader.z) * factor, m.angle);
        moved = true;
    }
    return moved;
}

void decals_marks(const editor_tools_state& tools, const editor_pointer& pointer,
                  const editor_tool_settings& settings, std::vector<editor_mark>& marks) {
    for (int i = 0; i < decal_count(); i++) {
        if (!eligible(tools, settings, i)) continue;
        const ground_decal& d = decal_at(i);
        uint32_t colour = k_mark_plain;
        if (in_group(tools, i)) colour = k_mark_group;
        if (i == tools.decal) colour = k_mark_selected;
        // The picture's outline: u across, v along.
        const float ux = d.cosine * d.size * d.aspect / 2, uz = -d.sine * d.size * d.aspect / 2;
        const float vx = d.sine * d.size / 2, vz = d.cosine * d.size / 2;
        const float cx[4] = {d.x - ux - vx, d.x + ux - vx, d.x + ux + vx, d.x - ux + vx};
        const float cz[4] = {d.z - uz - vz, d.z + uz - vz, d.z + uz + vz, d.z - uz + vz};
        for (int k = 0; k < 4; k++)
            mark_add(marks, mark_line, cx[k], cz[k], cx[(k + 1) % 4], cz[(k + 1) % 4], colour);
        float hx, hz;
        turn_handle(pointer, d.x, d.z, d.angle, &hx, &hz);
        mark_add(marks, mark_cross, d.x, d.z, pointer.pick / 2, 0, colour);
        mark_add(marks, mark_line, d.x, d.z, hx, hz, colour);
        mark_add(marks, mark_circle, hx, hz, pointer.pick / 2, 0, colour);
    }
}
