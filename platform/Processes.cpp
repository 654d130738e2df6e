#include "platform/Processes.h"

#include "platform/DesktopEntries.h"

#include <QWidget>

namespace {

std::unique_ptr<Processes::Backend>& installed() {
    static std::unique_ptr<Processes::Backend> backend = std::make_unique<Processes::Backend>();
    return backend;
}

} // namespace

void Processes::installBackend(std::unique_ptr<Backend> backend) {
    installed() = backend ? std::move(backend) : std::make_unique<Backend>();
}

std::optional<Processes::Application> Processes::frontmost() {
    return installed()->frontmost();
}

bool Processes::isCurrent(quint32 window) {
    return installed()->isCurrent(window);
}

bool Processes::bringToFront(quint32 window) {
    return installed()->bringToFront(window);
}

void Processes::activate(QWidget* window, const Activation& activation) {
    installed()->activate(window, activation);
}

void Processes::takeFocusBack(QWidget* window) {
    installed()->takeFocusBack(window);
}

void Processes::Backend::activate(QWidget* window, const Activation&) {
    window->raise();
    window->activateWindow();
}

void Processes::Backend::takeFocusBack(QWidget* window) {
    window->activateWindow();
}

QString Processes::Backend::nameOfClass(const QString& windowClass) {
    const QString name = DesktopEntries::applicationName(windowClass);
    return name.isEmpty() ? windowClass : name;
}
