// The model cache: loading by name with levels of detail, generations; drawing goes to the gpu
// table.
#include "resources/model.h"
#include "resources/gpu.h"
#include "resources/resources_local.h"

#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <strings.h>

namespace {
struct model_level {
    float distance = 0; // ft: the level is used from here on
    model_mesh mesh;
};

struct model_entry {
    std::string name;
    int generation = 0;
    model_mesh mesh;
    std::vector<model_level> levels; // coarser versions, ascending distance
};

struct model_state {
    std::vector<std::unique_ptr<model_entry>> models; // id - 1; purged entries are empty
    int generation = 0; // models loaded before the first track are permanent
    float lod_bias = 0; // ft
    float lod_scale = 1;
    bool vertex_arrays = true;
    int drawn_triangles = 0;
    int drawn_vertices = 0;
};
model_state g_models;

model_entry* entry(int id) {
    if (id < 1 || id > static_cast<int>(g_models.models.size())) return nullptr;
    return g_models.models[id - 1].get();
}

// Reads one ".jm" file into a mesh and reports what the reader dropped or warned about.
bool load_mesh(const std::string& name, model_mesh* mesh) {
    std::string bytes;
    if (!file_to_string(name.c_str(), &bytes)) {
        log("Can't open model \"%.900s\"\n", name.c_str());
        return false;
    }
    if (!model_jm_decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), mesh)) {
        log("Can't read model \"%.900s\"\n", name.c_str());
        return false;
    }
    for (const model_part& part : mesh->parts)
        if (part.warned_bones)
            show_message("Warning: vertex with more than 4 bone influences in '%.900s'",
                         name.c_str());
    if (mesh->dropped_triangles > 0)
        log("%d degenerate triangles deleted in %.100s\n", mesh->dropped_triangles, name.c_str());
    if (resources_gpu_current().current()) resources_gpu_current().mesh_compile(mesh);
    return true;
}

// Finds the "_lod<n>" companions of an "@" name in the file list and loads them.
void load_levels(const std::string& name, model_entry* e) {
    if (name.empty() || name[0] != '@') return;
    std::string stem = name.substr(1);
    if (stem.size() > 3 && strcasecmp(stem.c_str() + stem.size() - 3, ".gz") == 0)
        stem.resize(stem.size() - 3);
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos) stem.resize(dot);
    stem += "_lod";
    for (const std::string& file : file_index()) {
        if (file.size() <= stem.size() || strncasecmp(file.c_str(), stem.c_str(), stem.size()) != 0)
            continue;
        const char* digits = file.c_str() + stem.size();
        if (*digits < '0' || *digits > '9') continue;
        int n = atoi(digits);
        if (n > 30) continue;
        std::string companion = "@" + file;
        // A compressed or scrambled companion is opened by its plain name.
        for (const char* ending : {".scram", ".gz"})
            if (companion.size() > strlen(ending) &&
                strcasecmp(companion.c_str() + companion.size() - strlen(ending), ending) == 0)
                companion.resize(companion.size() - strlen(ending));
        model_level level;
        level.distance = std::ldexp(1.0f, n);
        if (!load_mesh(companion, &level.mesh)) continue;
        auto at = std::upper_bound(e->levels.begin(), e->levels.end(), level.distance,
                                   [](float d, const model_level& l) { return d < l.distance; });
        e->levels.insert(at, std::move(level));
    }
}

void draw_mesh(model_mesh* mesh, const float position[3], const model_camera& camera,
               const float rotation[9], const model_pose* pose, bool environment_pass) {
    const resources_gpu& gpu = resources_gpu_current();
    if (!gpu.current()) return;
    gpu.mesh_draw(mesh, position, camera, rotation, pose, environment_pass, g_models.vertex_arrays,
                  &g_models.drawn_triangles, &g_models.drawn_vertices);
}

void release_mesh(model_mesh* mesh) {
    const resources_gpu& gpu = resources_gpu_current();
    if (gpu.current()) gpu.mesh_free(mesh);
    for (model_part& part : mesh->parts) part.display_list = 0;
}

model_mesh* mesh_for_camera(int id, const float position[3], const model_camera& camera) {
    model_entry* e = entry(id);
    if (!e) return nullptr;
    float d[3] = {position[0] - camera.position[0], position[1] - camera.position[1],
                  position[2] - camera.position[2]};
    return const_cast<model_mesh*>(
        model_level_for_distance(id, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2])));
}
} // namespace

int model_load(const char* name) {
    for (size_t i = 0; i < g_models.models.size(); i++) {
        model_entry* e = g_models.models[i].get();
        if (!e || e->name != name) continue;
        if (e->generation != 0) e->generation = g_models.generation;
        return static_cast<int>(i) + 1;
    }
    for (size_t i = 0; i < g_models.models.size(); i++) {
        model_entry* e = g_models.models[i].get();
        if (!e || strcasecmp(e->name.c_str(), name) != 0) continue;
        show_message("Warning: case mismatch on '%.900s'", name);
        if (e->generation != 0) e->generation = g_models.generation;
        return static_cast<int>(i) + 1;
    }
    auto e = std::make_unique<model_entry>();
    e->name = name;
    e->generation = g_models.generation;
    if (!load_mesh(name, &e->mesh)) return 0;
    load_levels(name, e.get());
    // A purged model's place is taken again, so changing tracks does not grow the table.
    auto free_slot = std::find(g_models.models.begin(), g_models.models.end(), nullptr);
    if (free_slot != g_models.models.end()) {
        *free_slot = std::move(e);
        return static_cast<int>(free_slot - g_models.models.begin()) + 1;
    }
    g_models.models.push_back(std::move(e));
    return static_cast<int>(g_models.models.size());
}

std::vector<std::string> model_cached_names() {
    std::vector<std::string> names;
    for (const auto& slot : g_models.models)
        if (slot) names.push_back(slot->name);
    return names;
}

const model_mesh* model_get(int id) {
    model_entry* e = entry(id);
    return e ? &e->mesh : nullptr;
}

const char* model_name(int id) {
    model_entry* e = entry(id);
    return e ? e->name.c_str() : "";
}

const model_mesh* model_level_for_distance(int id, float distance) {
    model_entry* e = entry(id);
    if (!e) return nullptr;
    const model_mesh* chosen = &e->mesh;
    for (const model_level& level : e->levels) {
        float difference = level.distance - g_models.lod_bias;
        if (!(difference <= 0 || g_models.lod_scale * distance >= difference)) break;
        chosen = &level.mesh;
    }
    return chosen;
}

int model_level_count(int id) {
    model_entry* e = entry(id);
    return e ? static_cast<int>(e->levels.size()) : 0;
}

float model_level_distance(int id, int level) {
    model_entry* e = entry(id);
    return e && level >= 0 && level < static_cast<int>(e->levels.size()) ? e->levels[level].distance
                                                                         : 0;
}

void model_draw(int id, const float position[3], const model_camera& camera,
                const float rotation[9], const model_pose* pose) {
    if (model_mesh* mesh = mesh_for_camera(id, position, camera))
        draw_mesh(mesh, position, camera, rotation, pose, false);
}

void model_draw_env(int id, const float position[3], const model_camera& camera,
                    const float rotation[9], const model_pose* pose) {
    model_mesh* mesh = mesh_for_camera(id, position, camera);
    if (mesh && mesh->has_environment_part) draw_mesh(mesh, position, camera, rotation, pose, true);
}

void model_purge(bool all) {
    const int current = g_models.generation;
    for (auto& slot : g_models.models) {
        if (!slot || !(all || (slot->generation != 0 && slot->generation != current))) continue;
        if (debug_level() >= 1) log("deleting model %.900s\n", slot->name.c_str());
        release_mesh(&slot->mesh);
        for (model_level& level : slot->levels) release_mesh(&level.mesh);
        slot.reset();
    }
    if (all) {
        g_models.models.clear();
        g_models.generation = 0;
    }
}

void model_generation_advance() { g_models.generation++; }
int model_generation() { return g_models.generation; }

void model_make_permanent(int id) {
    if (model_entry* e = entry(id)) e->generation = 0;
}

bool model_export_pov(int id, data_file* file) {
    model_entry* e = entry(id);
    if (!e || !file) return false;
    const std::string text = model_pov_text(e->mesh);
    return data_file_write(file, text.data(), text.size());
}

void model_set_lod(float bias, float scale) {
    g_models.lod_bias = bias;
    g_models.lod_scale = scale;
}

float model_lod_bias() { return g_models.lod_bias; }
float model_lod_scale() { return g_models.lod_scale; }

void model_set_vertex_arrays(bool on) { g_models.vertex_arrays = on; }

void model_draw_stats(int* triangles, int* vertices) {
    *triangles = g_models.drawn_triangles;
    *vertices = g_models.drawn_vertices;
}

void model_draw_stats_reset() {
    g_models.drawn_triangles = 0;
    g_models.drawn_vertices = 0;
}

void model_texel_density(int id, float* u, float* v) {
    model_entry* e = entry(id);
    *u = e ? e->mesh.texel_density_u : 0;
    *v = e ? e->mesh.texel_density_v : 0;
}
