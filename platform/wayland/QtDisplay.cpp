#include "platform/wayland/QtDisplay.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <poll.h>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

namespace {

void answered(void* data, wl_callback* callback, uint32_t) {
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(callback);
}
const wl_callback_listener kSyncListener{&answered};

wl_display* qtsDisplay() {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"))
                  : nullptr;
}

} // namespace

bool QtDisplay::sync(int timeoutMs) {
    wl_display* display = qtsDisplay();
    if (!display || wl_display_get_error(display) != 0)
        return false;
    // The answer comes on a queue of our own, which only this wait reads: Qt's thread that reads
    // the connection leaves it to us, and we leave Qt's queue to Qt.
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    bool done = false;
    wl_callback* sync = wl_display_sync(wrapper);
    wl_callback_add_listener(sync, &kSyncListener, &done);
    const QDeadlineTimer deadline(timeoutMs);
    while (!done && !deadline.hasExpired() && wl_display_get_error(display) == 0) {
        if (wl_display_prepare_read_queue(display, queue) != 0) {
            wl_display_dispatch_queue_pending(display, queue);
            continue;
        }
        wl_display_flush(display);
        pollfd readable{wl_display_get_fd(display), POLLIN, 0};
        if (poll(&readable, 1, int(std::max<qint64>(deadline.remainingTime(), 0))) > 0)
            wl_display_read_events(display);
        else
            wl_display_cancel_read(display);
        wl_display_dispatch_queue_pending(display, queue);
    }
    // An answer that comes later finds nobody waiting for it.
    if (!done)
        wl_callback_destroy(sync);
    wl_proxy_wrapper_destroy(wrapper);
    wl_event_queue_destroy(queue);
    return done;
}
