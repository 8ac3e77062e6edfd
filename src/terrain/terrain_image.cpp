// Height images through the PNG codec of the resources, written through the replacing writer.
#include "terrain/terrain_image.h"

#include "files/data_file.h"
#include "resources/texture.h"

#include <string>

bool terrain_image_read_grey16(const char* name, terrain_image* out) {
    std::vector<uint16_t> samples;
    int width = 0, height = 0;
    if (!image_read_png16(name, &samples, &width, &height)) return false;
    if (width <= 0 || height <= 0 || samples.size() < static_cast<size_t>(width) * height)
        return false;
    out->width = width;
    out->height = height;
    out->pixels = std::move(samples);
    return true;
}

bool terrain_image_write_grey16(const char* name, const uint16_t* samples, int width, int height) {
    std::string bytes;
    if (!image_encode_png16(samples, width, height, &bytes)) return false;
    // The old image stays in place until the new one is complete.
    data_file* out = data_file_open_replace(name);
    if (!out) return false;
    if (!data_file_write(out, bytes.data(), bytes.size())) {
        data_file_abandon(out);
        return false;
    }
    return data_file_close(out);
}
