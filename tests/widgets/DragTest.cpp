#include "ScriptedAlerts.h"
#include "TestPictures.h"
#include "WindowFixture.h"

#include <QMimeData>

class Drag : public WindowFixture {
protected:
    // The names a drag of these rows offers, in order.
    QStringList dragged(const IndexSet& rows) {
        std::unique_ptr<QMimeData> data(_window.writeRowsWithIndexes(rows));
        EXPECT_EQ(data->data(PasteWindow::kKelvrin73Type), QByteArray());
        return data->formats();
    }
    bool dropMove(const IndexSet& rows, int row) {
        std::unique_ptr<QMimeData> data(_window.writeRowsWithIndexes(rows));
        return table()->model()->dropMimeData(data.get(), Qt::MoveAction, row, 0, {});
    }
};

TEST_F(Drag, RowsTravelWithTheTypesTheirKindAndThePasteModeAllow) {
    const QByteArray tiff = TestPictures::tiffOfPoints(4, 4);
    capture(std::nullopt, ExtraType::PDF, TestPictures::pdfOfPoints({10, 10}, Qt::blue));
    capture(QStringLiteral("picture"), ExtraType::TIFF, tiff);
    capture(QStringLiteral("rich"), ExtraType::RTF, QByteArray("{\\rtf1 rich}"));
    capture(QStringLiteral("plain"));
    const QStringList text = {"text/plain;charset=utf-8", "text/plain"};
    const QString ours = PasteWindow::kKelvrin73Type;
    EXPECT_EQ(dragged({0}), text + QStringList{ours});
    EXPECT_EQ(dragged({1}), text + QStringList{ours}) << "rich text goes plain in text mode";
    EXPECT_EQ(dragged({2}), (QStringList{"image/tiff", "image/png", ours}));
    EXPECT_EQ(dragged({3}), (QStringList{"application/pdf", ours}));
    EXPECT_EQ(dragged({0, 2}), QStringList{ours}) << "a picture is never joined";
    _window.getWindow()->status()->setCurrentIndex(1);
    EXPECT_EQ(dragged({1}),
              (QStringList{"text/rtf", "application/rtf"} + text + QStringList{ours}));
    EXPECT_EQ(_window.draggedDatas(), IndexSet({1}));
}

TEST_F(Drag, AMoveWithinTheTableKeepsTheSelectionOnTheSameClippings) {
    captureTexts({"A", "B", "C", "D", "E"});
    select({0, 2});
    ASSERT_TRUE(dropMove({0, 2}, 5));
    EXPECT_EQ(texts(history()), (QStringList{"B", "D", "E", "A", "C"}));
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({3, 4}));
    EXPECT_EQ(history().getDataAtIndex(4)->number(), 5);
    select({3, 4});
    ASSERT_TRUE(dropMove({3, 4}, 0));
    ASSERT_TRUE(dropMove({0, 1}, 0));
    EXPECT_EQ(texts(history()), (QStringList{"A", "C", "B", "D", "E"}));
    // Below the last row the table proposes no row: the end.
    ASSERT_TRUE(dropMove({0}, -1));
    EXPECT_EQ(texts(history()), (QStringList{"C", "B", "D", "E", "A"}));
}

TEST_F(Drag, AForeignDropIsCapturedAtItsRowAndADropOntoARowIsRefused) {
    _delegate.limit = 3;
    captureTexts({"same", "b", "c"});
    QMimeData text;
    text.setText(QStringLiteral("same"));
    const QAbstractItemModel* model = table()->model();
    EXPECT_FALSE(model->canDropMimeData(&text, Qt::CopyAction, -1, -1, model->index(1, 0)));
    EXPECT_TRUE(model->canDropMimeData(&text, Qt::CopyAction, 2, 0, {}));
    ASSERT_TRUE(table()->model()->dropMimeData(&text, Qt::CopyAction, 2, 0, {}));
    EXPECT_EQ(texts(history()), (QStringList{"same", "b", "same"})) << "no repeat test, trimmed";

    QMimeData pdf;
    pdf.setData(QStringLiteral("application/pdf"), TestPictures::pdfOfPoints({5, 5}, Qt::red));
    EXPECT_FALSE(table()->model()->dropMimeData(&pdf, Qt::CopyAction, 0, 0, {}));
    QMimeData image;
    image.setData(QStringLiteral("image/png"),
                  TestPictures::encoded(TestPictures::filled({3, 2}, Qt::green), "png"));
    ASSERT_TRUE(table()->model()->dropMimeData(&image, Qt::CopyAction, 0, 0, {}));
    EXPECT_EQ(history().getDataAtIndex(0)->extraType(), ExtraType::TIFF);
}
