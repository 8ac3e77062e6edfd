// The OpenGL entry of the resources' gpu table.
#include "resources/gl/gpu_gl.h"

const resources_gpu k_resources_gpu_gl = {
    "opengl",          gl_context_current, gl_texture_create, gl_texture_replace,
    gl_texture_delete, gl_mesh_compile,    gl_mesh_free,      gl_mesh_draw,
};
