#include "tests/wayland/WaylandSession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
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

// A machine started from an image may hold the socket and pid file of a bus that no longer runs;
// the daemon refuses to start over them.
void startSystemBus() {
    const QString socket = QStringLiteral("/run/dbus/system_bus_socket");
    QLocalSocket probe;
    probe.connectToServer(socket);
    if (probe.waitForConnected(1000))
        return;
    QFile::remove(socket);
    QFile::remove(QStringLiteral("/run/dbus/pid"));
    QProcess::execute(QStringLiteral("dbus-daemon"), {"--system", "--fork"});
}

} // namespace

WaylandSession::WaylandSession() {
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
}

WaylandSession::~WaylandSession() {
    if (_compositor.state() != QProcess::NotRunning) {
        _compositor.terminate();
        if (!_compositor.waitForFinished(5000))
            _compositor.kill(), _compositor.waitForFinished(2000);
    }
    // Whatever the user left running in the session goes with it.
    if (runsAsRoot())
        QProcess::execute(QStringLiteral("pkill"), {"-KILL", "-f", _runtime});
}

void WaylandSession::startCompositor(const QString& program, const QStringList& arguments,
                                     const QStringList& extraEnvironment, const QString& socket,
                                     const std::function<bool()>& alsoReady,
                                     const QStringList& asRoot) {
    // The compositor's log is long; it stays in the session's folder for whoever looks into a
    // failure.
    _compositor.setStandardOutputFile(QProcess::nullDevice());
    _compositor.setStandardErrorFile(_home.filePath(QStringLiteral("compositor.log")));
    const QStringList command = asUser(program, arguments, extraEnvironment);
    if (runsAsRoot() && !asRoot.isEmpty())
        _compositor.start(asRoot.front(), asRoot.mid(1) + command);
    else
        _compositor.start(command.front(), command.mid(1));
    const QDir runtime(_runtime);
    const bool up = waitUntil(
        [&] {
            const QStringList sockets = runtime.entryList(
                {socket.isEmpty() ? QStringLiteral("wayland-?") : socket}, QDir::System);
            if (sockets.isEmpty() || (alsoReady && !alsoReady()))
                return _compositor.state() == QProcess::NotRunning;
            _display = sockets.front();
            return true;
        },
        15000);
    if (!up || _display.isEmpty())
        throw std::runtime_error(program.toStdString() + " did not come up");
}

SwaySession::SwaySession(const QString& pasteWindowCommand) {
    const QString configPath = home() + QStringLiteral("/sway.conf");
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write sway's configuration");
    config.write("output HEADLESS-1 resolution 1280x800\n"
                 "bindsym Mod4+Shift+v exec " +
                 pasteWindowCommand.toUtf8() + "\n");
    config.close();
    QFile::setPermissions(configPath, QFile::ReadOwner | QFile::ReadOther);

    const QDir folder(runtime());
    startCompositor(QStringLiteral("sway"), {"-c", configPath},
                    {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"},
                    {}, [&] {
                        const QStringList ipc = folder.entryList({"sway-ipc.*.sock"}, QDir::System);
                        if (!ipc.isEmpty())
                            _ipcSocket = folder.filePath(ipc.front());
                        return !ipc.isEmpty();
                    });
}

SwaySession::~SwaySession() {
    // A sway whose runuser was killed would live on; the process of that number is ours only
    // while it runs with our configuration.
    _compositor.terminate();
    _compositor.waitForFinished(5000);
    if (const qint64 pid = swayPid(); pid > 0) {
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (command.open(QIODevice::ReadOnly) &&
            command.readAll().contains(QFile::encodeName(home())))
            ::kill(pid_t(pid), SIGKILL);
    }
}

QStringList SwaySession::ownEnvironment() const {
    if (_ipcSocket.isEmpty())
        return {};
    return {QStringLiteral("SWAYSOCK=") + _ipcSocket};
}

KwinSession::KwinSession(const QStringList& trustedPrograms) {
    trust(trustedPrograms);
    // KWin's installed program holds a file capability that a container cannot grant, and
    // executing it fails; a copy has none. KWin's platform plugin wants the copy named as KWin.
    const QString kwin = home() + QStringLiteral("/bin/kwin_wayland");
    QDir().mkpath(home() + QStringLiteral("/bin"));
    if (!QFile::copy(QStringLiteral("/usr/bin/kwin_wayland"), kwin))
        throw std::runtime_error("cannot copy kwin_wayland (is kwin-wayland installed?)");
    // KWin ends the session with this program. It naps a second at a time: a nap outlives the
    // script killed with the session by no more.
    const QString session = sessionScript("while :; do sleep 1; done");
    handOver(home());
    // The service cache KWin looks the clients' desktop files up in.
    if (run(QStringLiteral("kbuildsycoca5"), {}, 60000).status != 0)
        throw std::runtime_error("kbuildsycoca5 failed (is libkf5service-bin installed?)");

    startCompositor(QStringLiteral("dbus-run-session"),
                    {"--", kwin, "--virtual", "--width", "1280", "--height", "800",
                     "--no-lockscreen", "--socket", "kwin-test", "--exit-with-session", session},
                    {}, QStringLiteral("kwin-test"), [&] { return !bus().isEmpty(); });
}

KwinSession::~KwinSession() {
    // KWin first, alone: dbus-run-session then ends its bus and itself, as it does when the
    // session ends. Whatever else names the session's folder goes after.
    QProcess::execute(QStringLiteral("pkill"),
                      {"-KILL", "-f", u'^' + home() + QStringLiteral("/bin/kwin_wayland")});
    _compositor.waitForFinished(5000);
    if (runsAsRoot())
        QProcess::execute(QStringLiteral("pkill"), {"-KILL", "-f", home()});
}

void KwinSession::trust(const QStringList& programs) const {
    const QString applications = home() + QStringLiteral("/data/applications");
    QDir().mkpath(applications);
    for (const QString& program : programs) {
        QFile entry(applications + u'/' + QFileInfo(program).fileName() +
                    QStringLiteral(".desktop"));
        if (!entry.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write a desktop file");
        entry.write(
            "[Desktop Entry]\nType=Application\nName=" + QFileInfo(program).fileName().toUtf8() +
            "\nExec=" + QFile::encodeName(program) +
            "\nX-KDE-Wayland-Interfaces=org_kde_plasma_window_management,"
            "org_kde_kwin_fake_input\n");
    }
}

QStringList KwinSession::ownEnvironment() const {
    return {QStringLiteral("XDG_DATA_DIRS=") + home() +
                QStringLiteral("/data:/usr/local/share:/usr/share"),
            QStringLiteral("XDG_CACHE_HOME=") + home() + QStringLiteral("/cache")};
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
        ::kill(pid_t(_compositor.processId()), SIGCONT);
}

QString WaylandSession::sessionScript(const QByteArray& command) const {
    const QString path = home() + QStringLiteral("/session.sh");
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the session's script");
    script.write("#!/bin/sh\necho \"$DBUS_SESSION_BUS_ADDRESS\" > " +
                 QFile::encodeName(home() + QStringLiteral("/bus")) + '\n' + command + '\n');
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    return path;
}

QString WaylandSession::bus() const {
    if (_bus.isEmpty()) {
        QFile said(home() + QStringLiteral("/bus"));
        if (said.open(QIODevice::ReadOnly))
            _bus = QString::fromUtf8(said.readAll().trimmed());
    }
    return _bus;
}

void WaylandSession::handOver(const QString& path) const {
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

QStringList WaylandSession::environment() const {
    QStringList variables{
        QStringLiteral("HOME=") + home(), QStringLiteral("PATH=/usr/local/bin:/usr/bin:/bin"),
        QStringLiteral("XDG_RUNTIME_DIR=") + _runtime,
        QStringLiteral("XDG_CONFIG_HOME=") + configHome(), QStringLiteral("LANG=C.UTF-8"),
        // Marks every process of the session, so it can be ended with it.
        QStringLiteral("KELVRIN_E2E_SESSION=") + _runtime};
    if (!_display.isEmpty())
        variables << QStringLiteral("WAYLAND_DISPLAY=") + _display;
    if (!bus().isEmpty())
        variables << QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + bus();
    variables << ownEnvironment();
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (qEnvironmentVariableIsSet(name))
            variables << QString::fromLatin1(name) + u'=' + qEnvironmentVariable(name);
    return variables;
}

QStringList WaylandSession::asUser(const QString& program, const QStringList& arguments,
                                   const QStringList& extraEnvironment) const {
    QStringList command;
    if (runsAsRoot())
        command << QStringLiteral("runuser") << QStringLiteral("-u") << QString::fromLatin1(kUser)
                << QStringLiteral("--");
    command << QStringLiteral("env") << QStringLiteral("-i") << environment() << extraEnvironment
            << program << arguments;
    return command;
}

void WaylandSession::start(QProcess& process, const QString& program, const QStringList& arguments,
                           const QStringList& extraEnvironment) const {
    const QStringList command = asUser(program, arguments, extraEnvironment);
    process.start(command.front(), command.mid(1));
}

WaylandSession::Result WaylandSession::run(const QString& program, const QStringList& arguments,
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

std::optional<QByteArray> WaylandSession::paste(const QString& type) const {
    QStringList arguments{QStringLiteral("--no-newline")};
    if (!type.isEmpty())
        arguments << QStringLiteral("--type") << type;
    const Result result = run(QStringLiteral("wl-paste"), arguments);
    return result.status == 0 ? std::optional<QByteArray>(result.out) : std::nullopt;
}

void WaylandSession::copy(const QByteArray& bytes) const {
    for (int attempt = 0; attempt < 3; ++attempt) {
        // wl-copy hands the serving to a process of its own and ends.
        run(QStringLiteral("wl-copy"), {}, 10000, bytes);
        if (waitUntil([&] { return paste() == bytes; }, 5000))
            return;
    }
}

void WaylandSession::type(const QStringList& arguments) const {
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

namespace {

// The test's keyboard in the shell: a virtual one of Clutter's, made once.
const QString kKeyboard = QStringLiteral(
    "const {Clutter, GLib} = imports.gi; global.kelvrinTestKeys = global.kelvrinTestKeys || "
    "Clutter.get_default_backend().get_default_seat().create_virtual_device("
    "Clutter.InputDeviceType.KEYBOARD_DEVICE)");

} // namespace

GnomeSession::GnomeSession(const QStringList& allowedPrograms, Extension state) {
    // The extension where GNOME looks for a user's own, as the build made it.
    const QString extension = QStringLiteral(KELVRIN_GNOME_EXTENSION);
    const QString installed =
        home() + QStringLiteral("/data/gnome-shell/extensions/") + QFileInfo(extension).fileName();
    if (state != Extension::Absent) {
        QDir().mkpath(installed + QStringLiteral("/schemas"));
        for (QDirIterator file(extension, QDir::Files, QDirIterator::Subdirectories);
             file.hasNext();) {
            const QString path = file.next();
            if (!QFile::copy(path, installed + path.mid(extension.size())))
                throw std::runtime_error("cannot install the GNOME Shell extension");
        }
    }
    // The settings, in a key file rather than dconf, written before the shell reads them.
    const QString settings = configHome() + QStringLiteral("/glib-2.0/settings");
    QDir().mkpath(settings);
    QFile keyfile(settings + QStringLiteral("/keyfile"));
    if (!keyfile.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the session's settings");
    const auto list = [](const QStringList& items) {
        QStringList quoted;
        for (const QString& item : items)
            quoted << u'\'' + item + u'\'';
        return (u'[' + quoted.join(u", ") + u']').toUtf8();
    };
    keyfile.write("[org/gnome/shell]\nenabled-extensions=" +
                  list(state == Extension::Enabled ? QStringList{QFileInfo(extension).fileName()}
                                                   : QStringList()) +
                  "\n\n[org/gnome/shell/extensions/kelvrin]\nallowed-programs=" +
                  list(allowedPrograms) + "\n");
    keyfile.close();
    // The shell asks the system bus for the login manager and more: one is started when the
    // machine runs none.
    if (runsAsRoot())
        startSystemBus();
    const QString session = sessionScript(
        "exec gnome-shell --headless --wayland --wayland-display=" + socket().toUtf8() +
        " --virtual-monitor 1280x800 --unsafe-mode");
    handOver(home());
    // Where systemd's folder is seen, the shell looks for its login manager, which a container
    // does not run: the shell is shown an empty one, in a mount namespace of its own.
    QStringList asRoot;
    if (QFileInfo(QStringLiteral("/run/systemd")).isDir())
        asRoot = {"unshare", "-m", "sh", "-c", "mount -t tmpfs tmpfs /run/systemd && exec \"$@\"",
                  "sh"};
    startCompositor(
        QStringLiteral("dbus-run-session"), {QStringLiteral("--"), session}, {}, socket(),
        [&] { return !bus().isEmpty() && eval(QStringLiteral("1")).has_value(); }, asRoot);
    // The X display of the shell's XWayland, and the key to it, for the programs that run on X11.
    for (const char* name : {"DISPLAY", "XAUTHORITY"})
        _x11 << QString::fromLatin1(name) + u'=' +
                    eval(QStringLiteral("imports.gi.GLib.getenv('%1')").arg(QLatin1String(name)))
                        .value_or(QString());
    // A headless shell has no keyboard until one is made, and the programs started before it
    // would never hear of one; and it starts in the overview, as after a login.
    if (eval(QStringLiteral("imports.ui.main.overview.hide(); %1; 'ready'").arg(kKeyboard)) !=
        u"ready")
        throw std::runtime_error("the shell took no keyboard");
}

QString GnomeSession::pressScript(const QStringList& keys) {
    QStringList quoted;
    for (const QString& key : keys)
        quoted << u'"' + key + u'"';
    return QStringLiteral("%1; const keys = [%2];"
                          "for (const key of keys) global.kelvrinTestKeys.notify_keyval("
                          "GLib.get_monotonic_time(), Clutter['KEY_' + key], "
                          "Clutter.KeyState.PRESSED);"
                          "for (const key of keys.reverse()) global.kelvrinTestKeys.notify_keyval("
                          "GLib.get_monotonic_time(), Clutter['KEY_' + key], "
                          "Clutter.KeyState.RELEASED); 'pressed'")
        .arg(kKeyboard, quoted.join(u','));
}

void GnomeSession::press(const QStringList& keys) const {
    if (eval(pressScript(keys)) != u"pressed")
        throw std::runtime_error("the shell did not press " + keys.join(u'+').toStdString());
}

GnomeSession::~GnomeSession() {
    // The shell first, alone: dbus-run-session then ends its bus and itself.
    QProcess::execute(QStringLiteral("pkill"),
                      {"-KILL", "-f", "^gnome-shell .*--wayland-display=" + socket() + u' '});
    _compositor.waitForFinished(5000);
    if (runsAsRoot()) {
        QProcess::execute(QStringLiteral("pkill"), {"-KILL", "-f", home()});
        waitUntil(
            [&] {
                return QProcess::execute(QStringLiteral("pgrep"), {"-f", home()}) != 0;
            },
            5000);
    }
    // Killed, the shell leaves the locks and sockets of its XWayland displays behind: those of
    // the session's user whose process is gone.
    for (const QFileInfo& lock :
         QDir(QStringLiteral("/tmp")).entryInfoList({".X*-lock"}, QDir::Files | QDir::Hidden)) {
        QFile said(lock.filePath());
        if (lock.ownerId() != sessionUser() || !said.open(QIODevice::ReadOnly) ||
            QFileInfo::exists(QStringLiteral("/proc/%1").arg(said.readAll().trimmed().toInt())))
            continue;
        const QString number = lock.fileName().mid(2).section(u'-', 0, 0);
        QFile::remove(lock.filePath());
        QFile::remove(QStringLiteral("/tmp/.X11-unix/X") + number);
    }
}

QString GnomeSession::socket() const {
    // Named after the session's folder: the shell is known by it among those of other tests.
    return QStringLiteral("gnome-") + QFileInfo(home()).fileName();
}

QStringList GnomeSession::evalArguments(const QString& script) {
    return {"call",          "--session",        "--dest",   "org.gnome.Shell",
            "--object-path", "/org/gnome/Shell", "--method", "org.gnome.Shell.Eval",
            script};
}

std::optional<QString> GnomeSession::eval(const QString& script) const {
    const Result result = run(QStringLiteral("gdbus"), evalArguments(script));
    // (true, 'what it returned, as JSON'), in GVariant's text form, which quotes a string that
    // holds a ' with ".
    const QString out = QString::fromUtf8(result.out).trimmed();
    if (result.status != 0 || !out.startsWith(u"(true, ") || out.size() < 10)
        return std::nullopt;
    const QString quote = out.mid(7, 1);
    QString json = out.mid(8, out.size() - 10);
    json.replace(u'\\' + quote, quote).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    const QJsonValue value = QJsonDocument::fromJson(("[" + json + "]").toUtf8()).array().at(0);
    return value.isString() ? value.toString() : json;
}

QStringList GnomeSession::ownEnvironment() const {
    QStringList variables{QStringLiteral("XDG_DATA_HOME=") + home() + QStringLiteral("/data"),
                          QStringLiteral("GSETTINGS_BACKEND=keyfile"),
                          QStringLiteral("XDG_CURRENT_DESKTOP=GNOME"),
                          QStringLiteral("XDG_SESSION_TYPE=wayland")};
    variables << _x11;
    return variables;
}
