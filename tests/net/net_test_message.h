// What the network tests read back: a datagram and the message it reads as.
#pragma once

#include "net/net_wire.h"

#include <gtest/gtest.h>

#include <vector>

using wire_bytes = std::vector<uint8_t>;

// A datagram read by one side's reader; a copy reads its own bytes again, so its fields never
// point into another copy.
template <bool (*read)(const uint8_t*, int, net_message*)> struct read_datagram {
    wire_bytes raw;
    net_message m;
    read_datagram() = default;
    explicit read_datagram(wire_bytes b) : raw(std::move(b)) {
        EXPECT_TRUE(read(raw.data(), static_cast<int>(raw.size()), &m)) << "type " << int(raw[0]);
    }
    read_datagram(const read_datagram& o) : read_datagram(o.raw) {}
    read_datagram& operator=(const read_datagram& o) {
        raw = o.raw;
        read(raw.data(), static_cast<int>(raw.size()), &m);
        return *this;
    }
    std::string text() const { return wire_text(m.data, m.data_length); }
};

using sent_message = read_datagram<parse_client_message>; // what a client sent
using received = read_datagram<parse_server_message>;     // what a server sent
