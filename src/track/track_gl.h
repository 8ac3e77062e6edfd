// The track's lights and lens flares on an OpenGL card (library tb_track_gl).
#pragma once

// Light 0 from the sun and the global ambient from the lighting.
void lighting_apply();
// The flares' screen places and visibility for the camera, and their drawing.
void flares_update(const float eye[3], const float rotation[9], float tx, float ty);
void flares_draw();
