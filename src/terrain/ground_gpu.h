// What the ground's texturing and drawing ask of the graphics card: a function table with a null
// entry, so that the schedule, the composition on the processor and the mesh run with no GL.
#pragma once

#include <cstddef>
#include <cstdint>

// What a texture is for, which sets its filters and how it keeps its smaller levels.
enum ground_texture_kind {
    ground_texture_data = 0,             // per-sample data: filtered, one level
    ground_texture_one_level = 1,        // composed, sampled nearest when minified
    ground_texture_automatic_levels = 2, // composed; the driver regenerates the levels
    ground_texture_generated_levels = 3, // composed; levels made after each composition
    ground_texture_given_levels = 4,     // composed on the processor; every level uploaded
};

// How many levels a texture of a side has down to one texel, and the bytes of all of them.
int ground_level_count(int side);
size_t ground_levels_bytes(int side);

// One square of the ground to compose on the card.
struct ground_compose_job {
    uint32_t target = 0;                   // the colour texture
    uint32_t normal_target = 0;            // when lit per pixel: the normal-map texture
    uint32_t specular_target = 0;          // when lit per pixel: the specular texture
    int size = 0;                          // texels a side
    int method = 0;                        // ground_method_copy or ground_method_framebuffer
    int cell_x = 0, cell_z = 0, cells = 1; // the square, in ground cells
    uint32_t data_texture = 0;             // shading or normal map under the square
    int data_x = 0, data_z = 0;            // sample under the data texture's first texel
    int data_width = 0, data_height = 0;   // texels
    const int* decals = nullptr;           // indices into ground_decals(), overlapping the square
    int decal_count = 0;
    int kind = ground_texture_one_level;
};

// A run of drawn triangles sharing one composed texture.
struct ground_draw_run {
    uint32_t texture = 0;
    uint32_t normal_map = 0, specular_map = 0; // when lit per pixel
    int first = 0;                             // vertex
    int count = 0;                             // vertices, three a triangle
};

struct ground_gpu {
    const char* name;
    // True when a context is current on this thread; without one nothing reaches the card.
    bool (*current)();
    // Whether the driver's extension string holds the name as a whole word.
    bool (*has_extension)(const char* name);
    const char* (*renderer)();
    // A texture of RGB texels, clamped at its edges; 0 when it can't be had.
    uint32_t (*texture_create)(int width, int height, const uint8_t* rgb, int kind);
    // New texels: `levels` levels one after the other, each half the size of the one before.
    void (*texture_upload)(uint32_t id, int width, int height, const uint8_t* rgb, int levels);
    void (*texture_delete)(uint32_t id);
    // Composes a square by drawing; false when it was abandoned (the texture keeps its content).
    bool (*compose)(const ground_compose_job& job);
    // Draws the triangles (x, y, z, s, t per vertex) run by run, in order.
    void (*draw)(const float* vertices, const ground_draw_run* runs, int run_count,
                 bool vertex_arrays, bool lit_per_pixel);
};

// Holds nothing and draws nothing: the server, the tools and headless tests.
extern const ground_gpu k_ground_gpu_null;
// OpenGL 1.x with the framebuffer-object extension where the driver has it (library
// tb_terrain_gl).
extern const ground_gpu k_ground_gpu_gl;

void ground_set_gpu(const ground_gpu* gpu);
const ground_gpu& ground_gpu_current();
