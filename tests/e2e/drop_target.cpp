// A window standing in for the programs people drag clippings to and from. Every drop into it is
// printed with the X11 types the source offered, in the source's order, and the bytes of each as
// the source serves them; with --offer it drags the given types, in the given order, when the
// mouse is pressed and moved in it.
//
//   drop_target [--title TITLE] [--geometry X,Y,W,H] [--offer NAME=VALUE|NAME=@FILE]...
//
// Prints "ready X,Y,W,H" (its inside, in screen coordinates, as the X server has it) once the
// window is shown; then one JSON line per drop, {"formats":[NAME...],"data":{NAME:BASE64...},
// "action":"copy"}, and one per drag it started, {"dragEnded":"copy"|"move"|"link"|"ignore"}.
// Ends on SIGTERM; 1 on a usage error.
//
// The types and bytes are read on a connection of our own, not through Qt, which folds
// UTF8_STRING, STRING and TEXT into text/plain and converts what it reads.
#include "tests/e2e/ToolProgram.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <poll.h>
#include <unistd.h>

// Last: Xlib's macros (None, Bool, Status) would break Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace {

using Named = QList<std::pair<QByteArray, QByteArray>>;
using Clock = std::chrono::steady_clock;

QString actionName(Qt::DropAction action) {
    switch (action) {
    case Qt::CopyAction:
        return QStringLiteral("copy");
    case Qt::MoveAction:
    case Qt::TargetMoveAction:
        return QStringLiteral("move");
    case Qt::LinkAction:
        return QStringLiteral("link");
    default:
        return QStringLiteral("ignore");
    }
}

// Our own view of the drag in progress, on a connection Qt does not read from.
class XdndReader : public QAbstractNativeEventFilter {
public:
    XdndReader() : _display(XOpenDisplay(nullptr)) {
        if (!_display)
            ToolProgram::fail(QStringLiteral("cannot open the display"));
        _enter = XInternAtom(_display, "XdndEnter", False);
        _drop = XInternAtom(_display, "XdndDrop", False);
        _typeList = XInternAtom(_display, "XdndTypeList", False);
        _selection = XInternAtom(_display, "XdndSelection", False);
        _property = XInternAtom(_display, "DROP_TARGET_DATA", False);
        _incr = XInternAtom(_display, "INCR", False);
        _window = XCreateSimpleWindow(_display, DefaultRootWindow(_display), 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(_display, _window, PropertyChangeMask);
    }
    ~XdndReader() override { XCloseDisplay(_display); }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (type != "xcb_generic_event_t" || (event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        const uint32_t* data = client->data.data32;
        if (client->type == _enter) {
            _types.clear();
            if (data[1] & 1)
                _types = typeList(data[0]);
            else
                for (int i = 2; i < 5; ++i)
                    if (data[i])
                        _types << Atom(data[i]);
        } else if (client->type == _drop) {
            _dropTime = data[2];
        }
        return false;
    }

    // The offered types with what the source gives for each; empty data for one it refuses.
    Named read() {
        Named named;
        for (const Atom type : std::as_const(_types)) {
            char* name = XGetAtomName(_display, type);
            named.emplace_back(name, convert(type).value_or(QByteArray()));
            XFree(name);
        }
        return named;
    }

    // Where the window's inside is: Qt learns of the window manager's moves only later.
    QRect place(const QWidget& widget) {
        int x = 0, y = 0;
        Window child = None;
        XTranslateCoordinates(_display, Window(widget.winId()), DefaultRootWindow(_display), 0, 0,
                              &x, &y, &child);
        return QRect(x, y, widget.width(), widget.height());
    }

private:
    QList<Atom> typeList(Window source) {
        QList<Atom> types;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* value = nullptr;
        if (XGetWindowProperty(_display, source, _typeList, 0, 1024, False, XA_ATOM, &type, &format,
                               &count, &after, &value) == Success &&
            format == 32)
            for (unsigned long i = 0; i < count; ++i)
                types << reinterpret_cast<const long*>(value)[i];
        if (value)
            XFree(value);
        return types;
    }

    // Waits for the next event of the kind on our window; false when the source says nothing.
    bool next(int kind, XEvent& event, Clock::time_point deadline) {
        while (!XCheckTypedWindowEvent(_display, _window, kind, &event)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd readable{ConnectionNumber(_display), POLLIN, 0};
            poll(&readable, 1, int(left.count()));
            XPending(_display);
        }
        return true;
    }

    // Takes the property off our window, 16- and 32-bit items packed as the source sent them.
    std::optional<QByteArray> take(Atom* type) {
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* value = nullptr;
        if (XGetWindowProperty(_display, _window, _property, 0, LONG_MAX / 4, True, AnyPropertyType,
                               type, &format, &count, &after, &value) != Success)
            return std::nullopt;
        QByteArray bytes;
        if (format == 8)
            bytes = QByteArray(reinterpret_cast<const char*>(value), qsizetype(count));
        for (unsigned long i = 0; format != 8 && i < count; ++i) {
            const long item = format == 16 ? reinterpret_cast<const short*>(value)[i]
                                           : reinterpret_cast<const long*>(value)[i];
            const auto narrow16 = quint16(item);
            const auto narrow32 = quint32(item);
            bytes.append(format == 16 ? reinterpret_cast<const char*>(&narrow16)
                                      : reinterpret_cast<const char*>(&narrow32),
                         format / 8);
        }
        if (value)
            XFree(value);
        return bytes;
    }

    std::optional<QByteArray> convert(Atom target) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        XConvertSelection(_display, _selection, target, _property, _window, _dropTime);
        XEvent event;
        if (!next(SelectionNotify, event, deadline) || event.xselection.property == None)
            return std::nullopt;
        Atom type = None;
        std::optional<QByteArray> bytes = take(&type);
        if (type != _incr)
            return bytes;
        // INCR: each chunk comes once the last is taken; the empty one ends it.
        bytes = QByteArray();
        while (next(PropertyNotify, event, deadline)) {
            if (event.xproperty.atom != _property || event.xproperty.state != PropertyNewValue)
                continue;
            const std::optional<QByteArray> chunk = take(&type);
            if (!chunk || chunk->isEmpty())
                return bytes;
            bytes->append(*chunk);
        }
        return std::nullopt;
    }

    Display* _display;
    Atom _enter, _drop, _typeList, _selection, _property, _incr;
    Window _window;
    QList<Atom> _types;
    Time _dropTime = CurrentTime;
};

class DropWindow : public QWidget {
public:
    DropWindow(XdndReader& reader, Named offers) : _reader(reader), _offers(std::move(offers)) {
        setAcceptDrops(true);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), _offers.isEmpty() ? Qt::darkCyan : Qt::darkMagenta);
        if (!_shown) {
            _shown = true;
            QTimer::singleShot(0, this, [this] {
                const QRect place = _reader.place(*this);
                ToolProgram::print(QStringLiteral("ready %1,%2,%3,%4")
                                       .arg(place.x())
                                       .arg(place.y())
                                       .arg(place.width())
                                       .arg(place.height())
                                       .toUtf8());
            });
        }
    }

    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }

    void dropEvent(QDropEvent* event) override {
        QJsonArray formats;
        QJsonObject data;
        for (const auto& [name, bytes] : _reader.read()) {
            formats << QString::fromLatin1(name);
            data.insert(QString::fromLatin1(name), QString::fromLatin1(bytes.toBase64()));
        }
        event->acceptProposedAction();
        ToolProgram::print(
            QJsonDocument(QJsonObject{{QStringLiteral("formats"), formats},
                                      {QStringLiteral("data"), data},
                                      {QStringLiteral("action"), actionName(event->dropAction())}})
                .toJson(QJsonDocument::Compact));
    }

    void mousePressEvent(QMouseEvent* event) override { _pressedAt = event->position().toPoint(); }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (_offers.isEmpty() || !(event->buttons() & Qt::LeftButton) ||
            (event->position().toPoint() - _pressedAt).manhattanLength() <
                QApplication::startDragDistance())
            return;
        auto* mimeData = new QMimeData;
        for (const auto& [name, bytes] : _offers)
            mimeData->setData(QString::fromLatin1(name), bytes);
        auto* drag = new QDrag(this);
        drag->setMimeData(mimeData);
        const Qt::DropAction action =
            drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
        ToolProgram::print(
            QJsonDocument(QJsonObject{{QStringLiteral("dragEnded"), actionName(action)}})
                .toJson(QJsonDocument::Compact));
    }

private:
    XdndReader& _reader;
    Named _offers;
    QPoint _pressedAt;
    bool _shown = false;
};

} // namespace

int main(int argc, char** argv) {
    // Qt would take --title and --geometry for its own X11 options: it sees none of ours.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    Named offers;
    const ToolProgram::Options options = ToolProgram::read(
        argc, argv, {QStringLiteral("drop_target"), QRect(100, 100, 300, 200)},
        "[--title TITLE] [--geometry X,Y,W,H] [--offer NAME=VALUE|NAME=@FILE]...",
        [&](const QString& option, const QString& value) {
            const qsizetype equals = value.indexOf(u'=');
            if (option != u"--offer" || equals <= 0)
                return false;
            QByteArray bytes = value.mid(equals + 1).toUtf8();
            if (bytes.startsWith('@')) {
                QFile file(QString::fromUtf8(bytes.mid(1)));
                if (!file.open(QIODevice::ReadOnly))
                    ToolProgram::fail(QStringLiteral("cannot read %1").arg(file.fileName()));
                bytes = file.readAll();
            }
            offers.emplace_back(value.left(equals).toLatin1(), bytes);
            return true;
        });
    ToolProgram::quitOnTerminate(app);

    XdndReader reader;
    app.installNativeEventFilter(&reader);
    DropWindow window(reader, std::move(offers));
    window.setWindowTitle(options.title);
    window.setGeometry(options.geometry);
    window.show();
    return app.exec();
}
