// HUD, menus and text; filled in with fonts and the HUD.
#include "ui/ui.h"

void fonts_load() {}
void fonts_free() {}
void hud_pictures_load() {}
void hud_draw() {}
void hud_graphs_draw() {}
void menus_draw(int) {}
void draw_centered_text(const char*, float, float) {}
