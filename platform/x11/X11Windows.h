#pragma once

#include "platform/Processes.h"

// The applications on an X11 desktop through EWMH on Qt's own connection: _NET_ACTIVE_WINDOW,
// _NET_WM_PID, WM_CLASS; activation by client message, then a bounded wait until the target
// really is active.
class X11Windows : public Processes::Backend {
public:
    std::optional<Processes::Application> frontmost() override;
    bool isCurrent(quint32 window) override;
    bool bringToFront(quint32 window) override;
    void activate(QWidget* window, const Processes::Activation& activation) override;
    void takeFocusBack(QWidget* window) override;
};
