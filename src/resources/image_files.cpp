// Pictures read and written by data-file name: links, ".info" files, the cache-free loaders
// and the PNG writers.
#include "resources/texture.h"
#include "resources/resources_local.h"
#include "resources/text_reader.h"

#include "files/data_file.h"
#include "files/files.h"
#include "platform/log.h"

#include <cstring>

namespace {
constexpr int k_max_link_depth = 16;

const char* without_bang(const char* name) { return name[0] == '!' ? name + 1 : name; }

bool read_bytes(const char* name, std::string* bytes) {
    return file_to_string(without_bang(name), bytes);
}

// Decodes any still picture from its bytes, by its first word.
bool decode_still(const char* name, const std::string& bytes, image* out, std::string* chunk_text) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const std::string word = resources_first_word(bytes);
    if (word == "J7") return image_decode_j7(data, bytes.size(), out);
    if (word == "J6") return image_decode_j6(data, bytes.size(), out);
    if (word == "P6" || word == "P3") return image_decode_ppm(data, bytes.size(), out);
    if (word == "P5" || word == "P2") return image_decode_pgm(data, bytes.size(), out);
    if (word == "ANIM1" || word == "LINK") {
        log("%.900s is not a still picture\n", name);
        return false;
    }
    return image_decode_png(data, bytes.size(), out, chunk_text);
}
} // namespace

std::string resources_first_word(const std::string& bytes) {
    text_reader r = text_reader_of(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    std::string word;
    text_read_word(r, &word, 16);
    return word;
}

bool resources_link_target(const std::string& bytes, std::string* target) {
    if (resources_first_word(bytes) != "LINK") return false;
    size_t at = bytes.find("LINK") + 4;
    size_t begin = bytes.find_first_not_of(" \t\r\n", at);
    if (begin == std::string::npos) {
        target->clear();
        return true;
    }
    size_t end = bytes.find_last_not_of(" \t\r\n");
    *target = bytes.substr(begin, std::min<size_t>(end - begin + 1, 1023));
    // A zero byte would cut the name short when it is opened; take the part before it.
    target->resize(strnlen(target->c_str(), target->size()));
    return true;
}

bool link_resolve(const char* name, std::string* target) {
    std::string current = without_bang(name);
    for (int depth = 0; depth <= k_max_link_depth; depth++) {
        std::string bytes, next;
        if (!file_to_string(current.c_str(), &bytes)) return false;
        if (!resources_link_target(bytes, &next)) {
            *target = current;
            return true;
        }
        if (next.empty()) {
            log("Empty link in %.900s\n", current.c_str());
            return false;
        }
        current = next;
    }
    log("Too many links from %.900s (a loop?)\n", name);
    return false;
}

std::string image_info_for(const char* name, const std::string& chunk_text) {
    std::string info = chunk_text, extra;
    if (file_to_string((std::string(without_bang(name)) + ".info").c_str(), &extra)) info += extra;
    return info;
}

bool image_load(const char* name, image* out) {
    std::string target, bytes;
    if (!link_resolve(name, &target) || !file_to_string(target.c_str(), &bytes)) return false;
    return decode_still(target.c_str(), bytes, out, nullptr);
}

bool image_read_ppm(const char* name, image* out) {
    std::string bytes;
    if (!read_bytes(name, &bytes)) return false;
    return image_decode_ppm(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
}

bool image_read_pgm(const char* name, image* out) {
    std::string bytes;
    if (!read_bytes(name, &bytes)) return false;
    return image_decode_pgm(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
}

bool image_read_png16(const char* name, std::vector<uint16_t>* samples, int* width, int* height) {
    std::string bytes;
    if (!read_bytes(name, &bytes)) return false;
    return image_decode_png16(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), samples,
                              width, height);
}

bool resources_write_file(const char* name, const std::string& bytes) {
    data_file* file = data_file_open(name, "wb");
    if (!file) {
        log("Can't write %.900s\n", name);
        return false;
    }
    bool ok = data_file_write(file, bytes.data(), bytes.size());
    ok = data_file_close(file) && ok;
    if (!ok) log("Error writing %.900s\n", name);
    return ok;
}

bool png_write_grey16(const char* name, const uint16_t* samples, int width, int height) {
    std::string bytes;
    return image_encode_png16(samples, width, height, &bytes) && resources_write_file(name, bytes);
}

bool png_write_rgb8(const char* name, const uint8_t* pixels, int width, int height) {
    std::string bytes;
    return image_encode_png(pixels, width, height, 3, "", &bytes) &&
           resources_write_file(name, bytes);
}
