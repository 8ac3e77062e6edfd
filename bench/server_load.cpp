// The race server under load: simulated clients on loopback join one server, race, and each
// sends its state every fourth tic; the server's CPU time per second of race and the bytes per
// second each client sends and receives, for 16, 40 and 160 clients.
//
// server_load [seconds [clients...]]: the server runs on a thread of its own (its CPU time is
// that thread's); the clients are driven from the main thread in real time.
#include "server/server.h"

#include "net/net_wire.h"
#include "net/udp.h"

#include "common/common.h"
#include "platform/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
// One simulated client: the join as a game makes it, then a state every fourth tic.
struct sim_client {
    int socket = -1;
    udp_address server;
    int slot = -1;
    uint32_t id = 0;
    uint32_t nonce = 0;
    int race = 0;
    bool racing = false; // started in a race with a slot of its own
    bool ready = false;  // the time came
    int server_tic = 0;
    datagram last; // sent again when nothing came back for a second
    double last_sent = 0;
    int64_t bytes_in = 0, bytes_out = 0, datagrams_in = 0;

    void send(const datagram& d, double now) {
        udp_send(socket, d.bytes, d.length, server);
        bytes_out += d.length;
        last = d;
        last_sent = now;
    }
    // A race to join: told of it (race info) or sent to it (restart).
    void enter_race(int id_of_race, client_message_type reply, double now) {
        race = id_of_race;
        racing = ready = false;
        send(build_client_values(reply, slot, id, 1, race), now);
    }
    void answer(const server_message& m, double now) {
        switch (m.type) {
        case msg_connect_reply:
            slot = m.slot;
            id = m.client_id;
            send(build_client_info(slot, id, 0, nonce, "yz250f(2017)||||\n7\nLoad"), now);
            break;
        case msg_race_info:
            enter_race(m.race, msg_track_ack, now);
            break;
        case msg_rider:
            send(build_client_values(msg_bike_ack, slot, id, 2, race, m.slot), now);
            break;
        case msg_start:
            racing = m.slot == slot;
            send(build_client_values(msg_ready, slot, id, 1, race), now);
            break;
        case msg_time:
        case msg_states:
            ready = true;
            server_tic = std::max(server_tic, m.server_tic);
            break;
        case msg_restart:
            enter_race(m.race, msg_restart_ack, now);
            break;
        case msg_server_reliable: {
            datagram ack = build_client_values(msg_ack, slot, id, 1, m.value);
            udp_send(socket, ack.bytes, ack.length, server);
            bytes_out += ack.length;
            break;
        }
        default:
            break;
        }
    }
    void receive(double now) {
        uint8_t buffer[2048];
        udp_address from;
        for (;;) {
            int n = udp_receive(socket, buffer, sizeof buffer, &from);
            if (n < 0) return;
            bytes_in += n;
            datagrams_in++;
            server_message m;
            if (parse_server_message(buffer, n, &m)) answer(m, now);
        }
    }
};

double clock_now() { return system_clock_seconds(); }

double thread_cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

struct server_thread {
    std::atomic<bool> stop{false};
    std::atomic<bool> measuring{false};
    double cpu_measured = 0; // s of CPU while measuring
    std::thread thread;

    void run() {
        double cpu_at = 0;
        bool was_measuring = false;
        while (!stop) {
            pollfd wait = {server_socket(), POLLIN, 0};
            poll(&wait, 1, 1);
            server_poll(clock_now());
            bool m = measuring;
            if (m && !was_measuring) cpu_at = thread_cpu_seconds();
            if (!m && was_measuring) cpu_measured = thread_cpu_seconds() - cpu_at;
            was_measuring = m;
        }
    }
};

struct load_result {
    int clients = 0;
    double cpu_per_second = 0;       // s of server CPU per s of race
    double bytes_in_per_client = 0;  // per s
    double bytes_out_per_client = 0; // per s
    double datagrams_in_per_client = 0;
    double join_seconds = 0;
};

load_result measure(int count, double seconds) {
    load_result result;
    result.clients = count;
    server_options o;
    o.track = "practice";
    o.port = 0;
    o.quiet = true;
    o.max_riders = count;
    o.warmup = 1000; // the race starts once the server is full
    o.gate_drop = 1;
    o.laps = 1000;
    o.results_dir = "/tmp";
    std::string error;
    if (!server_start(o, clock_now(), &error)) {
        std::fprintf(stderr, "server_load: %s\n", error.c_str());
        std::exit(1);
    }
    const udp_address server = udp_loopback(server_port());
    std::vector<sim_client> clients(static_cast<size_t>(count));
    for (size_t i = 0; i < clients.size(); i++) {
        sim_client& c = clients[i];
        c.socket = udp_open();
        udp_bind(c.socket, 0);
        // Room for a burst of states from 160 riders.
        int size = 1 << 21;
        setsockopt(c.socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        c.server = server;
        c.nonce = 77 + static_cast<uint32_t>(i);
    }
    server_thread st;
    st.thread = std::thread([&] { st.run(); });

    const double join_start = clock_now();
    for (sim_client& c : clients) c.send(build_contact(false, c.nonce), join_start);
    for (;;) {
        double now = clock_now();
        int in = 0;
        for (sim_client& c : clients) {
            c.receive(now);
            in += c.racing && c.ready;
            if (now - c.last_sent > 1.0) c.send(c.last, now);
        }
        if (in == count) break;
        if (now - join_start > 300) {
            std::fprintf(stderr, "server_load: only %d of %d clients joined\n", in, count);
            std::exit(1);
        }
        usleep(1000);
    }
    result.join_seconds = clock_now() - join_start;

    for (sim_client& c : clients) c.bytes_in = c.bytes_out = c.datagrams_in = 0;
    st.measuring = true;
    const double start = clock_now();
    int tic = 0;
    compact_state state = {};
    while (clock_now() - start < seconds) {
        const double now = clock_now();
        for (size_t i = 0; i < clients.size(); i++) {
            sim_client& c = clients[i];
            c.receive(now);
            // A quarter of the riders in each tic, each rider every fourth tic.
            if (static_cast<int>(i % 4) == tic % 4) {
                state.bytes[0] = static_cast<uint8_t>(tic);
                datagram d = build_state(c.slot, c.id, c.race, c.server_tic, c.server_tic, state);
                udp_send(c.socket, d.bytes, d.length, server);
                c.bytes_out += d.length;
            }
        }
        tic++;
        const double next = start + tic * k_tic_length;
        const double wait = next - clock_now();
        if (wait > 0) usleep(static_cast<useconds_t>(wait * 1e6));
    }
    const double elapsed = clock_now() - start;
    st.measuring = false;
    usleep(20000);
    st.stop = true;
    st.thread.join();
    result.cpu_per_second = st.cpu_measured / elapsed;
    for (const sim_client& c : clients) {
        result.bytes_in_per_client += c.bytes_in / elapsed / count;
        result.bytes_out_per_client += c.bytes_out / elapsed / count;
        result.datagrams_in_per_client += c.datagrams_in / elapsed / count;
    }
    server_stop();
    for (sim_client& c : clients) udp_close(c.socket);
    return result;
}
} // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    std::vector<int> counts;
    for (int i = 2; i < argc; i++) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {16, 40, 160};
    setenv("QV_HOME", TB_GAME_DIR, 0);
    std::string home = "/tmp/server_load_" + std::to_string(getpid());
    std::filesystem::create_directories(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    std::printf("%8s %10s %14s %14s %12s %8s\n", "clients", "cpu/s", "in B/s/client",
                "out B/s/client", "in dgram/s", "join s");
    for (int count : counts) {
        load_result r = measure(count, seconds);
        std::printf("%8d %9.1f%% %14.0f %14.0f %12.0f %8.1f\n", r.clients, r.cpu_per_second * 100,
                    r.bytes_in_per_client, r.bytes_out_per_client, r.datagrams_in_per_client,
                    r.join_seconds);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(home);
    return 0;
}
