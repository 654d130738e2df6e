#include "platform/wayland/WaylandWindows.h"

#include "platform/wayland/Toplevels.h"
#include "platform/wayland/WaylandConnection.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>

namespace {

// The compositor activates in a few milliseconds; the paste waits on this, and one that ignores
// us must not keep the user waiting for long.
constexpr int kActivationTimeoutMs = 500;

// Our windows the compositor shows as windows of their own: neither menus nor tooltips.
qsizetype shownWindows() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::ranges::count_if(windows, [](const QWidget* window) {
        return window->isVisible() && window->windowType() != Qt::Popup &&
               window->windowType() != Qt::ToolTip &&
               !window->windowFlags().testFlag(Qt::BypassWindowManagerHint);
    });
}

} // namespace

WaylandWindows::WaylandWindows(WaylandConnection& wayland, std::shared_ptr<Toplevels> toplevels)
    : _wayland(wayland), _toplevels(std::move(toplevels)) {}

std::optional<Processes::Application> WaylandWindows::frontmost() {
    if (!_toplevels)
        return std::nullopt;
    // A focus that changed a moment ago is in the list once the compositor has answered.
    _wayland.roundtrip();
    const auto front = _toplevels->activated();
    if (!front)
        return std::nullopt;
    Processes::Application application;
    application.window = front->id;
    application.pid = front->pid;
    application.windowClass = front->appId;
    application.name = nameOfClass(front->appId);
    if (application.name.isEmpty())
        application.name = front->title;
    return application;
}

bool WaylandWindows::isCurrent(quint32 window) {
    const auto toplevel = _toplevels ? _toplevels->find(window) : std::nullopt;
    return toplevel && toplevel->isOurs();
}

bool WaylandWindows::bringToFront(quint32 window) {
    if (!_toplevels || !_toplevels->activate(window))
        return false;
    return _toplevels->waitUntilActivated(_wayland, window, kActivationTimeoutMs);
}

void WaylandWindows::activate(QWidget* window, const Processes::Activation& activation) {
    // Qt's xdg-shell hands the token a launcher gave us to the compositor with its activation
    // request, and takes it off the environment then.
    if (!activation.token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activation.token.toUtf8());
    Backend::activate(window, activation);
    if (!_toplevels || !window->isVisible())
        return;
    // A window shown just now gets the keyboard as the compositor maps it, and is not listed yet.
    // One that was up already may not: sway only marks a window urgent when it asks to be
    // activated through xdg-activation. It is activated as a task bar would, known by its title;
    // Qt may not have sent a title changed a moment ago, so a window shown alone is also known
    // by being the only one of ours listed.
    const std::vector<Toplevels::Toplevel> ours = _toplevels->ours();
    auto target = std::ranges::find(ours, window->windowTitle(), &Toplevels::Toplevel::title);
    if (target == ours.end() && ours.size() == 1 && shownWindows() == 1)
        target = ours.begin();
    if (target != ours.end() && !target->activated)
        _toplevels->activate(target->id);
}
