// Texture binding for everything that draws: one bound texture remembered, a bind made only
// when it changes, and every change counted for the render statistics.
#pragma once

#include <cstdint>

// Binds the texture to the first unit unless it is the one bound; 0 unbinds.
void gl_bind_texture(uint32_t id);
// Forgets the remembered binding (after code that bound a texture by itself).
void gl_bind_forget();
// Texture changes since the last reset.
int gl_texture_changes();
void gl_texture_changes_reset();
