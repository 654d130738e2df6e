#include "platform/PanelOwner.h"

#include "platform/Processes.h"

#include <QApplication>

PanelOwner::PanelOwner() {
    QWidget* active = QApplication::activeWindow();
    if (active && active->windowType() != Qt::Popup)
        _window = active;
}

PanelOwner::~PanelOwner() {
    if (_window && _window->isVisible())
        Processes::takeFocusBack(_window);
}
