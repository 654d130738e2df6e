// What Kelvrin keeps of the clipboard beyond its history: nothing of a secret a password
// manager marks, and the content of a program that quit.
#include "tests/e2e/E2eHarness.h"

#include "platform/Defaults.h"
#include "platform/Log.h"

#include <QTest>
#include <gtest/gtest.h>

using Texts = QStringList;

namespace {

// Long enough for a few ticks of the poll to have looked.
void letThePollLook() {
    QTest::qWait(3 * MyObject::kPollInterval);
}

} // namespace

TEST(KeptClipboard, ASecretLeavesNoTraceAndOnlyWhatWasCapturedWholeStaysWhenItsProgramQuits) {
    Log::Capture log;
    Kelvrin kelvrin;
    copyWithXclip("before");
    ASSERT_TRUE(kelvrin.waitForHistory(1));
    // The mark after the text, as password managers offer it, or after more names than any owner
    // offers: it is looked for first, among all of them.
    const QStringList secret{"UTF8_STRING=hunter2 is the password",
                             "x-kde-passwordManagerHint=secret"};
    QStringList farDown = secret.mid(0, 1);
    for (int name = 0; name < 1100; ++name)
        farDown << QStringLiteral("x-filler-%1=x").arg(name);
    farDown << secret.back();
    for (const QStringList& offer : {secret, farDown}) {
        const qint64 count = kelvrin.changeCount();
        ClipOwner owner(QStringList{"--report"} + offer);
        ASSERT_TRUE(kelvrin.waitForCount(count + 1));
        ASSERT_TRUE(owner.waitForLine("asked x-kde-passwordManagerHint"));
        letThePollLook();
        EXPECT_EQ(kelvrin.texts(), Texts{"before"});
        EXPECT_EQ(owner.linesStartingWith("asked UTF8_STRING"), 0) << "the secret was read";
    }
    // The password manager clears the clipboard by quitting: what was on it before does not
    // come back.
    letThePollLook();
    EXPECT_EQ(readWithXclip(), QByteArray());
    {
        ClipOwner other({"x-kde-passwordManagerHint=public", "UTF8_STRING=not a secret"});
        ASSERT_TRUE(kelvrin.waitForHistory(2));
    }
    copyWithXclip("after");
    ASSERT_TRUE(kelvrin.waitForHistory(3));
    EXPECT_EQ(kelvrin.texts(), (Texts{"after", "not a secret", "before"}));
    for (const QString& line : log.lines())
        EXPECT_FALSE(line.contains(QStringLiteral("hunter2"))) << line.toStdString();

    const QByteArray bytes = "kept \xc3\xa9 \xf0\x9f\x98\x80\r\nsecond line\t";
    {
        ClipOwner owner({"UTF8_STRING=" + QString::fromUtf8(bytes)});
        ASSERT_TRUE(kelvrin.waitForHistory(4));
    }
    EXPECT_TRUE(waitFor([&] { return readWithXclip() == bytes; }));
    letThePollLook();
    EXPECT_EQ(kelvrin.history().size(), 4u) << "served, then captured again";
    copyWithXclip("later");
    ASSERT_TRUE(kelvrin.waitForHistory(5));
    EXPECT_EQ(readWithXclip(), "later");

    const qint64 later = kelvrin.changeCount();
    {
        // Quits a second into a transfer it never finishes.
        ClipOwner stalled({"--timeout", "1", "--incr-stall", "UTF8_STRING=never arrives"});
        ASSERT_TRUE(kelvrin.waitForCount(later + 2)) << "taken, then gone with its owner";
    }
    letThePollLook();
    EXPECT_EQ(readWithXclip(), QByteArray());
    EXPECT_EQ(kelvrin.texts().front(), "later");
}

TEST(KeptClipboard, NothingIsKeptWithTheSettingOff) {
    Kelvrin kelvrin(Kelvrin::Start::NotLaunched);
    kelvrin.defaults().setBool(false, QStringLiteral("keep_clipboard"));
    kelvrin.launch();
    {
        ClipOwner owner({"UTF8_STRING=not kept"});
        ASSERT_TRUE(kelvrin.waitForHistory(1));
    }
    letThePollLook();
    EXPECT_EQ(readWithXclip(), QByteArray());
}
