// The paste window as the window manager sees it, read back with xprop: on every workspace, out
// of the task bar and the pager after every show, and above other windows when asked; and the
// preferences, whose hot key and always-on-top reach the keyboard and the manager at once.
#include "tests/e2e/E2eHarness.h"

#include "app/PreferencesWindow.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// What xprop reports of the window: the manager's state and the hints.
struct Hints {
    QString wmState;
    QString desktop;
    QStringList states;
};

QString xprop(const QStringList& arguments) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), arguments);
    EXPECT_TRUE(xprop.waitForFinished(5000)) << "xprop is not installed";
    return QString::fromUtf8(xprop.readAllStandardOutput());
}

Hints hints(WId window) {
    Hints hints;
    const QString output =
        xprop({"-id", QString::number(window), "WM_STATE", "_NET_WM_DESKTOP", "_NET_WM_STATE"});
    for (const QString& line : output.split('\n')) {
        const QString value = line.section(QStringLiteral(" = "), 1);
        if (line.contains(QStringLiteral("window state: ")))
            hints.wmState = line.section(QStringLiteral(": "), 1);
        else if (line.startsWith(QStringLiteral("_NET_WM_DESKTOP(")))
            hints.desktop = value;
        else if (line.startsWith(QStringLiteral("_NET_WM_STATE(")))
            for (const QString& state : value.split(QStringLiteral(", ")))
                hints.states << state.section(QStringLiteral("_NET_WM_STATE_"), 1);
    }
    return hints;
}

bool shownAsWanted(const Hints& hints, bool above) {
    return hints.wmState == u"Normal" && hints.desktop == u"4294967295" &&
           hints.states.contains(QStringLiteral("SKIP_TASKBAR")) &&
           hints.states.contains(QStringLiteral("SKIP_PAGER")) &&
           hints.states.contains(QStringLiteral("ABOVE")) == above;
}

// Waits for the manager to show the window as wanted, then gives it time to change its mind: a
// late withdrawal of an earlier show would drop the hints after they were seen.
::testing::AssertionResult showsAsWanted(WId window, bool above) {
    waitFor([&] { return shownAsWanted(hints(window), above); }, 5000);
    QTest::qWait(300);
    const Hints seen = hints(window);
    if (shownAsWanted(seen, above))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "WM_STATE " << seen.wmState.toStdString() << ", desktop "
           << seen.desktop.toStdString() << ", states " << seen.states.join(' ').toStdString();
}

struct HideCounter : QObject {
    int hides = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        hides += event->type() == QEvent::Hide;
        return false;
    }
};

} // namespace

TEST(WindowHints, EveryShowPutsThePasteWindowOnEveryWorkspaceOutOfTaskbarAndPagerAndOnTop) {
    Kelvrin kelvrin;
    PasteWindow& window = kelvrin.window();
    const WId id = window.getWindow()->winId();
    EXPECT_TRUE(showsAsWanted(id, false)) << "first show";
    // Withdrawn, the window loses its hints with most managers.
    window.pasteWindowOrderOut();
    ASSERT_TRUE(waitFor([&] { return hints(id).wmState != u"Normal"; }));
    window.showPasteWindow();
    EXPECT_TRUE(showsAsWanted(id, false)) << "shown again";
    // Shown again before the manager has withdrawn it.
    window.pasteWindowOrderOut();
    window.showPasteWindow();
    EXPECT_TRUE(showsAsWanted(id, false)) << "shown again at once";
    if (!xprop({"-root", "_NET_SUPPORTED"}).contains(QStringLiteral("_NET_WM_STATE_ABOVE")))
        return; // this window manager keeps no window above the others (i3)

    HideCounter counter;
    window.getWindow()->installEventFilter(&counter);
    window.setWindowLevel(1);
    EXPECT_TRUE(showsAsWanted(id, true)) << "put on top while shown";
    window.setWindowLevel(0);
    EXPECT_TRUE(showsAsWanted(id, false)) << "taken off the top while shown";
    EXPECT_EQ(counter.hides, 0) << "the window was hidden to change its level";

    window.setWindowLevel(1);
    window.pasteWindowOrderOut();
    window.showPasteWindow();
    EXPECT_TRUE(showsAsWanted(id, true)) << "on top, shown again";
    window.pasteWindowOrderOut();
    window.setWindowLevel(0);
    window.showPasteWindow();
    EXPECT_TRUE(showsAsWanted(id, false)) << "taken off the top while hidden";
    // Asked before the manager has taken the window.
    window.pasteWindowOrderOut();
    window.showPasteWindow();
    window.setWindowLevel(1);
    EXPECT_TRUE(showsAsWanted(id, true)) << "put on top as it was shown";
}

TEST(PreferencesOnScreen, ANewHotKeyWorksAtOnceAndTheOldOneNoLonger) {
    Kelvrin kelvrin;
    PasteTarget target(QStringLiteral("Notes"), {}, QRect(520, 420, 300, 80));
    ASSERT_TRUE(target.ready());
    // A hot key answers in a few milliseconds; two seconds without one mean none.
    ASSERT_TRUE(pressOver(kelvrin, target.window(), {QStringLiteral("ctrl+Down")}, 2000));

    kelvrin.app().menuPreferences();
    PreferencesWindow& prefs = *kelvrin.app().preferencesWindow();
    ASSERT_TRUE(waitFor([&] { return prefs.isVisible(); }));
    prefs.preferencesShift()->click();
    prefs.preferencesKey()->setCurrentIndex(8);
    ASSERT_EQ(prefs.preferencesKey()->currentText(), QStringLiteral("F5"));
    prefs.preferencesAlwaysOnTop()->click();
    prefs.okButton()->click();
    EXPECT_FALSE(prefs.isVisible());
    const WId paste = kelvrin.window().getWindow()->winId();
    EXPECT_TRUE(waitFor([&] { return hints(paste).states.contains(QStringLiteral("ABOVE")); }))
        << "always on top at once";

    EXPECT_FALSE(pressOver(kelvrin, target.window(), {QStringLiteral("ctrl+Down")}, 2000));
    EXPECT_TRUE(pressOver(kelvrin, target.window(), {QStringLiteral("ctrl+shift+F5")}, 2000));
    EXPECT_TRUE(kelvrin.app().sendPSN() && kelvrin.app().sendPSN()->window == target.window());
}
