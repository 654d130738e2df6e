#include "WidgetFixtures.h"

#include "formats/Picture.h"

#include <QImage>
#include <QMessageBox>
#include <QTimer>

const QString kUtf8 = QStringLiteral("UTF8_STRING");
const QString kRtf = QStringLiteral("text/rtf");
const QString kRtfd = QStringLiteral("com.apple.flat-rtfd");
const QString kTiff = QStringLiteral("image/tiff");
const QString kPdf = QStringLiteral("application/pdf");
const QString kPng = QStringLiteral("image/png");

class Capture : public AppFixture {
protected:
    void SetUp() override { launch(); }
};

// The end-to-end TypeCapture test also walks rich text, RTFD and a picture before text.
TEST_F(Capture, TheFormTheTypeWalkReachesIsKeptRepeatsSkippedAndPicturesMeasuredByTheirResolution) {
    // Several changes between two looks give one clipping and one warning.
    captureEach({"first"});
    {
        Log::Capture log;
        for (const char* text : {"x", "y", "z"})
            copyText(QString::fromLatin1(text));
        tick();
        EXPECT_EQ(log.lines(),
                  QStringList{QStringLiteral(
                      "warning*** : [drop paste board data !!!!!!!!!!!!] count[4] _pbCount[1]")});
    }
    const QByteArray tiff = TestPictures::encoded(TestPictures::gradient(QSize(40, 20)), "TIFF");
    // A type named but never supplied, or bytes that are no picture.
    const QList<std::tuple<QString, std::optional<QByteArray>, const char*>> warnings = {
        {kTiff, std::nullopt, "TIFF data"},
        {kPdf, std::nullopt, "PDF data"},
        {kRtfd, std::nullopt, "RTFD"},
        {kRtf, std::nullopt, "RTF"},
        {kUtf8, std::nullopt, "paste string data"},
        {kPng, "not a png", "TIFF data"}};
    for (const auto& [name, bytes, what] : warnings) {
        Log::Capture log;
        copy({{name, bytes}, {kUtf8, "text after"}});
        tick();
        const QString expected = QStringLiteral("WARNING: [%1 cannot supply] current count[%2]")
                                     .arg(QLatin1String(what))
                                     .arg(pasteboard().changeCount());
        EXPECT_EQ(log.lines(), QStringList{expected}) << what;
        const int reads = pasteboard().readCount();
        tick();
        EXPECT_EQ(pasteboard().readCount(), reads) << what << " was asked for again";
    }
    EXPECT_EQ(texts(history()), (QStringList{"z", "first"}));

    // Content its owner marks as a secret is neither kept nor told, and neither is content whose
    // mark cannot be read (not supplied, or longer than a mark ever is), however far down the
    // owner's names the mark is; a text larger than any a person copies cannot be supplied.
    const QString mark = QStringLiteral("x-kde-passwordManagerHint");
    HeldContent::Named manyNames;
    for (int i = 0; i < 2000; ++i)
        manyNames.append({QStringLiteral("x-name-%1").arg(i), "x"});
    const QList<std::pair<HeldContent::Named, QStringList>> secrets = {
        {{{kUtf8, "hunter2"}, {mark, "secret"}}, {}},
        {{{mark, std::nullopt}, {kUtf8, "hunter2"}}, {}},
        {{{mark, QByteArray(100, 'x')}, {kUtf8, "hunter2"}}, {}},
        {HeldContent::Named{{kUtf8, "hunter2"}} + manyNames + HeldContent::Named{{mark, "secret"}},
         {}},
        {{{kUtf8, QByteArray(Transfer::kMaxTextBytes + 1, 'x')}},
         {"WARNING: [paste string data cannot supply] current count[%1]"}},
    };
    for (const auto& [offer, lines] : secrets) {
        Log::Capture log;
        copy(offer);
        tick();
        QStringList expected;
        for (const QString& line : lines)
            expected.append(line.arg(pasteboard().changeCount()));
        EXPECT_EQ(log.lines(), expected);
    }
    EXPECT_EQ(texts(history()), (QStringList{"z", "first"}));
    copy({{mark, "public"}, {kUtf8, "not a secret"}});
    tick();
    EXPECT_EQ(texts(history()).value(0), QStringLiteral("not a secret"));

    // Each row: what the owner offers, in its order, and the clipping that must result.
    const QByteArray rtf("{\\rtf1 hi}"), rtfd("rtfd-bytes"), pdf("%PDF-1.4 not really"), text("hi");
    struct Case {
        QList<std::pair<QString, std::optional<QByteArray>>> offer;
        qint32 code;
        std::optional<QString> contents;
        std::optional<QByteArray> payload = std::nullopt;
    };
    const QList<Case> cases = {
        {{{kUtf8, text}}, ExtraType::Text, "hi"},
        {{{kUtf8, text}, {kRtf, rtf}}, ExtraType::RTF, "hi", rtf},
        {{{kRtf, rtf}, {kRtfd, rtfd}, {kUtf8, text}}, ExtraType::RTFD, "hi", rtfd},
        {{{kTiff, tiff}, {kUtf8, text}}, ExtraType::TIFF, std::nullopt, tiff},
        {{{kRtfd, rtfd}, {kTiff, tiff}, {kUtf8, text}}, ExtraType::TIFF, std::nullopt, tiff},
        {{{kPdf, pdf}, {kUtf8, text}}, ExtraType::PDF, std::nullopt, pdf},
        {{{kRtf, rtf}}, ExtraType::RTF, std::nullopt, rtf},
        {{{"TARGETS", "x"}, {"text/html", "<b>"}, {kUtf8, text}}, ExtraType::Text, "hi"},
        {{{"STRING", "caf\xe9"}}, ExtraType::Text, "café"}, // Latin-1
        // The first text name counts.
        {{{"text/plain;charset=utf-8", "1"}, {kUtf8, "2"}, {"STRING", "3"}}, ExtraType::Text, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases.data());
        captureEach({"separator"}); // keeps each case from repeating the last
        copy(c.offer);
        tick();
        const PasteData* head = history().getDataAtIndex(0);
        ASSERT_TRUE(head);
        EXPECT_EQ(head->extraType(), c.code);
        EXPECT_EQ(head->contents(), c.contents);
        EXPECT_EQ(head->extraData(), c.payload);
    }

    const QList<std::pair<QList<std::pair<QString, std::optional<QByteArray>>>, bool>> copies = {
        {{{kUtf8, "A"}}, true},
        {{{kUtf8, "A"}}, false},
        {{{kUtf8, "B"}}, true},
        {{{kUtf8, "A"}}, true},
        // Rich text compares by its plain text only; pictures by their bytes.
        {{{kRtf, "{\\rtf1 \\b same}"}, {kUtf8, "same"}}, true},
        {{{kRtf, "{\\rtf1 \\i same}"}, {kUtf8, "same"}}, false},
        {{{kTiff, tiff}}, true},
        {{{kTiff, tiff}, {kUtf8, "other text"}}, false},
        // The same text under another code is new content.
        {{{kUtf8, "same"}}, true},
        // An absent text never equals anything: two rich clippings without text both enter.
        {{{kRtf, "{\\rtf1 a}"}}, true},
        {{{kRtf, "{\\rtf1 a}"}}, true},
    };
    size_t size = history().pasteData().size();
    for (int index = 0; index < copies.size(); ++index) {
        SCOPED_TRACE(testing::Message() << "copy " << index);
        copy(copies[index].first);
        tick();
        size += copies[index].second;
        EXPECT_EQ(history().pasteData().size(), size);
    }

    // Pictures of 120 × 80 pixels in every bitmap format, copied or dropped: without a resolution
    // one pixel is a point, at 144 dpi two. The TIFF kept reads back from a set file alike.
    for (const QString file :
         {"stripped.png", "at144dpi.png", "stripped.jpg", "at144dpi.jpg", "stripped.bmp",
          "at144dpi.bmp", "stripped.gif", "stripped.tiff", "at144dpi.tiff"}) {
        SCOPED_TRACE(file.toStdString());
        const QByteArray bytes = fixture("pictures/" + file);
        ASSERT_FALSE(bytes.isEmpty());
        const QString type = "image/" + file.section(u'.', 1).replace("jpg", "jpeg");
        const QSize points = file.startsWith(u"at144dpi") ? QSize(60, 40) : QSize(120, 80);
        const QString text =
            QStringLiteral("Picture %1 × %2").arg(points.width()).arg(points.height());
        copy({{type, bytes}});
        tick();
        const PasteData* captured = history().getDataAtIndex(0);
        ASSERT_TRUE(captured && captured->extraData());
        ASSERT_EQ(captured->extraType(), ExtraType::TIFF);
        EXPECT_EQ(captured->displayContents(), text);
        // A TIFF is kept as its owner wrote it; one we wrote says how large its pixels are.
        if (type != u"image/tiff") {
            const QImage read = QImage::fromData(*captured->extraData(), "TIFF");
            EXPECT_EQ(qRound(read.dotsPerMeterX() * 0.0254) * points.width(), 72 * read.width());
        }

        const std::optional<PasteDataList> loaded =
            unarchivePasteData(archivePasteData(history().pasteData()));
        ASSERT_TRUE(loaded && !loaded->empty());
        EXPECT_EQ(loaded->front()->displayContents(), text);

        QMimeData dropped;
        dropped.setData(type, bytes);
        ASSERT_TRUE(window().table()->model()->dropMimeData(&dropped, Qt::CopyAction, 0, 0, {}));
        EXPECT_EQ(history().getDataAtIndex(0)->displayContents(), text);
    }
}

// Contents are read away from the window and enter in the order they were copied. A newer copy
// gives up what is still being read of older ones: neither captured nor told.
TEST_F(Capture, ANewerCopyGivesUpTheReadingOfOlderOnesAndWhatWasReadEntersInOrder) {
    const QByteArray png = TestPictures::encoded(TestPictures::gradient(QSize(40, 20)), "PNG");
    Log::Capture log;
    pasteboard().holdReads();
    copy({{kPng, png}});
    poll();
    for (const char* text : {"first", "second"}) {
        copyText(QString::fromLatin1(text));
        poll();
    }
    // A drop waits for nothing: its row is only valid now.
    QMimeData dropped;
    dropped.setData(kUtf8, "dropped");
    ASSERT_TRUE(window().table()->model()->dropMimeData(&dropped, Qt::CopyAction, 0, 0, {}));
    EXPECT_EQ(texts(history()), QStringList{"dropped"});
    pasteboard().releaseReads();
    settle();
    EXPECT_EQ(texts(history()), (QStringList{"second", "dropped"}));
    EXPECT_TRUE(log.lines().isEmpty());

    // Copied twice before either entered, the same picture gives one clipping.
    for (int copies = 0; copies < 2; ++copies) {
        copy({{kPng, png}});
        poll();
    }
    settle();
    ASSERT_EQ(history().pasteData().size(), 3u);
    EXPECT_EQ(history().getDataAtIndex(0)->extraType(), ExtraType::TIFF);
}

using CaptureAtQuit = AppFixture;

TEST_F(CaptureAtQuit, APictureCopiedJustBeforeTheQuitIsSaved) {
    const QString data = scratch("data");
    launchOver(data);
    const QImage image = TestPictures::gradient(QSize(40, 20));
    copy({{kPng, TestPictures::encoded(image, "PNG")}});
    poll();
    ASSERT_TRUE(window().hasPendingCaptures());
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);

    const std::optional<PasteDataList> saved =
        unarchivePasteData(readFile(data + QStringLiteral("/PasteBoard History.KVdata")));
    ASSERT_TRUE(saved && saved->size() == 1u && saved->front()->extraData());
    EXPECT_EQ(saved->front()->extraType(), ExtraType::TIFF);
    EXPECT_EQ(QImage::fromData(*saved->front()->extraData(), "TIFF")
                  .convertToFormat(QImage::Format_RGB32),
              image);

    // Gone while a picture is being read, the application is not called back.
    copy({{kPng, TestPictures::encoded(image.mirrored(), "PNG")}});
    poll();
    ASSERT_TRUE(window().hasPendingCaptures());
    destroy();
    QCoreApplication::sendPostedEvents();
}

TEST_F(Capture, DeletingTakesThoseChosenAndThePollWaitsWhileAModalPanelIsUpOrRowsAreDragged) {
    // Those chosen before the alert go, whatever picture enters while it is up.
    captureEach({"a", "b", "c"});
    window().table()->selectRow(1); // "b"
    copy({{kTiff, TestPictures::tiffOfPoints(4, 4)}});
    poll();
    Alert::setResponder({});
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        // Time for the picture to be read and offered to the history.
        (void)QTest::qWaitFor([&] { return !window().hasPendingCaptures(); }, 1000);
        for (QAbstractButton* button : box->buttons())
            if (button->text() == Strings::localized("DeleteDataButtion2"))
                button->click();
    });
    window().deletePasteData();
    ScriptedAlerts::refuseUnscripted();
    settle();
    ASSERT_EQ(history().pasteData().size(), 3u);
    EXPECT_EQ(history().getDataAtIndex(0)->extraType(), ExtraType::TIFF);
    EXPECT_EQ(history().getDataAtIndex(1)->contents(), QStringLiteral("c"));
    EXPECT_EQ(history().getDataAtIndex(2)->contents(), QStringLiteral("a"));

    QDialog panel;
    panel.setWindowModality(Qt::ApplicationModal);
    panel.show();
    captureEach({"during the panel"});
    EXPECT_EQ(history().pasteData().size(), 3u);
    panel.hide();
    tick();
    EXPECT_EQ(history().pasteData().size(), 4u);

    // While rows are dragged everything waits, a picture read on the worker too.
    copy({{kTiff, TestPictures::tiffOfPoints(4, 4)}});
    poll();
    window().setTableDragging(true);
    copyText("during the drag");
    QTest::qWait(300);
    EXPECT_EQ(history().pasteData().size(), 4u);
    window().setTableDragging(false);
    tick();
    EXPECT_EQ(texts(history()).mid(0, 3),
              (QStringList{"during the drag", "<none>", "during the panel"}));

    // A sheet over the paste window alone does not stop it.
    QDialog sheet(window().getWindow());
    sheet.setWindowModality(Qt::WindowModal);
    sheet.show();
    captureEach({"during the sheet"});
    EXPECT_EQ(history().pasteData().size(), 7u);
}

TEST_F(Capture, TheTableShowsTheHistoryAsItFills) {
    captureEach({"one\ntwo", "three"});
    EXPECT_EQ(window().table()->model()->index(1, 2).data().toString(),
              QStringLiteral("text\n7\nLF"));
}

// A PDF's page is measured by its crop box, the media box when it has none, and turned as the
// page says: a 200 × 100 page turned a quarter is 100 × 200, its left edge now on top.
TEST(PdfPage, APageWithoutACropBoxTurnedAQuarterIsMeasuredAndDrawnTurned) {
    const auto page = Picture::fromData(fixture("pictures/rotated.pdf"), Picture::Format::PDF);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->naturalSize(), QSizeF(100, 200));
    const QImage drawn = page->render(QSize(100, 200));
    EXPECT_EQ(drawn.pixelColor(50, 10), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(50, 190), QColor(Qt::white));
}
