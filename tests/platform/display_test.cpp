// The display-mode list and the fullscreen mode choice, over mode lists a test supplies.
#include "platform/display.h"

#include <gtest/gtest.h>

namespace {
bool same(const display_mode& a, int width, int height, int depth) {
    return a.width == width && a.height == height && a.depth == depth;
}
} // namespace

TEST(DisplayModes, DesktopFirstRefreshRatesFoldedOddDepthsLeftOut) {
    reported_mode desktop{1920, 1080, 32, 60};
    reported_mode found[] = {
        {800, 600, 32, 60},  {800, 600, 32, 75},    {1024, 768, 4, 60},
        {1024, 768, 16, 60}, {1920, 1080, 32, 144}, {0, 0, 24, 0},
    };
    std::vector<display_mode> list = display_modes_build(desktop, found, 6);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_TRUE(same(list[0], 1920, 1080, 32));
    EXPECT_TRUE(same(list[1], 800, 600, 32)) << "75 Hz folds into 60 Hz";
    EXPECT_TRUE(same(list[2], 1024, 768, 16));
    EXPECT_EQ(list[3].width, 0) << "the list ends with a zero entry";
}

TEST(DisplayModes, ADesktopOfAnOddDepthIsNotListed) {
    reported_mode desktop{1280, 1024, 4, 60};
    reported_mode found[] = {{640, 480, 16, 60}};
    std::vector<display_mode> list = display_modes_build(desktop, found, 1);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(same(list[0], 640, 480, 16));
}

TEST(FullscreenMode, TheSmallestModeThatHoldsTheRequestedSize) {
    const display_mode modes[] = {{800, 600, 32}, {1024, 768, 32}, {1280, 1024, 32}, {}};
    const display_mode desktop{1280, 1024, 32};
    EXPECT_TRUE(same(fullscreen_mode_for(modes, desktop, 1000, 700), 1024, 768, 32));
    EXPECT_TRUE(same(fullscreen_mode_for(modes, desktop, 800, 600), 800, 600, 32));
    EXPECT_TRUE(same(fullscreen_mode_for(modes, desktop, 1600, 1200), 1280, 1024, 32))
        << "nothing holds it: the desktop's mode";
    EXPECT_TRUE(same(fullscreen_mode_for(modes, desktop, 0, 0), 1280, 1024, 32));
}

TEST(FullscreenMode, TiesGoToTheFirstListedMode) {
    const display_mode modes[] = {{1280, 720, 32}, {1000, 1000, 32}, {1100, 900, 32}, {}};
    const display_mode desktop{1920, 1080, 32};
    EXPECT_TRUE(same(fullscreen_mode_for(modes, desktop, 900, 700), 1280, 720, 32));
}
