#include "AppFixture.h"
#include "Fixtures.h"

#include "model/ExtraType.h"
#include "model/PasteDataCoding.h"
#include "platform/Picture.h"
#include "window/PasteView.h"

#include <QImage>
#include <QMimeData>

class PictureSize : public AppFixture {
protected:
    void SetUp() override { launch(); }
};

// Pictures of every bitmap format, as other programs copy or drop them: one that states no
// resolution (as browsers and screenshot tools write them) is measured at one pixel to the point,
// one that states 144 dpi at two pixels to the point. The TIFF kept for either is read back from
// a set file at the same size, and the one converted says so to any other reader.
TEST_F(PictureSize, APictureWithoutAResolutionIsOnePixelToThePoint) {
    const struct {
        const char* file;
        const char* type;
        QSize points;
    } samples[] = {
        {"stripped.png", "image/png", {120, 80}},  {"at144dpi.png", "image/png", {60, 40}},
        {"stripped.jpg", "image/jpeg", {120, 80}}, {"at144dpi.jpg", "image/jpeg", {60, 40}},
        {"stripped.bmp", "image/bmp", {120, 80}},  {"at144dpi.bmp", "image/bmp", {60, 40}},
        {"stripped.gif", "image/gif", {120, 80}},  {"stripped.tiff", "image/tiff", {120, 80}},
        {"at144dpi.tiff", "image/tiff", {60, 40}},
    };
    for (const auto& sample : samples) {
        SCOPED_TRACE(sample.file);
        const QByteArray bytes = fixture(QStringLiteral("pictures/") + QLatin1String(sample.file));
        ASSERT_FALSE(bytes.isEmpty());
        const QString text = QStringLiteral("Picture %1 × %2")
                                 .arg(sample.points.width())
                                 .arg(sample.points.height());

        copy({{QLatin1String(sample.type), bytes}});
        tick();
        const PasteData* captured = history().getDataAtIndex(0);
        ASSERT_TRUE(captured && captured->extraData());
        ASSERT_EQ(captured->extraType(), ExtraType::TIFF);
        EXPECT_EQ(captured->displayContents(), text);
        // A TIFF is kept as its owner wrote it; one we wrote says how large its pixels are.
        if (QLatin1String(sample.type) != u"image/tiff") {
            const QImage read = QImage::fromData(*captured->extraData(), "TIFF");
            EXPECT_EQ(qRound(read.dotsPerMeterX() * 0.0254) * sample.points.width(),
                      72 * read.width());
        }

        PasteDataList saved;
        saved.push_back(std::make_unique<PasteData>());
        saved.back()->setExtraData(captured->extraData(), captured->extraType());
        const std::optional<PasteDataList> loaded = unarchivePasteData(archivePasteData(saved));
        ASSERT_TRUE(loaded && loaded->size() == 1);
        EXPECT_EQ(loaded->front()->displayContents(), text);

        QMimeData dropped;
        dropped.setData(QLatin1String(sample.type), bytes);
        ASSERT_TRUE(window().table()->model()->dropMimeData(&dropped, Qt::CopyAction, 0, 0, {}));
        EXPECT_EQ(history().getDataAtIndex(0)->displayContents(), text);
    }
}

// A PDF's page is measured by its crop box, the media box when it has none, and turned as the
// page says: a 200 × 100 page turned a quarter is 100 × 200, its left edge now on top.
TEST(PdfPage, APageWithoutACropBoxTurnedAQuarterIsMeasuredAndDrawnTurned) {
    const auto page =
        Picture::fromData(fixture(QStringLiteral("pictures/rotated.pdf")), Picture::Format::PDF);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->naturalSize(), QSizeF(100, 200));
    const QImage drawn = page->render(QSize(100, 200));
    EXPECT_EQ(drawn.pixelColor(50, 10), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(50, 190), QColor(Qt::white));
}
