// Font atlases read into glyph cells, strings laid out into glyph quads with their colour
// escapes, text widths, and text painted into pictures.
#include "ui/text.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr int k_escape = 27;
constexpr int k_max_escape_numbers = 64;
constexpr float k_shadow_offset = 1.0f / 16;

// Entries 0-7 at 0.75, 8-15 at full strength; grey 7 becomes white 15.
constexpr float k_palette[16][3] = {
    {0, 0, 0},     {0.75f, 0, 0},     {0, 0.75f, 0},     {0.75f, 0.75f, 0},
    {0, 0, 0.75f}, {0.75f, 0, 0.75f}, {0, 0.75f, 0.75f}, {0.75f, 0.75f, 0.75f},
    {0, 0, 0},     {1, 0, 0},         {0, 1, 0},         {1, 1, 0},
    {0, 0, 1},     {1, 0, 1},         {0, 1, 1},         {1, 1, 1},
};

bool white(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

const char* skip_leading_space(const char* text) {
    while (*text && white(*text)) text++;
    return text;
}

// The pen: where the next glyph goes and the colour the escapes chose.
struct pen_state {
    float x = 0, y = 0;
    int palette = -1; // -1: the caller's colour
    bool bright = false;
};

// Reads an escape sequence after ESC "[": numbers, then a final character from "@" to "~".
// Returns the text after it; `numbers` gets at most 64 values.
const char* read_escape(const char* at, int* numbers, int* count, char* final) {
    *count = 0;
    *final = 0;
    int value = 0;
    bool any = false;
    for (; *at; at++) {
        const char c = *at;
        if (c >= '0' && c <= '9') {
            value = std::min(value * 10 + (c - '0'), 1000000);
            any = true;
        } else if (c == ';') {
            if (*count < k_max_escape_numbers) numbers[(*count)++] = value;
            value = 0;
            any = false;
        } else if (c >= '@' && c <= '~') {
            if (any && *count < k_max_escape_numbers) numbers[(*count)++] = value;
            *final = c;
            return at + 1;
        } else {
            // Not a sequence after all: it ends here and draws nothing.
            return at;
        }
    }
    return at;
}

// What one "m" sequence does in a pass: colour numbers 30-37 belong to the colour pass,
// 40-47 to the shadow pass.
void apply_graphic_rendition(pen_state& pen, const int* numbers, int count, bool shadow) {
    if (count == 0) {
        pen.palette = -1;
        pen.bright = false;
        return;
    }
    for (int i = 0; i < count; i++) {
        const int n = numbers[i];
        if (n == 0) {
            pen.palette = -1;
            pen.bright = false;
        } else if (n == 1) {
            pen.bright = true;
        } else if (n == 22) {
            pen.bright = false;
        } else if (n >= 30 && n <= 37 && !shadow) {
            pen.palette = n - 30;
        } else if (n >= 40 && n <= 47 && shadow) {
            pen.palette = n - 40;
        }
    }
}

void pen_colour(const pen_state& pen, const float base[4], bool shadow, float out[4]) {
    if (pen.palette >= 0) {
        const float* p = k_palette[pen.palette + (pen.bright ? 8 : 0)];
        out[0] = p[0], out[1] = p[1], out[2] = p[2];
    } else {
        const float add = pen.bright && !shadow ? 0.25f : 0;
        for (int k = 0; k < 3; k++) out[k] = std::min(1.0f, base[k] + add);
    }
    out[3] = base[3];
}

// Walks the text as drawing does, calling `glyph` for each character drawn; stops at the first
// line end when `first_line`. Returns the pen's x at the end.
template <typename F>
float walk(const font& f, const char* text, int flags, bool shadow, bool first_line, F glyph) {
    pen_state pen;
    const float tab = 8 * f.space;
    for (const char* at = skip_leading_space(text); *at;) {
        const unsigned char c = static_cast<unsigned char>(*at);
        if (c == ' ') {
            pen.x += f.space;
        } else if (c == '\t') {
            if (tab > 0) pen.x = (std::floor(pen.x / tab + 1e-4f) + 1) * tab;
        } else if (c == '\r' || c == '\n') {
            if (first_line) break;
            pen.x = 0;
            if (c == '\n') pen.y -= 1;
        } else if (c == k_escape && at[1] == '[' && !(flags & text_no_escapes)) {
            int numbers[k_max_escape_numbers];
            int count = 0;
            char final = 0;
            at = read_escape(at + 2, numbers, &count, &final);
            if (final == 'm') apply_graphic_rendition(pen, numbers, count, shadow);
            continue;
        } else {
            const font_glyph& g = f.glyphs[c];
            if (g.present) glyph(pen, g);
            pen.x += g.aspect;
        }
        at++;
    }
    return pen.x;
}
} // namespace

const float* text_palette(int entry) { return k_palette[std::clamp(entry, 0, 15)]; }

void text_layout(const font& f, const char* text, const float colour[4], int flags, bool shadow,
                 std::vector<text_quad>* out) {
    float base[4] = {colour[0], colour[1], colour[2], colour[3]};
    if (shadow) base[0] = base[1] = base[2] = 0, base[3] = colour[3] / 2;
    const float dx = shadow ? k_shadow_offset : 0, dy = shadow ? -k_shadow_offset : 0;
    walk(f, text, flags, shadow, false, [&](const pen_state& pen, const font_glyph& g) {
        text_quad q;
        q.x0 = pen.x + dx;
        q.y0 = pen.y + dy;
        q.x1 = pen.x + g.aspect + dx;
        q.y1 = pen.y + 1 + dy;
        q.s0 = g.left;
        q.t0 = g.top;
        q.s1 = g.right;
        q.t1 = g.bottom;
        pen_colour(pen, base, shadow, q.colour);
        out->push_back(q);
    });
}

float text_width(const font& f, const char* text, int flags) {
    return walk(f, text, flags, false, true, [](const pen_state&, const font_glyph&) {});
}

float text_start_centred(const font& f, const char* text, float left, float right, float height,
                         int flags) {
    return ((right - left) - text_width(f, text, flags) * height) / 2 + left;
}

float text_start_right(const font& f, const char* text, float x, float height, int flags) {
    return x - text_width(f, text, flags) * height;
}

int font_parse_atlas(image* atlas, const char* characters, font* out) {
    *out = font{};
    if (atlas->width <= 0 || atlas->height <= 0) return 0;
    if (atlas->channels != 4) {
        image_grey_to_rgb(atlas);
        image rgba;
        if (!image_allocate(&rgba, atlas->width, atlas->height, 4)) return 0;
        for (size_t i = 0, n = static_cast<size_t>(atlas->width) * atlas->height; i < n; i++) {
            std::copy_n(&atlas->pixels[i * 3], 3, &rgba.pixels[i * 4]);
            rgba.pixels[i * 4 + 3] = 255;
        }
        *atlas = std::move(rgba);
    }
    const int w = atlas->width, h = atlas->height;
    atlas->levels = 1;
    auto at = [&](int x, int y) { return &atlas->pixels[(static_cast<size_t>(y) * w + x) * 4]; };
    uint8_t separator[4];
    std::copy_n(at(0, 0), 4, separator);
    auto is_separator = [&](int x, int y) { return std::memcmp(at(x, y), separator, 4) == 0; };
    // The first cell of the row of cells at or below y: its column, or -1 with none left.
    auto row_start = [&](int* y) {
        for (; *y < h; (*y)++)
            for (int x = 0; x < w; x++)
                if (!is_separator(x, *y)) return x;
        return -1;
    };
    auto cell_height = [&](int x, int y) {
        int n = 0;
        while (y + n < h && !is_separator(x, y + n)) n++;
        return n;
    };

    int y = 0;
    int x = row_start(&y);
    int height = x >= 0 ? cell_height(x, y) : 0;
    int found = 0;
    for (const char* c = characters; *c && x >= 0 && height > 0; c++) {
        int width = 0;
        while (x + width < w && !is_separator(x + width, y)) width++;
        font_glyph& g = out->glyphs[static_cast<unsigned char>(*c)];
        g.left = static_cast<float>(x) / w;
        g.right = static_cast<float>(x + width) / w;
        g.top = static_cast<float>(y) / h;
        g.bottom = static_cast<float>(y + height) / h;
        g.aspect = static_cast<float>(width) / height;
        g.present = true;
        found++;
        x += width;
        while (x < w && is_separator(x, y)) x++;
        if (x >= w) {
            // The row ends: the next row of cells starts below this one's separator.
            y += height;
            x = row_start(&y);
            height = x >= 0 ? cell_height(x, y) : 0;
        }
    }
    out->coverage.resize(static_cast<size_t>(w) * h);
    for (int py = 0; py < h; py++)
        for (int px = 0; px < w; px++) {
            uint8_t* p = at(px, py);
            if (is_separator(px, py)) p[0] = p[1] = p[2] = 255, p[3] = 0;
            out->coverage[static_cast<size_t>(py) * w + px] = p[3];
        }
    out->width = w;
    out->height = h;
    if (out->glyphs['-'].present) out->space = out->glyphs['-'].aspect;
    return found;
}

bool text_to_image(const font& f, const char* text, const uint8_t foreground[3],
                   const uint8_t background[3], image* im) {
    if (im->width <= 0 || im->height <= 0) return false;
    if (im->channels != 3 && !image_allocate(im, im->width, im->height, 3)) return false;
    im->levels = 1;
    im->pixels.resize(static_cast<size_t>(im->width) * im->height * 3);
    const int w = im->width, h = im->height;
    std::vector<float> cover(static_cast<size_t>(w) * h, 0.0f);
    const float one[4] = {1, 1, 1, 1};
    std::vector<text_quad> quads;
    text_layout(f, text, one, 0, false, &quads);
    const float scale = static_cast<float>(h); // px per glyph height
    if (!f.coverage.empty()) {
        for (const text_quad& q : quads) {
            // The quad in pixels, rows from the top of the picture.
            const float left = q.x0 * scale, right = q.x1 * scale;
            const float top = (1 - q.y1) * scale, bottom = (1 - q.y0) * scale;
            const int px0 = std::max(0, static_cast<int>(std::floor(left)));
            const int px1 = std::min(w, static_cast<int>(std::ceil(right)));
            const int py0 = std::max(0, static_cast<int>(std::floor(top)));
            const int py1 = std::min(h, static_cast<int>(std::ceil(bottom)));
            // Texels per pixel decide how finely a pixel samples the atlas (a box filter).
            const float texels = (q.t1 - q.t0) * f.height / std::max(bottom - top, 1e-3f);
            const int n = std::clamp(static_cast<int>(std::ceil(texels)), 1, 8);
            for (int py = py0; py < py1; py++)
                for (int px = px0; px < px1; px++) {
                    float sum = 0;
                    for (int sy = 0; sy < n; sy++)
                        for (int sx = 0; sx < n; sx++) {
                            const float x = px + (sx + 0.5f) / n, y = py + (sy + 0.5f) / n;
                            if (x < left || x >= right || y < top || y >= bottom) continue;
                            const float u = q.s0 + (q.s1 - q.s0) * (x - left) / (right - left);
                            const float v = q.t0 + (q.t1 - q.t0) * (y - top) / (bottom - top);
                            const int tx =
                                std::clamp(static_cast<int>(u * f.width), 0, f.width - 1);
                            const int ty =
                                std::clamp(static_cast<int>(v * f.height), 0, f.height - 1);
                            sum += f.coverage[static_cast<size_t>(ty) * f.width + tx];
                        }
                    float& c = cover[static_cast<size_t>(py) * w + px];
                    c = std::min(255.0f, c + sum / (n * n));
                }
        }
    }
    for (size_t i = 0; i < cover.size(); i++)
        for (int k = 0; k < 3; k++)
            im->pixels[i * 3 + k] = static_cast<uint8_t>(
                std::lround(background[k] + (foreground[k] - background[k]) * cover[i] / 255.0f));
    image_build_mips(im, false);
    return true;
}
