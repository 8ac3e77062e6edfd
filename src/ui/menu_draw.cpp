// Menu pages on the screen: where each item stands, drawing a page over the frame, and which
// item the pointer is over.
#include "ui/menu_view.h"
#include "ui/text.h"
#include "ui/ui_local.h"

#include "render/render.h"
#include "resources/gl/gl_bind.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {
// A rectangle in window pixels, y from the top.
struct box {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Where everything of a page stands at one window size.
struct page_layout {
    float row = 0;  // px per item row
    float text = 0; // px, glyph height of the items
    float left = 0, right = 0;
    float title_top = 0;
    std::vector<box> items;
    float lines_top = 0;
    float table_top = 0;
};

constexpr float k_title_rows = 1.7f;
constexpr float k_column_gap = 0.04f; // of the content width

int single_items(const menu_view& v) {
    const int n = static_cast<int>(v.items.size());
    return v.columns_from >= 0 ? std::min(v.columns_from, n) : n;
}

page_layout layout_of(const menu_view& v, int width, int height) {
    page_layout l;
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const int single = single_items(v);
    const int paired = static_cast<int>(v.items.size()) - single;
    const int column_rows = (paired + 1) / 2;
    float rows = (v.title.empty() ? 0.5f : k_title_rows) + single + column_rows;
    if (!v.lines.empty()) rows += 0.5f + static_cast<float>(v.lines.size());
    if (!v.table.rows.empty() || !v.table.header.empty())
        rows += 0.5f + 1 + static_cast<float>(v.table.rows.size());
    rows += 1; // the build label's corner
    const float room = v.top_share >= 0 ? 0.98f - v.top_share : 0.96f;
    l.row = std::min(h / 16, h * room / rows);
    l.text = l.row * 0.74f;
    const float content = std::min(w * 0.88f, h * 1.3f);
    l.left = (w - content) / 2;
    l.right = l.left + content;
    const float used = rows * l.row;
    l.title_top = v.top_share >= 0 ? h * v.top_share : std::max(h * 0.02f, (h - used) / 2);
    float y = l.title_top + (v.title.empty() ? 0.5f : k_title_rows) * l.row;
    for (int i = 0; i < single; i++, y += l.row) l.items.push_back({l.left, y, l.right, y + l.row});
    const float gap = content * k_column_gap, column = (content - gap) / 2;
    for (int i = 0; i < paired; i++) {
        const int col = i / column_rows, r = i % column_rows;
        const float x = l.left + col * (column + gap);
        l.items.push_back({x, y + r * l.row, x + column, y + (r + 1) * l.row});
    }
    y += column_rows * l.row;
    l.lines_top = y + (v.lines.empty() ? 0 : 0.5f * l.row);
    l.table_top = l.lines_top + static_cast<float>(v.lines.size()) * l.row + 0.5f * l.row;
    return l;
}

// The slider of a number item within its box.
void slider_of(const box& b, float* left, float* right) {
    const float w = b.x1 - b.x0;
    *left = b.x0 + w * 0.5f;
    *right = b.x1 - w * 0.17f;
}

// Drawing state: pixels with y up, blended, no depth.
struct overlay {
    int width, height;
    float flip(float y) const { return static_cast<float>(height) - y; }
};

void quad(const overlay& o, float x0, float y0, float x1, float y1, const float colour[4]) {
    ui_quad(x0, o.flip(y1), x1, o.flip(y0), 0, colour);
}

// Text whose glyph cells are centred on a row from `top`, `height` high.
float cell_bottom(const overlay& o, float top, float row, float height) {
    return o.flip(top + row - (row - height) / 2);
}

void text_left(const overlay& o, const std::string& t, float x, float top, float row, float height,
               const float colour[4]) {
    text_draw(font_text, t.c_str(), x, cell_bottom(o, top, row, height), 0, height, colour,
              text_shadowed);
}
void text_right(const overlay& o, const std::string& t, float x, float top, float row, float height,
                const float colour[4]) {
    text_draw_right(font_text, t.c_str(), x, cell_bottom(o, top, row, height), 0, height, colour,
                    text_shadowed);
}
void text_centre(const overlay& o, const std::string& t, float left, float right, float top,
                 float row, float height, const float colour[4]) {
    text_draw_centred(font_text, t.c_str(), left, right, cell_bottom(o, top, row, height), 0,
                      height, colour, text_shadowed);
}

constexpr float k_label[4] = {0.86f, 0.88f, 0.9f, 1};
constexpr float k_label_current[4] = {1, 1, 0.7f, 1};
constexpr float k_value[4] = {0.62f, 0.85f, 1, 1};
constexpr float k_aside[4] = {0.7f, 0.7f, 0.7f, 1};
constexpr float k_highlight[4] = {0.25f, 0.45f, 0.85f, 0.45f};
constexpr float k_title[4] = {1, 0.82f, 0.3f, 1};
constexpr float k_track[4] = {0.45f, 0.47f, 0.5f, 0.9f};
constexpr float k_fill[4] = {0.35f, 0.65f, 1, 0.95f};
constexpr float k_header[4] = {1, 0.82f, 0.3f, 1};

void draw_item(const overlay& o, const page_layout& l, const menu_view_item& item, const box& b,
               bool current) {
    if (!item.shown) return;
    if (current) quad(o, b.x0, b.y0, b.x1, b.y1, k_highlight);
    const float pad = l.row * 0.3f, row = b.y1 - b.y0;
    const float* label = current ? k_label_current : k_label;
    text_left(o, item.label, b.x0 + pad, b.y0, row, l.text, label);
    if (item.look == look_number && item.fraction >= 0) {
        float left, right;
        slider_of(b, &left, &right);
        const float mid = (b.y0 + b.y1) / 2, half = row * 0.07f;
        const float at = left + (right - left) * std::clamp(item.fraction, 0.0f, 1.0f);
        quad(o, left, mid - half, right, mid + half, k_track);
        quad(o, left, mid - half, at, mid + half, k_fill);
        quad(o, at - half * 2, mid - half * 3, at + half * 2, mid + half * 3, k_label_current);
    }
    if (!item.aside.empty()) {
        const float x =
            item.look == look_number ? b.x0 + (b.x1 - b.x0) * 0.3f : b.x0 + (b.x1 - b.x0) * 0.5f;
        text_left(o, item.aside, x, b.y0, row, l.text * 0.85f, k_aside);
    }
    if (!item.value.empty()) text_right(o, item.value, b.x1 - pad, b.y0, row, l.text, k_value);
    if (item.look == look_text && current && item.cursor >= 0) {
        // The cursor sits before the character it stands at.
        const font& f = font_get(font_text);
        const std::string before = item.value.substr(0, static_cast<size_t>(item.cursor));
        const float x = b.x1 - pad - text_width(f, item.value.c_str(), text_no_escapes) * l.text +
                        text_width(f, before.c_str(), text_no_escapes) * l.text;
        const float top = b.y0 + (row - l.text) / 2;
        quad(o, x, top + l.text * 0.1f, x + std::max(1.0f, l.text * 0.08f), top + l.text * 0.85f,
             k_label_current);
    }
}

void draw_table(const overlay& o, const page_layout& l, const menu_view_table& t) {
    float total = 0;
    for (float share : t.columns) total += share;
    if (total <= 0) return;
    const float width = l.right - l.left, height = l.text * 0.9f;
    auto row_of = [&](const std::vector<std::string>& cells, float top, const float colour[4]) {
        float x = l.left;
        for (size_t c = 0; c < cells.size() && c < t.columns.size(); c++) {
            text_left(o, cells[c], x + l.row * 0.2f, top, l.row, height, colour);
            x += width * t.columns[c] / total;
        }
    };
    float top = l.table_top;
    if (!t.header.empty()) {
        row_of(t.header, top, k_header);
        top += l.row;
    }
    for (size_t r = 0; r < t.rows.size(); r++, top += l.row) {
        float colour[4] = {1, 1, 1, 1};
        if (r < t.colours.size())
            for (size_t k = 0; k < 3 && k < t.colours[r].size(); k++) colour[k] = t.colours[r][k];
        if (r % 2 == 1) {
            const float band[4] = {1, 1, 1, 0.06f};
            quad(o, l.left, top, l.right, top + l.row, band);
        }
        row_of(t.rows[r], top, colour);
    }
}
} // namespace

void menu_view_draw(const menu_view& v, int width, int height) {
    if (!gl_ready() || width <= 0 || height <= 0) return;
    const page_layout l = layout_of(v, width, height);
    const overlay o{width, height};
    ui_overlay_begin(width, height, 0, static_cast<float>(width), 0, static_cast<float>(height));

    const float w = static_cast<float>(width), h = static_cast<float>(height);
    if (v.background) {
        const float shade[4] = {0, 0, 0, 0.55f};
        quad(o, 0, 0, w, h, shade);
        if (!v.build_label.empty()) {
            const float size = h / 2 / 16, grey[4] = {0.75f, 0.75f, 0.75f, 1};
            text_draw_right(font_text, v.build_label.c_str(), w - size * 0.5f, size * 0.3f, 0, size,
                            grey, text_shadowed);
        }
    }
    if (!v.title.empty())
        text_centre(o, v.title, 0, w, l.title_top, l.row * k_title_rows * 0.8f, l.row * 1.05f,
                    k_title);
    for (size_t i = 0; i < v.items.size(); i++)
        draw_item(o, l, v.items[i], l.items[i], static_cast<int>(i) == v.current);
    float top = l.lines_top;
    for (const menu_view_line& line : v.lines) {
        text_centre(o, line.text, 0, w, top, l.row, l.text * 0.9f, line.colour);
        top += l.row;
    }
    draw_table(o, l, v.table);
    ui_overlay_end();
}

int menu_view_hit(const menu_view& v, int width, int height, float x, float y) {
    const page_layout l = layout_of(v, width, height);
    for (int i = 0; i < static_cast<int>(v.items.size()); i++) {
        const box& b = l.items[static_cast<size_t>(i)];
        if (v.items[static_cast<size_t>(i)].shown && x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1)
            return i;
    }
    return -1;
}

bool menu_view_box(const menu_view& v, int width, int height, int item, float* x0, float* y0,
                   float* x1, float* y1) {
    if (item < 0 || item >= static_cast<int>(v.items.size()) || !v.items[item].shown) return false;
    const page_layout l = layout_of(v, width, height);
    const box& b = l.items[static_cast<size_t>(item)];
    *x0 = b.x0, *y0 = b.y0, *x1 = b.x1, *y1 = b.y1;
    return true;
}

bool menu_view_inside(const menu_view& v, int width, int height, int item, float x, float y) {
    float x0, y0, x1, y1;
    return menu_view_box(v, width, height, item, &x0, &y0, &x1, &y1) && x >= x0 && x < x1 &&
           y >= y0 && y < y1;
}

bool menu_view_slider(const menu_view& v, int width, int height, int item, float* left,
                      float* right) {
    if (item < 0 || item >= static_cast<int>(v.items.size()) || v.items[item].look != look_number)
        return false;
    const page_layout l = layout_of(v, width, height);
    slider_of(l.items[item], left, right);
    return true;
}
