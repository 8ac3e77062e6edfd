// Shading and shadow pictures of the ground, stored as the texturing uses them, and the shading
// and normals of single samples recomputed after the heights change.
#include "terrain/ground_shading.h"

#include "terrain/ground_local.h"

#include "common/file_problems.h"
#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "resources/image.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {
ground_shading_state g_shading;

bool file_opens(const std::string& name) {
    data_file* f = data_file_open(name.c_str(), "rb");
    if (!f) return false;
    data_file_close(f);
    return true;
}

bool read_picture(const std::string& name, bool ppm, image* out) {
    std::string bytes;
    if (!file_to_string(name.c_str(), &bytes)) return false;
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    return ppm ? image_decode_ppm(data, bytes.size(), out)
               : image_decode_pgm(data, bytes.size(), out);
}

bool load_shading(const std::string& base, int n) {
    std::string doubled = base + "shadingx2.ppm";
    bool halve = !file_opens(doubled);
    std::string name = halve ? base + "shading.ppm" : doubled;
    if (halve && !file_opens(name)) {
        show_message("Can't open '%.950s'", name.c_str() + 1);
        file_problem_report("shading.ppm", 0, "missing, and no shadingx2.ppm either");
        return false;
    }
    image im;
    if (!read_picture(name, true, &im) || im.channels != 3) {
        show_message("Error reading shading");
        file_problem_report(name.c_str(), 0, "not a readable colour PPM picture");
        return false;
    }
    if (im.width != n || im.height != n) {
        show_message("Bad shading dimensions (%dx%d)", im.width, im.height);
        file_problem_report(name.c_str(), 0, "%dx%d pixels, the heights are %dx%d", im.width,
                            im.height, n, n);
        return false;
    }
    g_shading.shading.assign(im.pixels.begin(), im.pixels.begin() + static_cast<size_t>(n) * n * 3);
    if (halve)
        for (uint8_t& b : g_shading.shading) b = static_cast<uint8_t>(b / 2);
    return true;
}

bool load_shadows(const std::string& base, int n) {
    std::string name = base + "shadows.pgm";
    g_shading.shadow.assign(static_cast<size_t>(n) * n, 0);
    if (!file_opens(name)) return true; // fully lit everywhere
    image im;
    if (!read_picture(name, false, &im) || im.channels != 1) {
        show_message("Error reading shadows");
        file_problem_report(name.c_str(), 0, "not a readable grey PGM picture");
        return false;
    }
    if (im.width != n || im.height != n) {
        log("Bad shadow dimensions (%dx%d)\n", im.width, im.height);
        file_problem_report(name.c_str(), 0, "%dx%d pixels, the heights are %dx%d", im.width,
                            im.height, n, n);
        return false;
    }
    for (size_t i = 0; i < g_shading.shadow.size(); i++)
        g_shading.shadow[i] = static_cast<uint8_t>(255 - im.pixels[i]);
    return true;
}

bool write_ppm(const std::string& name, int n, const std::vector<uint8_t>& rgb, bool doubled) {
    data_file* f = data_file_open_replace(name.c_str());
    if (!f) {
        show_message("Can't open '%s'", name.substr(name.rfind('/') + 1).c_str());
        return false;
    }
    data_file_print(f, "P6\n%d %d\n255\n", n, n);
    if (doubled) {
        std::vector<uint8_t> out(rgb.size());
        for (size_t i = 0; i < rgb.size(); i++)
            out[i] = rgb[i] >= 128 ? 255 : static_cast<uint8_t>(rgb[i] * 2);
        data_file_write(f, out.data(), out.size());
    } else {
        data_file_write(f, rgb.data(), rgb.size());
    }
    return data_file_close(f);
}
} // namespace

const ground_shading_state& ground_shading() { return g_shading; }

void ground_shading_restore(const std::vector<uint8_t>& shading,
                            const std::vector<uint8_t>& normals) {
    if (shading.size() == g_shading.shading.size()) g_shading.shading = shading;
    if (normals.size() == g_shading.normals.size()) g_shading.normals = normals;
}

bool ground_shading_load(const char* folder, int n) {
    ground_shading_free();
    std::string base = std::string("@") + folder + "/";
    if (!load_shading(base, n) || !load_shadows(base, n)) {
        ground_shading_free();
        return false;
    }
    g_shading.samples_per_side = n;
    g_shading.reshade.assign((static_cast<size_t>(n) * n + 31) / 32, 0);
    return true;
}

void ground_shading_free() {
    const ground_light light = g_shading.light;
    g_shading = ground_shading_state{};
    g_shading.light = light;
}

void ground_set_lighting(const float sun_vector[3], const float sun_colour[3],
                         const float ambient[3], bool dynamic_lighting) {
    ground_light& l = g_shading.light;
    for (int k = 0; k < 3; k++) {
        l.sun_vector[k] = sun_vector[k];
        l.sun_colour[k] = sun_colour[k];
        l.ambient[k] = ambient[k];
    }
    l.dynamic_lighting = dynamic_lighting;
}

void ground_shade_sample(int i, int j, uint8_t out[3]) {
    const int n = g_shading.samples_per_side;
    i = std::clamp(i, 0, n - 1);
    j = std::clamp(j, 0, n - 1);
    const vec3 normal = vertex_normal_at(i, j);
    const ground_light& l = g_shading.light;
    const float facing = std::clamp(l.sun_vector[0] * normal.x + l.sun_vector[1] * normal.y +
                                        l.sun_vector[2] * normal.z,
                                    0.0f, 1.0f);
    const float lit =
        facing * (1 - static_cast<float>(g_shading.shadow[static_cast<size_t>(j) * n + i]) / 255);
    for (int k = 0; k < 3; k++) {
        const float v = (l.sun_colour[k] * lit + l.ambient[k]) * 0.5f * 255;
        out[k] = static_cast<uint8_t>(std::clamp(std::trunc(v), 0.0f, 255.0f));
    }
}

void ground_normal_sample(int i, int j, uint8_t out[3]) {
    const int n = g_shading.samples_per_side;
    i = std::clamp(i, 0, n - 1);
    j = std::clamp(j, 0, n - 1);
    const vec3 normal = vertex_normal_at(i, j);
    const float axes[3] = {normal.x, normal.y, normal.z};
    for (int k = 0; k < 3; k++)
        out[k] = static_cast<uint8_t>(
            std::clamp(static_cast<int>(std::trunc(axes[k] * 127)), -127, 127) + 128);
    // The up component is known from the other two; its byte carries how lit the sample is.
    out[1] = static_cast<uint8_t>(255 - g_shading.shadow[static_cast<size_t>(j) * n + i]);
}

void ground_normals_create() {
    const int n = g_shading.samples_per_side;
    g_shading.normals.clear();
    if (n == 0 || !ground_lit_per_pixel()) return;
    g_shading.normals.resize(static_cast<size_t>(n) * n * 3);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            ground_normal_sample(i, j, &g_shading.normals[(static_cast<size_t>(j) * n + i) * 3]);
}

void ground_reshade_mark(int i, int j) {
    const int n = g_shading.samples_per_side;
    if (g_shading.reshade.empty()) return;
    for (int z = std::max(j - 1, 0); z <= std::min(j + 1, n - 1); z++)
        for (int x = std::max(i - 1, 0); x <= std::min(i + 1, n - 1); x++) {
            const size_t k = static_cast<size_t>(z) * n + x;
            g_shading.reshade[k >> 5] |= 1u << (k & 31);
        }
}

bool ground_reshade_pending(int i, int j) {
    const int n = g_shading.samples_per_side;
    if (g_shading.reshade.empty() || i < 0 || j < 0 || i >= n || j >= n) return false;
    const size_t k = static_cast<size_t>(j) * n + i;
    return (g_shading.reshade[k >> 5] >> (k & 31)) & 1;
}

void ground_reshade_rect(int x0, int z0, int x1, int z1) {
    const int n = g_shading.samples_per_side;
    if (g_shading.reshade.empty()) return;
    x0 = std::max(x0, 0), z0 = std::max(z0, 0);
    x1 = std::min(x1, n - 1), z1 = std::min(z1, n - 1);
    for (int z = z0; z <= z1; z++)
        for (int x = x0; x <= x1; x++) {
            const size_t k = static_cast<size_t>(z) * n + x;
            uint32_t& word = g_shading.reshade[k >> 5];
            if (!word) {
                x += 31 - static_cast<int>(k & 31); // the rest of the word is up to date
                continue;
            }
            if (!((word >> (k & 31)) & 1)) continue;
            word &= ~(1u << (k & 31));
            ground_shade_sample(x, z, &g_shading.shading[k * 3]);
            if (!g_shading.normals.empty()) ground_normal_sample(x, z, &g_shading.normals[k * 3]);
        }
}

void ground_shading_refresh() {
    const int n = g_shading.samples_per_side;
    if (n > 0) ground_reshade_rect(0, 0, n - 1, n - 1);
}

void ground_shading_forget_reshades() {
    std::fill(g_shading.reshade.begin(), g_shading.reshade.end(), 0u);
}

bool ground_shading_save(const char* folder) {
    int n = g_shading.samples_per_side;
    if (n == 0) return false;
    ground_reshade_rect(0, 0, n - 1, n - 1);
    std::string base = std::string("@") + folder + "/";
    return write_ppm(base + "shading.ppm", n, g_shading.shading, true) &&
           write_ppm(base + "shadingx2.ppm", n, g_shading.shading, false);
}
