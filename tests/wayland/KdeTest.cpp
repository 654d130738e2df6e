// Plasma's KWin lists every program's window, with its pid and which one is active, only to a
// program that its installed desktop file trusts. Through that list Kelvrin knows the program in
// front and names it in the paste window's title.
#include "tests/wayland/KelvrinInSession.h"

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
std::optional<QList<Listed>> windows(const KwinSession& kwin, const QString& program = kKdeWindows) {
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
    ASSERT_EQ(kwin.run(kKelvrin, {QStringLiteral("--paste-window")}).status, 0);
    EXPECT_TRUE(waitForWindow(kwin, QStringLiteral("Paste into paste_target"),
                              [](const Listed& window) {
                                  return window.appId == QLatin1String(KELVRIN_APP_ID);
                              }));
}

// Run from a path KWin does not trust, Kelvrin says once why the program in front is unknown, and
// still captures.
TEST(KdeWindows, AnUntrustedKelvrinSaysWhyOnceAndStillCaptures) {
    const KwinSession kwin({});
    KelvrinInSession running(kwin);
    ASSERT_TRUE(running.answered());
    kwin.copy("copied under KWin");
    EXPECT_TRUE(waitUntil([&] { return running.newest() == u"copied under KWin"; }));
    EXPECT_EQ(running.errors().count("KWin refused us its list of windows"), 1)
        << running.errors().constData();
    EXPECT_TRUE(running.errors().contains("window in front: none"));
}

// The preferences' hot key is a global shortcut of KDE's shortcut daemon: the daemon holds the
// combination for Kelvrin, and a press of it (as the daemon's invokeShortcut makes one) brings the
// paste window up, titled with the program in front.
TEST(KdeWindows, TheHotKeyIsAGlobalShortcutOfKdesDaemonAndCallsThePasteWindowUp) {
    const KwinSession kwin({kKelvrin, kKdeWindows});
    KelvrinInSession running(kwin);
    ASSERT_TRUE(running.answered());
    EXPECT_TRUE(running.errors().contains("hot key: KDE (global shortcut)"))
        << running.errors().constData();
    const auto askDaemon = [&](const QString& path, const QString& method,
                               const QStringList& arguments) {
        return kwin
            .run(QStringLiteral("dbus-send"),
                 QStringList{"--session", "--print-reply", "--dest=org.kde.kglobalaccel", path,
                             method} +
                     arguments)
            .out;
    };
    const QString app = QStringLiteral(KELVRIN_APP_ID);
    // Control+Down, as Qt numbers it.
    const int controlDown = int(Qt::ControlModifier) | Qt::Key_Down;
    EXPECT_TRUE(askDaemon(QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel.shortcut"),
                          {QStringLiteral("array:string:%1,paste-window,Kelvrin,Paste Window").arg(app)})
                    .contains("int32 " + QByteArray::number(controlDown)));

    QProcess target;
    ASSERT_TRUE(startPasteTarget(kwin, target));
    ASSERT_TRUE(waitForWindow(kwin, QStringLiteral("Notes"), isActive));
    const QByteArray component = askDaemon(QStringLiteral("/kglobalaccel"),
                                           QStringLiteral("org.kde.KGlobalAccel.getComponent"),
                                           {QStringLiteral("string:") + app});
    const QString path = QString::fromUtf8(component.mid(component.indexOf("\"/") + 1))
                             .section(u'"', 0, 0);
    ASSERT_TRUE(path.startsWith(u"/component/")) << component.constData();
    askDaemon(path, QStringLiteral("org.kde.kglobalaccel.Component.invokeShortcut"),
              {QStringLiteral("string:paste-window")});
    EXPECT_TRUE(waitForWindow(kwin, QStringLiteral("Paste into paste_target"),
                              [&](const Listed& window) { return window.appId == app; }));
}
