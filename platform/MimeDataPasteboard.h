#pragma once

#include "platform/Pasteboard.h"

class QMimeData;

// The content of a drag: what is dropped is read from the drop's data, what is dragged out is
// written into the drag's data, under the same X11 type names as the clipboard.
class MimeDataPasteboard : public Pasteboard {
public:
    // A drag being filled, or a drop being read, which is never written.
    explicit MimeDataPasteboard(QMimeData* drag) : _read(drag), _written(drag) {}
    explicit MimeDataPasteboard(const QMimeData* drop) : _read(drop) {}

    // A drag's content never changes while it is read.
    qint64 changeCount() const override { return 1; }
    // Read from the drop's data where the drop happens: Qt's data answers on its own thread.
    std::shared_ptr<PasteboardContent> content() override;

    // Puts the named bytes into the data as Qt offers them to X11 programs, which derive the
    // old text targets (UTF8_STRING, STRING, TEXT) from text/plain themselves.
    static void fill(QMimeData& mimeData, const QList<std::pair<QString, QByteArray>>& named);

protected:
    std::optional<qint64> writeNames(const QList<std::pair<QString, QByteArray>>& named) override;

private:
    const QMimeData* _read;
    QMimeData* _written = nullptr;
};
