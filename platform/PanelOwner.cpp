#include "platform/PanelOwner.h"

#include <QApplication>

PanelOwner::PanelOwner() {
    QWidget* active = QApplication::activeWindow();
    if (active && active->windowType() != Qt::Popup)
        _window = active;
}

PanelOwner::~PanelOwner() {
    // Some window managers hand the keyboard to another program when a panel closes, and the
    // next key meant for us would land there.
    if (_window && _window->isVisible())
        _window->activateWindow();
}
