#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

class QWidget;

// The applications on the desktop as the window manager or the compositor sees them: which one
// is in front, whose it is, and bringing one back. The session installs the display system's
// way of doing it; until then (Qt's offscreen platform in the tests) there is no application in
// front and nothing can be brought there.
namespace Processes {

// An application by its top-level window.
struct Application {
    // 0 for the desktop itself, when no application is in front. On X11 the window's id; on
    // Wayland, where another program's window has no id, a number of ours standing for it.
    quint32 window = 0;
    // 0 when the window does not say (_NET_WM_PID is optional; wlroots never tells).
    qint64 pid = 0;
    // As the desktop names it: the name its desktop entry gives it, else its class (the class of
    // WM_CLASS, the app_id on Wayland), else the process's command name or the window's title.
    QString name;
    // The two parts of WM_CLASS, empty when the window has none; on Wayland the class is the
    // app_id and there is no instance.
    QString windowClass;
    QString instance;

    bool isDesktop() const { return window == 0; }
};

// The application with the active window; nothing when no shown window is active or no window
// manager says which is.
std::optional<Application> frontmost();

// Whether the window is one of this process's own.
bool isCurrent(quint32 window);

// Asks the window manager to activate the window, as a pager would, and waits at most half a
// second until it has. False when the window is gone or does not become active in that time.
bool bringToFront(quint32 window);

// What a request to bring one of our windows up rests on, which the window manager's
// focus-stealing prevention measures it by.
struct Activation {
    // The X server time of the user's action it answers (the hot key's press); without one, the
    // server's present time, later than anything the user did before asking (the command line).
    std::optional<quint32> timestamp;
    // The activation token the program that asked on the user's behalf was given (a key binding
    // of the compositor running the paste-window command); empty when it had none.
    QString token;
};

// Brings one of our own windows up, with the keyboard.
void activate(QWidget* window, const Activation& activation = {});

// Gives one of our windows the keyboard back once a panel over it has closed. Some window
// managers hand it to another program then, and the next key meant for us would land there:
// once the manager has settled on a window, one of another program's is taken back from it.
void takeFocusBack(QWidget* window);

// What a display system does for the calls above. This one knows of no application: nothing is
// in front, nothing can be brought there, and our own windows are only asked up through Qt.
class Backend {
public:
    virtual ~Backend() = default;
    virtual std::optional<Application> frontmost() { return std::nullopt; }
    virtual bool isCurrent(quint32) { return false; }
    virtual bool bringToFront(quint32) { return false; }
    virtual void activate(QWidget* window, const Activation& activation);
    virtual void takeFocusBack(QWidget* window);

protected:
    // The name the desktop gives the programs of that window class: their desktop entry's, else
    // the class itself.
    static QString nameOfClass(const QString& windowClass);
};

// Puts the display system's backend in place of the one before; null goes back to the one that
// knows of no application. Only the session chooses.
void installBackend(std::unique_ptr<Backend> backend);

} // namespace Processes
