// Fuzzes the ".shp" shape reader and the setup-line reader with the same bytes.
#include "bike/bike_data.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    shape s;
    if (shape_parse(reinterpret_cast<const char*>(data), size, &s)) {
        for (const shape_sphere& p : s.spheres)
            if (!(p.radius >= 0) || !std::isfinite(p.centre.x) || !std::isfinite(p.damping))
                __builtin_trap();
        shape again;
        if (!shape_parse(shape_format(s).data(), shape_format(s).size(), &again)) __builtin_trap();
        if (again.spheres.size() != s.spheres.size()) __builtin_trap();
    }
    // The first line's bytes as "key=value": every slider stays inside its range.
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t eq = text.find('=');
    if (eq == std::string::npos) return 0;
    std::string key = text.substr(0, eq), value = text.substr(eq + 1);
    setup_values v;
    setup_values_reset(v);
    setup_values_apply_line(v, key.c_str(), value.c_str());
    for (int i = 0; i < k_setup_key_count; i++) {
        const setup_key& k = setup_key_of(static_cast<setup_key_id>(i));
        if (k.kind == setup_kind_slider && !(v.number[i] >= k.minimum && v.number[i] <= k.maximum))
            __builtin_trap();
    }
    if (setup_values_lines(v).empty()) __builtin_trap();
    return 0;
}
