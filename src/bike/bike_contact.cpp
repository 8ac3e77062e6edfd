// Contact generation for a bike: until the ground is joined to the bikes nothing touches.
#include "bike/bike_contact.h"

#include "bike/bike_local.h"

bool bike_collide_world(int bike) {
    bike_state& b = bike_at(bike);
    b.front_contact.depth = 0;
    b.rear_contact.depth = 0;
    return false;
}

bool bike_collide_bike(int, int, bool) { return false; }

void bike_emit_roost(int, bool) {}
