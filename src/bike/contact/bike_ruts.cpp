// The wheels' pushes on the ground handed to their rut samplers after each world step.
#include "bike/sim/bike_local.h"

#include "terrain/erosion.h"

namespace {
void copy3(vec3d v, float out[3]) {
    out[0] = static_cast<float>(v.x);
    out[1] = static_cast<float>(v.y);
    out[2] = static_cast<float>(v.z);
}

// The wheel's contact of this tic as the sampler reads it; the force is the contact joint's on
// the wheel over the step just taken.
erosion_contact contact_of(const wheel_part& part, const wheel_contact& w) {
    erosion_contact c;
    c.depth = w.depth;
    if (w.depth <= 0) return c;
    copy3(w.point, c.point);
    copy3(vec_of(dBodyGetLinearVel(part.wheel)), c.velocity);
    copy3(w.velocity, c.slip);
    copy3(vec_of(w.feedback.f1), c.force);
    return c;
}
} // namespace

void bike_cut_ruts(int bike, int tic) {
    bike_state& b = bike_at(bike);
    erosion_sample(b.ride.front_ruts, contact_of(b.front_wheel, b.ride.front_contact), true, tic);
    erosion_sample(b.ride.rear_ruts, contact_of(b.rear_wheel, b.ride.rear_contact), false, tic);
}
