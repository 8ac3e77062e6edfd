// The editor's drawing: the ground seen from above, the gradients with their profile graphs,
// the marks of the object tools, the brush circle and the panel.
#include "editor/editor_local.h"

#include "resources/gl/gl_bind.h"
#include "terrain/ground_shading.h"
#include "terrain/terrain.h"
#include "ui/text.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {
// The picture of the ground the view draws, rebuilt when the heights or shading change.
struct ground_picture {
    GLuint texture = 0;
    int size = 0;
    uint32_t changes = 0xffffffffu;
    int ring_index = -1, ring_count = -1;
    int generation = -1;
    float low = 0, high = 1;             // ft, the heights the colours run between, fixed per track
    uint64_t tiles = 0;                  // a digest of the tile map the picture shows
    const surface_type* types = nullptr; // the surface types the colours belong to
    std::vector<std::array<float, 3>> colours; // each type's mean colour, 0..1
};
ground_picture g_picture;

// The tile map changes under the tile painting without a change of heights.
uint64_t tiles_digest(const surface_set& set) {
    uint64_t h = 1469598103934665603ull;
    const size_t count = static_cast<size_t>(set.tiles_per_side) * set.tiles_per_side;
    for (size_t k = 0; set.tilemap && k < count; k++) h = (h ^ set.tilemap[k]) * 1099511628211ull;
    return h;
}

// Each surface type's colour as its texture's smallest mip level gives it (the mean of the
// picture); a type without a readable texture is drawn a neutral grey.
void type_colours_update() {
    const surface_set& set = ground().surfaces;
    if (g_picture.types == set.types && static_cast<int>(g_picture.colours.size()) == set.count)
        return;
    g_picture.types = set.types;
    g_picture.colours.assign(static_cast<size_t>(set.count), {0.55f, 0.55f, 0.5f});
    for (int t = 0; t < set.count; t++) {
        const uint32_t texture = set.types[t].texture;
        if (!texture) continue;
        glBindTexture(GL_TEXTURE_2D, texture);
        GLint level = 0, width = 0, height = 0;
        for (;; level++) {
            glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
            if (width <= 0 || height <= 0 || (width <= 4 && height <= 4) || level > 16) break;
        }
        if (width <= 0 || height <= 0) continue;
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        float sum[3] = {0, 0, 0};
        for (size_t k = 0; k < pixels.size(); k += 4)
            for (int c = 0; c < 3; c++) sum[c] += pixels[k + c];
        const float n = static_cast<float>(width * height) * 255.0f;
        g_picture.colours[static_cast<size_t>(t)] = {sum[0] / n, sum[1] / n, sum[2] / n};
    }
}

// Each sample: its lit shading over the colour of its surface type, lighter the higher it
// lies, so a raised patch shows at once, before its shading is recomputed, and the tile painting
// shows where each surface lies.
void picture_update() {
    const editor_state& e = editor_get();
    const height_field& field = ground().field;
    const ground_shading_state& shading = ground_shading();
    const int n = field.samples_per_side;
    type_colours_update();
    const uint64_t tiles = tiles_digest(ground().surfaces);
    if (g_picture.texture && g_picture.changes == field.changes && g_picture.tiles == tiles &&
        g_picture.ring_index == e.ring_index && g_picture.ring_count == e.ring_count &&
        g_picture.generation == ground().generation && g_picture.size == n)
        return;
    const size_t count = static_cast<size_t>(n) * n;
    // The colours keep to the track's heights as loaded, so an edit changes only its own place.
    if (g_picture.generation != ground().generation || g_picture.size != n) {
        g_picture.low = g_picture.high = field.loaded_heights[0];
        for (size_t k = 1; k < count; k++) {
            g_picture.low = std::min(g_picture.low, field.loaded_heights[k]);
            g_picture.high = std::max(g_picture.high, field.loaded_heights[k]);
        }
    }
    g_picture.changes = field.changes;
    g_picture.ring_index = e.ring_index;
    g_picture.ring_count = e.ring_count;
    g_picture.generation = ground().generation;
    g_picture.size = n;
    g_picture.tiles = tiles;
    const float lo = g_picture.low;
    const float range = g_picture.high > lo ? g_picture.high - lo : 1;
    std::vector<uint8_t> rgb(count * 3);
    const bool shaded = shading.shading.size() == count * 3;
    const surface_set& set = ground().surfaces;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            const size_t k = static_cast<size_t>(j) * n + i;
            const float f = std::clamp((field.heights[k] - lo) / range, -0.5f, 1.5f);
            const int type = set.count > 0
                                 ? surface_set_type_at(set, static_cast<float>(i) * field.cell_size,
                                                       static_cast<float>(j) * field.cell_size)
                                 : -1;
            float base[3] = {0.42f + 0.38f * f, 0.52f + 0.18f * f, 0.30f + 0.20f * f};
            if (type >= 0 && type < static_cast<int>(g_picture.colours.size()))
                for (int c = 0; c < 3; c++)
                    base[c] = g_picture.colours[static_cast<size_t>(type)][c] * (0.8f + 0.4f * f);
            for (int c = 0; c < 3; c++) {
                const float light = shaded ? shading.shading[k * 3 + c] / 128.0f : 1.0f;
                rgb[k * 3 + c] =
                    static_cast<uint8_t>(std::clamp(base[c] * light * 255.0f, 0.0f, 255.0f));
            }
        }
    if (!g_picture.texture) glGenTextures(1, &g_picture.texture);
    glBindTexture(GL_TEXTURE_2D, g_picture.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, n, n, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

// World (x, z) to the window's drawing coordinates (y up from the bottom).
struct screen_map {
    float cx, cy, inv_s;
    float view_x, view_z;
    float height;
    float sx(float x) const { return cx + (x - view_x) * inv_s; }
    float sy(float z) const { return height - (cy + (z - view_z) * inv_s); }
};

screen_map map_of(const editor_state& e) {
    return {static_cast<float>(e.width / 2),
            static_cast<float>(e.height / 2),
            1.0f / editor_scale(),
            e.view_x,
            e.view_z,
            static_cast<float>(e.height)};
}

void colour(uint32_t rgba) {
    glColor4ub(rgba >> 24, (rgba >> 16) & 255, (rgba >> 8) & 255, rgba & 255);
}

void circle(const screen_map& m, float x, float z, float r) {
    glBegin(GL_LINE_LOOP);
    for (int k = 0; k < 48; k++) {
        const float a = static_cast<float>(k) * 2 * k_pi_f / 48;
        glVertex2f(m.sx(x + r * std::cos(a)), m.sy(z + r * std::sin(a)));
    }
    glEnd();
}

void line(const screen_map& m, float x0, float z0, float x1, float z1) {
    glBegin(GL_LINES);
    glVertex2f(m.sx(x0), m.sy(z0));
    glVertex2f(m.sx(x1), m.sy(z1));
    glEnd();
}

void ground_draw_from_above(const screen_map& m) {
    const height_field& field = ground().field;
    picture_update();
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, g_picture.texture);
    // Texel centres on the samples: sample 0 at x = 0, sample n - 1 at the extent.
    const float n = static_cast<float>(field.samples_per_side);
    const float half = field.cell_size * 0.5f;
    const float x0 = -half, x1 = field.extent + half;
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(m.sx(x0), m.sy(x0));
    glTexCoord2f(1, 0), glVertex2f(m.sx(x1), m.sy(x0));
    glTexCoord2f(1, 1), glVertex2f(m.sx(x1), m.sy(x1));
    glTexCoord2f(0, 1), glVertex2f(m.sx(x0), m.sy(x1));
    glEnd();
    glDisable(GL_TEXTURE_2D);
    (void)n;
}

void gradients_draw(const editor_state& e, const screen_map& m) {
    const float pick = editor_pick() * 0.5f;
    for (int k = 0; k < static_cast<int>(e.gradients.size()); k++) {
        const editor_gradient& g = e.gradients[k];
        const bool selected = k == e.gradient;
        colour(selected ? 0xffff40ffu : 0x40c0ffc0u);
        line(m, g.x0, g.z0, g.x1, g.z1);
        circle(m, g.x0, g.z0, pick);
        circle(m, g.x1, g.z1, pick * 0.6f);
        if (!selected || g.points.empty()) continue;
        if (e.mode != mode_gradient_edit && e.mode != mode_gradient_placement &&
            (e.mode < mode_gradient_linear_paint || e.mode > mode_gradient_radial_add))
            continue;
        // The profile graph: t along +x, h along -z from the start point.
        const float t0 = g.points.front().t, t1 = g.points.back().t;
        colour(0xffffffffu);
        glBegin(GL_LINE_STRIP);
        const int steps = 200;
        for (int s = 0; s <= steps; s++) {
            const float t = t0 + (t1 - t0) * static_cast<float>(s) / steps;
            glVertex2f(m.sx(g.x0 + t), m.sy(g.z0 - profile_value(g, t)));
        }
        glEnd();
        colour(0x808080ffu);
        line(m, g.x0 + t0, g.z0, g.x0 + t1, g.z0);
        for (int p = 0; p < static_cast<int>(g.points.size()); p++) {
            colour(p == e.point ? 0xff4040ffu : 0xffffffffu);
            circle(m, g.x0 + g.points[p].t, g.z0 - g.points[p].h, pick);
        }
    }
}

void marks_draw(const std::vector<editor_mark>& marks, const screen_map& m) {
    for (const editor_mark& k : marks) {
        colour(k.rgba);
        if (k.kind == mark_line) {
            line(m, k.x0, k.z0, k.x1, k.z1);
        } else if (k.kind == mark_circle) {
            circle(m, k.x0, k.z0, k.x1);
        } else {
            line(m, k.x0 - k.x1, k.z0 - k.x1, k.x0 + k.x1, k.z0 + k.x1);
            line(m, k.x0 - k.x1, k.z0 + k.x1, k.x0 + k.x1, k.z0 - k.x1);
        }
    }
}

void panel_draw(const editor_state& e) {
    const float h = static_cast<float>(e.height);
    const std::vector<int> items = panel_visible_items();
    const std::vector<std::string> lines = panel_text_lines();
    const float rows = static_cast<float>(items.size() + lines.size());
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0, 0, 0, 0.55f);
    glBegin(GL_QUADS);
    glVertex2f(0, h), glVertex2f(k_panel_width, h);
    glVertex2f(k_panel_width, h - rows * k_panel_row - 4),
        glVertex2f(0, h - rows * k_panel_row - 4);
    glEnd();
    const float white[4] = {1, 1, 1, 1}, yellow[4] = {1, 1, 0.3f, 1},
                grey[4] = {0.8f, 0.8f, 0.8f, 1};
    const float glyph = k_panel_row - 3;
    for (int r = 0; r < static_cast<int>(items.size()); r++) {
        const int item = items[r];
        const float top = h - static_cast<float>(r * k_panel_row);
        if (item == e.hover_item) {
            glColor4f(0.3f, 0.4f, 0.8f, 0.7f);
            glBegin(GL_QUADS);
            glVertex2f(0, top), glVertex2f(k_panel_width, top);
            glVertex2f(k_panel_width, top - k_panel_row), glVertex2f(0, top - k_panel_row);
            glEnd();
        }
        if (k_panel_items[item].kind == kind_number) {
            // The slider's fill shows where the value stands in its range.
            const panel_item_record& rec = k_panel_items[item];
            const float f = std::clamp((e.values[item] - rec.minimum) / (rec.maximum - rec.minimum),
                                       0.0f, 1.0f);
            glColor4f(0.2f, 0.6f, 0.3f, 0.5f);
            glBegin(GL_QUADS);
            glVertex2f(0, top - 2), glVertex2f(f * k_panel_width, top - 2);
            glVertex2f(f * k_panel_width, top - k_panel_row + 2),
                glVertex2f(0, top - k_panel_row + 2);
            glEnd();
        }
        const float* c = item == e.mode ? yellow : white;
        text_draw(font_text, panel_item_text(item).c_str(), 4, top - k_panel_row + 2, 0, glyph, c,
                  text_shadowed);
    }
    for (int r = 0; r < static_cast<int>(lines.size()); r++) {
        const float top = h - static_cast<float>((items.size() + r) * k_panel_row);
        text_draw(font_text, lines[r].c_str(), 4, top - k_panel_row + 2, 0, glyph, grey,
                  text_shadowed | text_no_escapes);
    }
    // The tile being painted, as a swatch of its texture below the panel.
    if (e.mode == mode_tilemap_edit && ground().surfaces.count > 0) {
        const uint32_t texture = surface_type_get(static_cast<int>(e.values[item_tile])).texture;
        const float top = h - rows * k_panel_row - 8, size = 48;
        glColor4f(1, 1, 1, 1);
        if (texture) {
            glEnable(GL_TEXTURE_2D);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
            gl_bind_texture(texture);
        }
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0), glVertex2f(4, top);
        glTexCoord2f(1, 0), glVertex2f(4 + size, top);
        glTexCoord2f(1, 1), glVertex2f(4 + size, top - size);
        glTexCoord2f(0, 1), glVertex2f(4, top - size);
        glEnd();
        glDisable(GL_TEXTURE_2D);
    }
    glDisable(GL_BLEND);
}
} // namespace

void editor_draw() {
    editor_pointer_update();
    const editor_state& e = editor_get();
    glClearColor(0.08f, 0.08f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!e.prepared || !ground().field.heights) return;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, e.width, 0, e.height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_FOG);
    const screen_map m = map_of(e);
    ground_draw_from_above(m);
    gradients_draw(e, m);
    if (e.mode >= mode_timing_gate)
        marks_draw(tools_marks(e.tools, e.mode, editor_pointer_for_tools(), editor_settings()), m);
    float x, z;
    editor_pointer_world(&x, &z);
    // The brush circle in the modes that paint with it.
    const bool brush = e.mode <= mode_gradient_radial_add || e.mode == mode_tilemap_edit;
    if (brush && e.pointer_px >= k_panel_width) {
        const float r = e.values[item_radius] * editor_scale();
        colour(0xffffffc0u);
        circle(m, x, z, r);
        colour(0xffffff70u);
        circle(m, x, z, r * e.values[item_focus]);
        if (e.prev_x >= 0) {
            colour(0xffa040c0u);
            line(m, e.prev_x, e.prev_z, x, z);
        }
    }
    panel_draw(e);
    glColor4f(1, 1, 1, 1);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
