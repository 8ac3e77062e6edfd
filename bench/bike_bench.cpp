// The simulation's cost per bike and tic: one world step plus every bike's bike_prepare.
#include "bike/bike.h"

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
    // Throttle open in second gear: the held shift request shifts once.
    rider_input open;
    open.throttle = 1;
    open.clutch = 1;
    open.shift = 1;
    int tic = 0;
    auto start = [&](int b, int i) {
        bike_reset(b);
        bike_translate(b, {(i % 8) * 6.0, 0, (i / 8) * 12.0});
        rider_input_apply(b, open);
        bike_prepare(b, bike_tic{tic});
    };
    for (int i = 0; i < count; i++) start(bikes[i], i);
    for (auto _ : state) {
        world_step();
        for (int b : bikes) bike_prepare(b, bike_tic{tic + 1});
        if (++tic % 1280 == 0)
            for (int i = 0; i < count; i++) start(bikes[i], i);
    }
    world_destroy();
    bike_tables_free();
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
