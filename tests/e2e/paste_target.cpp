// A window standing in for the programs Kelvrin pastes into: a text field with the focus that
// reports every paste keystroke it receives, with what the clipboard holds at that moment.
//
//   paste_target [--title TITLE] [--geometry X,Y,W,H] [--class CLASS]
//
// --class gives its window that WM_CLASS class on X11 and that app_id on Wayland, so it can pass
// for another program (a terminal). Prints "ready WINDOW" (its X window id; on Wayland plain
// "ready") once the window is shown and its field has the focus; then "paste KEYS BASE64" for each
// V pressed with modifiers, KEYS naming them as in "ctrl+v" or "ctrl+shift+v", BASE64 being the
// clipboard's text in UTF-8. Ends on SIGTERM; 1 on a usage error.
#include "tests/e2e/ToolProgram.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

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
            report(keys + 'v');
        QLineEdit::keyPressEvent(event);
    }

private:
    static void report(const QByteArray& keys) {
        ToolProgram::print("paste " + keys + ' ' +
                           QApplication::clipboard()->text().toUtf8().toBase64());
    }
};

} // namespace

int main(int argc, char** argv) {
    // Qt would take --title and --geometry for its own X11 options: it sees none of ours.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const ToolProgram::Options options =
        ToolProgram::read(argc, argv, {QStringLiteral("paste_target"), QRect(100, 100, 300, 80)},
                          "[--title TITLE] [--geometry X,Y,W,H] [--class CLASS]",
                          [](const QString& option, const QString& value) {
                              if (option != u"--class")
                                  return false;
                              // Qt makes the class of WM_CLASS from the application's name when it
                              // first creates a window, and the app_id from the desktop file name.
                              QApplication::setApplicationName(value);
                              QApplication::setDesktopFileName(value);
                              return true;
                          });
    ToolProgram::quitOnTerminate(app);

    QWidget window;
    window.setWindowTitle(options.title);
    window.setGeometry(options.geometry);
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
