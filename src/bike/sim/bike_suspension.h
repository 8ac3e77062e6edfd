// The fork and rear shock: spring, preload, air spring, two-stage damping and the rear linkage.
#pragma once

struct bike_state;

// The damping force of a two-stage damper at velocity v (> 0 extending): the high-speed
// coefficient is linear, the low-speed adjuster adds or removes a constant force, and the total
// stays within 1/8 to 8 times the linear force.
float two_stage_damping(float v, float hs_compression, float ls_compression, float hs_rebound,
                        float ls_rebound);

// Shock compression and its leverage at a swingarm travel fraction.
struct linkage_point {
    float compression = 0; // ft of shock compression
    float leverage = 0;    // ft of shock per unit of travel fraction
};
linkage_point linkage(const bike_state& b, float q);

// The fork's force (lbf, > 0 opening) at slider position p (ft, <= 0) and rate p_rate (ft/s).
float fork_force(const bike_state& b, float p, float p_rate);
// The shock's torque on the swingarm (lbf·ft, > 0 extending) at hinge angle and rate.
float shock_torque(const bike_state& b, float angle, float angle_rate);

// Fork force and shock torque to the two joints' motors for the next step.
void suspension_apply(bike_state& b);
