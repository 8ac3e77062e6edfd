// What the ground's level of detail, texturing and drawing share inside the terrain library (and
// what its tests look at).
#pragma once

#include "terrain/ground_gpu.h"
#include "terrain/terrain.h"

#include <cstdint>
#include <vector>

// The loaded ground as the terrain's own files write it (ruts dig its heights directly).
ground_state& ground_own();

// ---------------------------------------------------------------------------------------------
// Level of detail: the error pyramid, the refinement around the eye and the fans drawn.

// Recomputes the whole pyramid at once (the ground load).
void lod_build(float lod_factor);
// Advances a recomputation started by changed heights; a negative budget has no bound.
void lod_advance(int budget);
void lod_free();
// The stored bound of a node (in use), the node's own height error and its refinement.
float lod_bound(int level, int i, int j);
float lod_node_error(int level, int i, int j);
bool lod_refined(int level, int i, int j);
// Whether the pyramid is being recomputed.
bool lod_recomputing();
// Marks the nodes drawn finer than their parents for an eye (world position). Within the
// full-detail distance (ft, below 0 none) the ground is refined to its finest level, and the
// usual detail returns over the 5 ft beyond.
void lod_refine(const float eye[3], float full_detail = -1);

// Which composed texture covers a node, and where its first texel lies.
struct ground_texture_choice {
    uint32_t texture = 0;
    uint32_t normal_map = 0, specular_map = 0;
    int origin_x = 0, origin_z = 0; // sample under the texture's corner
    int side = 1;                   // samples the texture spans
};
using ground_texture_chooser = ground_texture_choice (*)(int level, int i, int j);

// A drawn node: a fan around its centre sample through its corners and some edge middles.
struct ground_mesh_fan {
    int level = 0, i = 0, j = 0;
    int first = 0; // in `ring`, sample pairs (i, j)
    int count = 0; // ring samples, the first repeated at the end
};

struct ground_mesh {
    std::vector<ground_mesh_fan> fans; // back to front
    std::vector<int> ring;             // i, j of every fan's ring samples
    std::vector<float> vertices;       // x, y, z, s, t of every triangle's corners
    std::vector<ground_draw_run> runs;
    int polygons = 0;
};

// Walks the refined quadtree from back to front for an eye looking along a direction and
// builds the fans, their triangles and their texture runs; with a view tangent (of the widest
// angle seen from the view direction, 0 for none) the ground beside the view is left out too.
void lod_build_mesh(const float eye[3], const float view[3], float view_tangent,
                    ground_texture_chooser choose, ground_mesh* mesh);

// ---------------------------------------------------------------------------------------------
// Composition on the processor.

// A surface type's picture as RGB with its box-filtered levels.
struct ground_picture {
    image rgb;
};
// Reads the picture of a surface type; a grey texel when it does not load.
ground_picture ground_picture_load(const char* name);

// What composing one square on the processor reads.
struct ground_compose_inputs {
    const height_field* field = nullptr;
    const surface_set* surfaces = nullptr;
    const std::vector<ground_picture>* pictures = nullptr;
    const uint8_t* shading = nullptr; // r, g, b per sample at half intensity
    const std::vector<ground_decal>* decals = nullptr;
    bool packed = true; // the packed pixel path (same results)
};
// Composes the square of `cells` ground cells from ground cell (cell_x, cell_z) into
// size x size RGB texels (row z, then x); returns how many decals it drew.
int ground_compose_software(const ground_compose_inputs& in, int cell_x, int cell_z, int cells,
                            int size, uint8_t* rgb, std::vector<uint8_t>* scratch);
// The colour lit by the stored shading: 2 * shading * colour, as the card's blend does it.
void ground_shade_row(uint8_t* rgb, const uint8_t* shading, int bytes, bool packed);
// Pixels over-painted by a picture by its alpha: (image * a + pixel * (255 - a)) / 255.
void ground_blend_row(uint8_t* rgb, const uint8_t* picture_rgb, const uint8_t* alpha, int bytes,
                      bool packed);
// Fills the smaller levels of a square RGB texture after its first, each texel the mean of the
// four under it, as `ground_levels_bytes` lays them out.
void ground_make_levels(int side, uint8_t* rgb);
// The placeholder of a window level: a darkened checkerboard (black for base blocks, level 6).
void ground_placeholder(int level, int size, uint8_t* rgb);
// The decals that reach into a square of ground cells.
void ground_decals_overlapping(const std::vector<ground_decal>& decals, float cell_size, int cell_x,
                               int cell_z, int cells, std::vector<int>* out);

// ---------------------------------------------------------------------------------------------
// Shading data kept up to date.

// Recomputes every sample in the rectangle whose reshade bit is set, and clears the bits.
void ground_reshade_rect(int x0, int z0, int x1, int z1);
// Marks the 3 x 3 samples around a changed one for reshading.
void ground_reshade_mark(int i, int j);
bool ground_reshade_pending(int i, int j);
// The stored shading of one sample from its vertex normal, shadow and the light.
void ground_shade_sample(int i, int j, uint8_t out[3]);
// The per-pixel normal-map bytes of one sample.
void ground_normal_sample(int i, int j, uint8_t out[3]);

// ---------------------------------------------------------------------------------------------
// Texturing, for tests: the sizes chosen, the textures and what each one is.

constexpr int k_window_tiles = 4;      // tiles a side of every level's window
constexpr int k_top_window_level = 5;  // the coarsest window level
constexpr int k_block_level = 6;       // base blocks span 2^6 ground cells
constexpr int k_data_stride = 384;     // samples between data textures
constexpr int k_data_border = 64;      // samples a data texture reaches before its stride
constexpr int k_data_max_texels = 512; // texels a side of a full data texture

struct ground_texturing_layout {
    int method = 0;
    int size = 0;                 // S
    int blocks_per_side = 0;      // base blocks
    int first_level = 0;          // finest window level; above k_top_window_level: no windows
    int data_per_side = 0;        // W, 0 for the software method
    std::vector<int> data_texels; // texels of each data texture column (and row)
};
ground_texturing_layout ground_texturing_describe();
// The base blocks and data textures a ground of size exponent e needs a side, and each data
// texture column's texels.
ground_texturing_layout ground_layout_for(int e);
// A window's first tile for a level and an eye sample coordinate.
int ground_window_origin(int level, int eye_sample, int size_exponent);
// The window origin of a level now, -1 when it has none.
void ground_window_now(int level, int* origin_x, int* origin_z);
// A composed texture's stamp: 0 up to date, -1 compose before drawing, else the frame it went
// out of date. Tiles are addressed by their index over the ground; false when not in a window.
bool ground_tile_stamp(int level, int tile_x, int tile_z, int32_t* stamp, bool* valid);
int32_t ground_block_stamp(int block_x, int block_z);
uint32_t ground_tile_texture(int level, int tile_x, int tile_z); // 0 when not in a window
uint32_t ground_block_texture(int block_x, int block_z);
bool ground_data_dirty(int u, int v);
int32_t ground_frame();
