// Every catalogue bike dressed from the generated data set, loaded by name through the caches.
#include "bike/draw/bike_resources.h"
#include "bike/bike_data.h"
#include "bike/bike_data.h"

#include "common/message.h"
#include "core/shape_check.h"
#include "files/data_file.h"
#include "files/files.h"
#include "resources/resources.h"

#include "support/data_set_home.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

namespace {
// The generator's output folder as the data folder, behind an empty home folder.
class data_set : public ::testing::Test {
  protected:
    std::filesystem::path home;
    void SetUp() override {
        home = data_set_home_open("tb_bike_data_set_");
        shape_cache_free();
        messages_clear();
    }
    void TearDown() override {
        model_purge(true);
        texture_purge(true);
        texture_choice_lists_free();
        shape_cache_free();
        data_set_home_close(home);
    }
};
} // namespace

TEST_F(data_set, every_bike_loads_its_own_models_and_graphics) {
    for (int i = 0; i < k_bike_count; i++) {
        const bike_info& b = bike_info_at(i);
        SCOPED_TRACE(b.name);
        bike_resources r = bike_resources_load(b, "", "", "", "", "7", k_bike_loader_caches);
        for (int slot = 0; slot < model_slot_count; slot++) EXPECT_GT(r.models[slot], 0) << slot;
        EXPECT_EQ(r.texture_names[texture_bike], b.bike_texture);
        EXPECT_GT(r.textures[texture_bike], 0);
        EXPECT_STREQ(model_name(r.models[model_frame]), b.frame_model);
        // Every bike's graphics name its plate colours; the white-plated makers print black digits.
        bool white_plate = r.plate_background[0] == 255 && r.plate_background[1] == 255 &&
                           r.plate_background[2] == 255;
        if (white_plate) {
            EXPECT_EQ(r.plate_foreground[0], 0);
        } else {
            EXPECT_GT(r.plate_foreground[0] + r.plate_background[1] + r.plate_background[2], 0);
        }
    }
    // Nothing was missing, so nothing was reported.
    EXPECT_EQ(messages_visible(), 0);
}

TEST_F(data_set, plate_colours_come_from_the_graphics) {
    const bike_info& b = bike_info_at(bike_info_find("yz250f(2017)"));
    bike_resources r = bike_resources_load(b, "", "", "", "", "12", k_bike_loader_caches);
    // Blue plates with white digits.
    EXPECT_LT(r.plate_background[0], 60);
    EXPECT_GT(r.plate_background[2], 150);
    EXPECT_EQ(r.plate_foreground[0], 255);
    EXPECT_GT(r.number_texture, 0);
}

TEST_F(data_set, the_rider_model_is_skinned_to_nine_bones) {
    const bike_info& b = bike_info_at(0);
    for (const char* name : {b.rider_body_model, b.rider_body_first_person_model}) {
        int id = model_load(name);
        ASSERT_GT(id, 0) << name;
        const model_mesh* mesh = model_get(id);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->file_bone_count, 9);
        ASSERT_FALSE(mesh->parts.empty());
        EXPECT_EQ(mesh->parts[0].bone_count, 9);
        // Each bone carries part of the body: no vertex is left unweighted.
        const model_part& part = mesh->parts[0];
        for (int v = 0; v < part.vertex_count; v++) {
            float total = 0;
            for (int k = 0; k < 4; k++) total += part.bone_weights[4 * static_cast<size_t>(v) + k];
            EXPECT_NEAR(total, 1.0f, 1e-5f);
        }
    }
}

TEST_F(data_set, graphics_choices_dress_the_bike_without_variant_models) {
    const bike_info& b = bike_info_at(bike_info_find("kx450f(2018)"));
    std::string base = bike_file_base(b);
    texture_choices_set_bike(base.c_str());
    const std::vector<texture_choice>& choices = texture_choices(choice_bike);
    ASSERT_EQ(choices.size(), 2u);
    for (const texture_choice& c : choices) {
        bike_resources r =
            bike_resources_load(b, c.name.c_str(), "@wheels-gold.png", "@rider_body-lime.png",
                                "@rider_head-red.png", "1", k_bike_loader_caches);
        EXPECT_EQ(r.texture_names[texture_bike], c.name);
        EXPECT_EQ(r.texture_names[texture_wheel], "@wheels-gold.png");
        EXPECT_EQ(r.texture_names[texture_rider], "@rider_body-lime.png");
        EXPECT_EQ(r.texture_names[texture_head], "@rider_head-red.png");
        EXPECT_STREQ(model_name(r.models[model_frame]), b.frame_model);
    }
    EXPECT_EQ(messages_visible(), 0);
    texture_choice_lists_build();
    EXPECT_GE(texture_choices(choice_rider_body).size(), 3u);
    EXPECT_GE(texture_choices(choice_rider_head).size(), 3u);
    EXPECT_GE(texture_choices(choice_wheels).size(), 2u);
}

TEST_F(data_set, the_fixed_shapes_load_and_pass_the_check) {
    const bike_info& b = bike_info_at(0);
    for (const char* name :
         {b.frame_shape, b.fork_upper_shape, b.fork_lower_shape, b.swingarm_shape,
          b.front_wheel_shape, b.rear_wheel_shape, b.rider_shape})
        EXPECT_NE(shape_load(name), nullptr) << name;
    EXPECT_TRUE(fixed_shape_check());
}

TEST_F(data_set, setup_lines_written_and_read_through_a_data_file) {
    setup_reset();
    apply_setup_line("bike", "kx250f");
    apply_setup_line("roll_damping", "12");
    data_file* out = data_file_open("@test_setup.txt", "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(write_setup_lines(out));
    EXPECT_TRUE(data_file_close(out));
    std::string expected = setup_values_lines(setup());
    setup_reset();
    data_file* in = data_file_open("@test_setup.txt", "rb");
    ASSERT_NE(in, nullptr);
    char line[1024];
    int count = 0;
    while (data_file_read_line(in, line, sizeof line)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        size_t eq = text.find('=');
        ASSERT_NE(eq, std::string::npos);
        EXPECT_TRUE(apply_setup_line(text.substr(0, eq).c_str(), text.substr(eq + 1).c_str()));
        count++;
    }
    data_file_close(in);
    EXPECT_EQ(count, 57);
    EXPECT_EQ(setup_values_lines(setup()), expected);
    EXPECT_EQ(setup().number[key_roll_damping], 12);
    setup_reset();
}

#include "bike/sim/bike_local.h"
#include "bike/sim/bike_state.h"

TEST_F(data_set, every_catalogue_bike_creates_with_its_models_graphics_and_shapes) {
    world_create();
    bike_set_resource_loader(&k_bike_loader_caches);
    for (int i = 0; i < k_bike_count; i++) {
        const bike_info& info = bike_info_at(i);
        SCOPED_TRACE(info.name);
        int bike = bike_create(info.name, 0, "12", "", "", "", "");
        ASSERT_GE(bike, 0);
        const bike_state& b = bike_at(bike);
        EXPECT_EQ(b.catalogue_index, i);
        for (int slot = 0; slot < model_slot_count; slot++)
            EXPECT_GT(b.resources.models[slot], 0) << slot;
        EXPECT_GT(b.resources.textures[texture_bike], 0);
        for (const shape& s : b.shapes) {
            EXPECT_FALSE(s.spheres.empty());
            EXPECT_GT(s.bounding_radius, 0.0f);
        }
        // Seven bodies where the record puts them, six joints, the steering axis along the fork.
        const vec3 expected[k_bike_body_count] = {
            info.frame_position,         info.front_wheel_position, info.rear_wheel_position,
            info.steering_head_position, info.fork_lower_position,  info.swingarm_position,
            info.rider_position};
        for (int k = 0; k < k_bike_body_count; k++) {
            const dReal* p = dBodyGetPosition(b.bodies[k]);
            EXPECT_NEAR(p[0], expected[k].x, 1e-5) << "body " << k;
            EXPECT_NEAR(p[1], expected[k].y, 1e-5) << "body " << k;
            EXPECT_NEAR(p[2], expected[k].z, 1e-5) << "body " << k;
        }
        for (int k = 0; k < k_bike_joint_count; k++) EXPECT_NE(b.joints[k], nullptr);
        dVector3 axis;
        dJointGetHingeAxis(b.joints[joint_steering], axis);
        double ax = info.steering_head_position.x - info.fork_lower_position.x;
        double ay = info.steering_head_position.y - info.fork_lower_position.y;
        double az = info.steering_head_position.z - info.fork_lower_position.z;
        double length = std::sqrt(ax * ax + ay * ay + az * az);
        EXPECT_NEAR(axis[1], ay / length, 1e-6);
        EXPECT_NEAR(axis[2], az / length, 1e-6);
        double mass = info.frame_mass + info.rider_mass + info.front_hub_mass +
                      info.front_rim_mass + info.rear_hub_mass + info.rear_rim_mass +
                      2 * info.fork_mass + 2 * info.swingarm_mass;
        EXPECT_NEAR(b.total_mass, mass, 1e-3);
        bike_destroy(bike);
    }
    bike_set_resource_loader(&k_bike_loader_null);
    world_destroy();
    EXPECT_EQ(messages_visible(), 0) << "nothing the catalogue names is missing";
}
