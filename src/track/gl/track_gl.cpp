// The track's lighting applied to the fixed-function pipeline, and its lens flares.
#include "track/track_gl.h"
#include "track/track_view.h"

#include "common/not_built.h"

#include <GL/gl.h>

void lighting_apply() {
    const track_lighting& l = lighting();
    // Light 0 is a directional sun; its position is taken through the current model-view.
    const float sun[4] = {l.sun_vector[0], l.sun_vector[1], l.sun_vector[2], 0};
    const float colour[4] = {l.sun_colour[0], l.sun_colour[1], l.sun_colour[2], 1};
    const float ambient[4] = {l.ambient[0], l.ambient[1], l.ambient[2], 1};
    const float global[4] = {l.global_ambient[0], l.global_ambient[1], l.global_ambient[2], 1};
    glLightfv(GL_LIGHT0, GL_POSITION, sun);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, colour);
    glLightfv(GL_LIGHT0, GL_SPECULAR, colour);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
    glEnable(GL_LIGHT0);
}

// The flare list is not read from the lighting file yet, so there is nothing to place or draw.
void flares_update(const float*, const float*) { log_not_built(__func__); }
void flares_draw() { log_not_built(__func__); }
