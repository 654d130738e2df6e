#include "model/PasteData.h"

#include "TestPictures.h"
#include "model/ExtraType.h"
#include "platform/Strings.h"

#include <gtest/gtest.h>

using namespace TestPictures;

namespace {

std::unique_ptr<PasteData> clipping(const std::optional<QString>& text, qint32 type = 0,
                                    const std::optional<QByteArray>& payload = std::nullopt) {
    auto data = std::make_unique<PasteData>();
    data->setContents(text);
    data->setExtraData(payload, type);
    return data;
}

QString pictureMessage(int width, int height) {
    return Strings::localizedFormat("PictureMessage", {width, height});
}

} // namespace

TEST(PasteData, TextIsKeptWholeAndSharedAndCutOnlyForDisplay) {
    constexpr char16_t raw[] = u"nul\0 cr\r pair\U0001F600 end";
    const QString odd = QString::fromUtf16(raw, std::size(raw) - 1);
    EXPECT_EQ(clipping(odd)->contents()->constData(), odd.constData());
    const QString exact(125, u'a');
    EXPECT_EQ(clipping(exact)->displayContents(), exact);
    EXPECT_EQ(clipping(exact + u'b')->displayContents(), exact + " .....");
    // Lengths count UTF-16 units; the line feed counts wherever it is, shown or not.
    QString lineFeedAt200(300, u'x');
    lineFeedAt200[200] = u'\n';
    EXPECT_EQ(clipping(lineFeedAt200)->strInfo(), "\n300\nLF");
    EXPECT_EQ(clipping("a\rb")->strInfo(), "\n3");
    const auto pairs = clipping(QString::fromUtf16(u"\U0001F600").repeated(100));
    EXPECT_EQ(pairs->strInfo(), "\n200");
    // 125 units end inside the 63rd pair: the cut keeps its high surrogate.
    EXPECT_EQ(pairs->displayContents()->size(), 131);
    EXPECT_TRUE(pairs->displayContents()->at(124).isHighSurrogate());

    EXPECT_EQ(PasteData().contents(), QString());
    const auto textless = clipping(std::nullopt, ExtraType::RTF, QByteArray("{\\rtf1}"));
    EXPECT_FALSE(textless->contents().has_value());
    EXPECT_FALSE(textless->displayContents().has_value());
}

// A picture shows its size in points, and one that cannot be read shows 0 by 0 and draws nothing.
TEST(PasteData, PictureClippingShowsItsSizeInsteadOfItsText) {
    QImage perCentimetre = filled(QSize(254, 127), Qt::red); // written with the centimetre unit
    perCentimetre.setDotsPerMeterX(10000);
    perCentimetre.setDotsPerMeterY(10000);
    const QByteArray tiff = tiffOfPoints(200, 100);
    const std::tuple<qint32, QByteArray, QSize> pictures[] = {
        {ExtraType::TIFF, tiff, {200, 100}},
        // 101 by 51 pixels at 144 dpi are 50.5 by 25.5 points.
        {ExtraType::TIFF, encoded(filled(QSize(101, 51), Qt::red, 144), "tiff"), {50, 25}},
        {ExtraType::TIFF, encoded(perCentimetre, "tiff"), {72, 36}},
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
        EXPECT_EQ(picture->displayContents(), pictureMessage(points.width(), points.height()));
        EXPECT_EQ(picture->image(QSizeF(16, 16)) == nullptr, points.isEmpty());
        EXPECT_EQ(picture->contents(), "caption");
    }
    EXPECT_EQ(clipping("rich", ExtraType::RTF, QByteArray("{\\rtf1}"))->displayContents(), "rich");
}

TEST(PasteData, ThumbnailFitsTheLongerSideAndIsReusedForTheSameHeight) {
    const std::pair<QByteArray, QSizeF> cases[] = {{tiffOfPoints(200, 100), {16, 8}},
                                                   {tiffOfPoints(100, 200), {8, 16}},
                                                   {tiffOfPoints(50, 50), {16, 16}}};
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(clipping("", ExtraType::TIFF, bytes)->image(QSizeF(16, 16))->size(), expected);

    const auto data = clipping("", ExtraType::PDF, pdfOfPoints(QSizeF(200, 100), Qt::red));
    const auto first = data->image(QSizeF(16, 16));
    EXPECT_EQ(data->image(QSizeF(99, 16)), first);
    const auto taller = data->image(QSizeF(24, 24));
    EXPECT_NE(taller, first);
    EXPECT_EQ(taller->size(), QSizeF(24, 12));
    // A picture already as high as the row is shown at its natural size by the first call.
    EXPECT_EQ(clipping("", ExtraType::TIFF, tiffOfPoints(32, 16))->image(QSizeF(16, 16))->size(),
              QSizeF(32, 16));
}
