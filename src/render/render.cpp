// The GL state the whole renderer relies on, the viewport and its projection, and the views.
// Scene drawing is not built yet: each view clears the screen and says so in the log.
#include "render/render.h"

#include "common/not_built.h"
#include "platform/log.h"

#include <GL/gl.h>

#include <cmath>

namespace {
struct render_state {
    bool ready = false;
};
render_state g_render;

const char* gl_text(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}
} // namespace

bool gl_features_init(bool flat_shading) {
    // Without a current context there is nothing to ask or set (the null platform).
    g_render.ready = glGetString(GL_VERSION) != nullptr;
    if (!g_render.ready) return false;
    log("GL_VENDOR: %s\n", gl_text(GL_VENDOR));
    log("GL_RENDERER: %s\n", gl_text(GL_RENDERER));
    log("GL_VERSION: %s\n", gl_text(GL_VERSION));
    log("GL_EXTENSIONS: %s\n", gl_text(GL_EXTENSIONS));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.196078f, 0.6f, 0.8f, 0.0f);
    glEnable(GL_CULL_FACE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (flat_shading) glShadeModel(GL_FLAT);
    return true;
}

bool gl_ready() { return g_render.ready; }

void render_set_viewport(int width, int height, float fov_degrees) {
    if (!g_render.ready || width <= 0 || height <= 0) return;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    double near_plane = 0.25, far_plane = 4000.0;
    double top = near_plane * std::tan(fov_degrees * M_PI / 360.0);
    double right = top * width / height;
    glFrustum(-right, right, -top, top, near_plane, far_plane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void render_clear() {
    if (g_render.ready) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void render_rider_camera(int) {
    log_not_built(__func__);
    render_clear();
}
void render_orbit_camera(int) {
    log_not_built(__func__);
    render_clear();
}
void render_trackside_camera(int) {
    log_not_built(__func__);
    render_clear();
}
void render_title_view() {
    log_not_built(__func__);
    render_clear();
}
void render_loading_progress(const char*) {
    log_not_built(__func__);
    render_clear();
}

bool render_read_pixels(int width, int height, unsigned char* rgb) {
    if (!g_render.ready) return false;
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return true;
}

void gl_finish() {
    if (g_render.ready) glFinish();
}
