// Filling the rider slots from the lineup and standing each bike on the grid.
#include "race/race_local.h"
#include "race/robot_list.h"

#include "bike/bike_contact.h"
#include "bike/bike_info.h"
#include "bike/bike_setup.h"
#include "bike/bike_sim.h"
#include "bike/bike_snapshot.h"
#include "bike/bike_state.h"
#include "terrain/terrain.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
constexpr float k_raise_step = 0.25f; // ft
constexpr int k_raise_limit = 400;    // steps: 100 ft above the ground is surely clear

template <size_t N> void copy_text(char (&out)[N], const char* text) { std::snprintf(out, N, "%s", text); }

bike_vec3d world_point(dBodyID body, bike_vec3 local) {
    dVector3 out;
    dBodyGetRelPointPos(body, local.x, local.y, local.z, out);
    return {out[0], out[1], out[2]};
}

// The bodies carrying each collision shape.
constexpr int k_shape_body[k_bike_shape_count] = {body_frame,       body_fork_upper, body_fork_lower, body_swingarm,
                                                  body_front_wheel, body_rear_wheel, body_rider};

bike_vec3d vec_of(const dReal* v) { return {v[0], v[1], v[2]}; }

struct placed_sphere {
    bike_vec3d centre;
    double radius;
};

// Every sphere of the bike in world coordinates, each wheel as a ball round its tyre.
int bike_spheres(const bike_state& b, placed_sphere* out, int capacity) {
    int n = 0;
    for (int i = 0; i < k_bike_shape_count; i++)
        for (const shape_sphere& s : b.shapes[i].spheres)
            if (n < capacity) out[n++] = {world_point(b.bodies[k_shape_body[i]], s.centre), s.radius};
    for (const wheel_contact* w : {&b.front_contact, &b.rear_contact})
        if (n < capacity) out[n++] = {vec_of(dBodyGetPosition(w->wheel)), static_cast<double>(w->rim_radius + w->tyre_radius)};
    return n;
}

bool touches_ground(const bike_state& b) {
    ground_hit hit;
    if (wheel_ground_test(b.front_contact, &hit) && hit.depth > 0) return true;
    if (wheel_ground_test(b.rear_contact, &hit) && hit.depth > 0) return true;
    for (int i = 0; i < k_bike_shape_count; i++)
        for (const shape_sphere& s : b.shapes[i].spheres)
            if (sphere_ground_test(world_point(b.bodies[k_shape_body[i]], s.centre), s.radius, &hit)) return true;
    return false;
}

bool touches_bike(const bike_state& a, const bike_state& b) {
    const dReal* pa = dBodyGetPosition(a.bodies[body_frame]);
    const dReal* pb = dBodyGetPosition(b.bodies[body_frame]);
    bike_vec3d d{pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]};
    // Further apart than two bikes' lengths: nothing to test.
    if (d.x * d.x + d.y * d.y + d.z * d.z > 20 * 20) return false;
    placed_sphere sa[512], sb[512];
    int na = bike_spheres(a, sa, 512), nb = bike_spheres(b, sb, 512);
    for (int i = 0; i < na; i++)
        for (int j = 0; j < nb; j++) {
            bike_vec3d e{sa[i].centre.x - sb[j].centre.x, sa[i].centre.y - sb[j].centre.y, sa[i].centre.z - sb[j].centre.z};
            double r = sa[i].radius + sb[j].radius;
            if (e.x * e.x + e.y * e.y + e.z * e.z < r * r) return true;
        }
    return false;
}

bool touches_anything(int bike, const int* others, int count) {
    const bike_state& b = bike_at(bike);
    if (contact_ground_ready() && touches_ground(b)) return true;
    for (int i = 0; i < count; i++)
        if (others[i] != bike && touches_bike(b, bike_at(others[i]))) return true;
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

int create_local(int slot) {
    rider_slot& s = race().slots[slot];
    const setup_values& v = setup();
    const bike_info& info = bike_info_at(v.choice[key_bike]);
    s.kind = rider_local;
    copy_text(s.name, v.text[key_name].c_str());
    copy_text(s.number, v.text[key_number].c_str());
    copy_text(s.bike_name, info.name);
    int bike = bike_create(info.name, slot, s.number, "", "", "", "");
    bike_params p = bike_at(bike).params;
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
    return bike_create(bike_name, slot, s.number, r ? r->bike_texture : "", r ? r->wheel_texture : "",
                       r ? r->rider_texture : "", r ? r->head_texture : "");
}

// The bike a lineup code puts in a slot, -1 for none.
int fill_slot(int slot, int code, bool* local_done, bool robots_placed[k_robot_count]) {
    if (code == lineup_local && *local_done) code = lineup_demo;
    switch (code) {
    case lineup_demo:
    case lineup_network:
        // Demo riders come from the playback reader, network riders from the server.
        return -1;
    case lineup_local:
        *local_done = true;
        return create_local(slot);
    case lineup_robot:
    case lineup_robot_125:
    case lineup_robot_250: {
        int robot = next_robot(robots_placed, code == lineup_robot ? nullptr : code == lineup_robot_125 ? "125" : "250");
        if (robot < 0) return -1;
        robots_placed[robot] = true;
        return create_robot(slot, robot, robot_at(robot).bike);
    }
    default: {
        int robot = code >= lineup_robot_number ? robot_with_number(code - lineup_robot_number) : -1;
        if (robot < 0) return create_robot(slot, -1, "rm125");
        robots_placed[robot] = true;
        return create_robot(slot, robot, robot_at(robot).bike);
    }
    }
}
}

void race_place_bike(int bike, float x, float z, float heading, const int* others, int other_count) {
    bike_reset(bike);
    // Bikes are built facing -z, so turning one by h makes it face (-sin h, -cos h), away from
    // the rows behind its start slot.
    bike_place(bike, {0, 1, 0}, heading);
    bike_translate(bike, {x, contact_ground_height(x, z), z});
    for (int step = 0; step < k_raise_limit && touches_anything(bike, others, other_count); step++)
        bike_translate(bike, {0, k_raise_step, 0});
    bike_prepare(bike);
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
        if (r.slots[slot].kind == rider_remote) bike_deactivate(bike);
        else bike_activate(bike);
        if (r.slots[slot].kind == rider_local) {
            const dReal* p = dBodyGetPosition(bike_at(bike).bodies[body_frame]);
            for (int i = 0; i < 3; i++) r.false_start_origin[i] = static_cast<float>(p[i]);
        }
    }
}
