// Every message of the protocol, built and read, against its byte layout written out here; the
// lengths each message type may not have; the password proof against known digests.
#include "net/net_wire.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
using bytes = std::vector<uint8_t>;

bytes of(const datagram& d) { return bytes(d.bytes, d.bytes + d.length); }

bytes joined(std::initializer_list<bytes> parts) {
    bytes out;
    for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

bytes text(const char* t) { return bytes(t, t + strlen(t)); }

compact_state sample_state() {
    compact_state s;
    for (int i = 0; i < k_compact_state_size; i++) s.bytes[i] = static_cast<uint8_t>(200 - i);
    return s;
}

bytes state_bytes() {
    compact_state s = sample_state();
    return bytes(s.bytes, s.bytes + k_compact_state_size);
}

client_message read_client(const bytes& b) {
    client_message m;
    EXPECT_TRUE(parse_client_message(b.data(), static_cast<int>(b.size()), &m));
    return m;
}

server_message read_server(const bytes& b) {
    server_message m;
    EXPECT_TRUE(parse_server_message(b.data(), static_cast<int>(b.size()), &m));
    return m;
}

TEST(wire, TheClientsMessagesHaveTheirLayouts) {
    const bytes contact = {0, 1, 0,    0,    0,    0,    0, 0, 0, 34, 0,
                           0, 0, 0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0};
    EXPECT_EQ(of(build_contact(true, 0x11223344)), contact);
    client_message m = read_client(contact);
    EXPECT_EQ(m.type, msg_contact);
    EXPECT_TRUE(m.password);
    EXPECT_EQ(m.value, 34);
    EXPECT_EQ(m.nonce, 0x11223344u);

    const bytes info = joined(
        {{3, 5, 0, 0, 0, 0xd4, 0xc3, 0xb2, 0xa1, 4, 3, 2, 1, 0, 0, 0, 0, 0x0d, 0x0c, 0x0b, 0x0a},
         bytes(20, 0),
         text("yz|a|b|c|d\n7\nAl")});
    EXPECT_EQ(of(build_client_info(5, 0xa1b2c3d4, 0x01020304, 0x0a0b0c0d, "yz|a|b|c|d\n7\nAl")),
              info);
    m = read_client(info);
    EXPECT_EQ(m.slot, 5);
    EXPECT_EQ(m.client_id, 0xa1b2c3d4u);
    EXPECT_EQ(m.proof, 0x01020304u);
    EXPECT_EQ(m.nonce, 0x0a0b0c0du);
    EXPECT_EQ(wire_text(m.data, m.data_length), "yz|a|b|c|d\n7\nAl");

    const bytes track_ack = {5, 9, 0, 0, 0, 1, 0, 0, 0, 0x2a, 0, 0, 0};
    EXPECT_EQ(of(build_client_values(msg_track_ack, 9, 1, 1, 42)), track_ack);
    EXPECT_EQ(read_client(track_ack).race, 42);

    const bytes bike_ack = {7, 9, 0, 0, 0, 1, 0, 0, 0, 0x2a, 0, 0, 0, 3, 0, 0, 0};
    EXPECT_EQ(of(build_client_values(msg_bike_ack, 9, 1, 2, 42, 3)), bike_ack);
    EXPECT_EQ(read_client(bike_ack).value, 3);

    const bytes ready = {9, 9, 0, 0, 0, 1, 0, 0, 0, 0x2a, 0, 0, 0};
    EXPECT_EQ(of(build_client_values(msg_ready, 9, 1, 1, 42)), ready);

    const bytes state = joined(
        {{11, 2, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 6, 0, 0, 0, 0x10, 0x27, 0, 0, 0x0c, 0x27, 0, 0},
         state_bytes()});
    EXPECT_EQ(of(build_state(2, 0xffffffff, 6, 10000, 9996, sample_state())), state);
    m = read_client(state);
    EXPECT_EQ(m.race, 6);
    EXPECT_EQ(m.value, 10000);
    EXPECT_EQ(m.tic, 9996);
    EXPECT_EQ(bytes(m.data, m.data + m.data_length), state_bytes());

    const bytes restart_request = {13, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(of(build_client_values(msg_restart_request, 2, 1, 1, 1)), restart_request);
    const bytes restart_ack = {14, 2, 0, 0, 0, 1, 0, 0, 0, 8, 0, 0, 0};
    EXPECT_EQ(of(build_client_values(msg_restart_ack, 2, 1, 1, 8)), restart_ack);
    const bytes disconnect = {15, 2, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(of(build_client_values(msg_disconnect, 2, 1, 0)), disconnect);

    const uint8_t chat[] = {'h', 'i'};
    const bytes reliable = {17, 2, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0, 19, 'h', 'i'};
    EXPECT_EQ(of(build_client_reliable(2, 1, 4, sub_text, chat, 2)), reliable);
    m = read_client(reliable);
    EXPECT_EQ(m.value, 4);
    EXPECT_EQ(m.sub_type, sub_text);
    EXPECT_EQ(wire_text(m.data, m.data_length), "hi");

    const bytes ack = {18, 2, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0};
    EXPECT_EQ(of(build_client_values(msg_ack, 2, 1, 1, 4)), ack);
    EXPECT_EQ(read_client(ack).value, 4);
}

TEST(wire, TheServersMessagesHaveTheirLayouts) {
    EXPECT_EQ(of(build_server_byte(msg_server_full)), bytes{1});
    EXPECT_EQ(of(build_server_byte(msg_server_disconnect)), bytes{15});

    const bytes reply = {2, 3, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 6, 0, 0, 0};
    EXPECT_EQ(of(build_connect_reply(3, 0x12345678, 6)), reply);
    server_message m = read_server(reply);
    EXPECT_EQ(m.slot, 3);
    EXPECT_EQ(m.client_id, 0x12345678u);
    EXPECT_EQ(m.version, 6);

    uint8_t digest[20];
    for (int i = 0; i < 20; i++) digest[i] = static_cast<uint8_t>(i + 1);
    const bytes info = joined({{4, 2, 0, 0, 0, 0, 0x78, 0, 0, 3, 0, 0, 0, 0, 7, 0, 0},
                               bytes(digest, digest + 20),
                               text("practice")});
    EXPECT_EQ(of(build_race_info(2, 30720, 3, 1792, digest, "practice")), info);
    m = read_server(info);
    EXPECT_EQ(m.race, 2);
    EXPECT_EQ(m.finish_time, 30720);
    EXPECT_EQ(m.finish_laps, 3);
    EXPECT_EQ(m.gate_drop, 1792);
    EXPECT_EQ(bytes(m.digest, m.digest + 20), bytes(digest, digest + 20));
    EXPECT_EQ(wire_text(m.data, m.data_length), "practice");

    const bytes rider = joined({{6, 2, 0, 0, 0, 9, 0, 0, 0}, text("rm125\n1\nBo")});
    EXPECT_EQ(of(build_rider(2, 9, "rm125\n1\nBo")), rider);
    EXPECT_EQ(read_server(rider).slot, 9);
    const bytes start = joined({{8, 2, 0, 0, 0, 160, 0, 0, 0}, text("x")});
    EXPECT_EQ(of(build_start(2, 160, "x")), start);
    EXPECT_EQ(read_server(start).slot, 160);

    const bytes time = {10, 2, 0, 0, 0, 0x00, 0x02, 0, 0, 0xf0, 0x01, 0, 0};
    EXPECT_EQ(of(build_time(2, 512, 496)), time);
    m = read_server(time);
    EXPECT_EQ(m.server_tic, 512);
    EXPECT_EQ(m.echo_tic, 496);

    datagram d = build_states_header(2, 512, 496);
    put_state_entry(d, state_entry{7, 300, 508, sample_state()});
    states_set_count(d, 1);
    const bytes states = joined({{11, 2, 0, 0, 0, 0x00, 0x02, 0,    0,    0xf0, 0x01, 0, 0,
                                  1,  0, 0, 0, 7, 0,    0x2c, 0x01, 0xfc, 0x01, 0,    0},
                                 state_bytes()});
    EXPECT_EQ(of(d), states);
    m = read_server(states);
    EXPECT_EQ(m.count, 1);
    ASSERT_EQ(m.data_length, k_state_entry_size);
    state_entry e = get_state_entry(m.data);
    EXPECT_EQ(e.slot, 7);
    EXPECT_EQ(e.ping, 300);
    EXPECT_EQ(e.tic, 508);
    EXPECT_EQ(bytes(e.state.bytes, e.state.bytes + k_compact_state_size), state_bytes());

    EXPECT_EQ(of(build_server_value(msg_value, 77)), (bytes{13, 77, 0, 0, 0}));
    EXPECT_EQ(of(build_server_value(msg_restart, 3)), (bytes{14, 3, 0, 0, 0}));
    EXPECT_EQ(read_server(bytes{14, 3, 0, 0, 0}).race, 3);
    EXPECT_EQ(of(build_server_value(msg_server_ack, 9)), (bytes{18, 9, 0, 0, 0}));
    EXPECT_EQ(of(build_error("Go")), (bytes{16, 'G', 'o'}));

    const uint8_t payload[] = {'o', 'k'};
    const bytes reliable = {17, 5, 0, 0, 0, 24, 'o', 'k'};
    EXPECT_EQ(of(build_server_reliable(5, sub_command, payload, 2)), reliable);
    m = read_server(reliable);
    EXPECT_EQ(m.value, 5);
    EXPECT_EQ(m.sub_type, sub_command);

    const bytes redirect = joined({{25, 0x44, 0x33, 0x22, 0x11}, text("b:1")});
    EXPECT_EQ(of(build_redirect(0x11223344, "b:1")), redirect);
    EXPECT_EQ(read_server(redirect).nonce, 0x11223344u);
}

TEST(wire, TheReliablePayloadsHaveTheirLayouts) {
    datagram d;
    put_client_timing(d, client_timing{2, 12, 4000});
    EXPECT_EQ(of(d), (bytes{2, 0, 0, 0, 12, 0, 0, 0, 0xa0, 0x0f, 0, 0}));
    client_timing t;
    ASSERT_TRUE(parse_client_timing(d.bytes, d.length, &t));
    EXPECT_EQ(t.crossing, 12);
    EXPECT_EQ(t.tic, 4000);
    EXPECT_FALSE(parse_client_timing(d.bytes, 11, &t));

    const bytes list = {2,    0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 3,    0, 0, 0,
                        0x10, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 0x20, 0, 0, 0};
    int32_t race = 0;
    int count = 0;
    const uint8_t* entries = nullptr;
    ASSERT_TRUE(
        parse_timing_list(list.data(), static_cast<int>(list.size()), &race, &count, &entries));
    EXPECT_EQ(race, 2);
    ASSERT_EQ(count, 2);
    timing_entry second = get_timing_entry(entries + k_timing_entry_size);
    EXPECT_EQ(second.slot, 4);
    EXPECT_EQ(second.crossing, 5);
    EXPECT_EQ(second.tic, 0x20);
    // A count the payload does not carry is refused whole.
    EXPECT_FALSE(
        parse_timing_list(list.data(), static_cast<int>(list.size()) - 1, &race, &count, &entries));

    bytes edit = joined({{1}, bytes(16, 7)});
    EXPECT_TRUE(terrain_edit_well_formed(edit.data(), 17));
    edit[0] = 2;
    EXPECT_FALSE(terrain_edit_well_formed(edit.data(), 17));
    edit[0] = 1;
    EXPECT_FALSE(terrain_edit_well_formed(edit.data(), 16));
    edit.resize(17 + 4 * 64, 0);
    EXPECT_FALSE(terrain_edit_well_formed(edit.data(), 17 + 4 * 64)); // 65 points
    EXPECT_TRUE(terrain_edit_well_formed(edit.data(), 17 + 4 * 63));
}

// Every type: one byte short of its shortest and one beyond its longest is not a message.
TEST(wire, MessagesOfALengthTheirTypeNeverHasAreRefused) {
    struct sizes {
        int type;
        int shortest;
        int longest;
    };
    const sizes client[] = {{0, 21, 21}, {3, 41, 1023}, {5, 13, 13},  {7, 17, 17},
                            {9, 13, 13}, {11, 60, 60},  {13, 13, 13}, {14, 13, 13},
                            {15, 9, 9},  {17, 14, 480}, {18, 13, 13}};
    for (const sizes& s : client) {
        bytes b(static_cast<size_t>(s.longest + 1), 0);
        b[0] = static_cast<uint8_t>(s.type);
        client_message m;
        EXPECT_TRUE(parse_client_message(b.data(), s.shortest, &m)) << s.type;
        EXPECT_TRUE(parse_client_message(b.data(), s.longest, &m)) << s.type;
        EXPECT_FALSE(parse_client_message(b.data(), s.shortest - 1, &m)) << s.type;
        EXPECT_FALSE(parse_client_message(b.data(), s.longest + 1, &m)) << s.type;
    }
    const sizes server[] = {{1, 1, 1},    {2, 13, 13},  {4, 38, 1023},  {6, 9, 1023},
                            {8, 9, 1023}, {10, 13, 13}, {11, 17, 1023}, {13, 5, 5},
                            {14, 5, 5},   {15, 1, 1},   {16, 1, 1023},  {17, 6, 1023},
                            {18, 5, 5},   {25, 6, 133}};
    for (const sizes& s : server) {
        bytes b(static_cast<size_t>(s.longest + 1), 'a');
        b[0] = static_cast<uint8_t>(s.type);
        server_message m;
        EXPECT_TRUE(parse_server_message(b.data(), s.shortest, &m)) << s.type;
        EXPECT_TRUE(parse_server_message(b.data(), s.longest, &m)) << s.type;
        if (s.shortest > 1) {
            EXPECT_FALSE(parse_server_message(b.data(), s.shortest - 1, &m)) << s.type;
        }
        EXPECT_FALSE(parse_server_message(b.data(), s.longest + 1, &m)) << s.type;
    }
    // Types neither side sends.
    for (int type : {2, 4, 6, 8, 10, 12, 16, 19, 25, 255}) {
        bytes b(64, 0);
        b[0] = static_cast<uint8_t>(type);
        client_message m;
        EXPECT_FALSE(parse_client_message(b.data(), 64, &m)) << type;
    }
    for (int type : {0, 3, 5, 7, 9, 12, 19, 255}) {
        bytes b(64, 0);
        b[0] = static_cast<uint8_t>(type);
        server_message m;
        EXPECT_FALSE(parse_server_message(b.data(), 64, &m)) << type;
    }
}

// The digest of the password followed by the client id's four bytes; the message carries digest
// bytes 3, 2, 1, 0. "message digest" and the alphabet are published digests.
TEST(wire, ThePasswordProofIsTheDigestOfPasswordAndIdReversed) {
    const uint32_t gest = 'g' | 'e' << 8 | 's' << 16 | static_cast<uint32_t>('t') << 24;
    // RIPEMD-160("message digest") = 5d0689ef 49d2...
    datagram d = build_client_info(0, gest, password_proof("message di", gest), 0, "");
    EXPECT_EQ(bytes(d.bytes + 9, d.bytes + 13), (bytes{0xef, 0x89, 0x06, 0x5d}));
    const uint32_t wxyz = 'w' | 'x' << 8 | 'y' << 16 | static_cast<uint32_t>('z') << 24;
    // RIPEMD-160("abcdefghijklmnopqrstuvwxyz") = f71c2710 9c69...
    d = build_client_info(0, wxyz, password_proof("abcdefghijklmnopqrstuv", wxyz), 0, "");
    EXPECT_EQ(bytes(d.bytes + 9, d.bytes + 13), (bytes{0x10, 0x27, 0x1c, 0xf7}));
    EXPECT_NE(password_proof("abcdefghijklmnopqrstuv", wxyz),
              password_proof("abcdefghijklmnopqrstuv", wxyz + 1));
}

TEST(wire, ADescriptorReadsInBothFormsAndFallsBackWhenTooLong) {
    rider_descriptor d = parse_descriptor("crf250|body|bike|wheels|head\n12\nAnna Bell");
    EXPECT_EQ(d.bike, "crf250");
    EXPECT_EQ(d.fields[0], "body");
    EXPECT_EQ(d.fields[3], "head");
    EXPECT_EQ(d.number, "12");
    EXPECT_EQ(d.name, "Anna Bell");
    EXPECT_EQ(descriptor_text(d, 982), "crf250|body|bike|wheels|head\n12\nAnna Bell");
    EXPECT_EQ(descriptor_text(d, 20), "crf250\n12\nAnna Bell");
    d = parse_descriptor("rm125\n7\nBo");
    EXPECT_EQ(d.bike, "rm125");
    EXPECT_EQ(d.fields[0], "");
    EXPECT_EQ(d.number, "7");
    EXPECT_EQ(d.name, "Bo");
    d = parse_descriptor("");
    EXPECT_EQ(d.bike, "");
}
} // namespace
