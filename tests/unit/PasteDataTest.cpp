#include "model/PasteData.h"
#include "model/PasteDataCoding.h"
#include "model/PasteSet.h"

#include "Fixtures.h"
#include "TestPictures.h"
#include "model/ExtraType.h"
#include "platform/Strings.h"

#include <gtest/gtest.h>

using namespace TestPictures;
using TypedStream::Value;

namespace {

std::unique_ptr<PasteData> clipping(const std::optional<QString>& text, qint32 type = 0,
                                    const std::optional<QByteArray>& payload = std::nullopt) {
    auto data = std::make_unique<PasteData>();
    data->setContents(text);
    data->setExtraData(payload, type);
    return data;
}

PasteSet setOf(const QString& letters) {
    PasteSet set("test");
    for (const QChar letter : letters)
        set.addData(QString(letter), 0, std::nullopt, qint32(set.pasteData().size()), 100);
    return set;
}

// The letters in list order; a clipping whose number is not its row + 1 shows as '?'.
QString order(const PasteSet& set) {
    QString letters;
    for (size_t row = 0; row < set.pasteData().size(); ++row) {
        const PasteData& data = *set.pasteData()[row];
        letters += data.number() == qint32(row + 1) ? *data.contents() : QStringLiteral("?");
    }
    return letters;
}

QByteArray archiveOfVersion(qint32 version) {
    return TypedStream::encode(Value::arrayOf(
        {Value::recordOf("PasteData", version,
                         {Value::fromInteger(9), Value::fromText("old"), Value::fromInteger(1),
                          Value::fromBytes("{\\rtf1 old}")})}));
}

} // namespace

TEST(PasteData, TextIsKeptWholeAndCutForDisplayAndAPictureShowsItsSizeAndAFittedThumbnail) {
    constexpr char16_t raw[] = u"nul\0 cr\r pair\U0001F600 end";
    const QString odd = QString::fromUtf16(raw, std::size(raw) - 1);
    EXPECT_EQ(clipping(odd)->contents()->constData(), odd.constData());
    const QString exact(125, u'a');
    EXPECT_EQ(clipping(exact)->displayContents(), exact);
    EXPECT_EQ(clipping(exact + u'b')->displayContents(), exact + " .....");
    // Lengths count UTF-16 units; the line feed counts wherever it is, shown or not.
    const QString lineFeedAt200 = QString(200, u'x') + u'\n' + QString(99, u'x');
    EXPECT_EQ(clipping(lineFeedAt200)->strInfo(), "\n300\nLF");
    EXPECT_EQ(clipping("a\rb")->strInfo(), "\n3");
    const auto pairs = clipping(QString::fromUtf16(u"\U0001F600").repeated(100));
    EXPECT_EQ(pairs->strInfo(), "\n200");
    // 125 units end inside the 63rd pair: the cut keeps its high surrogate.
    EXPECT_EQ(pairs->displayContents()->size(), 131);
    EXPECT_TRUE(pairs->displayContents()->at(124).isHighSurrogate());

    const auto textless = clipping(std::nullopt, ExtraType::RTF, QByteArray("{\\rtf1}"));
    EXPECT_FALSE(textless->contents().has_value());
    EXPECT_FALSE(textless->displayContents().has_value());

    // A picture shows its size in points, and one that cannot be read shows 0 by 0 and draws
    // nothing.
    const QByteArray tiff = tiffOfPoints(200, 100);
    const std::tuple<qint32, QByteArray, QSize> pictures[] = {
        {ExtraType::TIFF, tiff, {200, 100}},
        // 101 by 51 pixels at 144 dpi are 50.5 by 25.5 points.
        {ExtraType::TIFF, encoded(filled(QSize(101, 51), Qt::red, 144), "tiff"), {50, 25}},
        // 100 pixels a centimetre: written with the centimetre unit.
        {ExtraType::TIFF, encoded(filled(QSize(254, 127), Qt::red, 254), "tiff"), {72, 36}},
        {ExtraType::PDF, pdfOfPoints(QSizeF(200, 100), Qt::blue), {200, 100}},
        {ExtraType::TIFF, "", {0, 0}},
        {ExtraType::TIFF, "garbage", {0, 0}},
        {ExtraType::TIFF, tiff.left(12), {0, 0}},
        {ExtraType::PDF, tiff, {0, 0}},
        {ExtraType::PDF, "%PDF-1.4 broken", {0, 0}},
        {ExtraType::PICT, tiff, {0, 0}},
        {ExtraType::PICT, "garbage", {0, 0}}};
    for (const auto& [type, bytes, points] : pictures) {
        SCOPED_TRACE(testing::Message() << "type " << type << ", " << bytes.size() << " bytes");
        const auto picture = clipping("caption", type, bytes);
        EXPECT_EQ(picture->displayContents(),
                  Strings::localizedFormat("PictureMessage", {points.width(), points.height()}));
        EXPECT_EQ(picture->image(QSizeF(16, 16)) == nullptr, points.isEmpty());
        EXPECT_EQ(picture->contents(), "caption");
    }
    EXPECT_EQ(clipping("rich", ExtraType::RTF, QByteArray("{\\rtf1}"))->displayContents(), "rich");

    // The thumbnail fits the longer side and is reused for the same height; a picture already as
    // high as the row is shown at its natural size.
    const std::pair<QByteArray, QSizeF> cases[] = {{tiffOfPoints(200, 100), {16, 8}},
                                                   {tiffOfPoints(100, 200), {8, 16}},
                                                   {tiffOfPoints(50, 50), {16, 16}},
                                                   {tiffOfPoints(32, 16), {32, 16}}};
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(clipping("", ExtraType::TIFF, bytes)->image(QSizeF(16, 16))->size(), expected);

    const auto data = clipping("", ExtraType::PDF, pdfOfPoints(QSizeF(200, 100), Qt::red));
    const auto first = data->image(QSizeF(16, 16));
    EXPECT_EQ(data->image(QSizeF(99, 16)), first);
    const auto taller = data->image(QSizeF(24, 24));
    EXPECT_NE(taller, first);
    EXPECT_EQ(taller->size(), QSizeF(24, 12));
}

TEST(PasteSet, AddRemoveDeleteExchangeAndDropMoveKeepTheRowsNumbered) {
    const auto added = [](qint32 row, qint64 maximum) {
        PasteSet set = setOf("ABCDE");
        EXPECT_TRUE(set.addData(QString("X"), 0, std::nullopt, row, maximum));
        return order(set);
    };
    EXPECT_EQ(added(0, 5), "XABCD");
    EXPECT_EQ(added(0, 3), "XAB");
    EXPECT_EQ(added(3, 3), "ABC");
    EXPECT_EQ(added(9, 100), "ABCDEX");
    EXPECT_EQ(added(-2, 100), "XABCDE");

    PasteSet target = setOf("XY");
    ASSERT_TRUE(target.copyAddData(*setOf("C").pasteData()[0]));
    EXPECT_EQ(target.pasteData()[0]->contents(), "C");
    EXPECT_EQ(target.pasteData()[0]->number(), 0);

    PasteSet set = setOf("ABCDE");
    const std::vector<PasteData*> removed = set.indexTodata({1, 3, 7});
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[1]->contents(), "D");
    set.removeData({1, 3, 9});
    EXPECT_EQ(order(set), "ACE");
    EXPECT_EQ(set.getIndexOfObject(set.getDataAtIndex(2)), 2);
    EXPECT_EQ(set.getDataAtIndex(3), nullptr);
    const PasteData stranger;
    EXPECT_EQ(set.getIndexOfObject(&stranger), PasteSet::NotFound);
    set.removeData({});
    for (const qint64 keepsAll : {3, 6, -1})
        set.deleteData(keepsAll);
    EXPECT_EQ(order(set), "ACE");
    set.deleteData(2);
    EXPECT_EQ(order(set), "AC");
    set.deleteData(0);
    EXPECT_TRUE(set.pasteData().empty());
    EXPECT_EQ(PasteSet::init(std::nullopt), nullptr);

    PasteSet stack = setOf("ABCDE");
    stack.exchangeStackFront(3);
    EXPECT_EQ(order(stack), "DABCE");
    for (const qint64 ignored : {0, -1, 5})
        stack.exchangeStackFront(ignored);
    EXPECT_EQ(order(stack), "DABCE");
    stack.exchangeStackFront(1);
    EXPECT_EQ(order(stack), "ADBCE");
    EXPECT_EQ(stack.getDataAtIndex(1)->number(), 2);

    // A moved group goes after the nearest row above the drop row that is not moving.
    const std::tuple<IndexSet, qint32, const char*> cases[] = {
        {{1, 3}, 5, "ACEBD"},  {{1, 3}, 0, "BDACE"},  {{1, 3}, 2, "ABDCE"},
        {{1, 3}, 4, "ACBDE"},  {{0, 2}, 2, "BACDE"},  {{1, 2}, 3, "ABCDE"},
        {{2, 3}, 4, "ABCDE"},  {{0, 1}, 2, "ABCDE"},  {{1, 2, 4}, 4, "ADBCE"},
        {{1, 3}, 99, "ACEBD"}, {{1, 3}, -7, "BDACE"}, {{1, 8}, 0, "BACDE"}};
    for (const auto& [rows, drop, expected] : cases) {
        PasteSet set = setOf("ABCDE");
        set.dropMoveing(rows, drop);
        EXPECT_EQ(order(set), expected) << "drop row " << drop;
    }
}

// A set of one clipping {1, "ab", 0, no payload} is the archive real systems write for it, and
// reads back; other shapes are damaged, and older records read alike.
TEST(PasteDataCoding, OlderRecordsReadAlikeAndNewerOnesAreRefused) {
    PasteDataList list;
    list.push_back(clipping(QStringLiteral("ab")));
    list.back()->setNumber(1);
    const QByteArray expected = fixture(QStringLiteral("archives/one-clipping.mutable-array"));
    EXPECT_EQ(archivePasteData(list), expected);
    const auto back = unarchivePasteData(expected);
    ASSERT_TRUE(back && back->size() == 1);
    EXPECT_EQ(back->front()->contents(), QStringLiteral("ab"));
    EXPECT_EQ(back->front()->number(), 1);

    // Other shapes are damaged; nil is no set at all.
    EXPECT_EQ(unarchivePasteData(TypedStream::encode(Value::nil())), std::nullopt);
    const QList<Value> wrongRoots = {
        Value::fromText("not a list"), Value::arrayOf({Value::fromText("not a clipping")}),
        Value::arrayOf(
            {Value::recordOf("PasteData", 2, {Value::fromInteger(1), Value::fromInteger(2)})}),
        Value::arrayOf({Value::recordOf("PasteData", 2,
                                        {Value::fromInteger(1), Value::fromBytes("bytes"),
                                         Value::fromInteger(0), Value::nil()})})};
    for (const Value& root : wrongRoots)
        EXPECT_THROW(unarchivePasteData(TypedStream::encode(root)), TypedStream::ArchiveError);
    // The immutable list older files hold reads as well.
    const auto immutable = unarchivePasteData(TypedStream::encode(Value::arrayOf({}, false)));
    EXPECT_TRUE(immutable && immutable->empty());

    for (qint32 version : {0, 1, 2}) {
        const auto old = unarchivePasteData(archiveOfVersion(version));
        ASSERT_TRUE(old && old->size() == 1) << version;
        const PasteData& data = *old->front();
        EXPECT_EQ(data.number(), 9) << "numbers are read as stored";
        EXPECT_EQ(data.contents(), QStringLiteral("old"));
        EXPECT_EQ(data.extraType(), 1);
        EXPECT_EQ(data.extraData(), QByteArray("{\\rtf1 old}"));
        EXPECT_EQ(data.strInfo(), QStringLiteral("\n3")) << "derived values are rebuilt";
    }
    // A newer record is too new whatever it holds, also a group this decoder cannot read (a
    // 64-bit "q" here) before the record ends.
    QByteArray withNewGroup = archiveOfVersion(3);
    withNewGroup.insert(withNewGroup.size() - 2, QByteArray::fromHex("8401710800000000000000"));
    for (const QByteArray& newer : {archiveOfVersion(3), withNewGroup}) {
        try {
            unarchivePasteData(newer);
            ADD_FAILURE() << "a newer record was read";
        } catch (const TypedStream::ArchiveError& error) {
            EXPECT_EQ(error.name(), QStringLiteral("VersionCheckException"));
            EXPECT_EQ(error.reason(), QStringLiteral("file version[3]  program version[2]"));
        }
    }
}
