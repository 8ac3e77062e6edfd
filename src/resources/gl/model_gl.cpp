// Models on an OpenGL 1.x card: display lists for rigid parts, materials, and drawing.
#include "resources/gl/gl_programs.h"
#include "resources/gl/gpu_gl.h"

#include "resources/model.h"

#include "common/common.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
void set_material(const model_part& part) {
    float specular[4] = {part.colour[0], part.colour[1], part.colour[2], part.colour[3]};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS,
                std::min(128.0f, std::max(part.shininess, 0.125f)));
    glColor4fv(part.colour);
}

void draw_arrays(const model_part& part, const float* uvs, bool vertex_arrays) {
    if (vertex_arrays) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, part.positions.data());
        glNormalPointer(GL_FLOAT, 0, part.normals.data());
        glTexCoordPointer(2, GL_FLOAT, 0, uvs);
        glDrawElements(GL_TRIANGLES, part.triangle_count * 3, GL_UNSIGNED_INT,
                       part.triangles.data());
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        return;
    }
    glBegin(GL_TRIANGLES);
    for (int32_t index : part.triangles) {
        glTexCoord2fv(&uvs[2 * static_cast<size_t>(index)]);
        glNormal3fv(&part.normals[3 * static_cast<size_t>(index)]);
        glVertex3fv(&part.positions[3 * static_cast<size_t>(index)]);
    }
    glEnd();
}

// Sphere-map coordinates for an environment part: the reflected view direction in camera axes.
std::vector<float> environment_uvs(const model_part& part, const float position[3],
                                   const model_camera& camera, const float rotation[9]) {
    std::vector<float> uvs(static_cast<size_t>(part.vertex_count) * 2);
    for (int i = 0; i < part.vertex_count; i++) {
        const float* p = &part.positions[3 * static_cast<size_t>(i)];
        const float* n = &part.normals[3 * static_cast<size_t>(i)];
        float world[3], normal[3], d[3];
        for (int r = 0; r < 3; r++) {
            world[r] = position[r] + rotation[3 * r] * p[0] + rotation[3 * r + 1] * p[1] +
                       rotation[3 * r + 2] * p[2];
            normal[r] =
                rotation[3 * r] * n[0] + rotation[3 * r + 1] * n[1] + rotation[3 * r + 2] * n[2];
            d[r] = world[r] - camera.position[r];
        }
        float dn = d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2];
        float nn = normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2];
        float reflected[3];
        for (int r = 0; r < 3; r++) reflected[r] = d[r] - (nn > 0 ? 2 * dn / nn : 0) * normal[r];
        float length = std::sqrt(reflected[0] * reflected[0] + reflected[1] * reflected[1] +
                                 reflected[2] * reflected[2]);
        float a[3] = {0, 1, 0};
        if (length > 0)
            for (int k = 0; k < 3; k++)
                a[k] = (camera.axes[3 * k] * reflected[0] + camera.axes[3 * k + 1] * reflected[1] +
                        camera.axes[3 * k + 2] * reflected[2]) /
                       length;
        float theta = std::acos(std::clamp(a[1], -1.0f, 1.0f)) / (2 * static_cast<float>(k_pi));
        float side = std::sqrt(a[0] * a[0] + a[2] * a[2]);
        uvs[2 * static_cast<size_t>(i)] = 0.5f + (side > 0 ? theta * a[0] / side : 0);
        uvs[2 * static_cast<size_t>(i) + 1] = 0.5f + (side > 0 ? theta * a[2] / side : 0);
    }
    return uvs;
}

// A part drawn by a shader program: skinned parts in their rest pose with the bones handed to the
// program, the tangents, bone weights and bone indices as texture-coordinate sets 1, 2 and 3.
void draw_with_program(const gl_program_table& t, const model_part& part, const model_pose* pose,
                       bool environment) {
    t.select(gl_model_program(environment));
    const bool skinned = pose && part.bone_count > 0 && pose->bone_count == part.bone_count &&
                         part.rest_positions.size() == part.positions.size();
    t.bones(skinned ? pose->bone_count : 0, skinned ? pose->bones : nullptr);
    const std::vector<float>& positions = skinned ? part.rest_positions : part.positions;
    const std::vector<float>& normals = skinned ? part.rest_normals : part.normals;
    const std::vector<float>& tangents = skinned ? part.rest_tangents : part.tangents;
    const size_t vertices = static_cast<size_t>(part.vertex_count);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, positions.data());
    glNormalPointer(GL_FLOAT, 0, normals.data());
    int sets = 0;
    const auto coordinates = [&](int size, GLenum type, const void* data) {
        t.client_active_texture(sets++);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(size, type, 0, data);
    };
    coordinates(2, GL_FLOAT, part.uvs.data());
    // A part without tangents hands its normals instead; only normal maps read the tangents.
    coordinates(3, GL_FLOAT, tangents.size() == 3 * vertices ? tangents.data() : normals.data());
    if (skinned && part.bone_weights.size() == 4 * vertices &&
        part.bone_indices.size() == 4 * vertices) {
        coordinates(4, GL_FLOAT, part.bone_weights.data());
        coordinates(4, GL_SHORT, part.bone_indices.data());
    }
    glDrawElements(GL_TRIANGLES, part.triangle_count * 3, GL_UNSIGNED_INT, part.triangles.data());
    while (sets > 0) {
        t.client_active_texture(--sets);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

} // namespace

void gl_mesh_draw(model_mesh* mesh, const float position[3], const model_camera& camera,
                  const float rotation[9], const model_pose* pose, bool environment_pass,
                  bool vertex_arrays, int* triangles, int* vertices) {
    glPushMatrix();
    const float* m = rotation;
    float matrix[16] = {m[0], m[3], m[6], 0, m[1],        m[4],        m[7],        0,
                        m[2], m[5], m[8], 0, position[0], position[1], position[2], 1};
    glMultMatrixf(matrix);
    const gl_program_table* programs = gl_programs();
    for (model_part& part : mesh->parts) {
        const bool environment = part.shininess == k_model_mode_environment;
        if (environment != environment_pass) {
            if (!environment_pass) break; // the lit pass stops at the first environment part
            continue;
        }
        if (!programs && pose && part.bone_count > 0 && pose->bone_count == part.bone_count)
            model_part_skin(&part, *pose);
        const bool self_lit = part.shininess == k_model_mode_self_lit;
        if (self_lit) {
            // Only light 0's ambient term, at the part's colour, reaches the part.
            glPushAttrib(GL_LIGHTING_BIT | GL_ENABLE_BIT);
            const float black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1};
            glDisable(GL_COLOR_MATERIAL);
            glEnable(GL_LIGHT0);
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
            glLightfv(GL_LIGHT0, GL_AMBIENT, part.colour);
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, black);
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
            glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 1.0f);
            glColor4fv(part.colour);
        } else if (environment) {
            const float a = part.colour[3];
            glColor4f(part.colour[0] * a, part.colour[1] * a, part.colour[2] * a, a);
        } else {
            set_material(part);
        }
        if (programs) {
            draw_with_program(*programs, part, pose, environment);
        } else if (environment) {
            std::vector<float> uvs = environment_uvs(part, position, camera, rotation);
            draw_arrays(part, uvs.data(), vertex_arrays);
        } else if (part.display_list) {
            glCallList(part.display_list);
        } else {
            draw_arrays(part, part.uvs.data(), vertex_arrays);
        }
        if (self_lit) glPopAttrib();
        *triangles += part.triangle_count;
        *vertices += part.vertex_count;
    }
    glPopMatrix();
}

void gl_mesh_compile(model_mesh* mesh) {
    for (model_part& part : mesh->parts) {
        if (!mesh->plain && (part.bone_count > 0 || part.shininess < 0)) continue;
        part.display_list = glGenLists(1);
        if (!part.display_list) continue;
        glNewList(part.display_list, GL_COMPILE);
        glBegin(GL_TRIANGLES);
        for (int32_t index : part.triangles) {
            glTexCoord2fv(&part.uvs[2 * static_cast<size_t>(index)]);
            glNormal3fv(&part.normals[3 * static_cast<size_t>(index)]);
            glVertex3fv(&part.positions[3 * static_cast<size_t>(index)]);
        }
        glEnd();
        glEndList();
    }
}

void gl_mesh_free(model_mesh* mesh) {
    for (model_part& part : mesh->parts) {
        if (part.display_list) glDeleteLists(part.display_list, 1);
        part.display_list = 0;
    }
}
