// Fuzzes the PNG readers (8-bit colour with text chunks, and 16-bit grey heights).
#include "resources/image.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    image im;
    std::string text;
    image_decode_png(data, size, &im, &text);
    std::vector<uint16_t> samples;
    int width, height;
    image_decode_png16(data, size, &samples, &width, &height);
    return 0;
}
