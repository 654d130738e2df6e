#pragma once

#include <QString>
#include <functional>
#include <memory>

class GnomeShell;
class Pasteboard;
class QObject;
class WaylandConnection;

// The backends of the desktop services, chosen once at start from what the session offers, and
// the one place that knows them all. The display system Qt's windows live on is chosen first: a
// Wayland compositor natively when it lets a program without a focused window watch the
// clipboard or see the windows, or when Kelvrin's GNOME Shell extension answers us, X11 otherwise
// (through XWayland on such a Wayland session); KELVRIN_PLATFORM=x11 or =wayland decides instead.
// Then each service (the clipboard, the window in front and its activation, the keystroke, the hot
// key, our window's hints) gets, on its own, the best backend that what the session offers allows.
// The rest of the program asks a service what it can do (HotKey::canGrab,
// WindowHints::canKeepAbove, Processes::canNameFront), never which display system runs.
class Backends {
public:
    // Before Qt starts: probes the session, and tells Qt to open its platform for the display
    // system chosen, whatever QT_QPA_PLATFORM named (a platform of no display system, the tests'
    // offscreen one, is left alone). Null, with the reason on standard error, when the system
    // asked for cannot run here or its server does not answer.
    static std::unique_ptr<Backends> choose();
    ~Backends();
    Backends(const Backends&) = delete;
    Backends& operator=(const Backends&) = delete;

    // Once the application object exists: installs each service's backend, and says in the log
    // which serves each. On GNOME's Wayland session it offers the user, once, to enable Kelvrin's
    // shell extension when it is installed but not enabled.
    void start();
    // The clipboard as the capture watches it.
    std::unique_ptr<Pasteboard> clipboard() const;
    // What is saved, on the context's thread, when a connection to the display system breaks:
    // Kelvrin's own, which is then replaced, or Qt's, after which Qt ends the process. The
    // context going takes it back.
    void whenConnectionLost(QObject* context, std::function<void()> save);

private:
    explicit Backends(std::unique_ptr<WaylandConnection> wayland);

    // Null when Qt's windows live on X11.
    std::unique_ptr<WaylandConnection> _wayland;
    // Kelvrin's GNOME Shell extension, when it serves.
    std::shared_ptr<GnomeShell> _gnome;
};
