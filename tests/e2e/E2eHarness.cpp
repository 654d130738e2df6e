#include "tests/e2e/E2eHarness.h"

#include "SetTexts.h"

#include "platform/ClipboardPasteboard.h"
#include "platform/Defaults.h"
#include "platform/x11/X11Connection.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Starts one of the suite's tool programs and waits for its first line, "ready ...": the words
// of that line, empty when none came.
QList<QByteArray> startTool(QProcess& process, const QString& program,
                            const QStringList& arguments) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const QDeadlineTimer deadline(10000);
    while (!process.canReadLine() && !deadline.hasExpired() &&
           process.state() != QProcess::NotRunning)
        process.waitForReadyRead(int(deadline.remainingTime()));
    const QList<QByteArray> words = process.readLine().trimmed().split(' ');
    EXPECT_EQ(words[0], "ready") << program.toStdString() << ' '
                                 << arguments.join(' ').toStdString();
    return words[0] == "ready" ? words : QList<QByteArray>();
}

// The options a tool window takes for its title and place.
QStringList windowArguments(const QString& title, const QRect& geometry) {
    return {QStringLiteral("--title"), title, QStringLiteral("--geometry"),
            QStringLiteral("%1,%2,%3,%4")
                .arg(geometry.x())
                .arg(geometry.y())
                .arg(geometry.width())
                .arg(geometry.height())};
}

} // namespace

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

void copyWithXclip(const QByteArray& bytes, const QString& target) {
    QStringList arguments{QStringLiteral("-selection"), QStringLiteral("clipboard")};
    if (!target.isEmpty())
        arguments << QStringLiteral("-t") << target;
    QProcess xclip;
    // xclip stays in the background serving the content; it must not hold our pipes.
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.start(QStringLiteral("xclip"), arguments);
    ASSERT_TRUE(xclip.waitForStarted()) << "xclip is not installed";
    xclip.write(bytes);
    xclip.closeWriteChannel();
    ASSERT_TRUE(xclip.waitForFinished(30000));
    ASSERT_EQ(xclip.exitCode(), 0) << xclip.readAllStandardError().toStdString();
}

QByteArray readWithXclip() {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"});
    waitFor([&] { return xclip.state() == QProcess::NotRunning; });
    return xclip.readAllStandardOutput();
}

void xdotool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(tool.waitForFinished(10000)) << "xdotool is not installed";
}

namespace {

// What xdotool printed, line by line.
QStringList xdotoolLines(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    EXPECT_TRUE(tool.waitForFinished(10000)) << "xdotool is not installed";
    return QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

QList<quint32> windowsOf(qint64 pid, const QString& title) {
    QStringList arguments{"search", "--all", "--onlyvisible", "--pid", QString::number(pid)};
    if (!title.isEmpty())
        arguments << "--name" << title;
    // The window manager's windows: a tray icon is shown too, inside the tray.
    const X11Connection* x11 = X11Connection::get();
    QList<quint32> windows;
    for (const QString& line : xdotoolLines(arguments))
        if (x11 && x11->isManaged(line.toUInt()))
            windows << line.toUInt();
    return windows;
}

QString windowTitle(quint32 window) {
    return xdotoolLines({"getwindowname", QString::number(window)}).value(0);
}

void closeWithWindowManager(quint32 window) {
    X11Connection* x11 = X11Connection::get();
    ASSERT_TRUE(x11);
    const QByteArray name = "_NET_CLOSE_WINDOW";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        x11->connection(), xcb_intern_atom(x11->connection(), 0, name.size(), name.constData()),
        nullptr);
    ASSERT_TRUE(atom);
    // Sent as a pager would, for the user (EWMH).
    constexpr uint32_t sourcePager = 2;
    x11->sendToRoot(window, atom->atom, {x11->serverTime(), sourcePager, 0, 0, 0});
    std::free(atom);
}

void startKelvrin(QProcess& process, const QString& configHome, const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KELVRIN_BINARY), arguments);
}

KelvrinCommand kelvrinCommand(const QStringList& arguments, const QString& configHome,
                              int timeoutMs) {
    QProcess process;
    startKelvrin(process, configHome, arguments);
    // The running instance answers while this waits: its event loop is another process's.
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

RunningKelvrin::RunningKelvrin(const QString& configHome)
    : _home(configHome.isEmpty() ? _ownHome.path() : configHome) {
    _process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startKelvrin(_process, _home);
    _process.waitForStarted();
    _answered = waitFor([&] { return history().has_value(); }, 20000);
}

RunningKelvrin::~RunningKelvrin() {
    if (!running())
        return;
    kelvrinCommand({"--quit"}, _home, 10000);
    if (!_process.waitForFinished(10000))
        _process.kill();
    _process.waitForFinished(1000);
}

void RunningKelvrin::kill() {
    _process.kill();
    _process.waitForFinished(5000);
}

bool RunningKelvrin::terminate(int timeoutMs) {
    _process.terminate();
    return _process.waitForFinished(timeoutMs);
}

std::optional<QStringList> RunningKelvrin::history(int timeoutMs) const {
    const KelvrinCommand list = kelvrinCommand({"--list"}, _home, timeoutMs);
    if (list.status != 0)
        return std::nullopt;
    QStringList texts;
    for (const QByteArray& line : list.out.split('\n'))
        if (!line.isEmpty())
            texts << QJsonDocument::fromJson(line).object()[u"contents"].toString();
    return texts;
}

bool RunningKelvrin::waitForText(const QString& text, int timeoutMs) const {
    return waitFor([&] { return history().value_or(QStringList()).contains(text); }, timeoutMs);
}

double RunningKelvrin::memoryMiB(const QByteArray& field) const {
    QFile status(QStringLiteral("/proc/%1/status").arg(_process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

ClipOwner::ClipOwner(const QStringList& arguments) {
    _ready = !startTool(_process, QStringLiteral(CLIP_OWNER), arguments).isEmpty();
}

std::optional<QByteArray> ClipOwner::waitForLine(const QByteArray& prefix, int timeoutMs) {
    std::optional<QByteArray> found;
    waitFor(
        [&] {
            while (!found && _process.canReadLine())
                if (const QByteArray line = _process.readLine().trimmed(); line.startsWith(prefix))
                    found = line;
            return found.has_value();
        },
        timeoutMs);
    return found;
}

ClipOwner::~ClipOwner() {
    _process.terminate();
    _process.waitForFinished(3000);
}

DropTarget::DropTarget(const QString& title, const QRect& geometry, const QStringList& offers) {
    QStringList arguments = windowArguments(title, geometry);
    for (const QString& offer : offers)
        arguments << QStringLiteral("--offer") << offer;
    const QList<QByteArray> place =
        startTool(_process, QStringLiteral(DROP_TARGET), arguments).value(1).split(',');
    _ready = place.size() == 4;
    if (_ready)
        _geometry = QRect(place[0].toInt(), place[1].toInt(), place[2].toInt(), place[3].toInt());
    QObject::connect(&_process, &QProcess::readyReadStandardOutput, [this] { readLines(); });
    readLines();
}

DropTarget::~DropTarget() {
    _process.terminate();
    _process.waitForFinished(3000);
}

void DropTarget::readLines() {
    while (_process.canReadLine()) {
        const QJsonObject line = QJsonDocument::fromJson(_process.readLine()).object();
        if (line.contains(u"dragEnded")) {
            _dragsEnded << line[u"dragEnded"].toString();
            continue;
        }
        Drop drop;
        for (const QJsonValue& format : line[u"formats"].toArray())
            drop.formats << format.toString();
        const QJsonObject data = line[u"data"].toObject();
        for (auto it = data.begin(); it != data.end(); ++it)
            drop.data.insert(it.key(), QByteArray::fromBase64(it->toString().toLatin1()));
        drop.action = line[u"action"].toString();
        _drops << drop;
    }
}

PasteTarget::PasteTarget(const QString& title, const QString& windowClass, const QRect& geometry) {
    QStringList arguments = windowArguments(title, geometry);
    if (!windowClass.isEmpty())
        arguments << QStringLiteral("--class") << windowClass;
    const QList<QByteArray> ready = startTool(_process, QStringLiteral(PASTE_TARGET), arguments);
    _ready = ready.size() == 2;
    if (_ready)
        _window = ready[1].toUInt();
    QObject::connect(&_process, &QProcess::readyReadStandardOutput, [this] { readLines(); });
    readLines();
}

PasteTarget::~PasteTarget() {
    _process.terminate();
    _process.waitForFinished(3000);
}

void PasteTarget::readLines() {
    while (_process.canReadLine()) {
        const QList<QByteArray> line = _process.readLine().trimmed().split(' ');
        // An empty clipboard leaves the last field empty, and trimmed away.
        if (line.size() >= 2 && line[0] == "paste")
            _pastes << QString::fromLatin1(line[1]) + u' ' +
                           QString::fromUtf8(QByteArray::fromBase64(line.value(2)));
    }
}

void dragWithMouse(const QList<QPoint>& path) {
    ASSERT_GE(path.size(), 2);
    QStringList arguments;
    const auto moveTo = [&](QPoint point, const char* pause) {
        arguments << QStringLiteral("mousemove") << QString::number(point.x())
                  << QString::number(point.y()) << QStringLiteral("sleep")
                  << QString::fromLatin1(pause);
    };
    // As under a hand, the source sees the pointer come in before the press.
    moveTo(path.first(), "0.2");
    arguments << QStringLiteral("mousedown") << QStringLiteral("1") << QStringLiteral("sleep")
              << QStringLiteral("0.1");
    constexpr int kSteps = 5;
    for (qsizetype leg = 1; leg < path.size(); ++leg)
        for (int step = 1; step <= kSteps; ++step)
            moveTo(path[leg - 1] + (path[leg] - path[leg - 1]) * step / kSteps, "0.05");
    // The source sends no position while the target has not answered the last: a second
    // arrival, after a pause, makes sure the target knows where the drop falls.
    moveTo(path.last() + QPoint(1, 1), "0.2");
    moveTo(path.last(), "0.2");
    arguments << QStringLiteral("mouseup") << QStringLiteral("1");

    QProcess xdotool;
    xdotool.setProcessChannelMode(QProcess::ForwardedChannels);
    xdotool.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(xdotool.waitForStarted()) << "xdotool is not installed";
    ASSERT_TRUE(waitFor([&] { return xdotool.state() == QProcess::NotRunning; }, 30000));
    ASSERT_EQ(xdotool.exitCode(), 0);
}

Kelvrin::Kelvrin(Start start) {
    auto defaults = std::make_unique<Defaults>(_settings.filePath(QStringLiteral("Kelvrin.ini")));
    _defaults = defaults.get();
    _app = std::make_unique<MyObject>(std::move(defaults), std::make_unique<ClipboardPasteboard>());
    if (start == Start::Launched)
        launch();
}

Kelvrin::~Kelvrin() {
    _app->applicationWillTerminate();
}

const PasteDataList& Kelvrin::history() const {
    return _app->pasteWindow()->pasteArray()[0]->pasteData();
}

QStringList Kelvrin::texts() const {
    return ::texts(*_app->pasteWindow()->pasteArray()[0]);
}

bool Kelvrin::waitForHistory(size_t size, int timeoutMs) {
    return waitFor([&] { return history().size() >= size; }, timeoutMs);
}

bool Kelvrin::waitForCount(qint64 count, int timeoutMs) {
    return waitFor([&] { return changeCount() >= count; }, timeoutMs);
}

bool pasteWindowActive(Kelvrin& kelvrin) {
    return QApplication::activeWindow() == kelvrin.app().pasteWindow()->getWindow();
}

bool pressOver(Kelvrin& kelvrin, quint32 target, const QStringList& keys, int timeoutMs,
               std::optional<Processes::Application>* front) {
    xdotool({"windowactivate", "--sync", QString::number(target)});
    std::optional<Processes::Application> inFront;
    EXPECT_TRUE(waitFor([&] {
        inFront = Processes::frontmost();
        return inFront && inFront->window == target && !pasteWindowActive(kelvrin);
    }));
    if (front)
        *front = inFront;
    xdotool(QStringList{"key", "--delay", "50"} + keys);
    return waitFor([&] { return pasteWindowActive(kelvrin); }, timeoutMs);
}

void copyEach(Kelvrin& kelvrin, const QStringList& texts) {
    for (const QString& text : texts) {
        copyWithXclip(text.toUtf8());
        ASSERT_TRUE(kelvrin.waitForHistory(kelvrin.history().size() + 1));
    }
}
