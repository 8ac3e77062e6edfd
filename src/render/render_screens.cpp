// The loading screen and the title view, drawn flat in the plane z = -1.
#include "render/render_local.h"

#include "platform/platform.h"
#include "resources/gl/gl_bind.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {
constexpr int k_squares = 32;

void flat_state() {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
}

void square(float x, float y, float half) {
    glVertex3f(x - half, y - half, -1);
    glVertex3f(x + half, y - half, -1);
    glVertex3f(x + half, y + half, -1);
    glVertex3f(x - half, y + half, -1);
}

void restore_state() {
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glColor4f(1, 1, 1, 1);
}
} // namespace

void loading_screen_draw(const char* progress) {
    render_state& r = renderer();
    if (!r.ready) return;
    const double now = platform().clock();
    if (r.loading_started < 0) r.loading_started = now;
    const int call = r.loading_calls++;
    const float tx = r.tangents.tx, ty = r.tangents.ty;
    flat_state();
    glColor3f(0.25f, 0.25f, 0.25f);
    glBegin(GL_QUADS);
    square(0, 0, std::max(tx, ty));
    glEnd();
    glBegin(GL_TRIANGLE_FAN);
    glColor3f(0.5f, 0.5f, 0.5f);
    glVertex3f(0, 0, -1);
    glColor3f(0.25f, 0.25f, 0.25f);
    for (int k = 0; k <= 16; k++)
        glVertex3f(static_cast<float>(2 * ty * std::sin(k * k_pi / 8)),
                   static_cast<float>(2 * ty * std::cos(k * k_pi / 8)), -1);
    glEnd();
    // A wave runs along the row every two seconds; the row fades in after a quarter second.
    const double cycle = now / 2 - std::floor(now / 2);
    const int phase = static_cast<int>(std::floor(cycle * 64));
    const float f =
        std::clamp(static_cast<float>((now - r.loading_started - 0.25) * 4), 0.0f, 1.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_QUADS);
    for (int i = 0; i < k_squares; i++) {
        const float x = ty * (1 - static_cast<float>(i) / 16);
        const float half = ((phase + i) & 32) != 0 ? 3.0f / 128 * ty : 9.0f / 512 * ty;
        glColor4f(0, 0, 0, 0.1f * f);
        square(x, 0, half);
        const float grey = ((call >> i) & 1) != 0 ? 0.875f : 0.75f;
        glColor4f(grey, grey, grey, f);
        square(x, 0, 0.75f * half);
    }
    glEnd();
    if (progress && progress[0]) {
        const float white[4] = {1, 1, 1, 1};
        text_drawer().draw(progress, 0, -ty / 2, ty / 16, white, 1, true);
    }
    restore_state();
}

void title_view_draw(uint32_t picture, uint32_t logo, const char* message,
                     const char* build_label) {
    render_state& r = renderer();
    if (!r.ready) return;
    const float tx = r.tangents.tx, ty = r.tangents.ty;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    flat_state();
    // A 2:1 picture across the whole width on wide screens, else over the whole height; the logo
    // lies over the same quad, blended.
    const float half_width = tx > 2 * ty ? tx : 2 * ty;
    const float half_height = half_width / 2;
    for (const uint32_t texture : {picture, logo}) {
        if (!texture) continue;
        const bool blended = texture == logo;
        if (blended) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        gl_bind_texture(texture);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 1), glVertex3f(-half_width, -half_height, -1);
        glTexCoord2f(1, 1), glVertex3f(half_width, -half_height, -1);
        glTexCoord2f(1, 0), glVertex3f(half_width, half_height, -1);
        glTexCoord2f(0, 0), glVertex3f(-half_width, half_height, -1);
        glEnd();
        glDisable(GL_TEXTURE_2D);
        if (blended) glDisable(GL_BLEND);
    }
    const float white[4] = {1, 1, 1, 1};
    if (message && message[0]) {
        const float height = 2 * ty / 25;
        text_drawer().draw(message, -tx, ty - height, height, white, 0, false);
    }
    if (build_label && build_label[0]) {
        const float grey[4] = {0.75f, 0.75f, 0.75f, 1};
        text_drawer().draw(build_label, tx, -ty, ty / 16, grey, 2, true);
    }
    restore_state();
}
