#include "platform/Session.h"

#include "platform/ClipboardPasteboard.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandPasteboard.h"

#include <QByteArray>
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

void useQtPlatform(const char* name) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", name);
}

} // namespace

Session::Session(DisplaySystem system, std::unique_ptr<WaylandConnection> wayland)
    : _system(system), _wayland(std::move(wayland)) {
    gSystem = system;
}

Session::~Session() {
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
        std::unique_ptr<WaylandConnection> wayland = WaylandConnection::open();
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
    if (isWaylandSession()) {
        useQtPlatform("xcb");
        std::fprintf(stderr, "kelvrin: running through XWayland: the hot key and the paste work "
                             "only with programs that run on X11 too.\n");
    }
    return std::unique_ptr<Session>(new Session(DisplaySystem::X11, nullptr));
}

Session::DisplaySystem Session::displaySystem() {
    return gSystem;
}

void Session::start() {
    if (_wayland)
        _wayland->makeCurrent();
}

std::unique_ptr<Pasteboard> Session::clipboard() const {
    if (_wayland)
        return std::make_unique<WaylandPasteboard>(*_wayland);
    return std::make_unique<ClipboardPasteboard>();
}
