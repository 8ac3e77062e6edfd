// The HUD's telemetry of the followed rider: the suspension graph's six rings and the overlay's
// traces, taken once per world tic. No drawing here.
#pragma once

constexpr int k_suspension_ring = 1024; // tics in the suspension graph

enum suspension_ring {
    ring_fork_position,
    ring_fork_speed,
    ring_fork_regime, // 0 high-speed damping, 1 low-speed
    ring_swingarm_position,
    ring_shock_speed,
    ring_shock_regime,
    k_suspension_rings
};

struct suspension_rings {
    float values[k_suspension_rings][k_suspension_ring] = {};
    int index = 0; // the next tic written
};
const suspension_rings& hud_suspension_rings();

constexpr int k_trace_seconds = 8;
constexpr int k_trace_samples = 1024; // tics, 8 s

enum telemetry_trace {
    trace_speed,       // mph
    trace_throttle,    // 0..1
    trace_front_brake, // 0..1
    trace_rear_brake,  // 0..1
    trace_gear,        // gear index
    trace_fork,        // travel used, 0..1
    trace_shock,       // travel used, 0..1
    k_telemetry_traces
};

struct telemetry_traces {
    float values[k_telemetry_traces][k_trace_samples] = {};
    int next = 0;             // the next sample written
    int count = 0;            // samples held
    int slot = -1;            // the rider they were taken from
    bool brakes_known = true; // false for a recorded or remote rider, whose levers are not sent
};
const telemetry_traces& hud_telemetry_traces();
// The trace value `age` tics back (0 the newest); 0 beyond what is held.
float telemetry_sample(const telemetry_traces& t, int trace, int age);
void hud_telemetry_reset();
