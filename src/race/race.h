// Race control: the rider slots, the lineup, starting a race and the world tic.
#pragma once

#include "common/common.h"

#include <string>

enum rider_kind { rider_local = 0, rider_remote = 1, rider_robot = 2 };

// One of the 160 rider places of a race.
struct rider_slot {
    int bike = -1; // bike handle, -1 when the slot is empty
    rider_kind kind = rider_remote;
    int robot = -1; // index into the robot list for a robot
    char name[64] = {};
    char number[4] = {};
    char bike_name[32] = {}; // catalogue name of the slot's bike
};

constexpr int k_lineup_size = k_max_riders;

// What a lineup entry puts in its slot; codes from 1000 on name a robot by number.
enum lineup_code {
    lineup_demo = 0,
    lineup_local = 1,
    lineup_robot = 2,
    lineup_robot_125 = 3,
    lineup_robot_250 = 4,
    lineup_network = 5,
    lineup_robot_number = 1000,
};

rider_slot& race_slot(int slot);
// Frees every slot's bike and empties all slots (no bike, kind remote) and the lineup.
void race_clear_slots();
// Frees every bike and returns the whole race (slots, rules, clock, timing) to its start-up state.
void race_shutdown();
int* race_lineup(); // k_lineup_size lineup codes

struct race_start_params {
    std::string track; // folder of the track to race on; "" keeps the loaded one
    bool playback = false;
    int record_mode = 0;
    int time_limit_tics = 0; // 0: no limit
    int laps = 1000;
    int skill = 0;
    bool online = false;
    bool time_trial = false; // one local rider placed just before the end of the first lap
    bool back_up_aborts_attempt = true; // time trial: backing up restarts the attempt
};
// Resets for a new race on the params' track and builds the grid from the lineup; false when the
// track cannot be loaded.
bool race_start(const race_start_params& params);
// What the race running now was started with.
const race_start_params& race_params();
// One tic of the race world; advances the race clock.
void race_world_tic();
int race_clock();         // tics since the race reset
int race_gate_drop_tic(); // the tic the start gate drops
// The gate drop as a server or a demo gives it, in place of the drawn one.
void race_set_gate_drop_tic(int tic);
// Set once every rider has finished and the results are final (and written when won).
bool race_results_done();
// Where "@results.txt" takes its date from (seconds since 1970); the system clock by default.
void race_set_calendar(long (*now)());

// Line learning ("--learn"): the local rider's laps add robot lines, and the lines of the track
// are written back at the next reset and at shut-down.
void race_set_robot_learning(bool on);
// Every robot rides as the tester, trying the least-tested lines ("--practice").
void race_set_robot_practice(bool on);

// Where the bike of grid place `place` stands: on the ground, raised until it touches nothing.
void race_place_on_grid(int bike, int place);
// Puts a bike standing at (x, z) facing heading h (towards (-sin h, -cos h)), raised in
// quarter-foot steps until it touches neither the ground nor any bike in `others`.
void race_place_bike(int bike, float x, float z, float heading, const int* others, int other_count);

// The start gate's pieces: how far each is raised (1 up, 0 down), and a bike holding one up.
float race_gate_piece_raised(int piece);
void race_gate_piece_touched(int piece, int tic);
// Online: tics the local rider is still held for leaving before the drop.
int race_false_start_hold();

// Whether the rider took too long over the segment ending at crossing k, against the fastest
// rider ahead who rode it (10 s plus half as much again by default).
bool race_off_course(int slot, int k);
// Off course on any of the rider's last segments.
bool race_off_course_lately(int slot);
// Online: whether the local rider collides with a remote one, given when it was last heard from.
bool race_collides_online(int local_slot, int remote_slot, int last_received_tic);
// "off_course_bias %f", "off_course_scale %f" and "knockout" with up to 16 tic counts; false
// when the text is none of these.
bool race_server_command(const char* text);
const int* race_knockout_table();

// Time trial: the last lap's and the best lap's tics (0 before any).
int time_trial_last_lap_tics();
int time_trial_best_lap_tics();
