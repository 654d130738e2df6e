#pragma once

#include "app/MyObject.h"
#include "model/PasteSet.h"
#include "platform/Pasteboard.h"
#include "platform/Processes.h"

#include <QByteArray>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.left(200).toStdString() << (text.size() > 200 ? "...\"" : "\"");
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '{';
    for (const QString& text : texts)
        PrintTo(text, out), *out << (&text == &texts.back() ? "" : ", ");
    *out << '}';
}

// Processes events (the poll included) until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000);

// Puts the bytes on the clipboard through xclip, under its default text target or the one given,
// and returns once xclip serves them.
void copyWithXclip(const QByteArray& bytes, const QString& target = {});

// What another program reads from the clipboard (through xclip). Our event loop runs meanwhile,
// so Kelvrin can answer when it is the owner.
QByteArray readWithXclip();

// Runs xdotool with the arguments until it ends: keys and the mouse as the user presses them.
void xdotool(const QStringList& arguments);

// The shown windows of a process that the window manager manages (a tray icon is none), those
// whose title matches the pattern when one is given.
QList<quint32> windowsOf(qint64 pid, const QString& title = {});
// The window's title.
QString windowTitle(quint32 window);
// Asks the window manager to close the window, as its close button or Alt+F4 does.
void closeWithWindowManager(quint32 window);

// Starts the real kelvrin program with its settings under configHome ($XDG_CONFIG_HOME).
void startKelvrin(QProcess& process, const QString& configHome, const QStringList& arguments = {});

// What the kelvrin program printed and returned for a command to the running instance.
struct KelvrinCommand {
    int status = -1;
    QByteArray out;
    QByteArray err;
};
// Runs kelvrin with the arguments and the settings under configHome until it ends; the status
// stays -1 when it did not end within the time.
KelvrinCommand kelvrinCommand(const QStringList& arguments, const QString& configHome,
                              int timeoutMs = 20000);

// The kelvrin program as the user runs it, with its settings under configHome (a temporary
// folder of its own when none is given), watched from outside through its command line.
class RunningKelvrin {
public:
    explicit RunningKelvrin(const QString& configHome = {});
    // Asks it to quit, unless it was killed.
    ~RunningKelvrin();
    RunningKelvrin(const RunningKelvrin&) = delete;
    RunningKelvrin& operator=(const RunningKelvrin&) = delete;

    bool running() const { return _process.state() == QProcess::Running; }
    qint64 pid() const { return _process.processId(); }
    const QString& configHome() const { return _home; }
    // Whether it answered its command line after the start.
    bool answered() const { return _answered; }
    // Ends it at once, as a crash or SIGKILL does.
    void kill();
    // Ends its session as the system does at shutdown (SIGTERM): whether it ended within the
    // time.
    bool terminate(int timeoutMs);

    // The history's texts, head first, as --list prints them; nothing when no answer came
    // within the time.
    std::optional<QStringList> history(int timeoutMs = 20000) const;
    bool waitForText(const QString& text, int timeoutMs) const;

    // From /proc/<pid>/status, in MiB: VmRSS now, VmHWM the most it ever held.
    double memoryMiB(const QByteArray& field) const;

private:
    QTemporaryDir _ownHome;
    QString _home;
    QProcess _process;
    bool _answered = false;
};

// A clip_owner process offering the given NAME=VALUE types in that order; stopped when it goes.
class ClipOwner {
public:
    explicit ClipOwner(const QStringList& arguments);
    ~ClipOwner();
    ClipOwner(const ClipOwner&) = delete;
    ClipOwner& operator=(const ClipOwner&) = delete;

    // Whether it said it owns the clipboard.
    bool ready() const { return _ready; }
    // Reads what it says (such as "asked TARGETS" with --report) until a line starts with the
    // prefix: that line, or nothing when none came within the time.
    std::optional<QByteArray> waitForLine(const QByteArray& prefix, int timeoutMs = 10000);

private:
    QProcess _process;
    bool _ready = false;
};

// A drop_target process: a window with the given title and inside (in screen coordinates) that
// records what is dropped into it and, given NAME=VALUE offers, drags those types in that order
// when the mouse drags across it; stopped when it goes.
class DropTarget {
public:
    struct Drop {
        QStringList formats; // the X11 types offered, in the source's order
        QMap<QString, QByteArray> data;
        QString action;
    };

    DropTarget(const QString& title, const QRect& geometry, const QStringList& offers = {});
    ~DropTarget();
    DropTarget(const DropTarget&) = delete;
    DropTarget& operator=(const DropTarget&) = delete;

    // Whether its window is shown.
    bool ready() const { return _ready; }
    // Where its inside really is, wherever the window manager put it.
    QRect geometry() const { return _geometry; }
    // What arrived so far, and how the drags it started ended ("copy", "move", "link",
    // "ignore"); both grow while events are processed.
    const QList<Drop>& drops() const { return _drops; }
    const QStringList& dragsEnded() const { return _dragsEnded; }

private:
    void readLines();

    QProcess _process;
    bool _ready = false;
    QRect _geometry;
    QList<Drop> _drops;
    QStringList _dragsEnded;
};

// A paste_target process: a window with the given title and place, passing for a program of the
// given WM_CLASS class when one is given, whose focused text field records the paste keystrokes
// it receives; stopped when it goes.
class PasteTarget {
public:
    explicit PasteTarget(const QString& title, const QString& windowClass = {},
                         const QRect& geometry = QRect(100, 100, 300, 80));
    ~PasteTarget();
    PasteTarget(const PasteTarget&) = delete;
    PasteTarget& operator=(const PasteTarget&) = delete;

    // Whether its window is shown and has the focus.
    bool ready() const { return _ready; }
    quint32 window() const { return _window; }
    qint64 pid() const { return _process.processId(); }
    // "ctrl+v TEXT" or "ctrl+shift+v TEXT" for each paste keystroke so far, TEXT being what the
    // clipboard held then; grows while events are processed.
    const QStringList& pastes() const { return _pastes; }

private:
    void readLines();

    QProcess _process;
    bool _ready = false;
    quint32 _window = 0;
    QStringList _pastes;
};

// Drags with the real mouse along the screen points given: presses at the first, passes the
// others in small steps, releases at the last. Events are processed meanwhile, so the drag's
// source or target may be in this process.
void dragWithMouse(const QList<QPoint>& path);

// Kelvrin as the application launches it, on the real clipboard, with its settings in a
// temporary file.
class Kelvrin {
public:
    enum class Start { Launched, NotLaunched };
    explicit Kelvrin(Start start = Start::Launched);
    ~Kelvrin();

    void launch() { _app->applicationWillFinishLaunching(); }

    MyObject& app() { return *_app; }
    // The application's own settings store: what is set before launch() is what it starts with.
    Defaults& defaults() { return *_defaults; }
    const PasteDataList& history() const;
    // The texts of the history, head first; "<none>" for a clipping without text.
    QStringList texts() const;
    bool waitForHistory(size_t size, int timeoutMs = 10000);

    qint64 changeCount() const { return _app->pasteboard().changeCount(); }
    // Waits until the clipboard's change count reaches the value.
    bool waitForCount(qint64 count, int timeoutMs = 10000);

    // Stops the timer so the test decides when the poll looks; tick() is one look.
    void stopPoll() { _app->applicationWillTerminate(); }
    void tick() { _app->pasteboardCheck(); }

private:
    QTemporaryDir _settings;
    Defaults* _defaults;
    std::unique_ptr<MyObject> _app;
};

// Whether the paste window is the active window.
bool pasteWindowActive(Kelvrin& kelvrin);

// Puts the target window in front and presses the keys over it (xdotool key names, 20 a second):
// whether the paste window became active within the time. front, when given, gets the
// application that was in front when the keys went down.
bool pressOver(Kelvrin& kelvrin, quint32 target, const QStringList& keys, int timeoutMs = 10000,
               std::optional<Processes::Application>* front = nullptr);

// Copies each text in turn and waits until it is captured.
void copyEach(Kelvrin& kelvrin, const QStringList& texts);
