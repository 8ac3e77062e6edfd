// Taking screenshots: numbering from the file list, reading the viewport, saving the PNG.
#include "core/screenshot.h"

#include "common/message.h"
#include "files/data_file.h"
#include "platform/log.h"
#include "render/render.h"
#include "resources/texture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
int g_next_number = 0; // 0 until the first screenshot of the run scans the file list
}

int screenshot_next_number(const std::vector<std::string>& names) {
    long highest = 0;
    for (const std::string& name : names) {
        if (name.compare(0, 10, "screenshot") != 0 || name.size() <= 10) continue;
        const char* digits = name.c_str() + 10;
        if (*digits < '0' || *digits > '9') continue;
        long n = strtol(digits, nullptr, 10);
        // A number too large to count on is not one of ours.
        if (n > highest && n < 100000000) highest = n;
    }
    return static_cast<int>(highest) + 1;
}

bool screenshot_take(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    if (g_next_number == 0) g_next_number = screenshot_next_number(file_index());
    std::vector<unsigned char> rows(static_cast<size_t>(width) * height * 3);
    if (!render_read_pixels(width, height, rows.data())) return false;
    // The frame buffer's rows run bottom up; the picture's top down.
    std::vector<unsigned char> picture(rows.size());
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; y++)
        memcpy(&picture[y * stride], &rows[(height - 1 - y) * stride], stride);
    const int number = g_next_number++;
    char name[64];
    snprintf(name, sizeof name, "@screenshot%03d.png", number);
    if (!png_write_rgb8(name, picture.data(), width, height)) {
        log("Can't save screenshot %s\n", name + 1);
        return false;
    }
    show_message("Saved \"screenshot%03d.png\"", number);
    return true;
}

void screenshot_reset() { g_next_number = 0; }
