#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <memory>
#include <optional>

// A picture made from encoded bytes. It keeps the bytes (shared with the caller, not copied) and
// its natural size in points; pixels are decoded only when drawn, at the size they are drawn,
// so a history full of screenshots never holds their full decoded pixels.
class Picture {
public:
    enum class Format { TIFF, PDF, PICT };

    // Reads only what gives the natural size (the TIFF header and resolution, a PDF's first page
    // size). Null when the bytes are not a readable picture of that format or have no area.
    // PICT has no decoder here and always gives null.
    static std::shared_ptr<Picture> fromData(const QByteArray& bytes, Format format);

    // Bitmap bytes of any format Qt reads (PNG, JPEG, BMP, TIFF) re-encoded losslessly as TIFF,
    // keeping the resolution; absent when the bytes cannot be decoded. Captures are stored so;
    // the encoding is in TiffEncoding.cpp.
    static std::optional<QByteArray> tiffFromImageData(const QByteArray& encoded);

    QSizeF naturalSize() const { return _naturalSize; }
    // The size the picture is drawn at, in points; the natural size until set.
    QSizeF size() const { return _size; }
    void setSize(QSizeF size) { _size = size; }

    // The pixels scaled to the given device size; decoded on first use and kept for that size only.
    QImage render(QSize pixelSize) const;
    // Whether render() gives the pixels of that size at once, without decoding.
    bool isRenderedAt(QSize pixelSize) const { return pixelSize == _renderedSize; }

private:
    Picture(QByteArray bytes, Format format, QSizeF naturalSize);
    QImage decode(QSize pixelSize) const;

    QByteArray _bytes;
    Format _format;
    QSizeF _naturalSize;
    QSizeF _size;
    mutable QImage _rendered;
    mutable QSize _renderedSize;
};
