// The menus driven by pushed keys and pointer events in an offscreen window, page by page: races,
// playbacks, time trials and series events started from them, settings and bindings changed,
// display modes switched, and quitting.
#include "core/core_local.h"
#include "menu_world.h"
#include "core/menu_local.h"

#include "common/message.h"
#include "core/bindings.h"
#include "editor/editor.h"
#include "net/net_wire.h"
#include "net/udp.h"
#include "terrain/roost.h"
#include "terrain/terrain.h"
#include "track/track.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {
struct menu_keys : menu_world {
    // The value an item of the open page shows.
    std::string value_of(const char* label) {
        const menu_view view = menu_view_of(width, height);
        const int page = menus().page;
        for (int i = 0; i < static_cast<int>(view.items.size()); i++)
            if (menu_item_label(page, i) == label) return view.items[i].value;
        ADD_FAILURE() << "no item " << label;
        return "";
    }
    // Moves with Up or Down to the item with this label.
    void move_to(const char* label) {
        const int page = menus().page;
        int target = -1;
        for (int i = 0; i < menu_item_count(page) && target < 0; i++)
            if (menu_item_label(page, i) == label) target = i;
        ASSERT_GE(target, 0) << label;
        for (int guard = 0; guard < 60 && menus().item != target; guard++)
            key(menus().item < target ? SDL_SCANCODE_DOWN : SDL_SCANCODE_UP);
        ASSERT_EQ(menus().item, target) << label;
    }
    void press(const char* label) {
        move_to(label);
        key(SDL_SCANCODE_RETURN);
    }
    // Right on a choice until it shows the text.
    void choose_value(const char* label, const char* text) {
        move_to(label);
        for (int guard = 0; guard < 100 && value_of(label) != text; guard++)
            key(SDL_SCANCODE_RIGHT);
        ASSERT_EQ(value_of(label), text) << label;
    }
    // Left or Right on a number until it shows the value.
    void number_value(const char* label, double* setting, double target) {
        move_to(label);
        for (int guard = 0; guard < 100 && *setting != target; guard++)
            key(*setting < target ? SDL_SCANCODE_RIGHT : SDL_SCANCODE_LEFT);
        ASSERT_EQ(*setting, target) << label;
    }
    // Opens a page of the main menu from wherever the menus are.
    void open_from_main(const char* label) {
        if (menus().page == menu_none) key(SDL_SCANCODE_ESCAPE);
        menu_open(menu_main);
        frames(1);
        press(label);
    }
    std::string log_now() {
        std::ifstream in(home / "Trailbok" / "lastlog.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static int local_slot() {
        for (int slot = 0; slot < k_max_riders; slot++)
            if (race_slot(slot).bike >= 0 && race_slot(slot).kind == rider_local) return slot;
        return -1;
    }
};

TEST_F(menu_keys, NewRaceStartsWithTheChosenGatesLapsSkillAndTrack) {
    press("New Race");
    ASSERT_EQ(menus().page, menu_new_race);
    program_edit().options.rotate_lineup = 1;
    choose_value("Track", "Practice Area");
    choose_value("Robot Skill", "Novice");
    number_value("Laps", &config_edit().laps, 2);
    number_value("Minutes", &config_edit().minutes, 1);
    choose_value("Gate 1", "Human");
    choose_value("Gate 2", "Robot");
    choose_value("Gate 3", "Empty");
    const int gate_39 = config().slots[38];
    press("Start");
    EXPECT_EQ(menus().page, menu_none);
    const race_start_params& p = race_params();
    EXPECT_EQ(p.track, "practice");
    EXPECT_EQ(p.laps, 2);
    EXPECT_EQ(p.skill, 0);
    EXPECT_EQ(p.time_limit_tics, 60 * 128);
    EXPECT_FALSE(p.time_trial);
    EXPECT_EQ(race_slot(0).kind, rider_local);
    EXPECT_GE(race_slot(0).bike, 0);
    EXPECT_EQ(race_slot(1).kind, rider_robot);
    EXPECT_LT(race_slot(2).bike, 0);
    // The gates show the next race's lineup, turned by one.
    EXPECT_EQ(config().slots[0], 0);
    EXPECT_EQ(config().slots[1], 1);
    EXPECT_EQ(config().slots[2], 2);
    EXPECT_EQ(config().slots[39], gate_39);
    // The race runs once the menus are closed.
    const int clock = race_clock();
    frames(3);
    EXPECT_GT(race_clock(), clock);
}

TEST_F(menu_keys, QuitOpensTheExitPageAndOnlyTheNextPressQuits) {
    press("Quit");
    EXPECT_EQ(menus().page, menu_exit);
    EXPECT_FALSE(program().quit_requested);
    key(SDL_SCANCODE_ESCAPE);
    EXPECT_EQ(menus().page, menu_none);
    EXPECT_FALSE(program().quit_requested);
    key(SDL_SCANCODE_ESCAPE);
    ASSERT_EQ(menus().page, menu_main);
    press("Quit");
    push_key(SDL_SCANCODE_A, true);
    push_key(SDL_SCANCODE_A, false);
    for (int i = 0; i < 3 && !program().quit_requested; i++) frame_once();
    EXPECT_TRUE(program().quit_requested);
}

// With the editor on, the exit page says so while the track has edits not yet saved.
TEST_F(menu_keys, TheExitPageWarnsOfUnsavedTrackEdits) {
    const char* warning = "Track has been modified since last save!  Think about it!!!";
    auto warned = [&] {
        for (const menu_view_line& l : menu_view_of(width, height).lines)
            if (l.text == warning) return true;
        return false;
    };
    ASSERT_TRUE(track_load("practice"));
    editor_load(); // as a "--editor" start does after each track load
    press("Quit");
    ASSERT_EQ(menus().page, menu_exit);
    EXPECT_FALSE(warned()) << "nothing edited yet";
    key(SDL_SCANCODE_ESCAPE);
    const int n = ground().field.samples_per_side;
    ASSERT_TRUE(ground_edit_height(n / 2, n / 2, ground().field.heights[n / 2 * (n + 1)] + 1));
    key(SDL_SCANCODE_ESCAPE);
    ASSERT_EQ(menus().page, menu_main);
    press("Quit");
    ASSERT_EQ(menus().page, menu_exit);
    EXPECT_TRUE(warned());
    EXPECT_FALSE(program().quit_requested);
    key(SDL_SCANCODE_ESCAPE);
    ground_mark_saved();
    editor_unload();
}

TEST_F(menu_keys, ItemKindsAnswerTheirKeys) {
    press("Bike Setup");
    ASSERT_EQ(menus().page, menu_bike_setup);
    // Left on the first choice selects the last.
    move_to("Arcade Physics");
    const int arcade = setup().choice[key_arcade];
    setup_set_choice(key_arcade, 0);
    key(SDL_SCANCODE_LEFT);
    EXPECT_EQ(setup().choice[key_arcade], setup_key_of(key_arcade).choice_count - 1);
    setup_set_choice(key_arcade, arcade);
    // A number at its maximum stays there.
    move_to("Max Dab Speed (MPH)");
    const setup_key& dab = setup_key_of(key_max_dab_speed);
    setup_set_number(key_max_dab_speed, dab.maximum);
    key(SDL_SCANCODE_RIGHT);
    EXPECT_EQ(setup().number[key_max_dab_speed], dab.maximum);
    key(SDL_SCANCODE_LEFT);
    EXPECT_EQ(setup().number[key_max_dab_speed], dab.maximum - dab.step);
    // Typing searches the bikes; Tab finds the next match.
    move_to("Bike");
    type("kx");
    const std::string first = bike_info_at(setup().choice[key_bike]).name;
    EXPECT_NE(first.find("kx"), std::string::npos) << first;
    key(SDL_SCANCODE_TAB);
    const std::string second = bike_info_at(setup().choice[key_bike]).name;
    EXPECT_NE(second.find("kx"), std::string::npos) << second;
    EXPECT_NE(first, second);
    // A new bike brings its own graphics, the first of them chosen.
    EXPECT_EQ(setup().text[key_bike_texture], texture_choices(choice_bike)[0].label);
    EXPECT_TRUE(program().descriptor_changed);
    // A text at its maximum length takes no more characters.
    move_to("Name");
    const size_t max = static_cast<size_t>(setup_key_of(key_name).max_length);
    type(std::string(max + 5, 'z').c_str());
    EXPECT_EQ(setup().text[key_name].size(), max);
    // "*" on Stability opens the advanced page without changing the value.
    move_to("Stability");
    const double stability = setup().number[key_stability];
    type("*");
    EXPECT_EQ(menus().page, menu_stability);
    EXPECT_EQ(setup().number[key_stability], stability);
}

TEST_F(menu_keys, TheChooserSkipsEmptyRowsAndReturnsTheChosenEntry) {
    press("New Race");
    press("Track");
    ASSERT_EQ(menus().page, menu_chooser);
    EXPECT_EQ(menu_chooser_title(), "Choose Track");
    const int tracks = track_list_count();
    ASSERT_GE(tracks, 2);
    ASSERT_LT(tracks, 20);
    const int last_row = 1 + tracks;
    key(SDL_SCANCODE_DOWN, last_row);
    EXPECT_EQ(menus().item, last_row);
    key(SDL_SCANCODE_DOWN);
    EXPECT_EQ(menus().item, 22) << "past the last row lands on Next Page";
    key(SDL_SCANCODE_UP);
    EXPECT_EQ(menus().item, last_row);
    // The row of the second track: back on New Race with it chosen.
    key(SDL_SCANCODE_UP, tracks - 2);
    key(SDL_SCANCODE_RETURN);
    EXPECT_EQ(menus().page, menu_new_race);
    EXPECT_EQ(menus().item, 0);
    EXPECT_EQ(config().track, track_list_entry(1).folder);
}

TEST_F(menu_keys, ChoosingTheSameBikeKeepsItsGraphics) {
    press("Bike Setup");
    choose_value("Bike Graphics", texture_choices(choice_bike).size() > 1
                                      ? texture_choices(choice_bike)[1].label.c_str()
                                      : texture_choices(choice_bike)[0].label.c_str());
    const std::string graphics = setup().text[key_bike_texture];
    const int bike = setup().choice[key_bike];
    press("Bike");
    ASSERT_EQ(menus().page, menu_chooser);
    EXPECT_EQ(menu_chooser_title(), "Choose Bike");
    for (int page = 0; page < bike / 20; page++) press("Next Page");
    move_to(bike_info_at(bike).name);
    key(SDL_SCANCODE_RETURN);
    EXPECT_EQ(menus().page, menu_bike_setup);
    EXPECT_EQ(setup().choice[key_bike], bike);
    EXPECT_EQ(setup().text[key_bike_texture], graphics);
}

TEST_F(menu_keys, BikeSettingsReachTheRidingBike) {
    press("New Race");
    choose_value("Track", "Practice Area");
    choose_value("Gate 1", "Human");
    press("Start");
    const int slot = local_slot();
    ASSERT_GE(slot, 0);
    program_edit().viewed_slot = slot;
    const int bike = race_slot(slot).bike;
    // The bike settles on the grid first: the mechanic works only on a standing bike.
    auto speed = [&] {
        const vec3d v = bike_frame_velocity(bike);
        return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    };
    const double start = platform().clock();
    while (speed() > 0.05 && platform().clock() < start + 10) frames(1);
    ASSERT_LE(speed(), 0.05);
    key(SDL_SCANCODE_ESCAPE);
    press("Bike Setup");
    choose_value("Arcade Physics", "Yes");
    EXPECT_TRUE(bike_params_of(bike).arcade);
    press("Suspension and Gearing");
    const float spring = bike_params_of(bike).fork_spring_rate;
    move_to("Fork Spring Rate");
    key(SDL_SCANCODE_RIGHT);
    EXPECT_GT(bike_params_of(bike).fork_spring_rate, spring)
        << "applied on the standing bike: " << message_recent(0);
    press("Back to Bike Setup Menu");
    press("Advanced Stability Setup");
    const float leveling = bike_params_of(bike).leveling;
    move_to("Leveling");
    key(SDL_SCANCODE_RIGHT);
    EXPECT_GT(bike_params_of(bike).leveling, leveling);
    EXPECT_FLOAT_EQ(bike_params_of(bike).leveling,
                    static_cast<float>(setup().number[key_leveling]));
}

TEST_F(menu_keys, ThePlaybackPagePlaysTheLastRaceBackOrRacesAgainstIt) {
    press("New Race");
    choose_value("Track", "Practice Area");
    choose_value("Record Demo", "Yes");
    choose_value("Gate 1", "Human");
    choose_value("Gate 2", "Robot");
    press("Start");
    frames(40);
    open_from_main("Playback Race");
    ASSERT_EQ(menus().page, menu_playback);
    choose_value("Playback Mode", "Playback Only");
    ASSERT_GE(demo_list_count(), 1) << "the race just recorded is on the list";
    move_to("default");
    key(SDL_SCANCODE_RETURN);
    EXPECT_EQ(menus().page, menu_none);
    EXPECT_TRUE(demo_playing());
    EXPECT_EQ(local_slot(), -1) << "only demo riders";
    frames(3);

    // Racing against the same file cannot record it; with no gate on Human the player starts
    // first.
    open_from_main("New Race");
    choose_value("Gate 1", "Robot");
    for (int g = 0; g < k_lineup_gates; g++) ASSERT_NE(config().slots[g], 1);
    open_from_main("Playback Race");
    choose_value("Playback Mode", "Race Against");
    messages_clear();
    move_to("default");
    key(SDL_SCANCODE_RETURN);
    EXPECT_EQ(menus().page, menu_none);
    bool refused = false;
    for (int n = 0; n < 20; n++)
        refused |= message_recent(n) == "Can't record and play from same file - recording disabled";
    EXPECT_TRUE(refused);
    EXPECT_FALSE(demo_recording());
    EXPECT_EQ(race_slot(0).kind, rider_local);
    EXPECT_GE(race_slot(0).bike, 0);
}

TEST_F(menu_keys, TimeTrialStartsWithoutALineup) {
    press("Time Trial");
    choose_value("Track", "Practice Area");
    press("Start");
    EXPECT_EQ(menus().page, menu_none);
    EXPECT_TRUE(race_params().time_trial);
    EXPECT_EQ(race_params().laps, 1000);
    EXPECT_EQ(race_params().record_mode, 0);
    EXPECT_GE(local_slot(), 0);
}

TEST_F(menu_keys, APointsSeriesEventIsEnteredOnce) {
    press("Points Series");
    ASSERT_EQ(menus().page, menu_series);
    ASSERT_GT(series_count(), 0);
    key(SDL_SCANCODE_DOWN);
    EXPECT_EQ(menus().item, 2) << "Prev Page is skipped on the first page";
    key(SDL_SCANCODE_UP);
    EXPECT_EQ(menus().item, 0);
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    ASSERT_EQ(menus().page, menu_standings);
    EXPECT_EQ(menu_view_of(width, height).title, series_at(0).title);
    press("Enter Next Event");
    EXPECT_EQ(menus().page, menu_none);
    EXPECT_EQ(series_running(), 0);
    EXPECT_EQ(race_params().track, series_at(0).events[0].track);
    EXPECT_EQ(local_slot(), static_cast<int>(series_at(0).riders.size()));
    const int clock = race_clock();
    frames(2);
    // Entered again during the event, nothing happens: the page stays and the race runs on.
    open_from_main("Points Series");
    key(SDL_SCANCODE_DOWN);
    key(SDL_SCANCODE_RETURN);
    press("Enter Next Event");
    EXPECT_EQ(menus().page, menu_standings);
    EXPECT_GT(race_clock(), clock);
    EXPECT_EQ(series_running(), 0);
}

TEST_F(menu_keys, PresetsVideoModesAndSettingsWrittenToTheConfig) {
    press("Graphics/Sound Setup");
    ASSERT_EQ(menus().page, menu_graphics);
    const int roost = graphics().roost_frequency;
    const int reflections = graphics().reflections_on;
    config_edit().reflections = 1 - reflections;
    press("Use High FPS Settings");
    EXPECT_EQ(graphics_preset_matching(config()), 1);
    const menu_view view = menu_view_of(width, height);
    ASSERT_FALSE(view.lines.empty());
    EXPECT_EQ(view.lines[0].text, "Current Settings: High FPS");
    EXPECT_EQ(graphics().roost_frequency, roost) << "working values follow at the next start";
    EXPECT_EQ(graphics().reflections_on, reflections);

    // A fullscreen mode, then back to the window.
    auto switch_mode = [&](SDL_Scancode step, bool windowed, const char* said) {
        move_to("Video Mode");
        key(step);
        ASSERT_EQ(config().video_mode == 1, windowed);
        press("Switch To Selected Mode Now");
        EXPECT_EQ(video_mode_current_windowed(), windowed);
        EXPECT_NE(log_now().find(said), std::string::npos);
    };
    switch_mode(SDL_SCANCODE_RIGHT, false, "Switching to fullscreen");
    switch_mode(SDL_SCANCODE_LEFT, true, "Switching to a window");

    // A setting changed here is in "@config" when it is written at shut-down.
    const double fov = config().fov;
    move_to("Field Of View");
    key(SDL_SCANCODE_RIGHT, 3);
    EXPECT_EQ(config().fov, fov + 3);
    ASSERT_TRUE(write_config());
    std::ifstream in(home / "Trailbok" / "config");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\nfov=" + std::to_string(static_cast<int>(fov + 3))),
              std::string::npos)
        << text.str();
}

// What the menus changed is in "@config" as soon as they close, not only at an orderly
// shut-down: a crash or a kill later in the race keeps it.
TEST_F(menu_keys, SettingsChangedInTheMenusAreWrittenWhenTheyClose) {
    auto written = [&] {
        std::stringstream text;
        text << std::ifstream(home / "Trailbok" / "config").rdbuf();
        return text.str();
    };
    press("New Race");
    number_value("Laps", &config_edit().laps, 7);
    EXPECT_EQ(written().find("\nlaps=7"), std::string::npos) << "nothing written yet";
    press("Start");
    ASSERT_EQ(menus().page, menu_none);
    EXPECT_NE(written().find("\nlaps=7"), std::string::npos) << written();
    // The menus opened over the race, a setting changed, closed again with Esc.
    key(SDL_SCANCODE_ESCAPE);
    ASSERT_EQ(menus().page, menu_main);
    press("Graphics/Sound Setup");
    const double fov = config().fov;
    move_to("Field Of View");
    key(SDL_SCANCODE_RIGHT, 2);
    // The roost's density takes effect in the race at once.
    press("Advanced Graphics Setup");
    const double density = config().roost_density;
    move_to("Roost Density");
    key(SDL_SCANCODE_LEFT, 3);
    EXPECT_LT(config().roost_density, density);
    EXPECT_EQ(roost_frequency(), static_cast<int>(std::lround(config().roost_density)));
    for (int guard = 0; guard < 5 && menus().page != menu_none; guard++) key(SDL_SCANCODE_ESCAPE);
    ASSERT_EQ(menus().page, menu_none);
    EXPECT_NE(written().find("\nfov=" + std::to_string(static_cast<int>(fov + 2))),
              std::string::npos)
        << written();
}

// The controls page is the game's help: every binding with its key, then the fixed keys.
TEST_F(menu_keys, TheControlsPageListsEveryBindingAndTheFixedKeys) {
    menu_open(menu_controls);
    frames(1);
    const menu_view view = menu_view_of(width, height);
    int shown = 0;
    for (const menu_view_item& item : view.items)
        for (int i = 0; i < k_binding_count; i++)
            shown += item.label == bindings()[i].label && !item.value.empty();
    EXPECT_EQ(shown, k_binding_count);
    std::string text;
    for (const menu_view_line& l : view.lines) text += l.text + "\n";
    for (const char* fixed : {"Esc", "Tab", "0-9", "Chat (t)", "/help"})
        EXPECT_NE(text.find(fixed), std::string::npos) << fixed << "\n" << text;
}

TEST_F(menu_keys, TheServerHistoryConnectAndDisconnect) {
    press("Multiplayer");
    move_to("Server");
    config_edit().server_name = "typed";
    key(SDL_SCANCODE_PAGEUP);
    EXPECT_EQ(config().server_name, "typed") << "an empty history changes nothing";
    // A server nobody answers on this machine: the client keeps contacting it.
    config_edit().server_name = "127.0.0.1:19899";
    press("Connect");
    EXPECT_EQ(menus().page, menu_none);
    EXPECT_EQ(config().server_history[0], "127.0.0.1:19899");
    EXPECT_EQ(program().options.server_address, "127.0.0.1:19899");
    ASSERT_TRUE(net_connected());
    EXPECT_EQ(net_state(), 0);
    // The history steps back to it from a new text.
    open_from_main("Multiplayer");
    EXPECT_EQ(menu_item_label(menu_multiplayer, 1), "Connect");
    EXPECT_EQ(menu_view_of(width, height).items[1].label, "Disconnect");
    move_to("Server");
    config_edit().server_name = "other";
    key(SDL_SCANCODE_PAGEUP);
    EXPECT_EQ(config().server_name, "127.0.0.1:19899");
    key(SDL_SCANCODE_PAGEDOWN);
    EXPECT_EQ(config().history_cursor, -1);
    // Leaving while still contacting: the page stays open.
    messages_clear();
    press("Connect");
    EXPECT_EQ(menus().page, menu_multiplayer);
    EXPECT_FALSE(net_connected());
    EXPECT_EQ(menu_view_of(width, height).items[1].label, "Connect");
    bool said = false;
    for (int n = 0; n < 5; n++) said |= message_recent(n).find("Disconnected") != std::string::npos;
    EXPECT_TRUE(said);
}

// A server that ends the connection (as one that falls silent is left) sends the player back to
// the menus: the main page opens and the server is forgotten, so the next race is the player's.
TEST_F(menu_keys, AServerThatEndsTheConnectionBringsBackTheMenus) {
    int server = udp_open();
    ASSERT_TRUE(udp_bind(server, 0));
    press("Multiplayer");
    move_to("Server");
    config_edit().server_name = "127.0.0.1:" + std::to_string(udp_local_port(server));
    press("Connect");
    ASSERT_EQ(menus().page, menu_none);
    ASSERT_TRUE(net_connected());
    uint8_t contact[64];
    udp_address client;
    int n = -1;
    for (int i = 0; i < 100 && n < 0; i++) {
        n = udp_receive(server, contact, sizeof contact, &client);
        if (n < 0) frames(1);
    }
    ASSERT_EQ(n, 21) << "the contact";
    const datagram bye = build_server_byte(msg_server_disconnect);
    udp_send(server, bye.bytes, bye.length, client);
    for (int i = 0; i < 100 && net_connected(); i++) frames(1);
    EXPECT_FALSE(net_connected());
    EXPECT_EQ(menus().page, menu_main);
    EXPECT_TRUE(program().options.server_address.empty());
    udp_close(server);
}

TEST_F(menu_keys, ThePointerChoosesAndClicksItems) {
    int x = 0, y = 0;
    item_centre(5, &x, &y);
    point(x, y);
    EXPECT_EQ(menus().item, 5) << "the item under the pointer becomes current";
    click(x, y);
    ASSERT_EQ(menus().page, menu_bike_setup);
    // A click on a choice moves it on.
    const int arcade = setup().choice[key_arcade];
    item_centre(15, &x, &y);
    click(x, y);
    EXPECT_NE(setup().choice[key_arcade], arcade);
    // A click at the far left of a slider sets its minimum.
    menu_open(menu_graphics);
    frames(1);
    const menu_view view = menu_view_of(width, height);
    float left = 0, right = 0;
    int fov_item = -1;
    for (int i = 0; i < menu_item_count(menu_graphics); i++)
        if (menu_item_label(menu_graphics, i) == "Field Of View") fov_item = i;
    ASSERT_TRUE(menu_view_slider(view, width, height, fov_item, &left, &right));
    item_centre(fov_item, &x, &y);
    click(static_cast<int>(left) - 5, y);
    EXPECT_EQ(config().fov, 10);
    click(static_cast<int>(right) + 5, y);
    EXPECT_EQ(config().fov, 170);
    // Dragged with the button held, the slider follows the pointer to its middle.
    mouse_button(true);
    frames(1);
    point(static_cast<int>((left + right) / 2), y);
    mouse_button(false);
    frames(1);
    EXPECT_EQ(config().fov, 90);
    // A click beyond the slack at either end moves nothing.
    click(static_cast<int>(left) - 40, y);
    EXPECT_EQ(config().fov, 90);
}

// The window appearing under a pointer at rest takes no item: Enter still opens the current
// one, and only a move of the pointer makes the item under it current.
TEST_F(menu_keys, APointerRestingWhereTheWindowAppearsTakesNoItem) {
    ASSERT_EQ(menus().page, menu_main);
    const int current = menus().item;
    ASSERT_EQ(menu_item_label(menu_main, current), "New Race");
    int x = 0, y = 0;
    item_centre(5, &x, &y);
    ASSERT_NE(current, 5);
    place_pointer(x, y);
    frames(2);
    EXPECT_EQ(menus().item, current);
    key(SDL_SCANCODE_RETURN);
    EXPECT_EQ(menus().page, menu_new_race);
    press("Back to Main Menu");
    ASSERT_EQ(menus().page, menu_main);
    point(x, y);
    EXPECT_EQ(menus().item, 5) << "a moved pointer takes the item under it";
}

// Over the title picture the main page's items stand below the logo, and no other page has the
// logo under its items.
TEST_F(menu_keys, TheLogoIsDrawnOnlyAboveTheMainPagesItems) {
    ASSERT_EQ(program().view, title_view);
    ASSERT_EQ(menus().page, menu_main);
    for (int i = 0; i < menu_item_count(menu_main); i++) {
        float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        ASSERT_TRUE(
            menu_view_box(menu_view_of(width, height), width, height, i, &x0, &y0, &x1, &y1));
        EXPECT_GE(y0, height * k_main_page_below_logo) << i;
        EXPECT_LE(y1, height) << i;
    }
    // The logo's orange: red well above blue, which the hills, the sky and the menu's own
    // colours never are.
    auto logo_pixels = [&](const std::vector<uint8_t>& rgb) {
        int n = 0;
        for (size_t i = 0; i + 2 < rgb.size(); i += 3) n += rgb[i] > 60 && rgb[i] > 4 * rgb[i + 2];
        return n;
    };
    EXPECT_GT(logo_pixels(picture()), width * height / 50);
    press("New Race");
    ASSERT_EQ(menus().page, menu_new_race);
    EXPECT_EQ(logo_pixels(picture()), 0);
}

TEST_F(menu_keys, FortyFiveDemosMakeThreePagesOfRows) {
    for (int i = 0; i < 45; i++) {
        char name[64];
        std::snprintf(name, sizeof name, "@demos/race%02d.qvdemo", i);
        demo_list_note(name);
    }
    press("Playback Race");
    // Down past the last row of a page lands on Next Page.
    const int next_page = 23;
    move_to("Next Page");
    key(SDL_SCANCODE_RETURN, 2);
    EXPECT_EQ(menu_list_page(menu_playback), 2);
    EXPECT_EQ(menu_item_label(menu_playback, 3), "race40");
    EXPECT_EQ(menu_item_label(menu_playback, 8), "");
    key(SDL_SCANCODE_RETURN);
    EXPECT_EQ(menu_list_page(menu_playback), 2) << "the last page stays";
    key(SDL_SCANCODE_UP);
    EXPECT_EQ(menus().item, 7) << "up from Next Page lands on the last demo";
    key(SDL_SCANCODE_DOWN);
    EXPECT_EQ(menus().item, next_page);
}

// A joystick attached before the window opens, as a player's pad would be.
struct menu_keys_pad : menu_keys {
    SDL_Joystick* pad = nullptr;
    void before_window() override {
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_UNKNOWN;
        desc.naxes = 2;
        desc.nbuttons = 4;
        desc.name = "Joystick 1";
        ASSERT_GE(SDL_JoystickAttachVirtualEx(&desc), 0);
    }
    void TearDown() override {
        if (pad) SDL_JoystickClose(pad);
        menu_keys::TearDown();
        while (SDL_NumJoysticks() > 0) SDL_JoystickDetachVirtual(0);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
};

TEST_F(menu_keys_pad, ABindingIsCapturedFromTheJoystick) {
    press("Customize Controls");
    ASSERT_EQ(menus().page, menu_controls);
    move_to("Throttle");
    type(" ");
    EXPECT_EQ(bindings_capturing(), -1) << "Space does not start a capture";
    key(SDL_SCANCODE_RETURN);
    EXPECT_EQ(value_of("Throttle"), "<<PRESS A KEY>>");
    pad = SDL_JoystickOpen(0);
    ASSERT_NE(pad, nullptr);
    SDL_JoystickSetVirtualAxis(pad, 1, 30000);
    const double start = platform().clock();
    while (bindings_capturing() >= 0 && platform().clock() < start + 3) frames(1);
    EXPECT_EQ(bindings_capturing(), -1);
    const binding* b = binding_for_key("throttle_key");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->axis, "Joystick1 axis 1");
    EXPECT_EQ(value_of("Throttle"), "Joystick1 axis 1 (Positive)");
}
} // namespace

namespace {
TEST_F(menu_keys, WithNoSeriesOnlyTheWayBackCanBeCurrent) {
    series_free();
    press("Points Series");
    ASSERT_EQ(menus().page, menu_series);
    key(SDL_SCANCODE_DOWN);
    EXPECT_EQ(menus().item, 0);
    key(SDL_SCANCODE_UP);
    EXPECT_EQ(menus().item, 0);
    key(SDL_SCANCODE_RETURN);
    EXPECT_EQ(menus().page, menu_main);
}
} // namespace
