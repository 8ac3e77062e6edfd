// Turning decoded pictures into what is uploaded: power-of-two sides, mip chains, dropped detail.
#include "resources/image.h"

#include "common/message.h"

namespace {
void make_power_of_two(image* im, bool max_alpha) {
    const bool resample = !image_is_power_of_two(im->width) || !image_is_power_of_two(im->height);
    if (resample)
        image_resample(im, image_power_of_two_below(im->width),
                       image_power_of_two_below(im->height));
    if (resample || im->levels < 2) image_build_mips(im, max_alpha);
}
} // namespace

void image_prepare_texture(image* im, int skip, bool max_alpha, const char* name) {
    image_grey_to_rgb(im);
    make_power_of_two(im, max_alpha);
    for (; skip > 0 && im->width > 128 && im->height > 128 && im->levels > 1; skip--)
        image_drop_level(im);
    const int original_width = im->width, original_height = im->height;
    bool reduced = false;
    while ((im->width > 16 || im->height > 16) && image_level_redundant(*im)) {
        image_drop_level(im);
        reduced = true;
    }
    if (reduced)
        show_message("%.64s reduced to %dx%d (originally %dx%d)", name, im->width, im->height,
                     original_width, original_height);
}

void image_prepare_anim_frame(image* im) {
    image_grey_to_rgb(im);
    make_power_of_two(im, false);
    while (static_cast<int64_t>(im->width) * im->height > 65536) image_drop_level(im);
}
