#pragma once

#include "platform/WindowHints.h"

// The hints of a utility window through EWMH: _NET_WM_DESKTOP and _NET_WM_STATE, set before
// the map and asked of the window manager on a shown window.
class X11WindowHints : public WindowHints::Backend {
public:
    void prepareToShow(QWidget* window, bool above) override;
    void setKeepAbove(QWidget* window, bool above) override;
};
