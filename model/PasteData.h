#pragma once

#include "formats/Picture.h"
#include "formats/TypedStream.h"
#include "platform/Pasteboard.h"

#include <QByteArray>
#include <QSizeF>
#include <QString>
#include <memory>
#include <optional>

// One clipping: the plain text of a copied content, at most one richer payload, and the values
// derived from them for the clip table. Text and payload are set once by their two setters;
// afterwards a clipping is only renumbered and asked for its thumbnail.
class PasteData {
public:
    PasteData();

    // Sets the text and rebuilds the display, information and folded texts.
    void setContents(const std::optional<QString>& contents);
    // Sets the payload and its code; for pictures also the picture, its size and the display text.
    // Must follow setContents, whose display text it overrides.
    void setExtraData(const std::optional<QByteArray>& extraData, qint32 type);

    // The picture fitted to the requested size, or null when there is none. Asked again with the
    // same height it returns the very same picture without decoding anything.
    std::shared_ptr<Picture> image(QSizeF requested);
    // The picture of a payload fitted to the requested size and already drawn at that size for
    // the given device pixel ratio, so that taking it (adoptImage) costs the window nothing: a
    // screenshot takes a tenth of a second to decode. Null when the payload is no picture. Safe
    // on any thread.
    static std::shared_ptr<Picture> drawnImage(const QByteArray& extraData, qint32 type,
                                               QSizeF requested, qreal pixelRatio);
    // Takes a picture made by drawnImage from this clipping's own payload for that size.
    void adoptImage(std::shared_ptr<Picture> image, QSizeF requested);

    // What the clipping puts on a pasteboard when pasted or dragged out: a picture as itself,
    // rich text with its payload only in the RTF paste mode (1), the text whenever there is
    // one. A code without a pasteboard form (PICT, unknown codes) gives nothing.
    QList<PasteboardEntry> pasteboardEntries(qint64 pasteMode) const;

    // The archived form: a record of this class with the number, the text, the code and the
    // payload. Reading rebuilds every derived value through the two setters.
    static constexpr qint32 kClassVersion = 2;
    TypedStream::Value encodeWithCoder() const;
    // Throws TypedStream::ArchiveError: named "VersionCheckException" when the archive was
    // written by a newer version of the record, an inconsistency for a record of another shape.
    static std::unique_ptr<PasteData> initWithCoder(const TypedStream::Archive& archive,
                                                    const TypedStream::Value& record);

    qint32 number() const { return _number; }
    void setNumber(qint32 number) { _number = number; }
    const std::optional<QString>& contents() const { return _contents; }
    const std::optional<QString>& displayContents() const { return _displayContents; }
    // The text as the paste window's filter compares it (ClipFilter::folded), worked out with
    // the text: typing into the filter searches it again at every key, and the first key must
    // not wait for thousands of texts to be folded. Empty for a clipping without text.
    const QByteArray& foldedContents() const { return _foldedContents; }
    qint32 extraType() const { return _extraType; }
    const std::optional<QByteArray>& extraData() const { return _extraData; }
    const QString& strInfo() const { return _strInfo; }
    QSizeF imageCurrentSize() const { return _imageCurrentSize; }
    // What the text and the payload are known by wherever they are stored: two clippings with the
    // same text and payload have the same digest, and two others never do. Worked out once, on
    // the thread that first asks.
    const QByteArray& digest() const;

private:
    std::shared_ptr<Picture> decodePicture() const;

    qint32 _number = 0;
    std::optional<QString> _contents;
    std::optional<QString> _displayContents;
    QByteArray _foldedContents;
    qint32 _extraType = 0;
    std::optional<QByteArray> _extraData;
    std::shared_ptr<Picture> _image;
    QSizeF _imageCurrentSize;
    QString _strInfo;
    mutable QByteArray _digest;
};
