// The datagram transport: resolving addresses and ports, a round trip over loopback, an empty
// receive, and the names socket errors are shown by.
#include "net/udp.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>

namespace {
TEST(udp, AHostWithAColonAndANumberUsesThatPort) {
    udp_address a;
    ASSERT_TRUE(udp_resolve("127.0.0.1:19801", 19800, &a));
    EXPECT_EQ(ntohs(a.in.sin_port), 19801);
    EXPECT_EQ(ntohl(a.in.sin_addr.s_addr), 0x7f000001u);
    ASSERT_TRUE(udp_resolve("127.0.0.1", 19800, &a));
    EXPECT_EQ(ntohs(a.in.sin_port), 19800);
    ASSERT_TRUE(udp_resolve("localhost:2000", 19800, &a));
    EXPECT_EQ(ntohs(a.in.sin_port), 2000);
    EXPECT_EQ(ntohl(a.in.sin_addr.s_addr), 0x7f000001u);
}

TEST(udp, AHostWithAColonAndLettersIsLookedUpWholeAndFails) {
    udp_address a;
    EXPECT_FALSE(udp_resolve("127.0.0.1:abc", 19800, &a));
    EXPECT_STREQ(udp_error_name(), "WSAHOST_NOT_FOUND");
    EXPECT_FALSE(udp_resolve("::1", 19800, &a)) << "IPv6 is not supported";
    EXPECT_FALSE(udp_resolve("", 19800, &a));
}

TEST(udp, AReceiveWithNothingWaitingGivesNothingAndNoErrorName) {
    int s = udp_open();
    ASSERT_GE(s, 0);
    ASSERT_TRUE(udp_bind(s, 0));
    uint8_t buffer[16];
    udp_address from;
    EXPECT_EQ(udp_receive(s, buffer, sizeof buffer, &from), -1);
    EXPECT_STREQ(udp_error_name(), "");
    udp_close(s);
}

TEST(udp, ADatagramGoesOverLoopbackWithItsSourceAndItsWholeLength) {
    int a = udp_open(), b = udp_open();
    ASSERT_TRUE(udp_bind(a, 0));
    ASSERT_TRUE(udp_bind(b, 0));
    const udp_address to_b = udp_loopback(udp_local_port(b));
    uint8_t big[1500];
    for (size_t i = 0; i < sizeof big; i++) big[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(udp_send(a, "hello", 5, to_b), 5);
    ASSERT_EQ(udp_send(a, big, sizeof big, to_b), static_cast<int>(sizeof big));
    uint8_t buffer[1024];
    udp_address from;
    int n = -1;
    for (int tries = 0; tries < 1000 && n < 0; tries++) n = udp_receive(b, buffer, 1024, &from);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(std::memcmp(buffer, "hello", 5), 0);
    EXPECT_TRUE(udp_address_equal(from, udp_loopback(udp_local_port(a))));
    n = -1;
    for (int tries = 0; tries < 1000 && n < 0; tries++) n = udp_receive(b, buffer, 1024, &from);
    EXPECT_EQ(n, 1500) << "a longer datagram gives its whole length, for the caller to refuse";
    udp_close(a);
    udp_close(b);
}

TEST(udp, SocketErrorsAreNamedByTheirStandardConstants) {
    char number[16];
    EXPECT_STREQ(udp_errno_name(ECONNRESET, number, sizeof number), "WSAECONNRESET");
    EXPECT_STREQ(udp_errno_name(EMSGSIZE, number, sizeof number), "WSAEMSGSIZE");
    EXPECT_STREQ(udp_errno_name(ECONNREFUSED, number, sizeof number), "WSAECONNREFUSED");
    EXPECT_STREQ(udp_errno_name(ENETUNREACH, number, sizeof number), "WSAENETUNREACH");
    // An interrupted call or one that would block is not worth a name.
    EXPECT_STREQ(udp_errno_name(EINTR, number, sizeof number), "");
    EXPECT_STREQ(udp_errno_name(EAGAIN, number, sizeof number), "");
    EXPECT_STREQ(udp_errno_name(EWOULDBLOCK, number, sizeof number), "");
    EXPECT_STREQ(udp_errno_name(9999, number, sizeof number), "9999");
}

TEST(udp, ASendToANonsenseAddressIsNamed) {
    int s = udp_open();
    ASSERT_GE(s, 0);
    udp_address nowhere;
    nowhere.in.sin_family = AF_INET6; // not an IPv4 address at all
    EXPECT_EQ(udp_send(s, "x", 1, nowhere), -1);
    EXPECT_STRNE(udp_error_name(), "");
    udp_close(s);
}
} // namespace
