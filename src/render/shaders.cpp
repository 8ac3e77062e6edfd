// The shader programs on the card: the feature flags and entry points, building the seven
// programs from their GLSL sources, selecting them and setting their uniforms.
#include "render/render_local.h"
#include "render/shaders.h"

#include "platform/log.h"
#include "platform/platform.h"
#include "resources/model.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <vector>

#include "glsl_sources.inc"

namespace {
// One program of the table: its name and the GLSL pieces of its two stages, after the line that
// sets the largest bone count and the program's own definitions.
struct program_source {
    const char* name;
    const char* defines;
    std::vector<const char*> vertex;
    std::vector<const char*> fragment;
};

// The most bones a skinned part hands the card; the line below tells the GLSL the same.
constexpr int k_max_bones = 16;
constexpr const char* k_max_bone_line = "#define MAX_BONE 16\n";

const program_source k_programs[] = {
    {"lit",
     "#define LIT\n",
     {k_glsl_model_vertex},
     {k_glsl_sun_and_fog, k_glsl_surface_normal, k_glsl_lit_fragment}},
    {"env", "", {k_glsl_model_vertex}, {k_glsl_surface_normal, k_glsl_env_fragment}},
    {"norm_lit",
     "#define LIT\n#define NORMAL_MAP\n",
     {k_glsl_model_vertex},
     {k_glsl_sun_and_fog, k_glsl_surface_normal, k_glsl_lit_fragment}},
    {"norm_env",
     "#define NORMAL_MAP\n",
     {k_glsl_model_vertex},
     {k_glsl_surface_normal, k_glsl_env_fragment}},
    {"norm_spec_lit",
     "#define LIT\n#define NORMAL_MAP\n#define SPECULAR_MAP\n",
     {k_glsl_model_vertex},
     {k_glsl_sun_and_fog, k_glsl_surface_normal, k_glsl_lit_fragment}},
    {"terrain_normals", "", {k_glsl_terrain_normals_vertex}, {k_glsl_terrain_normals_fragment}},
    {"terrain", "", {k_glsl_terrain_vertex}, {k_glsl_sun_and_fog, k_glsl_terrain_fragment}},
};
static_assert(sizeof k_programs / sizeof k_programs[0] == k_program_slots - 1,
              "one source per program slot");

// The cached uniforms of a program, -1 until first looked up.
enum program_uniform {
    uniform_envmat,
    uniform_nbones,
    uniform_bone_c,
    uniform_bone_t,
    uniform_bone_r,
    k_uniforms
};
constexpr const char* k_uniform_names[] = {"envmat", "nbones", "bone_c", "bone_t", "bone_r"};
static_assert(sizeof k_uniform_names / sizeof k_uniform_names[0] == k_uniforms);

struct program_slot {
    GLhandleARB program = 0, vertex = 0, fragment = 0;
    GLint uniforms[k_uniforms] = {-1, -1, -1, -1, -1};
    bool looked_up[k_uniforms] = {};
};

// The extension entry points, fetched by name.
struct gl_entry_points {
    PFNGLACTIVETEXTUREARBPROC active_texture = nullptr;
    PFNGLCLIENTACTIVETEXTUREARBPROC client_active_texture = nullptr;
    PFNGLGENFRAMEBUFFERSEXTPROC gen_framebuffers = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC bind_framebuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC delete_framebuffers = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC framebuffer_texture = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC check_framebuffer = nullptr;
    PFNGLGENRENDERBUFFERSEXTPROC gen_renderbuffers = nullptr;
    PFNGLBINDRENDERBUFFEREXTPROC bind_renderbuffer = nullptr;
    PFNGLDELETERENDERBUFFERSEXTPROC delete_renderbuffers = nullptr;
    PFNGLRENDERBUFFERSTORAGEEXTPROC renderbuffer_storage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC framebuffer_renderbuffer = nullptr;
    PFNGLGENERATEMIPMAPEXTPROC generate_mipmap = nullptr;
    PFNGLCREATESHADEROBJECTARBPROC create_shader = nullptr;
    PFNGLSHADERSOURCEARBPROC shader_source = nullptr;
    PFNGLCOMPILESHADERARBPROC compile_shader = nullptr;
    PFNGLCREATEPROGRAMOBJECTARBPROC create_program = nullptr;
    PFNGLATTACHOBJECTARBPROC attach = nullptr;
    PFNGLDETACHOBJECTARBPROC detach = nullptr;
    PFNGLLINKPROGRAMARBPROC link = nullptr;
    PFNGLUSEPROGRAMOBJECTARBPROC use_program = nullptr;
    PFNGLDELETEOBJECTARBPROC delete_object = nullptr;
    PFNGLGETOBJECTPARAMETERIVARBPROC parameter = nullptr;
    PFNGLGETINFOLOGARBPROC info_log = nullptr;
    PFNGLGETUNIFORMLOCATIONARBPROC uniform_location = nullptr;
    PFNGLUNIFORM1IARBPROC uniform_1i = nullptr;
    PFNGLUNIFORM3FVARBPROC uniform_3fv = nullptr;
    PFNGLUNIFORMMATRIX3FVARBPROC uniform_matrix_3fv = nullptr;
    PFNGLVERTEXATTRIBPOINTERARBPROC vertex_attrib_pointer = nullptr;
    PFNGLENABLEVERTEXATTRIBARRAYARBPROC enable_vertex_attrib_array = nullptr;
    PFNGLDISABLEVERTEXATTRIBARRAYARBPROC disable_vertex_attrib_array = nullptr;
};

struct shader_state {
    gl_feature_flags features;
    gl_entry_points gl;
    program_slot slots[k_program_slots];
    int current = 0;
    bool in_use = false;
    std::string failure;
};
shader_state g_shaders;

template <typename F> void fetch(F* out, const char* name) {
    *out = reinterpret_cast<F>(platform().gl_proc(name));
}

void fetch_entry_points(gl_entry_points& e, const gl_feature_flags& f) {
    e = gl_entry_points{};
    if (f.multitexture) {
        fetch(&e.active_texture, "glActiveTextureARB");
        fetch(&e.client_active_texture, "glClientActiveTextureARB");
    }
    if (f.framebuffer_objects) {
        fetch(&e.gen_framebuffers, "glGenFramebuffersEXT");
        fetch(&e.bind_framebuffer, "glBindFramebufferEXT");
        fetch(&e.delete_framebuffers, "glDeleteFramebuffersEXT");
        fetch(&e.framebuffer_texture, "glFramebufferTexture2DEXT");
        fetch(&e.check_framebuffer, "glCheckFramebufferStatusEXT");
        fetch(&e.gen_renderbuffers, "glGenRenderbuffersEXT");
        fetch(&e.bind_renderbuffer, "glBindRenderbufferEXT");
        fetch(&e.delete_renderbuffers, "glDeleteRenderbuffersEXT");
        fetch(&e.renderbuffer_storage, "glRenderbufferStorageEXT");
        fetch(&e.framebuffer_renderbuffer, "glFramebufferRenderbufferEXT");
        fetch(&e.generate_mipmap, "glGenerateMipmapEXT");
    }
    if (f.vertex_shaders && f.fragment_shaders) {
        fetch(&e.create_shader, "glCreateShaderObjectARB");
        fetch(&e.shader_source, "glShaderSourceARB");
        fetch(&e.compile_shader, "glCompileShaderARB");
        fetch(&e.create_program, "glCreateProgramObjectARB");
        fetch(&e.attach, "glAttachObjectARB");
        fetch(&e.detach, "glDetachObjectARB");
        fetch(&e.link, "glLinkProgramARB");
        fetch(&e.use_program, "glUseProgramObjectARB");
        fetch(&e.delete_object, "glDeleteObjectARB");
        fetch(&e.parameter, "glGetObjectParameterivARB");
        fetch(&e.info_log, "glGetInfoLogARB");
        fetch(&e.uniform_location, "glGetUniformLocationARB");
        fetch(&e.uniform_1i, "glUniform1iARB");
        fetch(&e.uniform_3fv, "glUniform3fvARB");
        fetch(&e.uniform_matrix_3fv, "glUniformMatrix3fvARB");
        fetch(&e.vertex_attrib_pointer, "glVertexAttribPointerARB");
        fetch(&e.enable_vertex_attrib_array, "glEnableVertexAttribArrayARB");
        fetch(&e.disable_vertex_attrib_array, "glDisableVertexAttribArrayARB");
    }
}

bool shader_entry_points(const gl_entry_points& e) {
    return e.active_texture && e.client_active_texture && e.create_shader && e.shader_source &&
           e.compile_shader && e.create_program && e.attach && e.detach && e.link &&
           e.use_program && e.delete_object && e.parameter && e.info_log && e.uniform_location &&
           e.uniform_1i && e.uniform_3fv && e.uniform_matrix_3fv;
}

// Writes a non-empty information log of one step to the log file; true when the step succeeded.
bool step_result(GLhandleARB object, GLenum status, const char* step, const char* program) {
    const gl_entry_points& e = g_shaders.gl;
    GLint ok = 0, length = 0;
    e.parameter(object, status, &ok);
    e.parameter(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    if (length > 1) {
        std::vector<char> text(static_cast<size_t>(length) + 1, 0);
        GLsizei written = 0;
        e.info_log(object, length, &written, text.data());
        if (written > 0 && text[0]) log("%s for %s:\n%s\n", step, program, text.data());
    }
    return ok != 0;
}

bool compile(GLhandleARB shader, const program_source& p, const std::vector<const char*>& body,
             const char* step) {
    std::vector<const char*> pieces = {k_max_bone_line, p.defines};
    pieces.insert(pieces.end(), body.begin(), body.end());
    g_shaders.gl.shader_source(shader, static_cast<GLsizei>(pieces.size()), pieces.data(), nullptr);
    g_shaders.gl.compile_shader(shader);
    return step_result(shader, GL_OBJECT_COMPILE_STATUS_ARB, step, p.name);
}

void slot_delete(program_slot& s) {
    const gl_entry_points& e = g_shaders.gl;
    if (s.program) {
        if (s.vertex) e.detach(s.program, s.vertex);
        if (s.fragment) e.detach(s.program, s.fragment);
        e.delete_object(s.program);
    }
    if (s.vertex) e.delete_object(s.vertex);
    if (s.fragment) e.delete_object(s.fragment);
    s = program_slot{};
}

bool program_build(int slot) {
    const gl_entry_points& e = g_shaders.gl;
    const program_source& p = k_programs[slot - 1];
    program_slot& s = g_shaders.slots[slot];
    s.vertex = e.create_shader(GL_VERTEX_SHADER_ARB);
    s.fragment = e.create_shader(GL_FRAGMENT_SHADER_ARB);
    if (!s.vertex || !s.fragment) {
        g_shaders.failure = std::string(p.name) + ": no shader objects";
        return false;
    }
    if (!compile(s.vertex, p, p.vertex, "vertex shader status")) {
        g_shaders.failure = std::string(p.name) + ": vertex shader";
        return false;
    }
    if (!compile(s.fragment, p, p.fragment, "fragment shader status")) {
        g_shaders.failure = std::string(p.name) + ": fragment shader";
        return false;
    }
    s.program = e.create_program();
    e.attach(s.program, s.vertex);
    e.attach(s.program, s.fragment);
    e.link(s.program);
    if (!step_result(s.program, GL_OBJECT_LINK_STATUS_ARB, "link status", p.name)) {
        g_shaders.failure = std::string(p.name) + ": link";
        return false;
    }
    // The samplers' units never change.
    e.use_program(s.program);
    const struct {
        const char* name;
        int unit;
    } samplers[] = {{"tex", 0}, {"nmap", 1}, {"smap", 2}, {"base", 1}};
    for (const auto& sampler : samplers) {
        const GLint at = e.uniform_location(s.program, sampler.name);
        if (at >= 0) e.uniform_1i(at, sampler.unit);
    }
    e.use_program(0);
    return true;
}

GLint uniform_at(int slot, program_uniform u) {
    program_slot& s = g_shaders.slots[slot];
    if (!s.looked_up[u]) {
        s.uniforms[u] = g_shaders.gl.uniform_location(s.program, k_uniform_names[u]);
        s.looked_up[u] = true;
    }
    return s.uniforms[u];
}

// The table the drawing code below the renderer reaches the programs through.
void table_bones(int count, const model_bone* bones) {
    if (count <= 0 || !bones) {
        bones_set(0, nullptr, nullptr, nullptr);
        return;
    }
    float centres[3 * k_max_bones], translations[3 * k_max_bones], rotations[9 * k_max_bones];
    if (count > k_max_bones) count = k_max_bones;
    for (int b = 0; b < count; b++) {
        std::memcpy(&centres[3 * b], bones[b].centre, sizeof bones[b].centre);
        std::memcpy(&translations[3 * b], bones[b].translation, sizeof bones[b].translation);
        std::memcpy(&rotations[9 * b], bones[b].rotation, sizeof bones[b].rotation);
    }
    bones_set(count, centres, translations, rotations);
}
void table_active_texture(int unit) {
    g_shaders.gl.active_texture(static_cast<GLenum>(GL_TEXTURE0_ARB + unit));
}
void table_client_active_texture(int unit) {
    g_shaders.gl.client_active_texture(static_cast<GLenum>(GL_TEXTURE0_ARB + unit));
}
constexpr gl_program_table k_table = {program_select, table_bones, table_active_texture,
                                      table_client_active_texture};
} // namespace

const gl_feature_flags& gl_features() { return g_shaders.features; }

void gl_features_read() {
    shaders_free();
    const auto text = [](GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); };
    g_shaders.features = gl_features_parse(text(GL_VENDOR), text(GL_RENDERER), text(GL_VERSION),
                                           text(GL_EXTENSIONS));
    if (g_shaders.features.multitexture) {
        GLint units = 1;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
        g_shaders.features.texture_units = units;
        log("%d texture units\n", units);
    }
    fetch_entry_points(g_shaders.gl, g_shaders.features);
}

bool shaders_build(bool wanted) {
    shaders_free();
    g_shaders.failure.clear();
    const gl_feature_flags& f = g_shaders.features;
    if (!wanted || !shaders_offered(f)) return false;
    if (!shader_entry_points(g_shaders.gl) || f.texture_units < 3) {
        g_shaders.failure = "entry points";
        return false;
    }
    for (int slot = 1; slot < k_program_slots; slot++)
        if (!program_build(slot)) {
            for (program_slot& s : g_shaders.slots) slot_delete(s);
            return false;
        }
    g_shaders.in_use = true;
    g_shaders.current = 0;
    gl_programs_install(&k_table);
    return true;
}

void shaders_free() {
    gl_programs_install(nullptr);
    if (g_shaders.gl.use_program && g_shaders.current != 0) g_shaders.gl.use_program(0);
    if (g_shaders.gl.delete_object)
        for (program_slot& s : g_shaders.slots) slot_delete(s);
    g_shaders.current = 0;
    g_shaders.in_use = false;
}

bool shaders_in_use() { return g_shaders.in_use; }
const std::string& shaders_failure() { return g_shaders.failure; }

void program_select(int slot) {
    if (slot < 0 || slot >= k_program_slots || slot == g_shaders.current || !g_shaders.in_use)
        return;
    g_shaders.current = slot;
    g_shaders.gl.use_program(g_shaders.slots[slot].program);
    renderer().stats.shader_changes++;
}

int program_current() { return g_shaders.current; }

uint32_t program_get(int slot) {
    if (slot < 1 || slot >= k_program_slots) return 0;
    return static_cast<uint32_t>(g_shaders.slots[slot].program);
}

void envmat_set(const float rotation[9]) {
    if (!g_shaders.in_use) return;
    // GLSL takes the matrix column by column: the transpose of the row-major rotation.
    const float columns[9] = {rotation[0], rotation[3], rotation[6], rotation[1], rotation[4],
                              rotation[7], rotation[2], rotation[5], rotation[8]};
    for (int slot : {program_env, program_norm_env}) {
        program_select(slot);
        const GLint at = uniform_at(slot, uniform_envmat);
        if (at >= 0) g_shaders.gl.uniform_matrix_3fv(at, 1, GL_FALSE, columns);
    }
    program_select(program_fixed);
}

void bones_set(int count, const float* centres, const float* translations, const float* rotations) {
    const int slot = g_shaders.current;
    if (!g_shaders.in_use || slot == 0) return;
    if (count > k_max_bones) count = k_max_bones;
    const GLint nbones = uniform_at(slot, uniform_nbones);
    if (nbones >= 0) g_shaders.gl.uniform_1i(nbones, count);
    if (count <= 0) return;
    const GLint c = uniform_at(slot, uniform_bone_c), t = uniform_at(slot, uniform_bone_t),
                r = uniform_at(slot, uniform_bone_r);
    if (c >= 0) g_shaders.gl.uniform_3fv(c, count, centres);
    if (t >= 0) g_shaders.gl.uniform_3fv(t, count, translations);
    if (r >= 0) {
        float columns[9 * k_max_bones];
        for (int b = 0; b < count; b++)
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 3; j++)
                    columns[9 * b + 3 * j + i] = rotations[9 * b + 3 * i + j];
        g_shaders.gl.uniform_matrix_3fv(r, count, GL_FALSE, columns);
    }
}
