// HUD, menu pages, text and fonts.
#pragma once

#include <cstdint>
#include <string>

void hud_pictures_load();
// The title picture behind the menus (0 when it could not be loaded).
uint32_t hud_picture_title();
void hud_draw();
void hud_graphs_draw();
// The driver's vendor, renderer and version, and whether it offers a GL extension.
std::string ui_driver_info();
bool ui_gl_extension(const char* name);
// Text centred across the screen, `below` units under the centre.
void draw_centered_text(const char* text, float height, float below);
