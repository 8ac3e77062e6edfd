// Bikes and riders: the controls a rider gives each tic, and the bike's lifecycle.
#pragma once

// One rider's controls for one tic.
struct rider_input {
    float throttle = 0;    // 0..1
    float clutch = 1;      // 0..1, 1 = lever released
    float front_brake = 0; // 0..1
    float rear_brake = 0;  // 0..1
    float steer = 0;       // -1..1
    float sit = 0;         // 0..1
    float back_up = 0;     // 0..1
    float lean = 0;        // -1..1, +1 forward
    int shift = 0;         // -1, 0 or +1 request
};

// The controls of a rider slot's bike; every write goes through rider_input_set to clamp.
rider_input& rider_input_of(int slot);
void rider_input_set(int slot, const rider_input& input);

// Selects the default bike and applies the setup's stability preset.
void bike_select_default();
// The setup's "reverse_steering" and "sticky_dab" choices.
bool setup_reverse_steering();
bool setup_sticky_dab();
// Frees every bike table at shut-down.
void bike_tables_free();
