// The cost per bike and tic of riding on the ground (contacts, the world step and bike_prepare)
// against the bare rigid-body floor of the same bikes, and a table of both at the end of a run.
#include "bike/bike.h"
#include "bike/bike_bench.h"

#include "common/common.h"
#include "files/data_file.h"
#include "race/race.h"
#include "race/race_grid.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <benchmark/benchmark.h>

#include <vector>

namespace {
using start_fn = void (*)(int bike, int place);

// The field sizes every run measures, and the least each cost over the runs of a benchmark
// (s per bike-tic): on a shared machine the least is the cost least disturbed by other work.
// Every run rides whole ten-second rounds from the start, since a field costs more as it
// spreads or bunches up.
constexpr int k_field_sizes[] = {1, 10, 40, 160};
constexpr int k_field_count = sizeof k_field_sizes / sizeof k_field_sizes[0];
struct field_costs {
    double floor[k_field_count] = {};
    double ride[k_field_count] = {};
};
field_costs g_costs;

int field_index(int count) {
    for (int i = 0; i < k_field_count; i++)
        if (k_field_sizes[i] == count) return i;
    return -1;
}

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Reports the cost per bike-tic and the real-time multiple of the whole field on one core, and
// keeps the least cost for the table.
void report(benchmark::State& state, int count, double seconds, double* kept) {
    double bike_tics = static_cast<double>(state.iterations()) * count;
    state.counters["per_bike_tic"] =
        benchmark::Counter(bike_tics, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["real_time_multiple"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * k_tic_length, benchmark::Counter::kIsRate);
    int i = field_index(count);
    if (i < 0 || bike_tics <= 0) return;
    double cost = seconds / bike_tics;
    if (kept[i] <= 0 || cost < kept[i]) kept[i] = cost;
}

// Creates `count` bikes, starts each with `start`, then rides them at half throttle in first
// gear, putting them back every `restart_tics`.
void ride(benchmark::State& state, const char* bike_name, start_fn start, int restart_tics,
          double* kept) {
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
    double begun = cpu_seconds();
    for (auto _ : state) {
        for (int b : bikes) rider_input_apply(b, in);
        bikes_collide_all(bikes.data(), count, bike_tic{tic});
        world_step();
        for (int b : bikes) bike_prepare(b, bike_tic{tic + 1});
        if (++tic % restart_tics == 0)
            for (int i = 0; i < count; i++) start(bikes[i], i);
    }
    double seconds = cpu_seconds() - begun;
    world_destroy();
    bike_tables_free();
    // Body spheres come from the data set's shape files when QV_HOME points at one.
    state.counters["spheres_per_bike"] = static_cast<double>(spheres);
    report(state, count, seconds, kept);
}

// A grid of bikes on a flat field, every ten seconds put back so they stay on it.
void bm_ride_tic(benchmark::State& state) {
    ground_free();
    ground_create(8, 1.0f, 0, 10);
    // The flat field is not one of the table's, so nothing is kept.
    double unkept[k_field_count] = {};
    ride(
        state, "cr125",
        [](int b, int i) {
            bike_reset(b);
            bike_translate(b, {100 + (i % 8) * 6.0, 0, 400 + (i / 8) * 12.0});
            bike_prepare(b, bike_tic{});
        },
        1280, unkept);
    ground_free();
}
// The floor of a riding tic: the same bikes (seven bodies, six joints) standing on level ground,
// with the four contacts and one motor of a bare tic made before each world step and nothing
// else; every ten seconds put back.
void bm_floor(benchmark::State& state) {
    int count = static_cast<int>(state.range(0));
    world_create();
    std::vector<int> bikes;
    for (int i = 0; i < count; i++)
        bikes.push_back(bike_create("yz250f(2017)", i, "1", "", "", "", ""));
    auto start = [&] {
        for (int i = 0; i < count; i++) {
            bike_reset(bikes[i]);
            bike_translate(bikes[i], {(i % 8) * 6.0, 0, (i / 8) * 12.0});
        }
    };
    start();
    int tic = 0;
    double begun = cpu_seconds();
    for (auto _ : state) {
        for (int b : bikes) bike_floor_joints(b);
        world_step();
        if (++tic % 1280 == 0) start();
    }
    double seconds = cpu_seconds() - begun;
    world_destroy();
    bike_tables_free();
    report(state, count, seconds, g_costs.floor);
}
// The start gate's grid places and, for a field larger than the gate, further blocks of the
// same places each the gate's depth further back. (The grid's own places beyond the gate's
// stand 10 ft behind each start slot, on the gate's second row, and a field stacked there only
// piles up.)
void place_in_field(int bike, int place) {
    int slots = start_slot_count();
    if (place < slots || slots == 0) {
        race_place_on_grid(bike, place);
        return;
    }
    float x = 0, z = 0, heading = 0;
    grid_position(place % slots, ground().field.extent, &x, &z, &heading);
    // Rows run back along the heading, 10 ft apart.
    const start_slot& first = start_slot_at(0);
    float depth = 0;
    for (int i = 0; i < slots; i++) {
        const start_slot& s = start_slot_at(i);
        depth = std::max(depth, (s.point[0] - first.point[0]) * std::sin(first.heading) +
                                    (s.point[2] - first.point[2]) * std::cos(first.heading));
    }
    float back = (depth + 10) * static_cast<float>(place / slots);
    race_place_bike(bike, x + std::sin(heading) * back, z + std::cos(heading) * back, heading,
                    nullptr, 0);
}

// Rabbithill from the start gate's grid places, facing along the lap, up the start straight;
// every five seconds put back.
void bm_ride_rabbithill(benchmark::State& state) {
    setenv("QV_HOME", TB_GAME_DIR, 1);
    files_free();
    if (!track_load("rabbithill")) {
        state.SkipWithError("rabbithill did not load");
        return;
    }
    ride(state, "yz250f(2017)", place_in_field, 640, g_costs.ride);
    track_unload();
    files_free();
}
// Riding on rabbithill against the floor, for every field size both were run for.
void print_table() {
    bool header = false;
    for (int i = 0; i < k_field_count; i++) {
        double floor = g_costs.floor[i], ride = g_costs.ride[i];
        if (floor <= 0 || ride <= 0) continue;
        if (!header) {
            std::printf("\n%6s %14s %14s %7s %18s\n", "bikes", "floor us/bike", "ride us/bike",
                        "ratio", "real-time multiple");
            header = true;
        }
        int n = k_field_sizes[i];
        std::printf("%6d %14.2f %14.2f %7.2f %18.2f\n", n, floor * 1e6, ride * 1e6, ride / floor,
                    k_tic_length / (ride * n));
    }
}

// The benchmarks, each for every field size over whole ten-second spans: one for 40 bikes and
// more, as many as make 40 bike-spans for fewer.
void register_benchmarks() {
    struct entry {
        const char* name;
        void (*run)(benchmark::State&);
        int largest_field;
    };
    constexpr entry k_benchmarks[] = {
        {"bm_ride_tic", bm_ride_tic, 40},
        {"bm_floor", bm_floor, 160},
        {"bm_ride_rabbithill", bm_ride_rabbithill, 160},
    };
    for (const entry& e : k_benchmarks)
        for (int n : k_field_sizes)
            if (n <= e.largest_field)
                benchmark::RegisterBenchmark(e.name, e.run)
                    ->Arg(n)
                    ->Iterations(1280 * std::max(1, 40 / n))
                    ->Unit(benchmark::kMicrosecond);
}
} // namespace

int main(int argc, char** argv) {
    register_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    print_table();
    benchmark::Shutdown();
    return 0;
}
