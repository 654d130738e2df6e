// Kelvrin as the user starts it from a shell: one instance, and commands sent to it.
#include "tests/e2e/E2eHarness.h"

#include "ScopedEnvironment.h"
#include "model/PasteDataCoding.h"
#include "platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

KelvrinCommand kelvrin(const QStringList& arguments, const QString& home) {
    const KelvrinCommand outcome = kelvrinCommand(arguments, home);
    EXPECT_NE(outcome.status, -1) << arguments.join(' ').toStdString() << " did not end";
    return outcome;
}

} // namespace

// Only a start of its own needs a display; the commands reach the running one without.
TEST(CommandLine, OneInstanceAnswersEveryCommandEvenWithoutADisplayAndQuitsSavingItsSettings) {
    QTemporaryDir home;
    const QString data = storeEmptyHistory(home.path());
    QProcess running;
    running.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startKelvrin(running, home.path());
    ASSERT_TRUE(running.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return kelvrin({"--show"}, home.path()).status == 0; }, 20000));

    copyWithXclip("from the shell");
    KelvrinCommand list;
    ASSERT_TRUE(waitFor([&] {
        list = kelvrin({"--list"}, home.path());
        return list.out.contains("from the shell");
    }));
    EXPECT_EQ(list.status, 0);
    const QJsonObject first = QJsonDocument::fromJson(list.out.split('\n').front()).object();
    EXPECT_EQ(first[u"set"].toString(), QStringLiteral("PasteBoard History"));
    EXPECT_EQ(first[u"contents"].toString(), QStringLiteral("from the shell"));
    EXPECT_EQ(first[u"number"].toInt(), 1);

    const KelvrinCommand absent = kelvrin({"--list", "no such set"}, home.path());
    EXPECT_EQ(absent.status, 1);
    EXPECT_TRUE(absent.err.contains("no such set")) << absent.err.toStdString();

    // A second launch only brings the first one forward.
    const KelvrinCommand second = kelvrin({}, home.path());
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(running.state(), QProcess::Running);

    {
        const ScopedEnvironment noDisplay{{"DISPLAY", nullptr}};
        for (const QStringList& arguments :
             {QStringList{}, {"--list"}, {"--help"}, {"--version"}, {"--print-folder", data}})
            EXPECT_EQ(kelvrin(arguments, home.path()).status, 0)
                << arguments.join(' ').toStdString();
    }

    const KelvrinCommand wrong = kelvrin({"--list", "a", "b"}, home.path());
    EXPECT_EQ(wrong.status, 2);
    EXPECT_TRUE(wrong.err.contains("usage: kelvrin")) << wrong.err.toStdString();

    EXPECT_EQ(kelvrin({"--quit"}, home.path()).status, 0);
    ASSERT_TRUE(running.waitForFinished(10000));
    EXPECT_EQ(running.exitCode(), 0);
    const Defaults saved(home.filePath(QStringLiteral("Kelvrin/Kelvrin.ini")));
    EXPECT_TRUE(saved.hasKey(QStringLiteral("paste_window_x"))) << "settings not saved";

    const KelvrinCommand gone = kelvrin({"--show"}, home.path());
    EXPECT_EQ(gone.status, 1);
    EXPECT_TRUE(gone.err.contains("not running")) << gone.err.toStdString();

    // An X server that does not answer: a real one, stopped.
    QProcess silent;
    silent.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp"});
    ASSERT_TRUE(waitFor([&] { return silent.canReadLine(); })) << "Xvfb did not start";
    const QByteArray stopped = ':' + silent.readLine().trimmed();
    ::kill(pid_t(silent.processId()), SIGSTOP);
    for (const char* display :
         {static_cast<const char*>(nullptr), "nowhere", stopped.constData()}) {
        const ScopedEnvironment environment{{"DISPLAY", display}};
        const KelvrinCommand start = kelvrin({}, home.path());
        EXPECT_EQ(start.status, 1) << (display ? display : "no DISPLAY");
        EXPECT_TRUE(start.err.contains("no X display") && start.err.contains("DISPLAY="))
            << start.err.toStdString();
    }
    ::kill(pid_t(silent.processId()), SIGCONT);
    silent.terminate();
    silent.waitForFinished();

    // Two starts at once make one instance, and a stopped one is not replaced. What a save cut
    // short by a crash of the last run left is cleared by the launch.
    const QString leftover = data + QStringLiteral("/.kelvrin-Ab12Cd");
    QFile(leftover).open(QIODevice::WriteOnly);

    QProcess starts[2];
    for (QProcess& start : starts) {
        start.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        startKelvrin(start, home.path());
    }
    const auto ended = [&] {
        return starts[0].state() == QProcess::NotRunning   ? &starts[0]
               : starts[1].state() == QProcess::NotRunning ? &starts[1]
                                                           : nullptr;
    };
    ASSERT_TRUE(waitFor([&] { return ended() != nullptr; }, 15000)) << "both run";
    EXPECT_EQ(ended()->exitCode(), 0) << "it did not hand its start to the running one";
    QProcess& survivor = ended() == &starts[0] ? starts[1] : starts[0];
    ASSERT_EQ(kelvrin({"--show"}, home.path()).status, 0);
    EXPECT_EQ(survivor.state(), QProcess::Running);
    EXPECT_FALSE(QFile::exists(leftover)) << "the launch keeps what a crashed save left";

    ::kill(pid_t(survivor.processId()), SIGSTOP);
    const KelvrinCommand late = kelvrin({}, home.path());
    ::kill(pid_t(survivor.processId()), SIGCONT);
    EXPECT_EQ(late.status, 1);
    EXPECT_TRUE(late.err.contains("cannot reach")) << late.err.toStdString();
    EXPECT_EQ(kelvrin({"--quit"}, home.path()).status, 0) << "the stopped one lost its line";
    EXPECT_TRUE(survivor.waitForFinished(10000));
}
