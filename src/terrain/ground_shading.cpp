// Shading and shadow pictures of the ground, stored as the texturing uses them.
#include "terrain/ground_shading.h"

#include "common/message.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"
#include "resources/image.h"

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
        return false;
    }
    image im;
    if (!read_picture(name, true, &im) || im.channels != 3) {
        show_message("Error reading shading");
        return false;
    }
    if (im.width != n || im.height != n) {
        show_message("Bad shading dimensions (%dx%d)", im.width, im.height);
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
        return false;
    }
    if (im.width != n || im.height != n) {
        log("Bad shadow dimensions (%dx%d)\n", im.width, im.height);
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

ground_shading_state& ground_shading() { return g_shading; }

bool ground_shading_load(const char* folder, int n) {
    ground_shading_free();
    std::string base = std::string("@") + folder + "/";
    if (!load_shading(base, n) || !load_shadows(base, n)) {
        ground_shading_free();
        return false;
    }
    g_shading.samples_per_side = n;
    return true;
}

void ground_shading_free() { g_shading = ground_shading_state{}; }

bool ground_shading_save(const char* folder) {
    int n = g_shading.samples_per_side;
    if (n == 0) return false;
    std::string base = std::string("@") + folder + "/";
    return write_ppm(base + "shading.ppm", n, g_shading.shading, true) &&
           write_ppm(base + "shadingx2.ppm", n, g_shading.shading, false);
}
