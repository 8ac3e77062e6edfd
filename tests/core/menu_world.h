// The game started as far as the frame loop on the generated data set, in an offscreen SDL
// window: keys and pointer moves pushed as SDL events, frames run by the frame loop, and
// pictures of what the window shows.
#pragma once

#include "core/core_local.h"
#include "core/config.h"
#include "core/frame_record.h"
#include "core/menu.h"
#include "core/menu_local.h"
#include "core/program.h"
#include "core/shape_check.h"
#include "core/view.h"

#include "bike/bike.h"
#include "demo/demo.h"
#include "files/data_file.h"
#include "files/files.h"
#include "net/net.h"
#include "platform/controls.h"
#include "platform/devices.h"
#include "platform/event_queue.h"
#include "platform/log.h"
#include "race/race.h"
#include "race/series.h"
#include "render/render.h"
#include "resources/gpu.h"
#include "resources/resources.h"
#include "resources/texture.h"
#include "track/track.h"
#include "ui/text.h"
#include "ui/ui.h"

#include "support/data_set_home.h"
#include "support/sdl_events.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

class menu_world : public ::testing::Test {
  protected:
    std::filesystem::path home;
    int width = 800, height = 600;

    // What start-up does before the frame loop, with the window `width` by `height`.
    void SetUp() override {
        home = data_set_home_open(
            "tb_menu_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        unsetenv("TAVO_LOGFILE");
        log_reset();
        platform_use(k_platform_sdl);
        program_reset();
        config_reset();
        setup_reset();
        event_queue_clear();
        before_window();
        config_edit().video_mode = 1;
        config_edit().xres = width;
        config_edit().yres = height;
        ASSERT_TRUE(find_game_data());
        ASSERT_TRUE(platform().create_window("Trailbok", width, height, 0, 16));
        video_mode_set_current(1);
        resources_set_gpu(&k_resources_gpu_gl);
        file_index();
        fixed_shape_check();
        texture_choice_lists_build();
        ASSERT_GT(track_list_scan(), 0);
        demo_list_build();
        series_load_all();
        gl_features_init(false);
        fonts_load();
        hud_pictures_load();
        bindings_resolve();
        menu_init();
        world_create();
        bike_set_resource_loader(&k_bike_loader_caches);
        demo_init();
        net_init();
        race_clear_slots();
        race_set_calendar([] { return 1700000000L; });
        menu_open(menu_main);
        menus().seen = menus().page;
        program_edit().time.last_frame_time = platform().clock();
    }
    // Files a test wants in the home folder before start-up reads it.
    virtual void before_window() {}

    void TearDown() override {
        series_record_results(false);
        net_shutdown();
        race_shutdown();
        demo_shutdown();
        demo_list_free();
        track_unload();
        world_destroy();
        bike_set_resource_loader(&k_bike_loader_null);
        menu_shutdown();
        bindings_close();
        series_free();
        track_list_free();
        texture_choice_lists_free();
        textures_free();
        models_free();
        fonts_free();
        platform().destroy_window();
        resources_set_gpu(nullptr);
        platform_use(k_platform_null);
        config_reset();
        program_reset();
        log_close();
        data_set_home_close(home);
        log_reset();
    }

    // Runs whole frames of the loop.
    static void frames(int n) {
        for (int i = 0; i < n; i++) ASSERT_TRUE(frame_once());
    }

    static void push_key(SDL_Scancode scan, bool down) { sdl_push_key(scan, down); }
    // A key pressed and released, then two frames: one press a frame, as a player types.
    static void key(SDL_Scancode scan, int times = 1) {
        for (int i = 0; i < times; i++) {
            push_key(scan, true);
            push_key(scan, false);
            frames(2);
        }
    }
    // Typed characters, as the window's text input gives them.
    static void type(const char* text) {
        for (const char* c = text; *c; c++) {
            SDL_Event e{};
            e.type = SDL_TEXTINPUT;
            e.text.timestamp = SDL_GetTicks();
            e.text.text[0] = *c;
            SDL_PushEvent(&e);
            frames(1);
        }
    }
    static void push_motion(int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.timestamp = SDL_GetTicks();
        e.motion.x = x;
        e.motion.y = y;
        SDL_PushEvent(&e);
    }
    // The pointer put at a window position without a move, as the window appears under it.
    static void place_pointer(int x, int y) {
        push_motion(x, y);
        frames(1);
    }
    // The pointer moved to a window position (from a pixel beside it), then the frame that
    // handles it and the next, which finds the item under it.
    static void point(int x, int y) {
        place_pointer(x + 1, y);
        push_motion(x, y);
        frames(2);
    }
    static void mouse_button(bool down) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.timestamp = SDL_GetTicks();
        e.button.button = SDL_BUTTON_LEFT;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        SDL_PushEvent(&e);
    }
    // A click: the pointer onto the position, the button pressed and released.
    static void click(int x, int y) {
        point(x, y);
        mouse_button(true);
        mouse_button(false);
        frames(2);
    }
    // The centre of an item of the open page, in window pixels.
    void item_centre(int item, int* x, int* y) {
        float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        if (!menu_view_box(menu_view_of(width, height), width, height, item, &x0, &y0, &x1, &y1))
            ADD_FAILURE() << "item " << item << " is not on the page";
        *x = static_cast<int>((x0 + x1) / 2);
        *y = static_cast<int>((y0 + y1) / 2);
    }
    // Moves down from the top of the open page to the item with this label.
    void go_to(const char* label) {
        const int page = menus().page;
        for (int guard = 0; guard < 60 && menu_item_label(page, menus().item) != label; guard++)
            key(SDL_SCANCODE_DOWN);
        ASSERT_EQ(menu_item_label(page, menus().item), label);
    }
    // Goes to an item and presses Enter on it.
    void choose(const char* label) {
        go_to(label);
        key(SDL_SCANCODE_RETURN);
    }

    // What the window shows now with the open page over the title picture or the race:
    // RGB rows from the top.
    std::vector<uint8_t> picture() {
        int w = 0, h = 0;
        EXPECT_TRUE(platform().begin_frame(&w, &h));
        set_projection(w, h, static_cast<float>(config().fov));
        if (track_current() && race_slot(program().viewed_slot).bike >= 0)
            render_scene(world_frame(rider_camera_of(race_slot(program().viewed_slot).bike,
                                                     program().viewed_slot,
                                                     static_cast<float>(config().fov))));
        else
            menu_title_backdrop_draw();
        menu_draw(w, h);
        return end_frame_picture(w, h);
    }
    // What the frame begun shows, RGB rows from the top; the frame ends.
    static std::vector<uint8_t> end_frame_picture(int w, int h) {
        std::vector<uint8_t> rows(static_cast<size_t>(w) * h * 3);
        render_read_pixels(w, h, rows.data());
        platform().end_frame();
        std::vector<uint8_t> top_down(rows.size());
        const size_t line = static_cast<size_t>(w) * 3;
        for (int y = 0; y < h; y++)
            std::copy_n(&rows[static_cast<size_t>(h - 1 - y) * line], line, &top_down[y * line]);
        return top_down;
    }
    // Saves the picture in the folder TB_MENU_PICTURES names, when it names one.
    void keep_picture(const std::vector<uint8_t>& rgb, const std::string& name) {
        const char* folder = getenv("TB_MENU_PICTURES");
        if (!folder || !*folder) return;
        std::string bytes;
        if (image_encode_png(rgb.data(), width, height, 3, "", &bytes)) {
            std::FILE* f = std::fopen((std::string(folder) + "/" + name + ".png").c_str(), "wb");
            if (f) {
                std::fwrite(bytes.data(), 1, bytes.size(), f);
                std::fclose(f);
            }
        }
    }
};
