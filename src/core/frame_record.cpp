// Building the frame record: the view's camera, the bikes with how each is drawn and how opaque,
// the drawing settings, the HUD's feed, and the engines' sound with the listener.
#include "core/frame_record.h"
#include "core/config.h"
#include "core/hud_feed.h"
#include "core/view.h"

#include "bike/bike.h"
#include "demo/demo.h"
#include "net/net.h"
#include "race/race.h"
#include "race/robot_lines.h"
#include "race/robot_list.h"
#include "platform/log.h"
#include "resources/texture.h"
#include "track/track_objects.h"
#include "track/track_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// Opacity per rider slot: offline, recorded riders fade near the local rider.
void slot_opacities(float out[k_max_riders]) {
    for (int slot = 0; slot < k_max_riders; slot++) out[slot] = race_slot_opacity(slot);
    if (net_connected()) return;
    const int local = race_local_slot();
    if (local < 0 || !bike_live(race_slot(local).bike)) return;
    const vec3d at = bike_frame_position(race_slot(local).bike);
    const float fade = static_cast<float>(config().ghost_fade_distance);
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = race_slot(slot);
        if (s.kind != rider_remote || !bike_live(s.bike)) continue;
        const vec3d p = bike_frame_position(s.bike);
        const double d = std::sqrt((p.x - at.x) * (p.x - at.x) + (p.y - at.y) * (p.y - at.y) +
                                   (p.z - at.z) * (p.z - at.z));
        out[slot] *= ghost_opacity(static_cast<float>(d), fade);
    }
}

render_settings drawing_settings() {
    const settings& s = config();
    render_settings r;
    r.billboard_optimize_lookahead = s.billboard_optimize_lookahead;
    r.lens_flare = s.lens_flare != 0;
    r.reflections = graphics().reflections_on != 0;
    r.model_detail = static_cast<float>(s.model_detail);
    r.fugly = program().options.flat_shading;
    return r;
}

// A remote rider without a state within the last second is not heard; online, neither is one the
// local rider would not collide with.
bool slot_heard(int slot) {
    const rider_slot& s = race_slot(slot);
    if (s.kind != rider_remote) return true;
    const int newest = history_newest_tic(slot);
    if (newest < 0 || race_clock() - newest > k_tics_per_second) return false;
    if (!net_connected()) return true;
    const int local = race_local_slot();
    return local < 0 || race_collides_online(local, slot, newest);
}

// What the race shows of a slot: a remote rider only while heard, and a watching player's own
// bike only when the camera follows it.
bool slot_drawn(int slot, int viewed_slot) {
    if (!slot_heard(slot)) return false;
    return !(race_params().watching && race_slot(slot).kind == rider_local && slot != viewed_slot);
}

// Every slot's live bike in slot order: the viewed rider's own, seen through its eyes, is drawn
// without the parts its rider cannot see.
void add_bikes(render_frame& f) {
    float opacity[k_max_riders];
    slot_opacities(opacity);
    const bool hide_rider = config().hide_rider != 0;
    f.bike_count = 0;
    for (int slot = 0; slot < k_max_riders; slot++) {
        const int bike = race_slot(slot).bike;
        // A robot gone from the track has no place in the frame; a ghost faded out keeps it.
        if (!bike_live(bike) || !slot_drawn(slot, f.camera.viewed_slot) ||
            race_slot_opacity(slot) <= 0)
            continue;
        render_bike& b = f.bikes[f.bike_count++];
        b.bike = bike;
        b.opacity = opacity[slot];
        b.mode = slot != f.camera.viewed_slot ? bike_whole
                 : hide_rider                 ? bike_without_rider
                                              : bike_first_person;
    }
}

// The slot's voice name: a robot's bike texture, else the bike model's own texture.
const char* sound_name_of(const rider_slot& s, int bike) {
    if (s.kind == rider_robot && s.robot >= 0 && robot_at(s.robot).bike_texture[0])
        return robot_at(s.robot).bike_texture;
    return bike_info_of(bike).bike_texture;
}

// The camera the program's view draws the world from; false for a view that draws none.
bool view_camera(const program_state& p, scene_camera* out) {
    switch (p.view) {
    case rider_camera: {
        const int bike = race_slot(p.viewed_slot).bike;
        if (!bike_live(bike)) return false;
        *out = rider_camera_of(bike, p.viewed_slot, static_cast<float>(config().fov));
        return true;
    }
    case orbit_camera:
        *out = orbit_camera_now();
        return true;
    case trackside_camera:
        *out = trackside_camera_now(view_settings().trackside_choice);
        return true;
    case editor_view:
    case title_view:
        break;
    }
    return false;
}

// "--print-orientation": the rider camera's eye and the rider's own axes, once a drawn frame.
void print_orientation(int bike, const scene_camera& c) {
    const vec3d x = bike_body_axis(bike, body_rider, 0), z = bike_body_axis(bike, body_rider, 2);
    printf("t=%f p0=%f p1=%f p2=%f x0=%f x1=%f x2=%f z0=%f z1=%f z2=%f\n",
           race_clock() * k_tic_length, c.eye[0], c.eye[1], c.eye[2], x.x, x.y, x.z, z.x, z.y, z.z);
}

// The engines are heard from the camera the frame is drawn from: its eye, its right axis and
// the way it moves. A trackside camera stands still; the orbit camera goes along with its bike.
// The views that draw no world (the editor's, the title's) listen from the viewed rider's eyes.
bool listener_of_view(const program_state& p, sound_listener* out) {
    const int viewed = race_slot(p.viewed_slot).bike;
    const bool viewed_live = viewed >= 0 && bike_live(viewed);
    scene_camera c;
    if (!view_camera(p, &c)) {
        if (!viewed_live) return false;
        c = rider_camera_of(viewed, p.viewed_slot, static_cast<float>(config().fov));
    }
    out->position = {c.eye[0], c.eye[1], c.eye[2]};
    out->velocity = {c.velocity[0], c.velocity[1], c.velocity[2]};
    if (p.view == orbit_camera && viewed_live) out->velocity = bike_frame_velocity(viewed);
    out->right = {c.rotation[0], c.rotation[3], c.rotation[6]};
    return true;
}
} // namespace

float ghost_opacity(float distance, float fade_distance) {
    const float half = fade_distance / 2;
    if (half <= 0) return 1;
    return std::clamp((distance - half) / half, 0.0f, 1.0f);
}

frame_record frame_record_build() {
    const program_state& p = program();
    frame_record f;
    f.view = p.view;
    f.world = view_camera(p, &f.scene.camera);
    if (f.world && p.view == rider_camera && p.options.print_orientation)
        print_orientation(race_slot(p.viewed_slot).bike, f.scene.camera);
    if (f.world) f.scene = world_frame(f.scene.camera);
    f.hud = hud_frame_now();
    return f;
}

render_frame world_frame(const scene_camera& camera) {
    render_frame f;
    f.camera = camera;
    f.settings = drawing_settings();
    add_bikes(f);
    // At the highest log level every line of the robots' library is drawn over the scene.
    if (debug_level() >= 2) lines_as_strips(&f.line_points, &f.line_counts);
    return f;
}

void world_prepare(const render_frame& f) {
    flaggers_update(race_flagger_view());
    billboards_take_roost();
    anim_update(race_clock());
    statues_face_camera(f.camera.eye, f.settings.model_detail);
}

sound_frame sound_frame_build() {
    const program_state& p = program();
    sound_frame f;
    float loudness = 0;
    if (!p.paused && p.view != editor_view)
        loudness = menu_page() == menu_none ? 1.0f : p.riding ? 0.0f : 0.25f;
    f.has_listener = listener_of_view(p, &f.listener);
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = race_slot(slot);
        if (s.bike < 0 || !bike_live(s.bike)) continue;
        sound_source& source = f.sources[slot];
        float volume = loudness * config().volume * 0.1f * demo_rider_volume(slot);
        if (slot != p.viewed_slot) volume *= config().comp_volume * 0.1f;
        if (!slot_heard(slot)) volume = 0;
        volume *= race_slot_opacity(slot);
        source.bike = s.bike;
        source.catalogue = bike_catalogue_index(s.bike);
        source.engine_class = bike_info_of(s.bike).bike_class;
        source.sound_name = sound_name_of(s, s.bike);
        source.volume = volume;
        source.engine.rpm = engine_rpm(s.bike);
        source.engine.torque = engine_torque(s.bike);
        source.engine.position = bike_body_position(s.bike, body_frame);
        source.engine.velocity = bike_body_velocity(s.bike, body_frame);
    }
    return f;
}
