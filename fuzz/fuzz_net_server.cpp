// Fuzzes the race server's datagram handler: datagrams from three addresses, some of them
// speaking with the slot, id and race of the client at that address (which the fuzzer could not
// guess), with server tics between them. The server never crashes, never holds more clients than
// it allows, and gives each address one slot at most.
#include "net_fuzz_home.h"

#include "server/server.h"

#include "net/net_wire.h"
#include "net/udp.h"

#include "common/common.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {
double g_now = 1000;
server_options g_options;

udp_address source(int k) { return udp_loopback(40000 + k); }

void put_u32_at(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    net_fuzz_home("fuzz_net_server");
    const std::string home = getenv("XDG_DATA_HOME");
    g_options.track = "practice";
    g_options.port = 0;
    g_options.quiet = true;
    g_options.max_riders = 2;
    g_options.warmup = 0.5;
    g_options.gate_drop = 1;
    g_options.results_time = 1;
    g_options.laps = 1;
    g_options.results_dir = home + "/results";
    g_options.uploads_dir = home + "/uploads";
    std::string error;
    if (!server_start(g_options, g_now, &error)) abort();
    return 0;
}

// Records of [kind][length, 2 bytes][bytes]: kind bits 0-1 the address, bit 2 set: speak as
// that address's client, bit 3 set: with the current race too, bit 4: run tics instead.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at + 3 <= size) {
        int kind = data[at];
        size_t length = data[at + 1] | static_cast<size_t>(data[at + 2]) << 8;
        at += 3;
        length = std::min(length, size - at);
        uint8_t bytes[k_datagram_max + 1];
        int n = static_cast<int>(std::min(length, static_cast<size_t>(k_datagram_max + 1)));
        std::memcpy(bytes, data + at, static_cast<size_t>(n));
        at += length;
        const udp_address from = source(kind % 3);
        if (kind & 16) {
            for (int i = 0; i < (n > 0 ? bytes[0] % 64 : 1); i++) {
                g_now += k_tic_length;
                server_tic(g_now);
            }
            continue;
        }
        int slot = server_slot_of(from);
        if ((kind & 4) && slot >= 0 && n >= 9) {
            put_u32_at(bytes + 1, static_cast<uint32_t>(slot));
            put_u32_at(bytes + 5, server_client_id(slot));
            if ((kind & 8) && n >= 13)
                put_u32_at(bytes + 9, static_cast<uint32_t>(server_race_id()));
        }
        server_handle_datagram(bytes, n, from, g_now);
        if (server_client_count() > g_options.max_riders) abort();
        int seen[3];
        for (int k = 0; k < 3; k++) seen[k] = server_slot_of(source(k));
        for (int k = 0; k < 3; k++)
            for (int j = k + 1; j < 3; j++)
                if (seen[k] >= 0 && seen[k] == seen[j]) abort(); // one slot, two addresses
    }
    for (int slot = 0; slot < k_max_riders; slot++) {
        std::string kick = "kick " + std::to_string(slot);
        server_console(kick.c_str(), g_now);
    }
    return 0;
}
