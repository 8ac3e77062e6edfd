// The terrain: height field, surfaces, ruts, ground texturing and roost.
#pragma once

#include "common/common.h"
#include "common/vec3.h"
#include "resources/image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Height field

constexpr int k_min_size_exponent = 6;  // level-of-detail blocks need at least this
constexpr int k_max_size_exponent = 10; // 2049 samples a side; larger fields are refused

struct height_field {
    int size_exponent = 0;            // e
    int samples_per_side = 0;         // n = 2^(e+1) + 1
    float cell_size = 0;              // ft, c
    float inverse_cell_size = 0;      // 1/ft, computed once as a float
    float extent = 0;                 // ft, (n - 1) * c
    float min_height = 0;             // ft, height of sample value 0
    float max_height = 0;             // ft, height of sample value 65535
    float* heights = nullptr;         // ft, n*n, x index fastest; one block with loaded_heights
    float* loaded_heights = nullptr;  // ft, the heights as loaded, never deformed
    vec3* triangle_normals = nullptr; // unit, (2n - 2)(n - 1), row j holds 2n - 2
    uint8_t* normal_dirty = nullptr;  // one flag per cached triangle normal
    // Samples changed since the texturing last took them (empty when min > max).
    int changed_min_i = 0, changed_min_j = 0, changed_max_i = -1, changed_max_j = -1;
    uint32_t changes = 0; // counts height writes, so the level of detail knows it is stale
};

// The header of "terrain.hf": four numbers, then ':' and a binary body, or anything else.
struct height_field_header {
    int size_exponent = 0;
    float cell_size = 0;  // ft
    float min_height = 0; // ft
    float max_height = 0; // ft
    bool has_body = false;
    size_t body_offset = 0; // bytes, where the samples begin when has_body
};

// Reads the header from the start of a file's bytes; false when it is not four usable numbers.
bool height_field_parse_header(const uint8_t* bytes, size_t size, height_field_header* out);
// Allocates a field of the header's size, every height min_height, every normal dirty.
void height_field_create(height_field* field, int size_exponent, float cell_size, float min_height,
                         float max_height);
void height_field_free(height_field* field);
// Sample values 0..65535 to heights; bytes past the end of the body read as 0xFF.
void height_field_fill_from_body(height_field* field, const uint8_t* body, size_t size);
// Pixel (min(i, w - 1), min(j, h - 1)) of a 16-bit grey image for each sample.
void height_field_fill_from_image(height_field* field, const uint16_t* pixels, int width,
                                  int height);
// Copies heights to loaded_heights and marks every cached normal dirty.
void height_field_loaded(height_field* field);
// The RIPEMD-160 of the samples' 16-bit values, low byte first, as 40 hex digits.
void height_field_digest(const uint16_t* samples, size_t count, char hex[41]);
// The RIPEMD-160 of the current heights' bytes, as 40 hex digits: equal digests, equal ground.
void height_field_heights_digest(const height_field& field, char hex[41]);
// Parses a whole "terrain.hf" held in memory; a body-less file gets a flat field (no image).
bool height_field_parse(height_field* field, const uint8_t* bytes, size_t size);

// Plane of the triangle under (x, z); positions outside the grid take the border profile.
float field_height_at(const height_field& field, float x, float z);
// The same interpolation over loaded_heights.
float field_loaded_height_at(const height_field& field, float x, float z);
// Upward, unnormalised normal of the triangle under (x, z); y is c*c inside the grid.
vec3 field_normal_at(const height_field& field, float x, float z);
// Averaged unit normal at sample (i, j), clamped into the grid; refreshes dirty triangles.
vec3 field_vertex_normal_at(height_field& field, int i, int j);

struct ground_triangle {
    vec3 corner[3]; // ft
};
using ground_triangle_visitor = void (*)(const ground_triangle& triangle, void* context);
// Both triangles of every cell overlapping [x0, x1] x [z0, z1], row by row.
void field_triangles_in_square(const height_field& field, float x0, float z0, float x1, float z1,
                               ground_triangle_visitor visit, void* context);

// The mean height of the grid points around (x, z): full weight within `radius`, fading to none
// one cell further out (the cameras keep above it).
float field_smoothed_height(const height_field& field, float x, float z, float radius);

// The highest corner of the triangles field_triangles_in_square visits for the same square.
float field_highest_in_square(const height_field& field, float x0, float z0, float x1, float z1);

// Writes one sample (outside the grid: nothing), keeping min/max, the normal cache's dirty
// flags and the changed region up to date.
void field_set_height(height_field& field, int i, int j, float height);
// Index of the cached normal of triangle `which` (0 or 1) of cell (i, j) inside the grid.
int field_triangle_index(const height_field& field, int i, int j, int which);
// Hands over and clears the region of samples changed since the last call; false if none.
bool field_take_changed(height_field& field, int* min_i, int* min_j, int* max_i, int* max_j);

// ---------------------------------------------------------------------------------------------
// Surface types

constexpr int k_max_surface_types = 256;
constexpr int k_curve_points = 8;
constexpr int k_roost_types = 4;
constexpr int k_erode_limits = 8;
constexpr float k_min_curve_speed = 9.5367431640625e-07f; // ft/s, 2^-20

struct roost_type {
    int32_t mode = 0;     // 0 off, 1 on, 2 on as splash
    uint32_t texture = 0; // texture handle
    float count = 10.0f;
    float dig = 1.0f;
    float slip_threshold = 4.0f;    // ft/s
    float slow_angle = k_pi_f / 2;  // rad
    float fast_angle = 0.19634955f; // rad
    float slow_speed = 0.0f;        // ft/s
    float fast_speed = 64.0f;       // ft/s
    float size = 0.25f;             // ft
    float grow = 4.0f;
    float drag = 0.5f;
    float vscale = 1.0f;
    float randomize = 15.0f;
    uint8_t r = 255, g = 255, b = 255, a = 255;
    int8_t fade_r = 0, fade_g = 0, fade_b = 0, fade_a = -2; // per tic
};
static_assert(sizeof(roost_type) == 64);

struct erosion_params {
    float depth = 1.0f;
    float lower = 50.0f;       // lbf
    float upper = 150.0f;      // lbf
    float displacement = 2.0f; // ft
    float radius = 4.0f;       // ft
    float inner_depth = 0.125f;
    float inner_radius = 2.0f; // ft
    float min_slope = -0.5f;
    float max_slope = 0.5f;
    float off_speed = 10.0f; // ft/s
    float on_speed = 15.0f;  // ft/s
    float slip_lower = 0.0f; // ft/s
    float slip_upper = 5.0f; // ft/s
    float slip_base_scale = 1.0f;
    float slip_scale = 1.5f;
    float downhill_scale = 0.0f;
    float limit_depth[k_erode_limits] = {0, 1}; // ft
    float limit_a[k_erode_limits] = {1, 0};
    float limit_b[k_erode_limits] = {1, 0};
    float project_to_ground = 1.0f;
    float lateral_scale = 1.0f;
    float front_scale = 1.0f;
    int32_t limit_count = 2;
};
static_assert(sizeof(erosion_params) == 44 * 4);

struct friction_point {
    float value = 1.0f;
    float speed = 0.0f; // ft/s; 0 ends the curve
};
struct roll_point {
    float first = 5.0f;   // lbf
    float second = 15.0f; // lbf, with the tyre fully sunk
    float speed = 0.0f;   // ft/s; 0 ends the curve
};

constexpr int k_surface_name_length = 48;
constexpr int k_surface_texture_name_length = 256;

struct surface_type {
    char name[k_surface_name_length] = {};
    char texture_name[k_surface_texture_name_length] = {}; // as the file gave it
    uint32_t texture = 0;                                  // texture handle
    friction_point friction[k_curve_points];
    roll_point roll_resist[k_curve_points];
    roost_type roost[k_roost_types];
    erosion_params erosion;
    int32_t blend_code = 0;
};

// Loads a ground texture by data-file name; returns a handle, 0 when none.
using texture_loader = uint32_t (*)(const char* name);

struct surface_set {
    surface_type* types = nullptr; // k_max_surface_types slots
    int count = 0;
    uint8_t* tilemap = nullptr;  // T*T, row zc, then xc
    int tiles_per_side = 0;      // T = 2^e
    float half_inverse_cell = 0; // 1/ft, 0.5/c
};

void surface_set_free(surface_set* set);
// "tileinfo" text; warnings go to the console. False when no surface type was defined.
bool surface_types_parse_tileinfo(surface_set* set, const char* text, size_t size,
                                  texture_loader load);
// "texturelist" text, one type per line. False when it defines none.
bool surface_types_parse_texturelist(surface_set* set, const char* text, size_t size,
                                     texture_loader load);
// Blend code of every type from its texture name.
void surface_types_blend_codes(surface_set* set);
// T*T bytes; a short map is padded with type 0, bytes beyond the last type are clamped.
void surface_set_tilemap(surface_set* set, int size_exponent, float cell_size, const uint8_t* bytes,
                         size_t size);

int surface_set_type_at(const surface_set& set, float x, float z);
float surface_friction_at(const surface_type& type, float speed);
void surface_roll_resist_at(const surface_type& type, float speed, float* first, float* second);

// ---------------------------------------------------------------------------------------------
// The loaded ground: the track's height field, surface types and tile map.

struct ground_state {
    height_field field;
    surface_set surfaces;
    bool locked = false; // height writes refused (connected races)
    int generation = 0;  // counts the grounds loaded and freed, so drawings know when to rebuild
    // The editor's change flags: `modified` until the track is saved, `heights_changed` until
    // the editor commits its height edit. Ruts set neither: they are riding, not editing.
    bool modified = false;
    bool heights_changed = false;
};

const ground_state& ground();
// Online only the edits every client gets from the server change the ground: height writes are
// refused while it is locked.
void ground_set_locked(bool locked);
// The editor saved the track: nothing is modified since.
void ground_mark_saved();
// The editor took the heights as they stand into its undo ring.
void ground_mark_heights_committed();
// The heights changed under the drawings (an edit applied or undone): count it for whoever
// caches what it drew of them.
void ground_count_height_change();
// A tile of the tile map painted with a surface type (clamped to the loaded types).
void ground_set_tile(int x, int z, int type);
// Frees everything the ground holds.
void ground_free();
// A ground without a track: a field of the size, every height min_height, the default surface
// (tools and tests that need no track).
void ground_create(int size_exponent, float cell_size, float min_height, float max_height);
// The loader ground textures come through: the texture cache unless replaced; null loads none.
void ground_set_texture_loader(texture_loader load);

// Reads "terrain.hf" (and "terrain.png") of a track folder into the ground.
bool height_field_load(const char* folder);
// Writes "terrain.hf" and "terrain.png" into the track folder.
bool height_field_save(const char* folder);
// Reads "tileinfo", else "texturelist", and computes the blend codes.
bool surface_types_load(const char* folder);
// Reads the required "tilemap".
bool tilemap_load(const char* folder);
// Writes the tilemap back unchanged in its layout.
bool tilemap_save(const char* folder);

float ground_height_at(float x, float z);
float ground_smoothed_height(float x, float z, float radius);
vec3 ground_normal_at(float x, float z);
vec3 vertex_normal_at(int i, int j);
void ground_triangles_in_square(float x0, float z0, float x1, float z1,
                                ground_triangle_visitor visit, void* context);
// The highest ground under the square: nothing above it can touch the ground there.
float ground_highest_in_square(float x0, float z0, float x1, float z1);
// A height write through the lock; false when refused.
bool ground_set_height(int i, int j, float height);
// An editor's height write: through the lock, and setting the change flags when it is taken.
bool ground_edit_height(int i, int j, float height);
// An edit of the track besides its heights (gradients, gates, objects, the tile map).
void ground_mark_edited();

int surface_type_at(float x, float z);
const surface_type& surface_type_get(int index); // index clamped to the loaded types
float friction_at(int type, float speed);
void roll_resist_at(int type, float speed, float* first, float* second);

// ---------------------------------------------------------------------------------------------
// Ground texturing and level of detail

// How the ground textures are composed: on the processor, by drawing and copying from the frame
// buffer, or by drawing into the texture through a framebuffer object.
enum ground_method {
    ground_method_software = 1,
    ground_method_copy = 2,
    ground_method_framebuffer = 3,
};

// What the player's settings ask of the ground; the program copies them in at start-up.
struct ground_settings {
    int render_texture = 0;          // "Terrain Rendering Method" item: Software ... Shaders/Direct
    bool shader_programs = false;    // the shader programs are built and in use
    float lod_factor = 0.125f / 70;  // `terrain_lod_factor`: height error per distance
    int texture_skip = 1;            // `ground_texture_skip`: finest composed level
    int texture_size = 64;           // `ground_texture_size`: texels of a composed texture
    bool mipmaps = true;             // "Enable Ground Mipmaps"
    bool packed_arithmetic = true;   // the processor's packed pixel path ("--nommx" clears)
    bool vertex_arrays = true;       // "--no-vertex-arrays" clears
    float full_detail_distance = -1; // ft the mesh keeps its finest level ("--max-detail-distance")
};
const ground_settings& ground_config();
// Refines the ground's level of detail for an eye and builds its mesh for the view into a scratch
// mesh, drawing nothing, so the mesh's cost can be timed apart from the drawing; returns its
// triangles.
int ground_mesh_build_alone(const float eye[3], const float view[3], float view_tangent);
void ground_configure(const ground_settings& settings);

// The light the ground's shading is computed in (the track's lighting, read before the ground).
void ground_set_lighting(const float sun_vector[3], const float sun_colour[3],
                         const float ambient[3], bool dynamic_lighting);

// A picture laid onto the ground by the composition: centred on (x, z), its v axis along
// (sin angle, cos angle) `size` long and its u axis across it `size` * `aspect` long.
struct ground_decal {
    float x = 0, z = 0; // ft
    float angle = 0;    // rad
    float size = 1;     // ft
    float aspect = 1;   // width / length
    float sine = 0, cosine = 1;
    uint32_t texture = 0;      // composed on the card
    uint32_t normal_map = 0;   // "_tnorm" companion, 0 when none
    uint32_t specular_map = 0; // "_tspec" companion, 0 when none
    image picture;             // RGBA rows from the top, composed on the processor
};
// The decals the ground is composed with: the track's own list, which the ground reads where
// it lies (nullptr: none). Empty until a track's decals are loaded.
void ground_set_decals(const std::vector<ground_decal>* decals);
const std::vector<ground_decal>& ground_decals();
// Hides or shows the decals and recomposes the whole ground.
void ground_set_decals_hidden(bool hidden);
bool ground_decals_hidden();

// The ground load's steps after the heights, in the track loader's order: the error pyramid,
// the method (shows which), the per-pixel normals when the ground is lit per pixel, the data
// textures and the composed textures. False when the load must fail (message shown).
void ground_lod_build();
int ground_method_choose();
bool ground_lit_per_pixel();
void ground_normals_create();
bool ground_data_textures_create();
bool ground_lod_textures_create();
// Frees every texture and table the texturing and level of detail hold.
void ground_textures_free();

// The samples x0..x1, z0..z1 changed (heights or decals): their textures are out of date.
void ground_mark_dirty(int x0, int z0, int x1, int z1);
// Once a frame from the main loop: the error pyramid's recomputation within its budget and,
// every 2^reshade_interval frames, one data-texture block. The full refresh is the editor's.
void ground_refresh(int reshade_interval);
void ground_refresh_full();

// Drawing: the eye and the direction it looks along, then the frame's texture work before the
// scene is set up, then the ground itself (drawn back to front, laying down the depth).
void ground_set_view(const float eye[3], const float view_direction[3], float view_tangent);
void ground_texture_update();
void ground_draw();

// What the ground did in the last frame, for the HUD's render statistics.
struct ground_statistics {
    int polygons = 0;         // fan vertices after each centre
    int decals = 0;           // decals drawn into composed textures
    int texture_age = 0;      // frames the oldest out-of-date texture has waited, 0 when none
    int reshades_pending = 0; // data-texture blocks waiting for their refresh
    int textures_composed = 0;
};
const ground_statistics& ground_stats();
int ground_polygons_drawn();
