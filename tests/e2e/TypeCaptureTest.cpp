// Several types offered together, in the owner's order, through the real X11 clipboard: which
// form Kelvrin keeps.
#include "TestPictures.h"
#include "tests/e2e/E2eHarness.h"

#include "model/ExtraType.h"
#include "platform/Log.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Files for clip_owner's NAME=@path arguments.
class Files {
public:
    QString offer(const QString& type, const QByteArray& bytes) {
        const QString path = _dir.filePath(QString::number(++_count));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return type + QStringLiteral("=@") + path;
    }

private:
    QTemporaryDir _dir;
    int _count = 0;
};

// Pixels no encoder can shrink much, so the picture's size is what it says.
QImage noise(QSize size, quint32 seed) {
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return image;
}

} // namespace

TEST(TypeCapture, RichTextIsPairedWithTheTextAndRtfdOutranksRtf) {
    Kelvrin kelvrin;
    Files files;
    const QByteArray rtf = "{\\rtf1\\ansi {\\b bold} words}";
    const QByteArray rtfd("flattened\0rtfd\x01\xff", 16);

    ClipOwner rich({files.offer("text/rtf", rtf), "UTF8_STRING=bold words"});
    ASSERT_TRUE(kelvrin.waitForHistory(1));
    const PasteData& first = *kelvrin.history()[0];
    EXPECT_EQ(first.extraType(), ExtraType::RTF);
    EXPECT_EQ(first.contents(), "bold words");
    EXPECT_EQ(first.extraData(), rtf);

    ClipOwner attachment({files.offer("com.apple.flat-rtfd", rtfd), files.offer("text/rtf", rtf),
                          "UTF8_STRING=with attachment"});
    ASSERT_TRUE(kelvrin.waitForHistory(2));
    const PasteData& second = *kelvrin.history()[0];
    EXPECT_EQ(second.extraType(), ExtraType::RTFD);
    EXPECT_EQ(second.contents(), "with attachment");
    EXPECT_EQ(second.extraData(), rtfd);
}

TEST(TypeCapture, PicturesAreKeptAsTiffWithTheTextMetBeforeThem) {
    Kelvrin kelvrin;
    Files files;
    const QByteArray tiff = TestPictures::encoded(noise({64, 48}, 1), "TIFF");
    ClipOwner captioned({"UTF8_STRING=a caption", files.offer("image/tiff", tiff)});
    ASSERT_TRUE(kelvrin.waitForHistory(1));
    const PasteData& first = *kelvrin.history()[0];
    EXPECT_EQ(first.extraType(), ExtraType::TIFF);
    EXPECT_EQ(first.contents(), "a caption");
    EXPECT_EQ(first.extraData(), tiff);

    // A screenshot as most programs offer it: PNG alone, megabytes of it, so it comes by INCR.
    const QImage shot = noise({1400, 1000}, 2);
    const QByteArray png = TestPictures::encoded(shot, "PNG");
    ASSERT_GT(png.size(), 3 << 20);
    ClipOwner screenshot({files.offer("image/png", png)});
    ASSERT_TRUE(kelvrin.waitForHistory(2, 30000));
    const PasteData& second = *kelvrin.history()[0];
    EXPECT_EQ(second.extraType(), ExtraType::TIFF);
    EXPECT_FALSE(second.contents());
    ASSERT_TRUE(second.extraData());
    const QByteArray& stored = *second.extraData();
    EXPECT_TRUE(stored.startsWith(QByteArray("II*\0", 4)) ||
                stored.startsWith(QByteArray("MM\0*", 4)));
    const QImage decoded = QImage::fromData(stored, "TIFF");
    ASSERT_EQ(decoded.size(), shot.size());
    EXPECT_TRUE(decoded.convertToFormat(QImage::Format_RGB32) == shot) << "pixels differ";
}

TEST(TypeCapture, OnlyUnknownTypesAddNothing) {
    Kelvrin kelvrin;
    kelvrin.stopPoll();
    Log::Capture log;
    const qint64 start = kelvrin.changeCount();
    ClipOwner unknown({"text/html=<b>bold</b>", "application/x-kelvrin-test=data"});
    ASSERT_TRUE(kelvrin.waitForCount(start + 1));
    kelvrin.tick();
    EXPECT_TRUE(kelvrin.history().empty());
    EXPECT_EQ(log.lines(), QStringList());
}
