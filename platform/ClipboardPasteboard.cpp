#include "platform/ClipboardPasteboard.h"

#include "platform/Log.h"
#include "platform/MimeDataPasteboard.h"
#include "platform/x11/SelectionReader.h"
#include "platform/x11/X11Connection.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

ClipboardPasteboard::ClipboardPasteboard() {
    const X11Connection* x11 = X11Connection::get();
    _reader = std::make_unique<SelectionReader>(x11 ? x11->displayName() : QByteArray());
    if (!_reader->watchOwner())
        Log::write(QStringLiteral("warning*** : [clipboard] the X server does not report "
                                  "clipboard changes; nothing will be captured"));
}

ClipboardPasteboard::~ClipboardPasteboard() = default;

qint64 ClipboardPasteboard::changeCount() const {
    for (const xcb_window_t owner : _reader->takeOwnerChanges())
        // Our own write was counted where it happened.
        if (!_ownWindow || owner != _ownWindow)
            ++_count;
    return _count;
}

QStringList ClipboardPasteboard::offeredNames() {
    return _reader->targets().value_or(QStringList());
}

std::optional<QByteArray> ClipboardPasteboard::readName(const QString& name) {
    return _reader->read(name);
}

void ClipboardPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    // Changes made by others before this write are counted first, as theirs.
    changeCount();
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    // Qt has made itself the owner when this returns: it asks the server to be sure.
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    _ownWindow = _reader->owner();
    ++_count;
}
