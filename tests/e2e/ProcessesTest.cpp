// The application in front and the way back to it, as the window manager sees them; paste_target
// windows stand in for the user's programs.
#include "tests/e2e/E2eHarness.h"

#include "ScopedEnvironment.h"

#include "platform/Processes.h"
#include "platform/x11/X11Connection.h"

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>

// Last: Xlib's macros (None, Bool, Status) would break Qt's headers.
#include <X11/Xlib.h>

namespace {

// The activation requests sent to the window manager, heard on the root window as any client
// may hear them, whether or not the manager acts on them.
class ActivationRequests {
public:
    ActivationRequests() : _display(XOpenDisplay(nullptr)) {
        _activeWindow = XInternAtom(_display, "_NET_ACTIVE_WINDOW", False);
        XSelectInput(_display, DefaultRootWindow(_display), SubstructureNotifyMask);
        XSync(_display, False);
    }
    ~ActivationRequests() { XCloseDisplay(_display); }

    // The source indication and time of each request for the window heard so far.
    QList<std::pair<quint32, quint32>> of(quint32 window) {
        XSync(_display, False);
        while (XPending(_display)) {
            XEvent event;
            XNextEvent(_display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == _activeWindow)
                _heard.insert(quint32(event.xclient.window),
                              {quint32(event.xclient.data.l[0]), quint32(event.xclient.data.l[1])});
        }
        return _heard.values(window);
    }

private:
    Display* _display;
    Atom _activeWindow;
    QMultiMap<quint32, std::pair<quint32, quint32>> _heard;
};

} // namespace

TEST(Processes, FrontmostIsTheApplicationOfTheActiveWindowAndOnlyAShownOneComesToTheFront) {
    EXPECT_FALSE(Processes::frontmost()) << "no window is active on a new display";
    {
        PasteTarget target(QStringLiteral("Front"), QStringLiteral("Kelvrin-Target"));
        ASSERT_TRUE(target.ready());
        ASSERT_TRUE(becomesFront(target.window()));
        const auto front = Processes::frontmost();
        ASSERT_TRUE(front);
        EXPECT_EQ(front->pid, target.pid());
        EXPECT_EQ(front->windowClass, QStringLiteral("Kelvrin-Target"));
        EXPECT_EQ(front->instance, QStringLiteral("paste_target"));
        EXPECT_EQ(front->name, QStringLiteral("Kelvrin-Target"));
        EXPECT_FALSE(Processes::isCurrent(front->window));

        // Named as the desktop names the program, in the user's language.
        const ScopedEnvironment environment{
            {"XDG_DATA_HOME", KELVRIN_SOURCE_DIR "/tests/fixtures/desktop/notes"},
            {"LC_ALL", "de_DE.UTF-8"}};
        EXPECT_EQ(Processes::frontmost()->name, QStringLiteral("Notizen"));
    }
    {
        // One of our own, without WM_CLASS: named after its process.
        QWidget own;
        own.setWindowTitle(QStringLiteral("Own"));
        const auto ownWindow = quint32(own.winId());
        xcb_delete_property(X11Connection::get()->connection(), ownWindow, XCB_ATOM_WM_CLASS);
        own.show();
        ASSERT_TRUE(Processes::bringToFront(ownWindow));
        const auto ours = Processes::frontmost();
        ASSERT_TRUE(ours);
        EXPECT_EQ(ours->window, ownWindow);
        EXPECT_TRUE(ours->windowClass.isEmpty());
        EXPECT_EQ(ours->name, QStringLiteral("e2e_tests"));
        EXPECT_TRUE(Processes::isCurrent(ours->window));
    }

    auto closed = std::make_unique<PasteTarget>(QStringLiteral("Closed"));
    ASSERT_TRUE(closed->ready());
    const quint32 window = closed->window();
    closed.reset();
    // openbox still names the closed window active.
    EXPECT_FALSE(Processes::frontmost());
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(Processes::bringToFront(window));
    EXPECT_LT(timer.elapsed(), 250) << "waited for a closed window";

    // There, but never shown: no manager activates it.
    QWindow hidden;
    hidden.create();
    timer.restart();
    EXPECT_FALSE(Processes::bringToFront(quint32(hidden.winId())));
    EXPECT_GE(timer.elapsed(), 500);
    EXPECT_LT(timer.elapsed(), 1000);

    // A shown window comes within half a second. Our own is activated at the hot key's time, as
    // the application asks: none of the managers the tests run under holds such a request to its
    // time, so the request is checked.
    QWidget own;
    own.setWindowTitle(QStringLiteral("Paste window"));
    own.show();
    ASSERT_TRUE(becomesFront(quint32(own.winId())));
    PasteTarget first(QStringLiteral("First"), {}, QRect(100, 100, 300, 80));
    PasteTarget second(QStringLiteral("Second"), {}, QRect(500, 100, 300, 80));
    ASSERT_TRUE(first.ready() && second.ready());
    ASSERT_TRUE(becomesFront(second.window()));

    ActivationRequests requests;
    const xcb_timestamp_t before = X11Connection::get()->serverTime();
    for (const PasteTarget* target : {&first, &second, &first, &first}) {
        timer.restart();
        EXPECT_TRUE(Processes::bringToFront(target->window()));
        EXPECT_LT(timer.elapsed(), 500);
        EXPECT_TRUE(becomesFront(target->window(), 0)) << "not in front on return";
    }
    // As a pager, at the server's real time: some managers log a pager at CurrentTime as buggy.
    const auto heard = requests.of(first.window());
    ASSERT_EQ(heard.size(), 3);
    EXPECT_EQ(heard.front().first, 2u);
    EXPECT_GE(heard.front().second, before);

    const xcb_timestamp_t pressed = X11Connection::get()->serverTime();
    ASSERT_NE(pressed, xcb_timestamp_t(XCB_CURRENT_TIME));
    Processes::activate(&own, {pressed, {}});
    EXPECT_TRUE(becomesFront(quint32(own.winId())));
    EXPECT_TRUE(
        requests.of(quint32(own.winId())).contains(std::pair<quint32, quint32>(1, pressed)));
}
