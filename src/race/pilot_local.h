// What the auto pilot's own files share: a robot's state and the steps of one tic's riding.
// Only the auto pilot's files include this.
#pragma once

#include "race/robot_lines.h"

#include "bike/bike.h"
#include "common/common.h"
#include "common/vec3.h"

#include <vector>

constexpr int k_crowd_tics = 3 * 128;  // a pick counts towards its line's crowd this long
constexpr double k_crowd_weight = 0.5; // each robot in a line's crowd divides its match by 1 + this
constexpr int k_picks_kept = 8;        // lines remembered per robot for their statistics
constexpr double k_standing_speed = 2; // ft/s
constexpr int k_leaving_tics = 128;    // a finished robot fades from sight this long
constexpr double k_lean_speed = 10;    // ft/s from which a robot leans into its turns fully
constexpr double k_point_seconds = k_line_point_tics * k_tic_length;

// A line a robot picked: where it starts and which it is.
struct picked_line {
    int segment = -1;
    int32_t serial = 0;
    int tic = 0; // when picked
};

struct robot_state {
    int personality = 0;
    std::vector<line_point> path;
    std::vector<int> path_segments; // the segment of the line each path point came from
    int next_point = 0;             // index of the path point headed for
    int last_advance = 0;           // tic the robot last reached a point
    int last_reached = 0;           // the same, not moved on by the lost rule
    int lost = 0;
    int next_segment = -1; // where the next line starts; -1 to find it from the timing position
    int retry_tic = 0;     // no pick before this tic
    picked_line picks[k_picks_kept];
    int pick_ring = 0;
    float previous_throttle = 0;
    int grip_limited_tic = k_never_picked;
    int crashes_seen = 0;
    bool finished = false;
    int leaving_since = -1; // tic a finished robot began to leave the track, -1 before
    int stuck_since = 0;    // tic a spell of no way along the path may start from
    int backing_until = 0;  // tic a step back ends
    bool untangling = false;
    int rode_back_at = -1; // the timing position at which the robot last turned back for a gate
    int rode_back_tic = 0; // and when
    // The gate due and the line headed along when the robot last asked whether it missed a gate.
    int missed_asked_position = -2, missed_asked_segment = -2;
};

inline void picks_clear(robot_state& r) {
    for (picked_line& p : r.picks) p = picked_line{};
}

inline double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
inline vec3d point_of(const line_point& p) { return {p.x, p.y, p.z}; }

// The backward unit vector of travel; a bike at rest takes its frame's backward axis.
vec3d backward_of(int bike, vec3d v, double speed);

// What one tic's riding works out, step by step, for the robot's bike.
struct drive_state {
    int slot = 0, bike = 0, now = 0;
    bool knocked = false;
    double lambda = 0; // lean, rad
    vec3d x, v, forward;
    double s = 0;        // speed, ft/s
    vec3d back, lateral; // the travel frame: unit backward, and to the right of travel
    double roll_rate = 0, pitch_rate = 0;
    tyre_contact_state front, rear;
    double p = 0;           // where the robot is along its path, a fractional point index
    int i = 0;              // and the nearest point
    double target = 0;      // speed, ft/s
    int take_off = -1;      // the path point of the next jump's take-off, -1 when none near
    double t_jump = 0;      // s to the take-off
    double g = 1;           // the load on the tyres in bike weights, at least 1
    double limit = 0;       // most lean error steered for, rad
    double turn_radius = 0; // of the turn the lean makes now, ft (signed)
    double gain = 4;
    vec3d aim;
    double aim_radius = 0;
    double phi = 0; // the lean aimed for, rad
    double throttle_scale = 1;
};

// Path following (pilot_path.cpp).
const line_point& path_at(const robot_state& r, int k);
vec3d path_point(const robot_state& r, double q);
void follow_path(robot_state& r, vec3d x, vec3d heading, int now, int slot);
void path_drop(robot_state& r, int segment, int now);
int gate_to_ride_back_to(robot_state& r, int slot);
void path_place(const robot_state& r, drive_state& d);
void jump_ahead(const robot_state& r, drive_state& d);
void aim_point(const robot_state& r, drive_state& d);

// Traffic and footprints (pilot_traffic.cpp): every bike read once a tic, and the target speed
// and sideways aim the nearest bike ahead leaves the robot.
void traffic_reset();
void traffic_refresh(int tic);
// The speed the bikes ahead allow; true when a bike slowed the robot (its lines then get no
// statistics).
bool traffic_step(const robot_state& r, drive_state& d);

// Grip and lean (pilot_lean.cpp).
void lean_reset();
// The load on the tyres and the turn the present lean makes.
void load_step(drive_state& d);
// The arc to the aim point, leaving the present turn at twice its error.
void aim_radius_step(drive_state& d);
// The lean to aim for as the grip allows it along the next points, slow bikes upright, squared up
// for a take-off.
void lean_step(robot_state& r, drive_state& d);
// Counter-steering for the lean aimed for.
void steer_step(const drive_state& d, rider_input& in);

// The speed law (pilot_speed.cpp): throttle, clutch, brakes and gears.
void speed_step(robot_state& r, drive_state& d, rider_input& in);

// Recovery (pilot_recovery.cpp).
rider_input waiting_input();
bool backing_up(robot_state& r, int slot, int bike, int now, double lambda);
void untangle_update(robot_state& r, int slot, int bike, int now);
void marshals_push(const robot_state& r, const drive_state& d, const rider_input& in);
