// The menus on a real display, chosen with the real pointer and keyboard: the paste window's
// menu bar, and the tray icon in a system tray that starts after Kelvrin.
#include "tests/e2e/E2eHarness.h"

#include "platform/Processes.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QMenuBar>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, Status) would break the names above.
#include <X11/Xlib.h>

namespace {

void click(QPoint at, int button = 1) {
    xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click",
             QString::number(button)});
}

// Clicks the item once its menu is up; false when it is not offered.
bool choose(QMenu* menu, const char* item) {
    if (!waitFor([&] { return menu->isVisible(); }))
        return false;
    for (QAction* action : menu->actions())
        if (action->objectName() == QLatin1String(item) && action->isEnabled()) {
            click(menu->mapToGlobal(menu->actionGeometry(action).center()));
            return waitFor([&] { return !menu->isVisible(); });
        }
    return false;
}

// Where the tray shows our icon, in screen coordinates; empty while no tray has taken it in. The
// icon's window is the one the window manager does not manage: a tray takes it into its own.
QRect iconInTray() {
    Display* display = qApp->nativeInterface<QNativeInterface::QX11Application>()->display();
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        const auto id = Window(widget->winId());
        Window root = 0, parent = 0, *children = nullptr, child = 0;
        unsigned count = 0;
        int x = 0, y = 0;
        if (!widget->isVisible() || !widget->windowFlags().testFlag(Qt::BypassWindowManagerHint) ||
            !XQueryTree(display, id, &root, &parent, &children, &count))
            continue;
        XFree(children);
        if (parent != root && XTranslateCoordinates(display, id, root, 0, 0, &x, &y, &child))
            return QRect(QPoint(x, y), widget->size());
    }
    return {};
}

class MenusOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        copyEach(kelvrin, {"third", "second", "first"});
        ASSERT_TRUE(QTest::qWaitForWindowActive(window().getWindow()));
    }

    PasteWindow& window() { return kelvrin.window(); }
    bool active() { return QApplication::activeWindow() == window().getWindow(); }

    Kelvrin kelvrin;
};

} // namespace

TEST_F(MenusOnScreen, TheMenuBarIsChosenWithTheMouseAndItsShortcutsWithTheKeyboard) {
    auto* bar = window().getWindow()->findChild<QMenuBar*>();
    auto* edit = bar->findChild<QMenu*>(QStringLiteral("MenuEdit"));
    click(bar->mapToGlobal(bar->actionGeometry(edit->menuAction()).center()));
    ASSERT_TRUE(choose(edit, "MenuSelectAllData"));
    EXPECT_TRUE(waitFor([&] { return window().selectedRows() == 3; }));

    xdotool({"key", "ctrl+d"});
    // Escape goes to the sheet only once the window manager has made it active.
    ASSERT_TRUE(
        waitFor([&] { return QApplication::activeWindow() == window().setSelectWindow(); }));
    xdotool({"key", "Escape"});
    ASSERT_TRUE(waitFor([&] { return !window().setSelectWindow()->isVisible(); }));
    EXPECT_EQ(window().bShowSheet(), 0);
    EXPECT_TRUE(waitFor([&] { return active(); })) << "the keys go to the window again";

    auto* file = bar->findChild<QMenu*>(QStringLiteral("MenuFile"));
    click(bar->mapToGlobal(bar->actionGeometry(file->menuAction()).center()));
    ASSERT_TRUE(choose(file, "MenuQuit"));
    EXPECT_TRUE(waitFor([&] { return kelvrin.app().isQuitting(); }));
    EXPECT_FALSE(window().isWindowVisible());
}

using Tray = MenusOnScreen;

TEST_F(Tray, TheIconJoinsATrayThatStartsLaterAndBringsTheWindowBack) {
    QSystemTrayIcon* icon = kelvrin.app().statusItem();
    QProcess tray;
    // Where the desktop has no tray yet, one starts after Kelvrin; i3's bar has one at once.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        tray.start(QStringLiteral("trayer"),
                   {"--edge", "bottom", "--align", "right", "--widthtype", "request", "--height",
                    "32", "--SetDockType", "true", "--transparent", "false"});
        ASSERT_TRUE(tray.waitForStarted()) << "trayer is not installed";
    }
    // The tray lays its icons out again as they come: the place must hold still for a while.
    QRect place, before;
    ASSERT_TRUE(waitFor([&] {
        before = std::exchange(place, iconInTray());
        QTest::qWait(100);
        return !place.isEmpty() && place == before;
    })) << "the icon never joined the tray";

    // As after a paste, the program the user works in comes back and the paste window goes.
    PasteTarget target(QStringLiteral("Notes"), {}, QRect(520, 300, 300, 80));
    ASSERT_TRUE(target.ready());
    auto elsewhere = [&] {
        ASSERT_TRUE(Processes::bringToFront(target.window()));
        ASSERT_TRUE(waitFor([] { return !QGuiApplication::focusWindow(); }));
        window().pasteWindowOrderOut();
        // Shown again before the manager has taken it away, it may stay in the background.
        ASSERT_TRUE(
            waitFor([] { return windowsOf(QCoreApplication::applicationPid()).isEmpty(); }));
    };

    // The icon's menu offers only to show the hidden window, and does; so does a click.
    elsewhere();
    click(place.center(), 3);
    ASSERT_FALSE(choose(icon->contextMenu(), "MenuSelectAllData"));
    ASSERT_TRUE(choose(icon->contextMenu(), "MenuShowWindow"));
    EXPECT_TRUE(waitFor([&] { return active(); }));
    elsewhere();
    click(place.center());
    EXPECT_TRUE(waitFor([&] { return active(); }));

    // The icon is no window the user works in: the hot key, pressed over the program the user
    // works in, still brings the paste window up.
    elsewhere();
    EXPECT_TRUE(pressOver(kelvrin, target.window(), {"ctrl+Down"}));
    tray.terminate();
    tray.waitForFinished(3000);
}
