// Surface types: "tileinfo" and "texturelist" reading, curves, blend codes and the tile map.
#include "terrain/terrain.h"

#include "common/message.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {
struct loaded_set {
    surface_set set;
    ~loaded_set() { surface_set_free(&set); }
    bool tileinfo(const std::string& text, texture_loader load = nullptr) {
        messages_clear();
        return surface_types_parse_tileinfo(&set, text.data(), text.size(), load);
    }
    bool texturelist(const std::string& text) {
        messages_clear();
        return surface_types_parse_texturelist(&set, text.data(), text.size(), nullptr);
    }
    const surface_type& operator[](int k) const { return set.types[k]; }
};

// Every message shown since the last clear, oldest first.
std::vector<std::string> shown() {
    std::vector<std::string> lines;
    for (int k = 0; k < k_message_ring_size; k++) {
        const std::string& line = message_recent(k);
        if (line.empty()) break;
        lines.insert(lines.begin(), line);
    }
    return lines;
}

std::vector<std::string> g_loaded_textures;
uint32_t record_texture(const char* name) {
    g_loaded_textures.push_back(name);
    return static_cast<uint32_t>(g_loaded_textures.size());
}
} // namespace

TEST(Tileinfo, FrictionCurveInterpolatesInSpeedSquared) {
    loaded_set s;
    ASSERT_TRUE(s.tileinfo("texture dirt.png\nfriction 1.2 10\nfriction 0.8 2\naddtile\n"));
    const surface_type& t = s[0];
    EXPECT_FLOAT_EQ(t.friction[0].speed, 2) << "points are sorted by speed";
    EXPECT_FLOAT_EQ(surface_friction_at(t, 1), 0.8f);
    EXPECT_FLOAT_EQ(surface_friction_at(t, 10), 1.2f);
    EXPECT_FLOAT_EQ(surface_friction_at(t, 50), 1.2f);
    EXPECT_FLOAT_EQ(surface_friction_at(t, std::sqrt(52.0f)), 1.0f);
}

TEST(Tileinfo, DefaultsApplyWithoutCurveLines) {
    loaded_set s;
    ASSERT_TRUE(s.tileinfo("addtile\n"));
    for (float speed : {0.0f, 0.5f, 1.0f, 30.0f, 1000.0f})
        EXPECT_EQ(surface_friction_at(s[0], speed), 1.0f) << speed;
    float a, b;
    surface_roll_resist_at(s[0], 20, &a, &b);
    EXPECT_EQ(a, 5.0f);
    EXPECT_EQ(b, 15.0f);
    EXPECT_EQ(s[0].friction[0].speed, 1.0f);
    EXPECT_EQ(s[0].friction[1].speed, 0.0f);
    EXPECT_EQ(s[0].erosion.limit_count, 2);
    EXPECT_EQ(s[0].roost[0].mode, 0);
    EXPECT_EQ(s[0].roost[0].fade_a, -2);
}

TEST(Tileinfo, RollResistanceInterpolatesLinearlyInSpeed) {
    loaded_set s;
    ASSERT_TRUE(s.tileinfo("roll_resist 10 20 0\nroll_resist 30 60 20\naddtile\n"));
    float a, b;
    surface_roll_resist_at(s[0], 10, &a, &b);
    EXPECT_NEAR(a, 20, 1e-4);
    EXPECT_NEAR(b, 40, 1e-4);
    surface_roll_resist_at(s[0], 0, &a, &b);
    EXPECT_EQ(a, 10);
}

TEST(Tileinfo, NegativeFrictionAndZeroSpeedAreClamped) {
    loaded_set s;
    ASSERT_TRUE(s.tileinfo("friction -1 0\naddtile\n"));
    EXPECT_EQ(s[0].friction[0].value, 0.0f);
    EXPECT_EQ(s[0].friction[0].speed, 9.5367431640625e-07f);
    EXPECT_EQ(s[0].friction[1].speed, 0.0f);
}

TEST(Tileinfo, TwoAddtilesGiveTwoDefaultTypesWithEmptyNames) {
    loaded_set s;
    ASSERT_TRUE(s.tileinfo("addtile\naddtile\n"));
    ASSERT_EQ(s.set.count, 2);
    EXPECT_STREQ(s[0].name, "");
    EXPECT_STREQ(s[1].name, "");
    EXPECT_EQ(memcmp(&s[0].erosion, &s[1].erosion, sizeof(erosion_params)), 0);
}

TEST(Tileinfo, NamesAndTexturesAndTrailingSettings) {
    loaded_set s;
    g_loaded_textures.clear();
    std::string long_name(60, 'x');
    ASSERT_TRUE(s.tileinfo("  \t texture  @tex/loam.png  \r\n\n"
                           "addtile\r\n"
                           "name " +
                               long_name +
                               "\ntexture sand.png\naddtile\n"
                               "texture discarded.png\nfriction 0.2 1\n",
                           record_texture));
    ASSERT_EQ(s.set.count, 2) << "settings after the last addtile are dropped";
    EXPECT_STREQ(s[0].name, "@tex/loam.png  ") << "trailing blanks stay in the value";
    EXPECT_EQ(s[0].texture, 1u);
    EXPECT_EQ(std::string(s[1].name), std::string(47, 'x'));
    EXPECT_EQ(g_loaded_textures[0], "@tex/loam.png  ");
}

TEST(Tileinfo, WarningsForBadLinesKeepLoading) {
    loaded_set s;
    std::string text = "friction 1\nroll_resist 1 2\nerode_radius\nerode_slip_base_scale abc\n"
                       "bogus 3\nerode_limit 1 2\n";
    // (the bad erode_limit leaves the two default points in place)
    for (int k = 0; k < 9; k++) text += "friction 1 " + std::to_string(k + 1) + "\n";
    for (int k = 0; k < 5; k++) text += "roost count=1\n";
    text += "addtile\n";
    ASSERT_TRUE(s.tileinfo(text));
    std::vector<std::string> lines = shown();
    std::vector<std::string> expected = {
        "tileinfo warning: bad friction parameters",
        "tileinfo warning: bad roll_resist parameters",
        "tileinfo warning: bad erode_radius",
        "tileinfo warning: bad erode_slip_base_scale",
        "tileinfo warning: Unknown identifier 'bogus'",
        "tileinfo warning: bad erode_limit",
        "tileinfo warning: too many friction points",
        "tileinfo warning: too many roost types",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(s[0].friction[7].speed, 8.0f);
    EXPECT_EQ(s[0].erosion.radius, 4.0f);
}

TEST(Tileinfo, ErodeLimitsReplaceTheDefaultsAndMustRise) {
    loaded_set s;
    ASSERT_TRUE(s.tileinfo("erode_limit 0 1 1\nerode_limit 2 0.5 0.25\nerode_limit 2 0 0\n"
                           "erode_limit 3 0 0\nerode_depth 0.5\naddtile\naddtile\n"));
    EXPECT_EQ(shown(),
              std::vector<std::string>{"tileinfo warning: erode_limit depth <= prev depth"});
    EXPECT_EQ(s[0].erosion.limit_count, 3);
    EXPECT_EQ(s[0].erosion.limit_depth[1], 2.0f);
    EXPECT_EQ(s[0].erosion.limit_depth[2], 3.0f);
    EXPECT_EQ(s[0].erosion.depth, 0.5f);
    EXPECT_EQ(s[1].erosion.limit_count, 2) << "the template is reset at addtile";
    EXPECT_EQ(s[1].erosion.limit_depth[1], 1.0f);
}

TEST(Tileinfo, AbsurdNumbersAreRefusedOrKeptInRange) {
    loaded_set s;
    ASSERT_TRUE(s.tileinfo("erode_radius 1e30\nerode_inner_radius nan\nfriction inf 3\n"
                           "erode_displacement -4\nroost count=1e12 r=300 fade_a=-256\naddtile\n"));
    EXPECT_LE(s[0].erosion.radius, 64.0f);
    EXPECT_EQ(s[0].erosion.inner_radius, 2.0f);
    EXPECT_EQ(s[0].erosion.displacement, 0.0f);
    EXPECT_EQ(s[0].friction[0].speed, 1.0f) << "the infinite point was refused";
    EXPECT_LE(s[0].roost[0].count, 1000.0f);
    EXPECT_EQ(s[0].roost[0].r, 300 & 0xFF);
    EXPECT_EQ(s[0].roost[0].fade_a, -2) << "-256 per second is -2 per tic";
}

TEST(Tileinfo, SplashRoostWithQuotedTexture) {
    loaded_set s;
    g_loaded_textures.clear();
    ASSERT_TRUE(s.tileinfo("roost count=20 splash=1 texture=\"@my roost.png\" fade_r=128 g=1.9\n"
                           "roost\tcount=5 wobble=3 drag=\n"
                           "addtile\n",
                           record_texture));
    const roost_type& r = s[0].roost[0];
    EXPECT_EQ(r.mode, 2);
    EXPECT_EQ(r.count, 20.0f);
    EXPECT_EQ(g_loaded_textures[0], "@my roost.png");
    EXPECT_EQ(r.texture, 1u);
    EXPECT_EQ(r.fade_r, 1);
    EXPECT_EQ(r.g, 1);
    const roost_type& q = s[0].roost[1];
    EXPECT_EQ(q.mode, 1);
    EXPECT_EQ(q.count, 5.0f);
    EXPECT_EQ(q.drag, 0.0f) << "an unparsed number stores 0";
    EXPECT_EQ(g_loaded_textures[1], "@roost.png") << "the default roost texture";
    EXPECT_EQ(shown(),
              (std::vector<std::string>{"tileinfo warning: unknown roost parameter 'wobble=3'",
                                        "tileinfo warning: bad drag"}));
    EXPECT_EQ(s[0].roost[2].mode, 0);
}

TEST(Tileinfo, ReadingStopsAtTheLastPossibleType) {
    loaded_set s;
    std::string text;
    for (int k = 0; k < 300; k++) text += "addtile\n";
    ASSERT_TRUE(s.tileinfo(text));
    EXPECT_EQ(s.set.count, 256);
}

TEST(Tileinfo, NoTypeIsAFailure) {
    loaded_set s;
    EXPECT_FALSE(s.tileinfo("texture dirt.png\n"));
    EXPECT_FALSE(s.tileinfo(""));
}

TEST(Tileinfo, OverlongLinesAreReadInPieces) {
    loaded_set s;
    // The first 1023 bytes hold "name " and 1018 letters; the rest arrives as a line of its
    // own whose key is "addtile".
    std::string text = "name " + std::string(1018, 'q') + "addtile\n";
    ASSERT_TRUE(s.tileinfo(text));
    EXPECT_EQ(s.set.count, 1);
    EXPECT_EQ(std::string(s[0].name), std::string(47, 'q'));
}

TEST(Texturelist, NumbersThenTextureName) {
    loaded_set s;
    ASSERT_TRUE(s.texturelist("0.9 4 12 dirt.png\r\n\n   grass.png\n1 2 tex/sand.png\n"));
    ASSERT_EQ(s.set.count, 3);
    EXPECT_STREQ(s[0].texture_name, "@dirt.png");
    EXPECT_STREQ(s[0].name, "@dirt.png");
    EXPECT_FLOAT_EQ(surface_friction_at(s[0], 10), 0.9f);
    float a, b;
    surface_roll_resist_at(s[0], 10, &a, &b);
    EXPECT_FLOAT_EQ(a, 4);
    EXPECT_FLOAT_EQ(b, 12);
    EXPECT_EQ(s[0].roost[0].mode, 1);
    EXPECT_EQ(s[0].roost[1].mode, 0);
    EXPECT_STREQ(s[1].texture_name, "@grass.png");
    EXPECT_EQ(surface_friction_at(s[1], 3), 1.0f);
    EXPECT_STREQ(s[2].texture_name, "@1 2 tex/sand.png") << "two numbers are not enough";
}

TEST(BlendCodes, BaseOtherAndMaskFromTextureNames) {
    loaded_set s;
    ASSERT_TRUE(s.tileinfo("texture dirt.png\naddtile\ntexture @ground/grass.png\naddtile\n"
                           "texture dirt-grass-0110.png\naddtile\ntexture dirt-alt2.png\naddtile\n"
                           "texture dirt-mud.png\naddtile\ntexture grass-dirt-01x1.png\naddtile\n"
                           "texture mud-grass-1111.png\naddtile\n"));
    surface_types_blend_codes(&s.set);
    EXPECT_EQ(s[0].blend_code, 0);
    EXPECT_EQ(s[1].blend_code, 0x10100);
    EXPECT_EQ(s[2].blend_code, 0x106);
    EXPECT_EQ(s[3].blend_code, 0);
    EXPECT_EQ(s[4].blend_code, static_cast<int32_t>(0xFFFFFF00u)) << "no second dash";
    EXPECT_EQ(s[5].blend_code, 0x10000) << "a mask that isn't four bits is 0";
    EXPECT_EQ(s[6].blend_code, 6 * 65536 + 6 * 256) << "no type is called mud";
}

TEST(Tilemap, BytesAreClampedAndShortMapsPadded) {
    loaded_set s;
    std::string text;
    for (int k = 0; k < 10; k++) text += "addtile\n";
    ASSERT_TRUE(s.tileinfo(text));
    std::vector<uint8_t> bytes = {200, 3, 9, 10};
    surface_set_tilemap(&s.set, 6, 0.5f, bytes.data(), bytes.size());
    EXPECT_EQ(s.set.tiles_per_side, 64);
    EXPECT_EQ(s.set.tilemap[0], 9);
    EXPECT_EQ(s.set.tilemap[1], 3);
    EXPECT_EQ(s.set.tilemap[3], 9);
    EXPECT_EQ(s.set.tilemap[4], 0);
    EXPECT_EQ(s.set.tilemap[64 * 64 - 1], 0);
}

TEST(Tilemap, TypeUnderAPointUsesTwoByTwoCellSquares) {
    loaded_set s;
    ASSERT_TRUE(s.tileinfo("addtile\naddtile\naddtile\naddtile\n"));
    std::vector<uint8_t> bytes(64 * 64, 0);
    bytes[0] = 1;
    bytes[5 * 64 + 3] = 2;  // x in [6, 8), z in [10, 12) with c = 1
    bytes[64 * 64 - 1] = 3; // the far corner square
    surface_set_tilemap(&s.set, 6, 1.0f, bytes.data(), bytes.size());
    EXPECT_EQ(surface_set_type_at(s.set, 1.99f, 1.99f), 1);
    EXPECT_EQ(surface_set_type_at(s.set, 2.0f, 0.5f), 0);
    EXPECT_EQ(surface_set_type_at(s.set, 6.0f, 10.0f), 2);
    EXPECT_EQ(surface_set_type_at(s.set, 7.99f, 11.99f), 2);
    EXPECT_EQ(surface_set_type_at(s.set, 8.0f, 11.0f), 0);
    EXPECT_EQ(surface_set_type_at(s.set, -50, -3), 1) << "outside takes the border square";
    EXPECT_EQ(surface_set_type_at(s.set, 1e20f, 500), 3);
    EXPECT_EQ(surface_set_type_at(s.set, NAN, NAN), 1);
}
