// Models: ".jm" meshes with materials, bones and levels of detail, their cache and their drawing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct data_file;

// Sane limits for untrusted counts in model files.
constexpr int k_model_max_vertices = 1 << 20;
constexpr int k_model_max_triangles = 1 << 21;
constexpr int k_model_max_bones = 256;

constexpr float k_model_mode_environment = -1.0f;
constexpr float k_model_mode_self_lit = -2.0f;

// One part (mesh) of a model with its own material.
struct model_part {
    int vertex_count = 0;
    int triangle_count = 0;
    int bone_count = 0; // 0 for rigid parts
    float colour[4] = {1, 1, 1, 1};
    float shininess = 32; // >= 0 lit with this shininess; -1 environment-mapped; -2 self-lit
    std::vector<float> positions; // V x 3, ft (skinned parts: the current pose)
    std::vector<float> normals;   // V x 3
    std::vector<float> tangents;  // V x 3, summed over each vertex's triangles
    std::vector<float> uvs;       // V x 2, v already flipped (1 - v of the file)
    std::vector<float> rest_positions, rest_normals, rest_tangents; // skinned parts only
    std::vector<float> bone_weights;    // V x 4, summing to 1 (skinned parts only)
    std::vector<uint16_t> bone_indices; // V x 4
    std::vector<int32_t> triangles;     // T x 3 vertex indices
    uint32_t display_list = 0;          // GL list, or 0 when drawn from the arrays
    bool warned_bones = false;          // a vertex had more than 4 bone influences
};

// A ".jm" file as read: its parts in file order.
struct model_mesh {
    std::vector<model_part> parts;
    bool plain = false; // no "JM" header
    int version = 0;    // 1 or 2 for versioned files
    int file_bone_count = 0;
    int dropped_triangles = 0;
    float texel_density_u = 0,
          texel_density_v = 0; // largest |du|, |dv| per ft over edges of 1/16 ft or more
    bool has_environment_part = false;
};

// Reads ".jm" text; false when the first part does not parse (later failures end the part list).
bool model_jm_decode(const uint8_t* data, size_t size, model_mesh* out);
// Writes ".jm" text: plain for one part with no version, else "JM1"/"JM2" with every part.
std::string model_jm_encode(const model_mesh& mesh);
// The ray tracer's "mesh2" text of every part ("union" around several).
std::string model_pov_text(const model_mesh& mesh);

// Bone pose for skinned drawing: vertex p moves to R (p - centre) + translation.
struct model_bone {
    float centre[3];      // ft
    float rotation[9];    // row-major 3 x 3
    float translation[3]; // ft
};
struct model_pose {
    int bone_count = 0;
    const model_bone* bones = nullptr;
};
// Moves a skinned part's vertices to the pose (CPU skinning).
void model_part_skin(model_part* part, const model_pose& pose);

// The camera a model is drawn for: its position and axes (rows: right, up, back).
struct model_camera {
    float position[3]; // ft
    float axes[9];
};

// Cache of loaded models by name. Ids are 1-based; 0 is no model.
int model_load(const char* name);
// Read-only look at a loaded model, valid until the next purge.
const model_mesh* model_get(int id);
const char* model_name(int id);
// The mesh drawn at a distance from the camera: the model or one of its coarser levels.
const model_mesh* model_level_for_distance(int id, float distance);
int model_level_count(int id);                 // coarser levels found beside the model
float model_level_distance(int id, int level); // ft, level 0 is the first coarser one
// Lit parts, then (separately) environment parts.
void model_draw(int id, const float position[3], const model_camera& camera,
                const float rotation[9], const model_pose* pose);
void model_draw_env(int id, const float position[3], const model_camera& camera,
                    const float rotation[9], const model_pose* pose);
// The names of the cached models, in the order of their ids.
std::vector<std::string> model_cached_names();
// Deletes models of generations that are neither 0 nor current; all = true deletes every one.
void model_purge(bool all);
void model_generation_advance();
int model_generation();
// Makes a loaded model permanent (generation 0).
void model_make_permanent(int id);
// Writes the model's ray tracer text into an open scene file.
bool model_export_pov(int id, data_file* file);

// Level-of-detail settings: `model_lod_bias` (ft) and `model_lod_scale`.
void model_set_lod(float bias, float scale);
float model_lod_bias();
float model_lod_scale();
// "--novertexarrays": draw triangle by triangle.
void model_set_vertex_arrays(bool on);
// Triangles and vertices drawn since the last reset (statistics display).
void model_draw_stats(int* triangles, int* vertices);
void model_draw_stats_reset();
// Tangent-space texel density of a model: largest |du|, |dv| per ft.
void model_texel_density(int id, float* u, float* v);
