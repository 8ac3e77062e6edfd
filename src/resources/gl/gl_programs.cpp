// The driver's extension list by whole words, and the installed shader programs with the maps the
// next models are drawn with.
#include "resources/gl/gl_programs.h"

#include <GL/gl.h>

#include <cstring>

namespace {
struct programs_state {
    const gl_program_table* table = nullptr;
    bool normal_map = false, specular_map = false; // bound on units 1 and 2
};
programs_state g_programs;
} // namespace

bool gl_extension_listed(const char* list, const char* name) {
    if (!list || !name || !*name) return false;
    const size_t n = strlen(name);
    for (const char* at = strstr(list, name); at; at = strstr(at + 1, name))
        if ((at == list || at[-1] == ' ') && (at[n] == ' ' || at[n] == 0)) return true;
    return false;
}

bool gl_has_extension(const char* name) {
    return gl_extension_listed(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name);
}

void gl_programs_install(const gl_program_table* table) {
    g_programs = programs_state{};
    g_programs.table = table;
}

const gl_program_table* gl_programs() { return g_programs.table; }

void gl_model_maps(uint32_t normal_map, uint32_t specular_map) {
    const gl_program_table* t = g_programs.table;
    if (!t) return;
    t->active_texture(1);
    glBindTexture(GL_TEXTURE_2D, normal_map);
    t->active_texture(2);
    glBindTexture(GL_TEXTURE_2D, specular_map);
    t->active_texture(0);
    g_programs.normal_map = normal_map != 0;
    g_programs.specular_map = normal_map != 0 && specular_map != 0;
}

int gl_model_program(bool environment) {
    if (environment) return g_programs.normal_map ? program_norm_env : program_env;
    if (!g_programs.normal_map) return program_lit;
    return g_programs.specular_map ? program_norm_spec_lit : program_norm_lit;
}

void gl_programs_done() {
    const gl_program_table* t = g_programs.table;
    if (!t) return;
    if (g_programs.normal_map || g_programs.specular_map) gl_model_maps(0, 0);
    t->select(program_fixed);
}
