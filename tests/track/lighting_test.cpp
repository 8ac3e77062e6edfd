// The "lighting" file: settings over the defaults, the planes kept in range, flares with their
// elements, and damaged files that keep what was read before the damage.
#include "common/message.h"
#include "track/track_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {
float length(const float* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
} // namespace

TEST(Lighting, AHandWrittenFileSetsTheSunFogPlanesAndSky) {
    ASSERT_TRUE(lighting_parse("sun_vector [ 0 3 4 ]\n"
                               "\tsun_color [ 1 0.9 0.8 ]  \n"
                               "\n"
                               "ambient [ 0.3 0.3 0.35 ]\n"
                               "global_ambient [ 0.1 0.1 0.1 ]\n"
                               "fog [ 0.7 0.8 0.9 ] 0.002\n"
                               "dynamic_lighting 1\n"
                               "near_plane 0.5\n"
                               "far_plane 3000\n"
                               "sky_u   @cloudy up.ppm  \r\n"));
    const track_lighting& l = lighting();
    EXPECT_FLOAT_EQ(l.sun_vector[1], 0.6f);
    EXPECT_FLOAT_EQ(l.sun_vector[2], 0.8f);
    EXPECT_FLOAT_EQ(l.sun_colour[2], 0.8f);
    EXPECT_FLOAT_EQ(l.ambient[2], 0.35f);
    EXPECT_FLOAT_EQ(l.global_ambient[0], 0.1f);
    EXPECT_FLOAT_EQ(l.fog_colour[1], 0.8f);
    EXPECT_FLOAT_EQ(l.fog_density, 0.002f);
    EXPECT_TRUE(l.dynamic_lighting);
    EXPECT_FLOAT_EQ(l.near_plane, 0.5f);
    EXPECT_FLOAT_EQ(l.far_plane, 3000);
    // The value runs past inner blanks and loses only the trailing ones.
    EXPECT_EQ(l.sky_names[sky_up], "@cloudy up.ppm");
    EXPECT_EQ(l.sky_names[sky_north], "@sky-n.ppm");
}

TEST(Lighting, EveryLoadStartsFromTheDefaultsButTheFogKeepsItsColour) {
    lighting_parse("fog [ 0.2 0.3 0.4 ] 0.01\nambient [ 0 0 0 ]\nflare_element [ 0 1 ] [ 1 1 1 ] "
                   "2 @flare.ppm\nflare_vector [ 1 1 1 ]\n");
    ASSERT_EQ(flare_count(), 1);
    lighting_parse("");
    const track_lighting& l = lighting();
    EXPECT_EQ(l.fog_density, 0);
    EXPECT_FLOAT_EQ(l.fog_colour[0], 0.2f);
    EXPECT_FLOAT_EQ(l.ambient[0], 0.5f);
    EXPECT_NEAR(length(l.sun_vector), 1, 1e-6);
    EXPECT_EQ(flare_count(), 0);
}

TEST(Lighting, ThePlanesAreKeptInARangeTheDepthBufferHolds) {
    lighting_parse("near_plane 0\n");
    EXPECT_FLOAT_EQ(lighting().near_plane, 1.0f / 1024);
    lighting_parse("near_plane 0.25\nfar_plane 0.1\n");
    EXPECT_FLOAT_EQ(lighting().far_plane, 0.25f);
    lighting_parse("near_plane 5\nfar_plane 1e9\n");
    EXPECT_FLOAT_EQ(lighting().near_plane, 0.875f);
    EXPECT_FLOAT_EQ(lighting().far_plane, 1048576);
}

TEST(Lighting, FlaresGatherUpToEightElementsEach) {
    std::string text;
    for (int k = 0; k < 9; k++)
        text += "flare_element [ 0.1 " + std::to_string(k) + " ] [ 1 0.5 0.25 ] 3 @flare.ppm\n";
    text += "flare_element [ 1 2 ] broken\n"
            "flare_point [ 10 20 30 ]\n"
            "flare_element [ 0 0 ] [ 1 1 1 ] 1 @glow.ppm\n"
            "flare_vector [ 0 1 0 ]\n";
    ASSERT_TRUE(lighting_parse(text));
    ASSERT_EQ(flare_count(), 2);
    const flare& sun = flare_at(0);
    EXPECT_EQ(sun.kind, flare_point);
    EXPECT_FLOAT_EQ(sun.where[2], 30);
    ASSERT_EQ(sun.element_count, k_flare_elements);
    // The ninth line was dropped, not the first.
    EXPECT_FLOAT_EQ(sun.elements[0].along, 0);
    EXPECT_FLOAT_EQ(sun.elements[7].along, 7);
    EXPECT_FLOAT_EQ(sun.elements[7].colour[2], 0.25f);
    EXPECT_FLOAT_EQ(sun.elements[7].size, 3);
    EXPECT_EQ(sun.elements[7].texture_name, "@flare.ppm");
    EXPECT_EQ(flare_at(1).kind, flare_vector);
    EXPECT_EQ(flare_at(1).element_count, 1);
    EXPECT_EQ(flare_at(1).elements[0].texture_name, "@glow.ppm");
}

TEST(Lighting, AnUnknownKeyIsNamedAndEndsTheReadingKeepingWhatCameBefore) {
    messages_clear();
    EXPECT_FALSE(lighting_parse("ambient [ 0.1 0.2 0.3 ]\nsunshine 4\nfar_plane 100\n"));
    EXPECT_EQ(message_recent(0), "Error reading lighting: Unknown identifier 'sunshine'");
    EXPECT_FLOAT_EQ(lighting().ambient[2], 0.3f);
    EXPECT_FLOAT_EQ(lighting().far_plane, 5000);
}

TEST(Lighting, DamagedValuesLeaveTheDefaults) {
    ASSERT_TRUE(lighting_parse("sun_vector [ 0 0 0 ]\nsun_color [ 1 x 1 ]\nfog [ 1 1 1 ]\n"
                               "near_plane nan\nfar_plane -4\ndynamic_lighting yes\n"
                               "flare_point [ 1 2 ]\nsky_n\n"));
    const track_lighting& l = lighting();
    EXPECT_NEAR(length(l.sun_vector), 1, 1e-6);
    EXPECT_FLOAT_EQ(l.sun_colour[1], 1);
    EXPECT_EQ(l.fog_density, 0);
    EXPECT_FALSE(l.dynamic_lighting);
    EXPECT_GE(l.near_plane, 1.0f / 1024);
    EXPECT_GE(l.far_plane, l.near_plane);
    EXPECT_EQ(flare_count(), 0);
}

namespace {
// A camera at the origin looking north (−z), with a square view of half-angle 45°.
constexpr float k_looking_north[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
constexpr uint8_t k_white[3] = {250, 245, 230};
} // namespace

TEST(Flares, OnlyAFlareInsideTheViewIsPlacedAndItLandsWhereItsDirectionPoints) {
    flare sun;
    sun.kind = flare_vector;
    const float eye[3] = {100, 5, -40};
    float screen[2], distance;
    sun.where[0] = 0.5f, sun.where[1] = 0.25f, sun.where[2] = -1;
    ASSERT_TRUE(flare_project(sun, eye, k_looking_north, 1, 1, screen, &distance));
    // A direction ignores where the eye stands.
    EXPECT_FLOAT_EQ(screen[0], 0.5f);
    EXPECT_FLOAT_EQ(screen[1], 0.25f);
    sun.where[2] = 1; // behind
    EXPECT_FALSE(flare_project(sun, eye, k_looking_north, 1, 1, screen, &distance));
    sun.where[0] = 1.5f, sun.where[2] = -1; // off to the right
    EXPECT_FALSE(flare_project(sun, eye, k_looking_north, 1, 1, screen, &distance));

    flare lamp;
    lamp.kind = flare_point;
    lamp.where[0] = 100, lamp.where[1] = 5 + 30, lamp.where[2] = -40 - 60;
    ASSERT_TRUE(flare_project(lamp, eye, k_looking_north, 1, 1, screen, &distance));
    EXPECT_FLOAT_EQ(screen[1], 0.5f);
    EXPECT_NEAR(distance, std::hypot(30.0f, 60.0f), 1e-3);
}

TEST(Flares, ABrightUncoveredPixelShowsTheFlareAndAnythingInFrontHidesIt) {
    const float middle[2] = {0, 0};
    EXPECT_FLOAT_EQ(flare_visibility(flare_vector, 0, middle, 1, 0.75f, k_white, 1), 1);
    // A cloud or a hill over the sun darkens the pixel.
    const uint8_t cloud[3] = {230, 230, 200};
    EXPECT_EQ(flare_visibility(flare_vector, 0, middle, 1, 0.75f, cloud, 1), 0);
    // Something bright but near, such as a white banner, stands in front of a sun at infinity.
    EXPECT_EQ(flare_visibility(flare_vector, 0, middle, 1, 0.75f, k_white, 0.3f), 0);
    // A lamp 2000 ft away is hidden by a depth short of its own, seen at one beyond it.
    const float lamp_fraction = (2000 - 0.25f) * 0.00020001f;
    EXPECT_EQ(flare_visibility(flare_point, 2000, middle, 1, 0.75f, k_white, lamp_fraction - 0.01f),
              0);
    EXPECT_EQ(flare_visibility(flare_point, 2000, middle, 1, 0.75f, k_white, lamp_fraction + 0.01f),
              1);
}

TEST(Flares, VisibilityFadesToNothingAtTheEdgeOfTheView) {
    const float tx = 1, ty = 0.75f, margin = 0.75f / 32;
    float previous = 1;
    for (float x = 1 - 2 * margin; x <= 1; x += margin / 8) {
        const float at[2] = {x, 0};
        float v = flare_visibility(flare_vector, 0, at, tx, ty, k_white, 1);
        EXPECT_LE(v, previous + 1e-6f) << x;
        EXPECT_GE(v, 0);
        previous = v;
    }
    const float edge[2] = {0.2f, ty};
    EXPECT_EQ(flare_visibility(flare_vector, 0, edge, tx, ty, k_white, 1), 0);
    const float half_way[2] = {0.2f, ty - margin / 2};
    EXPECT_NEAR(flare_visibility(flare_vector, 0, half_way, tx, ty, k_white, 1), 0.5f, 1e-3);
    const float inside[2] = {tx - 2 * margin, ty - 2 * margin};
    EXPECT_FLOAT_EQ(flare_visibility(flare_vector, 0, inside, tx, ty, k_white, 1), 1);
}
