// The reliable channel both ends keep: numbered messages sent one at a time until acknowledged,
// and received messages handled in their order however they arrive.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

constexpr double k_reliable_resend = 0.5; // s between sends of the oldest message
constexpr int k_early_max = 64;           // messages kept that arrived ahead of their turn
constexpr int k_early_window = 1024;      // how far ahead a kept message may be

struct reliable_message {
    int32_t sequence = 0;
    int sub_type = 0;
    std::vector<uint8_t> payload;
    double next_send = 0; // s; 0: at once
    int sends = 0;
    bool acknowledged = false; // in a window, ahead of an older one still unacknowledged
};

struct reliable_sender {
    std::deque<reliable_message> queue;
    int32_t next_sequence = 0; // counts from 0 per connection
};

// Queues a message with the next sequence number.
void reliable_queue(reliable_sender& s, int sub_type, const uint8_t* payload, int length);
// The oldest message when its send time has passed, its next send set half a second on;
// nullptr when nothing is due.
const reliable_message* reliable_due(reliable_sender& s, double now);
// An acknowledgment: drops the oldest message when it has that sequence. True when dropped.
bool reliable_acknowledged(reliable_sender& s, int32_t sequence);

// A sender may keep the oldest `window` messages in flight at once (the receiver keeps what
// arrives ahead of its turn): the first of them due, its next send set half a second on, or
// nullptr. Called until nullptr, it gives every one due.
const reliable_message* reliable_due_in_window(reliable_sender& s, double now, int window);
// An acknowledgment of any message in the window; the acknowledged ones at the front are dropped.
// True when it was one of them.
bool reliable_acknowledged_in_window(reliable_sender& s, int32_t sequence, int window);

struct reliable_receiver {
    int32_t expected = 0;
    std::map<int32_t, reliable_message> early; // in sequence order
};

enum reliable_arrival {
    arrival_handle,  // its turn: handle it, then reliable_next_early for any waiting
    arrival_stored,  // ahead of its turn: kept (acknowledge it)
    arrival_behind,  // handled before: acknowledge it only
    arrival_refused, // too far ahead or too many kept: not acknowledged, so it comes again
};
// Decides what to do with a reliable message; advances the expected sequence for one whose
// turn it is.
reliable_arrival reliable_arrive(reliable_receiver& r, int32_t sequence, int sub_type,
                                 const uint8_t* payload, int length);
// The kept message whose turn has come, taken out of the store (the expected sequence moves
// past it); false when there is none.
bool reliable_next_early(reliable_receiver& r, reliable_message* out);
