// The font atlases: a sans-serif stroke font drawn with round-ended strokes, smoothed by each
// pixel's distance from the strokes, in cells parted by gutters of the separator colour.
#include "common/common.h"
#include "forge.h"
#include "forge_resources.h"

#include "resources/image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {
// Glyphs are designed in units: the baseline at 0, capitals 10 high, lower case 7, descenders
// down to -3. A cell spans `cell_units` from `cell_bottom` up.
struct point {
    float x, y;
};
using polyline = std::vector<point>;

// One glyph's strokes and the width they span from x = 0.
struct glyph_shape {
    float width = 0; // units
    std::vector<polyline> strokes;
};

// A small vocabulary to write glyphs with.
struct pen {
    glyph_shape g;
    void line(std::initializer_list<float> xy) {
        polyline p;
        for (auto it = xy.begin(); it != xy.end(); it += 2) p.push_back({it[0], it[1]});
        g.strokes.push_back(p);
    }
    // An elliptic arc, counter-clockwise from a0 to a1 degrees (0 along +x, y up).
    void arc(float cx, float cy, float rx, float ry, float a0, float a1) {
        polyline p;
        const int steps = std::max(4, static_cast<int>(std::fabs(a1 - a0) / 6));
        for (int i = 0; i <= steps; i++) {
            const double a = (a0 + (a1 - a0) * i / steps) * k_pi / 180;
            p.push_back({cx + rx * static_cast<float>(std::cos(a)),
                         cy + ry * static_cast<float>(std::sin(a))});
        }
        g.strokes.push_back(p);
    }
    void ellipse(float cx, float cy, float rx, float ry) { arc(cx, cy, rx, ry, 0, 360); }
    void dot(float x, float y) { line({x, y, x, y + 0.01f}); }

    // The families' shared parts. The lower-case bowl of b, d, g, p and q.
    void bowl() { ellipse(2.9f, 3.5f, 2.9f, 3.5f); }
    // The arch of h, m and n from its left stem over to a right stem ending at the baseline.
    void arch(float cx, float cy, float rx, float ry, float right) {
        arc(cx, cy, rx, ry, 0, 180);
        line({right, cy, right, 0});
    }
    // The two curves of S and $.
    void s_curves() { arc(3, 7.5f, 2.8f, 2.5f, 20, 270), arc(3, 2.5f, 3, 2.5f, -160, 90); }
    // The stem and closed head of P and R.
    void p_head() {
        line({0, 0, 0, 10, 3.4f, 10}), arc(3.4f, 7.4f, 2.6f, 2.6f, -90, 90);
        line({3.4f, 4.8f, 0, 4.8f});
    }
};

// The shapes of the printable characters "!" to "~".
glyph_shape glyph_of(char c) {
    pen p;
    float& w = p.g.width;
    switch (c) {
    case '!':
        p.line({0, 3, 0, 10}), p.dot(0, 0);
        break;
    case '"':
        w = 2, p.line({0, 10, 0, 7.5f}), p.line({2, 10, 2, 7.5f});
        break;
    case '#':
        w = 8, p.line({0.5f, 3, 7.5f, 3}), p.line({0.5f, 7, 7.5f, 7});
        p.line({2.4f, 0, 3.3f, 10}), p.line({4.9f, 0, 5.8f, 10});
        break;
    case '$':
        w = 6, p.s_curves(), p.line({3, -1.2f, 3, 11.2f});
        break;
    case '%':
        w = 8, p.ellipse(1.6f, 7.8f, 1.6f, 2.2f), p.ellipse(6.4f, 2.2f, 1.6f, 2.2f);
        p.line({0.4f, 0, 7.6f, 10});
        break;
    case '&':
        w = 7.2f, p.arc(3, 8, 1.9f, 2, -40, 225), p.line({1.66f, 6.59f, 7.2f, 0});
        p.arc(3, 2.6f, 3, 2.6f, 100, 330), p.line({5.6f, 1.3f, 7, 4.2f});
        break;
    case '\'':
        p.line({0, 10, 0, 7.5f});
        break;
    case '(':
        w = 2.4f, p.arc(5.4f, 4.5f, 5.4f, 7.2f, 115, 245);
        break;
    case ')':
        w = 2.4f, p.arc(-3, 4.5f, 5.4f, 7.2f, -65, 65);
        break;
    case '*':
        w = 5, p.line({2.5f, 10, 2.5f, 5});
        p.line({0.3f, 8.75f, 4.7f, 6.25f}), p.line({0.3f, 6.25f, 4.7f, 8.75f});
        break;
    case '+':
        w = 6, p.line({0, 4.5f, 6, 4.5f}), p.line({3, 1.5f, 3, 7.5f});
        break;
    case ',':
        w = 0.8f, p.line({0.8f, 0.6f, 0, -2});
        break;
    case '-':
        w = 3.2f, p.line({0, 4, 3.2f, 4});
        break;
    case '.':
        p.dot(0, 0);
        break;
    case '/':
        w = 5, p.line({0, -0.5f, 5, 10.5f});
        break;
    case '0':
        w = 6, p.ellipse(3, 5, 3, 5);
        break;
    case '1':
        w = 5, p.line({2.8f, 0, 2.8f, 10, 0.4f, 7.8f}), p.line({0.4f, 0, 5, 0});
        break;
    case '2':
        w = 6, p.arc(3, 7.2f, 2.9f, 2.8f, -35, 165);
        p.line({5.38f, 5.59f, 0, 0, 6, 0});
        break;
    case '3':
        w = 6, p.arc(2.9f, 7.6f, 2.7f, 2.4f, -90, 160), p.arc(2.9f, 2.6f, 3.1f, 2.6f, -160, 90);
        p.line({1.8f, 5.2f, 2.9f, 5.2f});
        break;
    case '4':
        w = 6.4f, p.line({4.6f, 0, 4.6f, 10, 0, 3, 6.4f, 3});
        break;
    case '5':
        w = 6, p.line({5.6f, 10, 1.1f, 10, 0.88f, 5.29f});
        p.arc(3, 3.1f, 3, 3.1f, -145, 135);
        break;
    case '6':
        w = 6, p.arc(5.8f, 3.2f, 5.8f, 6.8f, 95, 180), p.ellipse(3, 3.1f, 3, 3.1f);
        break;
    case '7':
        w = 6, p.line({0, 10, 6, 10, 2, 0});
        break;
    case '8':
        w = 6, p.ellipse(3, 7.55f, 2.6f, 2.45f), p.ellipse(3, 2.6f, 3, 2.6f);
        break;
    case '9':
        w = 6, p.ellipse(3, 6.9f, 3, 3.1f), p.arc(0.2f, 6.8f, 5.8f, 6.8f, -85, 0);
        break;
    case ':':
        p.dot(0, 0), p.dot(0, 6);
        break;
    case ';':
        w = 0.8f, p.dot(0.8f, 6), p.line({0.8f, 0.6f, 0, -2});
        break;
    case '<':
        w = 6, p.line({6, 8, 0, 4.5f, 6, 1});
        break;
    case '=':
        w = 6, p.line({0, 3, 6, 3}), p.line({0, 6, 6, 6});
        break;
    case '>':
        w = 6, p.line({0, 8, 6, 4.5f, 0, 1});
        break;
    case '?':
        w = 5.6f, p.arc(2.8f, 7.6f, 2.8f, 2.4f, -90, 165);
        p.line({2.8f, 5.2f, 2.8f, 3.2f}), p.dot(2.8f, 0);
        break;
    case '@':
        w = 9, p.arc(4.5f, 4.2f, 4.5f, 5.2f, 0, 320), p.ellipse(4.3f, 4.2f, 1.9f, 2.3f);
        p.line({6.2f, 6.6f, 6.2f, 2.9f}), p.arc(7.6f, 2.9f, 1.4f, 1.3f, 180, 360);
        p.line({9, 2.9f, 9, 4.2f});
        break;
    case 'A':
        w = 7, p.line({0, 0, 3.5f, 10, 7, 0}), p.line({1.3f, 3.3f, 5.7f, 3.3f});
        break;
    case 'B':
        w = 6.3f, p.line({3.5f, 5.2f, 0, 5.2f, 0, 10, 3.5f, 10});
        p.arc(3.5f, 7.6f, 2.4f, 2.4f, -90, 90);
        p.line({0, 5.2f, 0, 0, 3.7f, 0}), p.arc(3.7f, 2.6f, 2.6f, 2.6f, -90, 90);
        break;
    case 'C':
        w = 6.9f, p.arc(4, 5, 4, 5, 45, 315);
        break;
    case 'D':
        w = 7, p.line({2.5f, 10, 0, 10, 0, 0, 2.5f, 0});
        p.arc(2.5f, 5, 4.5f, 5, -90, 90);
        break;
    case 'E':
        w = 5.6f, p.line({5.6f, 10, 0, 10, 0, 0, 5.6f, 0}), p.line({0, 5.2f, 4.6f, 5.2f});
        break;
    case 'F':
        w = 5.6f, p.line({5.6f, 10, 0, 10, 0, 0}), p.line({0, 5.2f, 4.6f, 5.2f});
        break;
    case 'G':
        w = 7.8f, p.arc(4, 5, 4, 5, 45, 325);
        p.line({4.3f, 4.6f, 7.8f, 4.6f, 7.8f, 1.5f});
        break;
    case 'H':
        w = 6.5f, p.line({0, 0, 0, 10}), p.line({6.5f, 0, 6.5f, 10}), p.line({0, 5.2f, 6.5f, 5.2f});
        break;
    case 'I':
        p.line({0, 0, 0, 10});
        break;
    case 'J':
        w = 4.6f, p.line({4.6f, 10, 4.6f, 2.5f}), p.arc(2.3f, 2.5f, 2.3f, 2.5f, 180, 360);
        break;
    case 'K':
        w = 6.4f, p.line({0, 0, 0, 10}), p.line({6.2f, 10, 0, 3.6f}), p.line({2.2f, 5.8f, 6.4f, 0});
        break;
    case 'L':
        w = 5.5f, p.line({0, 10, 0, 0, 5.5f, 0});
        break;
    case 'M':
        w = 8, p.line({0, 0, 0, 10, 4, 2.5f, 8, 10, 8, 0});
        break;
    case 'N':
        w = 6.5f, p.line({0, 0, 0, 10, 6.5f, 0, 6.5f, 10});
        break;
    case 'O':
        w = 8, p.ellipse(4, 5, 4, 5);
        break;
    case 'P':
        w = 6, p.p_head();
        break;
    case 'Q':
        w = 8, p.ellipse(4, 5, 4, 5), p.line({4.8f, 2.4f, 7.8f, -0.8f});
        break;
    case 'R':
        w = 6.2f, p.p_head(), p.line({3, 4.8f, 6.2f, 0});
        break;
    case 'S':
        w = 6, p.s_curves();
        break;
    case 'T':
        w = 7, p.line({0, 10, 7, 10}), p.line({3.5f, 10, 3.5f, 0});
        break;
    case 'U':
        w = 6.4f, p.line({0, 10, 0, 3}), p.arc(3.2f, 3, 3.2f, 3, 180, 360);
        p.line({6.4f, 3, 6.4f, 10});
        break;
    case 'V':
        w = 7, p.line({0, 10, 3.5f, 0, 7, 10});
        break;
    case 'W':
        w = 10, p.line({0, 10, 2.4f, 0, 5, 7.5f, 7.6f, 0, 10, 10});
        break;
    case 'X':
        w = 6.6f, p.line({0, 0, 6.6f, 10}), p.line({0, 10, 6.6f, 0});
        break;
    case 'Y':
        w = 6.8f, p.line({0, 10, 3.4f, 5, 6.8f, 10}), p.line({3.4f, 5, 3.4f, 0});
        break;
    case 'Z':
        w = 6.4f, p.line({0, 10, 6.4f, 10, 0, 0, 6.4f, 0});
        break;
    case '[':
        w = 2.5f, p.line({2.5f, 11, 0, 11, 0, -2, 2.5f, -2});
        break;
    case '\\':
        w = 5, p.line({0, 10.5f, 5, -0.5f});
        break;
    case ']':
        w = 2.5f, p.line({0, 11, 2.5f, 11, 2.5f, -2, 0, -2});
        break;
    case '^':
        w = 5, p.line({0, 6.5f, 2.5f, 10, 5, 6.5f});
        break;
    case '_':
        w = 6, p.line({0, -2, 6, -2});
        break;
    case '`':
        w = 1.5f, p.line({0, 10.5f, 1.5f, 8.8f});
        break;
    case 'a':
        w = 5.7f, p.ellipse(2.8f, 3.5f, 2.8f, 3.5f), p.line({5.7f, 7, 5.7f, 0});
        break;
    case 'b':
        w = 5.8f, p.line({0, 10.5f, 0, 0}), p.bowl();
        break;
    case 'c':
        w = 5.2f, p.arc(3, 3.5f, 3, 3.5f, 45, 315);
        break;
    case 'd':
        w = 5.8f, p.bowl(), p.line({5.8f, 10.5f, 5.8f, 0});
        break;
    case 'e':
        w = 5.9f, p.line({0.05f, 3.5f, 5.85f, 3.5f}), p.arc(2.95f, 3.5f, 2.9f, 3.5f, 0, 315);
        break;
    case 'f':
        w = 4.2f, p.line({1.5f, 0, 1.5f, 8.5f}), p.arc(3.5f, 8.5f, 2, 2, 90, 180);
        p.line({3.5f, 10.5f, 4.2f, 10.4f}), p.line({0, 7, 3.8f, 7});
        break;
    case 'g':
        w = 5.8f, p.bowl(), p.line({5.8f, 7, 5.8f, -1});
        p.arc(2.9f, -1, 2.9f, 2, 200, 360);
        break;
    case 'h':
        w = 5.6f, p.line({0, 10.5f, 0, 0}), p.arch(2.8f, 4.2f, 2.8f, 2.8f, 5.6f);
        break;
    case 'i':
        p.line({0, 0, 0, 7}), p.dot(0, 9.6f);
        break;
    case 'j':
        w = 1.5f, p.line({1.5f, 7, 1.5f, -1.5f}), p.arc(0, -1.5f, 1.5f, 1.5f, 270, 360),
        p.dot(1.5f, 9.6f);
        break;
    case 'k':
        w = 5.3f, p.line({0, 10.5f, 0, 0}), p.line({5, 7, 0, 2.4f}), p.line({1.8f, 4, 5.3f, 0});
        break;
    case 'l':
        w = 1.4f, p.line({0, 10.5f, 0, 1.2f}), p.arc(1.4f, 1.2f, 1.4f, 1.2f, 180, 270);
        break;
    case 'm':
        w = 8.8f, p.line({0, 7, 0, 0}), p.arch(2.2f, 4.6f, 2.2f, 2.4f, 4.4f);
        p.arch(6.6f, 4.6f, 2.2f, 2.4f, 8.8f);
        break;
    case 'n':
        w = 5.6f, p.line({0, 7, 0, 0}), p.arch(2.8f, 4.2f, 2.8f, 2.8f, 5.6f);
        break;
    case 'o':
        w = 6, p.ellipse(3, 3.5f, 3, 3.5f);
        break;
    case 'p':
        w = 5.8f, p.line({0, 7, 0, -3}), p.bowl();
        break;
    case 'q':
        w = 5.8f, p.bowl(), p.line({5.8f, 7, 5.8f, -3});
        break;
    case 'r':
        w = 4.2f, p.line({0, 7, 0, 0}), p.arc(3.2f, 3.8f, 3.2f, 3.2f, 90, 180),
        p.line({3.2f, 7, 4.2f, 6.7f});
        break;
    case 's':
        w = 5.1f, p.arc(2.5f, 5.25f, 2.4f, 1.75f, 20, 270),
        p.arc(2.5f, 1.75f, 2.6f, 1.75f, -160, 90);
        break;
    case 't':
        w = 3.8f, p.line({1.4f, 9.5f, 1.4f, 1.4f}), p.arc(2.8f, 1.4f, 1.4f, 1.4f, 180, 270);
        p.line({2.8f, 0, 3.8f, 0}), p.line({0, 7, 3.8f, 7});
        break;
    case 'u':
        w = 5.6f, p.line({0, 7, 0, 2.8f}), p.arc(2.8f, 2.8f, 2.8f, 2.8f, 180, 360);
        p.line({5.6f, 7, 5.6f, 0});
        break;
    case 'v':
        w = 5.5f, p.line({0, 7, 2.75f, 0, 5.5f, 7});
        break;
    case 'w':
        w = 8, p.line({0, 7, 2, 0, 4, 5.5f, 6, 0, 8, 7});
        break;
    case 'x':
        w = 5.4f, p.line({0, 0, 5.4f, 7}), p.line({0, 7, 5.4f, 0});
        break;
    case 'y':
        w = 5.6f, p.line({0, 7, 2.8f, 0.2f}), p.line({5.6f, 7, 1.3f, -3});
        break;
    case 'z':
        w = 5.2f, p.line({0, 7, 5.2f, 7, 0, 0, 5.2f, 0});
        break;
    case '{':
        w = 3, p.line({3, 11, 1.8f, 10.4f, 1.5f, 6, 0, 4.5f, 1.5f, 3, 1.8f, -1.4f, 3, -2});
        break;
    case '|':
        p.line({0, 11, 0, -2.5f});
        break;
    case '}':
        w = 3, p.line({0, 11, 1.2f, 10.4f, 1.5f, 6, 3, 4.5f, 1.5f, 3, 1.2f, -1.4f, 0, -2});
        break;
    case '~':
        w = 6, p.arc(1.5f, 4.2f, 1.5f, 1, 0, 180), p.arc(4.5f, 4.2f, 1.5f, 1, 180, 360);
        break;
    default:
        break;
    }
    return p.g;
}

// How one atlas draws its glyphs.
struct font_style {
    const char* file;
    const char* characters;
    int cell_height;   // px
    float cell_units;  // units a cell spans from bottom to top
    float cell_bottom; // units of the cell's bottom edge
    float stroke;      // units, the strokes' width
    float bearing;     // units of space either side of the strokes
    float narrow;      // horizontal scale of the shapes
    int atlas_width;   // px
};

constexpr int k_gutter = 4; // px of separator between cells: the mip levels keep glyphs apart
constexpr uint8_t k_separator[4] = {255, 0, 255, 255};

constexpr char k_printable[] = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
constexpr char k_digits[] = "0123456789";

constexpr font_style k_styles[] = {
    {"font.png", k_printable, 64, 16, -4, 1.6f, 1.5f, 1, 1024},
    {"numbers.png", k_digits, 64, 13, -1.5f, 1.8f, 1.4f, 1, 512},
    {"numbers-condensed.png", k_digits, 64, 13, -1.5f, 1.6f, 1.0f, 0.72f, 512},
};

float distance_to(const point& p, const point& a, const point& b) {
    const float dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
    const float t =
        length2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0f, 1.0f) : 0;
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// The cell's width in pixels for a glyph.
int cell_width(const font_style& s, const glyph_shape& g) {
    const float scale = s.cell_height / s.cell_units;
    return static_cast<int>(std::lround((g.width * s.narrow + 2 * s.bearing) * scale));
}

// Draws a glyph's coverage into the alpha of its cell, whose top-left pixel is (x0, y0).
void draw_glyph(image* atlas, const font_style& s, const glyph_shape& g, int x0, int y0) {
    const float scale = s.cell_height / s.cell_units; // px per unit
    const float half = s.stroke * scale / 2;
    const int width = cell_width(s, g);
    for (int y = 0; y < s.cell_height; y++) {
        for (int x = 0; x < width; x++) {
            // The pixel's centre in glyph units.
            const point at = {((x + 0.5f) / scale - s.bearing) / s.narrow,
                              s.cell_bottom + s.cell_units - (y + 0.5f) / scale};
            float nearest = 1e9f;
            for (const polyline& line : g.strokes)
                for (size_t i = 0; i + 1 < line.size(); i++) {
                    // Distances measured in pixels, across the narrowed shape too.
                    const point a = {line[i].x * s.narrow, line[i].y};
                    const point b = {line[i + 1].x * s.narrow, line[i + 1].y};
                    const point q = {at.x * s.narrow, at.y};
                    nearest = std::min(nearest, distance_to(q, a, b) * scale);
                }
            const float cover = std::clamp(half + 0.5f - nearest, 0.0f, 1.0f);
            uint8_t* p = &atlas->pixels[(static_cast<size_t>(y0 + y) * atlas->width + x0 + x) * 4];
            p[0] = p[1] = p[2] = 255;
            p[3] = static_cast<uint8_t>(std::lround(cover * 255));
        }
    }
}

// The top-left pixel of each glyph's cell: rows of cells left to right, a gutter around each.
std::vector<point> cell_corners(const font_style& s, const std::vector<glyph_shape>& shapes) {
    std::vector<point> corners;
    int x = k_gutter, y = k_gutter;
    for (const glyph_shape& g : shapes) {
        const int w = cell_width(s, g);
        if (x + w + k_gutter > s.atlas_width) {
            y += s.cell_height + k_gutter;
            x = k_gutter;
        }
        corners.push_back({static_cast<float>(x), static_cast<float>(y)});
        x += w + k_gutter;
    }
    return corners;
}

// The whole atlas: the cells, every gap and the rest of a row separator.
bool write_atlas(const std::string& out, const font_style& s) {
    std::vector<glyph_shape> shapes;
    for (const char* c = s.characters; *c; c++) shapes.push_back(glyph_of(*c));
    const std::vector<point> corners = cell_corners(s, shapes);
    const int bottom = static_cast<int>(corners.back().y) + s.cell_height + k_gutter;
    int height = 1;
    while (height < bottom) height *= 2;
    image atlas;
    if (!image_allocate(&atlas, s.atlas_width, height, 4)) return false;
    for (size_t i = 0; i < atlas.pixels.size(); i += 4)
        std::copy(k_separator, k_separator + 4, &atlas.pixels[i]);
    for (size_t i = 0; i < shapes.size(); i++)
        draw_glyph(&atlas, s, shapes[i], static_cast<int>(corners[i].x),
                   static_cast<int>(corners[i].y));
    return forge_write_png(out + s.file, atlas);
}
} // namespace

bool forge_fonts(const std::string& out) {
    for (const font_style& s : k_styles)
        if (!write_atlas(out, s)) return false;
    return true;
}
