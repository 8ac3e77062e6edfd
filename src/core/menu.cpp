// The menu key handler: moving the current item, the list pages' skipping and paging, how each
// kind of item answers a key or a click, the chooser, the pointer, and the page as drawn.
#include "core/core_local.h"
#include "core/menu_local.h"

#include "bike/bike.h"
#include "core/bindings.h"
#include "core/config.h"
#include "core/console.h"
#include "core/program.h"
#include "net/net.h"
#include "platform/capture.h"
#include "platform/controls.h"
#include "platform/devices.h"
#include "platform/log.h"
#include "render/render.h"
#include "resources/resources.h"
#include "ui/ui.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {
menu_state g_menus;

constexpr int32_t k_char_backspace = 8;
constexpr int32_t k_char_tab = 9;
constexpr int32_t k_char_space = 32;
constexpr int32_t k_char_star = 42;
constexpr float k_slider_slack = 15; // px beyond either end of a slider that still count

bool printable(int32_t code) { return code >= 32 && code <= 126; }

int item_key(int page, int item) { return page * 1000 + item; }

// Where the pointer is now in window pixels; false without a pointer.
bool pointer_now(float* x, float* y) {
    const menu_state& m = g_menus;
    if (m.cursor_axis[0] < 0 || m.cursor_axis[1] < 0) return false;
    *x = static_cast<float>(read_axis(m.cursor_axis[0]));
    *y = static_cast<float>(read_axis(m.cursor_axis[1]));
    return true;
}

bool click_inside(int32_t code, int item) {
    if (code != g_menus.controls.cursor_left) return false;
    float x, y;
    if (!pointer_now(&x, &y)) return false;
    const menu_view view = menu_view_of(program().viewport_width, program().viewport_height);
    return menu_view_inside(view, program().viewport_width, program().viewport_height, item, x, y);
}

// Enter, keypad Enter, Space, or a click inside the item.
bool activates(int32_t code, int item) {
    const menu_keys& c = g_menus.controls;
    return code == c.enter || code == c.keypad_enter || code == k_char_space ||
           click_inside(code, item);
}

// The rows a list page shows on its current page.
int rows_shown(list_kind list) {
    const int left = menu_list_count(list) - menu_list_page_of(list) * k_menu_list_rows;
    return std::clamp(left, 0, k_menu_list_rows);
}

// Items the current item may not rest on: empty rows, and on the series list the paging
// buttons that have nowhere to go.
bool skipped(const menu_page_record& p, int index) {
    const int row = index - p.first_row;
    if (row >= 0 && row < k_menu_list_rows && row >= rows_shown(p.list)) return true;
    if (p.list == list_series) {
        const int page = menu_list_page_of(p.list);
        if (index == p.first_row - 1 && page == 0) return true;
        if (index == p.first_row + k_menu_list_rows && page >= menu_list_pages(p.list) - 1)
            return true;
    }
    return false;
}

// Keeps moving off skipped items in the key's direction, turning at either end.
int skip_on(const menu_page_record& p, int item, int direction, int count) {
    int d = direction != 0 ? direction : -1;
    for (int guard = 0; guard < 2 * count + 2 && skipped(p, item); guard++) {
        item += d;
        if (item <= 0) item = 0, d = 1;
        if (item >= count - 1) item = count - 1, d = -1;
    }
    return item;
}

// A choice's typed search: the next entry (from `from`, wrapping) whose label holds the text.
int search_from(const menu_item_ref& item, const std::string& text, int from) {
    const int n = item_choice_count(item);
    for (int k = 0; k < n; k++) {
        const int entry = (from + k) % n;
        std::string label = item_choice_label(item, entry);
        std::transform(label.begin(), label.end(), label.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (label.find(text) != std::string::npos) return entry;
    }
    return -1;
}

bool choice_key(const menu_item_ref& item, int index, int32_t code) {
    menu_state& m = g_menus;
    const menu_keys& c = m.controls;
    const int n = item_choice_count(item);
    if (n == 0) return false;
    const int old = std::clamp(item_choice_get(item), 0, n - 1);
    int entry = old;
    const int key = item_key(g_menus.page, index);
    if (m.search_item != key) m.search.clear(), m.search_item = key;
    if (code == c.left) {
        entry = (entry + n - 1) % n;
    } else if (code == c.right || activates(code, index)) {
        entry = (entry + 1) % n;
    } else if (code == k_char_tab) {
        if (!m.search.empty()) {
            const int found = search_from(item, m.search, (entry + 1) % n);
            if (found >= 0) entry = found;
        }
    } else if (code == k_char_backspace) {
        m.search.clear();
    } else if (printable(code)) {
        m.search += static_cast<char>(std::tolower(code));
        const int found = search_from(item, m.search, entry);
        if (found >= 0) entry = found;
    }
    if (entry != old) item_choice_set(item, entry);
    return entry != old;
}

bool number_key(const menu_item_ref& item, int index, int32_t code) {
    const menu_keys& c = g_menus.controls;
    double step, lo, hi;
    item_number_range(item, &step, &lo, &hi);
    const double old = item_number_get(item);
    double value = old;
    if (code == c.left) {
        value -= step;
    } else if (code == c.right) {
        value += step;
    } else if (code == c.cursor_left || code == k_menu_drag) {
        float x, y, left, right;
        const menu_view view = menu_view_of(program().viewport_width, program().viewport_height);
        if (!pointer_now(&x, &y) ||
            !menu_view_slider(view, program().viewport_width, program().viewport_height, index,
                              &left, &right) ||
            right <= left || step <= 0)
            return false;
        if (x < left - k_slider_slack || x > right + k_slider_slack) return false;
        // A click in the item's row (or a drag while its button is held) sets the slider.
        if (code == c.cursor_left && !menu_view_inside(view, program().viewport_width,
                                                       program().viewport_height, index, x, y))
            return false;
        const double n = std::round((x - left) / (right - left) * (hi - lo) / step);
        value = lo + step * n;
    } else {
        return false;
    }
    item_number_set(item, std::clamp(value, lo, hi));
    return item_number_get(item) != old;
}

bool text_key(const menu_item_ref& item, int index, int32_t code) {
    menu_state& m = g_menus;
    const menu_keys& c = m.controls;
    std::string text = item_text_get(item);
    const std::string old = text;
    const int key = item_key(g_menus.page, index);
    if (m.text_item != key) m.text_item = key, m.text_cursor = static_cast<int>(text.size());
    int at = std::clamp(m.text_cursor, 0, static_cast<int>(text.size()));
    const size_t max = static_cast<size_t>(item_text_max(item));
    if (code == c.left) {
        at = std::max(0, at - 1);
    } else if (code == c.right) {
        at = std::min(static_cast<int>(text.size()), at + 1);
    } else if (code == k_char_backspace) {
        if (at > 0) text.erase(static_cast<size_t>(--at), 1);
    } else if (code == c.del) {
        if (at < static_cast<int>(text.size())) text.erase(static_cast<size_t>(at), 1);
    } else if (code == c.insert) {
        m.insert = !m.insert;
    } else if (printable(code)) {
        const char ch = static_cast<char>(code);
        if (!m.insert && at < static_cast<int>(text.size()))
            text[static_cast<size_t>(at++)] = ch;
        else if (text.size() < max)
            text.insert(static_cast<size_t>(at++), 1, ch);
    }
    m.text_cursor = at;
    if (text != old) item_text_set(item, text);
    return text != old;
}

void open_chooser(const menu_item_ref& item) {
    chooser_state& ch = g_menus.chooser;
    ch.title = item.record->chooser;
    ch.return_page = g_menus.page;
    ch.return_item = g_menus.item;
    ch.page = 0;
    menu_open(menu_chooser);
}

void value_item_key(const menu_item_ref& item, int index, int32_t code) {
    const menu_item_record& r = *item.record;
    if (r.before && r.before(item, code)) return;
    const menu_keys& c = g_menus.controls;
    bool changed = false;
    switch (r.kind) {
    case item_choice:
        // The long lists open the chooser on Enter or a click anywhere.
        if (r.chooser && (code == c.enter || code == c.keypad_enter || code == c.cursor_left)) {
            open_chooser(item);
            return;
        }
        changed = choice_key(item, index, code);
        break;
    case item_number:
        changed = number_key(item, index, code);
        break;
    case item_text:
        changed = text_key(item, index, code);
        break;
    default:
        return;
    }
    if (r.after) r.after(item, changed);
}

std::string binding_text(int index) {
    if (bindings_capturing() == index) return "<<PRESS A KEY>>";
    const binding& b = bindings()[index];
    if (!b.axis.empty()) return b.axis + (b.hi < b.lo ? " (Negative)" : " (Positive)");
    if (b.control.empty()) return "None";
    const std::string name = b.code >= 0 ? name_of(b.code) : "";
    return name.empty() ? b.control : name;
}

menu_item_look look_of(item_kind kind) {
    switch (kind) {
    case item_choice:
        return look_choice;
    case item_number:
        return look_number;
    case item_text:
        return look_text;
    case item_binding:
        return look_binding;
    case item_row:
        return look_row;
    default:
        return look_button;
    }
}
} // namespace

menu_state& menus() { return g_menus; }

void menu_offer_bike_graphics(int bike) {
    // A bike's graphics are the pictures named after its own texture: "@cr125.png" offers
    // "cr125-blue.png" as "blue".
    std::string base = bike_info_at(bike).bike_texture;
    if (!base.empty() && base[0] == '@') base.erase(0, 1);
    const size_t slash = base.rfind('/');
    if (slash != std::string::npos) base.erase(0, slash + 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.resize(dot);
    texture_choices_set_bike(base.c_str());
}

menu_item_ref menu_chooser_choice() {
    const chooser_state& ch = g_menus.chooser;
    if (ch.return_page <= menu_none || ch.return_page >= k_menu_page_count) return {};
    menu_item_ref item = menu_item_at(ch.return_page, ch.return_item);
    return item.record && item.record->kind == item_choice ? item : menu_item_ref{};
}

void menu_init() {
    menu_state& m = g_menus;
    m = menu_state{};
    menu_keys& c = m.controls;
    c.up = key_code_of("up");
    c.down = key_code_of("down");
    c.left = key_code_of("left");
    c.right = key_code_of("right");
    c.enter = key_code_of("enter");
    c.keypad_enter = key_code_of("keypad enter");
    c.cursor_left = key_code_of("cursor-left");
    c.page_up = key_code_of("page up");
    c.page_down = key_code_of("page down");
    c.del = key_code_of("delete");
    c.insert = key_code_of("insert");
    m.cursor_axis[0] = open_axis("cursor-x");
    m.cursor_axis[1] = open_axis("cursor-y");
    m.opened_at = program().time.run_clock;
    menu_reselect_graphics();
}

void menu_reselect_graphics() {
    // The texture choices start at the labels the setup names (the first entry otherwise), and
    // the bike graphics are those of the setup's bike.
    const setup_values& v = setup();
    menu_offer_bike_graphics(v.choice[key_bike]);
    constexpr struct {
        texture_choice_kind kind;
        setup_key_id key;
    } k_textures[] = {{choice_rider_body, key_rider_texture},
                      {choice_rider_head, key_head_texture},
                      {choice_bike, key_bike_texture},
                      {choice_wheels, key_wheel_texture}};
    for (const auto& t : k_textures) {
        const std::vector<texture_choice>& list = texture_choices(t.kind);
        bool found = false;
        for (const texture_choice& choice : list) found |= choice.label == v.text[t.key];
        if (!found && !list.empty()) setup_set_text(t.key, list[0].label);
    }
}

void menu_shutdown() {
    menu_state& m = g_menus;
    for (int& axis : m.cursor_axis) {
        if (axis >= 0) close_axis(axis);
        axis = -1;
    }
}

int menu_page() { return g_menus.page; }

void menu_note_event() {
    if (g_menus.page == g_menus.seen) return;
    g_menus.changed = true;
    g_menus.seen = g_menus.page;
}

void menu_settle() {
    g_menus.changed = false;
    g_menus.seen = g_menus.page;
}

void menu_open(int page) {
    // Closing the menus keeps what was changed in them, whatever ends the run later.
    if (g_menus.page != menu_none && page == menu_none && !write_config_if_changed())
        log("Can't write the config\n");
    g_menus.page = page;
    g_menus.item = 0;
    g_menus.search.clear();
    g_menus.search_item = g_menus.text_item = -1;
}

void menu_key(int32_t code) {
    program_state& p = program_edit();
    menu_state& m = g_menus;
    if (g_menus.changed) return;
    const int page = g_menus.page;
    if (page == menu_none) return;
    // A drag is no press: only a slider follows it.
    if (code == k_menu_drag && (page == menu_chat || page == menu_exit)) return;
    if (page == menu_chat) {
        console_key(code);
        return;
    }
    if (page == menu_exit) {
        p.quit_requested = true;
        return;
    }
    const int count = menu_item_count(page);
    if (count == 0) return;
    int direction = 0;
    if (code == m.controls.down) g_menus.item++, direction = 1;
    if (code == m.controls.up) g_menus.item--, direction = -1;
    g_menus.item = std::clamp(g_menus.item, 0, count - 1);
    const menu_page_record& rec = menu_page_of(page);
    if (rec.list != list_none) g_menus.item = skip_on(rec, g_menus.item, direction, count);
    g_menus.item = std::clamp(g_menus.item, 0, count - 1);
    if (direction != 0) return;

    const int index = g_menus.item;
    const menu_item_ref item = menu_item_at(page, index);
    const menu_item_record& r = *item.record;
    switch (r.kind) {
    case item_button:
    case item_row:
        if (!activates(code, index)) return;
        if (r.opens != menu_none)
            menu_open(r.opens);
        else if (r.act)
            r.act(item);
        return;
    case item_binding: {
        const menu_keys& c = m.controls;
        if (code == c.enter || code == c.keypad_enter || click_inside(code, index)) r.act(item);
        return;
    }
    default:
        value_item_key(item, index, code);
        return;
    }
}

void menu_title_backdrop_draw() {
    const int page = g_menus.page;
    const bool logo = page == menu_none || page == menu_main;
    title_view_draw(hud_picture_title(), logo ? hud_picture_logo() : 0, "",
                    page == menu_none ? k_version_text : "");
}

void menu_pointer_frame(int width, int height) {
    program_state& p = program_edit();
    menu_state& m = g_menus;
    float x, y;
    if (g_menus.page == menu_none || !pointer_now(&x, &y)) return;
    // The first position after the pointer was outside the window (at start-up, the window
    // appearing under a resting pointer) is where it rests: only a move from there takes an item.
    const bool placed = m.pointer[0] < 0 || m.pointer[1] < 0;
    const bool moved = x != m.pointer[0] || y != m.pointer[1];
    m.pointer[0] = x;
    m.pointer[1] = y;
    if (!moved || placed) return;
    if (p.cursor_held) {
        menu_key(k_menu_drag);
        return;
    }
    if (capture_running()) return;
    const int hit = menu_view_hit(menu_view_of(width, height), width, height, x, y);
    if (hit >= 0) g_menus.item = hit;
}

menu_view menu_view_of(int, int) {
    const menu_state& m = g_menus;
    menu_view view;
    const int page = g_menus.page;
    if (page <= menu_none || page >= k_menu_page_count) return view;
    const menu_page_record& rec = menu_page_of(page);
    view.build_label = k_version_text;
    view.title = page == menu_chooser ? m.chooser.title : rec.title ? rec.title : "";
    view.columns_from = rec.columns_from;
    view.current = g_menus.item;
    const int count = menu_item_count(page);
    for (int i = 0; i < count; i++) {
        const menu_item_ref item = menu_item_at(page, i);
        const menu_item_record& r = *item.record;
        menu_view_item v;
        v.look = look_of(r.kind);
        if (r.kind == item_row) {
            const int entry = menu_list_page_of(rec.list) * k_menu_list_rows + item.number;
            v.label = menu_list_entry(rec.list, entry);
            v.shown = entry < menu_list_count(rec.list);
        } else if (r.kind == item_binding) {
            v.label = item_label(item);
            v.value = binding_text(item_binding_index(item));
        } else {
            v.label = item_label(item);
            if (r.kind != item_button) v.value = item_value_text(item);
        }
        if (r.act == action_connect && net_connected()) v.label = "Disconnect";
        if (rec.list != list_none && skipped(rec, i) && r.kind != item_row) v.shown = false;
        if (r.kind == item_number) {
            double step, lo, hi;
            item_number_range(item, &step, &lo, &hi);
            v.fraction = hi > lo ? static_cast<float>((item_number_get(item) - lo) / (hi - lo)) : 0;
        }
        if (r.kind == item_text && i == g_menus.item) {
            const bool own = m.text_item == item_key(page, i);
            v.cursor = own ? std::min(m.text_cursor, static_cast<int>(v.value.size()))
                           : static_cast<int>(v.value.size());
        }
        view.items.push_back(std::move(v));
    }
    if (rec.decorate) rec.decorate(view);
    return view;
}

void menu_draw(int width, int height) {
    if (g_menus.page == menu_none) return;
    menu_view_draw(menu_view_of(width, height), width, height);
}

std::string menu_item_label(int page, int item) {
    const menu_item_ref ref = menu_item_at(page, item);
    if (!ref.record) return "";
    if (ref.record->kind == item_row) {
        const menu_page_record& rec = menu_page_of(page);
        return menu_list_entry(rec.list,
                               menu_list_page_of(rec.list) * k_menu_list_rows + ref.number);
    }
    return item_label(ref);
}

int menu_list_page(int page) {
    const menu_page_record& rec = menu_page_of(page);
    return rec.list == list_none ? 0 : menu_list_page_of(rec.list);
}

int menu_selected_series() { return g_menus.selected_series; }
std::string menu_chooser_title() { return g_menus.chooser.title; }

void action_list_previous(const menu_item_ref&) {
    const list_kind list = menu_page_of(g_menus.page).list;
    int& page = menu_list_page_of(list);
    page = std::clamp(page - 1, 0, menu_list_pages(list) - 1);
}

void action_list_next(const menu_item_ref&) {
    const list_kind list = menu_page_of(g_menus.page).list;
    int& page = menu_list_page_of(list);
    page = std::clamp(page + 1, 0, menu_list_pages(list) - 1);
}

void action_chooser_cancel(const menu_item_ref&) { menu_open(g_menus.chooser.return_page); }

void action_chooser_row(const menu_item_ref& row) {
    const chooser_state ch = g_menus.chooser;
    const menu_item_ref choice = menu_chooser_choice();
    menu_open(ch.return_page);
    if (choice.record) choose_entry(choice, ch.page * k_menu_list_rows + row.number);
}

bool before_stability(const menu_item_ref& item, int32_t code) {
    if (code == k_char_star) {
        menu_open(menu_stability);
        return true;
    }
    // The preset follows only a change of the whole-number stability.
    const long before = std::lround(item_number_get(item));
    const bool changed = number_key(item, g_menus.item, code);
    if (std::lround(item_number_get(item)) != before) setup_stability_preset(item_number_get(item));
    after_setup_apply(item, changed);
    return true;
}
