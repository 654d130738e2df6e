#pragma once

#include <QByteArray>
#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;

// Qt's own connection to the X server, shared by the platform modules that do what only X11 can
// do. Being Qt's connection, our requests stay in order with Qt's: a property we set before Qt
// maps a window is there when Qt and the window manager look at it.
class X11Connection {
public:
    // The atoms the modules name; all are interned together, once.
    enum Atom {
        WmState,
        NetActiveWindow,
        NetWmDesktop,
        NetWmPid,
        NetWmState,
        NetWmStateAbove,
        NetWmStateSkipPager,
        NetWmStateSkipTaskbar,
        NetWmStateSticky,
        AtomCount
    };

    // Null when Qt runs on another platform than X11 (the offscreen one of the tests).
    static X11Connection* get();

    xcb_connection_t* connection() const { return _connection; }
    // The same connection seen through Xlib, for the libraries that speak only Xlib (XTest);
    // null when Qt opened the display without Xlib.
    _XDisplay* display() const { return _display; }
    xcb_window_t root() const { return _root; }
    // The name of the display Qt opened, which need not be $DISPLAY, for connections of our own.
    QByteArray displayName() const;
    xcb_atom_t atom(Atom atom) const { return _atoms[atom]; }

    // The values of a 32-bit property of that type; absent when the window has no such property,
    // has it of another type, or is gone.
    std::optional<std::vector<uint32_t>> property(xcb_window_t window, xcb_atom_t property,
                                                  xcb_atom_t type) const;
    // The bytes of an 8-bit property of that type, absent as above.
    std::optional<std::string> text(xcb_window_t window, xcb_atom_t property,
                                    xcb_atom_t type) const;
    void setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                     const std::vector<uint32_t>& values) const;
    // The window the window manager names active (_NET_ACTIVE_WINDOW); none when it names none.
    xcb_window_t activeWindow() const;
    // Whether the window manager has taken the window (WM_STATE Normal or Iconic).
    bool isManaged(xcb_window_t window) const;
    // Whether the window was made on this connection, by Qt or by us: the server hands every
    // connection a range of ids of its own.
    bool isOwnWindow(xcb_window_t window) const;

    // Waits until the condition holds, at most the time given, asking the server afresh every
    // few milliseconds rather than running the event loop: timers and the user's input must
    // not come into the middle of what waits. False when the time ran out.
    static bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

    // An EWMH request about a window to the window manager, which listens on the root window.
    void sendToRoot(xcb_window_t window, xcb_atom_t messageType,
                    const std::array<uint32_t, 5>& data) const;

    // The X server's time now, for the requests that want a real timestamp rather than
    // CurrentTime; CurrentTime itself when the server does not tell within a moment.
    xcb_timestamp_t serverTime();

    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

private:
    X11Connection(xcb_connection_t* connection, _XDisplay* display, xcb_window_t root);

    xcb_connection_t* _connection;
    _XDisplay* _display;
    xcb_window_t _root;
    // A connection of our own with a window on it, where the server's time is learnt from the
    // notice of a property change: Qt reads every event of its own connection.
    xcb_connection_t* _clock = nullptr;
    xcb_window_t _clockWindow = XCB_WINDOW_NONE;
    std::array<xcb_atom_t, AtomCount> _atoms{};
};
