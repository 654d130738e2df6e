#include "formats/Picture.h"

#include "TestPictures.h"

#include <gtest/gtest.h>

using namespace TestPictures;

TEST(Picture, TiffFromImageDataKeepsPixelsAndResolution) {
    const QImage original = gradient(QSize(64, 32), 144);
    const auto tiff = Picture::tiffFromImageData(encoded(original, "png"));
    ASSERT_TRUE(tiff.has_value());
    EXPECT_TRUE(tiff->startsWith(QByteArray("II*\0", 4)) ||
                tiff->startsWith(QByteArray("MM\0*", 4)));
    EXPECT_EQ(QImage::fromData(*tiff).convertToFormat(QImage::Format_RGB32), original);
    const auto picture = Picture::fromData(*tiff, Picture::Format::TIFF);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->naturalSize(), QSizeF(32, 16));
    const QImage drawn = picture->render(original.size());
    EXPECT_EQ(drawn.convertToFormat(QImage::Format_RGB32), original);
    EXPECT_EQ(picture->render(original.size()).cacheKey(), drawn.cacheKey());
    EXPECT_EQ(picture->render(QSize(37, 19)).size(), QSize(37, 19));
    EXPECT_TRUE(picture->render(QSize(0, 5)).isNull());

    // Translucent pixels come back as Qt draws them, premultiplied; sixteen-bit channels keep
    // every bit.
    QImage translucent(40, 20, QImage::Format_ARGB32);
    QImage deep(40, 20, QImage::Format_RGBA64);
    for (int y = 0; y < translucent.height(); ++y)
        for (int x = 0; x < translucent.width(); ++x) {
            translucent.setPixel(x, y, qRgba(x * 6, y * 12, 200, (x * y * 7) % 256));
            deep.setPixelColor(x, y, QColor::fromRgba64(x * 1601, y * 3203, 65535 - x, 65535));
        }
    for (const QImage& image :
         {translucent.convertToFormat(QImage::Format_ARGB32_Premultiplied), deep}) {
        const auto converted = Picture::tiffFromImageData(encoded(image, "png"));
        ASSERT_TRUE(converted.has_value());
        EXPECT_EQ(QImage::fromData(*converted).convertToFormat(image.format()), image)
            << image.format();
    }

    // A flat screenful must come out compressed, not as raw pixels, and exact: the text on it
    // is runs of one colour with sharp edges, stored without the differencing photos get.
    QImage screen = filled(QSize(256, 256), Qt::gray);
    for (int y = 100; y < 110; ++y)
        for (int x = 20; x < 200; x += 3)
            screen.setPixel(x, y, qRgb(x, 0, y));
    const auto flat = Picture::tiffFromImageData(encoded(screen, "bmp"));
    ASSERT_TRUE(flat.has_value());
    EXPECT_LT(flat->size(), 256 * 256 / 10);
    EXPECT_EQ(QImage::fromData(*flat).convertToFormat(QImage::Format_RGB32), screen);
    EXPECT_FALSE(Picture::tiffFromImageData("no image here").has_value());
}
