// The track's lighting applied to the fixed-function pipeline, and its lens flares.
#include "track/track_gl.h"
#include "track/track_local.h"
#include "track/track_view.h"

#include "resources/gl/gl_bind.h"

#include <algorithm>
#include <cstdint>

#include <GL/gl.h>

void lighting_apply() {
    const track_lighting& l = lighting();
    // Light 0 is a directional sun; its position is taken through the current model-view.
    const float sun[4] = {l.sun_vector[0], l.sun_vector[1], l.sun_vector[2], 0};
    const float colour[4] = {l.sun_colour[0], l.sun_colour[1], l.sun_colour[2], 1};
    const float ambient[4] = {l.ambient[0], l.ambient[1], l.ambient[2], 1};
    const float global[4] = {l.global_ambient[0], l.global_ambient[1], l.global_ambient[2], 1};
    glLightfv(GL_LIGHT0, GL_POSITION, sun);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, colour);
    glLightfv(GL_LIGHT0, GL_SPECULAR, colour);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
    glEnable(GL_LIGHT0);
}

namespace {
// The view the flares were last placed in: its tangents, for drawing them in the same units.
struct flare_view {
    float tx = 1, ty = 1;
};
flare_view g_flare_view;
} // namespace

void flares_update(const float eye[3], const float rotation[9], float tx, float ty) {
    g_flare_view = {tx, ty};
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double near_plane = lighting().near_plane, far_plane = lighting().far_plane;
    for (int i = 0; i < flare_count(); i++) {
        flare& f = flare_own(i);
        f.visibility = 0;
        float distance = 0;
        if (!flare_project(f, eye, rotation, tx, ty, f.screen, &distance)) continue;
        const int x =
            std::clamp(viewport[0] + static_cast<int>((f.screen[0] / tx + 1) / 2 * viewport[2]),
                       viewport[0], viewport[0] + viewport[2] - 1);
        const int y =
            std::clamp(viewport[1] + static_cast<int>((f.screen[1] / ty + 1) / 2 * viewport[3]),
                       viewport[1], viewport[1] + viewport[3] - 1);
        uint8_t pixel[4] = {};
        float depth = 0;
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
        glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        // The depth buffer holds a perspective depth; the rule wants a share of near to far.
        const double z = 2.0 * depth - 1;
        const double eye_depth =
            2 * near_plane * far_plane / (far_plane + near_plane - z * (far_plane - near_plane));
        const float fraction =
            far_plane > near_plane
                ? static_cast<float>((eye_depth - near_plane) / (far_plane - near_plane))
                : 1.0f;
        f.visibility = flare_visibility(f.kind, distance, f.screen, tx, ty, pixel, fraction);
    }
}

void flares_draw() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-g_flare_view.tx, g_flare_view.tx, -g_flare_view.ty, g_flare_view.ty, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_TEXTURE_2D);
    for (int i = 0; i < flare_count(); i++) {
        const flare& f = flare_at(i);
        if (f.visibility <= 0) continue;
        for (int k = 0; k < f.element_count; k++) {
            const flare_element& e = f.elements[k];
            if (!e.texture) continue;
            const float cx = e.across * f.screen[1] + e.along * f.screen[0];
            const float cy = -e.across * f.screen[0] + e.along * f.screen[1];
            gl_bind_texture(e.texture);
            glColor4f(e.colour[0] * f.visibility, e.colour[1] * f.visibility,
                      e.colour[2] * f.visibility, 1);
            glBegin(GL_QUADS);
            glTexCoord2f(0, 0);
            glVertex2f(cx - e.size, cy - e.size);
            glTexCoord2f(1, 0);
            glVertex2f(cx + e.size, cy - e.size);
            glTexCoord2f(1, 1);
            glVertex2f(cx + e.size, cy + e.size);
            glTexCoord2f(0, 1);
            glVertex2f(cx - e.size, cy + e.size);
            glEnd();
        }
    }
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
