// The reliable channel's send queue and its ordering of received messages.
#include "net/net_reliable.h"

#include <algorithm>

void reliable_queue(reliable_sender& s, int sub_type, const uint8_t* payload, int length) {
    reliable_message m;
    m.sequence = s.next_sequence++;
    m.sub_type = sub_type;
    if (payload && length > 0) m.payload.assign(payload, payload + length);
    s.queue.push_back(std::move(m));
}

const reliable_message* reliable_due(reliable_sender& s, double now) {
    if (s.queue.empty()) return nullptr;
    reliable_message& m = s.queue.front();
    if (m.next_send > now) return nullptr;
    m.next_send = now + k_reliable_resend;
    m.sends++;
    return &m;
}

bool reliable_acknowledged(reliable_sender& s, int32_t sequence) {
    if (s.queue.empty() || s.queue.front().sequence != sequence) return false;
    s.queue.pop_front();
    return true;
}

const reliable_message* reliable_due_in_window(reliable_sender& s, double now, int window) {
    const int n = std::min(window, static_cast<int>(s.queue.size()));
    for (int i = 0; i < n; i++) {
        reliable_message& m = s.queue[static_cast<size_t>(i)];
        if (m.acknowledged || m.next_send > now) continue;
        m.next_send = now + k_reliable_resend;
        m.sends++;
        return &m;
    }
    return nullptr;
}

bool reliable_acknowledged_in_window(reliable_sender& s, int32_t sequence, int window) {
    const int n = std::min(window, static_cast<int>(s.queue.size()));
    bool found = false;
    for (int i = 0; i < n && !found; i++) {
        reliable_message& m = s.queue[static_cast<size_t>(i)];
        if (m.sequence != sequence) continue;
        found = m.sends > 0;
        m.acknowledged |= found;
    }
    while (!s.queue.empty() && s.queue.front().acknowledged) s.queue.pop_front();
    return found;
}

reliable_arrival reliable_arrive(reliable_receiver& r, int32_t sequence, int sub_type,
                                 const uint8_t* payload, int length) {
    // Differences, not comparisons, so a sequence far from the expected one is never mistaken
    // for a near one.
    int64_t ahead = static_cast<int64_t>(sequence) - r.expected;
    if (ahead < 0) return arrival_behind;
    if (ahead == 0) {
        r.expected++;
        return arrival_handle;
    }
    if (r.early.count(sequence)) return arrival_stored;
    if (ahead > k_early_window || static_cast<int>(r.early.size()) >= k_early_max)
        return arrival_refused;
    reliable_message& m = r.early[sequence];
    m.sequence = sequence;
    m.sub_type = sub_type;
    if (payload && length > 0) m.payload.assign(payload, payload + length);
    return arrival_stored;
}

bool reliable_next_early(reliable_receiver& r, reliable_message* out) {
    // Anything kept that has fallen behind was handled already.
    while (!r.early.empty() && r.early.begin()->first < r.expected) r.early.erase(r.early.begin());
    if (r.early.empty() || r.early.begin()->first != r.expected) return false;
    *out = std::move(r.early.begin()->second);
    r.early.erase(r.early.begin());
    r.expected++;
    return true;
}
