// The record a drawn frame is made from, built once by the frame loop before anything is drawn:
// the world as the view's camera sees it and what the HUD shows; and what the engines sound like.
#pragma once

#include "core/program.h"
#include "render/render.h"
#include "sound/sound.h"
#include "ui/ui.h"

struct frame_record {
    view_mode view = title_view;
    bool world = false; // the view draws the world (a rider, orbit or trackside camera)
    render_frame scene;
    hud_frame hud;
};

// The frame of the program's view as it stands now.
frame_record frame_record_build();
// The world as a camera sees it: every slot's bike with how it is drawn and how opaque, and the
// player's drawing settings.
render_frame world_frame(const scene_camera& camera);
// The updates of what is drawn that follow the camera and the clock (flaggers, animations, roost
// cards, statues turned to the camera), made before the world is drawn.
void world_prepare(const render_frame& frame);
// The engines as they are heard now: from the camera the view is drawn from, each slot at the
// volume the program's state gives it (muted in the editor and while paused, quieter behind the
// menus).
sound_frame sound_frame_build();

// Opacity of a recorded rider at `distance` ft from the local rider: they fade within the fade
// distance and vanish within half of it.
float ghost_opacity(float distance, float fade_distance);
