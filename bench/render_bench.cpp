// Drawing rabbithill's race at 1280 x 720 through the game's own renderer: frames per second and
// milliseconds per frame with 1, 20 and 40 bikes, from the rider camera and the trackside view,
// with the track's objects and the dirt the bikes' spinning rear wheels throw; billboards drawn
// and texture binds per frame.
//
// render_bench [--frames N] [--shots FOLDER] [--bikes A,B,...]: stands the bikes along the lap,
// then draws N frames of each view as the game does and prints the frame rate, then N more that
// wait for the card after each phase, for the cost split into the set-up (sky, ground, lights),
// the bikes, and the rest of the frame with the swap. "cpu ms" is the processor time all threads
// spent per frame: on a shared machine the frame rate depends on the other programs, that not. With
// --shots, one picture of every view and bike count is saved as PNG, and close pictures of one bike
// from four sides. With
// --fugly the sky is left out, as the option leaves it out of the game. With --shots the start of
// a race is pictured too: the gate from the rider's seat and from beside the track, and the finish
// with the script's scoreboard and flag while the robots race.
//
// Then, for each way of composing the ground's textures, a rider's eye laps rabbithill along its
// timing gates at riding speed: the ground alone (its mesh refinement, texture update and
// drawing, each waited for) and the whole scene with 20 bikes, with the textures composed per
// frame once the first second is past. With --shots, pictures along the lap are saved too.
// --lap-frames N sets the lap's frames (0 leaves the laps out), --lap-method NAME laps with one
// method only. --shaders draws with the shader programs, the ground lit per pixel ("Shaders/
// Direct"), and laps with the two shader methods; without it the fixed-function pipeline draws.
#include "bench_shots.h"

#include "bike/bike.h"
#include "core/frame_record.h"
#include "core/view.h"
#include "files/data_file.h"
#include "files/files.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "render/shaders.h"
#include "resources/gpu.h"
#include "resources/image.h"
#include "terrain/ground_gpu.h"
#include "terrain/roost.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_objects.h"
#include "track/track_script.h"
#include "track/track_view.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
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
// The drawing settings the benchmark changes beside the game's own.
struct bench_drawing {
    bool fugly = false;
    bool time_phases = false;
};
bench_drawing g_drawing;

// One frame of the world from a camera, as the game builds and draws it.
void draw_world(const scene_camera& camera) {
    render_frame frame = world_frame(camera);
    frame.settings.fugly = g_drawing.fugly;
    frame.settings.time_phases = g_drawing.time_phases;
    world_prepare(frame);
    render_scene(frame);
}

constexpr int k_width = 1280, k_height = 720; // px
constexpr float k_fov = 90;                   // degrees

// Per-frame costs are medians: the machine is shared, and a frame that waited for another
// program says nothing about this one.
struct view_result {
    double frame_ms = 0, setup_ms = 0, bikes_ms = 0, rest_ms = 0;
    double cpu_ms = 0; // processor time of all the program's threads per frame (mean)
    int model_polygons = 0, ground_polygons = 0, texture_changes = 0, billboards = 0;
};

// A race of `count` bikes on rabbithill, stood along the lap two abreast from the first gate on
// and left to settle on their wheels; the local rider, in the last slot, stands behind them all.
bool start_race(int count) {
    int lineup[k_lineup_size] = {};
    for (int i = 0; i < count - 1; i++) lineup[i] = lineup_robot;
    lineup[count - 1] = lineup_local;
    race_lineup_set(lineup, k_lineup_size);
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
    // Settled on their wheels, then held on the front brake with the throttle open for the last
    // half second: the rear wheels spin and throw dirt, which is in the air when the frames are
    // drawn.
    const int settle = 2 * k_tics_per_second, spin = k_tics_per_second / 2;
    for (int t = 0; t < settle + spin; t++) {
        for (int slot = 0; slot < count; slot++) {
            rider_input in;
            in.front_brake = 1;
            in.rear_brake = t < settle ? 1 : 0;
            in.throttle = t < settle ? 0 : 1;
            rider_input_set(slot, in);
        }
        race_world_tic();
    }
    return true;
}

void save_shot(const std::string& path);
scene_camera close_camera(int bike, vec3d offset);
void finish_shots(const std::string& folder);

// The start of a race on the grid: the gate from the local rider's seat and from beside the
// front row.
void gate_shots(const std::string& folder) {
    int lineup[k_lineup_size] = {};
    for (int i = 0; i < 20; i++) lineup[i] = lineup_robot;
    lineup[7] = lineup_local;
    race_lineup_set(lineup, k_lineup_size);
    race_start_params params;
    params.track = "rabbithill";
    params.laps = 3;
    if (!race_start(params)) return;
    for (int t = 0; t < k_tics_per_second; t++) race_world_tic();
    int width, height;
    if (!platform().begin_frame(&width, &height)) return;
    set_projection(width, height, k_fov);
    draw_world(rider_camera_of(race_slot(7).bike, 7, k_fov));
    save_shot(folder + "/gate_rider.png");
    platform().end_frame();
    const int bike = race_slot(7).bike;
    if (platform().begin_frame(&width, &height)) {
        set_projection(width, height, 60);
        draw_world(close_camera(bike, {-30, 8, -25}));
        save_shot(folder + "/gate_side.png");
        platform().end_frame();
    }
    finish_shots(folder);
}

// The trackside camera: the free camera beside the middle of the field, turned onto its rider.
void aim_free_camera(int slot) {
    const vec3d at = bike_frame_position(race_slot(slot).bike);
    const vec3d ahead = bike_forward(race_slot(slot).bike);
    track_camera camera = free_camera();
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
    free_camera_set(camera);
    track_camera_operate(-1, controls);
}

void save_shot(const std::string& path) {
    save_picture(frame_pixels(k_width, k_height), k_width, k_height, path);
}

// A camera at `eye` looking at `target`, level across.
scene_camera look_at(const double eye[3], const double target[3], float fov) {
    scene_camera c;
    double back[3] = {eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]};
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
    c.fov = fov;
    return c;
}

// A camera at `offset` from the bike (in the bike's own axes) looking at its middle.
scene_camera close_camera(int bike, vec3d offset) {
    const vec3d target = bike_body_position(bike, body_frame);
    vec3d axes[3];
    for (int k = 0; k < 3; k++) axes[k] = bike_body_axis(bike, body_frame, k);
    // Across and along the bike on the level, and straight up.
    const double eye[3] = {target.x + axes[0].x * offset.x + axes[2].x * offset.z,
                           target.y + offset.y,
                           target.z + axes[0].z * offset.x + axes[2].z * offset.z};
    const double at[3] = {target.x, target.y, target.z};
    return look_at(eye, at, 50);
}

// The finish as the track's script dresses it: the scoreboard card and the flag statue, seen
// from across the track while the robots race, early on and again after the leader's first lap.
void finish_shots(const std::string& folder) {
    const billboard* board = nullptr;
    for (int i = billboard_first_file(); i < billboard_count(); i++)
        if (billboard_texture_name(i) == "@objects/scoreboard.seq") board = &billboards()[i];
    const statue* flag = nullptr;
    for (int i = statue_first_file(); i < statue_count(); i++)
        if (statues()[i].model_name == "@objects/flag.jm") flag = &statues()[i];
    if (!board || !flag) {
        fprintf(stderr, "rabbithill has no scoreboard or flag\n");
        return;
    }
    const double middle[3] = {(board->x + flag->x) * 0.5, (board->y + flag->y) * 0.5 + 6,
                              (board->z + flag->z) * 0.5};
    const double across[2] = {board->z - flag->z, -(board->x - flag->x)};
    const double l = std::hypot(across[0], across[1]);
    for (const int race_seconds : {25, 200}) {
        while (race_clock() < race_seconds * k_tics_per_second) race_world_tic();
        // From both sides of the track, then close to the flag.
        for (const int side : {1, -1, 0}) {
            const double near_flag[3] = {flag->x + across[0] / l * 16, flag->y + 11,
                                         flag->z + across[1] / l * 16};
            const double flag_top[3] = {flag->x, flag->y + 9.5, flag->z};
            const double far[3] = {middle[0] + side * across[0] / l * 70, middle[1] + 10,
                                   middle[2] + side * across[1] / l * 70};
            const double* eye = side ? far : near_flag;
            const double* target = side ? middle : flag_top;
            for (int frame = 0; frame < 3; frame++) {
                for (int t = 0; t < k_tics_per_second / 4; t++) race_world_tic();
                int width, height;
                if (!platform().begin_frame(&width, &height)) return;
                track_script_frame_handler(race_clock());
                set_projection(width, height, 60);
                draw_world(look_at(eye, target, 60));
                save_shot(folder + "/finish_" + std::to_string(race_seconds) + "s_" +
                          (side > 0   ? "a"
                           : side < 0 ? "b"
                                      : "flag") +
                          std::to_string(frame) + ".png");
                platform().end_frame();
            }
        }
    }
}

// Close pictures of a bike from its sides, front and back, for looking at the models.
void close_shots(int bike, const std::string& folder) {
    const struct {
        const char* name;
        vec3d offset;
    } views[] = {{"left", {-9, 1.5, 0}},
                 {"right", {9, 1.5, 0}},
                 {"front", {-3, 2, -9}},
                 {"back", {3, 3, 9}}};
    for (const auto& v : views) {
        int width, height;
        if (!platform().begin_frame(&width, &height)) continue;
        set_projection(width, height, 50);
        draw_world(close_camera(bike, v.offset));
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
        g_drawing.time_phases = pass == 1;
        for (int k = 0; k < frames + 1; k++) {
            int width, height;
            if (!platform().begin_frame(&width, &height)) continue;
            const auto begun = std::chrono::steady_clock::now();
            set_projection(width, height, k_fov);
            if (trackside)
                draw_world(trackside_camera_now(-1));
            else
                draw_world(rider_camera_of(race_slot(viewed).bike, viewed, k_fov));
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
            result.billboards = stats.billboards;
        }
    }
    g_drawing.time_phases = false;
    result.frame_ms = median(total);
    result.setup_ms = median(setup);
    result.bikes_ms = median(bikes);
    result.rest_ms = median(rest);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Lapping the track from a rider's eye.

constexpr float k_lap_speed = 40;    // ft/s along the lap
constexpr float k_eye_height = 4.5f; // ft above the ground
constexpr float k_frame_rate = 60;   // frames a second the lap is drawn at
constexpr float k_look_ahead = 12;   // ft ahead along the lap the eye looks at
constexpr int k_settle_frames = 60;  // frames before the composed textures are counted

// Points along the lap through every timing gate of the first and the normal lap, in order.
std::vector<std::array<float, 2>> lap_path() {
    std::vector<std::array<float, 2>> gates;
    const int positions = first_lap_length() + normal_lap_length();
    for (int p = 0; p < positions; p++) {
        const int g = gate_at_position(p);
        if (g < 0) break;
        gates.push_back({gate_at(g).centre[0], gate_at(g).centre[2]});
    }
    // Resampled a foot apart, the corners cut by averaging over a few feet.
    std::vector<std::array<float, 2>> even;
    for (size_t k = 0; k + 1 < gates.size(); k++) {
        const float dx = gates[k + 1][0] - gates[k][0], dz = gates[k + 1][1] - gates[k][1];
        const int steps = std::max(1, static_cast<int>(std::hypot(dx, dz)));
        for (int s = 0; s < steps; s++) {
            const float t = static_cast<float>(s) / static_cast<float>(steps);
            even.push_back({gates[k][0] + dx * t, gates[k][1] + dz * t});
        }
    }
    std::vector<std::array<float, 2>> smooth(even.size());
    constexpr int k_reach = 8;
    for (size_t k = 0; k < even.size(); k++) {
        float x = 0, z = 0;
        int used = 0;
        for (int o = -k_reach; o <= k_reach; o++) {
            const long at = static_cast<long>(k) + o;
            if (at < 0 || at >= static_cast<long>(even.size())) continue;
            x += even[at][0], z += even[at][1], used++;
        }
        smooth[k] = {x / static_cast<float>(used), z / static_cast<float>(used)};
    }
    return smooth;
}

// The eye `frame` frames into the lap, looking along it at the ground ahead.
scene_camera lap_camera(const std::vector<std::array<float, 2>>& path, int frame) {
    scene_camera c;
    c.fov = k_fov;
    if (path.size() < 2) return c;
    const size_t count = path.size();
    const size_t at =
        static_cast<size_t>(static_cast<float>(frame) * k_lap_speed / k_frame_rate) % count;
    const auto& here = path[at];
    const auto& ahead = path[(at + static_cast<size_t>(k_look_ahead)) % count];
    c.eye[0] = here[0];
    c.eye[2] = here[1];
    c.eye[1] = ground_height_at(here[0], here[1]) + k_eye_height;
    float look[3] = {ahead[0] - here[0],
                     ground_height_at(ahead[0], ahead[1]) + k_eye_height * 0.5f - c.eye[1],
                     ahead[1] - here[1]};
    const float l = std::sqrt(look[0] * look[0] + look[1] * look[1] + look[2] * look[2]);
    if (l <= 0) return c;
    const float back[3] = {-look[0] / l, -look[1] / l, -look[2] / l};
    float right[3] = {back[2], 0, -back[0]};
    const float rl = std::hypot(right[0], right[2]);
    if (rl <= 0) return c;
    right[0] /= rl, right[2] /= rl;
    const float up[3] = {back[1] * right[2] - back[2] * right[1],
                         back[2] * right[0] - back[0] * right[2],
                         back[0] * right[1] - back[1] * right[0]};
    for (int k = 0; k < 3; k++) {
        c.rotation[3 * k] = right[k];
        c.rotation[3 * k + 1] = up[k];
        c.rotation[3 * k + 2] = back[k];
    }
    return c;
}

double ms_since(std::chrono::steady_clock::time_point begun) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begun)
        .count();
}

struct lap_result {
    double update_ms = 0, mesh_ms = 0, draw_ms = 0, ground_ms = 0; // medians, the ground alone
    double scene_ms = 0;                                           // median, the whole scene
    double ground_cpu_ms = 0, scene_cpu_ms = 0; // processor time of all threads a frame (mean)
    double composed = 0; // textures composed per frame after the first second
    int most_composed = 0;
    int polygons = 0;
};

// Laps with the ground alone, each of its parts waited for, then with the whole scene.
lap_result ride_lap(int frames, const std::string& shots, const char* method) {
    lap_result result;
    const std::vector<std::array<float, 2>> path = lap_path();
    std::vector<double> update, mesh, draw, ground, scene;
    long composed = 0;
    for (int pass = 0; pass < 2; pass++) {
        double cpu_begun = 0;
        for (int k = 0; k < frames; k++) {
            if (k == k_settle_frames) cpu_begun = cpu_seconds();
            int width, height;
            if (!platform().begin_frame(&width, &height)) continue;
            const scene_camera c = lap_camera(path, k);
            if (pass == 1) {
                glFinish();
                const auto begun = std::chrono::steady_clock::now();
                draw_world(c);
                platform().end_frame();
                glFinish();
                scene.push_back(ms_since(begun));
                if (!shots.empty() && k % (frames / 6 + 1) == frames / 12)
                    save_shot(shots + "/lap_" + method + "_" + std::to_string(k) + ".png");
                continue;
            }
            set_projection(width, height, c.fov);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            const float view[3] = {-c.rotation[2], -c.rotation[5], -c.rotation[8]};
            glFinish();
            auto begun = std::chrono::steady_clock::now();
            const view_tangents t = tangents_for(width, height, c.fov);
            const float tangent = std::sqrt(t.tx * t.tx + t.ty * t.ty);
            ground_set_view(c.eye, view, tangent);
            ground_texture_update();
            glFinish();
            const double update_ms = ms_since(begun);
            begun = std::chrono::steady_clock::now();
            ground_mesh_build_alone(c.eye, view, tangent);
            const double mesh_ms = ms_since(begun);
            const float* r = c.rotation;
            const float m[16] = {r[0], r[1], r[2], 0, r[3], r[4], r[5], 0,
                                 r[6], r[7], r[8], 0, 0,    0,    0,    1};
            glLoadMatrixf(m);
            glTranslatef(-c.eye[0], -c.eye[1], -c.eye[2]);
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GL_ALWAYS);
            begun = std::chrono::steady_clock::now();
            ground_draw();
            glFinish();
            const double draw_ms = ms_since(begun);
            platform().end_frame();
            if (k < k_settle_frames) continue;
            update.push_back(update_ms);
            mesh.push_back(mesh_ms);
            draw.push_back(draw_ms - mesh_ms);
            ground.push_back(update_ms + draw_ms);
            composed += ground_stats().textures_composed;
            result.most_composed = std::max(result.most_composed, ground_stats().textures_composed);
            result.polygons = std::max(result.polygons, ground_stats().polygons);
        }
        const double cpu_ms =
            (cpu_seconds() - cpu_begun) * 1000 / std::max(frames - k_settle_frames, 1);
        (pass == 0 ? result.ground_cpu_ms : result.scene_cpu_ms) = cpu_ms;
    }
    result.update_ms = median(update);
    result.mesh_ms = median(mesh);
    result.draw_ms = median(draw);
    result.ground_ms = median(ground);
    result.scene_ms = median(scene);
    const int counted = std::max(frames - k_settle_frames, 1);
    result.composed = static_cast<double>(composed) / counted;
    return result;
}
} // namespace

int main(int argc, char** argv) {
    int frames = 60;
    std::string shots;
    std::vector<int> counts = {1, 20, 40};
    bool fugly = false, shaders = false;
    int lap_frames = 1200;
    std::string lap_method; // all of them when empty
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--frames") && i + 1 < argc) {
            frames = std::max(1, atoi(argv[++i]));
        } else if (!strcmp(argv[i], "--shots") && i + 1 < argc) {
            shots = argv[++i];
        } else if (!strcmp(argv[i], "--lap-method") && i + 1 < argc) {
            lap_method = argv[++i];
        } else if (!strcmp(argv[i], "--lap-frames") && i + 1 < argc) {
            lap_frames = std::max(0, atoi(argv[++i]));
        } else if (!strcmp(argv[i], "--fugly")) {
            fugly = true;
        } else if (!strcmp(argv[i], "--shaders")) {
            shaders = true;
        } else if (!strcmp(argv[i], "--bikes") && i + 1 < argc) {
            counts.clear();
            for (const char* p = argv[++i]; *p; p += strcspn(p, ","), p += *p == ',')
                counts.push_back(std::clamp(atoi(p), 1, k_max_riders));
        } else {
            fprintf(
                stderr,
                "usage: render_bench [--frames N] [--shots FOLDER] [--bikes A,B] [--lap-frames N] "
                "[--lap-method software|copy|framebuffer|shaders-copy|shaders-direct] [--fugly] "
                "[--shaders]\n");
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
    ground_set_gpu(&k_ground_gpu_gl);
    gl_features_init(false);
    if (shaders && !shaders_build(true)) {
        fprintf(stderr, "the shader programs could not be built (%s)\n", shaders_failure().c_str());
        return 1;
    }
    ground_settings ground = ground_config();
    ground.shader_programs = shaders_in_use();
    if (shaders) ground.render_texture = 4;
    ground_configure(ground);
    g_drawing.fugly = fugly;
    file_index();
    track_list_scan();
    world_create();
    bike_set_resource_loader(&k_bike_loader_caches);
    if (!shots.empty()) std::filesystem::create_directories(shots);
    printf("drawing rabbithill at %d x %d, %d frames a view, on %s, %s\n", k_width, k_height,
           frames, reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
           shaders ? "shader programs, the ground lit per pixel" : "fixed-function pipeline");
    printf("%5s %-9s %7s %8s %8s %8s %8s %8s %9s %8s %6s %6s %6s %6s\n", "bikes", "view", "fps",
           "ms/frame", "cpu ms", "setup", "bikes", "rest", "ms/bike", "models", "ground", "cards",
           "binds", "roost");
    if (!shots.empty()) gate_shots(shots);
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
            printf("%5d %-9s %7.1f %8.2f %8.2f %8.2f %8.2f %8.2f %9.3f %8d %6d %6d %6d %6d\n",
                   count, name, 1000 / r.frame_ms, r.frame_ms, r.cpu_ms, r.setup_ms, r.bikes_ms,
                   r.rest_ms, r.bikes_ms / count, r.model_polygons, r.ground_polygons, r.billboards,
                   r.texture_changes, roost_active_count());
        }
        if (!shots.empty() && count == counts.front()) close_shots(race_slot(0).bike, shots);
    }
    // The lap, once for every way of composing the ground's textures: the track is loaded
    // again, as a change of the setting does in the game.
    constexpr struct {
        int render_texture;
        const char* name;
        bool shaders;
    } k_methods[] = {{0, "software", false},
                     {1, "copy", false},
                     {2, "framebuffer", false},
                     {3, "shaders-copy", true},
                     {4, "shaders-direct", true}};
    if (lap_frames > 0) {
        printf("\nlapping rabbithill at %.0f ft/s, %d frames, ground textures %d texels, "
               "texture levels from %d; ground alone (ms, medians) and the whole scene with 20 "
               "bikes\n",
               k_lap_speed, lap_frames, ground_config().texture_size, ground_config().texture_skip);
        printf("%-12s %8s %8s %8s %8s %8s %9s %6s %7s %9s %8s %6s\n", "method", "update", "mesh",
               "draw", "ground", "cpu ms", "composed", "most", "polys", "scene ms", "cpu ms",
               "fps");
    }
    for (const auto& m : k_methods) {
        if (lap_frames == 0) break;
        if (!lap_method.empty() && lap_method != m.name) continue;
        if (m.shaders != shaders) continue;
        {
            ground_settings g = ground_config();
            g.render_texture = m.render_texture;
            ground_configure(g);
        }
        track_unload();
        if (!start_race(20)) {
            fprintf(stderr, "rabbithill did not load\n");
            return 1;
        }
        const lap_result r = ride_lap(lap_frames, shots, m.name);
        printf("%-12s %8.2f %8.2f %8.2f %8.2f %8.2f %9.2f %6d %7d %9.2f %8.2f %6.1f\n", m.name,
               r.update_ms, r.mesh_ms, r.draw_ms, r.ground_ms, r.ground_cpu_ms, r.composed,
               r.most_composed, r.polygons, r.scene_ms, r.scene_cpu_ms, 1000 / r.scene_ms);
    }
    race_shutdown();
    world_destroy();
    track_unload();
    bike_tables_free();
    shaders_free();
    platform().destroy_window();
    resources_set_gpu(nullptr);
    ground_set_gpu(nullptr);
    files_free();
    return 0;
}
