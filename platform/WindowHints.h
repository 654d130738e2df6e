#pragma once

#include <memory>

class QWidget;

// What our own utility window asks of the desktop: to be on every workspace, out of the task bar
// and the pager, and above other windows when the user wants it so. On X11 these are EWMH hints;
// Wayland has no protocol for them. The backends chosen at start install the desktop's; until
// then (Qt's offscreen platform in the tests) every call does nothing.
class WindowHints {
public:
    // Neither owns nor outlives the window.
    explicit WindowHints(QWidget* window) : _window(window) {}

    // Call before every show of the window: the window manager forgets the hints whenever the
    // window is hidden.
    void prepareToShow();
    // At once on a shown window, which stays shown; at the next show otherwise.
    void setKeepAbove(bool above);
    // Whether this desktop keeps a window above others when asked: the preferences offer it
    // then. Until a desktop's backend is installed, nothing says it cannot.
    static bool canKeepAbove();

    // What a desktop family does for the calls above. This one does nothing.
    class Backend {
    public:
        virtual ~Backend() = default;
        virtual bool keepsAbove() const { return true; }
        virtual void prepareToShow(QWidget*, bool /*above*/) {}
        // Only called while the window is shown.
        virtual void setKeepAbove(QWidget*, bool /*above*/) {}
    };
    // Puts the desktop's backend in place of the one before; null goes back to the one that does
    // nothing. Only the choice of backends at start makes it.
    static void installBackend(std::unique_ptr<Backend> backend);

private:
    QWidget* _window;
    bool _above = false;
};
