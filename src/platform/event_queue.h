// The input event queue: a ring of 256 events shared by whoever produces and the main loop.
#pragma once

#include "platform/platform.h"

constexpr int k_event_queue_size = 256;

// Appends an event; a full queue drops it. Returns whether it was queued.
bool event_queue_push(const platform_event& event);
// Takes the head event; with a deadline, only when the head is stamped at or before it.
bool event_queue_take(platform_event* event, const double* deadline);
void event_queue_clear();
int event_queue_count();

// Fetches the next event, pumping the window first (all events, or only those up to deadline).
bool next_event(platform_event* event);
bool next_event_before(platform_event* event, double deadline);
