// The start gate's falling pieces, the track's statues handed to the bike contacts, and the
// false-start hold of online races.
#include "race/race_local.h"

#include "common/message.h"
#include "terrain/terrain.h"
#include "track/track_objects.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr int k_fall_window = 10 * k_tics_per_second; // pieces stop moving 10 s after the drop
constexpr int k_false_start_penalty = 15 * k_tics_per_second;
// Where a bike lies under a falling piece: ahead of the hinge by up to the piece's height and half
// a bike, and across by up to half the piece and half a bike (ft).
constexpr float k_under_ahead = 3.5f;
constexpr float k_under_across = 2.0f;

bike_statue contact_form(const statue& s) {
    bike_statue b;
    b.position = {s.x, s.y, s.z};
    float r[9];
    statue_rotation(s, r);
    for (int k = 0; k < 9; k++) b.rotation[k] = r[k];
    b.collision = s.collision;
    return b;
}

// A raised piece stands upright across its slot; as it falls it swings forward about its hinge,
// away from the riders behind it, until it lies flat.
void pose_piece(int piece) {
    const int index = start_gate_piece_statue(piece);
    if (index < 0 || index >= statue_count()) return;
    statue_set_tilt(index, (race().pieces[piece].raised - 1) * k_gate_piece_swing);
    const bike_statue b = contact_form(statues()[index]);
    statue_set_pose(index, b.position, b.rotation);
}

// A piece falls forward, away from the riders lined up behind it. A bike behind it (its front
// wheel against the steel, as riders wait at the gate) cannot hold it up: the piece swings away
// from that wheel. Only a bike lying where the piece comes down stops it.
bool bike_under_piece(const race_state& r, int piece) {
    const start_slot& slot = start_slot_at(piece);
    const float ahead_x = -std::sin(slot.heading), ahead_z = -std::cos(slot.heading);
    for (const rider_slot& s : r.slots) {
        if (s.bike < 0) continue;
        const vec3d p = bike_frame_position(s.bike);
        const float dx = static_cast<float>(p.x) - slot.piece_x;
        const float dz = static_cast<float>(p.z) - slot.piece_z;
        const float along = dx * ahead_x + dz * ahead_z;
        const float across = dx * ahead_z - dz * ahead_x;
        if (along > 0 && along < k_under_ahead && std::fabs(across) < k_under_across) return true;
    }
    return false;
}
} // namespace

void race_statues_refresh() {
    std::vector<bike_statue> list;
    list.reserve(static_cast<size_t>(statue_count()));
    for (int i = 0; i < statue_count(); i++) list.push_back(contact_form(statues()[i]));
    const float extent = ground().field.heights ? ground().field.extent : 0.0f;
    statues_set(list.data(), static_cast<int>(list.size()), extent);
}

void start_gate_raise() {
    race_state& r = race();
    r.piece_count = start_slot_count();
    for (gate_piece& p : r.pieces) p = gate_piece{};
    for (int i = 0; i < r.piece_count; i++) {
        const int index = start_gate_piece_statue(i);
        if (index >= 0 && index < statue_count()) statue_set_tilt(index, 0);
    }
    race_statues_refresh();
}

void start_gate_animate() {
    race_state& r = race();
    // A watching player sees the gate drop when the riders it watches leave.
    const int drop = r.gate_drop + (r.params.watching ? k_watch_delay : 0);
    if (r.clock <= drop || r.clock > drop + k_fall_window) return;
    const float dt = static_cast<float>(k_tic_length);
    for (int i = 0; i < r.piece_count; i++) {
        gate_piece& p = r.pieces[i];
        // A bike under the piece as it falls holds it where it is.
        const bool touched =
            p.touched_tic == r.clock || statue_touched_tic(start_gate_piece_statue(i)) == r.clock;
        if (touched && bike_under_piece(r, i)) {
            p.speed = 0;
            continue;
        }
        if (p.raised <= 0) continue;
        p.speed += static_cast<float>(k_gravity) * dt;
        p.raised = std::max(0.0f, p.raised - dt * p.speed);
        p.speed = std::min(p.speed, 8.0f);
        pose_piece(i);
    }
}

float race_gate_piece_raised(int piece) {
    const race_state& r = race();
    return piece >= 0 && piece < r.piece_count ? r.pieces[piece].raised : 0.0f;
}

void race_gate_piece_touched(int piece, int tic) {
    race_state& r = race();
    if (piece >= 0 && piece < r.piece_count) r.pieces[piece].touched_tic = tic;
}

void false_start_tic(int slot) {
    race_state& r = race();
    int bike = r.slots[slot].bike;
    if (bike < 0) return;
    if (r.clock <= r.gate_drop && r.false_start_hold < 1) {
        vec3d p = bike_frame_position(bike);
        double dx = p.x - r.false_start_origin[0], dy = p.y - r.false_start_origin[1];
        double dz = p.z - r.false_start_origin[2];
        double d2 = dx * dx + dy * dy + dz * dz;
        if (d2 >= 9) {
            r.false_start_hold = r.gate_drop + k_false_start_penalty - r.clock;
            show_message("15 second false start penalty");
        }
    }
    if (r.false_start_hold < 1) return;
    r.false_start_hold--;
    // Held: the bike stands still and the rider's controls are ignored.
    bike_hold_still(bike);
    rider_input_set(slot, rider_input{});
}

int race_false_start_hold() { return race().false_start_hold; }
