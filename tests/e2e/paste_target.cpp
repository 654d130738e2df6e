// A window standing in for the programs Kelvrin pastes into: a text field with the focus that
// reports every paste keystroke it receives, with what the clipboard holds at that moment.
//
//   paste_target [--title TITLE] [--geometry X,Y,W,H] [--class CLASS] [--copy TYPE=VALUE]...
//
// --class gives its window that WM_CLASS class on X11 and that app_id on Wayland, so it can pass
// for another program (a terminal). Prints "ready WINDOW" (its X window id; on Wayland plain
// "ready") once the window is shown and its field has the focus; then "paste KEYS BASE64" for each
// V pressed with modifiers, KEYS naming them as in "ctrl+v" or "ctrl+shift+v", BASE64 being the
// clipboard's text in UTF-8. With --copy it copies, once it has the focus (a Wayland compositor
// takes a copy only from the program with the keyboard), the types given, VALUE being the literal
// text or @path for the bytes of a file, before it says it is ready.
#include "tests/e2e/ToolProgram.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
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

// The types and bytes of the --copy options.
QMimeData* copied(const QStringList& options) {
    auto* content = new QMimeData;
    for (const QString& option : options) {
        const QString type = option.section(u'=', 0, 0);
        const QString value = option.section(u'=', 1);
        QByteArray bytes = value.toUtf8();
        if (value.startsWith(u'@')) {
            QFile file(value.mid(1));
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", qPrintable(file.fileName()));
            bytes = file.readAll();
        }
        content->setData(type, bytes);
    }
    return content;
}

} // namespace

int main(int argc, char** argv) {
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QCommandLineParser parser;
    parser.addOption({"class", "The WM_CLASS class and app_id.", "CLASS"});
    parser.addOption({"copy", "A type and its bytes to copy.", "TYPE=VALUE"});
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
        if (parser.isSet(QStringLiteral("copy")))
            QApplication::clipboard()->setMimeData(copied(parser.values(QStringLiteral("copy"))));
        // Only an X window has an id another program can use.
        ToolProgram::print(QGuiApplication::platformName() == u"xcb"
                               ? "ready " + QByteArray::number(window.winId())
                               : QByteArray("ready"));
    });
    focused.start(10);
    return app.exec();
}
