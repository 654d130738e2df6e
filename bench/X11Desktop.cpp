#include "bench/X11Desktop.h"

#include <QDir>
#include <QFile>

X11Desktop::X11Desktop() {
    const QString runtime = _home.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    // Qt wants a private runtime folder and says so on every start when there is none.
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Read now: the server has just set DISPLAY.
    _environment = QProcessEnvironment::systemEnvironment();
    _environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                        _home.filePath(QStringLiteral("config")));
    _environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    // A Wayland session around the driver must not draw Qt programs away from this display.
    _environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    _environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
}

void X11Desktop::start(QProcess& process, const QString& program, const QStringList& arguments,
                       const QStringList& extraEnvironment) const {
    QProcessEnvironment environment = _environment;
    for (const QString& variable : extraEnvironment)
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
}

Desktop::Result X11Desktop::run(const QString& program, const QStringList& arguments, int timeoutMs,
                                const QByteArray& input) const {
    QProcess process;
    start(process, program, arguments);
    Result result;
    if (!process.waitForStarted(5000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.status = process.exitCode();
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void X11Desktop::copy(const QByteArray& text) const {
    QProcess xclip;
    // xclip stays in the background serving the text; it must not hold our pipes.
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.setStandardErrorFile(QProcess::nullDevice());
    start(xclip, QStringLiteral("xclip"), {"-selection", "clipboard"});
    xclip.write(text);
    xclip.closeWriteChannel();
    xclip.waitForFinished(10000);
}

qint64 X11Desktop::focusedPid() const {
    const Result focused = run(QStringLiteral("xdotool"), {"getactivewindow", "getwindowpid"});
    return focused.status == 0 ? focused.out.trimmed().toLongLong() : 0;
}

bool X11Desktop::showsWindowOf(qint64 pid) const {
    return !run(QStringLiteral("xdotool"),
                {"search", "--onlyvisible", "--pid", QString::number(pid)})
                .out.isEmpty();
}

void X11Desktop::closeWindowsOf(qint64 pid) const {
    // openbox closes the active window on Alt+F4, as its close button would.
    run(QStringLiteral("xdotool"),
        {"search", "--onlyvisible", "--pid", QString::number(pid), "windowactivate", "--sync"});
    run(QStringLiteral("xdotool"), {"key", "alt+F4"});
}

void X11Desktop::pressPasteKey() const {
    // Kelvrin's hot key on a first run.
    run(QStringLiteral("xdotool"), {"key", "ctrl+Down"});
}

void X11Desktop::pressReturn() const {
    run(QStringLiteral("xdotool"), {"key", "Return"});
}
