#include "tests/wayland/SwaySession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <csignal>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The unprivileged user the sessions run as, when the suite runs as root.
constexpr char kUser[] = "kelvrin-e2e";

bool runsAsRoot() {
    return geteuid() == 0;
}

uid_t sessionUser() {
    if (!runsAsRoot())
        return geteuid();
    if (const passwd* user = getpwnam(kUser))
        return user->pw_uid;
    // Two tests may start at once: whichever adds the user, it is there afterwards.
    QProcess::execute(QStringLiteral("useradd"),
                      {"--system", "--no-create-home", "--home-dir", "/nonexistent", kUser});
    const passwd* user = getpwnam(kUser);
    if (!user)
        throw std::runtime_error("cannot add the user kelvrin-e2e");
    return user->pw_uid;
}

void collectWindows(const QJsonObject& node, QList<QJsonObject>& windows) {
    if (node.contains(QStringLiteral("pid")))
        windows << node;
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray())
            collectWindows(child.toObject(), windows);
}

} // namespace

SwaySession::SwaySession(const QString& pasteWindowCommand) {
    if (!_home.isValid())
        throw std::runtime_error("no temporary folder");
    const uid_t user = sessionUser();
    _runtime = _home.filePath(QStringLiteral("runtime"));
    for (const QString& folder : {_home.path(), _runtime, configHome()}) {
        QDir().mkpath(folder);
        const QByteArray path = QFile::encodeName(folder);
        if (::chown(path.constData(), user, user) != 0 || ::chmod(path.constData(), 0700) != 0)
            throw std::runtime_error("cannot hand a folder to the session's user");
    }

    const QString configPath = _home.filePath(QStringLiteral("sway.conf"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write sway's configuration");
    config.write("output HEADLESS-1 resolution 1280x800\n"
                 "bindsym Mod4+Shift+v exec " +
                 pasteWindowCommand.toUtf8() + "\n");
    config.close();
    QFile::setPermissions(configPath, QFile::ReadOwner | QFile::ReadOther);

    // sway's log is long; it stays in the session's folder for whoever looks into a failure.
    _sway.setStandardOutputFile(QProcess::nullDevice());
    _sway.setStandardErrorFile(_home.filePath(QStringLiteral("sway.log")));
    start(_sway, QStringLiteral("sway"), {"-c", configPath},
          {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"});
    const QDir runtime(_runtime);
    const bool up = waitUntil(
        [&] {
            const QStringList sockets = runtime.entryList({"wayland-?"}, QDir::System);
            const QStringList ipc = runtime.entryList({"sway-ipc.*.sock"}, QDir::System);
            if (sockets.isEmpty() || ipc.isEmpty())
                return _sway.state() == QProcess::NotRunning;
            _display = sockets.front();
            _ipcSocket = runtime.filePath(ipc.front());
            return true;
        },
        15000);
    if (!up || _display.isEmpty())
        throw std::runtime_error("sway did not come up");
}

SwaySession::~SwaySession() {
    if (_sway.state() != QProcess::NotRunning) {
        _sway.terminate();
        if (!_sway.waitForFinished(5000))
            _sway.kill(), _sway.waitForFinished(2000);
    }
    // A sway whose runuser was killed would live on; the process of that number is ours only
    // while it runs with our configuration.
    if (const qint64 pid = swayPid(); pid > 0) {
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (command.open(QIODevice::ReadOnly) &&
            command.readAll().contains(QFile::encodeName(_home.path())))
            ::kill(pid_t(pid), SIGKILL);
    }
    // Whatever the user left running in the session goes with it.
    if (runsAsRoot())
        QProcess::execute(QStringLiteral("pkill"), {"-KILL", "-f", _runtime});
}

qint64 SwaySession::swayPid() const {
    // The IPC socket is named after sway's process, which runuser's is not.
    return QFileInfo(_ipcSocket).fileName().section(u'.', 2, 2).toLongLong();
}

void SwaySession::signal(int number) const {
    const qint64 pid = swayPid();
    if (pid <= 0)
        throw std::runtime_error("sway's process is not known");
    ::kill(pid_t(pid), number);
    // runuser stops itself with its child, and goes on only when it is told to as well.
    if (number == SIGCONT && runsAsRoot())
        ::kill(pid_t(_sway.processId()), SIGCONT);
}

void SwaySession::handOver(const QString& path) const {
    const uid_t user = sessionUser();
    QStringList paths{path};
    for (QDirIterator below(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                            QDirIterator::Subdirectories);
         below.hasNext();)
        paths << below.next();
    for (const QString& owned : paths)
        if (::chown(QFile::encodeName(owned).constData(), user, user) != 0)
            throw std::runtime_error("cannot hand a file to the session's user");
}

QStringList SwaySession::environment() const {
    QStringList variables{
        QStringLiteral("HOME=") + home(), QStringLiteral("PATH=/usr/local/bin:/usr/bin:/bin"),
        QStringLiteral("XDG_RUNTIME_DIR=") + _runtime,
        QStringLiteral("XDG_CONFIG_HOME=") + configHome(), QStringLiteral("LANG=C.UTF-8"),
        // Marks every process of the session, so it can be ended with it.
        QStringLiteral("KELVRIN_E2E_SESSION=") + _runtime};
    if (!_display.isEmpty())
        variables << QStringLiteral("WAYLAND_DISPLAY=") + _display;
    if (!_ipcSocket.isEmpty())
        variables << QStringLiteral("SWAYSOCK=") + _ipcSocket;
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (qEnvironmentVariableIsSet(name))
            variables << QString::fromLatin1(name) + u'=' + qEnvironmentVariable(name);
    return variables;
}

void SwaySession::start(QProcess& process, const QString& program, const QStringList& arguments,
                        const QStringList& extraEnvironment) const {
    QStringList command;
    if (runsAsRoot())
        command << QStringLiteral("-u") << QString::fromLatin1(kUser) << QStringLiteral("--")
                << QStringLiteral("env");
    command << QStringLiteral("-i") << environment() << extraEnvironment << program << arguments;
    process.start(runsAsRoot() ? QStringLiteral("runuser") : QStringLiteral("env"), command);
}

SwaySession::Result SwaySession::run(const QString& program, const QStringList& arguments,
                                     int timeoutMs, const QByteArray& input) const {
    QProcess process;
    start(process, program, arguments);
    Result result;
    if (!process.waitForStarted(5000))
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!waitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
    } else {
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

std::optional<QByteArray> SwaySession::paste(const QString& type) const {
    QStringList arguments{QStringLiteral("--no-newline")};
    if (!type.isEmpty())
        arguments << QStringLiteral("--type") << type;
    const Result result = run(QStringLiteral("wl-paste"), arguments);
    return result.status == 0 ? std::optional<QByteArray>(result.out) : std::nullopt;
}

void SwaySession::copy(const QByteArray& bytes) const {
    // wl-copy hands the serving to a process of its own and ends.
    run(QStringLiteral("wl-copy"), {}, 10000, bytes);
    waitUntil([&] { return paste() == bytes; }, 5000);
}

void SwaySession::type(const QStringList& arguments) const {
    run(QStringLiteral("wtype"), arguments);
}

QList<QJsonObject> SwaySession::windows() const {
    const QJsonDocument tree =
        QJsonDocument::fromJson(run(QStringLiteral("swaymsg"), {"-r", "-t", "get_tree"}).out);
    QList<QJsonObject> windows;
    collectWindows(tree.object(), windows);
    return windows;
}

QJsonObject SwaySession::focusedWindow() const {
    for (const QJsonObject& window : windows())
        if (window.value(QStringLiteral("focused")).toBool())
            return window;
    return {};
}
