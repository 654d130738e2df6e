#include "platform/x11/XDisplay.h"

#include <cstdio>
#include <future>
#include <memory>
#include <thread>
#include <xcb/xcb.h>

namespace {

// An X server answers a new client at once; one that has not within this time is stuck.
constexpr int kDisplayTimeoutMs = 5000;

} // namespace

namespace XDisplay {

std::optional<QString> trouble(int timeoutMs) {
    const QString name = qEnvironmentVariable("DISPLAY");
    if (name.isEmpty())
        return QStringLiteral("DISPLAY is not set");
    // A server that accepts the connection and never answers holds the connecting thread for
    // ever: that thread is left behind, and this process is about to end anyway.
    auto opened = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = opened->get_future();
    std::thread([opened] {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        opened->set_value(xcb_connection_has_error(connection) == 0);
        xcb_disconnect(connection);
    }).detach();
    if (answer.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        return QStringLiteral("the display \"%1\" does not answer").arg(name);
    if (!answer.get())
        return QStringLiteral("the display \"%1\" cannot be opened").arg(name);
    return std::nullopt;
}

bool answers() {
    // Qt aborts without a display and waits for ever on one that does not answer; only its X11
    // platform opens one.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return true;
    const std::optional<QString> why = trouble(kDisplayTimeoutMs);
    if (why)
        std::fprintf(stderr,
                     "kelvrin: no X display was found: %s.\n"
                     "Start Kelvrin in an X11 session, or name a running X server in DISPLAY, "
                     "as in DISPLAY=:0 kelvrin\n",
                     qPrintable(*why));
    return !why;
}

} // namespace XDisplay
