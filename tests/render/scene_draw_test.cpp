// Frames drawn under the offscreen driver on the generated rabbithill and read back: the sky
// where no bike stands, the bike where its body projects, what a failed model leaves out, the
// first-person rules, the simulation untouched by drawing, the title and the loading screen.
#include "bike/bike.h"
#include "bike/draw/bike_resources.h"
#include "common/common.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/robot_lines.h"
#include "render/render.h"
#include "render/shaders.h"
#include "resources/gpu.h"
#include "resources/image.h"
#include "resources/model.h"
#include "resources/resources.h"
#include "resources/texture.h"
#include "terrain/ground_gpu.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_view.h"

#include "support/data_set_home.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace {
constexpr int k_width = 320, k_height = 240; // px

// The drawing settings of the frames a test draws.
render_settings g_settings;

// The game's caches, except that no frame model loads.
int model_unless_frame(const char* name) {
    return std::strstr(name, "_frame") ? 0 : k_bike_loader_caches.load_model(name);
}
int texture_from_caches(const char* name) { return k_bike_loader_caches.load_texture(name); }
std::string info_from_caches(int texture) { return k_bike_loader_caches.texture_info(texture); }
int number_from_caches(const char* number, const int background[3], const int foreground[3]) {
    return k_bike_loader_caches.number_texture(number, background, foreground);
}
const bike_resource_loader k_loader_without_frames = {model_unless_frame, texture_from_caches,
                                                      info_from_caches, number_from_caches};

struct rgb {
    int r, g, b;
};

class SceneDraw : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { open(false); }
    // With `per_pixel` the shader programs are built before the track loads and the ground is
    // composed for them ("Shaders/Direct"), so it is lit per pixel.
    static void open(bool per_pixel) {
        home = new std::filesystem::path(data_set_home_open("render_scene"));
        ASSERT_TRUE(k_platform_sdl.create_window("render test", k_width, k_height, 24, 24));
        platform_use(k_platform_sdl);
        int w, h;
        ASSERT_TRUE(platform().begin_frame(&w, &h));
        resources_set_gpu(&k_resources_gpu_gl);
        ground_set_gpu(&k_ground_gpu_gl);
        ASSERT_TRUE(gl_features_init(false));
        if (per_pixel) {
            ASSERT_TRUE(shaders_build(true)) << shaders_failure();
            ground_settings g = ground_config();
            g.shader_programs = true;
            g.render_texture = 4;
            ground_configure(g);
        }
        track_list_scan();
        world_create();
        bike_set_resource_loader(&k_bike_loader_caches);
        const int lineup[] = {lineup_local};
        race_lineup_set(lineup, 1);
        race_start_params params;
        params.track = "rabbithill";
        ASSERT_TRUE(race_start(params));
        for (int t = 0; t < 64; t++) race_world_tic();
    }
    static void TearDownTestSuite() {
        shaders_free();
        ground_configure(ground_settings{});
        race_shutdown();
        world_destroy();
        track_unload();
        bike_tables_free();
        textures_free();
        models_free();
        bike_set_resource_loader(&k_bike_loader_null);
        resources_set_gpu(nullptr);
        ground_set_gpu(nullptr);
        k_platform_sdl.destroy_window();
        platform_use(k_platform_null);
        track_list_free();
        data_set_home_close(*home);
        delete home;
    }
    void SetUp() override {
        g_settings = render_settings{};
        bike = race_slot(0).bike;
        ASSERT_GE(bike, 0);
    }
    void TearDown() override { race_slot_set(0, race_slot(0).kind, bike); }

    // The world of the race's bikes seen from a camera: every slot's bike whole and opaque, but
    // the one of the rider whose eyes the camera is, drawn as its rider sees it.
    static render_frame frame_of(const scene_camera& c) {
        render_frame f;
        f.camera = c;
        f.settings = g_settings;
        for (int slot = 0; slot < k_max_riders; slot++) {
            const int b = race_slot(slot).bike;
            if (b < 0) continue;
            render_bike& r = f.bikes[f.bike_count++];
            r.bike = b;
            r.mode = slot == c.viewed_slot ? bike_first_person : bike_whole;
        }
        return f;
    }
    // The rider's own eyes on its body, as the rider view places them by default.
    static scene_camera eyes_of(int b, int slot) {
        scene_camera c;
        const vec3d eye = bike_body_point(b, body_rider, {0, 0.5, -0.4});
        c.eye[0] = static_cast<float>(eye.x);
        c.eye[1] = static_cast<float>(eye.y);
        c.eye[2] = static_cast<float>(eye.z);
        for (int k = 0; k < 3; k++) {
            const vec3d axis = bike_body_axis(b, body_rider, k);
            c.rotation[k] = static_cast<float>(axis.x);
            c.rotation[3 + k] = static_cast<float>(axis.y);
            c.rotation[6 + k] = static_cast<float>(axis.z);
        }
        c.fov = 90;
        c.viewed_slot = slot;
        return c;
    }

    // Draws the scene from a camera and reads the whole frame back.
    static std::vector<unsigned char> draw(const scene_camera& c) {
        int w, h;
        // The ground composes the textures around a new eye over a few frames: the picture is
        // taken once nothing is left to compose.
        for (int k = 0; k < 64; k++) {
            platform().begin_frame(&w, &h);
            set_projection(k_width, k_height, c.fov);
            render_scene(frame_of(c));
            platform().end_frame();
            if (ground_stats().textures_composed == 0) break;
        }
        platform().begin_frame(&w, &h);
        set_projection(k_width, k_height, c.fov);
        render_scene(frame_of(c));
        std::vector<unsigned char> rgb(static_cast<size_t>(k_width) * k_height * 3);
        render_read_pixels(k_width, k_height, rgb.data());
        platform().end_frame();
        return rgb;
    }
    // With TB_RENDER_SHOTS naming a folder, the frame is kept there as a PNG to look at.
    static void keep_shot(const std::vector<unsigned char>& frame, const char* name) {
        const char* folder = std::getenv("TB_RENDER_SHOTS");
        if (!folder) return;
        std::vector<unsigned char> rows(frame.size());
        const size_t row = static_cast<size_t>(k_width) * 3;
        for (int y = 0; y < k_height; y++)
            std::copy_n(&frame[static_cast<size_t>(k_height - 1 - y) * row], row, &rows[y * row]);
        std::string png;
        if (image_encode_png(rows.data(), k_width, k_height, 3, "", &png))
            std::ofstream(std::filesystem::path(folder) / name, std::ios::binary) << png;
    }
    // The pixels the bike covers: those that change when it is taken out of the scene.
    std::vector<bool> bike_coverage(const scene_camera& c, const char* shot) {
        const std::vector<unsigned char> with = draw(c);
        race_slot_set(0, race_slot(0).kind, -1);
        const std::vector<unsigned char> without = draw(c);
        race_slot_set(0, race_slot(0).kind, bike);
        keep_shot(with, shot);
        std::vector<bool> covered(static_cast<size_t>(k_width) * k_height);
        for (int y = 0; y < k_height; y++)
            for (int x = 0; x < k_width; x++)
                covered[static_cast<size_t>(y) * k_width + x] =
                    difference(at(with, x, y), at(without, x, y)) > 12;
        return covered;
    }
    static rgb at(const std::vector<unsigned char>& frame, int x, int y) {
        const unsigned char* p = &frame[(static_cast<size_t>(y) * k_width + x) * 3];
        return {p[0], p[1], p[2]};
    }
    static int difference(rgb a, rgb b) {
        return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
    }

    // A camera at `eye` looking at `target` with the world's up.
    static scene_camera looking(vec3d eye, vec3d target, float fov = 60) {
        scene_camera c;
        vec3d back = eye - target;
        back = back * (1 / length(back));
        vec3d right = {back.z, 0, -back.x};
        right = right * (1 / length(right));
        vec3d up = cross(back, right);
        const vec3d axes[3] = {right, up, back};
        for (int k = 0; k < 3; k++) {
            c.rotation[k] = static_cast<float>(axes[k].x);
            c.rotation[3 + k] = static_cast<float>(axes[k].y);
            c.rotation[6 + k] = static_cast<float>(axes[k].z);
        }
        c.eye[0] = static_cast<float>(eye.x);
        c.eye[1] = static_cast<float>(eye.y);
        c.eye[2] = static_cast<float>(eye.z);
        c.fov = fov;
        return c;
    }
    // The window pixel a world point projects to (from the bottom left).
    static void project(const scene_camera& c, vec3d p, int* x, int* y) {
        const view_tangents t = tangents_for(k_width, k_height, c.fov);
        const double d[3] = {p.x - c.eye[0], p.y - c.eye[1], p.z - c.eye[2]};
        double local[3];
        for (int k = 0; k < 3; k++)
            local[k] = c.rotation[k] * d[0] + c.rotation[3 + k] * d[1] + c.rotation[6 + k] * d[2];
        *x = static_cast<int>((local[0] / -local[2] / t.tx + 1) / 2 * k_width);
        *y = static_cast<int>((local[1] / -local[2] / t.ty + 1) / 2 * k_height);
    }
    // From the left of the bike, level with it.
    scene_camera beside_bike(double distance = 9) const { return beside(bike, distance); }
    static scene_camera beside(int b, double distance = 9) {
        const vec3d middle = bike_body_position(b, body_frame);
        const vec3d left = bike_body_axis(b, body_frame, 0) * -distance;
        return looking(middle + vec3d{left.x, 0.5, left.z}, middle);
    }
    // A second bike of the local one's kind, loaded by `loader` and posed where the local bike
    // stands from the local bike's snapshot as `change` alters it; the local bike stays as it is.
    int posed_copy(void (*change)(compact_fields&),
                   const bike_resource_loader* loader = &k_bike_loader_caches) const {
        bike_set_resource_loader(loader);
        const int copy = bike_create(bike_info_of(bike).name, 0, "1", "", "", "", "");
        bike_set_resource_loader(&k_bike_loader_caches);
        const compact_ranges ranges = compact_ranges_of(bike);
        compact_fields f = compact_state_unpack(compact_state_encode(bike), ranges);
        change(f);
        compact_state_pose(copy, compact_state_pack(f, ranges), 5);
        return copy;
    }

    static std::filesystem::path* home;
    int bike = -1;
};
std::filesystem::path* SceneDraw::home = nullptr;
} // namespace

TEST_F(SceneDraw, TheSkyShowsItsPictureWhereNothingStandsInFront) {
    scene_camera up;
    up.eye[1] = 200;
    // Right along x, up along +z, looking straight up.
    const float rotation[9] = {1, 0, 0, 0, 0, -1, 0, 1, 0};
    std::copy(rotation, rotation + 9, up.rotation);
    up.fov = 90;
    std::vector<unsigned char> frame = draw(up);
    image sky;
    ASSERT_TRUE(image_load("@sky-u.ppm", &sky));
    const view_tangents t = tangents_for(k_width, k_height, up.fov);
    for (auto [px, py] : {std::pair{160, 120}, std::pair{40, 200}, std::pair{300, 30}}) {
        // The ray through the pixel meets the up face at (x, 1, z).
        const double x = ((px + 0.5) / k_width * 2 - 1) * t.tx;
        const double z = ((py + 0.5) / k_height * 2 - 1) * t.ty;
        const int u = static_cast<int>((x + 1) / 2 * sky.width);
        const int v = static_cast<int>((1 - z) / 2 * sky.height);
        const uint8_t* s = &sky.pixels[(static_cast<size_t>(v) * sky.width + u) * 3];
        EXPECT_LE(difference(at(frame, px, py), {s[0], s[1], s[2]}), 24) << px << "," << py;
    }
    // With "--fugly" the clear colour stands in for the sky.
    g_settings.fugly = true;
    frame = draw(up);
    EXPECT_LE(difference(at(frame, 160, 120), {50, 153, 204}), 3);
}

// Looking down past the field's edge neither the sky box nor the ground covers the picture:
// nothing of what the window held before (a menu, the last frame) may show through there.
TEST_F(SceneDraw, NothingOfTheLastFrameShowsWherePastTheFieldsEdgeNothingIsDrawn) {
    const height_field& f = ground().field;
    scene_camera down;
    down.eye[0] = -3 * f.extent;
    down.eye[1] = 30;
    down.eye[2] = -3 * f.extent;
    // Right along x, looking straight down.
    const float rotation[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0};
    std::copy(rotation, rotation + 9, down.rotation);
    down.fov = 90;
    int w, h;
    platform().begin_frame(&w, &h);
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.196078f, 0.6f, 0.8f, 0);
    set_projection(k_width, k_height, down.fov);
    render_scene(frame_of(down));
    std::vector<unsigned char> frame(static_cast<size_t>(k_width) * k_height * 3);
    render_read_pixels(k_width, k_height, frame.data());
    platform().end_frame();
    int stale = 0;
    for (int y = 0; y < k_height; y++)
        for (int x = 0; x < k_width; x++) stale += difference(at(frame, x, y), {255, 0, 255}) < 40;
    EXPECT_EQ(stale, 0);
}

// At the highest log level the robots' lines lie over the scene as white strips, strongest
// near the eye.
TEST_F(SceneDraw, TheRobotsLinesAreDrawnOverTheScene) {
    ASSERT_GT(line_segment_count(), 0);
    const racing_line* first = nullptr;
    for (const racing_line& l : line_segment_at(0).lines)
        if (!first && l.points.size() >= 2) first = &l;
    ASSERT_NE(first, nullptr);
    const line_point& p = first->points[first->points.size() / 2];
    const scene_camera c = looking({p.x - 12, p.y + 20, p.z - 12}, {p.x, p.y, p.z});
    const std::vector<unsigned char> plain = draw(c);
    render_frame f = frame_of(c);
    lines_as_strips(&f.line_points, &f.line_counts);
    int w, h;
    platform().begin_frame(&w, &h);
    set_projection(k_width, k_height, c.fov);
    render_scene(f);
    std::vector<unsigned char> lined(static_cast<size_t>(k_width) * k_height * 3);
    render_read_pixels(k_width, k_height, lined.data());
    platform().end_frame();
    int whiter = 0;
    for (int y = 0; y < k_height; y++)
        for (int x = 0; x < k_width; x++) {
            const rgb a = at(plain, x, y), b = at(lined, x, y);
            whiter += b.r >= a.r && b.g >= a.g && b.b >= a.b && difference(a, b) > 40;
        }
    EXPECT_GT(whiter, 50) << "the lines near the eye show";
    int x = 0, y = 0;
    project(c, {p.x, p.y, p.z}, &x, &y);
    int near = 0;
    for (int dy = -2; dy <= 2; dy++)
        for (int dx = -2; dx <= 2; dx++)
            near = std::max(near, difference(at(lined, x + dx, y + dy), at(plain, x + dx, y + dy)));
    EXPECT_GT(near, 40) << "the line passes where its point projects";
}

TEST_F(SceneDraw, TheBikeIsDrawnWhereItsBodiesProject) {
    const scene_camera c = beside_bike();
    const std::vector<unsigned char> with = draw(c);
    race_slot_set(0, race_slot(0).kind, -1);
    const std::vector<unsigned char> without = draw(c);
    race_slot_set(0, race_slot(0).kind, bike);
    for (int body : {body_frame, body_front_wheel, body_rear_wheel, body_rider}) {
        int x, y;
        project(c, bike_body_position(bike, body), &x, &y);
        ASSERT_TRUE(x >= 0 && x < k_width && y >= 0 && y < k_height) << body;
        EXPECT_GT(difference(at(with, x, y), at(without, x, y)), 30) << "body " << body;
    }
    // Away from the bike the frames agree.
    EXPECT_EQ(difference(at(with, 5, k_height - 5), at(without, 5, k_height - 5)), 0);
    EXPECT_EQ(difference(at(with, k_width - 5, 5), at(without, k_width - 5, 5)), 0);
}

TEST_F(SceneDraw, AModelThatFailedToLoadIsLeftOutAndTheRestIsDrawn) {
    // The rider raised well clear, so nothing of it stands in front of the frame.
    const int copy =
        posed_copy([](compact_fields& f) { f.rider_offset[1] += 6; }, &k_loader_without_frames);
    ASSERT_EQ(bike_resources_of(copy).models[model_frame], 0);
    ASSERT_NE(bike_resources_of(copy).models[model_rear_wheel], 0);
    const scene_camera c = beside(copy);
    race_slot_set(0, race_slot(0).kind, -1);
    const std::vector<unsigned char> empty = draw(c);
    race_slot_set(0, race_slot(0).kind, copy);
    const std::vector<unsigned char> without_frame = draw(c);
    race_slot_set(0, race_slot(0).kind, bike);
    int x, y;
    project(c, bike_body_position(copy, body_frame), &x, &y);
    EXPECT_LE(difference(at(without_frame, x, y), at(empty, x, y)), 3)
        << "nothing where only the frame would be";
    project(c, bike_body_position(copy, body_rear_wheel), &x, &y);
    EXPECT_GT(difference(at(without_frame, x, y), at(empty, x, y)), 30) << "the wheel still is";
    bike_destroy(copy);
}

TEST_F(SceneDraw, FirstPersonLeavesOutWhatTheRiderCannotSee) {
    const scene_camera eye = eyes_of(bike, 0);
    model_camera camera;
    std::copy(eye.eye, eye.eye + 3, camera.position);
    for (int axis = 0; axis < 3; axis++)
        for (int k = 0; k < 3; k++) camera.axes[3 * axis + k] = eye.rotation[3 * k + axis];
    // The triangles each slot's model of a bike draws from this close.
    auto triangles = [&](int b, int slot) {
        int n = 0;
        for (const model_part& p : model_get(bike_resources_of(b).models[slot])->parts)
            if (p.shininess != k_model_mode_environment) n += p.triangle_count;
        return n;
    };
    auto drawn = [&](int b, int mode) {
        model_draw_stats_reset();
        bike_draw(b, mode, camera, 1, 0);
        int t = 0, v = 0;
        model_draw_stats(&t, &v);
        return t;
    };
    auto all = [&](int b) {
        int n = 0;
        for (int slot = 0; slot < model_slot_count; slot++)
            if (slot != model_rider_body_fp) n += triangles(b, slot);
        return n;
    };
    // What its rider sees of a bike: no rider, no swingarm, no rear wheel.
    auto hidden = [&](int b) {
        return all(b) - triangles(b, model_swingarm) - triangles(b, model_rear_wheel) -
               triangles(b, model_rider_body) - triangles(b, model_rider_head) -
               triangles(b, model_rider_plate);
    };
    EXPECT_EQ(drawn(bike, 0), all(bike)) << "from outside every model";
    EXPECT_EQ(drawn(bike, 1), hidden(bike)) << "no rider, no swingarm, no rear wheel";
    EXPECT_EQ(drawn(bike, 2), hidden(bike) + triangles(bike, model_rider_body_fp))
        << "the first-person body";
    // A rider knocked off sees its whole bike.
    const int knocked = posed_copy([](compact_fields& f) { f.knockout_tics = 100; });
    ASSERT_TRUE(knocked_off(knocked));
    EXPECT_EQ(drawn(knocked, 1), hidden(knocked) + triangles(knocked, model_swingarm) +
                                     triangles(knocked, model_rear_wheel));
    bike_destroy(knocked);
}

TEST_F(SceneDraw, DrawingLeavesTheSimulationAsItWas) {
    // Every body's place, axes and motion, exactly.
    auto state = [&] {
        std::vector<double> v;
        for (int body = 0; body < k_bike_body_count; body++) {
            vec3d all[6] = {bike_body_position(bike, body), bike_body_axis(bike, body, 0),
                            bike_body_axis(bike, body, 1),  bike_body_axis(bike, body, 2),
                            bike_body_velocity(bike, body), bike_body_angular_velocity(bike, body)};
            for (const vec3d& a : all) v.insert(v.end(), {a.x, a.y, a.z});
        }
        return v;
    };
    // Bars pulled close to the chest, so the rider is drawn leaning back.
    const int local = bike;
    bike = posed_copy([](compact_fields& f) {
        f.rider_offset[1] -= 0.4f;
        f.rider_offset[2] -= 0.9f;
    });
    race_slot_set(0, race_slot(0).kind, bike);
    const std::vector<double> before = state();
    draw(beside_bike());
    draw(eyes_of(bike, 0));
    EXPECT_EQ(state(), before);
    race_slot_set(0, race_slot(0).kind, local);
    bike_destroy(bike);
    bike = local;
}

TEST_F(SceneDraw, TheTitlePictureCoversTheScreenAtTwoToOne) {
    const uint32_t title = texture_load("!@title.png");
    ASSERT_NE(title, 0u);
    image picture;
    ASSERT_TRUE(image_load("@title.png", &picture));
    int w, h;
    platform().begin_frame(&w, &h);
    set_projection(k_width, k_height, 90);
    title_view_draw(title, 0, "", "build");
    std::vector<unsigned char> frame(static_cast<size_t>(k_width) * k_height * 3);
    render_read_pixels(k_width, k_height, frame.data());
    platform().end_frame();
    // A 4:3 window shows the picture's whole height: 1.5 screen heights of width, centred.
    auto picture_at = [&](double u, double v) {
        const int x = std::clamp(static_cast<int>(u * picture.width), 0, picture.width - 1);
        const int y = std::clamp(static_cast<int>(v * picture.height), 0, picture.height - 1);
        const uint8_t* p = &picture.pixels[(static_cast<size_t>(y) * picture.width + x) * 3];
        return rgb{p[0], p[1], p[2]};
    };
    const view_tangents t = tangents_for(k_width, k_height, 90);
    const double half_height = t.ty, half_width = 2 * t.ty;
    for (auto [px, py] : {std::pair{160, 120}, std::pair{40, 200}, std::pair{300, 10}}) {
        const double x = ((px + 0.5) / k_width * 2 - 1) * t.tx;
        const double y = ((py + 0.5) / k_height * 2 - 1) * t.ty;
        const rgb expected =
            picture_at((x + half_width) / (2 * half_width), (half_height - y) / (2 * half_height));
        EXPECT_LE(difference(at(frame, px, py), expected), 30) << px << "," << py;
    }
}

TEST_F(SceneDraw, TheLoadingScreenFadesItsRowOfSquaresIn) {
    render_reset();
    auto centre = [&] {
        int w, h;
        platform().begin_frame(&w, &h);
        set_projection(k_width, k_height, 90);
        loading_screen_draw("");
        std::vector<unsigned char> frame(static_cast<size_t>(k_width) * k_height * 3);
        render_read_pixels(k_width, k_height, frame.data());
        platform().end_frame();
        return std::pair{at(frame, 160, 120), at(frame, 2, 2)};
    };
    auto [first, corner] = centre();
    EXPECT_LE(difference(first, {128, 128, 128}), 6) << "the disc's middle, the row not yet in";
    EXPECT_LT(corner.r, first.r) << "darker towards the rim";
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const rgb later = centre().first;
    EXPECT_LE(difference(later, {191, 191, 191}), 6) << "a square of the row, faded in";
    render_reset();
}

namespace {
// How bright a square of the frame is around (x, y), summed over its channels.
long brightness(const std::vector<unsigned char>& frame, int x, int y, int half) {
    long sum = 0;
    for (int j = std::max(0, y - half); j <= std::min(k_height - 1, y + half); j++)
        for (int i = std::max(0, x - half); i <= std::min(k_width - 1, x + half); i++)
            for (int k = 0; k < 3; k++)
                sum += frame[(static_cast<size_t>(j) * k_width + i) * 3 + k];
    return sum;
}
} // namespace

TEST_F(SceneDraw, TheLensFlareGlowsOnTheSunAndItsGhostsCrossTheMiddle) {
    const float* s = lighting().sun_vector;
    // The sun up and to the left of the middle: the camera turned a little right of it.
    const vec3d eye = bike_body_position(bike, body_frame) + vec3d{0, 6, 0};
    const double turn = 0.3;
    const vec3d aim = {s[0] * std::cos(turn) - s[2] * std::sin(turn), s[1] * 0.6,
                       s[0] * std::sin(turn) + s[2] * std::cos(turn)};
    const scene_camera c = looking(eye, eye + aim * 100, 70);
    int sun_x, sun_y;
    project(c, eye + vec3d{s[0], s[1], s[2]} * 1000, &sun_x, &sun_y);
    ASSERT_GT(sun_x, 20);
    ASSERT_LT(sun_x, k_width - 20);
    ASSERT_GT(sun_y, 20);
    ASSERT_LT(sun_y, k_height - 20);
    ASSERT_GT(std::abs(sun_x - k_width / 2) + std::abs(sun_y - k_height / 2), 40);

    g_settings.lens_flare = false;
    const std::vector<unsigned char> plain = draw(c);
    g_settings.lens_flare = true;
    const std::vector<unsigned char> flared = draw(c);
    // The glow sits on the sun: the ring around it brightens most.
    const long glow = brightness(flared, sun_x, sun_y, 12) - brightness(plain, sun_x, sun_y, 12);
    EXPECT_GT(glow, 25 * 25 * 3 * 10);
    // The far ghost lies opposite the sun about the middle of the picture.
    const int ghost_x = k_width - sun_x, ghost_y = k_height - sun_y;
    EXPECT_GT(brightness(flared, ghost_x, ghost_y, 20), brightness(plain, ghost_x, ghost_y, 20));
    // Nowhere does the flare darken the picture.
    for (size_t k = 0; k < plain.size(); k++) ASSERT_GE(flared[k], plain[k]) << k;

    // Turned away from the sun there is nothing to flare.
    const scene_camera away = looking(eye, eye - aim * 100, 70);
    g_settings.lens_flare = false;
    const std::vector<unsigned char> away_plain = draw(away);
    g_settings.lens_flare = true;
    EXPECT_EQ(draw(away), away_plain);
}

TEST_F(SceneDraw, ShadersAndTheFallbackDrawTheBikeOnTheSamePixels) {
    const bike_resources& r = bike_resources_of(bike);
    ASSERT_NE(r.normal_maps[texture_bike], 0) << "the generator gives the bike a normal map";
    ASSERT_NE(r.specular_maps[texture_rider], 0) << "and the rider a specular map";
    const scene_camera c = beside_bike(7);
    ASSERT_FALSE(shaders_in_use());
    const std::vector<bool> fixed = bike_coverage(c, "bike_fallback.png");
    ASSERT_TRUE(shaders_build(true)) << shaders_failure();
    const std::vector<bool> lit = bike_coverage(c, "bike_shaders.png");
    EXPECT_GT(render_statistics().shader_changes, 0) << "the bike was drawn by the programs";
    const std::vector<unsigned char> frame = draw(c);
    shaders_free();
    EXPECT_EQ(program_current(), program_fixed);
    int both = 0, either = 0, only_fixed = 0, only_lit = 0;
    for (size_t i = 0; i < fixed.size(); i++) {
        both += fixed[i] && lit[i];
        either += fixed[i] || lit[i];
        only_fixed += fixed[i] && !lit[i];
        only_lit += lit[i] && !fixed[i];
    }
    ASSERT_GT(either, 2000) << "the bike fills a good part of the view";
    EXPECT_GE(static_cast<double>(both) / either, 0.97)
        << only_fixed << " pixels only without shaders, " << only_lit << " only with them";
    // Lit per pixel the bike is no darker overall than lit per vertex: same sun, same pictures.
    const std::vector<unsigned char> fallback = draw(c);
    double sum_lit = 0, sum_fixed = 0;
    for (int y = 0; y < k_height; y++)
        for (int x = 0; x < k_width; x++)
            if (fixed[static_cast<size_t>(y) * k_width + x] &&
                lit[static_cast<size_t>(y) * k_width + x]) {
                const rgb a = at(frame, x, y), b = at(fallback, x, y);
                sum_lit += a.r + a.g + a.b;
                sum_fixed += b.r + b.g + b.b;
            }
    EXPECT_NEAR(sum_lit / both, sum_fixed / both, 0.25 * sum_fixed / both);
}

namespace {
// The scene with the shader programs built before the track: the ground lit per pixel.
class SceneDrawPerPixel : public SceneDraw {
  protected:
    static void SetUpTestSuite() { open(true); }
};
} // namespace

TEST_F(SceneDrawPerPixel, TheGroundLitPerPixelIsLitAndShaded) {
    ASSERT_TRUE(ground_lit_per_pixel());
    const scene_camera c = beside_bike(20);
    const std::vector<unsigned char> per_pixel = draw(c);
    keep_shot(per_pixel, "ground_shaders.png");
    EXPECT_GT(render_statistics().shader_changes, 0);
    // The bottom third of the view is ground: lit per pixel it is neither black nor washed out,
    // and its light varies across the slopes and the surface pictures.
    double sum[3] = {}, sum_squares = 0;
    int count = 0;
    for (int y = 4; y < k_height / 3; y++)
        for (int x = 4; x < k_width - 4; x++) {
            const rgb p = at(per_pixel, x, y);
            sum[0] += p.r, sum[1] += p.g, sum[2] += p.b;
            const double grey = (p.r + p.g + p.b) / 3.0;
            sum_squares += grey * grey;
            count++;
        }
    const double mean_grey = (sum[0] + sum[1] + sum[2]) / 3 / count;
    EXPECT_GT(mean_grey, 40) << "not black";
    EXPECT_LT(mean_grey, 230) << "not washed out";
    EXPECT_GT(std::sqrt(sum_squares / count - mean_grey * mean_grey), 2) << "not flat";
}
