// The device list, the axis handles, the device aliases and the button and axis name forms.
#include "platform/devices.h"

#include "platform/controls.h"
#include "platform/event_queue.h"
#include "platform/log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
struct input_device {
    std::string name;      // unique: "Joystick1", "Joystick1#2"
    std::string base_name; // the cleaned instance name, before any "#n"
    device_kind kind = device_joystick;
    int32_t id = 0;
    bool relative = false;
    bool active = false;  // a button is bound, so its buttons queue events
    bool present = false; // attached now
    int open_axes = 0;
    std::vector<int> axes;
    std::vector<uint8_t> buttons;
};

struct axis_handle {
    int device = -1; // -1: free
    int axis = 0;
};

struct device_state {
    std::vector<input_device> devices;
    std::vector<axis_handle> handles;
    std::vector<std::string> absolute_axes;
    int joysticks_aliased = 0; // joystick-a and joystick-b go to the first two joysticks
    int generation = 0;
    bool watch_all = false;
    bool last_known = false;
};
device_state g_dev;

bool valid(int device) { return device >= 0 && device < static_cast<int>(g_dev.devices.size()); }

// The instance name without spaces and dots, so it reads back from "dev.key[n]".
std::string clean_name(const char* instance_name) {
    std::string out;
    for (const char* c = instance_name; *c; c++)
        if (*c != ' ' && *c != '.') out += *c;
    return out;
}

bool name_taken(const std::string& name) {
    for (const input_device& d : g_dev.devices)
        if (d.name == name) return true;
    return false;
}

std::string unique_name(const std::string& base) {
    std::string name = base;
    for (int n = 2; name_taken(name); n++) name = base + "#" + std::to_string(n);
    return name;
}

bool id_taken(int32_t id) {
    for (const input_device& d : g_dev.devices)
        if (d.id == id) return true;
    return false;
}

int32_t free_id(const char* name) {
    int64_t id = device_id_checksum(name);
    for (int tries = 0; tries < 65535; tries++) {
        if (id != 0 && !id_taken(static_cast<int32_t>(id))) return static_cast<int32_t>(id);
        id = (id + k_device_id_step) % (int64_t{1} << 31);
    }
    return 0;
}

// A pulled-out device that a newly attached one of the same name and kind takes back.
int absent_match(const std::string& base, device_kind kind) {
    for (int i = 0; i < static_cast<int>(g_dev.devices.size()); i++) {
        const input_device& d = g_dev.devices[i];
        if (!d.present && d.kind == kind && d.base_name == base) return i;
    }
    return -1;
}

void add_joystick_aliases(const std::string& name) {
    if (g_dev.joysticks_aliased >= 2) return;
    const char* letter = g_dev.joysticks_aliased == 0 ? "a" : "b";
    g_dev.joysticks_aliased++;
    struct joystick_alias {
        const char* suffix;
        const char* control;
    };
    constexpr joystick_alias k_forms[] = {
        {"x", ".axis[0]"}, {"y", ".axis[1]"}, {"1", ".key[0]"}, {"2", ".key[1]"}};
    for (const joystick_alias& f : k_forms)
        alias_add((std::string("joystick-") + letter + "-" + f.suffix).c_str(),
                  (name + f.control).c_str());
}

// Logs the roll-call lines of a new device and trims its counts to what can be held.
void roll_call(const device_report& r, const std::string& name, int* axes, int* buttons) {
    log("%s (%s)\n", r.instance_name, r.product_name);
    log("%d axes, %d keys\n", *axes, *buttons);
    if (*axes > k_device_max_axes) {
        log("Wow! This thing has a lot of axes!\nThe first ignored axis is called \"%s axis "
            "%d\"\n",
            name.c_str(), k_device_max_axes);
        *axes = k_device_max_axes;
    }
    if (*buttons > k_device_max_buttons) {
        log("Wow! This thing has a lot of buttons!\nThe first ignored button is called \"%s "
            "button %d\"\n",
            name.c_str(), k_device_max_buttons);
        *buttons = k_device_max_buttons;
    }
    for (int i = 0; i < *axes; i++) log("axis %d is %s\n", i, r.relative ? "relative" : "absolute");
}

// Reads "dev.<form>[n]" or "dev <word> n"; false when the name has neither shape.
bool parse_control(const char* name, const char* form, const char* word, std::string* device,
                   int* index) {
    char dev[64];
    char bracket[32], spaced[32];
    snprintf(bracket, sizeof bracket, "%%63[^.].%s[%%d]", form);
    snprintf(spaced, sizeof spaced, "%%63s %s %%d", word);
    if (sscanf(name, bracket, dev, index) == 2 || sscanf(name, spaced, dev, index) == 2) {
        *device = dev;
        return true;
    }
    return false;
}

int device_named(const std::string& name) {
    for (int i = 0; i < static_cast<int>(g_dev.devices.size()); i++)
        if (g_dev.devices[i].name == name) return i;
    return -1;
}
} // namespace

int32_t device_id_checksum(const char* name) {
    uint16_t s = 0;
    uint8_t t = 0;
    for (size_t i = 0; name[i]; i++) {
        uint8_t byte = static_cast<uint8_t>(name[i]);
        if (i % 2 == 0)
            s = static_cast<uint16_t>(s + byte);
        else
            t = static_cast<uint8_t>(t + byte);
    }
    return ((s + 256 * t) & 32767) * k_device_id_step;
}

int device_attach(const device_report& r) {
    std::string base = clean_name(r.instance_name);
    int known = absent_match(base, r.kind);
    g_dev.last_known = known >= 0;
    if (known >= 0) {
        input_device& d = g_dev.devices[known];
        d.present = true;
        g_dev.generation++;
        log("Device \"%s\" is back\n", d.name.c_str());
        return known;
    }
    if (r.axes <= 0 && r.buttons <= 0) {
        log("%s (%s)\n", r.instance_name, r.product_name);
        log("Ignoring Dunsel device\n");
        return -1;
    }
    input_device d;
    d.base_name = base;
    d.name = unique_name(base);
    d.kind = r.kind;
    d.relative = r.relative;
    d.present = true;
    int axes = r.axes, buttons = r.buttons;
    if (r.kind != device_cursor) roll_call(r, d.name, &axes, &buttons);
    d.id = free_id(d.name.c_str());
    d.axes.assign(static_cast<size_t>(std::max(axes, 0)), 0);
    d.buttons.assign(static_cast<size_t>(std::max(buttons, 0)), 0);
    if (r.kind == device_joystick && !r.relative) {
        for (int i = 0; i < axes; i++) {
            char axis_name[256];
            snprintf(axis_name, sizeof axis_name, "%.200s axis %d", d.name.c_str(), i);
            log("Adding axis \"%s\"\n", axis_name);
            g_dev.absolute_axes.push_back(axis_name);
        }
    }
    g_dev.devices.push_back(d);
    g_dev.generation++;
    if (r.kind == device_joystick) add_joystick_aliases(d.name);
    return static_cast<int>(g_dev.devices.size()) - 1;
}

bool device_was_known() { return g_dev.last_known; }

void device_detach(int device) {
    if (!valid(device) || !g_dev.devices[device].present) return;
    input_device& d = g_dev.devices[device];
    // A held throttle must not stay open while its pad is gone.
    std::fill(d.axes.begin(), d.axes.end(), 0);
    for (int b = 0; b < static_cast<int>(d.buttons.size()); b++)
        device_button(device, b, false, system_clock_seconds());
    d.present = false;
    g_dev.generation++;
    log("Device \"%s\" is gone\n", d.name.c_str());
}

void device_set_axis(int device, int axis, int value) {
    if (!valid(device)) return;
    input_device& d = g_dev.devices[device];
    if (axis < 0 || axis >= static_cast<int>(d.axes.size())) return;
    d.axes[axis] = std::clamp(value, -k_axis_full_scale, k_axis_full_scale);
}

void device_move_axis(int device, int axis, int delta) {
    if (!valid(device)) return;
    input_device& d = g_dev.devices[device];
    if (axis < 0 || axis >= static_cast<int>(d.axes.size())) return;
    // Nobody may read a mouse axis for hours; the count saturates instead of wrapping.
    int64_t sum = int64_t{d.axes[axis]} + delta;
    d.axes[axis] = static_cast<int>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
}

void device_button(int device, int button, bool pressed, double time) {
    if (!valid(device)) return;
    input_device& d = g_dev.devices[device];
    if (button < 0 || button >= static_cast<int>(d.buttons.size())) return;
    if ((d.buttons[button] != 0) == pressed) return;
    d.buttons[button] = pressed;
    if ((d.active || g_dev.watch_all) && button < k_device_named_buttons)
        event_queue_push(platform_event{d.id + button, pressed ? 1 : 0, time});
}

int device_count() { return static_cast<int>(g_dev.devices.size()); }

std::string device_name(int device) { return valid(device) ? g_dev.devices[device].name : ""; }

int32_t device_id(int device) { return valid(device) ? g_dev.devices[device].id : 0; }
bool device_present(int device) { return valid(device) && g_dev.devices[device].present; }
bool device_active(int device) { return valid(device) && g_dev.devices[device].active; }
int devices_generation() { return g_dev.generation; }
void devices_watch_all(bool on) { g_dev.watch_all = on; }

void devices_shutdown() {
    for (const input_device& d : g_dev.devices) log("Killing %s\n", d.name.c_str());
    aliases_reset();
    int generation = g_dev.generation + 1;
    g_dev = device_state{};
    g_dev.generation = generation;
}

int32_t bind_button(const char* name) {
    name = control_alias(name);
    int32_t code = key_code_of(name);
    if (code != k_control_none) return code;
    std::string dev;
    int index = -1;
    if (!parse_control(name, "key", "button", &dev, &index)) return k_control_none;
    int device = device_named(dev);
    if (device < 0 || index < 0 || index >= k_device_named_buttons) return k_control_none;
    input_device& d = g_dev.devices[device];
    if (index >= static_cast<int>(d.buttons.size())) return k_control_none;
    d.active = true;
    return d.id + index;
}

int open_axis(const char* name) {
    name = control_alias(name);
    std::string dev;
    int index = -1;
    if (!parse_control(name, "axis", "axis", &dev, &index)) return -1;
    int device = device_named(dev);
    if (device < 0 || index < 0) return -1;
    input_device& d = g_dev.devices[device];
    if (index >= static_cast<int>(d.axes.size())) return -1;
    d.open_axes++;
    // Handles are given out lowest-free-first.
    for (int h = 0; h < static_cast<int>(g_dev.handles.size()); h++) {
        if (g_dev.handles[h].device < 0) {
            g_dev.handles[h] = axis_handle{device, index};
            return h;
        }
    }
    g_dev.handles.push_back(axis_handle{device, index});
    return static_cast<int>(g_dev.handles.size()) - 1;
}

int read_axis(int handle) {
    if (handle < 0 || handle >= static_cast<int>(g_dev.handles.size())) return 0;
    const axis_handle& h = g_dev.handles[handle];
    if (h.device < 0) return 0;
    input_device& d = g_dev.devices[h.device];
    int value = d.axes[h.axis];
    if (d.relative) d.axes[h.axis] = 0;
    return value;
}

void close_axis(int handle) {
    if (handle < 0 || handle >= static_cast<int>(g_dev.handles.size())) return;
    axis_handle& h = g_dev.handles[handle];
    if (h.device < 0) return;
    g_dev.devices[h.device].open_axes--;
    h = axis_handle{};
}

int open_axis_count() {
    int n = 0;
    for (const axis_handle& h : g_dev.handles) n += h.device >= 0;
    return n;
}

const std::vector<std::string>& absolute_axes() { return g_dev.absolute_axes; }

std::string device_button_name(int32_t code) {
    if (code < k_device_id_step) return "";
    int32_t id = code & ~(k_device_id_step - 1);
    int index = code & (k_device_id_step - 1);
    for (const input_device& d : g_dev.devices) {
        if (d.id != id || index >= k_device_named_buttons ||
            index >= static_cast<int>(d.buttons.size()))
            continue;
        char text[1100];
        snprintf(text, sizeof text, "%.1000s button %d", d.name.c_str(), index);
        return text;
    }
    return "";
}
