// Loading the fonts into textures and drawing text with OpenGL; the renderer's text drawer.
#include "ui/text.h"

#include "platform/log.h"
#include "render/render.h"
#include "resources/gl/gl_bind.h"
#include "resources/texture.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>

namespace {
constexpr int k_quads_per_call = 256;
// Text is sampled a little sharper than the mip level its size asks for.
constexpr float k_text_lod_bias = -0.5f;

// Each font: its file and its characters in atlas order.
struct font_file {
    font_id id;
    const char* name;
    const char* characters;
};
constexpr font_file k_font_files[] = {
    {font_text, "@font.png",
     "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz"
     "{|}~"},
    {font_numbers, "@numbers.png", "0123456789"},
    {font_numbers_condensed, "@numbers-condensed.png", "0123456789"},
};
static_assert(sizeof k_font_files / sizeof k_font_files[0] == k_font_count, "one file a font");

struct text_state {
    font fonts[k_font_count];
};
text_state g_text;

float drawer_width(const char* text, float height) {
    return text_width(g_text.fonts[font_text], text) * height;
}

void drawer_draw(const char* text, float x, float y, float height, const float colour[4], int align,
                 bool shadowed) {
    const int flags = shadowed ? text_shadowed : 0;
    if (align == 1)
        text_draw_centred(font_text, text, x, x, y, -1, height, colour, flags);
    else if (align == 2)
        text_draw_right(font_text, text, x, y, -1, height, colour, flags);
    else
        text_draw(font_text, text, x, y, -1, height, colour, flags);
}
constexpr render_text_drawer k_drawer = {drawer_width, drawer_draw};

void draw_quads(const std::vector<text_quad>& quads, float x, float y, float z, float height) {
    for (size_t first = 0; first < quads.size(); first += k_quads_per_call) {
        const size_t last = std::min(quads.size(), first + k_quads_per_call);
        glBegin(GL_QUADS);
        for (size_t i = first; i < last; i++) {
            const text_quad& q = quads[i];
            glColor4fv(q.colour);
            const float x0 = x + q.x0 * height, x1 = x + q.x1 * height;
            const float y0 = y + q.y0 * height, y1 = y + q.y1 * height;
            glTexCoord2f(q.s0, q.t1), glVertex3f(x0, y0, z);
            glTexCoord2f(q.s1, q.t1), glVertex3f(x1, y0, z);
            glTexCoord2f(q.s1, q.t0), glVertex3f(x1, y1, z);
            glTexCoord2f(q.s0, q.t0), glVertex3f(x0, y1, z);
        }
        glEnd();
    }
}
} // namespace

void fonts_load() {
    for (const font_file& file : k_font_files) {
        font& f = g_text.fonts[file.id];
        f = font{};
        image atlas;
        if (!image_load(file.name, &atlas)) {
            log("Can't open font '%.512s'\n", file.name);
            continue;
        }
        if (font_parse_atlas(&atlas, file.characters, &f) == 0) {
            log("Can't open font '%.512s'\n", file.name);
            continue;
        }
        f.texture = texture_from_image(atlas, file.name, false);
        // Fonts stay for the whole run, whatever tracks come and go.
        texture_make_permanent(f.texture);
        if (f.texture && gl_ready()) {
            gl_bind_texture(f.texture);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        }
    }
    render_set_text_drawer(&k_drawer);
}

// The textures go with every other texture at shut-down; this forgets them.
void fonts_free() {
    render_set_text_drawer(nullptr);
    g_text = text_state{};
}

const font& font_get(font_id id) { return g_text.fonts[id]; }

void text_draw(font_id id, const char* text, float x, float y, float z, float height,
               const float colour[4], int flags) {
    const font& f = g_text.fonts[id];
    if (!f.texture || !gl_ready() || !text || !*text) return;
    std::vector<text_quad> quads;
    if (flags & text_shadowed) text_layout(f, text, colour, flags, true, &quads);
    text_layout(f, text, colour, flags, false, &quads);
    if (quads.empty()) return;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, k_text_lod_bias);
    gl_bind_texture(f.texture);
    draw_quads(quads, x, y, z, height);
    glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, 0);
    glPopAttrib();
    // The attribute stack put back the binding the cache does not know about.
    gl_bind_forget();
}

void text_draw_centred(font_id id, const char* text, float left, float right, float y, float z,
                       float height, const float colour[4], int flags) {
    const float x = text_start_centred(g_text.fonts[id], text, left, right, height, flags);
    text_draw(id, text, x, y, z, height, colour, flags);
}

void text_draw_right(font_id id, const char* text, float x, float y, float z, float height,
                     const float colour[4], int flags) {
    text_draw(id, text, text_start_right(g_text.fonts[id], text, x, height, flags), y, z, height,
              colour, flags);
}
