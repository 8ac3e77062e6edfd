// Ground queries as the wheel contacts use them: height, normal, triangles and surface type.
#include "terrain/terrain.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {
// A 1025 x 1025 field of rolling ground with four surface types, like a real track.
struct bench_ground {
    height_field field;
    surface_set surfaces;
    std::vector<float> xs, zs;

    bench_ground() {
        height_field_create(&field, 9, 1.25f, 0, 1);
        int n = field.samples_per_side;
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                field.heights[i + n * j] =
                    4.0f * std::sin(i * 0.031f) * std::cos(j * 0.027f) + 0.02f * j;
        height_field_loaded(&field);
        const char tileinfo[] =
            "friction 1 2\nfriction 1.2 30\nroll_resist 5 15 1\nroll_resist 8 20 40\naddtile\n"
            "friction 0.8 1\naddtile\nfriction 0.7 1\naddtile\naddtile\n";
        surface_types_parse_tileinfo(&surfaces, tileinfo, sizeof tileinfo - 1, nullptr);
        std::vector<uint8_t> map(512 * 512);
        for (size_t k = 0; k < map.size(); k++)
            map[k] = static_cast<uint8_t>((k * 2654435761u) >> 30);
        surface_set_tilemap(&surfaces, 9, 1.25f, map.data(), map.size());
        // Wheel-like positions: a path across the field with small steps, as a lap gives.
        uint32_t seed = 12345;
        float x = 300, z = 300;
        for (int k = 0; k < 4096; k++) {
            seed = seed * 1664525u + 1013904223u;
            x += static_cast<float>(seed >> 24) / 255.0f - 0.3f;
            z += static_cast<float>((seed >> 16) & 0xFF) / 255.0f - 0.3f;
            xs.push_back(x);
            zs.push_back(z);
        }
    }
    ~bench_ground() {
        height_field_free(&field);
        surface_set_free(&surfaces);
    }
};

bench_ground& ground_for_bench() {
    static bench_ground g;
    return g;
}

void bm_height_at(benchmark::State& state) {
    bench_ground& g = ground_for_bench();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(field_height_at(g.field, g.xs[k], g.zs[k]));
        k = (k + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(bm_height_at);

void bm_normal_at(benchmark::State& state) {
    bench_ground& g = ground_for_bench();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(field_normal_at(g.field, g.xs[k], g.zs[k]));
        k = (k + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(bm_normal_at);

void bm_vertex_normal_at(benchmark::State& state) {
    bench_ground& g = ground_for_bench();
    size_t k = 0;
    for (auto _ : state) {
        int i = static_cast<int>(g.xs[k] / 1.25f), j = static_cast<int>(g.zs[k] / 1.25f);
        benchmark::DoNotOptimize(field_vertex_normal_at(g.field, i, j));
        k = (k + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(bm_vertex_normal_at);

void count_triangle(const ground_triangle& t, void* context) {
    *static_cast<float*>(context) += t.corner[0].y;
}

// The square a 2.3 ft wheel visits each tic.
void bm_triangles_under_wheel(benchmark::State& state) {
    bench_ground& g = ground_for_bench();
    size_t k = 0;
    float sum = 0;
    for (auto _ : state) {
        field_triangles_in_square(g.field, g.xs[k] - 2.3f, g.zs[k] - 2.3f, g.xs[k] + 2.3f,
                                  g.zs[k] + 2.3f, count_triangle, &sum);
        k = (k + 1) & 4095;
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(bm_triangles_under_wheel);

void bm_surface_and_friction(benchmark::State& state) {
    bench_ground& g = ground_for_bench();
    size_t k = 0;
    for (auto _ : state) {
        int type = surface_set_type_at(g.surfaces, g.xs[k], g.zs[k]);
        float a, b;
        surface_roll_resist_at(g.surfaces.types[type], g.xs[k] * 0.05f, &a, &b);
        benchmark::DoNotOptimize(surface_friction_at(g.surfaces.types[type], g.zs[k] * 0.05f) + a +
                                 b);
        k = (k + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(bm_surface_and_friction);
} // namespace
