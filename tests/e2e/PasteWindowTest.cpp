// The paste window on a real display: keys, clicks and drags from the real pointer and
// keyboard, and the clipboard and other programs at the other end.
#include "tests/e2e/E2eHarness.h"

#include "window/PasteView.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class PasteWindowOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        copyEach(kelvrin, {"third", "second", "first"});
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window()->getWindow()));
    }

    PasteWindow* window() { return kelvrin.app().pasteWindow(); }
    PasteView* table() { return window()->table(); }
    // A point on the screen inside a row, or on the line above it.
    QPoint rowPoint(int row, bool lineAbove = false) {
        const QRect rect = table()->visualRect(table()->model()->index(row, 1));
        return table()->viewport()->mapToGlobal(lineAbove ? QPoint(rect.center().x(), rect.top())
                                                          : rect.center());
    }
    void clickRow(int row) {
        const QPoint at = rowPoint(row);
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
        ASSERT_TRUE(
            waitFor([&] { return table()->selectedRowIndexes() == IndexSet({quint64(row)}); }));
    }

    Kelvrin kelvrin;
};

} // namespace

// A row dragged sideways then down moves, straight down selects; a copy made while rows are being
// dragged waits for the drop, so the drag moves what the user saw when it began.
TEST_F(PasteWindowOnScreen, RowsArePastedAndMovedWithTheMouseAndTheKeys) {
    clickRow(1);
    xdotool({"key", "Return"});
    ASSERT_TRUE(waitFor([] { return readWithXclip() == "second"; }));
    const QPoint first = rowPoint(0);
    xdotool({"mousemove", QString::number(first.x()), QString::number(first.y()), "click",
             "--repeat", "2", "--delay", "80", "1"});
    ASSERT_TRUE(waitFor([] { return readWithXclip() == "first"; }));
    EXPECT_EQ(kelvrin.history().size(), 3u) << "our own write is no capture";

    clickRow(0);
    dragWithMouse({first, first + QPoint(40, 0), rowPoint(2, true) + QPoint(40, 0)});
    ASSERT_TRUE(waitFor([&] { return kelvrin.texts().front() == "second"; }));
    EXPECT_EQ(kelvrin.texts(), (QStringList{"second", "first", "third"}));
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({1}));

    // Straight down from a row selects the rows on the way instead of dragging.
    const QPoint top = rowPoint(0);
    xdotool({"mousemove", QString::number(top.x()), QString::number(top.y()), "mousedown", "1"});
    const QPoint bottom = rowPoint(2);
    xdotool({"mousemove", "--sync", QString::number(bottom.x()), QString::number(bottom.y()),
             "mouseup", "1"});
    ASSERT_TRUE(waitFor([&] { return table()->selectedRowIndexes() == IndexSet({0, 1, 2}); }));
    EXPECT_EQ(kelvrin.texts(), (QStringList{"second", "first", "third"}));

    clickRow(0);
    // The copy is made from the middle of the drag, and the poll has time to see it.
    dragWithMouse({first, first + QPoint(40, 0), rowPoint(2, true) + QPoint(40, 0)},
                  QStringLiteral("printf copied | xclip -selection clipboard; sleep 1"));
    ASSERT_TRUE(kelvrin.waitForHistory(4));
    EXPECT_EQ(kelvrin.texts(), (QStringList{"copied", "first", "second", "third"}));
}

TEST_F(PasteWindowOnScreen, RowsDragOutToOtherProgramsAndDropInFromThem) {
    DropTarget other(QStringLiteral("Other"), QRect(600, 300, 300, 200),
                     {"--offer", "text/plain=dropped in"});
    ASSERT_TRUE(other.ready());
    clickRow(2);
    const QPoint third = rowPoint(2);
    dragWithMouse({third, third + QPoint(40, 0), other.geometry().center()});
    ASSERT_TRUE(waitFor([&] { return !other.drops().empty(); }));
    EXPECT_EQ(other.drops()[0]["text/plain"], "third");
    EXPECT_TRUE(other.drops()[0].contains(PasteWindow::kKelvrin73Type));

    // In from the other program, onto the line between the first two rows.
    const QPoint start = other.geometry().center();
    dragWithMouse({start, start + QPoint(40, 0), rowPoint(1, true)});
    ASSERT_TRUE(waitFor([&] { return kelvrin.history().size() == 4; }));
    EXPECT_EQ(kelvrin.texts(), (QStringList{"first", "dropped in", "second", "third"}));
}
