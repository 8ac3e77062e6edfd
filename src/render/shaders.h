// The driver's OpenGL features and the shader programs: the feature flags read from the
// extension string, the programs' building, selection and uniforms, and their release.
#pragma once

#include "resources/gl/gl_programs.h"

#include <string>

// What the driver offers, read once the context exists.
struct gl_feature_flags {
    bool generate_mipmap = false;     // "GL_SGIS_generate_mipmap"
    bool framebuffer_objects = false; // "GL_EXT_framebuffer_object"
    bool multitexture = false;        // "GL_ARB_multitexture"
    bool fragment_shaders = false;    // "GL_ARB_fragment_shader"
    bool vertex_shaders = false;      // "GL_ARB_vertex_shader"
    int texture_units = 1;            // queried with multitexture
    std::string vendor = "NULL", renderer = "NULL", version = "NULL";
    int major = 0, minor = 0; // from the version string
};
// The flags and strings from the driver's strings (nullptr reads "NULL"); units are left at 1.
gl_feature_flags gl_features_parse(const char* vendor, const char* renderer, const char* version,
                                   const char* extensions);
// Whether the driver offers what the programs need: both shader extensions.
bool shaders_offered(const gl_feature_flags& f);
// The flags of the current context (all off before `gl_features_init`).
const gl_feature_flags& gl_features();

// Builds the seven programs in slot order when `wanted` (the "use_shader" setting) and the driver
// has both shader extensions; stops at the first that fails and deletes those built. True when
// every program is built; shaders are then in use and installed for the drawing code.
bool shaders_build(bool wanted);
// Detaches and deletes every shader and program; the fixed-function pipeline draws from then on.
void shaders_free();
// Switches program when the slot differs from the current one (counted as a shader change);
// slots above the last are ignored.
void program_select(int slot);
int program_current();
// The GL program of a slot; 0 for the fixed-function slot and slots outside the table.
uint32_t program_get(int slot);
// The camera rotation (row-major, columns the camera's axes in world coordinates) for the
// reflections of "env" and "norm_env"; selects the fixed-function slot after.
void envmat_set(const float rotation[9]);
// For the current program: "nbones" = count and, when count > 0, the bones' centres and
// translations (count x 3 floats each) and rotations (count row-major 3 x 3 matrices).
void bones_set(int count, const float* centres, const float* translations, const float* rotations);
// Why the last build failed ("" when it did not): the program and step.
const std::string& shaders_failure();
