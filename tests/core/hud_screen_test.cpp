// The HUD over a race on the generated data set in an offscreen window: each element lights
// pixels inside the rectangle its layout gives it and nowhere else, at a wide and a 4:3 size, and
// "--hidden-hud" draws none of it. TB_MENU_PICTURES=<folder> keeps the pictures for a look.
#include "core/core_local.h"
#include "menu_world.h"
#include "core/menu_local.h"

#include "bike/data/bike_setup.h"
#include "common/message.h"
#include "core/console.h"
#include "core/frame_record.h"
#include "core/hud_feed.h"
#include "core/view.h"
#include "race/race_timing.h"
#include "ui/hud_layout.h"
#include "ui/hud_telemetry.h"

namespace {
struct hud_screen : menu_world {
    // A race of the player and three robots (on rabbithill unless told), past the gate drop,
    // paused.
    void race_under_way(int laps = 3, const char* track = "rabbithill") {
        setup_set_choice(key_lean_indicator, 1);
        config_edit().draw_fps = config_edit().draw_time = config_edit().draw_speed = 1;
        menu_open(menu_none);
        race_start_params p;
        p.track = track;
        p.laps = laps;
        const int lineup[] = {lineup_local, lineup_robot, lineup_robot, lineup_robot};
        p.record_mode = 1;
        ASSERT_TRUE(race_start_lineup(p, lineup, 4));
        program_edit().viewed_slot = 0;
        program_edit().options.autopilot = true;
        ASSERT_TRUE(run_line("/togglegraph"));
        ASSERT_TRUE(run_line("/toggletelemetry"));
        program_edit().options.warp = true;
        for (int guard = 0; guard < 60 && race_clock() < race_gate_drop_tic() + 4 * 128; guard++)
            frames(1);
        program_edit().options.warp = false;
        ASSERT_GT(race_clock(), race_gate_drop_tic());
        ASSERT_EQ(program().view, rider_camera);
        program_edit().paused = true;
        frames(1);
    }

    // The scene alone, then with the HUD over it, in one frame.
    void scene_and_hud(std::vector<uint8_t>* scene, std::vector<uint8_t>* with_hud) {
        int w = 0, h = 0;
        ASSERT_TRUE(platform().begin_frame(&w, &h));
        ASSERT_EQ(w, width);
        set_projection(w, h, static_cast<float>(config().fov));
        const int slot = program().viewed_slot;
        render_scene(world_frame(
            rider_camera_of(race_slot(slot).bike, slot, static_cast<float>(config().fov))));
        *scene = read_now(w, h);
        hud_graphs_draw();
        hud_draw(hud_frame_now());
        *with_hud = end_frame_picture(w, h);
    }
    static std::vector<uint8_t> read_now(int w, int h) {
        std::vector<uint8_t> rows(static_cast<size_t>(w) * h * 3), top_down(rows.size());
        render_read_pixels(w, h, rows.data());
        const size_t line = static_cast<size_t>(w) * 3;
        for (int y = 0; y < h; y++)
            std::copy_n(&rows[static_cast<size_t>(h - 1 - y) * line], line, &top_down[y * line]);
        return top_down;
    }

    struct box {
        int x0, y0, x1, y1; // px, y from the top
    };
    box pixels(const hud_layout& l, const hud_rect& r) const {
        float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        hud_to_pixels(l, width, height, r.x0, r.y1, &x0, &y0);
        hud_to_pixels(l, width, height, r.x1, r.y0, &x1, &y1);
        // A frame line on a rectangle's edge may fall on the pixel just outside it.
        return {static_cast<int>(x0) - 1, static_cast<int>(y0) - 1,
                static_cast<int>(std::ceil(x1)) + 1, static_cast<int>(std::ceil(y1)) + 1};
    }
    // Pixels of a box where the two pictures differ.
    int changed(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, box r) const {
        int n = 0;
        for (int y = std::max(r.y0, 0); y < std::min(r.y1, height); y++)
            for (int x = std::max(r.x0, 0); x < std::min(r.x1, width); x++) {
                const size_t i = (static_cast<size_t>(y) * width + x) * 3;
                n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
            }
        return n;
    }
    // Near-black pixels of a box: the slate of the board and the face of the dial.
    int dark(const std::vector<uint8_t>& rgb, box r) const {
        int n = 0;
        for (int y = std::max(r.y0, 0); y < std::min(r.y1, height); y++)
            for (int x = std::max(r.x0, 0); x < std::min(r.x1, width); x++) {
                const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
                n += p[0] < 45 && p[1] < 45 && p[2] < 45;
            }
        return n;
    }
    static int area(box r) { return (r.x1 - r.x0) * (r.y1 - r.y0); }

    void hud_lands_in_its_rectangles(const char* name) {
        race_under_way();
        std::vector<uint8_t> scene, with_hud;
        scene_and_hud(&scene, &with_hud);
        keep_picture(with_hud, std::string("hud_") + name);
        const hud_layout l = hud_layout_for(width, height, static_cast<float>(config().map_scale));
        struct element {
            const char* what;
            const hud_rect* rect;
            float share; // of the rectangle that must change at least
        };
        const element elements[] = {
            {"timing board", &l.board, 0.5f},          {"tachometer", &l.tach, 0.3f},
            {"lean indicator", &l.lean, 0.01f},        {"track map", &l.map, 0.05f},
            {"status lines", &l.status, 0.005f},       {"suspension graph", &l.graph, 0.2f},
            {"telemetry overlay", &l.telemetry, 0.3f},
        };
        int inside = 0;
        for (const element& e : elements) {
            const box b = pixels(l, *e.rect);
            const int n = changed(scene, with_hud, b);
            EXPECT_GT(n, static_cast<int>(e.share * static_cast<float>(area(b))))
                << name << ": " << e.what;
            inside += n;
        }
        // Nothing is drawn outside the elements: every changed pixel is in one of them (the
        // rectangles do not overlap, so nothing is counted twice).
        EXPECT_EQ(changed(scene, with_hud, {0, 0, width, height}), inside) << name;
    }
};

struct hud_screen_wide : hud_screen {
    hud_screen_wide() { width = 1280, height = 720; }
};
} // namespace

TEST_F(hud_screen, EveryElementLandsInItsRectangleAtFourByThree) {
    hud_lands_in_its_rectangles("4x3");
}

TEST_F(hud_screen_wide, EveryElementLandsInItsRectangleAtSixteenByNine) {
    hud_lands_in_its_rectangles("16x9");
}

TEST_F(hud_screen, HiddenHudDrawsNoneOfIt) {
    race_under_way();
    const hud_layout l = hud_layout_for(width, height, static_cast<float>(config().map_scale));
    // The frame loop's own screenshots, with the HUD and with "--hidden-hud".
    program_edit().screenshot_requested = true;
    frames(1);
    const char* args[] = {"trailbok", "--hidden-hud"};
    command_line_target target{program_edit().options, config_edit(), graphics_edit()};
    ASSERT_TRUE(parse_command_line(2, args, target).ok);
    ASSERT_FALSE(program().options.show_hud);
    program_edit().screenshot_requested = true;
    frames(1);
    image shown, hidden;
    ASSERT_TRUE(image_load("@screenshot001.png", &shown));
    ASSERT_TRUE(image_load("@screenshot002.png", &hidden));
    ASSERT_EQ(shown.width, width);
    ASSERT_EQ(hidden.width, width);
    // The hidden HUD's frame is the scene alone, as drawn again now; the shown one is not.
    std::vector<uint8_t> scene, with_hud;
    scene_and_hud(&scene, &with_hud);
    EXPECT_EQ(changed(hidden.pixels, scene, {0, 0, width, height}), 0);
    for (const hud_rect* r : {&l.board, &l.tach}) {
        const box b = pixels(l, *r);
        EXPECT_GT(changed(shown.pixels, scene, b), area(b) / 3);
    }
    EXPECT_GT(dark(shown.pixels, pixels(l, l.board)), area(pixels(l, l.board)) / 3);
    EXPECT_LT(dark(hidden.pixels, pixels(l, l.board)), area(pixels(l, l.board)) / 20);
}

// The top-down editor keeps the left of the window for its panel: no board, dial, lean
// indicator, map or status line is drawn over it.
TEST_F(hud_screen, NothingOfTheRaceHudIsDrawnOverTheEditorView) {
    race_under_way();
    show_message("a message the race would show");
    // The frame loop draws the editor's view, then the HUD over it.
    auto view_and_hud = [&](std::vector<uint8_t>* view, std::vector<uint8_t>* with_hud) {
        int w = 0, h = 0;
        ASSERT_TRUE(platform().begin_frame(&w, &h));
        set_projection(w, h, static_cast<float>(config().fov));
        render_clear();
        *view = read_now(w, h);
        hud_draw(hud_frame_now());
        *with_hud = end_frame_picture(w, h);
    };
    std::vector<uint8_t> view, with_hud;
    view_and_hud(&view, &with_hud);
    ASSERT_GT(changed(view, with_hud, {0, 0, width, height}), 0) << "the race's HUD is drawn";
    program_edit().view = editor_view;
    view_and_hud(&view, &with_hud);
    EXPECT_EQ(changed(view, with_hud, {0, 0, width, height}), 0);
    program_edit().view = rider_camera;
}

TEST_F(hud_screen, TheTelemetryOverlayFollowsADemoRiderInPlayback) {
    race_under_way();
    ASSERT_TRUE(demo_recording());
    EXPECT_EQ((messages_clear(), run_line("/namedemo hudtest"), message_recent(0)),
              "Demo name updated");
    program_edit().paused = false;
    program_edit().options.warp = true;
    const int end = race_clock() + 6 * 128;
    for (int guard = 0; guard < 60 && race_clock() < end; guard++) frames(1);
    // A new race closes the recording under its name; then it is played back alone.
    race_start_params p = race_params();
    p.record_mode = 0;
    ASSERT_TRUE(race_start(p));
    demo_race_choice choice;
    ASSERT_TRUE(demo_play_race("@demos/hudtest.qvdemo", choice));
    ASSERT_TRUE(demo_playing());
    int followed = -1;
    for (int slot = 0; slot < k_max_riders && followed < 0; slot++)
        if (race_slot(slot).bike >= 0 && race_slot(slot).kind == rider_remote) followed = slot;
    ASSERT_GE(followed, 0);
    program_edit().viewed_slot = followed;
    hud_telemetry_clear();
    for (int guard = 0; guard < 60 && race_clock() < race_gate_drop_tic() + 5 * 128; guard++)
        frames(1);
    program_edit().options.warp = false;
    program_edit().paused = true;
    frames(1);

    const telemetry_traces& t = hud_telemetry_traces();
    EXPECT_EQ(t.slot, followed);
    ASSERT_GT(t.count, 256);
    EXPECT_FALSE(t.brakes_known) << "a recorded rider's levers are not in the demo";
    float fastest = 0, fork_low = 1, fork_high = 0, throttle = 0;
    for (int age = 0; age < t.count; age++) {
        fastest = std::max(fastest, telemetry_sample(t, trace_speed, age));
        throttle = std::max(throttle, telemetry_sample(t, trace_throttle, age));
        fork_low = std::min(fork_low, telemetry_sample(t, trace_fork, age));
        fork_high = std::max(fork_high, telemetry_sample(t, trace_fork, age));
    }
    EXPECT_GT(fastest, 5) << "the recorded rider rode away from the gate";
    EXPECT_GT(throttle, 0.1f) << "the recorded throttle";
    EXPECT_GT(fork_high, fork_low) << "the fork moved";
    // And the overlay is drawn over the playback.
    std::vector<uint8_t> scene, with_hud;
    scene_and_hud(&scene, &with_hud);
    keep_picture(with_hud, "hud_playback");
    const hud_layout l = hud_layout_for(width, height, static_cast<float>(config().map_scale));
    const box b = pixels(l, l.telemetry);
    EXPECT_GT(changed(scene, with_hud, b), area(b) / 3);
}

// The start title stands mid-screen, where a menu page's items are: it is not drawn under one
// (nor is the results table, which the next test sees once the leader finishes).
TEST_F(hud_screen, TheStartTitleIsNotDrawnUnderAMenuPage) {
    race_under_way();
    menu_open(menu_none);
    EXPECT_EQ(hud_frame_now().title.track, track_display_name());
    menu_open(menu_new_race);
    EXPECT_EQ(hud_frame_now().title.track, "");
    menu_open(menu_chat);
    EXPECT_EQ(hud_frame_now().title.track, track_display_name()) << "the chat line is no page";
    menu_open(menu_none);
}

// The chat line is drawn low on the screen, clear of "Paused" and the warm-up line.
TEST_F(hud_screen, TheChatLineKeepsClearOfTheMiddleOfTheScreen) {
    race_under_way();
    menu_open(menu_none);
    const std::vector<uint8_t> race = picture();
    menu_open(menu_chat);
    type("/help");
    const std::vector<uint8_t> chat = picture();
    keep_picture(chat, "chat_line");
    int first_row = height, changed_pixels = 0;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            const size_t i = (static_cast<size_t>(y) * width + x) * 3;
            if (race[i] == chat[i] && race[i + 1] == chat[i + 1] && race[i + 2] == chat[i + 2])
                continue;
            changed_pixels++;
            first_row = std::min(first_row, y);
        }
    EXPECT_GT(changed_pixels, 50) << "the line is drawn";
    EXPECT_GT(first_row, height * 6 / 10) << "below the middle's texts";
    menu_open(menu_none);
}

TEST_F(hud_screen, TheChatKeyOpensALineThatRunsCommandsAndShowsWhatIsTyped) {
    menu_open(menu_none);
    frames(1);
    key(SDL_SCANCODE_T);
    ASSERT_EQ(menus().page, menu_chat);
    type("/togglefps");
    EXPECT_EQ(console_line(), "/togglefps") << "the key that opened the page is not typed";
    const menu_view view = menu_view_of(width, height);
    ASSERT_FALSE(view.lines.empty());
    EXPECT_EQ(view.lines[0].text, "Console: /togglefps_") << "offline: nobody to talk to";
    const int before = config().draw_fps;
    key(SDL_SCANCODE_RETURN);
    EXPECT_EQ(config().draw_fps, 1 - before);
    EXPECT_EQ(console_line(), "");
    key(SDL_SCANCODE_UP);
    EXPECT_EQ(console_line(), "/togglefps");
    key(SDL_SCANCODE_ESCAPE);
    EXPECT_EQ(menus().page, menu_none);
}

TEST_F(hud_screen, TheTracksideViewShowsTheTickerAndTheResultsOnceTheLeaderFinishes) {
    // One lap: the robots and the player's autopilot ride it out.
    race_under_way(1, "practice");
    // World tics straight on: the frame loop's warp would start the next race at the finish.
    for (int guard = 0; guard < 300 * 128 && !rider_finished(running_order_at(0).slot); guard++)
        world_tic();
    ASSERT_TRUE(rider_finished(running_order_at(0).slot));
    program_edit().view = trackside_camera;
    view_set_trackside_follow(true);
    bool final_results = false;
    ASSERT_FALSE(hud_result_rows(&final_results).empty());
    int w = 0, h = 0;
    ASSERT_TRUE(platform().begin_frame(&w, &h));
    set_projection(w, h, static_cast<float>(config().fov));
    render_scene(world_frame(trackside_camera_now(-1)));
    const std::vector<uint8_t> scene = read_now(w, h);
    hud_draw(hud_frame_now());
    const std::vector<uint8_t> with_hud = end_frame_picture(w, h);
    keep_picture(with_hud, "hud_results");
    const hud_layout l = hud_layout_for(width, height, static_cast<float>(config().map_scale));
    for (const hud_rect* r : {&l.ticker, &l.lap_box, &l.results}) {
        const box b = pixels(l, *r);
        EXPECT_GT(changed(scene, with_hud, b), area(b) / 10);
    }
    // Under a menu page the table would run through the items' text: it waits for the menus.
    EXPECT_FALSE(hud_frame_now().results.rows.empty());
    menu_open(menu_main);
    EXPECT_TRUE(hud_frame_now().results.rows.empty());
    menu_open(menu_none);
}
