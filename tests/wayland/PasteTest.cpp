// The paste as a person makes it on sway: the compositor's key binding runs the paste-window
// command over a program, the paste window floats up with the keyboard, and Return pastes the
// clipping into that program with the keystroke it pastes with.
#include "tests/wayland/KelvrinInSession.h"
#include "tests/wayland/OwnConnection.h"

#include "ScopedEnvironment.h"
#include "platform/wayland/wlroots/WlrootsKeyEvents.h"
#include "platform/wayland/wlroots/WlrootsToplevels.h"

#include <gtest/gtest.h>

// The binding brings the paste window up floating over the target, titled with it; Return pastes
// with Control+V, or Control+Shift+V into a terminal (foot), and the target keeps the keyboard.
// The settings' hot key cannot be had, and the user is told once what to bind instead.
TEST(PasteOnSway, TheBindingCallsTheWindowUpAndReturnPastesIntoTheProgramBehind) {
    const SwaySession sway(kKelvrin + QStringLiteral(" --paste-window"));
    // The sway description of the window that has the keyboard once it is the program's.
    const auto focusedOnceItIs = [&](const QString& appId) {
        QJsonObject focused;
        waitUntil([&] {
            focused = sway.focusedWindow();
            return focused.value(QStringLiteral("app_id")).toString() == appId;
        });
        return focused;
    };
    // Super+Shift+V as the user presses it over the program in front: the paste window's
    // description once it has the keyboard.
    const auto callUp = [&] {
        sway.type({"-M", "logo", "-M", "shift", "-k", "v", "-m", "shift", "-m", "logo"});
        return focusedOnceItIs(QStringLiteral(KELVRIN_APP_ID));
    };
    // Kelvrin's window is up from the launch; a program started later takes the keyboard from it,
    // not the reverse.
    KelvrinInSession running(sway);
    ASSERT_EQ(focusedOnceItIs(QStringLiteral(KELVRIN_APP_ID))[u"app_id"].toString(),
              QStringLiteral(KELVRIN_APP_ID));
    for (const QString text : {"older", "newest"}) {
        sway.copy(text.toUtf8());
        ASSERT_TRUE(waitUntil([&] { return running.newest() == text; }));
    }
    QProcess target;
    ASSERT_TRUE(startPasteTarget(sway, target));

    // Each choice differs from what the clipboard holds before it.
    for (const auto& [key, chosen] : {std::pair("Down", "older"), std::pair("Up", "newest")}) {
        SCOPED_TRACE(chosen);
        ASSERT_EQ(focusedOnceItIs(QStringLiteral("paste_target"))[u"name"].toString(), u"Notes");
        const QJsonObject window = callUp();
        EXPECT_EQ(window[u"name"].toString(), u"Paste into paste_target");
        EXPECT_EQ(window[u"type"].toString(), u"floating_con");
        sway.type({"-k", key, "-k", "Return"});
        ASSERT_TRUE(waitUntil([&] { return target.canReadLine(); }));
        EXPECT_EQ(target.readLine().trimmed(), "paste ctrl+v " + QByteArray(chosen).toBase64());
        EXPECT_TRUE(waitUntil([&] { return !pasteWindow(sway); }));
    }
    EXPECT_EQ(running.errors().count("bind a key of the compositor to the command "
                                     "kelvrin --paste-window"),
              1);
    target.terminate();
    target.waitForFinished(5000);

    SCOPED_TRACE("a terminal, known by its app_id, gets Control+Shift+V");
    const PastedIntoTerminal foot(sway, QStringLiteral("foot"), {QStringLiteral("--")});
    ASSERT_TRUE(foot.ready());
    focusedOnceItIs(QStringLiteral("foot"));
    EXPECT_EQ(callUp()[u"name"].toString(), u"Paste into Foot");
    sway.type({"-k", "Down", "-k", "Return"});
    EXPECT_TRUE(waitUntil([&] { return foot.typed() == "older"; })) << foot.typed().constData();
    EXPECT_EQ(focusedOnceItIs(QStringLiteral("foot"))[u"app_id"].toString(), u"foot");
}

// The keystroke goes to the target only while the compositor has it activated: a window that
// took the keyboard from it after it was brought back (a dialog) gets nothing.
TEST(PasteOnSway, TheKeystrokeGoesToTheTargetAloneNeverToAWindowInItsPlace) {
    const SwaySession sway(kKelvrin);
    sway.copy("meant for the notes");
    const ScopedEnvironment display{{"WAYLAND_DISPLAY", qPrintable(sway.socketPath())}};
    const std::unique_ptr<WaylandConnection> connection = openWatched();
    ASSERT_TRUE(connection);
    const std::shared_ptr<WlrootsToplevels> toplevels = WlrootsToplevels::open(*connection);
    ASSERT_TRUE(toplevels);
    WlrootsKeyEvents keys(*connection, toplevels);
    QProcess notes, dialog;
    QByteArray notesSaid, dialogSaid;
    for (const auto& [process, title] :
         {std::pair(&notes, "Notes"), std::pair(&dialog, "Dialog")}) {
        ASSERT_TRUE(startPasteTarget(sway, *process, QString::fromLatin1(title)));
    }
    // The window in front once sway has given the keyboard to the one of that title.
    const auto focus = [&](const QString& title) {
        sway.run(QStringLiteral("swaymsg"), {QStringLiteral("[title=\"%1\"] focus").arg(title)});
        std::optional<Toplevels::Toplevel> front;
        connection->waitUntil(
            [&] { return (front = toplevels->activated()) && front->title == title; }, 5000);
        return front.value_or(Toplevels::Toplevel());
    };
    const quint32 target = focus(QStringLiteral("Notes")).id;
    ASSERT_NE(target, 0u);
    ASSERT_NE(focus(QStringLiteral("Dialog")).id, 0u);
    EXPECT_FALSE(keys.sendPaste(KeyEvents::Paste::ControlV, target));
    EXPECT_FALSE(saidLine(dialog, "paste ctrl+v " + QByteArray("meant for the notes").toBase64(),
                          dialogSaid, 500));

    ASSERT_EQ(focus(QStringLiteral("Notes")).id, target);
    EXPECT_TRUE(keys.sendPaste(KeyEvents::Paste::ControlV, target));
    EXPECT_TRUE(
        saidLine(notes, "paste ctrl+v " + QByteArray("meant for the notes").toBase64(), notesSaid));
    for (QProcess* window : {&notes, &dialog})
        window->terminate(), window->waitForFinished(5000);
}

// A compositor without data-control, the window list or the virtual keyboard (weston): each
// missing protocol is told of once, and the binding's command still brings the paste window up.
TEST(PasteWithoutWlroots, EachMissingProtocolIsToldOfOnce) {
    const SwaySession sway(kKelvrin);
    // Beside sway, in the same session: a compositor that offers none of the wlroots protocols.
    QProcess weston;
    sway.start(weston, QStringLiteral("weston"),
               {"--backend=headless-backend.so", "--socket=weston-1", "--idle-time=0"});
    ASSERT_TRUE(waitUntil([&] {
        return sway.run(QStringLiteral("sh"), {"-c", "test -S \"$XDG_RUNTIME_DIR/weston-1\""})
                   .status == 0;
    }));
    KelvrinInSession running(sway, {"WAYLAND_DISPLAY=weston-1", "KELVRIN_PLATFORM=wayland"});
    ASSERT_TRUE(running.answered());
    for (int press = 0; press < 2; ++press)
        EXPECT_EQ(sway.run(kKelvrin, {QStringLiteral("--paste-window")}).status, 0);
    EXPECT_EQ(running.quit(), 0);
    const QByteArray errors = running.errors();
    EXPECT_EQ(errors.count("(ext_data_control_manager_v1, zwlr_data_control_manager_v1): nothing "
                           "is captured"),
              1)
        << errors.constData();
    EXPECT_EQ(errors.count("(zwlr_foreign_toplevel_manager_v1)"), 1) << errors.constData();
    EXPECT_EQ(errors.count("(zwp_virtual_keyboard_manager_v1)"), 1) << errors.constData();
    weston.terminate();
    weston.waitForFinished(5000);
}
