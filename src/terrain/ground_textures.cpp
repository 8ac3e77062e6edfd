// The ground's composed textures: the method, base blocks and the tile windows around the eye
// with their stamps, the data textures of the card's methods, the per-frame schedule that keeps
// them up to date within its budgets, and the drawing of the level-of-detail mesh with them.
#include "terrain/ground_local.h"
#include "terrain/ground_shading.h"

#include "common/message.h"
#include "platform/log.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {
constexpr int k_pyramid_budget = 8000; // work units of error-pyramid recomputation a frame

// What the console says of each method, by its number.
constexpr const char* k_method_messages[] = {"", "Terrain texture rendering with TexSubImage",
                                             "Terrain texture rendering with CopyTexSubImage",
                                             "Terrain texture rendering with framebuffer objects"};
static_assert(sizeof k_method_messages / sizeof k_method_messages[0] ==
              ground_method_framebuffer + 1);

// One composed texture: colour, and the normal and specular maps when lit per pixel.
struct composed_texture {
    uint32_t colour = 0, normals = 0, specular = 0;
    int32_t stamp = 0; // 0 up to date, -1 compose before drawing, else the frame it went stale
    bool valid = false;
};

struct tile_window {
    int level = 0;
    int tiles_per_side = 0; // tiles of this level across the ground
    int origin_x = -1, origin_z = -1;
    composed_texture tiles[k_window_tiles * k_window_tiles]; // row z, then x
};

struct data_block {
    uint32_t texture = 0;
    int width = 0, height = 0; // texels
    bool dirty = false;
};

struct texturing_state {
    ground_settings settings;
    const ground_gpu* gpu = &k_ground_gpu_null;  // the card the program draws with
    const ground_gpu* card = &k_ground_gpu_null; // the one the loaded ground's textures are on
    bool ready = false;                          // textures made for the loaded ground
    int method = ground_method_software;
    bool lit_per_pixel = false;
    int size = 64; // S
    int blocks_per_side = 0;
    std::vector<composed_texture> blocks; // row z, then x
    std::vector<tile_window> windows;     // finest level first
    int data_per_side = 0;
    std::vector<int> data_texels; // per column (and row)
    std::vector<data_block> data; // row v, then u
    int data_cursor = 0;
    int refresh_frames = 0;
    int32_t frame = 1;
    float eye[3] = {};
    float view[3] = {0, 0, -1};
    float view_tangent = 0; // of the widest angle seen from the view direction; 0 unknown
    bool decals_hidden = false;
    const std::vector<ground_decal>* decals = nullptr; // the track's, kept over a reset
    std::vector<ground_decal> no_decals;
    std::vector<ground_picture> pictures; // software method
    std::vector<uint8_t> texels, scratch;
    std::vector<uint8_t> placeholder;    // of one level, for the textures being made
    int placeholder_level = -1;          // whose placeholder it is, -1 none
    int kind = ground_texture_one_level; // of the composed textures
    std::vector<int> overlapping;
    ground_mesh mesh;
    ground_statistics stats;
};
texturing_state g_tex;

// ---------------------------------------------------------------------------------------------
// The null card: ids for every texture, nothing drawn.

uint32_t g_null_next_id = 0;
bool null_current() { return true; }
bool null_has_extension(const char*) { return false; }
const char* null_renderer() { return ""; }
uint32_t null_texture_create(int, int, const uint8_t*, int) { return ++g_null_next_id; }
void null_texture_upload(uint32_t, int, int, const uint8_t*, int) {}
void null_texture_delete(uint32_t) {}
bool null_compose(const ground_compose_job&) { return true; }
void null_draw(const float*, const ground_draw_run*, int, bool, bool) {}

int size_exponent() { return ground().field.size_exponent; }
int tiles_of_level(int level) { return 1 << (size_exponent() - level); }

tile_window* window_of_level(int level) {
    for (tile_window& w : g_tex.windows)
        if (w.level == level) return &w;
    return nullptr;
}

// The tile of a window covering tile (x, z) of its level, or null.
composed_texture* window_tile(tile_window& w, int x, int z) {
    const int a = x - w.origin_x, b = z - w.origin_z;
    if (w.origin_x < 0 || a < 0 || b < 0 || a >= k_window_tiles || b >= k_window_tiles)
        return nullptr;
    return &w.tiles[b * k_window_tiles + a];
}

int composed_kind() {
    if (!g_tex.settings.mipmaps) return ground_texture_one_level;
    // The processor makes the smaller levels of what it composes itself.
    if (g_tex.method == ground_method_software) return ground_texture_given_levels;
    if (!g_tex.card->has_extension("GL_SGIS_generate_mipmap")) return ground_texture_one_level;
    return g_tex.method == ground_method_framebuffer ? ground_texture_generated_levels
                                                     : ground_texture_automatic_levels;
}

void mark_stale(composed_texture& t) {
    if (t.stamp == 0) t.stamp = g_tex.frame;
}

// Marks every block and window tile overlapping the samples [x0, x1] x [z0, z1].
void mark_textures(int x0, int z0, int x1, int z1) {
    auto overlaps = [&](int level, int tx, int tz) {
        const int side = 2 << level; // samples
        return x0 <= (tx + 1) * side && x1 >= tx * side && z0 <= (tz + 1) * side && z1 >= tz * side;
    };
    for (int bz = 0; bz < g_tex.blocks_per_side; bz++)
        for (int bx = 0; bx < g_tex.blocks_per_side; bx++)
            if (overlaps(k_block_level, bx, bz))
                mark_stale(g_tex.blocks[static_cast<size_t>(bz) * g_tex.blocks_per_side + bx]);
    for (tile_window& w : g_tex.windows) {
        if (w.origin_x < 0) continue;
        for (int b = 0; b < k_window_tiles; b++)
            for (int a = 0; a < k_window_tiles; a++)
                if (overlaps(w.level, w.origin_x + a, w.origin_z + b))
                    mark_stale(w.tiles[b * k_window_tiles + a]);
    }
}

// The samples a data texture's texel k covers, and which texture holds a square's samples.
int data_first_sample(int u) { return k_data_stride * u - k_data_border; }
int data_texture_for(int sample) {
    return std::clamp(sample / k_data_stride, 0, g_tex.data_per_side - 1);
}

// Refills a data texture from the shading (or normals), reshading what waits first.
void fill_data(int u, int v) {
    data_block& d = g_tex.data[static_cast<size_t>(v) * g_tex.data_per_side + u];
    const ground_shading_state& s = ground_shading();
    const int n = s.samples_per_side;
    const int x0 = data_first_sample(u), z0 = data_first_sample(v);
    ground_reshade_rect(x0, z0, x0 + d.width - 1, z0 + d.height - 1);
    const std::vector<uint8_t>& source = g_tex.lit_per_pixel ? s.normals : s.shading;
    g_tex.texels.resize(static_cast<size_t>(d.width) * d.height * 3);
    for (int z = 0; z < d.height; z++) {
        const int j = std::clamp(z0 + z, 0, n - 1);
        for (int x = 0; x < d.width; x++) {
            const int i = std::clamp(x0 + x, 0, n - 1);
            memcpy(&g_tex.texels[(static_cast<size_t>(z) * d.width + x) * 3],
                   &source[(static_cast<size_t>(j) * n + i) * 3], 3);
        }
    }
}

// Composes the texture of a square of 2^level ground cells at tile (tx, tz) of that level.
void compose(composed_texture& t, int level, int tx, int tz) {
    const int cells = 1 << level, cell_x = tx * cells, cell_z = tz * cells;
    const ground_state& g = ground();
    g_tex.overlapping.clear();
    if (!g_tex.decals_hidden)
        ground_decals_overlapping(ground_decals(), g.field.cell_size, cell_x, cell_z, cells,
                                  &g_tex.overlapping);
    g_tex.stats.textures_composed++;
    if (g_tex.method == ground_method_software) {
        const int x0 = 2 * cell_x - 1, z0 = 2 * cell_z - 1;
        ground_reshade_rect(x0, z0, x0 + 2 * cells + 2, z0 + 2 * cells + 2);
        ground_compose_inputs in;
        in.field = &g.field;
        in.surfaces = &g.surfaces;
        in.pictures = &g_tex.pictures;
        in.shading = ground_shading().shading.data();
        in.decals = g_tex.decals_hidden ? nullptr : &ground_decals();
        in.packed = g_tex.settings.packed_arithmetic;
        const bool levels = g_tex.kind == ground_texture_given_levels;
        g_tex.texels.resize(levels ? ground_levels_bytes(g_tex.size)
                                   : static_cast<size_t>(g_tex.size) * g_tex.size * 3);
        g_tex.stats.decals += ground_compose_software(in, cell_x, cell_z, cells, g_tex.size,
                                                      g_tex.texels.data(), &g_tex.scratch);
        if (levels) ground_make_levels(g_tex.size, g_tex.texels.data());
        g_tex.card->texture_upload(t.colour, g_tex.size, g_tex.size, g_tex.texels.data(),
                                   levels ? ground_level_count(g_tex.size) : 1);
        return;
    }
    ground_compose_job job;
    job.target = t.colour;
    job.normal_target = t.normals;
    job.specular_target = t.specular;
    job.size = g_tex.size;
    job.method = g_tex.method;
    job.cell_x = cell_x, job.cell_z = cell_z, job.cells = cells;
    const int u = data_texture_for(2 * cell_x), v = data_texture_for(2 * cell_z);
    const data_block& d = g_tex.data[static_cast<size_t>(v) * g_tex.data_per_side + u];
    job.data_texture = d.texture;
    job.data_x = data_first_sample(u), job.data_z = data_first_sample(v);
    job.data_width = d.width, job.data_height = d.height;
    job.decals = g_tex.overlapping.data();
    job.decal_count = static_cast<int>(g_tex.overlapping.size());
    job.kind = g_tex.kind;
    g_tex.stats.decals += job.decal_count;
    // An abandoned composition leaves the old content until the square goes stale again.
    g_tex.card->compose(job);
}

uint32_t create_composed(int level) {
    // Every texture of a level starts alike: the placeholder is made once for its first.
    if (g_tex.placeholder_level != level) {
        g_tex.placeholder.resize(static_cast<size_t>(g_tex.size) * g_tex.size * 3);
        ground_placeholder(level, g_tex.size, g_tex.placeholder.data());
        g_tex.placeholder_level = level;
    }
    return g_tex.card->texture_create(g_tex.size, g_tex.size, g_tex.placeholder.data(), g_tex.kind);
}

bool create_set(composed_texture& t, int level) {
    t.colour = create_composed(level);
    if (g_tex.lit_per_pixel) {
        t.normals = create_composed(level);
        t.specular = create_composed(level);
    }
    return t.colour != 0;
}

void delete_set(composed_texture& t) {
    for (uint32_t id : {t.colour, t.normals, t.specular})
        if (id) g_tex.card->texture_delete(id);
    t = composed_texture{};
}

// Moves a window over the eye, keeping the tiles that stay inside.
void move_window(tile_window& w, int origin_x, int origin_z) {
    if (origin_x == w.origin_x && origin_z == w.origin_z) return;
    composed_texture old[k_window_tiles * k_window_tiles];
    bool kept[k_window_tiles * k_window_tiles] = {};
    std::copy(std::begin(w.tiles), std::end(w.tiles), old);
    const int old_x = w.origin_x, old_z = w.origin_z;
    composed_texture* entering[k_window_tiles * k_window_tiles];
    int entered = 0;
    for (int b = 0; b < k_window_tiles; b++)
        for (int a = 0; a < k_window_tiles; a++) {
            composed_texture& slot = w.tiles[b * k_window_tiles + a];
            const int oa = origin_x + a - old_x, ob = origin_z + b - old_z;
            if (old_x >= 0 && oa >= 0 && ob >= 0 && oa < k_window_tiles && ob < k_window_tiles) {
                slot = old[ob * k_window_tiles + oa];
                kept[ob * k_window_tiles + oa] = true;
            } else {
                entering[entered++] = &slot;
            }
        }
    // The textures of the tiles that left carry the ones that entered.
    int reuse = 0;
    for (int k = 0; k < k_window_tiles * k_window_tiles; k++) {
        if (kept[k]) continue;
        composed_texture& slot = *entering[reuse++];
        slot = old[k];
        slot.valid = false;
        slot.stamp = 0;
    }
    w.origin_x = origin_x;
    w.origin_z = origin_z;
}

int eye_sample(int axis) {
    const height_field& f = ground().field;
    const float limit = static_cast<float>(f.samples_per_side);
    return static_cast<int>(
        std::floor(std::clamp(g_tex.eye[axis * 2] * f.inverse_cell_size, -limit, 2 * limit)));
}

// The finest composed texture holding a node, and where its corner lies.
ground_texture_choice choose_texture(int level, int i, int j) {
    const int e = size_exponent();
    const int node_cells = 1 << (e - level); // ground cells a side
    const int cell_x = i * node_cells, cell_z = j * node_cells;
    ground_texture_choice c;
    for (tile_window& w : g_tex.windows) {
        if ((1 << w.level) < node_cells) continue;
        composed_texture* t = window_tile(w, cell_x >> w.level, cell_z >> w.level);
        if (!t || !t->valid) continue;
        c.texture = t->colour, c.normal_map = t->normals, c.specular_map = t->specular;
        c.origin_x = (cell_x >> w.level) << (w.level + 1);
        c.origin_z = (cell_z >> w.level) << (w.level + 1);
        c.side = 2 << w.level;
        return c;
    }
    const int bx = cell_x >> k_block_level, bz = cell_z >> k_block_level;
    const composed_texture& b = g_tex.blocks[static_cast<size_t>(bz) * g_tex.blocks_per_side + bx];
    c.texture = b.colour, c.normal_map = b.normals, c.specular_map = b.specular;
    c.origin_x = bx << (k_block_level + 1);
    c.origin_z = bz << (k_block_level + 1);
    c.side = 2 << k_block_level;
    return c;
}

void refresh_data_block() {
    const int count = static_cast<int>(g_tex.data.size());
    for (int look = 0; look < count; look++) {
        const int k = g_tex.data_cursor;
        g_tex.data_cursor = (g_tex.data_cursor + 1) % count;
        data_block& d = g_tex.data[k];
        if (!d.dirty) continue;
        d.dirty = false;
        const int u = k % g_tex.data_per_side, v = k / g_tex.data_per_side;
        const int x0 = k_data_stride * u, z0 = k_data_stride * v;
        mark_textures(x0, z0, x0 + k_data_stride, z0 + k_data_stride);
        fill_data(u, v);
        g_tex.card->texture_upload(d.texture, d.width, d.height, g_tex.texels.data(), 1);
        return;
    }
}

void count_waiting() {
    int waiting = 0;
    for (const data_block& d : g_tex.data) waiting += d.dirty;
    g_tex.stats.reshades_pending = waiting;
    int32_t oldest = INT32_MAX;
    auto consider = [&](const composed_texture& t) {
        if (t.stamp > 0) oldest = std::min(oldest, t.stamp);
    };
    for (const composed_texture& b : g_tex.blocks) consider(b);
    for (const tile_window& w : g_tex.windows)
        for (const composed_texture& t : w.tiles)
            if (t.valid) consider(t);
    g_tex.stats.texture_age = oldest == INT32_MAX ? 0 : g_tex.frame - oldest;
}
} // namespace

const ground_gpu k_ground_gpu_null = {
    "null",
    null_current,
    null_has_extension,
    null_renderer,
    null_texture_create,
    null_texture_upload,
    null_texture_delete,
    null_compose,
    null_draw,
};

void ground_set_gpu(const ground_gpu* gpu) { g_tex.gpu = gpu ? gpu : &k_ground_gpu_null; }
const ground_gpu& ground_gpu_current() { return *g_tex.gpu; }

const ground_settings& ground_config() { return g_tex.settings; }
void ground_configure(const ground_settings& settings) { g_tex.settings = settings; }

void ground_set_decals(const std::vector<ground_decal>* decals) { g_tex.decals = decals; }
const std::vector<ground_decal>& ground_decals() {
    return g_tex.decals ? *g_tex.decals : g_tex.no_decals;
}

void ground_set_decals_hidden(bool hidden) {
    g_tex.decals_hidden = hidden;
    const int n = ground().field.samples_per_side;
    if (n > 0) ground_mark_dirty(0, 0, n - 1, n - 1);
}

bool ground_decals_hidden() { return g_tex.decals_hidden; }

void ground_lod_build() { lod_build(g_tex.settings.lod_factor); }

int ground_method_choose() {
    // Without a context current nothing reaches the card: the ground is then held, composed and
    // drawn by the null card, as on the server.
    g_tex.card = g_tex.gpu->current() ? g_tex.gpu : &k_ground_gpu_null;
    const int choice = g_tex.settings.render_texture;
    const bool copy = choice == 1 || choice == 3, direct = choice == 2 || choice == 4;
    g_tex.method = copy ? ground_method_copy
                   : direct && g_tex.card->has_extension("GL_EXT_framebuffer_object")
                       ? ground_method_framebuffer
                       : ground_method_software;
    show_message("%s", k_method_messages[g_tex.method]);
    const int texture_size = std::clamp(g_tex.settings.texture_size, 1, 4096);
    g_tex.size =
        g_tex.method == ground_method_framebuffer ? texture_size : std::min(texture_size, 256);
    g_tex.lit_per_pixel = (choice == 3 || choice == 4) && g_tex.settings.shader_programs &&
                          ground_shading().light.dynamic_lighting &&
                          g_tex.method != ground_method_software;
    return g_tex.method;
}

bool ground_lit_per_pixel() { return g_tex.lit_per_pixel; }

bool ground_data_textures_create() {
    const height_field& f = ground().field;
    if (!f.heights || g_tex.method == ground_method_software) return true;
    const int n = f.samples_per_side, e = f.size_exponent;
    const ground_texturing_layout layout = ground_layout_for(e);
    g_tex.data_per_side = layout.data_per_side;
    g_tex.data_texels = layout.data_texels;
    const int w = g_tex.data_per_side;
    if (debug_level() > 0) log("%dx%d low detail textures needed for %dx%d field\n", w, w, n, n);
    g_tex.data.assign(static_cast<size_t>(w) * w, data_block{});
    g_tex.data_cursor = 0;
    for (int v = 0; v < w; v++)
        for (int u = 0; u < w; u++) {
            data_block& d = g_tex.data[static_cast<size_t>(v) * w + u];
            d.width = g_tex.data_texels[u];
            d.height = g_tex.data_texels[v];
            fill_data(u, v);
            d.texture = g_tex.card->texture_create(d.width, d.height, g_tex.texels.data(),
                                                   ground_texture_data);
            if (!d.texture) {
                show_message("Error creating low LOD textures");
                return false;
            }
        }
    return true;
}

bool ground_lod_textures_create() {
    const ground_state& g = ground();
    if (!g.field.heights) return false;
    const int e = g.field.size_exponent;
    g_tex.blocks_per_side = ground_layout_for(e).blocks_per_side;
    g_tex.kind = composed_kind();
    g_tex.placeholder_level = -1;
    g_tex.blocks.assign(static_cast<size_t>(g_tex.blocks_per_side) * g_tex.blocks_per_side,
                        composed_texture{});
    for (composed_texture& b : g_tex.blocks) {
        if (!create_set(b, k_block_level)) return false;
        b.stamp = -1;
    }
    g_tex.windows.clear();
    for (int level = std::max(g_tex.settings.texture_skip, 0); level <= k_top_window_level;
         level++) {
        tile_window w;
        w.level = level;
        w.tiles_per_side = tiles_of_level(level);
        for (composed_texture& t : w.tiles)
            if (!create_set(t, level)) return false;
        g_tex.windows.push_back(w);
    }
    g_tex.pictures.clear();
    if (g_tex.method == ground_method_software)
        for (int t = 0; t < g.surfaces.count; t++)
            g_tex.pictures.push_back(ground_picture_load(g.surfaces.types[t].texture_name));
    g_tex.frame = 1;
    g_tex.refresh_frames = 0;
    g_tex.stats = ground_statistics{};
    g_tex.ready = true;
    return true;
}

void ground_textures_free() {
    for (composed_texture& b : g_tex.blocks) delete_set(b);
    for (tile_window& w : g_tex.windows)
        for (composed_texture& t : w.tiles) delete_set(t);
    for (data_block& d : g_tex.data)
        if (d.texture) g_tex.card->texture_delete(d.texture);
    const ground_settings settings = g_tex.settings;
    const ground_gpu* gpu = g_tex.gpu;
    const bool hidden = g_tex.decals_hidden;
    const std::vector<ground_decal>* decals = g_tex.decals;
    const float eye[3] = {g_tex.eye[0], g_tex.eye[1], g_tex.eye[2]};
    const float view[3] = {g_tex.view[0], g_tex.view[1], g_tex.view[2]};
    const float view_tangent = g_tex.view_tangent;
    g_tex = texturing_state{};
    g_tex.settings = settings;
    g_tex.gpu = gpu;
    g_tex.decals_hidden = hidden;
    g_tex.decals = decals;
    memcpy(g_tex.eye, eye, sizeof eye);
    memcpy(g_tex.view, view, sizeof view);
    g_tex.view_tangent = view_tangent;
    lod_free();
}

void ground_mark_dirty(int x0, int z0, int x1, int z1) {
    if (!g_tex.ready) return;
    if (x0 > x1) std::swap(x0, x1);
    if (z0 > z1) std::swap(z0, z1);
    if (g_tex.method == ground_method_software) {
        mark_textures(x0, z0, x1, z1);
        return;
    }
    for (int v = 0; v < g_tex.data_per_side; v++)
        for (int u = 0; u < g_tex.data_per_side; u++) {
            const int dx = data_first_sample(u), dz = data_first_sample(v);
            if (x0 > dx + g_tex.data_texels[u] - 1 || x1 < dx ||
                z0 > dz + g_tex.data_texels[v] - 1 || z1 < dz)
                continue;
            g_tex.data[static_cast<size_t>(v) * g_tex.data_per_side + u].dirty = true;
        }
}

void ground_refresh(int reshade_interval) {
    lod_advance(k_pyramid_budget);
    if (!g_tex.ready || g_tex.data.empty()) return;
    const int every = 1 << std::clamp(reshade_interval, 0, 30);
    if (++g_tex.refresh_frames >= every) {
        g_tex.refresh_frames = 0;
        refresh_data_block();
    }
    count_waiting();
}

void ground_refresh_full() {
    lod_advance(-1);
    if (!g_tex.ready) return;
    // The windows' origins are recomputed from the eye at every texture update, so nothing
    // needs forcing here; throwing their tiles away would only recompose them.
    if (!g_tex.data.empty()) refresh_data_block();
    count_waiting();
}

void ground_set_view(const float eye[3], const float view_direction[3], float view_tangent) {
    memcpy(g_tex.eye, eye, sizeof g_tex.eye);
    memcpy(g_tex.view, view_direction, sizeof g_tex.view);
    g_tex.view_tangent = view_tangent;
}

int ground_window_origin(int level, int eye_sample, int e) {
    return std::clamp(((eye_sample - (1 << level)) >> (level + 1)) - 1, 0,
                      std::max((1 << (e - level)) - k_window_tiles, 0));
}

void ground_texture_update() {
    if (!g_tex.ready || !ground().field.heights) return;
    g_tex.stats.decals = 0;
    g_tex.stats.textures_composed = 0;
    // 1. Blocks that must be there before the next drawing.
    for (int bz = 0; bz < g_tex.blocks_per_side; bz++)
        for (int bx = 0; bx < g_tex.blocks_per_side; bx++) {
            composed_texture& b =
                g_tex.blocks[static_cast<size_t>(bz) * g_tex.blocks_per_side + bx];
            if (b.stamp != -1) continue;
            compose(b, k_block_level, bx, bz);
            b.stamp = 0;
        }
    // 2. The windows follow the eye, coarsest first.
    const int e = size_exponent(), px = eye_sample(0), pz = eye_sample(1);
    for (auto w = g_tex.windows.rbegin(); w != g_tex.windows.rend(); ++w)
        move_window(*w, ground_window_origin(w->level, px, e),
                    ground_window_origin(w->level, pz, e));
    // 3. At most one tile that entered, per level.
    for (tile_window& w : g_tex.windows)
        for (int k = 0; k < k_window_tiles * k_window_tiles; k++) {
            composed_texture& t = w.tiles[k];
            const int tx = w.origin_x + k % k_window_tiles, tz = w.origin_z + k / k_window_tiles;
            if (t.valid || tx >= w.tiles_per_side || tz >= w.tiles_per_side) continue;
            compose(t, w.level, tx, tz);
            t.valid = true;
            t.stamp = 0;
            break;
        }
    // 4. The texture out of date the longest.
    composed_texture* oldest = nullptr;
    int level = 0, ox = 0, oz = 0;
    auto consider = [&](composed_texture& t, int l, int x, int z) {
        if (t.stamp <= 0 || (oldest && oldest->stamp <= t.stamp)) return;
        oldest = &t, level = l, ox = x, oz = z;
    };
    for (int bz = 0; bz < g_tex.blocks_per_side; bz++)
        for (int bx = 0; bx < g_tex.blocks_per_side; bx++)
            consider(g_tex.blocks[static_cast<size_t>(bz) * g_tex.blocks_per_side + bx],
                     k_block_level, bx, bz);
    for (tile_window& w : g_tex.windows)
        for (int k = 0; k < k_window_tiles * k_window_tiles; k++)
            if (w.tiles[k].valid)
                consider(w.tiles[k], w.level, w.origin_x + k % k_window_tiles,
                         w.origin_z + k / k_window_tiles);
    if (oldest) {
        compose(*oldest, level, ox, oz);
        oldest->stamp = 0;
    }
    count_waiting();
}

void ground_draw() {
    g_tex.stats.polygons = 0;
    if (!g_tex.ready || !ground().field.heights) return;
    lod_refine(g_tex.eye, g_tex.settings.full_detail_distance);
    lod_build_mesh(g_tex.eye, g_tex.view, g_tex.view_tangent, choose_texture, &g_tex.mesh);
    g_tex.card->draw(g_tex.mesh.vertices.data(), g_tex.mesh.runs.data(),
                     static_cast<int>(g_tex.mesh.runs.size()), g_tex.settings.vertex_arrays,
                     g_tex.lit_per_pixel);
    g_tex.stats.polygons = g_tex.mesh.polygons;
    g_tex.frame = g_tex.frame == INT32_MAX ? 1 : g_tex.frame + 1;
}

const ground_statistics& ground_stats() { return g_tex.stats; }
int ground_polygons_drawn() { return g_tex.stats.polygons; }

// ---------------------------------------------------------------------------------------------
// What the tests look at.

ground_texturing_layout ground_layout_for(int e) {
    ground_texturing_layout l;
    l.blocks_per_side = 1 << std::max(e - k_block_level, 0);
    const int last = 2 << e; // the last sample
    const int w = (last / 128 + 2) / 3;
    l.data_per_side = w;
    l.data_texels.assign(static_cast<size_t>(w), k_data_max_texels);
    for (int u = 0; u < w; u++) {
        if (k_data_stride * u + k_data_max_texels - k_data_border - 1 <= last) continue;
        // Past the edge: the smallest power of two over the samples left and both borders.
        const int needed = last - k_data_stride * u + 2 * k_data_border;
        int side = 1;
        while (side < needed && side < k_data_max_texels) side *= 2;
        l.data_texels[u] = side;
    }
    return l;
}

ground_texturing_layout ground_texturing_describe() {
    ground_texturing_layout l;
    l.method = g_tex.method;
    l.size = g_tex.size;
    l.blocks_per_side = g_tex.blocks_per_side;
    l.first_level = g_tex.windows.empty() ? k_top_window_level + 1 : g_tex.windows.front().level;
    l.data_per_side = g_tex.data_per_side;
    l.data_texels = g_tex.data_texels;
    return l;
}

void ground_window_now(int level, int* origin_x, int* origin_z) {
    const tile_window* w = window_of_level(level);
    *origin_x = w ? w->origin_x : -1;
    *origin_z = w ? w->origin_z : -1;
}

bool ground_tile_stamp(int level, int tile_x, int tile_z, int32_t* stamp, bool* valid) {
    tile_window* w = window_of_level(level);
    composed_texture* t = w ? window_tile(*w, tile_x, tile_z) : nullptr;
    if (!t) return false;
    *stamp = t->stamp;
    *valid = t->valid;
    return true;
}

int32_t ground_block_stamp(int block_x, int block_z) {
    return g_tex.blocks[static_cast<size_t>(block_z) * g_tex.blocks_per_side + block_x].stamp;
}

uint32_t ground_tile_texture(int level, int tile_x, int tile_z) {
    tile_window* w = window_of_level(level);
    composed_texture* t = w ? window_tile(*w, tile_x, tile_z) : nullptr;
    return t ? t->colour : 0;
}

uint32_t ground_block_texture(int block_x, int block_z) {
    return g_tex.blocks[static_cast<size_t>(block_z) * g_tex.blocks_per_side + block_x].colour;
}

bool ground_data_dirty(int u, int v) {
    return g_tex.data[static_cast<size_t>(v) * g_tex.data_per_side + u].dirty;
}

int32_t ground_frame() { return g_tex.frame; }
