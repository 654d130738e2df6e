#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <optional>
#include <ostream>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// A headless compositor of one test's own, with a private runtime folder, run with the test's
// programs by an unprivileged user when the suite runs as root (compositors refuse root, or
// trust only the session's user). What every compositor's session shares; SwaySession and
// KwinSession start their compositor.
class WaylandSession {
public:
    virtual ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // Starts a program in the session; the extra variables come on top of the session's.
    void start(QProcess& process, const QString& program, const QStringList& arguments,
               const QStringList& extraEnvironment = {}) const;

    struct Result {
        int status = -1; // -1 when it did not end in time
        QByteArray out;
        QByteArray err;
    };
    // Runs a program in the session until it ends, at most the time given, feeding it the input.
    Result run(const QString& program, const QStringList& arguments, int timeoutMs = 10000,
               const QByteArray& input = {}) const;

    // What wl-paste prints for the clipboard (the type given, or its choice); absent when the
    // clipboard is empty or wl-paste failed.
    std::optional<QByteArray> paste(const QString& type = {}) const;
    // Puts text on the clipboard with wl-copy, and returns once the clipboard offers it; wl-copy
    // stays and serves it until the clipboard changes. A compositor that takes the clipboard only
    // from a surface with the keyboard (Mutter) may refuse wl-copy while another window takes
    // it: wl-copy is run again then, a few times.
    void copy(const QByteArray& bytes) const;
    // Presses keys as a user would, through wtype (its arguments, "-M logo -k v" and the like).
    void type(const QStringList& arguments) const;

    // The compositor's socket, as a WAYLAND_DISPLAY a client outside the session can be given.
    QString socketPath() const { return _runtime + u'/' + _display; }
    // Hands the files the test made under the path to the session's user.
    void handOver(const QString& path) const;

    // The settings folder every program here gets as XDG_CONFIG_HOME, owned by the user.
    QString configHome() const { return _home.filePath(QStringLiteral("config")); }
    // The folder the user owns for the test's files.
    QString home() const { return _home.path(); }
    // The session's own bus, as DBUS_SESSION_BUS_ADDRESS gives it, once its script told it; empty
    // for a session without one (sway's).
    QString bus() const;

protected:
    // Makes the session's folders, owned by its user. Throws std::runtime_error when the user
    // cannot be made.
    WaylandSession();
    // Starts the compositor with the extra variables, and waits until the socket named (the first
    // wayland-N when empty) and whatever else it must make are there. Throws when it does not
    // come up.
    // asRoot: a command that runs the session's user's command given after it, when the suite
    // runs as root (as unshare does).
    void startCompositor(const QString& program, const QStringList& arguments,
                         const QStringList& extraEnvironment, const QString& socket,
                         const std::function<bool()>& alsoReady = {},
                         const QStringList& asRoot = {});
    // Writes the script of a session on a bus of its own (run by dbus-run-session): it tells the
    // test the bus, then runs the command. Its path.
    QString sessionScript(const QByteArray& command) const;
    // The session's own variables beyond the common ones.
    virtual QStringList ownEnvironment() const { return {}; }
    QString runtime() const { return _runtime; }

private:
    QStringList environment() const;
    // The program and arguments that run the command as the session's user, with its variables.
    QStringList asUser(const QString& program, const QStringList& arguments,
                       const QStringList& extraEnvironment) const;

    QTemporaryDir _home;
    QString _runtime;
    QString _display;
    mutable QString _bus;

protected:
    QProcess _compositor;
};

// A headless sway. It binds Super+Shift+V to the command given, as a user's configuration would
// bind the paste window.
class SwaySession : public WaylandSession {
public:
    // Throws std::runtime_error when the user cannot be made or sway does not come up.
    explicit SwaySession(const QString& pasteWindowCommand);
    ~SwaySession() override;

    // The window that has the keyboard, as sway's tree describes it; empty when none has.
    QJsonObject focusedWindow() const;
    // sway's description of every window (app_id, name, focused, floating...).
    QList<QJsonObject> windows() const;
    // Sends sway the signal: SIGSTOP makes a compositor that keeps every connection and answers
    // none, SIGCONT wakes it, SIGKILL ends it as a crash would.
    void signal(int number) const;

private:
    QStringList ownEnvironment() const override;
    // 0 before sway came up.
    qint64 swayPid() const;

    QString _ipcSocket;
};

// A headless KWin, as Plasma runs it, on a session bus of its own. The programs given are
// trusted as installed ones are: each has a desktop file naming it by its absolute path, found
// through KDE's service cache, that asks for KWin's restricted window list.
class KwinSession : public WaylandSession {
public:
    // Throws std::runtime_error when the user cannot be made or KWin does not come up.
    explicit KwinSession(const QStringList& trustedPrograms);
    ~KwinSession() override;

private:
    QStringList ownEnvironment() const override;
    void trust(const QStringList& programs) const;
};

// A headless GNOME Shell, as GNOME runs it on Wayland with XWayland, on a session bus of its own,
// with Kelvrin's extension enabled (the build's copy, from KELVRIN_GNOME_EXTENSION). The programs
// given may ask the extension as the installed Kelvrin may. The shell needs a system bus, which is
// started when the machine runs none, and does not look for systemd's login manager: it runs in
// a mount namespace of its own where /run/systemd is empty.
class GnomeSession : public WaylandSession {
public:
    // Kelvrin's extension: installed and enabled, installed only, or neither.
    enum class Extension { Enabled, Disabled, Absent };
    // Throws std::runtime_error when the user cannot be made or the shell does not come up.
    explicit GnomeSession(const QStringList& allowedPrograms,
                          Extension extension = Extension::Enabled);
    ~GnomeSession() override;

    // Evaluates JavaScript in the shell (its unsafe mode is on): what it returns (a string as it
    // is, another value as JSON); absent when the shell refused or failed.
    std::optional<QString> eval(const QString& script) const;
    // Presses the keys (keysym names, "Control_L", "Down"), in order, and releases them in the
    // reverse order, on the shell's own keyboard, as the user would.
    void press(const QStringList& keys) const;
    // The arguments with which gdbus has the shell evaluate the script, for a process of one's
    // own; and the script that presses keys as press() does.
    static QStringList evalArguments(const QString& script);
    static QString pressScript(const QStringList& keys);

private:
    QStringList ownEnvironment() const override;
    QString socket() const;

    // DISPLAY and XAUTHORITY, once the shell is up.
    QStringList _x11;
};

// Processes Qt's events until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Whether the program said the line on its standard output, waiting for it until the time is
// up; said keeps what came after the line, for the next look.
inline bool saidLine(QProcess& process, const QByteArray& line, QByteArray& said,
                     int timeoutMs = 10000) {
    return waitUntil(
        [&] {
            said += process.readAllStandardOutput();
            const QByteArray lines = '\n' + said;
            const qsizetype at = lines.indexOf('\n' + line + '\n');
            if (at < 0)
                return false;
            said.remove(0, at + line.size() + 1);
            return true;
        },
        timeoutMs);
}
