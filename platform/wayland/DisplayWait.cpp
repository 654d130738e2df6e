#include "platform/wayland/DisplayWait.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <poll.h>
#include <wayland-client.h>

namespace {

void answered(void* data, wl_callback* callback, uint32_t) {
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(callback);
}
const wl_callback_listener kSyncListener{&answered};

} // namespace

void DisplayWait::readAndDispatch(wl_display* display, wl_event_queue* queue, int timeoutMs) {
    const auto dispatch = [&] {
        queue ? wl_display_dispatch_queue_pending(display, queue)
              : wl_display_dispatch_pending(display);
    };
    if ((queue ? wl_display_prepare_read_queue(display, queue)
               : wl_display_prepare_read(display)) != 0) {
        dispatch();
        return;
    }
    // What we asked for goes out before we wait for the answer.
    wl_display_flush(display);
    pollfd readable{wl_display_get_fd(display), POLLIN, 0};
    if (poll(&readable, 1, timeoutMs) > 0)
        wl_display_read_events(display);
    else
        wl_display_cancel_read(display);
    dispatch();
}

bool DisplayWait::until(wl_display* display, wl_event_queue* queue,
                        const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired() || wl_display_get_error(display) != 0)
            return false;
        readAndDispatch(display, queue, int(std::max<qint64>(deadline.remainingTime(), 0)));
    }
    return true;
}

bool DisplayWait::roundtrip(wl_display* display, wl_event_queue* queue, int timeoutMs) {
    if (wl_display_get_error(display) != 0)
        return false;
    // The answer comes on the queue waited on.
    auto* onQueue = queue ? static_cast<wl_display*>(wl_proxy_create_wrapper(display)) : display;
    if (queue)
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(onQueue), queue);
    bool done = false;
    wl_callback* sync = wl_display_sync(onQueue);
    if (sync)
        wl_callback_add_listener(sync, &kSyncListener, &done);
    const bool answered = sync && until(
                                      display, queue, [&] { return done; }, timeoutMs);
    // An answer that comes later finds nobody waiting for it.
    if (sync && !answered)
        wl_callback_destroy(sync);
    if (queue)
        wl_proxy_wrapper_destroy(onQueue);
    return answered;
}
