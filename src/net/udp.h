// The datagram transport: resolving a server address, one non-blocking IPv4 UDP socket, sending,
// receiving, and the name of the last socket error.
#pragma once

#include <cstdint>
#include <netinet/in.h>

constexpr int k_default_port = 19800;

// An IPv4 socket address as the platform defines it (port and host in network byte order).
struct udp_address {
    sockaddr_in in = {};
};

bool udp_address_equal(const udp_address& a, const udp_address& b);
// "a.b.c.d:port" for logs.
void udp_address_text(const udp_address& a, char* out, int out_size);
// The loopback address with a port, for servers and tests on one machine.
udp_address udp_loopback(int port);

// "host" or "host:port" (a port only when everything after the last colon is a decimal number);
// the first IPv4 address of the host. False when it cannot be resolved.
bool udp_resolve(const char* text, int default_port, udp_address* out);
// A non-blocking IPv4 datagram socket, or -1 with the error name set.
int udp_open();
// Binds an open socket to a local port (0: any free one); false with the error name set.
bool udp_bind(int socket, int port);
// The local port a socket is bound to, 0 when unknown.
int udp_local_port(int socket);
void udp_close(int socket);
// Bytes sent, or -1 with the error name set.
int udp_send(int socket, const void* bytes, int length, const udp_address& to);
// One waiting datagram: its length (a datagram longer than the capacity gives its whole length,
// only the capacity being filled) and where it came from; -1 when nothing is waiting (the error
// name left empty) or on an error (named).
int udp_receive(int socket, void* buffer, int capacity, udp_address* from);
// The name of the last operation's error, "" when it failed without one worth showing.
const char* udp_error_name();
// The name a socket error number is shown by: the standard constant name, "" for an interrupted
// call or one that would block, the number in decimal for any other.
const char* udp_errno_name(int error, char* number_text, int number_size);
// Stops the socket library if it was started (nothing to stop on this platform).
void udp_shutdown();
