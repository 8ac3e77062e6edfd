// The frame loop over the null platform for tests: a fresh start, and riding the local bike.
#pragma once

#include "core/core_local.h"
#include "core/config.h"
#include "core/menu_local.h"
#include "core/program.h"

#include "bike/bike.h"
#include "platform/devices.h"
#include "platform/event_queue.h"
#include "race/race.h"
#include "track/track.h"

// Program, settings, bindings, devices and slots back to start-up, with a null window open.
inline void frame_loop_fresh_start() {
    platform_use(k_platform_null);
    null_platform_reset();
    devices_shutdown();
    event_queue_clear();
    program_reset();
    config_reset();
    bindings_reset();
    bindings_resolve();
    race_clear_slots();
    track_set_current(nullptr);
    rider_input_set(0, rider_input{});
    platform().create_window("test", 640, 480, 0, 16);
}

// A track is loaded and the local rider in slot 0 is viewed, with no menu open.
inline void ride_local_rider() {
    track_set_current("practice");
    race_slot_set(0, rider_local, 0);
    program_edit().viewed_slot = 0;
    menus().page = menu_none;
    fix_view_mode();
}
