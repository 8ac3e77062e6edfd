// Command-line parsing: every option's effect, value forms, end of options, file arguments,
// bad and missing values.
#include "core/command_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

namespace {
// What one parse leaves: the run options, the settings and the working graphics values it
// wrote, and what went to the error stream.
struct parsed {
    run_options options;
    settings config;
    graphics_working graphics = graphics_derive(settings{});
    parse_result result;
    std::string err;
};

parsed parse(std::vector<const char*> args, const settings& start = settings{}) {
    parsed p;
    p.config = start;
    args.insert(args.begin(), "trailbok");
    command_line_target target{p.options, p.config, p.graphics};
    testing::internal::CaptureStderr();
    p.result = parse_command_line(static_cast<int>(args.size()), args.data(), target);
    p.err = testing::internal::GetCapturedStderr();
    return p;
}

// One option given as a player would give it, and what the run must get from it.
struct option_case {
    std::vector<const char*> args;
    std::function<void(const parsed&)> check;
};

const graphics_working k_derived = graphics_derive(settings{});

const std::vector<option_case>& option_cases() {
    static const std::vector<option_case> cases = {
        {{"--fugly"}, [](const parsed& p) { EXPECT_TRUE(p.options.flat_shading); }},
        {{"--nosound"}, [](const parsed& p) { EXPECT_TRUE(p.options.sound_off); }},
        {{"--novertexarrays"}, [](const parsed& p) { EXPECT_TRUE(p.options.no_vertex_arrays); }},
        {{"--learn"}, [](const parsed& p) { EXPECT_EQ(p.options.learn, 1); }},
        {{"--learn", "--nolearn"}, [](const parsed& p) { EXPECT_EQ(p.options.learn, 0); }},
        {{"--nommx"}, [](const parsed& p) { EXPECT_FALSE(p.options.mmx_allowed); }},
        {{"--debug"}, [](const parsed& p) { EXPECT_EQ(p.options.debug, 1); }},
        {{"--super-debug"}, [](const parsed& p) { EXPECT_EQ(p.options.debug, 2); }},
        {{"--practice"}, [](const parsed& p) { EXPECT_TRUE(p.options.practice); }},
        {{"--warp"}, [](const parsed& p) { EXPECT_TRUE(p.options.warp); }},
        {{"--texture-detail", "9"},
         [](const parsed& p) {
             EXPECT_EQ(p.graphics.model_texture_skip, 4);
             EXPECT_EQ(p.graphics.ground_texture_skip, 4);
             EXPECT_EQ(p.config.model_texture_detail, settings{}.model_texture_detail)
                 << "the setting the config file keeps is not the working value";
         }},
        {{"--ground-texture-detail=2"},
         [](const parsed& p) {
             EXPECT_EQ(p.graphics.ground_texture_skip, 2);
             EXPECT_EQ(p.graphics.model_texture_skip, k_derived.model_texture_skip);
         }},
        {{"--roostfrequency", "1500"},
         [](const parsed& p) { EXPECT_EQ(p.graphics.roost_frequency, 1000); }},
        {{"--erode", "0.5"}, [](const parsed& p) { EXPECT_EQ(p.options.erosion_rate, 512); }},
        {{"--detail", "0.01"},
         [](const parsed& p) { EXPECT_FLOAT_EQ(p.graphics.terrain_lod_factor, 0.01f); }},
        {{"--max-detail-distance", "40"},
         [](const parsed& p) {
             EXPECT_FLOAT_EQ(p.graphics.detail_full_distance, 40);
             EXPECT_FLOAT_EQ(p.graphics.detail_fade_distance, 45);
         }},
        {{"--lod-scale", "0"},
         [](const parsed& p) { EXPECT_FLOAT_EQ(p.graphics.model_lod_scale, 0.000001f); }},
        {{"--lod-bias", "-12.5"},
         [](const parsed& p) { EXPECT_FLOAT_EQ(p.graphics.model_lod_bias, -12.5f); }},
        {{"--lock-fps", "30"}, [](const parsed& p) { EXPECT_FLOAT_EQ(p.options.lock_fps, 30); }},
        {{"--lock-fps=-5"}, [](const parsed& p) { EXPECT_FLOAT_EQ(p.options.lock_fps, 0); }},
        {{"--fake-lag", "2500"}, [](const parsed& p) { EXPECT_FLOAT_EQ(p.options.fake_lag, 1); }},
        {{"--fake-lag", "250"},
         [](const parsed& p) { EXPECT_FLOAT_EQ(p.options.fake_lag, 0.25f); }},
        {{"--fake-loss", "150"}, [](const parsed& p) { EXPECT_EQ(p.options.fake_loss, 100); }},
        {{"--record-audio", "race.raw"},
         [](const parsed& p) { EXPECT_EQ(p.options.record_audio, "race.raw"); }},
        {{"--record-video"}, [](const parsed& p) { EXPECT_TRUE(p.options.record_video); }},
        {{"--rotate-lineup", "3"}, [](const parsed& p) { EXPECT_EQ(p.options.rotate_lineup, 3); }},
        {{"--rotate-lineup", "x"}, [](const parsed& p) { EXPECT_EQ(p.options.rotate_lineup, 0); }},
        {{"--editor"}, [](const parsed& p) { EXPECT_TRUE(p.options.editor); }},
        {{"--hidden-pause"}, [](const parsed& p) { EXPECT_FALSE(p.options.show_pause_text); }},
        {{"--hidden-hud"}, [](const parsed& p) { EXPECT_FALSE(p.options.show_hud); }},
        {{"--bikes", "4"},
         [](const parsed& p) { EXPECT_EQ(p.err, "--bikes doesn't do anything anymore\n"); }},
        {{"--width", "800", "--width", "1024"},
         [](const parsed& p) { EXPECT_EQ(p.config.xres, 1024) << "a later value wins"; }},
        {{"--width", "wide"}, [](const parsed& p) { EXPECT_EQ(p.config.xres, 640); }},
        {{"--height=100000"}, [](const parsed& p) { EXPECT_EQ(p.config.yres, 16384); }},
        {{"--depth", "32bits"}, [](const parsed& p) { EXPECT_EQ(p.options.colour_depth, 32); }},
        {{"--depth", "deep"}, [](const parsed& p) { EXPECT_EQ(p.options.colour_depth, 0); }},
        {{"--zdepth", "24"}, [](const parsed& p) { EXPECT_EQ(p.options.depth_bits, 24); }},
        {{"--draw-fps", "1"}, [](const parsed& p) { EXPECT_EQ(p.config.draw_fps, 1); }},
        {{"--draw-time", "1"}, [](const parsed& p) { EXPECT_EQ(p.config.draw_time, 1); }},
        {{"--draw-ping", "0"}, [](const parsed& p) { EXPECT_EQ(p.config.draw_ping, 0); }},
        {{"--draw-speed", "1"}, [](const parsed& p) { EXPECT_EQ(p.config.draw_speed, 1); }},
        {{"--draw-render-stats", "1"},
         [](const parsed& p) { EXPECT_EQ(p.options.draw_render_stats, 1); }},
        {{"--accurate-skip"}, [](const parsed& p) { EXPECT_TRUE(p.options.accurate_skip); }},
        {{"--track=rabbithill"}, [](const parsed& p) { EXPECT_EQ(p.options.track, "rabbithill"); }},
        {{"--track", "rabbithill", "--connect", "trailbok:race.example:19800"},
         [](const parsed& p) {
             EXPECT_EQ(p.options.server_address, "race.example:19800");
             EXPECT_EQ(p.config.server_name, "race.example:19800");
             EXPECT_EQ(p.config.server_history[0], "race.example:19800");
             EXPECT_TRUE(p.options.track.empty()) << "the server chooses the track";
         }},
        {{"--password", "sesame"},
         [](const parsed& p) { EXPECT_EQ(p.options.password, "sesame"); }},
        {{"--chase-center", "1,2.5,-3"},
         [](const parsed& p) {
             EXPECT_FLOAT_EQ(p.options.chase_center[0], 1);
             EXPECT_FLOAT_EQ(p.options.chase_center[1], 2.5f);
             EXPECT_FLOAT_EQ(p.options.chase_center[2], -3);
         }},
        {{"--warp", "--open-home", "--no-such-option"},
         [](const parsed& p) { EXPECT_TRUE(p.options.open_home) << "it stops where reached"; }},
        {{"--glfinish"}, [](const parsed& p) { EXPECT_TRUE(p.options.glfinish); }},
        {{"--print-orientation"},
         [](const parsed& p) { EXPECT_TRUE(p.options.print_orientation); }},
        {{"--ride"}, [](const parsed& p) { EXPECT_TRUE(p.options.ride); }},
        {{"--autopilot"}, [](const parsed& p) { EXPECT_TRUE(p.options.autopilot); }},
        {{"--say", "hello there"},
         [](const parsed& p) { EXPECT_EQ(p.options.say, "hello there"); }},
    };
    return cases;
}

// The option a case is about: its first argument up to any "=".
std::string option_of(const option_case& c) {
    std::string first = c.args[0];
    return first.substr(0, first.find('='));
}

// The options that end the run with their own message when their value is bad.
const std::vector<std::string> k_bad_arg_options = {"--texture-detail", "--ground-texture-detail",
                                                    "--roostfrequency", "--erode",
                                                    "--detail",         "--max-detail-distance",
                                                    "--lod-scale",      "--lod-bias",
                                                    "--lock-fps",       "--fake-lag",
                                                    "--fake-loss",      "--chase-center"};
// The other options that take a value.
const std::vector<std::string> k_other_value_options = {
    "--record-audio", "--rotate-lineup", "--bikes",      "--width",
    "--height",       "--depth",         "--zdepth",     "--draw-fps",
    "--draw-time",    "--draw-ping",     "--draw-speed", "--draw-render-stats",
    "--track",        "--connect",       "--password",   "--say"};
} // namespace

TEST(CommandLine, EveryOptionTakesEffect) {
    for (const option_case& c : option_cases()) {
        SCOPED_TRACE(option_of(c));
        parsed p = parse(c.args);
        ASSERT_TRUE(p.result.ok) << p.result.error;
        c.check(p);
    }
}

TEST(CommandLine, EveryOptionOfTheHelpHasACase) {
    std::set<std::string> covered;
    for (const option_case& c : option_cases())
        for (const char* arg : c.args)
            covered.insert(std::string(arg).substr(0, std::string(arg).find('=')));
    const std::string help = command_line_help();
    for (const std::string& name : command_line_option_names()) {
        EXPECT_TRUE(covered.count(name)) << name << " has no case";
        EXPECT_NE(help.find("  " + name + " "), std::string::npos) << name << " is not in --help";
    }
}

TEST(CommandLine, BadValuesEndTheRunWithTheOptionsMessage) {
    for (const std::string& name : k_bad_arg_options) {
        const std::string message = "Bad arg for " + name + "\n";
        for (const char* bad : {"soon", "nan", "inf"}) {
            parsed p = parse({name.c_str(), bad});
            EXPECT_FALSE(p.result.ok) << name << " " << bad;
            EXPECT_EQ(p.result.error, message);
        }
        parsed last = parse({"--warp", name.c_str()});
        EXPECT_FALSE(last.result.ok) << name << " standing last";
        EXPECT_EQ(last.result.error, message);
    }
    EXPECT_EQ(parse({"--chase-center", "1,2"}).result.error, "Bad arg for --chase-center\n");
}

TEST(CommandLine, AnOptionStandingLastWithoutItsValueEndsTheRun) {
    for (const std::string& name : k_other_value_options) {
        parsed p = parse({"--nosound", name.c_str()});
        EXPECT_FALSE(p.result.ok) << name;
        EXPECT_EQ(p.result.error, "Missing value for " + name + "\n");
    }
    // With "=" the value is there, even when it is empty.
    parsed empty = parse({"--password="});
    EXPECT_TRUE(empty.result.ok);
    EXPECT_TRUE(empty.options.password.empty());
}

TEST(CommandLine, AfterDoubleDashADashArgumentIsTheFile) {
    parsed p = parse({"--", "-weird.qvdemo"});
    ASSERT_TRUE(p.result.ok) << p.result.error;
    EXPECT_EQ(p.options.file, "-weird.qvdemo");
    parsed q = parse({"--", "--warp"});
    ASSERT_TRUE(q.result.ok);
    EXPECT_FALSE(q.options.warp) << "no options are recognised after --";
    EXPECT_EQ(q.options.file, "--warp");
    parsed r = parse({"--warp", "--"});
    EXPECT_TRUE(r.result.ok);
    EXPECT_TRUE(r.options.warp);
    EXPECT_TRUE(r.options.file.empty());
}

TEST(CommandLine, BadOptionsAndTooManyFiles) {
    parsed p = parse({"--no-such-thing"});
    EXPECT_FALSE(p.result.ok);
    EXPECT_EQ(p.result.error, "bad option '--no-such-thing'\n");
    parsed f = parse({"a.qvdemo", "b.qvdemo"});
    EXPECT_FALSE(f.result.ok);
    EXPECT_EQ(f.result.error, "Too many files!\n");
    parsed one = parse({"a.qvdemo", "--warp"});
    EXPECT_TRUE(one.result.ok);
    EXPECT_EQ(one.options.file, "a.qvdemo");
}

TEST(CommandLine, ConnectPutsTheAddressFirstInTheServerHistory) {
    settings s;
    for (int i = 0; i < k_server_history; i++) s.server_history[i] = "host" + std::to_string(i);
    s.history_cursor = 3;
    parsed p = parse({"--connect", "fresh.example"}, s);
    ASSERT_TRUE(p.result.ok);
    EXPECT_EQ(p.config.server_history[0], "fresh.example");
    EXPECT_EQ(p.config.server_history[1], "host0");
    EXPECT_EQ(p.config.server_history[k_server_history - 1], "host14") << "the oldest is dropped";
    EXPECT_EQ(p.config.history_cursor, -1);
    // The newest again, with or without the link prefix, moves nothing.
    parsed again = parse({"--connect", "trailbok:fresh.example"}, p.config);
    for (int i = 0; i < k_server_history; i++)
        EXPECT_EQ(again.config.server_history[i], p.config.server_history[i]);
    // An address too long for the server setting is cut there; the history, which could not
    // read it back, does not keep it.
    std::string long_name(200, 'h');
    parsed long_one = parse({"--connect", long_name.c_str()}, s);
    EXPECT_EQ(long_one.config.server_name.size(), static_cast<size_t>(k_server_name_max));
    EXPECT_EQ(long_one.config.server_history[0], "host0");
    EXPECT_EQ(long_one.options.server_address, long_name);
}

// A "trailbok:" link names the server as well as its bare address; the server chooses the track.
TEST(CommandLine, ConnectTakesALinkOrAnAddressAndDropsTheTrack) {
    parsed link = parse(
        {"--track", "practice", "--connect", "trailbok:race.example:19801", "--password", "pit"});
    ASSERT_TRUE(link.result.ok);
    EXPECT_EQ(link.options.server_address, "race.example:19801");
    EXPECT_EQ(link.options.password, "pit");
    EXPECT_EQ(link.options.track, "");
    parsed bare = parse({"--connect=race.example", "--autopilot"});
    ASSERT_TRUE(bare.result.ok);
    EXPECT_EQ(bare.options.server_address, "race.example");
    EXPECT_TRUE(bare.options.autopilot);
    EXPECT_NE(command_line_help().find("--autopilot"), std::string::npos);
}
