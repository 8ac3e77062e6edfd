// The track's lighting state: the defaults every track load starts from and the sky pictures.
#include "track/track_local.h"
#include "track/track_view.h"

#include "common/not_built.h"
#include "resources/texture.h"

namespace {
struct lighting_state {
    track_lighting current;
};
lighting_state g_lighting;
} // namespace

const track_lighting& lighting() { return g_lighting.current; }

void lighting_reset() {
    track_lighting fresh;
    for (int k = 0; k < 3; k++) fresh.fog_colour[k] = g_lighting.current.fog_colour[k];
    g_lighting.current = fresh;
}

void lighting_load(const char*) {
    lighting_reset();
    log_not_built("lighting_read");
    track_lighting& l = g_lighting.current;
    for (int face = 0; face < k_sky_faces; face++)
        if (!l.sky[face]) l.sky[face] = texture_load(l.sky_names[face].c_str());
    if (!l.environment) l.environment = texture_load(l.environment_name.c_str());
}
