#include "platform/MimeDataPasteboard.h"

#include <QMimeData>

void MimeDataPasteboard::fill(QMimeData& mimeData,
                              const QList<std::pair<QString, QByteArray>>& named) {
    for (const auto& [name, bytes] : named) {
        if (name == u"UTF8_STRING" || name == u"STRING" || name == u"TEXT")
            continue;
        mimeData.setData(name, bytes);
    }
}

QStringList MimeDataPasteboard::offeredNames() {
    return _read->formats();
}

std::optional<QByteArray> MimeDataPasteboard::readName(const QString& name) {
    if (!_read->hasFormat(name))
        return std::nullopt;
    return _read->data(name);
}

void MimeDataPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    if (_written)
        fill(*_written, named);
}
