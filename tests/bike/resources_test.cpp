// A bike's models and textures: texture variants, fallbacks, companions and the number plate.
#include "bike/draw/bike_resources.h"

#include "common/message.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {
// A pretend data set: the names that exist, handed out as handles in the order asked for.
struct fake_files {
    std::map<std::string, int> present;
    std::map<int, std::string> info;
    std::vector<std::string> asked;
    int number_calls = 0;
    int background[3] = {};
    int foreground[3] = {};
};
fake_files g_fake;

int fake_load(const char* name) {
    g_fake.asked.push_back(name);
    auto found = g_fake.present.find(name);
    return found == g_fake.present.end() ? 0 : found->second;
}
std::string fake_info(int id) { return g_fake.info.count(id) ? g_fake.info[id] : ""; }
int fake_number(const char*, const int bg[3], const int fg[3]) {
    g_fake.number_calls++;
    for (int i = 0; i < 3; i++) {
        g_fake.background[i] = bg[i];
        g_fake.foreground[i] = fg[i];
    }
    return 999;
}
const bike_resource_loader k_fake = {fake_load, fake_load, fake_info, fake_number};

void files(std::initializer_list<const char*> names) {
    g_fake = fake_files{};
    int id = 1;
    for (const char* n : names) g_fake.present[n] = id++;
}
int id_of(const char* name) { return g_fake.present.count(name) ? g_fake.present[name] : -1; }

// Everything the default files of a bike provide.
std::vector<const char*> defaults_of(const bike_info& b) {
    return {b.frame_model,
            b.side_plates_model,
            b.fork_upper_model,
            b.front_plate_model,
            b.fork_lower_model,
            b.swingarm_model,
            b.front_wheel_model,
            b.rear_wheel_model,
            b.rider_plate_model,
            b.rider_body_model,
            b.rider_body_first_person_model,
            b.rider_head_model,
            b.bike_texture,
            b.wheel_texture,
            b.rider_body_texture,
            b.rider_head_texture};
}

std::string variant(const char* model, const char* texture) {
    std::string out;
    return model_variant_name(model, texture, &out) ? out : "<none>";
}
} // namespace

TEST(bike_resources, variant_names) {
    EXPECT_EQ(variant("@cr125_frame.jm", "bikes/cr125-blue-1.png"), "@cr125_frame-blue.jm");
    EXPECT_EQ(variant("@cr125_frame-red.jm", "bikes/cr125-blue-1.png"), "@cr125_frame-blue.jm");
    EXPECT_EQ(variant("@cr125_frame.jm", "@cr125-blue-1.png"), "@cr125_frame-blue.jm");
    // Dashes before the texture's last '/' do not count.
    EXPECT_EQ(variant("@cr125_frame.jm", "my-bikes/cr125-blue.png"), "<none>");
    EXPECT_EQ(variant("@cr125_frame.jm", "cr125.png"), "<none>");
    EXPECT_EQ(variant("@cr125_frame.jm", ""), "<none>");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(variant("models.v2/frame", "a-b-c.png"), "models.v2/frame-b.jm");
    std::string folder;
    EXPECT_TRUE(model_in_texture_folder("@cr125_frame-blue.jm", "bikes/cr125-blue-1.png", &folder));
    EXPECT_EQ(folder, "bikes/cr125_frame-blue.jm");
    EXPECT_FALSE(model_in_texture_folder("@cr125_frame-blue.jm", "cr125-blue-1.png", &folder));
}

TEST(bike_resources, model_for_tries_the_variant_then_the_texture_folder) {
    messages_clear();
    files({"bikes/cr125_frame-blue.jm"});
    EXPECT_EQ(model_for("@cr125_frame.jm", "bikes/cr125-blue-1.png", true, k_fake), 1);
    ASSERT_EQ(g_fake.asked.size(), 2u);
    EXPECT_EQ(g_fake.asked[0], "@cr125_frame-blue.jm");
    EXPECT_EQ(messages_visible(), 0);

    files({});
    EXPECT_EQ(model_for("@cr125_frame.jm", "bikes/cr125-blue-1.png", true, k_fake), 0);
    EXPECT_EQ(message_recent(0),
              "Warning: Can't load @cr125_frame-blue.jm or bikes/cr125_frame-blue.jm");
    EXPECT_EQ(model_for("@cr125_frame.jm", "@cr125-blue-1.png", true, k_fake), 0);
    EXPECT_EQ(message_recent(0), "Warning: Can't load @cr125_frame-blue.jm");
    EXPECT_EQ(model_for("@cr125_frame.jm", "@cr125.png", true, k_fake), 0);
    EXPECT_EQ(message_recent(0), "Warning: Can't load @cr125_frame.jm");
    int shown = messages_visible();
    EXPECT_EQ(model_for("@rider_plate.jm", "", false, k_fake), 0);
    EXPECT_EQ(messages_visible(), shown);
}

TEST(bike_resources, the_default_files_make_a_whole_bike) {
    const bike_info& b = bike_info_at(bike_info_find("cr125"));
    files({});
    for (const char* name : defaults_of(b))
        g_fake.present[name] = static_cast<int>(g_fake.present.size()) + 1;
    g_fake.present["@cr125_norm.png"] = 500;
    g_fake.present["@wheels_spec.seq"] = 501;
    bike_resources r = bike_resources_load(b, "", nullptr, "", "", "12", k_fake);
    for (int i = 0; i < model_slot_count; i++) EXPECT_GT(r.models[i], 0) << i;
    EXPECT_EQ(r.models[model_frame], id_of(b.frame_model));
    EXPECT_EQ(r.texture_names[texture_bike], b.bike_texture);
    EXPECT_EQ(r.normal_maps[texture_bike], 500);
    EXPECT_EQ(r.specular_maps[texture_wheel], 501);
    EXPECT_EQ(r.normal_maps[texture_head], 0);
    EXPECT_STREQ(r.number, "12");
    EXPECT_EQ(r.number_texture, 999);
}

TEST(bike_resources, a_variant_without_its_frame_model_falls_back_to_the_defaults) {
    const bike_info& b = bike_info_at(bike_info_find("cr125"));
    files({});
    for (const char* name : defaults_of(b))
        g_fake.present[name] = static_cast<int>(g_fake.present.size()) + 1;
    g_fake.present["@cr125-blue-1.png"] = 100;
    g_fake.present["@cr125_swingarm-blue.jm"] =
        101; // some variant models exist, the frame does not
    messages_clear();
    bike_resources r = bike_resources_load(b, "@cr125-blue-1.png", "", "", "", "1", k_fake);
    EXPECT_EQ(r.texture_names[texture_bike], b.bike_texture);
    EXPECT_EQ(r.textures[texture_bike], id_of(b.bike_texture));
    EXPECT_EQ(r.models[model_frame], id_of(b.frame_model));
    EXPECT_EQ(r.models[model_swingarm],
              id_of(b.swingarm_model)); // all six again, from the defaults
}

TEST(bike_resources, a_complete_variant_is_used) {
    const bike_info& b = bike_info_at(bike_info_find("cr125"));
    files({});
    for (const char* name : defaults_of(b))
        g_fake.present[name] = static_cast<int>(g_fake.present.size()) + 1;
    for (const char* name :
         {"@cr125-blue-1.png", "@cr125_frame-blue.jm", "@cr125_side_plates-blue.jm",
          "@cr125_fork_upper-blue.jm", "@cr125_front_plate-blue.jm", "@cr125_fork_lower-blue.jm",
          "@cr125_swingarm-blue.jm", "@cr125-blue_norm.png"})
        g_fake.present[name] = 200 + static_cast<int>(g_fake.present.size());
    bike_resources r = bike_resources_load(b, "@cr125-blue-1.png", "", "", "", "1", k_fake);
    EXPECT_EQ(r.texture_names[texture_bike], "@cr125-blue-1.png");
    EXPECT_EQ(r.models[model_frame], id_of("@cr125_frame-blue.jm"));
    EXPECT_EQ(r.models[model_front_plate], id_of("@cr125_front_plate-blue.jm"));
    // The variant-derived companion serves when the texture has none of its own.
    EXPECT_EQ(r.normal_maps[texture_bike], id_of("@cr125-blue_norm.png"));
}

TEST(bike_resources, a_missing_wheel_texture_falls_back) {
    const bike_info& b = bike_info_at(0);
    files({});
    for (const char* name : defaults_of(b))
        g_fake.present[name] = static_cast<int>(g_fake.present.size()) + 1;
    bike_resources r = bike_resources_load(b, "", "@wheels-chrome.png", "", "", "7", k_fake);
    EXPECT_EQ(r.texture_names[texture_wheel], b.wheel_texture);
    EXPECT_EQ(r.models[model_front_wheel], id_of(b.front_wheel_model));
}

TEST(bike_resources, companion_names_in_order) {
    std::vector<std::string> names =
        texture_companion_names("bikes/cr125-blue-1.png", "@cr125.png", "_norm");
    std::vector<std::string> expected = {"bikes/cr125-blue-1_norm.seq",
                                         "bikes/cr125-blue-1_norm.png",
                                         "bikes/cr125-blue-1_norm.ppm",
                                         "bikes/cr125-blue_norm.seq",
                                         "bikes/cr125-blue_norm.png",
                                         "bikes/cr125-blue_norm.ppm",
                                         "@cr125_norm.seq",
                                         "@cr125_norm.png",
                                         "@cr125_norm.ppm"};
    EXPECT_EQ(names, expected);
    // The default itself is not tried twice.
    EXPECT_EQ(texture_companion_names("@cr125.png", "@cr125.png", "_spec").size(), 3u);
}

TEST(bike_resources, plate_colours) {
    int bg[3], fg[3];
    plate_colours_from_info("", bg, fg);
    EXPECT_EQ(bg[0], 255);
    EXPECT_EQ(bg[2], 255);
    EXPECT_EQ(fg[1], 0);
    plate_colours_from_info(
        "[compress]\n[numberbackground:1.5,-0.2,0.5]\n[numberforeground: 1,1,0]", bg, fg);
    EXPECT_EQ(bg[0], 255);
    EXPECT_EQ(bg[1], 0);
    EXPECT_EQ(bg[2], 128);
    EXPECT_EQ(fg[0], 255);
    EXPECT_EQ(fg[1], 255);
    EXPECT_EQ(fg[2], 0);
    // Fewer than three numbers, or no numbers: the default stays.
    plate_colours_from_info("[numberbackground:0.5,0.5]", bg, fg);
    EXPECT_EQ(bg[0], 255);
    plate_colours_from_info("[numberforeground:nan,0,0]", bg, fg);
    EXPECT_EQ(fg[0], 0);
    // The colours reach the number texture.
    const bike_info& b = bike_info_at(0);
    files({});
    for (const char* name : defaults_of(b))
        g_fake.present[name] = static_cast<int>(g_fake.present.size()) + 1;
    g_fake.info[id_of(b.bike_texture)] = "[numberbackground:0,0,1]";
    bike_resources r = bike_resources_load(b, "", "", "", "", "123456789", k_fake);
    EXPECT_STREQ(r.number, "1234567");
    EXPECT_EQ(g_fake.background[2], 255);
    EXPECT_EQ(g_fake.background[0], 0);
    EXPECT_EQ(g_fake.foreground[0], 0);
}

TEST(bike_resources, number_text) {
    char out[8];
    bike_number_text("123456789", out);
    EXPECT_STREQ(out, "1234567");
    bike_number_text("", out);
    EXPECT_STREQ(out, "");
    bike_number_text(nullptr, out);
    EXPECT_STREQ(out, "");
}
