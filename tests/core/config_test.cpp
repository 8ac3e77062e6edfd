// The config file and the bike setup files: every key read and written back, the order they
// are written in, clamping, choices by label, unusable lines, unresolvable bindings, a write
// that fails part-way or a crash while writing, and the setting records the menus walk.
#include "core/core_local.h"
#include "core/config.h"

#include "bike/bike.h"
#include "core/bindings.h"
#include "platform/controls.h"
#include "platform/devices.h"
#include "platform/platform.h"
#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace {
const display_mode k_modes[] = {{1280, 1024, 32}, {800, 600, 32}, {}};

// Every key at a value other than its default, in the order the file is written.
std::string every_key_changed() {
    std::string t = "xres=1000\nyres=700\ndraw_fps=1\ndraw_time=1\ndraw_ping=0\ndraw_speed=1\n"
                    "spy=1\ntrack=hillside\nrecord=Yes\nskill=Expert\nminutes=12.000000\n"
                    "laps=3.000000\n";
    const char* gates[] = {"Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"};
    char line[128];
    for (int i = 0; i < 40; i++) {
        snprintf(line, sizeof line, "slot%02d=%s\n", i, gates[i % 4]);
        t += line;
    }
    t += "ghost_fade_distance=20.000000\ntime_trial_abort=No\n";
    t += "bike=crf450(2017)\nname=Second Rider\nnumber=42\nrider_texture=rider_body-red\n"
         "head_texture=rider_head-blue\nbike_texture=bike-green\nwheel_texture=wheels-black\n"
         "stability=50.000000\nleveling=30.000000\nroll_damping=70.000000\n"
         "roll_limit_angle=60.000000\nroll_limit_factor=16.000000\nsteering_damping=50.000000\n"
         "steering_strength=80.000000\nmax_steering_force=500.000000\n"
         "direct_steering=0.500000\nslow_damping_speed=30.000000\n"
         "slow_damping_factor=3.000000\nland_damping_falloff=0.125000\n"
         "land_damping_factor=1.500000\nfull_lock_speed=20.000000\n"
         "restricted_lock_speed=60.000000\nrestricted_lock=5.000000\narcade=No\n"
         "front_brake=Normal\nrear_brake=Antilock\nstop_wheelies=Front Only\nauto_shift=No\n"
         "auto_dab=No\nauto_align=No\nsticky_dab=Yes\nreverse_steering=No\nlean_indicator=No\n"
         "auto_clutch_rpms=3000.000000\nbrake_torque=400.000000\nrear_brake_torque=200.000000\n"
         "max_dab_speed=20.000000\nfront_sprocket_adjustment=1.000000\n"
         "rear_sprocket_adjustment=-2.000000\nfork_compression_adjustment=40.000000\n"
         "fork_slow_compression_adjustment=41.000000\nfork_rebound_adjustment=42.000000\n"
         "fork_slow_rebound_adjustment=43.000000\nfork_spring_rate_adjustment=44.000000\n"
         "fork_preload_adjustment=45.000000\nfork_oil_level_adjustment=46.000000\n"
         "shock_compression_adjustment=60.000000\nshock_slow_compression_adjustment=47.000000\n"
         "shock_rebound_adjustment=61.000000\nshock_slow_rebound_adjustment=48.000000\n"
         "shock_spring_rate_adjustment=49.000000\nshock_preload_adjustment=51.000000\n"
         "rider_yspring=52.000000\nrider_ydamping=53.000000\nrider_zspring=54.000000\n"
         "rider_zdamping=55.000000\nrider_mass_distribution=0.400000\n";
    t += "video_mode=800x600\nserver_name=race.example.org\n";
    for (int i = 0; i < 16; i++) {
        snprintf(line, sizeof line, "server_name_hist%02d=host%02d.example\n", i, i);
        t += line;
    }
    t += "ground_detail=90.000000\nground_texture_detail=10.000000\n"
         "ground_texture_dim=256x256\nground_mipmaps=No\ntexture_compress=Always\n"
         "render_texture=Shaders/Direct\nuse_shader=No\nroost_density=500.000000\n"
         "reshade_delay=3.000000\nlens_flare=No\nreflections=No\nhide_rider=Yes\n"
         "rigid_camera=Yes\nmodel_detail=75.000000\nmodel_texture_detail=8.000000\n"
         "fov=90.000000\nfirst_person_height=0.500000\nfirst_person_angle=10.000000\n"
         "third_person_height=7.000000\nthird_person_distance=15.000000\nvolume=6.000000\n"
         "comp_volume=4.000000\nplayback_mode=Race Against\nbillboard_optimize_lookahead=16\n"
         "message_lines=8\ndemo_backups=3\nmap_scale=2.000000\n";
    t += "throttle_key=(k)pad-right-trigger\nfront_brake_key=(k)a\nrear_brake_key=(k)d\n"
         "left_key=(0.000000,-1.000000)pad-left-x\nright_key=(0.000000,1.000000)pad-left-x\n"
         "clutch_key=(k)q\nupshift_key=(k)e\ndownshift_key=(k)w\ndab_key=(k)left ctrl\n"
         "back_up_key=(k)g\nlean_forward_key=(-0.500000,-1.000000)pad-left-y\n"
         "lean_backward_key=(0.500000,1.000000)pad-left-y\npause_key=(k)p\nstep_key=(k),\n"
         "rewind_key=(k)home\nskip_key=(k)end\nprev_key=(k)page up\nnext_key=(k)page down\n"
         "console_key=(k)y\nscreenshot_key=(k)f12\ntelemetry_key=(k)j\n";
    return t;
}

std::vector<std::pair<std::string, std::string>> key_values(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

struct Config : TempDataTest {
    void SetUp() override {
        TempDataTest::SetUp();
        platform_use(k_platform_null);
        null_platform_set_modes(k_modes);
        video_modes_build();
        fresh();
    }
    void TearDown() override {
        bindings_close();
        devices_shutdown();
        null_platform_set_modes(nullptr);
        video_modes_build();
        config_reset();
        bike_select_default();
        TempDataTest::TearDown();
    }

    // The state before the config file is read.
    static void fresh() {
        config_reset();
        bike_select_default();
    }

    std::string written() {
        EXPECT_TRUE(write_config());
        return read(home / "config");
    }

    std::string read_back(const std::string& text) {
        write(home / "config", text);
        fresh();
        read_config();
        return written();
    }
};
} // namespace

TEST_F(Config, EveryKeyReadIsWrittenBackUnchanged) {
    const std::string all = every_key_changed();
    EXPECT_EQ(read_back(all), all);
    EXPECT_EQ(log_text().find("skipped"), std::string::npos) << "every line was usable";
    // And each of them differs from its default, so nothing passed by staying at it.
    fresh();
    auto defaults = key_values(written());
    auto changed = key_values(all);
    ASSERT_EQ(defaults.size(), changed.size());
    for (size_t i = 0; i < defaults.size(); i++) {
        EXPECT_EQ(defaults[i].first, changed[i].first);
        EXPECT_NE(defaults[i].second, changed[i].second) << defaults[i].first;
    }
}

TEST_F(Config, KeysAreWrittenInTheirOrderWhateverTheOrderRead) {
    // The setup block stays together (its stability line comes before the fifteen values it
    // presets); everything else is read backwards, the bindings first.
    std::vector<std::string> all = lines_of(every_key_changed());
    auto first_setup = std::find(all.begin(), all.end(), "bike=crf450(2017)");
    auto after_setup = first_setup + 57;
    std::vector<std::string> shuffled(after_setup, all.end());
    std::reverse(shuffled.begin(), shuffled.end());
    shuffled.insert(shuffled.end(), std::make_reverse_iterator(first_setup), all.rend());
    shuffled.insert(shuffled.end(), first_setup, after_setup);
    std::string text;
    for (const std::string& line : shuffled) text += line + "\n";
    EXPECT_EQ(read_back(text), every_key_changed());
}

TEST_F(Config, SlidersClampAndBadNumbersLeaveTheValue) {
    read_back("fov=200\nmap_scale=0.01\nlaps=-3\nvolume=ten\nminutes=nan\nroost_density=inf\n"
              "xres=99999999999\nyres=12abc\nmessage_lines=-4\n");
    EXPECT_EQ(config().fov, 170);
    EXPECT_EQ(config().map_scale, 0.125);
    EXPECT_EQ(config().laps, 0);
    EXPECT_EQ(config().volume, 10) << "not a number";
    EXPECT_EQ(config().minutes, 0);
    EXPECT_EQ(config().roost_density, 1000);
    EXPECT_EQ(config().xres, 16384) << "a window the display can make";
    EXPECT_EQ(config().yres, 64) << "the leading number, kept to the window's range";
    EXPECT_EQ(config().message_lines, 0);
}

TEST_F(Config, ChoicesTakeOnlyAnExactLabel) {
    read_back("skill=Amateur\nrecord=yes\nplayback_mode=Race Against \nvideo_mode=Windowed\r\n"
              "slot07=Robot (2 stroke)\nslot40=Human\nground_texture_dim=1024x1024\n");
    EXPECT_EQ(config().skill, 1);
    EXPECT_EQ(config().record, 0) << "labels match case and all";
    EXPECT_EQ(config().playback_mode, 0) << "a trailing space is part of the value";
    EXPECT_TRUE(video_mode_windowed()) << "the line's CR LF is not";
    EXPECT_EQ(config().slots[7], 3);
    EXPECT_EQ(config().slots[0], 0) << "there is no gate 41";
    EXPECT_EQ(graphics_derive(config()).ground_texture_size, 1024);
}

TEST_F(Config, UnknownKeysAndUnusableLinesAreLoggedAndDropped) {
    const std::string text = "fov=90\n"
                             "colour=blue\n"
                             "fov =100\n"
                             "just words\n"
                             "\n"
                             "skill=Hard\n"
                             "bike=no-such-bike(1999)\n"
                             "brake_torque=lots\n"
                             "ground_texture_distance=300\n"
                             "laps=7\n"
                             "left_key=(nan,1)pad-left-x\n";
    std::string out = read_back(text);
    EXPECT_EQ(config().fov, 90);
    EXPECT_EQ(config().laps, 7);
    EXPECT_EQ(config().skill, 0);
    EXPECT_EQ(binding_for_key("left_key")->control, "left") << "no range to steer with";
    EXPECT_EQ(out.find("colour"), std::string::npos);
    EXPECT_EQ(out.find("fov ="), std::string::npos);
    EXPECT_EQ(out.find("ground_texture_distance"), std::string::npos);
    EXPECT_NE(out.find("bike=yz250f(2017)\n"), std::string::npos) << "an unknown bike keeps it";
    EXPECT_NE(out.find("brake_torque=500.000000\n"), std::string::npos);
    // Each unusable line once, by its number; the blank line and the old key that is simply
    // ignored are not among them.
    std::string log = log_text();
    std::vector<int> logged;
    for (size_t at = log.find("config line "); at != std::string::npos;
         at = log.find("config line ", at + 1))
        logged.push_back(atoi(log.c_str() + at + 12));
    EXPECT_EQ(logged, (std::vector<int>{2, 3, 4, 6, 7, 8, 11}));
}

TEST_F(Config, ALineTooLongIsSkippedWholeAndItsTailIsNoLine) {
    // A splitting reader would see the tail "fov=20" as a line of its own.
    std::string line = "server_name=" + std::string(1024 - 12, 'x') + "fov=20\n";
    read_back("fov=90\n" + line + "laps=9\n");
    EXPECT_EQ(config().fov, 90);
    EXPECT_EQ(config().laps, 9);
    EXPECT_EQ(config().server_name, k_default_server);
    EXPECT_NE(log_text().find("config line 2: longer than 1023 bytes"), std::string::npos);
}

TEST_F(Config, TextsAreCutAndTooLongHistoryEntriesDropped) {
    const std::string long_name(200, 'n');
    read_back("server_name=" + long_name + "\nname=" + long_name + "\nnumber=12345\n" +
              "server_name_hist00=" + std::string(127, 'h') +
              "\nserver_name_hist01=" + std::string(126, 'k') + "\n");
    EXPECT_EQ(config().server_name, std::string(127, 'n'));
    EXPECT_EQ(setup().text[key_name], std::string(63, 'n'));
    EXPECT_EQ(setup().text[key_number], "123");
    EXPECT_EQ(config().server_history[0], "") << "127 characters or more are dropped";
    EXPECT_EQ(config().server_history[1], std::string(126, 'k'));
}

TEST_F(Config, ALineBreakInATextNeverBecomesALineOfItsOwn) {
    config_edit().server_name = "host\nfov=20";
    setup_set_text(key_name, "Rider\r\nxres=100");
    ASSERT_TRUE(write_config());
    fresh();
    read_config();
    EXPECT_EQ(config().fov, 110);
    EXPECT_EQ(config().xres, 640);
    EXPECT_EQ(config().server_name, "host fov=20");
}

TEST_F(Config, OldFramebufferKeyChoosesTheRenderingMethodAndIsNotWritten) {
    std::string out = read_back("use_fbo=No\n");
    EXPECT_NE(out.find("render_texture=Hardware/Copy\n"), std::string::npos);
    EXPECT_EQ(out.find("use_fbo"), std::string::npos);
    read_back("render_texture=Shaders/Copy\nuse_fbo=Yes\n");
    EXPECT_EQ(config().render_texture, 2) << "Hardware/Direct";
}

TEST_F(Config, BindingsKeepNamesNoControlAnswersTo) {
    const std::string lines = "throttle_key=(k)No Such Key\n"
                              "left_key=(0.250000,0.750000)No Such Pad.axis[3]\n"
                              "front_brake_key=  c\n"
                              "screenshot_key=\n";
    write(home / "config", lines);
    fresh();
    read_config();
    bindings_resolve();
    const binding& throttle = *binding_for_key("throttle_key");
    EXPECT_EQ(throttle.code, k_control_none);
    EXPECT_EQ(throttle.control, "No Such Key");
    const binding& left = *binding_for_key("left_key");
    EXPECT_LT(left.axis_handle, 0);
    EXPECT_FLOAT_EQ(left.lo, 0.25f);
    EXPECT_EQ(binding_for_key("front_brake_key")->control, "c") << "leading space skipped";
    std::string out = written();
    EXPECT_NE(out.find("throttle_key=(k)No Such Key\n"), std::string::npos);
    EXPECT_NE(out.find("left_key=(0.250000,0.750000)No Such Pad.axis[3]\n"), std::string::npos);
    // An unbound control writes no line, so the next run has its default again.
    EXPECT_EQ(out.find("screenshot_key"), std::string::npos);
    fresh();
    read_config();
    EXPECT_EQ(binding_for_key("screenshot_key")->control, "s");
}

TEST_F(Config, ReadFromTheFirstFolderThatHasItWrittenToTheHomeFolder) {
    write(data / "config", "fov=80\nlaps=2\n");
    fresh();
    read_config();
    EXPECT_EQ(config().fov, 80);
    write(home / "config", "fov=90\n");
    fresh();
    read_config();
    EXPECT_EQ(config().fov, 90);
    EXPECT_EQ(config().laps, 5) << "only one file is read";
    config_edit().fov = 100;
    ASSERT_TRUE(write_config());
    EXPECT_EQ(read(data / "config"), "fov=80\nlaps=2\n");
    EXPECT_NE(read(home / "config").find("fov=100.000000\n"), std::string::npos);
}

TEST_F(Config, AnUnreadableConfigGivesTheDefaultsAndIsReplacedWhole) {
    fs::create_symlink("config", home / "config"); // a link to itself: it can't be opened
    read_config();
    EXPECT_EQ(config().fov, 110);
    EXPECT_NE(log_text().find("the settings start from their defaults"), std::string::npos);
    config_edit().fov = 95;
    ASSERT_TRUE(write_config());
    fresh();
    read_config();
    EXPECT_EQ(config().fov, 95);
}

TEST_F(Config, AWriteThatFailsPartWayLeavesTheOldConfig) {
    const std::string old = every_key_changed();
    write(home / "config", old);
    fresh();
    config_edit().fov = 33;
    // A full disk: the file may not grow past 512 bytes.
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 512;
    sighandler_t handler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    bool ok = write_config();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(read(home / "config"), old);
    for (const auto& entry : fs::directory_iterator(home))
        EXPECT_EQ(entry.path().filename().string().find("config."), std::string::npos)
            << "left behind: " << entry.path();
}

TEST_F(Config, ACrashWhileWritingLeavesTheOldConfig) {
    const std::string old = every_key_changed();
    write(home / "config", old);
    fresh();
    pid_t child = fork();
    if (child == 0) {
        // The disk fills and the write kills the process half-way.
        rlimit small = {512, 512};
        setrlimit(RLIMIT_FSIZE, &small);
        write_config();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was not stopped half-way";
    EXPECT_EQ(read(home / "config"), old);
    fresh();
    read_config();
    EXPECT_EQ(config().fov, 90);
}

TEST_F(Config, SetupFilesHoldOnlyTheSetupLines) {
    apply_setup_line("bike", "kx250f(2017)");
    apply_setup_line("fork_preload_adjustment", "70");
    config_edit().fov = 60;
    ASSERT_TRUE(write_setup_file("@setups/mine.txt"));
    const std::string text = read(home / "setups" / "mine.txt");
    EXPECT_EQ(text, setup_values_lines(setup()));
    EXPECT_EQ(lines_of(text).size(), 57u);

    bike_select_default();
    write(home / "setups" / "mine.txt", text + "fov=20\n");
    ASSERT_TRUE(read_setup_file("@setups/mine.txt"));
    EXPECT_EQ(setup_values_lines(setup()), text);
    EXPECT_EQ(config().fov, 60) << "a setup file sets no config key";
    EXPECT_NE(log_text().find("@setups/mine.txt line 58: unknown key \"fov\""), std::string::npos);

    write(data / "old.txt", "bike=yz250f\nname=Old Timer\n");
    ASSERT_TRUE(read_setup_file("@old.txt"));
    EXPECT_EQ(bike_info_at(setup().choice[key_bike]).name, std::string("yz250f(2008)"));
    EXPECT_FALSE(read_setup_file("@no-such-setup.txt"));
}

TEST_F(Config, EveryRecordIsWalkableAndReadsBackItsOwnValue) {
    std::set<std::string> keys;
    for (int i = 0; i < setting_count(); i++) {
        const setting_record& r = setting_at(i);
        for (int n = 0; n < r.count; n++) {
            const std::string key = setting_key(r, n);
            SCOPED_TRACE(key);
            EXPECT_TRUE(keys.insert(key).second) << "two records share a key";
            int number = -1;
            EXPECT_EQ(setting_find(key.c_str(), &number), &r);
            EXPECT_EQ(number, n);
            EXPECT_FALSE(setting_label(r, n).empty());
            switch (r.kind) {
            case setting_kind_choice:
                ASSERT_GT(setting_item_count(r), 0);
                EXPECT_LT(setting_number(config(), r, n), setting_item_count(r));
                break;
            case setting_kind_slider:
            case setting_kind_integer:
                EXPECT_LT(r.minimum, r.maximum);
                EXPECT_GE(setting_number(config(), r, n), r.minimum);
                EXPECT_LE(setting_number(config(), r, n), r.maximum);
                if (r.kind == setting_kind_slider) {
                    EXPECT_GT(r.step, 0);
                }
                break;
            case setting_kind_text:
                EXPECT_GT(r.max_length, 0);
                break;
            }
            // What the file holds reads back as the same value.
            const std::string value = setting_value_text(config(), r, n);
            EXPECT_TRUE(setting_read(config_edit(), r, n, value.c_str()));
            EXPECT_EQ(setting_value_text(config(), r, n), value);
        }
    }
    EXPECT_EQ(setting_find("slot40", nullptr), nullptr);
    EXPECT_EQ(setting_find("slot7", nullptr), nullptr);
    EXPECT_EQ(setting_label(*setting_find("slot07", nullptr), 7), "Gate 8");
}

TEST_F(Config, GraphicsPresetsAndTheWorkingValues) {
    EXPECT_EQ(graphics_preset_matching(config()), 0) << "the defaults are Compatibility";
    for (int p = 0; p < k_graphics_preset_count; p++) {
        graphics_preset_apply(config_edit(), p);
        EXPECT_EQ(graphics_preset_matching(config()), p) << graphics_preset_name(p);
    }
    // High Detail: every ground and model texture level, bigger ground textures.
    graphics_working g = graphics_derive(config());
    EXPECT_EQ(g.ground_texture_skip, 0);
    EXPECT_EQ(g.model_texture_skip, 0);
    EXPECT_EQ(g.ground_texture_size, 256);
    EXPECT_LT(g.model_lod_scale, graphics_derive(settings{}).model_lod_scale)
        << "more detail keeps the fine models further out";
    config_edit().reshade_delay = 5;
    EXPECT_EQ(graphics_preset_matching(config()), -1) << "Custom";
    // High FPS throws no roost and shows no reflections.
    graphics_preset_apply(config_edit(), 1);
    g = graphics_derive(config());
    EXPECT_EQ(g.roost_frequency, 0);
    EXPECT_EQ(g.reflections_on, 0);
    EXPECT_EQ(g.texture_compress_mode, 1);
    // The coarsest settings still give finite working values.
    config_edit().ground_detail = 0;
    config_edit().model_detail = 0;
    g = graphics_derive(config());
    EXPECT_TRUE(std::isfinite(g.terrain_lod_factor));
    EXPECT_FLOAT_EQ(g.model_lod_scale, 8) << "2 cubed";
    EXPECT_FLOAT_EQ(g.model_lod_bias, 50);
}
