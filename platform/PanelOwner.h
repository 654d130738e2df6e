#pragma once

#include <QPointer>
#include <QWidget>

// The window a modal panel (an alert, a folder panel) belongs to: the one the user was working
// in when it opened. The panel is made transient for it, so the window manager keeps it over
// that window; and that window has the keyboard again when the panel is gone, whatever the
// window manager would otherwise give it to.
class PanelOwner {
public:
    PanelOwner();
    ~PanelOwner();
    PanelOwner(const PanelOwner&) = delete;
    PanelOwner& operator=(const PanelOwner&) = delete;

    // The parent to give the panel; null at launch, or when our only window up is a menu.
    QWidget* window() const { return _window; }

private:
    QPointer<QWidget> _window;
};
