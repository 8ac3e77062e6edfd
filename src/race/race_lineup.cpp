// Filling the rider slots from the lineup and standing each bike on the grid.
#include "race/auto_pilot.h"
#include "race/race_local.h"
#include "race/robot_list.h"

#include "bike/bike.h"
#include "resources/resources.h"
#include "terrain/terrain.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr float k_raise_step = 0.25f; // ft
constexpr int k_raise_limit = 400;    // steps: 100 ft above the ground is surely clear

bool touches_anything(int bike, const int* others, int count) {
    if (bike_overlaps_ground(bike) || bike_overlaps_statues(bike)) return true;
    for (int i = 0; i < count; i++)
        if (others[i] != bike && bikes_overlap(bike, others[i])) return true;
    return false;
}

// The next robot of the shuffled list not yet placed whose bike name holds `part` (any when null).
int next_robot(const bool placed[k_robot_count], const char* part) {
    for (int k = 0; k < k_robot_count; k++) {
        int i = race().robot_order[k];
        if (!placed[i] && (!part || std::strstr(robot_at(i).bike, part))) return i;
    }
    return -1;
}

// The texture the setup chose for a part: the choice whose label the setup holds, "" (the
// bike's own) when there is none.
const char* chosen_texture(texture_choice_kind kind, setup_key_id key) {
    for (const texture_choice& c : texture_choices(kind))
        if (c.label == setup().text[key]) return c.name.c_str();
    return "";
}

int create_local(int slot) {
    rider_slot& s = race().slots[slot];
    const setup_values& v = setup();
    const bike_info& info = bike_info_at(v.choice[key_bike]);
    s.kind = rider_local;
    copy_text(s.name, v.text[key_name].c_str());
    copy_text(s.number, v.text[key_number].c_str());
    copy_text(s.bike_name, info.name);
    copy_text(s.descriptor[descriptor_body], chosen_texture(choice_rider_body, key_rider_texture));
    copy_text(s.descriptor[descriptor_bike], chosen_texture(choice_bike, key_bike_texture));
    copy_text(s.descriptor[descriptor_wheels], chosen_texture(choice_wheels, key_wheel_texture));
    copy_text(s.descriptor[descriptor_head], chosen_texture(choice_rider_head, key_head_texture));
    int bike = bike_create(info.name, slot, s.number, s.descriptor[descriptor_bike],
                           s.descriptor[descriptor_wheels], s.descriptor[descriptor_body],
                           s.descriptor[descriptor_head]);
    bike_params p = bike_params_of(bike);
    setup_apply_values(v, info, p);
    bike_set_params(bike, p);
    return bike;
}

int create_robot(int slot, int robot, const char* bike_name) {
    rider_slot& s = race().slots[slot];
    s.kind = rider_robot;
    s.robot = robot;
    copy_text(s.name, "Roborider");
    const robot_rider* r = robot >= 0 ? &robot_at(robot) : nullptr;
    if (r) std::snprintf(s.number, sizeof s.number, "%d", r->number);
    copy_text(s.bike_name, bike_name);
    if (r) {
        copy_text(s.descriptor[descriptor_body], r->rider_texture);
        copy_text(s.descriptor[descriptor_bike], r->bike_texture);
        copy_text(s.descriptor[descriptor_wheels], r->wheel_texture);
        copy_text(s.descriptor[descriptor_head], r->head_texture);
    }
    int bike = bike_create(bike_name, slot, s.number, s.descriptor[descriptor_bike],
                           s.descriptor[descriptor_wheels], s.descriptor[descriptor_body],
                           s.descriptor[descriptor_head]);
    // Robots keep the creation defaults, but put a foot down when slow, so a robot that fell
    // over stands its bike up and turns it back to its line.
    bike_params p = bike_params_of(bike);
    p.auto_dab = true;
    bike_set_params(bike, p);
    auto_pilot_start(slot, r ? personality_lookup(r->personality) : 1);
    return bike;
}

// The bike a lineup code puts in a slot, -1 for none.
int fill_slot(int slot, int code, bool* local_done, bool robots_placed[k_robot_count]) {
    if (code == lineup_local && *local_done) code = lineup_demo;
    switch (code) {
    case lineup_demo:
        return race_demo_rider(slot);
    case lineup_network:
        return race_network_rider(slot);
    case lineup_local:
        *local_done = true;
        return create_local(slot);
    case lineup_robot:
    case lineup_robot_125:
    case lineup_robot_250: {
        int robot = next_robot(robots_placed, code == lineup_robot       ? nullptr
                                              : code == lineup_robot_125 ? "125"
                                                                         : "250");
        if (robot < 0) return -1;
        robots_placed[robot] = true;
        return create_robot(slot, robot, robot_at(robot).bike);
    }
    default: {
        int robot =
            code >= lineup_robot_number ? robot_with_number(code - lineup_robot_number) : -1;
        if (robot < 0) return create_robot(slot, -1, "rm125");
        robots_placed[robot] = true;
        return create_robot(slot, robot, robot_at(robot).bike);
    }
    }
}
} // namespace

int race_remote_rider_create(int slot, const std::string& bike, const std::string& name,
                             const std::string& number,
                             const std::string (&fields)[k_descriptor_fields]) {
    rider_slot& s = race().slots[slot];
    s.kind = rider_remote;
    s.robot = -1;
    copy_text(s.name, name.c_str());
    copy_text(s.number, number.c_str());
    for (int i = 0; i < k_descriptor_fields; i++) copy_text(s.descriptor[i], fields[i].c_str());
    int b = bike_create(bike.c_str(), slot, s.number, s.descriptor[descriptor_bike],
                        s.descriptor[descriptor_wheels], s.descriptor[descriptor_body],
                        s.descriptor[descriptor_head]);
    copy_text(s.bike_name, bike_info_of(b).name);
    history_clear(slot);
    return b;
}

void race_place_bike(int bike, float x, float z, float heading, const int* others,
                     int other_count) {
    bike_reset(bike);
    // Bikes are built facing -z, so turning one by h makes it face (-sin h, -cos h), away from
    // the rows behind its start slot.
    bike_place(bike, {0, 1, 0}, heading);
    bike_translate(bike, {x, contact_ground_height(x, z), z});
    for (int step = 0; step < k_raise_limit && touches_anything(bike, others, other_count); step++)
        bike_translate(bike, {0, k_raise_step, 0});
    bike_prepare(bike, race_bike_tic());
}

void race_place_on_grid(int bike, int place) {
    float x, z, heading;
    grid_position(place, contact_ground_ready() ? ground().field.extent : 0.0f, &x, &z, &heading);
    int others[k_max_riders], count = 0;
    for (const rider_slot& s : race().slots)
        if (s.bike >= 0 && s.bike != bike) others[count++] = s.bike;
    race_place_bike(bike, x, z, heading, others, count);
}

void race_build_grid() {
    race_state& r = race();
    bool local_done = false;
    bool robots_placed[k_robot_count] = {};
    int last = r.params.time_trial ? 1 : k_lineup_size;
    for (int slot = 0; slot < last; slot++) {
        int code = r.params.time_trial ? lineup_local : r.lineup[slot];
        int bike = fill_slot(slot, code, &local_done, robots_placed);
        if (bike < 0) {
            r.slots[slot] = rider_slot{};
            continue;
        }
        r.slots[slot].bike = bike;
        if (!r.params.time_trial) race_place_on_grid(bike, slot);
        if (r.slots[slot].kind == rider_remote)
            bike_deactivate(bike);
        else
            bike_activate(bike);
        if (r.slots[slot].kind == rider_local) {
            vec3d p = bike_frame_position(bike);
            r.false_start_origin[0] = static_cast<float>(p.x);
            r.false_start_origin[1] = static_cast<float>(p.y);
            r.false_start_origin[2] = static_cast<float>(p.z);
        }
    }
}
