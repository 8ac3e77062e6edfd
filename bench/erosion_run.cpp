// Ruts on rabbithill: the scripted rider races robots on it with erosion on, and the run prints
// what the sampling, the queue drain and the reshading cost against the race tic, and what the
// ground looks like afterwards (the deepest rut, the dirt moved, the ridden line against the
// ground as loaded, and any sample deeper than its surface's depth table allows).
//
// erosion_run [--robots] [riders [laps [rate [FOLDER]]]]: riders 1-160 (10, the scripted rider
// and robots; with --robots robots only, on the expert lines), laps the first rider rides (10),
// rate as "--erode" (1). With a folder, the run draws through the game's renderer (SDL's offscreen
// driver unless SDL_VIDEODRIVER says otherwise) and saves the rider camera's view of the deepest
// rut as the race left it ("rutted.png") and of the same ground as loaded ("loaded.png"), and
// prints how much the two pictures differ.
#include "bench_shots.h"

#include "bike/bike.h"

#include "common/common.h"
#include "core/frame_record.h"
#include "core/view.h"
#include "files/data_file.h"
#include "platform/platform.h"
#include "race/scripted_rider.h"
#include "race/race.h"
#include "race/race_timing.h"
#include "race/robot_lines.h"
#include "render/render.h"
#include "resources/gpu.h"
#include "terrain/erosion.h"
#include "terrain/ground_gpu.h"
#include "terrain/terrain.h"
#include "track/track.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {
double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// The depth below which a surface's table lets nothing more be dug (a and b both 0 there),
// infinite when the table never stops digging.
float table_floor(const erosion_params& e) {
    for (int k = 0; k < std::min(e.limit_count, k_erode_limits); k++)
        if (e.limit_a[k] <= 0 && e.limit_b[k] <= 0) return e.limit_depth[k];
    return INFINITY;
}

struct ground_report {
    float deepest = 0; // ft below the ground as loaded
    float deepest_x = 0, deepest_z = 0;
    float highest_heap = 0; // ft above it
    int over_table = 0;     // samples deeper than their surface's table allows
    float worst_excess = 0; // ft beyond it
};

ground_report survey() {
    ground_report r;
    const height_field& f = ground().field;
    const int n = f.samples_per_side;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            const size_t k = static_cast<size_t>(j) * n + i;
            const float x = static_cast<float>(i) * f.cell_size,
                        z = static_cast<float>(j) * f.cell_size;
            const float depth = f.loaded_heights[k] - f.heights[k];
            if (depth > r.deepest) r.deepest = depth, r.deepest_x = x, r.deepest_z = z;
            r.highest_heap = std::max(r.highest_heap, -depth);
            const float floor = table_floor(surface_type_get(surface_type_at(x, z)).erosion);
            if (depth > floor + 1e-4f) {
                r.over_table++;
                r.worst_excess = std::max(r.worst_excess, depth - floor);
            }
        }
    return r;
}
constexpr int k_width = 960, k_height = 540; // px
constexpr float k_fov = 90;                  // degrees

// The game's window and drawing, for the pictures.
bool open_drawing() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    const std::filesystem::path home = std::filesystem::temp_directory_path() / "erosion_run";
    std::filesystem::create_directories(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    platform_use(k_platform_sdl);
    if (!platform().create_window("erosion run", k_width, k_height, 16, 16)) return false;
    int w, h;
    platform().begin_frame(&w, &h);
    resources_set_gpu(&k_resources_gpu_gl);
    ground_set_gpu(&k_ground_gpu_gl);
    gl_features_init(false);
    bike_set_resource_loader(&k_bike_loader_caches);
    return true;
}

// The rider's view once the ground's mesh and every texture the ruts put out of date are
// brought up to date (a frame composes one out-of-date texture, so frames are drawn until none
// is left); the last frame's pixels.
std::vector<unsigned char> rider_view(int slot) {
    std::vector<unsigned char> picture;
    ground_refresh_full();
    for (int k = 0; k < 4000; k++) {
        int width, height;
        if (!platform().begin_frame(&width, &height)) continue;
        set_projection(width, height, k_fov);
        const render_frame frame = world_frame(rider_camera_of(race_slot(slot).bike, slot, k_fov));
        world_prepare(frame);
        render_scene(frame);
        const ground_statistics& stats = ground_stats();
        const bool settled = k > 1 && stats.texture_age == 0 && stats.reshades_pending == 0 &&
                             stats.textures_composed == 0;
        if (settled) picture = frame_pixels(k_width, k_height);
        platform().end_frame();
        if (settled) break;
        ground_refresh_full();
    }
    return picture;
}

// Stands slot 0's bike on the ridden line 15 ft before the deepest rut, facing along the line,
// and saves its rider's view of the ruts, then of the ground as loaded.
void take_pictures(const std::vector<float>& line, int riders, const ground_report& r,
                   const std::string& folder) {
    // The recorded line point nearest the rut, and where the same rider was 16 tics later.
    size_t best = 0;
    float best_d = INFINITY;
    const size_t stride = 2 * static_cast<size_t>(riders);
    for (size_t k = 0; k + stride + 1 < line.size(); k += 2) {
        float d = std::hypot(line[k] - r.deepest_x, line[k + 1] - r.deepest_z);
        if (d < best_d) best_d = d, best = k;
    }
    if (line.size() < stride + 2) return;
    float dx = line[best + stride] - line[best], dz = line[best + stride + 1] - line[best + 1];
    const float dl = std::hypot(dx, dz);
    if (dl <= 0) return;
    dx /= dl, dz /= dl;
    const int bike = race_slot(0).bike;
    race_place_bike(bike, r.deepest_x - 15 * dx, r.deepest_z - 15 * dz, std::atan2(-dx, -dz),
                    nullptr, 0);
    std::filesystem::create_directories(folder);
    const std::vector<unsigned char> rutted = rider_view(0);
    save_picture(rutted, k_width, k_height, folder + "/rutted.png");
    // The same view over the ground as loaded: only the changed samples go back (and are
    // reshaded), so both pictures share the shading of the ground that never changed.
    const height_field& f = ground().field;
    const int n = f.samples_per_side;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            const size_t k = static_cast<size_t>(j) * n + i;
            if (f.heights[k] == f.loaded_heights[k]) continue;
            ground_set_height(i, j, f.loaded_heights[k]);
            ground_mark_dirty(i, j, i, j);
        }
    const std::vector<unsigned char> loaded = rider_view(0);
    save_picture(loaded, k_width, k_height, folder + "/loaded.png");
    if (rutted.size() != loaded.size() || rutted.empty()) return;
    long changed = 0;
    double total = 0;
    for (size_t k = 0; k < rutted.size(); k += 3) {
        int d = 0;
        for (int c = 0; c < 3; c++) d = std::max(d, std::abs(rutted[k + c] - loaded[k + c]));
        changed += d > 8;
        total += d;
    }
    std::printf("rider camera at (%.1f, %.1f): %.1f%% of the pixels differ by more than 8 levels "
                "between the rutted and the loaded ground (mean %.2f levels); pictures in %s\n",
                r.deepest_x - 15 * dx, r.deepest_z - 15 * dz,
                100.0 * changed / static_cast<double>(rutted.size() / 3),
                total / static_cast<double>(rutted.size() / 3), folder.c_str());
}
} // namespace

int main(int argc, char** argv) {
    const bool robots_only = argc > 1 && std::string(argv[1]) == "--robots";
    if (robots_only) {
        argc--;
        argv++;
    }
    const int riders = argc > 1 ? std::atoi(argv[1]) : 10;
    const int laps = argc > 2 ? std::atoi(argv[2]) : 10;
    const double rate = argc > 3 ? std::atof(argv[3]) : 1.0;
    if (riders < 1 || riders > 160 || laps < 1 || !(rate > 0 && rate <= 100)) {
        std::fprintf(stderr,
                     "usage: erosion_run [--robots] [riders 1-160 [laps [rate 0-100 [FOLDER]]]]\n");
        return 1;
    }
    const std::string shots = argc > 4 ? argv[4] : "";
    const int setting = static_cast<int>(std::floor(rate * 1024));
    setenv("QV_HOME", TB_GAME_DIR, 1);
    files_free();
    if (!shots.empty() && !open_drawing()) {
        std::fprintf(stderr, "no window to draw in\n");
        return 1;
    }
    track_list_scan();
    world_create();
    race_shutdown();
    int lineup[k_lineup_size] = {};
    // The scripted rider in the first place and robots on their auto pilot behind it, or robots
    // alone; the race runs until the first rider has ridden its laps, whether the others finish
    // or not.
    for (int i = 0; i < riders; i++) lineup[i] = lineup_robot;
    if (!robots_only) lineup[0] = lineup_local;
    race_start_params params;
    params.track = "rabbithill";
    params.laps = laps;
    if (robots_only) params.skill = k_skill_count - 1;
    if (!race_start_lineup(params, lineup, k_lineup_size)) {
        std::fprintf(stderr, "rabbithill did not load\n");
        return 1;
    }
    gate_follower follower;
    gate_follower_reset(follower);
    // Where the rear wheels rode, every 16 tics after the drop: the racing line.
    std::vector<float> line;
    double race_cost = 0, erosion_cost = 0, reshade_cost = 0;
    long tics = 0, frames = 0, bike_tics = 0;
    const int longest = race_gate_drop_tic() + laps * 300 * k_tics_per_second;
    int leader_laps = 0;
    while (race_clock() < longest && !race_results_done() && laps_completed(0) < laps) {
        const bool dropped = race_clock() >= race_gate_drop_tic();
        if (!robots_only)
            rider_input_set(0, dropped ? gate_follower_input(follower, race_slot(0).bike)
                                       : gate_follower_wait());
        // The race tic without the ruts, then the ruts of the same tic on their own clock.
        erosion_set_setting(-1);
        double t0 = cpu_seconds();
        race_world_tic();
        double t1 = cpu_seconds();
        erosion_set_setting(setting);
        const int tic = race_clock() - 1;
        for (int slot = 0; slot < riders; slot++) bike_cut_ruts(race_slot(slot).bike, tic);
        erosion_drain(tic, nullptr);
        double t2 = cpu_seconds();
        race_cost += t1 - t0;
        erosion_cost += t2 - t1;
        tics++;
        bike_tics += riders;
        // A frame about every other tic, its eye at the first rider: the frame's share of the
        // ground's refresh (mesh error, one data block every other frame) and the recomposition
        // of textures the ruts put out of date.
        if (tic % 2 == 0) {
            const vec3d eye = bike_body_position(race_slot(0).bike, body_frame);
            const float at[3] = {static_cast<float>(eye.x), static_cast<float>(eye.y) + 4,
                                 static_cast<float>(eye.z)};
            const float down[3] = {0, -1, 0};
            double t3 = cpu_seconds();
            ground_set_view(at, down, 1);
            ground_refresh(1);
            ground_texture_update();
            reshade_cost += cpu_seconds() - t3;
            frames++;
        }
        if (dropped && tic % 16 == 0)
            for (int slot = 0; slot < riders; slot++) {
                vec3d p = bike_body_position(race_slot(slot).bike, body_rear_wheel);
                line.push_back(static_cast<float>(p.x));
                line.push_back(static_cast<float>(p.z));
            }
        for (int slot = 0; slot < riders; slot++)
            leader_laps = std::max(leader_laps, laps_completed(slot));
    }
    const int queued_at_end = erosion_queue_count();
    for (int tic = race_clock(); erosion_queue_count() > 0; tic++) erosion_drain(tic, nullptr);

    const height_field& f = ground().field;
    const double cell_area = static_cast<double>(f.cell_size) * f.cell_size;
    const erosion_totals& moved = erosion_moved();
    const ground_report r = survey();
    double lowered = 0;
    int lower_count = 0;
    for (size_t k = 0; k + 1 < line.size(); k += 2) {
        const float x = line[k], z = line[k + 1];
        lowered += field_loaded_height_at(f, x, z) - field_height_at(f, x, z);
        lower_count++;
    }
    std::printf("%d riders, leader's laps %d, %.1f s of race, erosion rate %.3f (%d)\n", riders,
                leader_laps, tics * k_tic_length, rate, setting);
    std::printf("race tic %.2f us per bike-tic; sampling and draining %.3f us per bike-tic "
                "(%.2f%% of the race tic)\n",
                race_cost / bike_tics * 1e6, erosion_cost / bike_tics * 1e6,
                100 * erosion_cost / race_cost);
    std::printf("reshading %.1f us per frame (%.2f%% of the race tic's time per frame)\n",
                reshade_cost / std::max(frames, 1L) * 1e6,
                100 * reshade_cost / std::max(race_cost / tics * 2 * frames, 1e-12));
    std::printf("queue entries worked %d, left at the finish %d\n", moved.entries, queued_at_end);
    std::printf("deepest rut %.3f ft at (%.1f, %.1f); highest heap %.3f ft\n", r.deepest,
                r.deepest_x, r.deepest_z, r.highest_heap);
    std::printf("dirt dug %.3f ft3, heaped %.3f ft3, difference %.2e ft3\n",
                moved.removed * cell_area, moved.heaped * cell_area,
                (moved.removed - moved.heaped) * cell_area);
    std::printf("ridden line %.3f ft below the ground as loaded on average (%d points)\n",
                lower_count ? lowered / lower_count : 0.0, lower_count);
    std::printf("samples deeper than their depth table allows: %d (worst by %.4f ft)\n",
                r.over_table, r.worst_excess);
    if (!shots.empty()) take_pictures(line, riders, r, shots);
    race_shutdown();
    world_destroy();
    track_unload();
    if (!shots.empty()) {
        bike_tables_free();
        platform().destroy_window();
        resources_set_gpu(nullptr);
        ground_set_gpu(nullptr);
    }
    return 0;
}
