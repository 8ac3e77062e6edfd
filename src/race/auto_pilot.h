// The auto pilot of robot riders: picking lines as the path runs short, following the path with
// the control law, and the statistics of the lines a robot rode.
#pragma once

#include "race/robot_lines.h"

#include <vector>

// Every robot back to an empty path (a new race); the robot slots get their personalities.
void auto_pilot_reset();
// A robot placed in a slot with a personality index.
void auto_pilot_start(int slot, int personality);
int auto_pilot_personality(int slot);
// Every robot of a race rides as "tester" ("--practice").
void auto_pilot_set_practice(bool on);
bool auto_pilot_practice();

// This tic's controls of the robot in `slot`, written to the slot's input.
void auto_pilot_tic(int slot, int bike);
// Whether the robot, wedged among other bikes for long, is riding through them for now.
bool auto_pilot_untangling(int slot);
// How far a finished robot has gone in leaving the track, 0 to 1 (gone); -1 while it rides.
float auto_pilot_leaving(int slot);
// A robot's crossing (at `crossing`, made with the detection's offset): the line just completed
// gets a use, or the current line a failure.
void auto_pilot_crossing(int slot, int bike, int crossing, int offset);

// What the pick of the next line saw, for tests and the verbose log.
struct line_pick {
    int segment = -1;
    int line = -1; // slot picked, -1 when the segment has no line
    int mode = 0;
    double score[k_lines_per_segment] = {}; // time score, after the best-line and start rules
    double match[k_lines_per_segment] = {};
    double total[k_lines_per_segment] = {};
};
// Picks the robot's next line now and appends it to its path.
line_pick auto_pilot_pick(int slot, int bike);
// The robot's path and the index of the point it heads for.
const std::vector<line_point>& auto_pilot_path(int slot);
int auto_pilot_next_point(int slot);
// The segment the robot's next line starts in, -1 before its first pick.
int auto_pilot_next_segment(int slot);
// The serial of the line the robot picked for a segment, 0 when none is remembered.
int32_t auto_pilot_picked_serial(int slot, int segment);
