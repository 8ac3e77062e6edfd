// The decals: textured rectangles painted onto the ground, listed in an 8 × 8 grid over it so
// the ground's composition finds the ones over each of its squares.
#include "common/loading.h"
#include "files/files.h"
#include "resources/texture.h"
#include "terrain/terrain.h"
#include "track/track_local.h"
#include "track/track_objects.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
struct decal_state {
    std::vector<ground_decal> table; // the ground composes from it where it lies
    std::vector<std::string> names;  // of each decal's picture, as the file gives it
    std::vector<int> grid[k_decal_grid][k_decal_grid]; // [z][x], ascending decal order
    decal_ground_hooks hooks;
};
decal_state g_decals;

// The whole part of v within 0 … last; anything not a number counts as 0.
int index_within(float v, int last) {
    if (!(v > 0)) return 0;
    if (v >= static_cast<float>(last)) return last;
    return static_cast<int>(v);
}

int grid_cell(float coordinate, float extent) {
    if (extent <= 0) return 0;
    return index_within(std::floor(coordinate / extent * k_decal_grid), k_decal_grid - 1);
}

// The name with its part from the last "." replaced by each ending in turn; the first that loads.
uint32_t companion(const std::string& name, const char* first, const char* second) {
    std::string base = name;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.resize(dot);
    if (uint32_t id = texture_load((base + first).c_str())) return id;
    return texture_load((base + second).c_str());
}
} // namespace

void decals_set_ground_hooks(const decal_ground_hooks* hooks) {
    g_decals.hooks = hooks ? *hooks : decal_ground_hooks{};
}

void decals_parse(const std::string& text) {
    decal_state& st = g_decals;
    text_scanner in(text);
    for (;;) {
        ground_decal d;
        char name[1024];
        int used = -1;
        int n = sscanf(in.view(), "[ %f %f ] %f %f %f %1023s %n", &d.x, &d.z, &d.angle, &d.size,
                       &d.aspect, name, &used);
        if (n < 6 || !in.advance(used)) break;
        bool loaded;
        if (st.hooks.decode_images) {
            loaded = image_load(name, &d.picture) && d.picture.width > 0;
        } else {
            d.texture = texture_load(name);
            loaded = d.texture != 0;
        }
        if (st.hooks.normal_maps) {
            d.normal_map = companion(name, "_tnorm.png", "_tnorm.ppm");
            d.specular_map = companion(name, "_tspec.png", "_tspec.ppm");
        }
        d.sine = std::sin(d.angle);
        d.cosine = std::cos(d.angle);
        if (!loaded) {
            file_problem_report("decals", in.entry_line(), "picture '%s' does not load", name);
            continue;
        }
        file_entry_line("decals", in.entry_line());
        st.table.push_back(std::move(d));
        st.names.emplace_back(name);
    }
    objects_read_stopped("decals", in);
    for (auto& row : st.grid)
        for (std::vector<int>& cell : row) cell.clear();
    ground_set_decals(&st.table);
    for (int i = 0; i < static_cast<int>(st.table.size()); i++) decal_grid_insert(i);
}

void decals_load(const char* folder) {
    loading_step_begin("Loading decals");
    std::string text;
    if (file_to_string((std::string("@") + folder + "/decals").c_str(), &text)) decals_parse(text);
    loading_step_done("Loading decals");
}

std::string decals_format() {
    std::string out;
    char line[1200];
    for (size_t i = 0; i < g_decals.table.size(); i++) {
        const ground_decal& d = g_decals.table[i];
        snprintf(line, sizeof line, "[%f %f] %f %f %f %s\n", d.x, d.z, d.angle, d.size, d.aspect,
                 g_decals.names[i].c_str());
        out += line;
    }
    return out;
}

namespace {
// The half-sizes in x and z of the rectangle on the ground a decal's picture covers.
void decal_reach(const ground_decal& d, float* hx, float* hz) {
    const float w = d.size * d.aspect, s = d.size;
    *hx = std::fabs(w / 2 * d.cosine) + std::fabs(s / 2 * d.sine);
    *hz = std::fabs(s / 2 * d.cosine) + std::fabs(w / 2 * d.sine);
}

// Tells the ground that the samples under a decal must be composed again.
void mark_under(const ground_decal& d) {
    const decal_state& st = g_decals;
    const height_field& field = ground().field;
    if (!st.hooks.mark_dirty || field.samples_per_side == 0) return;
    float hx, hz;
    decal_reach(d, &hx, &hz);
    const int last = field.samples_per_side - 1;
    auto sample = [&](float v, bool up) {
        const float cells = v * field.inverse_cell_size;
        return index_within(up ? std::ceil(cells) : std::floor(cells), last);
    };
    st.hooks.mark_dirty(sample(d.x - hx, false), sample(d.z - hz, false), sample(d.x + hx, true),
                        sample(d.z + hz, true));
}

// Takes a decal out of every grid cell and marks the ground it covered.
void grid_take_out(int index) {
    for (auto& row : g_decals.grid)
        for (std::vector<int>& cell : row) {
            auto at = std::lower_bound(cell.begin(), cell.end(), index);
            if (at != cell.end() && *at == index) cell.erase(at);
        }
    mark_under(g_decals.table[index]);
}

// Every grid entry from `from` on moves by `by` places (cells stay in ascending order).
void grid_shift(int from, int by) {
    for (auto& row : g_decals.grid)
        for (std::vector<int>& cell : row)
            for (int& entry : cell)
                if (entry >= from) entry += by;
}
} // namespace

void decal_grid_insert(int index) {
    decal_state& st = g_decals;
    const ground_decal& d = st.table[index];
    float hx, hz;
    decal_reach(d, &hx, &hz);
    const float extent = ground().field.extent;
    for (int cz = grid_cell(d.z - hz, extent); cz <= grid_cell(d.z + hz, extent); cz++)
        for (int cx = grid_cell(d.x - hx, extent); cx <= grid_cell(d.x + hx, extent); cx++) {
            std::vector<int>& cell = st.grid[cz][cx];
            auto at = std::lower_bound(cell.begin(), cell.end(), index);
            if (at == cell.end() || *at != index) cell.insert(at, index);
        }
    mark_under(d);
}

int decal_insert(int position, ground_decal d, std::string name) {
    decal_state& st = g_decals;
    position = std::clamp(position, 0, static_cast<int>(st.table.size()));
    d.sine = std::sin(d.angle);
    d.cosine = std::cos(d.angle);
    grid_shift(position, 1);
    st.table.insert(st.table.begin() + position, std::move(d));
    st.names.insert(st.names.begin() + position, std::move(name));
    ground_set_decals(&st.table);
    decal_grid_insert(position);
    return position;
}

int decal_add(ground_decal d, std::string name) {
    return decal_insert(decal_count(), std::move(d), std::move(name));
}

void decal_remove(int index) {
    decal_state& st = g_decals;
    if (index < 0 || index >= static_cast<int>(st.table.size())) return;
    grid_take_out(index);
    grid_shift(index + 1, -1);
    st.table.erase(st.table.begin() + index);
    st.names.erase(st.names.begin() + index);
}

void decal_place(int index, float x, float z, float angle) {
    decal_state& st = g_decals;
    if (index < 0 || index >= static_cast<int>(st.table.size())) return;
    grid_take_out(index);
    ground_decal& d = st.table[index];
    d.x = x;
    d.z = z;
    d.angle = angle;
    d.sine = std::sin(angle);
    d.cosine = std::cos(angle);
    decal_grid_insert(index);
}

int decal_count() { return static_cast<int>(g_decals.table.size()); }
const ground_decal& decal_at(int index) { return g_decals.table[index]; }
const std::string& decal_name(int index) { return g_decals.names[index]; }
const std::vector<int>& decal_grid_cell(int cx, int cz) {
    return g_decals.grid[std::clamp(cz, 0, k_decal_grid - 1)][std::clamp(cx, 0, k_decal_grid - 1)];
}

void decals_clear() {
    const decal_ground_hooks hooks = g_decals.hooks;
    g_decals = decal_state{};
    g_decals.hooks = hooks;
    ground_set_decals(nullptr);
}
