// What other subsystems read of a bike: speed, lean, frame position and velocity, rider status.
#include "bike/bike_local.h"
#include "bike/bike_sim.h"
#include "common/ripemd160.h"

#include <algorithm>
#include <cmath>

float bike_speed_mph(int bike) {
    dBodyID frame = bike_at(bike).bodies[body_frame];
    return static_cast<float>(-dot(vec_of(dBodyGetLinearVel(frame)), body_axis(frame, 2)) *
                              0.681818);
}

float bike_lean_angle(int bike) {
    dBodyID frame = bike_at(bike).bodies[body_frame];
    bike_vec3d up = body_axis(frame, 1);
    bike_vec3d forward = body_axis(frame, 2) * -1.0;
    double flat = std::sqrt(forward.x * forward.x + forward.z * forward.z);
    // Pointing straight up or down there is no horizontal right-hand direction to lean from.
    if (flat <= 0) return 0;
    bike_vec3d right = {-forward.z / flat, 0, forward.x / flat};
    return static_cast<float>(std::acos(std::clamp(dot(right, up), -1.0, 1.0)) - k_bike_pi / 2);
}

bike_vec3d bike_frame_position(int bike) {
    return vec_of(dBodyGetPosition(bike_at(bike).bodies[body_frame]));
}

bike_vec3d bike_frame_velocity(int bike) {
    return vec_of(dBodyGetLinearVel(bike_at(bike).bodies[body_frame]));
}

bool knocked_off(int bike) { return bike_at(bike).knockout_tics > 0; }
int crash_count(int bike) { return bike_at(bike).crash_count; }
int bike_rider_down(int bike) { return bike_at(bike).rider_down; }

void bike_digest_update(ripemd160_state& digest, int bike) {
    for (dBodyID body : bike_at(bike).bodies) {
        ripemd160_update(digest, dBodyGetPosition(body), 3 * sizeof(dReal));
        ripemd160_update(digest, dBodyGetRotation(body), 12 * sizeof(dReal));
        ripemd160_update(digest, dBodyGetLinearVel(body), 3 * sizeof(dReal));
        ripemd160_update(digest, dBodyGetAngularVel(body), 3 * sizeof(dReal));
    }
}
