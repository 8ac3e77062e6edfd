// The suspension rings and the telemetry traces of the followed rider, taken once per tic.
#include "ui/hud_telemetry.h"
#include "ui/ui.h"

#include "bike/bike.h"
#include "race/race.h"

#include <cmath>

namespace {
struct telemetry_state {
    bool graph = false;
    bool overlay = false;
    suspension_rings rings;
    telemetry_traces traces;
};
telemetry_state g_telemetry;

// The throttle of a rider whose controls are not ours: the newest snapshot received of it.
float recorded_throttle(int slot, int bike) {
    int tic = 0;
    compact_state state;
    if (!history_entry_at(slot, 0, &tic, &state)) return 0;
    const bike_info& info = bike_info_of(bike);
    const compact_ranges ranges{1, 0, info.swingarm_travel, info.fork_travel};
    return compact_state_unpack(state, ranges).throttle;
}

void capture_rings(int bike) {
    suspension_rings& r = g_telemetry.rings;
    const suspension_telemetry fork = fork_telemetry(bike), shock = shock_telemetry(bike);
    const float values[k_suspension_rings] = {
        fork.position,  fork.speed,  fork.low_speed_share > 0.5f ? 1.0f : 0.0f,
        shock.position, shock.speed, shock.low_speed_share > 0.5f ? 1.0f : 0.0f};
    if (r.index >= k_suspension_ring) {
        // A full ring starts again from an empty graph.
        r = suspension_rings{};
    }
    for (int k = 0; k < k_suspension_rings; k++) r.values[k][r.index] = values[k];
    r.index++;
}

void capture_traces(int slot, int bike) {
    telemetry_traces& t = g_telemetry.traces;
    if (t.slot != slot) t = telemetry_traces{}, t.slot = slot;
    const rider_slot& s = race_slot(slot);
    const bool own_controls = s.kind != rider_remote;
    const rider_input& in = rider_input_of(slot);
    const float values[k_telemetry_traces] = {
        std::fabs(bike_speed_mph(bike)),
        own_controls ? in.throttle : recorded_throttle(slot, bike),
        own_controls ? in.front_brake : 0,
        own_controls ? in.rear_brake : 0,
        static_cast<float>(bike_gear(bike)),
        fork_telemetry(bike).position,
        shock_telemetry(bike).position};
    t.brakes_known = own_controls;
    for (int k = 0; k < k_telemetry_traces; k++) t.values[k][t.next] = values[k];
    t.next = (t.next + 1) % k_trace_samples;
    if (t.count < k_trace_samples) t.count++;
}
} // namespace

bool hud_graph_on() { return g_telemetry.graph; }
bool hud_telemetry_on() { return g_telemetry.overlay; }
void hud_set_graph(bool on) { g_telemetry.graph = on; }
void hud_set_telemetry(bool on) { g_telemetry.overlay = on; }
const suspension_rings& hud_suspension_rings() { return g_telemetry.rings; }
const telemetry_traces& hud_telemetry_traces() { return g_telemetry.traces; }

float telemetry_sample(const telemetry_traces& t, int trace, int age) {
    if (trace < 0 || trace >= k_telemetry_traces || age < 0 || age >= t.count) return 0;
    return t.values[trace][(t.next - 1 - age + 2 * k_trace_samples) % k_trace_samples];
}

void hud_telemetry_capture(int slot) {
    if (slot < 0 || slot >= k_max_riders) return;
    const int bike = race_slot(slot).bike;
    if (bike < 0 || !bike_live(bike)) return;
    if (g_telemetry.graph) capture_rings(bike);
    if (g_telemetry.overlay) capture_traces(slot, bike);
}

void hud_telemetry_clear() {
    g_telemetry.rings = suspension_rings{};
    g_telemetry.traces = telemetry_traces{};
}

void hud_telemetry_reset() { g_telemetry = telemetry_state{}; }
