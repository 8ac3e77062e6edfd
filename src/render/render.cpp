// The GL state the whole renderer relies on, the projection and its tangents, and the text drawer.
#include "render/render_local.h"

#include "platform/log.h"
#include "track/track_view.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

namespace {
render_state g_render;

const char* gl_text(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

float no_text_width(const char* text, float height) {
    return 0.6f * height * static_cast<float>(strlen(text));
}
void no_text(const char*, float, float, float, const float*, int, bool) {}
constexpr render_text_drawer k_no_text = {no_text_width, no_text};
} // namespace

render_state& renderer() { return g_render; }
const render_text_drawer& text_drawer() { return g_render.text ? *g_render.text : k_no_text; }
void render_set_text_drawer(const render_text_drawer* drawer) { g_render.text = drawer; }

bool gl_features_init(bool flat_shading) {
    // Without a current context there is nothing to ask or set (the null platform).
    g_render.ready = glGetString(GL_VERSION) != nullptr;
    if (!g_render.ready) return false;
    log("GL_VENDOR: %s\n", gl_text(GL_VENDOR));
    log("GL_RENDERER: %s\n", gl_text(GL_RENDERER));
    log("GL_VERSION: %s\n", gl_text(GL_VERSION));
    log("GL_EXTENSIONS: %s\n", gl_text(GL_EXTENSIONS));
    gl_features_read();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.196078f, 0.6f, 0.8f, 0.0f);
    glEnable(GL_CULL_FACE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (flat_shading) glShadeModel(GL_FLAT);
    // Scaled and skinned models keep their lighting right.
    glEnable(GL_NORMALIZE);
    return true;
}

bool gl_ready() { return g_render.ready; }

view_tangents tangents_for(int width, int height, float fov) {
    const double a = fov * k_pi / 360;
    const double aspect = static_cast<double>(width) / height;
    if (aspect > 4.0 / 3.0) {
        const double ty = 0.75 * std::tan(a);
        return {static_cast<float>(ty * aspect), static_cast<float>(ty)};
    }
    const double tx = std::tan(a);
    return {static_cast<float>(tx), static_cast<float>(tx / aspect)};
}

void set_projection(int width, int height, float fov) {
    if (width <= 0 || height <= 0) return;
    g_render.tangents = tangents_for(width, height, fov);
    if (!g_render.ready) return;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double near_plane = lighting().near_plane, far_plane = lighting().far_plane;
    const double tx = g_render.tangents.tx, ty = g_render.tangents.ty;
    glFrustum(-near_plane * tx, near_plane * tx, -near_plane * ty, near_plane * ty, near_plane,
              far_plane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

view_tangents render_tangents() { return g_render.tangents; }

void render_clear() {
    if (g_render.ready) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

bool render_read_pixels(int width, int height, unsigned char* rgb) {
    if (!g_render.ready) return false;
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return true;
}

void gl_finish() {
    if (g_render.ready) glFinish();
}

void render_reset() {
    const bool ready = g_render.ready;
    const render_text_drawer* text = g_render.text;
    g_render = render_state{};
    g_render.ready = ready;
    g_render.text = text;
}
