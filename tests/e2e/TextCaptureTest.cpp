// Text copied by other programs, captured through the real X11 clipboard.
#include "tests/e2e/E2eHarness.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using Texts = QStringList;

TEST(TextCapture, OnlyWhatIsCopiedAfterLaunchIsCaptured) {
    // Qt must have seen the copy before Kelvrin starts counting, or its late notice would count
    // as a change made after launch.
    QSignalSpy noticed(QGuiApplication::clipboard(), &QClipboard::changed);
    copyWithXclip("before start");
    ASSERT_TRUE(waitFor([&] { return !noticed.isEmpty(); }));

    Kelvrin kelvrin(Kelvrin::Start::NotLaunched);
    copyWithXclip("before launch");
    ASSERT_TRUE(kelvrin.waitForCount(1));
    kelvrin.launch();
    QTest::qWait(3 * MyObject::kPollInterval);
    EXPECT_TRUE(kelvrin.history().empty());

    copyWithXclip("after launch");
    ASSERT_TRUE(kelvrin.waitForHistory(1));
    QTest::qWait(3 * MyObject::kPollInterval);
    EXPECT_EQ(kelvrin.texts(), Texts{"after launch"});
    EXPECT_EQ(kelvrin.history()[0]->extraType(), 0);
    EXPECT_FALSE(kelvrin.history()[0]->extraData());
}

TEST(TextCapture, MegabytesOfTextArriveExactly) {
    // Every line has a NUL, a lone CR and a character outside the BMP (a surrogate pair in
    // UTF-16): what a careless conversion would cut, fold or mangle.
    QString text;
    for (int line = 0; text.size() < 3'000'000; ++line)
        text += QStringLiteral("line %1\r").arg(line) + QChar(0) +
                QString::fromUcs4(U"\U0001F600 \u00e9\n");
    const QByteArray utf8 = text.toUtf8();
    ASSERT_GT(utf8.size(), 3 << 20);

    Kelvrin kelvrin;
    copyWithXclip(utf8);
    ASSERT_TRUE(kelvrin.waitForHistory(1, 30000));
    const std::optional<QString>& captured = kelvrin.history()[0]->contents();
    ASSERT_TRUE(captured);
    const auto [mismatch, unused] =
        std::mismatch(text.begin(), text.end(), captured->begin(), captured->end());
    EXPECT_EQ(captured->size(), text.size());
    EXPECT_EQ(mismatch, text.end())
        << "first difference at UTF-16 unit " << mismatch - text.begin();
}
