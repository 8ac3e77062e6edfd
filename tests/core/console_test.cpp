// The chat line and console: every command's effect and reply from a table, bad arguments that
// change nothing, the line history, chat spacing, and the files the commands read and write.
#include "core/core_local.h"
#include "core/config.h"
#include "core/console.h"
#include "core/program.h"
#include "core/view.h"

#include "bike/bike.h"
#include "bike/data/bike_setup.h"
#include "common/message.h"
#include "platform/controls.h"
#include "platform/platform.h"
#include "render/render.h"
#include "terrain/terrain.h"
#include "track/track_view.h"
#include "ui/ui.h"

#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {
struct Console : TempDataTest {
    void SetUp() override {
        TempDataTest::SetUp();
        platform_use(k_platform_null);
        program_reset();
        config_reset();
        console_reset();
        hud_reset();
        view_keyframes_set({});
        view_set_keycam(false);
        ground_set_decals_hidden(false);
        messages_set_max_lines(5);
        // Chat spacing is measured on the running clock; start well past zero.
        program_edit().time.run_clock = 100;
    }
    void TearDown() override {
        console_reset();
        hud_reset();
        view_keyframes_set({});
        view_set_keycam(false);
        ground_set_decals_hidden(false);
        config_reset();
        program_reset();
        TempDataTest::TearDown();
    }

    // The newest shown message, and how many were shown while `line` ran.
    static std::string run(const char* line, int* shown = nullptr, bool* kept = nullptr) {
        messages_clear();
        const bool k = run_line(line);
        if (kept) *kept = k;
        if (shown) *shown = messages_visible();
        return messages_visible() > 0 ? message_recent(0) : "";
    }

    static void type(const char* text) {
        for (const char* c = text; *c; c++) console_key(*c);
    }
};

// One command line, the reply it must show, and what it must have changed.
struct command_case {
    const char* line;
    const char* reply; // "" when it shows nothing
    std::function<bool()> effect;
};
} // namespace

TEST_F(Console, EveryCommandHasItsEffectAndReply) {
    const command_case cases[] = {
        {"/togglespy", "Spy mode ON", [] { return config().spy == 1; }},
        {"/togglespy", "Spy mode OFF", [] { return config().spy == 0; }},
        {"/togglegraph", "Suspension graph ON", [] { return hud_graph_on(); }},
        {"/toggletelemetry", "Telemetry overlay ON", [] { return hud_telemetry_on(); }},
        {"/togglefps", "FPS display ON", [] { return config().draw_fps == 1; }},
        {"/toggletime", "Time display ON", [] { return config().draw_time == 1; }},
        // The ping line is on by default.
        {"/toggleping", "Ping display OFF", [] { return config().draw_ping == 0; }},
        {"/togglespeed", "Speed display ON", [] { return config().draw_speed == 1; }},
        {"/togglekeycam", "Keycam mode ON", [] { return view_keycam(); }},
        {"/toggledecals", "Hide decals ON", [] { return ground_decals_hidden(); }},
        {"/toggledecals", "Hide decals OFF", [] { return !ground_decals_hidden(); }},
        {"/bbopt 12", "Billboard optimization window is now 12",
         [] { return config().billboard_optimize_lookahead == 12; }},
        {"/fov 90", "fov set", [] { return config().fov == 90; }},
        {"/fov 500", "fov set", [] { return config().fov == 170; }},
        {"/mapscale 100", "Map scale set to 8.000000", [] { return config().map_scale == 8; }},
        {"/mapscale 0.01", "Map scale set to 0.125000", [] { return config().map_scale == 0.125; }},
        {"/messagelines 3", "Maximum showing messages is now 3",
         [] { return config().message_lines == 3; }},
        {"/demobackups 4", "Now keeping 4 demo backups", [] { return config().demo_backups == 4; }},
        {"/forcereload", "Track will be reloaded on next restart", [] { return true; }},
        {"/namedemo race1", "Not currently recording a demo", [] { return true; }},
        {"/sendfile notes.txt", "Not connected to server", [] { return true; }},
        {"/log e 5", "Logging 0x1, spacing 5.000000", [] { return true; }},
        {"/log", "Logging 0x0, spacing 10.000000", [] { return true; }},
        {"/hfvol", "0.000000", [] { return true; }},
        {"/addkey", "Keyframe added", [] { return view_keyframes().size() == 1; }},
        {"/addkey", "Keyframe added", [] { return view_keyframes().size() == 2; }},
        {"/rmkey", "Keyframe deleted", [] { return view_keyframes().size() == 1; }},
        {"/clearkeys", "Keyframes cleared", [] { return view_keyframes().empty(); }},
        {"\\togglefps", "FPS display OFF", [] { return config().draw_fps == 0; }},
    };
    for (const command_case& c : cases) {
        bool kept = false;
        EXPECT_EQ(run(c.line, nullptr, &kept), c.reply) << c.line;
        EXPECT_TRUE(kept) << c.line;
        EXPECT_TRUE(c.effect()) << c.line;
    }
}

TEST_F(Console, BadArgumentsShowTheirMessageAndChangeNothing) {
    const settings before = config();
    const command_case cases[] = {
        {"/fov wide", "Usage: fov <degrees>", [&] { return config().fov == before.fov; }},
        {"/fov", "Usage: fov <degrees>", [&] { return config().fov == before.fov; }},
        {"/camangle 10", "Usage: camangle <yaw> <pitch>", [] { return true; }},
        {"/camangle a b", "Usage: camangle <yaw> <pitch>", [] { return true; }},
        {"/bbopt many", "Usage: bbopt <window>",
         [&] {
             return config().billboard_optimize_lookahead == before.billboard_optimize_lookahead;
         }},
        {"/mapscale big", "Usage: mapscale <scale>",
         [&] { return config().map_scale == before.map_scale; }},
        {"/messagelines x", "Usage: messagelines <lines>",
         [&] { return config().message_lines == before.message_lines; }},
        {"/readsetup", "Error reading setup", [] { return true; }},
        {"/readsetup missing.txt", "Error reading setup", [] { return true; }},
        {"/readkeys missing.txt", "Error reading camera keys",
         [] { return view_keyframes().empty(); }},
    };
    for (const command_case& c : cases) {
        EXPECT_EQ(run(c.line), c.reply) << c.line;
        EXPECT_TRUE(c.effect()) << c.line;
    }
    // An exact command followed by more text, and a line naming no command, do nothing and are
    // not kept.
    for (const char* line : {"/togglespy now", "/togglegraph 1", "/nosuchcommand", "/"}) {
        int shown = 0;
        bool kept = true;
        run(line, &shown, &kept);
        EXPECT_EQ(shown, 0) << line;
        EXPECT_FALSE(kept) << line;
    }
    EXPECT_EQ(config().spy, 0);
    EXPECT_FALSE(hud_graph_on());
}

TEST_F(Console, EveryCommandIsNamedOnceAndAnsweredFromTheLine) {
    std::set<std::string> names;
    for (int i = 0; i < console_command_count(); i++) {
        const console_command& c = console_command_at(i);
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        ASSERT_NE(c.run, nullptr) << c.name;
        EXPECT_NE(std::string(c.help), "") << c.name;
    }
    for (const char* name :
         {"help",        "savetrackinfo", "renderstats",  "togglespy",    "togglegraph",
          "bbopt",       "pipe",          "namedemo",     "camangle",     "fov",
          "fpshist",     "forcereload",   "readsetup",    "writesetup",   "randdump",
          "addkey",      "deletekey",     "rmkey",        "clearkeys",    "listkeys",
          "readkeys",    "writekeys",     "togglekeycam", "togglefps",    "toggletime",
          "toggleping",  "togglespeed",   "sendfile",     "listfiles",    "messagelines",
          "demobackups", "mapscale",      "hfvol",        "toggledecals", "clearlog",
          "log"})
        EXPECT_EQ(names.count(name), 1u) << name;
}

// "/help" lists every command with its help, to scroll back through; "/help name" one of them.
TEST_F(Console, HelpListsEveryCommandWithItsHelp) {
    run("/help");
    const int n = console_command_count();
    for (int i = 0; i < n; i++) {
        const console_command& c = console_command_at(i);
        EXPECT_EQ(message_recent(n - i), std::string("/") + c.name + " " + c.help);
    }
    EXPECT_NE(message_recent(0).find("Page Up"), std::string::npos);
    EXPECT_EQ(run("/help fov"), "/fov <degrees> field of view");
    EXPECT_EQ(run("/help nothing"), "No command \"nothing\"; /help lists them");
}

TEST_F(Console, ChatLinesAreSpacedTwoSecondsApart) {
    bool kept = false;
    EXPECT_EQ(run("hello", nullptr, &kept), "Not connected to server");
    EXPECT_TRUE(kept);
    program_edit().time.run_clock += 1.9;
    EXPECT_EQ(run("again", nullptr, &kept), "No one likes a spammer");
    EXPECT_FALSE(kept);
    // The refused line did not restart the spacing.
    program_edit().time.run_clock += 0.2;
    EXPECT_EQ(run("third", nullptr, &kept), "Not connected to server");
    EXPECT_TRUE(kept);
}

TEST_F(Console, TheLineEditorKeepsAHistoryToBrowse) {
    type("/togglefps");
    EXPECT_EQ(console_line(), "/togglefps");
    console_key(key_code_of("enter"));
    EXPECT_EQ(config().draw_fps, 1);
    EXPECT_EQ(console_line(), "");
    type("/toggletime");
    console_key(key_code_of("keypad enter"));
    // A spammed chat line is not kept; a line naming no command neither.
    type("/nothing");
    console_key(key_code_of("enter"));
    ASSERT_EQ(console_history_count(), 3);
    EXPECT_EQ(console_history_entry(1), "/toggletime");
    EXPECT_EQ(console_history_entry(2), "/togglefps");
    // The unkept line stays in the editor; Up keeps it in entry 0 and brings the older lines.
    EXPECT_EQ(console_line(), "/nothing");
    console_key(key_code_of("up"));
    EXPECT_EQ(console_line(), "/toggletime");
    console_key(key_code_of("up"));
    EXPECT_EQ(console_line(), "/togglefps");
    console_key(key_code_of("up")); // not past the oldest
    EXPECT_EQ(console_line(), "/togglefps");
    console_key(key_code_of("down"));
    console_key(key_code_of("down"));
    EXPECT_EQ(console_line(), "/nothing");
    // Editing: Backspace, the cursor, Delete.
    console_key(8);
    EXPECT_EQ(console_line(), "/nothin");
    console_key(key_code_of("left"));
    console_key(key_code_of("delete"));
    EXPECT_EQ(console_line(), "/nothi");
    // The message display scrolls within its range.
    for (int i = 0; i < 1000; i++) console_key(key_code_of("page up"));
    EXPECT_EQ(console_message_scroll(), k_message_scroll_max);
    console_key(key_code_of("page down"));
    EXPECT_EQ(console_message_scroll(), k_message_scroll_max - 1);
}

TEST_F(Console, ALineStopsAtItsMaximumLength) {
    for (int i = 0; i < 200; i++) console_key('a');
    EXPECT_EQ(static_cast<int>(console_line().size()), k_console_line_max);
}

TEST_F(Console, CameraKeysRoundTripThroughTheirFile) {
    fs::create_directories(home / "keycam");
    track_camera eye = free_camera();
    eye.position[0] = 1, eye.position[1] = 2, eye.position[2] = 3;
    eye.yaw = 0.5f, eye.pitch = 0.25f;
    free_camera_set(eye);
    run("/addkey");
    program_edit().time.run_clock += 1;
    run("/addkey");
    ASSERT_EQ(view_keyframes().size(), 2u);
    std::vector<camera_keyframe> keys = view_keyframes();
    keys[1].tic = 256;
    keys[1].position[0] = 12.5f;
    view_keyframes_set(keys);
    EXPECT_EQ(run("/writekeys lap.txt"), "Camera keys saved");
    const std::string text = read(home / "keycam" / "lap.txt");
    EXPECT_NE(text.find("12.5000 "), std::string::npos) << text;
    run("/clearkeys");
    EXPECT_EQ(run("/readkeys lap.txt"), "Camera keys updated");
    ASSERT_EQ(view_keyframes().size(), 2u);
    EXPECT_EQ(view_keyframes()[1].tic, 256);
    EXPECT_FLOAT_EQ(view_keyframes()[1].position[0], 12.5f);
    int shown = 0;
    const std::string last = run("/listkeys", &shown);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(last.rfind("pos = { 12.50, 2.00, 3.00 }, rot = { ", 0), 0u) << last;
    EXPECT_EQ(last.substr(last.size() - 14), "}, time = 2.00") << last;
    // A broken line stops the reading: the keys before it stay, the error is shown.
    write(home / "keycam" / "broken.txt", "1 2 3 0 0 0 1 90 10\n4 5 six\n7 8 9 0 0 0 1 90 30\n");
    EXPECT_EQ(run("/readkeys broken.txt"), "Error reading camera keys");
    ASSERT_EQ(view_keyframes().size(), 1u);
    EXPECT_EQ(view_keyframes()[0].tic, 10);
}

TEST_F(Console, SetupsAreWrittenAndReadBack) {
    fs::create_directories(home / "setups");
    EXPECT_EQ(run("/writesetup mine.txt"), "Setup written");
    EXPECT_TRUE(fs::exists(home / "setups" / "mine.txt"));
    const int sticky = setup().choice[key_sticky_dab];
    setup_set_choice(key_sticky_dab, 1 - sticky);
    EXPECT_EQ(run("/readsetup mine.txt"), "Setup updated");
    EXPECT_EQ(setup().choice[key_sticky_dab], sticky);
}

// A command's file stays in its folder: a name that would reach another folder or the one above
// is refused with the reason, and nothing outside is read or written.
TEST_F(Console, FileNamesStayInTheirCommandsFolders) {
    for (const char* folder : {"setups", "keycam", "outgoing"})
        fs::create_directories(home / folder);
    fs::create_directories(home / "keycam" / "sub");
    write(home / "outside.txt", "1 2 3 0 0 0 1 90 10\n");
    write(home / "keycam" / "sub" / "lap.txt", "1 2 3 0 0 0 1 90 10\n");
    ASSERT_EQ(run("/writesetup mine.txt"), "Setup written");
    fs::copy_file(home / "setups" / "mine.txt", home / "outside_setup.txt");
    const int sticky = setup().choice[key_sticky_dab];
    setup_set_choice(key_sticky_dab, 1 - sticky);
    const char* const names[] = {
        "../outside.txt", "..", "sub/lap.txt", "/tmp/x.txt", "..\\outside.txt", "keys..txt", "."};
    struct command {
        const char* name;
        const char* folder;
    };
    const command commands[] = {{"readkeys", "keycam/"},
                                {"writekeys", "keycam/"},
                                {"readsetup", "setups/"},
                                {"writesetup", "setups/"},
                                {"sendfile", "outgoing/"}};
    const auto count_files = [&] {
        size_t n = 0;
        for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) n++;
        return n;
    };
    const size_t files = count_files();
    for (const command& c : commands)
        for (const char* name : names) {
            const std::string line = std::string("/") + c.name + " " + name;
            EXPECT_EQ(run(line.c_str()), std::string("The file must be in ") + c.folder +
                                             ": its name may not contain '/', '\\' or '..'")
                << line;
        }
    // Nothing was read: no keyframes, the setup as it was; nothing was written.
    EXPECT_TRUE(view_keyframes().empty());
    EXPECT_EQ(setup().choice[key_sticky_dab], 1 - sticky);
    EXPECT_EQ(count_files(), files);
    // Names inside the folder still work.
    write(home / "keycam" / "ok.txt", "1 2 3 0 0 0 1 90 10\n");
    EXPECT_EQ(run("/readkeys ok.txt"), "Camera keys updated");
    EXPECT_EQ(view_keyframes().size(), 1u);
    EXPECT_EQ(run("/readsetup mine.txt"), "Setup updated");
    EXPECT_EQ(setup().choice[key_sticky_dab], sticky);
    EXPECT_EQ(run("/sendfile notes.txt"), "Not connected to server");
}

TEST_F(Console, TheFrameHistogramIsShownAndCleared) {
    uint32_t* bins = program_edit().time.fps_histogram;
    bins[0] = 3;
    bins[2] = 7;
    EXPECT_EQ(run("/fpshist"), "128=3 64=0 32=7 16=0 8=0 4=0 2=0 1=0 ");
    for (int i = 0; i < 8; i++) EXPECT_EQ(bins[i], 0u);
}

TEST_F(Console, ListFilesFiltersWithoutRegardToCase) {
    write(data / "Alpha.txt", "a");
    write(data / "beta.txt", "b");
    int shown = 0;
    run("/listfiles ALPHA", &shown);
    EXPECT_EQ(shown, 1);
    EXPECT_NE(message_recent(0).find("Alpha.txt -> "), std::string::npos) << message_recent(0);
}
