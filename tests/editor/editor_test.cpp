// The track editor on the generated rabbithill track, driven by pointer and key events pushed
// into an offscreen SDL window: brush strokes, snap, gradients, undo, saving and reloading.
#include "editor/editor.h"
#include "editor/editor_local.h"

#include "files/files.h"
#include "platform/controls.h"
#include "render/render.h"
#include "resources/gpu.h"
#include "resources/image.h"
#include "resources/model.h"
#include "resources/resources.h"
#include "terrain/ground_gpu.h"
#include "ui/text.h"
#include "platform/event_queue.h"
#include "platform/platform.h"
#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_objects.h"

#include "support/track_suite.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {
constexpr int k_width = 800, k_height = 600;

struct EditorTest : ::testing::Test {
    static inline std::filesystem::path home;
    static inline bool ready = false;

    // Where the editor's saves go.
    static std::filesystem::path saved_home() { return home_folder(); }

    static void SetUpTestSuite() {
        platform_use(k_platform_sdl);
        home = data_set_home_open("tb_editor_");
        track_set_load_hooks(editor_load, editor_unload);
        ready = platform().create_window("Trailbok", k_width, k_height, 24, 24);
        int w, h;
        ready = ready && platform().begin_frame(&w, &h);
        resources_set_gpu(&k_resources_gpu_gl);
        ground_set_gpu(&k_ground_gpu_gl);
        ready = ready && gl_features_init(false);
        fonts_load();
        track_list_scan();
        ready = ready && track_load("rabbithill");
    }
    static void TearDownTestSuite() {
        track_suite_close(home);
        track_set_load_hooks(nullptr, nullptr);
        fonts_free();
        textures_free();
        models_free();
        resources_set_gpu(nullptr);
        ground_set_gpu(nullptr);
        platform().destroy_window();
    }

    // Every test starts from the track as generated, with a fresh editor.
    void SetUp() override {
        ASSERT_TRUE(ready);
        std::error_code ignored;
        std::filesystem::remove_all(saved_home() / "rabbithill", ignored);
        ASSERT_TRUE(track_load("rabbithill"));
        editor_set_window(k_width, k_height);
        move_to_pixel(k_width - 20, k_height - 20);
    }

    // The pushed events as the frame loop hands them over: every one to the editor.
    static void deliver() {
        platform().pump();
        platform_event e;
        while (event_queue_take(&e, nullptr)) editor_key(e.control, e.pressed);
        // The frame loop's next tic or frame reads where the pointer went.
        editor_pointer_update();
    }
    static void push(const SDL_Event& e) {
        SDL_Event copy = e;
        SDL_PushEvent(&copy);
        deliver();
    }
    static void move_to_pixel(int px, int py) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = px;
        e.motion.y = py;
        push(e);
    }
    // The pixel that shows a world point, as near as pixels go.
    static void move_to(float x, float z) {
        const editor_state& s = editor_get();
        const float scale = editor_scale();
        move_to_pixel(static_cast<int>(std::lround(k_width / 2 + (x - s.view_x) / scale)),
                      static_cast<int>(std::lround(k_height / 2 + (z - s.view_z) / scale)));
    }
    static void button(bool down, Uint8 which = SDL_BUTTON_LEFT) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.button = which;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        push(e);
    }
    static void type(char c) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.text[0] = c;
        push(e);
    }
    static void key(SDL_Scancode scan, SDL_Keycode sym) {
        for (Uint32 t : {SDL_KEYDOWN, SDL_KEYUP}) {
            SDL_Event e{};
            e.type = t;
            e.key.state = t == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
            e.key.keysym.scancode = scan;
            e.key.keysym.sym = sym;
            push(e);
        }
    }
    static void tics(int n) {
        for (int i = 0; i < n; i++) editor_tic();
    }
    // A click on a panel item's row, in the current mode.
    static void click_item(int item) {
        const std::vector<int> rows = panel_visible_items();
        const auto at = std::find(rows.begin(), rows.end(), item);
        ASSERT_NE(at, rows.end());
        move_to_pixel(20, static_cast<int>(at - rows.begin()) * k_panel_row + k_panel_row / 2);
        button(true);
        button(false);
        // Off the panel again, so that keys reach the view.
        move_to_pixel(k_width - 20, k_height - 20);
    }
    // One stroke held still at a world point for `held` tics.
    static void stroke(float x, float z, int held) {
        move_to(x, z);
        button(true);
        tics(held);
        button(false);
    }

    static std::vector<float> heights() {
        const height_field& f = ground().field;
        const size_t n = static_cast<size_t>(f.samples_per_side) * f.samples_per_side;
        return std::vector<float>(f.heights, f.heights + n);
    }
    static std::string digest() {
        char hex[41];
        height_field_heights_digest(ground().field, hex);
        return hex;
    }
    // One frame of the editor's view, rows from the top; kept as a PNG under the folder that
    // TB_EDITOR_PICTURES names, for looking at.
    static std::vector<uint8_t> picture(const char* name) {
        int w = 0, h = 0;
        platform().begin_frame(&w, &h);
        editor_set_window(w, h);
        editor_draw();
        std::vector<uint8_t> rows(static_cast<size_t>(w) * h * 3), top(rows.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
        platform().end_frame();
        for (int y = 0; y < h; y++)
            std::copy_n(&rows[static_cast<size_t>(h - 1 - y) * w * 3], w * 3,
                        &top[static_cast<size_t>(y) * w * 3]);
        if (const char* folder = getenv("TB_EDITOR_PICTURES")) {
            std::string png;
            if (image_encode_png(top.data(), w, h, 3, "", &png))
                std::ofstream(std::string(folder) + "/" + name + ".png", std::ios::binary) << png;
        }
        return top;
    }
    static const uint8_t* pixel(const std::vector<uint8_t>& p, int x, int y) {
        return &p[(static_cast<size_t>(y) * k_width + x) * 3];
    }
    static int brightness(const std::vector<uint8_t>& p, int x, int y) {
        x = std::clamp(x, 0, k_width - 1);
        y = std::clamp(y, 0, k_height - 1);
        const uint8_t* c = pixel(p, x, y);
        return c[0] + c[1] + c[2];
    }

    static float pointer_x() {
        float x, z;
        editor_pointer_world(&x, &z);
        return x;
    }
    static float pointer_z() {
        float x, z;
        editor_pointer_world(&x, &z);
        return z;
    }
};

constexpr float k_centre = 640; // ft, the middle of rabbithill, where the view starts

TEST_F(EditorTest, RaiseWithFullFocusLiftsADiscOnceHoweverLongItIsHeld) {
    editor_get().values[item_strength] = 0; // A = 1
    editor_get().values[item_focus] = 1;
    editor_get().values[item_radius] = 16;
    const std::vector<float> before = heights();
    // Held still for four applications of the brush, then nudged within the stroke.
    move_to(k_centre + 40, k_centre);
    button(true);
    tics(100);
    const float x = pointer_x(), z = pointer_z();
    move_to_pixel(static_cast<int>(editor_get().pointer_px) + 1,
                  static_cast<int>(editor_get().pointer_py));
    tics(40);
    button(false);
    const float x2 = pointer_x();
    const float radius = 16 * editor_scale();
    const height_field& f = ground().field;
    const int n = f.samples_per_side;
    int lifted = 0;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            const float sx = i * f.cell_size, sz = j * f.cell_size;
            const float d1 = std::hypot(sx - x, sz - z), d2 = std::hypot(sx - x2, sz - z);
            const float d = std::min(d1, d2);
            const float change = f.heights[j * n + i] - before[j * n + i];
            if (d < radius - 0.01f) {
                ASSERT_NEAR(change, 1.0f, 1e-3f) << i << " " << j;
                lifted++;
            } else if (d > radius + 0.01f) {
                ASSERT_EQ(change, 0.0f) << i << " " << j;
            }
        }
    EXPECT_GT(lifted, 400);
}

TEST_F(EditorTest, RaiseWithNoFocusFallsSmoothlyToTheRadius) {
    editor_get().values[item_strength] = 1; // A = 2
    editor_get().values[item_focus] = 0;
    editor_get().values[item_radius] = 20;
    const std::vector<float> before = heights();
    stroke(k_centre + 30, k_centre + 10, 1);
    const float x = pointer_x(), z = pointer_z();
    const float radius = 20 * editor_scale();
    const height_field& f = ground().field;
    const int n = f.samples_per_side;
    std::vector<std::pair<float, float>> by_distance;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            const float d = std::hypot(i * f.cell_size - x, j * f.cell_size - z);
            const float change = f.heights[j * n + i] - before[j * n + i];
            if (d >= radius) {
                ASSERT_EQ(change, 0.0f);
            } else {
                by_distance.push_back({d, change});
            }
        }
    std::sort(by_distance.begin(), by_distance.end());
    ASSERT_GT(by_distance.size(), 100u);
    EXPECT_GT(by_distance.front().second, 1.95f);
    EXPECT_LE(by_distance.front().second, 2.0f + 1e-3f);
    for (size_t k = 1; k < by_distance.size(); k++)
        ASSERT_LE(by_distance[k].second, by_distance[k - 1].second + 1e-3f);
    // Half way out it has fallen to about half, and near the rim to almost nothing.
    for (const auto& [d, change] : by_distance) {
        if (std::fabs(d - radius / 2) < 0.3f) {
            EXPECT_NEAR(change, 1.0f, 0.15f);
        }
        if (d > radius * 0.95f) {
            EXPECT_LT(change, 0.02f);
        }
    }
}

TEST_F(EditorTest, LowerOnlyStopsARaiseAndTheSubModeIsSetOnThePanel) {
    click_item(item_submode); // "Raise Only"
    click_item(item_submode); // "Lower Only"
    EXPECT_EQ(editor_get().values[item_submode], submode_lower_only);
    const std::string before = digest();
    stroke(k_centre + 40, k_centre, 80);
    EXPECT_EQ(digest(), before);
    EXPECT_FALSE(editor_modified());
}

TEST_F(EditorTest, UndoRingKeepsEightLevelsAndRestoresHeightsExactly) {
    editor_get().values[item_radius] = 8;
    std::vector<std::string> after;
    for (int k = 0; k < 9; k++) {
        stroke(k_centre + 30 + 10 * k, k_centre, 1);
        after.push_back(digest());
    }
    EXPECT_EQ(editor_get().ring_count, k_undo_levels);
    // The ring holds the states after strokes 2 to 9: seven steps back.
    for (int k = 7; k >= 1; k--) {
        key(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE);
        ASSERT_STREQ(editor_message_line(), "Undo!");
        ASSERT_EQ(digest(), after[k]) << k;
    }
    key(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE);
    EXPECT_STREQ(editor_message_line(), "No more undo levels!");
    EXPECT_EQ(digest(), after[1]);
    // A stroke after the undos is undone back to where they stopped.
    stroke(k_centre + 60, k_centre + 40, 1);
    EXPECT_NE(digest(), after[1]);
    key(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE);
    EXPECT_EQ(digest(), after[1]);
}

TEST_F(EditorTest, SnapFlattensBlocksOntoTwoTrianglesAndLeavesSingleCellsAlone) {
    const height_field& f = ground().field;
    const int n = f.samples_per_side;
    type('2'); // "Snap"
    ASSERT_EQ(editor_get().mode, mode_snap);
    // Strength -5 (A = 1/32) acts on single cells, which are planar already.
    for (int k = 0; k < 8; k++) type('[');
    for (int k = 0; k < 40; k++) type('[');
    EXPECT_EQ(editor_get().values[item_strength], -5.0f);
    const std::string untouched = digest();
    stroke(k_centre + 37, k_centre + 21, 1);
    EXPECT_EQ(digest(), untouched);
    // Strength 2.25 (A about 4.76) on cells of 1.25 ft: blocks of 4 by 4 cells.
    for (int k = 0; k < 29; k++) type(']');
    EXPECT_EQ(editor_get().values[item_strength], 2.25f);
    const std::vector<float> before = heights();
    stroke(k_centre + 37, k_centre + 21, 1);
    const int i0 = static_cast<int>(std::floor(pointer_x() / f.cell_size)) / 4 * 4;
    const int j0 = static_cast<int>(std::floor(pointer_z() / f.cell_size)) / 4 * 4;
    int changed = 0;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            const bool inside = i >= i0 && i <= i0 + 4 && j >= j0 && j <= j0 + 4;
            const bool corner = (i == i0 || i == i0 + 4) && (j == j0 || j == j0 + 4);
            if (!inside || corner) {
                ASSERT_EQ(f.heights[j * n + i], before[j * n + i]);
            } else {
                changed += f.heights[j * n + i] != before[j * n + i];
            }
        }
    EXPECT_GT(changed, 0);
    // Inside the block the ground is two planes: at most two directions of its normal.
    std::vector<vec3> normals;
    for (float v = 0.05f; v < 4; v += 0.3f)
        for (float u = 0.05f; u < 4; u += 0.3f) {
            vec3 m = ground_normal_at((i0 + u) * f.cell_size, (j0 + v) * f.cell_size);
            const float length = std::sqrt(m.x * m.x + m.y * m.y + m.z * m.z);
            m = {m.x / length, m.y / length, m.z / length};
            bool known = false;
            for (const vec3& k : normals)
                known = known || (std::fabs(k.x - m.x) < 1e-4f && std::fabs(k.y - m.y) < 1e-4f &&
                                  std::fabs(k.z - m.z) < 1e-4f);
            if (!known) normals.push_back(m);
        }
    EXPECT_LE(normals.size(), 2u);
}

TEST_F(EditorTest, CurveProfilesTakeTheirSlopesFromTheirNeighbours) {
    editor_gradient g;
    g.points = {{0, 0, 1}, {10, 1, 1}};
    EXPECT_NEAR(profile_value(g, 5), 0.5f, 1e-6f);
    EXPECT_NEAR(profile_slope(g, 0), 0.1f, 1e-6f);
    EXPECT_NEAR(profile_slope(g, 1), 0.1f, 1e-6f);
    g.points = {{0, 0, 1}, {10, 1, 1}, {20, 0, 1}};
    EXPECT_NEAR(profile_slope(g, 1), 0.0f, 1e-6f);
    // A hump: the top is at the middle point and the curve stays between the ends' heights.
    EXPECT_NEAR(profile_value(g, 10), 1.0f, 1e-6f);
    for (float t = 0; t <= 20; t += 0.5f) {
        EXPECT_LE(profile_value(g, t), 1.0f + 1e-5f);
        EXPECT_GE(profile_value(g, t), -1e-5f);
    }
    EXPECT_NEAR(profile_value(g, -5), 0.0f, 1e-6f);
    EXPECT_NEAR(profile_value(g, 25), 0.0f, 1e-6f);
}

TEST_F(EditorTest, ProfilePointsAreInsertedBetweenAndVanishWhenDraggedPastANeighbour) {
    type('7'); // "Gradient Placement"
    ASSERT_EQ(editor_get().mode, mode_gradient_placement);
    click_item(item_new_gradient);
    ASSERT_EQ(editor_get().gradients.size(), 1u);
    const editor_gradient& g = editor_get().gradients[0];
    ASSERT_EQ(g.points.size(), 2u);
    EXPECT_EQ(g.points[1].t, 50.0f);
    type('8'); // "Gradient Edit"
    // A click between the two points inserts one under the pointer, a Line like its left one.
    move_to(g.x0 + 20, g.z0 - 3);
    button(true);
    ASSERT_EQ(g.points.size(), 3u);
    EXPECT_NEAR(g.points[1].t, pointer_x() - g.x0, 1e-4f);
    EXPECT_NEAR(g.points[1].h, g.z0 - pointer_z(), 1e-4f);
    EXPECT_EQ(g.points[1].segment, 0);
    EXPECT_EQ(editor_get().point, 1);
    tics(1);
    // Dragged up it follows; dragged beyond the end point it is gone.
    move_to(g.x0 + 30, g.z0 - 8);
    tics(1);
    EXPECT_NEAR(g.points[1].h, g.z0 - pointer_z(), 1e-4f);
    move_to(g.x0 + 56, g.z0 - 8);
    tics(1);
    button(false);
    EXPECT_EQ(g.points.size(), 2u);
    EXPECT_EQ(editor_get().point, -1);
    EXPECT_EQ(g.points[1].t, 50.0f);
    EXPECT_TRUE(editor_modified());
}

TEST_F(EditorTest, ReleasingAFreshGradientsEndReflattensItToTheNewLength) {
    type('7');
    click_item(item_new_gradient);
    editor_gradient& g = editor_get().gradients[0];
    const float x0 = g.x0, z0 = g.z0;
    move_to(g.x1, g.z1);
    button(true);
    ASSERT_EQ(editor_get().drag_target, 2);
    move_to(x0 + 30, z0 + 20);
    tics(2);
    button(false);
    const float length = std::hypot(g.x1 - x0, g.z1 - z0);
    EXPECT_NEAR(length, std::hypot(30.0f, 20.0f), 1.5f);
    ASSERT_EQ(g.points.size(), 2u);
    EXPECT_EQ(g.points[0].t, 0.0f);
    EXPECT_NEAR(g.points[1].t, length, 1e-4f);
    // With a raised point it keeps its length and only turns towards the pointer.
    g.points[1].h = 5;
    const float kept = g.points[1].t;
    move_to(g.x1, g.z1);
    button(true);
    ASSERT_EQ(editor_get().drag_target, 2);
    move_to(x0, z0 + 60);
    tics(2);
    button(false);
    EXPECT_NEAR(std::hypot(g.x1 - x0, g.z1 - z0), kept, 1e-3f);
    EXPECT_NEAR(g.x1, x0, 1.5f);
    EXPECT_GT(g.z1, z0);
    EXPECT_EQ(g.points[1].t, kept);
    EXPECT_EQ(g.points[1].h, 5.0f);
}

TEST_F(EditorTest, SavedTrackReloadsAsEditedWithItsGatesObjectsAndGradients) {
    stroke(k_centre + 40, k_centre + 20, 1);
    type('7');
    click_item(item_new_gradient);
    editor_get().gradients[0].points[1].h = 2.5f;
    editor_get().gradients[0].points[1].segment = 1;
    ASSERT_TRUE(editor_modified());
    const std::vector<float> edited = heights();
    const std::string gates = timing_gates_format();
    const std::string statues_text = statues_format();
    const std::string cards = billboards_format();
    const std::vector<editor_gradient> gradients = editor_get().gradients;
    type('s');
    EXPECT_STREQ(editor_message_line(), "Saved!");
    EXPECT_FALSE(editor_modified());
    EXPECT_FALSE(std::filesystem::exists(saved_home() / "rabbithill.saving"));

    ASSERT_TRUE(track_load("rabbithill"));
    const height_field& f = ground().field;
    const std::vector<float> loaded = heights();
    ASSERT_EQ(loaded.size(), edited.size());
    // Heights are stored as 16-bit samples between the lowest and the highest.
    const float step = (f.max_height - f.min_height) / 65535.0f;
    for (size_t k = 0; k < loaded.size(); k++) ASSERT_NEAR(loaded[k], edited[k], step) << k;
    EXPECT_EQ(timing_gates_format(), gates);
    EXPECT_EQ(statues_format(), statues_text);
    EXPECT_EQ(billboards_format(), cards);
    ASSERT_EQ(editor_get().gradients.size(), gradients.size());
    const editor_gradient &a = editor_get().gradients[0], &b = gradients[0];
    EXPECT_NEAR(a.x0, b.x0, 1e-4f);
    EXPECT_NEAR(a.z1, b.z1, 1e-4f);
    ASSERT_EQ(a.points.size(), b.points.size());
    EXPECT_EQ(a.points[1].segment, 1);
    EXPECT_NEAR(a.points[1].h, 2.5f, 1e-5f);
    EXPECT_FALSE(editor_modified());
}

TEST_F(EditorTest, ASaveThatFailsPartWayLeavesTheSavedTrackWhole) {
    stroke(k_centre + 40, k_centre + 20, 1);
    type('s');
    ASSERT_STREQ(editor_message_line(), "Saved!");
    ASSERT_TRUE(track_load("rabbithill"));
    const std::string saved = digest();
    const std::string statues_text = statues_format();
    // Another edit, and a save whose statues can't be written after the ground was.
    editor_get().values[item_strength] = 4;
    stroke(k_centre + 80, k_centre - 30, 1);
    type('7');
    click_item(item_new_gradient);
    ASSERT_NE(digest(), saved);
    editor_get().save_fault = "statues";
    type('s');
    EXPECT_STREQ(editor_message_line(), "Save failed!");
    EXPECT_TRUE(editor_modified());
    EXPECT_FALSE(std::filesystem::exists(saved_home() / "rabbithill.saving"));
    ASSERT_TRUE(track_load("rabbithill"));
    EXPECT_EQ(digest(), saved);
    EXPECT_EQ(statues_format(), statues_text);
    EXPECT_TRUE(editor_get().gradients.empty());
}

TEST_F(EditorTest, TabIsNeverTakenPanelKeysStayOnThePanelAndZoomWorksOverAButton) {
    EXPECT_FALSE(editor_key(9, 1));
    EXPECT_FALSE(editor_key(9, 0));
    // Over the Strength row, "]" steps it and is the panel's; the message line names the key.
    const std::vector<int> rows = panel_visible_items();
    const int row =
        static_cast<int>(std::find(rows.begin(), rows.end(), item_strength) - rows.begin());
    move_to_pixel(30, row * k_panel_row + 3);
    EXPECT_TRUE(editor_key(']', 1));
    EXPECT_EQ(editor_get().values[item_strength], 3.25f);
    EXPECT_STREQ(editor_message_line(), "Pressed 0x5d (']')");
    EXPECT_FALSE(editor_key(9, 1));
    // Over a mode button, which has no use for them, "-" and "=" still zoom the view.
    move_to_pixel(30, 3);
    const float zoom = editor_get().values[item_zoom];
    type('-');
    EXPECT_EQ(editor_get().values[item_zoom], zoom - 0.5f);
    type('=');
    type('=');
    EXPECT_EQ(editor_get().values[item_zoom], zoom + 0.5f);
    EXPECT_EQ(editor_get().mode, mode_raise) << "the button was not pressed";
    // Out in the view, "s" saves; "q" is nobody's.
    move_to(k_centre, k_centre);
    EXPECT_FALSE(editor_key('q', 1));
    EXPECT_TRUE(editor_key('s', 1));
    EXPECT_STREQ(editor_message_line(), "Saved!");
}
} // namespace

namespace {
TEST_F(EditorTest, TheViewShowsARaisedPatchTheGradientAndThePanel) {
    const std::vector<float> before_heights = heights();
    move_to(k_centre + 100, k_centre + 60);
    const int px = static_cast<int>(editor_get().pointer_px);
    const int py = static_cast<int>(editor_get().pointer_py);
    const std::vector<uint8_t> before = picture("editor_start");
    editor_get().values[item_strength] = 5; // 32 ft
    editor_get().values[item_focus] = 1;
    stroke(k_centre + 100, k_centre + 60, 1);
    move_to(k_centre - 150, k_centre - 100);
    const std::vector<uint8_t> raised = picture("editor_raised");
    // The raised disc is the highest ground now and is drawn lighter than it was.
    EXPECT_GT(brightness(raised, px, py), brightness(before, px, py) + 30);
    // Far from the stroke, the brush and the panel nothing changed.
    EXPECT_EQ(brightness(raised, k_width - 5, 5), brightness(before, k_width - 5, 5));
    // The panel lies darkened over the ground at the top left.
    EXPECT_LT(brightness(raised, 100, 8), 3 * 200);
    type('7');
    click_item(item_new_gradient);
    type('8');
    editor_gradient& g = editor_get().gradients[0];
    g.points[1].h = 12;
    g.points[0].segment = 1;
    move_to(g.x0 + 25, g.z0 + 30);
    const std::vector<uint8_t> graph = picture("editor_gradient");
    // The profile graph runs from the start point up to the raised end, 12 ft above the line.
    const float scale = editor_scale();
    const int end_x =
        static_cast<int>(std::lround(k_width / 2 + (g.x1 - editor_get().view_x) / scale));
    const int end_y =
        static_cast<int>(std::lround(k_height / 2 + (g.z0 - 12 - editor_get().view_z) / scale));
    bool drawn = false;
    for (int dy = -2; dy <= 2; dy++)
        for (int dx = -4; dx <= 0; dx++)
            drawn = drawn || brightness(graph, end_x + dx, end_y + dy) > 700;
    EXPECT_TRUE(drawn);
    (void)before_heights;
}
} // namespace

namespace {
TEST_F(EditorTest, TheSceneExportDeclaresEveryStatueModelOnceAndTheGround) {
    type('p');
    EXPECT_STREQ(editor_message_line(), "Pov!");
    std::string text;
    ASSERT_TRUE(file_to_string("@rabbithill/track.pov", &text));
    std::set<std::string> models;
    int placed = 0;
    for (int i = 0; i < statue_count(); i++) {
        const statue& s = statues()[i];
        if (!s.model || !model_get(s.model)) continue;
        models.insert(s.model_name);
        placed++;
    }
    ASSERT_GT(placed, 0);
    auto count = [&](const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            n++;
        return n;
    };
    EXPECT_EQ(count("#declare "), static_cast<int>(models.size()) + 3);
    EXPECT_EQ(count("\tobject {\n"), placed);
    EXPECT_EQ(count("#declare ground = height_field {\n\tpng \"terrain.png\"\n"), 1);
}
} // namespace

namespace {
// The object tools as a track maker reaches them: the mode picked on the panel, the pointer
// pressed and dragged in the view, the mode's keys typed.
struct EditorObjectsTest : EditorTest {
    // The view centred on a world point, so that it lies well inside the window.
    static void look_at(float x, float z) {
        editor_get().view_x = x;
        editor_get().view_z = z;
        deliver();
    }
    // A press at one world point, dragged to another and released there.
    static void drag(float x0, float z0, float x1, float z1) {
        move_to(x0, z0);
        button(true);
        tics(1);
        move_to(x1, z1);
        tics(2);
        button(false);
    }
};

TEST_F(EditorObjectsTest, GatesAndStatuesFollowThePointerAndTheKeysCopyAndDelete) {
    const std::vector<float> before = heights();
    const float slack = editor_scale(); // the pointer lands on pixels
    click_item(mode_timing_gate);
    const float gx = gate_at(0).centre[0], gz = gate_at(0).centre[2];
    look_at(gx, gz);
    drag(gx, gz, gx + 20, gz + 10);
    EXPECT_NEAR(gate_at(0).centre[0], gx + 20, slack);
    EXPECT_NEAR(gate_at(0).centre[2], gz + 10, slack);
    EXPECT_TRUE(editor_modified());

    click_item(mode_statues);
    const int s = statue_first_file();
    ASSERT_LT(s, statue_count());
    const std::string model = statues()[s].model_name;
    const float sx = statues()[s].x, sz = statues()[s].z;
    look_at(sx, sz);
    drag(sx, sz, sx + 15, sz - 8);
    EXPECT_NEAR(statues()[s].x, sx + 15, slack);
    EXPECT_NEAR(statues()[s].z, sz - 8, slack);
    EXPECT_NEAR(statues()[s].y,
                ground_height_at(statues()[s].x, statues()[s].z) + statues()[s].offset, 1e-3f)
        << "a moved statue stands on the ground where it went";
    // "d" copies the picked statue to the pointer; Delete over the copy takes it away again.
    const int count = statue_count();
    move_to(sx - 30, sz + 30);
    type('d');
    ASSERT_EQ(statue_count(), count + 1);
    EXPECT_EQ(statues()[count].model_name, model);
    EXPECT_NEAR(statues()[count].x, pointer_x(), 1e-3f);
    key(SDL_SCANCODE_DELETE, SDLK_DELETE);
    EXPECT_EQ(statue_count(), count);

    // None of it touched the heights.
    EXPECT_EQ(heights(), before);
}

TEST_F(EditorObjectsTest, TheTileMapTakesTheChosenSurfaceAlongAStroke) {
    click_item(mode_tilemap_edit);
    // A grass place away from the track, painted with the surface of the start's ground.
    const float start_x = gate_at(0).centre[0], start_z = gate_at(0).centre[2];
    const int track_type = surface_type_at(start_x, start_z);
    float x = 100, z = 100;
    ASSERT_NE(surface_type_at(x, z), track_type);
    editor_get().values[item_tile] = static_cast<float>(track_type);
    look_at(x, z);
    stroke(x, z, 1);
    const surface_type& painted = surface_type_get(surface_type_at(x, z));
    EXPECT_EQ(painted.blend_code, surface_type_get(track_type).blend_code)
        << "the chosen surface or one of its variants";
    EXPECT_TRUE(editor_modified());
}

TEST_F(EditorObjectsTest, ADecalUnderThePointerIsDeletedWithX) {
    click_item(mode_decals);
    ASSERT_GT(decal_count(), 0);
    const ground_decal d = decal_at(0);
    look_at(d.x, d.z);
    const int count = decal_count();
    move_to(d.x, d.z);
    type('x');
    EXPECT_LT(decal_count(), count);
    for (int i = 0; i < decal_count(); i++)
        EXPECT_FALSE(decal_at(i).x == d.x && decal_at(i).z == d.z) << "the decal is gone";
}

TEST_F(EditorObjectsTest, DeletingEveryDecalAndSavingKeepsThemGoneAfterAReload) {
    click_item(mode_decals);
    ASSERT_GT(decal_count(), 0);
    for (int guard = 0; decal_count() > 0 && guard < 1000; guard++) {
        const ground_decal d = decal_at(0);
        look_at(d.x, d.z);
        move_to(d.x, d.z);
        type('x');
    }
    ASSERT_EQ(decal_count(), 0);
    type('s');
    ASSERT_STREQ(editor_message_line(), "Saved!");
    ASSERT_TRUE(track_load("rabbithill"));
    EXPECT_EQ(decal_count(), 0) << "the deleted decals came back from the old file";
}
} // namespace
