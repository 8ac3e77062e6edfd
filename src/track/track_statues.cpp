// The statue table: the start gate's pieces, then the statues of the "statues" file, each
// standing on the ground or tilted to it, turned to the camera far off when it asks to be.
#include "bike/data/bike_shape.h"
#include "common/loading.h"
#include "common/message.h"
#include "files/files.h"
#include "resources/texture.h"
#include "track/track_gates.h"
#include "track/track_local.h"
#include "track/track_objects.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
// From this value on a statue's value is not a heading but the exponent of its face-camera
// distance.
constexpr float k_face_camera_value = 3.25f;

struct statue_state {
    std::vector<statue> table;
    std::vector<int> pieces; // the statue of each start slot's piece
    int first_file = 0;      // the first statue read from the file
    bool companions = false; // normal and specular maps for the shader programs
};
statue_state g_statues;

bool given(const char* name) { return name && name[0] && strcmp(name, "null") != 0; }

void normalise(float v[3]) {
    const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l <= 0) return;
    for (int k = 0; k < 3; k++) v[k] /= l;
}

void cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// The orientation's columns are the model's axes in the world.
void set_axes(float m[9], const float x[3], const float y[3], const float z[3]) {
    for (int r = 0; r < 3; r++) {
        m[3 * r] = x[r];
        m[3 * r + 1] = y[r];
        m[3 * r + 2] = z[r];
    }
}

// A companion picture by its name's ending ("_norm", "_spec"): the texture's own variant, else
// one named after the model.
uint32_t companion(const statue& s, const char* ending) {
    const std::string suffix = ending;
    const std::vector<std::string> endings = {suffix + ".seq", suffix + ".png", suffix + ".ppm"};
    std::vector<const char*> suffixes;
    for (const std::string& e : endings) suffixes.push_back(e.c_str());
    if (uint32_t id = texture_variant(s.texture_name.c_str(), suffixes)) return id;
    std::string base = s.model_name;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.resize(dot);
    for (const std::string& e : endings)
        if (uint32_t id = texture_load((base + e).c_str())) return id;
    return 0;
}
} // namespace

int statue_add(float x, float offset, float z, float value, const char* model, const char* texture,
               const char* shape_name) {
    statue s;
    s.x = x;
    s.z = z;
    s.offset = offset;
    s.value = value;
    if (given(model)) {
        s.model_name = model;
        s.model = model_load(model);
    }
    if (given(texture)) {
        s.texture_name = texture;
        s.texture = texture_load(texture);
    }
    if (given(shape_name)) {
        s.shape_name = shape_name;
        s.collision = shape_load(shape_name);
        if (!s.collision) show_message("Warning: missing shape file %.900s", shape_name);
    }
    if (g_statues.companions && s.model && s.texture) {
        s.normal_map = companion(s, "_norm");
        s.specular_map = companion(s, "_spec");
    }
    s.face_distance = value >= k_face_camera_value ? std::exp2(value) : 0;
    g_statues.table.push_back(std::move(s));
    const int index = static_cast<int>(g_statues.table.size()) - 1;
    statue_reground(index);
    return index;
}

void statue_reground(int index) {
    statue& s = g_statues.table[index];
    s.y = object_ground_height(s.x, s.z) + s.offset;
    const float a = s.value;
    if (a >= k_face_camera_value) {
        const float x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
        set_axes(s.orientation, x, y, z);
        return;
    }
    float x_axis[3] = {std::cos(a), 0, -std::sin(a)};
    float n[3] = {0, 1, 0};
    // Far below a whole turn the statue stands upright however the ground slopes.
    if (a > -2 * k_pi_f) {
        const float h0 = object_ground_height(s.x, s.z);
        const float hx = object_ground_height(s.x + 1, s.z);
        const float hz = object_ground_height(s.x, s.z + 1);
        n[0] = -(hx - h0);
        n[2] = -(hz - h0);
        normalise(n);
    }
    float z_axis[3];
    cross(x_axis, n, z_axis);
    normalise(z_axis);
    cross(n, z_axis, x_axis);
    set_axes(s.orientation, x_axis, n, z_axis);
}

void statues_parse(const std::string& text) {
    statue_state& st = g_statues;
    st.first_file = static_cast<int>(st.table.size());
    text_scanner in(text);
    for (;;) {
        float x, offset, z, value;
        char model[1024], texture[1024], shape_name[1024];
        int used = -1;
        int n = sscanf(in.view(), "[ %f %f %f ] %f %1023s %1023s %1023s %n", &x, &offset, &z,
                       &value, model, texture, shape_name, &used);
        if (n < 7 || !in.advance(used)) break;
        const statue& s =
            g_statues.table[statue_add(x, offset, z, value, model, texture, shape_name)];
        const int line = in.entry_line();
        file_entry_line("statues", line);
        if (!s.model_name.empty() && s.model == 0)
            file_problem_report("statues", line, "model '%s' does not load", model);
        if (!s.texture_name.empty() && s.texture == 0)
            file_problem_report("statues", line, "picture '%s' does not load", texture);
        if (!s.shape_name.empty() && !s.collision)
            file_problem_report("statues", line, "shape '%s' does not load", shape_name);
    }
    objects_read_stopped("statues", in);
}

bool statues_load(const char* folder) {
    g_statues.first_file = static_cast<int>(g_statues.table.size());
    std::string text;
    if (!file_to_string((std::string("@") + folder + "/statues").c_str(), &text)) return false;
    loading_step_begin("Loading statues");
    statues_parse(text);
    loading_step_done("Loading statues");
    return true;
}

std::string statues_format() {
    const statue_state& st = g_statues;
    auto named = [](const std::string& n) { return n.empty() ? "null" : n.c_str(); };
    std::string out;
    char line[3300];
    for (int i = st.first_file; i < static_cast<int>(st.table.size()); i++) {
        const statue& s = st.table[i];
        snprintf(line, sizeof line, "[%f %f %f] %f %s %s %s\n", s.x, s.offset, s.z, s.value,
                 named(s.model_name), named(s.texture_name), named(s.shape_name));
        out += line;
    }
    return out;
}

bool statues_save(const char* folder) {
    return objects_file_write(folder, "statues", statues_format());
}

void statue_shape_files(std::string* names, int* count, int room) {
    *count = 0;
    for (const statue& s : g_statues.table) {
        if (s.shape_name.empty()) continue;
        bool seen = false;
        for (int i = 0; i < *count && !seen; i++) seen = names[i] == s.shape_name;
        if (seen || *count == room) continue;
        names[(*count)++] = s.shape_name;
    }
}

int statue_first_file() { return g_statues.first_file; }

bool statue_remove(int index) {
    statue_state& st = g_statues;
    if (index < st.first_file || index >= static_cast<int>(st.table.size())) return false;
    st.table.erase(st.table.begin() + index);
    // The start gate's pieces come first, but a piece's index must not outlive its statue.
    for (int& piece : st.pieces) {
        if (piece == index)
            piece = -1;
        else if (piece > index)
            piece--;
    }
    return true;
}
int statue_count() { return static_cast<int>(g_statues.table.size()); }
const statue* statues() { return g_statues.table.data(); }

statue& statue_own(int index) { return g_statues.table[static_cast<size_t>(index)]; }

void statue_set_value(int index, float value) {
    g_statues.table[static_cast<size_t>(index)].value = value;
}

void statue_place(int index, float x, float z) {
    statue& s = g_statues.table[static_cast<size_t>(index)];
    s.x = x;
    s.z = z;
    statue_reground(index);
}

void statue_set_tilt(int index, float tilt) {
    g_statues.table[static_cast<size_t>(index)].tilt = tilt;
}

void statues_face_camera(const float eye[3], float model_detail) {
    const float bias = model_lod_bias(), scale = model_lod_scale();
    for (statue& s : g_statues.table)
        if (s.model && s.texture && !statue_out_of_sight(s, eye, model_detail))
            statue_face_camera(s, eye, bias, scale);
}

void statue_rotation(const statue& s, float out[9]) {
    const float c = std::cos(s.tilt), sn = std::sin(s.tilt);
    const float* m = s.orientation;
    for (int r = 0; r < 3; r++) {
        out[3 * r] = m[3 * r];
        out[3 * r + 1] = m[3 * r + 1] * c + m[3 * r + 2] * sn;
        out[3 * r + 2] = -m[3 * r + 1] * sn + m[3 * r + 2] * c;
    }
}

bool statue_face_camera(statue& s, const float eye[3], float lod_bias, float lod_scale) {
    if (s.face_distance == 0) return false;
    const float d[3] = {eye[0] - s.x, eye[1] - s.y, eye[2] - s.z};
    const float distance2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    const float near = s.face_distance - lod_bias;
    if (!(near * near < lod_scale * lod_scale * distance2)) return false;
    float x_axis[3] = {d[2], 0, -d[0]};
    if (x_axis[0] == 0 && x_axis[2] == 0) return false;
    normalise(x_axis);
    const float up[3] = {0, 1, 0};
    const float z_axis[3] = {-x_axis[2], 0, x_axis[0]};
    set_axes(s.orientation, x_axis, up, z_axis);
    return true;
}

bool statue_out_of_sight(const statue& s, const float eye[3], float model_detail) {
    if (model_detail > 10) return false;
    const float d[3] = {eye[0] - s.x, eye[1] - s.y, eye[2] - s.z};
    const float reach = 20 * model_detail * model_detail;
    return d[0] * d[0] + d[1] * d[1] + d[2] * d[2] > reach * reach;
}

void statues_set_companions(bool load) { g_statues.companions = load; }

void start_gate_pieces_add() {
    g_statues.pieces.clear();
    for (int i = 0; i < start_slot_count(); i++) {
        const start_slot& slot = start_slot_at(i);
        g_statues.pieces.push_back(statue_add(slot.piece_x, slot.point[1], slot.piece_z,
                                              slot.heading, slot.model.c_str(),
                                              slot.texture.c_str(), slot.shape.c_str()));
    }
}

int start_gate_piece_statue(int slot) {
    const std::vector<int>& p = g_statues.pieces;
    return slot >= 0 && slot < static_cast<int>(p.size()) ? p[slot] : -1;
}

void statues_clear() {
    const bool companions = g_statues.companions;
    g_statues = statue_state{};
    g_statues.companions = companions;
}
