// The whole round: the hot key pressed over another program brings the paste window up, a
// clipping chosen with the keyboard lands in that program.
#include "tests/e2e/E2eHarness.h"

#include "ScriptedAlerts.h"
#include "platform/Defaults.h"
#include "platform/Processes.h"
#include "platform/Strings.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// Presses the hot key (Control+Down by default) over the target, 20 times a second when pressed
// more than once; the name the target goes by.
QString callUpOver(Kelvrin& kelvrin, quint32 target, int presses = 1) {
    std::optional<Processes::Application> front;
    EXPECT_TRUE(pressOver(kelvrin, target, QStringList(presses, QStringLiteral("ctrl+Down")), 10000,
                          &front));
    return front ? front->name : QString();
}

} // namespace

// The round over an ordinary program, a terminal, a stock xterm and a program that closed
// meanwhile; typing filters the window.
TEST(HotKeyPaste, TheWindowComesUpNamedAfterTheTargetAndReturnPastesIntoIt) {
    Kelvrin kelvrin;
    copyEach(kelvrin, {"second", "first"});
    PasteWindow& window = kelvrin.window();
    PasteTarget target(QStringLiteral("Notes"), {}, QRect(520, 420, 300, 80));
    ASSERT_TRUE(target.ready());
    {
        SCOPED_TRACE("a burst of presses");
        // The first press brings the window up, the rest land on our own window and only beep.
        // One window, the target kept, nothing queued up behind.
        const QByteArray name = callUpOver(kelvrin, target.window(), 20).toUtf8();
        ASSERT_FALSE(name.isEmpty());
        QTest::qWait(200);
        EXPECT_EQ(window.getWindow()->windowTitle(),
                  Strings::localizedFormat(QStringLiteral("PasteWindowTitleFront"),
                                           {int(name.size()), name}));
        EXPECT_TRUE(kelvrin.app().sendPSN() && kelvrin.app().sendPSN()->window == target.window());
        EXPECT_TRUE(pasteWindowActive(kelvrin));
        // The tray icon, where the desktop has a tray, is a window of its own.
        QStringList shown;
        for (const QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && !widget->inherits("QSystemTrayIconSys"))
                shown << QString::fromLatin1(widget->metaObject()->className());
        EXPECT_EQ(shown, QStringList{"PasteWin"});

        xdotool({"key", "Down", "Down", "Return"});
        ASSERT_TRUE(waitFor([&] { return !target.pastes().isEmpty(); }));
        EXPECT_EQ(target.pastes(), QStringList{"ctrl+v second"});
        EXPECT_TRUE(waitFor([&] { return !window.isWindowVisible(); })) << "hidden after a paste";
        EXPECT_EQ(kelvrin.texts(), (QStringList{"first", "second"})) << "our paste is no capture";
        EXPECT_TRUE(waitFor([&] {
            return window.getWindow()->windowTitle() ==
                   Strings::localized(QStringLiteral("PasteWindowTitleBack"));
        })) << "retitled in the background";
    }
    {
        SCOPED_TRACE("Escape, then a terminal");
        // The row pasted last stays chosen: Up goes to the newest.
        copyEach(kelvrin, {"for the terminal"});
        PasteTarget terminal(QStringLiteral("Shell"), QStringLiteral("kitty"),
                             QRect(520, 420, 300, 80));
        ASSERT_TRUE(terminal.ready());
        callUpOver(kelvrin, terminal.window());
        xdotool({"key", "Escape"});
        ASSERT_TRUE(becomesFront(terminal.window()));
        EXPECT_FALSE(window.isWindowVisible());
        EXPECT_TRUE(terminal.pastes().isEmpty());
        // Qt hears of the lost focus a moment later; a person takes longer than that to press
        // the hot key again.
        ASSERT_TRUE(
            waitFor([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }));
        callUpOver(kelvrin, terminal.window());
        xdotool({"key", "Up", "Return"});
        ASSERT_TRUE(waitFor([&] { return !terminal.pastes().isEmpty(); }));
        EXPECT_EQ(terminal.pastes(), QStringList{"ctrl+shift+v for the terminal"});
    }
    {
        SCOPED_TRACE("typing filters");
        copyEach(kelvrin, {"Crème brûlée", "crepe"});
        callUpOver(kelvrin, target.window());
        // Shift for the capital is no command key; the accent need not be typed.
        xdotool({"type", "--delay", "40", "Crem"});
        const QAbstractItemModel* rows = window.table()->model();
        ASSERT_TRUE(waitFor([&] { return rows->rowCount() == 1; }));
        EXPECT_EQ(rows->index(0, 0).data().toInt(), 2) << "the row keeps its number";
        EXPECT_EQ(window.getWindow()->filter()->text(), QStringLiteral("Crem"));
        xdotool({"key", "Return"});
        ASSERT_TRUE(waitFor([&] { return target.pastes().size() == 2; }));
        EXPECT_EQ(target.pastes().back(), QStringLiteral("ctrl+v Crème brûlée"));
        EXPECT_TRUE(waitFor([&] { return !window.isWindowVisible(); }));
        EXPECT_FALSE(window.isFilterOpen());
        EXPECT_EQ(rows->rowCount(), 5);
    }
    {
        // Stock xterm reads Control+Shift+V as "literal next"; it pastes the primary selection
        // with Shift+Insert, and the primary selection holds the clipping too.
        SCOPED_TRACE("stock xterm");
        copyEach(kelvrin, {"typed in xterm"});
        QTemporaryDir folder;
        const QString typed = folder.filePath(QStringLiteral("typed"));
        QProcess xterm;
        xterm.start(QStringLiteral("xterm"), {"-geometry", "60x5+520+420", "-e", "sh", "-c",
                                              "stty raw -echo && exec cat > \"$0\"", typed});
        ASSERT_TRUE(xterm.waitForStarted()) << "xterm is not installed";
        std::optional<Processes::Application> front;
        ASSERT_TRUE(waitFor([&] {
            front = Processes::frontmost();
            return front && front->windowClass == u"XTerm" && QFile::exists(typed);
        }));
        callUpOver(kelvrin, front->window);
        xdotool({"key", "Up", "Return"});
        QByteArray received;
        waitFor([&] {
            QFile file(typed);
            received = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return received == "typed in xterm";
        });
        EXPECT_EQ(received, "typed in xterm");
        xterm.terminate();
        xterm.waitForFinished(3000);
    }
    SCOPED_TRACE("a target that closed gets nothing and the window stays");
    auto gone = std::make_unique<PasteTarget>(QStringLiteral("Gone"));
    ASSERT_TRUE(gone->ready());
    callUpOver(kelvrin, gone->window());
    gone.reset();
    QElapsedTimer paste;
    paste.start();
    xdotool({"key", "Return"});
    ASSERT_TRUE(waitFor([&] { return !kelvrin.app().sendPSN(); }));
    EXPECT_LT(paste.elapsed(), 2000);
    EXPECT_TRUE(window.isWindowVisible());
}

// The keystroke waits while the user keeps a key down; a window that takes the focus from the
// target meanwhile (a dialog coming up over it) gets nothing: the clipping waits on the
// clipboard, and Kelvrin beeps.
TEST(HotKeyPaste, AWindowThatTookTheFocusFromTheTargetGetsNoPasteAndKelvrinBeeps) {
    Kelvrin kelvrin;
    copyEach(kelvrin, {"meant for the notes"});
    PasteTarget target(QStringLiteral("Notes"), {}, QRect(100, 100, 300, 80));
    PasteTarget dialog(QStringLiteral("Dialog"), {}, QRect(520, 420, 300, 80));
    ASSERT_TRUE(target.ready() && dialog.ready());
    callUpOver(kelvrin, target.window());
    const ScriptedAlerts alerts;
    xdotool({"keydown", "ctrl"});
    QProcess meanwhile;
    meanwhile.start(QStringLiteral("sh"),
                    {"-c", QStringLiteral("sleep 0.3; xdotool windowactivate %1; sleep 0.3; "
                                          "xdotool keyup ctrl")
                               .arg(dialog.window())});
    EXPECT_FALSE(kelvrin.app().doPasteCommand(*kelvrin.history().front()));
    ASSERT_TRUE(meanwhile.waitForFinished());
    EXPECT_EQ(alerts.beeps(), 1);
    QTest::qWait(300);
    EXPECT_TRUE(dialog.pastes().isEmpty()) << dialog.pastes().join(u',').toStdString();
    EXPECT_TRUE(target.pastes().isEmpty());
    EXPECT_EQ(readWithXclip(), "meant for the notes");
}

// With the hide setting off the window stays after a paste; in RTF mode the rich text goes
// along with the plain one.
TEST(HotKeyPasteSettings, RtfModeOffersTheRichTextAndTheWindowStaysWhenHideIsOff) {
    Kelvrin kelvrin(Kelvrin::Start::NotLaunched);
    kelvrin.defaults().setInteger(0, QStringLiteral("paste_window_hide"));
    kelvrin.defaults().setInteger(1, QStringLiteral("paste_window_mode"));
    kelvrin.launch();
    const QByteArray rich = "{\\rtf1\\ansi {\\b bold} words}";
    {
        ClipOwner owner({QString::fromUtf8("text/rtf=" + rich), "UTF8_STRING=bold words"});
        ASSERT_TRUE(kelvrin.waitForHistory(1));
    }
    PasteTarget target(QStringLiteral("Writer"));
    ASSERT_TRUE(target.ready());
    callUpOver(kelvrin, target.window());
    xdotool({"key", "Return"});
    ASSERT_TRUE(waitFor([&] { return !target.pastes().isEmpty(); }));
    EXPECT_EQ(target.pastes(), QStringList{"ctrl+v bold words"});
    const QMimeData* offered = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->data(QStringLiteral("text/rtf")), rich);
    QTest::qWait(200);
    EXPECT_TRUE(kelvrin.window().isWindowVisible());
}

// With background hide every window goes when another program comes to the front.
TEST(HotKeyPasteSettings, BackgroundHideHidesTheWindowWhenAnotherProgramComesToTheFront) {
    Kelvrin kelvrin(Kelvrin::Start::NotLaunched);
    kelvrin.defaults().setBool(true, QStringLiteral("paste_window_background_hide"));
    kelvrin.launch();
    PasteTarget target(QStringLiteral("Notes"));
    ASSERT_TRUE(target.ready());
    callUpOver(kelvrin, target.window());
    ASSERT_TRUE(kelvrin.window().isWindowVisible());
    // Where the desktop has a tray (i3's bar has one) the icon stays in it.
    const auto trayIcons = [] {
        return std::ranges::count_if(QApplication::topLevelWidgets(), [](const QWidget* widget) {
            return widget->isVisible() && widget->inherits("QSystemTrayIconSys");
        });
    };
    const auto iconsBefore = trayIcons();
    xdotool({"windowactivate", QString::number(target.window())});
    EXPECT_TRUE(waitFor([&] { return !kelvrin.window().isWindowVisible(); }));
    EXPECT_FALSE(kelvrin.app().sendPSN());
    EXPECT_EQ(trayIcons(), iconsBefore);
}
