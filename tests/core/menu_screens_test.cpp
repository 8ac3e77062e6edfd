// Every menu page drawn in an offscreen window: each item's label is on the screen where the
// pointer finds that item, in the font of the data set. TB_MENU_PICTURES=<folder> keeps the
// pictures for a look.
#include "menu_world.h"
#include "core/menu_local.h"

#include <GL/gl.h>

#include <cstdlib>

namespace {
// Pixels of the band that are lit like text (the page behind is darkened).
int lit_pixels(const std::vector<uint8_t>& rgb, int width, int x0, int y0, int x1, int y1) {
    int lit = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            if (p[0] > 190 && p[1] > 190 && p[2] > 150) lit++;
        }
    return lit;
}

struct menu_screens : menu_world {
    // Each shown item's label lights pixels in the left part of its row.
    void expect_labels_drawn(const std::vector<uint8_t>& rgb, const char* name) {
        const menu_view view = menu_view_of(width, height);
        for (int i = 0; i < static_cast<int>(view.items.size()); i++) {
            if (!view.items[i].shown || view.items[i].label.empty()) continue;
            int x = 0, y = 0;
            item_centre(i, &x, &y);
            const int band = height / 60;
            EXPECT_GT(lit_pixels(rgb, width, 0, y - band, x, y + band), 8)
                << name << " item " << i << " \"" << view.items[i].label << "\"";
        }
    }
};

TEST_F(menu_screens, EveryPageDrawsEveryItemWhereThePointerFindsIt) {
    ASSERT_TRUE(font_get(font_text).texture != 0) << "the data set's font loaded";
    struct shown_page {
        int page;
        const char* name;
    };
    const shown_page pages[] = {
        {menu_main, "main"},
        {menu_new_race, "new_race"},
        {menu_playback, "playback"},
        {menu_series, "series"},
        {menu_time_trial, "time_trial"},
        {menu_bike_setup, "bike_setup"},
        {menu_suspension, "suspension"},
        {menu_stability, "stability"},
        {menu_controls, "controls"},
        {menu_graphics, "graphics"},
        {menu_advanced_graphics, "advanced_graphics"},
        {menu_multiplayer, "multiplayer"},
        {menu_exit, "exit"},
    };
    for (const shown_page& p : pages) {
        menu_open(p.page);
        const std::vector<uint8_t> rgb = picture();
        keep_picture(rgb, p.name);
        expect_labels_drawn(rgb, p.name);
    }
    // The standings of the data set's series, and the chooser of the bikes.
    ASSERT_GT(series_count(), 0);
    menu_open(menu_series);
    frames(1);
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    ASSERT_EQ(menus().page, menu_standings);
    std::vector<uint8_t> rgb = picture();
    keep_picture(rgb, "standings");
    expect_labels_drawn(rgb, "standings");
    menu_open(menu_bike_setup);
    frames(1);
    choose("Bike");
    ASSERT_EQ(menus().page, menu_chooser);
    rgb = picture();
    keep_picture(rgb, "chooser");
    expect_labels_drawn(rgb, "chooser");
}
// The fonts at the sizes the HUD and the menus draw them: every line lights its own band.
TEST_F(menu_screens, TheFontsReadAtSmallAndLargeSizes) {
    for (font_id id : {font_text, font_numbers, font_numbers_condensed}) {
        ASSERT_NE(font_get(id).texture, 0u) << id;
        for (int c = '0'; c <= '9'; c++) EXPECT_TRUE(font_get(id).glyphs[c].present) << c;
    }
    const float heights[] = {10, 13, 16, 20, 28, 40};
    int w = 0, h = 0;
    ASSERT_TRUE(platform().begin_frame(&w, &h));
    glViewport(0, 0, w, h);
    glClearColor(0.1f, 0.1f, 0.15f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float white[4] = {1, 1, 1, 1};
    float top = 10;
    for (float size : heights) {
        top += size * 1.4f;
        text_draw(font_text, "Lap 2/5 Gate 17 (x)", 10, static_cast<float>(h) - top, 0, size, white,
                  text_shadowed);
        text_draw(font_numbers, "0123456789", 400, static_cast<float>(h) - top, 0, size, white, 0);
        text_draw(font_numbers_condensed, "0123456789", 620, static_cast<float>(h) - top, 0, size,
                  white, 0);
    }
    const std::vector<uint8_t> rgb = end_frame_picture(w, h);
    keep_picture(rgb, "text_sizes");
    top = 10;
    for (float size : heights) {
        top += size * 1.4f;
        const int y0 = static_cast<int>(top - size), y1 = static_cast<int>(top);
        EXPECT_GT(lit_pixels(rgb, w, 10, y0, 390, y1), static_cast<int>(size * 8)) << size;
        EXPECT_GT(lit_pixels(rgb, w, 400, y0, 610, y1), static_cast<int>(size * 5)) << size;
        EXPECT_GT(lit_pixels(rgb, w, 620, y0, 790, y1), static_cast<int>(size * 5)) << size;
    }
}
} // namespace
