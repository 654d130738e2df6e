#include "platform/DesktopWindow.h"

#include <QWidget>

namespace {

std::unique_ptr<DesktopWindow::Backend>& installed() {
    static std::unique_ptr<DesktopWindow::Backend> backend =
        std::make_unique<DesktopWindow::Backend>();
    return backend;
}

} // namespace

void DesktopWindow::installBackend(std::unique_ptr<Backend> backend) {
    installed() = backend ? std::move(backend) : std::make_unique<Backend>();
}

void DesktopWindow::prepareToShow() {
    installed()->prepareToShow(_window, _above);
}

void DesktopWindow::setKeepAbove(bool above) {
    _above = above;
    if (_window->isVisible())
        installed()->setKeepAbove(_window, above);
}
