// One frame of the world in its fixed order: sky, ground, bikes, statues, billboards, faded
// bikes, the robots' lines, trail markers and lens flares.
#include "render/render_local.h"
#include "render/shaders.h"

#include "bike/bike.h"
#include "platform/log.h"
#include "resources/gl/gl_bind.h"
#include "resources/model.h"
#include "resources/texture.h"
#include "terrain/terrain.h"
#include "track/track_gl.h"
#include "track/track_objects.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {
// The sky box's faces at distance 1 around the eye, corners in drawing order.
constexpr float k_sky_corners[k_sky_faces][4][3] = {
    {{-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}}, // north
    {{1, 1, -1}, {1, -1, -1}, {1, -1, 1}, {1, 1, 1}},     // east
    {{1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-1, 1, 1}},     // south
    {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}}, // west
    {{-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}, {1, 1, 1}},     // up
};
// Texture coordinates a texel in from each edge, so neighbouring faces don't bleed.
constexpr float k_sky_uvs[4][2] = {{1.0f / 128, 1.0f / 128},
                                   {1.0f / 128, 127.0f / 128},
                                   {127.0f / 128, 127.0f / 128},
                                   {127.0f / 128, 1.0f / 128}};

// The sky is drawn after the ground but behind it, at the far end of the depth range where the
// ground left the depth as cleared: the picture of a sky drawn first and covered by the ground,
// without shading the sky where the ground covers it.
void draw_sky() {
    glDepthRange(1, 1);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_FALSE);
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    const track_lighting& l = lighting();
    for (int face = 0; face < k_sky_faces; face++) {
        gl_bind_texture(l.sky[face]);
        glBegin(GL_QUADS);
        for (int k = 0; k < 4; k++) {
            glTexCoord2fv(k_sky_uvs[k]);
            glVertex3fv(k_sky_corners[face][k]);
        }
        glEnd();
    }
    glDepthMask(GL_TRUE);
    glDepthRange(0, 1);
    glDepthFunc(GL_ALWAYS);
}

// Model-view = the transpose of the camera rotation: world to camera.
void load_view_rotation(const float r[9]) {
    const float m[16] = {r[0], r[1], r[2], 0, r[3], r[4], r[5], 0, r[6], r[7], r[8], 0, 0, 0, 0, 1};
    glLoadMatrixf(m);
}

model_camera model_camera_of(const scene_camera& c) {
    model_camera m;
    for (int k = 0; k < 3; k++) m.position[k] = c.eye[k];
    // Rows: right, up, back (the rotation's columns).
    for (int axis = 0; axis < 3; axis++) rotation_column(c.rotation, axis, &m.axes[3 * axis]);
    return m;
}

// The phase clock of a timed frame: waits for the card, then adds the time since the last mark.
struct phase_clock {
    bool on;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    void mark(double* into) {
        if (!on) return;
        glFinish();
        const auto now = std::chrono::steady_clock::now();
        *into += std::chrono::duration<double, std::milli>(now - last).count();
        last = now;
    }
};

// The frame's opaque bikes, or its faded ones.
void draw_bikes(const render_frame& f, bool faded) {
    const model_camera camera = model_camera_of(f.camera);
    const uint32_t environment = lighting().environment;
    for (int k = 0; k < f.bike_count; k++) {
        const render_bike& b = f.bikes[k];
        if (b.bike < 0 || b.opacity <= 0 || (b.opacity < 1) != faded) continue;
        renderer().global_opacity = b.opacity;
        bike_draw(b.bike, b.mode, camera, b.opacity, environment);
    }
    renderer().global_opacity = 1;
}

// Statues in table order, lit and textured (turned to the camera before the frame when they ask
// to be), then the reflecting parts added over them.
void draw_statues(const scene_camera& c, const render_settings& settings) {
    const int count = statue_count();
    if (count == 0) return;
    render_state& r = renderer();
    const statue* all = statues();
    const model_camera camera = model_camera_of(c);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const float white[4] = {1, 1, 1, 1};
    const float specular[4] = {1, 1, 1, r.global_opacity};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    bool reflecting = false;
    for (int i = 0; i < count; i++) {
        const statue& s = all[i];
        if (!s.model || !s.texture || statue_out_of_sight(s, c.eye, settings.model_detail))
            continue;
        const float position[3] = {s.x, s.y, s.z};
        float rotation[9];
        statue_rotation(s, rotation);
        const model_pose pose = {static_cast<int>(s.pose.size()), s.pose.data()};
        gl_bind_texture(s.texture);
        gl_model_maps(s.normal_map, s.specular_map);
        model_draw(s.model, position, camera, rotation, s.pose.empty() ? nullptr : &pose);
        const model_mesh* mesh = model_get(s.model);
        reflecting |= mesh && mesh->has_environment_part;
    }
    if (reflecting && settings.reflections) {
        glDisable(GL_LIGHTING);
        glBlendFunc(GL_ONE, GL_ONE);
        gl_bind_texture(lighting().environment);
        for (int i = 0; i < count; i++) {
            const statue& s = all[i];
            const model_mesh* mesh = s.model && s.texture ? model_get(s.model) : nullptr;
            if (!mesh || !mesh->has_environment_part ||
                statue_out_of_sight(s, c.eye, settings.model_detail))
                continue;
            const float position[3] = {s.x, s.y, s.z};
            float rotation[9];
            statue_rotation(s, rotation);
            const model_pose pose = {static_cast<int>(s.pose.size()), s.pose.data()};
            gl_model_maps(s.normal_map, s.specular_map);
            model_draw_env(s.model, position, camera, rotation, s.pose.empty() ? nullptr : &pose);
        }
    }
    gl_programs_done();
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
}

// The robots' learned lines over the scene, white, fading with the distance from the eye so
// that the near ones read. The model-view matrix holds the eye's translation.
void draw_robot_lines(const render_frame& f) {
    if (f.line_counts.empty()) return;
    const float* eye = f.camera.eye;
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    size_t at = 0;
    for (const int count : f.line_counts) {
        glBegin(GL_LINE_STRIP);
        for (int k = 0; k < count && at + 2 < f.line_points.size(); k++, at += 3) {
            const float* p = &f.line_points[at];
            const float dx = p[0] - eye[0], dy = p[1] - eye[1], dz = p[2] - eye[2];
            const float alpha =
                std::clamp(1 - 0.001f * (dx * dx + dy * dy + dz * dz), 0.0625f, 1.0f);
            glColor4f(1, 1, 1, alpha);
            glVertex3f(p[0], p[1], p[2]);
        }
        glEnd();
    }
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}
} // namespace

const render_stats& render_statistics() { return renderer().stats; }

void render_scene(const render_frame& f) {
    render_state& r = renderer();
    if (!r.ready) return;
    const scene_camera& c = f.camera;
    const render_settings& settings = f.settings;
    // Counters, the ground's view and textures.
    r.stats = render_stats{};
    phase_clock phases{settings.time_phases};
    if (phases.on) glFinish();
    phases.last = std::chrono::steady_clock::now();
    model_draw_stats_reset();
    gl_texture_changes_reset();
    float back[3];
    rotation_column(c.rotation, 2, back);
    const float view_direction[3] = {-back[0], -back[1], -back[2]};
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const view_tangents t = tangents_for(viewport[2], viewport[3], c.fov);
    ground_set_view(c.eye, view_direction, std::sqrt(t.tx * t.tx + t.ty * t.ty));
    ground_texture_update();

    // Projection and the world-to-camera rotation.
    set_projection(viewport[2], viewport[3], c.fov);
    load_view_rotation(c.rotation);

    // Cleared buffers. The sky box has no floor: where neither it nor the ground lies (looking
    // down past the field's edge) the last frame, a menu or the HUD's translucent parts drawn
    // over and over would show. Cleared to the fog's colour, that gap reads as haze; with
    // "--fugly" the clear colour stands where the sky would be.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    const track_lighting& haze = lighting();
    GLfloat clear_colour[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear_colour);
    if (!settings.fugly && haze.fog_density > 0)
        glClearColor(haze.fog_colour[0], haze.fog_colour[1], haze.fog_colour[2], 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(clear_colour[0], clear_colour[1], clear_colour[2], clear_colour[3]);

    // Fog; the shader programs read its density whether it is on or not, so no fog is density 0.
    const track_lighting& l = lighting();
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, l.fog_density > 0 ? l.fog_density : 0);
    const float fog_colour[4] = {l.fog_colour[0], l.fog_colour[1], l.fog_colour[2], 1};
    glFogfv(GL_FOG_COLOR, fog_colour);
    if (l.fog_density > 0) glEnable(GL_FOG);

    // The eye at the origin, the lights, the ground; the sky around the eye behind it.
    glPushMatrix();
    glTranslatef(-c.eye[0], -c.eye[1], -c.eye[2]);
    lighting_apply();
    ground_draw();
    glPopMatrix();
    if (!settings.fugly) draw_sky();
    if (l.fog_density > 0) glEnable(GL_FOG);
    glTranslatef(-c.eye[0], -c.eye[1], -c.eye[2]);

    // Opaque bikes, cut out where their pictures are transparent.
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.75f);
    envmat_set(c.rotation);
    phases.mark(&r.stats.setup_ms);
    draw_bikes(f, false);
    phases.mark(&r.stats.bikes_ms);

    // Statues, billboards, then the faded bikes over them.
    draw_statues(c, settings);
    glDisable(GL_ALPHA_TEST);
    billboards_draw(c, settings.billboard_optimize_lookahead);
    phases.mark(&r.stats.rest_ms);
    draw_bikes(f, true);
    phases.mark(&r.stats.bikes_ms);

    // The robots' lines, and fog off.
    draw_robot_lines(f);
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);

    // Trail markers, and lens flares over everything.
    trail_markers_draw(c);
    glLoadIdentity();
    glDepthFunc(GL_ALWAYS);
    if (settings.lens_flare) {
        flares_update(c.eye, c.rotation, render_tangents().tx, render_tangents().ty);
        flares_draw();
    }

    gl_programs_done();
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_TEXTURE_2D);
    int triangles = 0, vertices = 0;
    model_draw_stats(&triangles, &vertices);
    r.stats.model_polygons = triangles;
    r.stats.ground_polygons = ground_polygons_drawn();
    r.stats.texture_changes = gl_texture_changes();
    phases.mark(&r.stats.rest_ms);
}
