#pragma once

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// Qt's own connection to the X server, shared by the platform modules that do what only X11 can
// do. Being Qt's connection, our requests stay in order with Qt's: a property we set before Qt
// maps a window is there when Qt and the window manager look at it.
class X11Connection {
public:
    // The atoms the modules name; all are interned together, once.
    enum Atom {
        WmState,
        NetWmDesktop,
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
    xcb_window_t root() const { return _root; }
    xcb_atom_t atom(Atom atom) const { return _atoms[atom]; }

    // The values of a 32-bit property of that type; absent when the window has no such property,
    // has it of another type, or is gone.
    std::optional<std::vector<uint32_t>> property(xcb_window_t window, xcb_atom_t property,
                                                  xcb_atom_t type) const;
    void setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                     const std::vector<uint32_t>& values) const;
    // An EWMH request about a window to the window manager, which listens on the root window.
    void sendToRoot(xcb_window_t window, xcb_atom_t messageType,
                    const std::array<uint32_t, 5>& data) const;

private:
    X11Connection(xcb_connection_t* connection, xcb_window_t root);

    xcb_connection_t* _connection;
    xcb_window_t _root;
    std::array<xcb_atom_t, AtomCount> _atoms{};
};
