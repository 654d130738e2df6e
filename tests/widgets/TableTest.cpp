#include "WidgetFixtures.h"

#include "window/ImageAndTextCell.h"
#include "window/PasteTableModel.h"

#include <QSignalSpy>

class Table : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        _window.showPasteWindow();
        table()->setFocus();
    }
    QPoint rowCentre(int row) {
        return table()->visualRect(table()->model()->index(row, 1)).center();
    }
};

// Return and a double click paste, but not with a command modifier held: that beeps.
TEST_F(Table, ACaptureMovesTheRowsButKeepsTheSelectedRowNumbersAndReturnPastesOnceOnItsRelease) {
    _delegate.limit = 3;
    captureTexts({"b", "c", "d"});
    select({0}); // "b", the newest
    QSignalSpy resets(table()->model(), &QAbstractItemModel::modelReset);
    capture("a");
    EXPECT_EQ(resets.size(), 0);
    EXPECT_EQ(texts(history()), (QStringList{"a", "b", "c"}));
    // Return after the next hot key pastes the newest clipping, not the one pasted last time.
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({0}));
    EXPECT_EQ(table()->currentIndex().row(), 0);
    EXPECT_EQ(table()->model()->rowCount(), 3);
    EXPECT_EQ(table()->model()->index(2, 0).data().toInt(), 3);

    captureTexts({"a", "b"});
    select({0});
    // Held down, the key repeats as release and press pairs. Held since before the table had
    // the keyboard (the Return that closed a sheet, say), only those pairs and the release reach
    // it: neither Return key pastes.
    for (const auto& [which, modifiers] :
         {std::pair{Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier}}) {
        for (int repeat = 0; repeat < 3; ++repeat) {
            key(which, QEvent::KeyRelease, modifiers, true);
            key(which, QEvent::KeyPress, modifiers, true);
        }
        key(which, QEvent::KeyRelease, modifiers);
    }
    ASSERT_TRUE(_delegate.handed.empty()) << "a repeated press armed the paste";
    // Pressed in the table: one paste, on the real release.
    key(Qt::Key_Return);
    for (int repeat = 0; repeat < 3; ++repeat) {
        key(Qt::Key_Return, QEvent::KeyRelease, {}, true);
        key(Qt::Key_Return, QEvent::KeyPress, {}, true);
    }
    EXPECT_TRUE(_delegate.handed.empty()) << "a repeated release pasted";
    _delegate.answer = false; // not delivered: the window stays
    key(Qt::Key_Return, QEvent::KeyRelease);
    EXPECT_EQ(_delegate.handed.size(), 1u);
    EXPECT_TRUE(_window.isWindowVisible());

    ScriptedAlerts alerts;
    for (const auto modifier :
         {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier})
        QTest::keyClick(table(), Qt::Key_Return, modifier);
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, rowCentre(1));
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(1));
    EXPECT_EQ(alerts.beeps(), 5);
    EXPECT_EQ(_delegate.handed.size(), 1u);
    // A release whose press went elsewhere does nothing.
    key(Qt::Key_Return, QEvent::KeyRelease);
    EXPECT_EQ(_delegate.handed.size(), 1u);

    _delegate.answer = true;
    _delegate.hide = 0;
    QTest::keyClick(table(), Qt::Key_Return, Qt::KeypadModifier); // the keypad's Enter
    EXPECT_EQ(_delegate.handed.size(), 2u);
    EXPECT_TRUE(_window.isWindowVisible()) << "hiding after a paste is off";
    _delegate.hide = 1;
    const PasteData* second = history().getDataAtIndex(1);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, rowCentre(1));
    ASSERT_EQ(_delegate.handed.size(), 3u);
    EXPECT_EQ(_delegate.handed[2], second);
    EXPECT_FALSE(_window.isWindowVisible());
}

TEST_F(Table, TheKeysMoveThroughTheRowsAndControlsAndEitherDeleteKeyAsksFirst) {
    for (int i = 59; i >= 0; --i)
        capture(QString::number(i));
    key(Qt::Key_Backspace); // nothing selected: an alert would fail the test
    // Taking the keyboard makes the first row current, not selected: Down selects that row.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(table(), &focusIn);
    key(Qt::Key_Down);
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({0}));
    select({5});
    table()->setCurrentIndex(table()->model()->index(5, 1));
    key(Qt::Key_End);
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({59}));
    key(Qt::Key_Home);
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({0}));
    key(Qt::Key_PageDown);
    const IndexSet page = table()->selectedRowIndexes();
    ASSERT_EQ(page.count(), 1u);
    EXPECT_GT(page.firstIndex(), 1u);
    key(Qt::Key_PageUp);
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({0}));

    QApplication::setActiveWindow(_window.getWindow());
    table()->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return table()->hasFocus(); }));
    QTest::keyClick(table(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), _window.getWindow()->status());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), table());

    select({0, 2, 3});
    ScriptedAlerts alerts({ScriptedAlerts::kEscape, Alert::AlternateReturn});
    key(Qt::Key_Delete);
    EXPECT_EQ(alerts.requests().size(), 1);
    EXPECT_EQ(history().pasteData().size(), 60u);
    key(Qt::Key_Backspace);
    EXPECT_EQ(alerts.requests().size(), 2);
    EXPECT_EQ(texts(history()).mid(0, 2), (QStringList{"1", "4"}));
    EXPECT_EQ(history().pasteData().size(), 57u);
    EXPECT_EQ(history().getDataAtIndex(0)->number(), 1);
    EXPECT_EQ(table()->numberOfSelectedRows(), 0);
    _window.selectAllPasteData();
    EXPECT_EQ(table()->numberOfSelectedRows(), 57);
}

TEST_F(Table, CellsDrawTheLinesTheRowHoldsAndNothingIntoTheNextRow) {
    EXPECT_EQ(ImageAndTextCell::textFrame(QRect(0, 0, 200, 16), 16), QRect(16, 0, 184, 16));
    EXPECT_EQ(ImageAndTextCell::leadingLines(QStringLiteral("top\r\nmiddle\nbottom"), 2),
              (QStringList{"top", "middle"}));

    captureTexts({"Hg\nHg\nHg\nHg\nHg\nHg", ""});
    capture(QStringLiteral("picture"), ExtraType::TIFF, TestPictures::tiffOfPoints(40, 20));
    const QAbstractItemModel* model = table()->model();
    const QModelIndex picture = model->index(0, 1);
    QStyleOptionViewItem option;
    option.initFrom(table());
    const QSize plain = table()->itemDelegate()->sizeHint(option, model->index(2, 1));
    // Not drawn on the UI thread: the row shows it once the worker has drawn it.
    EXPECT_TRUE(picture.data(Qt::DecorationRole).isNull());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !picture.data(Qt::DecorationRole).isNull(); }));
    const int pictureWidth =
        qCeil(picture.data(Qt::DecorationRole).value<QPixmap>().deviceIndependentSize().width());
    EXPECT_EQ(pictureWidth, 16) << "fitted to the row height";
    EXPECT_GE(table()->itemDelegate()->sizeHint(option, picture).width(), plain.width() + 16);

    // How tall the ink of a cell is, and whether the row below it is untouched.
    const auto inkHeight = [&](const QImage& shot, const QRect& cell) {
        const QRgb background = shot.pixel(cell.right() - 1, cell.bottom() - 1);
        int top = cell.bottom(), bottom = cell.top();
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x < cell.right(); ++x)
                if (shot.pixel(x, y) != background)
                    top = std::min(top, y), bottom = std::max(bottom, y);
        return bottom >= top ? bottom - top + 1 : 0;
    };
    const int lineHeight = table()->fontMetrics().height();
    for (const float rows : {1.0f, 3.5f}) {
        _window.setViewHeight(float(table()->fontMetrics().lineSpacing()) * rows + 2);
        const QImage shot = table()->viewport()->grab().toImage();
        const QRect kind = table()->visualRect(model->index(1, 2));
        // The kind of the six-line text: its word, then its length, then "LF".
        if (rows == 1.0f)
            EXPECT_LE(inkHeight(shot, kind), lineHeight);
        else
            EXPECT_GT(inkHeight(shot, kind), 2 * lineHeight) << "three lines fit";
        EXPECT_EQ(inkHeight(shot, table()->visualRect(model->index(2, 1))), 0)
            << "the text spilled into the next row at " << rows << " lines";
    }
}

// A capture moves the rows already on the screen as pixels and paints only what changed: the
// screen must match a paint of the whole table after each one. Rows are trimmed while the view
// still has room, the history then outgrows the view, and under a filter the numbers shift.
TEST_F(Table, WhatACaptureLeavesOnTheScreenMatchesAPaintOfTheTable) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(table()->window()));
    const auto onScreenMatchesPaint = [&](const QString& step) {
        QCoreApplication::processEvents();
        const QRect area(table()->mapTo(table()->window(), QPoint()), table()->size());
        const QPixmap onScreen = table()->screen()->grabWindow(
            table()->window()->winId(), area.x(), area.y(), area.width(), area.height());
        EXPECT_EQ(onScreen.toImage().convertToFormat(QImage::Format_RGB32),
                  table()->grab().toImage().convertToFormat(QImage::Format_RGB32))
            << "after " << step.toStdString();
    };
    _delegate.limit = 4;
    capture("first");
    table()->selectRow(1);
    for (int i = 0; i < 6; ++i) {
        capture(QStringLiteral("trimmed %1").arg(i));
        onScreenMatchesPaint(QStringLiteral("trimmed %1").arg(i));
    }
    _delegate.limit = 100;
    const int visibleRows = table()->viewport()->height() / table()->rowHeight(0);
    for (int i = 0; i < visibleRows + 4; ++i) {
        capture(QStringLiteral("row %1").arg(i));
        onScreenMatchesPaint(QStringLiteral("row %1").arg(i));
    }
    _window.typeFilter(QStringLiteral("row"));
    for (int i = 0; i < 3; ++i) {
        capture(QStringLiteral("row filtered %1").arg(i));
        onScreenMatchesPaint(QStringLiteral("row filtered %1").arg(i));
    }
}

class Drag : public WindowFixture {
protected:
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

TEST_F(Drag, AMoveKeepsTheSelectionAForeignDropEntersAtItsRowAndRowsTravelWithTheirTypes) {
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

    _delegate.limit = 3;
    captureTexts({"same", "b", "c"});
    QMimeData text;
    text.setText("same");
    const QAbstractItemModel* model = table()->model();
    EXPECT_FALSE(model->canDropMimeData(&text, Qt::CopyAction, -1, -1, model->index(1, 0)));
    EXPECT_TRUE(model->canDropMimeData(&text, Qt::CopyAction, 2, 0, {}));
    ASSERT_TRUE(table()->model()->dropMimeData(&text, Qt::CopyAction, 2, 0, {}));
    EXPECT_EQ(texts(history()), (QStringList{"same", "b", "same"})) << "no repeat test, trimmed";

    QMimeData pdf;
    pdf.setData(QStringLiteral("application/pdf"), TestPictures::pdfOfPoints({5, 5}, Qt::red));
    EXPECT_FALSE(table()->model()->dropMimeData(&pdf, Qt::CopyAction, 0, 0, {}));

    _delegate.limit = 100;
    capture(std::nullopt, ExtraType::PDF, TestPictures::pdfOfPoints({10, 10}, Qt::blue));
    capture(QStringLiteral("picture"), ExtraType::TIFF, TestPictures::tiffOfPoints(4, 4));
    capture(QStringLiteral("rich"), ExtraType::RTF, QByteArray("{\\rtf1 rich}"));
    capture("plain");
    const QStringList plainTypes = {"text/plain;charset=utf-8", "text/plain"};
    const QString ours = PasteWindow::kKelvrin73Type;
    EXPECT_EQ(dragged({0}), plainTypes + QStringList{ours});
    EXPECT_EQ(dragged({1}), plainTypes + QStringList{ours}) << "rich text goes plain in text mode";
    EXPECT_EQ(dragged({2}), (QStringList{"image/tiff", "image/png", ours}));
    EXPECT_EQ(dragged({3}), (QStringList{"application/pdf", ours}));
    select({0, 2}); // a drag of several rows joins the selected ones
    EXPECT_EQ(dragged({0, 2}), QStringList{ours}) << "a picture is never joined";
    _window.getWindow()->status()->setCurrentIndex(1);
    EXPECT_EQ(dragged({1}),
              (QStringList{"text/rtf", "application/rtf"} + plainTypes + QStringList{ours}));
    EXPECT_EQ(_window.draggedDatas(), IndexSet({1}));
}
