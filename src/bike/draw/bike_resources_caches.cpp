// The bike's resource loader over the game's model and texture caches.
#include "bike/draw/bike_resources.h"

#include "resources/model.h"
#include "resources/texture.h"

#include <cstdint>

namespace {
int load_model(const char* name) { return model_load(name); }
int load_texture(const char* name) { return static_cast<int>(texture_load(name)); }
std::string info_of(int texture) { return texture_info(static_cast<uint32_t>(texture)); }

int number_texture(const char* number, const int background[3], const int foreground[3]) {
    uint8_t bg[3], fg[3];
    for (int i = 0; i < 3; i++) {
        bg[i] = static_cast<uint8_t>(background[i]);
        fg[i] = static_cast<uint8_t>(foreground[i]);
    }
    return static_cast<int>(texture_number(number, bg, fg));
}
} // namespace

const bike_resource_loader k_bike_loader_caches = {load_model, load_texture, info_of,
                                                   number_texture};
