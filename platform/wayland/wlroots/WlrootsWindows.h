#pragma once

#include "platform/Processes.h"

class WaylandConnection;
class WlrootsToplevels;

// The applications on a wlroots desktop through the compositor's list of windows: the one in
// front is the activated window, and bringing one back is activating it as a task bar does. Our
// own windows come up through Qt's xdg-activation. Without the list nothing is in front, and a
// choice only goes onto the clipboard, as over the desktop.
class WlrootsWindows : public Processes::Backend {
public:
    // The list is null when the compositor lacks it, which is said once here.
    WlrootsWindows(WaylandConnection& wayland, std::shared_ptr<WlrootsToplevels> toplevels);

    std::optional<Processes::Application> frontmost() override;
    bool isCurrent(quint32 window) override;
    bool bringToFront(quint32 window) override;
    void activate(QWidget* window, const Processes::Activation& activation) override;

private:
    WaylandConnection& _wayland;
    std::shared_ptr<WlrootsToplevels> _toplevels;
};
