#include "platform/x11/X11Windows.h"

#include "platform/x11/X11Connection.h"

#include <QCoreApplication>
#include <QFile>
#include <QWidget>
#include <cstdlib>

namespace {

using X11 = X11Connection;

// The source indications of _NET_ACTIVE_WINDOW (EWMH): an application asking for its own window
// is held to its timestamp; a pager acts for the user and is obeyed.
constexpr uint32_t kSourceApplication = 1;
constexpr uint32_t kSourcePager = 2;
// Managers activate in a few milliseconds; the paste waits on this, and a manager that ignores us
// must not keep the user waiting for long.
constexpr int kActivationTimeoutMs = 500;
// A window manager takes a newly shown window in milliseconds, but a busy machine can hold it
// back for longer, and a request for a window it has not taken yet is lost: the paste window
// would come up without the keyboard and go again.
constexpr int kManageTimeoutMs = 2000;

qint64 pidOf(const X11& x11, xcb_window_t window) {
    const auto pid = x11.property(window, x11.atom(X11::NetWmPid), XCB_ATOM_CARDINAL);
    return pid && !pid->empty() ? qint64(pid->front()) : 0;
}

// Absent when the window is gone.
std::optional<uint8_t> mapState(const X11& x11, xcb_window_t window) {
    xcb_connection_t* connection = x11.connection();
    xcb_generic_error_t* error = nullptr;
    xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, window), &error);
    const std::optional<uint8_t> state =
        reply ? std::optional<uint8_t>(reply->map_state) : std::nullopt;
    std::free(error);
    std::free(reply);
    return state;
}

bool exists(const X11& x11, xcb_window_t window) {
    return mapState(x11, window).has_value();
}

} // namespace

std::optional<Processes::Application> X11Windows::frontmost() {
    const X11* x11 = X11::get();
    if (!x11)
        return std::nullopt;
    // openbox leaves a destroyed, hidden or minimised window named there when no other window
    // takes the focus.
    const xcb_window_t window = x11->activeWindow();
    if (window == XCB_WINDOW_NONE || mapState(*x11, window) != XCB_MAP_STATE_VIEWABLE)
        return std::nullopt;

    Processes::Application application;
    application.window = window;
    application.pid = pidOf(*x11, window);
    // "instance\0class\0", in Latin-1 (ICCCM 4.1.2.5).
    if (const auto wmClass = x11->text(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)) {
        const QList<QByteArray> parts = QByteArray::fromStdString(*wmClass).split('\0');
        application.instance = QString::fromLatin1(parts.value(0));
        application.windowClass = QString::fromLatin1(parts.value(1));
    }
    application.name = nameOfClass(application.windowClass);
    if (application.name.isEmpty() && application.pid > 0) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(application.pid));
        if (comm.open(QIODevice::ReadOnly))
            application.name = QString::fromLocal8Bit(comm.readAll().trimmed());
    }
    return application;
}

bool X11Windows::isCurrent(quint32 window) {
    const X11* x11 = X11::get();
    return x11 && pidOf(*x11, window) == QCoreApplication::applicationPid();
}

bool X11Windows::bringToFront(quint32 window) {
    X11* x11 = X11::get();
    if (!x11 || !exists(*x11, window))
        return false;
    // At the server's real time: some managers take a pager's request at CurrentTime for a bug.
    x11->sendToRoot(window, x11->atom(X11::NetActiveWindow),
                    {kSourcePager, x11->serverTime(), 0, 0, 0});
    // Reading the property over and over rather than waiting for its change notice: the notice
    // comes through Qt's event loop, and running that here would let timers and the user's input
    // into the middle of a paste.
    return X11::waitUntil([&] { return x11->activeWindow() == window; }, kActivationTimeoutMs);
}

void X11Windows::activate(QWidget* window, const Processes::Activation& activation) {
    X11* x11 = X11::get();
    // The server is asked for its time only when the request brings none of the user's.
    const quint32 timestamp = activation.timestamp ? *activation.timestamp
                              : x11                ? x11->serverTime()
                                                   : 0;
    Backend::activate(window, activation);
    if (!x11 || !window->isVisible())
        return;
    // A window shown a moment ago is not the manager's yet, and a request for it would be lost.
    const auto id = xcb_window_t(window->winId());
    X11::waitUntil([&] { return x11->isManaged(id); }, kManageTimeoutMs);
    // Qt's own request carries the time of the last event Qt itself handled, which need not be
    // the hot key's press: a manager that prevents focus stealing may find that time older than
    // the user's last action in the window in front and turn the request down.
    x11->sendToRoot(id, x11->atom(X11::NetActiveWindow), {kSourceApplication, timestamp, 0, 0, 0});
}

void X11Windows::takeFocusBack(QWidget* window) {
    X11* x11 = X11::get();
    if (!x11) {
        Backend::takeFocusBack(window);
        return;
    }
    // The panel's window is gone; the manager names the window it chose a moment later.
    X11::waitUntil(
        [&] {
            const xcb_window_t active = x11->activeWindow();
            return active != XCB_WINDOW_NONE && exists(*x11, active);
        },
        kActivationTimeoutMs);
    const xcb_window_t active = x11->activeWindow();
    if (active == XCB_WINDOW_NONE || !isCurrent(active))
        bringToFront(quint32(window->winId()));
}
