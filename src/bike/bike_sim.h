// The rigid-body world all bikes share, and each bike's lifecycle, placement and per-tic work.
#pragma once

#include "bike/bike_resources.h"
#include "bike/bike_state.h"

// The world of one process: gravity, the contact group, and the clock of the tic being prepared.
void world_create();
// Destroys every bike, then the world.
void world_destroy();
// One tic of 1/128 s for every body, then the contact group is emptied; advances the clock.
void world_step();
bool world_exists();
dWorldID world_id();
// Every temporary joint (contact, rider spring, angular motor) goes here and lives one step.
dJointGroupID world_contact_group();
// The race clock in tics; the race may set it, every world step advances it by one.
int world_clock();
void world_set_clock(int tic);

// Where bike_create loads models and textures from; the null loader until set.
void bike_set_resource_loader(const bike_resource_loader* loader);

// A new bike with its bodies and joints, models, plate and creation defaults, reset. A name not
// in the catalogue falls back as the catalogue says. Returns the bike's handle.
int bike_create(const char* name, int slot_value, const char* number, const char* bike_texture,
                const char* wheel_texture, const char* rider_texture, const char* head_texture);
void bike_destroy(int bike);
void bike_reset(int bike);
// Turns every body by `angle` about `axis` about the world origin (right after bike_reset).
void bike_place(int bike, bike_vec3d axis, double angle);
void bike_translate(int bike, bike_vec3d d);
// New setup parameters, with the rider's mass moved between the frame and rider bodies.
void bike_set_params(int bike, const bike_params& params);
// The rider mount joined again with the rider where it now is relative to the frame.
void rider_mount_attach(bike_state& b);

float bike_speed_mph(int bike);
struct ripemd160_state;
// Adds every body's position, rotation and velocities to a digest: equal digests, equal motion.
void bike_digest_update(ripemd160_state& digest, int bike);
// Roll angle of the frame: 0 upright, negative leaning right.
float bike_lean_angle(int bike);
bike_vec3d bike_frame_position(int bike);
bike_vec3d bike_frame_velocity(int bike);
bool knocked_off(int bike);
int crash_count(int bike);
int bike_rider_down(int bike);

// This bike's controls, forces and temporary joints for the next step.
void bike_prepare(int bike);
// Cancels on the frame the net force and moment the joints applied in the last step.
void joint_force_balance(bike_state& b);
