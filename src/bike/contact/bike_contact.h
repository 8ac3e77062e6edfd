// Wheel, ground, statue and bike-to-bike contacts: temporary joints made before each step.
#pragma once

#include "bike/sim/bike_local.h"

#include <vector>

// The first friction value of the surface at (x, z), 1 without a ground.
float contact_first_friction(float x, float z);

// A knocked-off rider's spheres against the frame's and upper fork's of the same bike.
void rider_against_own_bike(bike_state& b);
// The bike's shaped bodies against the statues near its frame (the last part of
// bike_collide_world).
void statue_contacts(bike_state& b, int tic);
// Drops the buffers the contact phase keeps between tics.
void contact_scratch_free();
// The ground tests' share of them, dropped by contact_scratch_free.
void ground_scratch_free();

// Where something presses into the ground: the deepest point, the normal out of the ground and
// how deep (ft).
struct ground_hit {
    vec3d point;
    vec3d normal;
    double depth = 0;
};
// The tyre (a torus around the axle) against the ground under it; false when not touching.
// `last` is the wheel's contact of the previous test.
bool wheel_ground_test(const wheel_part& wheel, const wheel_contact& last, ground_hit* out);
// A sphere against the ground under it; false when not touching.
bool sphere_ground_test(vec3d centre, double radius, ground_hit* out);

// Soft-contact settings of a spring of stiffness k (lbf/ft) and damping c (lbf·s/ft) over a tic.
double soft_erp(double k, double c);
double soft_cfm(double k, double c);
// Tyre stiffness and damping for a tyre sunk by `depth` of its section `tyre_radius`.
void tyre_softness(double depth, double tyre_radius, double* k, double* c);
// A contact joint for this step between body1 and body2 (null = the world), with the normal
// pointing towards body1; the friction direction is used when non-zero. Returns the joint.
dJointID contact_joint_make(dBodyID body1, dBodyID body2, vec3d point, vec3d normal, double depth,
                            double mu, double k, double c, vec3d fdir1);

// A statue as the contacts see it: where it stands, how it is turned, its shape, and the last
// tic anything touched it.
struct contact_statue {
    vec3d position;                                             // ft
    double rotation[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}; // ODE row-major 3x4
    const shape* statue_shape = nullptr;
    int touched_tic = -1;
};
constexpr int k_statue_buckets = 8;
// The bucket index of a coordinate for a terrain of extent S (ft).
int statue_bucket_index(double x, double extent);
// Sorts the statues into the 8 × 8 buckets over a terrain of the given extent; the list is kept
// by the contacts until rebuilt or cleared.
void statue_buckets_build(const std::vector<contact_statue>& statues, double extent);
void statue_buckets_clear();
// Statue indices, sorted and without duplicates, of the buckets covering the square.
std::vector<int> statues_near(double x0, double z0, double x1, double z1);
const contact_statue& statue_at(int index);

// Two spheres (centres in world coordinates): the contact between them. `joined` is false when
// they overlap too exactly to give a direction. Returns false when apart.
struct sphere_pair_hit {
    vec3d point;
    vec3d normal; // from the first centre to the second
    double depth = 0;
    double mu = 0, k = 0, c = 0;
    bool joined = false;
};
bool sphere_pair_test(vec3d c1, const shape_sphere& s1, vec3d c2, const shape_sphere& s2,
                      sphere_pair_hit* out);
