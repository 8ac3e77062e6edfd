// trailbok-server: the race server's program. It waits on its socket and the operator's typed
// lines, and runs the server's tics in real time.
#include "server/server.h"

#include "platform/log.h"

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t g_stop = 0;

void on_signal(int) { g_stop = 1; }
} // namespace

int main(int argc, char** argv) {
    server_options options;
    server_parse_result parsed = server_parse_options(argc, argv, options);
    if (parsed.help) {
        std::fputs(server_help().c_str(), stdout);
        return 0;
    }
    if (!parsed.ok) {
        std::fprintf(stderr, "trailbok-server: %s\n%s", parsed.error.c_str(),
                     server_help().c_str());
        return 1;
    }
    std::string error;
    if (!server_start(options, system_clock_seconds(), &error)) {
        std::fprintf(stderr, "trailbok-server: %s\n", error.c_str());
        return 1;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    bool console = true; // until the standard input ends
    char line[512];
    while (!g_stop) {
        pollfd waits[2] = {{server_socket(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        poll(waits, console ? 2 : 1, 2); // at least every other millisecond, for the tics
        if (console && (waits[1].revents & (POLLIN | POLLHUP))) {
            if (std::fgets(line, sizeof line, stdin))
                server_console(line, system_clock_seconds());
            else
                console = false;
        }
        server_poll(system_clock_seconds());
    }
    server_stop();
    return 0;
}
