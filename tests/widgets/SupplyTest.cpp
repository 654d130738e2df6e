#include "ScriptedAlerts.h"
#include "TestPictures.h"
#include "WindowFixture.h"

#include "model/ExtraType.h"
#include "platform/Strings.h"
#include "platform/richtext/RichText.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QItemSelectionModel>
#include <gtest/gtest.h>

class Supply : public WindowFixture {};

TEST_F(Supply, SeveralTextsJoinInRowOrderWhateverTheOrderOfSelection) {
    capture(QStringLiteral("cd"), ExtraType::Text);
    capture(QStringLiteral("ab"), ExtraType::Text);
    select({1, 0});
    EXPECT_TRUE(paste());
    EXPECT_EQ(_delegate.contents, QStringLiteral("abcd"));
    EXPECT_EQ(_delegate.extraType, ExtraType::Text);
    EXPECT_EQ(_delegate.extraData, std::nullopt);
    EXPECT_EQ(*history().getDataAtIndex(0)->contents(), QStringLiteral("ab")) << "nothing moves";
}

TEST_F(Supply, RichPartsMakeRtfOrRtfdAndPlainPartsEnterUnformatted) {
    const QByteArray boldRtf("{\\rtf1\\ansi{\\fonttbl\\f0 Courier;}\\f0\\b Bold\\b0}");
    const QByteArray rtfd = RichText::fromRTF("{\\rtf1 Attached}")->RTFD();
    capture(QStringLiteral("Attached"), ExtraType::RTFD, rtfd);
    capture(QStringLiteral("Bold"), ExtraType::RTF, boldRtf);
    capture(QStringLiteral("plain "), ExtraType::Text);

    select({0, 1});
    EXPECT_TRUE(paste());
    EXPECT_EQ(_delegate.extraType, ExtraType::RTF);
    EXPECT_EQ(_delegate.contents, QStringLiteral("plain Bold"));
    const auto joined = RichText::fromRTF(*_delegate.extraData);
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->plainText(), QStringLiteral("plain Bold"));
    EXPECT_FALSE(joined->charStyleAt(0).bold);
    EXPECT_EQ(joined->charStyleAt(0).family, RichText::defaultFamily());
    EXPECT_TRUE(joined->charStyleAt(6).bold);
    EXPECT_EQ(joined->charStyleAt(6).family, QStringLiteral("Courier"));

    select({0, 1, 2});
    EXPECT_TRUE(paste());
    EXPECT_EQ(_delegate.extraType, ExtraType::RTFD) << "one RTFD makes the whole result RTFD";
    const auto withAttachment = RichText::fromRTFD(*_delegate.extraData);
    ASSERT_TRUE(withAttachment);
    EXPECT_EQ(withAttachment->plainText(), QStringLiteral("plain BoldAttached"));
}

TEST_F(Supply, AnUnreadableOrTextlessRichClippingNeverSpoilsTheJoin) {
    capture(std::nullopt, ExtraType::RTF, QByteArray("{\\rtf1 only rich}"));
    capture(QStringLiteral("damaged"), ExtraType::RTF, QByteArray("not rtf at all"));
    capture(QStringLiteral("text "), ExtraType::Text);
    select({0, 1, 2});
    EXPECT_TRUE(paste());
    EXPECT_EQ(_delegate.contents, QStringLiteral("text damaged"));
    EXPECT_EQ(_delegate.extraType, ExtraType::RTF);
    EXPECT_EQ(RichText::fromRTF(*_delegate.extraData)->plainText(), QStringLiteral("text damaged"));
}

TEST_F(Supply, PicturesAreNeverJoined) {
    capture(QStringLiteral("a"), ExtraType::Text);
    capture(std::nullopt, ExtraType::TIFF, TestPictures::tiffOfPoints(4, 4));
    capture(QStringLiteral("b"), ExtraType::Text);
    select({0, 1, 2});
    {
        ScriptedAlerts alerts;
        _delegate.contents.reset();
        EXPECT_FALSE(paste());
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].title, Strings::localized(QStringLiteral("PasteTitle")));
        EXPECT_EQ(alerts.requests()[0].message, Strings::localized(QStringLiteral("PasteMessage")));
        EXPECT_TRUE(_delegate.handed.empty());
    }
    std::unique_ptr<PasteData> combined;
    EXPECT_FALSE(_window.synthesisData(combined, false)) << "a drag refuses without an alert";
    EXPECT_FALSE(combined);

    // One picture alone is handed over as stored.
    select({1});
    EXPECT_TRUE(paste());
    ASSERT_EQ(_delegate.handed.size(), 1u);
    EXPECT_EQ(_delegate.extraType, ExtraType::TIFF);
}

TEST_F(Supply, APastedHistoryClippingRisesWhateverTheAnswer) {
    for (const char* text : {"e", "d", "c", "b", "a"})
        capture(QString::fromLatin1(text), ExtraType::Text);
    PasteData* stored = history().getDataAtIndex(3);
    _delegate.answer = false;
    select({3});
    EXPECT_FALSE(paste()) << "the callback's answer comes back";
    ASSERT_EQ(_delegate.handed.size(), 1u);
    EXPECT_EQ(_delegate.handed[0], stored) << "the stored clipping itself is handed over";
    EXPECT_EQ(history().getDataAtIndex(0), stored);
    EXPECT_EQ(stored->number(), 1);
    EXPECT_EQ(*history().getDataAtIndex(1)->contents(), QStringLiteral("a"));

    _delegate.recentlyTop = 0;
    select({2});
    paste();
    EXPECT_EQ(*history().getDataAtIndex(2)->contents(), QStringLiteral("b"))
        << "moved without the setting";
}

TEST_F(Supply, NothingSelectedPastesNothing) {
    capture(QStringLiteral("a"), ExtraType::Text);
    select({});
    EXPECT_FALSE(paste());
    EXPECT_TRUE(_delegate.handed.empty());
    std::unique_ptr<PasteData> combined;
    ASSERT_TRUE(_window.synthesisData(combined, true));
    EXPECT_EQ(combined->contents(), std::nullopt);
    EXPECT_EQ(combined->extraType(), ExtraType::Text);
    EXPECT_EQ(combined->extraData(), std::nullopt);
}
