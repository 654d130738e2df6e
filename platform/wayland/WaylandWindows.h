#pragma once

#include "platform/Processes.h"

class Toplevels;
class WaylandConnection;

// The applications on a Wayland desktop through the compositor's list of windows: the one in
// front is the activated window, and bringing one back is activating it as a task bar does. Our
// own windows come up through Qt's xdg-activation. Without a list (null: the compositor offers
// none to us) nothing is in front, and a choice only goes onto the clipboard, as over the desktop.
class WaylandWindows : public Processes::Backend {
public:
    WaylandWindows(WaylandConnection& wayland, std::shared_ptr<Toplevels> toplevels);

    std::optional<Processes::Application> frontmost() override;
    bool isCurrent(quint32 window) override;
    bool bringToFront(quint32 window) override;
    void activate(QWidget* window, const Processes::Activation& activation) override;

private:
    WaylandConnection& _wayland;
    std::shared_ptr<Toplevels> _toplevels;
};
