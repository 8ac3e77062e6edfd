// HUD, menu pages, text and fonts.
#pragma once

#include <cstdint>

void fonts_load();
void fonts_free();
void hud_pictures_load();
// The title picture behind the menus (0 when it could not be loaded).
uint32_t hud_picture_title();
void hud_draw();
void hud_graphs_draw();
void menus_draw(int menu_state);
// Text centred across the screen, `below` units under the centre.
void draw_centered_text(const char* text, float height, float below);
