// The demo file itself: headers of every version read, the chain of block lengths, long
// message blocks, erosion and terrain edit blocks, reading ahead of the clock and walking back.
#include "demo_world.h"

namespace {
// A demo built block by block in a string, as a recorder would write it.
struct demo_builder {
    std::string bytes;
    uint32_t previous = 0;
    std::vector<uint32_t> starts; // where each block begins

    explicit demo_builder(int riders, int gate_drop = 1800) {
        bytes =
            "QV06 " + std::to_string(riders) + " 0 3 " + std::to_string(gate_drop) + "\npractice\n";
        for (int i = 0; i < riders; i++)
            bytes += "yz250f(2017)||||\n" + std::to_string(i + 1) + "\nRider " + std::to_string(i) +
                     "\n\n";
    }
    void block(int tic, int type, const std::string& payload) {
        starts.push_back(static_cast<uint32_t>(bytes.size()));
        uint32_t length = static_cast<uint32_t>(payload.size());
        uint8_t head[k_demo_block_head_size];
        demo_block_head_pack({length ^ previous, tic, static_cast<uint8_t>(type)}, head);
        previous = length;
        bytes.append(reinterpret_cast<const char*>(head), sizeof head);
        bytes += payload;
    }
    // A block of states: `count` entries for the riders in turn, tics counting up to the block's.
    void states(int tic, int count, int riders) {
        std::string payload;
        for (int i = 0; i < count; i++) {
            demo_entry e;
            e.rider = i % riders;
            e.tic = tic - (count - 1 - i) / riders * 4;
            for (int b = 0; b < k_compact_state_size; b++)
                e.state.bytes[b] = static_cast<uint8_t>(e.tic + b);
            uint8_t packed[k_demo_entry_size];
            demo_entry_pack(e, packed);
            payload.append(reinterpret_cast<const char*>(packed), sizeof packed);
        }
        block(tic, demo_block_states, payload);
    }
};

using DemoFormat = TempDataTest;

TEST_F(DemoFormat, AHeaderIsWrittenAsLinesAndReadBack) {
    demo_header h;
    h.finish_time = 7680;
    h.finish_laps = 3;
    h.gate_drop_tic = 1800;
    h.track = "practice";
    demo_rider a;
    a.bike = "yz250f(2017)";
    a.descriptor[descriptor_body] = "rider_body-red";
    a.descriptor[descriptor_bike] = "stock";
    a.descriptor[descriptor_wheels] = "";
    a.descriptor[descriptor_head] = "a|b";
    a.number = "1234";
    a.name = "Two\nLines";
    h.riders = {a, a};
    std::string path = (root / "h.qvdemo").string();
    data_file* f = data_file_open(path.c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_TRUE(demo_header_write(f, h));
    data_file_close(f);
    std::string rider_text = "yz250f(2017)|rider_body-red|stock||a b\n1234\nTwo Lines\n\n";
    EXPECT_EQ(read(path), "QV06 2 7680 3 1800\npractice\n" + rider_text + rider_text);

    demo_reader r;
    std::string error;
    ASSERT_TRUE(demo_reader_open(r, path.c_str(), &error)) << error;
    EXPECT_EQ(r.header.version, 6);
    EXPECT_EQ(r.header.finish_time, 7680);
    EXPECT_EQ(r.header.finish_laps, 3);
    EXPECT_EQ(r.header.gate_drop_tic, 1800);
    ASSERT_EQ(r.header.riders.size(), 2u);
    const demo_rider& b = r.header.riders[1];
    EXPECT_EQ(b.bike, "yz250f(2017)");
    EXPECT_EQ(b.descriptor[descriptor_body], "rider_body-red");
    EXPECT_EQ(b.descriptor[descriptor_wheels], "");
    EXPECT_EQ(b.descriptor[descriptor_head], "a b");
    EXPECT_EQ(b.number, "123") << "a number has at most three characters";
    EXPECT_EQ(b.name, "Two Lines");
    EXPECT_EQ(r.header.length, read(path).size());
    EXPECT_TRUE(r.header_damage.empty());
    demo_reader_close(r);
}

TEST_F(DemoFormat, OlderHeadersAndWhatIsNoDemo) {
    struct sample {
        const char* text;
        bool demo;
        int version, laps, gate_drop, riders;
    } samples[] = {
        // Version 5: no name line; further lines up to the empty one are skipped.
        {"QV05 2 0 5\npractice\nrm125|a|b|c|d\n7\nextra\nmore\n\nkx125||||\n8\n\n", true, 5, 5,
         1792, 2},
        {"QV04 1 0\npractice\nrm125||||\n7\n\n", true, 4, 0, 1792, 1},
        {"QV06 1 0 2 1500\r\npractice\r\nrm125||||\r\n7\r\nName\r\n\r\n", true, 6, 2, 1500, 1},
        {"QV03 1 0 2\npractice\n", false, 0, 0, 0, 0},
        {"QV07 1 0 2\npractice\n", false, 0, 0, 0, 0},
        {"QV06 1\npractice\n", false, 0, 0, 0, 0},
        {"QV06 500 0 0\npractice\n", false, 0, 0, 0, 0},
        {"QV06 1 0 0\n", false, 0, 0, 0, 0},
        {"hello\n", false, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0},
    };
    for (const sample& s : samples) {
        SCOPED_TRACE(s.text);
        std::string path = (root / "h.qvdemo").string();
        write(path, s.text);
        demo_reader r;
        std::string error;
        bool opened = demo_reader_open(r, path.c_str(), &error);
        ASSERT_EQ(opened, s.demo) << error;
        if (!opened) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(r.header.version, s.version);
        EXPECT_EQ(r.header.finish_laps, s.laps);
        EXPECT_EQ(r.header.gate_drop_tic, s.gate_drop);
        EXPECT_EQ(r.header.track, "practice");
        ASSERT_EQ(static_cast<int>(r.header.riders.size()), s.riders);
        EXPECT_EQ(r.header.riders[0].number, "7");
        EXPECT_EQ(r.header.riders[0].name, s.version == 6 ? "Name" : "");
        demo_reader_close(r);
    }
    // A header that ends inside its rider blocks keeps the riders read whole.
    std::string path = (root / "h.qvdemo").string();
    write(path, "QV06 3 0 1\npractice\nrm125||||\n1\nA\n\nrm125||||\n2\n");
    demo_reader r;
    std::string error;
    ASSERT_TRUE(demo_reader_open(r, path.c_str(), &error));
    EXPECT_EQ(r.header.riders.size(), 1u);
    EXPECT_NE(r.header_damage.find("rider block 1"), std::string::npos);
    demo_reader_close(r);
}

TEST_F(DemoFormat, EachBlockStoresItsLengthXorThePreviousOne) {
    demo_builder d(10);
    d.states(16, 10, 10); // 440 bytes
    d.states(32, 10, 10); // 440 bytes
    d.states(48, 2, 10);  // 88 bytes
    std::string path = (root / "x.qvdemo").string();
    write(path, d.bytes);
    auto stored = [&](int block) {
        uint8_t head[k_demo_block_head_size];
        std::memcpy(head, d.bytes.data() + d.starts[block], sizeof head);
        return demo_block_head_unpack(head).stored_length;
    };
    EXPECT_EQ(stored(0), 440u);
    EXPECT_EQ(stored(1), 0u) << "440 after 440";
    EXPECT_EQ(stored(2), 440u ^ 88u);
    read_back got;
    ASSERT_TRUE(read_whole(path, &got));
    EXPECT_FALSE(got.damaged) << got.damage;
    ASSERT_EQ(got.states.size(), 22u);
    EXPECT_EQ(got.states[10].tic, 32);
    EXPECT_EQ(got.states[21].rider, 1);
    EXPECT_EQ(got.states[21].tic, 48);
    EXPECT_EQ(got.states[21].state.bytes[5], static_cast<uint8_t>(48 + 5));
}

TEST_F(DemoFormat, ALongMessageShowsItsFirst1023CharactersAndTheNextBlockFollows) {
    demo_builder d(1);
    std::string text(2000, 'm');
    text.replace(1020, 6, "ABCDEF");
    d.states(0, 1, 1);
    d.block(10, demo_block_message, text);
    d.states(16, 1, 1);
    std::string path = (root / "m.qvdemo").string();
    write(path, d.bytes);
    read_back got;
    ASSERT_TRUE(read_whole(path, &got));
    EXPECT_FALSE(got.damaged) << got.damage;
    ASSERT_EQ(got.messages.size(), 1u);
    EXPECT_EQ(got.messages[0].size(), 1023u);
    EXPECT_EQ(got.messages[0].substr(1020), "ABC");
    ASSERT_EQ(got.states.size(), 2u);
    EXPECT_EQ(got.states[1].tic, 16);
}

TEST_F(DemoFormat, ErosionAndTerrainEditBlocksAreCheckedAndAnEditIsAppliedOnce) {
    demo_builder d(1);
    d.states(0, 1, 1);
    d.block(4, demo_block_erode, "erode 512");
    std::string edit(17, '\0');
    edit[0] = 1;
    d.block(8, demo_block_terrain_edit, edit);
    d.states(16, 1, 1);
    std::string path = (root / "e.qvdemo").string();
    write(path, d.bytes);
    read_back got;
    demo_reader r;
    std::string error;
    ASSERT_TRUE(demo_reader_open(r, path.c_str(), &error));
    demo_reader_tic(r, 100, got.sink());
    ASSERT_EQ(got.erosion, std::vector<int>{512});
    EXPECT_EQ(got.edits, 1);
    // Walking back and reading again never applies an edit twice.
    ASSERT_TRUE(demo_reader_rewind(r, 0));
    demo_reader_tic(r, 100, got.sink());
    EXPECT_EQ(got.edits, 1);
    EXPECT_EQ(got.erosion.size(), 2u);
    EXPECT_EQ(got.states.size(), 4u);
    EXPECT_FALSE(got.damaged) << got.damage;
    demo_reader_close(r);

    // What is not an erosion command or an edit record is said to be damage, and skipped.
    demo_builder bad(1);
    bad.states(0, 1, 1);
    bad.block(4, demo_block_erode, "erode fast");
    bad.block(8, demo_block_terrain_edit, edit + "x");
    write(path, bad.bytes);
    read_back also;
    ASSERT_TRUE(read_whole(path, &also));
    EXPECT_TRUE(also.erosion.empty());
    EXPECT_EQ(also.edits, 0);
    EXPECT_TRUE(also.damaged);
    EXPECT_EQ(also.damage_offset, bad.starts[1]);
}

TEST_F(DemoFormat, BlocksAreReadUpTo64TicsAheadOfTheClockAndAt128ATic) {
    demo_builder d(1);
    for (int tic = 0; tic <= 1600; tic += 16) d.states(tic, 1, 1);
    std::string path = (root / "a.qvdemo").string();
    write(path, d.bytes);
    demo_reader r;
    std::string error;
    ASSERT_TRUE(demo_reader_open(r, path.c_str(), &error));
    read_back got;
    demo_reader_tic(r, 0, got.sink());
    ASSERT_EQ(got.states.size(), 5u);
    EXPECT_EQ(got.states.back().tic, 64);
    EXPECT_EQ(r.read_to, 64);
    demo_reader_tic(r, 100, got.sink());
    EXPECT_EQ(got.states.back().tic, 160);
    // Walking back from tic 1000 to 500 starts again at a block at least 64 tics before it.
    demo_reader_tic(r, 1000, got.sink());
    ASSERT_TRUE(demo_reader_rewind(r, 500));
    EXPECT_EQ(r.read_to, 500);
    size_t before = got.states.size();
    demo_reader_tic(r, 500, got.sink());
    ASSERT_GT(got.states.size(), before);
    EXPECT_LE(got.states[before].tic, 436);
    EXPECT_GT(got.states[before].tic, 436 - 16);
    EXPECT_EQ(got.states.back().tic, 560);
    demo_reader_close(r);

    // However many blocks fall due, one tic reads 128 of them.
    demo_builder many(1);
    for (int i = 0; i < 200; i++) many.states(0, 1, 1);
    write(path, many.bytes);
    read_back all;
    ASSERT_TRUE(demo_reader_open(r, path.c_str(), &error));
    demo_reader_tic(r, 0, all.sink());
    EXPECT_EQ(all.states.size(), 128u);
    demo_reader_tic(r, 0, all.sink());
    EXPECT_EQ(all.states.size(), 200u);
    demo_reader_close(r);
}

TEST_F(DemoFormat, EntriesForRidersTheHeaderDoesNotHaveAreSkipped) {
    demo_builder d(2);
    d.states(0, 6, 3); // riders 0, 1, 2 in turn; the header has two
    std::string path = (root / "r.qvdemo").string();
    write(path, d.bytes);
    read_back got;
    ASSERT_TRUE(read_whole(path, &got));
    EXPECT_EQ(got.states.size(), 4u);
    for (const demo_entry& e : got.states) EXPECT_LT(e.rider, 2);
    EXPECT_TRUE(got.damaged);
    EXPECT_EQ(got.damage_offset, d.starts[0]);
}
} // namespace
