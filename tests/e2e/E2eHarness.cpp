#include "tests/e2e/E2eHarness.h"

#include "SetFolder.h"
#include "SetTexts.h"

#include "platform/Defaults.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Pasteboard.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <gtest/gtest.h>

void copyWithXclip(const QByteArray& bytes) {
    QProcess xclip;
    // xclip stays in the background serving the content; it must not hold our pipes.
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard"});
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

QStringList xdotool(const QStringList& arguments) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(QStringLiteral("xdotool"), arguments);
    EXPECT_TRUE(tool.waitForStarted()) << "xdotool is not installed";
    EXPECT_TRUE(waitFor([&] { return tool.state() == QProcess::NotRunning; }, 30000));
    // A search that finds nothing ends with 1.
    EXPECT_TRUE(tool.exitCode() == 0 || arguments.value(0) == u"search")
        << arguments.join(u' ').toStdString();
    return QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

void setLayout(const QString& layouts, const QString& variants) {
    QProcess setxkbmap;
    setxkbmap.start(QStringLiteral("setxkbmap"), {"-layout", layouts, "-variant", variants});
    ASSERT_TRUE(setxkbmap.waitForFinished(10000)) << "setxkbmap is not installed";
    ASSERT_EQ(setxkbmap.exitCode(), 0) << setxkbmap.readAllStandardError().toStdString();
}

QList<quint32> windowsOf(qint64 pid, const QString& title) {
    QStringList arguments{"search", "--all", "--onlyvisible", "--pid", QString::number(pid)};
    if (!title.isEmpty())
        arguments << "--name" << title;
    // The window manager's windows: a tray icon is shown too, inside the tray.
    const X11Connection* x11 = X11Connection::get();
    QList<quint32> windows;
    for (const QString& line : xdotool(arguments))
        if (x11 && x11->isManaged(line.toUInt()))
            windows << line.toUInt();
    return windows;
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

QString storeEmptyHistory(const QString& configHome) {
    const QString folder = configHome + QStringLiteral("/data");
    QDir().mkpath(folder);
    SetFolder::writeSet(folder, PasteWindow::kHistoryName, {});
    SetFolder::writeList(folder, {PasteWindow::kHistoryName});
    Defaults settings(configHome + QStringLiteral("/Kelvrin/Kelvrin.ini"));
    settings.setObject(folder, QStringLiteral("initial_directory"));
    settings.synchronize();
    return folder;
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

std::optional<QStringList> RunningKelvrin::texts(const QString& set, int timeoutMs) const {
    const KelvrinCommand list =
        command(set.isEmpty() ? QStringList{"--list"} : QStringList{"--list", set}, timeoutMs);
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

Tool::Tool(const QString& program, const QStringList& arguments) {
    _process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&_process, &QProcess::readyReadStandardOutput, [this] {
        while (_process.canReadLine())
            _lines << _process.readLine().trimmed().split(' ');
    });
    _process.start(program, arguments);
    waitFor([&] { return !_lines.isEmpty() || _process.state() == QProcess::NotRunning; });
    if (!_lines.isEmpty() && _lines.front().front() == "ready")
        _ready = _lines.takeFirst();
    EXPECT_TRUE(ready()) << program.toStdString() << ' ' << arguments.join(' ').toStdString();
}

Tool::~Tool() {
    _process.terminate();
    _process.waitForFinished(3000);
}

std::optional<QByteArray> Tool::waitForLine(const QByteArray& prefix, int timeoutMs) {
    std::optional<QByteArray> found;
    waitFor(
        [&] {
            for (const QList<QByteArray>& line : std::as_const(_lines))
                if (const QByteArray joined = line.join(' '); !found && joined.startsWith(prefix))
                    found = joined;
            return found.has_value();
        },
        timeoutMs);
    return found;
}

qsizetype Tool::linesStartingWith(const QByteArray& prefix) const {
    return std::ranges::count_if(
        _lines, [&](const QList<QByteArray>& line) { return line.join(' ').startsWith(prefix); });
}

ToolWindow::ToolWindow(const QString& program, const QString& title, const QRect& geometry,
                       const QStringList& options)
    : Tool(program, QStringList{"--title", title, "--geometry",
                                QString::asprintf("%d,%d,%d,%d", geometry.x(), geometry.y(),
                                                  geometry.width(), geometry.height())} +
                        options) {}

QRect ToolWindow::geometry() const {
    QMap<QString, int> shell;
    for (const QString& line : xdotool({"getwindowgeometry", "--shell", QString::number(window())}))
        shell.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
    return QRect(shell.value("X"), shell.value("Y"), shell.value("WIDTH"), shell.value("HEIGHT"));
}

QList<QMap<QString, QByteArray>> DropTarget::drops() const {
    QList<QMap<QString, QByteArray>> drops;
    for (const QList<QByteArray>& line : _lines) {
        drops.append(QMap<QString, QByteArray>());
        for (qsizetype i = 1; i < line.size(); i += 2)
            drops.back().insert(QString::fromUtf8(line[i]),
                                QByteArray::fromBase64(line.value(i + 1)));
    }
    return drops;
}

PasteTarget::PasteTarget(const QString& title, const QString& windowClass, const QRect& geometry)
    : ToolWindow(QStringLiteral(PASTE_TARGET), title, geometry,
                 windowClass.isEmpty() ? QStringList() : QStringList{"--class", windowClass}) {}

QStringList PasteTarget::pastes() const {
    QStringList pastes;
    // An empty clipboard leaves the last field empty, and trimmed away.
    for (const QList<QByteArray>& line : _lines)
        pastes << QString::fromLatin1(line.value(1)) + u' ' +
                      QString::fromUtf8(QByteArray::fromBase64(line.value(2)));
    return pastes;
}

void dragWithMouse(const QList<QPoint>& path, const QString& midway) {
    ASSERT_GE(path.size(), 2);
    const auto moveTo = [](QPoint at, const char* pause) {
        return QString::asprintf("xdotool mousemove %d %d sleep %s; ", at.x(), at.y(), pause);
    };
    // As under a hand, the source sees the pointer come in before the press.
    QString hand = moveTo(path.first(), "0.2") + QStringLiteral("xdotool mousedown 1 sleep 0.1; ");
    for (qsizetype leg = 1; leg < path.size(); ++leg) {
        for (int step = 1; step <= 5; ++step)
            hand += moveTo(path[leg - 1] + (path[leg] - path[leg - 1]) * step / 5, "0.05");
        if (leg == 1 && !midway.isEmpty())
            hand += midway + QStringLiteral("; ");
    }
    // The source sends no position while the target has not answered the last: a second
    // arrival, after a pause, makes sure the target knows where the drop falls.
    hand += moveTo(path.last() + QPoint(1, 1), "0.2") + moveTo(path.last(), "0.2") +
            QStringLiteral("xdotool mouseup 1");
    QProcess shell;
    shell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    shell.setStandardOutputFile(QProcess::nullDevice());
    shell.start(QStringLiteral("sh"), {"-c", hand});
    ASSERT_TRUE(waitFor([&] { return shell.state() == QProcess::NotRunning; }, 30000));
    ASSERT_EQ(shell.exitCode(), 0);
}

Kelvrin::Kelvrin(Start start) {
    auto defaults = std::make_unique<Defaults>(_settings.filePath(QStringLiteral("Kelvrin.ini")));
    _defaults = defaults.get();
    _app = std::make_unique<MyObject>(std::move(defaults), std::make_unique<X11Pasteboard>());
    if (start == Start::Launched)
        launch();
}

Kelvrin::~Kelvrin() {
    _app->applicationWillTerminate();
}

void Kelvrin::tick() {
    _app->pasteboardCheck();
    waitFor([&] { return !window().hasPendingCaptures(); });
}

const PasteDataList& Kelvrin::history() const {
    return _app->pasteWindow()->pasteArray()[0]->pasteData();
}

QStringList Kelvrin::texts() const {
    return ::texts(*_app->pasteWindow()->pasteArray()[0]);
}

bool becomesFront(quint32 window, int timeoutMs) {
    return waitFor(
        [&] {
            const auto front = Processes::frontmost();
            return front && front->window == window;
        },
        timeoutMs);
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
