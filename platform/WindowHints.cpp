#include "platform/WindowHints.h"

#include <QWidget>

namespace {

std::unique_ptr<WindowHints::Backend>& installed() {
    static std::unique_ptr<WindowHints::Backend> backend = std::make_unique<WindowHints::Backend>();
    return backend;
}

} // namespace

void WindowHints::installBackend(std::unique_ptr<Backend> backend) {
    installed() = backend ? std::move(backend) : std::make_unique<Backend>();
}

bool WindowHints::canKeepAbove() {
    return installed()->keepsAbove();
}

void WindowHints::prepareToShow() {
    installed()->prepareToShow(_window, _above);
}

void WindowHints::setKeepAbove(bool above) {
    _above = above;
    if (_window->isVisible())
        installed()->setKeepAbove(_window, above);
}
