// Model writing for the generator: simple meshes built from boxes and written as ".jm" text.
#include "forge.h"
#include "forge_resources.h"

#include <cstdio>

model_part forge_box_part(const float centre[3], const float size[3], const float colour[4],
                          float shininess) {
    model_part part;
    part.shininess = shininess;
    for (int k = 0; k < 4; k++) part.colour[k] = colour[k];
    // Each face: its outward axis and sign, with four corners of its own so normals stay flat.
    for (int axis = 0; axis < 3; axis++)
        for (int sign = -1; sign <= 1; sign += 2) {
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            const int base = part.vertex_count;
            const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
            for (const auto& corner : corners) {
                float p[3], n[3] = {0, 0, 0};
                p[axis] = centre[axis] + sign * size[axis] / 2;
                p[u] = centre[u] + corner[0] * size[u] / 2;
                p[v] = centre[v] + corner[1] * size[v] / 2;
                n[axis] = static_cast<float>(sign);
                part.positions.insert(part.positions.end(), p, p + 3);
                part.normals.insert(part.normals.end(), n, n + 3);
                part.uvs.push_back((corner[0] + 1) / 2);
                part.uvs.push_back((corner[1] + 1) / 2);
                part.vertex_count++;
            }
            // Counter-clockwise seen from outside.
            const int order[2][6] = {{0, 2, 1, 0, 3, 2}, {0, 1, 2, 0, 2, 3}};
            for (int i : order[sign > 0 ? 1 : 0]) part.triangles.push_back(base + i);
            part.triangle_count += 2;
        }
    return part;
}

bool forge_write_model(const std::string& path, const model_mesh& mesh) {
    if (mesh.parts.empty()) {
        fprintf(stderr, "forge: model %s has no parts\n", path.c_str());
        return false;
    }
    return forge_write_file(path, model_jm_encode(mesh));
}
