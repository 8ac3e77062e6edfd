// What the texture and model caches ask of the graphics card: a function table with a null entry,
// so that the caches keep the same names, generations and ids with no GL at all.
#pragma once

#include <cstdint>

struct image;
struct model_mesh;
struct model_camera;
struct model_pose;

struct resources_gpu {
    const char* name;
    // True when a context is current on this thread; without one nothing reaches the card.
    bool (*current)();
    // A new texture holding every level of the picture; `memory` gets the bytes it takes.
    uint32_t (*texture_create)(const image& im, bool repeat_s, bool repeat_t, bool compress,
                               int64_t* memory);
    // New pixels for every level of an existing texture of the same size (animation frames).
    void (*texture_replace)(uint32_t id, const image& im);
    void (*texture_delete)(uint32_t id);
    // Display lists for the parts that never change shape, and their release.
    void (*mesh_compile)(model_mesh* mesh);
    void (*mesh_free)(model_mesh* mesh);
    // Draws the lit parts, or only the environment-mapped ones; adds what it drew to the counts.
    void (*mesh_draw)(model_mesh* mesh, const float position[3], const model_camera& camera,
                      const float rotation[9], const model_pose* pose, bool environment_pass,
                      bool vertex_arrays, int* triangles, int* vertices);
};

// Draws nothing and holds nothing: the server, the tools and headless tests.
extern const resources_gpu k_resources_gpu_null;
// OpenGL 1.x (the gl/ back-end, in its own library so the simulation links without GL).
extern const resources_gpu k_resources_gpu_gl;

void resources_set_gpu(const resources_gpu* gpu);
const resources_gpu& resources_gpu_current();
