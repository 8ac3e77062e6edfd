// HUD pictures, menus and text. The HUD pictures are loaded; fonts, the HUD itself, the menu
// pages and text drawing are not built yet and say so in the log.
#include "ui/ui.h"

#include "common/not_built.h"
#include "resources/texture.h"

namespace {
struct ui_state {
    uint32_t tach = 0, shifter = 0, pitboard = 0, title = 0; // HUD picture textures
};
ui_state g_ui;
} // namespace

void fonts_load() { log_not_built(__func__); }
// No font is ever loaded, so there is nothing to free.
void fonts_free() {}
void hud_pictures_load() {
    g_ui.tach = texture_load("!@tach.png");
    g_ui.shifter = texture_load("!@shifter.png");
    g_ui.pitboard = texture_load("!@pitboard.png");
    g_ui.title = texture_load("!@title.png");
}

uint32_t hud_picture_title() { return g_ui.title; }
void hud_draw() { log_not_built(__func__); }
void hud_graphs_draw() { log_not_built(__func__); }
void menus_draw(int) { log_not_built(__func__); }
void draw_centered_text(const char*, float, float) { log_not_built(__func__); }
