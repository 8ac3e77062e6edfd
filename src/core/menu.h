// The menu pages and their key handler: the items of every page, how each kind of item answers
// a key, and the actions behind them (races, playbacks, time trials, series events, connecting,
// bike settings, display modes, control capture, quitting).
#pragma once

#include "ui/menu_view.h"

#include <cstdint>
#include <string>

// The menu pages.
enum menu_page {
    menu_none,
    menu_main,
    menu_chat,
    menu_new_race,
    menu_chooser,
    menu_playback,
    menu_series,
    menu_standings,
    menu_time_trial,
    menu_bike_setup,
    menu_suspension,
    menu_stability,
    menu_controls,
    menu_graphics,
    menu_advanced_graphics,
    menu_multiplayer,
    menu_exit,
    k_menu_page_count
};

constexpr int k_menu_list_rows = 20; // entries on a page of a list
// A drag of the pointer with its button held, handed to the open page like a key.
constexpr int32_t k_menu_drag = 16;

// Start-up: the fixed menu controls, the pointer's axes, the texture choices the setup names.
void menu_init();
// Shut-down: closes the pointer's axes.
void menu_shutdown();
// The open page, menu_none when the menus are closed.
int menu_page();
// An input event is about to be handled: a page opened since the last one takes no press until
// the frame is over.
void menu_note_event();
// The frame's events are handled: the open page takes presses from the next frame on.
void menu_settle();

// Opens a page with its first item current (menu_none closes the menus).
void menu_open(int page);
// One press while a page is open (or a drag, k_menu_drag).
void menu_key(int32_t code);
// Once a frame: the pointer hovering over an item makes it current; a drag with the button
// held goes to the page.
void menu_pointer_frame(int width, int height);
// The title view under the menus: the picture, the logo where no page but the main one covers
// it, and the build label when no page shows its own.
void menu_title_backdrop_draw();
// What the open page shows, and drawing it over the frame.
menu_view menu_view_of(int width, int height);
void menu_draw(int width, int height);

// The items of a page and their labels as drawn, for tests and the hit test.
int menu_item_count(int page);
std::string menu_item_label(int page, int item);

// The list pages' shown page numbers and the series whose standings are open.
int menu_list_page(int page);
int menu_selected_series();
// The chooser's title and its number of entries.
std::string menu_chooser_title();
