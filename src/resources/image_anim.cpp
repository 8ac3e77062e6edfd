// "ANIM1" sequences: a header, the frame order, then the frames as J7 data or named PNG files.
#include "resources/anim.h"
#include "resources/text_reader.h"

#include "common/message.h"
#include "platform/log.h"

#include <algorithm>

namespace {
constexpr int k_max_sequence_length = 65536;
constexpr int k_max_frames = 4096;
constexpr int64_t k_max_anim_bytes = 256LL << 20; // all frames' level 0 together

bool read_frame(text_reader& r, int index, const anim_png_reader& read_png, image* frame) {
    std::string word;
    if (!text_read_word(r, &word, 8)) {
        show_message("EOF while reading .seq");
        return false;
    }
    if (word == "J7") {
        int width = 0, height = 0;
        text_skip_comments(r);
        bool ok = text_read_int(r, &width);
        text_skip_comments(r);
        ok = ok && text_read_int(r, &height) && !text_at_end(r);
        if (!ok) {
            show_message("Error reading .seq frame %d", index);
            return false;
        }
        r.at++;
        if (!image_decode_j_body(r.data + r.at, text_remaining(r), width, height, 4, frame)) {
            show_message("Error reading .seq frame %d", index);
            return false;
        }
        r.at += static_cast<size_t>(width) * height * 4;
        return true;
    }
    if (word == "PNG") {
        std::string name = text_read_line(r);
        auto trim = [](std::string& s) {
            size_t b = s.find_first_not_of(" \t\r");
            s = b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
        };
        trim(name);
        if (name.empty()) {
            name = text_read_line(r);
            trim(name);
        }
        if (name.empty() || !read_png || !read_png(name, frame)) {
            show_message("Can't read %.900s", name.c_str());
            return false;
        }
        return true;
    }
    show_message("Error reading .seq frame %d", index);
    return false;
}
} // namespace

bool anim_decode(const uint8_t* data, size_t size, const anim_png_reader& read_png,
                 anim_sequence* out) {
    text_reader r = text_reader_of(data, size);
    std::string word;
    if (!text_read_word(r, &word, 5) || word != "ANIM1") {
        log("Not an ANIM1 sequence\n");
        return false;
    }
    anim_sequence seq;
    bool ok = text_read_int(r, &seq.length) && text_read_int(r, &seq.frame_count) &&
              text_read_int(r, &seq.tics_per_step) && text_read_int(r, &seq.loop);
    if (!ok) {
        show_message("EOF while reading .seq");
        return false;
    }
    if (seq.length < 1 || seq.length > k_max_sequence_length || seq.frame_count < 1 ||
        seq.frame_count > k_max_frames ||
        static_cast<size_t>(seq.length) > text_remaining(r) / 2 + 1) {
        log("Bad .seq header: length %d, %d frames\n", seq.length, seq.frame_count);
        return false;
    }
    if (seq.tics_per_step < 1) {
        // A step of no tics would divide by zero when the animation runs.
        log("Bad .seq step of %d tics, using 1\n", seq.tics_per_step);
        seq.tics_per_step = 1;
    }
    seq.sequence.resize(seq.length);
    for (int& frame : seq.sequence) {
        if (!text_read_int(r, &frame)) {
            show_message("EOF while reading .seq");
            return false;
        }
        if (frame < 0 || frame >= seq.frame_count) {
            log("Bad .seq frame index %d of %d frames\n", frame, seq.frame_count);
            return false;
        }
    }
    int64_t bytes = 0;
    for (int i = 0; i < seq.frame_count; i++) {
        image frame;
        if (!read_frame(r, i, read_png, &frame)) return false;
        if (i > 0 && (frame.width != seq.frames[0].width || frame.height != seq.frames[0].height)) {
            show_message("Width/height mismatch reading .seq");
            return false;
        }
        if (i > 0 && frame.channels != seq.frames[0].channels) {
            show_message("Depth mismatch reading .seq");
            return false;
        }
        bytes += static_cast<int64_t>(frame.pixels.size());
        if (bytes > k_max_anim_bytes) {
            log("Refusing .seq frames of more than %lld bytes\n",
                static_cast<long long>(k_max_anim_bytes));
            return false;
        }
        seq.frames.push_back(std::move(frame));
    }
    *out = std::move(seq);
    return true;
}

int anim_step_at(const anim_sequence& seq, int start_tic, int tic) {
    int step = std::max(0, tic - start_tic) / std::max(1, seq.tics_per_step);
    return seq.loop ? step % seq.length : std::min(step, seq.length - 1);
}

std::string anim_encode(const anim_sequence& seq) {
    std::string out = "ANIM1\n" + std::to_string(seq.length) + " " +
                      std::to_string(seq.frame_count) + " " + std::to_string(seq.tics_per_step) +
                      " " + std::to_string(seq.loop) + "\n";
    for (int i = 0; i < seq.length; i++)
        out += std::to_string(seq.sequence[i]) + (i + 1 < seq.length ? " " : "\n");
    for (const image& frame : seq.frames) out += image_encode_j(frame);
    return out;
}
