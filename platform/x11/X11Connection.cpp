#include "platform/x11/X11Connection.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QThread>
#include <X11/Xlib.h>
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <poll.h>
#include <string_view>

namespace {

// In the order of X11Connection::Atom.
constexpr std::array<std::string_view, X11Connection::AtomCount> kAtomNames{
    "WM_STATE",
    "_NET_ACTIVE_WINDOW",
    "_NET_WM_DESKTOP",
    "_NET_WM_PID",
    "_NET_WM_STATE",
    "_NET_WM_STATE_ABOVE",
    "_NET_WM_STATE_SKIP_PAGER",
    "_NET_WM_STATE_SKIP_TASKBAR",
    "_NET_WM_STATE_STICKY",
};

// The server answers a property change at once; a server that does not must not hold up the
// caller.
constexpr int kServerTimeTimeoutMs = 200;

} // namespace

X11Connection* X11Connection::get() {
    // The offscreen platform answers to the X11 interface too, without an X window behind its
    // windows: only xcb's windows are X windows.
    if (!qGuiApp || QGuiApplication::platformName() != u"xcb")
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return nullptr;
    // Tied to the connection rather than built once: another application object would bring
    // another connection, and atoms of another server.
    static std::unique_ptr<X11Connection> shared;
    if (!shared || shared->_connection != x11->connection()) {
        // The screen Qt opened when it went through Xlib; the first one otherwise.
        Display* display = x11->display();
        const xcb_window_t root =
            display ? DefaultRootWindow(display)
                    : xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data->root;
        shared.reset(new X11Connection(x11->connection(), display, root));
    }
    return shared.get();
}

X11Connection::X11Connection(xcb_connection_t* connection, _XDisplay* display, xcb_window_t root)
    : _connection(connection), _display(display), _root(root) {
    // Every request first, then every reply: one round trip for all the atoms.
    std::array<xcb_intern_atom_cookie_t, AtomCount> cookies;
    for (size_t i = 0; i < cookies.size(); ++i)
        cookies[i] =
            xcb_intern_atom(_connection, 0, uint16_t(kAtomNames[i].size()), kAtomNames[i].data());
    for (size_t i = 0; i < cookies.size(); ++i) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(_connection, cookies[i], nullptr);
        _atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
    }
}

std::optional<std::vector<uint32_t>>
X11Connection::property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const {
    // The length counts 32-bit units: asking for all there can be reads the whole property.
    const xcb_get_property_cookie_t cookie = xcb_get_property(
        _connection, 0, window, property, type, 0, std::numeric_limits<uint32_t>::max() / 4);
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(_connection, cookie, &error);
    std::free(error);
    std::optional<std::vector<uint32_t>> values;
    if (reply && reply->type == type && reply->format == 32) {
        const auto* first = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        values.emplace(first, first + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

std::optional<std::string> X11Connection::text(xcb_window_t window, xcb_atom_t property,
                                               xcb_atom_t type) const {
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(_connection, 0, window, property, type, 0, 1024);
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(_connection, cookie, &error);
    std::free(error);
    std::optional<std::string> text;
    if (reply && reply->type == type && reply->format == 8)
        text.emplace(static_cast<const char*>(xcb_get_property_value(reply)),
                     size_t(xcb_get_property_value_length(reply)));
    std::free(reply);
    return text;
}

void X11Connection::setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                const std::vector<uint32_t>& values) const {
    xcb_change_property(_connection, XCB_PROP_MODE_REPLACE, window, property, type, 32,
                        uint32_t(values.size()), values.data());
    xcb_flush(_connection);
}

void X11Connection::sendToRoot(xcb_window_t window, xcb_atom_t messageType,
                               const std::array<uint32_t, 5>& data) const {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = messageType;
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(_connection, 0, _root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(_connection);
}

QByteArray X11Connection::displayName() const {
    return _display ? QByteArray(DisplayString(_display)) : qgetenv("DISPLAY");
}

xcb_timestamp_t X11Connection::serverTime() {
    if (!_clock) {
        xcb_connection_t* clock = xcb_connect(displayName().constData(), nullptr);
        if (xcb_connection_has_error(clock)) {
            xcb_disconnect(clock);
            return XCB_CURRENT_TIME;
        }
        _clock = clock;
        _clockWindow = xcb_generate_id(_clock);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(_clock, XCB_COPY_FROM_PARENT, _clockWindow, _root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
    }
    // Appending nothing changes nothing but still earns the notice with its time (ICCCM 2.1).
    xcb_change_property(_clock, XCB_PROP_MODE_APPEND, _clockWindow, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(_clock);
    const QDeadlineTimer deadline(kServerTimeTimeoutMs);
    while (!xcb_connection_has_error(_clock)) {
        xcb_generic_event_t* event = xcb_poll_for_event(_clock);
        if (event && (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const xcb_timestamp_t time =
                reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
            std::free(event);
            return time;
        }
        const bool waiting = !event;
        std::free(event);
        if (deadline.hasExpired())
            break;
        if (waiting) {
            pollfd readable{xcb_get_file_descriptor(_clock), POLLIN, 0};
            poll(&readable, 1, int(deadline.remainingTime()));
        }
    }
    return XCB_CURRENT_TIME;
}

X11Connection::~X11Connection() {
    if (_clock)
        xcb_disconnect(_clock);
}

xcb_window_t X11Connection::activeWindow() const {
    const auto active = property(_root, atom(NetActiveWindow), XCB_ATOM_WINDOW);
    return active && !active->empty() ? active->front() : xcb_window_t(XCB_WINDOW_NONE);
}

bool X11Connection::isManaged(xcb_window_t window) const {
    // ICCCM WM_STATE values of a window the manager has taken.
    constexpr uint32_t normalState = 1;
    constexpr uint32_t iconicState = 3;
    const auto state = property(window, atom(WmState), atom(WmState));
    return state && !state->empty() &&
           (state->front() == normalState || state->front() == iconicState);
}

bool X11Connection::isOwnWindow(xcb_window_t window) const {
    const xcb_setup_t* setup = xcb_get_setup(_connection);
    return window != XCB_WINDOW_NONE &&
           (window & ~setup->resource_id_mask) == setup->resource_id_base;
}

bool X11Connection::waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
    return true;
}
