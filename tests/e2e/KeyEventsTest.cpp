// The paste keystroke as the program in front receives it, through the X server's keyboard.
#include "tests/e2e/E2eHarness.h"

#include "platform/KeyEvents.h"
#include "platform/Processes.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, Status) would break Qt's headers.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

// The hot key's modifiers may still be down when the user picks the clipping: Shift would turn
// the paste into Control+Shift+V, Alt or Super into another command of the program. Held for
// more than a second, nothing is sent.
TEST(KeyEvents, PasteWaitsUntilTheModifiersAreReleasedAndPastesWithTheVOfTheActiveGroup) {
    copyWithXclip("held");
    PasteTarget target(QStringLiteral("Target"));
    // A keystroke sent before the window manager has named the target active may go astray.
    ASSERT_TRUE(target.ready() && becomesFront(target.window()));
    const QStringList keys{"ctrl", "shift", "alt", "super"};
    for (const QString& key : keys) {
        SCOPED_TRACE(key.toStdString());
        xdotool({"keydown", key});
        QProcess release;
        release.start(QStringLiteral("xdotool"), {"sleep", "0.3", "keyup", key});
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(KeyEvents::sendPaste(KeyEvents::Paste::ControlV, target.window()));
        EXPECT_GE(timer.elapsed(), 250);
        ASSERT_TRUE(release.waitForFinished());
    }
    EXPECT_TRUE(waitFor([&] { return target.pastes().size() == keys.size(); }));
    EXPECT_EQ(target.pastes(), QStringList(keys.size(), QStringLiteral("ctrl+v held")));

    xdotool({"keydown", "ctrl"});
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(KeyEvents::sendPaste(KeyEvents::Paste::ControlV, target.window()));
    EXPECT_GE(timer.elapsed(), 1000);
    EXPECT_LT(timer.elapsed(), 1500);
    xdotool({"keyup", "ctrl"});
    // Time for a keystroke sent after all to arrive.
    QTest::qWait(500);
    EXPECT_EQ(target.pastes().size(), keys.size());

    // The paste goes in the group the user types in: V sits elsewhere on a Dvorak keyboard, and
    // where the active group has no V at all (Russian) the group with one is taken for the
    // keystroke only.
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const auto activeGroup = [&] {
        XkbStateRec state;
        XkbGetState(display, XkbUseCoreKbd, &state);
        return int(state.group);
    };
    struct Layout {
        const char* layouts;
        const char* variants;
        int group;
    };
    for (const Layout& layout : {Layout{"us,us", ",dvorak", 1}, Layout{"ru,us", "", 0}}) {
        SCOPED_TRACE(layout.layouts);
        setLayout(layout.layouts, layout.variants);
        XkbLockGroup(display, XkbUseCoreKbd, unsigned(layout.group));
        XSync(display, False);
        ASSERT_TRUE(waitFor([&] { return activeGroup() == layout.group; }));
        const qsizetype before = target.pastes().size();
        ASSERT_TRUE(becomesFront(target.window()));
        const auto front = Processes::frontmost();
        EXPECT_TRUE(KeyEvents::sendPaste(
            KeyEvents::pasteKeystroke(front->windowClass, front->instance), front->window));
        EXPECT_TRUE(waitFor([&] { return target.pastes().size() > before; }));
        EXPECT_EQ(target.pastes().mid(before), QStringList{"ctrl+v held"});
        EXPECT_EQ(activeGroup(), layout.group);
    }
    XCloseDisplay(display);
}
