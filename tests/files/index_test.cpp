// The folder list, the file index, archives and which copy of a name wins.
#include "files_fixture.h"

#include "files/archive.h"
#include "files/files_local.h"

#include "support/data_set_home.h"

#include <cstring>

namespace {
std::string check_text() {
    std::string text;
    for (int i = 0; i < 1000; i++) text += "archive check line " + std::to_string(i) + "\n";
    return text;
}
} // namespace

TEST_F(FilesTest, FolderListIsHomeThenDataFolder) {
    ASSERT_EQ(folder_count(), 2);
    EXPECT_EQ(folder(0), home.string() + "/");
    EXPECT_EQ(folder(1), data.string() + "/");
    EXPECT_EQ(folder(2), "");
    EXPECT_EQ(home_folder(), folder(0));
}

TEST_F(FilesTest, FolderPathsAreNormalised) {
    EXPECT_EQ(normalise_folder("a\\b//c"), "a/b/c/");
    EXPECT_EQ(normalise_folder("/x///"), "/x/");
    setenv("QV_HOME", (root.string() + "//data\\").c_str(), 1);
    files_free();
    EXPECT_EQ(folder(1), data.string() + "/");
}

TEST_F(FilesTest, WithQvHomeTheProgramFolderIsNotSearched) {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    fs::path program_folder = fs::path(std::string(exe, static_cast<size_t>(n))).parent_path();
    std::string probe = "tb_probe_" + std::to_string(getpid()) + ".txt";
    write(program_folder / probe, "found");
    file_index();
    std::string name = "@" + probe;
    EXPECT_EQ(content(name.c_str()), "<none>");
    for (const std::string& listed : file_index()) EXPECT_NE(listed, probe);
    fs::remove(program_folder / probe);
}

TEST_F(FilesTest, HomeBeatsDataFolderBeatsArchive) {
    write(data / "zzzz.saf", make_archive({{"x.txt", "archive"}}));
    write(data / "x.txt", "data");
    write(home / "x.txt", "home");
    file_index();
    EXPECT_EQ(content("@x.txt"), "home");
    files_free();

    fs::remove(home / "x.txt");
    file_index();
    EXPECT_EQ(content("@x.txt"), "data");
    files_free();

    fs::remove(data / "x.txt");
    EXPECT_EQ(content("@x.txt"), "<none>") << "archives are searched only once the index is built";
    file_index();
    EXPECT_EQ(content("@x.txt"), "archive");
}

TEST_F(FilesTest, ArchiveSortingBeforeMainArchiveWins) {
    write(data / "zzzz.saf", make_archive({{"m.txt", "main"}, {"only_main.txt", "main only"}}));
    write(data / "aaa.saf", make_archive({{"m.txt", "patch"}}));
    file_index();
    EXPECT_EQ(content("@m.txt"), "patch");
    EXPECT_EQ(content("@only_main.txt"), "main only");
}

TEST_F(FilesTest, ArchivesInTheHomeFolderAndUpperCaseNamesAreRead) {
    write(home / "mods" / "PATCH.SAF", make_archive({{"p.txt", "patched"}}));
    file_index();
    EXPECT_EQ(content("@p.txt"), "patched");
}

TEST_F(FilesTest, LookupIgnoresCase) {
    write(data / "zzzz.saf", make_archive({{"tracks/hill/desc", "Hill"}}));
    file_index();
    EXPECT_EQ(content("@Tracks/HILL/Desc"), "Hill");
}

TEST_F(FilesTest, FileListIsSortedWithoutCaseAndKeepsEachNameOnce) {
    write(home / "README.txt", "home");
    write(data / "readme.TXT", "data");
    write(data / "b.txt", "b");
    write(data / "zzzz.saf", make_archive({{"A.txt", "a"}, {"Readme.txt", "archive"}}));
    const std::vector<std::string>& list = file_index();
    std::vector<std::string> expected = {"A.txt", "b.txt", "README.txt", "zzzz.saf"};
    EXPECT_EQ(list, expected);
    EXPECT_EQ(&file_index(), &list) << "later calls return the same list";
    EXPECT_EQ(content("@readme.txt"), "home") << "no folder holds that spelling; the index does";
}

TEST_F(FilesTest, ArchiveExampleHeaderAndOffsets) {
    std::string archive = "12 tracks/a/desc\n5 b.txt\n-\n" + std::string("Hill Climb\n!") + "bbbbb";
    write(data / "zzzz.saf", archive);
    file_index();
    const index_entry* desc = index_find("tracks/a/desc");
    const index_entry* b = index_find("b.txt");
    ASSERT_TRUE(desc && b);
    EXPECT_EQ(desc->offset, 27u);
    EXPECT_EQ(desc->size, 12u);
    EXPECT_EQ(b->offset, 39u);
    EXPECT_EQ(b->size, 5u);
    EXPECT_EQ(desc->priority, 2) << "the first archive is numbered after the two folders";
    EXPECT_EQ(content("@tracks/a/desc"), "Hill Climb\n!");
    EXPECT_EQ(content("@b.txt"), "bbbbb");
}

TEST_F(FilesTest, DoubledSlashesInMemberNamesAreCollapsed) {
    write(data / "zzzz.saf", make_archive({{"tracks//a///desc", "d"}}));
    file_index();
    EXPECT_NE(index_find("tracks/a/desc"), nullptr);
    EXPECT_EQ(content("@tracks/a/desc"), "d");
}

TEST_F(FilesTest, MalformedHeadersAddNothingAndOtherArchivesStillCount) {
    std::string long_name(1030, 'n');
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"no_end.saf", "3 a.txt\n"},                         // file ends inside the header
        {"no_size.saf", "3 a.txt\nabc b.txt\n-\nxyz"},       // a line that is not a size
        {"long.saf", "1 a.txt\n1 " + long_name + "\n-\nxy"}, // a line past the buffer
        {"no_name.saf", "3 a.txt\n2\n-\nabcde"},             // a size with no name
        {"nul.saf", std::string("3 a.txt\n1 b\0c\n-\nabcd", 18)},
        {"signed.saf", "3 a.txt\n-2 b\n-\nabc"},
    };
    for (const auto& [name, bytes] : bad) write(data / name, bytes);
    write(data / "zzzz.saf", make_archive({{"good.txt", "good"}}));
    file_index();
    EXPECT_EQ(index_find("a.txt"), nullptr) << "partial entries of a malformed archive are removed";
    EXPECT_EQ(content("@a.txt"), "<none>");
    EXPECT_EQ(content("@good.txt"), "good");
    const index_entry* good = index_find("good.txt");
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->priority, 2 + static_cast<int>(bad.size()))
        << "failed archives still take a number";
    std::string text = log_text();
    for (const auto& [name, bytes] : bad)
        EXPECT_NE(text.find("Archive " + (data / name).string() + " left out"), std::string::npos)
            << name;
}

TEST_F(FilesTest, LongestHeaderLineFitsTheBuffer) {
    std::string name(1022 - 2, 'n'); // "1 " + name = 1022 characters before the newline
    write(data / "zzzz.saf", "1 " + name + "\n-\nx");
    file_index();
    EXPECT_NE(index_find(name), nullptr);
}

TEST_F(FilesTest, MemberRunningPastTheEndIsRefused) {
    write(data / "zzzz.saf", "3 a.txt\n100 b.txt\n1 c.txt\n-\nabcdef");
    file_index();
    EXPECT_EQ(content("@a.txt"), "abc");
    EXPECT_EQ(index_find("b.txt"), nullptr);
    EXPECT_EQ(index_find("c.txt"), nullptr) << "it starts past the end too";
    EXPECT_NE(log_text().find("member b.txt runs past the end of the archive"), std::string::npos);
}

TEST_F(FilesTest, HugeMemberSizeDoesNotWrap) {
    write(data / "zzzz.saf", "18446744073709551615 a.txt\n0 b.txt\n-\n");
    file_index();
    EXPECT_EQ(index_find("a.txt"), nullptr);
    EXPECT_EQ(index_find("b.txt"), nullptr);
}

TEST_F(FilesTest, ArchivesInsideArchivesAreNotOpened) {
    std::string inner = make_archive({{"secret.txt", "s"}});
    write(data / "zzzz.saf", make_archive({{"inner.saf", inner}}));
    file_index();
    EXPECT_EQ(content("@inner.saf"), inner);
    EXPECT_EQ(content("@secret.txt"), "<none>");
}

TEST_F(FilesTest, ArchiveHeaderReaderOverMemory) {
    std::string bytes = "4 x\n2 y//z\n-\nabcdef";
    FILE* f = fmemopen(bytes.data(), bytes.size(), "rb");
    std::vector<archive_member> members;
    ASSERT_TRUE(archive_read_header(f, bytes.size(), "memory", &members));
    fclose(f);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[1].name, "y/z");
    EXPECT_EQ(members[1].offset, 17u);
    EXPECT_EQ(members[1].size, 2u);
}

TEST_F(FilesTest, DescribeEntryAndIndexLogLines) {
    write(data / "a.txt", "a");
    file_index();
    ASSERT_EQ(file_index_entry_count(), 1);
    char buffer[512];
    describe_entry(0, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer), "a.txt -> " + (data / "a.txt").string());
    describe_entry(5, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    char small[6];
    describe_entry(0, small, sizeof small);
    EXPECT_STREQ(small, "a.txt");
    std::string text = log_text();
    size_t at = 0;
    for (const char* line : {"Listing directories\n", "Listing archives\n", "Creating file list\n",
                             "File index complete\n"}) {
        at = text.find(line, at);
        EXPECT_NE(at, std::string::npos) << line;
    }
}

TEST_F(FilesTest, FindGameDataNeedsTheMainArchive) {
    unsetenv("TAVO_LOGFILE");
    log_reset();
    fs::remove_all(root / "xdg");
    EXPECT_FALSE(find_game_data());
    EXPECT_TRUE(fs::is_directory(home)) << "the home folder is made";
    write(data / "zzzz.saf", "-\n");
    EXPECT_TRUE(find_game_data());
    log("probe\n");
    log_close();
    EXPECT_NE(read(home / "lastlog.txt").find("probe"), std::string::npos);
}

TEST_F(FilesTest, GeneratedMainArchiveReadsInEveryForm) {
    use_generated_data_set();
    ASSERT_TRUE(find_game_data());
    file_index();
    EXPECT_EQ(content("@readme.txt").rfind("Trailbok default data set.\n", 0), 0u);
    std::string text = check_text();
    EXPECT_EQ(content("@checks/plain.txt"), text);
    EXPECT_EQ(content("@checks/gzip.txt"), text);
    EXPECT_EQ(content("@checks/scrambled.txt"), text);
    EXPECT_EQ(content("@checks/both.txt"), text);
}
