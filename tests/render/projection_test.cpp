// The projection's tangents.
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
