// What the benchmarks ask of the bike simulation beyond bike.h: the bare rigid-body floor of a
// tic and a census of what the next world step solves. Only bench/ includes this.
#pragma once

// The temporary joints of a bare tic for one bike on level ground at y = 0: a contact under each
// tyre, the rider's two springs and an angular motor holding the frame upright; none of the
// control laws runs. Made before each world_step, as a riding tic makes its own.
void bike_floor_joints(int bike);

// What the next world_step solves, over every bike's bodies: the joints by kind and the islands
// of bodies joined by them (each island is one constraint problem).
struct world_census {
    int bodies = 0;          // enabled
    int bike_joints = 0;     // the bikes' own hinges, sliders and mounts
    int tyre_contacts = 0;   // a wheel against the world
    int ground_contacts = 0; // any other body against the world (ground and statues)
    int own_contacts = 0;    // two bodies of one bike (rider springs, tethers)
    int bike_contacts = 0;   // bodies of two bikes
    int motors = 0;          // angular motors
    int islands = 0;
    int largest_island = 0; // bodies
};
world_census world_census_take();
