// Kelvrin as a process: ended by the session while it waits for the user, and never ended by
// the user closing one of its windows.
#include "tests/e2e/E2eHarness.h"

#include "platform/Defaults.h"
#include "platform/Strings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// Kelvrin started on a data folder that holds no sets yet, which its launch says in an alert.
class Shutdown : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(dataFolder());
        {
            Defaults settings(settingsFile());
            settings.setObject(dataFolder(), QStringLiteral("initial_directory"));
            settings.synchronize();
        }
        kelvrin.setProcessChannelMode(QProcess::ForwardedChannels);
        startKelvrin(kelvrin, home.path());
        ASSERT_TRUE(kelvrin.waitForStarted());
        ASSERT_TRUE(waitFor([&] { return !alerts().isEmpty(); }, 30000));
    }
    void TearDown() override {
        kelvrin.kill();
        kelvrin.waitForFinished(2000);
    }
    QString dataFolder() const { return home.filePath(QStringLiteral("data")); }
    QString settingsFile() const { return home.filePath(QStringLiteral("Kelvrin/Kelvrin.ini")); }
    QList<quint32> alerts() {
        return windowsOf(kelvrin.processId(), Strings::localized(QStringLiteral("LoadErrorTitle")));
    }

    QTemporaryDir home;
    QProcess kelvrin;
};

} // namespace

TEST_F(Shutdown, ASignalWhileALaunchAlertWaitsSavesEverythingAndEndsAtOnce) {
    QElapsedTimer ending;
    ending.start();
    ::kill(pid_t(kelvrin.processId()), SIGTERM);
    ASSERT_TRUE(kelvrin.waitForFinished(2000)) << "still running after the session ended";
    EXPECT_LT(ending.elapsed(), 2000);
    EXPECT_EQ(kelvrin.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelvrin.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(dataFolder() + QStringLiteral("/Kelvrin.KVlist")))
        << "sets not saved";
    const Defaults saved(settingsFile());
    EXPECT_TRUE(saved.hasKey(QStringLiteral("paste_window_x"))) << "settings not saved";
}

// With no data folder the history lives only in the process: closing a window must not end it.
TEST_F(Shutdown, ClosingTheAlertOrThePasteWindowHidesThemAndKelvrinRunsOn) {
    closeWithWindowManager(alerts().front());
    ASSERT_TRUE(waitFor([&] { return alerts().isEmpty(); }));
    QList<quint32> shown;
    ASSERT_TRUE(waitFor([&] { return (shown = windowsOf(kelvrin.processId())).size() == 1; }))
        << "the paste window did not come up";
    closeWithWindowManager(shown.front());
    ASSERT_TRUE(waitFor([&] { return windowsOf(kelvrin.processId()).isEmpty(); }));
    QTest::qWait(500);
    ASSERT_EQ(kelvrin.state(), QProcess::Running);
    EXPECT_EQ(kelvrinCommand({"--show"}, home.path()).status, 0);
    EXPECT_TRUE(waitFor([&] { return windowsOf(kelvrin.processId()).size() == 1; }));
}
