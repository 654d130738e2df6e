// GNOME Shell gives Kelvrin the windows, the keystroke and the hot key through Kelvrin's own
// extension, run here in a headless GNOME Shell with the extension installed as a user installs
// it. The extension answers only the programs it trusts.
#include "tests/wayland/KelvrinInSession.h"

#include "model/ExtraType.h"

#include <gtest/gtest.h>

namespace {

const QString kGdbus = QStringLiteral("/usr/bin/gdbus");

// What the extension answers gdbus, as gdbus prints it; the error when it refused.
WaylandSession::Result askExtension(const GnomeSession& gnome, const QString& method,
                                    const QStringList& arguments = {}) {
    return gnome.run(kGdbus,
                     QStringList{"call", "--session", "--dest", "io.github.kelvrin.Kelvrin.Shell",
                                 "--object-path", "/io/github/kelvrin/Kelvrin/Shell", "--method",
                                 "io.github.kelvrin.Kelvrin.Shell1." + method} +
                         arguments);
}

} // namespace

// The extension tells a program it trusts which window has the keyboard, and refuses every other
// program, the error saying who may ask.
TEST(GnomeExtension, AnswersTheProgramsItTrustsAloneAndTellsTheWindowInFront) {
    QProcess target;
    {
        const GnomeSession gnome({kGdbus});
        ASSERT_TRUE(startPasteTarget(gnome, target));
        WaylandSession::Result front;
        EXPECT_TRUE(waitUntil([&] {
            front = askExtension(gnome, QStringLiteral("ActiveWindow"));
            return front.out.contains("'paste_target'");
        })) << front.out.constData()
            << front.err.constData();
        EXPECT_TRUE(front.out.contains("'Notes'")) << front.out.constData();
        target.terminate();
        target.waitForFinished(5000);
    }
    const GnomeSession gnome({kKelvrin});
    const WaylandSession::Result refused = askExtension(gnome, QStringLiteral("ActiveWindow"));
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE(refused.err.contains("AccessDenied")) << refused.err.constData();
    EXPECT_TRUE(refused.err.contains(kGdbus.toUtf8())) << refused.err.constData();
}

// Kelvrin natively on GNOME's Wayland session, with its extension: the hot key (held by the
// shell) brings the paste window up over a native Wayland program, titled with it and with the
// keyboard, and Return pastes the chosen clipping into it with the keystroke it pastes with:
// Control+V into a Qt window, Control+Shift+V into GNOME's Console.
TEST(GnomeExtension, TheHotKeyCallsTheWindowUpAndReturnPastesIntoWaylandPrograms) {
    const GnomeSession gnome({kKelvrin});
    KelvrinInSession running(gnome);
    ASSERT_TRUE(running.answered());
    EXPECT_TRUE(running.errors().contains("hot key: GNOME Shell (Kelvrin's extension)"))
        << running.errors().constData();
    const auto inFront = [&](const QString& title) {
        return waitUntil([&] {
            return gnome.eval(QStringLiteral("global.display.focus_window ? "
                                             "global.display.focus_window.get_title() : ''")) ==
                   title;
        });
    };
    // Two copies, then the clipping below the newest into a Qt window with Control+V.
    const auto pasteOlderIntoNotes = [&](KelvrinInSession& kelvrin, bool throughXWayland) {
        for (const QString text : {"older", "newest"}) {
            gnome.copy(text.toUtf8());
            ASSERT_TRUE(waitUntil([&] { return kelvrin.newest() == text; }, 20000));
        }
        QProcess target;
        ASSERT_TRUE(startPasteTarget(gnome, target));
        ASSERT_TRUE(inFront(QStringLiteral("Notes")));
        gnome.press({QStringLiteral("Control_L"), QStringLiteral("Down")});
        ASSERT_TRUE(inFront(QStringLiteral("Paste into paste_target")));
        // The shell gives an X11 window the keyboard through XWayland a moment after it says so.
        if (throughXWayland) {
            ASSERT_TRUE(waitUntil([&] {
                return gnome.run(QStringLiteral("xdotool"), {"getwindowfocus", "getwindowname"})
                           .out.trimmed() == "Paste into paste_target";
            }));
        }
        gnome.press({QStringLiteral("Down")});
        gnome.press({QStringLiteral("Return")});
        QByteArray said;
        EXPECT_TRUE(saidLine(target, "paste ctrl+v " + QByteArray("older").toBase64(), said))
            << said.constData() << kelvrin.errors().constData();
        EXPECT_TRUE(inFront(QStringLiteral("Notes")));
        target.terminate();
        target.waitForFinished(5000);
    };
    pasteOlderIntoNotes(running, false);

    SCOPED_TRACE("GNOME's Console gets Control+Shift+V");
    const PastedIntoTerminal console(gnome, QStringLiteral("kgx"), {QStringLiteral("--")});
    ASSERT_TRUE(console.ready());
    const auto consoleInFront = [&] {
        return waitUntil(
            [&] {
                return gnome.eval(QStringLiteral(
                           "global.display.focus_window ? "
                           "global.display.focus_window.get_gtk_application_id() : ''")) ==
                       u"org.gnome.Console";
            },
            20000);
    };
    ASSERT_TRUE(consoleInFront());
    gnome.press({QStringLiteral("Control_L"), QStringLiteral("Down")});
    ASSERT_TRUE(inFront(QStringLiteral("Paste into Console")));
    // The window keeps the row chosen last: the one above it is the newest, which the clipboard
    // does not hold since the paste before.
    gnome.press({QStringLiteral("Up")});
    gnome.press({QStringLiteral("Return")});
    EXPECT_TRUE(waitUntil([&] { return console.typed() == "newest"; }))
        << console.typed().constData();
    EXPECT_TRUE(consoleInFront());
    EXPECT_EQ(running.history().value_or(QList<QJsonObject>()).size(), 2)
        << "our own write taken for a copy";

    SCOPED_TRACE("through XWayland, as after the extension was enabled with Kelvrin running");
    EXPECT_EQ(running.quit(), 0);
    KelvrinInSession throughX11(gnome, {QStringLiteral("KELVRIN_PLATFORM=x11")});
    ASSERT_TRUE(throughX11.answered());
    EXPECT_TRUE(throughX11.errors().contains(
        "clipboard: X11 selection; window in front: GNOME Shell (Kelvrin's extension)"))
        << throughX11.errors().constData();
    pasteOlderIntoNotes(throughX11, true);
}

// An installed extension that is not enabled is offered once, as Kelvrin starts. Declined,
// Kelvrin says what it lacks and still captures through XWayland what a Wayland program copies,
// and the next start does not ask again; accepted, the extension runs and serves Kelvrin at once.
// Without the extension installed Kelvrin says so.
TEST(GnomeExtension, AnInstalledExtensionIsOfferedOnceAndServesWhenEnabled) {
    const QString offer = QStringLiteral("Enable Kelvrin's GNOME Shell extension?");
    const auto answerOffer = [&](const GnomeSession& gnome, const QString& key) {
        return [&gnome, &offer, key] {
            // Brought to the front as the user would click it: a program started from a terminal
            // has no claim to the keyboard.
            const QString activate =
                QStringLiteral("const offer = global.get_window_actors().map(a => a.meta_window)\n"
                               "    .find(w => w.get_title() === \"%1\"); "
                               "if (offer) imports.ui.main.activateWindow(offer); Boolean(offer)")
                    .arg(offer);
            ASSERT_TRUE(waitUntil([&] { return gnome.eval(activate) == u"true"; }, 20000))
                << gnome
                       .eval(QStringLiteral("global.get_window_actors().map(a => "
                                            "a.meta_window.get_title())"))
                       .value_or(QStringLiteral("(no answer)"))
                       .toStdString();
            ASSERT_TRUE(waitUntil([&] {
                return gnome.run(QStringLiteral("xdotool"), {"getwindowfocus", "getwindowname"})
                           .out.trimmed() == offer.toUtf8();
            }));
            gnome.press({key});
        };
    };
    {
        SCOPED_TRACE("declined");
        const GnomeSession gnome({kKelvrin}, GnomeSession::Extension::Disabled);
        {
            KelvrinInSession running(gnome, {}, answerOffer(gnome, QStringLiteral("Escape")));
            ASSERT_TRUE(running.answered());
            gnome.copy("copied on GNOME");
            EXPECT_TRUE(waitUntil([&] { return running.newest() == u"copied on GNOME"; }));
            const QByteArray errors = running.errors();
            EXPECT_EQ(errors.count("Kelvrin's GNOME Shell extension (kelvrin@kelvrin.github.io) "
                                   "does not run"),
                      1)
                << errors.constData();
            EXPECT_TRUE(errors.contains("hot key: X11 (key grab)")) << errors.constData();
        }
        KelvrinInSession again(gnome);
        EXPECT_TRUE(again.answered()) << "asked a second time";
    }
    {
        SCOPED_TRACE("accepted");
        const GnomeSession gnome({kKelvrin}, GnomeSession::Extension::Disabled);
        KelvrinInSession running(gnome, {}, answerOffer(gnome, QStringLiteral("Return")));
        ASSERT_TRUE(running.answered());
        EXPECT_TRUE(running.errors().contains("hot key: GNOME Shell (Kelvrin's extension)"))
            << running.errors().constData();
    }
    {
        SCOPED_TRACE("not installed");
        const GnomeSession gnome({kKelvrin}, GnomeSession::Extension::Absent);
        KelvrinInSession running(gnome);
        ASSERT_TRUE(running.answered());
        EXPECT_TRUE(running.errors().contains("(kelvrin@kelvrin.github.io) is not installed"))
            << running.errors().constData();
    }
}

// What native Wayland programs copy reaches Kelvrin through the shell, each clipping with its
// richer payload: rich text with its text, a picture with its caption. A password manager's
// secret is not kept. When a program quits, the shell keeps a copy of what it had (its text
// alone, without the secret's mark): that is no new copy, and is not captured.
TEST(GnomeExtension, WhatWaylandProgramsCopyIsCapturedButNotASecretNorTheShellsKeptCopy) {
    const GnomeSession gnome({kKelvrin});
    KelvrinInSession running(gnome);
    ASSERT_TRUE(running.answered());
    ASSERT_TRUE(running.errors().contains("clipboard: GNOME Shell (Kelvrin's extension)"))
        << running.errors().constData();
    const auto newestIs = [&](int extraType) {
        return waitUntil([&] {
            return running.history().value_or(QList<QJsonObject>()).value(0).value(u"extraType") ==
                   extraType;
        });
    };
    // Each owner is a window of its own, which copies once it has the keyboard and quits once
    // its copy was seen.
    const auto copy = [&](const QStringList& types, const std::function<bool()>& seen) {
        QProcess owner;
        const bool copied = startPasteTarget(gnome, owner, QStringLiteral("Owner"), types);
        const bool taken = copied && seen();
        owner.terminate();
        owner.waitForFinished(5000);
        return taken;
    };
    ASSERT_TRUE(copy({"text/rtf={\\rtf1\\ansi {\\b bold} words}", "text/plain=bold words"},
                     [&] { return newestIs(ExtraType::RTF); }));
    // Time for Kelvrin to see the secret, which a capture would put at the head.
    ASSERT_TRUE(copy({"text/plain=hunter2", "x-kde-passwordManagerHint=secret"},
                     [] { return QTest::qWait(1000), true; }));
    ASSERT_TRUE(
        copy({"text/plain=a caption", offeredPng(gnome, TestPictures::noise({400, 300}, 7))},
             [&] { return newestIs(ExtraType::TIFF); }))
        << running.errors().constData();
    // Time for the shell's copy of the picture's caption to be taken for a copy.
    QTest::qWait(1000);
    const QList<QJsonObject> history = running.history().value_or(QList<QJsonObject>());
    QByteArray listed;
    for (const QJsonObject& clipping : history)
        listed += QJsonDocument(clipping).toJson(QJsonDocument::Compact) + '\n';
    ASSERT_EQ(history.size(), 2) << listed.constData() << running.errors().constData();
    EXPECT_EQ(history[0][u"contents"].toString(), u"a caption");
    EXPECT_EQ(history[1][u"extraType"].toInt(), ExtraType::RTF);
    EXPECT_EQ(history[1][u"contents"].toString(), u"bold words");
}

// GNOME shows no tray: Kelvrin's icon is in the top bar, with the tray's menu, whose commands run
// as from the tray, each offered only while it can act.
TEST(GnomeExtension, KelvrinsMenuIsInTheTopBar) {
    const GnomeSession gnome({kKelvrin});
    KelvrinInSession running(gnome);
    ASSERT_TRUE(running.answered());
    const QString items = QStringLiteral("imports.ui.main.panel.statusArea.kelvrin.menu"
                                         "._getMenuItems()");
    const auto menu = [&] {
        return gnome
            .eval(items + QStringLiteral(".map(item => item.label && item.label.text "
                                         "|| '-').join('|')"))
            .value_or(QString());
    };
    EXPECT_TRUE(waitUntil([&] { return menu().startsWith(u"Show Paste Window|-|Select All|"); }))
        << menu().toStdString();
    EXPECT_TRUE(menu().endsWith(u"|-|Preferences…|-|Quit")) << menu().toStdString();
    // Whether each command can act is asked as the user opens the menu: there is no set of the
    // user's own to delete.
    const auto offered = [&] {
        return gnome
            .eval(items + QStringLiteral(".filter(item => item.label && item.label.text)"
                                         ".map(item => (item.sensitive ? '+' : '-') + "
                                         "item.label.text).join('|')"))
            .value_or(QString());
    };
    gnome.eval(QStringLiteral("imports.ui.main.panel.statusArea.kelvrin.menu.open(false)"));
    EXPECT_TRUE(waitUntil([&] {
        const QString now = offered();
        return now.contains(u"-Delete Set…") && now.contains(u"+Preferences…") &&
               now.contains(u"+Quit");
    })) << offered().toStdString();
    gnome.eval(items + QStringLiteral(".find(item => item.label && item.label.text === 'Quit')"
                                      ".activate(imports.gi.Clutter.get_current_event())"));
    EXPECT_TRUE(running.ends(10000)) << "the menu's Quit did not quit";
}

// The hot key is one Kelvrin's while it runs; one that ends without letting go of it (killed) does
// not keep the keys from the user, nor leaves its icon behind: the shell lets go of the keys, and
// another program may have them.
TEST(GnomeExtension, TheKeysOfAKelvrinThatDiesAreFreeAgain) {
    const GnomeSession gnome({kKelvrin, kGdbus});
    KelvrinInSession running(gnome);
    ASSERT_TRUE(running.answered());
    ASSERT_TRUE(running.errors().contains("hot key: GNOME Shell (Kelvrin's extension)"));
    const auto grab = [&] {
        return askExtension(gnome, QStringLiteral("GrabHotKey"), {QStringLiteral("<Control>Down")})
            .out;
    };
    EXPECT_EQ(grab(), "(false,)\n") << "taken from the Kelvrin that holds it";
    const auto hasIcon = [&] {
        return gnome.eval(QStringLiteral("Boolean(imports.ui.main.panel.statusArea.kelvrin)")) ==
               u"true";
    };
    EXPECT_TRUE(waitUntil(hasIcon));
    gnome.run(QStringLiteral("pkill"), {"-KILL", "-x", "kelvrin"});
    ASSERT_TRUE(running.ends(5000));
    EXPECT_TRUE(waitUntil([&] { return grab() == "(true,)\n"; }));
    EXPECT_FALSE(hasIcon());
}
