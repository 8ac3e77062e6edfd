// The loaded ground: reading and writing a track folder's heights, surfaces and tile map.
#include "terrain/terrain.h"

#include "common/file_problems.h"
#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "platform/memory.h"
#include "resources/texture.h"
#include "terrain/ground_local.h"
#include "terrain/ground_shading.h"
#include "terrain/terrain_image.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {
struct terrain_state {
    ground_state ground;
    texture_loader load_texture = texture_load;
};
terrain_state g_terrain;

std::string track_file(const char* folder, const char* name) {
    return std::string("@") + folder + "/" + name;
}
} // namespace

const ground_state& ground() { return g_terrain.ground; }
ground_state& ground_own() { return g_terrain.ground; }

void ground_create(int size_exponent, float cell_size, float min_height, float max_height) {
    height_field_create(&g_terrain.ground.field, size_exponent, cell_size, min_height, max_height);
    height_field_loaded(&g_terrain.ground.field);
}

void ground_set_locked(bool locked) { g_terrain.ground.locked = locked; }
void ground_mark_saved() { g_terrain.ground.modified = false; }
void ground_mark_heights_committed() { g_terrain.ground.heights_changed = false; }
void ground_count_height_change() { g_terrain.ground.field.changes++; }

void ground_set_tile(int x, int z, int type) {
    surface_set& set = g_terrain.ground.surfaces;
    const int n = set.tiles_per_side;
    if (!set.tilemap || set.count == 0 || x < 0 || z < 0 || x >= n || z >= n) return;
    set.tilemap[static_cast<size_t>(z) * n + x] =
        static_cast<uint8_t>(std::clamp(type, 0, set.count - 1));
}

void ground_free() {
    ground_textures_free();
    height_field_free(&g_terrain.ground.field);
    surface_set_free(&g_terrain.ground.surfaces);
    g_terrain.ground.locked = false;
    g_terrain.ground.modified = false;
    g_terrain.ground.heights_changed = false;
    g_terrain.ground.generation++;
}

void ground_set_texture_loader(texture_loader load) { g_terrain.load_texture = load; }

bool height_field_load(const char* folder) {
    height_field& field = g_terrain.ground.field;
    std::string name = track_file(folder, "terrain.hf");
    std::string bytes;
    if (!file_to_string(name.c_str(), &bytes)) {
        show_message("Can't open '%.950s'", (std::string(folder) + "/terrain.hf").c_str());
        file_problem_report("terrain.hf", 0, "missing or unreadable");
        return false;
    }
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    height_field_header header;
    if (!height_field_parse_header(data, bytes.size(), &header)) {
        show_message("Bad height field parameters");
        show_message("Error reading heights");
        file_problem_report("terrain.hf", 1, "bad header: size exponent, cell size and heights");
        return false;
    }
    g_terrain.ground.generation++;
    height_field_create(&field, header.size_exponent, header.cell_size, header.min_height,
                        header.max_height);
    size_t count = static_cast<size_t>(field.samples_per_side) * field.samples_per_side;
    std::vector<uint16_t> samples;
    if (header.has_body) {
        // A short body reads as the highest height everywhere it is missing.
        const size_t body_size = bytes.size() - header.body_offset;
        if (body_size < 2 * count)
            file_problem_report("terrain.hf", 0, "the heights end after %zu of %zu samples",
                                body_size / 2, count);
        height_field_fill_from_body(&field, data + header.body_offset,
                                    bytes.size() - header.body_offset);
        if (debug_level() >= 2) {
            samples.resize(count);
            const uint8_t* body = data + header.body_offset;
            size_t size = bytes.size() - header.body_offset;
            for (size_t k = 0; k < count; k++)
                samples[k] =
                    static_cast<uint16_t>((2 * k < size ? body[2 * k] : 0xFF) |
                                          (2 * k + 1 < size ? body[2 * k + 1] : 0xFF) << 8);
        }
    } else {
        terrain_image image;
        if (terrain_image_read_grey16(track_file(folder, "terrain.png").c_str(), &image)) {
            height_field_fill_from_image(&field, image.pixels.data(), image.width, image.height);
            if (image.width < field.samples_per_side || image.height < field.samples_per_side)
                file_problem_report("terrain.png", 0,
                                    "%dx%d pixels, smaller than the %dx%d heights", image.width,
                                    image.height, field.samples_per_side, field.samples_per_side);
            if (debug_level() >= 2) {
                samples.resize(count);
                int n = field.samples_per_side;
                for (int j = 0; j < n; j++)
                    for (int i = 0; i < n; i++)
                        samples[i + static_cast<size_t>(n) * j] =
                            image.pixels[static_cast<size_t>(std::min(j, image.height - 1)) *
                                             image.width +
                                         std::min(i, image.width - 1)];
            }
        } else {
            file_problem_report("terrain.png", 0,
                                "missing or unreadable, and terrain.hf holds no heights");
            if (debug_level() >= 2) samples.assign(count, 0);
        }
    }
    if (!samples.empty()) {
        char hex[41];
        height_field_digest(samples.data(), count, hex);
        log("%s\n", hex);
    }
    height_field_loaded(&field);
    return true;
}

bool height_field_save(const char* folder) {
    height_field& field = g_terrain.ground.field;
    if (!field.heights) return false;
    size_t count = static_cast<size_t>(field.samples_per_side) * field.samples_per_side;
    float lo = field.heights[0], hi = field.heights[0];
    for (size_t k = 1; k < count; k++) {
        lo = std::min(lo, field.heights[k]);
        hi = std::max(hi, field.heights[k]);
    }
    field.min_height = lo;
    field.max_height = hi;
    std::vector<uint16_t> samples(count, 0);
    if (hi > lo) {
        float scale = 1.0f / (hi - lo);
        for (size_t k = 0; k < count; k++)
            samples[k] = static_cast<uint16_t>(std::clamp(
                std::floor((field.heights[k] - lo) * scale * 65535.0f + 0.5f), 0.0f, 65535.0f));
    }
    // The image goes first: until the new header replaces the old one, the old header still
    // describes a complete track (its own body, or an image it can read).
    std::string png = track_file(folder, "terrain.png");
    if (!terrain_image_write_grey16(png.c_str(), samples.data(), field.samples_per_side,
                                    field.samples_per_side)) {
        show_message("Can't write '%.950s'", (std::string(folder) + "/terrain.png").c_str());
        return false;
    }
    std::string name = track_file(folder, "terrain.hf");
    data_file* out = data_file_open_replace(name.c_str());
    if (!out) {
        show_message("Can't open '%.950s'", (std::string(folder) + "/terrain.hf").c_str());
        return false;
    }
    if (!data_file_print(out, "%d %f %f %f\n", field.size_exponent, field.cell_size, lo, hi)) {
        data_file_abandon(out);
        return false;
    }
    return data_file_close(out);
}

bool surface_types_load(const char* folder) {
    surface_set& set = g_terrain.ground.surfaces;
    std::string text;
    if (file_to_string(track_file(folder, "tileinfo").c_str(), &text)) {
        if (!surface_types_parse_tileinfo(&set, text.data(), text.size(), g_terrain.load_texture)) {
            show_message("Error reading tileinfo");
            file_problem_report("tileinfo", 0, "defines no surface type");
            return false;
        }
    } else if (file_to_string(track_file(folder, "texturelist").c_str(), &text)) {
        if (!surface_types_parse_texturelist(&set, text.data(), text.size(),
                                             g_terrain.load_texture)) {
            show_message("Error reading tileinfo");
            file_problem_report("texturelist", 0, "defines no surface type");
            return false;
        }
    } else {
        show_message("Can't open '%.950s'", (std::string(folder) + "/texturelist").c_str());
        file_problem_report("tileinfo", 0, "missing, and no texturelist either");
        return false;
    }
    surface_types_blend_codes(&set);
    return true;
}

bool tilemap_load(const char* folder) {
    ground_state& g = g_terrain.ground;
    if (!g.field.heights || g.surfaces.count == 0) {
        log("tilemap: no height field or surface types to map\n");
        return false;
    }
    std::string bytes;
    if (!file_to_string(track_file(folder, "tilemap").c_str(), &bytes)) {
        show_message("Can't open '%.950s'", (std::string(folder) + "/tilemap").c_str());
        file_problem_report("tilemap", 0, "missing or unreadable");
        return false;
    }
    size_t expected = static_cast<size_t>(1) << (2 * g.field.size_exponent);
    if (bytes.size() < expected) {
        log("tilemap: %zu bytes of %zu, the rest is type 0\n", bytes.size(), expected);
        file_problem_report("tilemap", 0, "%zu bytes of %zu, the rest is surface type 0",
                            bytes.size(), expected);
    }
    if (file_problems_heard())
        for (size_t k = 0; k < std::min(bytes.size(), expected); k++)
            if (static_cast<uint8_t>(bytes[k]) >= g.surfaces.count) {
                file_problem_report("tilemap", 0,
                                    "tile %zu names surface type %d, but only %d are defined", k,
                                    static_cast<uint8_t>(bytes[k]), g.surfaces.count);
                break;
            }
    surface_set_tilemap(&g.surfaces, g.field.size_exponent, g.field.cell_size,
                        reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

bool tilemap_save(const char* folder) {
    const surface_set& set = g_terrain.ground.surfaces;
    if (!set.tilemap) return false;
    data_file* out = data_file_open_replace(track_file(folder, "tilemap").c_str());
    if (!out) {
        show_message("Can't open '%.950s'", (std::string(folder) + "/tilemap").c_str());
        return false;
    }
    size_t size = static_cast<size_t>(set.tiles_per_side) * set.tiles_per_side;
    if (!data_file_write(out, set.tilemap, size)) {
        data_file_abandon(out);
        return false;
    }
    return data_file_close(out);
}

float ground_height_at(float x, float z) { return field_height_at(g_terrain.ground.field, x, z); }
float ground_smoothed_height(float x, float z, float radius) {
    const height_field& field = g_terrain.ground.field;
    return field.heights ? field_smoothed_height(field, x, z, radius) : 0;
}

vec3 ground_normal_at(float x, float z) { return field_normal_at(g_terrain.ground.field, x, z); }

vec3 vertex_normal_at(int i, int j) { return field_vertex_normal_at(g_terrain.ground.field, i, j); }

void ground_triangles_in_square(float x0, float z0, float x1, float z1,
                                ground_triangle_visitor visit, void* context) {
    field_triangles_in_square(g_terrain.ground.field, x0, z0, x1, z1, visit, context);
}

float ground_highest_in_square(float x0, float z0, float x1, float z1) {
    return field_highest_in_square(g_terrain.ground.field, x0, z0, x1, z1);
}

bool ground_set_height(int i, int j, float height) {
    if (g_terrain.ground.locked || !g_terrain.ground.field.heights) return false;
    field_set_height(g_terrain.ground.field, i, j, height);
    ground_reshade_mark(i, j);
    return true;
}

bool ground_edit_height(int i, int j, float height) {
    if (!ground_set_height(i, j, height)) return false;
    ground_mark_edited();
    return true;
}

void ground_mark_edited() {
    g_terrain.ground.modified = true;
    g_terrain.ground.heights_changed = true;
}

int surface_type_at(float x, float z) {
    return surface_set_type_at(g_terrain.ground.surfaces, x, z);
}

const surface_type& surface_type_get(int index) {
    static const surface_type k_default{};
    const surface_set& set = g_terrain.ground.surfaces;
    if (set.count == 0) return k_default;
    return set.types[std::clamp(index, 0, set.count - 1)];
}

float friction_at(int type, float speed) {
    return surface_friction_at(surface_type_get(type), speed);
}

void roll_resist_at(int type, float speed, float* first, float* second) {
    surface_roll_resist_at(surface_type_get(type), speed, first, second);
}
