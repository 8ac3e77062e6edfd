// The generator's mesh shapes and the builder that gathers them into parts by material.
#include "common/common.h"
#include "forge_mesh.h"

#include "forge_resources.h"

#include <algorithm>
#include <cmath>

namespace {

vec3 unit(vec3 a) {
    float l = std::sqrt(dot(a, a));
    return l > 0 ? (a * (1 / l)) : vec3{0, 1, 0};
}

int vertex(model_part& p, vec3 at, vec3 normal, float u = 0.5f, float v = 0.5f) {
    p.positions.insert(p.positions.end(), {at.x, at.y, at.z});
    vec3 n = unit(normal);
    p.normals.insert(p.normals.end(), {n.x, n.y, n.z});
    p.uvs.insert(p.uvs.end(), {u, v});
    return p.vertex_count++;
}

void triangle(model_part& p, int a, int b, int c) {
    p.triangles.insert(p.triangles.end(), {a, b, c});
    p.triangle_count++;
}

// Two axes across a direction.
void across(vec3 d, vec3* s, vec3* t) {
    vec3 other = std::fabs(d.y) < 0.9f ? vec3{0, 1, 0} : vec3{1, 0, 0};
    *s = unit(cross(other, d));
    *t = cross(d, *s);
}

void append(model_part& into, const model_part& from) {
    const int base = into.vertex_count;
    into.positions.insert(into.positions.end(), from.positions.begin(), from.positions.end());
    into.normals.insert(into.normals.end(), from.normals.begin(), from.normals.end());
    into.uvs.insert(into.uvs.end(), from.uvs.begin(), from.uvs.end());
    into.bone_weights.insert(into.bone_weights.end(), from.bone_weights.begin(),
                             from.bone_weights.end());
    into.bone_indices.insert(into.bone_indices.end(), from.bone_indices.begin(),
                             from.bone_indices.end());
    for (int32_t t : from.triangles) into.triangles.push_back(base + t);
    into.vertex_count += from.vertex_count;
    into.triangle_count += from.triangle_count;
}
} // namespace

void mesh_builder::add(model_part shape, int swatch, const mesh_material& material) {
    if (swatch != k_own_uvs) {
        const float u = (static_cast<float>(swatch % k_swatch_grid) + 0.5f) / k_swatch_grid;
        const float v = (static_cast<float>(swatch / k_swatch_grid) + 0.5f) / k_swatch_grid;
        for (size_t i = 0; i < shape.uvs.size(); i += 2) {
            shape.uvs[i] = u;
            shape.uvs[i + 1] = v;
        }
    }
    if (bone >= 0)
        for (int k = 0; k < shape.vertex_count; k++) {
            shape.bone_weights.insert(shape.bone_weights.end(), {1, 0, 0, 0});
            shape.bone_indices.insert(shape.bone_indices.end(),
                                      {static_cast<uint16_t>(bone), 0, 0, 0});
        }
    size_t at = 0;
    while (at < materials.size() && (materials[at].specular != material.specular ||
                                     materials[at].shininess != material.shininess))
        at++;
    if (at == materials.size()) {
        materials.push_back(material);
        model_part part;
        part.shininess = material.shininess;
        part.colour[0] = part.colour[1] = part.colour[2] = material.specular;
        part.colour[3] = 1;
        parts.push_back(part);
    }
    append(parts[at], shape);
}

model_mesh mesh_builder::mesh(int bones) const {
    model_mesh m;
    m.parts = parts;
    if (bones > 0) {
        m.version = 2;
        m.file_bone_count = bones;
        for (model_part& p : m.parts) p.bone_count = bones;
    } else {
        m.version = 1;
    }
    return m;
}

model_part shape_box(vec3 centre, vec3 size) {
    const float c[3] = {centre.x, centre.y, centre.z}, s[3] = {size.x, size.y, size.z};
    const float white[4] = {1, 1, 1, 1};
    return forge_box_part(c, s, white, 0);
}

model_part shape_tube(vec3 a, vec3 b, float radius_a, float radius_b, int sides, float wide,
                      bool open) {
    model_part p;
    const vec3 d = unit(b - a);
    vec3 s, t;
    across(d, &s, &t);
    // Keep the squashed axis along x where the tube allows it.
    if (std::fabs(d.x) < 0.9f) {
        s = unit(vec3{1, 0, 0} - (d * d.x));
        t = cross(d, s);
    }
    const float slope = (radius_a - radius_b) / std::sqrt(dot(b - a, b - a));
    for (int k = 0; k <= sides; k++) {
        float angle = 2 * k_pi_f * static_cast<float>(k) / static_cast<float>(sides);
        float cs = std::cos(angle), sn = std::sin(angle);
        vec3 out = (s * (cs * wide)) + (t * sn);
        vec3 normal = ((s * (cs / wide)) + (t * sn)) + (d * slope);
        vertex(p, a + (out * radius_a), normal);
        vertex(p, b + (out * radius_b), normal);
    }
    for (int k = 0; k < sides; k++) {
        int i = 2 * k;
        triangle(p, i, i + 2, i + 1);
        triangle(p, i + 1, i + 2, i + 3);
    }
    // End caps, each a fan round its own centre.
    for (int end = 0; end < 2 && !open; end++) {
        const vec3 centre = end ? b : a;
        const float radius = end ? radius_b : radius_a;
        const vec3 normal = end ? d : (d * -1);
        int middle = vertex(p, centre, normal);
        int first = p.vertex_count;
        for (int k = 0; k < sides; k++) {
            float angle = 2 * k_pi_f * static_cast<float>(k) / static_cast<float>(sides);
            vec3 out = (s * (std::cos(angle) * wide)) + (t * std::sin(angle));
            vertex(p, centre + (out * radius), normal);
        }
        for (int k = 0; k < sides; k++) {
            int here = first + k, next = first + (k + 1) % sides;
            if (end)
                triangle(p, middle, here, next);
            else
                triangle(p, middle, next, here);
        }
    }
    return p;
}

model_part shape_pipe(const std::vector<vec3>& points, float radius, int sides) {
    model_part p;
    for (size_t k = 0; k + 1 < points.size(); k++)
        append(p, shape_tube(points[k], points[k + 1], radius, radius, sides));
    return p;
}

model_part shape_hull(const std::vector<std::pair<float, float>>& zy, float x0, float x1) {
    // Andrew's monotone chain, counter-clockwise in (z, y).
    std::vector<std::pair<float, float>> pts = zy, hull;
    std::sort(pts.begin(), pts.end());
    auto turn = [](std::pair<float, float> o, std::pair<float, float> a,
                   std::pair<float, float> b) {
        return (a.first - o.first) * (b.second - o.second) -
               (a.second - o.second) * (b.first - o.first);
    };
    for (int pass = 0; pass < 2; pass++) {
        const size_t start = hull.size();
        for (const auto& q : pts) {
            while (hull.size() >= start + 2 && turn(hull[hull.size() - 2], hull.back(), q) <= 0)
                hull.pop_back();
            hull.push_back(q);
        }
        hull.pop_back();
        std::reverse(pts.begin(), pts.end());
    }
    model_part p;
    const int n = static_cast<int>(hull.size());
    if (n < 3) return p;
    float zmin = 1e9f, zmax = -1e9f, ymin = 1e9f, ymax = -1e9f;
    for (const auto& q : hull) {
        zmin = std::min(zmin, q.first), zmax = std::max(zmax, q.first);
        ymin = std::min(ymin, q.second), ymax = std::max(ymax, q.second);
    }
    // The two flat sides. Counter-clockwise in (z, y) is clockwise seen from +x.
    for (int side = 0; side < 2; side++) {
        const float x = side ? x1 : x0;
        const vec3 normal = {side ? 1.0f : -1.0f, 0, 0};
        const int first = p.vertex_count;
        for (const auto& q : hull) {
            float u = (q.first - zmin) / (zmax - zmin);
            vertex(p, {x, q.second, q.first}, normal, side ? 1 - u : u,
                   (ymax - q.second) / (ymax - ymin));
        }
        for (int k = 1; k + 1 < n; k++) {
            if (side)
                triangle(p, first, first + k + 1, first + k);
            else
                triangle(p, first, first + k, first + k + 1);
        }
    }
    // The rim between them, flat per edge.
    for (int k = 0; k < n; k++) {
        const auto& a = hull[k];
        const auto& b = hull[(k + 1) % n];
        const vec3 normal = {0, -(b.first - a.first), b.second - a.second};
        int i = vertex(p, {x0, a.second, a.first}, normal);
        vertex(p, {x1, a.second, a.first}, normal);
        vertex(p, {x1, b.second, b.first}, normal);
        vertex(p, {x0, b.second, b.first}, normal);
        triangle(p, i, i + 1, i + 2);
        triangle(p, i, i + 2, i + 3);
    }
    return p;
}

model_part shape_ellipsoid(vec3 centre, vec3 radii, int slices, int stacks) {
    model_part p;
    for (int j = 0; j <= stacks; j++) {
        float phi = k_pi_f * static_cast<float>(j) / static_cast<float>(stacks);
        for (int i = 0; i <= slices; i++) {
            float theta = 2 * k_pi_f * static_cast<float>(i) / static_cast<float>(slices);
            vec3 n = {std::sin(phi) * std::cos(theta), std::cos(phi),
                      std::sin(phi) * std::sin(theta)};
            vertex(p,
                   {centre.x + radii.x * n.x, centre.y + radii.y * n.y, centre.z + radii.z * n.z},
                   {n.x / radii.x, n.y / radii.y, n.z / radii.z});
        }
    }
    const int row = slices + 1;
    for (int j = 0; j < stacks; j++)
        for (int i = 0; i < slices; i++) {
            int a = j * row + i, b = a + row;
            if (j > 0) triangle(p, a, a + 1, b);
            if (j < stacks - 1) triangle(p, a + 1, b + 1, b);
        }
    return p;
}

model_part shape_tyre(float major, float minor, int segments, int sides, float knob, float width) {
    model_part p;
    for (int i = 0; i <= segments; i++) {
        float a = 2 * k_pi_f * static_cast<float>(i) / static_cast<float>(segments);
        // Knobs stand on the even segments' tread: the outer half of the section.
        const bool raised = (i / 1) % 2 == 0 && knob > 0;
        for (int j = 0; j <= sides; j++) {
            float b = 2 * k_pi_f * static_cast<float>(j) / static_cast<float>(sides);
            float outward = std::cos(b), sideways = std::sin(b);
            float r = minor + (raised && outward > 0.3f ? knob : 0);
            float radial = major + r * outward;
            vertex(p, {sideways * minor * width, radial * std::cos(a), radial * std::sin(a)},
                   {sideways / width, outward * std::cos(a), outward * std::sin(a)});
        }
    }
    const int row = sides + 1;
    for (int i = 0; i < segments; i++)
        for (int j = 0; j < sides; j++) {
            int v = i * row + j;
            triangle(p, v, v + 1, v + row);
            triangle(p, v + 1, v + row + 1, v + row);
        }
    return p;
}

model_part shape_ring(float x, float inner, float outer, int segments) {
    model_part p;
    for (int side = 0; side < 2; side++) {
        const vec3 normal = {side ? 1.0f : -1.0f, 0, 0};
        const int first = p.vertex_count;
        for (int i = 0; i <= segments; i++) {
            float a = 2 * k_pi_f * static_cast<float>(i) / static_cast<float>(segments);
            vertex(p, {x, inner * std::cos(a), inner * std::sin(a)}, normal);
            vertex(p, {x, outer * std::cos(a), outer * std::sin(a)}, normal);
        }
        for (int i = 0; i < segments; i++) {
            int v = first + 2 * i;
            if (side) {
                triangle(p, v, v + 1, v + 2);
                triangle(p, v + 1, v + 3, v + 2);
            } else {
                triangle(p, v, v + 2, v + 1);
                triangle(p, v + 1, v + 2, v + 3);
            }
        }
    }
    return p;
}

void shape_rotate(model_part& part, int axis, float angle, vec3 about) {
    const float c = std::cos(angle), s = std::sin(angle);
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    const float centre[3] = {about.x, about.y, about.z};
    for (size_t i = 0; i < part.positions.size(); i += 3) {
        float* p = &part.positions[i];
        float* n = &part.normals[i];
        float pu = p[u] - centre[u], pv = p[v] - centre[v];
        p[u] = centre[u] + c * pu - s * pv;
        p[v] = centre[v] + s * pu + c * pv;
        float nu = n[u], nv = n[v];
        n[u] = c * nu - s * nv;
        n[v] = s * nu + c * nv;
    }
}

void shape_move(model_part& part, vec3 by) {
    for (size_t i = 0; i < part.positions.size(); i += 3) {
        part.positions[i] += by.x;
        part.positions[i + 1] += by.y;
        part.positions[i + 2] += by.z;
    }
}

void shape_flip(model_part& part) {
    for (float& n : part.normals) n = -n;
    for (size_t i = 0; i < part.triangles.size(); i += 3)
        std::swap(part.triangles[i + 1], part.triangles[i + 2]);
}
