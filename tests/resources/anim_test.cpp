// "ANIM1" sequences: round trip, which entry shows when, named PNG frames, malformed files.
#include "resources/anim.h"

#include "common/message.h"

#include <gtest/gtest.h>

namespace {
const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

image frame(int width, int height, uint8_t shade) {
    image im;
    EXPECT_TRUE(image_allocate(&im, width, height, 4));
    for (size_t i = 0; i < im.pixels.size(); i++) im.pixels[i] = static_cast<uint8_t>(shade + i);
    return im;
}

anim_sequence sample(int length, int tics, int loop) {
    anim_sequence seq;
    seq.length = length;
    seq.frame_count = 3;
    seq.tics_per_step = tics;
    seq.loop = loop;
    for (int i = 0; i < length; i++) seq.sequence.push_back((i * 2) % 3);
    for (int f = 0; f < 3; f++) seq.frames.push_back(frame(4, 2, static_cast<uint8_t>(f * 50)));
    return seq;
}

bool decode(const std::string& file, anim_sequence* out, const anim_png_reader& png = nullptr) {
    return anim_decode(bytes_of(file), file.size(), png, out);
}
} // namespace

TEST(Anim, RoundTrip) {
    anim_sequence seq = sample(5, 7, 1);
    anim_sequence back;
    ASSERT_TRUE(decode(anim_encode(seq), &back));
    EXPECT_EQ(back.length, 5);
    EXPECT_EQ(back.frame_count, 3);
    EXPECT_EQ(back.tics_per_step, 7);
    EXPECT_EQ(back.loop, 1);
    EXPECT_EQ(back.sequence, seq.sequence);
    ASSERT_EQ(back.frames.size(), 3u);
    for (int f = 0; f < 3; f++) EXPECT_EQ(back.frames[f].pixels, seq.frames[f].pixels);
}

TEST(Anim, WithoutLoopTheLastEntryStaysFromStartPlus30) {
    anim_sequence seq = sample(4, 10, 0);
    const int start = 1000;
    EXPECT_EQ(anim_step_at(seq, start, start - 5), 0) << "before the start the first entry shows";
    EXPECT_EQ(anim_step_at(seq, start, start + 9), 0);
    EXPECT_EQ(anim_step_at(seq, start, start + 10), 1);
    EXPECT_EQ(anim_step_at(seq, start, start + 29), 2);
    EXPECT_EQ(anim_step_at(seq, start, start + 30), 3);
    EXPECT_EQ(anim_step_at(seq, start, start + 5000), 3);
}

TEST(Anim, WithLoopTheSequenceRepeats) {
    anim_sequence seq = sample(4, 10, 1);
    EXPECT_EQ(anim_step_at(seq, 0, 40), 0);
    EXPECT_EQ(anim_step_at(seq, 0, 75), 3);
}

TEST(Anim, PngFramesAreReadByName) {
    std::string file = "ANIM1\n2 2 5 0\n1 0\nPNG first.png\nPNG\n  second.png  \n";
    std::vector<std::string> asked;
    anim_sequence seq;
    ASSERT_TRUE(decode(file, &seq, [&](const std::string& name, image* out) {
        asked.push_back(name);
        *out = frame(2, 2, 9);
        out->channels = 4;
        return true;
    }));
    EXPECT_EQ(asked, (std::vector<std::string>{"first.png", "second.png"}));
    EXPECT_EQ(seq.sequence, (std::vector<int>{1, 0}));
}

TEST(Anim, ErrorsAreReported) {
    messages_clear();
    anim_sequence seq;
    EXPECT_FALSE(decode("ANIM1\n2 1 5 0\n0", &seq));
    EXPECT_EQ(message_recent(0), "EOF while reading .seq");
    EXPECT_FALSE(decode("ANIM1\n1 1 5 0\n0\nGIF89a", &seq));
    EXPECT_EQ(message_recent(0), "Error reading .seq frame 0");
    EXPECT_FALSE(decode("ANIM1\n1 1 5 0\n0\nPNG missing.png\n", &seq,
                        [](const std::string&, image*) { return false; }));
    EXPECT_EQ(message_recent(0), "Can't read missing.png");

    anim_sequence mixed = sample(2, 1, 0);
    mixed.frames[2] = frame(8, 2, 0);
    EXPECT_FALSE(decode(anim_encode(mixed), &seq));
    EXPECT_EQ(message_recent(0), "Width/height mismatch reading .seq");

    std::string depth = "ANIM1\n1 2 1 0\n0\nJ7\n1 1\n" + std::string(4, '\0') + "PNG grey.png\n";
    EXPECT_FALSE(decode(depth, &seq, [](const std::string&, image* out) {
        image_allocate(out, 1, 1, 3);
        return true;
    }));
    EXPECT_EQ(message_recent(0), "Depth mismatch reading .seq");
}

TEST(Anim, BadCountsAndIndicesAreRefused) {
    anim_sequence seq;
    EXPECT_FALSE(decode("ANIM1\n1 2 5 0\n2\n", &seq)) << "frame index past the frame count";
    EXPECT_FALSE(decode("ANIM1\n1 2 5 0\n-1\n", &seq));
    EXPECT_FALSE(decode("ANIM1\n0 1 5 0\n", &seq));
    EXPECT_FALSE(decode("ANIM1\n2000000000 1 5 0\n0 0\n", &seq)) << "a length the file can't hold";
    EXPECT_FALSE(decode("ANIM1\n1 1000000 5 0\n0\n", &seq));
    EXPECT_FALSE(decode("ANIM2\n1 1 5 0\n0\n", &seq));
    std::string huge = "ANIM1\n1 1 5 0\n0\nJ7\n60000 60000\n" + std::string(64, '\0');
    EXPECT_FALSE(decode(huge, &seq));
}

TEST(Anim, AStepOfNoTicsDoesNotDivideByZero) {
    anim_sequence source = sample(3, 1, 1);
    source.tics_per_step = 0;
    anim_sequence seq;
    ASSERT_TRUE(decode(anim_encode(source), &seq));
    EXPECT_EQ(seq.tics_per_step, 1);
    EXPECT_EQ(anim_step_at(seq, 0, 4), 1);
}
