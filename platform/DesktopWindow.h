#pragma once

#include <memory>

class QWidget;

// What a utility window asks of the desktop: to be on every workspace, out of the task bar and
// the pager, and above other windows when the user wants it so. On X11 these are EWMH hints;
// Wayland has no protocol for them. The session installs the display system's backend; until
// then (Qt's offscreen platform in the tests) every call does nothing.
class DesktopWindow {
public:
    // Neither owns nor outlives the window.
    explicit DesktopWindow(QWidget* window) : _window(window) {}

    // Call before every show of the window: the window manager forgets the hints whenever the
    // window is hidden.
    void prepareToShow();
    // At once on a shown window, which stays shown; at the next show otherwise.
    void setKeepAbove(bool above);

    // What a display system does for the calls above. This one does nothing.
    class Backend {
    public:
        virtual ~Backend() = default;
        virtual void prepareToShow(QWidget*, bool /*above*/) {}
        // Only called while the window is shown.
        virtual void setKeepAbove(QWidget*, bool /*above*/) {}
    };
    // Puts the display system's backend in place of the one before; null goes back to the one
    // that does nothing. Only the session chooses.
    static void installBackend(std::unique_ptr<Backend> backend);

private:
    QWidget* _window;
    bool _above = false;
};
