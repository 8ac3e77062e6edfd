// The race server with scripted clients on loopback: joining, the warm-up and the race, the
// password, a full server, what it refuses (strangers, impostors, messages out of state or
// malformed), what it relays (states, crossings, chat, terrain edits), silence, and results.
#include "server/server.h"

#include "net/net_test_message.h"
#include "net/net_wire.h"
#include "net/udp.h"

#include "support/data_set_home.h"

#include "common/random.h"
#include "race/race.h"
#include "race/race_results.h"
#include "race/race_timing.h"
#include "track/track.h"
#include "track/track_gates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One scripted client: a socket of its own, what the server gave it, and its reliable sequence.
struct fake_client {
    int socket = -1;
    int slot = -1;
    uint32_t id = 0;
    uint32_t nonce = 0;
    int race = 0;
    int32_t sequence = 0;
    std::string descriptor;
    udp_address server;

    void open(int port, const std::string& rider) {
        socket = udp_open();
        udp_bind(socket, 0);
        server = udp_loopback(port);
        descriptor = rider;
        nonce = 1000 + static_cast<uint32_t>(udp_local_port(socket));
    }
    void close() {
        if (socket >= 0) udp_close(socket);
        socket = -1;
    }
    udp_address address() const { return udp_loopback(udp_local_port(socket)); }
    void send(const datagram& d) const { udp_send(socket, d.bytes, d.length, server); }
    void send_raw(const wire_bytes& b) const {
        udp_send(socket, b.data(), static_cast<int>(b.size()), server);
    }
    void say(int sub_type, const std::string& payload) {
        send(build_client_reliable(slot, id, sequence++, sub_type,
                                   reinterpret_cast<const uint8_t*>(payload.data()),
                                   static_cast<int>(payload.size())));
    }
    bool answers = true; // acknowledges the server's reliable messages, as a game does
    std::vector<received> inbox;

    // Reads everything waiting into the inbox (acknowledging reliable messages).
    void drain() {
        if (socket < 0) return;
        uint8_t buffer[2048];
        udp_address from;
        for (;;) {
            int n = udp_receive(socket, buffer, sizeof buffer, &from);
            if (n < 0) break;
            received r(wire_bytes(buffer, buffer + n));
            if (answers && r.m.type == msg_server_reliable)
                send(build_client_values(msg_ack, slot, id, 1, r.m.value));
            inbox.push_back(r);
        }
    }
    // Everything received since the last call.
    std::vector<received> take() {
        drain();
        std::vector<received> out;
        out.swap(inbox);
        return out;
    }
};

// The server's log lines, for what an operator reads.
std::vector<std::string> g_log;
void keep_log_line(const char* line) { g_log.push_back(line); }
bool logged(const std::string& part) {
    for (const std::string& line : g_log)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

std::vector<std::string> texts_of(const std::vector<received>& all) {
    std::vector<std::string> out;
    for (const received& r : all)
        if (r.m.type == msg_server_reliable && r.m.sub_type == sub_text)
            out.push_back(wire_text(r.m.data, r.m.data_length));
    return out;
}

std::vector<int> zero_to_n(int n) {
    std::vector<int> v;
    for (int i = 0; i < n; i++) v.push_back(i);
    return v;
}

// Reliable messages the server keeps in flight to one client.
constexpr int k_reliable_window_for_test = 32;

std::vector<received> of_type(const std::vector<received>& all, int type) {
    std::vector<received> out;
    for (const received& r : all)
        if (r.m.type == type) out.push_back(r);
    return out;
}

class server_run : public ::testing::Test {
  protected:
    fs::path home;
    double now = 5000.0;
    server_options options;
    fake_client a, b;

    void SetUp() override {
        home = data_set_home_open("tb_server_test_");
        options.track = "practice";
        options.port = 0;
        g_log.clear();
        server_set_log(keep_log_line);
        options.results_dir = (home / "results").string();
        options.warmup = 1000;
        options.gate_drop = 3;
        options.results_time = 5;
        options.laps = 1;
    }
    void TearDown() override {
        server_stop();
        a.close();
        b.close();
        data_set_home_close(home);
    }
    void start() {
        std::string error;
        ASSERT_TRUE(server_start(options, now, &error)) << error;
        a.open(server_port(), "yz250f(2017)||||\n7\nAlice");
        b.open(server_port(), "rm125||||\n12\nBruno");
    }
    // Lets the server handle what arrived and run its tics for the time given.
    void run(double seconds = 0) {
        const double until = now + seconds;
        do {
            now = std::min(now + k_tic_length, until);
            server_poll(now);
            a.drain();
            b.drain();
        } while (now < until);
    }
    void pump() {
        // Loopback datagrams arrive at once; the server handles them on its next poll.
        server_poll(now);
    }

    // Contact and identification: the client has a slot and the race info.
    received identify(fake_client& c) {
        c.send(build_contact(false, c.nonce));
        pump();
        std::vector<received> r = of_type(c.take(), msg_connect_reply);
        EXPECT_EQ(r.size(), 1u);
        if (r.empty()) return {};
        c.slot = r[0].m.slot;
        c.id = r[0].m.client_id;
        c.send(build_client_info(c.slot, c.id, 0, c.nonce, c.descriptor.c_str()));
        pump();
        r = of_type(c.take(), msg_race_info);
        EXPECT_EQ(r.size(), 1u);
        if (r.empty()) return {};
        c.race = r[0].m.race;
        return r[0];
    }
    // Track acknowledged, every rider acknowledged, ready: the start message and the riders.
    received enter(fake_client& c, std::vector<received>* riders = nullptr) {
        c.send(build_client_values(msg_track_ack, c.slot, c.id, 1, c.race));
        int last = -1; // a game takes a rider only above the last it acknowledged
        for (int step = 0; step < 200; step++) {
            pump();
            std::vector<received> all = c.take();
            for (const received& r : of_type(all, msg_rider)) {
                if (r.m.slot <= last) continue;
                last = r.m.slot;
                if (riders) riders->push_back(r);
                c.send(build_client_values(msg_bike_ack, c.slot, c.id, 2, c.race, r.m.slot));
            }
            std::vector<received> start = of_type(all, msg_start);
            if (start.empty()) continue;
            c.send(build_client_values(msg_ready, c.slot, c.id, 1, c.race));
            pump();
            EXPECT_FALSE(of_type(c.take(), msg_time).empty());
            return start[0];
        }
        ADD_FAILURE() << "no start";
        return {};
    }
    // A crossing reported as the game reports it: race, crossing index, tic.
    void claim(fake_client& c, int crossing, int tic) {
        datagram d;
        put_client_timing(d, client_timing{c.race, crossing, tic});
        c.say(sub_timing, std::string(reinterpret_cast<const char*>(d.bytes), 12));
    }
    void send_state(fake_client& c, int tic) {
        compact_state s = {};
        s.bytes[0] = static_cast<uint8_t>(tic);
        c.send(build_state(c.slot, c.id, c.race, server_clock(), tic, s));
    }
};

// Both clients through the warm-up and into the race as the game goes: restart, race info,
// riders, start, ready.
class server_race_run : public server_run {
  protected:
    void SetUp() override {
        server_run::SetUp();
        options.warmup = 1;
        start();
        identify(a);
        enter(a);
        identify(b);
        enter(b);
        run(1.1);
        for (fake_client* c : {&a, &b}) {
            std::vector<received> restart = of_type(c->take(), msg_restart);
            ASSERT_FALSE(restart.empty());
            c->race = restart.back().m.race;
            c->send(build_client_values(msg_restart_ack, c->slot, c->id, 1, c->race));
        }
        pump();
        for (fake_client* c : {&a, &b}) {
            std::vector<received> info = of_type(c->take(), msg_race_info);
            ASSERT_EQ(info.size(), 1u);
            EXPECT_EQ(info[0].m.race, c->race);
        }
        enter(a, &a_riders);
        enter(b, &b_riders);
        a_start = server_clock();
    }
    std::vector<received> a_riders, b_riders;
    int a_start = 0;
};

TEST_F(server_run, ARiderJoinsTheWarmUpStepByStep) {
    start();
    received info = identify(a);
    EXPECT_EQ(a.slot, 0);
    EXPECT_NE(a.id, 0u);
    EXPECT_EQ(info.m.race, 1);
    EXPECT_EQ(info.m.finish_laps, 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.m.digest), 20),
              std::string(reinterpret_cast<const char*>(track_digest()), 20));
    EXPECT_EQ(info.text(), "practice");
    std::vector<received> riders;
    received start_message = enter(a, &riders);
    EXPECT_TRUE(riders.empty());
    EXPECT_EQ(start_message.m.slot, k_no_slot) << "the warm-up has no lineup";
    EXPECT_EQ(start_message.text(), a.descriptor);
    EXPECT_EQ(server_client_count(), 1);
    EXPECT_EQ(server_race_phase(), phase_warmup);
    // The clock goes out every fourth tic, in a states message with nobody in it.
    run(0.25);
    std::vector<received> states = of_type(a.take(), msg_states);
    EXPECT_GE(states.size(), 7u);
    EXPECT_EQ(states.back().m.count, 0);
    EXPECT_GT(states.back().m.server_tic, states.front().m.server_tic);
}

TEST_F(server_race_run, AfterTheWarmUpEveryRiderRacesAndSeesTheOthers) {
    EXPECT_EQ(server_race_phase(), phase_racing);
    EXPECT_EQ(server_race_id(), 2);
    ASSERT_EQ(a_riders.size(), 1u);
    EXPECT_EQ(a_riders[0].m.slot, b.slot);
    EXPECT_EQ(a_riders[0].text(), b.descriptor);
    ASSERT_EQ(b_riders.size(), 1u);
    EXPECT_EQ(b_riders[0].m.slot, a.slot);
    // A's state reaches B with A's slot, tic and bytes, and never comes back to A.
    a.take();
    b.take();
    send_state(a, server_clock() - 3);
    run(5 * k_tic_length);
    bool seen = false;
    for (const received& r : of_type(b.take(), msg_states))
        for (int i = 0; i < r.m.count; i++) {
            state_entry e = get_state_entry(r.m.data + i * k_state_entry_size);
            EXPECT_EQ(e.slot, a.slot);
            EXPECT_EQ(e.state.bytes[0], static_cast<uint8_t>(e.tic));
            seen = true;
        }
    EXPECT_TRUE(seen);
    for (const received& r : of_type(a.take(), msg_states)) EXPECT_EQ(r.m.count, 0);
}

TEST_F(server_race_run, NobodyActsForAnotherRider) {
    a.take();
    b.take();
    const int64_t refused = server_statistics().refused;
    // B sends a state as A, from B's own address; then A's slot with a wrong id.
    compact_state forged = {};
    forged.bytes[0] = 0xee;
    b.send(build_state(a.slot, a.id, a.race, server_clock(), server_clock(), forged));
    a.send(build_state(a.slot, a.id + 1, a.race, server_clock(), server_clock(), forged));
    b.send(build_client_values(msg_disconnect, a.slot, a.id, 0));
    pump();
    EXPECT_EQ(server_statistics().refused, refused + 3);
    EXPECT_EQ(server_client_count(), 2);
    run(5 * k_tic_length);
    for (const received& r : of_type(b.take(), msg_states)) EXPECT_EQ(r.m.count, 0);
    // B's crossing claimed for A from B's address is not A's either.
    datagram d;
    put_client_timing(d, client_timing{a.race, 0, server_clock()});
    b.send(build_client_reliable(a.slot, a.id, 0, sub_timing, d.bytes, d.length));
    pump();
    EXPECT_EQ(timing_of(a.slot).position, 0);
}

TEST_F(server_race_run, MessagesOutOfStateAreRefusedOrAnsweredWithARestart) {
    a.take();
    const int64_t refused = server_statistics().refused;
    a.send(build_client_values(msg_restart_ack, a.slot, a.id, 1, a.race));     // not restarting
    a.send(build_client_info(a.slot, a.id, 0, a.nonce, a.descriptor.c_str())); // known already
    a.send(build_client_values(msg_restart_request, a.slot, a.id, 1, 5));      // not the value 1
    pump();
    EXPECT_EQ(server_statistics().refused, refused + 3);
    // A state for a race that is over: the client is sent to the current one.
    a.send(build_state(a.slot, a.id, a.race - 1, 0, 0, compact_state{}));
    pump();
    std::vector<received> restart = of_type(a.take(), msg_restart);
    ASSERT_EQ(restart.size(), 1u);
    EXPECT_EQ(restart[0].m.race, a.race);
}

TEST_F(server_run, EachRiderOfARaceIsToldItsRulesAndWelcomed) {
    options.erode = 2 * 1024;
    options.no_arcade = true;
    start();
    identify(a);
    enter(a);
    run(0.5);
    std::vector<std::string> texts;
    for (const received& r : of_type(a.take(), msg_server_reliable))
        if (r.m.sub_type == sub_command || r.m.sub_type == sub_text) texts.push_back(r.text());
    std::vector<std::string> expected = {"version", "erode 1 2048", "no_arcade",
                                         "Welcome to Trailbok race server"};
    EXPECT_EQ(texts, expected);
}

TEST_F(server_run, MalformedDatagramsAreRefusedAndTheServerCarriesOn) {
    start();
    identify(a);
    const int64_t refused = server_statistics().refused;
    int sent = 0;
    for (int type : {0, 3, 5, 7, 9, 11, 13, 14, 15, 17, 18}) {
        wire_bytes bad(1100, 0);
        bad[0] = static_cast<uint8_t>(type);
        a.send_raw(bad); // too long for any message
        sent++;
        client_message m;
        for (int n = 1; n < 80; n++)
            if (!parse_client_message(bad.data(), n, &m)) {
                a.send_raw(wire_bytes(bad.begin(), bad.begin() + n));
                sent++;
            }
        pump();
    }
    for (int type : {1, 2, 4, 6, 8, 10, 12, 16, 19, 25, 200}) {
        a.send_raw(wire_bytes(30, static_cast<uint8_t>(type)));
        sent++;
    }
    pump();
    EXPECT_EQ(server_statistics().refused, refused + sent);
    EXPECT_EQ(server_client_count(), 1);
    enter(a);
    EXPECT_EQ(server_client_count(), 1);
}

TEST_F(server_run, RandomDatagramsFromStrangersAreRefused) {
    start();
    identify(a);
    mt19937_state random;
    mt_seed(random, 7);
    const int64_t refused = server_statistics().refused;
    for (int i = 0; i < 2000; i++) {
        wire_bytes d(1 + mt_next(random) % 120);
        for (uint8_t& x : d) x = static_cast<uint8_t>(mt_next(random));
        if (d[0] == msg_contact) d[0] = 99;
        b.send_raw(d);
        if (i % 50 == 0) pump();
    }
    pump();
    EXPECT_EQ(server_statistics().refused, refused + 2000);
    EXPECT_EQ(server_client_count(), 1);
}

// A joined rider's game sending every message type with random bodies, reliable ones in turn
// or not: the server stays sound, the other rider keeps racing and a newcomer still joins.
TEST_F(server_race_run, RandomMessagesFromAJoinedRiderLeaveTheServerSound) {
    mt19937_state random;
    mt_seed(random, 11);
    int rejoins = 0;
    for (int i = 0; i < 6000; i++) {
        if (server_slot_of(a.address()) < 0) {
            a.nonce++;
            a.sequence = 0;
            identify(a);
            rejoins++;
        }
        const int type = i % 19;
        datagram d;
        put_u8(d, static_cast<unsigned>(type));
        put_u32(d, static_cast<uint32_t>(a.slot));
        put_u32(d, a.id);
        if (type == msg_reliable) {
            put_u32(d, mt_next(random) % 2 ? static_cast<uint32_t>(a.sequence++) : mt_next(random));
            const unsigned subs[] = {3, 19, 21, 24, 27, mt_next(random) % 256};
            put_u8(d, subs[mt_next(random) % 6]);
        }
        const int tail = static_cast<int>(mt_next(random) % 80);
        for (int k = 0; k < tail; k++) put_u8(d, mt_next(random) % 4 ? mt_next(random) % 256 : 0);
        a.send(d);
        if (i % 25 == 0) {
            run(k_tic_length);
            send_state(b, server_clock() - 1);
            a.take();
            b.take();
        }
    }
    run(1);
    EXPECT_LE(server_client_count(), 2);
    EXPECT_NE(server_slot_of(b.address()), -1) << "the honest rider is still in";
    send_state(b, server_clock() - 1);
    run(0.1);
    EXPECT_FALSE(of_type(b.take(), msg_states).empty());
    fake_client c;
    c.open(server_port(), "rm125\n3\nCleo");
    received info = identify(c);
    EXPECT_EQ(info.m.race, server_race_id());
    c.close();
    EXPECT_GT(server_statistics().refused, 0);
    EXPECT_LT(rejoins, 400);
}

TEST_F(server_run, APasswordKeepsOutWhoeverCannotProveIt) {
    options.password = "secret";
    start();
    a.send(build_contact(true, a.nonce));
    pump();
    std::vector<received> r = of_type(a.take(), msg_connect_reply);
    ASSERT_EQ(r.size(), 1u);
    a.slot = r[0].m.slot;
    a.id = r[0].m.client_id;
    a.send(build_client_info(a.slot, a.id, password_proof("guess", a.id), a.nonce, "x\n1\nA"));
    pump();
    std::vector<received> all = a.take();
    ASSERT_EQ(of_type(all, msg_error).size(), 1u);
    EXPECT_EQ(of_type(all, msg_error)[0].text(), "Wrong password\n");
    EXPECT_TRUE(of_type(all, msg_race_info).empty());
    EXPECT_EQ(server_client_count(), 0);

    b.send(build_contact(true, b.nonce));
    pump();
    r = of_type(b.take(), msg_connect_reply);
    ASSERT_EQ(r.size(), 1u);
    b.slot = r[0].m.slot;
    b.id = r[0].m.client_id;
    b.send(build_client_info(b.slot, b.id, password_proof("secret", b.id), b.nonce, "x\n1\nB"));
    pump();
    EXPECT_EQ(of_type(b.take(), msg_race_info).size(), 1u);
}

// Contacts that never prove the password hold no slot: a flood of them from one host does not
// keep a real rider out, however long it goes on.
TEST_F(server_run, AContactFloodDoesNotFillTheServer) {
    options.password = "secret";
    options.max_riders = 4;
    start();
    std::vector<fake_client> flood(60);
    for (fake_client& f : flood) f.open(server_port(), "x\n1\nF");
    for (int second = 0; second < 6; second++) {
        for (fake_client& f : flood) f.send(build_contact(true, f.nonce));
        run(1);
        for (fake_client& f : flood) f.take();
    }
    EXPECT_EQ(server_client_count(), 0);
    b.send(build_contact(true, b.nonce));
    pump();
    std::vector<received> r = of_type(b.take(), msg_connect_reply);
    ASSERT_EQ(r.size(), 1u) << "the rider is not told the server is full";
    b.slot = r[0].m.slot;
    b.id = r[0].m.client_id;
    b.send(build_client_info(b.slot, b.id, password_proof("secret", b.id), b.nonce, "x\n1\nB"));
    pump();
    EXPECT_EQ(of_type(b.take(), msg_race_info).size(), 1u);
    EXPECT_EQ(server_client_count(), 1);
    for (fake_client& f : flood) f.close();
}

// Guessing the password over and over: every guess is logged with its slot and address, and
// after a few the host waits longer and longer before a guess is even looked at.
TEST_F(server_run, PasswordGuessesFromOneHostAreLoggedAndSlowedDown) {
    options.password = "secret";
    start();
    int answered = 0, waits = 0;
    for (int guess = 0; guess < 40; guess++) {
        a.nonce++;
        a.send(build_contact(true, a.nonce));
        pump();
        std::vector<received> all = a.take();
        std::vector<received> r = of_type(all, msg_connect_reply);
        for (const received& e : of_type(all, msg_error))
            waits += e.text().rfind("Too many wrong passwords", 0) == 0;
        if (!r.empty()) {
            a.send(build_client_info(
                r[0].m.slot, r[0].m.client_id,
                password_proof(("guess" + std::to_string(guess)).c_str(), r[0].m.client_id),
                a.nonce, "x\n1\nA"));
            pump();
            for (const received& e : of_type(a.take(), msg_error))
                answered += e.text() == "Wrong password\n";
        }
        run(0.5);
    }
    // 20 s of guessing: three free guesses, then waits of 1, 2, 4 and 8 s.
    EXPECT_GE(answered, 4);
    EXPECT_LE(answered, 8);
    EXPECT_GT(waits, 20);
    char where[32];
    udp_address_text(a.address(), where, sizeof where);
    EXPECT_TRUE(logged(std::string("(") + where + "): wrong password"));
    EXPECT_EQ(server_client_count(), 0);
    EXPECT_GT(server_statistics().refused_by[refused_password], 20);
}

TEST_F(server_run, AFullServerSaysSoOrSendsRidersElsewhere) {
    options.max_riders = 1;
    start();
    identify(a);
    b.send(build_contact(false, b.nonce));
    pump();
    std::vector<received> all = b.take();
    EXPECT_EQ(of_type(all, msg_server_full).size(), 1u);
    EXPECT_TRUE(of_type(all, msg_connect_reply).empty());
    server_stop();

    options.redirect = "spare.example:19801";
    start();
    identify(a);
    b.send(build_contact(false, b.nonce));
    pump();
    std::vector<received> redirect = of_type(b.take(), msg_redirect);
    ASSERT_EQ(redirect.size(), 1u);
    EXPECT_EQ(redirect[0].m.nonce, b.nonce);
    EXPECT_EQ(redirect[0].text(), "spare.example:19801");
}

TEST_F(server_run, AClientOfAnotherProtocolIsTurnedAway) {
    start();
    datagram d = build_contact(false, a.nonce);
    d.bytes[9] = 33;
    a.send(d);
    pump();
    std::vector<received> all = a.take();
    ASSERT_EQ(of_type(all, msg_error).size(), 1u);
    EXPECT_EQ(server_client_count(), 0);
}

TEST_F(server_run, TheSameContactAgainGetsTheSameSlot) {
    start();
    identify(a);
    const int slot = a.slot;
    const uint32_t id = a.id;
    a.send(build_contact(false, a.nonce));
    pump();
    std::vector<received> r = of_type(a.take(), msg_connect_reply);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].m.slot, slot);
    EXPECT_EQ(r[0].m.client_id, id);
    EXPECT_EQ(server_client_count(), 1);
}

TEST_F(server_race_run, EachCrossingGoesToTheOtherRiders) {
    run(options.gate_drop + 20);
    a.take();
    b.take();
    const int tic = server_clock() - 2;
    claim(a, 0, tic);
    run(5 * k_tic_length);
    EXPECT_EQ(timing_of(a.slot).position, 1);
    EXPECT_EQ(running_order_at(0).slot, a.slot);
    std::vector<received> lists;
    for (const received& r : of_type(b.take(), msg_server_reliable))
        if (r.m.sub_type == sub_timing) lists.push_back(r);
    ASSERT_EQ(lists.size(), 1u);
    int32_t race = 0;
    int count = 0;
    const uint8_t* entries = nullptr;
    ASSERT_TRUE(
        parse_timing_list(lists[0].m.data, lists[0].m.data_length, &race, &count, &entries));
    EXPECT_EQ(race, a.race);
    ASSERT_EQ(count, 1);
    timing_entry e = get_timing_entry(entries);
    EXPECT_EQ(e.slot, a.slot);
    EXPECT_EQ(e.crossing, 0);
    EXPECT_EQ(e.tic, tic);
    for (const received& r : of_type(a.take(), msg_server_reliable))
        EXPECT_NE(r.m.sub_type, sub_timing) << "a rider is not told its own crossings";
}

// The results are built from the crossings riders report, so the server holds each against
// what a bike on the track can do. B rides the lap; A claims it without riding.
TEST_F(server_race_run, ARiderWhoClaimsALapItNeverRodeIsNotCredited) {
    const int drop = static_cast<int>(options.gate_drop * k_tics_per_second);
    run(options.gate_drop + 1);
    a.take();
    for (int k = 0; k < 200; k++) claim(a, k, server_clock() - 1);
    int next = 0;
    for (int step = 0; !race_results_done() && step < 128 * 120 / 8; step++) {
        run(8 * k_tic_length);
        // A stays in the race until B is home, then falls silent, which ends it.
        if (!rider_finished(b.slot)) send_state(a, server_clock() - 1);
        send_state(b, server_clock() - 1);
        const int crossing_at = drop + 3 * k_tics_per_second * (next + 1);
        if (next < first_lap_length() && server_clock() - 1 >= crossing_at)
            claim(b, next++, crossing_at);
        b.take();
    }
    ASSERT_TRUE(race_results_done());
    EXPECT_TRUE(rider_finished(b.slot));
    EXPECT_FALSE(rider_finished(a.slot));
    EXPECT_EQ(race_final_results().front().slot, b.slot);
    EXPECT_LE(timing_of(a.slot).position, 1) << "at most the first gate is in reach";
    EXPECT_GE(server_statistics().refused_crossings, 190);
    // The operator sees who and from where; the rider is told why.
    char where[32];
    udp_address_text(a.address(), where, sizeof where);
    EXPECT_TRUE(logged(std::string("Slot ") + std::to_string(a.slot) + " (" + where));
    EXPECT_TRUE(logged("faster than a bike can ride")) << "the burst is refused for its speed";
    std::vector<std::string> told = texts_of(a.take());
    EXPECT_NE(std::find(told.begin(), told.end(),
                        "Crossing refused by the server: faster than a bike can ride"),
              told.end());
}

TEST_F(server_race_run, CrossingsOutOfOrderOrTimeAreRefusedAndARepeatIsNot) {
    const int drop = static_cast<int>(options.gate_drop * k_tics_per_second);
    run(1);
    struct bad_claim {
        int crossing;
        int tic; // from the gate drop; the clock when far ahead
        const char* why;
    };
    claim(a, 0, drop - 50);
    run(options.gate_drop + 30);
    const int late = server_clock();
    const bad_claim cases[] = {
        {5, late - 100, "out of order"},
        {0, late + 30 * k_tics_per_second, "far from the server's clock"},
        {-1, late - 100, "not a gate of the lap"},
    };
    for (const bad_claim& c : cases) {
        const int64_t before = server_statistics().refused_crossings;
        claim(a, c.crossing, c.tic);
        run(1.1);
        EXPECT_EQ(server_statistics().refused_crossings, before + 1) << c.why;
        EXPECT_TRUE(logged(c.why)) << c.why;
        EXPECT_EQ(timing_of(a.slot).position, 0) << c.why;
    }
    EXPECT_TRUE(logged("before the gate drop"));
    // An honest crossing, then the same crossing again as a game re-queues it: no refusal.
    claim(a, 0, late - 10);
    run(0.1);
    const int64_t before = server_statistics().refused_crossings;
    claim(a, 0, late - 10);
    run(0.1);
    EXPECT_EQ(server_statistics().refused_crossings, before);
    EXPECT_EQ(timing_of(a.slot).position, 1);
    // Going back is for a gate missed behind, never one already credited.
    run(5);
    claim(a, 1, server_clock());
    run(0.1);
    claim(a, 0, server_clock());
    run(1.1);
    EXPECT_EQ(server_statistics().refused_crossings, before + 1);
    EXPECT_EQ(crossing_tic(timing_of(a.slot), 0), late - 10);
}

TEST_F(server_race_run, ChatGoesToEveryoneAtMostOnceEveryTwoSeconds) {
    a.take();
    b.take();
    a.say(sub_text, "hello\x01 all");
    a.say(sub_text, "spam");
    run(0.25);
    for (fake_client* c : {&a, &b}) {
        std::vector<std::string> texts;
        for (const received& r : of_type(c->take(), msg_server_reliable))
            if (r.m.sub_type == sub_text) texts.push_back(wire_text(r.m.data, r.m.data_length));
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], "Alice #7: hello  all");
    }
}

TEST_F(server_race_run, AWellFormedTerrainEditGoesToEveryRider) {
    a.take();
    b.take();
    datagram d;
    put_u32(d, static_cast<uint32_t>(a.race));
    put_u8(d, 1);
    for (int i = 0; i < 16 + 4; i++) put_u8(d, static_cast<unsigned>(i));
    a.say(sub_terrain_edit, std::string(reinterpret_cast<const char*>(d.bytes), d.length));
    datagram bad = d;
    bad.bytes[4] = 9; // not a version-1 record
    a.say(sub_terrain_edit, std::string(reinterpret_cast<const char*>(bad.bytes), bad.length));
    run(0.5);
    for (fake_client* c : {&a, &b}) {
        std::vector<received> edits;
        for (const received& r : of_type(c->take(), msg_server_reliable))
            if (r.m.sub_type == sub_terrain_edit) edits.push_back(r);
        ASSERT_EQ(edits.size(), 1u);
        EXPECT_EQ(wire_bytes(edits[0].m.data, edits[0].m.data + edits[0].m.data_length),
                  wire_bytes(d.bytes, d.bytes + d.length));
    }
}

// A terrain edit record numbered k in its last bytes, as a racing rider's game sends it.
std::string edit_payload(int race, int k) {
    datagram d;
    put_u32(d, static_cast<uint32_t>(race));
    put_u8(d, 1);
    for (int i = 0; i < 16; i++) put_u8(d, static_cast<unsigned>(i));
    put_u32(d, static_cast<uint32_t>(k));
    return std::string(reinterpret_cast<const char*>(d.bytes), d.length);
}

std::vector<int> edit_numbers(const std::vector<received>& all) {
    std::vector<int> out;
    for (const received& r : all)
        if (r.m.type == msg_server_reliable && r.m.sub_type == sub_terrain_edit)
            out.push_back(static_cast<int>(get_u32(r.m.data + r.m.data_length - 4)));
    return out;
}

// Only racing riders dig, and no faster than wheels can: a burst beyond that is not relayed.
// A rider who joins late gets the ruts dug so far many to a round trip, in order, with chat
// and crossings going ahead of them.
TEST_F(server_race_run, StoredRutsReachALateJoinerQuicklyWithChatAndCrossingsAhead) {
    run(options.gate_drop + 1);
    b.take();
    for (int k = 0; k < 200; k++) a.say(sub_terrain_edit, edit_payload(a.race, k));
    run(0.5);
    EXPECT_EQ(edit_numbers(b.take()), zero_to_n(64)) << "a burst is cut at what a bike digs";
    EXPECT_EQ(server_statistics().refused_edits, 136);
    run(2); // the allowance fills again
    std::vector<int> kept = zero_to_n(64);
    int sent = 200;
    for (int second = 0; second < 30; second++) {
        for (int k = 0; k < 30; k++) a.say(sub_terrain_edit, edit_payload(a.race, sent++));
        run(1);
    }
    std::vector<int> relayed = edit_numbers(b.take());
    EXPECT_EQ(relayed.size(), 900u) << "30 a second is within what a bike digs";
    EXPECT_EQ(server_statistics().refused_edits, 136);
    kept.insert(kept.end(), relayed.begin(), relayed.end());

    fake_client c;
    c.open(server_port(), "rm125\n3\nCleo");
    identify(c);
    received start = enter(c);
    EXPECT_EQ(start.m.slot, k_no_slot);
    a.say(sub_text, "hello Cleo");
    claim(a, 0, server_clock() - 1);
    std::vector<received> got;
    int edits_before_chat = -1, edits_before_timing = -1;
    double took = 0;
    for (; took < 10 && edit_numbers(got).size() < kept.size(); took += 0.05) {
        run(0.05);
        for (const received& r : c.take()) {
            got.push_back(r);
            if (r.m.type != msg_server_reliable) continue;
            const int edits = static_cast<int>(edit_numbers(got).size());
            if (r.m.sub_type == sub_text && texts_of({r})[0] == "Alice #7: hello Cleo")
                edits_before_chat = edits;
            if (r.m.sub_type == sub_timing && edits_before_timing < 0) edits_before_timing = edits;
        }
    }
    std::vector<int> dug = edit_numbers(got);
    EXPECT_EQ(dug, kept) << "every rut, once, in the order dug";
    EXPECT_LT(took, 2.0) << kept.size() << " edits";
    EXPECT_GE(edits_before_chat, 0);
    EXPECT_LE(edits_before_chat, 2 * k_reliable_window_for_test);
    EXPECT_GE(edits_before_timing, 0);
    EXPECT_LE(edits_before_timing, 2 * k_reliable_window_for_test);

    // A watcher digs nothing.
    a.take();
    c.say(sub_terrain_edit, edit_payload(c.race, 99999));
    run(0.5);
    EXPECT_TRUE(edit_numbers(a.take()).empty());
    c.close();
}

// A game acknowledges the riders once a second: a full race's lineup still reaches a late joiner
// in a few seconds, well inside the warm-up and the gate drop.
TEST_F(server_run, AFullRacesLineupReachesAGameThatAcknowledgesOnceASecond) {
    options.warmup = 1;
    start();
    std::vector<fake_client> riders(39);
    for (size_t i = 0; i < riders.size(); i++) {
        riders[i].open(server_port(), "rm125\n" + std::to_string(i + 1) + "\nR");
        identify(riders[i]);
    }
    run(1.1);
    ASSERT_EQ(server_race_phase(), phase_racing);
    fake_client c;
    c.open(server_port(), "rm125\n99\nLate");
    identify(c);
    c.send(build_client_values(msg_track_ack, c.slot, c.id, 1, c.race));
    int last = -1, lineup = 0;
    double waited = 0;
    bool started = false;
    for (; waited < 60 && !started; waited += 1) {
        run(1);
        for (fake_client& r : riders) r.take();
        for (const received& r : c.take()) {
            if (r.m.type == msg_start) started = true;
            if (r.m.type != msg_rider || r.m.slot <= last) continue;
            last = r.m.slot;
            lineup++;
        }
        c.send(build_client_values(msg_bike_ack, c.slot, c.id, 2, c.race, last));
    }
    EXPECT_TRUE(started);
    EXPECT_EQ(lineup, 39);
    EXPECT_LE(waited, 3) << "seconds to the start";
    for (fake_client& r : riders) r.close();
    c.close();
}

// Every joined game hears from the server at least once a second, watching or not, so a game
// that hears nothing for long knows the server is gone.
TEST_F(server_run, EveryJoinedGameHearsFromTheServerEverySecond) {
    start();
    identify(a);
    a.take();
    int quiet_seconds = 0;
    for (int second = 0; second < 10; second++) {
        run(1);
        quiet_seconds += a.take().empty();
        a.send(build_client_values(msg_ack, a.slot, a.id, 1, 0)); // the game is still there
    }
    EXPECT_EQ(quiet_seconds, 0);
    EXPECT_EQ(server_client_count(), 1);
}

// The tic a game sends is echoed back for its ping: one from far beyond the server's clock is
// not believed, and the game's real tics are echoed as before.
TEST_F(server_race_run, AStateFromFarBeyondTheClockIsNotEchoed) {
    run(1);
    compact_state st = {};
    a.send(build_state(a.slot, a.id, a.race, server_clock(), INT32_MAX, st));
    run(0.1);
    const int tic = server_clock() - 3;
    send_state(a, tic);
    run(0.05);
    std::vector<received> states = of_type(a.take(), msg_states);
    ASSERT_FALSE(states.empty());
    const received& last = states.back();
    EXPECT_GE(last.m.echo_tic, tic);
    EXPECT_LE(last.m.echo_tic, tic + 16);
}

// A restart takes more than half the racing riders, however often one of them asks.
TEST_F(server_race_run, TheRestartVoteCountsRidersNotRequests) {
    const int race = server_race_id();
    for (int i = 0; i < 5; i++) {
        a.send(build_client_values(msg_restart_request, a.slot, a.id, 1, 1));
        run(0.1);
    }
    EXPECT_EQ(server_race_id(), race);
    EXPECT_TRUE(logged("asks for a restart (1 of 2)"));
    b.send(build_client_values(msg_restart_request, b.slot, b.id, 1, 1));
    run(0.1);
    EXPECT_EQ(server_race_id(), race + 1);
}

TEST_F(server_race_run, ARiderWhoGoesSilentIsDroppedAndTold) {
    b.answers = false;
    for (int i = 0; i < 32 * 8; i++) {
        send_state(a, server_clock());
        run(0.125);
    }
    EXPECT_EQ(server_client_count(), 1);
    EXPECT_FALSE(of_type(b.take(), msg_server_disconnect).empty());
    EXPECT_TRUE(of_type(a.take(), msg_server_disconnect).empty());
}

// A game watching the warm-up sends nothing of its own: the server asks it for an
// acknowledgment before its silence runs out, and drops it only when that goes unanswered.
TEST_F(server_run, AWatcherStaysWhileItAnswersAndIsDroppedWhenItDoesNot) {
    start();
    identify(a);
    enter(a);
    run(65);
    EXPECT_EQ(server_client_count(), 1);
    EXPECT_TRUE(of_type(a.take(), msg_server_disconnect).empty());
    a.answers = false;
    run(35);
    EXPECT_EQ(server_client_count(), 0);
    EXPECT_FALSE(of_type(a.take(), msg_server_disconnect).empty());
}

// A game that joined a race as it ended and lost the restart that sends it on keeps saying it
// is ready for the old race; each time it is sent the restart again, and then joins.
TEST_F(server_run, ALostRestartGoesAgainWhileTheGameWaitsInTheOldRace) {
    options.warmup = 1;
    start();
    identify(a);
    const int old_race = a.race;
    run(1.1);
    ASSERT_EQ(server_race_phase(), phase_racing);
    a.take();
    a.send(build_client_values(msg_track_ack, a.slot, a.id, 1, old_race));
    pump();
    std::vector<received> start_message = of_type(a.take(), msg_start);
    ASSERT_EQ(start_message.size(), 1u);
    EXPECT_EQ(start_message[0].m.slot, k_no_slot) << "an ended race is only watched";
    for (int attempt = 0; attempt < 3; attempt++) {
        a.send(build_client_values(msg_ready, a.slot, a.id, 1, old_race));
        pump();
        std::vector<received> restart = of_type(a.take(), msg_restart);
        ASSERT_EQ(restart.size(), 1u) << "attempt " << attempt;
        EXPECT_EQ(restart[0].m.race, server_race_id());
    }
    a.send(build_client_values(msg_restart_ack, a.slot, a.id, 1, server_race_id()));
    pump();
    EXPECT_EQ(of_type(a.take(), msg_race_info).size(), 1u);
}

// A game whose race info was lost keeps identifying itself; when a new race has begun
// meanwhile, it is told about that one.
TEST_F(server_run, ALostRaceInfoGoesAgainForTheRaceNowRunning) {
    options.warmup = 1;
    start();
    identify(a); // its race info is taken here and treated as lost
    run(1.1);
    ASSERT_EQ(server_race_phase(), phase_racing);
    ASSERT_GT(server_race_id(), a.race);
    a.take();
    a.send(build_client_info(a.slot, a.id, 0, a.nonce, a.descriptor.c_str()));
    pump();
    std::vector<received> info = of_type(a.take(), msg_race_info);
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].m.race, server_race_id());
    a.race = info[0].m.race;
    received start_message = enter(a);
    EXPECT_EQ(start_message.m.slot, a.slot) << "it rides the race it was counted in";
}

// A game watching the warm-up whose restart is lost sends nothing that would bring it again:
// the restart goes again by itself until it is acknowledged.
TEST_F(server_run, AWatchersLostRestartGoesAgainUntilAcknowledged) {
    options.warmup = 1;
    start();
    identify(a);
    enter(a);
    a.take();
    run(1.1);
    ASSERT_EQ(server_race_phase(), phase_racing);
    a.take(); // the restart is lost
    run(1.5);
    std::vector<received> restart = of_type(a.take(), msg_restart);
    ASSERT_FALSE(restart.empty());
    EXPECT_EQ(restart.back().m.race, server_race_id());
    a.send(build_client_values(msg_restart_ack, a.slot, a.id, 1, server_race_id()));
    pump();
    EXPECT_EQ(of_type(a.take(), msg_race_info).size(), 1u);
    run(3);
    EXPECT_TRUE(of_type(a.take(), msg_restart).empty()) << "acknowledged, it stops";
}

TEST_F(server_race_run, ADisconnectFreesTheClientButNotItsPlaceInTheRace) {
    b.send(build_client_values(msg_disconnect, b.slot, b.id, 0));
    pump();
    EXPECT_EQ(of_type(b.take(), msg_server_disconnect).size(), 1u);
    EXPECT_EQ(server_client_count(), 1);
    // A newcomer is not given the slot of a rider still in the race.
    fake_client c;
    c.open(server_port(), "rm125\n3\nCleo");
    identify(c);
    EXPECT_NE(c.slot, b.slot);
    EXPECT_NE(c.slot, a.slot);
    std::vector<received> riders;
    received s = enter(c, &riders);
    EXPECT_EQ(s.m.slot, k_no_slot) << "it watches the race in progress";
    EXPECT_EQ(riders.size(), 2u);
    c.close();
}

// The operator's console: a slot is a number or nothing is kicked, and the status says who is
// where and what was refused.
TEST_F(server_race_run, KickTakesOnlyASlotNumberAndStatusCountsRefusals) {
    for (const char* line : {"kick abc", "kick ", "kick 1x", "kick -1", "kick 99999999999"}) {
        server_console(line, now);
        EXPECT_EQ(server_client_count(), 2) << line;
    }
    EXPECT_TRUE(logged("No client in slot 'abc'"));
    a.send_raw(wire_bytes{msg_state, 1, 2}); // malformed
    pump();
    g_log.clear();
    server_console("status", now);
    char where[32];
    udp_address_text(b.address(), where, sizeof where);
    EXPECT_TRUE(logged(std::string("Bruno #12 at ") + where));
    EXPECT_TRUE(logged("Refused datagrams: malformed 1,"));
    server_console(("kick " + std::to_string(b.slot)).c_str(), now);
    EXPECT_EQ(server_client_count(), 1);
    EXPECT_EQ(server_slot_of(b.address()), -1);
}

// A rider's file: kept under the operator's folder (made when missing), never over another's,
// and the rider hears whether it was kept.
TEST_F(server_run, UploadsAreKeptSideBySideAndAFailureIsSaid) {
    options.uploads_dir = (home / "uploads" / "riders").string();
    start();
    identify(a);
    auto send_file = [&](const std::string& name, const std::string& bytes) {
        a.say(sub_command, "sendfile");
        run(0.1);
        a.say(sub_command, "sendpart -" + bytes.substr(0, 3));
        a.say(sub_command, "sendpart -" + bytes.substr(3));
        a.say(sub_command, "namefile " + name);
        run(0.2);
        return texts_of(a.take());
    };
    const std::string slot = std::to_string(a.slot);
    send_file("setup.txt", "first file");
    send_file("setup.txt", "second file");
    auto text_of = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream t;
        t << in.rdbuf();
        return t.str();
    };
    EXPECT_EQ(text_of(options.uploads_dir + "/" + slot + "-setup.txt"), "first file");
    EXPECT_EQ(text_of(options.uploads_dir + "/" + slot + "-1-setup.txt"), "second file");
    std::vector<std::string> told = send_file("../escape", "sneaky");
    EXPECT_FALSE(fs::exists(home / "uploads" / "escape"));
    EXPECT_EQ(std::distance(fs::directory_iterator(options.uploads_dir), fs::directory_iterator()),
              2);

    // A folder that can't be made: the rider is told, the log says why.
    server_stop();
    a.close();
    b.close();
    std::ofstream(home / "not-a-folder") << "x";
    options.uploads_dir = (home / "not-a-folder" / "uploads").string();
    start();
    a.sequence = 0;
    identify(a);
    told = send_file("setup.txt", "third file");
    EXPECT_NE(std::find(told.begin(), told.end(), "The server could not keep setup.txt"),
              told.end());
    EXPECT_TRUE(logged("but it can't be kept in"));
}

// Both riders ride their lap, reporting every crossing and their states; the race ends, the
// results file is what the games write, and the next race follows the results.
TEST_F(server_race_run, TheRaceEndsWithTheResultsFileAndTheNextRace) {
    const int drop = static_cast<int>(options.gate_drop * k_tics_per_second);
    int next[2] = {0, 0};
    for (int tic = 0; !race_results_done() && tic < 128 * 120; tic += 8) {
        run(8 * k_tic_length);
        for (int i = 0; i < 2; i++) {
            fake_client& c = i == 0 ? a : b;
            send_state(c, server_clock() - 1);
            // A crossing every 2 s after the drop, B a little behind A.
            int crossing_at = drop + 256 * (next[i] + 1) + 40 * i;
            if (next[i] < first_lap_length() && server_clock() - 1 >= crossing_at) {
                datagram d;
                put_client_timing(d, client_timing{c.race, next[i], crossing_at});
                c.say(sub_timing, std::string(reinterpret_cast<const char*>(d.bytes), 12));
                next[i]++;
            }
            c.take();
        }
    }
    ASSERT_TRUE(race_results_done());
    run(0.1);
    ASSERT_FALSE(server_last_results().empty());
    std::ifstream in(server_last_results(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string results = text.str();
    EXPECT_EQ(results.rfind("Time=0.00|Laps=1|Track=practice|", 0), 0u) << results;
    EXPECT_NE(results.find("   7 | yz250f(2017) |    1 |"), std::string::npos) << results;
    EXPECT_NE(results.find("  12 |        rm125 |    1 |"), std::string::npos) << results;
    EXPECT_LT(results.find("   7 |"), results.find("  12 |")) << "Alice first";
    EXPECT_EQ(server_race_phase(), phase_results);
    a.take();
    run(options.results_time + 0.1);
    EXPECT_EQ(server_race_phase(), phase_racing);
    EXPECT_EQ(of_type(a.take(), msg_restart).size(), 1u);
}
} // namespace

namespace {
server_parse_result parse(std::vector<const char*> args, server_options& o) {
    args.insert(args.begin(), "trailbok-server");
    return server_parse_options(static_cast<int>(args.size()), args.data(), o);
}

TEST(server_options_parse, ThePasswordComesFromAFileOrTheEnvironmentAsWellAsTheCommandLine) {
    const fs::path file = fs::temp_directory_path() / "tb_server_password.txt";
    std::ofstream(file) << "hunter2\r\nsecond line\n";
    unsetenv(k_password_variable);
    server_options o;
    EXPECT_TRUE(parse({"--track", "practice", "--password-file", file.c_str()}, o).ok);
    EXPECT_EQ(o.password, "hunter2");

    setenv(k_password_variable, "from-env", 1);
    server_options e;
    EXPECT_TRUE(parse({"--track", "practice"}, e).ok);
    EXPECT_EQ(e.password, "from-env");
    server_options both;
    EXPECT_TRUE(parse({"--track", "practice", "--password", "typed"}, both).ok);
    EXPECT_EQ(both.password, "typed") << "the command line says last";
    unsetenv(k_password_variable);

    server_options bad;
    server_parse_result r =
        parse({"--track", "practice", "--password-file", "/nonexistent/pw"}, bad);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "bad value for --password-file");
    std::ofstream(file) << "\n";
    EXPECT_FALSE(parse({"--track", "practice", "--password-file", file.c_str()}, bad).ok)
        << "an empty password is no password";
    fs::remove(file);
}
} // namespace
