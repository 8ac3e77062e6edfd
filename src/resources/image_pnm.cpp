// PPM and PGM pictures, binary and text, and the binary writer.
#include "resources/image.h"
#include "resources/text_reader.h"

#include "platform/log.h"

namespace {
// Reads "P6"/"P3" (or "P5"/"P2") pictures; `channels` is 3 for PPM, 1 for PGM.
bool decode_pnm(const uint8_t* data, size_t size, image* out, int channels) {
    const bool ppm = channels == 3;
    text_reader r = text_reader_of(data, size);
    std::string word;
    text_read_word(r, &word, 2);
    bool binary;
    if (word == (ppm ? "P6" : "P5"))
        binary = true;
    else if (word == (ppm ? "P3" : "P2"))
        binary = false;
    else {
        log_error(ppm ? "Can't parse PPM header" : "Can't parse PGM header");
        return false;
    }
    int width = 0, height = 0, maximum = 0;
    text_skip_comments(r);
    bool ok = text_read_int(r, &width);
    text_skip_comments(r);
    ok = ok && text_read_int(r, &height);
    text_skip_comments(r);
    ok = ok && text_read_int(r, &maximum);
    if (!ok || maximum < 1 || maximum > 65535) {
        log_error(ppm ? "Can't get PPM dimensions" : "Can't get PGM dimensions");
        return false;
    }
    if (!image_size_acceptable(width, height, ppm ? "PPM" : "PGM")) return false;
    const size_t samples = static_cast<size_t>(width) * height * channels;
    // A binary body is one byte a sample, a text body at least two: check before allocating.
    if (binary) {
        if (text_at_end(r) || text_remaining(r) - 1 < samples) {
            log("%s body is %zu bytes short\n", ppm ? "PPM" : "PGM",
                samples - (text_at_end(r) ? 0 : text_remaining(r) - 1));
            return false;
        }
        r.at++;
    } else if (text_remaining(r) / 2 + 1 < samples) {
        log("%s text body too short\n", ppm ? "PPM" : "PGM");
        return false;
    }
    image im;
    if (!image_allocate(&im, width, height, channels)) return false;
    for (size_t i = 0; i < samples; i++) {
        int v;
        if (binary) {
            v = data[r.at++];
        } else if (!text_read_int(r, &v) || v < 0) {
            log("%s text body ends after %zu samples\n", ppm ? "PPM" : "PGM", i);
            return false;
        }
        if (maximum != 255) v = static_cast<int>(static_cast<int64_t>(v) * 255 / maximum);
        im.pixels[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
    *out = std::move(im);
    return true;
}
} // namespace

bool image_decode_ppm(const uint8_t* data, size_t size, image* out) {
    return decode_pnm(data, size, out, 3);
}
bool image_decode_pgm(const uint8_t* data, size_t size, image* out) {
    return decode_pnm(data, size, out, 1);
}

std::string image_encode_ppm(const image& im) {
    std::string out = im.channels == 1 ? "P5\n" : "P6\n";
    out += std::to_string(im.width) + " " + std::to_string(im.height) + "\n255\n";
    out.append(reinterpret_cast<const char*>(im.pixels.data()),
               static_cast<size_t>(im.width) * im.height * im.channels);
    return out;
}
