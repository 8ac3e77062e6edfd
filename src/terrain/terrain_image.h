// The 16-bit grey images the height field is read from and saved to.
#pragma once

#include <cstdint>
#include <vector>

struct terrain_image {
    int width = 0;
    int height = 0;
    std::vector<uint16_t> pixels; // row by row from the top
};

// Reads an image by data-file name as 16-bit grey; false when missing or unreadable.
bool terrain_image_read_grey16(const char* name, terrain_image* out);
bool terrain_image_write_grey16(const char* name, const uint16_t* samples, int width, int height);
