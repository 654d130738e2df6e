// The tools of the drag-and-drop tests, proved where the outcome is known: a drag between two
// other programs, and one out of a window of this process, as Kelvrin's window will be.
#include "tests/e2e/E2eHarness.h"

#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// Latin-1 beyond ASCII: STRING must arrive in Latin-1, UTF8_STRING in UTF-8.
const QString kWords = QStringLiteral("caf\u00e9 words");

class DragSource : public QWidget {
public:
    Qt::DropAction ended = Qt::IgnoreAction;
    int drags = 0;

protected:
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton) || drags)
            return;
        ++drags;
        auto* mimeData = new QMimeData;
        mimeData->setData(QStringLiteral("text/html"), "<i>slanted</i>");
        mimeData->setData(QStringLiteral("application/x-kelvrin-test"), QByteArray("\0\1\2", 3));
        auto* drag = new QDrag(this);
        drag->setMimeData(mimeData);
        ended = drag->exec(Qt::CopyAction);
    }
};

} // namespace

TEST(DragTools, ADragBetweenTwoProgramsDeliversEveryTypeInOrder) {
    DropTarget source(
        QStringLiteral("Source"), QRect(40, 40, 300, 200),
        {QStringLiteral("text/plain=") + kWords, QStringLiteral("text/html=<b>bold</b> words")});
    DropTarget target(QStringLiteral("Target"), QRect(600, 300, 300, 200));
    ASSERT_TRUE(source.ready() && target.ready());

    const QPoint start = source.geometry().center();
    dragWithMouse({start, start + QPoint(60, 0), target.geometry().center()});
    ASSERT_TRUE(waitFor([&] { return !target.drops().empty() && !source.dragsEnded().empty(); }));
    const DropTarget::Drop& drop = target.drops()[0];
    EXPECT_EQ(drop.formats,
              (QStringList{"text/plain", "UTF8_STRING", "STRING", "TEXT", "text/html"}));
    EXPECT_EQ(drop.data["text/plain"], kWords.toUtf8());
    EXPECT_EQ(drop.data["UTF8_STRING"], kWords.toUtf8());
    EXPECT_EQ(drop.data["STRING"], kWords.toLatin1());
    EXPECT_EQ(drop.data["text/html"], "<b>bold</b> words");
    EXPECT_EQ(drop.action, "copy");
    EXPECT_EQ(source.dragsEnded(), QStringList{"copy"});
    EXPECT_EQ(target.drops().size(), 1);
}

TEST(DragTools, ADragOutOfThisProcessArrives) {
    DragSource source;
    source.setGeometry(40, 40, 300, 200);
    source.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&source));
    DropTarget target(QStringLiteral("Target"), QRect(600, 300, 300, 200));
    ASSERT_TRUE(target.ready());

    const QPoint start = source.mapToGlobal(source.rect().center());
    dragWithMouse({start, start + QPoint(60, 0), target.geometry().center()});
    ASSERT_TRUE(waitFor([&] { return !target.drops().empty(); }));
    const DropTarget::Drop& drop = target.drops()[0];
    EXPECT_EQ(drop.formats, (QStringList{"text/html", "application/x-kelvrin-test"}));
    EXPECT_EQ(drop.data["text/html"], "<i>slanted</i>");
    EXPECT_EQ(drop.data["application/x-kelvrin-test"], QByteArray("\0\1\2", 3));
    EXPECT_EQ(source.ended, Qt::CopyAction);
    EXPECT_EQ(source.drags, 1);
}
