// What only the bike simulation's own files share: the table of live bikes, the world's handles,
// and small vector helpers.
#pragma once

#include "bike/sim/bike_state.h"
#include "common/common.h"

#include <cmath>

// The bike behind a handle from bike_create; the handle must be live.
bike_state& bike_at(int bike);
// A handle's place in the table of bikes: a destroyed bike's handle and the handle of the bike
// made after it in the same place differ, their places do not.
int bike_handle_place(int bike);
// One past the highest place ever used.
int bike_place_limit();
// The handle of the bike in a place, -1 when the place is free.
int bike_at_place(int place);
// A new, empty bike in the lowest free place, under a handle no earlier bike there had.
int bike_slot_new();
void bike_slot_free(int bike);
const bike_resource_loader& bike_resource_loader_current();

dWorldID world_id();
// Every temporary joint (contact, rider spring, angular motor) goes here and lives one step.
dJointGroupID world_contact_group();

// The rider mount joined again with the rider where it now is relative to the frame.
void rider_mount_attach(bike_state& b);
// Cancels on the frame the net force and moment the joints applied in the last step.
void joint_force_balance(bike_state& b);

inline vec3d vec_of(const dReal* v) { return {v[0], v[1], v[2]}; }
inline vec3d vec_of(vec3 v) { return to_double(v); }

// A body's own axis (0 = x, 1 = y, 2 = z) in world coordinates.
inline vec3d body_axis(dBodyID body, int axis) {
    const dReal* r = dBodyGetRotation(body);
    return {r[axis], r[4 + axis], r[8 + axis]};
}

// True when the wheel touched the ground in this tic's contact test.
inline bool wheel_touches(const wheel_contact& c) { return c.depth > 0; }
