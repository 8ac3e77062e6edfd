// The render statistics lines: the last frame's counts of the renderer and the ground, and
// their running maxima.
#include "core/hud_feed.h"
#include "common/text_format.h"

#include "render/render.h"
#include "terrain/terrain.h"

#include <algorithm>

namespace {
// The running maxima of the render statistics.
struct render_maxima {
    int ground = 0, models = 0, billboards = 0, decals = 0, textures = 0, shaders = 0;
};
render_maxima g_maxima;
} // namespace

void hud_render_stats_update() {
    const render_stats& r = render_statistics();
    const ground_statistics& g = ground_stats();
    render_maxima& m = g_maxima;
    m.ground = std::max(m.ground, g.polygons);
    m.models = std::max(m.models, r.model_polygons);
    m.billboards = std::max(m.billboards, r.billboards);
    m.decals = std::max(m.decals, g.decals);
    m.textures = std::max(m.textures, r.texture_changes);
    m.shaders = std::max(m.shaders, r.shader_changes);
}

void hud_render_stats_reset() { g_maxima = render_maxima{}; }

std::string hud_render_stats_text(int line) {
    const render_stats& r = render_statistics();
    const ground_statistics& g = ground_stats();
    const render_maxima& m = g_maxima;
    // Each line: its label, the last frame's count and the running maximum (-1: none kept).
    const struct {
        const char* label;
        int now, most;
    } lines[k_render_stats_lines] = {
        {"Ground polygons", g.polygons, m.ground},
        {"Model polygons", r.model_polygons, m.models},
        {"Billboards", r.billboards, m.billboards},
        {"Decals", g.decals, m.decals},
        {"Texture Changes", r.texture_changes, m.textures},
        {"Shader Changes", r.shader_changes, m.shaders},
        {"Terrain texture age", g.texture_age, -1},
        {"Reshades pending", g.reshades_pending, -1},
    };
    if (line < 0 || line >= k_render_stats_lines) return "";
    const auto& l = lines[line];
    return l.most < 0 ? text_format("%s - %d", l.label, l.now)
                      : text_format("%s - %d max=%d", l.label, l.now, l.most);
}
