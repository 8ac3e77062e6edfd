// The start gate's falling pieces, the track's statues handed to the bike contacts, and the
// false-start hold of online races.
#include "race/race_local.h"

#include "common/message.h"
#include "terrain/terrain.h"
#include "track/track_objects.h"

#include <algorithm>
#include <vector>

namespace {
constexpr int k_fall_window = 10 * k_tics_per_second; // pieces stop moving 10 s after the drop
constexpr int k_false_start_penalty = 15 * k_tics_per_second;

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
        // A bike leaning on the piece, or under it as it falls, holds it where it is.
        if (p.touched_tic == r.clock || statue_touched_tic(start_gate_piece_statue(i)) == r.clock) {
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
