// Saving the frame just drawn as a PNG picture, for the benchmarks that draw.
#pragma once

#include "render/render.h"
#include "resources/image.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The frame's pixels, top row first (3 bytes each); empty when they cannot be read.
inline std::vector<unsigned char> frame_pixels(int width, int height) {
    std::vector<unsigned char> rows(static_cast<size_t>(width) * height * 3);
    if (!render_read_pixels(width, height, rows.data())) return {};
    std::vector<unsigned char> picture(rows.size());
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; y++)
        memcpy(&picture[y * stride], &rows[(height - 1 - y) * stride], stride);
    return picture;
}

inline void save_picture(const std::vector<unsigned char>& picture, int width, int height,
                         const std::string& path) {
    std::string bytes;
    if (picture.empty() || !image_encode_png(picture.data(), width, height, 3, "", &bytes)) return;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}
