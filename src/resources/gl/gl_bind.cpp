// The remembered texture binding and the count of texture changes.
#include "resources/gl/gl_bind.h"

#include <GL/gl.h>

namespace {
struct bind_state {
    uint32_t bound = 0;
    bool known = false; // false until a bind of ours, or after someone else bound one
    int changes = 0;
};
bind_state g_bind;
} // namespace

void gl_bind_texture(uint32_t id) {
    if (g_bind.known && g_bind.bound == id) return;
    glBindTexture(GL_TEXTURE_2D, id);
    g_bind.bound = id;
    g_bind.known = true;
    g_bind.changes++;
}

void gl_bind_forget() { g_bind.known = false; }
int gl_texture_changes() { return g_bind.changes; }
void gl_texture_changes_reset() { g_bind.changes = 0; }
