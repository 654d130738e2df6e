#include "bench/SwayDesktop.h"

#include <algorithm>

namespace {

qint64 pidOf(const QJsonObject& window) {
    return window.value(QStringLiteral("pid")).toInteger();
}

} // namespace

SwayDesktop::SwayDesktop(const QString& kelvrin)
    : _sway(kelvrin + QStringLiteral(" --paste-window")) {}

qint64 SwayDesktop::focusedPid() const {
    return pidOf(_sway.focusedWindow());
}

bool SwayDesktop::showsWindowOf(qint64 pid) const {
    const QList<QJsonObject> windows = _sway.windows();
    return std::ranges::any_of(windows,
                               [&](const QJsonObject& window) { return pidOf(window) == pid; });
}

void SwayDesktop::closeWindowsOf(qint64 pid) const {
    run(QStringLiteral("swaymsg"), {QStringLiteral("[pid=%1] kill").arg(pid)});
}

void SwayDesktop::pressPasteKey() const {
    _sway.type({"-M", "logo", "-M", "shift", "-k", "v", "-m", "shift", "-m", "logo"});
}

void SwayDesktop::pressReturn() const {
    _sway.type({"-k", "Return"});
}
