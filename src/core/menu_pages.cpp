// The menu pages: one table of pages with their items in order, and reading and writing the
// setting, setup key, texture choice, track or binding behind each item.
#include "core/core_local.h"
#include "core/menu_local.h"

#include "bike/bike.h"
#include "common/common.h"
#include "core/bindings.h"
#include "core/config.h"
#include "demo/demo.h"
#include "race/series.h"
#include "resources/resources.h"
#include "track/track.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
constexpr menu_item_record base(const char* label, item_kind kind, item_store store,
                                const char* key) {
    menu_item_record r{};
    r.label = label;
    r.kind = kind;
    r.store = store;
    r.key = key;
    r.count = 1;
    r.opens = menu_none;
    return r;
}

// A button that opens a page.
constexpr menu_item_record opens(const char* label, int page) {
    menu_item_record r = base(label, item_button, store_none, nullptr);
    r.opens = page;
    return r;
}
// A button that acts.
constexpr menu_item_record action(const char* label, void (*act)(const menu_item_ref&),
                                  int param = 0) {
    menu_item_record r = base(label, item_button, store_none, nullptr);
    r.act = act;
    r.param = param;
    return r;
}
constexpr menu_item_record rows(void (*act)(const menu_item_ref&)) {
    menu_item_record r = base(nullptr, item_row, store_none, nullptr);
    r.count = k_menu_list_rows;
    r.act = act;
    return r;
}
constexpr menu_item_record setting(item_kind kind, const char* key,
                                   void (*after)(const menu_item_ref&, bool) = nullptr,
                                   int count = 1) {
    menu_item_record r = base(nullptr, kind, store_setting, key);
    r.after = after;
    r.count = count;
    return r;
}
constexpr menu_item_record setup_item(item_kind kind, const char* key,
                                      void (*after)(const menu_item_ref&, bool),
                                      const char* label = nullptr) {
    menu_item_record r = base(label, kind, store_setup, key);
    r.after = after;
    return r;
}
constexpr menu_item_record texture(const char* label, int list, const char* key,
                                   const char* chooser) {
    menu_item_record r = base(label, item_choice, store_texture, key);
    r.param = list;
    r.after = after_descriptor;
    r.chooser = chooser;
    return r;
}
constexpr menu_item_record track_choice() {
    menu_item_record r = base("Track", item_choice, store_track, nullptr);
    r.chooser = "Choose Track";
    return r;
}
constexpr menu_item_record with_before(menu_item_record r,
                                       bool (*before)(const menu_item_ref&, int32_t)) {
    r.before = before;
    return r;
}

constexpr menu_item_record k_main[] = {
    opens("New Race", menu_new_race),
    opens("Playback Race", menu_playback),
    opens("Points Series", menu_series),
    opens("Time Trial", menu_time_trial),
    opens("Multiplayer", menu_multiplayer),
    opens("Bike Setup", menu_bike_setup),
    opens("Graphics/Sound Setup", menu_graphics),
    opens("Customize Controls", menu_controls),
    action("Quit", action_quit),
};

constexpr menu_item_record k_new_race[] = {
    opens("Back to Main Menu", menu_main),
    action("Start", action_start_new_race),
    track_choice(),
    setting(item_choice, "record"),
    setting(item_choice, "skill"),
    setting(item_number, "minutes"),
    setting(item_number, "laps"),
    setting(item_choice, "slot00", nullptr, k_lineup_gates),
};

constexpr menu_item_record k_chooser[] = {
    action("Cancel", action_chooser_cancel),
    action("Prev Page", action_list_previous),
    rows(action_chooser_row),
    action("Next Page", action_list_next),
};

constexpr menu_item_record k_playback[] = {
    opens("Back to Main Menu", menu_main),     setting(item_choice, "playback_mode"),
    action("Prev Page", action_list_previous), rows(action_play_demo),
    action("Next Page", action_list_next),
};

constexpr menu_item_record k_series[] = {
    opens("Back to Main Menu", menu_main),
    action("Prev Page", action_list_previous),
    rows(action_open_series),
    action("Next Page", action_list_next),
};

constexpr menu_item_record k_standings[] = {
    opens("Back to Points Series List", menu_series),
    action("Enter Next Event", action_enter_next_event),
    action("Practice Next Event", action_practice_next_event),
    action("Reset Points", action_reset_points),
};

constexpr menu_item_record k_time_trial[] = {
    opens("Back to Main Menu", menu_main),
    action("Start", action_start_time_trial),
    track_choice(),
    setting(item_number, "ghost_fade_distance"),
    setting(item_choice, "time_trial_abort"),
};

constexpr menu_item_record k_bike_setup[] = {
    opens("Back to Main Menu", menu_main),
    opens("Suspension and Gearing", menu_suspension),
    opens("Advanced Stability Setup", menu_stability),
    [] {
        menu_item_record r = setup_item(item_choice, "bike", after_bike, "Bike");
        r.chooser = "Choose Bike";
        return r;
    }(),
    setup_item(item_text, "name", after_descriptor, "Name"),
    setup_item(item_text, "number", after_descriptor, "Number"),
    texture("Riding Gear", choice_rider_body, "rider_texture", "Choose Riding Gear"),
    texture("Helmet", choice_rider_head, "head_texture", "Choose Helmet"),
    texture("Bike Graphics", choice_bike, "bike_texture", "Choose Bike Graphics"),
    texture("Wheel Graphics", choice_wheels, "wheel_texture", "Choose Wheel Graphics"),
    with_before(setup_item(item_number, "stability", after_setup_apply), before_stability),
    setup_item(item_number, "auto_clutch_rpms", after_setup_apply),
    setup_item(item_number, "brake_torque", after_setup_apply),
    setup_item(item_number, "rear_brake_torque", after_setup_apply),
    setup_item(item_number, "max_dab_speed", after_setup_apply),
    setup_item(item_choice, "arcade", after_bike_flag),
    setup_item(item_choice, "front_brake", after_bike_flag),
    setup_item(item_choice, "rear_brake", after_bike_flag),
    setup_item(item_choice, "stop_wheelies", after_bike_flag),
    setup_item(item_choice, "auto_shift", after_bike_flag),
    setup_item(item_choice, "auto_dab", after_bike_flag),
    setup_item(item_choice, "sticky_dab", nullptr),
    setup_item(item_choice, "auto_align", after_bike_flag),
    setup_item(item_choice, "reverse_steering", nullptr),
    setup_item(item_choice, "lean_indicator", nullptr),
};

// A page of setup numbers that all take effect alike, below the button back to Bike Setup.
template <size_t n>
constexpr std::array<menu_item_record, n + 1>
setup_numbers(const char* const (&keys)[n], void (*after)(const menu_item_ref&, bool)) {
    std::array<menu_item_record, n + 1> items{};
    items[0] = opens("Back to Bike Setup Menu", menu_bike_setup);
    for (size_t i = 0; i < n; i++) items[i + 1] = setup_item(item_number, keys[i], after);
    return items;
}

constexpr const char* k_suspension_keys[] = {
    "fork_compression_adjustment",
    "fork_slow_compression_adjustment",
    "fork_rebound_adjustment",
    "fork_slow_rebound_adjustment",
    "fork_spring_rate_adjustment",
    "fork_preload_adjustment",
    "fork_oil_level_adjustment",
    "shock_compression_adjustment",
    "shock_slow_compression_adjustment",
    "shock_rebound_adjustment",
    "shock_slow_rebound_adjustment",
    "shock_spring_rate_adjustment",
    "shock_preload_adjustment",
    "front_sprocket_adjustment",
    "rear_sprocket_adjustment",
    "rider_yspring",
    "rider_ydamping",
    "rider_zspring",
    "rider_zdamping",
    "rider_mass_distribution",
};
constexpr auto k_suspension = setup_numbers(k_suspension_keys, after_setup_apply);

constexpr const char* k_stability_keys[] = {
    "leveling",           "roll_damping",          "roll_limit_angle",     "roll_limit_factor",
    "steering_damping",   "steering_strength",     "max_steering_force",   "direct_steering",
    "slow_damping_speed", "slow_damping_factor",   "land_damping_falloff", "land_damping_factor",
    "full_lock_speed",    "restricted_lock_speed", "restricted_lock",
};
constexpr auto k_stability = setup_numbers(k_stability_keys, after_stability_parameter);

constexpr menu_item_record k_controls[] = {
    opens("Back to Main Menu", menu_main),
    [] {
        menu_item_record r = base(nullptr, item_binding, store_binding, "throttle_key");
        r.count = k_binding_count;
        r.act = action_capture_binding;
        return r;
    }(),
};

constexpr menu_item_record k_graphics[] = {
    opens("Back to Main Menu", menu_main),
    opens("Advanced Graphics Setup", menu_advanced_graphics),
    action("Use Compatibility Settings", action_preset, 0),
    action("Use High FPS Settings", action_preset, 1),
    action("Use Normal Settings", action_preset, 2),
    action("Use High Detail Settings", action_preset, 3),
    setting(item_choice, "video_mode"),
    action("Switch To Selected Mode Now", action_switch_mode),
    setting(item_choice, "hide_rider"),
    setting(item_choice, "rigid_camera"),
    setting(item_number, "fov"),
    setting(item_number, "first_person_height"),
    setting(item_number, "first_person_angle"),
    setting(item_number, "third_person_height"),
    setting(item_number, "third_person_distance"),
    setting(item_number, "volume"),
    setting(item_number, "comp_volume"),
};

constexpr menu_item_record k_advanced_graphics[] = {
    opens("Back to Graphics/Sound Menu", menu_graphics),
    setting(item_number, "ground_detail"),
    setting(item_number, "ground_texture_detail"),
    setting(item_choice, "ground_texture_dim"),
    setting(item_choice, "ground_mipmaps"),
    setting(item_choice, "texture_compress"),
    setting(item_choice, "render_texture"),
    setting(item_choice, "use_shader"),
    setting(item_number, "model_detail"),
    setting(item_number, "model_texture_detail"),
    setting(item_number, "roost_density", after_roost_density),
    setting(item_number, "reshade_delay"),
    setting(item_choice, "lens_flare"),
    setting(item_choice, "reflections", after_reflections),
};

constexpr menu_item_record k_multiplayer[] = {
    opens("Back to Main Menu", menu_main),
    action("Connect", action_connect),
    action("Request Restart", action_request_restart),
    with_before(setting(item_text, "server_name"), before_server),
};

constexpr menu_item_record k_chat[] = {
    base(nullptr, item_text, store_none, nullptr),
};

template <size_t n>
constexpr menu_page_record page(int id, const char* title, const menu_item_record (&items)[n],
                                void (*decorate)(menu_view&) = nullptr) {
    return {id, title, items, static_cast<int>(n), list_none, -1, -1, decorate};
}
template <size_t n>
constexpr menu_page_record page(int id, const char* title,
                                const std::array<menu_item_record, n>& items) {
    return {id, title, items.data(), static_cast<int>(n), list_none, -1, -1, nullptr};
}
template <size_t n>
constexpr menu_page_record list_page(int id, const char* title, const menu_item_record (&items)[n],
                                     list_kind list, int first_row) {
    return {id, title, items, static_cast<int>(n), list, first_row, -1, nullptr};
}

constexpr menu_page_record k_pages[] = {
    {menu_none, nullptr, nullptr, 0, list_none, -1, -1, nullptr},
    page(menu_main, nullptr, k_main, decorate_main),
    page(menu_chat, nullptr, k_chat, decorate_chat),
    {menu_new_race, "New Race", k_new_race, 8, list_none, -1, 7, nullptr},
    list_page(menu_chooser, nullptr, k_chooser, list_chooser, 2),
    list_page(menu_playback, "Playback Race", k_playback, list_demos, 3),
    list_page(menu_series, "Points Series", k_series, list_series, 2),
    page(menu_standings, nullptr, k_standings, decorate_standings),
    page(menu_time_trial, "Time Trial", k_time_trial),
    page(menu_bike_setup, "Bike Setup", k_bike_setup),
    page(menu_suspension, "Suspension and Gearing", k_suspension),
    page(menu_stability, "Advanced Stability Setup", k_stability),
    page(menu_controls, "Customize Controls", k_controls, decorate_controls),
    page(menu_graphics, "Graphics/Sound Setup", k_graphics, decorate_graphics),
    page(menu_advanced_graphics, "Advanced Graphics Setup", k_advanced_graphics,
         decorate_advanced_graphics),
    page(menu_multiplayer, "Multiplayer", k_multiplayer, decorate_multiplayer),
    {menu_exit, nullptr, nullptr, 0, list_none, -1, -1, decorate_exit},
};
static_assert(sizeof k_pages / sizeof k_pages[0] == k_menu_page_count, "one record per page");

constexpr bool pages_in_enum_order() {
    for (int i = 0; i < k_menu_page_count; i++)
        if (k_pages[i].page != i) return false;
    return true;
}
static_assert(pages_in_enum_order(), "pages listed in their enum order");
static_assert(sizeof k_new_race / sizeof k_new_race[0] == 8, "the New Race records");

const setting_record& setting_of(const menu_item_ref& item, int* number) {
    const setting_record* r = setting_find(item.record->key, number);
    TB_ASSERT(r);
    *number += item.number;
    return *r;
}

setup_key_id setup_id(const menu_item_ref& item) {
    const setup_key* k = setup_key_find(item.record->key);
    TB_ASSERT(k);
    return k->id;
}

const std::vector<texture_choice>& texture_list(const menu_item_ref& item) {
    return texture_choices(static_cast<texture_choice_kind>(item.record->param));
}

std::string number_text(double value, double step) {
    char text[32];
    const int decimals = step >= 1 ? 0 : step >= 0.1 ? 2 : 3;
    snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}
} // namespace

const menu_page_record& menu_page_of(int page) {
    TB_ASSERT(page >= 0 && page < k_menu_page_count);
    return k_pages[page];
}

menu_item_ref menu_item_at(int page, int index) {
    const menu_page_record& p = menu_page_of(page);
    for (int i = 0; i < p.records; i++) {
        if (index < p.items[i].count) return {&p.items[i], index};
        index -= p.items[i].count;
    }
    return {};
}

int menu_item_count(int page) {
    const menu_page_record& p = menu_page_of(page);
    int n = 0;
    for (int i = 0; i < p.records; i++) n += p.items[i].count;
    return n;
}

std::string item_label(const menu_item_ref& item) {
    const menu_item_record& r = *item.record;
    if (r.label) return r.label;
    switch (r.store) {
    case store_setting: {
        int number = 0;
        const setting_record& s = setting_of(item, &number);
        return setting_label(s, number);
    }
    case store_setup:
        return setup_key_of(setup_id(item)).label;
    case store_binding:
        return bindings()[item_binding_index(item)].label;
    default:
        return "";
    }
}

int item_binding_index(const menu_item_ref& item) {
    const binding* first = binding_for_key(item.record->key);
    TB_ASSERT(first);
    return static_cast<int>(first - bindings()) + item.number;
}

int item_choice_count(const menu_item_ref& item) {
    switch (item.record->store) {
    case store_setting: {
        int number = 0;
        return setting_item_count(setting_of(item, &number));
    }
    case store_setup: {
        const setup_key& k = setup_key_of(setup_id(item));
        return k.kind == setup_kind_bike ? k_bike_count : k.choice_count;
    }
    case store_texture:
        return static_cast<int>(texture_list(item).size());
    case store_track:
        return track_list_count();
    default:
        return 0;
    }
}

std::string item_choice_label(const menu_item_ref& item, int entry) {
    if (entry < 0 || entry >= item_choice_count(item)) return "";
    switch (item.record->store) {
    case store_setting: {
        int number = 0;
        return setting_item(setting_of(item, &number), entry);
    }
    case store_setup: {
        const setup_key& k = setup_key_of(setup_id(item));
        return k.kind == setup_kind_bike ? bike_info_at(entry).name : k.choices[entry];
    }
    case store_texture:
        return texture_list(item)[static_cast<size_t>(entry)].label;
    case store_track:
        return track_list_entry(entry).display_name;
    default:
        return "";
    }
}

int item_choice_get(const menu_item_ref& item) {
    switch (item.record->store) {
    case store_setting: {
        int number = 0;
        const setting_record& s = setting_of(item, &number);
        return static_cast<int>(setting_number(config(), s, number));
    }
    case store_setup:
        return setup().choice[setup_id(item)];
    case store_texture: {
        const std::vector<texture_choice>& list = texture_list(item);
        const std::string& chosen = setup().text[setup_id(item)];
        for (size_t i = 0; i < list.size(); i++)
            if (list[i].label == chosen) return static_cast<int>(i);
        return 0;
    }
    case store_track:
        return std::max(0, track_list_find(config().track.c_str()));
    default:
        return 0;
    }
}

void item_choice_set(const menu_item_ref& item, int entry) {
    if (entry < 0 || entry >= item_choice_count(item)) return;
    switch (item.record->store) {
    case store_setting: {
        int number = 0;
        const setting_record& s = setting_of(item, &number);
        setting_set_number(config_edit(), s, number, entry);
        break;
    }
    case store_setup:
        setup_set_choice(setup_id(item), entry);
        break;
    case store_texture:
        setup_set_text(setup_id(item), texture_list(item)[static_cast<size_t>(entry)].label);
        break;
    case store_track:
        config_edit().track = track_list_entry(entry).folder;
        break;
    default:
        break;
    }
}

void item_number_range(const menu_item_ref& item, double* step, double* lo, double* hi) {
    *step = 1, *lo = 0, *hi = 0;
    if (item.record->store == store_setting) {
        int number = 0;
        const setting_record& s = setting_of(item, &number);
        *step = s.step, *lo = s.minimum, *hi = s.maximum;
    } else if (item.record->store == store_setup) {
        const setup_key& k = setup_key_of(setup_id(item));
        *step = k.step, *lo = k.minimum, *hi = k.maximum;
    }
}

double item_number_get(const menu_item_ref& item) {
    if (item.record->store == store_setting) {
        int number = 0;
        const setting_record& s = setting_of(item, &number);
        return setting_number(config(), s, number);
    }
    if (item.record->store == store_setup) return setup().number[setup_id(item)];
    return 0;
}

void item_number_set(const menu_item_ref& item, double value) {
    if (item.record->store == store_setting) {
        int number = 0;
        const setting_record& s = setting_of(item, &number);
        setting_set_number(config_edit(), s, number, value);
    } else if (item.record->store == store_setup) {
        // The stability preset follows its own rule (before_stability), not every change.
        double step, lo, hi;
        item_number_range(item, &step, &lo, &hi);
        if (std::isfinite(value)) setup_set_number(setup_id(item), std::clamp(value, lo, hi));
    }
}

std::string item_text_get(const menu_item_ref& item) {
    if (item.record->store == store_setting) {
        int number = 0;
        const setting_record& s = setting_of(item, &number);
        return setting_text(config(), s, number);
    }
    if (item.record->store == store_setup) return setup().text[setup_id(item)];
    return "";
}

void item_text_set(const menu_item_ref& item, const std::string& text) {
    if (item.record->store == store_setting) {
        int number = 0;
        const setting_record& s = setting_of(item, &number);
        setting_set_text(config_edit(), s, number, text.c_str());
    } else if (item.record->store == store_setup) {
        const std::string cut = text.substr(0, static_cast<size_t>(item_text_max(item)));
        setup_set_text(setup_id(item), cut);
    }
}

int item_text_max(const menu_item_ref& item) {
    if (item.record->store == store_setting) {
        int number = 0;
        return setting_of(item, &number).max_length;
    }
    if (item.record->store == store_setup) return setup_key_of(setup_id(item)).max_length;
    return 0;
}

std::string item_value_text(const menu_item_ref& item) {
    switch (item.record->kind) {
    case item_choice:
        return item_choice_label(item, item_choice_get(item));
    case item_number: {
        double step, lo, hi;
        item_number_range(item, &step, &lo, &hi);
        if (item.record->store == store_setup) {
            const setup_values& v = setup();
            const std::string shown =
                setup_display_value(v, bike_info_at(v.choice[key_bike]), setup_id(item));
            if (!shown.empty()) return shown;
        }
        return number_text(item_number_get(item), step);
    }
    case item_text:
        return item_text_get(item);
    default:
        return "";
    }
}

int menu_list_count(list_kind list) {
    switch (list) {
    case list_chooser:
        return item_choice_count(menu_chooser_choice());
    case list_demos:
        return demo_list_count();
    case list_series:
        return series_count();
    default:
        return 0;
    }
}

std::string menu_list_entry(list_kind list, int entry) {
    if (entry < 0 || entry >= menu_list_count(list)) return "";
    switch (list) {
    case list_chooser:
        return item_choice_label(menu_chooser_choice(), entry);
    case list_demos:
        return demo_list_at(entry).name;
    case list_series:
        return series_at(entry).title;
    default:
        return "";
    }
}

int menu_list_pages(list_kind list) {
    const int n = menu_list_count(list);
    return std::max(1, (n + k_menu_list_rows - 1) / k_menu_list_rows);
}

int& menu_list_page_of(list_kind list) {
    menu_state& m = menus();
    switch (list) {
    case list_demos:
        return m.demo_page;
    case list_series:
        return m.series_page;
    default:
        return m.chooser.page;
    }
}
