// Kelvrin as a process, ended by the session while it waits for the user. That closing one of its
// windows does not end it, HotKeyPasteProgram.OverAnEmptyDesktop... shows.
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

// Started on a data folder that holds no sets yet, which its launch says in an alert.
TEST(Shutdown, ASignalWhileALaunchAlertWaitsSavesEverythingAndEndsAtOnce) {
    QTemporaryDir home;
    const QString data = home.filePath(QStringLiteral("data"));
    const QString settingsFile = home.filePath(QStringLiteral("Kelvrin/Kelvrin.ini"));
    QDir().mkpath(data);
    {
        Defaults settings(settingsFile);
        settings.setObject(data, QStringLiteral("initial_directory"));
        settings.synchronize();
    }
    QProcess kelvrin;
    kelvrin.setProcessChannelMode(QProcess::ForwardedChannels);
    startKelvrin(kelvrin, home.path());
    ASSERT_TRUE(kelvrin.waitForStarted());
    ASSERT_TRUE(waitFor(
        [&] {
            return !windowsOf(kelvrin.processId(),
                              Strings::localized(QStringLiteral("LoadErrorTitle")))
                        .isEmpty();
        },
        30000));

    QElapsedTimer ending;
    ending.start();
    ::kill(pid_t(kelvrin.processId()), SIGTERM);
    ASSERT_TRUE(kelvrin.waitForFinished(2000)) << "still running after the session ended";
    EXPECT_LT(ending.elapsed(), 2000);
    EXPECT_EQ(kelvrin.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelvrin.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("/Kelvrin.KVlist"))) << "sets not saved";
    EXPECT_TRUE(Defaults(settingsFile).hasKey(QStringLiteral("paste_window_x")))
        << "settings not saved";
}
