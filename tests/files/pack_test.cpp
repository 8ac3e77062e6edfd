// The archive packer: every file of a folder comes back out of the archive through the index.
#include "files_fixture.h"

#include "pack.h"

TEST_F(FilesTest, PackedFolderReadsBackThroughTheIndex) {
    fs::path track = root / "mytrack";
    std::string binary(3000, '\0');
    for (size_t i = 0; i < binary.size(); i++) binary[i] = static_cast<char>(i * 31 % 256);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"tracks/mytrack/desc", "My Track\n"},
        {"tracks/mytrack/terrain.hf", binary},
        {"tracks/mytrack/empty", ""},
        {"tracks/mytrack/with space.txt", "spaced"},
        {"tracks/mytrack/frills.js.gz", make_gzip("var a = 1;\n")},
    };
    for (const auto& [name, bytes] : files) write(track / name, bytes);
    int packed = 0;
    std::string error;
    // The archive goes inside the folder it packs: it must not pack itself.
    ASSERT_TRUE(pack_folder(track.string(), (track / "mytrack.saf").string(), &packed, &error))
        << error;
    EXPECT_EQ(packed, static_cast<int>(files.size()));
    fs::rename(track / "mytrack.saf", data / "mytrack.saf");

    file_index();
    for (const auto& [name, bytes] : files) {
        if (name.ends_with(".gz")) continue;
        EXPECT_EQ(content(("@" + name).c_str()), bytes) << name;
    }
    EXPECT_EQ(content("@tracks/mytrack/frills.js"), "var a = 1;\n");
}

TEST_F(FilesTest, PackFailureKeepsTheOldArchive) {
    write(data / "old.saf", "-\n");
    int packed = 0;
    std::string error;
    EXPECT_FALSE(pack_folder((root / "no such folder").string(), (data / "old.saf").string(),
                             &packed, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(read(data / "old.saf"), "-\n");
}
