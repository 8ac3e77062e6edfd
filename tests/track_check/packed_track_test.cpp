// A track packed with the packer into an archive in the home folder is listed and loads the same
// as the folder it was packed from: heights, digest, gates, start slots and objects.
#include "pack/pack.h"

#include "support/data_set_home.h"

#include "terrain/terrain.h"
#include "track/track.h"
#include "track/track_gates.h"
#include "track/track_objects.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
// What a player rides on, as loaded.
struct loaded_track {
    std::string heights, digest;
    std::vector<float> gates, slots, statues, billboards;
};

loaded_track take_loaded() {
    loaded_track t;
    char hex[41];
    height_field_heights_digest(ground().field, hex);
    t.heights = hex;
    t.digest = track_digest_hex();
    for (int g = 0; g < gate_count(); g++) {
        const timing_gate& gate = gate_at(g);
        t.gates.insert(t.gates.end(), {gate.centre[0], gate.centre[2], gate.direction[0],
                                       gate.direction[2], gate.radius});
    }
    for (int i = 0; i < first_lap_length() + normal_lap_length(); i++)
        t.gates.push_back(static_cast<float>(lap_entry(i)));
    for (int s = 0; s < start_slot_count(); s++) {
        const start_slot& slot = start_slot_at(s);
        t.slots.insert(t.slots.end(), {slot.point[0], slot.point[1], slot.point[2], slot.heading});
    }
    for (int i = 0; i < statue_count(); i++) {
        const statue& s = statues()[i];
        t.statues.insert(t.statues.end(), {s.x, s.y, s.z, s.value, static_cast<float>(s.model != 0),
                                           static_cast<float>(s.collision != nullptr)});
    }
    for (int i = billboard_first_file(); i < billboard_count(); i++) {
        const billboard& b = billboards()[i];
        t.billboards.insert(t.billboards.end(),
                            {b.x, b.y, b.z, b.size, static_cast<float>(b.texture != 0)});
    }
    return t;
}
} // namespace

TEST(PackedTrack, LoadsFromItsArchiveLikeItsFolder) {
    const fs::path home = data_set_home_open("tb_packed_track_");
    // The packer names members after the folder it is given: the track's folder goes inside.
    const fs::path stage = home / "stage";
    fs::create_directories(stage);
    fs::copy(fs::path(TB_GAME_DIR) / "rabbithill", stage / "packedhill");
    fs::create_directories(home / "Trailbok");
    int packed = 0;
    std::string error;
    ASSERT_TRUE(pack_folder(stage.string(), (home / "Trailbok" / "packedhill.saf").string(),
                            &packed, &error))
        << error;
    fs::remove_all(stage);
    use_generated_data_set();

    ASSERT_GE(track_list_scan(), 3);
    const int listed = track_list_find("packedhill");
    ASSERT_GE(listed, 0) << "the archive's track is in the track list";
    EXPECT_EQ(track_list_entry(listed).display_name, "Rabbit Hill");

    ASSERT_TRUE(track_load("rabbithill"));
    const loaded_track folder = take_loaded();
    ASSERT_TRUE(track_load("packedhill"));
    const loaded_track archive = take_loaded();
    track_unload();
    track_list_free();
    data_set_home_close(home);

    ASSERT_GT(folder.gates.size(), 0u);
    ASSERT_GT(folder.statues.size(), 0u);
    EXPECT_EQ(archive.heights, folder.heights);
    EXPECT_EQ(archive.digest, folder.digest);
    EXPECT_EQ(archive.gates, folder.gates);
    EXPECT_EQ(archive.slots, folder.slots);
    EXPECT_EQ(archive.statues, folder.statues);
    EXPECT_EQ(archive.billboards, folder.billboards);
}
