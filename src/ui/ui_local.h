// What the ui folder's own files share.
#pragma once

#include <cstdint>

// The HUD pictures the HUD draws with (0 for one that could not be loaded).
void hud_set_pictures(uint32_t tach, uint32_t shifter, uint32_t pitboard);

#include <string>

// Orthographic drawing over the frame, x from left to right and y from bottom to top across the
// window, blended, without depth, lighting or culling; the end restores what was there.
void ui_overlay_begin(int width, int height, float left, float right, float bottom, float top);
void ui_overlay_end();
// A filled rectangle at depth z in the overlay's units.
void ui_quad(float x0, float y0, float x1, float y1, float z, const float colour[4]);
