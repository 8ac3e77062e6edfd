// The start of a race: the robots' shuffled order, the gate drop time and the grid.
#pragma once

constexpr int k_robot_count = 80;

// Reseeds the shared generator with the clock at the reset and shuffles the robots 0..79.
void robot_order_shuffle(int race_clock_at_reset, int order[k_robot_count]);
// 13 to 15 s after the reset, in tics, drawn right after the shuffle.
int gate_drop_draw();
// Where grid place i starts and which way it faces, behind the track's start slots
// (or in a line across the middle of the field when the track has none).
void grid_position(int place, float terrain_extent, float* x, float* z, float* heading);
