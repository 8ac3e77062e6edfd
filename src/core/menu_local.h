// What the menu's own files share: the records of pages and items, the menu state, reading
// and writing an item's value, and the actions the item records name.
#pragma once

#include "core/menu.h"

#include <cstdint>
#include <string>

enum item_kind { item_button, item_choice, item_number, item_text, item_binding, item_row };

struct menu_item_ref;

// Where a value item's value lives.
enum item_store {
    store_none,
    store_setting, // a config setting record; `key` names it ("slot00" for the first gate)
    store_setup,   // a bike setup key
    store_texture, // a texture choice list (`list`) whose label the setup key `key` holds
    store_track,   // the track list; the config's track holds the folder
    store_binding, // a binding record, `key` the first one's config key
};

// One item of a page, or `count` numbered items of the same kind (gates, rows, bindings).
struct menu_item_record {
    const char* label; // nullptr: the label of the setting, setup key or binding
    item_kind kind;
    item_store store;
    const char* key;
    int count;
    int opens;                              // a button: the page it opens
    void (*act)(const menu_item_ref& item); // a button or row: activated
    // A value item: sees the key first, and takes it when it returns true.
    bool (*before)(const menu_item_ref& item, int32_t code);
    void (*after)(const menu_item_ref& item, bool changed); // after the key reached it
    const char* chooser; // a choice: "enter" opens the chooser with this title
    int param;           // store_texture: the texture_choice_kind; a preset button: its preset
};

// The list a list page shows in rows of 20.
enum list_kind { list_none, list_chooser, list_demos, list_series };

struct menu_page_record {
    int page;
    const char* title; // nullptr: none (the chooser shows its own)
    const menu_item_record* items;
    int records;
    list_kind list;
    int first_row;                     // index of the first row on a list page
    int columns_from;                  // items from here on stand in two columns, -1 for one column
    void (*decorate)(menu_view& view); // what the page shows beyond its items
};

// An item of a page: its record and its number among the items the record stands for.
struct menu_item_ref {
    const menu_item_record* record = nullptr;
    int number = 0;
};

struct chooser_state {
    std::string title;
    int return_page = 0;
    int return_item = 0; // the choice item being chosen, on the return page
    int page = 0;
};

// The menu controls resolved once at start-up.
struct menu_keys {
    int32_t up = -1, down = -1, left = -1, right = -1, enter = -1, keypad_enter = -1;
    int32_t cursor_left = -1, page_up = -1, page_down = -1, del = -1, insert = -1;
};

struct menu_state {
    int page = 0;         // the open page, menu_none when the menus are closed
    int item = 0;         // the page's current item
    bool changed = false; // the page changed during this frame's events: no press answers it yet
    int seen = 0;         // the page at the previous event
    chooser_state chooser;
    int demo_page = 0;
    int series_page = 0;
    int selected_series = 0;
    std::string search;   // the choice item's typed search text
    int search_item = -1; // page * 1000 + item the search belongs to
    int text_cursor = 0;  // the current text item's cursor
    int text_item = -1;   // page * 1000 + item the cursor belongs to
    bool insert = true;
    menu_keys controls;
    int cursor_axis[2] = {-1, -1};
    float pointer[2] = {-1, -1}; // window px of the last hover test
    double opened_at = 0;        // run clock when the menus started, for the notice's fade
};
menu_state& menus();
// Offers the graphics of a bike of the catalogue in the "Bike Graphics" choice list.
void menu_offer_bike_graphics(int bike);
// The bike graphics of the setup's bike offered again and the four texture choices reselected
// (the first entry for a label no longer offered).
void menu_reselect_graphics();

const menu_page_record& menu_page_of(int page);
menu_item_ref menu_item_at(int page, int index);
// The chooser's entries come from the item it chooses for.
menu_item_ref menu_chooser_choice();
int menu_list_count(list_kind list);
std::string menu_list_entry(list_kind list, int entry);
int menu_list_pages(list_kind list);
int& menu_list_page_of(list_kind list);

// Reading and writing an item's value by kind.
std::string item_label(const menu_item_ref& item);
std::string item_value_text(const menu_item_ref& item);
int item_choice_count(const menu_item_ref& item);
std::string item_choice_label(const menu_item_ref& item, int entry);
int item_choice_get(const menu_item_ref& item);
void item_choice_set(const menu_item_ref& item, int entry);
void item_number_range(const menu_item_ref& item, double* step, double* lo, double* hi);
double item_number_get(const menu_item_ref& item);
void item_number_set(const menu_item_ref& item, double value);
std::string item_text_get(const menu_item_ref& item);
void item_text_set(const menu_item_ref& item, const std::string& text);
int item_text_max(const menu_item_ref& item);
// The binding record behind a binding item.
int item_binding_index(const menu_item_ref& item);

// Actions and effects the item records name (menu_actions.cpp).
void action_quit(const menu_item_ref&);
void action_start_new_race(const menu_item_ref&);
void action_start_time_trial(const menu_item_ref&);
void action_play_demo(const menu_item_ref& row);
void action_open_series(const menu_item_ref& row);
void action_enter_next_event(const menu_item_ref&);
void action_practice_next_event(const menu_item_ref&);
void action_reset_points(const menu_item_ref&);
void action_preset(const menu_item_ref& button);
void action_switch_mode(const menu_item_ref&);
void action_connect(const menu_item_ref&);
void action_request_restart(const menu_item_ref&);
void action_list_previous(const menu_item_ref&);
void action_list_next(const menu_item_ref&);
void action_chooser_cancel(const menu_item_ref&);
void action_chooser_row(const menu_item_ref& row);
void action_capture_binding(const menu_item_ref& item);
bool before_stability(const menu_item_ref& item, int32_t code);
bool before_server(const menu_item_ref& item, int32_t code);
void after_bike(const menu_item_ref& item, bool changed);
void after_descriptor(const menu_item_ref& item, bool changed);
void after_setup_apply(const menu_item_ref& item, bool changed);
void after_bike_flag(const menu_item_ref& item, bool changed);
void after_stability_parameter(const menu_item_ref& item, bool changed);
void after_roost_density(const menu_item_ref& item, bool changed);
void after_reflections(const menu_item_ref& item, bool changed);
// Selects a chooser entry for a choice item (the bike rebuilds its graphics list).
void choose_entry(const menu_item_ref& item, int entry);
// What the pages show beyond their items.
void decorate_main(menu_view& view);
void decorate_standings(menu_view& view);
void decorate_graphics(menu_view& view);
void decorate_controls(menu_view& view);
void decorate_advanced_graphics(menu_view& view);
void decorate_multiplayer(menu_view& view);
void decorate_exit(menu_view& view);
void decorate_chat(menu_view& view);
