#include "platform/ClipboardPasteboard.h"

#include "platform/MimeDataPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

ClipboardPasteboard::ClipboardPasteboard(QObject* parent) : QObject(parent) {
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this,
            [this](QClipboard::Mode mode) {
                // Our own write counts once, where it happens, not again when Qt reports it.
                if (mode == QClipboard::Clipboard && !_writing)
                    ++_count;
            });
}

const QMimeData* ClipboardPasteboard::content() const {
    return QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
}

QStringList ClipboardPasteboard::offeredNames() {
    const QMimeData* mime = content();
    return mime ? mime->formats() : QStringList();
}

std::optional<QByteArray> ClipboardPasteboard::readName(const QString& name) {
    const QMimeData* mime = content();
    if (!mime)
        return std::nullopt;
    QByteArray bytes = mime->data(name);
    // Qt answers a failed or timed-out transfer with no bytes, just as it answers an empty
    // content; neither leaves anything worth keeping.
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

std::optional<QString> ClipboardPasteboard::readText(const QString& name) {
    // Qt hands every text name over as UTF-8, whatever encoding the owner used.
    const std::optional<QByteArray> bytes = readName(name);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

void ClipboardPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    _writing = true;
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    _writing = false;
    ++_count;
}
