// Scene rendering and the GL features the renderer uses.
#pragma once

// Logs the GL strings and sets the fixed GL state; false without a GL context.
bool gl_features_init(bool flat_shading);
bool gl_ready();
void render_set_viewport(int width, int height, float fov_degrees);
void render_clear();
void render_rider_camera(int slot);
void render_orbit_camera(int slot);
void render_trackside_camera(int slot);
void render_title_view();
void render_loading_progress(const char* text);
// Reads the viewport as RGB rows, bottom row first (the frame buffer's order).
bool render_read_pixels(int width, int height, unsigned char* rgb);
void gl_finish();
