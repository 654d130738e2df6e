#pragma once

#include "platform/Pasteboard.h"

#include <QPointer>
#include <functional>
#include <memory>

class QMimeData;
class SelectionReader;

// The X11 CLIPBOARD selection. A selection reader of our own notices every change of owner as it
// happens, so the change count costs no round trip; the content is read by captures over a
// second connection, away from the thread that answers the user, and only from the owner the
// change was noticed with. It is written through QClipboard, and Kelvrin's own writes advance the
// count at once and only once. A copy made in one of Kelvrin's own text fields is new content
// like any other, but Qt owns the clipboard for it on the thread that answers the user: it is
// taken from Qt as it is noticed, never read over X11 from ourselves.
class X11Pasteboard : public Pasteboard {
public:
    // keptByDesktop tells whether the clipboard now holds the desktop's own copy of what a
    // program that quit had (GNOME Shell keeps one, as an owner of the X11 clipboard like any
    // other).
    explicit X11Pasteboard(std::function<bool()> keptByDesktop = {});
    ~X11Pasteboard() override;

    qint64 changeCount() const override;
    std::shared_ptr<PasteboardContent> content() override;
    std::optional<qint64> contentGoneWithOwner() const override;
    std::optional<qint64> contentTakenOverByKeeper() const override;

    // The connection captures read over.
    struct Worker;

protected:
    std::optional<qint64> writeNames(const QList<std::pair<QString, QByteArray>>& named) override;
    void writePrimaryNames(const QList<std::pair<QString, QByteArray>>& named) override;

private:
    // What Qt holds for the clipboard when the content's owner is one of our own windows; null
    // for another program's content.
    const QMimeData* ownContent() const;

    // The count is brought up to date whenever it is read, from the notices already received.
    std::unique_ptr<SelectionReader> _reader;
    std::shared_ptr<Worker> _worker;
    std::function<bool()> _keptByDesktop;
    mutable qint64 _count = 0;
    // The owner of the content the count stands for, as the last notice named it.
    mutable uint32_t _owner = 0;
    // The count of the content whose owner went away, while that is the last change.
    mutable std::optional<qint64> _goneWithOwner;
    // What we last wrote, while Qt still holds it: a notice of our own window owning the
    // clipboard with this content is our write's, counted when it was made.
    QPointer<const QMimeData> _written;
};
