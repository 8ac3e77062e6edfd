// The suspension rings and the telemetry traces of the followed rider, taken once per tic.
#include "ui/hud_telemetry.h"
#include "ui/ui.h"

namespace {
struct telemetry_state {
    bool graph = false;
    bool overlay = false;
    suspension_rings rings;
    telemetry_traces traces;
};
telemetry_state g_telemetry;

void capture_rings(const hud_telemetry_sample& in) {
    suspension_rings& r = g_telemetry.rings;
    const hud_suspension_sample &fork = in.fork, &shock = in.shock;
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

void capture_traces(const hud_telemetry_sample& in) {
    telemetry_traces& t = g_telemetry.traces;
    if (t.slot != in.slot) t = telemetry_traces{}, t.slot = in.slot;
    const float values[k_telemetry_traces] = {in.speed,
                                              in.throttle,
                                              in.front_brake,
                                              in.rear_brake,
                                              static_cast<float>(in.gear),
                                              in.fork.position,
                                              in.shock.position};
    t.brakes_known = in.brakes_known;
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

void hud_telemetry_capture(const hud_telemetry_sample& sample) {
    if (g_telemetry.graph) capture_rings(sample);
    if (g_telemetry.overlay) capture_traces(sample);
}

void hud_telemetry_clear() {
    g_telemetry.rings = suspension_rings{};
    g_telemetry.traces = telemetry_traces{};
}

void hud_telemetry_reset() { g_telemetry = telemetry_state{}; }
