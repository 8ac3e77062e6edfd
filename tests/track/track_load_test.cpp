// The track list and loading a track folder written by the test: order, digest, reset.
#include "track/track.h"

#include "common/ripemd160.h"
#include "files/data_file.h"
#include "terrain/ground_shading.h"
#include "terrain/terrain.h"
#include "track/track_gates.h"

#include "support/temp_data_test.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {
constexpr int k_e = 6;
constexpr int k_n = (1 << (k_e + 1)) + 1; // 129 samples a side

struct TrackLoad : TempDataTest {
    void TearDown() override {
        track_unload();
        track_list_free();
        TempDataTest::TearDown();
    }

    // A flat field of 129 x 129 samples with shading, one surface type and its tile map.
    void make_track(const std::string& folder, const std::string& desc, bool with_shading = true) {
        fs::path dir = data / folder;
        std::string hf = std::to_string(k_e) + " 1.0 0 10 :";
        hf.append(static_cast<size_t>(k_n) * k_n * 2, '\0');
        write(dir / "terrain.hf", hf);
        if (!desc.empty()) write(dir / "desc", desc + "\nsecond line\n");
        if (with_shading) {
            std::string ppm = "P6\n" + std::to_string(k_n) + " " + std::to_string(k_n) + "\n255\n";
            ppm.append(static_cast<size_t>(k_n) * k_n * 3, char(200));
            write(dir / "shading.ppm", ppm);
        }
        write(dir / "texturelist", "1.0 5.0 15.0 nothing.png\n");
        write(dir / "tilemap", std::string(static_cast<size_t>(1 << k_e) * (1 << k_e), '\0'));
    }

    std::string digest_of(const std::string& folder, std::initializer_list<const char*> names) {
        std::string all;
        for (const char* name : names) {
            std::ifstream in(data / folder / name, std::ios::binary);
            all += std::string(std::istreambuf_iterator<char>(in), {});
        }
        return ripemd160_of(all.data(), all.size());
    }
};
} // namespace

TEST_F(TrackLoad, ListFindsEveryFormAndSortsByDescription) {
    make_track("b_track", "alpha");
    make_track("a_track", "Beta");
    write(data / "zipped" / "terrain.hf.gz", "not really gzip");
    write(data / "notatrack" / "desc", "Nope\n");
    make_track("c_track", "ALPHA");
    ASSERT_EQ(track_list_scan(), 4);
    EXPECT_EQ(track_list_entry(0).display_name, "alpha");
    EXPECT_EQ(track_list_entry(1).display_name, "ALPHA") << "equal names keep their scan order";
    EXPECT_EQ(track_list_entry(2).display_name, "Beta");
    EXPECT_EQ(track_list_entry(3).folder, "zipped") << "no desc: the folder names it";
    EXPECT_EQ(track_list_find("c_track"), 1);
}

TEST_F(TrackLoad, LoadsGroundAndDigestCoversThePresentFiles) {
    make_track("flat", "Flat Land");
    track_list_scan();
    ASSERT_TRUE(track_load("flat"));
    EXPECT_STREQ(track_current(), "flat");
    EXPECT_STREQ(track_display_name(), "Flat Land");
    EXPECT_EQ(ground().field.samples_per_side, k_n);
    EXPECT_EQ(ground_shading().shading[0], 100) << "shading.ppm is stored at half intensity";
    EXPECT_EQ(ground_shading().shadow[0], 0) << "no shadows file: fully lit";
    EXPECT_EQ(gate_count(), 0);
    EXPECT_EQ(track_digest_hex(), digest_of("flat", {"terrain.hf", "texturelist", "tilemap"}));
}

TEST_F(TrackLoad, TimingGatesAndStatuesJoinTheDigest) {
    make_track("gated", "Gated");
    std::string gates =
        "checkpoints:\n5 [10 0 10] [1 0 0]\n5 [50 0 10] [1 0 0]\n5 [90 0 10] [1 0 0]\n"
        "firstlap: 0 1 2\nnormallap: 0 1 2\n";
    write(data / "gated" / "timing_gates", gates);
    track_list_scan();
    ASSERT_TRUE(track_load("gated"));
    EXPECT_EQ(gate_count(), 3);
    EXPECT_EQ(track_digest_hex(),
              digest_of("gated", {"terrain.hf", "texturelist", "tilemap", "timing_gates"}));
}

TEST_F(TrackLoad, MissingShadingFailsAndLeavesNoTrack) {
    make_track("dark", "Dark", false);
    track_list_scan();
    EXPECT_FALSE(track_load("dark"));
    EXPECT_EQ(track_current(), nullptr);
    EXPECT_EQ(ground().field.heights, nullptr) << "the ground loader freed what it had read";
}

TEST_F(TrackLoad, BadShadingSizeFails) {
    make_track("odd", "Odd");
    write(data / "odd" / "shadingx2.ppm", "P6\n128 128\n255\n" + std::string(128 * 128 * 3, 'x'));
    track_list_scan();
    EXPECT_FALSE(track_load("odd"));
}

TEST_F(TrackLoad, ResetOnTheSameTrackDoesNotReload) {
    make_track("flat", "Flat");
    track_list_scan();
    ASSERT_TRUE(track_reset("flat", false));
    ASSERT_TRUE(ground_set_height(3, 3, 7.0f));
    ASSERT_TRUE(track_reset("flat", false));
    EXPECT_FLOAT_EQ(ground_height_at(3.0f, 3.0f), 7.0f) << "the deformed ground stays";
    ASSERT_TRUE(track_reset("flat", true));
    EXPECT_FLOAT_EQ(ground_height_at(3.0f, 3.0f), 0.0f) << "a forced reset reloads";
}

TEST_F(TrackLoad, TracksInsideAnArchiveAreListedAndLoad) {
    make_track("loose", "Loose");
    // Pack a copy of the folder as archive members under another name.
    std::string header, body;
    for (const char* name : {"terrain.hf", "shading.ppm", "texturelist", "tilemap", "desc"}) {
        std::string bytes = read(data / "loose" / name);
        if (std::string(name) == "desc") bytes = "Packed\n";
        header += std::to_string(bytes.size()) + " packed/" + name + "\n";
        body += bytes;
    }
    write(data / "tracks.saf", header + "-\n" + body);
    ASSERT_EQ(track_list_scan(), 2);
    int packed = track_list_find("packed");
    ASSERT_GE(packed, 0);
    EXPECT_EQ(track_list_entry(packed).display_name, "Packed");
    EXPECT_TRUE(track_load("packed"));
    EXPECT_EQ(track_digest_hex(), digest_of("loose", {"terrain.hf", "texturelist", "tilemap"}))
        << "the same files give the same digest wherever they are stored";
}

TEST_F(TrackLoad, StepsRunInTheirOrder) {
    make_track("flat", "Flat");
    track_list_scan();
    ASSERT_TRUE(track_load("flat"));
    std::string text = log_text();
    size_t at = 0;
    for (const char* step : {"Scanning", "Loading terrain", "Loading shading", "Loading tileinfo",
                             "Loading tilemap", "Loading flaggers", "Loading map"}) {
        size_t found = text.find(std::string("] ") + step + "\n", at);
        ASSERT_NE(found, std::string::npos) << step << " missing or out of order";
        at = found;
    }
}

TEST_F(TrackLoad, DigestFollowsHeightsAndGatesButNotTheName) {
    make_track("flat", "Flat");
    write(data / "flat" / "timing_gates", "checkpoints:\n5 [10 0 10] [1 0 0]\n");
    track_list_scan();
    ASSERT_TRUE(track_reset("flat", true));
    std::string original = track_digest_hex();

    write(data / "flat" / "desc", "Another Name\n");
    ASSERT_TRUE(track_reset("flat", true));
    EXPECT_EQ(track_digest_hex(), original);

    write(data / "flat" / "timing_gates", "checkpoints:\n5 [10 0 11] [1 0 0]\n");
    ASSERT_TRUE(track_reset("flat", true));
    std::string gates_changed = track_digest_hex();
    EXPECT_NE(gates_changed, original);

    std::string hf = read(data / "flat" / "terrain.hf");
    hf[hf.size() - 1] = 1; // one height sample
    write(data / "flat" / "terrain.hf", hf);
    ASSERT_TRUE(track_reset("flat", true));
    EXPECT_NE(track_digest_hex(), gates_changed);
}
