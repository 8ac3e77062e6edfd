// The cache of collision shapes by file name.
#include "bike/data/bike_shape.h"

#include "files/files.h"
#include "platform/log.h"

#include <map>
#include <memory>

namespace {
struct shape_cache_state {
    // Ordered by name; a failed file is remembered too, so it is read and reported only once.
    std::map<std::string, std::unique_ptr<shape>> shapes;
};
shape_cache_state g_shapes;
} // namespace

const shape* shape_load(const char* file) {
    if (!file || !file[0]) return nullptr;
    auto found = g_shapes.shapes.find(file);
    if (found != g_shapes.shapes.end()) return found->second.get();
    std::unique_ptr<shape> loaded;
    std::string text;
    if (!file_to_string(file, &text)) {
        log("Can't read shape %s\n", file);
    } else {
        loaded = std::make_unique<shape>();
        if (!shape_parse(text.data(), text.size(), loaded.get())) {
            log("Bad shape file %s\n", file);
            loaded.reset();
        }
    }
    const shape* result = loaded.get();
    g_shapes.shapes.emplace(file, std::move(loaded));
    return result;
}

shape shape_copy(const char* file) {
    const shape* cached = shape_load(file);
    return cached ? *cached : shape{};
}

void shape_cache_free() { g_shapes = shape_cache_state{}; }
