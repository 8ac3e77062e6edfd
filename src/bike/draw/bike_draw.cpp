// Drawing one bike and its rider: every model at its body, the rider posed from the physics.
#include "bike/draw/rider_pose.h"
#include "bike/rider/bike_rider.h"
#include "bike/sim/bike_local.h"

#include "resources/gl/gl_bind.h"
#include "resources/gl/gl_programs.h"
#include "resources/model.h"

#include <GL/gl.h>

#include <array>

namespace {
pose_frame body_frame_of(dBodyID body) {
    const dReal* r = dBodyGetRotation(body);
    pose_frame f;
    f.position = vec_of(dBodyGetPosition(body));
    for (int k = 0; k < 3; k++) f.axis[k] = {r[k], r[4 + k], r[8 + k]};
    return f;
}

// Where a model is drawn: a position and a row-major rotation whose columns are the axes.
struct placement {
    float position[3];
    float rotation[9];
};

placement placement_of(const pose_frame& f) {
    placement p;
    p.position[0] = static_cast<float>(f.position.x);
    p.position[1] = static_cast<float>(f.position.y);
    p.position[2] = static_cast<float>(f.position.z);
    for (int k = 0; k < 3; k++) {
        p.rotation[k] = static_cast<float>(f.axis[k].x);
        p.rotation[3 + k] = static_cast<float>(f.axis[k].y);
        p.rotation[6 + k] = static_cast<float>(f.axis[k].z);
    }
    return p;
}

// One model of the drawing order: which slot, at which body's place, with the rider's pose.
enum model_place {
    at_frame,
    at_fork_upper,
    at_fork_lower,
    at_swingarm,
    at_front_wheel,
    at_rear_wheel,
    at_rider,
    at_head,
    k_places
};

struct drawn_model {
    int model;
    model_place place;
    bool posed;
};

struct bike_drawing {
    placement places[k_places];
    model_bone bones[k_rider_bones];
    model_pose pose;
    drawn_model models[12];
    int model_count = 0;
    uint32_t textures[12];
    // The texture's normal and specular companions (0 for none), for the shader programs.
    uint32_t normal_maps[12], specular_maps[12];
};

void add(bike_drawing& d, int model, model_place place, bool posed, uint32_t texture,
         uint32_t normal_map = 0, uint32_t specular_map = 0) {
    if (!model) return;
    d.textures[d.model_count] = texture;
    d.normal_maps[d.model_count] = normal_map;
    d.specular_maps[d.model_count] = specular_map;
    d.models[d.model_count++] = {model, place, posed};
}

void draw_models(const bike_drawing& d, const model_camera& camera, bool environment) {
    for (int k = 0; k < d.model_count; k++) {
        const drawn_model& m = d.models[k];
        const placement& p = d.places[m.place];
        const model_pose* pose = m.posed ? &d.pose : nullptr;
        gl_model_maps(d.normal_maps[k], d.specular_maps[k]);
        if (environment) {
            model_draw_env(m.model, p.position, camera, p.rotation, pose);
        } else {
            gl_bind_texture(d.textures[k]);
            model_draw(m.model, p.position, camera, p.rotation, pose);
        }
    }
}

bool any_environment_part(const bike_drawing& d) {
    for (int k = 0; k < d.model_count; k++) {
        const model_mesh* mesh = model_get(d.models[k].model);
        if (mesh && mesh->has_environment_part) return true;
    }
    return false;
}
} // namespace

void bike_draw(int bike, int mode, const model_camera& camera, float alpha, uint32_t environment) {
    const bike_state& b = bike_at(bike);
    const bike_info& info = bike_info_at(b.catalogue_index);
    const float* s = info.rider_skeleton;
    const bike_resources& r = b.resources;
    const bool first_person = mode != 0 && b.ride.knockout_tics == 0;

    // The rider is drawn leaning back from bars that came too close; the body itself is left
    // as the simulation has it.
    const pose_frame fork_upper = body_frame_of(b.bodies[body_fork_upper]);
    const pose_frame rider = rider_leaning_back(body_frame_of(b.bodies[body_rider]), fork_upper, s);

    bike_drawing d;
    constexpr int k_bodies_of_places[] = {body_frame,    body_fork_upper,  body_fork_lower,
                                          body_swingarm, body_front_wheel, body_rear_wheel};
    for (int k = 0; k < at_rider; k++)
        d.places[k] = placement_of(body_frame_of(b.bodies[k_bodies_of_places[k]]));
    d.places[at_rider] = placement_of(rider);

    // A texture slot's picture with its normal and specular companions.
    const auto maps = [&r](bike_texture_slot t) {
        return std::array<uint32_t, 3>{static_cast<uint32_t>(r.textures[t]),
                                       static_cast<uint32_t>(r.normal_maps[t]),
                                       static_cast<uint32_t>(r.specular_maps[t])};
    };
    const auto add_with = [&d](int model, model_place place, bool posed,
                               const std::array<uint32_t, 3>& m) {
        add(d, model, place, posed, m[0], m[1], m[2]);
    };
    const std::array<uint32_t, 3> bike_maps = maps(texture_bike), wheel_maps = maps(texture_wheel);
    const uint32_t number_texture = static_cast<uint32_t>(r.number_texture);
    add_with(r.models[model_frame], at_frame, false, bike_maps);
    add_with(r.models[model_fork_upper], at_fork_upper, false, bike_maps);
    add_with(r.models[model_fork_lower], at_fork_lower, false, bike_maps);
    if (!first_person) add_with(r.models[model_swingarm], at_swingarm, false, bike_maps);
    add_with(r.models[model_front_wheel], at_front_wheel, false, wheel_maps);
    if (!first_person) add_with(r.models[model_rear_wheel], at_rear_wheel, false, wheel_maps);
    if (mode != 1) {
        rider_pose_input in;
        in.rider = rider;
        in.fork_upper = fork_upper;
        rider_feet_result feet = rider_feet(b);
        in.left_foot = feet.left;
        in.right_foot = feet.right;
        in.left_foot_weight = feet.left_weight;
        in.right_foot_weight = feet.right_weight;
        in.throttle = b.ride.input.throttle;
        rider_bones_place(in, rider_joints_place(in, s), s, d.bones);
        d.pose = {k_rider_bones, d.bones};
        int body = mode == 2 && r.models[model_rider_body_fp] ? r.models[model_rider_body_fp]
                                                              : r.models[model_rider_body];
        add_with(body, at_rider, true, maps(texture_rider));
        if (mode == 0) {
            pose_frame head;
            head.position =
                frame_point(rider, {s[skeleton_head], s[skeleton_head + 1], s[skeleton_head + 2]});
            rider_head_axes(rider, vec_of(dBodyGetLinearVel(b.bodies[body_rider])), head.axis);
            d.places[at_head] = placement_of(head);
            add_with(r.models[model_rider_head], at_head, false, maps(texture_head));
        }
    }
    add(d, r.models[model_front_plate], at_fork_upper, false, number_texture);
    add(d, r.models[model_side_plates], at_frame, false, number_texture);
    if (mode == 0) add(d, r.models[model_rider_plate], at_rider, true, number_texture);

    glEnable(GL_LIGHTING);
    const float material[4] = {1, 1, 1, alpha};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, material);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    draw_models(d, camera, false);

    if (!any_environment_part(d)) {
        gl_programs_done();
        return;
    }
    // In first person the parts below the rider's view keep their reflections to themselves.
    if (first_person) {
        int kept = 0;
        for (int k = 0; k < d.model_count; k++) {
            model_place p = d.models[k].place;
            if (p == at_fork_lower || p == at_swingarm || p == at_front_wheel || p == at_rear_wheel)
                continue;
            d.textures[kept] = d.textures[k];
            d.normal_maps[kept] = d.normal_maps[k];
            d.specular_maps[kept] = d.specular_maps[k];
            d.models[kept++] = d.models[k];
        }
        d.model_count = kept;
    }
    glDisable(GL_LIGHTING);
    glBlendFunc(GL_ONE, GL_ONE);
    gl_bind_texture(environment);
    draw_models(d, camera, true);
    gl_programs_done();
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LIGHTING);
}
