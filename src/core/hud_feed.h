// What the frame loop hands the HUD each frame.
#pragma once

#include "ui/ui.h"

hud_frame hud_frame_now();
