#pragma once

#include <functional>
#include <memory>

class Pasteboard;
class QObject;
class WaylandConnection;

// The display system Kelvrin runs on, decided once at start, and the one place that picks each
// platform module's implementation for it. A Wayland compositor is used natively when it offers
// the clipboard or the toplevel list to a program without a focused window; any other session
// runs on X11, a Wayland one through XWayland. KELVRIN_PLATFORM=x11 or =wayland overrides.
class Session {
public:
    enum class DisplaySystem { X11, Wayland };

    // Before Qt starts: decides, and tells Qt to open its platform for that system, whatever
    // QT_QPA_PLATFORM named (a platform of no display system, the tests' offscreen one, is left
    // alone). Null, with the reason on standard error, when the system asked for cannot run
    // here or its server does not answer.
    static std::unique_ptr<Session> choose();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The system of the session that was chosen; X11 while none was (tests).
    static DisplaySystem displaySystem();

    // Once the application object exists: the chosen system's modules connect.
    void start();
    // The clipboard as the capture watches it.
    std::unique_ptr<Pasteboard> clipboard() const;
    // What is saved, on the context's thread, when a connection to the display system breaks:
    // Kelvrin's own, which is then replaced, or Qt's, after which Qt ends the process. The
    // context going takes it back.
    void whenConnectionLost(QObject* context, std::function<void()> save);

private:
    Session(DisplaySystem system, std::unique_ptr<WaylandConnection> wayland);

    DisplaySystem _system;
    std::unique_ptr<WaylandConnection> _wayland;
};
