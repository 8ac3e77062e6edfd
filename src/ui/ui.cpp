// HUD, menus and text; filled in with fonts and the HUD.
#include "ui/ui.h"

#include "resources/texture.h"

namespace {
struct ui_state {
    uint32_t tach = 0, shifter = 0, pitboard = 0, title = 0; // HUD picture textures
};
ui_state g_ui;
} // namespace

void fonts_load() {}
void fonts_free() {}
void hud_pictures_load() {
    g_ui.tach = texture_load("!@tach.png");
    g_ui.shifter = texture_load("!@shifter.png");
    g_ui.pitboard = texture_load("!@pitboard.png");
    g_ui.title = texture_load("!@title.png");
}

uint32_t hud_picture_title() { return g_ui.title; }
void hud_draw() {}
void hud_graphs_draw() {}
void menus_draw(int) {}
void draw_centered_text(const char*, float, float) {}
