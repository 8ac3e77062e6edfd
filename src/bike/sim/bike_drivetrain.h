// Engine, clutch, gearbox, chain drive to the rear wheel, engine braking and the brakes.
#pragma once

struct bike_info;
struct bike_state;

// Torque from the two tables at crankshaft speed omega (rad/s) and throttle 0..1.
float engine_torque_at(const bike_info& info, float omega, float throttle);
// The engine's torque now, after the wheelie cut (lbf·ft).
float engine_torque_of(const bike_state& b);
float engine_rpm_of(const bike_state& b);
// Engine turns per rear-wheel turn in the current gear.
float overall_ratio(const bike_state& b);

// A rider's shift request -1, 0 or +1: a held request shifts once.
void shift(int bike, int request);
// Sets the gear, clamped to the box and stepped down past gears the bike does not have.
void set_gear(int bike, int g);

// One tic of the clutch and driveline spring between crank and rear wheel.
struct clutch_result {
    float engagement = 0;   // 0..1 after the automatic clutch
    float torque = 0;       // lbf·ft in the driveline spring
    float transmitted = 0;  // lbf·ft through the clutch
    float engine_angle = 0; // rad, after slipping
};
clutch_result clutch_step(const bike_state& b, double wheel_angle, double wheel_rate);

// The brake torque limits this tic, after antilock and the stoppie cut (lbf·ft).
void brake_limits(const bike_state& b, float* front, float* rear);

// Automatic shifting, torque, clutch, driveline and brakes, for the next step.
void drivetrain_apply(bike_state& b, int tic);
