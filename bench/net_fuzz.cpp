// Random and mutated datagrams against both ends of the race-server protocol for a given time:
// the game's client (every server message in every state, with network steps and race tics
// between) and the race server's datagram handler (every client message from clients that really
// joined, with their slot, id and race in the header and random tails, from strangers too, with
// server tics between). Each part runs in child processes, so that a fault is reported with its
// stack and the inputs before it, and the time left goes on with a fresh child. At the end: what
// was sent, the most each end held, and each kind of fault with its first report.
//
// net_fuzz [seconds [client|server]]: both parts, half the time each, unless one is named.
#include "bench_home.h"

#include "server/server.h"
#include "server/server_local.h" // read only: the queues the server keeps per client

#include "bike/bike.h"
#include "common/common.h"
#include "common/random.h"
#include "demo/demo.h"
#include "net/net.h"
#include "net/net_reliable.h"
#include "net/net_wire.h"
#include "net/udp.h"
#include "platform/log.h"
#include "race/race.h"
#include "terrain/erosion.h"
#include "terrain/terrain.h"
#include "track/track.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <iterator>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>

// Undefined behaviour ends the run with its stack, by abort, so that the inputs are reported too.
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:abort_on_error=1:halt_on_error=1";
}
#endif

namespace {
constexpr double k_hang_seconds = 30; // s one input may take before the run counts as hung
constexpr int k_ring_size = 24;       // inputs kept for the report of a crash
constexpr int k_session_events = 4000;

double clock_now() { return system_clock_seconds(); }

// ---- What a crash report shows: the inputs before it, newest last.

struct fuzz_input {
    char what[48] = {}; // which generator made it, and for whom
    int length = 0;
    uint8_t bytes[k_datagram_max + 1] = {};
};

struct input_ring {
    fuzz_input entries[k_ring_size];
    int64_t count = 0;
};
input_ring g_ring;
std::atomic<int64_t> g_progress{0};
pthread_t g_main_thread;

// Formatted by hand, as the report may be written from a signal handler.
void write_text(const char* text) {
    ssize_t ignored = write(2, text, strlen(text));
    (void)ignored;
}

void write_input(const fuzz_input& in, int64_t index) {
    char line[160];
    std::snprintf(line, sizeof line, "  input %lld (%s), %d bytes:\n",
                  static_cast<long long>(index), in.what, in.length);
    write_text(line);
    static const char hex[] = "0123456789abcdef";
    for (int at = 0; at < in.length; at += 32) {
        char row[4 + 32 * 3 + 2];
        int n = 0;
        row[n++] = ' ';
        row[n++] = ' ';
        for (int i = at; i < in.length && i < at + 32; i++) {
            row[n++] = ' ';
            row[n++] = hex[in.bytes[i] >> 4];
            row[n++] = hex[in.bytes[i] & 15];
        }
        row[n++] = '\n';
        row[n] = 0;
        write_text(row);
    }
}

void dump_ring() {
    write_text("net_fuzz: the last inputs, oldest first:\n");
    const int64_t first = std::max<int64_t>(0, g_ring.count - k_ring_size);
    for (int64_t i = first; i < g_ring.count; i++) write_input(g_ring.entries[i % k_ring_size], i);
}

void write_backtrace() {
    void* frames[64];
    int n = backtrace(frames, 64);
    backtrace_symbols_fd(frames, n, 2);
}

void on_fatal_signal(int signal) {
    char line[64];
    std::snprintf(line, sizeof line, "net_fuzz: signal %d\n", signal);
    write_text(line);
    write_backtrace();
    dump_ring();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

// The main thread's stack when the watchdog finds it stuck.
void on_hang_signal(int) {
    write_text("net_fuzz: hung; the main thread is at:\n");
    write_backtrace();
    dump_ring();
    _exit(3);
}

void install_reports() {
    g_main_thread = pthread_self();
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers print the fault and its stack, then this; they keep the faults they catch.
    __sanitizer_set_death_callback(dump_ring);
    std::signal(SIGABRT, on_fatal_signal);
#else
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(s, on_fatal_signal);
#endif
    std::signal(SIGUSR2, on_hang_signal);
    std::thread([] {
        int64_t seen = -1;
        double since = clock_now();
        for (;;) {
            sleep(1);
            const int64_t now_at = g_progress.load();
            if (now_at != seen) {
                seen = now_at;
                since = clock_now();
            } else if (clock_now() - since > k_hang_seconds) {
                pthread_kill(g_main_thread, SIGUSR2);
                sleep(5);
                _exit(3);
            }
        }
    }).detach();
}

// Kept before it is handled, so that a crash in handling it reports it.
void note(const char* what, const uint8_t* bytes, int length) {
    fuzz_input& in = g_ring.entries[g_ring.count % k_ring_size];
    std::snprintf(in.what, sizeof in.what, "%s", what);
    in.length = std::clamp(length, 0, k_datagram_max + 1);
    if (in.length > 0) std::memcpy(in.bytes, bytes, static_cast<size_t>(in.length));
    g_ring.count++;
    g_progress++;
}

[[noreturn]] void fail(const char* what) {
    write_text("net_fuzz: ");
    write_text(what);
    write_text("\n");
    dump_ring();
    _exit(2);
}

// ---- Random bytes and mutations.

struct rng {
    mt19937_state state = {};
    uint32_t next() { return mt_next(state); }
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint32_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
};

constexpr int32_t k_interesting[] = {0,      1,       -1,         2,         127,     128,
                                     255,    256,     159,        160,       161,     1000,
                                     65535,  65536,   1 << 20,    1 << 24,   INT_MAX, INT_MIN,
                                     -65536, 1 << 30, 0x7fffff00, -(1 << 30)};

int32_t interesting(rng& r) { return k_interesting[r.below(std::size(k_interesting))]; }

using byte_string = std::vector<uint8_t>;

byte_string of(const datagram& d) { return byte_string(d.bytes, d.bytes + d.length); }

void put_at(byte_string& b, size_t at, uint32_t v) {
    for (size_t k = 0; k < 4 && at + k < b.size(); k++)
        b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

// One to four changes: bits flipped, bytes and 32-bit fields set to edge values, cut short, made
// longer, or the type changed.
void mutate(rng& r, byte_string& b, const int* types, int type_count) {
    const int changes = 1 + r.below(4);
    for (int i = 0; i < changes; i++) {
        switch (r.below(7)) {
        case 0:
            if (!b.empty()) b[r.below(static_cast<int>(b.size()))] ^= 1u << r.below(8);
            break;
        case 1:
            if (!b.empty())
                b[r.below(static_cast<int>(b.size()))] = static_cast<uint8_t>(interesting(r));
            break;
        case 2:
            if (b.size() > 4)
                put_at(b, 1 + 4 * r.below(static_cast<int>((b.size() - 1) / 4)),
                       static_cast<uint32_t>(interesting(r)));
            break;
        case 3:
            if (b.size() > 1) b.resize(1 + r.below(static_cast<int>(b.size())));
            break;
        case 4: {
            const int more = 1 + r.below(r.chance(10) ? 1100 : 64);
            for (int k = 0; k < more && b.size() < k_datagram_max + 1; k++)
                b.push_back(static_cast<uint8_t>(r.next()));
            break;
        }
        case 5:
            if (!b.empty()) b[0] = static_cast<uint8_t>(types[r.below(type_count)]);
            break;
        default:
            if (b.size() > 2) {
                // A stretch of random bytes over the tail.
                size_t at = 1 + static_cast<size_t>(r.below(static_cast<int>(b.size() - 1)));
                for (size_t k = at; k < b.size() && k < at + 16; k++)
                    b[k] = static_cast<uint8_t>(r.next());
            }
            break;
        }
    }
    if (b.empty()) b.push_back(static_cast<uint8_t>(types[r.below(type_count)]));
}

byte_string random_datagram(rng& r, const int* types, int type_count) {
    byte_string b(1 + static_cast<size_t>(r.below(r.chance(10) ? k_datagram_max + 1 : 80)));
    for (uint8_t& x : b) x = static_cast<uint8_t>(r.next());
    if (r.chance(80)) b[0] = static_cast<uint8_t>(types[r.below(type_count)]);
    return b;
}

std::string random_text(rng& r, int most) {
    static const char pieces[] = "abc XYZ|\n\t%s%n019.-_/\\:";
    std::string t(static_cast<size_t>(r.below(most + 1)), ' ');
    for (char& c : t)
        c = r.chance(5) ? static_cast<char>(r.next()) : pieces[r.below(sizeof pieces - 1)];
    return t;
}

// A well-formed terrain edit record somewhere on (or just off) a ground of the extent.
byte_string terrain_edit(rng& r, float extent) {
    erosion_point points[k_erosion_path_points];
    const int count = 1 + r.below(k_erosion_path_points);
    float x = static_cast<float>(r.below(static_cast<int>(extent) + 40)) - 20;
    float z = static_cast<float>(r.below(static_cast<int>(extent) + 40)) - 20;
    float lo[2] = {0, 0}, hi[2] = {0, 0};
    for (int k = 0; k < count; k++) {
        erosion_point& p = points[k];
        if (k > 0) {
            const float dx = static_cast<float>(r.below(2000)) / 100 - 10;
            const float dz = static_cast<float>(r.below(2000)) / 100 - 10;
            x += dx;
            z += dz;
            lo[0] = k == 1 ? dx : std::min(lo[0], dx);
            hi[0] = k == 1 ? dx : std::max(hi[0], dx);
            lo[1] = k == 1 ? dz : std::min(lo[1], dz);
            hi[1] = k == 1 ? dz : std::max(hi[1], dz);
        }
        p.x = x;
        p.z = z;
        p.push_x = static_cast<float>(r.below(201)) / 100 - 1;
        p.push_z = static_cast<float>(r.below(201)) / 100 - 1;
        p.count = r.below(16);
    }
    uint8_t record[k_edit_record_max_bytes];
    const int length = terrain_edit_encode(points, count, lo, hi, extent, record);
    return byte_string(record, record + length);
}

byte_string with_race(int race, const byte_string& rest) {
    byte_string b(4);
    put_at(b, 0, static_cast<uint32_t>(race));
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

byte_string text_bytes(const std::string& t) { return byte_string(t.begin(), t.end()); }

// ---- (a) The game's client against a fake server.

constexpr int k_server_types[] = {1,  2, 4, 6, 8, 10, 11, 13, 14, 15, 16,  17, 18,
                                  25, 0, 3, 5, 7, 9,  12, 19, 24, 26, 200, 255};
constexpr int k_server_type_count = static_cast<int>(std::size(k_server_types));

struct client_counts {
    int64_t events = 0, datagrams = 0, through_socket = 0, steps = 0, race_tics = 0;
    int64_t sessions = 0, link_ends = 0;
    int64_t by_type[256] = {};
    int64_t in_state[16] = {};
    int most_outgoing = 0, most_early = 0, most_delayed = 0;
    double slowest = 0; // s, one datagram's handling
};

struct client_fuzz {
    rng r;
    int socket = -1; // the fake server's
    udp_address client;
    double now = 1000.25;
    uint8_t digest[20] = {};
    float extent = 0;
    client_counts counts;
    // What the fake server told the client in this session.
    int slot = 3;
    uint32_t id = 0x55aa;
    uint32_t nonce = 0;
    int race = 7;
    int next_rider = 0;
    int32_t sequence = 0;     // of the next reliable message
    int tic = 400;            // the server tic it sends
    bool acknowledges = true; // a server that takes none of the client's reliable messages
};

bool state_known(int state) {
    for (int s : {-1, 0, 3, 5, 7, 9, 11, 14, 15})
        if (state == s) return true;
    return false;
}

// What the client sent: its address and nonce from the contact, and most reliable messages
// acknowledged as a server would.
void client_read_sent(client_fuzz& f) {
    uint8_t buffer[2048];
    udp_address from;
    for (;;) {
        const int n = udp_receive(f.socket, buffer, sizeof buffer, &from);
        if (n < 0) return;
        client_message m;
        if (!parse_client_message(buffer, n, &m)) continue;
        if (m.type == msg_contact) {
            f.client = from;
            f.nonce = m.nonce;
        }
        if (m.type == msg_reliable && f.acknowledges && f.r.chance(90)) {
            datagram ack = build_server_value(msg_server_ack, m.value);
            note("client: ack of its reliable", ack.bytes, ack.length);
            net_handle_datagram(ack.bytes, ack.length, f.now);
        }
    }
}

byte_string server_reliable(client_fuzz& f, int sub_type, const byte_string& payload) {
    // Mostly the next in turn; now and then one ahead, behind or far off.
    int32_t seq = f.sequence;
    if (f.r.chance(80))
        f.sequence++;
    else
        seq = f.r.chance(50) ? f.sequence + f.r.below(100) - 20 : interesting(f.r);
    return of(
        build_server_reliable(seq, sub_type, payload.data(), static_cast<int>(payload.size())));
}

byte_string client_reliable_payload(client_fuzz& f, int* sub_type) {
    static const char* commands[] = {"version",
                                     "no_arcade",
                                     "sendready",
                                     "senddenied",
                                     "knockout 5 10 200",
                                     "knockout",
                                     "erode 7 0",
                                     "erode 7 2048",
                                     "erode 7",
                                     "erode 7 1 2",
                                     "off_course_bias 4",
                                     "off_course_scale 1e38",
                                     "off_course_bias nan",
                                     "  erode 7 -1"};
    switch (f.r.below(5)) {
    case 0:
        *sub_type = sub_text;
        return text_bytes(random_text(f.r, 300));
    case 1: {
        *sub_type = sub_timing;
        byte_string b(8);
        const int count = f.r.below(8);
        put_at(b, 0, static_cast<uint32_t>(f.r.chance(80) ? f.race : interesting(f.r)));
        put_at(b, 4, static_cast<uint32_t>(f.r.chance(80) ? count : interesting(f.r)));
        for (int i = 0; i < count; i++) {
            byte_string e(12);
            put_at(e, 0, static_cast<uint32_t>(f.r.chance(70) ? f.r.below(6) : interesting(f.r)));
            put_at(e, 4, static_cast<uint32_t>(f.r.chance(70) ? f.r.below(40) : interesting(f.r)));
            put_at(
                e, 8,
                static_cast<uint32_t>(f.r.chance(70) ? f.tic + f.r.below(2000) : interesting(f.r)));
            b.insert(b.end(), e.begin(), e.end());
        }
        return b;
    }
    case 2:
        *sub_type = sub_command;
        return text_bytes(f.r.chance(80) ? commands[f.r.below(std::size(commands))]
                                         : random_text(f.r, 200));
    case 3:
        *sub_type = sub_terrain_edit;
        return with_race(f.r.chance(85) ? f.race : interesting(f.r), terrain_edit(f.r, f.extent));
    default:
        *sub_type = f.r.below(256);
        return text_bytes(random_text(f.r, 100));
    }
}

// A message a server would send the client in its state, with the session's race and slot.
byte_string server_valid(client_fuzz& f) {
    const int state = net_state();
    rng& r = f.r;
    if (r.chance(8)) {
        int sub_type = 0;
        byte_string payload = client_reliable_payload(f, &sub_type);
        return server_reliable(f, sub_type, payload);
    }
    if (r.chance(3)) return of(build_server_value(msg_value, interesting(r)));
    switch (state) {
    case 0:
        if (r.chance(10)) {
            const std::string here = "127.0.0.1:" + std::to_string(udp_local_port(f.socket));
            return of(build_redirect(r.chance(80) ? f.nonce : r.next(), here.c_str()));
        }
        f.slot = r.chance(80) ? 3 : r.below(200);
        f.id = r.next();
        return of(build_connect_reply(f.slot, f.id, r.chance(95) ? 6 : interesting(r)));
    case 3:
    case 14: {
        if (state == 14 || r.chance(90)) f.race = state == 14 ? f.race : r.below(50) + 1;
        f.next_rider = 0;
        const char* track = r.chance(95) ? "practice" : "nowhere";
        return of(build_race_info(f.race, r.chance(20) ? 128 * 60 : 0, r.below(4),
                                  64 + r.below(2000), f.digest, track));
    }
    case 5:
    case 7:
        if (r.chance(70) && f.next_rider < k_max_riders) {
            static const char* riders[] = {"rm125||||\n42\nBob", "yz250f(2017)\n7\nEve",
                                           "nosuchbike\n1\nX", "", "|||||||\n\n\n\n"};
            f.next_rider += 1 + r.below(4);
            return of(build_rider(f.race, std::min(f.next_rider, k_max_riders - 1),
                                  riders[r.below(std::size(riders))]));
        }
        return of(build_start(f.race,
                              r.chance(80)   ? f.slot
                              : r.chance(50) ? k_no_slot
                                             : r.below(161),
                              ""));
    case 9:
    case 11: {
        if (r.chance(5)) {
            f.race += 1 + r.below(2);
            return of(build_server_value(msg_restart, f.race));
        }
        f.tic += r.below(16);
        if (r.chance(30)) return of(build_time(f.race, f.tic, r.chance(50) ? race_clock() : 0));
        datagram d = build_states_header(f.race, f.tic, r.chance(50) ? race_clock() : 0);
        const int count = r.below(6);
        for (int i = 0; i < count; i++) {
            int entry_slot = r.below(8);
            compact_state s = {};
            if (race_slot(entry_slot).bike >= 0)
                s = compact_state_encode(race_slot(entry_slot).bike);
            for (int k = r.below(4); k > 0; k--) s.bytes[r.below(k_compact_state_size)] = r.next();
            put_state_entry(d, state_entry{entry_slot, r.below(200), f.tic - r.below(64), s});
        }
        states_set_count(d, r.chance(90) ? count : count + r.below(3));
        return of(d);
    }
    default:
        if (r.chance(50)) return of(build_server_byte(msg_server_disconnect));
        return of(build_error(random_text(r, 60).c_str()));
    }
}

void client_step(client_fuzz& f, int tics) {
    for (int i = 0; i < tics; i++) {
        f.now += k_tic_length;
        net_tic(f.now);
        f.counts.steps++;
        if (net_server_sent_tic()) {
            race_world_tic();
            f.counts.race_tics++;
        }
    }
}

void client_check(client_fuzz& f) {
    const int state = net_state();
    if (!state_known(state)) fail("client: a state it does not know");
    const net_queue_sizes q = net_queues();
    client_counts& c = f.counts;
    c.most_outgoing = std::max(c.most_outgoing, q.outgoing);
    c.most_early = std::max(c.most_early, q.early);
    c.most_delayed = std::max(c.most_delayed, q.delayed);
    if (q.outgoing > k_outgoing_max) fail("client: outgoing reliable queue past its bound");
    if (q.early > k_early_max) fail("client: early messages past their bound");
    if (q.delayed > 1024) fail("client: fake-lag queue past its bound");
    int local = 0;
    for (int slot = 0; slot < k_max_riders; slot++) {
        const rider_slot& s = race_slot(slot);
        if (s.bike >= 0 && s.kind == rider_robot) fail("client: a robot rides for the server");
        local += s.bike >= 0 && s.kind == rider_local;
    }
    if (local > 1) fail("client: two local riders");
}

void client_session(client_fuzz& f) {
    rng& r = f.r;
    net_connect_params p;
    p.record_mode = r.below(2);
    if (r.chance(10)) p.fake_lag = 0.05f;
    if (r.chance(10)) p.fake_loss = 20;
    if (r.chance(10)) p.password = "pit lane";
    const std::string address = "127.0.0.1:" + std::to_string(udp_local_port(f.socket));
    if (!net_connect(address.c_str(), p, f.now)) fail("client: no connection to the fake server");
    f.counts.sessions++;
    f.acknowledges = r.chance(80);
    f.sequence = 0;
    f.tic = 400;
    client_read_sent(f);
    for (int event = 0; event < k_session_events && net_connected(); event++) {
        f.counts.events++;
        const int kind = r.below(100);
        if (kind < 15) {
            // Time passes: mostly a few tics, now and then long enough for a timer to run out.
            if (r.chance(3)) {
                const double jump = 0.5 + r.below(1200) / 100.0;
                f.now += jump;
            }
            client_step(f, 1 + r.below(16));
            g_progress++;
        } else {
            byte_string b;
            const char* what = "client: valid";
            if (kind < 55) {
                b = server_valid(f);
            } else if (kind < 85) {
                b = server_valid(f);
                mutate(r, b, k_server_types, k_server_type_count);
                what = "client: mutated";
            } else {
                b = random_datagram(r, k_server_types, k_server_type_count);
                what = "client: random";
            }
            // The 15 from a server ends the session; keep it rare so that sessions get deep.
            if (b[0] == msg_server_disconnect && net_state() != 15 && r.chance(80))
                b[0] = msg_value;
            const int length = static_cast<int>(b.size());
            note(what, b.data(), length);
            f.counts.datagrams++;
            f.counts.by_type[b[0]]++;
            const int state = net_state();
            if (state >= 0) f.counts.in_state[state]++;
            if (r.chance(15)) {
                udp_send(f.socket, b.data(), length, f.client);
                f.counts.through_socket++;
                client_step(f, 1);
            } else {
                const double start = clock_now();
                net_handle_datagram(b.data(), length, f.now);
                f.counts.slowest = std::max(f.counts.slowest, clock_now() - start);
            }
        }
        client_read_sent(f);
        client_check(f);
    }
    if (!net_connected()) f.counts.link_ends++;
    net_take_link_ended();
    net_disconnect();
    race_shutdown();
    client_read_sent(f);
}

void client_print(const client_counts& c, double seconds) {
    std::printf("client: %.0f s, %lld sessions, %lld events, %lld datagrams (%lld through the "
                "socket), %lld network steps, %lld race tics, %lld connections ended by the "
                "server's side\n",
                seconds, static_cast<long long>(c.sessions), static_cast<long long>(c.events),
                static_cast<long long>(c.datagrams), static_cast<long long>(c.through_socket),
                static_cast<long long>(c.steps), static_cast<long long>(c.race_tics),
                static_cast<long long>(c.link_ends));
    std::printf("client: datagrams handled in state");
    for (int s : {0, 3, 5, 7, 9, 11, 14, 15})
        std::printf(" %d: %lld", s, static_cast<long long>(c.in_state[s]));
    std::printf("\nclient: by type");
    for (int t = 0; t < 256; t++)
        if (c.by_type[t]) std::printf(" %d: %lld", t, static_cast<long long>(c.by_type[t]));
    std::printf("\nclient: most held: outgoing %d (bound %d), early %d (bound %d), delayed %d; "
                "slowest datagram %.1f ms\n",
                c.most_outgoing, k_outgoing_max, c.most_early, k_early_max, c.most_delayed,
                c.slowest * 1000);
}

void run_client(double seconds, uint32_t seed) {
    bench_home_open("tb_net_fuzz_client_");
    world_create();
    demo_init();
    net_init();
    if (!track_reset("practice", false)) fail("client: the practice track does not load");
    client_fuzz f;
    mt_seed(f.r.state, seed);
    std::memcpy(f.digest, track_digest(), 20);
    f.extent = ground().field.extent;
    f.socket = udp_open();
    udp_bind(f.socket, 0);
    const double start = clock_now();
    while (clock_now() - start < seconds) client_session(f);
    client_print(f.counts, clock_now() - start);
    net_shutdown();
    demo_shutdown();
    race_shutdown();
    world_destroy();
    udp_close(f.socket);
}

// ---- (b) The race server against clients that joined, and strangers.

constexpr int k_client_types[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,  11,
                                  12, 13, 14, 15, 16, 17, 18, 19, 25, 27, 200, 255};
constexpr int k_client_type_count = static_cast<int>(std::size(k_client_types));
constexpr int k_peers = 6; // more than the server takes
constexpr int k_max_riders_here = 4;

// One simulated game: the join answered as a game answers it, and what it learnt.
struct peer {
    int socket = -1;
    udp_address address;
    uint32_t nonce = 0;
    int slot = -1;
    uint32_t id = 0;
    int race = 0;
    int32_t sequence = 0;     // of its next reliable message
    bool acknowledges = true; // some never acknowledge the server's reliable messages
    int tic = 0;              // newest server tic it heard
};

struct server_counts {
    int64_t events = 0, datagrams = 0, from_strangers = 0, tics = 0, console = 0;
    int64_t by_type[256] = {};
    int64_t with_header = 0; // the slot and id of a client that joined
    int most_clients = 0;
    size_t most_out = 0, most_out_acking = 0, most_early = 0, most_timing = 0, most_upload = 0;
    size_t most_edits = 0;
    double slowest = 0; // s, one datagram's handling
    double slowest_tic = 0;
};

struct server_fuzz {
    rng r;
    double now = 1000;
    peer peers[k_peers];
    float extent = 0;
    server_counts counts;
};

void server_deliver(server_fuzz& f, const byte_string& b, const udp_address& from,
                    const char* what) {
    note(what, b.data(), static_cast<int>(b.size()));
    f.counts.datagrams++;
    f.counts.by_type[b.empty() ? 0 : b[0]]++;
    const double start = clock_now();
    server_handle_datagram(b.data(), static_cast<int>(b.size()), from, f.now);
    f.counts.slowest = std::max(f.counts.slowest, clock_now() - start);
}

// What the server sent a peer, answered as a game would (most of the time: some answers are
// lost).
void peer_answer(server_fuzz& f, peer& p) {
    uint8_t buffer[2048];
    udp_address from;
    for (;;) {
        const int n = udp_receive(p.socket, buffer, sizeof buffer, &from);
        if (n < 0) return;
        server_message m;
        if (!parse_server_message(buffer, std::min(n, k_datagram_max), &m)) continue;
        byte_string reply;
        switch (m.type) {
        case msg_connect_reply:
            p.slot = m.slot;
            p.id = m.client_id;
            reply = of(build_client_info(p.slot, p.id, 0, p.nonce, "yz250f(2017)||||\n7\nFuzz"));
            break;
        case msg_race_info:
            p.race = m.race;
            reply = of(build_client_values(msg_track_ack, p.slot, p.id, 1, p.race));
            break;
        case msg_rider:
            reply = of(build_client_values(msg_bike_ack, p.slot, p.id, 2, p.race, m.slot));
            break;
        case msg_start:
            reply = of(build_client_values(msg_ready, p.slot, p.id, 1, p.race));
            break;
        case msg_restart:
            p.race = m.race;
            reply = of(build_client_values(msg_restart_ack, p.slot, p.id, 1, p.race));
            break;
        case msg_time:
        case msg_states:
            p.tic = std::max(p.tic, m.server_tic);
            break;
        case msg_server_reliable:
            if (p.acknowledges) reply = of(build_client_values(msg_ack, p.slot, p.id, 1, m.value));
            break;
        case msg_server_disconnect:
        case msg_error:
            p.slot = -1;
            break;
        default:
            break;
        }
        if (!reply.empty() && f.r.chance(85)) server_deliver(f, reply, p.address, "server: answer");
    }
}

byte_string peer_reliable_payload(server_fuzz& f, const peer& p, int* sub_type) {
    rng& r = f.r;
    static const char* commands[] = {"sendfile",          "sendfile x",      "namefile lap.txt",
                                     "namefile ../../up", "namefile a/b",    "namefile",
                                     "version 1 34 abc",  "version",         "sendpart -",
                                     "namefile .",        "namefile .hidden"};
    switch (r.below(6)) {
    case 0:
        *sub_type = sub_descriptor;
        return text_bytes(r.chance(50) ? "rm125|a|b|c|d\n12\nRenamed" : random_text(r, 480));
    case 1:
        *sub_type = sub_text;
        return text_bytes(random_text(r, 480));
    case 2: {
        *sub_type = sub_timing;
        byte_string b(12);
        put_at(b, 0, static_cast<uint32_t>(r.chance(85) ? p.race : interesting(r)));
        put_at(b, 4, static_cast<uint32_t>(r.chance(70) ? r.below(40) : interesting(r)));
        put_at(b, 8, static_cast<uint32_t>(r.chance(70) ? p.tic - r.below(64) : interesting(r)));
        if (r.chance(10)) b.resize(static_cast<size_t>(r.below(20)), 0);
        return b;
    }
    case 3: {
        *sub_type = sub_command;
        if (r.chance(30)) {
            byte_string b = text_bytes("sendpart -");
            for (int k = r.below(300); k > 0; k--) b.push_back(static_cast<uint8_t>(r.next()));
            return b;
        }
        return text_bytes(r.chance(80) ? commands[r.below(std::size(commands))]
                                       : random_text(r, 200));
    }
    case 4:
        *sub_type = sub_terrain_edit;
        return with_race(r.chance(85) ? p.race : interesting(r),
                         r.chance(80) ? terrain_edit(r, f.extent)
                                      : text_bytes(random_text(r, 300)));
    default:
        *sub_type = r.below(256);
        return text_bytes(random_text(r, 100));
    }
}

// A message a game that joined would send, with its slot, id and race.
// A game that joined knows its slot, id, race and the server's next reliable sequence; the
// server's own record says them, as answers that were lost or mutated would not.
void peer_sync(server_fuzz& f, peer& p) {
    const int slot = server_slot_of(p.address);
    if (slot < 0) return;
    p.slot = slot;
    p.id = server_client_id(slot);
    if (f.r.chance(90)) p.race = server_race_id();
    p.sequence = server().clients[slot].in.expected;
}

byte_string peer_valid(server_fuzz& f, peer& p) {
    rng& r = f.r;
    peer_sync(f, p);
    if (p.slot < 0 || r.chance(3)) {
        if (r.chance(50) || p.nonce == 0) p.nonce = r.next();
        return of(build_contact(r.chance(10), p.nonce));
    }
    switch (r.below(10)) {
    case 0:
        return of(build_client_info(p.slot, p.id, r.chance(80) ? 0 : r.next(), p.nonce,
                                    random_text(r, 1000).c_str()));
    case 1:
        return of(build_client_values(msg_track_ack, p.slot, p.id, 1, p.race));
    case 2:
        return of(build_client_values(msg_bike_ack, p.slot, p.id, 2, p.race,
                                      r.chance(70) ? r.below(k_max_riders) : interesting(r)));
    case 3:
        return of(build_client_values(msg_ready, p.slot, p.id, 1, p.race));
    case 4:
    case 5: {
        compact_state s = {};
        for (uint8_t& x : s.bytes) x = static_cast<uint8_t>(r.next());
        return of(build_state(p.slot, p.id, p.race, p.tic, p.tic + r.below(64) - 32, s));
    }
    case 6:
        return of(build_client_values(r.chance(50) ? msg_restart_request : msg_restart_ack, p.slot,
                                      p.id, 1, r.chance(50) ? 1 : p.race));
    case 7:
        return of(build_client_values(msg_ack, p.slot, p.id, 1, r.below(200)));
    case 8:
        if (r.chance(10)) return of(build_client_values(msg_disconnect, p.slot, p.id, 0));
        [[fallthrough]];
    default: {
        int sub_type = 0;
        byte_string payload = peer_reliable_payload(f, p, &sub_type);
        int32_t seq = p.sequence;
        if (r.chance(85))
            p.sequence++;
        else
            seq = r.chance(50) ? p.sequence + r.below(100) - 20 : interesting(r);
        return of(build_client_reliable(p.slot, p.id, seq, sub_type, payload.data(),
                                        static_cast<int>(payload.size())));
    }
    }
}

// Random bytes behind the header of a peer that joined: its slot and id, and most often its race.
byte_string peer_header_random(server_fuzz& f, peer& p) {
    rng& r = f.r;
    peer_sync(f, p);
    byte_string b = random_datagram(r, k_client_types, k_client_type_count);
    if (b.size() < 13) b.resize(13 + static_cast<size_t>(r.below(60)), 0);
    put_at(b, 1, static_cast<uint32_t>(p.slot));
    put_at(b, 5, p.id);
    if (r.chance(70)) put_at(b, 9, static_cast<uint32_t>(p.race));
    if (b[0] == msg_reliable && b.size() >= 14 && r.chance(70)) {
        put_at(b, 9, static_cast<uint32_t>(p.sequence));
        static const uint8_t subs[] = {3, 19, 21, 24, 27};
        b[13] = subs[r.below(5)];
    }
    return b;
}

void server_check(server_fuzz& f) {
    server_counts& c = f.counts;
    const int clients = server_client_count();
    c.most_clients = std::max(c.most_clients, clients);
    if (clients > k_max_riders_here) fail("server: more clients than it allows");
    for (int i = 0; i < k_peers; i++)
        for (int j = i + 1; j < k_peers; j++) {
            const int a = server_slot_of(f.peers[i].address),
                      b = server_slot_of(f.peers[j].address);
            if (a >= 0 && a == b) fail("server: one slot for two addresses");
        }
    const server_state& s = server();
    for (const server_client& sc : s.clients) {
        if (!sc.used) continue;
        bool acking = false;
        for (const peer& p : f.peers)
            if (udp_address_equal(p.address, sc.address)) acking = p.acknowledges;
        c.most_out = std::max(c.most_out, sc.out.queue.size());
        if (acking) c.most_out_acking = std::max(c.most_out_acking, sc.out.queue.size());
        c.most_early = std::max(c.most_early, sc.in.early.size());
        c.most_timing = std::max(c.most_timing, sc.timing_pending.size());
        c.most_upload = std::max(c.most_upload, sc.upload.size());
        if (sc.in.early.size() > static_cast<size_t>(k_early_max))
            fail("server: early messages past their bound");
    }
    c.most_edits = std::max(c.most_edits, s.race.terrain_edits.size());
    if (s.race.terrain_edits.size() > static_cast<size_t>(k_max_stored_edits))
        fail("server: stored terrain edits past their bound");
}

void server_print(const server_counts& c, double seconds) {
    const server_stats& s = server_statistics();
    std::printf("server: %.0f s, %lld events, %lld datagrams (%lld from strangers, %lld behind a "
                "joined client's header), %lld tics, %lld console lines, %d races, %lld refused\n",
                seconds, static_cast<long long>(c.events), static_cast<long long>(c.datagrams),
                static_cast<long long>(c.from_strangers), static_cast<long long>(c.with_header),
                static_cast<long long>(c.tics), static_cast<long long>(c.console), s.races,
                static_cast<long long>(s.refused));
    std::printf("server: by type");
    for (int t = 0; t < 256; t++)
        if (c.by_type[t]) std::printf(" %d: %lld", t, static_cast<long long>(c.by_type[t]));
    std::printf("\nserver: most clients %d (bound %d); most held per client: reliable queue %zu "
                "(%zu for clients that acknowledge), early %zu (bound %d), timing %zu, upload %zu "
                "bytes; stored terrain edits %zu; slowest datagram %.1f ms, slowest tic run %.1f "
                "ms\n",
                c.most_clients, k_max_riders_here, c.most_out, c.most_out_acking, c.most_early,
                k_early_max, c.most_timing, c.most_upload, c.most_edits, c.slowest * 1000,
                c.slowest_tic * 1000);
}

void run_server(double seconds, uint32_t seed) {
    const std::filesystem::path home = bench_home_open("tb_net_fuzz_server_");
    server_options o;
    o.track = "practice";
    o.port = 0;
    o.quiet = true;
    o.max_riders = k_max_riders_here;
    o.warmup = 0.5;
    o.gate_drop = 1;
    o.results_time = 1;
    o.laps = 1;
    o.erode = 1024;
    o.results_dir = (home / "results").string();
    o.uploads_dir = (home / "uploads").string();
    std::filesystem::create_directories(o.results_dir);
    std::filesystem::create_directories(o.uploads_dir);
    server_fuzz f;
    mt_seed(f.r.state, seed);
    std::string error;
    if (!server_start(o, f.now, &error)) fail(("server: " + error).c_str());
    f.extent = ground().field.extent;
    for (int i = 0; i < k_peers; i++) {
        peer& p = f.peers[i];
        p.socket = udp_open();
        udp_bind(p.socket, 0);
        int size = 1 << 21;
        setsockopt(p.socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        p.address = udp_loopback(udp_local_port(p.socket));
        p.acknowledges = i != 1; // one game never acknowledges anything
    }
    rng& r = f.r;
    const double start = clock_now();
    while (clock_now() - start < seconds) {
        f.counts.events++;
        peer& p = f.peers[r.below(k_peers)];
        const int kind = r.below(100);
        if (kind < 12) {
            const int tics = r.chance(3) ? 128 * (1 + r.below(40)) : 1 + r.below(64);
            const double tic_start = clock_now();
            for (int i = 0; i < tics; i++) {
                f.now += k_tic_length;
                server_tic(f.now);
                f.counts.tics++;
                if (i % 64 == 0) g_progress++;
            }
            f.counts.slowest_tic = std::max(f.counts.slowest_tic, clock_now() - tic_start);
        } else if (kind < 14) {
            static const char* lines[] = {"restart", "status",           "say hello",
                                          "kick 0",  "kick 1",           "kick 159",
                                          "kick -1", "kick 99999999999", "say"};
            const char* line = lines[r.below(std::size(lines))];
            note("server: console", reinterpret_cast<const uint8_t*>(line),
                 static_cast<int>(strlen(line)));
            server_console(line, f.now);
            f.counts.console++;
        } else if (kind < 20) {
            byte_string b = random_datagram(r, k_client_types, k_client_type_count);
            server_deliver(f, b, udp_loopback(30000 + r.below(8)), "server: stranger");
            f.counts.from_strangers++;
        } else if (kind < 60 || p.slot < 0) {
            byte_string b = peer_valid(f, p);
            if (kind >= 45) mutate(r, b, k_client_types, k_client_type_count);
            server_deliver(f, b, p.address, kind >= 45 ? "server: peer mutated" : "server: peer");
        } else {
            byte_string b = peer_header_random(f, p);
            server_deliver(f, b, p.address, "server: peer header, random tail");
            f.counts.with_header++;
        }
        for (peer& each : f.peers) peer_answer(f, each);
        server_check(f);
    }
    server_print(f.counts, clock_now() - start);
    server_stop();
    for (peer& p : f.peers) udp_close(p.socket);
}

// ---- Children: each part runs until its time is used, a fresh child after each fault. A child's
// error output goes to a report file of its own; the faults are told apart by their first line.

// The line that names a fault in a report: the sanitizer's, or the fuzzer's own.
std::string fault_line(const std::filesystem::path& report) {
    std::FILE* f = std::fopen(report.c_str(), "r");
    if (!f) return "(no report)";
    char line[512];
    std::string found;
    while (found.empty() && std::fgets(line, sizeof line, f)) {
        const std::string text = line;
        for (const char* mark :
             {"runtime error", "ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
              "net_fuzz: signal", "net_fuzz: hung", "net_fuzz: client", "net_fuzz: server"})
            if (text.find(mark) != std::string::npos) found = text;
    }
    std::fclose(f);
    if (found.empty()) return "(unnamed fault)";
    // Addresses and thread numbers differ from run to run; the place does not.
    if (found.back() == '\n') found.pop_back();
    const size_t pid_end = found.find("==", 2);
    if (found.rfind("==", 0) == 0 && pid_end != std::string::npos)
        found = found.substr(pid_end + 2);
    const size_t address = found.find(" on address");
    if (address != std::string::npos) found = found.substr(0, address);
    // "runtime error: signed integer overflow: 2147483647 + 4 ...": the kind, not the values.
    const size_t kind = found.find("runtime error: ");
    const size_t values = kind == std::string::npos ? kind : found.find(':', kind + 15);
    if (values != std::string::npos) found = found.substr(0, values);
    return found;
}

struct fault_kind {
    std::string line;
    int count = 0;
    std::string first_report;
};

int run_part(const char* part, double seconds, uint32_t seed,
             const std::filesystem::path& reports) {
    const double start = clock_now();
    int children = 0;
    std::vector<fault_kind> faults;
    while (clock_now() - start < seconds - 1) {
        const double left = seconds - (clock_now() - start);
        const uint32_t child_seed = seed + static_cast<uint32_t>(children) * 7919u;
        const std::filesystem::path report =
            reports / (std::string(part) + "_" + std::to_string(child_seed) + ".txt");
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            std::FILE* err = std::fopen(report.c_str(), "w");
            if (err) dup2(fileno(err), 2);
            std::printf("%s: seed %u, %.0f s\n", part, child_seed, left);
            std::fflush(stdout);
            install_reports();
            if (std::strcmp(part, "client") == 0)
                run_client(left, child_seed);
            else
                run_server(left, child_seed);
            std::fflush(stdout);
            _exit(0);
        }
        children++;
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            std::filesystem::remove(report);
            continue;
        }
        const std::string line = fault_line(report);
        auto known = std::find_if(faults.begin(), faults.end(),
                                  [&](const fault_kind& k) { return k.line == line; });
        if (known == faults.end()) {
            faults.push_back(fault_kind{line, 0, report.string()});
            known = faults.end() - 1;
            std::printf("%s: new fault (seed %u): %s\n  report: %s\n", part, child_seed,
                        line.c_str(), report.c_str());
        } else {
            std::filesystem::remove(report);
        }
        known->count++;
    }
    int total = 0;
    for (const fault_kind& k : faults) total += k.count;
    std::printf("%s: %d children, %d ended by a fault, %zu kinds of fault\n", part, children, total,
                faults.size());
    for (const fault_kind& k : faults)
        std::printf("  %d x %s\n    first report: %s\n", k.count, k.line.c_str(),
                    k.first_report.c_str());
    return total;
}
} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    const std::string only = argc > 2 ? argv[2] : "";
    if (seconds <= 0 || (!only.empty() && only != "client" && only != "server") || argc > 3) {
        std::fprintf(stderr, "usage: net_fuzz [seconds [client|server]]\n");
        return 1;
    }
    // The log of every connection would fill the disk.
    setenv("TAVO_LOGFILE", "/dev/null", 1);
    const uint32_t seed = static_cast<uint32_t>(getpid());
    const std::filesystem::path reports =
        std::filesystem::temp_directory_path() / ("net_fuzz_" + std::to_string(getpid()));
    std::filesystem::create_directories(reports);
    std::printf("net_fuzz: fault reports in %s\n", reports.c_str());
    int crashes = 0;
    if (only.empty() || only == "client")
        crashes += run_part("client", only.empty() ? seconds / 2 : seconds, seed, reports);
    if (only.empty() || only == "server")
        crashes += run_part("server", only.empty() ? seconds / 2 : seconds, seed + 1, reports);
    return crashes == 0 ? 0 : 2;
}
