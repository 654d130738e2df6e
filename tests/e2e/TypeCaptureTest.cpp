// What other programs copy, through the real X11 clipboard: only what comes after launch, and
// of several types offered together, in the owner's order, the form Kelvrin keeps.
#include "TestPictures.h"
#include "tests/e2e/E2eHarness.h"

#include "formats/Picture.h"
#include "model/ExtraType.h"
#include "platform/Log.h"
#include "window/PasteView.h"
#include "window/PasteWindow.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

TEST(TypeCapture, OnlyWhatIsCopiedAfterLaunchIsKeptInTheFormTheOwnersOrderGives) {
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
    // Poppler and its libraries come with the first PDF, not with the program.
    const auto popplerMapped = [] {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/libpoppler");
    };
    EXPECT_FALSE(popplerMapped());

    // Every line has a NUL, a lone CR and a character outside the BMP (a surrogate pair in
    // UTF-16): what a careless conversion would cut, fold or mangle. Megabytes come by INCR.
    QString megabytes;
    for (int line = 0; megabytes.size() < 3'000'000; ++line)
        megabytes += QStringLiteral("line %1\r").arg(line) + QChar(0) +
                     QString::fromUcs4(U"\U0001F600 \u00e9\n");
    copyWithXclip(megabytes.toUtf8());
    ASSERT_TRUE(kelvrin.waitForHistory(1, 30000));
    const PasteData& plain = *kelvrin.history()[0];
    ASSERT_TRUE(plain.contents());
    const auto [mismatch, unused] = std::mismatch(
        megabytes.begin(), megabytes.end(), plain.contents()->begin(), plain.contents()->end());
    EXPECT_EQ(plain.contents()->size(), megabytes.size());
    EXPECT_EQ(mismatch, megabytes.end())
        << "first difference at UTF-16 unit " << mismatch - megabytes.begin();
    EXPECT_EQ(plain.extraType(), 0);
    EXPECT_FALSE(plain.extraData());

    // clip_owner's NAME=@path argument, for bytes that cannot go on a command line.
    QTemporaryDir files;
    const auto offer = [&](const QString& type, const QByteArray& bytes) {
        QFile file(files.filePath(QString::number(qHash(bytes))));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return type + QStringLiteral("=@") + file.fileName();
    };
    const QByteArray rtf = "{\\rtf1\\ansi {\\b bold} words}";
    const QByteArray rtfd("flattened\0rtfd\x01\xff", 16);
    const QByteArray tiff = TestPictures::encoded(TestPictures::noise({64, 48}, 1), "TIFF");
    std::vector<std::unique_ptr<ClipOwner>> owners;
    struct Case {
        QStringList offers;
        int type;
        std::optional<QString> text;
        QByteArray data;
    };
    for (const auto& [offers, type, text, data] :
         {Case{{offer("text/rtf", rtf), "UTF8_STRING=bold words"},
               ExtraType::RTF,
               "bold words",
               rtf},
          Case{{offer("com.apple.flat-rtfd", rtfd), offer("text/rtf", rtf),
                "UTF8_STRING=with attachment"},
               ExtraType::RTFD,
               "with attachment",
               rtfd},
          Case{{"UTF8_STRING=a caption", offer("image/tiff", tiff)},
               ExtraType::TIFF,
               "a caption",
               tiff}}) {
        SCOPED_TRACE(offers.join(' ').toStdString());
        const size_t before = kelvrin.history().size();
        // Each stays the owner until the next takes over: an owner that quits leaves its content
        // to Kelvrin, a change of its own.
        owners.push_back(std::make_unique<ClipOwner>(offers));
        ASSERT_TRUE(kelvrin.waitForHistory(before + 1));
        const PasteData& kept = *kelvrin.history()[0];
        EXPECT_EQ(kept.extraType(), type);
        EXPECT_EQ(kept.contents(), text);
        EXPECT_EQ(kept.extraData(), data);
    }

    // A screenshot as most programs offer it: PNG alone, megabytes of it.
    const QImage shot = TestPictures::noise({1400, 1000}, 2);
    const QByteArray png = TestPictures::encoded(shot, "PNG");
    ASSERT_GT(png.size(), 3 << 20);
    owners.push_back(std::make_unique<ClipOwner>(QStringList{offer("image/png", png)}));
    ASSERT_TRUE(kelvrin.waitForHistory(5, 30000));
    const PasteData& picture = *kelvrin.history()[0];
    EXPECT_EQ(picture.extraType(), ExtraType::TIFF);
    EXPECT_FALSE(picture.contents());
    ASSERT_TRUE(picture.extraData());
    EXPECT_TRUE(picture.extraData()->startsWith(QByteArray("II*\0", 4)) ||
                picture.extraData()->startsWith(QByteArray("MM\0*", 4)));
    const QImage decoded = QImage::fromData(*picture.extraData(), "TIFF");
    ASSERT_EQ(decoded.size(), shot.size());
    EXPECT_TRUE(decoded.convertToFormat(QImage::Format_RGB32) == shot) << "pixels differ";

    // A PNG that states no resolution, as browsers write them, reads one pixel to the point.
    owners.push_back(std::make_unique<ClipOwner>(QStringList{
        QStringLiteral("image/png=@" KELVRIN_SOURCE_DIR "/tests/fixtures/pictures/stripped.png")}));
    ASSERT_TRUE(kelvrin.waitForHistory(6));
    EXPECT_EQ(kelvrin.window().table()->model()->index(0, 1).data().toString(),
              QStringLiteral("Picture 120 × 80"));

    EXPECT_FALSE(popplerMapped());
    owners.push_back(std::make_unique<ClipOwner>(QStringList{QStringLiteral(
        "application/pdf=@" KELVRIN_SOURCE_DIR "/tests/fixtures/pictures/rotated.pdf")}));
    ASSERT_TRUE(kelvrin.waitForHistory(7));
    EXPECT_EQ(kelvrin.history()[0]->extraType(), ExtraType::PDF);
    const std::shared_ptr<Picture> page = kelvrin.history()[0]->image(QSizeF(16, 16));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->naturalSize(), QSizeF(100, 200));
    EXPECT_TRUE(popplerMapped());

    kelvrin.stopPoll();
    Log::Capture log;
    const qint64 count = kelvrin.changeCount();
    ClipOwner unknown({"text/html=<b>bold</b>", "application/x-kelvrin-test=data"});
    ASSERT_TRUE(kelvrin.waitForCount(count + 1));
    kelvrin.tick();
    EXPECT_EQ(kelvrin.history().size(), 7u) << "only unknown types added something";
    EXPECT_EQ(log.lines(), QStringList());
}
