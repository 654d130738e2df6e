#include "platform/wayland/WaylandProcesses.h"

#include "platform/Log.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandToplevels.h"

#include <QWidget>
#include <algorithm>

namespace {

// The compositor activates in a few milliseconds; the paste waits on this, and one that ignores
// us must not keep the user waiting for long.
constexpr int kActivationTimeoutMs = 500;

} // namespace

WaylandProcesses::WaylandProcesses(WaylandConnection& wayland,
                                   std::shared_ptr<WaylandToplevels> toplevels)
    : _wayland(wayland), _toplevels(std::move(toplevels)) {
    if (!_toplevels)
        Log::write(QStringLiteral(
            "warning*** :[wayland] [this compositor does not list its windows "
            "(zwlr_foreign_toplevel_manager_v1): the program in front is unknown, and a chosen "
            "clipping only goes onto the clipboard]"));
}

std::optional<Processes::Application> WaylandProcesses::frontmost() {
    if (!_toplevels)
        return std::nullopt;
    // A focus that changed a moment ago is in the list once the compositor has answered.
    _wayland.roundtrip();
    const auto front = _toplevels->activated();
    if (!front)
        return std::nullopt;
    Processes::Application application;
    application.window = front->id;
    application.windowClass = front->appId;
    application.name = nameOfClass(front->appId);
    if (application.name.isEmpty())
        application.name = front->title;
    return application;
}

bool WaylandProcesses::isCurrent(quint32 window) {
    const auto toplevel = _toplevels ? _toplevels->find(window) : std::nullopt;
    return toplevel && toplevel->isOurs();
}

bool WaylandProcesses::bringToFront(quint32 window) {
    if (!_toplevels || !_toplevels->activate(window))
        return false;
    return _wayland.waitUntil(
               [&] {
                   const auto toplevel = _toplevels->find(window);
                   return !toplevel || toplevel->activated;
               },
               kActivationTimeoutMs) &&
           _toplevels->find(window);
}

void WaylandProcesses::activate(QWidget* window, const Processes::Activation& activation) {
    // Qt's xdg-shell hands the token a launcher gave us to the compositor with its activation
    // request, and takes it off the environment then.
    if (!activation.token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activation.token.toUtf8());
    Backend::activate(window, activation);
    if (!_toplevels || !window->isVisible())
        return;
    // A window shown just now gets the keyboard as the compositor maps it, and is not listed yet.
    // One that was up already may not: sway only marks a window urgent when it asks to be
    // activated through xdg-activation. It is activated as a task bar would, known by being our
    // only window, or by its title; Qt may not have sent a title just changed, so the title
    // decides only between several.
    const std::vector<WaylandToplevels::Toplevel> ours = _toplevels->ours();
    const auto target = ours.size() == 1 ? ours.begin()
                                         : std::ranges::find(ours, window->windowTitle(),
                                                             &WaylandToplevels::Toplevel::title);
    if (target != ours.end() && !target->activated)
        _toplevels->activate(target->id);
}
