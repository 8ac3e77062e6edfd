// Fuzzes the game's race-server client: datagrams of any kind in any state, with network steps
// between them, on the generated tracks. A race info can be sent with the practice track's true
// digest, so the fuzzer reaches the race and every state after it. The client never crashes,
// stays in one of its states, and never makes the local rider anything but local.
#include "net_fuzz_home.h"

#include "net/net.h"
#include "net/net_wire.h"
#include "net/udp.h"

#include "bike/bike.h"
#include "files/data_file.h"
#include "files/files.h"
#include "race/race.h"
#include "track/track.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {
int g_server = -1;
std::string g_address;
double g_now = 1000;
uint8_t g_digest[20];

bool valid_state(int state) {
    for (int s : {-1, 0, 3, 5, 7, 9, 11, 14, 15})
        if (state == s) return true;
    return false;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    net_fuzz_home("fuzz_net_client");
    find_game_data();
    file_index();
    track_list_scan();
    world_create();
    net_init();
    if (!track_reset("practice", false)) abort();
    std::memcpy(g_digest, track_digest(), 20);
    g_server = udp_open();
    udp_bind(g_server, 0);
    g_address = "127.0.0.1:" + std::to_string(udp_local_port(g_server));
    return 0;
}

// Records of [kind][length, 2 bytes][bytes]: kind 0 a datagram, 1 a race info with the true
// digest, 2 network steps.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    net_connect_params params;
    params.fake_loss = 0;
    if (!net_connect(g_address.c_str(), params, g_now)) abort();
    size_t at = 0;
    while (at + 3 <= size) {
        int kind = data[at] % 3;
        size_t length = data[at + 1] | static_cast<size_t>(data[at + 2]) << 8;
        at += 3;
        length = std::min(length, size - at);
        uint8_t datagram_bytes[k_datagram_max];
        int n = static_cast<int>(std::min(length, static_cast<size_t>(k_datagram_max)));
        std::memcpy(datagram_bytes, data + at, static_cast<size_t>(n));
        at += length;
        if (kind == 1 && n >= 38) {
            datagram_bytes[0] = msg_race_info;
            std::memcpy(datagram_bytes + 17, g_digest, 20);
        }
        if (kind == 2) {
            for (int i = 0; i < (n > 0 ? datagram_bytes[0] % 16 : 1); i++) {
                g_now += k_tic_length;
                net_tic(g_now);
                if (net_server_sent_tic()) race_world_tic();
            }
        } else {
            net_handle_datagram(datagram_bytes, n, g_now);
        }
        if (!valid_state(net_state())) abort();
        for (int slot = 0; slot < k_max_riders; slot++) {
            const rider_slot& s = race_slot(slot);
            if (s.bike >= 0 && s.kind == rider_robot) abort(); // nobody rides for the server
        }
    }
    net_disconnect();
    race_shutdown();
    uint8_t drain[2048];
    udp_address from;
    while (udp_receive(g_server, drain, sizeof drain, &from) >= 0) {
    }
    return 0;
}
