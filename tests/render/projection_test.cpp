// The projection's tangents and the ghost riders' fading.
#include "render/render.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Projection, WideScreensKeepTheHeightOfAFourByThreeView) {
    view_tangents wide = tangents_for(1920, 1080, 90);
    EXPECT_NEAR(wide.ty, 0.75f, 1e-5f);
    EXPECT_NEAR(wide.tx, 1.3333333f, 1e-5f);
    view_tangents square = tangents_for(1024, 1024, 90);
    EXPECT_NEAR(square.tx, 1.0f, 1e-5f);
    EXPECT_NEAR(square.ty, 1.0f, 1e-5f);
    // Up to 4:3 the field of view is horizontal.
    view_tangents classic = tangents_for(640, 480, 60);
    EXPECT_NEAR(classic.tx, std::tan(30 * k_pi / 180), 1e-5f);
    EXPECT_NEAR(classic.ty, classic.tx * 0.75f, 1e-5f);
}

TEST(Projection, RecordedRidersFadeWithinTheFadeDistance) {
    EXPECT_EQ(ghost_opacity(5, 10), 0.0f) << "within half the distance: gone";
    EXPECT_NEAR(ghost_opacity(7.5f, 10), 0.5f, 1e-6f);
    EXPECT_EQ(ghost_opacity(12, 10), 1.0f);
    EXPECT_EQ(ghost_opacity(0.5f, 0), 1.0f) << "no fade distance, no fading";
}
