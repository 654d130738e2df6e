// The hot key pressed as the user presses it, through xdotool on the real keyboard, and seen as
// the application sees it: pushed to the receiver it was installed with.
#include "tests/e2e/E2eHarness.h"

#include "platform/HotKey.h"
#include "platform/Log.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>
#include <algorithm>
#include <thread>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

// Last: Xlib's macros (None, Bool, Status) would break gtest's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

constexpr quint8 kUp = 126, kDown = 125, kF5 = 96, kA = 0;

// A hot key whose presses are recorded as the application takes them, with their times; it also
// counts every key press the X server sends on the way, repeats included.
class RecordedHotKey : public QAbstractNativeEventFilter {
public:
    RecordedHotKey() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~RecordedHotKey() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    bool install(quint8 keyCode, quint16 modifierMask) {
        return _hotKey.install(keyCode, modifierMask, [this](const HotKey::Press& press) {
            times.append(press.timestamp.value_or(0));
        });
    }
    void uninstall() { _hotKey.uninstall(); }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        keyPresses +=
            type == "xcb_generic_event_t" &&
            (static_cast<xcb_generic_event_t*>(message)->response_type & 0x7F) == XCB_KEY_PRESS;
        return false;
    }

    QList<quint32> times;
    int keyPresses = 0;

private:
    HotKey _hotKey;
};

// Presses Control and the key that gives the keysym in any group, whichever group is active.
void pressWithControl(KeySym keysym) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode key = XKeysymToKeycode(display, keysym);
    ASSERT_NE(key, 0);
    for (const auto& [code, down] : {std::pair{control, True}, std::pair{key, True},
                                     std::pair{key, False}, std::pair{control, False}})
        XTestFakeKeyEvent(display, code, down, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
}

// Runs xdotool to its end, our event loop held meanwhile: the presses are read after.
void pressKeys(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(process.waitForFinished(10000)) << "xdotool is not installed";
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

class HotKeyGrab : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(_marker.install(kUp, HotKey::ControlKey)); }

    // The X server delivers events in the order the keys were pressed: once a press of Control+Up,
    // grabbed by a hot key of its own, has come through, every key pressed before it has too.
    // Then the hot key has counted the presses expected in all.
    void settle(qsizetype expected) {
        const qsizetype marks = _marker.times.size();
        pressKeys({"key", "ctrl+Up"});
        ASSERT_TRUE(waitFor([&] { return _marker.times.size() > marks; }));
        EXPECT_EQ(hotKey.times.size(), expected);
    }
    // Presses the keys and waits until the hot key has counted that many presses in all.
    void pressUntil(const QStringList& keys, qsizetype count) {
        pressKeys(QStringList{"key"} + keys);
        ASSERT_TRUE(waitFor([&] { return hotKey.times.size() == count; }));
    }

    RecordedHotKey hotKey;

private:
    RecordedHotKey _marker;
};

// Holds Control+Down for a second, long enough for the keyboard to repeat it several times.
void holdControlDown(const RecordedHotKey& raw) {
    pressKeys({"keydown", "ctrl+Down"});
    const int before = raw.keyPresses;
    QTest::qWait(1000);
    pressKeys({"keyup", "ctrl+Down"});
    ASSERT_GE(raw.keyPresses - before, 3) << "the X server did not repeat the held key";
}

} // namespace

// Each press counts once, with the server's time, whatever locks are on (Num Lock need not be
// Mod2); a held key fires once, whether repeated as release and press pairs (Qt's connection) or
// as presses alone (detectable auto-repeat). A combination another program grabbed is told of.
TEST_F(HotKeyGrab, EachPressCountsOnceWithAnyLocksHeldGrabbedElsewhereOrInAnyLayout) {
    ASSERT_TRUE(hotKey.install(kDown, HotKey::ControlKey));
    pressUntil({"ctrl+Down"}, 1);
    EXPECT_NE(hotKey.times[0], 0u);

    // Two presses in quick succession are two, not one repeated.
    pressUntil({"ctrl+Down", "ctrl+Down"}, 3);

    pressKeys({"key", "Down", "ctrl+shift+Down", "alt+Down"});
    settle(3);

    pressUntil({"Caps_Lock", "ctrl+Down"}, 4);
    pressUntil({"Num_Lock", "ctrl+Down"}, 5);
    pressUntil({"Caps_Lock", "ctrl+Down"}, 6);
    settle(6);
    EXPECT_TRUE(std::is_sorted(hotKey.times.begin(), hotKey.times.end()));

    hotKey.uninstall();
    // Num Lock off again on the way.
    pressKeys({"key", "Num_Lock", "ctrl+Down"});
    settle(6);

    ASSERT_TRUE(hotKey.install(kDown, HotKey::ControlKey));
    holdControlDown(hotKey);
    settle(7);

    Display* display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
    ASSERT_NE(display, nullptr);
    Bool supported = False;
    ASSERT_TRUE(XkbSetDetectableAutoRepeat(display, True, &supported) && supported);
    holdControlDown(hotKey);
    settle(8);

    hotKey.uninstall();
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XGrabKey(other, XKeysymToKeycode(other, XK_Down), ControlMask, DefaultRootWindow(other), False,
             GrabModeAsync, GrabModeAsync);
    XSync(other, False);

    Log::Capture log;
    EXPECT_FALSE(hotKey.install(kDown, HotKey::ControlKey));
    EXPECT_EQ(log.lines(), QStringList(QStringLiteral("warning*** :[installHotKeyEvent] [the hot "
                                                      "key Control+Down is held by another "
                                                      "program]")));
    pressKeys({"key", "ctrl+Down"});
    settle(8);

    XUngrabKey(other, XKeysymToKeycode(other, XK_Down), ControlMask, DefaultRootWindow(other));
    XCloseDisplay(other);
    ASSERT_TRUE(hotKey.install(kDown, HotKey::ControlKey));
    pressUntil({"ctrl+Down"}, 9);

    // A letter is found in whichever group of the layout has it, and the grab follows the letter
    // to its new key when the layout changes.
    hotKey.uninstall();
    hotKey.times.clear();
    setLayout(QStringLiteral("ru,us"));
    ASSERT_TRUE(hotKey.install(kA, HotKey::ControlKey));
    pressWithControl(XK_a);
    ASSERT_TRUE(waitFor([&] { return hotKey.times.size() == 1; }));

    // On a French keyboard A is where Q was.
    setLayout(QStringLiteral("fr"));
    settle(1);
    pressWithControl(XK_a);
    ASSERT_TRUE(waitFor([&] { return hotKey.times.size() == 2; }));
    pressWithControl(XK_q);
    settle(2);

    other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XModifierKeymap* map = XGetModifierMapping(other);
    const KeyCode numLock = XKeysymToKeycode(other, XK_Num_Lock);
    map = XDeleteModifiermapEntry(map, numLock, Mod2MapIndex);
    map = XInsertModifiermapEntry(map, numLock, Mod3MapIndex);
    ASSERT_EQ(XSetModifierMapping(other, map), MappingSuccess);
    XFreeModifiermap(map);
    XCloseDisplay(other);

    hotKey.uninstall();
    ASSERT_TRUE(hotKey.install(kF5, HotKey::CommandKey | HotKey::OptionKey | HotKey::ShiftKey));
    pressUntil({"Num_Lock", "super+alt+shift+F5"}, 3);
    // Num Lock off again: the marker's grab was made before Num Lock moved.
    pressKeys({"key", "alt+shift+F5", "Num_Lock"});
    settle(3);
}

// Each change of the keyboard's map grabs the combination anew, and a press that comes right after
// the change still counts: the old grab holds until the new one does. (The first key xdotool
// sends switches the server to its device's map, and the hot key follows a moment later.)
TEST_F(HotKeyGrab, APressRightAfterTheKeyboardMapChangesCounts) {
    ASSERT_TRUE(hotKey.install(kDown, HotKey::ControlKey));
    constexpr int kRounds = 40;
    std::thread keyboard([] {
        Display* display = XOpenDisplay(nullptr);
        const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
        const KeyCode down = XKeysymToKeycode(display, XK_Down);
        // A key no layout here uses, given a new keysym in each round.
        constexpr KeyCode kSpare = 250;
        for (int round = 0; round < kRounds; ++round) {
            KeySym keysym = round % 2 ? XK_F20 : XK_F21;
            XChangeKeyboardMapping(display, kSpare, 1, &keysym, 1);
            for (const auto& [code, pressed] : {std::pair{control, True}, std::pair{down, True},
                                                std::pair{down, False}, std::pair{control, False}})
                XTestFakeKeyEvent(display, code, pressed, CurrentTime);
            XSync(display, False);
            // A press at the time of the last release would be the server's auto-repeat.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        XCloseDisplay(display);
    });
    const bool counted = waitFor([&] { return hotKey.times.size() == kRounds; });
    keyboard.join();
    EXPECT_TRUE(counted) << hotKey.times.size() << " of " << kRounds << " presses counted";
}
