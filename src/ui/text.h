// Text and fonts: bitmap font atlases, proportional glyph quads with colour escapes, drop
// shadows, centred and right-aligned text, and text painted into pictures.
#pragma once

#include "resources/image.h"

#include <cstdint>
#include <vector>

enum font_id { font_text, font_numbers, font_numbers_condensed, k_font_count };

// The aspect of a character the font does not have: it advances and draws nothing visible.
constexpr float k_missing_aspect = 2.0f / 3;

struct font_glyph {
    float left = 0, top = 0, right = 0, bottom = 0; // texture coordinates of the cell
    float aspect = k_missing_aspect;                // cell width / cell height
    bool present = false;
};

// One font: its atlas texture and coverage, and a glyph per character code.
struct font {
    uint32_t texture = 0;
    int width = 0, height = 0;     // atlas px
    std::vector<uint8_t> coverage; // atlas alpha, for painting text into pictures
    font_glyph glyphs[256];
    float space = k_missing_aspect; // advance of " ": the width of "-"
};

// Reads the glyph cells of an atlas for the characters in atlas order: cells are separated by
// lines of the top-left pixel's colour. Separator pixels become transparent (the picture gets
// an alpha channel). Returns how many characters found a cell.
int font_parse_atlas(image* atlas, const char* characters, font* out);

// Loads every font from the data files (after the GL context exists) and frees them.
void fonts_load();
void fonts_free();
const font& font_get(font_id id);

// Flags of the drawing calls.
enum text_flag {
    text_shadowed = 1,   // a black drop shadow at half the opacity under the text
    text_no_escapes = 2, // ESC sequences are drawn as characters, not read as colours
};

// One glyph quad in glyph-height units: the pen starts at (0, 0), the first line spans y 0 to
// 1 and each line end moves down by 1.
struct text_quad {
    float x0, y0, x1, y1; // corners
    float s0, t0, s1, t1; // texture coordinates at (x0, y1) and (x1, y0): top-left, bottom-right
    float colour[4];
};

// The quads of one pass of a string: the colour pass in `colour`, or (shadow) the shadow pass
// in black at half the opacity, moved by (1/16, -1/16).
void text_layout(const font& f, const char* text, const float colour[4], int flags, bool shadow,
                 std::vector<text_quad>* out);
// The width of the text's first line in glyph-height units.
float text_width(const font& f, const char* text, int flags = 0);

// Where text starts to stand centred between left and right, or to end at x, drawn `height`
// high (the units of left, right and x).
float text_start_centred(const font& f, const char* text, float left, float right, float height,
                         int flags = 0);
float text_start_right(const font& f, const char* text, float x, float height, int flags = 0);

// The 16 colours of the escapes: 0-7 at 0.75, 8-15 at full strength.
const float* text_palette(int entry);

// Draws text in the current projection at depth z, (x, y) the bottom-left of its first line,
// `height` the glyph height in the projection's units. At most 256 quads per draw call.
void text_draw(font_id id, const char* text, float x, float y, float z, float height,
               const float colour[4], int flags);
// Centred between left and right, or ending at x.
void text_draw_centred(font_id id, const char* text, float left, float right, float y, float z,
                       float height, const float colour[4], int flags);
void text_draw_right(font_id id, const char* text, float x, float y, float z, float height,
                     const float colour[4], int flags);

// Paints the text into a picture with its mip chain: one line of glyphs as high as the picture
// from its left edge, each pixel background + (foreground - background) x coverage / 255.
bool text_to_image(const font& f, const char* text, const uint8_t foreground[3],
                   const uint8_t background[3], image* im);
