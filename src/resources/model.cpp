// The model cache: loading by name with levels of detail, generations, drawing through OpenGL.
#include "resources/model.h"
#include "resources/resources_local.h"

#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"

#include <GL/gl.h>

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

void compile_display_lists(model_mesh* mesh) {
    if (!resources_gl_current()) return;
    for (model_part& part : mesh->parts) {
        if (!mesh->plain && (part.bone_count > 0 || part.shininess < 0)) continue;
        part.display_list = glGenLists(1);
        if (!part.display_list) continue;
        glNewList(part.display_list, GL_COMPILE);
        glBegin(GL_TRIANGLES);
        for (int32_t index : part.triangles) {
            glTexCoord2fv(&part.uvs[2 * static_cast<size_t>(index)]);
            glNormal3fv(&part.normals[3 * static_cast<size_t>(index)]);
            glVertex3fv(&part.positions[3 * static_cast<size_t>(index)]);
        }
        glEnd();
        glEndList();
    }
}

void delete_display_lists(model_mesh* mesh) {
    const bool gl = resources_gl_current();
    for (model_part& part : mesh->parts) {
        if (part.display_list && gl) glDeleteLists(part.display_list, 1);
        part.display_list = 0;
    }
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
    compile_display_lists(mesh);
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

void set_material(const model_part& part) {
    float specular[4] = {part.colour[0], part.colour[1], part.colour[2], part.colour[3]};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS,
                std::min(128.0f, std::max(part.shininess, 0.125f)));
    glColor4fv(part.colour);
}

void draw_arrays(const model_part& part, const float* uvs) {
    if (g_models.vertex_arrays) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, part.positions.data());
        glNormalPointer(GL_FLOAT, 0, part.normals.data());
        glTexCoordPointer(2, GL_FLOAT, 0, uvs);
        glDrawElements(GL_TRIANGLES, part.triangle_count * 3, GL_UNSIGNED_INT,
                       part.triangles.data());
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        return;
    }
    glBegin(GL_TRIANGLES);
    for (int32_t index : part.triangles) {
        glTexCoord2fv(&uvs[2 * static_cast<size_t>(index)]);
        glNormal3fv(&part.normals[3 * static_cast<size_t>(index)]);
        glVertex3fv(&part.positions[3 * static_cast<size_t>(index)]);
    }
    glEnd();
}

// Sphere-map coordinates for an environment part: the reflected view direction in camera axes.
std::vector<float> environment_uvs(const model_part& part, const float position[3],
                                   const model_camera& camera, const float rotation[9]) {
    std::vector<float> uvs(static_cast<size_t>(part.vertex_count) * 2);
    for (int i = 0; i < part.vertex_count; i++) {
        const float* p = &part.positions[3 * static_cast<size_t>(i)];
        const float* n = &part.normals[3 * static_cast<size_t>(i)];
        float world[3], normal[3], d[3];
        for (int r = 0; r < 3; r++) {
            world[r] = position[r] + rotation[3 * r] * p[0] + rotation[3 * r + 1] * p[1] +
                       rotation[3 * r + 2] * p[2];
            normal[r] =
                rotation[3 * r] * n[0] + rotation[3 * r + 1] * n[1] + rotation[3 * r + 2] * n[2];
            d[r] = world[r] - camera.position[r];
        }
        float dn = d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2];
        float nn = normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2];
        float reflected[3];
        for (int r = 0; r < 3; r++) reflected[r] = d[r] - (nn > 0 ? 2 * dn / nn : 0) * normal[r];
        float length = std::sqrt(reflected[0] * reflected[0] + reflected[1] * reflected[1] +
                                 reflected[2] * reflected[2]);
        float a[3] = {0, 1, 0};
        if (length > 0)
            for (int k = 0; k < 3; k++)
                a[k] = (camera.axes[3 * k] * reflected[0] + camera.axes[3 * k + 1] * reflected[1] +
                        camera.axes[3 * k + 2] * reflected[2]) /
                       length;
        float theta = std::acos(std::clamp(a[1], -1.0f, 1.0f)) / (2 * static_cast<float>(M_PI));
        float side = std::sqrt(a[0] * a[0] + a[2] * a[2]);
        uvs[2 * static_cast<size_t>(i)] = 0.5f + (side > 0 ? theta * a[0] / side : 0);
        uvs[2 * static_cast<size_t>(i) + 1] = 0.5f + (side > 0 ? theta * a[2] / side : 0);
    }
    return uvs;
}

void draw_mesh(model_mesh* mesh, const float position[3], const model_camera& camera,
               const float rotation[9], const model_pose* pose, bool environment_pass) {
    if (!resources_gl_current()) return;
    glPushMatrix();
    const float* m = rotation;
    float matrix[16] = {m[0], m[3], m[6], 0, m[1],        m[4],        m[7],        0,
                        m[2], m[5], m[8], 0, position[0], position[1], position[2], 1};
    glMultMatrixf(matrix);
    for (model_part& part : mesh->parts) {
        const bool environment = part.shininess == k_model_mode_environment;
        if (environment != environment_pass) {
            if (!environment_pass) break; // the lit pass stops at the first environment part
            continue;
        }
        if (pose && part.bone_count > 0 && pose->bone_count == part.bone_count)
            model_part_skin(&part, *pose);
        const bool self_lit = part.shininess == k_model_mode_self_lit;
        if (self_lit) {
            // Only light 0's ambient term, at the part's colour, reaches the part.
            glPushAttrib(GL_LIGHTING_BIT | GL_ENABLE_BIT);
            const float black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1};
            glDisable(GL_COLOR_MATERIAL);
            glEnable(GL_LIGHT0);
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
            glLightfv(GL_LIGHT0, GL_AMBIENT, part.colour);
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, black);
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
            glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 1.0f);
            glColor4fv(part.colour);
        } else if (environment) {
            const float a = part.colour[3];
            glColor4f(part.colour[0] * a, part.colour[1] * a, part.colour[2] * a, a);
        } else {
            set_material(part);
        }
        if (environment) {
            std::vector<float> uvs = environment_uvs(part, position, camera, rotation);
            draw_arrays(part, uvs.data());
        } else if (part.display_list) {
            glCallList(part.display_list);
        } else {
            draw_arrays(part, part.uvs.data());
        }
        if (self_lit) glPopAttrib();
        g_models.drawn_triangles += part.triangle_count;
        g_models.drawn_vertices += part.vertex_count;
    }
    glPopMatrix();
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
        delete_display_lists(&slot->mesh);
        for (model_level& level : slot->levels) delete_display_lists(&level.mesh);
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
