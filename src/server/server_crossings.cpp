// What the server believes of the crossings a rider reports. The results are built from them,
// so each claim is held against what a bike on this track can do before it is credited; the
// checks are one table, in the order they are tried, and the first that fails names the refusal.
#include "server/server_local.h"

#include "race/race.h"
#include "race/race_timing.h"
#include "track/track_gates.h"

#include <algorithm>
#include <cmath>

namespace {
// Faster than any bike goes (about 100 mph): a claim needing more is not a ride.
constexpr double k_fastest_bike = 150.0; // ft/s
// A rider's clock runs a little ahead of the server's while it syncs; crossings reported late
// wait behind the rider's other reliable messages.
constexpr int k_claim_ahead = 2 * k_tics_per_second;
constexpr int k_claim_behind = 30 * k_tics_per_second;
// A crossing may skip the gates the timing passes over, and go back to one missed behind.
constexpr int k_claim_skip = k_gates_counted_past + 1;
constexpr double k_refusal_log_interval = 1.0; // s between one client's logged refusals

struct crossing_claim {
    const server_rider& rider;
    int slot;
    int crossing;
    int tic;
    int clock;
    int gate_drop;
};

float horizontal_distance(const float* a, const float* b) {
    return std::hypot(a[0] - b[0], a[2] - b[2]);
}

// The least tics a bike needs from the last credited crossing (or the start gate) to this one.
int fewest_tics(const crossing_claim& c) {
    const int gate = gate_at_position(c.crossing);
    if (gate < 0 || gate >= gate_count()) return 0;
    const timing_gate& to = gate_at(gate);
    float gap = 0;
    if (c.rider.claimed < 0) {
        gap = 1e30f;
        for (int s = 0; s < start_slot_count(); s++)
            gap = std::min(gap, horizontal_distance(start_slot_at(s).point, to.centre));
        if (start_slot_count() == 0) gap = 0;
        gap -= to.radius;
    } else {
        const int from_gate = gate_at_position(c.rider.claimed);
        if (from_gate < 0 || from_gate >= gate_count()) return 0;
        const timing_gate& from = gate_at(from_gate);
        gap = horizontal_distance(from.centre, to.centre) - from.radius - to.radius;
    }
    return static_cast<int>(std::max(0.0, gap / k_fastest_bike) * k_tics_per_second);
}

int previous_tic(const crossing_claim& c) {
    return c.rider.claimed < 0 ? c.gate_drop : c.rider.claimed_tic;
}

struct crossing_check {
    const char* refusal; // what the rider and the log are told
    bool (*holds)(const crossing_claim& c);
};

constexpr crossing_check k_crossing_checks[] = {
    {"not a gate of the lap",
     [](const crossing_claim& c) {
         return c.crossing >= 0 && c.crossing < k_max_crossings &&
                gate_at_position(c.crossing) >= 0;
     }},
    {"out of order",
     [](const crossing_claim& c) {
         const int last = c.rider.claimed;
         return c.crossing <= last + k_claim_skip && c.crossing >= last - k_claim_skip;
     }},
    {"crossed already",
     [](const crossing_claim& c) {
         // Going back is for a gate missed behind the rider, never one it was credited with.
         return c.crossing > c.rider.claimed || crossing_tic(timing_of(c.slot), c.crossing) < 0;
     }},
    {"before the gate drop", [](const crossing_claim& c) { return c.tic >= c.gate_drop; }},
    {"faster than a bike can ride",
     [](const crossing_claim& c) { return c.tic >= previous_tic(c) + fewest_tics(c); }},
    {"far from the server's clock",
     [](const crossing_claim& c) {
         return c.tic <= c.clock + k_claim_ahead && c.tic >= c.clock - k_claim_behind;
     }},
};
} // namespace

const char* crossing_refusal(int slot, int crossing, int tic) {
    const crossing_claim claim{server().race.riders[slot], slot, crossing, tic, race_clock(),
                               server().race.gate_drop};
    for (const crossing_check& check : k_crossing_checks)
        if (!check.holds(claim)) return check.refusal;
    return nullptr;
}

void crossing_refused(server_client& c, int crossing, int tic, const char* why, double now) {
    server_state& s = server();
    s.stats.refused_crossings++;
    if (now - c.last_refusal_logged >= k_refusal_log_interval) {
        c.last_refusal_logged = now;
        char where[32];
        udp_address_text(c.address, where, sizeof where);
        server_log("Slot %d (%s, %s): crossing %d at tic %d refused, %s", c.slot, where,
                   client_name(c).c_str(), crossing, tic, why);
        server_queue(c, sub_text, std::string("Crossing refused by the server: ") + why);
    }
}
