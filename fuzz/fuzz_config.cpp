// Fuzzes the config file reader and the bike setup file reader with the same bytes. Every value
// read stays inside its record's range, the working graphics values stay finite, and once a
// file has been read and written, writing what it reads gives the same file again.
#include "bike/bike_data.h"
#include "core/bindings.h"
#include "core/config.h"
#include "files/files.h"
#include "platform/log.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
std::string g_root;

// A home folder of our own; the log goes nowhere, since unusable lines are the expected output.
void prepare() {
    // Memory-backed when there is such a folder: every write of the config waits for the disk.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    g_root = std::string(base) + "/fuzz_config_" + std::to_string(getpid());
    setenv("XDG_DATA_HOME", g_root.c_str(), 1);
    setenv("QV_HOME", (g_root + "/data").c_str(), 1);
    folders_free();
    log_close();
    make_parent_folders(g_root + "/Trailbok/setups/");
}

void write_file(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string read_file(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) __builtin_trap();
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    fclose(f);
    return out;
}

void check_setup() {
    for (int i = 0; i < k_setup_key_count; i++) {
        const setup_key& k = setup_key_of(static_cast<setup_key_id>(i));
        const setup_values& v = setup();
        if (k.kind == setup_kind_slider && !(v.number[i] >= k.minimum && v.number[i] <= k.maximum))
            __builtin_trap();
        if (k.kind == setup_kind_text && v.text[i].size() > static_cast<size_t>(k.max_length))
            __builtin_trap();
    }
}

void check_settings() {
    const settings& s = config();
    for (int i = 0; i < setting_count(); i++) {
        const setting_record& r = setting_at(i);
        for (int n = 0; n < r.count; n++) {
            if (r.kind == setting_kind_text) {
                if (setting_text(s, r, n).size() > static_cast<size_t>(r.max_length))
                    __builtin_trap();
                continue;
            }
            double x = setting_number(s, r, n);
            if (r.kind == setting_kind_choice && !(x >= 0 && x < setting_item_count(r)))
                __builtin_trap();
            if (r.kind != setting_kind_choice && !(x >= r.minimum && x <= r.maximum))
                __builtin_trap();
        }
    }
    for (int i = 0; i < k_binding_count; i++) {
        const binding& b = bindings()[i];
        if (!std::isfinite(b.lo) || !std::isfinite(b.hi)) __builtin_trap();
    }
    graphics_working g = graphics_derive(s);
    if (!std::isfinite(g.terrain_lod_factor) || !std::isfinite(g.model_lod_scale) ||
        !std::isfinite(g.model_lod_bias) || g.ground_texture_size < 32 ||
        g.ground_texture_size > 1024)
        __builtin_trap();
}

// Reads the config in the home folder from the defaults and writes it again.
std::string read_and_write(const std::string& path) {
    config_reset();
    setup_reset();
    read_config();
    check_settings();
    check_setup();
    if (!write_config()) __builtin_trap();
    return read_file(path);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (g_root.empty()) prepare();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string config_path = g_root + "/Trailbok/config";
    write_file(config_path, bytes);
    // The first round settles what cannot be kept (an unbound control writes no line and
    // comes back bound to its default); from then on the file stays as it is.
    read_and_write(config_path);
    const std::string settled = read_and_write(config_path);
    if (read_and_write(config_path) != settled) __builtin_trap();

    // The same bytes as a setup file: only setup lines count, and what is written reads back.
    const std::string setup_path = g_root + "/Trailbok/setups/fuzz.txt";
    write_file(setup_path, bytes);
    setup_reset();
    if (!read_setup_file("@setups/fuzz.txt")) __builtin_trap();
    check_setup();
    const std::string lines = setup_values_lines(setup());
    if (!write_setup_file("@setups/fuzz.txt")) __builtin_trap();
    setup_reset();
    if (!read_setup_file("@setups/fuzz.txt") || setup_values_lines(setup()) != lines)
        __builtin_trap();
    return 0;
}
