// The kelvrin program as a person uses it from the keyboard: the hot key over another program,
// keys in the paste window, the alerts and sheets over it, all driven and watched from outside.
#include "tests/e2e/E2eHarness.h"

#include "SetFolder.h"

#include "platform/Defaults.h"
#include "platform/Processes.h"
#include "platform/Strings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class HotKeyPasteProgram : public ::testing::Test {
protected:
    // The program, started with the settings given (and the data folder, when one is given),
    // after copying the texts (the last one given becomes the newest clipping).
    void start(const QStringList& texts, const QList<std::pair<QString, bool>>& settings = {},
               const QString& dataFolder = {}) {
        {
            Defaults stored(_home.filePath(QStringLiteral("Kelvrin/Kelvrin.ini")));
            for (const auto& [key, value] : settings)
                stored.setBool(value, key);
            if (!dataFolder.isEmpty())
                stored.setObject(dataFolder, QStringLiteral("initial_directory"));
            stored.synchronize();
        }
        kelvrin = std::make_unique<RunningKelvrin>(_home.path());
        ASSERT_TRUE(kelvrin->answered());
        for (const QString& text : texts)
            copy(text);
    }
    // On a data folder that holds a set file but no list of the sets, which the launch says in
    // an alert.
    void startWithoutSets() {
        const QString folder = _home.filePath(QStringLiteral("data"));
        QDir().mkpath(folder);
        SetFolder::writeSet(folder, QStringLiteral("Work"), {});
        start({}, {}, folder);
    }
    void copy(const QString& text) {
        copyWithXclip(text.toUtf8());
        ASSERT_TRUE(kelvrin->waitForText(text, 10000));
    }
    bool kelvrinInFront() {
        const auto front = Processes::frontmost();
        return front && front->pid == kelvrin->pid();
    }
    // The hot key pressed over the target, or the paste-window command run there as a desktop's
    // own key binding runs it: whether the paste window came up.
    bool callUpOver(const PasteTarget& target, bool byCommand = false) {
        xdotool({"windowactivate", "--sync", QString::number(target.window())});
        if (!becomesFront(target.window()))
            return false;
        if (byCommand)
            kelvrinCommand({"--paste-window"}, _home.path());
        else
            xdotool({"key", "ctrl+Down"});
        return waitFor([&] { return kelvrinInFront(); });
    }
    // Keys pressed with a pause between them, as a person types.
    static void keys(const QStringList& names) {
        xdotool(QStringList{"key", "--delay", "150"} + names);
    }

    QTemporaryDir _home;
    std::unique_ptr<RunningKelvrin> kelvrin;
};

// Not among the tests rerun under each window manager.
using Shutdown = HotKeyPasteProgram;

} // namespace

// Return right after the hot key (or the paste-window command) pastes the newest clipping, every
// time; Shift+Tab and Tab walk the window's controls, and Return in the paste-mode box still
// pastes; an alert answered with Escape leaves the keyboard in the paste window.
TEST_F(HotKeyPasteProgram, TheKeyboardStaysWithThePasteWindowAndReturnPastesTheNewest) {
    start({"one", "two"});
    PasteTarget target(QStringLiteral("Notes"), {}, QRect(520, 420, 300, 80));
    ASSERT_TRUE(target.ready());

    ASSERT_TRUE(callUpOver(target));
    keys({"Return"});
    ASSERT_TRUE(waitFor([&] { return target.pastes().size() == 1; }));
    copy(QStringLiteral("three"));
    ASSERT_TRUE(callUpOver(target, true));
    keys({"Return"});
    ASSERT_TRUE(waitFor([&] { return target.pastes().size() == 2; }));

    ASSERT_TRUE(callUpOver(target));
    keys({"shift+Tab", "Down", "Return"});
    ASSERT_TRUE(waitFor([&] { return target.pastes().size() == 3; }));
    ASSERT_TRUE(kelvrin->running());

    ASSERT_TRUE(callUpOver(target));
    keys({"shift+Tab", "Tab", "Down", "BackSpace"});
    ASSERT_TRUE(waitFor([&] { return windowsOf(kelvrin->pid()).size() == 2; }))
        << "the delete alert did not come up";
    keys({"Escape"});
    ASSERT_TRUE(waitFor([&] { return windowsOf(kelvrin->pid()).size() == 1; }));
    QTest::qWait(300);
    EXPECT_TRUE(kelvrinInFront()) << "the keyboard went to another program";
    keys({"Return"});
    ASSERT_TRUE(waitFor([&] { return target.pastes().size() == 4; }));
    EXPECT_EQ(target.pastes(),
              (QStringList{"ctrl+v two", "ctrl+v three", "ctrl+v three", "ctrl+v two"}));
    EXPECT_EQ(kelvrin->history(), (QStringList{"three", "two", "one"}));
}

// Hidden when another program comes to the front, the window takes its sheet with it: the sheet
// ends as cancelled, and the set commands work when the window is back.
TEST_F(HotKeyPasteProgram, BackgroundHideEndsAnOpenSheet) {
    start({"one"}, {{QStringLiteral("paste_window_background_hide"), true}});
    PasteTarget target(QStringLiteral("Notes"), {}, QRect(520, 420, 300, 80));
    ASSERT_TRUE(target.ready());
    const auto sheets = [&] { return windowsOf(kelvrin->pid(), QStringLiteral("^Add to Set$")); };
    for (int visit = 0; visit < 2; ++visit) {
        ASSERT_TRUE(callUpOver(target));
        keys({"ctrl+d"});
        ASSERT_TRUE(waitFor([&] { return sheets().size() == 1; })) << "visit " << visit;
        xdotool({"windowactivate", QString::number(target.window())});
        ASSERT_TRUE(waitFor([&] { return windowsOf(kelvrin->pid()).isEmpty(); }))
            << "visit " << visit;
    }
}

// The launch alert and the paste window, closed through the window manager, go and Kelvrin runs
// on. Over an empty desktop a choice goes onto the clipboard and the window goes, as after a
// paste; opened from the command line, the window stays after a choice.
TEST_F(HotKeyPasteProgram, OverAnEmptyDesktopAChoiceGoesOntoTheClipboard) {
    startWithoutSets();
    const QString alert = Strings::localized(QStringLiteral("LoadErrorTitle"));
    QList<quint32> shown;
    ASSERT_TRUE(waitFor([&] { return (shown = windowsOf(kelvrin->pid(), alert)).size() == 1; }));
    closeWithWindowManager(shown.front());
    ASSERT_TRUE(waitFor([&] {
        return windowsOf(kelvrin->pid(), alert).isEmpty() &&
               (shown = windowsOf(kelvrin->pid())).size() == 1;
    })) << "the paste window did not come up";
    closeWithWindowManager(shown.front());
    ASSERT_TRUE(waitFor([] { return !Processes::frontmost(); }));
    ASSERT_TRUE(waitFor([&] { return windowsOf(kelvrin->pid()).isEmpty(); }));
    copy(QStringLiteral("second"));
    copy(QStringLiteral("first"));
    xdotool({"key", "ctrl+Down"});
    ASSERT_TRUE(waitFor([&] { return kelvrinInFront(); }));
    EXPECT_EQ(xdotool({"getwindowname", QString::number(Processes::frontmost()->window)}).value(0),
              Strings::localized(QStringLiteral("PasteWindowTitleDesktop")));
    keys({"Down", "Return"});
    ASSERT_TRUE(waitFor([&] { return windowsOf(kelvrin->pid()).isEmpty(); }));
    EXPECT_EQ(readWithXclip(), "second");

    ASSERT_TRUE(waitFor([] { return !Processes::frontmost(); }));
    ASSERT_EQ(kelvrinCommand({"--show"}, _home.path()).status, 0);
    ASSERT_TRUE(waitFor([&] { return kelvrinInFront(); }));
    keys({"Up", "Return"});
    ASSERT_TRUE(waitFor([&] { return readWithXclip() == "first"; }));
    QTest::qWait(300);
    EXPECT_EQ(windowsOf(kelvrin->pid()).size(), 1);
}

// Ended by the session while the launch alert waits for the user.
TEST_F(Shutdown, ASignalWhileALaunchAlertWaitsSavesEverythingAndEndsAtOnce) {
    startWithoutSets();
    ASSERT_TRUE(waitFor(
        [&] {
            return !windowsOf(kelvrin->pid(), Strings::localized(QStringLiteral("LoadErrorTitle")))
                        .isEmpty();
        },
        30000));
    QElapsedTimer ending;
    ending.start();
    ASSERT_TRUE(kelvrin->terminate(2000)) << "still running after the session ended";
    EXPECT_LT(ending.elapsed(), 2000);
    EXPECT_EQ(kelvrin->exitCode(), 0);
    EXPECT_TRUE(QFile::exists(_home.filePath(QStringLiteral("data/Kelvrin.KVlist"))))
        << "sets not saved";
    EXPECT_TRUE(Defaults(_home.filePath(QStringLiteral("Kelvrin/Kelvrin.ini")))
                    .hasKey(QStringLiteral("paste_window_x")))
        << "settings not saved";
}
