#include "bench/RunningKelvrin.h"

#include "bench/Figures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <stdexcept>

namespace {

// Longer than the command line's own wait for an answer: the command decides when to give up.
constexpr int kListLimitMs = 30000;

qint64 parentOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
}

// The process of that command name among a process and its descendants: under sway Kelvrin runs
// under runuser and env.
qint64 descendantNamed(qint64 ancestor, const QByteArray& name) {
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const qint64 pid = entry.toLongLong();
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (pid == 0 || !comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        for (qint64 up = pid; up > 1; up = parentOf(up))
            if (up == ancestor)
                return pid;
    }
    return 0;
}

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

} // namespace

RunningKelvrin::RunningKelvrin(const Desktop& desktop, const QString& program)
    : _desktop(desktop), _program(program) {
    // Its log lines would mix with the figures.
    _process.setStandardOutputFile(QProcess::nullDevice());
    _process.setStandardErrorFile(QProcess::nullDevice());
    _desktop.start(_process, _program, {});
    if (!waitUntil([&] { return list().listing.has_value(); }, 20000))
        fail(QStringLiteral("kelvrin did not answer on ") + QLatin1String(desktop.name()));
    // The kernel keeps the first 15 bytes of a program's name.
    _pid = descendantNamed(_process.processId(), QFileInfo(program).fileName().toUtf8().left(15));
    if (!waitUntil([&] { return _desktop.showsWindowOf(_pid); }, 15000))
        fail(QStringLiteral("kelvrin showed no window on ") + QLatin1String(desktop.name()));
    _desktop.closeWindowsOf(_pid);
    if (!waitUntil([&] { return !_desktop.showsWindowOf(_pid); }, 5000))
        fail(QStringLiteral("kelvrin's window stayed on ") + QLatin1String(desktop.name()));
}

RunningKelvrin::~RunningKelvrin() {
    _desktop.run(_program, {QStringLiteral("--quit")});
    if (!_process.waitForFinished(10000))
        _process.kill(), _process.waitForFinished(2000);
}

RunningKelvrin::Answer RunningKelvrin::list() const {
    QProcess command;
    const Clock::time_point asked = Clock::now();
    _desktop.start(command, _program, {QStringLiteral("--list")});
    const bool ended = command.waitForFinished(kListLimitMs);
    Answer answer{std::nullopt, msBetween(asked, Clock::now())};
    if (!ended)
        command.kill(), command.waitForFinished(2000);
    else if (command.exitStatus() == QProcess::NormalExit && command.exitCode() == 0)
        answer.listing = command.readAllStandardOutput();
    return answer;
}

QString newestListed(const QByteArray& listing) {
    const QByteArray first = listing.left(listing.indexOf('\n'));
    return QJsonDocument::fromJson(first).object().value(QStringLiteral("contents")).toString();
}
