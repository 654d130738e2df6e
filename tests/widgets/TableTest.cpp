#include "ScriptedAlerts.h"
#include "TestPictures.h"
#include "WindowFixture.h"

#include "window/ImageAndTextCell.h"
#include "window/PasteTableModel.h"

#include <QDialog>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

class Table : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        _window.showPasteWindow();
        table()->setFocus();
    }
    void key(QEvent::Type type, int key, Qt::KeyboardModifiers modifiers = {},
             bool autoRepeat = false) {
        QKeyEvent event(type, key, modifiers, QString(), autoRepeat);
        QApplication::sendEvent(table(), &event);
    }
    // Return pressed and released, as the keyboard sends it.
    void pressReturn(Qt::KeyboardModifiers modifiers = {}) {
        key(QEvent::KeyPress, Qt::Key_Return, modifiers);
        key(QEvent::KeyRelease, Qt::Key_Return, modifiers);
    }
    QPoint rowCentre(int row) {
        return table()->visualRect(table()->model()->index(row, 1)).center();
    }
};

TEST_F(Table, ReturnPastesOnceOnItsReleaseAndOnlyWithoutCommandModifiers) {
    captureTexts({"a", "b"});
    select({0});
    // Held down: the key repeats as release and press pairs; one paste, on the real release.
    key(QEvent::KeyPress, Qt::Key_Return);
    for (int repeat = 0; repeat < 3; ++repeat) {
        key(QEvent::KeyRelease, Qt::Key_Return, {}, true);
        key(QEvent::KeyPress, Qt::Key_Return, {}, true);
    }
    _delegate.answer = false; // not delivered: the window stays
    key(QEvent::KeyRelease, Qt::Key_Return);
    EXPECT_EQ(_delegate.handed.size(), 1u);
    EXPECT_TRUE(_window.isWindowVisible());

    ScriptedAlerts alerts;
    for (const auto modifier :
         {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier})
        pressReturn(modifier);
    EXPECT_EQ(alerts.beeps(), 4);
    EXPECT_EQ(_delegate.handed.size(), 1u);
    // A release whose press went elsewhere does nothing.
    key(QEvent::KeyRelease, Qt::Key_Return);
    EXPECT_EQ(_delegate.handed.size(), 1u);

    _delegate.answer = true;
    _delegate.hide = 0;
    pressReturn(Qt::KeypadModifier); // the keypad's Enter, or Num Lock on
    EXPECT_EQ(_delegate.handed.size(), 2u);
    EXPECT_TRUE(_window.isWindowVisible()) << "hiding after a paste is off";
    _delegate.hide = 1;
    pressReturn();
    EXPECT_FALSE(_window.isWindowVisible());
}

TEST_F(Table, ADoubleClickPastesAndWithAModifierBeeps) {
    captureTexts({"a", "b"});
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, rowCentre(1));
    {
        ScriptedAlerts alerts;
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(1));
        EXPECT_EQ(alerts.beeps(), 1);
        EXPECT_TRUE(_delegate.handed.empty());
    }
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, rowCentre(1));
    ASSERT_EQ(_delegate.handed.size(), 1u);
    EXPECT_EQ(_delegate.contents, QStringLiteral("b"));
    EXPECT_FALSE(_window.isWindowVisible());
}

TEST_F(Table, ArrowsSwitchSetsDeleteKeysDeleteAndDownSelectsTheFirstRow) {
    captureTexts({"a", "b", "c"});
    key(QEvent::KeyPress, Qt::Key_Down);
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({0}));
    {
        ScriptedAlerts alerts({Alert::AlternateReturn, Alert::AlternateReturn});
        key(QEvent::KeyPress, Qt::Key_Backspace);
        select({0});
        key(QEvent::KeyPress, Qt::Key_Delete);
        EXPECT_EQ(alerts.requests().size(), 2);
    }
    EXPECT_EQ(texts(history()), QStringList{"c"});
    select({0});
    {
        ScriptedAlerts alerts;
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, rowCentre(0));
        _window.addSet();
        _window.setSelectWindow()->findChild<QComboBox*>()->setEditText(QStringLiteral("A"));
        _window.setSelectWindowOk();
    }
    key(QEvent::KeyPress, Qt::Key_Right);
    EXPECT_EQ(setList()->currentIndex(), 1);
    key(QEvent::KeyPress, Qt::Key_Right);
    EXPECT_EQ(setList()->currentIndex(), 0);
    key(QEvent::KeyPress, Qt::Key_Left);
    EXPECT_EQ(setList()->currentIndex(), 1);
}

TEST_F(Table, ACaptureMovesTheRowsWithoutResettingTheTable) {
    _delegate.limit = 3;
    captureTexts({"b", "c", "d"});
    select({1}); // "c"
    QSignalSpy resets(table()->model(), &QAbstractItemModel::modelReset);
    capture(QStringLiteral("a"));
    EXPECT_EQ(resets.size(), 0);
    EXPECT_EQ(texts(history()), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({2})) << "the selection follows its clipping";
    EXPECT_EQ(table()->model()->rowCount(), 3);
    EXPECT_EQ(table()->model()->index(2, 0).data().toInt(), 3);
}

TEST_F(Table, CellsDrawOneLineBesideThePictureAndNothingIntoTheNextRow) {
    EXPECT_EQ(ImageAndTextCell::textFrame(QRect(0, 0, 200, 16), 16), QRect(16, 0, 184, 16));
    EXPECT_EQ(ImageAndTextCell::firstLine(QStringLiteral("top\r\nbottom")), QStringLiteral("top"));

    captureTexts({"Hg\nHg\nHg\nHg", ""});
    capture(QStringLiteral("picture"), ExtraType::TIFF, TestPictures::tiffOfPoints(40, 20));
    const QAbstractItemModel* model = table()->model();
    const QModelIndex text = model->index(1, 1);
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
    EXPECT_EQ(model->index(1, 2).data(Qt::ToolTipRole).toString(), QStringLiteral("text\n11\nLF"));

    // The row under the four-line text is empty: not a pixel of it may differ from the
    // background of the row below that.
    const QImage shot = table()->viewport()->grab().toImage();
    const QRect below = table()->visualRect(model->index(2, 1));
    const QRgb background = shot.pixel(below.center());
    for (int y = below.top(); y <= below.bottom(); ++y)
        for (int x = below.left(); x <= below.right(); ++x)
            ASSERT_EQ(shot.pixel(x, y), background) << x << "," << y;
    EXPECT_TRUE(text.isValid());
}
