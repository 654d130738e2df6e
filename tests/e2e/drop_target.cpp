// A window standing in for the programs people drag clippings to and from, as most of them are
// written: with Qt.
//
//   drop_target [--title TITLE] [--geometry X,Y,W,H] [--offer NAME=VALUE]...
//
// Prints "ready WINDOW" (its X window id) once the window is shown; then, for each drop into it,
// "drop FORMAT BASE64 FORMAT BASE64..." with every format the source offered and its bytes. With
// --offer it drags the given types, in the given order, when the mouse is pressed and moved in it.
#include "tests/e2e/ToolProgram.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {

class DropWindow : public QWidget {
public:
    explicit DropWindow(const QStringList& offers) : _offers(offers) { setAcceptDrops(true); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), Qt::darkCyan);
        if (!std::exchange(_shown, true))
            QTimer::singleShot(
                0, this, [this] { ToolProgram::print("ready " + QByteArray::number(winId())); });
    }

    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }

    void dropEvent(QDropEvent* event) override {
        QByteArray line = "drop";
        for (const QString& format : event->mimeData()->formats())
            line += ' ' + format.toUtf8() + ' ' + event->mimeData()->data(format).toBase64();
        event->acceptProposedAction();
        ToolProgram::print(line);
    }

    void mousePressEvent(QMouseEvent* event) override { _pressedAt = event->position().toPoint(); }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (_offers.isEmpty() || !(event->buttons() & Qt::LeftButton) ||
            (event->position().toPoint() - _pressedAt).manhattanLength() <
                QApplication::startDragDistance())
            return;
        auto* mimeData = new QMimeData;
        for (const QString& offer : _offers)
            mimeData->setData(offer.section(u'=', 0, 0), offer.section(u'=', 1).toUtf8());
        auto* drag = new QDrag(this);
        drag->setMimeData(mimeData);
        drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    }

private:
    QStringList _offers;
    QPoint _pressedAt;
    bool _shown = false;
};

} // namespace

int main(int argc, char** argv) {
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QCommandLineParser parser;
    parser.addOption({"offer", "A type to drag and its value.", "NAME=VALUE"});
    ToolProgram::readOptions(parser, argc, argv);
    DropWindow window(parser.values(QStringLiteral("offer")));
    ToolProgram::placeWindow(window, parser);
    window.show();
    return app.exec();
}
