// The bike simulation as other subsystems see it: the world, each bike's lifecycle, its controls
// and per-tic work, what can be read of it, its contacts, and its 39-byte snapshots with the
// history of every rider slot. Bikes are reached by handle; the rigid-body library stays inside.
#pragma once

#include "bike/bike_data.h"
#include "common/vec3.h"

#include <cstdint>

struct ripemd160_state;
struct model_camera;

// The order of the bodies is also the order of the compact state and of scripts.
enum bike_body_index {
    body_frame,
    body_front_wheel,
    body_rear_wheel,
    body_fork_upper,
    body_fork_lower,
    body_swingarm,
    body_rider,
    k_bike_body_count
};

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
const rider_input& rider_input_of(int slot);
void rider_input_set(int slot, const rider_input& input);
// Every slot's controls back to rest.
void rider_inputs_reset();

// Selects the default bike and applies the setup's stability preset.
void bike_select_default();
// The setup's "reverse_steering" and "sticky_dab" choices.
bool setup_reverse_steering();
bool setup_sticky_dab();
// Frees every bike table at shut-down.
void bike_tables_free();

// Past this lean (rad, π/16 to five places) a slow rider puts a foot down.
constexpr double k_dab_lean = 0.19635;

constexpr int k_knockout_table_size = 16;
constexpr int k_knockout_table_max = 460800; // tics, an hour

// The race's clock and rules as one tic of bike work sees them. The race owns them and hands
// them to every call that runs the tic; the bikes keep no copy.
struct bike_tic {
    int tic = 0;           // the race clock
    int gate_drop_tic = 0; // back-up walking and the rider-down rule count from the drop
    // Extra knock-out tics by crash number (0..460800 each); null for none.
    const int* knockout_table = nullptr;
};

// The world of one process: gravity and the bodies of every bike. Destroying it returns the
// whole bike simulation (bikes, histories, statues, inputs) to its start-up state; only the
// handles of its bikes stay stale in the next world.
void world_create();
void world_destroy();
bool world_exists();
// One tic of 1/128 s for every body; the tic's temporary joints are dropped afterwards.
void world_step();

// Where bike_create loads models and textures from: the game's model and texture caches, or the
// null loader (the default) that loads nothing.
struct bike_resource_loader;
extern const bike_resource_loader k_bike_loader_null;
extern const bike_resource_loader k_bike_loader_caches;
void bike_set_resource_loader(const bike_resource_loader* loader);

// A new bike with its bodies and joints, models, plate and creation defaults, reset. A name not
// in the catalogue falls back as the catalogue says. Returns the bike's handle: an int >= 0 (-1
// stands for no bike) that names this bike only, never one made after it is destroyed.
int bike_create(const char* name, int slot_value, const char* number, const char* bike_texture,
                const char* wheel_texture, const char* rider_texture, const char* head_texture);
// Nothing happens for a handle that is not live.
void bike_destroy(int bike);
// False for -1 and for the handle of a destroyed bike.
bool bike_live(int bike);
// Every body back at its construction pose, still, with the rider's state cleared.
void bike_reset(int bike);
// Turns every body by `angle` about `axis` about the world origin (right after bike_reset).
void bike_place(int bike, vec3d axis, double angle);
void bike_translate(int bike, vec3d d);
// A force (lbf, world axes) on the frame for the next step: marshals pushing a stalled bike.
void bike_push(int bike, vec3d force);
// New setup parameters, with the rider's mass moved between the frame and rider bodies.
void bike_set_params(int bike, const bike_params& params);
const bike_params& bike_params_of(int bike);
int bike_catalogue_index(int bike);
const bike_info& bike_info_of(int bike);

// What can be read of a bike.
vec3d bike_body_position(int bike, int body);
vec3d bike_body_velocity(int bike, int body);
vec3d bike_body_angular_velocity(int bike, int body);
// A body's own axis (0 = x, 1 = y, 2 = z) in world coordinates.
vec3d bike_body_axis(int bike, int body, int axis);
// A point given in a body's own coordinates, in world coordinates.
vec3d bike_body_point(int bike, int body, vec3d local);
vec3d bike_frame_position(int bike);
vec3d bike_frame_velocity(int bike);
// Where the bike points: the frame's forward axis (its -z) in world coordinates.
vec3d bike_forward(int bike);
float bike_speed_mph(int bike);
// Roll angle of the frame: 0 upright, negative leaning right.
float bike_lean_angle(int bike);
// The steering angle at which the front wheel would roll along its own velocity (rad).
float front_track_angle(int bike);
// A torque T about the steering axis: T on the front wheel, -T on the frame; positive steers left.
void steering_torque_apply(int bike, float torque);
// The position controller on the steering hinge towards angle t (rad); returns its output.
float steering_position_control(int bike, float t);
// A tyre's contact with the ground as this tic's contact test found it.
struct tyre_contact_state {
    bool touching = false;
    double depth = 0;       // ft
    vec3d point;            // ft, where it touched last
    double slip_speed = 0;  // ft/s, of the tyre at the contact point (0 when rolling clean)
    double ground_lift = 0; // lbf, upward push of the ground on the tyre in the last step
};
// `wheel` is body_front_wheel or body_rear_wheel.
tyre_contact_state bike_tyre_contact(int bike, int wheel);
float bike_total_mass(int bike); // slug
// The rider's own speed-dependent steering lock, as the setup's three values would set it.
void bike_set_steering_lock(int bike, float full_lock_speed, float restricted_lock_speed,
                            float restricted_lock);
bool knocked_off(int bike);
int knockout_tics(int bike);
int crash_count(int bike);
int bike_rider_down(int bike);
int bike_gear(int bike);
float engine_rpm(int bike);
float engine_torque(int bike); // lbf·ft, after the wheelie cut
// What the HUD's suspension graphs draw.
struct suspension_telemetry {
    float position = 0;        // travel fraction 0..1
    float speed = 0;           // ft/s at the fork, shock ft/s at the rear
    float low_speed_share = 0; // share of the damping the low-speed circuit carries
};
suspension_telemetry fork_telemetry(int bike);
suspension_telemetry shock_telemetry(int bike);
// Above 0.25 the bike is simulated, else frozen and posed from its history.
float bike_activity(int bike);
// Whether the rigid-body world moves the bike's bodies (false while frozen).
bool bike_simulated(int bike);
// Adds every body's position, rotation and velocities to a digest: equal digests, equal motion.
void bike_digest_update(ripemd160_state& digest, int bike);

// A rider's controls for its bike, clamped; the shift request goes to the gearbox. A knocked-off
// rider cannot open the throttle, sit, back up or lean.
void rider_input_apply(int bike, const rider_input& in);
// The controls of a rider slot given to its bike.
void rider_input_from_slot(int bike, int slot);
// Stops every body where it is and clears the controls (a rider held for a false start).
void bike_hold_still(int bike);
// This bike's controls, forces and temporary joints for the next step.
void bike_prepare(int bike, const bike_tic& t);

// Where a bike that fell over at a standstill is turned to when realigning: the nearest point of
// the best recorded line of its stretch of track. False when there is none (no lines, or the
// rider has just finished). Set by whoever keeps the lines; none by default.
using realign_target_fn = bool (*)(int bike, vec3d* target);
void rider_set_realign_target(realign_target_fn fn);

// Whether a ground is loaded; without one nothing touches and the ground lies at 0.
bool contact_ground_ready();
// The ground's height, 0 without a ground (ft).
float contact_ground_height(float x, float z);
// Both tyre contacts, the other parts' ground contacts, then the statues; true when anything
// touched the ground.
bool bike_collide_world(int bike, const bike_tic& t);
// Contacts between two bikes; in passive mode forces instead of joints. True when they touched.
bool bike_collide_bike(int a, int b, bool passive);
// Whether two bikes touch, by the same tests, without making contacts.
bool bikes_overlap(int a, int b);
// Whether a tyre or a shaped body reaches into the ground, without making contacts.
bool bike_overlaps_ground(int bike);
// The contact phase of a tic offline: each bike against the ground and statues, then every
// pair once, the bikes taken in order of speed. Returns how many pairs touched.
int bikes_collide_all(const int* bikes, int count, const bike_tic& t);
// Hands the bike's wheels to the roost emitter for the tic; `simulated` when its contacts are
// already known.
void bike_emit_roost(int bike, bool simulated, int tic);
// After the world step: each wheel's push on the ground goes to its rut sampler (the samplers
// start empty whenever the bike is reset).
void bike_cut_ruts(int bike, int tic);

// A statue of the track as the contacts take it: where it stands, how it is turned, and its
// collision shape (null: nothing touches it).
struct bike_statue {
    vec3d position;                                   // ft
    double rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}; // model to world, row-major
    const shape* collision = nullptr;
};
// Hands the track's statues to the contacts, sorted into buckets over a terrain of the extent
// (ft); nothing has touched any of them yet.
void statues_set(const bike_statue* statues, int count, double extent);
// Moves or turns one statue (the start gate's falling pieces) within its buckets.
void statue_set_pose(int statue, vec3d position, const double rotation[9]);
// The last tic anything touched the statue, -1 when nothing has.
int statue_touched_tic(int statue);
// Whether a shaped part or wheel of the bike reaches into a statue, without making contacts.
bool bike_overlaps_statues(int bike);
// Records the tic on each of the statues first … first + count - 1 that the bike touches,
// pushing neither (recorded riders against the start gate's pieces).
void bike_touch_statues(int bike, int first, int count, int tic);

// The 39-byte snapshot of one bike that demos store and the network carries.
constexpr int k_compact_state_size = 39;
struct compact_state {
    uint8_t bytes[k_compact_state_size];
};
compact_state compact_state_encode(int bike);
// Writes every body from one snapshot and takes over gear, throttle, knock-out and engine speed.
// `version` is 5, or 4 for the short records of old demos.
void compact_state_pose(int bike, const compact_state& state, int version);

// What a snapshot is scaled by: the terrain and the bike model's suspension travel.
struct compact_ranges {
    float extent;          // ft, the terrain's side
    float min_height;      // ft, the terrain's lowest height
    float swingarm_travel; // rad
    float fork_travel;     // ft
};
// The scales of this bike's snapshots on the loaded ground.
compact_ranges compact_ranges_of(int bike);

// A snapshot's contents in physical units (what encoding reads and decoding gives back).
struct compact_fields {
    float frame_position[3];   // ft
    float frame_quaternion[4]; // w, x, y, z
    float steer_angle;         // rad, the steering hinge
    float swingarm_angle;      // rad, negative compressed
    float fork_position;       // ft, negative compressed
    float rider_offset[3];     // ft, rider body minus frame, world axes
    float rider_quaternion[4]; // w, x, y, z
    float front_wheel_angle;   // rad, relative to the lower fork
    float rear_wheel_angle;    // rad, relative to the swingarm
    int knockout_tics;         // > 0 while the rider is knocked off
    int gear;                  // gear index
    bool dabbing;              // a foot is down
    float throttle;            // 0..1
    float engine_rpm;          // rev/min
};
compact_fields compact_state_unpack(const compact_state& state, const compact_ranges& ranges);
compact_state compact_state_pack(const compact_fields& fields, const compact_ranges& ranges);

// The last 128 snapshots of every rider slot, ordered by tic.
constexpr int k_history_size = 128;
constexpr int k_history_slots = 160;
void history_clear(int slot);
void history_clear_all();
// Stores a snapshot in tic order; the first snapshot stored for a tic stays. False when nothing
// was stored (a slot out of range, a tic already held, or older than a whole full ring).
bool history_add(int slot, const compact_state& state, int tic);
// The tic of the newest snapshot, -1 when the history is empty.
int history_newest_tic(int slot);
// Takes the recorder's count of new entries.
int history_take_pending(int slot);
// The snapshot `age` places back from the newest (0: the newest) and its tic; false when that
// place is empty or the slot is out of range.
bool history_entry_at(int slot, int age, int* tic, compact_state* state);
// Poses the slot's bike for tic T from the slot's history: written directly while frozen, pulled
// towards the recording while active. An empty history leaves the bike as it is.
void history_apply(int slot, int bike, int tic, int version);

// Local and robot bikes are active, remote bikes frozen; a touch makes a remote bike simulated for
// three quarters of a second.
void bike_activate(int bike);
void bike_deactivate(int bike);
void bike_touched(int bike);
void activity_decay(int bike);

// The models, textures and plate bike_create loaded for the bike (0 where one could not load);
// the record is in bike/draw/bike_resources.h.
struct bike_resources;
const bike_resources& bike_resources_of(int bike);

// Drawing a bike (OpenGL, library tb_bike_draw). Mode 0 sees it from outside; modes 1 and 2 from
// its rider's eyes, with the rider hidden (1) or shown (2). `alpha` fades the whole bike; the
// environment texture colours the models' reflecting parts.
void bike_draw(int bike, int mode, const model_camera& camera, float alpha, uint32_t environment);
