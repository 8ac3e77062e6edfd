// What drawing below the renderer shares about the driver: its extension list read by whole
// words, and the shader programs, which the renderer builds and installs once the context exists.
#pragma once

#include <cstdint>

struct model_bone;

// Whether `name` occurs in the space-separated list as a whole word (a name that only begins a
// longer one does not count).
bool gl_extension_listed(const char* list, const char* name);
// The same against the current context's extension string (false without a context).
bool gl_has_extension(const char* name);

// The program slots: 0 is the fixed-function pipeline.
enum gl_program_slot {
    program_fixed,
    program_lit,
    program_env,
    program_norm_lit,
    program_norm_env,
    program_norm_spec_lit,
    program_terrain_normals,
    program_terrain,
    k_program_slots
};

// What the renderer installs once every program is built.
struct gl_program_table {
    void (*select)(int slot);
    // For the current program: the bones of the part about to be drawn (0 for rigid parts).
    void (*bones)(int count, const model_bone* bones);
    // The active texture unit and the one vertex texture-coordinate arrays go to.
    void (*active_texture)(int unit);
    void (*client_active_texture)(int unit);
};
// nullptr uninstalls: the fixed-function pipeline draws everything.
void gl_programs_install(const gl_program_table* table);
// The installed programs, or nullptr when none are in use.
const gl_program_table* gl_programs();

// The normal and specular maps of the models drawn next, on units 1 and 2 (0 for none); they pick
// the program each part is drawn with. Does nothing without programs.
void gl_model_maps(uint32_t normal_map, uint32_t specular_map);
// The program a model part is drawn with: environment-mapped or lit, with the maps set above.
int gl_model_program(bool environment);
// Back to the fixed-function pipeline, the maps unbound and unit 0 active.
void gl_programs_done();
