// The datagram transport over POSIX sockets, with the socket errors named as the game has always
// shown them.
#include "net/udp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {
struct udp_state {
    const char* error = ""; // name of the last operation's error
    char number_text[16] = {};
};
udp_state g_udp;

// Each platform error number and the standard constant name it is shown by.
struct error_name {
    int error;
    const char* name;
};

constexpr error_name k_error_names[] = {
    {EBADF, "WSAEBADF"},
    {EACCES, "WSAEACCES"},
    {EFAULT, "WSAEFAULT"},
    {EINVAL, "WSAEINVAL"},
    {EMFILE, "WSAEMFILE"},
    {EINPROGRESS, "WSAEINPROGRESS"},
    {EALREADY, "WSAEALREADY"},
    {ENOTSOCK, "WSAENOTSOCK"},
    {EDESTADDRREQ, "WSAEDESTADDRREQ"},
    {EMSGSIZE, "WSAEMSGSIZE"},
    {EPROTOTYPE, "WSAEPROTOTYPE"},
    {ENOPROTOOPT, "WSAENOPROTOOPT"},
    {EPROTONOSUPPORT, "WSAEPROTONOSUPPORT"},
    {ESOCKTNOSUPPORT, "WSAESOCKTNOSUPPORT"},
    {EOPNOTSUPP, "WSAEOPNOTSUPP"},
    {EPFNOSUPPORT, "WSAEPFNOSUPPORT"},
    {EAFNOSUPPORT, "WSAEAFNOSUPPORT"},
    {EADDRINUSE, "WSAEADDRINUSE"},
    {EADDRNOTAVAIL, "WSAEADDRNOTAVAIL"},
    {ENETDOWN, "WSAENETDOWN"},
    {ENETUNREACH, "WSAENETUNREACH"},
    {ENETRESET, "WSAENETRESET"},
    {ECONNABORTED, "WSAECONNABORTED"},
    {ECONNRESET, "WSAECONNRESET"},
    {ENOBUFS, "WSAENOBUFS"},
    {EISCONN, "WSAEISCONN"},
    {ENOTCONN, "WSAENOTCONN"},
    {ESHUTDOWN, "WSAESHUTDOWN"},
    {ETOOMANYREFS, "WSAETOOMANYREFS"},
    {ETIMEDOUT, "WSAETIMEDOUT"},
    {ECONNREFUSED, "WSAECONNREFUSED"},
    {ELOOP, "WSAELOOP"},
    {ENAMETOOLONG, "WSAENAMETOOLONG"},
    {EHOSTDOWN, "WSAEHOSTDOWN"},
    {EHOSTUNREACH, "WSAEHOSTUNREACH"},
    {ENOTEMPTY, "WSAENOTEMPTY"},
    {EUSERS, "WSAEUSERS"},
    {EDQUOT, "WSAEDQUOT"},
    {ESTALE, "WSAESTALE"},
    {EREMOTE, "WSAEREMOTE"},
    {ENOMEM, "WSA_NOT_ENOUGH_MEMORY"},
    {ECANCELED, "WSAECANCELLED"},
};

// Host lookup failures, named as the host lookup errors are.
const char* lookup_error_name(int code) {
    switch (code) {
    case EAI_NONAME:
        return "WSAHOST_NOT_FOUND";
    case EAI_AGAIN:
        return "WSATRY_AGAIN";
    case EAI_FAIL:
        return "WSANO_RECOVERY";
#ifdef EAI_NODATA
    case EAI_NODATA:
        return "WSANO_DATA";
#endif
    case EAI_FAMILY:
        return "WSAEAFNOSUPPORT";
    case EAI_MEMORY:
        return "WSA_NOT_ENOUGH_MEMORY";
    default:
        return "WSANO_RECOVERY";
    }
}

void clear_error() { g_udp.error = ""; }
void set_error(int error) {
    g_udp.error = udp_errno_name(error, g_udp.number_text, sizeof g_udp.number_text);
}

// A whole decimal port number, 0..65535.
bool parse_port(const char* text, int* port) {
    if (!*text) return false;
    for (const char* p = text; *p; p++)
        if (*p < '0' || *p > '9') return false;
    long value = strtol(text, nullptr, 10);
    if (value > 65535 || strlen(text) > 5) return false;
    *port = static_cast<int>(value);
    return true;
}
} // namespace

const char* udp_errno_name(int error, char* number_text, int number_size) {
    if (error == EINTR || error == EAGAIN || error == EWOULDBLOCK) return "";
    for (const error_name& e : k_error_names)
        if (e.error == error) return e.name;
    snprintf(number_text, static_cast<size_t>(number_size), "%d", error);
    return number_text;
}

bool udp_address_equal(const udp_address& a, const udp_address& b) {
    return a.in.sin_family == b.in.sin_family && a.in.sin_port == b.in.sin_port &&
           a.in.sin_addr.s_addr == b.in.sin_addr.s_addr;
}

void udp_address_text(const udp_address& a, char* out, int out_size) {
    uint32_t host = ntohl(a.in.sin_addr.s_addr);
    snprintf(out, static_cast<size_t>(out_size), "%u.%u.%u.%u:%u", host >> 24, (host >> 16) & 255,
             (host >> 8) & 255, host & 255, ntohs(a.in.sin_port));
}

udp_address udp_loopback(int port) {
    udp_address a;
    a.in.sin_family = AF_INET;
    a.in.sin_port = htons(static_cast<uint16_t>(port));
    a.in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

bool udp_resolve(const char* text, int default_port, udp_address* out) {
    clear_error();
    if (!text) return false;
    std::string host = text;
    int port = default_port;
    size_t colon = host.rfind(':');
    if (colon != std::string::npos && parse_port(host.c_str() + colon + 1, &port))
        host.resize(colon);
    else
        port = default_port;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found) {
        g_udp.error = lookup_error_name(status);
        if (found) freeaddrinfo(found);
        return false;
    }
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
        *out = udp_address{};
        std::memcpy(&out->in, a->ai_addr, sizeof(sockaddr_in));
        out->in.sin_port = htons(static_cast<uint16_t>(port));
        ok = true;
    }
    freeaddrinfo(found);
    if (!ok) g_udp.error = "WSANO_DATA";
    return ok;
}

int udp_open() {
    clear_error();
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) {
        set_error(errno);
        return -1;
    }
    int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) {
        set_error(errno);
        close(s);
        return -1;
    }
    return s;
}

bool udp_bind(int socket, int port) {
    clear_error();
    udp_address a;
    a.in.sin_family = AF_INET;
    a.in.sin_port = htons(static_cast<uint16_t>(port));
    a.in.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(socket, reinterpret_cast<const sockaddr*>(&a.in), sizeof a.in) == 0) return true;
    set_error(errno);
    return false;
}

int udp_local_port(int socket) {
    sockaddr_in a = {};
    socklen_t size = sizeof a;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&a), &size) != 0) return 0;
    return ntohs(a.sin_port);
}

void udp_close(int socket) {
    clear_error();
    if (socket >= 0) close(socket);
}

int udp_send(int socket, const void* bytes, int length, const udp_address& to) {
    clear_error();
    ssize_t n = sendto(socket, bytes, static_cast<size_t>(length), 0,
                       reinterpret_cast<const sockaddr*>(&to.in), sizeof to.in);
    if (n < 0) {
        set_error(errno);
        return -1;
    }
    return static_cast<int>(n);
}

int udp_receive(int socket, void* buffer, int capacity, udp_address* from) {
    clear_error();
    sockaddr_in source = {};
    socklen_t size = sizeof source;
    // MSG_TRUNC gives a longer datagram's whole length, so the caller can refuse it.
    ssize_t n = recvfrom(socket, buffer, static_cast<size_t>(capacity), MSG_TRUNC,
                         reinterpret_cast<sockaddr*>(&source), &size);
    if (n < 0) {
        set_error(errno);
        return -1;
    }
    if (from) {
        *from = udp_address{};
        from->in = source;
    }
    return static_cast<int>(n);
}

const char* udp_error_name() { return g_udp.error; }

void udp_shutdown() { clear_error(); }
