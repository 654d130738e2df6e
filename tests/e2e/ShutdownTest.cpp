// Kelvrin as a process, ended by the session while it waits for the user.
#include "tests/e2e/E2eHarness.h"

#include "platform/Defaults.h"
#include "platform/Strings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

bool windowIsShown(const QString& title) {
    QProcess search;
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--name"), title});
    return search.waitForFinished(5000) && !search.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

TEST(Shutdown, ASignalWhileALaunchAlertWaitsSavesEverythingAndEndsAtOnce) {
    QTemporaryDir home;
    const QString dataFolder = home.filePath(QStringLiteral("data"));
    QDir().mkpath(dataFolder); // holds no sets yet: launch says so in an alert
    {
        Defaults settings(home.filePath(QStringLiteral("Kelvrin/Kelvrin.ini")));
        settings.setObject(dataFolder, QStringLiteral("initial_directory"));
        settings.synchronize();
    }
    QProcess kelvrin;
    kelvrin.setProcessChannelMode(QProcess::ForwardedChannels);
    startKelvrin(kelvrin, home.path());
    ASSERT_TRUE(kelvrin.waitForStarted());
    ASSERT_TRUE(waitFor(
        [] { return windowIsShown(Strings::localized(QStringLiteral("LoadErrorTitle"))); }, 30000));

    QElapsedTimer ending;
    ending.start();
    ::kill(pid_t(kelvrin.processId()), SIGTERM);
    ASSERT_TRUE(kelvrin.waitForFinished(2000)) << "still running after the session ended";
    EXPECT_LT(ending.elapsed(), 2000);
    EXPECT_EQ(kelvrin.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelvrin.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(dataFolder + QStringLiteral("/Kelvrin.KVlist"))) << "sets not saved";
    const Defaults saved(home.filePath(QStringLiteral("Kelvrin/Kelvrin.ini")));
    EXPECT_TRUE(saved.hasKey(QStringLiteral("paste_window_x"))) << "settings not saved";
}
