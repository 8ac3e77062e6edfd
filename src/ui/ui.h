// HUD, menu pages, text and fonts.
#pragma once

void fonts_load();
void fonts_free();
void hud_pictures_load();
void hud_draw();
void hud_graphs_draw();
void menus_draw(int menu_state);
// Text centred across the screen, `below` units under the centre.
void draw_centered_text(const char* text, float height, float below);
