// Wheel, ground, statue and bike-to-bike contacts: temporary joints made before each step.
#pragma once

// Both tyre contacts, the other parts' ground contacts, then the statues; true when anything
// touched the ground.
bool bike_collide_world(int bike);
// Contacts between two bikes; in passive mode forces instead of joints. True when they touched.
bool bike_collide_bike(int a, int b, bool passive);
// Hands the bike to the roost emitter; `simulated` when its contacts are already known.
void bike_emit_roost(int bike, bool simulated);
