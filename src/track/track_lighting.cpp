// The track's lighting state: the "lighting" file, the defaults every track load starts from,
// the sky pictures and the lens flares.
#include "common/file_problems.h"
#include "track/track_local.h"
#include "track/track_view.h"

#include "common/common.h"
#include "common/message.h"
#include "files/files.h"
#include "resources/texture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

namespace {
struct lighting_state {
    track_lighting current;
    std::vector<flare> flares;
    flare building; // elements gathered for the next flare_point or flare_vector line
};
lighting_state g_lighting;

constexpr float k_nearest_plane = 1.0f / 1024; // ft
constexpr float k_farthest_near_plane = 0.875f;
constexpr float k_farthest_plane = 1048576; // ft

bool read_triple(const char* value, float out[3]) {
    float v[3];
    if (sscanf(value, " [ %f %f %f ]", &v[0], &v[1], &v[2]) != 3) return false;
    std::copy(v, v + 3, out);
    return true;
}

void add_element(const char* value) {
    flare_element e;
    char name[1024];
    if (sscanf(value, " [ %f %f ] [ %f %f %f ] %f %1023s", &e.across, &e.along, &e.colour[0],
               &e.colour[1], &e.colour[2], &e.size, name) != 7)
        return;
    flare& f = g_lighting.building;
    if (f.element_count >= k_flare_elements) return;
    e.texture_name = name;
    f.elements[f.element_count++] = e;
}

void finish_flare(const char* value, flare_kind kind) {
    flare& f = g_lighting.building;
    if (!read_triple(value, f.where)) return;
    f.kind = kind;
    g_lighting.flares.push_back(f);
    f = flare{};
}

// One setting; false for a key the file may not hold.
bool read_setting(const std::string& key, const char* value) {
    track_lighting& l = g_lighting.current;
    struct triple_key {
        const char* key;
        float* out;
    };
    const triple_key triples[] = {{"sun_vector", l.sun_vector},
                                  {"sun_color", l.sun_colour},
                                  {"ambient", l.ambient},
                                  {"global_ambient", l.global_ambient}};
    for (const triple_key& t : triples)
        if (key == t.key) return read_triple(value, t.out), true;
    const char* const sky_keys[k_sky_faces] = {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u"};
    for (int face = 0; face < k_sky_faces; face++)
        if (key == sky_keys[face]) {
            l.sky_names[face] = value;
            return true;
        }
    if (key == "sky_env") {
        l.environment_name = value;
    } else if (key == "flare_element") {
        add_element(value);
    } else if (key == "flare_point") {
        finish_flare(value, flare_point);
    } else if (key == "flare_vector") {
        finish_flare(value, flare_vector);
    } else if (key == "fog") {
        float c[3], density;
        if (sscanf(value, " [ %f %f %f ] %f", &c[0], &c[1], &c[2], &density) == 4) {
            std::copy(c, c + 3, l.fog_colour);
            l.fog_density = density;
        }
    } else if (key == "dynamic_lighting") {
        int on;
        if (sscanf(value, "%d", &on) == 1) l.dynamic_lighting = on > 0;
    } else if (key == "near_plane") {
        sscanf(value, "%f", &l.near_plane);
    } else if (key == "far_plane") {
        sscanf(value, "%f", &l.far_plane);
    } else {
        return false;
    }
    return true;
}

// The planes kept in a range the depth buffer can hold, and the sun made a unit vector.
void settle() {
    track_lighting& l = g_lighting.current;
    if (!(l.near_plane >= k_nearest_plane)) l.near_plane = k_nearest_plane;
    l.near_plane = std::min(l.near_plane, k_farthest_near_plane);
    if (l.near_plane > l.far_plane || std::isnan(l.far_plane))
        l.far_plane = l.near_plane;
    else
        l.far_plane = std::min(l.far_plane, k_farthest_plane);
    float length = std::sqrt(l.sun_vector[0] * l.sun_vector[0] + l.sun_vector[1] * l.sun_vector[1] +
                             l.sun_vector[2] * l.sun_vector[2]);
    if (length > 0 && std::isfinite(length))
        for (float& v : l.sun_vector) v /= length;
    else
        std::fill(l.sun_vector, l.sun_vector + 3, 0.57735027f);
}
} // namespace

const track_lighting& lighting() { return g_lighting.current; }
int flare_count() { return static_cast<int>(g_lighting.flares.size()); }
const flare& flare_at(int index) {
    TB_ASSERT(index >= 0 && index < flare_count());
    return g_lighting.flares[index];
}
flare& flare_own(int index) {
    TB_ASSERT(index >= 0 && index < flare_count());
    return g_lighting.flares[index];
}

bool flare_project(const flare& f, const float eye[3], const float rotation[9], float tx, float ty,
                   float screen[2], float* distance) {
    float v[3];
    for (int k = 0; k < 3; k++) v[k] = f.kind == flare_point ? f.where[k] - eye[k] : f.where[k];
    *distance = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    float camera[3];
    for (int axis = 0; axis < 3; axis++)
        camera[axis] =
            v[0] * rotation[axis] + v[1] * rotation[3 + axis] + v[2] * rotation[6 + axis];
    const float ahead = -camera[2];
    if (!(ahead > 0)) return false;
    screen[0] = camera[0] / ahead;
    screen[1] = camera[1] / ahead;
    return std::fabs(screen[0]) <= tx && std::fabs(screen[1]) <= ty;
}

float flare_visibility(flare_kind kind, float distance, const float screen[2], float tx, float ty,
                       const uint8_t pixel[3], float depth_fraction) {
    constexpr uint8_t k_bright = 224;
    if (pixel[0] < k_bright || pixel[1] < k_bright || pixel[2] < k_bright) return 0;
    // Something drawn in front of the flare leaves a depth short of where the flare stands.
    const float needed =
        kind == flare_vector ? 0.4f : std::clamp((distance - 0.25f) * 0.00020001f, 0.0f, 1.0f);
    if (!(depth_fraction >= needed)) return 0;
    const float margin = std::min(tx, ty) / 32;
    const float fade_x = std::clamp((tx - std::fabs(screen[0])) / margin, 0.0f, 1.0f);
    const float fade_y = std::clamp((ty - std::fabs(screen[1])) / margin, 0.0f, 1.0f);
    return std::min(fade_x, fade_y);
}

void lighting_reset() {
    track_lighting fresh;
    for (int k = 0; k < 3; k++) fresh.fog_colour[k] = g_lighting.current.fog_colour[k];
    g_lighting.current = fresh;
    g_lighting.flares.clear();
    g_lighting.building = flare{};
}

bool lighting_parse(const std::string& text) {
    lighting_reset();
    std::istringstream lines(text);
    std::string line;
    bool known = true;
    int line_number = 0;
    while (known && std::getline(lines, line)) {
        line_number++;
        const size_t end = line.find_last_not_of(" \t\r\n");
        if (end == std::string::npos) continue;
        line.erase(end + 1);
        const size_t start = line.find_first_not_of(" \t");
        const size_t key_end = std::min(line.find_first_of(" \t", start), line.size());
        const std::string key = line.substr(start, key_end - start);
        const size_t value_start = std::min(line.find_first_not_of(" \t", key_end), line.size());
        if (!read_setting(key, line.c_str() + value_start)) {
            show_message("Error reading lighting: Unknown identifier '%.950s'\n", key.c_str());
            file_problem_report("lighting", line_number,
                                "unknown or bad setting '%.200s': the rest is not read",
                                key.c_str());
            known = false;
        }
    }
    settle();
    return known;
}

void lighting_load(const char* folder) {
    std::string text;
    if (file_to_string(("@" + std::string(folder) + "/lighting").c_str(), &text))
        lighting_parse(text);
    else
        lighting_reset(), settle();
    track_lighting& l = g_lighting.current;
    for (int face = 0; face < k_sky_faces; face++) {
        if (!l.sky[face]) l.sky[face] = texture_load(l.sky_names[face].c_str());
        if (!l.sky[face]) l.sky[face] = texture_load(track_lighting{}.sky_names[face].c_str());
    }
    if (!l.environment) l.environment = texture_load(l.environment_name.c_str());
    if (!l.environment) l.environment = texture_load(track_lighting{}.environment_name.c_str());
    for (flare& f : g_lighting.flares)
        for (int k = 0; k < f.element_count; k++)
            f.elements[k].texture = texture_load(f.elements[k].texture_name.c_str());
}
