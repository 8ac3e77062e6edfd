// Race control: the rider slots, the lineup, starting a race and the world tic.
#pragma once

#include "common/common.h"

#include <string>

enum rider_kind { rider_local = 0, rider_remote = 1, rider_robot = 2 };

// The bike descriptor's fields after the bike name: rider body, bike, wheel and helmet graphics.
enum descriptor_field {
    descriptor_body,
    descriptor_bike,
    descriptor_wheels,
    descriptor_head,
    k_descriptor_fields
};
constexpr int k_descriptor_field_size = 64;

// One of the 160 rider places of a race.
struct rider_slot {
    int bike = -1; // bike handle, -1 when the slot is empty
    rider_kind kind = rider_remote;
    int robot = -1; // index into the robot list for a robot
    char name[64] = {};
    char number[4] = {};
    char bike_name[32] = {}; // catalogue name of the slot's bike
    char descriptor[k_descriptor_fields][k_descriptor_field_size] = {};
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

const rider_slot& race_slot(int slot);
// How much of a rider is seen and heard: below 1 while a finished robot leaves the track, 0
// once it is gone.
float race_slot_opacity(int slot);
// The first slot of a local rider with a bike, -1 when there is none.
int race_local_slot();
// Puts a bike made elsewhere (-1 for none) into a slot as a rider of the kind, keeping the
// slot's name and number: scenes built without a race start (tools, tests).
void race_slot_set(int slot, rider_kind kind, int bike);
// A rider the race server times without simulating it: kind remote, its name, number and the
// catalogue name of its bike, and no bike.
void race_slot_fill(int slot, const char* name, const char* number, const char* bike_name);
// A rider described from elsewhere (a demo, a race server) in a slot: its name, number and
// descriptor fields, kind remote, its history cleared and its bike built from them. Returns the
// bike.
int race_remote_rider_create(int slot, const std::string& bike, const std::string& name,
                             const std::string& number,
                             const std::string (&fields)[k_descriptor_fields]);
// Frees every slot's bike and empties all slots (no bike, kind remote) and the lineup.
void race_clear_slots();
// Frees every bike and returns the whole race (slots, rules, clock, timing) to its start-up state.
void race_shutdown();
const int* race_lineup(); // k_lineup_size lineup codes
// Puts the `count` codes first in the lineup and empties the rest; the next race starts from it.
void race_lineup_set(const int* codes, int count);

struct race_start_params {
    std::string track; // folder of the track to race on; "" keeps the loaded one
    bool playback = false;
    int record_mode = 0;
    int time_limit_tics = 0; // 0: no limit
    int laps = 1000;
    int skill = 0;
    bool online = false;
    bool watching = false;   // online: the local rider only watches (warm-up); it rides unseen by
                             // the others, collides with none of them and is not timed
    bool time_trial = false; // one local rider placed just before the end of the first lap
    bool back_up_aborts_attempt = true; // time trial: backing up restarts the attempt
    int demo_backups = 0;               // earlier recordings kept when recording starts
};
// Resets for a new race on the params' track and builds the grid from the lineup; false when the
// track cannot be loaded.
bool race_start(const race_start_params& params);
// Puts the `count` codes first in the lineup, the rest empty, and starts the race.
bool race_start_lineup(const race_start_params& params, const int* codes, int count);
// What the race running now was started with.
const race_start_params& race_params();
// One tic of the race world; advances the race clock.
void race_world_tic();
int race_clock(); // tics since the race reset
// Moves the race clock (a demo jumping to its first recorded tic, or seeking).
void race_set_clock(int tic);
// Takes back every crossing made after `tic` and reopens the results (a demo seeking back).
void race_rewind_timing(int tic);
int race_gate_drop_tic(); // the tic the start gate drops
// The gate drop as a server or a demo gives it, in place of the drawn one.
void race_set_gate_drop_tic(int tic);
// Set once every rider has finished and the results are final (and written when won).
bool race_results_done();
// Online: something came from the rider in this slot now; a remote rider holds the race open
// only while it is heard from within a second.
void race_rider_heard(int slot);
constexpr int k_max_crossings = 1 << 16; // crossings one rider may make in a race
// A crossing another rider made, as a race server reports it: sets its tic and the rider's
// timing position to crossing + 1, then updates the running order and checks the end of the race.
void race_set_crossing(int slot, int crossing, int tic);
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

// What the track's flaggers see of the race this frame.
struct flagger_race_view;
flagger_race_view race_flagger_view();
// Hands the track's statues to the bike contacts again, as they stand now (after the editor or a
// script moved one); every race reset does it.
void race_statues_refresh();
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

// What race control asks of demo recording and playback. The demo subsystem registers it; a race
// without it records and plays nothing.
struct race_demo_hooks {
    // At the reset, before the bikes go: closes the recording and the playback.
    void (*reset)();
    // A race that plays a demo opens it here; the demo may replace the params' track and length
    // and the gate drop with its own.
    void (*open)(race_start_params& params, int* gate_drop_tic);
    // The next rider of the demo into a slot (name, number, descriptor, remote kind); returns
    // its bike, -1 when the demo has no more riders.
    int (*create_rider)(int slot);
    // After the grid is built and the histories cleared: starts recording when asked.
    void (*started)();
    // Once every tic, after the clock has advanced: recording and playback.
    void (*tic)();
    // The compact-state version a remote slot is posed with (5, or a demo's own).
    int (*pose_version)(int slot);
    // Time trial: the player crossed the finish and a timed lap begins (ghost and recording
    // start again), and a timed lap ended; `keep` when it should become the fastest lap.
    void (*trial_lap_start)();
    void (*trial_lap_end)(bool keep);
};
void race_set_demo_hooks(const race_demo_hooks* hooks);

// Online: the rider the server named for a slot (lineup code 5), created by the network client
// with its name, number and descriptor; returns its bike, -1 for none.
using race_network_rider_fn = int (*)(int slot);
void race_set_network_rider(race_network_rider_fn create);

// Time trial: the last lap's and the best lap's tics (0 before any).
int time_trial_last_lap_tics();
int time_trial_best_lap_tics();
