// The scripted rider: rides the lap through the track's timing gates in order, steering for the
// next gate's centre and holding a speed with throttle, brakes and gears. It rides either mode: in
// arcade mode the bike leans as far as the steer command asks; in simulation mode it leans only by
// counter-steering, so the rider asks for a roll rate instead. Tests ride with it, and the
// generator rides it through the line learning to give the robots their first lines.
#pragma once

#include "bike/bike.h"

// One rider's progress round the lap and its speed choices.
struct gate_follower {
    int position = 0;            // timing position of the gate ridden for
    int reached = 0;             // gates reached in order since the reset
    float cruise_speed = 30;     // ft/s on open, level track
    float turn_speed = 16;       // ft/s where the lap bends hard at the gate
    float rough_speed = 12;      // ft/s where the ground ahead kicks up (a jump's lip, whoops)
    float least_speed = 8;       // ft/s, never slower than this on purpose
    float max_lean = 0.5f;       // rad asked for at most, against the ground
    float aim_beyond = 6;        // ft past the gate's centre along its direction, so the bike
                                 // crosses the line heading along the lap
    float aim_aside = 0;         // ft to the right of the gate's centre: the lane ridden
    float look_ahead = 24;       // ft of ground ahead read for lips and faces
    float carrot_distance = 20;  // ft ahead of the bike on the gates' line, steered for
    float carrot_time = 1.5f;    // s: at speed the carrot is this far ahead, so a bike that takes
                                 // a moment to lean does not snake from gate to gate
    float lean_gain = 4;         // 1/s of roll rate asked for per rad of lean still missing
    float most_roll_rate = 1.5f; // rad/s asked for at most
    float roll_rate_gain = 4;    // steer command per rad/s of roll rate off, with direct steering
    int shift_wait = 0;          // tics before the next shift request
    float target_speed = 0;      // ft/s, this tic's choice (for tests to read)
};

// Starts the follower at a timing position (0: the first gate after the start).
void gate_follower_reset(gate_follower& f, int position = 0);
// Behind the start gate before it drops: the clutch in and a foot down, so the bike stands
// upright whether or not its setup puts the foot down by itself.
rider_input gate_follower_wait();
// The gate the follower rides for now, or -1 when the track has no timing.
int gate_follower_gate(const gate_follower& f);
// This tic's controls for the bike; moves on to the next gate once the front wheel stands in
// the current gate's half-disc.
rider_input gate_follower_input(gate_follower& f, int bike);
