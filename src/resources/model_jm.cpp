// The ".jm" model text: reading (with bone weights, dropped triangles, tangents), writing,
// the ray tracer's mesh text and CPU skinning.
#include "resources/model.h"
#include "resources/text_reader.h"

#include "platform/log.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {
constexpr float k_min_cross = 8.271806e-25f;       // 2^-80: smaller cross products are degenerate
constexpr float k_min_uv_area = 1.0f / 1048576.0f; // 2^-20
constexpr float k_min_density_edge = 0.0625f;      // ft

void sub3(const float* a, const float* b, float* out) {
    for (int k = 0; k < 3; k++) out[k] = a[k] - b[k];
}
float dot3(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Keeps a vertex's four strongest influences: each new one replaces the weakest slot when stronger.
bool add_influence(float* weights, uint16_t* bones, float weight, int bone) {
    int weakest = 0;
    for (int k = 1; k < 4; k++)
        if (weights[k] < weights[weakest]) weakest = k;
    bool was_full = weights[weakest] > 0;
    if (!was_full || weight > weights[weakest]) {
        weights[weakest] = weight;
        bones[weakest] = static_cast<uint16_t>(bone);
    }
    return was_full;
}

// Reads one part; false when its text does not parse.
bool read_part(text_reader& r, int bone_count, bool plain, model_part* part) {
    int v_count = 0, t_count = 0;
    if (plain) {
        if (!text_read_int(r, &v_count) || !text_read_int(r, &t_count)) return false;
    } else {
        float s, k, red, green, blue;
        if (!text_read_float(r, &s) || !text_read_float(r, &k) || !text_read_float(r, &red) ||
            !text_read_float(r, &green) || !text_read_float(r, &blue) ||
            !text_read_int(r, &v_count) || !text_read_int(r, &t_count))
            return false;
        part->shininess = s;
        part->colour[0] = red;
        part->colour[1] = green;
        part->colour[2] = blue;
        part->colour[3] = s >= 0 ? 1.0f : k;
    }
    const int per_vertex = 8 + bone_count;
    // Every number takes at least two bytes of text: check the counts before allocating.
    const size_t remaining = text_remaining(r);
    if (v_count < 0 || t_count < 0 || v_count > k_model_max_vertices ||
        t_count > k_model_max_triangles ||
        static_cast<uint64_t>(v_count) * per_vertex + static_cast<uint64_t>(t_count) * 3 >
            remaining / 2 + 1) {
        log("Bad model part counts: %d vertices, %d triangles\n", v_count, t_count);
        return false;
    }
    part->vertex_count = v_count;
    part->bone_count = bone_count;
    part->positions.resize(static_cast<size_t>(v_count) * 3);
    part->normals.resize(static_cast<size_t>(v_count) * 3);
    part->uvs.resize(static_cast<size_t>(v_count) * 2);
    if (bone_count > 0) {
        part->bone_weights.assign(static_cast<size_t>(v_count) * 4, 0.0f);
        part->bone_indices.assign(static_cast<size_t>(v_count) * 4, 0);
    }
    for (int i = 0; i < v_count; i++) {
        float* p = &part->positions[3 * static_cast<size_t>(i)];
        float* n = &part->normals[3 * static_cast<size_t>(i)];
        float* uv = &part->uvs[2 * static_cast<size_t>(i)];
        if (!text_read_float(r, &p[0]) || !text_read_float(r, &p[1]) ||
            !text_read_float(r, &p[2]) || !text_read_float(r, &n[0]) ||
            !text_read_float(r, &n[1]) || !text_read_float(r, &n[2]) ||
            !text_read_float(r, &uv[0]) || !text_read_float(r, &uv[1]))
            return false;
        uv[1] = 1.0f - uv[1];
        if (bone_count == 0) continue;
        float* w = &part->bone_weights[4 * static_cast<size_t>(i)];
        uint16_t* b = &part->bone_indices[4 * static_cast<size_t>(i)];
        for (int bone = 0; bone < bone_count; bone++) {
            float weight;
            if (!text_read_float(r, &weight)) return false;
            if (weight > 0 && add_influence(w, b, weight, bone)) part->warned_bones = true;
        }
        float sum = w[0] + w[1] + w[2] + w[3];
        for (int k = 0; k < 4; k++) w[k] = sum > 0 ? w[k] / sum : 0.25f;
    }
    part->triangles.resize(static_cast<size_t>(t_count) * 3);
    for (int32_t& index : part->triangles)
        if (!text_read_int(r, &index)) return false;
    part->triangle_count = t_count;
    return true;
}

// Drops triangles with indices out of range or no area; returns how many went.
int drop_bad_triangles(model_part* part) {
    size_t kept = 0;
    int dropped = 0;
    for (int t = 0; t < part->triangle_count; t++) {
        const int32_t* tri = &part->triangles[3 * static_cast<size_t>(t)];
        bool ok = true;
        for (int k = 0; k < 3; k++) ok = ok && tri[k] >= 0 && tri[k] < part->vertex_count;
        if (ok) {
            const float* p0 = &part->positions[3 * static_cast<size_t>(tri[0])];
            float e1[3], e2[3];
            sub3(&part->positions[3 * static_cast<size_t>(tri[1])], p0, e1);
            sub3(&part->positions[3 * static_cast<size_t>(tri[2])], p0, e2);
            float c[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                          e1[0] * e2[1] - e1[1] * e2[0]};
            // Written so that a NaN cross product counts as degenerate too.
            ok = dot3(c, c) >= k_min_cross;
        }
        if (!ok) {
            dropped++;
            continue;
        }
        for (int k = 0; k < 3; k++) part->triangles[kept * 3 + k] = tri[k];
        kept++;
    }
    part->triangles.resize(kept * 3);
    part->triangle_count = static_cast<int>(kept);
    return dropped;
}

void compute_tangents(model_part* part) {
    part->tangents.assign(static_cast<size_t>(part->vertex_count) * 3, 0.0f);
    for (int t = 0; t < part->triangle_count; t++) {
        const int32_t* tri = &part->triangles[3 * static_cast<size_t>(t)];
        const float* p0 = &part->positions[3 * static_cast<size_t>(tri[0])];
        const float* uv0 = &part->uvs[2 * static_cast<size_t>(tri[0])];
        const float* uv1 = &part->uvs[2 * static_cast<size_t>(tri[1])];
        const float* uv2 = &part->uvs[2 * static_cast<size_t>(tri[2])];
        float e1[3], e2[3], tangent[3];
        sub3(&part->positions[3 * static_cast<size_t>(tri[1])], p0, e1);
        sub3(&part->positions[3 * static_cast<size_t>(tri[2])], p0, e2);
        float du1 = uv1[0] - uv0[0], dv1 = uv1[1] - uv0[1], du2 = uv2[0] - uv0[0],
              dv2 = uv2[1] - uv0[1];
        float r = du1 * dv2 - du2 * dv1;
        float scale;
        if (std::fabs(r) * 0.5f >= k_min_uv_area) {
            for (int k = 0; k < 3; k++) tangent[k] = (e1[k] * dv2 - e2[k] * dv1) / r;
            scale = 1.0f;
        } else {
            // No usable u direction: a tiny vector along the longest edge from the first corner.
            const float* edge = dot3(e1, e1) >= dot3(e2, e2) ? e1 : e2;
            for (int k = 0; k < 3; k++) tangent[k] = edge[k];
            scale = k_min_uv_area;
        }
        float length = std::sqrt(dot3(tangent, tangent));
        if (!(length > 0)) continue;
        for (int c = 0; c < 3; c++)
            for (int k = 0; k < 3; k++)
                part->tangents[3 * static_cast<size_t>(tri[c]) + k] += tangent[k] / length * scale;
    }
}

void measure_texel_density(const model_part& part, model_mesh* mesh) {
    for (int t = 0; t < part.triangle_count; t++)
        for (int e = 0; e < 3; e++) {
            int a = part.triangles[3 * static_cast<size_t>(t) + e],
                b = part.triangles[3 * static_cast<size_t>(t) + (e + 1) % 3];
            float d[3];
            sub3(&part.positions[3 * static_cast<size_t>(b)],
                 &part.positions[3 * static_cast<size_t>(a)], d);
            float length = std::sqrt(dot3(d, d));
            if (!(length >= k_min_density_edge)) continue;
            float du = std::fabs(part.uvs[2 * static_cast<size_t>(b)] -
                                 part.uvs[2 * static_cast<size_t>(a)]) /
                       length;
            float dv = std::fabs(part.uvs[2 * static_cast<size_t>(b) + 1] -
                                 part.uvs[2 * static_cast<size_t>(a) + 1]) /
                       length;
            if (du > mesh->texel_density_u) mesh->texel_density_u = du;
            if (dv > mesh->texel_density_v) mesh->texel_density_v = dv;
        }
}

void finish_part(model_part* part, model_mesh* mesh) {
    mesh->dropped_triangles += drop_bad_triangles(part);
    compute_tangents(part);
    if (part->bone_count > 0) {
        part->rest_positions = part->positions;
        part->rest_normals = part->normals;
        part->rest_tangents = part->tangents;
    }
    if (part->shininess == k_model_mode_environment) mesh->has_environment_part = true;
    measure_texel_density(*part, mesh);
}
} // namespace

bool model_jm_decode(const uint8_t* data, size_t size, model_mesh* out) {
    text_reader r = text_reader_of(data, size);
    model_mesh mesh;
    text_skip_space(r);
    if (text_remaining(r) >= 2 && data[r.at] == 'J' && data[r.at + 1] == 'M') {
        r.at += 2;
        if (text_remaining(r) == 0 || data[r.at] < '0' || data[r.at] > '9' ||
            !text_read_int(r, &mesh.version) || (mesh.version != 1 && mesh.version != 2)) {
            log("Unknown model version\n");
            return false;
        }
        if (mesh.version == 2) {
            std::string unused;
            if (!text_read_int(r, &mesh.file_bone_count) || !text_read_word(r, &unused))
                return false;
            if (mesh.file_bone_count < 0 || mesh.file_bone_count > k_model_max_bones) {
                log("Bad model bone count %d\n", mesh.file_bone_count);
                return false;
            }
        }
        for (;;) {
            model_part part;
            if (!read_part(r, mesh.file_bone_count, false, &part)) break;
            finish_part(&part, &mesh);
            mesh.parts.push_back(std::move(part));
        }
    } else {
        mesh.plain = true;
        model_part part;
        if (read_part(r, 0, true, &part)) {
            finish_part(&part, &mesh);
            mesh.parts.push_back(std::move(part));
        }
    }
    if (mesh.parts.empty()) return false;
    *out = std::move(mesh);
    return true;
}

namespace {
void append(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append(std::string* out, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0)
        out->append(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n)
                                                                   : sizeof buffer - 1);
}
} // namespace

std::string model_jm_encode(const model_mesh& mesh) {
    std::string out;
    const bool plain = mesh.plain && mesh.parts.size() == 1;
    const int bones = mesh.version == 2 ? mesh.file_bone_count : 0;
    if (!plain) {
        append(&out, "JM%d\n", mesh.version == 2 ? 2 : 1);
        if (mesh.version == 2) append(&out, "%d bones\n", bones);
    }
    for (const model_part& part : mesh.parts) {
        if (plain) {
            append(&out, "%d %d\n", part.vertex_count, part.triangle_count);
        } else {
            float k = part.shininess >= 0 ? 1.0f : part.colour[3];
            append(&out, "%.9g %.9g %.9g %.9g %.9g %d %d\n", part.shininess, k, part.colour[0],
                   part.colour[1], part.colour[2], part.vertex_count, part.triangle_count);
        }
        for (int i = 0; i < part.vertex_count; i++) {
            const float* p = &part.positions[3 * static_cast<size_t>(i)];
            const float* n = &part.normals[3 * static_cast<size_t>(i)];
            const float* uv = &part.uvs[2 * static_cast<size_t>(i)];
            append(&out, "%.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g", p[0], p[1], p[2], n[0], n[1],
                   n[2], uv[0], 1.0f - uv[1]);
            for (int b = 0; b < bones; b++) {
                float w = 0;
                if (!part.bone_weights.empty())
                    for (int k = 0; k < 4; k++)
                        if (part.bone_indices[4 * static_cast<size_t>(i) + k] == b)
                            w += part.bone_weights[4 * static_cast<size_t>(i) + k];
                append(&out, " %.9g", w);
            }
            out += "\n";
        }
        for (int t = 0; t < part.triangle_count; t++)
            append(&out, "%d %d %d\n", part.triangles[3 * static_cast<size_t>(t)],
                   part.triangles[3 * static_cast<size_t>(t) + 1],
                   part.triangles[3 * static_cast<size_t>(t) + 2]);
    }
    return out;
}

std::string model_pov_text(const model_mesh& mesh) {
    std::string out;
    const bool several = mesh.parts.size() > 1;
    if (several) out += "union {\n";
    for (const model_part& part : mesh.parts) {
        const int v = part.vertex_count, t = part.triangle_count;
        out += "mesh2 {\n";
        const char* sections[] = {"\tvertex_vectors {\n", "\tnormal_vectors {\n"};
        const std::vector<float>* arrays[] = {&part.positions, &part.normals};
        for (int s = 0; s < 2; s++) {
            out += sections[s];
            append(&out, "\t\t%d\n", v);
            for (int i = 0; i < v; i++) {
                const float* a = &(*arrays[s])[3 * static_cast<size_t>(i)];
                append(&out, "\t\t<%f,%f,%f>%s\n", a[0], a[1], a[2], i + 1 < v ? "," : "");
            }
            out += "\t}\n";
        }
        out += "\tuv_vectors {\n";
        append(&out, "\t\t%d\n", v);
        for (int i = 0; i < v; i++)
            append(&out, "\t\t<%f,%f>%s\n", part.uvs[2 * static_cast<size_t>(i)],
                   part.uvs[2 * static_cast<size_t>(i) + 1], i + 1 < v ? "," : "");
        out += "\t}\n";
        out += "\tface_indices {\n";
        append(&out, "\t\t%d\n", t);
        for (int i = 0; i < t; i++) {
            const int32_t* tri = &part.triangles[3 * static_cast<size_t>(i)];
            append(&out, "\t\t<%d,%d,%d>%s\n", tri[0], tri[1], tri[2], i + 1 < t ? "," : "");
        }
        out += "\t}\n";
        out += "}\n";
    }
    if (several) out += "}\n";
    return out;
}

void model_part_skin(model_part* part, const model_pose& pose) {
    if (part->bone_count == 0 || pose.bone_count != part->bone_count || !pose.bones) return;
    for (int i = 0; i < part->vertex_count; i++) {
        const size_t at = 3 * static_cast<size_t>(i);
        float p[3] = {}, n[3] = {}, tn[3] = {};
        for (int k = 0; k < 4; k++) {
            float w = part->bone_weights[4 * static_cast<size_t>(i) + k];
            int b = part->bone_indices[4 * static_cast<size_t>(i) + k];
            if (w == 0 || b >= pose.bone_count) continue;
            const model_bone& bone = pose.bones[b];
            float d[3];
            sub3(&part->rest_positions[at], bone.centre, d);
            for (int row = 0; row < 3; row++) {
                const float* m = &bone.rotation[3 * row];
                p[row] += w * (dot3(m, d) + bone.translation[row]);
                n[row] += w * dot3(m, &part->rest_normals[at]);
                tn[row] += w * dot3(m, &part->rest_tangents[at]);
            }
        }
        for (int k = 0; k < 3; k++) {
            part->positions[at + k] = p[k];
            part->normals[at + k] = n[k];
            part->tangents[at + k] = tn[k];
        }
    }
}
