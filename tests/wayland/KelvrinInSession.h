#pragma once

#include "tests/support/TestPictures.h"
#include "tests/wayland/WaylandSession.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <gtest/gtest.h>

inline const QString kKelvrin = QStringLiteral(KELVRIN_BINARY);

// Kelvrin's window as sway describes it, while there is one.
inline std::optional<QJsonObject> pasteWindow(const SwaySession& sway) {
    for (const QJsonObject& window : sway.windows())
        if (window.value(u"app_id").toString() == QLatin1String(KELVRIN_APP_ID))
            return window;
    return std::nullopt;
}

// paste_target, a Qt window of the session titled as given, which says what is pasted into it and
// copies the TYPE=VALUE types given once it has the keyboard; true once it said it is ready.
inline bool startPasteTarget(const WaylandSession& session, QProcess& target,
                             const QString& title = QStringLiteral("Notes"),
                             const QStringList& copies = {}) {
    target.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral("--title"), title};
    for (const QString& copy : copies)
        arguments << QStringLiteral("--copy") << copy;
    session.start(target, QStringLiteral(PASTE_TARGET), arguments,
                  {QStringLiteral("QT_QPA_PLATFORM=wayland")});
    QByteArray said;
    return saidLine(target, "ready", said);
}

// A terminal of the session whose shell writes what is pasted into the terminal to a file; it
// ends with the test.
class PastedIntoTerminal {
public:
    // before: the terminal's arguments before the command it runs ("--", "-e").
    PastedIntoTerminal(const WaylandSession& session, const QString& terminal,
                       const QStringList& before, const QStringList& environment = {})
        : _file(session.home() + QStringLiteral("/typed")) {
        // Without canonical mode the shell's program reads what is pasted at once, without a line
        // end.
        session.start(_process, terminal,
                      before + QStringList{"sh", "-c", "stty -icanon -echo; exec cat > " + _file},
                      environment);
    }
    ~PastedIntoTerminal() {
        _process.terminate();
        _process.waitForFinished(5000);
    }

    // Whether the shell's program is there to read what is pasted, within the time: a paste
    // before would wait for a line end that never comes.
    bool ready() const {
        return waitUntil([&] { return QFileInfo::exists(_file); }, 20000);
    }
    // What was pasted so far.
    QByteArray typed() const {
        QFile file(_file);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QString _file;
    QProcess _process;
};

// The picture as PNG in a file of the session's home, as a copy's TYPE=@path argument.
inline QString offeredPng(const WaylandSession& session, const QImage& image) {
    const QByteArray bytes = TestPictures::encoded(image, "PNG");
    QFile file(session.home() + QStringLiteral("/picture.png"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return QStringLiteral("image/png=@") + file.fileName();
}

// A wl_clip_owner process offering NAME=VALUE types in that order; it quits when it goes.
class ClipOwner {
public:
    ClipOwner(const WaylandSession& session, const QStringList& arguments) {
        session.start(_process, QStringLiteral(WL_CLIP_OWNER), arguments);
    }
    ~ClipOwner() {
        _process.closeWriteChannel();
        if (!_process.waitForFinished(5000))
            _process.kill(), _process.waitForFinished(2000);
    }

    // Whether it said the line, waiting for it until the time is up.
    bool waitForLine(const QByteArray& line, int timeoutMs = 10000) {
        return waitUntil([&] { return said(line) > 0; }, timeoutMs);
    }
    // How many times it said the line so far.
    qsizetype said(const QByteArray& line) {
        _said += _process.readAllStandardOutput();
        return _said.split('\n').count(line);
    }

private:
    QProcess _process;
    QByteArray _said;
};

// The kelvrin program running in the session with the extra variables given, watched through its
// command line; what it says on standard error is kept. What the test does while it starts (answer
// a question it asks first) is done before it is expected to answer.
class KelvrinInSession {
public:
    explicit KelvrinInSession(const WaylandSession& session, const QStringList& environment = {},
                              const std::function<void()>& whileStarting = {})
        : _session(session) {
        _process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        session.start(_process, kKelvrin, {}, environment);
        if (whileStarting)
            whileStarting();
        _answered = waitUntil([&] { return history().has_value(); }, 20000);
    }
    ~KelvrinInSession() {
        if (_endJudged)
            return;
        const int status = _process.state() == QProcess::NotRunning ? _process.exitCode() : quit();
        EXPECT_EQ(status, 0) << errors().constData();
    }

    bool answered() const { return _answered; }
    // Asks it to quit through the command line: its exit status once it ended.
    int quit() {
        _session.run(kKelvrin, {QStringLiteral("--quit")});
        if (!_process.waitForFinished(10000))
            _process.kill(), _process.waitForFinished(2000);
        return _process.exitCode();
    }
    // Whether it ended by itself within the time; how it ended is then the test's to judge.
    bool ends(int timeoutMs) {
        _endJudged =
            _process.state() == QProcess::NotRunning || _process.waitForFinished(timeoutMs);
        return _endJudged;
    }
    // The history, head first, each clipping as --list describes it; nothing without an answer.
    std::optional<QList<QJsonObject>> history() const {
        const WaylandSession::Result list = _session.run(kKelvrin, {QStringLiteral("--list")});
        if (list.status != 0)
            return std::nullopt;
        QList<QJsonObject> clippings;
        for (const QByteArray& line : list.out.split('\n'))
            if (!line.isEmpty())
                clippings << QJsonDocument::fromJson(line).object();
        return clippings;
    }
    QString newest() const {
        return history().value_or(QList<QJsonObject>()).value(0).value(u"contents").toString();
    }
    bool waitForSize(qsizetype size) const {
        return waitUntil([&] { return history().value_or(QList<QJsonObject>()).size() >= size; });
    }
    // All it said on standard error so far.
    QByteArray errors() { return _errors += _process.readAllStandardError(); }

private:
    const WaylandSession& _session;
    QProcess _process;
    bool _answered = false;
    bool _endJudged = false;
    QByteArray _errors;
};
