// Fuzzes the "J6" and "J7" readers, then the preparation of whatever they accept.
#include "resources/image.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    image im;
    if (image_decode_j6(data, size, &im) || image_decode_j7(data, size, &im)) {
        if (static_cast<int64_t>(im.width) * im.height <= 1 << 16) image_build_mips(&im, size & 1);
    }
    return 0;
}
