// Command-line parsing: value forms, end of options, file arguments and bad values.
#include "core/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
parse_result parse(std::vector<const char*> args, run_options& out) {
    args.insert(args.begin(), "trailbok");
    return parse_command_line(static_cast<int>(args.size()), args.data(), out);
}
} // namespace

TEST(CommandLine, ValueInNextArgumentOrAfterEquals) {
    run_options a, b;
    ASSERT_TRUE(parse({"--track", "rabbithill"}, a).ok);
    ASSERT_TRUE(parse({"--track=rabbithill"}, b).ok);
    EXPECT_EQ(a.track, "rabbithill");
    EXPECT_EQ(b.track, "rabbithill");
}

TEST(CommandLine, FlagsOfTheLoop) {
    run_options o;
    ASSERT_TRUE(parse({"--nosound", "--warp", "--lock-fps", "30", "--hidden-hud", "--hidden-pause",
                       "--super-debug"},
                      o)
                    .ok);
    EXPECT_TRUE(o.sound_off);
    EXPECT_TRUE(o.warp);
    EXPECT_FLOAT_EQ(o.lock_fps, 30);
    EXPECT_FALSE(o.show_hud);
    EXPECT_FALSE(o.show_pause_text);
    EXPECT_EQ(o.debug, 2);
    run_options d;
    ASSERT_TRUE(parse({"--debug"}, d).ok);
    EXPECT_EQ(d.debug, 1);
}

TEST(CommandLine, AfterDoubleDashADashArgumentIsTheFile) {
    run_options o;
    parse_result r = parse({"--", "-weird.qvdemo"}, o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(o.file, "-weird.qvdemo");
    run_options p;
    r = parse({"--", "--warp"}, p);
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(p.warp) << "no options are recognised after --";
    EXPECT_EQ(p.file, "--warp");
    run_options q;
    EXPECT_TRUE(parse({"--"}, q).ok);
    EXPECT_TRUE(q.file.empty());
}

TEST(CommandLine, BadOptionsAndTooManyFiles) {
    run_options o;
    parse_result r = parse({"--no-such-thing"}, o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "bad option '--no-such-thing'\n");
    run_options f;
    r = parse({"a.qvdemo", "b.qvdemo"}, f);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Too many files!\n");
}

TEST(CommandLine, NumbersAreCheckedClampedOrIgnored) {
    run_options o;
    parse_result r = parse({"--lock-fps", "fast"}, o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Bad arg for --lock-fps\n");
    run_options lag;
    ASSERT_TRUE(parse({"--fake-lag", "2500", "--fake-loss", "150", "--erode", "0.5"}, lag).ok);
    EXPECT_FLOAT_EQ(lag.fake_lag, 1.0f);
    EXPECT_EQ(lag.fake_loss, 100);
    EXPECT_EQ(lag.erosion_rate, 512);
    run_options neg;
    ASSERT_TRUE(parse({"--lock-fps=-5"}, neg).ok);
    EXPECT_FLOAT_EQ(neg.lock_fps, 0) << "0 or less is off";
    run_options last;
    ASSERT_TRUE(parse({"--width", "800", "--width", "1024", "--rotate-lineup", "x"}, last).ok);
    EXPECT_EQ(last.width, 1024) << "a later value wins";
    EXPECT_EQ(last.rotate_lineup, 0) << "not a number: unchanged";
}

TEST(CommandLine, ChaseCenterNeedsThreeNumbers) {
    run_options o;
    ASSERT_TRUE(parse({"--chase-center", "1,2.5,-3"}, o).ok);
    EXPECT_FLOAT_EQ(o.chase_center[0], 1);
    EXPECT_FLOAT_EQ(o.chase_center[1], 2.5f);
    EXPECT_FLOAT_EQ(o.chase_center[2], -3);
    run_options bad;
    EXPECT_EQ(parse({"--chase-center", "1,2"}, bad).error, "Bad arg for --chase-center\n");
}

TEST(CommandLine, OpenHomeStopsWhereItIsReached) {
    run_options o;
    ASSERT_TRUE(parse({"--warp", "--open-home", "--bad-option"}, o).ok);
    EXPECT_TRUE(o.open_home);
}

TEST(CommandLine, HelpListsTheTable) {
    std::string help = command_line_help();
    for (const char* name : {"--nosound", "--warp", "--lock-fps", "--track", "--debug",
                             "--super-debug", "--hidden-hud", "--hidden-pause"})
        EXPECT_NE(help.find(name), std::string::npos) << name;
}

// A "trailbok:" link names the server as well as its bare address; the server chooses the track.
TEST(CommandLine, ConnectTakesALinkOrAnAddressAndDropsTheTrack) {
    run_options link, bare;
    ASSERT_TRUE(parse({"--track", "practice", "--connect", "trailbok:race.example:19801",
                       "--password", "pit"},
                      link)
                    .ok);
    EXPECT_EQ(link.server_address, "race.example:19801");
    EXPECT_EQ(link.password, "pit");
    EXPECT_EQ(link.track, "");
    ASSERT_TRUE(parse({"--connect=race.example", "--autopilot"}, bare).ok);
    EXPECT_EQ(bare.server_address, "race.example");
    EXPECT_TRUE(bare.autopilot);
    EXPECT_NE(command_line_help().find("--autopilot"), std::string::npos);
}
