// The simulation's cost per bike and tic: one world step plus every bike's bike_prepare.
#include "bike/bike_drivetrain.h"
#include "bike/bike_shape.h"
#include "bike/bike_sim.h"

#include "common/common.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {
// A grid of bikes with the throttle open, side by side; each is put back on its place every ten
// seconds of simulated time so none falls for ever (there is no ground to land on).
void bm_world_tic(benchmark::State& state) {
    int count = static_cast<int>(state.range(0));
    world_create();
    std::vector<int> bikes;
    for (int i = 0; i < count; i++) {
        int b = bike_create("cr125", i, "1", "", "", "", "");
        bikes.push_back(b);
    }
    auto start = [&](int b, int i) {
        bike_reset(b);
        bike_translate(b, {(i % 8) * 6.0, 0, (i / 8) * 12.0});
        bike_state& s = bike_at(b);
        s.input.throttle = 1;
        s.input.clutch = 1;
        set_gear(b, 1);
        bike_prepare(b);
    };
    for (int i = 0; i < count; i++) start(bikes[i], i);
    int tic = 0;
    for (auto _ : state) {
        world_step();
        for (int b : bikes) bike_prepare(b);
        if (++tic % 1280 == 0)
            for (int i = 0; i < count; i++) start(bikes[i], i);
    }
    world_destroy();
    shape_cache_free();
    double bike_tics = static_cast<double>(state.iterations()) * count;
    // Seconds per bike-tic, and the share of one tic's 1/128 s the whole grid takes (a plain
    // ratio, though the report prints it with a time unit).
    state.counters["per_bike_tic"] =
        benchmark::Counter(bike_tics, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["tic_budget_share"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * k_tic_length,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(bm_world_tic)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMicrosecond);
} // namespace
