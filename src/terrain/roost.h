// Roost: the dirt a wheel throws. Wheels in contact emit particles by the roost types of the
// surface under them; the particles fly with drag, grow, fade and go when they fall below the
// ground. Each particle's card is what the track's reserved billboard of the same index shows.
#pragma once

#include "common/common.h"

#include <cstdint>

struct roost_type;

constexpr int k_roost_particles = 2000;
constexpr float k_roost_front_cap = k_pi_f / 8; // rad, the widest fan of a front wheel
constexpr float k_roost_rear_cap = 2 * k_pi_f;  // rad, a rear wheel's

// One wheel as the emitter sees it in a tic: its contact with the ground and its body's motion.
struct roost_wheel {
    bool touching = false;        // the contact below is real
    float point[3] = {};          // ft, contact point
    float normal[3] = {0, 1, 0};  // unit, out of the ground
    float point_velocity[3] = {}; // ft/s, the wheel body's velocity at the contact point
    float centre[3] = {};         // ft, the wheel body's position
    float velocity[3] = {};       // ft/s, the wheel body's linear velocity
    float spin[3] = {};           // rad/s, its angular velocity
    float axle[3] = {1, 0, 0};    // unit, the wheel's own x axis in the world
};

// How a particle looks: the card the renderer draws for it (texture 0: hidden).
struct roost_card {
    float x = 0, y = 0, z = 0; // ft, foot point
    float size = 1;            // ft
    uint32_t texture = 0;
    uint8_t colour[4] = {255, 255, 255, 255};
};

// Hundredths of a particle batch per tic, 0 to 1000 (`roost_frequency`).
void roost_set_frequency(int hundredths);
int roost_frequency();
// Every particle free and its card hidden (every race reset).
void roost_reset();
// One bike's emission for the tic: a batch size drawn from the shared generator, then the front
// wheel with its narrow fan and the rear wheel with its wide one.
void roost_emit_bike(const roost_wheel& front, const roost_wheel& rear, int tic);
// One wheel's particles for a batch of `batch` and a fan no wider than `cap`.
void roost_emit_wheel(const roost_wheel& wheel, int batch, float cap, int tic);
// A particle of the roost type from the first free one; false when every particle flies.
bool roost_spawn(const float position[3], const float velocity[3], const roost_type& type);
// One tic of flight for every particle in the air.
void roost_update();
int roost_active_count();
const roost_card& roost_card_at(int particle);
// Where a particle is and how fast it goes (ft, ft/s); for tests.
void roost_particle_motion(int particle, float position[3], float velocity[3]);
