// Two machines sharing one history: two Kelvrins, each on an X display of its own with a data
// folder of its own, the two folders kept in step by two real Syncthing instances. What either
// copies ends up in both histories, copies made on both at once included, round after round.
#include "tests/e2e/E2eHarness.h"
#include "tests/e2e/SyncthingPair.h"
#include "tests/e2e/XServer.h"

#include "platform/Defaults.h"
#include "platform/Strings.h"
#include "window/PasteWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A sync, a merge and a save on each side: seconds, more on a loaded machine.
constexpr int kReachMs = 60000;

// One machine: a display, Kelvrin's settings, its runtime folder (where its command socket is)
// and its data folder. What starts within on() runs on this machine.
class Machine {
public:
    Machine(const QString& root, const QByteArray& display)
        : _display(display), _home(root + QStringLiteral("/config")),
          _runtime(root + QStringLiteral("/runtime")), _data(_home + QStringLiteral("/data")) {
        for (const QString& folder : {_home, _runtime, _data})
            QDir().mkpath(folder);
        QFile::setPermissions(_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Defaults settings(_home + QStringLiteral("/Kelvrin/Kelvrin.ini"));
        settings.setObject(_data, QStringLiteral("initial_directory"));
        // Room for every copy of the test.
        settings.setInteger(1000, QStringLiteral("paste_limits"));
        settings.synchronize();
    }

    const QString& data() const { return _data; }
    const QString& home() const { return _home; }

    template <typename Work> auto on(Work work) const {
        const QByteArray display = qgetenv("DISPLAY"), runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("DISPLAY", _display);
        qputenv("XDG_RUNTIME_DIR", _runtime.toUtf8());
        struct Restore {
            QByteArray display, runtime;
            ~Restore() {
                qputenv("DISPLAY", display);
                qputenv("XDG_RUNTIME_DIR", runtime);
            }
        } restore{display, runtime};
        return work();
    }

private:
    QByteArray _display;
    QString _home, _runtime, _data;
};

class SharedFolder : public ::testing::Test {
protected:
    void SetUp() override {
        const QByteArray displayA = qgetenv("DISPLAY");
        // A second display; DISPLAY names it while it is made.
        _displayB = std::make_unique<XServer>();
        const QByteArray displayB = qgetenv("DISPLAY");
        qputenv("DISPLAY", displayA);
        _a = std::make_unique<Machine>(_dir.filePath(QStringLiteral("a")), displayA);
        _b = std::make_unique<Machine>(_dir.filePath(QStringLiteral("b")), displayB);
        // A's empty history reaches B before either Kelvrin starts, as on a second machine set up
        // with a synced folder.
        ASSERT_EQ(storeEmptyHistory(_a->home()), _a->data());
        _syncthing = std::make_unique<SyncthingPair>(_a->data(), _b->data(),
                                                     _dir.filePath(QStringLiteral("syncthing")));
        ASSERT_TRUE(waitFor(
            [&] {
                return QFileInfo::exists(_b->data() + u'/' + PasteWindow::kListFileName) &&
                       QFileInfo::exists(_b->data() + u'/' + PasteWindow::kHistoryName +
                                         PasteWindow::kSetFileSuffix);
            },
            kReachMs))
            << "the history did not reach B";
        _kelvrinA = _a->on([&] { return std::make_unique<RunningKelvrin>(_a->home()); });
        _kelvrinB = _b->on([&] { return std::make_unique<RunningKelvrin>(_b->home()); });
        ASSERT_TRUE(_kelvrinA->answered() && _kelvrinB->answered());
    }

    void TearDown() override {
        _a->on([&] { return _kelvrinA.reset(), 0; });
        _b->on([&] { return _kelvrinB.reset(), 0; });
    }

    void copyOn(const Machine& machine, const QString& text) {
        machine.on([&] { return copyWithXclip(text.toUtf8()), 0; });
    }
    QStringList historyOf(const Machine& machine, const RunningKelvrin& kelvrin) {
        return machine.on([&] { return kelvrin.history().value_or(QStringList()); });
    }
    // Waits until both histories are the one given.
    bool bothAre(const QStringList& history) {
        return waitFor(
            [&] {
                return historyOf(*_a, *_kelvrinA) == history &&
                       historyOf(*_b, *_kelvrinB) == history;
            },
            kReachMs);
    }
    // Brings the machine's paste window to the front from its command line (up since the launch,
    // it stays) and presses the keys in it, as the person at that machine does.
    static void pressInPasteWindow(const Machine& machine, const RunningKelvrin& kelvrin,
                                   const QStringList& keys) {
        machine.on([&] {
            EXPECT_EQ(kelvrin.command({"--paste-window"}).status, 0);
            EXPECT_TRUE(waitFor([&] {
                return xdotool({"getactivewindow", "getwindowpid"}).value(0).toLongLong() ==
                       kelvrin.pid();
            })) << "the paste window is not in front";
            return xdotool(QStringList{"key", "--delay", "150"} + keys);
        });
    }
    // Whether a window of the machine's Kelvrin with the title is up, within the time.
    static bool windowComesUp(const Machine& machine, const RunningKelvrin& kelvrin,
                              const QString& title) {
        return machine.on([&] {
            return waitFor([&] {
                return !xdotool({"search", "--onlyvisible", "--pid", QString::number(kelvrin.pid()),
                                 "--name",
                                 QStringLiteral("^%1$").arg(QRegularExpression::escape(title))})
                            .isEmpty();
            });
        });
    }
    // Waits until both histories hold every text.
    bool bothHold(const QStringList& texts) {
        return waitFor(
            [&] {
                for (const auto& [machine, kelvrin] :
                     {std::pair{_a.get(), _kelvrinA.get()}, std::pair{_b.get(), _kelvrinB.get()}}) {
                    const QStringList history = historyOf(*machine, *kelvrin);
                    for (const QString& text : texts)
                        if (!history.contains(text))
                            return false;
                }
                return true;
            },
            kReachMs);
    }

    QTemporaryDir _dir;
    std::unique_ptr<XServer> _displayB;
    std::unique_ptr<Machine> _a, _b;
    std::unique_ptr<SyncthingPair> _syncthing;
    std::unique_ptr<RunningKelvrin> _kelvrinA, _kelvrinB;
};

} // namespace

TEST_F(SharedFolder, WhatEitherMachineCopiesEndsUpInBothHistoriesRoundAfterRound) {
    copyOn(*_a, QStringLiteral("copied on A"));
    ASSERT_TRUE(bothHold({QStringLiteral("copied on A")}))
        << historyOf(*_b, *_kelvrinB).join(u'|').toStdString();

    // Copies on both machines at the same moment, fifty times: both saves meet, and Syncthing
    // keeps one as a conflict copy, which the merge takes in.
    QStringList copied{QStringLiteral("copied on A")};
    for (int round = 1; round <= 50; ++round) {
        const QString onA = QStringLiteral("A %1").arg(round),
                      onB = QStringLiteral("B %1").arg(round);
        copyOn(*_a, onA);
        copyOn(*_b, onB);
        copied << onA << onB;
        QTest::qWait(300);
    }
    EXPECT_TRUE(bothHold(copied)) << "A: " << historyOf(*_a, *_kelvrinA).join(u'|').toStdString()
                                  << "\nB: " << historyOf(*_b, *_kelvrinB).join(u'|').toStdString();
    // The two histories are one: the same clippings in the same order.
    EXPECT_TRUE(waitFor([&] { return historyOf(*_a, *_kelvrinA) == historyOf(*_b, *_kelvrinB); },
                        kReachMs));
    // Nothing of Syncthing's or the merge's is left behind as a set of its own.
    const QStringList left = QDir(_a->data()).entryList({QStringLiteral("*sync-conflict*")});
    EXPECT_TRUE(waitFor(
        [&] {
            return QDir(_a->data()).entryList({QStringLiteral("*sync-conflict*")}).isEmpty() &&
                   QDir(_b->data()).entryList({QStringLiteral("*sync-conflict*")}).isEmpty();
        },
        kReachMs))
        << left.join(u' ').toStdString();
}

// What the person at one machine does in its paste window reaches the other: a clipping deleted
// on B stays deleted on A, and a set added on A, with the clipping it was made from, appears on B.
TEST_F(SharedFolder, ADeletionAndANewSetReachTheOtherMachine) {
    copyOn(*_a, QStringLiteral("kept"));
    ASSERT_TRUE(bothHold({QStringLiteral("kept")}));
    copyOn(*_a, QStringLiteral("deleted on B"));
    ASSERT_TRUE(bothHold({QStringLiteral("deleted on B")}));

    // The newest clipping selected, and deleted with the alert's other button.
    pressInPasteWindow(*_b, *_kelvrinB, {"ctrl+Home", "Down", "Up", "BackSpace"});
    ASSERT_TRUE(
        windowComesUp(*_b, *_kelvrinB, Strings::localized(QStringLiteral("DeleteDataTitle"))))
        << "the delete alert did not come up";
    _b->on([&] { return xdotool({"key", "--delay", "150", "Tab", "space"}); });
    ASSERT_TRUE(bothAre({QStringLiteral("kept")}))
        << historyOf(*_a, *_kelvrinA).join(u'|').toStdString();
    // A's next save does not bring it back.
    copyOn(*_a, QStringLiteral("after"));
    EXPECT_TRUE(bothAre({QStringLiteral("after"), QStringLiteral("kept")}))
        << historyOf(*_b, *_kelvrinB).join(u'|').toStdString();

    // A new set made from the newest clipping, named in the sheet.
    pressInPasteWindow(*_a, *_kelvrinA, {"ctrl+Home", "Down", "Up", "ctrl+d"});
    ASSERT_TRUE(windowComesUp(*_a, *_kelvrinA, QStringLiteral("Add to Set")));
    _a->on([&] {
        xdotool({"type", "--delay", "50", "Work"});
        return xdotool({"key", "Return"});
    });
    EXPECT_TRUE(waitFor(
        [&] {
            return _b->on([&] { return _kelvrinB->texts(QStringLiteral("Work")); }) ==
                   QStringList{QStringLiteral("after")};
        },
        kReachMs))
        << "the set did not reach B";
}
