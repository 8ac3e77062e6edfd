// The input event queue, guarded by its own mutex because a message thread may fill it.
#include "platform/event_queue.h"

#include <mutex>

namespace {
struct event_queue {
    std::mutex lock;
    platform_event ring[k_event_queue_size];
    int head = 0;
    int count = 0;
};
event_queue g_queue;
} // namespace

bool event_queue_push(const platform_event& event) {
    std::lock_guard<std::mutex> hold(g_queue.lock);
    if (g_queue.count == k_event_queue_size) return false;
    g_queue.ring[(g_queue.head + g_queue.count) % k_event_queue_size] = event;
    g_queue.count++;
    return true;
}

bool event_queue_take(platform_event* event, const double* deadline) {
    std::lock_guard<std::mutex> hold(g_queue.lock);
    if (g_queue.count == 0) return false;
    const platform_event& first = g_queue.ring[g_queue.head];
    if (deadline && first.time > *deadline) return false;
    *event = first;
    g_queue.head = (g_queue.head + 1) % k_event_queue_size;
    g_queue.count--;
    return true;
}

void event_queue_clear() {
    std::lock_guard<std::mutex> hold(g_queue.lock);
    g_queue.head = 0;
    g_queue.count = 0;
}

int event_queue_count() {
    std::lock_guard<std::mutex> hold(g_queue.lock);
    return g_queue.count;
}

bool next_event(platform_event* event) {
    platform().pump();
    return event_queue_take(event, nullptr);
}

bool next_event_before(platform_event* event, double deadline) {
    platform().pump();
    return event_queue_take(event, &deadline);
}
