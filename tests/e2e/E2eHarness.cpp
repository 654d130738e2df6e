#include "tests/e2e/E2eHarness.h"

#include "platform/ClipboardPasteboard.h"
#include "platform/Defaults.h"
#include "window/PasteWindow.h"

#include <QDeadlineTimer>
#include <QTest>
#include <gtest/gtest.h>

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

ClipOwner::ClipOwner(const QStringList& arguments) {
    _process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    _process.start(QStringLiteral(CLIP_OWNER), arguments);
    const QDeadlineTimer deadline(10000);
    while (!_process.canReadLine() && !deadline.hasExpired() &&
           _process.state() != QProcess::NotRunning)
        _process.waitForReadyRead(int(deadline.remainingTime()));
    _ready = _process.readLine().trimmed() == "ready";
    EXPECT_TRUE(_ready) << "clip_owner " << arguments.join(' ').toStdString();
}

ClipOwner::~ClipOwner() {
    _process.terminate();
    _process.waitForFinished(3000);
}

Kelvrin::Kelvrin(Start start) {
    auto defaults = std::make_unique<Defaults>(_settings.filePath(QStringLiteral("Kelvrin.ini")));
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
    QStringList texts;
    for (const auto& data : history())
        texts << data->contents().value_or(QStringLiteral("<none>"));
    return texts;
}

bool Kelvrin::waitForHistory(size_t size, int timeoutMs) {
    return waitFor([&] { return history().size() >= size; }, timeoutMs);
}

bool Kelvrin::waitForCount(qint64 count, int timeoutMs) {
    return waitFor([&] { return changeCount() >= count; }, timeoutMs);
}
