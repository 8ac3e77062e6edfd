// Rabbithill's "frills.js" in a race: its scoreboard follows the running order and its flag
// waves, and no script, good or hostile, changes what the bikes do.
#include "race_world.h"

#include "track/track_objects.h"
#include "track/track_script.h"

#include <string>

namespace {
// What a race run left: the digest of every bike at the end and the frames drawn.
struct script_race_run {
    std::string digest;
    int frames = 0;
};

int flag_statue() {
    for (int i = statue_first_file(); i < statue_count(); i++)
        if (statues()[i].model_name == "@objects/flag.jm") return i;
    return -1;
}
} // namespace

class race_script : public race_world {
  protected:
    // A race of three robots on rabbithill, the gate dropping after 2 s, run for `tics` with a
    // drawn frame every other tic.
    script_race_run run(int tics) {
        script_race_run r;
        race_set_clock(0); // the reset seeds the robots' shuffle from the clock
        EXPECT_TRUE(start("rabbithill", {lineup_robot, lineup_robot, lineup_robot}));
        race_set_gate_drop_tic(2 * k_tics_per_second);
        for (int t = 0; t < tics; t++) {
            if (t % 2 == 0) {
                track_script_frame_handler(race_clock());
                r.frames++;
            }
            race_world_tic();
        }
        r.digest = race_digest();
        return r;
    }
    void use_script(const std::string& source) {
        write(home / "rabbithill" / "frills.js", source);
        files_free();
        use_generated_data_set();
    }
};

TEST_F(race_script, RabbithillsScriptDrawsTheRunningOrderAndWavesTheFlag) {
    run(4 * k_tics_per_second);
    ASSERT_TRUE(track_script_running()) << track_script_error();
    EXPECT_STREQ(track_script_error(), "");
    // The board shows lap 1 of 2 and the riders in running order by their numbers.
    std::string want = "\"1/2";
    for (int i = 0; i < running_order_count(); i++)
        want += "|" + std::to_string(i + 1) + " " + race_slot(running_order_at(i).slot).number;
    EXPECT_EQ(track_script_json("shown"), want + "\"");
    EXPECT_EQ(running_order_count(), 3);
    // The flag's cloth is posed, and a moment later posed differently.
    const int flag = flag_statue();
    ASSERT_GE(flag, 0);
    ASSERT_EQ(statues()[flag].pose.size(), 5u);
    const float before = statues()[flag].pose[4].translation[2];
    track_script_frame_handler(race_clock() + 40);
    EXPECT_NE(statues()[flag].pose[4].translation[2], before);
}

TEST_F(race_script, NoScriptChangesWhatTheBikesDo) {
    const script_race_run with_script = run(3 * k_tics_per_second);
    ASSERT_TRUE(track_script_running());
    use_script("");
    const script_race_run empty = run(3 * k_tics_per_second);
    EXPECT_EQ(with_script.digest, empty.digest);
    // A script that hangs in its tic handler is stopped once and the race goes on the same.
    use_script("qv.tic_handler = function () { for (;;) {} };");
    messages_clear();
    const script_race_run hostile = run(3 * k_tics_per_second);
    EXPECT_EQ(race_clock(), 3 * k_tics_per_second);
    EXPECT_EQ(track_script_stopped(), script_out_of_time);
    EXPECT_EQ(hostile.digest, empty.digest);
    int said = 0;
    for (int i = 0; i < messages_visible(); i++)
        said += message_recent(i).find("the track script is stopped") != std::string::npos;
    EXPECT_EQ(said, 1);
}
