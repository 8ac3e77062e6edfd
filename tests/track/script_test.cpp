// Track scripts: every `qv` function with good and bad arguments against a race of the test's
// own, drawing into a texture through the card's upload, moving and posing statues, errors, and
// hostile scripts stopped within their budgets.
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_local.h"
#include "track/track_objects.h"
#include "track/track_script.h"
#include "track/track_script_local.h"

#include "common/message.h"
#include "resources/anim.h"
#include "resources/gpu.h"
#include "resources/texture.h"
#include "terrain/terrain.h"

#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <chrono>

#include <cmath>
#include <string>
#include <vector>

namespace {
// The race the scripts read: slot 0 leads with five crossings (the third missed), slot 3 is down
// behind it; every other slot is empty.
struct fake_race {
    int clock = 100;
    int gate_drop = 1800;
    std::vector<int> crossings0 = {100, 200, -1, 400, 500};
};
fake_race g_fake;

bool fake_occupied(int slot) { return slot == 0 || slot == 3; }
const script_race k_fake = {
    [] { return g_fake.clock; },
    [] { return g_fake.gate_drop; },
    [] { return 7680; },
    [] { return 5; },
    [] { return 2; },
    [](int i, int* slot, int* position, int* tic) {
        *slot = i == 0 ? 0 : 3;
        *position = i == 0 ? 5 : 2;
        *tic = i == 0 ? 500 : 450;
    },
    fake_occupied,
    [](int slot) { return slot == 0 ? 5 : 2; },
    [](int slot, int k) {
        if (slot != 0) return k == 0 ? 300 : k == 1 ? 450 : -1;
        return k < static_cast<int>(g_fake.crossings0.size()) ? g_fake.crossings0[k] : -1;
    },
    [](int slot) { return slot == 3; },
    [](int slot) { return slot == 0 ? "7" : "12"; },
    [](int slot) { return slot == 0 ? "Ann" : "Bo"; },
    [](int slot, double out[3]) {
        out[0] = 1 + slot, out[1] = 2, out[2] = 3;
        return true;
    },
    [](int slot, double out[3]) {
        out[0] = 4 + slot, out[1] = 5, out[2] = 6;
        return true;
    },
};

// The card as the scripts' uploads reach it: every replaced texture's pixels are kept.
struct uploads {
    uint32_t next_id = 1;
    uint32_t replaced_id = 0;
    image replaced;
    int replace_count = 0;
};
uploads g_uploads;

resources_gpu recording_gpu() {
    resources_gpu g = k_resources_gpu_null;
    g.name = "recording";
    g.current = [] { return true; };
    g.texture_create = [](const image&, bool, bool, bool, int64_t* memory) {
        *memory = 0;
        return g_uploads.next_id++;
    };
    g.texture_replace = [](uint32_t id, const image& im) {
        g_uploads.replaced_id = id;
        g_uploads.replaced = im;
        g_uploads.replace_count++;
    };
    return g;
}
const resources_gpu k_recording_gpu = recording_gpu();

constexpr int k_e = 6;

// An 8 x 8 frame: a flat colour, or each pixel coloured by where it is.
image frame_picture(bool gradient) {
    image im;
    image_allocate(&im, 8, 8, 4);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            uint8_t* p = &im.pixels[(static_cast<size_t>(y) * 8 + x) * 4];
            p[0] = gradient ? static_cast<uint8_t>(16 * x) : 10;
            p[1] = gradient ? static_cast<uint8_t>(16 * y) : 20;
            p[2] = gradient ? 100 : 30;
            p[3] = 255;
        }
    return im;
}

const uint8_t* pixel(const image& im, int x, int y) {
    return &im.pixels[(static_cast<size_t>(y) * im.width + x) * im.channels];
}

struct Script : TempDataTest {
    void SetUp() override {
        TempDataTest::SetUp();
        g_fake = fake_race{};
        g_uploads = uploads{};
        resources_set_gpu(&k_recording_gpu);
        objects_free();
        timing_gates_clear();
        anim_sequence seq;
        seq.length = 1;
        seq.frame_count = 2;
        seq.sequence = {0};
        seq.frames = {frame_picture(false), frame_picture(true)};
        write(data / "board.seq", anim_encode(seq));
        write(data / "plain.ppm", "P6\n2 2\n255\n" + std::string(12, char(90)));
        write(data / "pole.shp", "1\n0 1 0 0.5 0.8 5000 500\n");
        const fs::path dir = data / "field";
        write_flat_ground(dir, k_e);
        std::string gates = "startinggate:\n[50 0 50] 0\n[55 0 50] 0\ncheckpoints:\n";
        for (int g = 0; g < 10; g++)
            gates += "5 [" + std::to_string(10 * g + 5) + " 0 50] [1 0 0]\n";
        gates += "firstlap:\n0 1 2 3 4\nnormallap:\n5 6 7 8 9 0 1 2 3 4\n";
        write(dir / "timing_gates", gates);
        write(dir / "statues", "[10 0 10] 0 null null null\n"
                               "[20 0 20] -7 null null null\n"
                               "[30 0 30] 0 null null @pole.shp\n");
        track_list_scan();
        ASSERT_TRUE(track_load("field")) << log_text();
        ASSERT_EQ(first_lap_length(), 5);
        ASSERT_EQ(normal_lap_length(), 10);
        ASSERT_EQ(statue_count() - statue_first_file(), 3);
    }
    void TearDown() override {
        track_script_unload();
        track_unload();
        track_list_free();
        objects_free();
        timing_gates_clear();
        ground_free();
        texture_purge(true);
        resources_set_gpu(&k_resources_gpu_null);
        TempDataTest::TearDown();
    }

    // A script loaded against the fake race.
    void load(const std::string& source) {
        ASSERT_TRUE(track_script_load_text(source, "frills.js", &k_fake));
    }

    // An expression evaluated in the script's context, as JSON ("<error ...>" when it threw).
    static std::string eval(const std::string& expression) {
        duk_context* ctx = script().ctx;
        if (!ctx) return "<no context>";
        const std::string code = "JSON.stringify(" + expression + ")";
        std::string out;
        if (duk_peval_lstring(ctx, code.data(), code.size()) != 0)
            out = std::string("<error ") + duk_safe_to_string(ctx, -1) + ">";
        else
            out = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "undefined";
        duk_pop(ctx);
        return out;
    }

    static int count_messages(const std::string& part) {
        int n = 0;
        for (int i = 0; i < messages_visible(); i++)
            if (message_recent(i).find(part) != std::string::npos) n++;
        return n;
    }
};

struct call_case {
    const char* expression;
    const char* result; // as JSON
};

// Every reading function with arguments in range, at and past its ends, of the wrong type and
// missing.
TEST_F(Script, ReadingFunctionsGiveTheRaceOrTheirNeutralValue) {
    load("");
    const call_case cases[] = {
        {"qv.get_max_slots()", "160"},
        {"qv.get_running_count()", "2"},
        {"qv.get_running_order_slot(1)", "3"},
        {"qv.get_running_order_slot('1')", "3"},
        {"qv.get_running_order_slot(2)", "0"},
        {"qv.get_running_order_slot(-1)", "0"},
        {"qv.get_running_order_slot(160)", "0"},
        {"qv.get_running_order_slot()", "0"},
        {"qv.get_running_order_slot('x')", "0"},
        {"qv.get_running_order_position(0)", "5"},
        {"qv.get_running_order_position(1)", "2"},
        {"qv.get_running_order_position(159)", "0"},
        {"qv.get_running_order_position(null)", "5"}, // null converts to 0
        {"qv.get_running_order_time(1)", "450"},
        {"qv.get_running_order_time(-5)", "0"},
        {"qv.get_running_order_time(Infinity)", "0"},
        {"qv.get_rider_down(3)", "1"},
        {"qv.get_rider_down(0)", "0"},
        {"qv.get_rider_down(5)", "0"},
        {"qv.get_rider_down(-1)", "0"},
        {"qv.get_rider_down({})", "0"},
        {"qv.get_seconds_per_tic()", "0.0078125"},
        {"qv.get_first_lap_length()", "5"},
        {"qv.get_normal_lap_length()", "10"},
        {"qv.get_timing_position(0)", "5"},
        {"qv.get_timing_position(3)", "2"},
        {"qv.get_timing_position(5)", "-1"},
        {"qv.get_timing_position(160)", "-1"},
        {"qv.get_timing_position(-1)", "-1"},
        {"qv.get_timing_position()", "-1"},
        {"qv.get_timing(0, 1)", "1.5625"},
        {"qv.get_timing(0, 2)", "-0.0078125"},
        {"qv.get_timing(0, 99)", "-0.0078125"},
        {"qv.get_timing(0, -3)", "-0.0078125"},
        {"qv.get_timing(0)", "-0.0078125"},
        {"qv.get_timing(3, 1)", "3.515625"},
        {"qv.get_timing(5, 0)", "-1"},
        {"qv.get_timing(170, 0)", "-1"},
        {"qv.get_timing('a', 0)", "-1"},
        {"qv.get_rider_number(0)", "\"7\""},
        {"qv.get_rider_number(3)", "\"12\""},
        {"qv.get_rider_number(5)", "\"\""},
        {"qv.get_rider_number(-2)", "\"\""},
        {"qv.get_rider_name(3)", "\"Bo\""},
        {"qv.get_rider_name(200)", "\"\""},
        {"(function(){var a=[9,9,9]; return [qv.get_position_(0,a), a];})()", "[1,[1,2,3]]"},
        {"(function(){var a=[9,9,9]; return [qv.get_position_(5,a), a];})()", "[0,[0,0,0]]"},
        {"(function(){var a=[9,9,9]; return [qv.get_position_(-1,a), a];})()", "[0,[0,0,0]]"},
        {"qv.get_position_(0, 42)", "0"},
        {"qv.get_position_(0)", "0"},
        {"(function(){var a=[]; return [qv.get_velocity_(3,a), a];})()", "[1,[7,5,6]]"},
        {"(function(){var a=[9]; return [qv.get_velocity_(9,a), a];})()", "[0,[0,0,0]]"},
        {"qv.get_finish_laps()", "5"},
        {"qv.get_finish_time()", "60"},
        {"qv.get_gate_drop_time()", "-1"},
        {"qv.get_position(3)", "[4,2,3]"},
        {"qv.get_position(4)", "null"},
        {"qv.get_velocity(0)", "[4,5,6]"},
        {"qv.get_velocity('q')", "null"},
        {"qv.get_running_order()",
         "[{\"slot\":0,\"position\":5,\"time\":3.90625},{\"slot\":3,\"position\":2,\"time\":3."
         "515625}]"},
        {"[qv.max_slots, qv.first_lap_length, qv.normal_lap_length]", "[160,5,10]"},
        {"[qv.seconds_per_tic, qv.tics_per_second]", "[0.0078125,128]"},
        {"qv.lap_to_index(0)", "0"},
        {"qv.lap_to_index(1)", "4"},
        {"qv.lap_to_index(2)", "14"},
        {"qv.index_to_lap(4)", "0"},
        {"qv.index_to_lap(5)", "1"},
        {"qv.index_to_lap(14)", "1"},
        {"qv.index_to_lap(15)", "2"},
    };
    for (const call_case& c : cases) EXPECT_EQ(eval(c.expression), c.result) << c.expression;
}

// A lap's completing crossing falls in the lap before it counted from 0.
TEST_F(Script, IndexToLapOfLapToIndexGivesTheLapBefore) {
    load("");
    EXPECT_EQ(eval("qv.index_to_lap(qv.lap_to_index(3))"), "2");
    // Without a normal lap every crossing is in lap 0.
    EXPECT_EQ(eval("(qv.normal_lap_length = 0, qv.index_to_lap(40))"), "0");
}

TEST_F(Script, GateDropTimeIsMinusOneUntilTheGateDrops) {
    load("");
    g_fake.clock = 1799;
    EXPECT_EQ(eval("qv.get_gate_drop_time()"), "-1");
    g_fake.clock = 1800;
    EXPECT_EQ(eval("qv.get_gate_drop_time()"), "14.0625");
    g_fake.clock = 90000;
    EXPECT_EQ(eval("qv.get_gate_drop_time()"), "14.0625");
}

TEST_F(Script, WithoutARaceEverySlotIsEmpty) {
    ASSERT_TRUE(track_script_load_text("", "frills.js", nullptr));
    EXPECT_EQ(eval("[qv.get_running_count(), qv.get_timing_position(0), qv.get_position(0)]"),
              "[0,-1,null]");
}

// The handlers get the race clock as text and the prelude turns it into seconds.
TEST_F(Script, HandlersGetTheClockInSeconds) {
    load("var frames = [], tics = [];\n"
         "qv.frame_handler = function (s) { frames.push(s); };\n"
         "qv.tic_handler = function (s) { tics.push(s); };\n");
    track_script_frame_handler(256);
    track_script_tic_handler(64);
    track_script_tic_handler(65);
    EXPECT_EQ(eval("[frames, tics, qv.seconds]"), "[[2],[0.5,0.5078125],0.5078125]");
    EXPECT_STREQ(track_script_error(), "");
}

TEST_F(Script, AScriptWithoutHandlersRunsTheDefaults) {
    load("var x = 1;");
    track_script_tic_handler(10);
    track_script_frame_handler(10);
    EXPECT_TRUE(track_script_running());
    EXPECT_STREQ(track_script_error(), "");
    // A script that deletes a handler is not called and is no worse off.
    load("delete qv.tic_handler;");
    track_script_tic_handler(10);
    EXPECT_STREQ(track_script_error(), "");
    EXPECT_EQ(eval("qv.seconds"), "0.078125");
}

TEST_F(Script, AMissingScriptMeansNoContext) {
    load("var x = 1;");
    EXPECT_FALSE(track_script_load("field", &k_fake));
    EXPECT_FALSE(track_script_running());
    track_script_tic_handler(1); // nothing to call
    write(data / "field" / "frills.js", "var from_file = 41 + 1;");
    files_free();
    ASSERT_TRUE(track_script_load("field", &k_fake));
    EXPECT_EQ(eval("from_file"), "42");
}

TEST_F(Script, MessageShowsItsArgumentAsText) {
    load("qv.message('lap ' + 3); qv.message(); qv.message({toString: function () {"
         " return 'board'; }});");
    EXPECT_EQ(message_recent(2), "lap 3");
    EXPECT_EQ(message_recent(1), "undefined");
    EXPECT_EQ(message_recent(0), "board");
}

TEST_F(Script, ASyntaxErrorIsShownWithItsLineAndTheContextStays) {
    messages_clear();
    load("var a = 1;\nvar b = 2;\nvar c = ;\n");
    ASSERT_EQ(count_messages("javascript error: SyntaxError"), 1);
    EXPECT_EQ(count_messages("(line 3)"), 1) << message_recent(0);
    EXPECT_TRUE(track_script_running());
    EXPECT_EQ(eval("qv.get_max_slots()"), "160");
}

TEST_F(Script, AnErrorThrownWhileLoadingIsShownWithItsLine) {
    messages_clear();
    load("var a = 1;\n\nnull.x = 2;\n");
    ASSERT_EQ(count_messages("javascript error: TypeError"), 1) << message_recent(0);
    EXPECT_EQ(count_messages("(line 3)"), 1) << message_recent(0);
}

// Errors in handlers are kept, not shown, and the next call runs again.
TEST_F(Script, AnErrorInAHandlerIsRecordedAndTheScriptGoesOn) {
    load("var n = 0;\nqv.tic_handler = function () {\n  n++;\n  if (n == 1) null.x;\n};\n");
    messages_clear();
    track_script_tic_handler(1);
    EXPECT_NE(std::string(track_script_error()).find("TypeError"), std::string::npos);
    EXPECT_NE(std::string(track_script_error()).find("(line 4)"), std::string::npos)
        << track_script_error();
    EXPECT_EQ(messages_visible(), 0);
    track_script_tic_handler(2);
    EXPECT_EQ(eval("n"), "2");
    EXPECT_TRUE(track_script_running());
}

TEST_F(Script, CallByNameFindsDottedPathsAndSaysWhatIsWrong) {
    load("var board = {lights: {on: function (a, b) { this.got = [a, b]; }}};\n"
         "var plain = {};");
    const char* args[] = {"12", "x"};
    EXPECT_TRUE(track_script_call("board.lights.on", args, 2));
    EXPECT_EQ(eval("board.lights.got"), "[\"12\",\"x\"]"); // texts, `this` the holder
    EXPECT_FALSE(track_script_call("board.nothing.on", args, 0));
    EXPECT_STREQ(track_script_error(), "can't find board.nothing.on");
    EXPECT_FALSE(track_script_call("board.lights.off", args, 0));
    EXPECT_STREQ(track_script_error(), "can't find board.lights.off");
    EXPECT_FALSE(track_script_call("plain", args, 0));
    EXPECT_STREQ(track_script_error(), "plain is not a function");
    EXPECT_FALSE(track_script_call("qv.max_slots", args, 0));
    EXPECT_STREQ(track_script_error(), "qv.max_slots is not a function");
    EXPECT_FALSE(track_script_call("qv.max_slots.x", args, 0));
    EXPECT_STREQ(track_script_error(), "can't find qv.max_slots.x");
    const std::string long_path(2000, 'p');
    EXPECT_FALSE(track_script_call(long_path.c_str(), args, 0));
    EXPECT_EQ(strlen(track_script_error()), strlen("can't find ") + 800);
}

TEST_F(Script, ErrorTextsAreCutAt1023Characters) {
    load("qv.tic_handler = function () { throw new Error(new Array(3000).join('e')); };");
    track_script_tic_handler(1);
    EXPECT_EQ(strlen(track_script_error()), 1023u);
}

TEST_F(Script, OnlyQvReachesOutside) {
    load("");
    EXPECT_EQ(eval("[typeof require, typeof Duktape, typeof print, typeof alert, typeof module,"
                   " typeof process]"),
              "[\"undefined\",\"undefined\",\"undefined\",\"undefined\",\"undefined\","
              "\"undefined\"]");
    const call_case cases[] = {
        {"qv.read_texture('/etc/passwd')", "0"},
        {"qv.read_texture('@../data/board.seq')", "0"},
        {"qv.read_texture('c:board.seq')", "0"},
        {"qv.read_texture('')", "0"},
        {"qv.read_texture()", "0"},
        {"qv.read_texture('missing.png')", "0"},
    };
    for (const call_case& c : cases) EXPECT_EQ(eval(c.expression), c.result) << c.expression;
}

TEST_F(Script, ReadTextureLoadsThroughTheTextureCache) {
    load("var board = qv.read_texture('@board.seq'), plain = qv.read_texture('@plain.ppm');");
    EXPECT_EQ(eval("board"), std::to_string(texture_load("@board.seq")));
    EXPECT_EQ(eval("plain"), std::to_string(texture_load("@plain.ppm")));
    EXPECT_NE(eval("board"), "0");
}

// A custom frame pasted from the sequence's second picture reaches the card with its mip chain.
TEST_F(Script, CustomFramesPasteFromTheSequenceAndUpload) {
    load("var board = qv.read_texture('@board.seq');");
    const uint32_t id = texture_load("@board.seq");
    const call_case before[] = {
        {"qv.paste_custom_frame(board, 1, 0, 0, 0, 0, 1, 1)", "0"}, // not begun
        {"qv.end_custom_frame(board)", "0"},
        {"qv.begin_custom_frame(12345)", "0"},
        {"qv.begin_custom_frame('x')", "0"},
        {"qv.begin_custom_frame()", "0"},
        {"qv.begin_custom_frame(board)", "1"},
        {"qv.paste_custom_frame(board, 2, 0, 0, 0, 0, 1, 1)", "0"}, // no third picture
        {"qv.paste_custom_frame(board, -1, 0, 0, 0, 0, 1, 1)", "0"},
        {"qv.paste_custom_frame(board, 1, 0, 0, 1, 0, 0.5, 0.5)", "0"}, // right of the card
        {"qv.paste_custom_frame(board, 1, 0, 0, 0, 0, 0, 0.5)", "0"},   // nothing wide
        {"qv.paste_custom_frame(board, 1, NaN, 0, 0, 0, 1, 1)", "0"},
        {"qv.paste_custom_frame(board, 1, 0, 0, 0, 0, 1)", "0"}, // a size missing
        {"qv.paste_custom_frame(board, 1, 0.5, 0.25, 0, 0.5, 0.25, 0.5)", "1"},
        // Half of this one hangs over the right edge: the part on the card is copied.
        {"qv.paste_custom_frame(board, 1, 0, 0, 0.875, 0, 0.25, 0.125)", "1"},
        {"qv.end_custom_frame(board)", "1"},
    };
    for (const call_case& c : before) EXPECT_EQ(eval(c.expression), c.result) << c.expression;
    ASSERT_EQ(g_uploads.replace_count, 1);
    ASSERT_EQ(g_uploads.replaced_id, id);
    const image& up = g_uploads.replaced;
    ASSERT_EQ(up.width, 8);
    ASSERT_EQ(up.levels, 4);
    const image gradient = frame_picture(true), flat = frame_picture(false);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            const uint8_t* got = pixel(up, x, y);
            const uint8_t* want = pixel(flat, 0, 0);
            if (x < 2 && y >= 4) want = pixel(gradient, x + 4, y - 4 + 2);
            if (x == 7 && y == 0) want = pixel(gradient, 0, 0);
            EXPECT_EQ(memcmp(got, want, 4), 0) << x << "," << y;
        }
    // Level 1 averages the pasted block.
    const uint8_t* mip = image_level(up, 1) + (2 * 4 + 0) * 4;
    EXPECT_EQ(mip[0], 72);
    EXPECT_EQ(mip[1], 40);
    // A later frame goes on from what was drawn, and the animation no longer overwrites it.
    EXPECT_EQ(eval("[qv.begin_custom_frame(board), qv.end_custom_frame(board)]"), "[1,1]");
    EXPECT_EQ(memcmp(pixel(g_uploads.replaced, 7, 0), pixel(gradient, 0, 0), 4), 0);
    const int uploads_so_far = g_uploads.replace_count;
    anim_update(100000);
    EXPECT_EQ(g_uploads.replace_count, uploads_so_far);
}

TEST_F(Script, APlainTextureIsItsOwnOnePictureSequence) {
    load("var plain = qv.read_texture('@plain.ppm');");
    EXPECT_EQ(eval("[qv.begin_custom_frame(plain), "
                   "qv.paste_custom_frame(plain, 0, 0, 0, 0.5, 0.5, 0.5, 0.5), "
                   "qv.paste_custom_frame(plain, 1, 0, 0, 0, 0, 1, 1), "
                   "qv.end_custom_frame(plain)]"),
              "[1,1,0,1]");
    EXPECT_EQ(g_uploads.replaced.width, 2);
    EXPECT_EQ(pixel(g_uploads.replaced, 1, 1)[0], 90);
}

TEST_F(Script, MoveStatueMovesStatuesWithoutACollisionShape) {
    load("");
    const statue* s = statues() + statue_first_file();
    const call_case cases[] = {
        {"qv.move_statue(0, 12, 2, 14, 0.5)", "true"}, {"qv.move_statue(1, 22, 0, 24, 1)", "true"},
        {"qv.move_statue(2, 32, 0, 34, 0)", "false"}, // it has a shape
        {"qv.move_statue(3, 0, 0, 0, 0)", "false"},    {"qv.move_statue(-1, 0, 0, 0, 0)", "false"},
        {"qv.move_statue(0, NaN, 0, 0, 0)", "false"},  {"qv.move_statue(0, 1, 2, 3)", "false"},
        {"qv.move_statue('x', 1, 2, 3, 4)", "false"},
    };
    for (const call_case& c : cases) EXPECT_EQ(eval(c.expression), c.result) << c.expression;
    EXPECT_FLOAT_EQ(s[0].x, 12);
    EXPECT_FLOAT_EQ(s[0].z, 14);
    EXPECT_FLOAT_EQ(s[0].y, 2); // 2 ft above the flat ground at 0
    // Heading 0.5: the model's +z points along (sin 0.5, 0, cos 0.5).
    EXPECT_NEAR(s[0].orientation[2], std::sin(0.5f), 1e-5f);
    EXPECT_NEAR(s[0].orientation[8], std::cos(0.5f), 1e-5f);
    // The upright statue stays upright (its value below a whole turn), now heading 1.
    EXPECT_LE(s[1].value, -6.2831853f);
    EXPECT_NEAR(s[1].orientation[2], std::sin(1.0f), 1e-5f);
    EXPECT_FLOAT_EQ(s[1].x, 22);
    EXPECT_FLOAT_EQ(s[2].x, 30); // the one with a shape stays
}

TEST_F(Script, PoseStatueFixesItsPartCountAtTheFirstPose) {
    load("function pose(statue, count) {\n"
         "  var p = [], q = [], m = [];\n"
         "  for (var i = 0; i < count; i++) {\n"
         "    p.push(i, 0, 0); q.push(i, 1, 0); m.push(1, 0, 0, 0, 1, 0, 0, 0, 1);\n"
         "  }\n"
         "  return qv.pose_statue(statue, count, p, q, m);\n"
         "}\n");
    const call_case cases[] = {
        {"qv.pose_statue(0, 0, [], [], [])", "false"},
        {"pose(0, 17)", "false"},
        {"qv.pose_statue(0, 1, [0, 0], [0, 0, 0], [1, 0, 0, 0, 1, 0, 0, 0, 1])", "false"},
        {"qv.pose_statue(0, 1, [0, 0, 0], [0, 0, 0], [1, 0, 0, 0, 1, 0, 0, 0, 'a'])", "false"},
        {"qv.pose_statue(0, 1, [0, 0, 0], 7, [1, 0, 0, 0, 1, 0, 0, 0, 1])", "false"},
        {"qv.pose_statue(0, 1, [0, NaN, 0], [0, 0, 0], [1, 0, 0, 0, 1, 0, 0, 0, 1])", "false"},
        {"pose(3, 2)", "false"},
        {"pose(0, 3)", "true"},
        {"pose(0, 2)", "false"}, // the count is fixed now
        {"pose(0, 3)", "true"},
        {"pose(1, 16)", "true"},
        {"pose(2, 1)", "true"}, // posing does not move the shape, so any statue may be posed
    };
    for (const call_case& c : cases) EXPECT_EQ(eval(c.expression), c.result) << c.expression;
    const statue* s = statues() + statue_first_file();
    ASSERT_EQ(s[0].pose.size(), 3u);
    EXPECT_FLOAT_EQ(s[0].pose[2].centre[0], 2);
    EXPECT_FLOAT_EQ(s[0].pose[2].translation[1], 1);
    EXPECT_FLOAT_EQ(s[0].pose[2].rotation[4], 1);
    EXPECT_EQ(s[1].pose.size(), 16u);
    EXPECT_EQ(s[2].pose.size(), 1u);
    EXPECT_FLOAT_EQ(s[2].x, 30);
}

// Hostile scripts: each stopped within its budget, said once, and nothing called again.
struct hostile_case {
    const char* name;
    const char* source;
    script_stop stop;
};

// The budget is looked at between instructions, and an engine function's work on data of a few
// hundred kilobytes may come after the last look.
constexpr int k_budget_slack = k_script_budget_checks / 8;

TEST_F(Script, HostileHandlersAreStoppedWithinTheirBudgetAndReportedOnce) {
    const hostile_case cases[] = {
        {"endless loop", "qv.tic_handler = function () { for (;;) {} };", script_out_of_time},
        {"loop that swallows the timeout",
         "qv.tic_handler = function () { for (;;) { try { for (;;) {} } catch (e) {} } };",
         script_out_of_time},
        {"recursion that catches its limit",
         "function deep(n) { try { return deep(n + 1); } catch (e) { return deep(n + 1); } }\n"
         "qv.tic_handler = function () { deep(0); };",
         script_out_of_time},
        {"huge allocation",
         "qv.tic_handler = function () { var a = []; for (;;) a.push('x'.repeat(65536) + a.length);"
         " };",
         script_out_of_memory},
        {"one huge string", "qv.tic_handler = function () { var s = 'x'.repeat(1 << 28); };",
         script_out_of_memory},
        {"allocation that swallows the refusal",
         "var keep = [];\nqv.tic_handler = function () { for (;;) { try {"
         " keep.push('y'.repeat(65536) + keep.length); } catch (e) {} } };",
         script_out_of_memory},
        {"loop in the frame handler", "qv.frame_handler = function () { while (true); };",
         script_out_of_time},
        // Engine functions that do much work in one instruction, over and over.
        {"loop over slow built-in functions",
         "qv.tic_handler = function () { for (;;) new Array(100000).join(); };",
         script_out_of_time},
        {"long array searched",
         "var a = [];\nfor (var i = 0; i < 50000; i++) a[i] = i;\n"
         "qv.tic_handler = function () { for (;;) a.indexOf(-1); };",
         script_out_of_time},
        {"long array sorted",
         "var a = [];\nfor (var i = 0; i < 50000; i++) a[i] = 50000 - i;\n"
         "qv.tic_handler = function () { for (;;) a.sort(); };",
         script_out_of_time},
        {"built-in function called by a built-in function",
         "var a = [];\nfor (var i = 0; i < 50000; i++) a[i] = i;\n"
         "qv.tic_handler = function () { for (;;) a.forEach(isNaN); };",
         script_out_of_time},
        {"long strings compared",
         "var a = 'x'.repeat(1 << 18) + 'a', b = a.slice(0, -1) + 'b';\n"
         "qv.tic_handler = function () { for (;;) a < b; };",
         script_out_of_time},
        {"long string searched",
         "var a = 'x'.repeat(1 << 18);\nqv.tic_handler = function () { for (;;) a.indexOf('y'); };",
         script_out_of_time},
        {"long blank text read as a number",
         "var a = ' '.repeat(1 << 18);\nqv.tic_handler = function () { for (;;) +a; };",
         script_out_of_time},
        {"regular expression that backtracks",
         "qv.tic_handler = function () { for (;;) try { /(a|aa)*c/.test('a'.repeat(40)); }"
         " catch (e) {} };",
         script_out_of_time},
        {"endless prototype chain",
         "qv.tic_handler = function () { var o = {}; for (;;) o = Object.create(o); };",
         script_out_of_time},
        {"deep prototype chain",
         "var o = {};\nfor (var i = 0; i < 5000; i++) o = Object.create(o);\n"
         "qv.tic_handler = function () { for (;;) o.missing; };",
         script_out_of_time},
    };
    for (const hostile_case& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.source);
        ASSERT_TRUE(track_script_running()) << track_script_error();
        messages_clear();
        const auto start = std::chrono::steady_clock::now();
        track_script_tic_handler(10);
        track_script_frame_handler(10);
        // Not a measure of speed: a hang of the race is what this looks for (a checked build on
        // a busy machine takes seconds to unwind and free a stopped context).
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(track_script_stopped(), c.stop);
        EXPECT_FALSE(track_script_running());
        EXPECT_LE(track_script_last_checks(), k_script_budget_checks + k_budget_slack);
        EXPECT_EQ(track_script_memory(), 0); // the context is gone, all of it
        EXPECT_EQ(count_messages("javascript error: "), 1);
        EXPECT_EQ(count_messages("the track script is stopped"), 1);
        // Nothing is called again, and nothing more is said.
        track_script_tic_handler(11);
        track_script_frame_handler(11);
        EXPECT_EQ(messages_visible(), 1);
    }
}

// Reading what a script threw runs the script's code too; it is read within the call's budget, a
// text that cannot be had within it stops the script, and nothing a script throws ends the game.
struct thrown_case {
    const char* name;
    const char* source;
    bool at_load;      // thrown while loading, else by the tic handler
    script_stop stop;  // the script is stopped, or goes on
    const char* error; // the error text (for a script that goes on)
};

TEST_F(Script, WhatAScriptThrowsIsReadWithinItsBudget) {
    const std::string endless = "throw {toString: function () { for (;;) {} }};";
    const std::string bad_line = "var e = new Error('boom');\n"
                                 "Object.defineProperty(e, 'lineNumber', {get: function () {"
                                 " throw new Error('no line'); }});\n";
    const std::string endless_line =
        "var e = new Error('boom');\n"
        "Object.defineProperty(e, 'lineNumber', {get: function () { for (;;) {} }});\n";
    const std::string failing_text = "{toString: function () { throw 'again'; }}";
    const std::string sources[] = {
        "qv.tic_handler = function () { " + endless + " };",
        bad_line + "qv.tic_handler = function () { throw e; };",
        endless_line + "qv.tic_handler = function () { throw e; };",
        "qv.tic_handler = function () { throw " + failing_text + "; };",
        bad_line + "throw e;",
    };
    const thrown_case cases[] = {
        {"endless toString at load", endless.c_str(), true, script_out_of_time, ""},
        {"endless toString in a tic", sources[0].c_str(), false, script_out_of_time, ""},
        {"lineNumber getter that throws, at load", sources[4].c_str(), true, script_running,
         "Error: boom"},
        {"lineNumber getter that throws, in a tic", sources[1].c_str(), false, script_running,
         "Error: boom"},
        {"endless lineNumber getter in a tic", sources[2].c_str(), false, script_out_of_time, ""},
        {"toString that throws, in a tic", sources[3].c_str(), false, script_running,
         "error thrown"},
    };
    for (const thrown_case& c : cases) {
        SCOPED_TRACE(c.name);
        messages_clear();
        load(c.source);
        if (!c.at_load) {
            ASSERT_TRUE(track_script_running()) << track_script_error();
            track_script_tic_handler(1);
        }
        EXPECT_EQ(track_script_stopped(), c.stop);
        if (c.stop == script_running) {
            EXPECT_STREQ(track_script_error(), c.error);
            // An error while loading is shown, one in a handler kept; the script goes on.
            EXPECT_EQ(count_messages(std::string("javascript error: ") + c.error), c.at_load);
            ASSERT_TRUE(track_script_running());
            track_script_tic_handler(2);
            EXPECT_STREQ(track_script_error(), c.error);
            EXPECT_EQ(eval("qv.max_slots"), "160");
        } else {
            EXPECT_FALSE(track_script_running());
            EXPECT_LE(track_script_last_checks(), k_script_budget_checks + k_budget_slack);
            EXPECT_EQ(count_messages("execution budget spent in "), 1);
            EXPECT_EQ(count_messages("the track script is stopped"), 1);
        }
        // The track unloads in order, its script with it.
        track_unload();
        EXPECT_FALSE(track_script_running());
        EXPECT_EQ(track_script_memory(), 0);
        ASSERT_TRUE(track_load("field"));
    }
}

// The checks' worth of each tic handler call until the script is stopped (at most `tics` calls
// from tic `first`).
std::vector<int> checks_per_tic(int first, int tics) {
    std::vector<int> used;
    for (int t = first; t < first + tics && track_script_running(); t++) {
        track_script_tic_handler(t);
        used.push_back(track_script_last_checks());
    }
    return used;
}

// Some 3.8M instructions in every call: under a call's budget, over a race second's in a few tics.
const char* const k_greedy = "qv.tic_handler = function () {\n"
                             "  var x = 0;\n"
                             "  for (var i = 0; i < 540000; i++) x += i;\n"
                             "};\n";

TEST_F(Script, AGreedyHandlerIsStoppedWithinARaceSecond) {
    messages_clear();
    load(k_greedy);
    // Tic 0 of the second at 3 s.
    const std::vector<int> used = checks_per_tic(3 * k_tics_per_second, k_tics_per_second);
    ASSERT_GE(used.size(), 2u);
    for (size_t i = 0; i + 1 < used.size(); i++) {
        EXPECT_LT(used[i], k_script_budget_checks);
        EXPECT_GT(used[i], k_script_budget_checks * 3 / 4);
    }
    EXPECT_EQ(track_script_stopped(), script_out_of_second);
    EXPECT_FALSE(track_script_running());
    // Stopped in the call that would have gone past the second's pool.
    EXPECT_EQ(used.size(), static_cast<size_t>(k_script_second_checks / used[0] + 1));
    EXPECT_EQ(count_messages("execution budget of a race second spent in qv.tic_handler_ - the "
                             "track script is stopped"),
              1);

    // A greedy frame handler meets the pool of its 128 frames the same way, beside a tic handler
    // that does little.
    messages_clear();
    load("qv.tic_handler = function () { qv.tics = (qv.tics || 0) + 1; };\n"
         "qv.frame_handler = function () {\n"
         "  var x = 0;\n"
         "  for (var i = 0; i < 540000; i++) x += i;\n"
         "};\n");
    int frames = 0;
    for (int t = 0; t < k_tics_per_second && track_script_running(); t++) {
        track_script_tic_handler(t);
        track_script_frame_handler(t);
        frames++;
    }
    EXPECT_EQ(track_script_stopped(), script_out_of_second);
    EXPECT_EQ(frames, static_cast<int>(used.size()));
    EXPECT_EQ(count_messages("execution budget of 128 frames spent in qv.frame_handler_"), 1);
}

// Work is counted the same on every run: a script overrunning its budget in instructions or in
// the engine's own functions is stopped at the same tic, having done the same work.
TEST_F(Script, AnOverrunningScriptIsStoppedAtTheSameTicOnEveryRun) {
    const char* const sources[] = {
        k_greedy,
        "var a = [], s = '';\n"
        "qv.tic_handler = function (seconds) {\n"
        "  for (var i = 0; i < 100; i++) a.push(i * seconds + Math.random());\n"
        "  a.sort();\n"
        "  s += a.join(',').slice(0, 4000);\n"
        "  s.indexOf('never');\n"
        "  try { /(a|aa)*c/.test('a'.repeat(12)); } catch (e) {}\n"
        "  JSON.parse(JSON.stringify(a.slice(0, 500)));\n"
        "};\n",
    };
    for (const char* source : sources) {
        struct run {
            std::vector<int> used;
            script_stop stop;
            std::string error;
        } runs[2];
        for (run& r : runs) {
            load(source);
            r.used = checks_per_tic(0, 4 * k_tics_per_second);
            r.stop = track_script_stopped();
            r.error = track_script_error();
        }
        EXPECT_NE(runs[0].stop, script_running) << source;
        EXPECT_EQ(runs[0].used, runs[1].used) << source;
        EXPECT_EQ(runs[0].stop, runs[1].stop);
        EXPECT_EQ(runs[0].error, runs[1].error);
    }
}

TEST_F(Script, AnEndlessLoopAtLoadIsStoppedToo) {
    messages_clear();
    load("var i = 0; while (true) i++;");
    EXPECT_EQ(track_script_stopped(), script_out_of_time);
    EXPECT_FALSE(track_script_running());
    EXPECT_EQ(count_messages("the track script is stopped"), 1);
    // The next race's script starts afresh.
    load("var ok = 1;");
    EXPECT_EQ(track_script_stopped(), script_running);
    EXPECT_EQ(eval("ok"), "1");
}

// A recursion without end meets the engine's call depth limit: an error of that call only.
TEST_F(Script, DeepRecursionEndsTheCallWithAnError) {
    load("var calls = 0;\nfunction f(n) { return f(n + 1) + 1; }\n"
         "qv.tic_handler = function () { calls++; f(0); };");
    track_script_tic_handler(1);
    EXPECT_NE(std::string(track_script_error()).find("RangeError"), std::string::npos)
        << track_script_error();
    EXPECT_LE(track_script_last_checks(), k_script_budget_checks);
    EXPECT_TRUE(track_script_running());
    track_script_tic_handler(2);
    EXPECT_EQ(eval("calls"), "2");
}

// A script that does a fair amount of work in each call is not mistaken for a hostile one: some
// 35K instructions' worth in every tic, over three race seconds; a call of most of a call's budget
// in the last tic of one second and the first of the next; a chain of objects made and dropped in
// every tic.
TEST_F(Script, ABusyButFiniteHandlerKeepsRunning) {
    load("var total = 0;\nqv.tic_handler = function () {\n"
         "  for (var i = 0; i < 1000; i++) total += qv.get_running_count();\n};");
    const std::vector<int> used = checks_per_tic(0, 3 * k_tics_per_second);
    EXPECT_TRUE(track_script_running()) << track_script_error();
    EXPECT_EQ(eval("total"), "768000");
    EXPECT_LT(used[0] * k_tics_per_second, k_script_second_checks);

    load(std::string("var calls = 0;\n") + k_greedy);
    checks_per_tic(k_tics_per_second - 1, 2);
    EXPECT_TRUE(track_script_running()) << track_script_error();

    // Objects dropped cost what making them did, however long the chain of prototypes they form.
    load("qv.tic_handler = function () {\n"
         "  var o = {};\n"
         "  for (var i = 0; i < 2000; i++) o = Object.create(o);\n"
         "};\n");
    checks_per_tic(0, 3 * k_tics_per_second);
    EXPECT_TRUE(track_script_running()) << track_script_error();
}

TEST_F(Script, UnloadingTheTrackEndsItsScript) {
    load("var x = 1;");
    track_unload();
    EXPECT_FALSE(track_script_running());
    EXPECT_EQ(track_script_memory(), 0);
}
} // namespace
