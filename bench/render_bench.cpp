// Drawing rabbithill's race at 1280 x 720 through the game's own renderer: frames per second and
// milliseconds per frame with 1, 20 and 40 bikes, from the rider camera and the trackside view.
//
// render_bench [--frames N] [--shots FOLDER] [--bikes A,B,...]: stands the bikes along the lap,
// then draws N frames of each view as the game does and prints the frame rate, then N more that
// wait for the card after each phase, for the cost split into the set-up (sky, ground, lights),
// the bikes, and the rest of the frame with the swap. "cpu ms" is the processor time all threads
// spent per frame: on a shared machine the frame rate depends on the other programs, that not. With
// --shots, one picture of every view and bike count is saved as PNG, and close pictures of one bike
// from four sides. With
// --fugly the sky is left out, as the option leaves it out of the game.
#include "bench_shots.h"

#include "bike/bike.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "resources/gpu.h"
#include "resources/image.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_view.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {
constexpr int k_width = 1280, k_height = 720; // px
constexpr float k_fov = 90;                   // degrees

// Per-frame costs are medians: the machine is shared, and a frame that waited for another
// program says nothing about this one.
struct view_result {
    double frame_ms = 0, setup_ms = 0, bikes_ms = 0, rest_ms = 0;
    double cpu_ms = 0; // processor time of all the program's threads per frame (mean)
    int model_polygons = 0, ground_polygons = 0, texture_changes = 0;
};

// A race of `count` bikes on rabbithill, stood along the lap two abreast from the first gate on
// and left to settle on their wheels; the local rider, in the last slot, stands behind them all.
bool start_race(int count) {
    int* lineup = race_lineup();
    for (int i = 0; i < k_lineup_size; i++) lineup[i] = 0;
    for (int i = 0; i < count - 1; i++) lineup[i] = lineup_robot;
    lineup[count - 1] = lineup_local;
    race_start_params params;
    params.track = "rabbithill";
    params.laps = 3;
    if (!race_start(params) || gate_count() < 2) return false;
    std::vector<int> placed;
    for (int k = 0; k < count; k++) {
        const int slot = count - 1 - k;
        const int bike = race_slot(slot).bike;
        if (bike < 0) continue;
        const timing_gate& g = gate_at(gate_at_position(k / 2));
        const float dl = std::hypot(g.direction[0], g.direction[2]);
        const float dx = g.direction[0] / dl, dz = g.direction[2] / dl;
        const float side = k % 2 ? 4.0f : -4.0f;
        race_place_bike(bike, g.centre[0] - dz * side, g.centre[2] + dx * side,
                        std::atan2(-dx, -dz), placed.data(), static_cast<int>(placed.size()));
        placed.push_back(bike);
    }
    for (int t = 0; t < 2 * k_tics_per_second; t++) {
        for (int slot = 0; slot < count; slot++) {
            rider_input in;
            in.front_brake = in.rear_brake = 1;
            rider_input_set(slot, in);
        }
        race_world_tic();
    }
    return true;
}

// The trackside camera: the free camera beside the middle of the field, turned onto its rider.
void aim_free_camera(int slot) {
    const bike_vec3d at = bike_frame_position(race_slot(slot).bike);
    const bike_vec3d ahead = bike_forward(race_slot(slot).bike);
    track_camera& camera = free_camera();
    camera.position[0] = static_cast<float>(at.x - ahead.z * 30 - ahead.x * 20);
    camera.position[2] = static_cast<float>(at.z + ahead.x * 30 - ahead.z * 20);
    camera.position[1] = static_cast<float>(at.y) + 8;
    camera.fov = 60;
    camera_controls controls;
    controls.has_target = true;
    controls.cut = true;
    controls.target[0] = static_cast<float>(at.x);
    controls.target[1] = static_cast<float>(at.y);
    controls.target[2] = static_cast<float>(at.z);
    camera_operate(camera, controls);
}

void save_shot(const std::string& path) {
    save_picture(frame_pixels(k_width, k_height), k_width, k_height, path);
}

// A camera at `offset` from the bike (in the bike's own axes) looking at its middle.
scene_camera close_camera(int bike, bike_vec3d offset) {
    const bike_vec3d target = bike_body_position(bike, body_frame);
    bike_vec3d axes[3];
    for (int k = 0; k < 3; k++) axes[k] = bike_body_axis(bike, body_frame, k);
    scene_camera c;
    // Across and along the bike on the level, and straight up.
    const double eye[3] = {target.x + axes[0].x * offset.x + axes[2].x * offset.z,
                           target.y + offset.y,
                           target.z + axes[0].z * offset.x + axes[2].z * offset.z};
    double back[3] = {eye[0] - target.x, eye[1] - target.y, eye[2] - target.z};
    double l = std::sqrt(back[0] * back[0] + back[1] * back[1] + back[2] * back[2]);
    for (double& v : back) v /= l;
    double right[3] = {back[2], 0, -back[0]};
    double rl = std::hypot(right[0], right[2]);
    for (double& v : right) v /= rl;
    const double up[3] = {back[1] * right[2] - back[2] * right[1],
                          back[2] * right[0] - back[0] * right[2],
                          back[0] * right[1] - back[1] * right[0]};
    for (int k = 0; k < 3; k++) {
        c.eye[k] = static_cast<float>(eye[k]);
        c.rotation[3 * k] = static_cast<float>(right[k]);
        c.rotation[3 * k + 1] = static_cast<float>(up[k]);
        c.rotation[3 * k + 2] = static_cast<float>(back[k]);
    }
    c.fov = 50;
    return c;
}

// Close pictures of a bike from its sides, front and back, for looking at the models.
void close_shots(int bike, const std::string& folder) {
    const struct {
        const char* name;
        bike_vec3d offset;
    } views[] = {{"left", {-9, 1.5, 0}},
                 {"right", {9, 1.5, 0}},
                 {"front", {-3, 2, -9}},
                 {"back", {3, 3, 9}}};
    for (const auto& v : views) {
        int width, height;
        if (!platform().begin_frame(&width, &height)) continue;
        set_projection(width, height, 50);
        render_scene(close_camera(bike, v.offset));
        save_shot(folder + "/close_" + v.name + ".png");
        platform().end_frame();
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Draws the view `frames` times: first as the game does, for the frame rate, then waiting for
// the card after each phase, for the split of the cost.
double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

view_result draw_frames(int frames, bool trackside, int viewed, const std::string& shot) {
    view_result result;
    std::vector<double> total, setup, bikes, rest;
    double cpu_begun = 0;
    for (int pass = 0; pass < 2; pass++) {
        render_config().time_phases = pass == 1;
        for (int k = 0; k < frames + 1; k++) {
            int width, height;
            if (!platform().begin_frame(&width, &height)) continue;
            const auto begun = std::chrono::steady_clock::now();
            set_projection(width, height, k_fov);
            if (trackside)
                trackside_view(-1);
            else
                rider_camera_view(race_slot(viewed).bike, viewed, k_fov);
            const render_stats stats = render_statistics();
            if (k == 0 && pass == 0 && !shot.empty()) save_shot(shot);
            platform().end_frame();
            // The offscreen swap does not wait for the card; a shown frame would.
            glFinish();
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begun)
                    .count();
            // The first frame builds the ground's lists and loads nothing else; it is not counted.
            if (k == 0) {
                if (pass == 0) cpu_begun = cpu_seconds();
                continue;
            }
            if (pass == 0 && k == frames)
                result.cpu_ms = (cpu_seconds() - cpu_begun) * 1000 / frames;
            if (pass == 0) {
                total.push_back(ms);
                continue;
            }
            setup.push_back(stats.setup_ms);
            bikes.push_back(stats.bikes_ms);
            rest.push_back(ms - stats.setup_ms - stats.bikes_ms);
            result.model_polygons = stats.model_polygons;
            result.ground_polygons = stats.ground_polygons;
            result.texture_changes = stats.texture_changes;
        }
    }
    render_config().time_phases = false;
    result.frame_ms = median(total);
    result.setup_ms = median(setup);
    result.bikes_ms = median(bikes);
    result.rest_ms = median(rest);
    return result;
}
} // namespace

int main(int argc, char** argv) {
    int frames = 60;
    std::string shots;
    std::vector<int> counts = {1, 20, 40};
    bool fugly = false;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--frames") && i + 1 < argc) {
            frames = std::max(1, atoi(argv[++i]));
        } else if (!strcmp(argv[i], "--shots") && i + 1 < argc) {
            shots = argv[++i];
        } else if (!strcmp(argv[i], "--fugly")) {
            fugly = true;
        } else if (!strcmp(argv[i], "--bikes") && i + 1 < argc) {
            counts.clear();
            for (const char* p = argv[++i]; *p; p += strcspn(p, ","), p += *p == ',')
                counts.push_back(std::clamp(atoi(p), 1, k_max_riders));
        } else {
            fprintf(stderr,
                    "usage: render_bench [--frames N] [--shots FOLDER] [--bikes A,B] [--fugly]\n");
            return 1;
        }
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    const std::filesystem::path home = std::filesystem::temp_directory_path() / "render_bench";
    std::filesystem::create_directories(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("QV_HOME", TB_GAME_DIR, 1);
    platform_use(k_platform_sdl);
    // The game's own window: 16-bit colour and depth unless the command line asks otherwise.
    if (!platform().create_window("render bench", k_width, k_height, 16, 16)) return 1;
    int w, h;
    platform().begin_frame(&w, &h);
    resources_set_gpu(&k_resources_gpu_gl);
    gl_features_init(false);
    render_config().fugly = fugly;
    file_index();
    track_list_scan();
    world_create();
    bike_set_resource_loader(&k_bike_loader_caches);
    if (!shots.empty()) std::filesystem::create_directories(shots);
    printf("drawing rabbithill at %d x %d, %d frames a view, on %s\n", k_width, k_height, frames,
           reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    printf("%5s %-9s %7s %8s %8s %8s %8s %8s %9s %8s %6s\n", "bikes", "view", "fps", "ms/frame",
           "cpu ms", "setup", "bikes", "rest", "ms/bike", "models", "ground");
    for (int count : counts) {
        if (!start_race(count)) {
            fprintf(stderr, "rabbithill did not load\n");
            return 1;
        }
        for (bool trackside : {false, true}) {
            if (trackside) aim_free_camera(count / 2);
            const char* name = trackside ? "trackside" : "rider";
            std::string shot =
                shots.empty() ? "" : shots + "/" + name + "_" + std::to_string(count) + ".png";
            view_result r = draw_frames(frames, trackside, count - 1, shot);
            printf("%5d %-9s %7.1f %8.2f %8.2f %8.2f %8.2f %8.2f %9.3f %8d %6d\n", count, name,
                   1000 / r.frame_ms, r.frame_ms, r.cpu_ms, r.setup_ms, r.bikes_ms, r.rest_ms,
                   r.bikes_ms / count, r.model_polygons, r.ground_polygons);
        }
        if (!shots.empty() && count == counts.front()) close_shots(race_slot(0).bike, shots);
    }
    race_shutdown();
    world_destroy();
    track_unload();
    bike_tables_free();
    platform().destroy_window();
    resources_set_gpu(nullptr);
    files_free_all();
    return 0;
}
