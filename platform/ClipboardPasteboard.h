#pragma once

#include "platform/Pasteboard.h"

#include <QPointer>
#include <memory>

class QMimeData;
class SelectionReader;

// The X11 CLIPBOARD selection. It is read by a selection reader of our own, which notices every
// change of owner as it happens, so the change count costs no round trip; it is written through
// QClipboard, and Kelvrin's own writes advance the count at once and only once. A copy made in
// one of Kelvrin's own text fields is new content like any other, but Qt owns the clipboard for
// it on the thread that reads: it is read from Qt, never over X11 from ourselves. A read blocks
// for at most the transfer timeout, however slowly the owner sends; a picture's job, run on a
// worker, has the worker's longer limit and ends as soon as it is asked to stop.
class ClipboardPasteboard : public Pasteboard {
public:
    ClipboardPasteboard();
    ~ClipboardPasteboard() override;

    qint64 changeCount() const override;
    std::optional<qint64> contentGoneWithOwner() const override;

protected:
    QStringList offeredNames() override;
    std::optional<QByteArray> readName(const QString& name) override;
    DataJob readNameLater(const QString& name) override;
    void writeNames(const QList<std::pair<QString, QByteArray>>& named) override;
    void writePrimaryNames(const QList<std::pair<QString, QByteArray>>& named) override;

private:
    // What Qt holds for the clipboard when the content's owner is one of our own windows; null
    // for another program's content.
    const QMimeData* ownContent() const;

    // The count is brought up to date whenever it is read, from the notices already received.
    std::unique_ptr<SelectionReader> _reader;
    QByteArray _displayName;
    mutable qint64 _count = 0;
    // The owner of the content the count stands for, as the last notice named it.
    mutable uint32_t _owner = 0;
    // The count of the content whose owner went away, while that is the last change.
    mutable std::optional<qint64> _goneWithOwner;
    // What we last wrote, while Qt still holds it: a notice of our own window owning the
    // clipboard with this content is our write's, counted when it was made.
    QPointer<const QMimeData> _written;
};
