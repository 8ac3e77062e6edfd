// Custom frames: a script's writable copy of a texture, pasted together from the pictures of the
// texture's image sequence and uploaded over the texture with its mip chain rebuilt.
#include "track/track_script_local.h"

#include "resources/image.h"
#include "resources/texture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
struct custom_frame {
    uint32_t texture = 0;
    std::vector<image> frames; // the texture's image sequence, as uploaded
    image copy;                // what the script has drawn, level 0 and the mip chain
};

struct canvas_state {
    std::vector<custom_frame> frames;
};
canvas_state g_canvas;

custom_frame* find(uint32_t texture) {
    for (custom_frame& f : g_canvas.frames)
        if (f.texture == texture) return &f;
    return nullptr;
}

// A fraction of a side in whole pixels, rounded to the nearest.
int pixels(double fraction, int side) {
    const double p = std::floor(fraction * side + 0.5);
    return static_cast<int>(std::clamp(p, -1e9, 1e9));
}
// Moves the start of a copied run on the source and the destination past whatever lies before
// 0 on either, shortening it as much.
void clip_start(int* from, int* to, int* length) {
    for (int* p : {from, to})
        if (*p < 0) {
            const int cut = -*p;
            *length -= cut;
            *from += cut;
            *to += cut;
        }
}
} // namespace

// The copy starts as the picture the texture shows; a later begin goes on from what was drawn.
int script_canvas_begin(uint32_t texture) {
    if (find(texture)) return 1;
    custom_frame f;
    f.texture = texture;
    if (!texture_frames(texture, &f.frames) || f.frames.empty()) return 0;
    // The pictures copied cost the script's budget as the engine's own copies do.
    for (const image& frame : f.frames) TB_SCRIPT_CHARGE(frame.pixels.size() / 64);
    const int shown = anim_shown_frame(texture);
    f.copy = f.frames[shown >= 0 && shown < static_cast<int>(f.frames.size()) ? shown : 0];
    g_canvas.frames.push_back(std::move(f));
    return 1;
}

int script_canvas_end(uint32_t texture) {
    custom_frame* f = find(texture);
    if (!f) return 0;
    image_build_mips(&f->copy, false);
    TB_SCRIPT_CHARGE(f->copy.pixels.size() / 16);
    return texture_replace_pixels(texture, f->copy) ? 1 : 0;
}

int script_canvas_paste(uint32_t texture, int frame, double sx, double sy, double dx, double dy,
                        double w, double h) {
    custom_frame* f = find(texture);
    if (!f || frame < 0 || frame >= static_cast<int>(f->frames.size())) return 0;
    const image& from = f->frames[static_cast<size_t>(frame)];
    image& to = f->copy;
    if (from.width != to.width || from.height != to.height || from.channels != to.channels)
        return 0;
    const int width = to.width, height = to.height;
    int x0 = pixels(sx, width), y0 = pixels(sy, height);
    int x1 = pixels(dx, width), y1 = pixels(dy, height);
    int cw = pixels(w, width), ch = pixels(h, height);
    // Clipped against both pictures: whatever falls outside either is left out.
    clip_start(&x0, &x1, &cw);
    clip_start(&y0, &y1, &ch);
    cw = std::min({cw, width - x0, width - x1});
    ch = std::min({ch, height - y0, height - y1});
    if (cw <= 0 || ch <= 0) return 0;
    const size_t c = static_cast<size_t>(to.channels);
    TB_SCRIPT_CHARGE(1 + static_cast<size_t>(cw) * static_cast<size_t>(ch) * c / 64);
    for (int row = 0; row < ch; row++)
        memcpy(&to.pixels[(static_cast<size_t>(y1 + row) * width + x1) * c],
               &from.pixels[(static_cast<size_t>(y0 + row) * width + x0) * c],
               static_cast<size_t>(cw) * c);
    return 1;
}

void script_canvas_clear() { g_canvas.frames.clear(); }
