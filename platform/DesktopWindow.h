#pragma once

class QWidget;

// What a utility window asks of the desktop: to be on every workspace, out of the task bar and
// the pager, and above other windows when the user wants it so. On X11 these are EWMH hints; on
// any other platform every call does nothing.
class DesktopWindow {
public:
    // Neither owns nor outlives the window.
    explicit DesktopWindow(QWidget* window) : _window(window) {}

    // Call before every show of the window: the window manager forgets the hints whenever the
    // window is hidden.
    void prepareToShow();
    // At once on a shown window, which stays shown; at the next show otherwise.
    void setKeepAbove(bool above);

private:
    QWidget* _window;
    bool _above = false;
};
