// The "J6" (RGB) and "J7" (RGBA) formats: each byte adds to a prediction from decoded neighbours.
#include "resources/image.h"
#include "resources/text_reader.h"

#include "platform/log.h"

#include <algorithm>

namespace {
// The prediction for channel value at (x, y) from its left, upper and upper-left neighbours.
int predict(const uint8_t* pixels, int width, int channels, int x, int y, int c) {
    const size_t stride = static_cast<size_t>(width) * channels;
    const uint8_t* here = pixels + y * stride + static_cast<size_t>(x) * channels + c;
    if (x == 0 && y == 0) return 0;
    if (y == 0) return here[-channels];
    if (x == 0) return here[-static_cast<ptrdiff_t>(stride)];
    int left = here[-channels], up = here[-static_cast<ptrdiff_t>(stride)];
    int corner = here[-static_cast<ptrdiff_t>(stride) - channels];
    return std::clamp(left + up - corner, 0, 255);
}

bool decode_j(const uint8_t* data, size_t size, image* out, int channels) {
    text_reader r = text_reader_of(data, size);
    std::string word;
    text_read_word(r, &word, 2);
    if (word != (channels == 3 ? "J6" : "J7")) {
        log("Not a %s picture\n", channels == 3 ? "J6" : "J7");
        return false;
    }
    int width = 0, height = 0;
    text_skip_comments(r);
    bool ok = text_read_int(r, &width);
    text_skip_comments(r);
    ok = ok && text_read_int(r, &height);
    if (!ok || text_at_end(r)) {
        log("Can't get %s dimensions\n", channels == 3 ? "J6" : "J7");
        return false;
    }
    r.at++; // the one white-space byte before the body
    return image_decode_j_body(data + r.at, size - r.at, width, height, channels, out);
}
} // namespace

bool image_decode_j_body(const uint8_t* data, size_t size, int width, int height, int channels,
                         image* out) {
    if (!image_size_acceptable(width, height, channels == 3 ? "J6 picture" : "J7 picture"))
        return false;
    const size_t count = static_cast<size_t>(width) * height * channels;
    if (count > size) {
        log("%s body needs %zu bytes, %zu remain\n", channels == 3 ? "J6" : "J7", count, size);
        return false;
    }
    image im;
    if (!image_allocate(&im, width, height, channels)) return false;
    uint8_t* p = im.pixels.data();
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < channels; c++) {
                size_t i = (static_cast<size_t>(y) * width + x) * channels + c;
                p[i] = static_cast<uint8_t>(data[i] + predict(p, width, channels, x, y, c));
            }
    *out = std::move(im);
    return true;
}

bool image_decode_j6(const uint8_t* data, size_t size, image* out) {
    return decode_j(data, size, out, 3);
}
bool image_decode_j7(const uint8_t* data, size_t size, image* out) {
    return decode_j(data, size, out, 4);
}

std::string image_encode_j(const image& im) {
    const int c = im.channels;
    std::string out = c == 4 ? "J7\n" : "J6\n";
    out += std::to_string(im.width) + " " + std::to_string(im.height) + "\n";
    const uint8_t* p = im.pixels.data();
    for (int y = 0; y < im.height; y++)
        for (int x = 0; x < im.width; x++)
            for (int k = 0; k < c; k++) {
                size_t i = (static_cast<size_t>(y) * im.width + x) * c + k;
                out.push_back(static_cast<char>(
                    static_cast<uint8_t>(p[i] - predict(p, im.width, c, x, y, k))));
            }
    return out;
}
