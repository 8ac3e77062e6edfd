// What the menu items do: starting races, playbacks, time trials and series events, leaving and
// joining servers, bike settings reaching the riding bike, presets, display modes, control
// capture, quitting, and what each page shows beyond its items.
#include "core/core_local.h"
#include "core/menu_local.h"
#include "core/console.h"

#include "bike/bike.h"
#include "common/common.h"
#include "common/message.h"
#include "core/bindings.h"
#include "core/config.h"
#include "core/program.h"
#include "demo/demo.h"
#include "editor/editor.h"
#include "net/net.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/series.h"
#include "render/shaders.h"
#include "terrain/roost.h"
#include "resources/resources.h"
#include "ui/ui.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr int k_net_racing = 11; // the connection state while racing

bool is_key(const menu_item_ref& item, const char* key) {
    return item.record->key && std::strcmp(item.record->key, key) == 0;
}

// Leaving a server comes first in every action that starts something offline.
void leave_server() {
    net_disconnect();
    program_edit().options.server_address.clear();
}

// The cameras follow the local rider of the new race, else its first rider.
void view_new_race() {
    program_state& p = program_edit();
    int first = -1;
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = race_slot(slot);
        if (s.bike < 0) continue;
        if (s.kind == rider_local) {
            p.viewed_slot = slot;
            return;
        }
        if (first < 0) first = slot;
    }
    p.viewed_slot = std::max(first, 0);
}

race_start_params offline_params() {
    const settings& s = config();
    race_start_params params;
    params.track = s.track;
    params.record_mode = s.record;
    params.skill = s.skill;
    params.demo_backups = s.demo_backups;
    return params;
}

// The riding bike: the viewed slot's, when the local rider rides it.
int riding_bike() {
    const int slot = program().viewed_slot;
    if (slot < 0 || slot >= k_max_riders) return -1;
    const rider_slot& s = race_slot(slot);
    return s.kind == rider_local && s.bike >= 0 && bike_live(s.bike) ? s.bike : -1;
}

// The stability settings set one bike parameter each, the angles given in degrees.
struct stability_parameter {
    setup_key_id key;
    bike_param_id param;
    bool degrees;
};
constexpr stability_parameter k_stability_parameters[] = {
    {key_leveling, param_leveling, false},
    {key_roll_damping, param_roll_damping, false},
    {key_roll_limit_angle, param_roll_limit_angle, true},
    {key_roll_limit_factor, param_roll_limit_factor, false},
    {key_steering_damping, param_steering_damping, false},
    {key_steering_strength, param_steering_strength, false},
    {key_max_steering_force, param_max_steering_force, false},
    {key_direct_steering, param_direct_steering, false},
    {key_slow_damping_speed, param_slow_damping_speed, false},
    {key_slow_damping_factor, param_slow_damping_factor, false},
    {key_land_damping_falloff, param_land_damping_falloff, false},
    {key_land_damping_factor, param_land_damping_factor, false},
    {key_full_lock_speed, param_full_lock_speed, false},
    {key_restricted_lock_speed, param_restricted_lock_speed, false},
    {key_restricted_lock, param_restricted_lock, true},
};
static_assert(sizeof k_stability_parameters / sizeof k_stability_parameters[0] == 15,
              "the Advanced Stability Setup page's fifteen settings");

void start_series_event(bool for_points) {
    const int selected = menus().selected_series;
    menu_open(menu_none);
    leave_server();
    if (series_start_next(selected, for_points, offline_params())) {
        config_edit().track = race_params().track;
        view_new_race();
    }
}

void line(menu_view& view, const std::string& text, float r, float g, float b, float a = 1) {
    menu_view_line l;
    l.text = text;
    l.colour[0] = r, l.colour[1] = g, l.colour[2] = b, l.colour[3] = a;
    view.lines.push_back(l);
}
} // namespace

void action_quit(const menu_item_ref&) {
    menu_open(menu_exit);
    // The press that chose "Quit" must not also answer the exit page.
    menus().changed = true;
}

void action_start_new_race(const menu_item_ref&) {
    const settings& s = config();
    menu_open(menu_none);
    race_lineup_set(s.slots, k_lineup_gates);
    leave_server();
    race_start_params params = offline_params();
    params.time_limit_tics = static_cast<int>(s.minutes * 60 / k_tic_length);
    params.laps = static_cast<int>(s.laps);
    if (!race_start(params)) show_message("Can't start a race on \"%s\"", params.track.c_str());
    view_new_race();
    // The next race starts with the lineup turned by "--rotate-lineup"; the gates show it.
    const int n =
        ((program().options.rotate_lineup % k_lineup_size) + k_lineup_size) % k_lineup_size;
    int lineup[k_lineup_size];
    std::copy(race_lineup(), race_lineup() + k_lineup_size, lineup);
    std::rotate(lineup, lineup + k_lineup_size - n, lineup + k_lineup_size);
    race_lineup_set(lineup, k_lineup_size);
    for (int i = 0; i < k_lineup_gates; i++) config_edit().slots[i] = std::clamp(lineup[i], 0, 4);
}

void action_start_time_trial(const menu_item_ref&) {
    menu_open(menu_none);
    leave_server();
    race_start_params params = offline_params();
    params.time_trial = true;
    params.record_mode = 0;
    params.laps = 1000;
    params.back_up_aborts_attempt = config().time_trial_abort != 0;
    if (!race_start(params)) show_message("Can't start a race on \"%s\"", params.track.c_str());
    view_new_race();
}

void action_play_demo(const menu_item_ref& row) {
    const int entry = menus().demo_page * k_menu_list_rows + row.number;
    if (entry >= demo_list_count()) return;
    const settings& s = config();
    const std::string file = demo_list_at(entry).file;
    demo_race_choice choice;
    choice.mode = s.playback_mode == 1 ? demo_race_against : demo_playback_only;
    // Racing against a demo, the player starts at the first gate chosen as "Human".
    const int* human = std::find(s.slots, s.slots + k_lineup_gates, static_cast<int>(lineup_local));
    choice.local_place = human == s.slots + k_lineup_gates ? 0 : static_cast<int>(human - s.slots);
    choice.record = s.record != 0;
    choice.demo_backups = s.demo_backups;
    choice.skill = s.skill;
    menu_open(menu_none);
    leave_server();
    demo_play_race(file.c_str(), choice);
    view_new_race();
}

void action_open_series(const menu_item_ref& row) {
    const int entry = menus().series_page * k_menu_list_rows + row.number;
    if (entry >= series_count()) return;
    menus().selected_series = entry;
    menu_open(menu_standings);
}

void action_enter_next_event(const menu_item_ref&) {
    // An event of this series already running for the record is not entered twice.
    if (series_running() == menus().selected_series) return;
    start_series_event(true);
}

void action_practice_next_event(const menu_item_ref&) { start_series_event(false); }

void action_reset_points(const menu_item_ref&) { series_reset_points(menus().selected_series); }

void action_preset(const menu_item_ref& button) {
    graphics_preset_apply(config_edit(), button.record->param);
}

void action_switch_mode(const menu_item_ref&) {
    window_size_remember();
    const settings& s = config();
    const video_mode_item& mode = video_mode_selected();
    if (s.video_mode == 1)
        platform().request_mode(s.xres, s.yres, false);
    else
        platform().request_mode(mode.width, mode.height, true);
    video_mode_set_current(s.video_mode);
}

void action_connect(const menu_item_ref&) {
    settings& s = config_edit();
    if (net_connected()) {
        // The client says goodbye to the server and forgets it; the page stays open.
        if (net_state() == 0) show_message("Disconnected\n");
        leave_server();
        return;
    }
    server_history_push(s, s.server_name);
    program_edit().options.server_address = s.server_name;
    menu_open(menu_none);
    if (!program_connect(platform().clock())) program_edit().options.server_address.clear();
}

void action_request_restart(const menu_item_ref&) {
    // Offline or not yet racing, the player is told why nothing restarts.
    net_request_restart();
    menu_open(menu_none);
}

void action_capture_binding(const menu_item_ref& item) {
    bindings_capture_start(item_binding_index(item), program().time.run_clock);
}

bool before_server(const menu_item_ref&, int32_t code) {
    settings& s = config_edit();
    const menu_keys& c = menus().controls;
    int& cursor = s.history_cursor;
    bool copied = false;
    if (code == c.page_up) {
        cursor = std::min(cursor + 1, k_server_history - 1);
        if (cursor == 0 && s.server_history[0] == s.server_name) cursor = 1;
        if (s.server_history[cursor].empty()) {
            cursor--;
        } else {
            s.server_name = s.server_history[cursor];
            copied = true;
        }
    } else if (code == c.page_down) {
        if (cursor == 0) {
            cursor = -1;
        } else if (cursor > 0) {
            cursor--;
            s.server_name = s.server_history[cursor];
            copied = true;
        }
    }
    // The text cursor stays where it was, but not beyond the end of the new text.
    if (copied)
        menus().text_cursor = std::min(menus().text_cursor, static_cast<int>(s.server_name.size()));
    return false;
}

void choose_entry(const menu_item_ref& item, int entry) {
    if (item.record->store == store_setup && is_key(item, "bike")) {
        if (entry == item_choice_get(item)) return;
        item_choice_set(item, entry);
        after_bike(item, true);
        return;
    }
    item_choice_set(item, entry);
    if (item.record->store == store_texture) program_edit().descriptor_changed = true;
}

void after_bike(const menu_item_ref&, bool changed) {
    if (!changed) return;
    // A new bike offers its own graphics, the first of them chosen.
    menu_offer_bike_graphics(setup().choice[key_bike]);
    const std::vector<texture_choice>& graphics = texture_choices(choice_bike);
    setup_set_text(key_bike_texture, graphics.empty() ? "" : graphics[0].label);
    program_edit().descriptor_changed = true;
}

void after_descriptor(const menu_item_ref&, bool) { program_edit().descriptor_changed = true; }

void after_setup_apply(const menu_item_ref&, bool changed) {
    const int bike = riding_bike();
    if (!changed || bike < 0) return;
    bike_params params = bike_params_of(bike);
    const vec3d v = bike_frame_velocity(bike);
    const float speed = static_cast<float>(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z));
    if (setup_apply(setup(), bike_info_of(bike), params, speed, platform().clock()))
        bike_set_params(bike, params);
}

void after_bike_flag(const menu_item_ref& item, bool changed) {
    const int bike = riding_bike();
    if (!changed || bike < 0) return;
    bike_params p = bike_params_of(bike);
    const int chosen = item_choice_get(item);
    if (is_key(item, "arcade")) p.arcade = chosen == 1;
    if (is_key(item, "front_brake")) p.front_antilock = chosen == 1;
    if (is_key(item, "rear_brake")) p.rear_antilock = chosen == 1;
    if (is_key(item, "stop_wheelies")) {
        p.wheelie_cut = chosen == 1;
        p.stoppie_cut = chosen == 1 || chosen == 2;
    }
    if (is_key(item, "auto_shift")) p.auto_shift = chosen == 1;
    if (is_key(item, "auto_dab")) p.auto_dab = chosen == 1;
    if (is_key(item, "auto_align")) p.auto_align = chosen == 1;
    bike_set_params(bike, p);
}

void after_stability_parameter(const menu_item_ref& item, bool changed) {
    const int bike = riding_bike();
    if (!changed || bike < 0) return;
    bike_params p = bike_params_of(bike);
    for (const stability_parameter& s : k_stability_parameters) {
        if (!is_key(item, setup_key_of(s.key).key)) continue;
        const double value = item_number_get(item) * (s.degrees ? k_pi / 180 : 1);
        bike_param_set(p, s.param, static_cast<float>(value));
    }
    bike_set_params(bike, p);
}

void after_roost_density(const menu_item_ref&, bool) {
    graphics_edit().roost_frequency = static_cast<int>(std::lround(config_edit().roost_density));
    // The roost thins or thickens at once, in the race behind the menus.
    roost_set_frequency(graphics().roost_frequency);
}

void after_reflections(const menu_item_ref&, bool) {
    graphics_edit().reflections_on = config_edit().reflections;
}

void decorate_main(menu_view& view) {
    // Over the title picture the items stand below the logo.
    if (program().view == title_view) view.top_share = k_main_page_below_logo;
    // The notice fades out over the last of its ten seconds.
    const double shown = program().time.run_clock - menus().opened_at;
    const float a = static_cast<float>(std::clamp(10 - shown, 0.0, 1.0));
    if (a <= 0) return;
    line(view, "Although this software depicts real objects and places, it is not", 0.8f, 0.8f,
         0.8f, a);
    line(view, "endorsed by or affiliated with any of the subjects depicted.", 0.8f, 0.8f, 0.8f, a);
}

void decorate_standings(menu_view& view) {
    const int selected = menus().selected_series;
    if (selected < 0 || selected >= series_count()) return;
    const points_series& s = series_at(selected);
    view.title = s.title;
    const series_standings table = series_standings_of(s, setup().text[key_number].c_str());
    line(view, table.headline, 1, 1, 1);
    view.table.header = table.header;
    view.table.columns.assign(table.header.size(), 1.0f);
    for (const series_standings::row& r : table.rows) {
        view.table.rows.push_back(r.cells);
        if (r.player)
            view.table.colours.push_back({0.75f, 0.75f, 1});
        else
            view.table.colours.push_back({1, 1, 1});
    }
}

void decorate_graphics(menu_view& view) {
    const int preset = graphics_preset_matching(config());
    line(view,
         std::string("Current Settings: ") + (preset < 0 ? "Custom" : graphics_preset_name(preset)),
         1, 1, 0.7f);
    line(view, "Some settings will not take effect until next restart", 0.8f, 0.8f, 0.8f);
    line(view, "Driver info: " + ui_driver_info(), 0.8f, 0.8f, 0.8f);
}

// The keys no binding changes, below the bindings, so that the page is the whole of the help.
void decorate_controls(menu_view& view) {
    const std::string& chat_key = special(special_console).control;
    const std::string chat = chat_key.empty() ? "unbound" : chat_key;
    for (const std::string& text :
         {std::string("Fixed keys: Esc opens and closes the menus, Enter chooses"),
          std::string("Tab: rider, orbit and (watching) trackside views"),
          std::string("0-9: trackside cameras while watching, in playback or spy mode"),
          "Chat (" + chat + "): talk, or type /help for the console's commands"})
        line(view, text, 0.8f, 0.8f, 0.8f);
}

void decorate_advanced_graphics(menu_view& view) {
    const gl_feature_flags& driver = gl_features();
    const bool framebuffers = driver.framebuffer_objects;
    const bool shaders = shaders_offered(driver);
    const int method = config().render_texture;
    struct driver_feature {
        const char* key;
        bool available;
    };
    const driver_feature features[] = {
        {"ground_mipmaps", driver.generate_mipmap},
        {"texture_compress", gl_has_extension("GL_ARB_texture_compression")},
        {"render_texture", method == 0 || (framebuffers && (method < 3 || shaders))},
        {"use_shader", shaders},
    };
    const int count = menu_item_count(menu_advanced_graphics);
    for (int i = 0; i < count && i < static_cast<int>(view.items.size()); i++) {
        const menu_item_ref item = menu_item_at(menu_advanced_graphics, i);
        for (const driver_feature& f : features)
            if (item.record->key && std::strcmp(item.record->key, f.key) == 0)
                view.items[i].aside = f.available ? "Available" : "Not Available";
    }
}

void decorate_multiplayer(menu_view& view) {
    if (net_state() != k_net_racing) return;
    view.table.header = {"Slot", "Ping", "No.", "Bike", "Name"};
    view.table.columns = {0.6f, 0.6f, 0.5f, 1.2f, 2};
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = race_slot(slot);
        if (s.bike < 0) continue;
        const int ping = static_cast<int>(net_slot_ping(slot) * k_tic_length * 1000);
        view.table.rows.push_back(
            {std::to_string(slot), std::to_string(ping), s.number, s.bike_name, s.name});
        view.table.colours.push_back({1, 1, 1});
    }
}

void decorate_exit(menu_view& view) {
    line(view, "Press any key to exit or ESC to keep playing", 1, 1, 1);
    if (editor_modified())
        line(view, "Track has been modified since last save!  Think about it!!!", 1, 0.3f, 0.3f);
}

void decorate_chat(menu_view& view) {
    view.background = false;
    view.items.clear();
    // The line with its cursor, as the chat line page edits it.
    std::string text = console_line();
    text.insert(static_cast<size_t>(std::clamp(console_cursor(), 0, static_cast<int>(text.size()))),
                "_");
    // Low on the screen, clear of "Paused" and the warm-up line at its middle. Offline the line
    // is for the console's commands: there is nobody to say anything to.
    view.top_share = 0.7f;
    line(view, (net_connected() ? "Say: " : "Console: ") + text, 1, 1, 1);
}
