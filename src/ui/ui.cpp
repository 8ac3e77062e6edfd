// HUD pictures, the driver's strings, and centred text over the frame.
#include "ui/ui.h"
#include "ui/text.h"
#include "ui/ui_local.h"

#include "common/text_format.h"
#include "render/render.h"
#include "resources/gl/gl_bind.h"
#include "resources/texture.h"

#include <GL/gl.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
struct ui_state {
    uint32_t title = 0; // the title picture's texture
    uint32_t logo = 0;  // the game's name, over the title picture
};
ui_state g_ui;

// Centred texts are laid out on a screen 480 units high.
constexpr float k_screen_units = 480;

const char* gl_text(GLenum name) {
    if (!gl_ready()) return "";
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}
} // namespace

void hud_pictures_load() {
    hud_set_pictures(texture_load("!@tach.png"), texture_load("!@shifter.png"),
                     texture_load("!@pitboard.png"));
    g_ui.title = texture_load("!@title.png");
    g_ui.logo = texture_load("!@logo.png");
}

uint32_t hud_picture_title() { return g_ui.title; }
uint32_t hud_picture_logo() { return g_ui.logo; }

std::string ui_driver_info() {
    return std::string(gl_text(GL_VENDOR)) + ", " + gl_text(GL_RENDERER) + ", " +
           gl_text(GL_VERSION);
}

bool ui_gl_extension(const char* name) {
    const char* all = gl_text(GL_EXTENSIONS);
    const size_t n = strlen(name);
    for (const char* at = strstr(all, name); at; at = strstr(at + 1, name))
        if ((at == all || at[-1] == ' ') && (at[n] == ' ' || at[n] == 0)) return true;
    return false;
}

void draw_centered_text(const char* text, float height, float below) {
    GLint viewport[4] = {};
    if (!gl_ready()) return;
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float w = static_cast<float>(viewport[2]), h = static_cast<float>(viewport[3]);
    if (w <= 0 || h <= 0) return;
    const float scale = h / k_screen_units;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float white[4] = {1, 1, 1, 1};
    text_draw_centred(font_text, text, 0, w, h / 2 - below * scale - height * scale, 0,
                      height * scale, white, text_shadowed);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void ui_overlay_begin(int width, int height, float left, float right, float bottom, float top) {
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT |
                 GL_VIEWPORT_BIT | GL_SCISSOR_BIT | GL_TEXTURE_BIT | GL_LINE_BIT);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void ui_overlay_end() {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    // The texture binding came back with the attributes, behind the binding cache's back.
    gl_bind_forget();
}

void ui_quad(float x0, float y0, float x1, float y1, float z, const float colour[4]) {
    glColor4fv(colour);
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glEnd();
}
