// Ground deformation: wheel samplers condensing pushes into paths, the terrain edit record that
// carries a path, and the erosion queue whose drain digs ruts and heaps the dirt behind them.
#pragma once

#include <cstdint>

constexpr int k_erosion_path_points = 64;
// A point condenses at most this many samples, so that its count fits the record's 4-bit field
// exactly and never arrives as 0.
constexpr int k_erosion_point_samples = 15;
constexpr int k_erosion_queue_size = 0x20000;
constexpr int k_edit_record_min_bytes = 17; // a one-point path
constexpr int k_edit_record_max_bytes = 17 + 4 * (k_erosion_path_points - 1);

// One point of a path: where the wheel pushed, the push (length 0.125..1) and how many samples
// it condenses.
struct erosion_point {
    float x = 0, z = 0;           // ft
    float push_x = 0, push_z = 0; // horizontal, length at most 1
    int count = 0;
};

// One wheel's sampler: the path being built and the samples not yet made into a point.
struct erosion_sampler {
    erosion_point points[k_erosion_path_points];
    int point_count = 0;
    float step_min[2] = {}, step_max[2] = {}; // ft, x and z steps between consecutive points
    int last_point_tic = 0;
    float last_x = 0, last_z = 0; // ft, the previous sample
    float sum[4] = {};            // pending positions (x, z) and pushes (x, z)
    float travelled = 0;          // ft, by the pending samples
    int sample_count = 0;         // pending samples
};

// What the sampler reads of one wheel's ground contact after the world step (world axes).
struct erosion_contact {
    float point[3] = {};    // ft, the contact point
    float velocity[3] = {}; // ft/s, the wheel body's linear velocity
    float slip[3] = {};     // ft/s, the wheel body's velocity at the contact point
    float force[3] = {};    // lbf, what the ground's contact did to the wheel in the step
    float depth = 0;        // ft, 0 when the wheel did not touch
};

void erosion_sampler_reset(erosion_sampler& sampler);
// One tic of one wheel of a locally simulated bike.
void erosion_sample(erosion_sampler& sampler, const erosion_contact& contact, bool is_front,
                    int tic);

// The erosion setting in 1/1024 units (-1 unset); above 0 the queue drains into the ground.
void erosion_set_setting(int value);
int erosion_setting();

// Packs a path of 1..64 points with its step ranges into a record for a ground of the given
// extent; returns its length in bytes (0 for an empty path).
int terrain_edit_encode(const erosion_point* points, int count, const float step_min[2],
                        const float step_max[2], float extent, uint8_t* out);
// Unpacks a record into up to 64 points; returns how many, 0 when the record is refused.
int terrain_edit_decode(const uint8_t* bytes, int length, float extent, erosion_point* out);

// Where a submitted record goes instead of the local queue (online: to the race server); null
// applies it here.
using terrain_edit_fn = void (*)(const uint8_t* bytes, int length);
void terrain_edit_set_sender(terrain_edit_fn send);
// Told of every record submitted and applied here (a demo being recorded); null for none.
void terrain_edit_set_recorder(terrain_edit_fn record);
// A path of this machine's wheels: to the sender when there is one, else applied and recorded.
void terrain_edit_submit(const uint8_t* bytes, int length);
// Decodes a record and appends its points to the erosion queue.
void terrain_edit_apply(const uint8_t* bytes, int length);

// Once per tic: works off part of the queue into the ground. Entries within 10 ft of `avoid`
// (x, z; null for none) wait, at most 256 tics. Nothing happens unless the setting is above 0.
void erosion_drain(int tic, const float* avoid);
int erosion_queue_count();
// Works off the whole queue at once, near riders or not (the end of a race, a test).
void erosion_settle();
// Empties the queue, the deferral and the totals, and forgets the setting; the hooks stay, and
// a full queue is still told only once a run.
void erosion_reset();

// The dirt moved since the last reset: the ground's height changes summed over samples (ft per
// sample; times the cell area for a volume), dug out and heaped up.
struct erosion_totals {
    double removed = 0;
    double heaped = 0;
    int entries = 0; // queue entries worked into the ground
};
const erosion_totals& erosion_moved();

// Lowers the samples around (x, z) within `radius` by a smooth bump (amount < 0 digs); returns
// the sum of the height changes made.
float erosion_bump(float x, float z, float radius, float amount);
// Spreads `amount` of height over the samples around (x, z) with the bump's weights; returns the
// sum of the height changes made.
float erosion_deposit(float x, float z, float radius, float amount);
