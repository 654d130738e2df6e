#include "platform/wayland/QtDisplay.h"

#include "platform/wayland/DisplayWait.h"

#include <QGuiApplication>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

namespace {

wl_display* qtsDisplay() {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"))
                  : nullptr;
}

} // namespace

bool QtDisplay::sync(int timeoutMs) {
    wl_display* display = qtsDisplay();
    if (!display)
        return false;
    // The answer comes on a queue of our own, which only this wait reads: Qt's thread that reads
    // the connection leaves it to us, and we leave Qt's queue to Qt.
    wl_event_queue* queue = wl_display_create_queue(display);
    const bool done = DisplayWait::roundtrip(display, queue, timeoutMs);
    wl_event_queue_destroy(queue);
    return done;
}
