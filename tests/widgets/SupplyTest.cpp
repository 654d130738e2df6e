#include "WidgetFixtures.h"

#include "formats/richtext/RichText.h"

// A history of every kind a paste may join, the first row on top.
class Supply : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        capture("cd");
        capture("ab");
        capture(std::nullopt, ExtraType::TIFF, TestPictures::tiffOfPoints(4, 4));
        capture(QStringLiteral("damaged"), ExtraType::RTF, QByteArray("not rtf at all"));
        capture(std::nullopt, ExtraType::RTF, QByteArray("{\\rtf1 only rich}"));
        capture(QStringLiteral("Attached"), ExtraType::RTFD,
                RichText::fromRTF("{\\rtf1 Attached}")->RTFD());
        capture(QStringLiteral("Bold"), ExtraType::RTF,
                QByteArray("{\\rtf1\\ansi{\\fonttbl\\f0 Courier;}\\f0\\b Bold\\b0}"));
        capture("plain ");
    }
};

// Rows join in their order whatever the order of selection; one rich part makes the result rich,
// one RTFD makes it RTFD; a rich part without text adds nothing and an unreadable one its text.
TEST_F(Supply, RowsJoinInRowOrderIntoTheRichestKindButNeverAPictureWhichIsHandedOverAlone) {
    struct Case {
        std::initializer_list<int> rows;
        QString joined;
        qint32 code;
    };
    for (const Case& c :
         {Case{{7, 6}, "abcd", ExtraType::Text}, Case{{1, 0}, "plain Bold", ExtraType::RTF},
          Case{{0, 1, 2, 4}, "plain BoldAttacheddamaged", ExtraType::RTFD},
          Case{{0, 3, 4}, "plain damaged", ExtraType::RTF}}) {
        SCOPED_TRACE(c.joined.toStdString());
        select(c.rows);
        EXPECT_TRUE(paste());
        EXPECT_EQ(_delegate.contents, c.joined);
        ASSERT_EQ(_delegate.extraType, c.code);
        if (c.code == ExtraType::Text) {
            EXPECT_EQ(_delegate.extraData, std::nullopt);
            continue;
        }
        const auto rich = c.code == ExtraType::RTF ? RichText::fromRTF(*_delegate.extraData)
                                                   : RichText::fromRTFD(*_delegate.extraData);
        ASSERT_TRUE(rich);
        EXPECT_EQ(rich->plainText(), c.joined);
    }
    EXPECT_EQ(texts(history()).first(), QStringLiteral("plain ")) << "a join moved a row";

    select({0, 1});
    paste();
    const auto joined = RichText::fromRTF(*_delegate.extraData);
    EXPECT_FALSE(joined->charStyleAt(0).bold);
    EXPECT_EQ(joined->charStyleAt(0).family, RichText::defaultFamily());
    EXPECT_TRUE(joined->charStyleAt(6).bold);
    EXPECT_EQ(joined->charStyleAt(6).family, QStringLiteral("Courier"));

    _delegate.handed.clear();
    select({0, 5, 6});
    {
        ScriptedAlerts alerts;
        EXPECT_FALSE(paste());
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].title, Strings::localized("PasteTitle"));
        EXPECT_EQ(alerts.requests()[0].message, Strings::localized("PasteMessage"));
        EXPECT_TRUE(_delegate.handed.empty());
    }
    std::unique_ptr<PasteData> combined;
    EXPECT_FALSE(_window.synthesisData(combined, false)) << "a drag refuses without an alert";
    EXPECT_FALSE(combined);

    // Handed over as stored, and on top afterwards whatever the callback answered.
    const PasteData* picture = history().getDataAtIndex(5);
    _delegate.answer = false;
    select({5});
    EXPECT_FALSE(paste()) << "the callback's answer comes back";
    ASSERT_EQ(_delegate.handed.size(), 1u);
    EXPECT_EQ(_delegate.handed[0], picture);
    EXPECT_EQ(history().getDataAtIndex(0), picture);
    EXPECT_EQ(picture->number(), 1);
    EXPECT_EQ(history().getDataAtIndex(1)->contents(), QStringLiteral("plain "));
    _delegate.recentlyTop = 0;
    select({3});
    paste();
    EXPECT_EQ(history().getDataAtIndex(3)->contents(), QStringLiteral("Attached"))
        << "moved without the setting";

    select({});
    EXPECT_FALSE(paste());
    EXPECT_EQ(_delegate.handed.size(), 2u);
    ASSERT_TRUE(_window.synthesisData(combined, true));
    EXPECT_EQ(combined->contents(), std::nullopt);
    EXPECT_EQ(combined->extraType(), ExtraType::Text);
    EXPECT_EQ(combined->extraData(), std::nullopt);

    // Right below the head the move is one row, and at the head there is nothing to move.
    _delegate.recentlyTop = 1;
    const PasteData* plain = history().getDataAtIndex(1);
    for (const int row : {1, 0}) {
        select({row});
        paste();
        EXPECT_EQ(_delegate.handed.back(), plain);
        ASSERT_EQ(texts(history()).mid(0, 3), (QStringList{"plain ", "<none>", "Bold"}))
            << "pasted from row " << row;
        EXPECT_EQ(history().getDataAtIndex(1), picture);
        EXPECT_EQ((QList{plain->number(), picture->number()}), (QList{1, 2}));
    }

    // Under a filter the table's second row is further down the set; the table shows the move.
    _window.typeFilter(QStringLiteral("a"));
    const auto numbersShown = [this] {
        QList<int> numbers;
        for (int row = 0; row < table()->model()->rowCount(); ++row)
            numbers << table()->model()->index(row, 0).data().toInt();
        return numbers;
    };
    ASSERT_EQ(numbersShown(), (QList<int>{1, 4, 6, 7}));
    select({1});
    paste();
    EXPECT_EQ(_delegate.contents, QStringLiteral("Attached"));
    EXPECT_EQ(texts(history()).mid(0, 4), (QStringList{"Attached", "plain ", "<none>", "Bold"}));
    EXPECT_EQ(numbersShown(), (QList<int>{1, 2, 6, 7}));
    ASSERT_TRUE(_window.eraseFilter());

    // In a set of the user's own nothing moves.
    select({0, 1, 2});
    ASSERT_TRUE(addToSet(_window, QStringLiteral("Mine")));
    setList()->setCurrentIndex(1);
    const QStringList mine = texts(set(1));
    for (const int row : {2, 1}) {
        const PasteData* chosen = set(1).getDataAtIndex(row);
        select({row});
        paste();
        EXPECT_EQ(_delegate.handed.back(), chosen);
        EXPECT_EQ(texts(set(1)), mine) << "pasted from row " << row;
    }
}
