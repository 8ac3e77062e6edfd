// data_file streams: stored forms, member limits, seeking, the writers and whole-file reading.
#include "files_fixture.h"

#include "files/scramble.h"

#include <csignal>
#include <cstring>
#include <sys/resource.h>

TEST_F(FilesTest, ConfigIsReadFromHomeElseDataAndWrittenToHome) {
    write(data / "config", "data config");
    EXPECT_EQ(content("@config"), "data config");
    write(home / "config", "home config");
    EXPECT_EQ(content("@config"), "home config");

    data_file* f = data_file_open("@config", "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(data_file_put_text(f, "written"));
    EXPECT_TRUE(data_file_close(f));
    EXPECT_EQ(read(home / "config"), "written");
    EXPECT_EQ(read(data / "config"), "data config");
}

TEST_F(FilesTest, WritingMakesMissingFolders) {
    data_file* f = data_file_open("@setups/bikes/a.txt", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(data_file_print(f, "%d %s\n", 7, "x"));
    EXPECT_TRUE(data_file_put_char(f, 'y'));
    EXPECT_TRUE(data_file_write(f, "zz", 2));
    EXPECT_TRUE(data_file_flush(f));
    EXPECT_TRUE(data_file_close(f));
    EXPECT_EQ(read(home / "setups" / "bikes" / "a.txt"), "7 x\nyzz");
}

TEST_F(FilesTest, GzipFileInAFolderIsReadDecompressed) {
    std::string text = sample_text(3000);
    write(data / "big.txt.gz", make_gzip(text));
    EXPECT_EQ(content("@big.txt"), text);
    std::string path = (data / "big.txt").string();
    EXPECT_EQ(content(path.c_str()), text) << "plain paths try the forms too";
}

TEST_F(FilesTest, GzipHeaderFieldsAreSkipped) {
    std::string text = sample_text(50);
    write(data / "f.txt.gz", make_gzip(text, true));
    EXPECT_EQ(content("@f.txt"), text);
}

TEST_F(FilesTest, ScrambledAndBothFormsRoundTrip) {
    std::string text = sample_text(2000);
    write(data / "s.txt.scram", scramble_bytes(text));
    write(data / "b.txt.gz.scram", scramble_bytes(make_gzip(text)));
    EXPECT_EQ(content("@s.txt"), text);
    EXPECT_EQ(content("@b.txt"), text);
    std::string scrambled = scramble_bytes(text);
    EXPECT_EQ(scrambled.find("line 1 value"), std::string::npos)
        << "the stored bytes hide the text";
}

TEST_F(FilesTest, ScrambleStreamMatchesWholeTransformAtAnySplit) {
    std::string text = sample_text(20);
    std::string whole = scramble_bytes(text).substr(k_scramble_mark_size);
    for (size_t split : {0u, 1u, 7u, 8u, 9u, 100u}) {
        std::string bytes = whole;
        scramble_stream s;
        scramble_start(&s);
        auto* p = reinterpret_cast<uint8_t*>(bytes.data());
        scramble_apply(&s, p, split);
        scramble_apply(&s, p + split, 3);
        scramble_apply(&s, p + split + 3, bytes.size() - split - 3);
        EXPECT_EQ(bytes, text) << split;
    }
}

TEST_F(FilesTest, ScrambledFileWithoutTheMarkFailsToOpen) {
    write(data / "s.txt.scram", "plain bytes");
    EXPECT_EQ(content("@s.txt"), "<none>");
}

TEST_F(FilesTest, FormsInsideArchivesAndTheirOrder) {
    std::string text = sample_text(500);
    write(data / "zzzz.saf", make_archive({{"g.txt.gz", make_gzip(text)},
                                           {"s.txt.scram", scramble_bytes(text)},
                                           {"b.txt.gz.scram", scramble_bytes(make_gzip(text))},
                                           {"t.txt.gz", make_gzip("gzip")},
                                           {"t.txt.scram", scramble_bytes("scram")}}));
    write(data / "aaa.saf", make_archive({{"u.txt.gz.scram", scramble_bytes(make_gzip("early"))}}));
    write(data / "zzzz_late.saf", make_archive({{"u.txt", "late"}}));
    file_index();
    EXPECT_EQ(content("@g.txt"), text);
    EXPECT_EQ(content("@s.txt"), text);
    EXPECT_EQ(content("@b.txt"), text);
    EXPECT_EQ(content("@t.txt"), "gzip") << "on equal priority the earlier form wins";
    EXPECT_EQ(content("@u.txt"), "early") << "priority comes before the form";
}

TEST_F(FilesTest, BadGzipHeadersFailToOpen) {
    std::string good = make_gzip("hello");
    std::vector<std::string> bad = {
        "",
        "\x1f",
        "\x1f\x8b",
        std::string("\x1f\x8b\x07\0", 4) + good.substr(4),
        good.substr(0, 3) + std::string(1, 32) + good.substr(4), // flag byte of 32
        good.substr(0, 3) + std::string(1, 8) + good.substr(4, 6) + "unterminated name",
        good.substr(0, 3) + std::string(1, 4) + good.substr(4, 6) + "\xff\xff" + "short extra",
        "not gzip at all",
    };
    for (size_t i = 0; i < bad.size(); i++) {
        write(data / "x.txt.gz", bad[i]);
        EXPECT_EQ(content("@x.txt"), "<none>") << i;
    }
    EXPECT_NE(log_text().find("Bad gzip header in @x.txt"), std::string::npos);
}

TEST_F(FilesTest, TruncatedGzipEndsCleanlyWithAPrefix) {
    std::string text = sample_text(5000);
    std::string gz = make_gzip(text);
    for (size_t keep : {gz.size() / 3, gz.size() / 2, gz.size() - 12}) {
        write(data / "t.txt.gz", gz.substr(0, keep));
        std::string got = content("@t.txt");
        if (keep <= gz.size() / 2) {
            EXPECT_LT(got.size(), text.size()) << keep;
        }
        EXPECT_EQ(got, text.substr(0, got.size())) << keep;
    }
    EXPECT_NE(log_text().find("Compressed data of @t.txt ends early"), std::string::npos);
}

TEST_F(FilesTest, DamagedGzipEndsTheData) {
    std::string text = sample_text(5000);
    std::string gz = make_gzip(text);
    for (size_t i = 20; i < gz.size(); i += gz.size() / 7) gz[i] = static_cast<char>(~gz[i]);
    write(data / "d.txt.gz", gz);
    data_file* f = data_file_open("@d.txt", "rb");
    ASSERT_NE(f, nullptr);
    char buffer[100000];
    size_t n = data_file_read(f, buffer, sizeof buffer);
    EXPECT_LE(n, sizeof buffer);
    EXPECT_EQ(data_file_get_char(f), k_data_file_end);
    data_file_close(f);
}

TEST_F(FilesTest, ReadsNeverPassTheMember) {
    write(data / "zzzz.saf",
          make_archive({{"a.txt", "line one\nline two"}, {"b.txt", "NEXT MEMBER"}}));
    file_index();
    data_file* f = data_file_open("@a.txt", "rb");
    ASSERT_NE(f, nullptr);
    char line[64];
    ASSERT_NE(data_file_read_line(f, line, sizeof line), nullptr);
    EXPECT_STREQ(line, "line one\n");
    char rest[64] = {};
    EXPECT_EQ(data_file_read(f, rest, sizeof rest), 8u);
    EXPECT_STREQ(rest, "line two");
    EXPECT_EQ(data_file_get_char(f), k_data_file_end);
    EXPECT_EQ(data_file_read_line(f, line, sizeof line), nullptr);
    EXPECT_EQ(data_file_read(f, rest, sizeof rest), 0u);
    data_file_close(f);
}

TEST_F(FilesTest, CompressedMemberDoesNotReadIntoTheNextMember) {
    std::string text = sample_text(5000);
    std::string gz = make_gzip(text);
    size_t half = gz.size() / 2;
    // The second member holds the rest of the stream: reading the first must stop at its end.
    write(data / "zzzz.saf",
          make_archive({{"h.txt.gz", gz.substr(0, half)}, {"rest", gz.substr(half)}}));
    file_index();
    std::string got = content("@h.txt");
    EXPECT_LT(got.size(), text.size());
    EXPECT_EQ(got, text.substr(0, got.size()));
}

TEST_F(FilesTest, ReadLineKeepsToTheBuffer) {
    write(data / "l.txt", "abcdefgh\nxy");
    data_file* f = data_file_open("@l.txt", "rb");
    ASSERT_NE(f, nullptr);
    char buffer[5];
    EXPECT_STREQ(data_file_read_line(f, buffer, sizeof buffer), "abcd");
    EXPECT_STREQ(data_file_read_line(f, buffer, sizeof buffer), "efgh");
    EXPECT_STREQ(data_file_read_line(f, buffer, sizeof buffer), "\n");
    EXPECT_STREQ(data_file_read_line(f, buffer, sizeof buffer), "xy");
    EXPECT_EQ(data_file_read_line(f, buffer, sizeof buffer), nullptr);
    data_file_close(f);
}

TEST_F(FilesTest, PeekPositionAndPushBack) {
    write(data / "p.txt", "xyz");
    data_file* f = data_file_open("@p.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_file_peek_char(f), 'x');
    EXPECT_EQ(data_file_position(f), 0u);
    EXPECT_EQ(data_file_get_char(f), 'x');
    EXPECT_EQ(data_file_peek_char(f), 'y');
    char two[2];
    EXPECT_EQ(data_file_read(f, two, 2), 2u);
    EXPECT_EQ(std::string(two, 2), "yz");
    EXPECT_EQ(data_file_position(f), 3u);
    EXPECT_EQ(data_file_peek_char(f), k_data_file_end);
    data_file_close(f);
}

TEST_F(FilesTest, SeekRules) {
    write(data / "plain.txt", "0123456789");
    write(data / "g.txt.gz", make_gzip("0123456789"));
    write(data / "s.txt.scram", scramble_bytes("0123456789"));
    write(data / "zzzz.saf", make_archive({{"first", "ABC"}, {"m.txt", "abcdef"}}));
    file_index();

    data_file* f = data_file_open("@plain.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_file_get_char(f), '0');
    EXPECT_EQ(data_file_peek_char(f), '1');
    ASSERT_TRUE(data_file_seek(f, 7));
    EXPECT_EQ(data_file_get_char(f), '7') << "the push-back is dropped";
    EXPECT_EQ(data_file_position(f), 8u);
    data_file_close(f);

    f = data_file_open("@m.txt", "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(data_file_seek(f, 2));
    EXPECT_EQ(data_file_get_char(f), 'c') << "offsets count from the member's start";
    EXPECT_TRUE(data_file_seek(f, 5));
    EXPECT_FALSE(data_file_seek(f, 6)) << "at the member's size";
    EXPECT_FALSE(data_file_seek(f, 100));
    EXPECT_TRUE(data_file_seek(f, 0));
    EXPECT_EQ(drain(f), "abcdef");
    data_file_close(f);

    for (const char* name : {"@g.txt", "@s.txt"}) {
        f = data_file_open(name, "rb");
        ASSERT_NE(f, nullptr) << name;
        EXPECT_FALSE(data_file_seek(f, 1)) << name;
        EXPECT_EQ(drain(f), "0123456789") << name;
        data_file_close(f);
    }
}

TEST_F(FilesTest, WritingToAReadStreamFails) {
    write(data / "g.txt.gz", make_gzip("abc"));
    data_file* f = data_file_open("@g.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(data_file_put_char(f, 'x'));
    EXPECT_FALSE(data_file_print(f, "%d", 1));
    data_file_close(f);
}

TEST_F(FilesTest, DirectoriesDoNotOpenAsFiles) {
    fs::create_directories(data / "tracks" / "hill");
    EXPECT_EQ(data_file_open("@tracks/hill", "rb"), nullptr);
}

TEST_F(FilesTest, ReplacingWriterReplacesOnClose) {
    write(home / "results.txt", "old");
    data_file* f = data_file_open_replace("@results.txt");
    ASSERT_NE(f, nullptr);
    data_file_put_text(f, "new results");
    EXPECT_EQ(read(home / "results.txt"), "old") << "nothing changes before close";
    EXPECT_TRUE(data_file_close(f));
    EXPECT_EQ(read(home / "results.txt"), "new results");
    int files = 0;
    for (auto& e : fs::directory_iterator(home)) files += e.is_regular_file();
    EXPECT_EQ(files, 1) << "no temporary file is left";
}

TEST_F(FilesTest, AbandonedWriterKeepsTheOldFile) {
    write(home / "results.txt", "old");
    data_file* f = data_file_open_replace("@results.txt");
    ASSERT_NE(f, nullptr);
    data_file_put_text(f, "half writ");
    data_file_abandon(f);
    EXPECT_EQ(read(home / "results.txt"), "old");
    int files = 0;
    for (auto& e : fs::directory_iterator(home)) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST_F(FilesTest, FailedWriteKeepsTheOldFile) {
    write(home / "big.txt", "old");
    // A file size limit makes the writes fail the way a full disk does.
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    data_file* f = data_file_open_replace("@big.txt");
    ASSERT_NE(f, nullptr);
    std::string chunk(1000, 'x');
    for (int i = 0; i < 100; i++) data_file_write(f, chunk.data(), chunk.size());
    bool closed = data_file_close(f);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(closed);
    EXPECT_EQ(read(home / "big.txt"), "old");
    EXPECT_NE(log_text().find("Writing " + (home / "big.txt").string() + " failed"),
              std::string::npos);
}

TEST_F(FilesTest, FailedRenameKeepsTheOldContent) {
    fs::create_directories(home / "taken" / "inside");
    data_file* f = data_file_open_replace("@taken");
    ASSERT_NE(f, nullptr);
    data_file_put_text(f, "x");
    EXPECT_FALSE(data_file_close(f)) << "a folder stands in the way";
    EXPECT_TRUE(fs::is_directory(home / "taken" / "inside"));
}

TEST_F(FilesTest, RenameInHome) {
    write(home / "a.txt", "A");
    write(home / "b.txt", "B");
    EXPECT_TRUE(rename_in_home("@a.txt", "@b.txt"));
    EXPECT_FALSE(fs::exists(home / "a.txt"));
    EXPECT_EQ(read(home / "b.txt"), "A");
    EXPECT_FALSE(rename_in_home("@missing.txt", "@b.txt"));
    EXPECT_EQ(read(home / "b.txt"), "A") << "a missing source costs the target nothing";
    std::string outside = (root / "c.txt").string();
    EXPECT_TRUE(rename_in_home("@b.txt", outside.c_str()));
    EXPECT_EQ(read(root / "c.txt"), "A");
}

TEST_F(FilesTest, FileToStringLimit) {
    std::string bytes(16777216 - 1, 'q');
    bytes[100] = '\0';
    write(data / "just_under", bytes);
    std::string out;
    ASSERT_TRUE(file_to_string("@just_under", &out));
    EXPECT_EQ(out, bytes);
    bytes += 'q';
    write(data / "too_long", bytes);
    EXPECT_FALSE(file_to_string("@too_long", &out));
    EXPECT_TRUE(out.empty());
    EXPECT_NE(log_text().find("File @too_long too long for file_to_string\n"), std::string::npos);
}

TEST_F(FilesTest, FileToStringReadsArchiveMembers) {
    write(data / "zzzz.saf", make_archive({{"m.txt.gz", make_gzip("member text")}}));
    file_index();
    std::string out;
    ASSERT_TRUE(file_to_string("@m.txt", &out));
    EXPECT_EQ(out, "member text");
    EXPECT_FALSE(file_to_string("@absent", &out));
}
