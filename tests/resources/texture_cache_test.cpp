// The texture cache on files the test writes: every format by name, names and case, links,
// ".info" files, generations and purging, animations, and the PNG writers.
#include "resources_fixture.h"

#include "resources/anim.h"

TEST_F(ResourcesTest, EveryStillFormatLoadsByName) {
    image rgb = noisy_picture(8, 4, 3, 1), rgba = noisy_picture(8, 8, 4, 2);
    write(data / "a.png", png_of(rgba));
    write(data / "b.j6", image_encode_j(rgb));
    write(data / "c.j7", image_encode_j(rgba));
    write(data / "d.ppm", image_encode_ppm(rgb));
    image grey = noisy_picture(5, 3, 1, 3);
    write(data / "e.pgm", image_encode_ppm(grey));
    for (const char* name : {"@a.png", "@b.j6", "@c.j7", "@d.ppm"})
        EXPECT_NE(texture_load(name), 0u) << name;
    image back;
    ASSERT_TRUE(image_load("@a.png", &back));
    EXPECT_EQ(back.pixels, rgba.pixels);
    ASSERT_TRUE(image_load("@b.j6", &back));
    EXPECT_EQ(back.pixels, rgb.pixels);
    ASSERT_TRUE(image_load("@c.j7", &back));
    EXPECT_EQ(back.pixels, rgba.pixels);
    ASSERT_TRUE(image_read_ppm("@d.ppm", &back));
    EXPECT_EQ(back.pixels, rgb.pixels);
    ASSERT_TRUE(image_read_pgm("@e.pgm", &back));
    EXPECT_EQ(back.pixels, grey.pixels);
    EXPECT_EQ(texture_load("@missing.png"), 0u);
    write(data / "broken.png", "not a picture at all");
    EXPECT_EQ(texture_load("@broken.png"), 0u);
    EXPECT_FALSE(image_load("@broken.png", &back));
}

TEST_F(ResourcesTest, SameNameSameIdAndCaseMismatchWarns) {
    write(data / "rock.png", png_of(noisy_picture(4, 4, 3)));
    uint32_t id = texture_load("@rock.png");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(texture_load("@rock.png"), id);
    EXPECT_EQ(texture_load("!@rock.png"), id) << "full detail names the same texture";
    EXPECT_FALSE(shown("Warning: case mismatch on '@ROCK.png'"));
    EXPECT_EQ(texture_load("@ROCK.png"), id);
    EXPECT_TRUE(shown("Warning: case mismatch on '@ROCK.png'"));
    EXPECT_EQ(texture_count(), 1);
    EXPECT_STREQ(texture_name(id), "@rock.png");
}

TEST_F(ResourcesTest, NonPowerOfTwoWarnsAndFlatPictureIsReduced) {
    write(data / "odd.png", png_of(noisy_picture(100, 60, 3)));
    EXPECT_NE(texture_load("@odd.png"), 0u);
    EXPECT_TRUE(shown("Warning: Non power of 2 texture '@odd.png'"));
    image flat;
    image_allocate(&flat, 256, 256, 3);
    write(data / "flat.png", png_of(flat));
    const int64_t before = texture_memory();
    EXPECT_NE(texture_load("@flat.png"), 0u);
    EXPECT_TRUE(shown("@flat.png reduced to 16x16 (originally 256x256)"));
    // 16 x 16 and its chain down to 1 x 1, three bytes a pixel.
    EXPECT_EQ(texture_memory() - before, (256 + 64 + 16 + 4 + 1) * 3);
}

TEST_F(ResourcesTest, GenerationsKeepWhatTheNewTrackUses) {
    for (const char* name : {"hud.png", "a.png", "b.png", "c.png"})
        write(data / name, png_of(noisy_picture(8, 8, 3)));
    const int64_t size = (64 + 16 + 4 + 1) * 3; // bytes of an 8 x 8 RGB texture with its chain
    uint32_t hud = texture_load("!@hud.png");   // loaded at start-up: permanent
    resources_generation_advance();             // the first track
    uint32_t a = texture_load("@a.png"), b = texture_load("@b.png");
    EXPECT_EQ(texture_memory(), 2 * size);
    resources_generation_advance(); // the next track uses a and c
    EXPECT_EQ(texture_memory(), 0);
    EXPECT_EQ(texture_load("@a.png"), a);
    uint32_t c = texture_load("@c.png");
    EXPECT_EQ(texture_memory(), 2 * size) << "a reused texture counts again";
    set_debug_level(1);
    resources_purge_unused();
    EXPECT_EQ(texture_count(), 3);
    EXPECT_STREQ(texture_name(b), "");
    EXPECT_STREQ(texture_name(a), "@a.png");
    EXPECT_STREQ(texture_name(c), "@c.png");
    EXPECT_STREQ(texture_name(hud), "@hud.png");
    EXPECT_NE(log_text().find("deleting tid " + std::to_string(b) + " (@b.png)"),
              std::string::npos);
    textures_free();
    EXPECT_EQ(texture_count(), 0);
    EXPECT_EQ(texture_generation(), 0);
}

TEST_F(ResourcesTest, LinksChainToTheirTarget) {
    write(data / "real.png", png_of(noisy_picture(4, 4, 3)));
    write(data / "first.png", "LINK @second.png\n");
    write(data / "second.png", "LINK   @real.png  \r\n");
    uint32_t id = texture_load("@first.png");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(texture_load("@real.png"), id);
    EXPECT_EQ(texture_load("@first.png"), id) << "the recorded link goes straight to the target";
    EXPECT_EQ(texture_count(), 1);
    image im;
    EXPECT_TRUE(image_load("@first.png", &im));
    std::string target;
    ASSERT_TRUE(link_resolve("@first.png", &target));
    EXPECT_EQ(target, "@real.png");
}

TEST_F(ResourcesTest, LinkLoopsAndBrokenLinksLoadNothing) {
    write(data / "loop_a.png", "LINK @loop_b.png");
    write(data / "loop_b.png", "LINK @loop_a.png");
    write(data / "self.png", "LINK @self.png");
    write(data / "empty.png", "LINK \n");
    write(data / "dangling.png", "LINK @nowhere.png");
    EXPECT_EQ(texture_load("@loop_a.png"), 0u);
    EXPECT_EQ(texture_load("@loop_b.png"), 0u);
    EXPECT_EQ(texture_load("@self.png"), 0u);
    EXPECT_EQ(texture_load("@empty.png"), 0u);
    EXPECT_EQ(texture_load("@dangling.png"), 0u);
    image im;
    EXPECT_FALSE(image_load("@loop_a.png", &im));
    EXPECT_FALSE(image_load("@empty.png", &im));
}

TEST_F(ResourcesTest, InfoTextComesFromChunksAndInfoFile) {
    write(data / "plain.png", png_of(noisy_picture(4, 4, 3)));
    uint32_t plain = texture_load("@plain.png");
    ASSERT_NE(plain, 0u) << "a missing .info file is no error";
    EXPECT_STREQ(texture_info(plain), "");
    write(data / "bike.png", png_of(noisy_picture(4, 4, 4), "[numberbackground:1,0,0]"));
    write(data / "bike.png.info", "[mip_max_alpha]\n");
    uint32_t bike = texture_load("@bike.png");
    EXPECT_STREQ(texture_info(bike), "[numberbackground:1,0,0][mip_max_alpha]\n");
}

TEST_F(ResourcesTest, CustomMipLayoutFromInfoFile) {
    write(data / "tree.png", png_of(noisy_picture(16, 24, 4)));
    write(data / "tree.png.info", "[mip_custom]");
    EXPECT_NE(texture_load("@tree.png"), 0u);
    EXPECT_FALSE(shown("Warning: Invalid height for custom MIP map in '@tree.png'"));
    EXPECT_FALSE(shown("Warning: Non power of 2 texture '@tree.png'"));
    write(data / "bush.png", png_of(noisy_picture(16, 25, 4)));
    write(data / "bush.png.info", "[mip_custom]");
    EXPECT_NE(texture_load("@bush.png"), 0u) << "loaded as an ordinary picture";
    EXPECT_TRUE(shown("Warning: Invalid height for custom MIP map in '@bush.png'"));
}

TEST_F(ResourcesTest, VariantsReplaceTheEnding) {
    write(data / "rock.png", png_of(noisy_picture(4, 4, 3)));
    write(data / "rock_norm.png", png_of(noisy_picture(4, 4, 3, 5)));
    write(data / "mud-repeat.png", png_of(noisy_picture(4, 4, 3)));
    write(data / "mud_spec-repeat.ppm", image_encode_ppm(noisy_picture(4, 4, 3, 6)));
    uint32_t norm = texture_variant("@rock.png", {"_norm.seq", "_norm.png", "_norm.ppm"});
    ASSERT_NE(norm, 0u);
    EXPECT_STREQ(texture_name(norm), "@rock_norm.png");
    EXPECT_EQ(texture_variant("@rock.png", {"_spec.seq", "_spec.png", "_spec.ppm"}), 0u);
    uint32_t specular = texture_variant(
        "@mud-repeat.png", {"_spec-repeat.seq", "_spec-repeat.png", "_spec-repeat.ppm"});
    ASSERT_NE(specular, 0u);
    EXPECT_STREQ(texture_name(specular), "@mud_spec-repeat.ppm");
}

TEST_F(ResourcesTest, AnimatedTextureFollowsTheClock) {
    anim_sequence seq;
    seq.length = 4;
    seq.frame_count = 3;
    seq.tics_per_step = 10;
    seq.loop = 0;
    seq.sequence = {2, 0, 1, 1};
    for (int f = 0; f < 3; f++) seq.frames.push_back(noisy_picture(8, 8, 4, 10 + f));
    write(data / "flag.seq", anim_encode(seq));
    uint32_t id = texture_load("@flag.seq");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(anim_shown_frame(id), 2) << "the first entry is uploaded at load";
    anim_start(id, 100);
    anim_update(119);
    EXPECT_EQ(anim_shown_frame(id), 0);
    anim_update(125);
    EXPECT_EQ(anim_shown_frame(id), 1);
    anim_update(5000);
    EXPECT_EQ(anim_shown_frame(id), 1) << "without the loop flag the last entry stays";
    anim_update(100);
    EXPECT_EQ(anim_shown_frame(id), 2);
    anim_pause(id);
    anim_update(130);
    EXPECT_EQ(anim_shown_frame(id), 2) << "a paused animation keeps its frame";
    EXPECT_EQ(anim_shown_frame(12345), -1);
    write(data / "bad.seq", "ANIM1\n4 3 10 0\n0 1\n");
    EXPECT_EQ(texture_load("@bad.seq"), 0u);
}

TEST_F(ResourcesTest, PngWritersWriteToTheHomeFolder) {
    image shot = noisy_picture(7, 5, 3);
    ASSERT_TRUE(png_write_rgb8("@shots/first.png", shot.pixels.data(), 7, 5));
    EXPECT_TRUE(fs::exists(home / "shots" / "first.png"));
    image back;
    ASSERT_TRUE(image_load("@shots/first.png", &back));
    EXPECT_EQ(back.pixels, shot.pixels);
    std::vector<uint16_t> heights(6 * 4);
    for (size_t i = 0; i < heights.size(); i++) heights[i] = static_cast<uint16_t>(i * 2731);
    ASSERT_TRUE(png_write_grey16("@terrain.png", heights.data(), 6, 4));
    std::vector<uint16_t> read_back;
    int width = 0, height = 0;
    ASSERT_TRUE(image_read_png16("@terrain.png", &read_back, &width, &height));
    EXPECT_EQ(width, 6);
    EXPECT_EQ(height, 4);
    EXPECT_EQ(read_back, heights);
}

TEST_F(ResourcesTest, NumberTextureAndChoiceLists) {
    const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
    const uint32_t plate = texture_number("42", white, black);
    EXPECT_NE(plate, 0u);
    // A restart re-creates every bike: the same plate is shared, not uploaded again.
    const int64_t memory = texture_memory();
    const int count = texture_count();
    for (int restart = 0; restart < 5; restart++)
        EXPECT_EQ(texture_number("42", white, black), plate);
    EXPECT_EQ(texture_memory(), memory);
    EXPECT_EQ(texture_count(), count);
    EXPECT_NE(texture_number("43", white, black), plate);
    EXPECT_NE(texture_number("42", black, white), plate);
    for (const char* name :
         {"rider_body-red.png", "rider_body-blue.ppm", "rider_body-blue_norm.png",
          "rider_head-gold.png", "wheels-black.png", "yz250f(2017)-stock.png", "notes.txt"})
        write(data / name, png_of(noisy_picture(2, 2, 3)));
    file_index();
    texture_choices_set_bike("yz250f(2017)");
    texture_choice_lists_build();
    const auto& bodies = texture_choices(choice_rider_body);
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0].label, "blue");
    EXPECT_EQ(bodies[0].name, "@rider_body-blue.ppm");
    EXPECT_EQ(bodies[1].label, "red");
    EXPECT_EQ(texture_choices(choice_rider_head).size(), 1u);
    EXPECT_EQ(texture_choices(choice_wheels).size(), 1u);
    ASSERT_EQ(texture_choices(choice_bike).size(), 1u);
    EXPECT_EQ(texture_choices(choice_bike)[0].label, "stock");
    texture_choice_lists_free();
    EXPECT_TRUE(texture_choices(choice_rider_body).empty());
}

TEST_F(ResourcesTest, HudPicturesFromTheGenerator) {
    // The generator's own output, read by path: the pictures the game loads at start-up.
    for (const char* name : {"tach.png", "shifter.png", "pitboard.png", "title.png"}) {
        image im;
        ASSERT_TRUE(image_load((std::string(TB_GAME_DIR) + "/" + name).c_str(), &im)) << name;
        EXPECT_TRUE(image_is_power_of_two(im.width)) << name;
        EXPECT_TRUE(image_is_power_of_two(im.height)) << name;
        EXPECT_GE(im.channels, 3);
    }
}
