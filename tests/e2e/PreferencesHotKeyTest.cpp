// The preferences as the user meets them on a real desktop: a hot key changed there is the one the
// keyboard answers to at once, and always-on-top reaches the window manager at once.
#include "tests/e2e/E2eHarness.h"

#include "app/PreferencesWindow.h"
#include "platform/Processes.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A hot key answers in a few milliseconds; two seconds without one mean none.
bool pressHotKeyOver(Kelvrin& kelvrin, const PasteTarget& target, const QString& keys) {
    return pressOver(kelvrin, target.window(), {keys}, 2000);
}

bool above(WId window) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window), QStringLiteral("_NET_WM_STATE")});
    return xprop.waitForFinished(5000) &&
           xprop.readAllStandardOutput().contains("_NET_WM_STATE_ABOVE");
}

} // namespace

TEST(PreferencesOnScreen, ANewHotKeyWorksAtOnceAndTheOldOneNoLonger) {
    Kelvrin kelvrin;
    PasteTarget target(QStringLiteral("Notes"), {}, QRect(520, 420, 300, 80));
    ASSERT_TRUE(target.ready());
    ASSERT_TRUE(pressHotKeyOver(kelvrin, target, QStringLiteral("ctrl+Down")));

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
    EXPECT_TRUE(waitFor([&] { return above(paste); })) << "always on top at once";

    EXPECT_FALSE(pressHotKeyOver(kelvrin, target, QStringLiteral("ctrl+Down")));
    EXPECT_TRUE(pressHotKeyOver(kelvrin, target, QStringLiteral("ctrl+shift+F5")));
    EXPECT_TRUE(kelvrin.app().sendPSN() && kelvrin.app().sendPSN()->window == target.window());
}
