#include "platform/Picture.h"

#include "TestPictures.h"

#include <gtest/gtest.h>

using namespace TestPictures;

namespace {

QSizeF naturalSize(const QByteArray& bytes, Picture::Format format) {
    const auto picture = Picture::fromData(bytes, format);
    return picture ? picture->naturalSize() : QSizeF();
}

} // namespace

TEST(Picture, NaturalSizeIsInPoints) {
    const QByteArray at144Dpi = encoded(filled(QSize(400, 200), Qt::red, 144), "tiff");
    EXPECT_EQ(naturalSize(at144Dpi, Picture::Format::TIFF), QSizeF(200, 100));
    // A whole number of dots per centimetre is written with the centimetre unit.
    QImage perCentimetre = filled(QSize(254, 127), Qt::red);
    perCentimetre.setDotsPerMeterX(10000);
    perCentimetre.setDotsPerMeterY(10000);
    EXPECT_EQ(naturalSize(encoded(perCentimetre, "tiff"), Picture::Format::TIFF), QSizeF(72, 36));
    EXPECT_EQ(naturalSize(pdfOfPoints(QSizeF(200, 100), Qt::blue), Picture::Format::PDF),
              QSizeF(200, 100));
}

TEST(Picture, UnreadablePicturesAreNull) {
    const QByteArray tiff = tiffOfPoints(20, 10);
    EXPECT_EQ(Picture::fromData(QByteArray(), Picture::Format::TIFF), nullptr);
    EXPECT_EQ(Picture::fromData("not a picture at all", Picture::Format::TIFF), nullptr);
    EXPECT_EQ(Picture::fromData(tiff.left(12), Picture::Format::TIFF), nullptr);
    EXPECT_EQ(Picture::fromData(tiff, Picture::Format::PDF), nullptr);
    EXPECT_EQ(Picture::fromData("%PDF-1.4 broken", Picture::Format::PDF), nullptr);
    EXPECT_EQ(Picture::fromData(tiff, Picture::Format::PICT), nullptr);
}

TEST(Picture, RenderGivesTheRequestedPixelsAndKeepsTheLastSize) {
    const auto tiff = Picture::fromData(tiffOfPoints(200, 100), Picture::Format::TIFF);
    ASSERT_NE(tiff, nullptr);
    const QImage first = tiff->render(QSize(37, 19));
    EXPECT_EQ(first.size(), QSize(37, 19));
    EXPECT_EQ(first.pixelColor(18, 9), QColor(Qt::red));
    EXPECT_EQ(tiff->render(QSize(37, 19)).cacheKey(), first.cacheKey());
    EXPECT_EQ(tiff->render(QSize(10, 10)).size(), QSize(10, 10));
    EXPECT_TRUE(tiff->render(QSize(0, 5)).isNull());

    const auto pdf =
        Picture::fromData(pdfOfPoints(QSizeF(200, 100), Qt::blue), Picture::Format::PDF);
    ASSERT_NE(pdf, nullptr);
    const QImage page = pdf->render(QSize(100, 50));
    EXPECT_EQ(page.size(), QSize(100, 50));
    EXPECT_EQ(page.pixelColor(50, 25), QColor(Qt::blue));
}

TEST(Picture, TiffFromImageDataKeepsPixelsAndResolution) {
    QImage original = filled(QSize(64, 32), Qt::black, 144);
    for (int y = 0; y < original.height(); ++y) {
        for (int x = 0; x < original.width(); ++x)
            original.setPixel(x, y, qRgb(x * 4, y * 8, 255 - x));
    }
    const auto tiff = Picture::tiffFromImageData(encoded(original, "png"));
    ASSERT_TRUE(tiff.has_value());
    EXPECT_TRUE(tiff->startsWith(QByteArray("II*\0", 4)) ||
                tiff->startsWith(QByteArray("MM\0*", 4)));
    EXPECT_EQ(QImage::fromData(*tiff).convertToFormat(QImage::Format_RGB32), original);
    EXPECT_EQ(naturalSize(*tiff, Picture::Format::TIFF), QSizeF(32, 16));

    // A flat screenful must come out compressed, not as raw pixels.
    const auto flat = Picture::tiffFromImageData(encoded(filled(QSize(256, 256), Qt::gray), "bmp"));
    ASSERT_TRUE(flat.has_value());
    EXPECT_LT(flat->size(), 256 * 256 / 10);
    EXPECT_FALSE(Picture::tiffFromImageData("no image here").has_value());
}
