// Plasma's KWin lists every program's window, with its pid and which one is active, only to a
// program that its installed desktop file trusts. Through that list Kelvrin knows the program in
// front and names it in the paste window's title.
#include "tests/wayland/KelvrinInSession.h"

#include "model/ExtraType.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

const QString kKdeWindows = QStringLiteral(KDE_WINDOWS);

struct Listed {
    bool active = false;
    qint64 pid = 0;
    QString appId;
    QString title;
};

// The windows as kde_windows reads KWin's list, run by the program given; absent when it failed.
std::optional<QList<Listed>> windows(const KwinSession& kwin,
                                     const QString& program = kKdeWindows) {
    const WaylandSession::Result listed = kwin.run(program, {QStringLiteral("list")});
    if (listed.status != 0)
        return std::nullopt;
    QList<Listed> windows;
    for (const QString& line : QString::fromUtf8(listed.out).split(u'\n')) {
        const QStringList fields = line.split(u' ');
        if (fields.size() >= 4)
            windows << Listed{fields[0] == u"1", fields[1].toLongLong(), fields[2],
                              line.section(u' ', 3)};
    }
    return windows;
}

// The window so titled, once KWin lists it as asked.
std::optional<Listed> waitForWindow(const KwinSession& kwin, const QString& title,
                                    const std::function<bool(const Listed&)>& condition) {
    std::optional<Listed> found;
    waitUntil([&] {
        for (const Listed& window : windows(kwin).value_or(QList<Listed>()))
            if (window.title == title && condition(window))
                return bool(found = window);
        return false;
    });
    return found;
}

bool isActive(const Listed& window) {
    return window.active;
}

// Kelvrin's window, with the keyboard.
bool isKelvrins(const Listed& window) {
    return window.appId == QLatin1String(KELVRIN_APP_ID) && window.active;
}

// Types the keys, named as xkbcommon names them, as the user would.
void type(const KwinSession& kwin, const QStringList& keys) {
    EXPECT_EQ(kwin.run(kKdeWindows, QStringList{QStringLiteral("type")} + keys).status, 0)
        << qPrintable(keys.join(u' '));
}

} // namespace

// Every window with its pid, the last one mapped active; activating one moves the keyboard to
// it. The same program from a path KWin does not trust is refused the list.
TEST(KdeWindows, ATrustedProgramSeesEveryWindowWithItsPidAndActivatesOne) {
    const KwinSession kwin({kKdeWindows});
    QProcess notes, mail;
    ASSERT_TRUE(startPasteTarget(kwin, notes, QStringLiteral("Notes")));
    ASSERT_TRUE(startPasteTarget(kwin, mail, QStringLiteral("Mail")));
    const std::optional<Listed> front = waitForWindow(kwin, QStringLiteral("Mail"), isActive);
    ASSERT_TRUE(front);
    EXPECT_EQ(front->appId, u"paste_target");
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(front->pid));
    ASSERT_TRUE(commandLine.open(QIODevice::ReadOnly)) << front->pid;
    EXPECT_TRUE(commandLine.readAll().contains("Mail"));

    EXPECT_EQ(kwin.run(kKdeWindows, {QStringLiteral("activate"), QStringLiteral("Notes")}).status,
              0);
    EXPECT_TRUE(waitForWindow(kwin, QStringLiteral("Mail"), std::not_fn(isActive)));

    const QString copy = kwin.home() + QStringLiteral("/kde_windows");
    ASSERT_TRUE(QFile::copy(kKdeWindows, copy));
    kwin.handOver(copy);
    EXPECT_EQ(kwin.run(copy, {QStringLiteral("list")}).status, 3);
}

// Trusted, Kelvrin takes the program in front from KWin's list: the paste window called up over
// it is titled with it.
TEST(KdeWindows, KelvrinNamesTheProgramInFrontInThePasteWindowsTitle) {
    const KwinSession kwin({kKelvrin, kKdeWindows});
    KelvrinInSession running(kwin);
    ASSERT_TRUE(running.answered());
    EXPECT_TRUE(running.errors().contains("window in front: KDE (plasma window management)"))
        << running.errors().constData();
    QProcess target;
    ASSERT_TRUE(startPasteTarget(kwin, target));
    ASSERT_TRUE(waitForWindow(kwin, QStringLiteral("Notes"), isActive));
    EXPECT_EQ(kwin.run(kKdeWindows, {QStringLiteral("type"), QStringLiteral("a")}).status, 0);
    ASSERT_EQ(kwin.run(kKelvrin, {QStringLiteral("--paste-window")}).status, 0);
    EXPECT_TRUE(waitForWindow(kwin, QStringLiteral("Paste into paste_target"), isKelvrins));
}

// Run from a path KWin does not trust, Kelvrin says once why the program in front is unknown, and
// still captures what Wayland programs copy, in their form, leaving a password manager's secret.
TEST(KdeWindows, AnUntrustedKelvrinSaysWhyOnceAndStillCaptures) {
    const KwinSession kwin({});
    KelvrinInSession running(kwin);
    ASSERT_TRUE(running.answered());
    kwin.copy("copied under KWin");
    EXPECT_TRUE(waitUntil([&] { return running.newest() == u"copied under KWin"; }));
    {
        ClipOwner secret(kwin, {"text/plain=hunter2", "x-kde-passwordManagerHint=secret"});
        ASSERT_TRUE(secret.waitForLine("sent x-kde-passwordManagerHint"));
    }
    {
        ClipOwner rich(kwin, {"text/rtf={\\rtf1\\ansi {\\b bold} words}", "text/plain=bold words"});
        ASSERT_TRUE(rich.waitForLine("ready"));
        ASSERT_TRUE(running.waitForSize(2));
    }
    const QList<QJsonObject> history = running.history().value_or(QList<QJsonObject>());
    ASSERT_EQ(history.size(), 2) << "the secret kept";
    EXPECT_EQ(history[0][u"contents"].toString(), u"bold words");
    EXPECT_EQ(history[0][u"extraType"].toInt(), ExtraType::RTF);
    const QByteArray errors = running.errors();
    EXPECT_EQ(errors.count("KWin refused us its list of windows"), 1) << errors.constData();
    EXPECT_TRUE(errors.contains("window in front: none; keystroke: none")) << errors.constData();
    EXPECT_FALSE(errors.contains("fake input")) << errors.constData();
}

// The whole motion on Plasma: the preferences' hot key (Control+Down) is a global shortcut of KDE's
// shortcut daemon, which holds the combination for Kelvrin; pressing it brings the paste window up
// over the program in front, titled with it and with the keyboard, although the user was typing
// there a moment ago, and Return pastes the chosen clipping into that program with the keystroke
// it pastes with: Control+V into a Qt window, Control+Shift+V into Konsole.
TEST(KdeWindows, TheHotKeyCallsTheWindowUpAndReturnPastesIntoTheProgramBehind) {
    const KwinSession kwin({kKelvrin, kKdeWindows});
    KelvrinInSession running(kwin);
    ASSERT_TRUE(running.answered());
    for (const char* service : {"window in front: KDE (plasma window management)",
                                "keystroke: KDE (fake input)", "hot key: KDE (global shortcut)"})
        EXPECT_TRUE(running.errors().contains(service)) << running.errors().constData();
    for (const QString text : {"older", "newest"}) {
        kwin.copy(text.toUtf8());
        ASSERT_TRUE(waitUntil([&] { return running.newest() == text; }));
    }

    QProcess target;
    ASSERT_TRUE(startPasteTarget(kwin, target));
    ASSERT_TRUE(waitForWindow(kwin, QStringLiteral("Notes"), isActive));
    type(kwin, {QStringLiteral("a"), QStringLiteral("Control_L+Down")});
    ASSERT_TRUE(waitForWindow(kwin, QStringLiteral("Paste into paste_target"), isKelvrins));
    type(kwin, {QStringLiteral("Down"), QStringLiteral("Return")});
    QByteArray said;
    EXPECT_TRUE(saidLine(target, "paste ctrl+v " + QByteArray("older").toBase64(), said))
        << said.constData();
    EXPECT_TRUE(waitForWindow(kwin, QStringLiteral("Notes"), isActive));
    target.terminate();
    target.waitForFinished(5000);

    SCOPED_TRACE("Konsole gets Control+Shift+V");
    const PastedIntoTerminal konsole(kwin, QStringLiteral("konsole"), {"--separate", "-e"},
                                     {QStringLiteral("QT_QPA_PLATFORM=wayland")});
    ASSERT_TRUE(konsole.ready());
    const auto konsoleInFront = [&] {
        const QList<Listed> all = windows(kwin).value_or(QList<Listed>());
        return std::ranges::any_of(all, [](const Listed& window) {
            return window.appId == u"org.kde.konsole" && window.active;
        });
    };
    ASSERT_TRUE(waitUntil(konsoleInFront, 20000));
    type(kwin, {QStringLiteral("Control_L+Down")});
    ASSERT_TRUE(waitForWindow(kwin, QStringLiteral("Paste into Konsole"), isKelvrins));
    // The window keeps the row chosen last: the one above it is the newest, which the clipboard
    // does not hold since the paste before.
    type(kwin, {QStringLiteral("Up"), QStringLiteral("Return")});
    EXPECT_TRUE(waitUntil([&] { return konsole.typed() == "newest"; }))
        << konsole.typed().constData();
    EXPECT_TRUE(konsoleInFront());
    EXPECT_EQ(running.history().value_or(QList<QJsonObject>()).size(), 2)
        << "our own write taken for a copy";
}
