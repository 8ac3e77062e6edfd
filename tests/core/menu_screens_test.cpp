// Every menu page drawn in an offscreen window: each item's label is on the screen where the
// pointer finds that item, in the font of the data set. TB_MENU_PICTURES=<folder> keeps the
// pictures for a look.
#include "menu_world.h"

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
    ASSERT_EQ(program().menu_state, menu_standings);
    std::vector<uint8_t> rgb = picture();
    keep_picture(rgb, "standings");
    expect_labels_drawn(rgb, "standings");
    menu_open(menu_bike_setup);
    frames(1);
    choose("Bike");
    ASSERT_EQ(program().menu_state, menu_chooser);
    rgb = picture();
    keep_picture(rgb, "chooser");
    expect_labels_drawn(rgb, "chooser");
}
} // namespace
