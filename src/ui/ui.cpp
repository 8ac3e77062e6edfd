// HUD pictures, the driver's strings, and centred text over the frame.
#include "ui/ui.h"
#include "ui/text.h"
#include "ui/ui_local.h"

#include "render/render.h"
#include "resources/texture.h"

#include <GL/gl.h>

#include <cstring>

namespace {
struct ui_state {
    uint32_t title = 0; // the title picture's texture
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
}

uint32_t hud_picture_title() { return g_ui.title; }

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
