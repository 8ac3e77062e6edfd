// The generator's writers for pictures, ".info" files and models, and the HUD pictures step.
#pragma once

#include "resources/image.h"
#include "resources/model.h"

#include <cstdint>
#include <string>
#include <vector>

// PNG of 1, 3 or 4 channels (with an optional text chunk), 16-bit grey PNG, ".info" beside a
// picture.
bool forge_write_png(const std::string& path, const image& im, const std::string& text = "");
bool forge_write_png16(const std::string& path, const std::vector<uint16_t>& samples, int width,
                       int height);
bool forge_write_info(const std::string& picture_path, const image_info_flags& flags);
// The HUD pictures the game loads at start-up.
bool forge_hud_pictures(const std::string& out);
// The font atlases "font.png", "numbers.png" and "numbers-condensed.png".
bool forge_fonts(const std::string& out);
// The desktop's icon for the game: a square PNG of the given size in pixels.
bool forge_desktop_icon(const std::string& path, int size);

// The sky box's five faces and the reflections' picture that every track's lighting names.
bool forge_sky_pictures(const std::string& out);

// Models: an axis-aligned box part (ft) and the ".jm" writer.
model_part forge_box_part(const float centre[3], const float size[3], const float colour[4],
                          float shininess);
bool forge_write_model(const std::string& path, const model_mesh& mesh);
