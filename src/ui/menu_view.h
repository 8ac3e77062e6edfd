// What an open menu page shows: the menu code fills it, the drawing and the pointer's hit test
// read it. Positions are the drawing's own: pixels of the window, y from the top.
#pragma once

#include <string>
#include <vector>

// How an item is drawn and where a click lands on it.
enum menu_item_look {
    look_button, // its label, activated by a click anywhere on it
    look_choice, // label left, the chosen entry right
    look_number, // label left, a slider and the value right
    look_text,   // label left, the text right with its cursor while current
    look_binding,
    look_row, // a list row: the entry's text
};

struct menu_view_item {
    menu_item_look look = look_button;
    std::string label;
    std::string value;   // shown at the right
    std::string aside;   // shown between label and value ("Available")
    float fraction = -1; // number items: where the value lies between minimum and maximum
    int cursor = -1;     // text items: the cursor's character index
    bool shown = true;   // an empty list row is not drawn and cannot be pointed at
};

// A line of text under the items, centred.
struct menu_view_line {
    std::string text;
    float colour[4] = {1, 1, 1, 1};
};

// A table under the items and lines: a header and rows of cells, each row in one colour.
struct menu_view_table {
    std::vector<std::string> header;
    std::vector<float> columns; // each column's share of the width
    std::vector<std::vector<std::string>> rows;
    std::vector<std::vector<float>> colours; // per row: r, g, b
};

// Where the title picture's logo ends, as a share of the window's height at any width.
constexpr float k_main_page_below_logo = 0.5f;

struct menu_view {
    std::string title;
    std::vector<menu_view_item> items;
    int current = 0;
    int columns_from = -1; // items from this index on stand in two columns
    std::vector<menu_view_line> lines;
    menu_view_table table;
    bool background = true; // the translucent page over the screen with the build label
    float top_share = -1;   // where the page starts, as a share of the window's height; <0 centred
    std::string build_label;
};

// Draws the page over the frame (orthographic pixels, blended) at the window size.
void menu_view_draw(const menu_view& view, int width, int height);
// The item under a window position, -1 for none.
int menu_view_hit(const menu_view& view, int width, int height, float x, float y);
// An item's rectangle in window pixels; false for an item not shown.
bool menu_view_box(const menu_view& view, int width, int height, int item, float* x0, float* y0,
                   float* x1, float* y1);
// Whether a window position lies inside an item.
bool menu_view_inside(const menu_view& view, int width, int height, int item, float x, float y);
// The slider of a number item: its left and right ends in window x; false for other items.
bool menu_view_slider(const menu_view& view, int width, int height, int item, float* left,
                      float* right);
