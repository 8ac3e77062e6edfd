// The ground on an OpenGL 1.x card: composed textures and their uploads, composing a square by
// drawing its surface pictures, decals and shading into the frame buffer (then copying) or
// straight into the texture through a framebuffer object, and drawing the level-of-detail mesh.
#include "terrain/ground_gpu.h"
#include "terrain/terrain.h"

#include "common/message.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "resources/gl/gl_bind.h"
#include "resources/gl/gl_programs.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {
// The middle 7/8 of a surface picture covers one ground cell.
constexpr float k_surface_low = 0.0625f, k_surface_high = 0.9375f;
// Decals longer than this come apart into pieces on the card that needs the work-around.
constexpr float k_x1270_decal_limit = 256;

struct ground_gl_state {
    bool looked_up = false; // the entry points below were fetched
    PFNGLGENFRAMEBUFFERSEXTPROC gen_framebuffers = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC bind_framebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC framebuffer_texture = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC check_framebuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC delete_framebuffers = nullptr;
    PFNGLGENERATEMIPMAPEXTPROC generate_mipmap = nullptr;
    PFNGLACTIVETEXTUREARBPROC active_texture = nullptr;
    GLuint framebuffer = 0;
    bool x1270 = false;                          // the renderer needs long decals in pieces
    std::vector<std::pair<uint32_t, int>> cells; // surface texture and cell of a square
};
ground_gl_state g_gl;

const char* gl_string(GLenum name) {
    const GLubyte* s = glGetString(name);
    return s ? reinterpret_cast<const char*>(s) : "";
}

const char* gl_renderer() { return gl_string(GL_RENDERER); }

bool gl_current() { return glGetString(GL_VERSION) != nullptr; }

template <typename F> void fetch(F* out, const char* name) {
    *out = reinterpret_cast<F>(platform().gl_proc(name));
}

void look_up() {
    if (g_gl.looked_up) return;
    g_gl.looked_up = true;
    if (gl_has_extension("GL_EXT_framebuffer_object")) {
        fetch(&g_gl.gen_framebuffers, "glGenFramebuffersEXT");
        fetch(&g_gl.bind_framebuffer, "glBindFramebufferEXT");
        fetch(&g_gl.framebuffer_texture, "glFramebufferTexture2DEXT");
        fetch(&g_gl.check_framebuffer, "glCheckFramebufferStatusEXT");
        fetch(&g_gl.delete_framebuffers, "glDeleteFramebuffersEXT");
        fetch(&g_gl.generate_mipmap, "glGenerateMipmapEXT");
    }
    if (gl_has_extension("GL_ARB_multitexture")) fetch(&g_gl.active_texture, "glActiveTextureARB");
    g_gl.x1270 = strstr(gl_renderer(), "ATI Radeon X1270") != nullptr;
    if (g_gl.x1270) log("Working around ATI Radeon X1270 bug\n");
}

void bind_for_change(uint32_t id) {
    gl_bind_forget();
    glBindTexture(GL_TEXTURE_2D, id);
}

uint32_t gl_texture_create(int width, int height, const uint8_t* rgb, int kind) {
    look_up();
    GLuint id = 0;
    glGenTextures(1, &id);
    if (!id) return 0;
    bind_for_change(id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const bool levels = kind == ground_texture_automatic_levels ||
                        kind == ground_texture_given_levels ||
                        (kind == ground_texture_generated_levels && g_gl.generate_mipmap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    levels                        ? GL_LINEAR_MIPMAP_NEAREST
                    : kind == ground_texture_data ? GL_LINEAR
                                                  : GL_NEAREST);
    while (glGetError() != GL_NO_ERROR) {
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    if (glGetError() == GL_OUT_OF_MEMORY) {
        glDeleteTextures(1, &id);
        return 0;
    }
    // The placeholder's smaller levels are never seen (a texture is drawn only once composed),
    // so they are left for the first composition to fill, by the driver or with the texels.
    if (kind == ground_texture_automatic_levels)
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, GL_TRUE);
    if (kind == ground_texture_given_levels)
        for (int level = 1, w = width / 2, h = height / 2; w >= 1 || h >= 1;
             level++, w /= 2, h /= 2)
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGB8, std::max(w, 1), std::max(h, 1), 0, GL_RGB,
                         GL_UNSIGNED_BYTE, nullptr);
    if (kind == ground_texture_generated_levels && g_gl.generate_mipmap)
        g_gl.generate_mipmap(GL_TEXTURE_2D);
    return id;
}

void gl_texture_upload(uint32_t id, int width, int height, const uint8_t* rgb, int levels) {
    bind_for_change(id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int level = 0; level < levels; level++) {
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        rgb += static_cast<size_t>(width) * height * 3;
        width = std::max(width / 2, 1);
        height = std::max(height / 2, 1);
    }
}

void gl_texture_delete(uint32_t id) {
    GLuint name = id;
    gl_bind_forget();
    glDeleteTextures(1, &name);
}

// The square being composed fills [-1, 1] x [-1, 1] at z = -1; ground x across, z up.
struct square_map {
    float x0, z0, scale; // ft of the square's corner, and square units per ft

    void vertex(float x, float z) const {
        glVertex3f(-1 + (x - x0) * scale, -1 + (z - z0) * scale, -1);
    }
};

void draw_cells(const ground_compose_job& job) {
    const ground_state& g = ground();
    const surface_set& s = g.surfaces;
    g_gl.cells.clear();
    for (int z = 0; z < job.cells; z++)
        for (int x = 0; x < job.cells; x++) {
            const int cx = std::min(job.cell_x + x, s.tiles_per_side - 1);
            const int cz = std::min(job.cell_z + z, s.tiles_per_side - 1);
            int type = s.tilemap ? s.tilemap[static_cast<size_t>(cz) * s.tiles_per_side + cx] : 0;
            type = std::min(type, s.count - 1);
            g_gl.cells.emplace_back(type >= 0 ? s.types[type].texture : 0, z * job.cells + x);
        }
    // Fewer binds: the cells of one surface together.
    std::stable_sort(g_gl.cells.begin(), g_gl.cells.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const float step = 2.0f / static_cast<float>(job.cells);
    size_t k = 0;
    while (k < g_gl.cells.size()) {
        const uint32_t texture = g_gl.cells[k].first;
        gl_bind_texture(texture);
        glBegin(GL_QUADS);
        for (; k < g_gl.cells.size() && g_gl.cells[k].first == texture; k++) {
            const int cell = g_gl.cells[k].second;
            const float x0 = -1 + static_cast<float>(cell % job.cells) * step;
            const float y0 = -1 + static_cast<float>(cell / job.cells) * step;
            glTexCoord2f(k_surface_low, k_surface_low), glVertex3f(x0, y0, -1);
            glTexCoord2f(k_surface_high, k_surface_low), glVertex3f(x0 + step, y0, -1);
            glTexCoord2f(k_surface_high, k_surface_high), glVertex3f(x0 + step, y0 + step, -1);
            glTexCoord2f(k_surface_low, k_surface_high), glVertex3f(x0, y0 + step, -1);
        }
        glEnd();
    }
}

// Each decal by its alpha, or its normal or specular companion, in pieces where it must be.
void draw_decals(const ground_compose_job& job, const square_map& m, int which) {
    const std::vector<ground_decal>& decals = ground_decals();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int k = 0; k < job.decal_count; k++) {
        const ground_decal& d = decals[job.decals[k]];
        const uint32_t texture = which == 0   ? d.texture
                                 : which == 1 ? d.normal_map
                                              : d.specular_map;
        if (!texture) continue;
        gl_bind_texture(texture);
        int pieces = 1;
        if (g_gl.x1270 && d.size > k_x1270_decal_limit)
            for (pieces = 2; d.size / static_cast<float>(pieces) > k_x1270_decal_limit;)
                pieces *= 2;
        const float ux = d.cosine * d.size * d.aspect, uz = -d.sine * d.size * d.aspect;
        const float vx = d.sine * d.size, vz = d.cosine * d.size;
        const float ox = d.x - (ux + vx) / 2, oz = d.z - (uz + vz) / 2;
        const float inverse = 1.0f / static_cast<float>(pieces);
        glBegin(GL_QUADS);
        for (int b = 0; b < pieces; b++)
            for (int a = 0; a < pieces; a++) {
                const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                for (const auto& c : corners) {
                    const float s = (static_cast<float>(a) + c[0]) * inverse;
                    const float t = (static_cast<float>(b) + c[1]) * inverse;
                    glTexCoord2f(s, t);
                    m.vertex(ox + ux * s + vx * t, oz + uz * s + vz * t);
                }
            }
        glEnd();
    }
    glDisable(GL_BLEND);
}

// Where the square's corners fall in the data texture under it, texel centres on the samples.
struct data_window {
    float s0, t0, s1, t1;
};
data_window data_window_of(const ground_compose_job& job) {
    data_window w;
    w.s0 = (static_cast<float>(2 * job.cell_x - job.data_x) + 0.5f) /
           static_cast<float>(job.data_width);
    w.t0 = (static_cast<float>(2 * job.cell_z - job.data_z) + 0.5f) /
           static_cast<float>(job.data_height);
    w.s1 = w.s0 + static_cast<float>(2 * job.cells) / static_cast<float>(job.data_width);
    w.t1 = w.t0 + static_cast<float>(2 * job.cells) / static_cast<float>(job.data_height);
    return w;
}

// The data texture under the square.
void draw_data(const ground_compose_job& job) {
    gl_bind_texture(job.data_texture);
    const auto [s0, t0, s1, t1] = data_window_of(job);
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0), glVertex3f(-1, -1, -1);
    glTexCoord2f(s1, t0), glVertex3f(1, -1, -1);
    glTexCoord2f(s1, t1), glVertex3f(1, 1, -1);
    glTexCoord2f(s0, t1), glVertex3f(-1, 1, -1);
    glEnd();
}

// The decals' normal maps turned onto the ground normals beneath them by the "terrain_normals"
// program, which reads those normals from the data texture on unit 1 through texture matrix 1.
void draw_decal_normals(const ground_compose_job& job, const square_map& m) {
    const gl_program_table* programs = gl_programs();
    if (!programs || !job.data_texture || job.decal_count == 0) return;
    const data_window w = data_window_of(job);
    programs->active_texture(1);
    glBindTexture(GL_TEXTURE_2D, job.data_texture);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    // The square's [-1, 1] corners onto the data texture's window.
    glTranslatef(w.s0, w.t0, 0);
    glScalef((w.s1 - w.s0) / 2, (w.t1 - w.t0) / 2, 1);
    glTranslatef(1, 1, 0);
    programs->active_texture(0);
    glMatrixMode(GL_MODELVIEW);
    programs->select(program_terrain_normals);
    draw_decals(job, m, 1);
    programs->select(program_fixed);
    programs->active_texture(1);
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glBindTexture(GL_TEXTURE_2D, 0);
    programs->active_texture(0);
}

// Draws one of the square's pictures: 0 colour, 1 normals, 2 specular.
void draw_picture(const ground_compose_job& job, const square_map& m, int which) {
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    if (which == 0) {
        draw_cells(job);
        draw_decals(job, m, 0);
        if (!ground_lit_per_pixel() && job.data_texture) {
            // 2 x shading x colour: a stored shading of 128 leaves the colour as it is.
            glEnable(GL_BLEND);
            glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
            draw_data(job);
            glDisable(GL_BLEND);
        }
    } else if (which == 1) {
        draw_data(job);
        draw_decal_normals(job, m);
    } else {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, job.size, job.size);
        glClearColor(0, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        draw_decals(job, m, 2);
    }
}

// Into the texture: by copying from the frame buffer, or drawn straight into it.
bool compose_into(const ground_compose_job& job, const square_map& m, uint32_t target, int which) {
    if (!target) return true;
    if (job.method == ground_method_framebuffer) {
        g_gl.framebuffer_texture(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                 target, 0);
        const GLenum status = g_gl.check_framebuffer(GL_FRAMEBUFFER_EXT);
        if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
            show_message("Framebuffer error %x", status);
            return false;
        }
    }
    draw_picture(job, m, which);
    if (job.method == ground_method_copy) {
        bind_for_change(target);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, job.size, job.size);
    }
    return true;
}

bool gl_compose(const ground_compose_job& job) {
    look_up();
    const bool direct = job.method == ground_method_framebuffer;
    if (direct && !g_gl.framebuffer_texture) return false;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5, 0.5, 0.5, 2);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    if (direct) {
        if (!g_gl.framebuffer) g_gl.gen_framebuffers(1, &g_gl.framebuffer);
        g_gl.bind_framebuffer(GL_FRAMEBUFFER_EXT, g_gl.framebuffer);
    }
    glViewport(0, 0, job.size, job.size);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
    const float ground_cell = 2 * ground().field.cell_size;
    const square_map m{static_cast<float>(job.cell_x) * ground_cell,
                       static_cast<float>(job.cell_z) * ground_cell,
                       2.0f / (static_cast<float>(job.cells) * ground_cell)};
    bool ok = compose_into(job, m, job.target, 0);
    if (ok && ground_lit_per_pixel()) {
        ok = compose_into(job, m, job.normal_target, 1) &&
             compose_into(job, m, job.specular_target, 2);
    }
    if (direct) {
        g_gl.bind_framebuffer(GL_FRAMEBUFFER_EXT, 0);
        if (ok && job.kind == ground_texture_generated_levels && g_gl.generate_mipmap)
            for (uint32_t t : {job.target, job.normal_target, job.specular_target})
                if (t) {
                    bind_for_change(t);
                    g_gl.generate_mipmap(GL_TEXTURE_2D);
                }
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    // The attributes brought the old binding back behind the remembered one's back.
    gl_bind_forget();
    return ok;
}

void bind_maps(const ground_draw_run& run) {
    if (!g_gl.active_texture) return;
    g_gl.active_texture(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, run.normal_map);
    g_gl.active_texture(GL_TEXTURE2_ARB);
    glBindTexture(GL_TEXTURE_2D, run.specular_map);
    g_gl.active_texture(GL_TEXTURE0_ARB);
}

void gl_draw(const float* vertices, const ground_draw_run* runs, int run_count, bool vertex_arrays,
             bool lit_per_pixel) {
    look_up();
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_LIGHTING_BIT);
    // Lit per pixel, the "terrain" program lights the composed colour by the composed normals.
    const gl_program_table* programs = lit_per_pixel ? gl_programs() : nullptr;
    if (programs) {
        const float white[4] = {1, 1, 1, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
        programs->select(program_terrain);
    }
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_TEXTURE_2D);
    // The composed texture already holds the light.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1, 1, 1, 1);
    constexpr GLsizei stride = 5 * sizeof(float);
    if (vertex_arrays) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, stride, vertices);
        glTexCoordPointer(2, GL_FLOAT, stride, vertices + 3);
    }
    for (int r = 0; r < run_count; r++) {
        const ground_draw_run& run = runs[r];
        gl_bind_texture(run.texture);
        if (lit_per_pixel) bind_maps(run);
        if (vertex_arrays) {
            glDrawArrays(GL_TRIANGLES, run.first, run.count);
            continue;
        }
        glBegin(GL_TRIANGLES);
        for (int v = run.first; v < run.first + run.count; v++) {
            glTexCoord2fv(vertices + 5 * v + 3);
            glVertex3fv(vertices + 5 * v);
        }
        glEnd();
    }
    if (vertex_arrays) {
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    if (programs) gl_programs_done();
    glPopAttrib();
    gl_bind_forget();
}
} // namespace

const ground_gpu k_ground_gpu_gl = {
    "opengl",          gl_current,        gl_has_extension, gl_renderer, gl_texture_create,
    gl_texture_upload, gl_texture_delete, gl_compose,       gl_draw,
};
