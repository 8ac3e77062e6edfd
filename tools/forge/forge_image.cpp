// Picture writers for the generator and the HUD pictures: tachometer, shifter, pit board, title.
#include "common/common.h"
#include "forge.h"
#include "forge_resources.h"

#include "resources/image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
struct rgba {
    float r, g, b, a; // 0-1
};

// Blends a colour over one pixel with the given coverage (0-1).
void blend(image* im, int x, int y, rgba c, float coverage) {
    if (x < 0 || y < 0 || x >= im->width || y >= im->height || coverage <= 0) return;
    uint8_t* p = &im->pixels[(static_cast<size_t>(y) * im->width + x) * im->channels];
    const float a = std::min(1.0f, coverage) * c.a;
    const float col[3] = {c.r, c.g, c.b};
    if (im->channels == 4) {
        const float old_a = p[3] / 255.0f, out_a = a + old_a * (1 - a);
        for (int k = 0; k < 3; k++) {
            float v = out_a > 0 ? (col[k] * a + p[k] / 255.0f * old_a * (1 - a)) / out_a : 0;
            p[k] = static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
        }
        p[3] = static_cast<uint8_t>(std::lround(out_a * 255));
    } else {
        for (int k = 0; k < 3; k++)
            p[k] = static_cast<uint8_t>(
                std::lround(std::clamp(col[k] * a + p[k] / 255.0f * (1 - a), 0.0f, 1.0f) * 255));
    }
}

// Coverage of a pixel by a shape given its signed distance (negative inside), one pixel soft.
float coverage(float distance) { return std::clamp(0.5f - distance, 0.0f, 1.0f); }

template <typename F> void shade(image* im, int x0, int y0, int x1, int y1, rgba c, F distance) {
    for (int y = std::max(0, y0); y <= std::min(im->height - 1, y1); y++)
        for (int x = std::max(0, x0); x <= std::min(im->width - 1, x1); x++)
            blend(im, x, y, c, coverage(distance(x + 0.5f, y + 0.5f)));
}

void disc(image* im, float cx, float cy, float radius, rgba c) {
    shade(im, static_cast<int>(cx - radius - 2), static_cast<int>(cy - radius - 2),
          static_cast<int>(cx + radius + 2), static_cast<int>(cy + radius + 2), c,
          [&](float x, float y) { return std::hypot(x - cx, y - cy) - radius; });
}

void ring(image* im, float cx, float cy, float radius, float width, rgba c) {
    shade(im, static_cast<int>(cx - radius - width), static_cast<int>(cy - radius - width),
          static_cast<int>(cx + radius + width), static_cast<int>(cy + radius + width), c,
          [&](float x, float y) {
              return std::fabs(std::hypot(x - cx, y - cy) - radius) - width / 2;
          });
}

// A line with round ends.
void line(image* im, float ax, float ay, float bx, float by, float width, rgba c) {
    const float dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
    shade(im, static_cast<int>(std::min(ax, bx) - width - 1),
          static_cast<int>(std::min(ay, by) - width - 1),
          static_cast<int>(std::max(ax, bx) + width + 1),
          static_cast<int>(std::max(ay, by) + width + 1), c, [&](float x, float y) {
              float t = length2 > 0
                            ? std::clamp(((x - ax) * dx + (y - ay) * dy) / length2, 0.0f, 1.0f)
                            : 0;
              return std::hypot(x - ax - t * dx, y - ay - t * dy) - width / 2;
          });
}

void rounded_rect(image* im, float x0, float y0, float x1, float y1, float radius, rgba c) {
    const float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2, hx = (x1 - x0) / 2 - radius,
                hy = (y1 - y0) / 2 - radius;
    shade(im, static_cast<int>(x0 - 1), static_cast<int>(y0 - 1), static_cast<int>(x1 + 1),
          static_cast<int>(y1 + 1), c, [&](float x, float y) {
              float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
              float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
              return outside + std::min(std::max(qx, qy), 0.0f) - radius;
          });
}

void text(image* im, int cx, int y, int scale, const char* words, rgba c) {
    const uint8_t colour[4] = {static_cast<uint8_t>(c.r * 255), static_cast<uint8_t>(c.g * 255),
                               static_cast<uint8_t>(c.b * 255), static_cast<uint8_t>(c.a * 255)};
    image_draw_text(im, cx - image_text_width(words, scale) / 2, y, scale, words, colour);
}

image blank(int width, int height, int channels) {
    image im;
    image_allocate(&im, width, height, channels);
    return im;
}

// The tachometer dial face: 0 to 16 thousand revolutions over 270 degrees clockwise from
// lower left, red from 13. The HUD's needle turns -135 degrees at 0 and +135 at 16000.
image tach_picture() {
    image im = blank(256, 256, 4);
    const float c = 128, r = 120;
    disc(&im, c, c, r, {0.08f, 0.08f, 0.09f, 0.92f});
    ring(&im, c, c, r - 2, 4, {0.75f, 0.75f, 0.78f, 1});
    const float start = 225 * k_pi_f / 180, sweep = 270 * k_pi_f / 180;
    constexpr int k_ticks = 32; // one a half thousand
    for (int k = 0; k <= k_ticks; k++) {
        const float a = start - sweep * k / k_ticks;
        const bool major = k % 2 == 0;
        const bool red = k >= 26;
        const float inner = major ? r - 26 : r - 16;
        const rgba colour = red ? rgba{0.95f, 0.15f, 0.1f, 1} : rgba{0.95f, 0.95f, 0.95f, 1};
        line(&im, c + std::cos(a) * inner, c - std::sin(a) * inner, c + std::cos(a) * (r - 8),
             c - std::sin(a) * (r - 8), major ? 4.0f : 2.0f, colour);
        // Every other thousand is numbered, so the figures stay apart.
        if (k % 4 == 0) {
            char label[4];
            snprintf(label, sizeof label, "%d", k / 2);
            const float lr = r - 44;
            text(&im, static_cast<int>(c + std::cos(a) * lr),
                 static_cast<int>(c - std::sin(a) * lr) - 7, 2, label, colour);
        }
    }
    text(&im, 128, 84, 1, "RPM X1000", {0.7f, 0.7f, 0.72f, 1});
    disc(&im, c, c, 10, {0.6f, 0.6f, 0.62f, 1});
    return im;
}

// The gear digits: a 3 x 3 atlas, gear index g (0 first gear) in column g mod 3 and row g div 3,
// white figures on a dark plate so they read over the dial.
image shifter_picture() {
    image im = blank(256, 256, 4);
    const float cell = 256.0f / 3;
    for (int g = 0; g < 9; g++) {
        const float x = static_cast<float>(g % 3) * cell, y = static_cast<float>(g / 3) * cell;
        rounded_rect(&im, x + 5, y + 5, x + cell - 5, y + cell - 5, 12,
                     {0.05f, 0.05f, 0.06f, 0.9f});
        char digit[2] = {static_cast<char>('1' + g), 0};
        text(&im, static_cast<int>(x + cell / 2), static_cast<int>(y + 15), 8, digit, {1, 1, 1, 1});
    }
    return im;
}

// The pit board: a dark slate in a yellow frame. The HUD shows texture rows 0.1875 to 0.875, so
// the board fills rows 32 to 232 of the picture and only transparency lies outside them.
image pitboard_picture() {
    image im = blank(256, 256, 4);
    rounded_rect(&im, 2, 32, 254, 232, 14, {0.95f, 0.78f, 0.1f, 0.95f});
    rounded_rect(&im, 12, 42, 244, 222, 8, {0.05f, 0.05f, 0.06f, 0.9f});
    return im;
}

// The title picture: sky and two ranges of hills; the game's name is a picture of its own,
// drawn over it only where no menu page lies on it.
image title_picture() {
    image im = blank(512, 256, 3);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 512; x++) {
            float t = y / 255.0f;
            blend(&im, x, y, {0.25f + 0.45f * t, 0.5f + 0.35f * t, 0.85f + 0.1f * t, 1}, 1);
        }
    shade(&im, 0, 120, 511, 255, {0.42f, 0.5f, 0.3f, 1}, [](float x, float y) {
        return (175 - 28 * std::sin(x / 70.0f) - 12 * std::sin(x / 23.0f + 1)) - y;
    });
    shade(&im, 0, 150, 511, 255, {0.5f, 0.36f, 0.22f, 1}, [](float x, float y) {
        return (205 - 18 * std::sin(x / 45.0f + 2) - 8 * std::cos(x / 17.0f)) - y;
    });
    return im;
}

// The game's name in block letters, on transparency, placed for the title picture's quad.
image logo_picture() {
    image im = blank(512, 256, 4);
    text(&im, 259, 43, 8, "TRAILBOK", {0.1f, 0.1f, 0.12f, 0.6f});
    text(&im, 256, 40, 8, "TRAILBOK", {0.98f, 0.6f, 0.1f, 1});
    text(&im, 256, 112, 2, "MOTOCROSS", {1, 1, 1, 1});
    return im;
}

// The desktop icon: a dirt bike side on, in orange plastics, on a rounded blue tile. Drawn on a
// 256-unit square scaled to the size, with strokes wide enough to read at 48 pixels.
image icon_picture(int size) {
    image im = blank(size, size, 4);
    const float k = size / 256.0f;
    const rgba tile{0.11f, 0.33f, 0.62f, 1}, tyre{0.07f, 0.07f, 0.08f, 1},
        rim{0.78f, 0.8f, 0.84f, 1}, plastic{0.98f, 0.55f, 0.08f, 1}, dark{0.16f, 0.16f, 0.18f, 1},
        white{0.97f, 0.97f, 0.97f, 1}, steel{0.62f, 0.64f, 0.68f, 1};
    rounded_rect(&im, 4 * k, 4 * k, 252 * k, 252 * k, 44 * k, tile);
    // Ground line under the wheels.
    line(&im, 22 * k, 205 * k, 234 * k, 205 * k, 6 * k, {0.45f, 0.3f, 0.18f, 1});
    const float rear_x = 70 * k, front_x = 190 * k, hub_y = 168 * k, wheel = 36 * k;
    for (float cx : {rear_x, front_x}) {
        ring(&im, cx, hub_y, wheel, 15 * k, tyre);
        ring(&im, cx, hub_y, wheel - 9 * k, 3 * k, rim);
        disc(&im, cx, hub_y, 7 * k, rim);
    }
    // Swingarm, fork and handlebar.
    line(&im, rear_x, hub_y, 122 * k, 140 * k, 10 * k, steel);
    line(&im, front_x, hub_y, 163 * k, 84 * k, 10 * k, steel);
    line(&im, 150 * k, 72 * k, 176 * k, 70 * k, 7 * k, dark);
    // Engine, frame and exhaust.
    rounded_rect(&im, 104 * k, 118 * k, 146 * k, 156 * k, 8 * k, dark);
    line(&im, 120 * k, 112 * k, 166 * k, 92 * k, 8 * k, steel);
    line(&im, 104 * k, 130 * k, 62 * k, 112 * k, 6 * k, steel);
    // Plastics: rear fender and side panel, tank and seat, front fender, number plate.
    line(&im, 36 * k, 94 * k, 112 * k, 112 * k, 12 * k, plastic);
    line(&im, 100 * k, 100 * k, 150 * k, 94 * k, 12 * k, dark);
    line(&im, 128 * k, 108 * k, 166 * k, 90 * k, 16 * k, plastic);
    line(&im, 180 * k, 124 * k, 226 * k, 114 * k, 10 * k, plastic);
    rounded_rect(&im, 164 * k, 90 * k, 184 * k, 122 * k, 5 * k, white);
    return im;
}

bool write_picture(const std::string& path, const image& im) {
    std::string bytes;
    return image_encode_png(im.pixels.data(), im.width, im.height, im.channels, "", &bytes) &&
           forge_write_file(path, bytes);
}
} // namespace

bool forge_write_png(const std::string& path, const image& im, const std::string& text) {
    std::string bytes;
    if (!image_encode_png(im.pixels.data(), im.width, im.height, im.channels, text, &bytes)) {
        fprintf(stderr, "forge: can't encode %s\n", path.c_str());
        return false;
    }
    return forge_write_file(path, bytes);
}

bool forge_write_png16(const std::string& path, const std::vector<uint16_t>& samples, int width,
                       int height) {
    std::string bytes;
    if (!image_encode_png16(samples.data(), width, height, &bytes)) {
        fprintf(stderr, "forge: can't encode %s\n", path.c_str());
        return false;
    }
    return forge_write_file(path, bytes);
}

bool forge_write_info(const std::string& picture_path, const image_info_flags& flags) {
    return forge_write_file(picture_path + ".info", image_info_text(flags));
}

bool forge_hud_pictures(const std::string& out) {
    return write_picture(out + "tach.png", tach_picture()) &&
           write_picture(out + "shifter.png", shifter_picture()) &&
           write_picture(out + "pitboard.png", pitboard_picture()) &&
           write_picture(out + "title.png", title_picture()) &&
           write_picture(out + "logo.png", logo_picture());
}

bool forge_desktop_icon(const std::string& path, int size) {
    return size > 0 && size <= 1024 && write_picture(path, icon_picture(size));
}
