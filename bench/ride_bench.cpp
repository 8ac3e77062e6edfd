// The cost per bike and tic of riding on the ground: contacts, the world step and bike_prepare.
#include "bike/bike.h"

#include "common/common.h"
#include "files/data_file.h"
#include "race/race.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"

#include <cmath>
#include <cstdlib>

#include <benchmark/benchmark.h>

#include <vector>

namespace {
using start_fn = void (*)(int bike, int place);

// Creates `count` bikes, starts each with `start`, then rides them at half throttle in first
// gear, putting them back every `restart_tics`; reports the cost per bike-tic and the real-time
// multiple of the whole field on one core.
void ride(benchmark::State& state, const char* bike_name, start_fn start, int restart_tics) {
    int count = static_cast<int>(state.range(0));
    world_create();
    std::vector<int> bikes;
    for (int i = 0; i < count; i++) bikes.push_back(bike_create(bike_name, i, "1", "", "", "", ""));
    for (int i = 0; i < count; i++) start(bikes[i], i);
    size_t spheres = 0;
    const bike_info& info = bike_info_of(bikes[0]);
    for (const char* file :
         {info.frame_shape, info.fork_upper_shape, info.fork_lower_shape, info.swingarm_shape,
          info.front_wheel_shape, info.rear_wheel_shape, info.rider_shape})
        if (const shape* sh = shape_load(file)) spheres += sh->spheres.size();
    rider_input in;
    in.throttle = 0.5f;
    in.clutch = 1;
    int tic = 0;
    for (auto _ : state) {
        for (int b : bikes) rider_input_apply(b, in);
        bikes_collide_all(bikes.data(), count, bike_tic{tic});
        world_step();
        for (int b : bikes) bike_prepare(b, bike_tic{tic + 1});
        if (++tic % restart_tics == 0)
            for (int i = 0; i < count; i++) start(bikes[i], i);
    }
    world_destroy();
    bike_tables_free();
    double bike_tics = static_cast<double>(state.iterations()) * count;
    // Body spheres come from the data set's shape files when QV_HOME points at one.
    state.counters["spheres_per_bike"] = static_cast<double>(spheres);
    state.counters["per_bike_tic"] =
        benchmark::Counter(bike_tics, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["real_time_multiple"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * k_tic_length, benchmark::Counter::kIsRate);
}

// A grid of bikes on a flat field, every ten seconds put back so they stay on it.
void bm_ride_tic(benchmark::State& state) {
    ground_free();
    height_field_create(&ground().field, 8, 1.0f, 0, 10);
    height_field_loaded(&ground().field);
    ride(
        state, "cr125",
        [](int b, int i) {
            bike_reset(b);
            bike_translate(b, {100 + (i % 8) * 6.0, 0, 400 + (i / 8) * 12.0});
            bike_prepare(b, bike_tic{});
        },
        1280);
    ground_free();
}
BENCHMARK(bm_ride_tic)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMicrosecond);

// Rabbithill from the start gate's grid places, facing along the lap, up the start straight;
// every five seconds put back.
void bm_ride_rabbithill(benchmark::State& state) {
    setenv("QV_HOME", TB_GAME_DIR, 1);
    files_free_all();
    if (!track_load("rabbithill")) {
        state.SkipWithError("rabbithill did not load");
        return;
    }
    ride(state, "yz250f(2017)", race_place_on_grid, 640);
    track_unload();
    files_free_all();
}
BENCHMARK(bm_ride_rabbithill)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMicrosecond);
} // namespace
