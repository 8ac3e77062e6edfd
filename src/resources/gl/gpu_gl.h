// What the OpenGL back-end's own files share.
#pragma once

#include "resources/gpu.h"

bool gl_context_current();
uint32_t gl_texture_create(const image& im, bool repeat_s, bool repeat_t, bool compress,
                           int64_t* memory);
void gl_texture_replace(uint32_t id, const image& im);
void gl_texture_delete(uint32_t id);
void gl_mesh_compile(model_mesh* mesh);
void gl_mesh_free(model_mesh* mesh);
void gl_mesh_draw(model_mesh* mesh, const float position[3], const model_camera& camera,
                  const float rotation[9], const model_pose* pose, bool environment_pass,
                  bool vertex_arrays, int* triangles, int* vertices);
