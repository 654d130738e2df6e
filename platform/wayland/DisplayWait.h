#pragma once

#include <functional>

struct wl_display;
struct wl_event_queue;

// Waiting on a Wayland connection for what the compositor sends, on the connection's own queue
// (queue null) or on a queue of the caller's. The socket is read only after everything queued
// before was dispatched, and never blocks: a reader that woke to a socket another one emptied
// (Qt's reading thread on Qt's connection) finds nothing and returns.
namespace DisplayWait {

// Reads what the compositor sent, waiting for it at most the time given, and dispatches the queue.
void readAndDispatch(wl_display* display, wl_event_queue* queue, int timeoutMs);

// Reads and dispatches until the condition holds: false when the time is up or the connection
// broke first.
bool until(wl_display* display, wl_event_queue* queue, const std::function<bool()>& condition,
           int timeoutMs);

// Waits until the compositor has handled every request made on the connection so far.
bool roundtrip(wl_display* display, wl_event_queue* queue, int timeoutMs);

} // namespace DisplayWait
