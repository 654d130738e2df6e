// A window standing in for the programs Kelvrin pastes into: a text field with the focus that
// reports every paste keystroke it receives, with what the clipboard holds at that moment.
//
//   paste_target [--title TITLE] [--geometry X,Y,W,H] [--class CLASS]
//
// --class gives its window that WM_CLASS class on X11 and that app_id on Wayland, so it can pass
// for another program (a terminal). Prints "ready WINDOW" (its X window id; on Wayland plain
// "ready") once the window is shown and its field has the focus; then "paste KEYS BASE64" for each
// V pressed with modifiers, KEYS naming them as in "ctrl+v" or "ctrl+shift+v", BASE64 being the
// clipboard's text in UTF-8.
#include "tests/e2e/ToolProgram.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {

class Field : public QLineEdit {
protected:
    void keyPressEvent(QKeyEvent* event) override {
        // Every V with a modifier is told, so a paste that arrives with a modifier too many shows
        // as what it was rather than as nothing.
        static const std::pair<Qt::KeyboardModifier, const char*> names[] = {
            {Qt::ControlModifier, "ctrl+"},
            {Qt::ShiftModifier, "shift+"},
            {Qt::AltModifier, "alt+"},
            {Qt::MetaModifier, "super+"}};
        QByteArray keys;
        for (const auto& [modifier, name] : names)
            if (event->modifiers() & modifier)
                keys += name;
        if (event->key() == Qt::Key_V && !keys.isEmpty())
            ToolProgram::print("paste " + keys + "v " +
                               QApplication::clipboard()->text().toUtf8().toBase64());
        QLineEdit::keyPressEvent(event);
    }
};

} // namespace

int main(int argc, char** argv) {
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QCommandLineParser parser;
    parser.addOption({"class", "The WM_CLASS class and app_id.", "CLASS"});
    ToolProgram::readOptions(parser, argc, argv);
    // Qt makes the class of WM_CLASS from the application's name when it first creates a window,
    // and the app_id from the desktop file name.
    if (parser.isSet(QStringLiteral("class"))) {
        QApplication::setApplicationName(parser.value(QStringLiteral("class")));
        QApplication::setDesktopFileName(parser.value(QStringLiteral("class")));
    }
    QWidget window;
    ToolProgram::placeWindow(window, parser);
    auto* field = new Field;
    (new QVBoxLayout(&window))->addWidget(field);
    window.show();
    field->setFocus();

    // Keys reach the field only once the window manager has given the window the focus.
    QTimer focused;
    QObject::connect(&focused, &QTimer::timeout, [&] {
        if (!window.isActiveWindow() || !field->hasFocus())
            return;
        focused.stop();
        // Only an X window has an id another program can use.
        ToolProgram::print(QGuiApplication::platformName() == u"xcb"
                               ? "ready " + QByteArray::number(window.winId())
                               : QByteArray("ready"));
    });
    focused.start(10);
    return app.exec();
}
