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
    _displayName = x11 ? x11->displayName() : QByteArray();
    _reader = std::make_unique<SelectionReader>(_displayName);
    if (!_reader->watchOwner())
        Log::write(QStringLiteral("warning*** : [clipboard] the X server does not report "
                                  "clipboard changes; nothing will be captured"));
}

ClipboardPasteboard::~ClipboardPasteboard() = default;

qint64 ClipboardPasteboard::changeCount() const {
    for (const SelectionReader::OwnerChange& change : _reader->takeOwnerChanges()) {
        _owner = change.owner;
        // Our own write was counted where it happened.
        if (_written && ownContent() == _written)
            continue;
        _goneWithOwner = change.ownerLeft ? std::optional<qint64>(_count) : std::nullopt;
        ++_count;
    }
    return _count;
}

std::optional<qint64> ClipboardPasteboard::contentGoneWithOwner() const {
    return _goneWithOwner;
}

const QMimeData* ClipboardPasteboard::ownContent() const {
    const X11Connection* x11 = X11Connection::get();
    return x11 && x11->isOwnWindow(_owner) ? QGuiApplication::clipboard()->mimeData() : nullptr;
}

QStringList ClipboardPasteboard::offeredNames() {
    if (const QMimeData* own = ownContent())
        return own->formats();
    return _reader->targets().value_or(QStringList());
}

std::optional<QByteArray> ClipboardPasteboard::readName(const QString& name) {
    if (const QMimeData* own = ownContent())
        return own->hasFormat(name) ? std::optional<QByteArray>(own->data(name)) : std::nullopt;
    return _reader->read(name);
}

Pasteboard::DataJob ClipboardPasteboard::readNameLater(const QString& name) {
    if (ownContent())
        return Pasteboard::readNameLater(name);
    // A picture can take most of a second to come: the job reads it on a connection of its own,
    // on whatever thread runs it, and only from the owner of the content the capture looked at.
    // A new owner before or during the transfer makes it one that cannot be supplied; the next
    // tick captures the new content.
    return [display = _displayName, owner = _owner,
            name](std::stop_token stop) -> std::optional<QByteArray> {
        SelectionReader reader(display, Transfer::kWorkerLimit);
        if (!reader.watchOwner() || reader.owner() != owner)
            return std::nullopt;
        return reader.read(name, std::move(stop));
    };
}

void ClipboardPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    // Changes made by others before this write are counted first, as theirs.
    changeCount();
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    // Qt has made itself the owner when this returns: it asks the server to be sure.
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    _written = mime;
    _owner = _reader->owner();
    _goneWithOwner.reset();
    ++_count;
}

void ClipboardPasteboard::writePrimaryNames(const QList<std::pair<QString, QByteArray>>& named) {
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Selection);
}
