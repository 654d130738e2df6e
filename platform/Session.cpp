#include "platform/Session.h"

#include "platform/ClipboardPasteboard.h"
#include "platform/DesktopWindow.h"
#include "platform/HotKey.h"
#include "platform/KeyEvents.h"
#include "platform/Processes.h"
#include "platform/wayland/QtConnectionLoss.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandDesktopWindow.h"
#include "platform/wayland/WaylandHotKey.h"
#include "platform/wayland/WaylandKeyEvents.h"
#include "platform/wayland/WaylandPasteboard.h"
#include "platform/wayland/WaylandProcesses.h"
#include "platform/wayland/WaylandToplevels.h"
#include "platform/x11/X11DesktopWindow.h"
#include "platform/x11/X11HotKey.h"
#include "platform/x11/X11KeyEvents.h"
#include "platform/x11/X11Processes.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <cstdio>

namespace {

Session::DisplaySystem gSystem = Session::DisplaySystem::X11;

// The globals without which the Wayland side has nothing to offer: the clipboard watched
// without focus, and the list of the windows in front.
bool offersNativeServices(const WaylandConnection& wayland) {
    return wayland.offers("ext_data_control_manager_v1") ||
           wayland.offers("zwlr_data_control_manager_v1") ||
           wayland.offers("zwlr_foreign_toplevel_manager_v1");
}

bool isWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland";
}

// Qt's windows live where the services do, whatever QT_QPA_PLATFORM asked for Qt programs in
// general: only then are Kelvrin's windows told apart from other programs', and a copy in one of
// its fields read from Qt in this process rather than through another display system. Kelvrin
// starts no programs that would inherit the setting.
void useQtPlatform(const char* name) {
    const QList<QByteArray> asked = qgetenv("QT_QPA_PLATFORM").split(';');
    const bool namesDisplaySystem = std::ranges::any_of(asked, [](const QByteArray& platform) {
        return platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
    });
    if (namesDisplaySystem)
        qputenv("QT_QPA_PLATFORM", name);
}

} // namespace

Session::Session(DisplaySystem system, std::unique_ptr<WaylandConnection> wayland)
    : _system(system), _wayland(std::move(wayland)) {
    gSystem = system;
}

Session::~Session() {
    // Before the connection they speak through goes.
    Processes::installBackend(nullptr);
    KeyEvents::installBackend(nullptr);
    HotKey::installBackend(nullptr);
    DesktopWindow::installBackend(nullptr);
    gSystem = DisplaySystem::X11;
}

std::unique_ptr<Session> Session::choose() {
    const QByteArray asked = qgetenv("KELVRIN_PLATFORM");
    if (!asked.isEmpty() && asked != "x11" && asked != "wayland") {
        std::fprintf(stderr, "kelvrin: KELVRIN_PLATFORM must be x11 or wayland, not \"%s\".\n",
                     asked.constData());
        return nullptr;
    }
    if (asked != "x11") {
        QString trouble;
        std::unique_ptr<WaylandConnection> wayland = WaylandConnection::open(&trouble);
        if (!trouble.isEmpty()) {
            std::fprintf(stderr, "kelvrin: WAYLAND_DISPLAY=%s: %s.\n",
                         qgetenv("WAYLAND_DISPLAY").constData(), qPrintable(trouble));
            return nullptr;
        }
        if (wayland && (asked == "wayland" || offersNativeServices(*wayland))) {
            useQtPlatform("wayland");
            return std::unique_ptr<Session>(
                new Session(DisplaySystem::Wayland, std::move(wayland)));
        }
        if (asked == "wayland") {
            std::fprintf(stderr, "kelvrin: KELVRIN_PLATFORM=wayland, but no Wayland compositor "
                                 "answers (WAYLAND_DISPLAY names none that runs).\n");
            return nullptr;
        }
        if (wayland)
            std::fprintf(stderr, "kelvrin: this Wayland compositor offers neither a clipboard to "
                                 "watch (ext_data_control_manager_v1, "
                                 "zwlr_data_control_manager_v1) nor a list of windows "
                                 "(zwlr_foreign_toplevel_manager_v1).\n");
    }
    if (isWaylandSession())
        std::fprintf(stderr, "kelvrin: running through XWayland: the hot key and the paste work "
                             "only with programs that run on X11 too.\n");
    useQtPlatform("xcb");
    return std::unique_ptr<Session>(new Session(DisplaySystem::X11, nullptr));
}

Session::DisplaySystem Session::displaySystem() {
    return gSystem;
}

void Session::start() {
    if (_wayland) {
        _wayland->watch();
        const std::shared_ptr<WaylandToplevels> toplevels = WaylandToplevels::open(*_wayland);
        Processes::installBackend(std::make_unique<WaylandProcesses>(*_wayland, toplevels));
        KeyEvents::installBackend(std::make_unique<WaylandKeyEvents>(*_wayland, toplevels));
        HotKey::installBackend([] { return std::make_unique<WaylandHotKey>(); });
        DesktopWindow::installBackend(std::make_unique<WaylandDesktopWindow>());
        return;
    }
    Processes::installBackend(std::make_unique<X11Processes>());
    KeyEvents::installBackend(std::make_unique<X11KeyEvents>());
    HotKey::installBackend([] { return std::make_unique<X11HotKey>(); });
    DesktopWindow::installBackend(std::make_unique<X11DesktopWindow>());
}

void Session::whenConnectionLost(QObject* context, std::function<void()> save) {
    if (!_wayland)
        return;
    QObject::connect(_wayland.get(), &WaylandConnection::connectionLost, context, save);
    QtConnectionLoss::install(context, std::move(save));
}

std::unique_ptr<Pasteboard> Session::clipboard() const {
    if (_wayland)
        return std::make_unique<WaylandPasteboard>(*_wayland);
    return std::make_unique<ClipboardPasteboard>();
}
