#include "platform/gnome/GnomeWindows.h"

#include "platform/gnome/GnomeShell.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace {

// The shell activates in a few milliseconds; the paste waits on this, and a shell that ignores
// us must not keep the user waiting for long.
constexpr int kActivationTimeoutMs = 500;
// A window shown a moment ago is listed once the shell has mapped it.
constexpr int kMappingTimeoutMs = 1000;
constexpr int kLookEveryMs = 10;

} // namespace

GnomeWindows::GnomeWindows(std::shared_ptr<GnomeShell> shell) : _shell(std::move(shell)) {}

Processes::Application GnomeWindows::applicationOf(const GnomeShell::Window& window) {
    Processes::Application application;
    application.window = window.id;
    application.pid = window.pid;
    application.windowClass = window.appId;
    application.instance = window.instance;
    application.name = nameOfClass(window.appId);
    if (application.name.isEmpty())
        application.name = window.title;
    return application;
}

std::optional<Processes::Application> GnomeWindows::frontmost() {
    const std::optional<GnomeShell::Window> front = _shell->active();
    if (!front)
        return std::nullopt;
    return applicationOf(*front);
}

bool GnomeWindows::isCurrent(quint32 window) {
    for (const GnomeShell::Window& each : _shell->windows())
        if (each.id == window)
            return each.pid == QCoreApplication::applicationPid();
    return false;
}

bool GnomeWindows::bringToFront(quint32 window) {
    if (!_shell->activate(window))
        return false;
    const QDeadlineTimer deadline(kActivationTimeoutMs);
    do {
        const std::optional<GnomeShell::Window> front = _shell->active();
        if (front && front->id == window)
            return true;
        QThread::msleep(kLookEveryMs);
    } while (!deadline.hasExpired());
    return false;
}

void GnomeWindows::activate(QWidget* window, const Processes::Activation& activation) {
    Backend::activate(window, activation);
    // The shell keeps the keyboard from a window that asks for it without a recent input event
    // of its own, which a hot key's press through the shell is not: the extension activates
    // ours once the shell has mapped it, as the task list would.
    // The look ends with the window, whose child it is.
    auto* looking = new QTimer(window);
    const QDeadlineTimer deadline(kMappingTimeoutMs);
    QObject::connect(looking, &QTimer::timeout, window, [this, window, looking, deadline] {
        const std::vector<GnomeShell::Window> windows = _shell->windows();
        for (const GnomeShell::Window& each : windows) {
            if (each.pid != QCoreApplication::applicationPid() ||
                each.title != window->windowTitle())
                continue;
            if (!each.active)
                _shell->activate(each.id);
            looking->deleteLater();
            return;
        }
        if (deadline.hasExpired() || !window->isVisible())
            looking->deleteLater();
    });
    looking->start(kLookEveryMs);
}
