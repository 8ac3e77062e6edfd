// The game's race-server client against a scripted server on loopback: joining step by step,
// the messages each state accepts, the clock and ping, the reliable channel, the server's text
// commands, what the client reports while racing, the fake network, files and chat, a server that
// falls silent, and datagrams of every kind in every state.
#include "net/net.h"
#include "net/net_reliable.h"
#include "net/net_wire.h"
#include "net_test_message.h"
#include "net/udp.h"

#include "race/race_world.h"

#include "bike/bike.h"
#include "common/message.h"
#include "common/random.h"
#include "demo/demo.h"
#include "demo/demo_reader.h"
#include "terrain/erosion.h"
#include "terrain/terrain.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

namespace {

class client_link : public race_world {
  protected:
    int server = -1;
    int port = 0;
    double now = 1000.25;
    uint8_t digest[20] = {};

    void SetUp() override {
        race_world::SetUp();
        net_init();
        server = udp_open();
        ASSERT_TRUE(udp_bind(server, 0));
        port = udp_local_port(server);
        ASSERT_TRUE(track_reset("practice", false));
        std::copy(track_digest(), track_digest() + 20, digest);
        messages_clear();
    }
    void TearDown() override {
        net_shutdown();
        demo_shutdown();
        udp_close(server);
        race_world::TearDown();
    }

    std::string address() const { return "127.0.0.1:" + std::to_string(port); }
    bool connect(const net_connect_params& p = {}) {
        return net_connect(address().c_str(), p, now);
    }

    // Everything the client sent since the last call, read.
    std::vector<sent_message> sent() {
        std::vector<sent_message> out;
        uint8_t buffer[2048];
        udp_address from;
        for (;;) {
            int n = udp_receive(server, buffer, sizeof buffer, &from);
            if (n < 0) break;
            out.emplace_back(wire_bytes(buffer, buffer + n));
        }
        return out;
    }
    std::vector<sent_message> sent_of(int type) {
        std::vector<sent_message> out;
        for (const sent_message& s : sent())
            if (s.m.type == type) out.push_back(s);
        return out;
    }

    // Where the client sends from, read off its contact.
    udp_address client_address() {
        udp_address client;
        uint8_t buffer[64];
        for (int tries = 0; tries < 100000; tries++)
            if (udp_receive(server, buffer, sizeof buffer, &client) >= 0) break;
        return client;
    }
    void deliver(const datagram& d) { net_handle_datagram(d.bytes, d.length, now); }
    // Through the sockets, as a server sends it: the client takes it at its next step.
    udp_address client_at;
    void from_server(const datagram& d) { udp_send(server, d.bytes, d.length, client_at); }
    void step(int tics = 1) {
        for (int i = 0; i < tics; i++) {
            now += k_tic_length;
            net_tic(now);
        }
    }
    // The world's tics as the frame loop runs them: the network first.
    void ride(int tics) {
        for (int i = 0; i < tics; i++) {
            now += k_tic_length;
            net_tic(now);
            race_world_tic();
        }
    }

    static constexpr int k_slot = 3;
    static constexpr uint32_t k_id = 0x55aa;
    static constexpr int k_race = 7;

    datagram race_info(int race = k_race, const char* track = "practice") {
        return build_race_info(race, 0, 2, 256, digest, track);
    }
    // Connected, identified, the track acknowledged: state 5.
    void up_to_track() {
        ASSERT_TRUE(connect());
        deliver(build_connect_reply(k_slot, k_id, 6));
        step(); // the rider's description goes out
        deliver(race_info());
        ASSERT_EQ(net_state(), 5);
    }
    // A race with one other rider in slot 1, the local rider racing in its own slot, and the
    // clock at the server's tic 400.
    void racing() {
        up_to_track();
        deliver(build_rider(k_race, 1, "rm125|||| \n42\nBob"));
        deliver(build_start(k_race, k_slot, "yz250f(2017)\n999\nJoe Motocross"));
        deliver(build_time(k_race, 400, 0));
        ASSERT_EQ(net_state(), 11);
        sent();
    }
    datagram reliable(int32_t sequence, int sub_type, const std::string& payload) {
        return build_server_reliable(sequence, sub_type,
                                     reinterpret_cast<const uint8_t*>(payload.data()),
                                     static_cast<int>(payload.size()));
    }
    bool shown(const std::string& text) {
        for (int i = 0; i < 40; i++)
            if (message_recent(i).find(text) != std::string::npos) return true;
        return false;
    }
    // A fresh connection brought to a state: 0 contacting, 3 identifying, 5 the track
    // acknowledged, 7 a rider acknowledged, 9 ready, 11 racing, 14 restarting, 15 ending.
    void reach(int state) {
        ASSERT_TRUE(connect());
        if (state != 0) deliver(build_connect_reply(k_slot, k_id, state == 15 ? 5 : 6));
        if (state >= 5 && state != 15) deliver(race_info());
        if (state >= 7 && state != 15) deliver(build_rider(k_race, 1, "rm125\n42\nBob"));
        if (state >= 9 && state != 15) deliver(build_start(k_race, k_slot, ""));
        if (state >= 11 && state != 15) deliver(build_time(k_race, 400, 0));
        if (state == 14) deliver(build_server_value(msg_restart, k_race + 1));
        ASSERT_EQ(net_state(), state);
        sent();
    }
};

TEST_F(client_link, JoinsStepByStepAndRacesTheServersLineup) {
    ASSERT_TRUE(connect());
    std::vector<sent_message> s = sent();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.type, msg_contact);
    EXPECT_EQ(s[0].m.value, 34);
    EXPECT_FALSE(s[0].m.password);
    EXPECT_TRUE(shown("Contacting server"));

    deliver(build_connect_reply(k_slot, k_id, 6));
    EXPECT_EQ(net_state(), 3);
    step();
    s = sent_of(msg_client_info);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.slot, k_slot);
    EXPECT_EQ(s[0].m.client_id, k_id);
    EXPECT_EQ(s[0].m.proof, 0u) << "no password";
    EXPECT_EQ(wire_text(s[0].m.data, s[0].m.data_length), "yz250f(2017)||||\n999\nJoe Motocross");

    deliver(race_info());
    step();
    s = sent_of(msg_track_ack);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.race, k_race);

    deliver(build_rider(k_race, 1, "rm125|a|b|c|d\n42\nBob"));
    EXPECT_EQ(net_state(), 7);
    step();
    s = sent_of(msg_bike_ack);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.value, 1);

    deliver(build_start(k_race, k_slot, "yz250f(2017)\n999\nJoe Motocross"));
    EXPECT_EQ(net_state(), 9);
    // The race reset with the server's lineup: the local rider in its slot, Bob in slot 1.
    EXPECT_EQ(race_slot(k_slot).kind, rider_local);
    ASSERT_GE(race_slot(k_slot).bike, 0);
    EXPECT_EQ(race_slot(1).kind, rider_remote);
    ASSERT_GE(race_slot(1).bike, 0);
    EXPECT_STREQ(race_slot(1).name, "Bob");
    EXPECT_STREQ(race_slot(1).number, "42");
    EXPECT_STREQ(race_slot(1).bike_name, "rm125");
    EXPECT_STREQ(race_slot(1).descriptor[descriptor_body], "a");
    EXPECT_EQ(race_slot(0).bike, -1);
    EXPECT_TRUE(race_params().online);
    EXPECT_FALSE(race_params().watching);
    EXPECT_EQ(race_gate_drop_tic(), 256);
    EXPECT_EQ(net_take_started_slot(), k_slot);
    EXPECT_EQ(net_take_started_slot(), -1);
    EXPECT_FALSE(net_in_warmup());
    step();
    EXPECT_EQ(sent_of(msg_ready).size(), 1u);
    EXPECT_FALSE(net_server_sent_tic());

    deliver(build_time(k_race, 400, 0));
    EXPECT_EQ(net_state(), 11);
    EXPECT_TRUE(net_server_sent_tic());
    EXPECT_EQ(race_clock(), 400);
    EXPECT_TRUE(shown("2 laps"));
}

TEST_F(client_link, NoContactWithModifiedShapeFilesOrAnUnknownHost) {
    net_connect_params p;
    p.fixed_shapes_match = false;
    EXPECT_FALSE(connect(p));
    EXPECT_TRUE(shown("Fixed file mismatch"));
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(sent().empty());
    EXPECT_FALSE(net_connect("no-such-host.invalid", net_connect_params{}, now));
    EXPECT_TRUE(shown("Can't resolve address"));
    EXPECT_FALSE(net_connected());
}

TEST_F(client_link, APasswordIsProvedWithTheClientId) {
    net_connect_params p;
    p.password = "pit lane";
    ASSERT_TRUE(connect(p));
    std::vector<sent_message> s = sent();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_TRUE(s[0].m.password);
    deliver(build_connect_reply(k_slot, k_id, 6));
    step();
    s = sent_of(msg_client_info);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.proof, password_proof("pit lane", k_id));
}

TEST_F(client_link, EachStepIsSentAgainOncePerSecondUntilAnswered) {
    ASSERT_TRUE(connect());
    sent();
    step(100);
    EXPECT_TRUE(sent_of(msg_contact).empty());
    step(30);
    EXPECT_EQ(sent_of(msg_contact).size(), 1u);
    deliver(build_connect_reply(k_slot, k_id, 6));
    step();
    EXPECT_EQ(sent_of(msg_client_info).size(), 1u);
    step(120);
    EXPECT_TRUE(sent_of(msg_client_info).empty());
    step(10);
    EXPECT_EQ(sent_of(msg_client_info).size(), 1u);
}

TEST_F(client_link, AServerOfAnotherVersionEndsTheJoining) {
    ASSERT_TRUE(connect());
    deliver(build_connect_reply(k_slot, k_id, 5));
    EXPECT_TRUE(shown("Server version does not match client version"));
    EXPECT_EQ(net_state(), 15);
    step();
    std::vector<sent_message> s = sent_of(msg_disconnect);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.slot, k_slot);
    EXPECT_EQ(s[0].m.client_id, k_id);
    deliver(build_server_byte(msg_server_disconnect));
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(shown("Disconnected"));
}

TEST_F(client_link, AnUnknownTrackEndsTheJoining) {
    ASSERT_TRUE(connect());
    deliver(build_connect_reply(k_slot, k_id, 6));
    deliver(race_info(k_race, "nowhere"));
    EXPECT_TRUE(shown("Can't find track 'nowhere'"));
    EXPECT_EQ(net_state(), 15);
}

// A race the client could not run ends the joining with the reason, and the client says it
// leaves; the longest race a server may send is run.
TEST_F(client_link, ARaceInfoOutsideTheClientsBoundsEndsTheJoiningAndARaceAtTheLimitsIsRun) {
    const int most = k_race_info_tics_most, laps = k_race_info_laps_most;
    struct race_values {
        int finish_time, laps, gate_drop;
    };
    // The first: a finish time, laps and gate drop whose sums overflowed the timing once the race
    // ran.
    for (race_values bad :
         {race_values{1701986304, 2002743905, 1818584424}, race_values{-1, 2, 256},
          race_values{most + 1, 0, 256}, race_values{0, -1, 256}, race_values{0, laps + 1, 256},
          race_values{0, 2, -1}, race_values{0, 2, most + 1}}) {
        ASSERT_TRUE(connect());
        deliver(build_connect_reply(k_slot, k_id, 6));
        step();
        messages_clear();
        deliver(
            build_race_info(k_race, bad.finish_time, bad.laps, bad.gate_drop, digest, "practice"));
        EXPECT_TRUE(shown("Server's race can't be run"))
            << bad.finish_time << " " << bad.laps << " " << bad.gate_drop;
        EXPECT_EQ(net_state(), 15) << bad.finish_time << " " << bad.laps << " " << bad.gate_drop;
        sent();
        step();
        std::vector<sent_message> s = sent();
        ASSERT_EQ(s.size(), 1u) << "no more client info, only the leaving";
        EXPECT_EQ(s[0].m.type, msg_disconnect);
    }
    // The longest race, gate drop and laps a server may send are raced, past the time's end.
    ASSERT_TRUE(connect());
    deliver(build_connect_reply(k_slot, k_id, 6));
    step();
    deliver(build_race_info(k_race, most, laps, most, digest, "practice"));
    ASSERT_EQ(net_state(), 5);
    deliver(build_rider(k_race, 1, "rm125\n1\nBob"));
    deliver(build_start(k_race, k_slot, ""));
    deliver(build_time(k_race, 2 * most + 10, 0));
    ASSERT_EQ(net_state(), 11);
    ride(8);
    EXPECT_EQ(net_state(), 11);
}

TEST_F(client_link, ATrackThatDiffersFromTheServersEndsTheJoining) {
    ASSERT_TRUE(connect());
    deliver(build_connect_reply(k_slot, k_id, 6));
    digest[0] ^= 1;
    deliver(race_info());
    deliver(build_start(k_race, k_slot, ""));
    EXPECT_TRUE(shown("Client track modified - does not match server's track (practice)"));
    EXPECT_EQ(net_state(), 15);
}

TEST_F(client_link, MessagesOutOfStateOrForAnotherRaceChangeNothing) {
    ASSERT_TRUE(connect());
    deliver(race_info()); // before the connect reply
    deliver(build_start(k_race, k_slot, ""));
    EXPECT_EQ(net_state(), 0);
    deliver(build_connect_reply(k_slot, k_id, 6));
    deliver(build_connect_reply(9, 1, 6)); // a second reply
    deliver(build_time(k_race, 400, 0));
    EXPECT_EQ(net_state(), 3);
    deliver(race_info());
    deliver(build_rider(k_race + 1, 1, "rm125\n1\nX")); // another race
    deliver(build_rider(k_race, 160, "rm125\n1\nX"));
    deliver(build_start(k_race + 1, k_slot, ""));
    EXPECT_EQ(net_state(), 5);
    deliver(build_server_value(msg_restart, k_race + 1)); // only while racing
    EXPECT_EQ(net_state(), 5);
    step();
    std::vector<sent_message> s = sent_of(msg_track_ack);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.back().m.slot, k_slot) << "the second reply did not move the client";
}

TEST_F(client_link, RidersAreTakenOnlyInRisingSlotOrder) {
    up_to_track();
    deliver(build_rider(k_race, 4, "rm125\n4\nFour"));
    deliver(build_rider(k_race, 2, "rm125\n2\nTwo")); // after 4: too late
    deliver(build_rider(k_race, 4, "cr250\n4\nAgain"));
    deliver(build_rider(k_race, 6, "rm125\n6\nSix"));
    deliver(build_start(k_race, k_slot, ""));
    EXPECT_EQ(race_slot(2).bike, -1);
    EXPECT_STREQ(race_slot(4).name, "Four");
    EXPECT_STREQ(race_slot(6).name, "Six");
}

// A server may name every rider of the race, the local rider's slot among them: each is
// acknowledged in turn, past the local slot, and the start makes that slot the local rider's.
TEST_F(client_link, ARiderListThatNamesTheLocalSlotIsAcknowledgedPastIt) {
    up_to_track();
    deliver(build_rider(k_race, 1, "rm125\n42\nBob"));
    deliver(build_rider(k_race, k_slot, "yz250f(2017)\n999\nJoe Motocross"));
    EXPECT_EQ(net_state(), 7);
    sent();
    step();
    std::vector<sent_message> s = sent_of(msg_bike_ack);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.value, k_slot);
    deliver(build_rider(k_race, 5, "cr250\n5\nEve"));
    step();
    s = sent_of(msg_bike_ack);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.value, 5) << "the join goes on past the local slot";
    deliver(build_start(k_race, k_slot, ""));
    ASSERT_EQ(net_state(), 9);
    EXPECT_EQ(race_slot(k_slot).kind, rider_local);
    ASSERT_GE(race_slot(k_slot).bike, 0);
    EXPECT_EQ(race_slot(1).kind, rider_remote);
    EXPECT_STREQ(race_slot(1).name, "Bob");
    EXPECT_EQ(race_slot(5).kind, rider_remote);
    EXPECT_STREQ(race_slot(5).name, "Eve");
    int bikes = 0, local = 0;
    for (int slot = 0; slot < k_max_riders; slot++) {
        bikes += race_slot(slot).bike >= 0;
        local += race_slot(slot).bike >= 0 && race_slot(slot).kind == rider_local;
    }
    EXPECT_EQ(bikes, 3);
    EXPECT_EQ(local, 1) << "no second rider for the local slot";
}

TEST_F(client_link, AWatchingPlayerRidesItsOwnSlotAndIsNotTimed) {
    up_to_track();
    deliver(build_rider(k_race, 1, "rm125\n1\nBob"));
    deliver(build_start(k_race, k_no_slot, ""));
    EXPECT_TRUE(net_in_warmup());
    EXPECT_TRUE(race_params().watching);
    EXPECT_EQ(race_slot(k_slot).kind, rider_local);
    deliver(build_time(k_race, 400, 0));
    ride(8);
    EXPECT_TRUE(sent_of(msg_state).empty()) << "a watcher sends no states";
    ASSERT_EQ(running_order_count(), 1);
    EXPECT_EQ(running_order_at(0).slot, 1);
}

TEST_F(client_link, StatesFillTheHistoriesOfRemoteRidersOnly) {
    racing();
    compact_state a = compact_state_encode(race_slot(1).bike);
    datagram d = build_states_header(k_race, 404, 0);
    put_state_entry(d, state_entry{1, 12, 404, a});
    put_state_entry(d, state_entry{k_slot, 12, 404, a}); // the local rider
    put_state_entry(d, state_entry{0, 12, 404, a});      // no bike there
    states_set_count(d, 3);
    deliver(d);
    EXPECT_EQ(history_newest_tic(1), 404);
    EXPECT_EQ(net_slot_state_tic(1), 404);
    EXPECT_EQ(net_slot_ping(1), 12);
    EXPECT_EQ(history_newest_tic(k_slot), -1);
    EXPECT_EQ(history_newest_tic(0), -1);

    d = build_states_header(k_race, 408, 0);
    put_state_entry(d, state_entry{1, 12, 400, a}); // older than the newest received
    states_set_count(d, 1);
    deliver(d);
    int tic = 0;
    compact_state held;
    EXPECT_FALSE(history_entry_at(1, 1, &tic, &held)) << "nothing older was stored";

    // Three declared, two carried: the two are taken, then the message.
    d = build_states_header(k_race, 420, 0);
    put_state_entry(d, state_entry{1, 12, 412, a});
    put_state_entry(d, state_entry{1, 12, 416, a});
    states_set_count(d, 3);
    messages_clear();
    deliver(d);
    EXPECT_EQ(history_newest_tic(1), 416);
    EXPECT_TRUE(shown("State packet too small"));
}

TEST_F(client_link, TheClockIsSetByTheFirstServerTicAndPingComesFromTheEcho) {
    racing();
    EXPECT_EQ(race_clock(), 400);
    EXPECT_EQ(net_server_tic(), 400);
    ride(20);
    EXPECT_EQ(race_clock(), 420);
    // A later server tic moves the estimate, never the clock; the echo gives the round trip.
    deliver(build_time(k_race, 430, 412));
    EXPECT_EQ(race_clock(), 420);
    EXPECT_EQ(net_ping_ms(), 8 * 1000 / 128);
    EXPECT_EQ(net_server_tic(), 430);
    EXPECT_EQ(net_offset_ms(), 10 * 1000 / 128);
    // The estimate runs on in real time between server tics.
    now += 0.5;
    net_tic(now);
    EXPECT_EQ(net_server_tic(), 430 + 64);
    // An older server tic is no news.
    deliver(build_time(k_race, 300, 0));
    EXPECT_EQ(net_server_tic(), 430 + 64);
}

TEST_F(client_link, AServerClockOutOfRangeIsSkippedAndTheRaceGoesOnByTheNextGoodOne) {
    up_to_track();
    deliver(build_rider(k_race, 1, "rm125\n1\nBob"));
    deliver(build_start(k_race, k_slot, ""));
    // A negative tic made the race clock negative, and each rider's slot was found off its end.
    const int bad_tics[][2] = {{-1280068685, 0},
                               {k_server_tic_most + 1, 0},
                               {400, -2147483647},
                               {400, k_server_tic_most + 1}};
    for (const int* bad : bad_tics) {
        messages_clear();
        deliver(build_time(k_race, bad[0], bad[1]));
        EXPECT_TRUE(shown("Server's clock can't be used")) << bad[0] << " " << bad[1];
        EXPECT_FALSE(net_server_sent_tic());
        EXPECT_NE(net_state(), 11);
    }
    deliver(build_time(k_race, 400, 0));
    ASSERT_EQ(net_state(), 11);
    EXPECT_EQ(race_clock(), 400);
    ride(8);
    EXPECT_GE(race_clock(), 408);
    // A rider's state from before any race, or beyond every race, is not kept.
    compact_state a = compact_state_encode(race_slot(1).bike);
    datagram d = build_states_header(k_race, 410, 0);
    put_state_entry(d, state_entry{1, 12, -5, a});
    states_set_count(d, 1);
    deliver(d);
    EXPECT_EQ(history_newest_tic(1), -1);
    d = build_states_header(k_race, 412, 0);
    put_state_entry(d, state_entry{1, 12, k_server_tic_most + 1, a});
    states_set_count(d, 1);
    deliver(d);
    EXPECT_EQ(history_newest_tic(1), -1);
}

TEST_F(client_link, ReliableMessagesAreAcknowledgedAndHandledInOrder) {
    racing();
    deliver(reliable(0, sub_text, "first"));
    deliver(reliable(2, sub_text, "third"));
    EXPECT_TRUE(shown("first"));
    EXPECT_FALSE(shown("third")) << "kept until the second";
    deliver(reliable(1, sub_text, "second"));
    EXPECT_EQ(message_recent(0), "third");
    EXPECT_EQ(message_recent(1), "second");
    deliver(reliable(1, sub_text, "second"));
    EXPECT_EQ(message_recent(0), "third") << "a duplicate is not shown again";
    std::vector<sent_message> acks = sent_of(msg_ack);
    ASSERT_EQ(acks.size(), 4u);
    EXPECT_EQ(acks[0].m.value, 0);
    EXPECT_EQ(acks[1].m.value, 2);
    EXPECT_EQ(acks[2].m.value, 1);
    EXPECT_EQ(acks[3].m.value, 1);
}

TEST_F(client_link, TheServersTextCommandsSetTheRules) {
    racing();
    int seq = 0;
    deliver(reliable(seq++, sub_command, "  off_course_bias 4.5"));
    deliver(reliable(seq++, sub_command, "knockout 10 20"));
    deliver(reliable(seq++, sub_command, "off_course_biased 9")); // not the keyword
    EXPECT_EQ(race_knockout_table()[0], 10);
    EXPECT_EQ(race_knockout_table()[15], 20);

    EXPECT_EQ(net_erosion_setting(), -1);
    deliver(reliable(seq++, sub_command, "erode 99 2048")); // another race
    EXPECT_EQ(net_erosion_setting(), -1);
    deliver(reliable(seq++, sub_command, "erode 7 0")); // marks it set, nothing more
    EXPECT_EQ(net_erosion_setting(), 0);
    deliver(reliable(seq++, sub_command, "erode 7"));
    EXPECT_TRUE(shown("Malformed erode command received"));
    deliver(reliable(seq++, sub_command, "erode 7 3072"));
    EXPECT_EQ(net_erosion_setting(), 3072);

    bike_params p = bike_params_of(race_slot(k_slot).bike);
    p.arcade = true;
    bike_set_params(race_slot(k_slot).bike, p);
    deliver(reliable(seq++, sub_command, "no_arcade"));
    EXPECT_FALSE(bike_params_of(race_slot(k_slot).bike).arcade);
    EXPECT_TRUE(shown("Arcade physics disabled"));

    sent();
    deliver(reliable(seq++, sub_command, "version"));
    step();
    std::vector<sent_message> r = sent_of(msg_reliable);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].m.sub_type, sub_command);
    std::string reply = wire_text(r[0].m.data, r[0].m.data_length);
    // "version %x %d " and 64 hex digits.
    ASSERT_EQ(reply.rfind("version 1 34 ", 0), 0u) << reply;
    std::string signature = reply.substr(13, 64);
    EXPECT_EQ(signature.find_first_not_of("0123456789abcdef"), std::string::npos) << reply;
}

// The server's erosion rate holds only while connected: leaving, by the player's choice or the
// server's, gives back the player's own rate, with none of the server race's ruts still queued.
TEST_F(client_link, LeavingTheServerGivesBackThePlayersErosionRate) {
    const auto edit = [](int race) {
        erosion_point p;
        p.x = 20, p.z = 20, p.push_x = 1, p.count = 3;
        const float zero[2] = {0, 0};
        uint8_t record[k_edit_record_max_bytes];
        const int length = terrain_edit_encode(&p, 1, zero, zero, ground().field.extent, record);
        std::string payload(4, '\0');
        for (int k = 0; k < 4; k++) payload[k] = static_cast<char>(race >> (8 * k));
        return payload + std::string(reinterpret_cast<const char*>(record), length);
    };
    for (const bool server_ends_it : {false, true}) {
        erosion_reset();
        erosion_set_setting(5 * 1024); // "--erode 5"
        racing();
        EXPECT_EQ(erosion_setting(), -1) << "unset until the server sends its own";
        int seq = 0;
        deliver(reliable(seq++, sub_command, "erode 7 3072"));
        EXPECT_EQ(erosion_setting(), 3072);
        deliver(reliable(seq++, sub_terrain_edit, edit(k_race)));
        ASSERT_EQ(erosion_queue_count(), 1);
        if (server_ends_it)
            deliver(build_server_byte(msg_server_disconnect));
        else
            net_disconnect();
        EXPECT_FALSE(net_connected());
        EXPECT_EQ(erosion_setting(), 5 * 1024) << server_ends_it;
        EXPECT_EQ(erosion_queue_count(), 0) << server_ends_it;
    }
    // A player without erosion stays without it after a server that ruts.
    erosion_reset();
    erosion_set_setting(0);
    racing();
    deliver(reliable(0, sub_command, "erode 7 3072"));
    net_disconnect();
    EXPECT_EQ(erosion_setting(), 0);
    erosion_reset();
}

TEST_F(client_link, TimingListsMoveTheOtherRidersOnly) {
    racing();
    datagram d;
    put_u32(d, k_race);
    put_u32(d, 3);
    for (timing_entry e :
         {timing_entry{1, 0, 500}, timing_entry{1, 1, 700}, timing_entry{k_slot, 5, 600}}) {
        put_u32(d, e.slot);
        put_u32(d, e.crossing);
        put_u32(d, e.tic);
    }
    deliver(build_server_reliable(0, sub_timing, d.bytes, d.length));
    EXPECT_EQ(timing_of(1).position, 2);
    EXPECT_EQ(crossing_tic(timing_of(1), 1), 700);
    EXPECT_EQ(timing_of(k_slot).position, 0) << "the local rider's own crossings are its own";
    ASSERT_EQ(running_order_count(), 2);
    EXPECT_EQ(running_order_at(0).slot, 1);
    // Another race's list is ignored.
    d.bytes[0] = k_race + 1;
    deliver(build_server_reliable(1, sub_timing, d.bytes, d.length));
    EXPECT_EQ(timing_of(1).position, 2);
}

TEST_F(client_link, WhileRacingTheStateGoesEveryFourthTicAndEachCrossingIsReported) {
    racing();
    ride(16);
    std::vector<sent_message> states = sent_of(msg_state);
    ASSERT_EQ(states.size(), 4u);
    for (const sent_message& s : states) {
        EXPECT_EQ(s.m.tic % 4, 0);
        EXPECT_EQ(s.m.race, k_race);
        EXPECT_EQ(s.m.slot, k_slot);
    }
    // A crossing of the local rider: its index and tic go as a reliable timing message.
    race_set_crossing(k_slot, 0, 410);
    step();
    step();
    std::vector<sent_message> r = sent_of(msg_reliable);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].m.sub_type, sub_timing);
    client_timing t;
    ASSERT_TRUE(parse_client_timing(r[0].m.data, r[0].m.data_length, &t));
    EXPECT_EQ(t.race, k_race);
    EXPECT_EQ(t.crossing, 0);
    EXPECT_EQ(t.tic, 410);
}

TEST_F(client_link, ANewNameOrBikeGoesToTheServerAndARestartIsAskedOnce) {
    racing();
    setup_set_text(key_name, "Josie");
    step();
    step();
    std::vector<sent_message> r = sent_of(msg_reliable);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].m.sub_type, sub_descriptor);
    EXPECT_EQ(r[0].text(), "yz250f(2017)||||\n999\nJosie");
    net_request_restart();
    std::vector<sent_message> restart = sent_of(msg_restart_request);
    ASSERT_EQ(restart.size(), 1u);
    EXPECT_EQ(restart[0].m.value, 1);
    EXPECT_EQ(restart[0].m.slot, k_slot);
    EXPECT_TRUE(shown("Requesting restart")) << "said on screen, not only in the log";
}

TEST_F(client_link, ARestartAskedForOfflineSaysWhyNothingHappens) {
    net_request_restart();
    EXPECT_TRUE(sent_of(msg_restart_request).empty());
    EXPECT_TRUE(shown("Not connected to server"));
}

TEST_F(client_link, AFakeLossOfEveryDatagramDropsThemAll) {
    net_connect_params p;
    p.fake_loss = 100;
    ASSERT_TRUE(connect(p));
    const udp_address client = client_address();
    for (int i = 0; i < 200; i++) {
        datagram d = build_connect_reply(k_slot, k_id, 6);
        udp_send(server, d.bytes, d.length, client);
        step();
    }
    EXPECT_EQ(net_state(), 0);
}

TEST_F(client_link, AFakeLagHoldsEveryDatagramBackForTheLag) {
    net_connect_params p;
    p.fake_lag = 0.2f;
    ASSERT_TRUE(connect(p));
    const udp_address client = client_address();
    datagram d = build_connect_reply(k_slot, k_id, 6);
    udp_send(server, d.bytes, d.length, client);
    step(20); // 0.16 s
    EXPECT_EQ(net_state(), 0);
    step(8);
    EXPECT_EQ(net_state(), 3);
}

TEST_F(client_link, DatagramsFromAStrangerAreIgnored) {
    ASSERT_TRUE(connect());
    const udp_address client = client_address();
    int stranger = udp_open();
    datagram d = build_connect_reply(k_slot, k_id, 6);
    udp_send(stranger, d.bytes, d.length, client);
    step(4);
    EXPECT_EQ(net_state(), 0);
    udp_close(stranger);
}

TEST_F(client_link, TheServerCanRefuseOrEndTheConnection) {
    ASSERT_TRUE(connect());
    deliver(build_server_byte(msg_server_full));
    EXPECT_TRUE(shown("Server is full"));
    deliver(build_error("Wrong password\n"));
    EXPECT_TRUE(shown("Wrong password"));
    EXPECT_EQ(net_state(), 15);
    deliver(build_server_byte(msg_server_disconnect));
    EXPECT_FALSE(net_connected());
    EXPECT_EQ(net_state(), -1);
    EXPECT_TRUE(net_take_link_ended()) << "the player goes back to the menus";
    EXPECT_FALSE(net_take_link_ended()) << "once";
}

TEST_F(client_link, ARedirectWithTheRightNonceMovesToTheNewAddress) {
    ASSERT_TRUE(connect());
    std::vector<sent_message> s = sent_of(msg_contact);
    ASSERT_EQ(s.size(), 1u);
    const uint32_t nonce = s[0].m.nonce;
    int other = udp_open();
    ASSERT_TRUE(udp_bind(other, 0));
    std::string there = "127.0.0.1:" + std::to_string(udp_local_port(other));
    deliver(build_redirect(nonce + 1, there.c_str()));
    EXPECT_EQ(net_state(), 0);
    deliver(build_redirect(nonce, there.c_str()));
    ASSERT_TRUE(net_connected());
    uint8_t buffer[64];
    udp_address from;
    int n = -1;
    for (int i = 0; i < 1000 && n < 0; i++) n = udp_receive(other, buffer, sizeof buffer, &from);
    EXPECT_EQ(n, 21);
    EXPECT_EQ(buffer[0], msg_contact);
    udp_close(other);
    EXPECT_FALSE(net_take_link_ended()) << "the client follows the server's word";
    // Sent on to a host that does not resolve: the player is told and goes back to the menus.
    const sent_message again(wire_bytes(buffer, buffer + n));
    messages_clear();
    deliver(build_redirect(again.m.nonce, "no-such-host.invalid"));
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(shown("Can't resolve address"));
    EXPECT_TRUE(net_take_link_ended());
}

TEST_F(client_link, AFileGoesInPartsOnceTheServerIsReady) {
    net_send_file("x.txt");
    EXPECT_TRUE(shown("Not connected to server"));
    racing();
    net_send_file("../secret");
    EXPECT_TRUE(shown("Filename may only contain alphanumeric characters, '_' or '.'"));
    net_send_file("missing.txt");
    EXPECT_TRUE(shown("Can't open file"));
    fs::create_directories(home / "outgoing");
    std::string content(600, 'q');
    content[300] = '\0';
    write(home / "outgoing" / "lap.txt", content);
    net_send_file("lap.txt");
    EXPECT_TRUE(shown("Sending file"));

    std::vector<std::string> commands;
    auto exchange = [&] {
        step();
        for (const sent_message& s : sent_of(msg_reliable)) {
            commands.push_back(std::string(reinterpret_cast<const char*>(s.m.data),
                                           static_cast<size_t>(s.m.data_length)));
            datagram ack = build_server_value(msg_server_ack, s.m.value);
            deliver(ack);
        }
    };
    exchange();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], "sendfile");
    deliver(reliable(0, sub_command, "sendready"));
    for (int i = 0; i < 200; i++) exchange();
    ASSERT_EQ(commands.size(), 5u);
    std::string received;
    for (int i = 1; i < 4; i++) {
        ASSERT_EQ(commands[i].rfind("sendpart -", 0), 0u);
        received += commands[i].substr(10);
    }
    EXPECT_EQ(received, content);
    EXPECT_EQ(commands[4], "namefile lap.txt");
}

TEST_F(client_link, ChatGoesAtMostOnceEveryTwoSeconds) {
    net_chat("hello", now);
    EXPECT_TRUE(shown("Not connected to server"));
    racing();
    net_chat("hello", now);
    net_chat("again", now + 1);
    EXPECT_TRUE(shown("No one likes a spammer"));
    step();
    std::vector<sent_message> r = sent_of(msg_reliable);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].m.sub_type, sub_text);
    EXPECT_EQ(wire_text(r[0].m.data, r[0].m.data_length), "hello");
}

TEST_F(client_link, ARestartMovesToTheNewRace) {
    racing();
    deliver(build_server_value(msg_restart, k_race));
    EXPECT_EQ(net_state(), 11) << "not a newer race";
    deliver(build_server_value(msg_restart, k_race + 1));
    EXPECT_EQ(net_state(), 14);
    step();
    std::vector<sent_message> s = sent_of(msg_restart_ack);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.race, k_race + 1);
    deliver(race_info(k_race + 1));
    EXPECT_EQ(net_state(), 5);
    EXPECT_EQ(history_newest_tic(1), -1);
}

TEST_F(client_link, DisconnectingTellsTheServerOnce) {
    racing();
    net_disconnect();
    std::vector<sent_message> s = sent_of(msg_disconnect);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].m.slot, k_slot);
    EXPECT_EQ(s[0].m.client_id, k_id);
    EXPECT_TRUE(shown("Disconnecting"));
    EXPECT_FALSE(net_connected());
    EXPECT_FALSE(net_take_link_ended()) << "the player left, and chose what comes next";
}

// Every message type cut short, made too long, and random bytes: the racing client stays as it
// was, its clock, state and riders unchanged.
TEST_F(client_link, MalformedDatagramsChangeNothing) {
    racing();
    const int clock = race_clock();
    std::vector<wire_bytes> bad;
    for (int type : {1, 2, 4, 6, 8, 10, 11, 13, 14, 15, 16, 17, 18, 25}) {
        wire_bytes b(1200, 0xff);
        b[0] = static_cast<uint8_t>(type);
        bad.push_back(b); // too long for any
        server_message m;
        for (int n = 1; n < 64; n++)
            if (!parse_server_message(b.data(), n, &m))
                bad.push_back(wire_bytes(b.begin(), b.begin() + n));
    }
    mt19937_state random;
    mt_seed(random, 99);
    for (int i = 0; i < 3000; i++) {
        wire_bytes b(1 + mt_next(random) % 200);
        for (uint8_t& x : b) x = static_cast<uint8_t>(mt_next(random));
        // Types that would end the connection or move the race on are left to the rules above.
        if (b[0] == 15 || b[0] == 16 || b[0] == 14 || b[0] == 17) b[0] = 12;
        bad.push_back(b);
    }
    for (const wire_bytes& b : bad) net_handle_datagram(b.data(), static_cast<int>(b.size()), now);
    EXPECT_EQ(net_state(), 11);
    EXPECT_EQ(race_clock(), clock);
    EXPECT_EQ(race_slot(k_slot).kind, rider_local);
    EXPECT_STREQ(race_slot(1).name, "Bob");
}

// A server that stops sending is left after 10 s without a datagram from it. Until then anything
// it sends keeps the link, its keep-alive or a datagram the client cannot even read, but nothing a
// stranger sends does. The player is told, and keeps the race as it stood, its results so far and
// its recording, closed with everything the server sent.
TEST_F(client_link, AServerThatFallsSilentIsLeftAndTheRaceResultsAndDemoAreKept) {
    demo_init();
    net_connect_params p;
    p.record_mode = 1;
    ASSERT_TRUE(connect(p));
    client_at = client_address();
    for (const datagram& d : {build_connect_reply(k_slot, k_id, 6), race_info(),
                              build_rider(k_race, 1, "rm125\n42\nBob"),
                              build_start(k_race, k_slot, ""), build_time(k_race, 400, 0)}) {
        from_server(d);
        step();
    }
    ASSERT_EQ(net_state(), 11);
    ASSERT_TRUE(demo_recording());
    const compact_state bob = compact_state_encode(race_slot(1).bike);
    int bob_newest = -1;
    for (int i = 0; i < 256; i++) {
        if (race_clock() % 4 == 0) {
            bob_newest = race_clock();
            datagram d = build_states_header(k_race, bob_newest, 0);
            put_state_entry(d, state_entry{1, 12, bob_newest, bob});
            states_set_count(d, 1);
            from_server(d);
        }
        ride(1);
    }
    datagram list;
    for (int32_t v : {k_race, 1, 1, 0, 450}) put_u32(list, static_cast<uint32_t>(v));
    from_server(build_server_reliable(0, sub_timing, list.bytes, list.length));
    step();
    ASSERT_EQ(timing_of(1).position, 1);

    // Twelve seconds of keep-alives, one a second, and once a datagram of no known type.
    for (int second = 0; second < 12; second++) {
        from_server(second == 5 ? datagram{{200, 1, 2}, 3} : build_server_value(msg_value, 1));
        step(128);
    }
    ASSERT_EQ(net_state(), 11) << "a server that keeps talking is kept";

    // Then only a stranger's keep-alives.
    from_server(build_server_value(msg_value, 1));
    step();
    const double heard = now;
    int stranger = udp_open();
    const datagram keep_alive = build_server_value(msg_value, 1);
    while (now - heard < 9.9) {
        udp_send(stranger, keep_alive.bytes, keep_alive.length, client_at);
        step(16);
    }
    udp_close(stranger);
    EXPECT_EQ(net_state(), 11);
    EXPECT_FALSE(net_take_link_ended());
    messages_clear();
    step(26);
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(shown("Connection to server lost"));
    EXPECT_TRUE(net_take_link_ended()) << "the player goes back to the menus";
    EXPECT_FALSE(net_take_link_ended()) << "once";
    sent();
    step(256);
    EXPECT_TRUE(sent().empty()) << "nothing more goes to the server";

    // The race as it stood: the same riders, Bob's crossing and the running order.
    EXPECT_STREQ(race_slot(1).name, "Bob");
    EXPECT_GE(race_slot(1).bike, 0);
    EXPECT_EQ(race_slot(k_slot).kind, rider_local);
    EXPECT_EQ(timing_of(1).position, 1);
    ASSERT_EQ(running_order_count(), 2);
    EXPECT_EQ(running_order_at(0).slot, 1);

    // The recording is closed and whole: both riders, and Bob's states up to the last one sent.
    EXPECT_FALSE(demo_recording());
    demo_reader r;
    std::string error;
    ASSERT_TRUE(demo_reader_open(r, (home / "demos" / "default.qvdemo").c_str(), &error)) << error;
    EXPECT_EQ(r.header.track, "practice");
    ASSERT_EQ(r.header.riders.size(), 2u);
    EXPECT_EQ(r.header.riders[0].name, "Bob");
    EXPECT_EQ(r.header.riders[1].name, "Joe Motocross");
    struct newest_tics {
        int tic[2] = {-1, -1};
    } found;
    demo_sink sink;
    sink.context = &found;
    sink.state = [](void* context, int rider, int tic, const compact_state&) {
        int& newest = static_cast<newest_tics*>(context)->tic[rider];
        newest = std::max(newest, tic);
    };
    demo_reader_drain(r, sink);
    EXPECT_TRUE(r.header_damage.empty()) << r.header_damage;
    demo_reader_close(r);
    EXPECT_EQ(found.tic[0], bob_newest);
    EXPECT_GT(found.tic[1], 400) << "the local rider's riding is there too";
}

// A server that never answers the contact, or stops answering while the client joins, or never
// answers the leaving, is given up after 10 s with the reason, and the player goes back to the
// menus; a server that answers, even only that it is full, keeps the client trying.
TEST_F(client_link, AServerThatNeverAnswersIsGivenUpAfterTenSeconds) {
    ASSERT_TRUE(connect());
    step(1270); // 9.92 s
    EXPECT_EQ(net_state(), 0);
    EXPECT_EQ(sent_of(msg_contact).size(), 10u) << "the contact, again every second";
    step(20);
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(shown("No answer from server"));
    EXPECT_TRUE(net_take_link_ended());

    ASSERT_TRUE(connect());
    deliver(build_connect_reply(k_slot, k_id, 6));
    step(1270);
    EXPECT_EQ(net_state(), 3);
    messages_clear();
    step(20);
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(shown("Connection to server lost"));
    EXPECT_TRUE(net_take_link_ended());

    ASSERT_TRUE(connect());
    for (int second = 0; second < 15; second++) {
        deliver(build_server_byte(msg_server_full));
        step(128);
    }
    EXPECT_EQ(net_state(), 0);
    EXPECT_FALSE(net_take_link_ended());

    // Another version: the client leaves, saying so every second to a server that never answers.
    deliver(build_connect_reply(k_slot, k_id, 5));
    ASSERT_EQ(net_state(), 15);
    sent();
    messages_clear();
    step(1270);
    EXPECT_EQ(net_state(), 15);
    EXPECT_EQ(sent_of(msg_disconnect).size(), 10u);
    step(20);
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(shown("Disconnected"));
    EXPECT_TRUE(net_take_link_ended());
}

// A server that asks and asks (here for the version) but acknowledges none of the replies is left
// once a thousand of them wait, before they eat the machine's memory; one that acknowledges them
// is not.
TEST_F(client_link, AServerThatAcknowledgesNothingIsLeftBeforeTheRepliesPileUp) {
    racing();
    int seq = 0;
    for (; seq < k_outgoing_max; seq++) deliver(reliable(seq, sub_command, "version"));
    EXPECT_EQ(net_queues().outgoing, k_outgoing_max);
    step();
    EXPECT_EQ(net_state(), 11) << "full, not yet overfull";
    // The oldest reply (the first of this connection) acknowledged: room for one more.
    deliver(build_server_value(msg_server_ack, 0));
    EXPECT_EQ(net_queues().outgoing, k_outgoing_max - 1);
    deliver(reliable(seq++, sub_command, "version"));
    step();
    EXPECT_EQ(net_state(), 11);
    EXPECT_EQ(net_queues().outgoing, k_outgoing_max);
    deliver(reliable(seq++, sub_command, "version"));
    EXPECT_LE(net_queues().outgoing, k_outgoing_max);
    step();
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(shown("Server stopped acknowledging messages"));
    EXPECT_TRUE(net_take_link_ended());
}

// Datagrams of every type a server sends, and of types it never sends, with random bodies (mostly
// behind the fields a real one carries: this race, this slot, nearby sequences), in every state
// of the connection, with network steps and race tics between them. The client never leaves its
// states, nothing it holds grows past its bound, nobody rides for the server, and there is never
// more than one local rider.
TEST_F(client_link, RandomDatagramsOfEveryTypeInEveryStateKeepTheClientConsistent) {
    const std::set<int> states = {-1, 0, 3, 5, 7, 9, 11, 14, 15};
    const int types[] = {1, 2, 4, 6, 8, 10, 11, 13, 14, 15, 16, 17, 18, 25, 0, 3, 12, 200};
    const int32_t fields[] = {0, 1, -1, k_slot, k_race, k_race + 1, 160, 400, INT32_MIN, INT32_MAX};
    const int lengths[] = {1, 2, 5, 6, 9, 13, 14, 17, 38, 64, 17 + 47, 17 + 2 * 47, 500, 1023};
    const char* commands[] = {
        "version",   "erode 7 100",         "knockout 1 2 3",        "sendready", "senddenied",
        "no_arcade", "off_course_bias nan", "off_course_scale 1e40", "erode 7 -5"};
    mt19937_state random;
    mt_seed(random, 2024);
    const auto pick = [&](uint32_t n) { return mt_next(random) % n; };
    const auto put_at = [](wire_bytes& b, size_t at, uint32_t v) {
        for (size_t k = 0; k < 4 && at + k < b.size(); k++)
            b[at + k] = static_cast<uint8_t>(v >> (8 * k));
    };
    for (int state : {0, 3, 5, 7, 9, 11, 14, 15}) {
        for (int type : types) {
            for (int n = 0; n < 12; n++) {
                if (net_state() != state) {
                    reach(state);
                    if (HasFatalFailure()) return;
                }
                const bool any_length = pick(4) == 0;
                wire_bytes b(any_length ? 1 + pick(1100) : lengths[pick(std::size(lengths))]);
                for (uint8_t& x : b) x = static_cast<uint8_t>(mt_next(random));
                b[0] = static_cast<uint8_t>(type);
                if (pick(4) != 0)
                    for (size_t at = 1; at < 13; at += 4)
                        put_at(b, at, static_cast<uint32_t>(fields[pick(std::size(fields))]));
                if (type == msg_server_reliable && b.size() >= 6) {
                    put_at(b, 1, pick(80));
                    b[5] = static_cast<uint8_t>(
                        std::initializer_list<int>{19, 21, 24, 27, 3}.begin()[pick(5)]);
                    if (b[5] == sub_command && pick(2)) {
                        const std::string c = commands[pick(std::size(commands))];
                        b.resize(6);
                        b.insert(b.end(), c.begin(), c.end());
                    }
                }
                net_handle_datagram(b.data(), static_cast<int>(b.size()), now);
                if (pick(3) == 0) {
                    if (net_server_sent_tic())
                        ride(1 + pick(8));
                    else
                        step(1 + pick(8));
                }
                const int at = net_state();
                ASSERT_TRUE(states.count(at)) << "state " << at << " after type " << type;
                const net_queue_sizes q = net_queues();
                ASSERT_LE(q.early, k_early_max);
                ASSERT_LE(q.outgoing, k_outgoing_max);
                ASSERT_EQ(q.delayed, 0);
                for (int slot = 0; slot < k_max_riders; slot++)
                    ASSERT_FALSE(race_slot(slot).bike >= 0 && race_slot(slot).kind == rider_robot)
                        << "slot " << slot;
                if (at == 11 || at == 9) {
                    int local = 0;
                    for (int slot = 0; slot < k_max_riders; slot++)
                        local += race_slot(slot).bike >= 0 && race_slot(slot).kind == rider_local;
                    ASSERT_LE(local, 1);
                }
            }
        }
    }
}
} // namespace
