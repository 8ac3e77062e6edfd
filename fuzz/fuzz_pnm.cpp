// Fuzzes the PPM and PGM readers, binary and text.
#include "resources/image.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    image im;
    if (image_decode_ppm(data, size, &im) && static_cast<int64_t>(im.width) * im.height <= 1 << 16)
        image_prepare_anim_frame(&im);
    image_decode_pgm(data, size, &im);
    return 0;
}
