// Text layout on a hand-made atlas: glyph cells, advances, tabs and line ends, colour escapes,
// drop shadows, centring and right alignment, and text painted into a picture.
#include "ui/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
constexpr uint8_t k_separator[3] = {255, 0, 255};
constexpr float k_near = 1e-5f;

// A 24 x 23 atlas of "AB-" in a row of cells 10 px high (5, 8 and 4 px wide) and "C" (6 px)
// in the row below, every cell outlined by separator lines.
image test_atlas() {
    image im;
    EXPECT_TRUE(image_allocate(&im, 24, 23, 3));
    for (int y = 0; y < im.height; y++)
        for (int x = 0; x < im.width; x++) {
            const bool first_row =
                y >= 1 && y <= 10 &&
                ((x >= 1 && x <= 5) || (x >= 7 && x <= 14) || (x >= 16 && x <= 19));
            const bool second_row = y >= 12 && y <= 21 && x >= 1 && x <= 6;
            uint8_t* p = &im.pixels[(static_cast<size_t>(y) * im.width + x) * 3];
            for (int k = 0; k < 3; k++) p[k] = first_row || second_row ? 255 : k_separator[k];
        }
    return im;
}

struct text_layout_test : ::testing::Test {
    font f;
    image atlas = test_atlas();
    void SetUp() override { ASSERT_EQ(font_parse_atlas(&atlas, "AB-C", &f), 4); }

    std::vector<text_quad> quads(const char* text, int flags = 0, bool shadow = false,
                                 const float* colour = nullptr) {
        const float white[4] = {1, 1, 1, 1};
        std::vector<text_quad> out;
        text_layout(f, text, colour ? colour : white, flags, shadow, &out);
        return out;
    }
};

TEST_F(text_layout_test, CellsGiveTextureRectanglesAndAspects) {
    const font_glyph& a = f.glyphs['A'];
    EXPECT_NEAR(a.left, 1.0f / 24, k_near);
    EXPECT_NEAR(a.right, 6.0f / 24, k_near);
    EXPECT_NEAR(a.top, 1.0f / 23, k_near);
    EXPECT_NEAR(a.bottom, 11.0f / 23, k_near);
    EXPECT_NEAR(a.aspect, 0.5f, k_near);
    EXPECT_NEAR(f.glyphs['B'].aspect, 0.8f, k_near);
    EXPECT_NEAR(f.glyphs['-'].aspect, 0.4f, k_near);
    // The second row of cells starts below the separator line under the first.
    const font_glyph& c = f.glyphs['C'];
    EXPECT_NEAR(c.top, 12.0f / 23, k_near);
    EXPECT_NEAR(c.left, 1.0f / 24, k_near);
    EXPECT_NEAR(c.aspect, 0.6f, k_near);
    // A space advances as far as "-"; a character not in the font by two thirds.
    EXPECT_NEAR(f.space, 0.4f, k_near);
    EXPECT_FALSE(f.glyphs['x'].present);
    EXPECT_NEAR(f.glyphs['x'].aspect, 2.0f / 3, k_near);
    // The separator lines become transparent; the glyphs stay opaque.
    EXPECT_EQ(atlas.channels, 4);
    EXPECT_EQ(atlas.pixels[3], 0);
    EXPECT_EQ(atlas.pixels[(static_cast<size_t>(5) * 24 + 3) * 4 + 3], 255);
}

TEST_F(text_layout_test, GlyphsStandSideBySideByTheirAspects) {
    const std::vector<text_quad> q = quads("  AB C");
    ASSERT_EQ(q.size(), 3u);
    EXPECT_NEAR(q[0].x0, 0, k_near); // leading white space is skipped
    EXPECT_NEAR(q[0].x1, 0.5f, k_near);
    EXPECT_NEAR(q[1].x0, 0.5f, k_near);
    EXPECT_NEAR(q[1].x1, 1.3f, k_near);
    EXPECT_NEAR(q[2].x0, 1.7f, k_near);
    EXPECT_NEAR(q[2].y0, 0, k_near);
    EXPECT_NEAR(q[2].y1, 1, k_near);
    EXPECT_NEAR(q[0].s0, f.glyphs['A'].left, k_near);
    EXPECT_NEAR(q[0].t1, f.glyphs['A'].bottom, k_near);
    EXPECT_NEAR(text_width(f, "AB C"), 2.3f, k_near);
    EXPECT_TRUE(quads("").empty());
    EXPECT_TRUE(quads(" \t ").empty());
}

TEST_F(text_layout_test, TabsLineEndsAndMissingCharacters) {
    // Three space widths, then a tab to eight; eight, then a tab to sixteen.
    EXPECT_NEAR(quads("---\tA")[3].x0, 8 * 0.4f, k_near);
    EXPECT_NEAR(quads("--------\tA")[8].x0, 16 * 0.4f, k_near);
    std::vector<text_quad> q = quads("AB\nC");
    EXPECT_NEAR(q[2].x0, 0, k_near);
    EXPECT_NEAR(q[2].y0, -1, k_near);
    q = quads("AB\rC");
    EXPECT_NEAR(q[2].x0, 0, k_near);
    EXPECT_NEAR(q[2].y0, 0, k_near);
    // The width ends at the first line end.
    EXPECT_NEAR(text_width(f, "AB\nCCCC"), 1.3f, k_near);
    q = quads("AxB");
    ASSERT_EQ(q.size(), 2u);
    EXPECT_NEAR(q[1].x0, 0.5f + 2.0f / 3, k_near);
}

TEST_F(text_layout_test, EscapesChooseColoursAndBrightness) {
    const float base[4] = {0.2f, 0.3f, 0.4f, 0.8f};
    std::vector<text_quad> q = quads("\x1b[1;31mA\x1b[mB\x1b[1mC\x1b[22;32m-", 0, false, base);
    ASSERT_EQ(q.size(), 4u);
    // Bright red is palette entry 9; no numbers restore the caller's colour.
    EXPECT_FLOAT_EQ(q[0].colour[0], 1);
    EXPECT_FLOAT_EQ(q[0].colour[1], 0);
    EXPECT_FLOAT_EQ(q[0].colour[2], 0);
    EXPECT_FLOAT_EQ(q[0].colour[3], 0.8f);
    EXPECT_FLOAT_EQ(q[1].colour[0], 0.2f);
    EXPECT_FLOAT_EQ(q[1].colour[2], 0.4f);
    // Bright on the caller's colour adds a quarter.
    EXPECT_FLOAT_EQ(q[2].colour[0], 0.45f);
    EXPECT_FLOAT_EQ(q[2].colour[2], 0.65f);
    EXPECT_FLOAT_EQ(q[3].colour[0], 0);
    EXPECT_FLOAT_EQ(q[3].colour[1], 0.75f);
    // An escape takes no room.
    EXPECT_NEAR(q[1].x0, 0.5f, k_near);
    // Escapes read as characters when turned off: five characters the font lacks.
    q = quads("\x1b[31mA", text_no_escapes);
    ASSERT_EQ(q.size(), 1u);
    EXPECT_NEAR(q[0].x0, 5 * 2.0f / 3, k_near);
    EXPECT_FLOAT_EQ(q[0].colour[1], 1);
    // Background numbers colour only the shadow.
    const float white[4] = {1, 1, 1, 1};
    EXPECT_FLOAT_EQ(quads("\x1b[41mA", 0, false, white)[0].colour[1], 1);
    const text_quad shadow = quads("\x1b[41mA", 0, true, white)[0];
    EXPECT_FLOAT_EQ(shadow.colour[0], 0.75f);
    EXPECT_FLOAT_EQ(shadow.colour[1], 0);
}

TEST_F(text_layout_test, ShadowIsBlackAtHalfOpacityMovedDownRight) {
    const float colour[4] = {0.9f, 0.8f, 0.7f, 0.6f};
    const text_quad glyph = quads("B", 0, false, colour)[0];
    const text_quad shadow = quads("B", 0, true, colour)[0];
    EXPECT_NEAR(shadow.x0 - glyph.x0, 1.0f / 16, k_near);
    EXPECT_NEAR(shadow.y0 - glyph.y0, -1.0f / 16, k_near);
    EXPECT_FLOAT_EQ(shadow.colour[0], 0);
    EXPECT_FLOAT_EQ(shadow.colour[2], 0);
    EXPECT_FLOAT_EQ(shadow.colour[3], 0.3f);
}

TEST_F(text_layout_test, CentredAndRightAlignedText) {
    // "AB" is 1.3 glyph heights wide: 13 units at height 10.
    EXPECT_NEAR(text_start_centred(f, "AB", 10, 30, 10), 13.5f, 1e-4f);
    EXPECT_NEAR(text_start_right(f, "AB", 30, 10), 17, 1e-4f);
    // Only the first line counts.
    EXPECT_NEAR(text_start_right(f, "AB\nCCCCCC", 30, 10), 17, 1e-4f);
}

TEST_F(text_layout_test, TextPaintedIntoAPictureBlendsByCoverage) {
    image im;
    ASSERT_TRUE(image_allocate(&im, 20, 10, 3));
    const uint8_t fg[3] = {200, 100, 50}, bg[3] = {0, 0, 100};
    ASSERT_TRUE(text_to_image(f, "AB", fg, bg, &im));
    auto pixel = [&](int x, int y) { return &im.pixels[(static_cast<size_t>(y) * 20 + x) * 3]; };
    // The glyphs cover 13 px of the 10 px high picture; the rest keeps the background.
    EXPECT_EQ(pixel(2, 5)[0], 200);
    EXPECT_EQ(pixel(10, 2)[1], 100);
    EXPECT_EQ(pixel(10, 2)[2], 50);
    EXPECT_EQ(pixel(16, 5)[0], 0);
    EXPECT_EQ(pixel(16, 5)[2], 100);
    EXPECT_GT(im.levels, 1);
}
} // namespace
