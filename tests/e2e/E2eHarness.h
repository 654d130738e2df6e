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
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.left(200).toStdString() << (text.size() > 200 ? "...\"" : "\"");
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '{' << texts.join(QStringLiteral("\", \"")).left(400).toStdString() << '}';
}

// Processes events (the poll included) until the condition holds or the time is up.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Puts the bytes on the clipboard through xclip, once xclip serves them.
void copyWithXclip(const QByteArray& bytes);

// What xclip reads from the clipboard; our event loop runs meanwhile, for Kelvrin as its owner.
QByteArray readWithXclip();

// Runs xdotool (keys and the mouse as the user presses them) until it ends, our event loop running
// meanwhile: what it printed, line by line.
QStringList xdotool(const QStringList& arguments);

// Switches the keyboard to the layouts given, "ru,us" for Russian with English as the second
// group, with the variants given for each ("," for none for the first).
void setLayout(const QString& layouts, const QString& variants = {});

// The shown windows of a process that the window manager manages (a tray icon is none), those
// whose title matches the pattern when one is given.
QList<quint32> windowsOf(qint64 pid, const QString& title = {});
// Asks the window manager to close the window, as its close button or Alt+F4 does.
void closeWithWindowManager(quint32 window);

// Starts the real kelvrin program with its settings under configHome ($XDG_CONFIG_HOME).
void startKelvrin(QProcess& process, const QString& configHome, const QStringList& arguments = {});

// Settings under configHome whose data folder holds an empty history, as a previous run left it;
// the data folder's path.
QString storeEmptyHistory(const QString& configHome);

struct KelvrinCommand {
    int status = -1;
    QByteArray out;
    QByteArray err;
};
// Runs kelvrin with the arguments and the settings under configHome until it ends (status -1
// when it did not end within the time).
KelvrinCommand kelvrinCommand(const QStringList& arguments, const QString& configHome,
                              int timeoutMs = 20000);

// The kelvrin program as the user runs it, with its settings under configHome (a temporary
// folder of its own when none is given), watched from outside through its command line.
class RunningKelvrin {
public:
    explicit RunningKelvrin(const QString& configHome = {});
    // Asks it to quit, unless it was killed.
    ~RunningKelvrin();

    bool running() const { return _process.state() == QProcess::Running; }
    qint64 pid() const { return _process.processId(); }
    // Whether it answered its command line after the start.
    bool answered() const { return _answered; }
    // Ends it at once, as a crash or SIGKILL does.
    void kill() {
        _process.kill();
        _process.waitForFinished(5000);
    }
    // SIGTERM, as at the session's end: whether it ended within the time.
    bool terminate(int timeoutMs) {
        _process.terminate();
        return _process.waitForFinished(timeoutMs);
    }
    // Its exit code once it ended by itself, -1 after a crash.
    int exitCode() const {
        return _process.exitStatus() == QProcess::NormalExit ? _process.exitCode() : -1;
    }

    // A command for it, as a second kelvrin sends it.
    KelvrinCommand command(const QStringList& arguments, int timeoutMs = 20000) const {
        return kelvrinCommand(arguments, _home, timeoutMs);
    }
    // The texts of the set named (the history when none is), head first, as --list prints them;
    // nothing without an answer.
    std::optional<QStringList> texts(const QString& set, int timeoutMs = 20000) const;
    std::optional<QStringList> history(int timeoutMs = 20000) const { return texts({}, timeoutMs); }
    bool waitForText(const QString& text, int timeoutMs = 10000) const;

    // From /proc/<pid>/status, in MiB: VmRSS now, VmHWM the most it ever held.
    double memoryMiB(const QByteArray& field) const;

private:
    QTemporaryDir _ownHome;
    QString _home;
    QProcess _process;
    bool _answered = false;
};

// One of the suite's tool programs, started with the arguments and stopped when it goes.
class Tool {
public:
    Tool(const QString& program, const QStringList& arguments);
    ~Tool();

    // Whether it said it is ready.
    bool ready() const { return !_ready.isEmpty(); }
    qint64 pid() const { return _process.processId(); }
    // The first line it said after "ready" that starts with the prefix, once it came.
    std::optional<QByteArray> waitForLine(const QByteArray& prefix, int timeoutMs = 10000);
    // How many of its lines so far start with the prefix.
    qsizetype linesStartingWith(const QByteArray& prefix) const;

protected:
    // Its lines after "ready", each split into its words; they grow while events are processed.
    QList<QList<QByteArray>> _lines;
    QList<QByteArray> _ready;
    QProcess _process;
};

// clip_owner offering the given NAME=VALUE types in that order; it says "asked TARGET" for each
// request with --report.
struct ClipOwner : Tool {
    explicit ClipOwner(const QStringList& arguments)
        : Tool(QStringLiteral(CLIP_OWNER), arguments) {}
};

// A tool window with the given title and place, whatever the window manager makes of it.
class ToolWindow : public Tool {
public:
    ToolWindow(const QString& program, const QString& title, const QRect& geometry,
               const QStringList& options);
    quint32 window() const { return _ready.value(1).toUInt(); }
    // Where its inside really is, in screen coordinates.
    QRect geometry() const;
};

// drop_target: records what is dropped into it and, given --offer NAME=VALUE options, drags
// those types when the mouse drags across it.
class DropTarget : public ToolWindow {
public:
    DropTarget(const QString& title, const QRect& geometry, const QStringList& options)
        : ToolWindow(QStringLiteral(DROP_TARGET), title, geometry, options) {}
    // Each drop so far: the formats the source offered, with their bytes.
    QList<QMap<QString, QByteArray>> drops() const;
};

// paste_target, passing for a program of the given WM_CLASS class when one is given; its focused
// text field records the paste keystrokes it receives.
class PasteTarget : public ToolWindow {
public:
    explicit PasteTarget(const QString& title, const QString& windowClass = {},
                         const QRect& geometry = QRect(100, 100, 300, 80));
    // "ctrl+v TEXT" or "ctrl+shift+v TEXT" for each paste keystroke so far, TEXT being what the
    // clipboard held then.
    QStringList pastes() const;
};

// Drags with the real mouse: presses at the first point, passes the others, releases at the last;
// midway, a shell command run once the first leg is done.
void dragWithMouse(const QList<QPoint>& path, const QString& midway = {});

// Kelvrin as the application launches it, on the real clipboard, with settings of its own.
class Kelvrin {
public:
    enum class Start { Launched, NotLaunched };
    explicit Kelvrin(Start start = Start::Launched);
    ~Kelvrin();

    void launch() { _app->applicationWillFinishLaunching(); }

    MyObject& app() { return *_app; }
    PasteWindow& window() { return *_app->pasteWindow(); }
    // The application's own settings store: what is set before launch() is what it starts with.
    Defaults& defaults() { return *_defaults; }
    const PasteDataList& history() const;
    // The texts of the history, head first; "<none>" for a clipping without text.
    QStringList texts() const;
    bool waitForHistory(size_t size, int timeoutMs = 10000) {
        return waitFor([&] { return history().size() >= size; }, timeoutMs);
    }

    qint64 changeCount() const { return _app->pasteboard().changeCount(); }
    // Waits until the clipboard's change count reaches the value.
    bool waitForCount(qint64 count, int timeoutMs = 10000) {
        return waitFor([&] { return changeCount() >= count; }, timeoutMs);
    }

    // Stops the timer so the test decides when the poll looks; tick() is one look, and the wait
    // until what it captured has entered.
    void stopPoll() { _app->applicationWillTerminate(); }
    void tick();

private:
    QTemporaryDir _settings;
    Defaults* _defaults;
    std::unique_ptr<MyObject> _app;
};

// Whether the window becomes the active one, as the window manager names it, within the time.
bool becomesFront(quint32 window, int timeoutMs = 10000);

// Whether the paste window is the active window.
bool pasteWindowActive(Kelvrin& kelvrin);

// Puts the target window in front and presses the keys (xdotool's names, 20 a second): whether
// the paste window became active. front gets the application in front when the keys went down.
bool pressOver(Kelvrin& kelvrin, quint32 target, const QStringList& keys, int timeoutMs = 10000,
               std::optional<Processes::Application>* front = nullptr);

// Copies each text in turn and waits until it is captured.
void copyEach(Kelvrin& kelvrin, const QStringList& texts);
