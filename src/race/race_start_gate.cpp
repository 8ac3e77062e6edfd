// The start gate's falling pieces and the false-start hold of online races.
#include "race/race_local.h"

#include "common/message.h"

#include <algorithm>

namespace {
constexpr int k_fall_window = 10 * k_tics_per_second; // pieces stop moving 10 s after the drop
constexpr int k_false_start_penalty = 15 * k_tics_per_second;
} // namespace

void start_gate_raise() {
    race_state& r = race();
    r.piece_count = start_slot_count();
    for (gate_piece& p : r.pieces) p = gate_piece{};
}

void start_gate_animate() {
    race_state& r = race();
    // A watching player sees the gate drop when the riders it watches leave.
    const int drop = r.gate_drop + (r.params.watching ? k_watch_delay : 0);
    if (r.clock <= drop || r.clock > drop + k_fall_window) return;
    const float dt = static_cast<float>(k_tic_length);
    for (int i = 0; i < r.piece_count; i++) {
        gate_piece& p = r.pieces[i];
        // A bike leaning on the piece holds it where it is.
        if (p.touched_tic == r.clock) {
            p.speed = 0;
            continue;
        }
        p.speed += static_cast<float>(k_gravity) * dt;
        p.raised = std::max(0.0f, p.raised - dt * p.speed);
        p.speed = std::min(p.speed, 8.0f);
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
        bike_vec3d p = bike_frame_position(bike);
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
