// Puts the frame loop in riding: a track is loaded and the local rider in slot 0 is viewed, with
// no menu open.
#pragma once

#include "core/program.h"

#include "race/race.h"
#include "track/track.h"

inline void ride_local_rider() {
    track_set_current("practice");
    race_slot(0).kind = rider_local;
    race_slot(0).bike = 0;
    program().viewed_slot = 0;
    program().menu_state = menu_none;
    fix_view_mode();
}
