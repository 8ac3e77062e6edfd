// What the benchmarks ask of race control beyond race.h: a mark at each phase of the race tic, so
// a benchmark can time the phases of the very race it runs. Only bench/ includes this.
#pragma once

// The phases of the race tic in the order they run. The per-slot work is marked again after each
// robot's auto pilot, which runs inside it.
enum race_tic_phase {
    race_phase_script,   // the track script's tic handler
    race_phase_contacts, // remote riders' states, ground, statues, bike against bike
    race_phase_roost,    // roost emission
    race_phase_step,     // the world step
    race_phase_ruts,     // ruts cut and the erosion queue drained
    race_phase_slots,    // per slot: inputs, preparation, gate crossings
    race_phase_pilot,    // one robot's auto pilot
    race_phase_end,      // particles, the start gate, the clock, demos, the time trial
    race_phase_count
};

// Called at the start of every phase; nullptr for none. The hook must leave the race alone.
void race_set_phase_hook(void (*hook)(race_tic_phase));
