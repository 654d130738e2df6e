#include "platform/wayland/Toplevels.h"

#include "platform/wayland/WaylandConnection.h"

#include <QGuiApplication>
#include <algorithm>

bool Toplevels::Toplevel::isOurs() const {
    return appId == QGuiApplication::desktopFileName();
}

std::optional<Toplevels::Toplevel> Toplevels::activated() const {
    const std::vector<Toplevel> all = listed();
    const auto front = std::ranges::find(all, true, &Toplevel::activated);
    return front == all.end() ? std::nullopt : std::optional(*front);
}

std::optional<Toplevels::Toplevel> Toplevels::find(quint32 id) const {
    const std::vector<Toplevel> all = listed();
    const auto found = std::ranges::find(all, id, &Toplevel::id);
    return found == all.end() ? std::nullopt : std::optional(*found);
}

std::vector<Toplevels::Toplevel> Toplevels::ours() const {
    std::vector<Toplevel> ours = listed();
    std::erase_if(ours, [](const Toplevel& toplevel) { return !toplevel.isOurs(); });
    return ours;
}

bool Toplevels::waitUntilActivated(WaylandConnection& wayland, quint32 id, int timeoutMs) const {
    return wayland.waitUntil(
        [&] {
            const auto front = activated();
            return front && front->id == id;
        },
        timeoutMs);
}
