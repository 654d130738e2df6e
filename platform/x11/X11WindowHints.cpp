#include "platform/x11/X11WindowHints.h"

#include "platform/x11/X11Connection.h"

#include <QWidget>
#include <algorithm>
#include <span>
#include <vector>

namespace {

using X11 = X11Connection;

// _NET_WM_DESKTOP for "every workspace"; the _NET_WM_STATE actions and our source (EWMH).
constexpr uint32_t kAllDesktops = 0xFFFFFFFF;
constexpr uint32_t kStateRemove = 0;
constexpr uint32_t kStateAdd = 1;
constexpr uint32_t kSourceApplication = 1;
// A window manager withdraws a hidden window in a few milliseconds; one that never does must not
// hold the show back for long.
constexpr int kWithdrawalTimeoutMs = 500;

} // namespace

void X11WindowHints::prepareToShow(QWidget* widget, bool above) {
    const X11* x11 = X11::get();
    if (!x11)
        return;
    const auto window = xcb_window_t(widget->winId());
    // A window hidden a moment ago may not be withdrawn yet, and a manager that withdraws it
    // after we set the hints drops them with it (ICCCM 4.1.4: wait for the withdrawal).
    X11::waitUntil([&] { return !x11->isManaged(window); }, kWithdrawalTimeoutMs);
    x11->setProperty(window, x11->atom(X11::NetWmDesktop), XCB_ATOM_CARDINAL, {kAllDesktops});

    // Sticky too: xfwm4 misreads the desktop hint of a new window and puts it on its last
    // workspace, but takes a sticky window as one on every workspace, as do the managers whose
    // workspaces are viewports.
    const xcb_atom_t ours[] = {x11->atom(X11::NetWmStateSkipTaskbar),
                               x11->atom(X11::NetWmStateSkipPager),
                               x11->atom(X11::NetWmStateSticky), x11->atom(X11::NetWmStateAbove)};
    const auto wanted = std::span(ours).first(above ? 4 : 3);
    // What the list holds already stays: Qt adds its own states to it when it maps the window.
    // Ours are put anew, since a manager that keeps the list of a hidden window may have left
    // the above state there.
    const xcb_atom_t property = x11->atom(X11::NetWmState);
    std::vector<uint32_t> states =
        x11->property(window, property, XCB_ATOM_ATOM).value_or(std::vector<uint32_t>());
    std::erase_if(states, [&](uint32_t state) { return std::ranges::count(ours, state) > 0; });
    states.insert(states.end(), wanted.begin(), wanted.end());
    x11->setProperty(window, property, XCB_ATOM_ATOM, states);
}

void X11WindowHints::setKeepAbove(QWidget* window, bool above) {
    const X11* x11 = X11::get();
    if (!x11)
        return;
    // Qt has asked for the map already, so the manager hears of the window before this request,
    // even when it has not taken the window yet.
    x11->sendToRoot(xcb_window_t(window->winId()), x11->atom(X11::NetWmState),
                    {above ? kStateAdd : kStateRemove, x11->atom(X11::NetWmStateAbove), 0,
                     kSourceApplication, 0});
}
