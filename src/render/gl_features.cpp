// The driver's features: the flags read from its extension string by whole words and its
// vendor, renderer and version strings.
#include "render/shaders.h"

#include <cstdio>

gl_feature_flags gl_features_parse(const char* vendor, const char* renderer, const char* version,
                                   const char* extensions) {
    gl_feature_flags f;
    f.generate_mipmap = gl_extension_listed(extensions, "GL_SGIS_generate_mipmap");
    f.framebuffer_objects = gl_extension_listed(extensions, "GL_EXT_framebuffer_object");
    f.multitexture = gl_extension_listed(extensions, "GL_ARB_multitexture");
    f.fragment_shaders = gl_extension_listed(extensions, "GL_ARB_fragment_shader");
    f.vertex_shaders = gl_extension_listed(extensions, "GL_ARB_vertex_shader");
    f.vendor = vendor ? vendor : "NULL";
    f.renderer = renderer ? renderer : "NULL";
    f.version = version ? version : "NULL";
    if (std::sscanf(f.version.c_str(), "%d.%d", &f.major, &f.minor) != 2) f.major = f.minor = 0;
    return f;
}

bool shaders_offered(const gl_feature_flags& f) { return f.vertex_shaders && f.fragment_shaders; }
