#pragma once

#include "platform/Processes.h"
#include "platform/gnome/GnomeShell.h"

#include <memory>

// The applications on a GNOME desktop as Kelvrin's shell extension sees them: the window in front
// is the one with the keyboard, and bringing one back is activating it as the shell's task list
// does, which its focus-stealing prevention lets through. Our own windows come up the same way.
class GnomeWindows : public Processes::Backend {
public:
    explicit GnomeWindows(std::shared_ptr<GnomeShell> shell);

    std::optional<Processes::Application> frontmost() override;
    bool isCurrent(quint32 window) override;
    bool bringToFront(quint32 window) override;
    void activate(QWidget* window, const Processes::Activation& activation) override;

    // The application of one of the shell's windows, as Processes names it.
    static Processes::Application applicationOf(const GnomeShell::Window& window);

private:
    std::shared_ptr<GnomeShell> _shell;
};
