// Owners that misbehave, changes that come faster than the poll, and Kelvrin's own writes.
#include "tests/e2e/E2eHarness.h"

#include "model/PasteData.h"
#include "platform/Log.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Texts = QStringList;

// How long and how often the event loop went without running, as a 10 ms timer sees it.
class LoopWatch {
public:
    LoopWatch() {
        _since.start();
        QObject::connect(&_timer, &QTimer::timeout, [this] {
            const qint64 gap = _since.restart();
            _longest = std::max(_longest, gap);
            _stalls += gap > 1000;
        });
        _timer.start(10);
    }
    qint64 longestStall() const { return _longest; }
    // Gaps of more than a second.
    int stalls() const { return _stalls; }

private:
    QTimer _timer;
    QElapsedTimer _since;
    qint64 _longest = 0;
    int _stalls = 0;
};

// Another program reading the clipboard while our event loop runs, since we are its owner.
QByteArray readWithXclip() {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"});
    waitFor([&] { return xclip.state() == QProcess::NotRunning; });
    return xclip.readAllStandardOutput();
}

} // namespace

TEST(ClipboardTrouble, ASilentOwnerHoldsKelvrinOneTransferTimeoutAndIsNotAskedAgain) {
    // Qt gives an owner five seconds to answer.
    constexpr qint64 QtTimeout = 5000;
    struct Case {
        const char* flag;
        QStringList lines;
    };
    const QString gaveUp =
        QStringLiteral("WARNING: [paste string data cannot supply] current count[1]");
    for (const auto& [flag, lines] : {Case{"--hang", {gaveUp}}, Case{"--hang-targets", {}}}) {
        SCOPED_TRACE(flag);
        Kelvrin kelvrin;
        ASSERT_EQ(kelvrin.changeCount(), 0);
        Log::Capture log;
        LoopWatch watch;
        {
            ClipOwner silent({flag, "UTF8_STRING=never sent"});
            ASSERT_TRUE(waitFor([&] { return watch.longestStall() > QtTimeout / 2; }, 15000));
            // Long enough for several more ticks, each a chance to ask again.
            QTest::qWait(5 * MyObject::kPollInterval);
        }
        EXPECT_LT(watch.longestStall(), QtTimeout + 1500);
        EXPECT_EQ(watch.stalls(), 1);
        EXPECT_EQ(log.lines(), lines);
        EXPECT_TRUE(kelvrin.history().empty());

        copyWithXclip("next");
        ASSERT_TRUE(kelvrin.waitForHistory(1, 3000));
        EXPECT_EQ(kelvrin.texts(), Texts{"next"});
    }
}

TEST(ClipboardTrouble, ChangesBetweenTwoTicksKeepTheLastAndWarnAboutTheRest) {
    Kelvrin kelvrin;
    kelvrin.stopPoll();
    Log::Capture log;
    const auto dropped = [](qint64 count, qint64 previous) {
        return QStringLiteral("warning*** : [drop paste board data !!!!!!!!!!!!] count[%1] "
                              "_pbCount[%2]")
            .arg(count)
            .arg(previous);
    };
    // One change, then two, then three between ticks: only the last content of each is kept.
    const QList<QStringList> bursts{{"one"}, {"two", "three"}, {"four", "five", "six"}};
    for (const QStringList& burst : bursts) {
        for (const QString& text : burst) {
            const qint64 count = kelvrin.changeCount();
            copyWithXclip(text.toUtf8());
            ASSERT_TRUE(kelvrin.waitForCount(count + 1));
        }
        kelvrin.tick();
    }
    EXPECT_EQ(kelvrin.changeCount(), 6);
    EXPECT_EQ(kelvrin.texts(), (Texts{"six", "three", "one"}));
    EXPECT_EQ(log.lines(), (Texts{dropped(3, 1), dropped(6, 3)}));
}

TEST(ClipboardTrouble, OwnWriteIsCountedOnceAndNotCaptured) {
    Kelvrin kelvrin;
    kelvrin.stopPoll();
    Log::Capture log;
    copyWithXclip("copied earlier");
    ASSERT_TRUE(kelvrin.waitForCount(1));
    kelvrin.tick();
    const qint64 start = kelvrin.changeCount();

    PasteData clipping;
    clipping.setContents(QStringLiteral("x"));
    clipping.setExtraData(std::nullopt, 0);
    EXPECT_FALSE(kelvrin.app().doPasteCommand(clipping)) << "no application to deliver to";
    EXPECT_EQ(kelvrin.changeCount(), start + 1) << "not counted at once";
    EXPECT_EQ(readWithXclip(), "x");
    EXPECT_EQ(kelvrin.changeCount(), start + 1) << "counted again when Qt reported it";
    kelvrin.tick();
    EXPECT_EQ(kelvrin.texts(), Texts{"copied earlier"}) << "own write captured";

    // Another program takes the clipboard from us: one change, captured without a warning.
    copyWithXclip("from another program");
    ASSERT_TRUE(kelvrin.waitForCount(start + 2));
    QTest::qWait(2 * MyObject::kPollInterval);
    EXPECT_EQ(kelvrin.changeCount(), start + 2) << "the take-over counted twice";
    kelvrin.tick();
    EXPECT_EQ(kelvrin.texts().value(0), "from another program");
    EXPECT_EQ(log.lines().filter("drop paste board data"), Texts());
}
