// A small track written by the test and its ground loaded as the track loader does: heights and
// their level of detail, the method, shading, surfaces, tile map and the ground's textures.
#pragma once

#include "terrain_fixture.h"

#include "resources/image.h"
#include "resources/texture.h"
#include "terrain/ground_local.h"
#include "terrain/ground_shading.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

struct GroundTest : TerrainFilesTest {
    void SetUp() override {
        TerrainFilesTest::SetUp();
        ground_shading_free();
        ground_set_gpu(nullptr);
        ground_set_texture_loader(nullptr);
        ground_configure(ground_settings{});
        ground_set_decals(nullptr);
    }
    void TearDown() override {
        ground_free();
        ground_shading_free();
        ground_set_decals(nullptr);
        ground_set_gpu(nullptr);
        ground_set_texture_loader(texture_load);
        ground_configure(ground_settings{});
        TerrainFilesTest::TearDown();
    }

    // Rolling ground with bumps of every size, so that every level has some error.
    static float rolling(float x, float z) {
        return 6 + 3 * std::sin(x / 23) * std::cos(z / 31) + 0.8f * std::sin(x / 5.3f + z / 7.1f) +
               0.15f * std::sin(x * 1.7f) * std::sin(z * 2.3f);
    }

    // Writes "trk": heights from `height`, shading of `shade` everywhere, two surfaces (a
    // reddish and a greenish picture) painted in stripes of `stripe` ground cells along x.
    void write_track(int e, float cell, const std::function<float(float, float)>& height,
                     uint8_t shade = 128, int stripe = 3) {
        const int n = (1 << (e + 1)) + 1;
        float lo = 1e30f, hi = -1e30f;
        std::vector<float> h(static_cast<size_t>(n) * n);
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++) {
                float v = height(static_cast<float>(i) * cell, static_cast<float>(j) * cell);
                h[static_cast<size_t>(j) * n + i] = v;
                lo = std::min(lo, v), hi = std::max(hi, v);
            }
        if (hi <= lo) hi = lo + 1;
        char header[128];
        snprintf(header, sizeof header, "%d %f %f %f\n:", e, cell, lo, hi);
        std::string bytes = header;
        for (float v : h) {
            const long s = std::lround((v - lo) / (hi - lo) * 65535);
            bytes += static_cast<char>(s & 0xFF);
            bytes += static_cast<char>(s >> 8);
        }
        write(data / "trk/terrain.hf", bytes);
        std::string ppm = "P6\n" + std::to_string(n) + " " + std::to_string(n) + "\n255\n";
        ppm.append(static_cast<size_t>(n) * n * 3, static_cast<char>(shade));
        write(data / "trk/shadingx2.ppm", ppm);
        write(data / "trk/red.ppm", picture(200, 60, 40));
        write(data / "trk/green.ppm", picture(40, 160, 60));
        write(data / "trk/tileinfo",
              "texture @trk/red.ppm\naddtile\ntexture @trk/green.ppm\naddtile\n");
        const int tiles = 1 << e;
        std::string map(static_cast<size_t>(tiles) * tiles, '\0');
        for (int z = 0; z < tiles; z++)
            for (int x = 0; x < tiles; x++)
                map[static_cast<size_t>(z) * tiles + x] = static_cast<char>((x / stripe) & 1);
        write(data / "trk/tilemap", map);
    }

    // A 16 x 16 picture of one colour with a lighter cross, so that its middle differs from its
    // edges.
    static std::string picture(int r, int g, int b) {
        std::string p = "P6\n16 16\n255\n";
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++) {
                const int lift = (x == 8 || y == 8) ? 40 : 0;
                p += static_cast<char>(std::min(r + lift, 255));
                p += static_cast<char>(std::min(g + lift, 255));
                p += static_cast<char>(std::min(b + lift, 255));
            }
        return p;
    }

    // The track loader's ground steps.
    static bool load_track_ground() {
        if (!height_field_load("trk")) return false;
        ground_lod_build();
        ground_method_choose();
        if (!ground_shading_load("trk", ground().field.samples_per_side)) return false;
        if (!surface_types_load("trk") || !tilemap_load("trk")) return false;
        ground_normals_create();
        return ground_data_textures_create() && ground_lod_textures_create();
    }

    // One frame as the scene draws it: the view, the texture work, the drawing.
    static void frame(float x, float y, float z, const float view[3] = nullptr) {
        const float eye[3] = {x, y, z};
        const float down[3] = {0, -1, 0};
        ground_set_view(eye, view ? view : down, 1);
        ground_texture_update();
        ground_draw();
    }
};
