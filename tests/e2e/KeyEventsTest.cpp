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

namespace {

// A key the user keeps down until it goes, whatever the test's outcome.
struct HeldKey {
    explicit HeldKey(const QString& key) : key(key) { xdotool({QStringLiteral("keydown"), key}); }
    ~HeldKey() { xdotool({QStringLiteral("keyup"), key}); }
    QString key;
};

// The window manager names the target active a moment after the target has the focus; until
// then it may still move the focus, and a keystroke sent meanwhile can go astray.
std::optional<Processes::Application> waitUntilInFront(const PasteTarget& target) {
    std::optional<Processes::Application> front;
    waitFor([&] {
        front = Processes::frontmost();
        return front && front->window == target.window();
    });
    return front && front->window == target.window() ? front : std::nullopt;
}

// What the application does on a paste into the target: asks who is in front, then sends the
// keystroke that program pastes with.
bool pasteInto(const PasteTarget& target) {
    const std::optional<Processes::Application> front = waitUntilInFront(target);
    return front &&
           KeyEvents::sendPaste(KeyEvents::pasteKeystroke(front->windowClass, front->instance));
}

} // namespace

TEST(KeyEvents, PastesWithControlVAndIntoATerminalWithControlShiftV) {
    const QString text = QStringLiteral("first line\nsecond, ümlaut");
    copyWithXclip(text.toUtf8());
    {
        PasteTarget editor(QStringLiteral("Editor"));
        ASSERT_TRUE(editor.ready());
        EXPECT_TRUE(pasteInto(editor));
        EXPECT_TRUE(waitFor([&] { return !editor.pastes().isEmpty(); }));
        EXPECT_EQ(editor.pastes(), QStringList{QStringLiteral("ctrl+v ") + text});
    }
    PasteTarget terminal(QStringLiteral("Terminal"), QStringLiteral("Gnome-terminal"));
    ASSERT_TRUE(terminal.ready());
    EXPECT_TRUE(pasteInto(terminal));
    EXPECT_TRUE(waitFor([&] { return !terminal.pastes().isEmpty(); }));
    EXPECT_EQ(terminal.pastes(), QStringList{QStringLiteral("ctrl+shift+v ") + text});
}

// The hot key's modifiers may still be down when the user picks the clipping: Shift would turn
// the paste into Control+Shift+V, Alt or Super into another command of the program.
TEST(KeyEvents, PasteWaitsUntilTheModifiersAreReleased) {
    copyWithXclip("held");
    PasteTarget target(QStringLiteral("Target"));
    ASSERT_TRUE(target.ready());
    ASSERT_TRUE(waitUntilInFront(target));
    const QStringList keys{QStringLiteral("ctrl"), QStringLiteral("shift"), QStringLiteral("alt"),
                           QStringLiteral("super")};
    for (const QString& key : keys) {
        xdotool({QStringLiteral("keydown"), key});
        QProcess release;
        release.start(QStringLiteral("xdotool"), {QStringLiteral("sleep"), QStringLiteral("0.3"),
                                                  QStringLiteral("keyup"), key});
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(KeyEvents::sendPaste(KeyEvents::Paste::ControlV)) << key.toStdString();
        EXPECT_GE(timer.elapsed(), 250) << key.toStdString();
        ASSERT_TRUE(release.waitForFinished());
    }
    EXPECT_TRUE(waitFor([&] { return target.pastes().size() == keys.size(); }));
    EXPECT_EQ(target.pastes(), QStringList(keys.size(), QStringLiteral("ctrl+v held")));
}

TEST(KeyEvents, PasteGivesUpAfterASecondOfAModifierHeldAndSendsNothing) {
    copyWithXclip("never");
    PasteTarget target(QStringLiteral("Target"));
    ASSERT_TRUE(target.ready());
    ASSERT_TRUE(waitUntilInFront(target));
    {
        const HeldKey control(QStringLiteral("ctrl"));
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(KeyEvents::sendPaste(KeyEvents::Paste::ControlV));
        EXPECT_GE(timer.elapsed(), 1000);
        EXPECT_LT(timer.elapsed(), 1500);
    }
    // Time for a keystroke sent after all to arrive.
    QTest::qWait(500);
    EXPECT_EQ(target.pastes(), QStringList());
}

// The paste goes in the group the user types in: V sits elsewhere on a Dvorak keyboard, and where
// the active group has no V at all (Russian) the group with one is taken for the keystroke only.
TEST(KeyEvents, PastesWithTheVOfTheActiveGroup) {
    copyWithXclip("layout");
    PasteTarget target(QStringLiteral("Target"));
    ASSERT_TRUE(target.ready());
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
        QProcess setxkbmap;
        setxkbmap.start(QStringLiteral("setxkbmap"),
                        {"-layout", layout.layouts, "-variant", layout.variants});
        ASSERT_TRUE(setxkbmap.waitForFinished(10000)) << "setxkbmap is not installed";
        XkbLockGroup(display, XkbUseCoreKbd, unsigned(layout.group));
        XSync(display, False);
        ASSERT_TRUE(waitFor([&] { return activeGroup() == layout.group; }));
        const qsizetype before = target.pastes().size();
        EXPECT_TRUE(pasteInto(target));
        EXPECT_TRUE(waitFor([&] { return target.pastes().size() > before; }));
        EXPECT_EQ(target.pastes().mid(before), QStringList{"ctrl+v layout"});
        EXPECT_EQ(activeGroup(), layout.group);
    }
    XCloseDisplay(display);
}
