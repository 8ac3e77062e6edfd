// Collision shape files: round trips, malformed files, the cache, and the generator's seven shapes.
#include "bike/bike_data.h"

#include "core/shape_check.h"
#include "files/files.h"
#include "forge_shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool parse(const std::string& text, shape* out) {
    return shape_parse(text.data(), text.size(), out);
}

// A data folder of its own, with an empty home folder in front, for loading files by name.
struct data_folder {
    std::string root;
    std::string home;
    std::string data;
    data_folder() {
        char pattern[] = "/tmp/bike_shape_XXXXXX";
        root = mkdtemp(pattern);
        home = root + "/home";
        data = root + "/data/";
        mkdir(home.c_str(), 0755);
        mkdir(data.c_str(), 0755);
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("QV_HOME", data.c_str(), 1);
        folders_free();
        shape_cache_free();
    }
    ~data_folder() {
        folders_free();
        shape_cache_free();
        std::filesystem::remove_all(root);
    }
    void write(const char* name, const std::string& bytes) const {
        FILE* f = fopen((data + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    void write_generated() const {
        for (const forge_shape_file& file : forge_shape_files()) write(file.name, file.bytes);
    }
};

} // namespace

TEST(shape, parses_whitespace_tolerant_text) {
    shape s;
    ASSERT_TRUE(parse("2\n1 2 3 0.5 0.8 1000 50\n  -1\t0 0 0.25 0.4 2000 75", &s));
    ASSERT_EQ(s.spheres.size(), 2u);
    EXPECT_FLOAT_EQ(s.spheres[0].centre.z, 3);
    EXPECT_FLOAT_EQ(s.spheres[1].stiffness, 2000);
    EXPECT_FLOAT_EQ(s.spheres[1].damping, 75);
    // The farthest reach is |(1, 2, 3)| + 0.5.
    EXPECT_FLOAT_EQ(s.bounding_radius, std::sqrt(14.0f) + 0.5f);
}

TEST(shape, format_round_trip) {
    shape s;
    ASSERT_TRUE(
        parse("3\n0 1 -2 0.5 0.8 5000 100\n0.125 -0.25 0.375 0.3 1 8000 150\n0 0 0 0 0 0 0\n", &s));
    shape again;
    ASSERT_TRUE(parse(shape_format(s), &again));
    ASSERT_EQ(again.spheres.size(), s.spheres.size());
    for (size_t i = 0; i < s.spheres.size(); i++) {
        EXPECT_FLOAT_EQ(again.spheres[i].centre.x, s.spheres[i].centre.x);
        EXPECT_FLOAT_EQ(again.spheres[i].centre.y, s.spheres[i].centre.y);
        EXPECT_FLOAT_EQ(again.spheres[i].radius, s.spheres[i].radius);
        EXPECT_FLOAT_EQ(again.spheres[i].friction, s.spheres[i].friction);
    }
    EXPECT_EQ(shape_format(again), shape_format(s));
}

TEST(shape, an_empty_shape_is_valid) {
    shape s;
    EXPECT_TRUE(parse("0\n", &s));
    EXPECT_TRUE(s.spheres.empty());
    EXPECT_EQ(s.bounding_radius, 0);
}

TEST(shape, malformed_files_give_no_shape) {
    const char* bad[] = {
        "",                     // nothing
        "abc\n",                // no count
        "-1\n",                 // negative count
        "2\n0 0 0 1 1 1 1\n",   // fewer spheres than counted
        "1\n0 0 0 1 1 1\n",     // a number short
        "1\n0 0 x 1 1 1 1\n",   // not a number
        "1\n0 0 0 nan 1 1 1\n", // not finite
        "1\n0 0 inf 1 1 1 1\n",
        "1\n0 0 0 -1 1 1 1\n",         // negative radius
        "2147483647\n0 0 0 1 1 1 1\n", // an absurd count must not be trusted
        "99999999999999999999\n",      // a count that does not fit
        "1.5\n0 0 0 1 1 1 1\n",        // a count that is not whole
    };
    for (const char* text : bad) {
        shape s;
        s.spheres.resize(3);
        EXPECT_FALSE(parse(text, &s)) << text;
        EXPECT_TRUE(s.spheres.empty()) << text;
    }
}

TEST(shape, parsing_stops_at_the_given_length) {
    // The text is not NUL-terminated after the counted bytes: the parser must not read on.
    std::string text = "1\n0 0 0 1 1 1 1";
    shape s;
    EXPECT_FALSE(shape_parse(text.data(), text.size() - 2, &s)); // the damping is cut off
    EXPECT_TRUE(shape_parse(text.data(), text.size(), &s));
}

TEST(shape, cached_by_name_and_copied_per_body) {
    data_folder folder;
    folder.write("test.shp", "1\n0 1 0 0.5 0.7 1000 10\n");
    folder.write("broken.shp", "3\n0 1 0 0.5 0.7 1000 10\n");
    const shape* first = shape_load("@test.shp");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(shape_load("@test.shp"), first);
    shape copy = shape_copy("@test.shp");
    ASSERT_EQ(copy.spheres.size(), 1u);
    copy.spheres[0].radius = 9;
    EXPECT_FLOAT_EQ(shape_load("@test.shp")->spheres[0].radius, 0.5f);
    // Missing and malformed files leave a body without spheres.
    EXPECT_EQ(shape_load("@missing.shp"), nullptr);
    EXPECT_EQ(shape_load("@broken.shp"), nullptr);
    EXPECT_TRUE(shape_copy("@broken.shp").spheres.empty());
    EXPECT_EQ(shape_load(""), nullptr);
}

TEST(generated_shapes, the_fixed_shape_check_accepts_them) {
    data_folder folder;
    folder.write_generated();
    EXPECT_TRUE(fixed_shape_check()) << fixed_shape_digest();
    // Any change to one of them is a different data set.
    folder.write("generic_rider.shp", "0\n");
    EXPECT_FALSE(fixed_shape_check());
}

TEST(generated_shapes, load_and_fit_the_bike) {
    data_folder folder;
    folder.write_generated();
    const bike_info& b = bike_info_at(bike_default_index());
    const char* names[] = {b.frame_shape,    b.fork_upper_shape,  b.fork_lower_shape,
                           b.swingarm_shape, b.front_wheel_shape, b.rear_wheel_shape,
                           b.rider_shape};
    const vec3 positions[] = {b.frame_position,    b.steering_head_position, b.fork_lower_position,
                              b.swingarm_position, b.front_wheel_position,   b.rear_wheel_position,
                              b.rider_position};
    for (int i = 0; i < 7; i++) {
        const shape* s = shape_load(names[i]);
        ASSERT_NE(s, nullptr) << names[i];
        EXPECT_GE(s->spheres.size(), 4u) << names[i];
        for (const shape_sphere& p : s->spheres) {
            // Nothing of a standing bike reaches into the ground except the tyres, which touch it.
            EXPECT_GT(positions[i].y + p.centre.y - p.radius, i == 4 || i == 5 ? -0.1f : 0.0f)
                << names[i];
            EXPECT_GT(p.radius, 0.05f);
            EXPECT_GT(p.friction, 0.1f);
            EXPECT_GT(p.stiffness, 0);
            EXPECT_GT(p.damping, 0);
        }
    }
    // The wheels' rings of spheres reach exactly the rolling radius.
    EXPECT_NEAR(shape_load(b.front_wheel_shape)->bounding_radius,
                b.front_rim_radius + b.front_tyre_radius, 1e-4f);
    EXPECT_NEAR(shape_load(b.rear_wheel_shape)->bounding_radius,
                b.rear_rim_radius + b.rear_tyre_radius, 1e-4f);
    // The frame spans from the steering head to behind the rear axle, and is symmetric but for the
    // silencer on the right.
    const shape* frame = shape_load(b.frame_shape);
    float front = 0, back = 0;
    for (const shape_sphere& p : frame->spheres) {
        front = std::min(front, b.frame_position.z + p.centre.z);
        back = std::max(back, b.frame_position.z + p.centre.z);
    }
    EXPECT_LT(front, b.steering_head_position.z + 0.1f);
    EXPECT_GT(back, b.rear_wheel_position.z);
    // The rider's boots sit on the pegs and the helmet is the highest point of bike and rider.
    const shape* rider = shape_load(b.rider_shape);
    float top = -100, bottom = 100;
    for (const shape_sphere& p : rider->spheres) {
        top = std::max(top, b.rider_position.y + p.centre.y + p.radius);
        bottom = std::min(bottom, b.rider_position.y + p.centre.y - p.radius);
    }
    float peg_y = b.frame_position.y + b.rider_skeleton[skeleton_right_foot_rest + 1];
    EXPECT_NEAR(bottom, peg_y - 0.2f, 0.3f);
    EXPECT_GT(top, 5.5f); // a standing bike and seated rider are about 6 ft tall
    EXPECT_LT(top, 6.5f);
    EXPECT_LT(length(rider->spheres[0].centre), rider->bounding_radius);
}
