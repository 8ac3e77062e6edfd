// The cost per bike and tic of riding on the ground: contacts, the world step and bike_prepare.
#include "bike/bike_contact.h"
#include "bike/bike_rider.h"
#include "bike/bike_shape.h"
#include "bike/bike_sim.h"

#include "common/common.h"
#include "terrain/terrain.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {
// A grid of bikes riding in first gear on a flat field, tyres and body spheres against its
// triangles and every pair of bikes tested against each other; each is put back every ten
// seconds of simulated time so they stay on the field.
void bm_ride_tic(benchmark::State& state) {
    int count = static_cast<int>(state.range(0));
    ground_free();
    height_field_create(&ground().field, 8, 1.0f, 0, 10);
    height_field_loaded(&ground().field);
    world_create();
    std::vector<int> bikes;
    for (int i = 0; i < count; i++) bikes.push_back(bike_create("cr125", i, "1", "", "", "", ""));
    auto start = [&](int b, int i) {
        bike_reset(b);
        bike_translate(b, {100 + (i % 8) * 6.0, 0, 400 + (i / 8) * 12.0});
        bike_prepare(b);
    };
    for (int i = 0; i < count; i++) start(bikes[i], i);
    size_t spheres = 0;
    for (const shape& sh : bike_at(bikes[0]).shapes) spheres += sh.spheres.size();
    rider_input in;
    in.throttle = 0.5f;
    in.clutch = 1;
    int tic = 0;
    for (auto _ : state) {
        for (int b : bikes) rider_input_apply(b, in);
        bikes_collide_all(bikes.data(), count);
        world_step();
        for (int b : bikes) bike_prepare(b);
        if (++tic % 1280 == 0)
            for (int i = 0; i < count; i++) start(bikes[i], i);
    }
    world_destroy();
    shape_cache_free();
    ground_free();
    double bike_tics = static_cast<double>(state.iterations()) * count;
    // Body spheres come from the data set's shape files when QV_HOME points at one.
    state.counters["spheres_per_bike"] = static_cast<double>(spheres);
    state.counters["per_bike_tic"] =
        benchmark::Counter(bike_tics, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(bm_ride_tic)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMicrosecond);
} // namespace
