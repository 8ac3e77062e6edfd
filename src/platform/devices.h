// Input devices (joysticks, the mouse, the cursor): names, ids, axes, buttons and axis handles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum device_kind { device_joystick, device_mouse, device_cursor };

constexpr int k_device_max_axes = 100;
constexpr int k_device_max_buttons = 500;
constexpr int k_device_named_buttons = 256; // buttons 0..255 have control codes and names
constexpr int32_t k_device_id_step = 65536;
constexpr int k_axis_full_scale = 32767; // absolute axes run -32767..32767

// What a back-end knows of a device as it is attached.
struct device_report {
    const char* instance_name; // "Joystick 1"
    const char* product_name;
    device_kind kind;
    int axes;
    int buttons;
    bool relative; // the axes count movement since the last read
};

// Adds a device with its roll-call lines, or brings back a pulled-out one of the same name and
// kind (its id, bindings and handles stay). Returns its number, -1 when it is dropped.
int device_attach(const device_report& report);
// A device pulled out: its axes rest at 0 and its held buttons are released.
void device_detach(int device);
// Whether the last device_attach brought back a known device rather than adding one.
bool device_was_known();
// The back-end's view: an absolute axis value (clamped to the full scale), a relative movement,
// a button state (queues an event when it changes and the device is polled).
void device_set_axis(int device, int axis, int value);
void device_move_axis(int device, int axis, int delta);
void device_button(int device, int button, bool pressed, double time);

int device_count();
std::string device_name(int device);
int32_t device_id(int device);
bool device_present(int device);
bool device_active(int device);
// Changes whenever a device is attached or pulled out, so bindings can be resolved again.
int devices_generation();
// Destroys every device ("Killing ..."), closes the axis handles and drops the device aliases.
void devices_shutdown();
// While on, every device's buttons queue events, bound or not (the capture watches them all).
void devices_watch_all(bool on);

// The device id a name gets before collisions are resolved.
int32_t device_id_checksum(const char* name);

// A button control by name: aliases, key names, then "dev.key[n]" or "dev button n". The
// device becomes active. k_control_none when nothing matches.
int32_t bind_button(const char* name);
// An axis by name: aliases, then "dev.axis[n]" or "dev axis n". -1 when nothing matches.
int open_axis(const char* name);
// The axis's raw value; a relative axis counts from 0 again after each read.
int read_axis(int handle);
void close_axis(int handle);
int open_axis_count();
// "dev axis n" for every absolute joystick axis found so far.
const std::vector<std::string>& absolute_axes();
// "dev button n" for a device button's code, "" for any other code.
std::string device_button_name(int32_t code);
