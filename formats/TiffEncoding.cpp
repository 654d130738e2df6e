// The encoding of captured bitmaps as TIFF: whatever format a program offered, the clipping
// keeps a TIFF that states its resolution, written as small and as fast as the pixels allow.
#include "formats/Picture.h"

#include "formats/TiffMemory.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Qt's TIFF writer takes any non-zero compression as LZW.
constexpr int LzwCompression = 1;
// Deflate's fastest level: higher ones save a few per cent for up to twice the time.
constexpr int DeflateLevel = 1;
constexpr qint64 DeflateStripBytes = 1024 * 1024;

quint32 bigEndian32(const QByteArray& bytes, qsizetype at) {
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

// A pHYs chunk in metres, before the pixels; one in no unit gives only the pixels' shape.
bool pngStatesResolution(const QByteArray& bytes) {
    constexpr qsizetype signature = 8;
    for (qsizetype at = signature; at + 8 <= bytes.size();) {
        const quint32 length = bigEndian32(bytes, at);
        const QByteArrayView type(bytes.constData() + at + 4, 4);
        if (type == "IDAT" || length > quint32(bytes.size()))
            return false;
        if (type == "pHYs")
            return length >= 9 && at + 8 + 9 <= bytes.size() && bigEndian32(bytes, at + 8) > 0 &&
                   bytes[at + 8 + 8] == 1;
        at += 8 + qsizetype(length) + 4;
    }
    return false;
}

// A JFIF header in dots per inch or per centimetre; its unit 0 gives only the pixels' shape.
bool jpegStatesResolution(const QByteArray& bytes) {
    // After the marker and the length: "JFIF\0", the version's two bytes, the unit, the density.
    constexpr qsizetype unit = 4 + 7;
    for (qsizetype at = 2; at + 4 <= bytes.size() && uchar(bytes[at]) == 0xFF;) {
        const uchar marker = uchar(bytes[at + 1]);
        if (marker == 0xDA) // the pixels begin
            return false;
        const qsizetype length = qFromBigEndian<quint16>(bytes.constData() + at + 2);
        if (marker == 0xE0 && bytes.mid(at + 4, 5) == QByteArrayView("JFIF\0", 5))
            return at + unit + 2 < bytes.size() &&
                   (bytes[at + unit] == 1 || bytes[at + unit] == 2) &&
                   (bytes[at + unit + 1] != 0 || bytes[at + unit + 2] != 0);
        at += 2 + length;
    }
    return false;
}

// The horizontal pixels per metre of an info header; 0 there states none.
bool bmpStatesResolution(const QByteArray& bytes) {
    constexpr qsizetype fileHeader = 14;
    constexpr qsizetype pixelsPerMetre = fileHeader + 24;
    return bytes.size() >= pixelsPerMetre + 4 &&
           qFromLittleEndian<quint32>(bytes.constData() + fileHeader) >= 40 &&
           qFromLittleEndian<qint32>(bytes.constData() + pixelsPerMetre) > 0;
}

// Both resolutions, in inches or centimetres.
bool tiffStatesResolution(const QByteArray& bytes) {
    TiffMemory::Stream stream{bytes};
    const TiffMemory::Handle tiff = TiffMemory::openReading(stream);
    float x = 0;
    float y = 0;
    uint16_t unit = RESUNIT_INCH;
    return tiff && TIFFGetField(tiff.get(), TIFFTAG_XRESOLUTION, &x) &&
           TIFFGetField(tiff.get(), TIFFTAG_YRESOLUTION, &y) && x > 0 && y > 0 &&
           TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_RESOLUTIONUNIT, &unit) && unit != RESUNIT_NONE;
}

// Whether the picture says how large its pixels are, as Qt's reader of that format reads it.
// Qt takes any other picture to be at the screen's resolution.
bool statesResolution(const QByteArray& bytes, const QByteArray& format) {
    if (format == "png")
        return pngStatesResolution(bytes);
    if (format == "jpeg" || format == "jpg")
        return jpegStatesResolution(bytes);
    if (format == "bmp")
        return bmpStatesResolution(bytes);
    if (format == "tiff" || format == "tif")
        return tiffStatesResolution(bytes);
    return false;
}

QImage readAnyImage(const QByteArray& encoded) {
    QBuffer buffer;
    buffer.setData(encoded);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // A photo copied with an orientation tag is stored upright, as it was seen.
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    QImage image = reader.read();
    // A picture that does not say how large its pixels are has one pixel to a point, as it is
    // shown; the TIFF it becomes says so, for every reader of our files.
    if (!image.isNull() && !statesResolution(encoded, format)) {
        const int pointsPerMetre =
            int(std::lround(TiffMemory::PointsPerInch * 100 / TiffMemory::CentimetresPerInch));
        image.setDotsPerMeterX(pointsPerMetre);
        image.setDotsPerMeterY(pointsPerMetre);
    }
    return image;
}

// Eight bits a channel is what screenshots and photos copied from other programs have; deeper
// pixels go through Qt's writer, which keeps every bit.
bool hasEightBitChannels(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
    case QImage::Format_A2BGR30_Premultiplied:
    case QImage::Format_A2RGB30_Premultiplied:
    case QImage::Format_BGR30:
    case QImage::Format_RGB30:
        return false;
    default:
        return true;
    }
}

// Screens are mostly runs of one colour, where differencing each pixel from its left
// neighbour only gets in Deflate's way; photos are the opposite, and differencing halves them.
// Every eighth row tells which kind a picture is.
bool mostlyRuns(const QImage& pixels) {
    const qsizetype pixelBytes = pixels.depth() / 8;
    const qsizetype rowBytes = qsizetype(pixels.width()) * pixelBytes;
    qint64 same = 0;
    qint64 compared = 0;
    for (int y = 0; y < pixels.height(); y += 8) {
        const uchar* row = pixels.constScanLine(y);
        for (qsizetype x = pixelBytes; x < rowBytes; x += pixelBytes) {
            same += std::memcmp(row + x, row + x - pixelBytes, size_t(pixelBytes)) == 0;
            ++compared;
        }
    }
    return compared == 0 || same * 2 >= compared;
}

// Deflate written by libtiff directly: on screenshots and photos alike it is smaller than Qt's
// LZW and takes less time, which matters for a 4K screen copied whole.
std::optional<QByteArray> writeDeflateTiff(const QImage& image) {
    const bool alpha = image.hasAlphaChannel();
    // Qt's TIFF reader hands translucent pixels back premultiplied whatever the file says, so
    // they are stored premultiplied and come back exactly as they were first drawn.
    QImage pixels = image.convertToFormat(alpha ? QImage::Format_RGBA8888_Premultiplied
                                                : QImage::Format_RGB888);
    if (pixels.isNull())
        return std::nullopt;
    const int samples = alpha ? 4 : 3;
    TiffMemory::Stream stream;
    stream.bytes.reserve(qsizetype(pixels.width()) * pixels.height());
    TiffMemory::Handle closing = TiffMemory::openWriting(stream);
    TIFF* const tiff = closing.get();
    if (!tiff)
        return std::nullopt;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(pixels.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(pixels.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (alpha) {
        const uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, DeflateLevel);
    if (!mostlyRuns(pixels))
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    const qint64 rowBytes = qint64(pixels.width()) * samples;
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP,
                 uint32_t(std::clamp<qint64>(DeflateStripBytes / rowBytes, 1, pixels.height())));
    // The resolution as Qt's writer gives it: per centimetre when that is a whole number, else
    // in whole dots per inch, so that 144 dpi reads back as 144 and not 143.99.
    const int xPerMetre = image.dotsPerMeterX();
    const int yPerMetre = image.dotsPerMeterY();
    if (xPerMetre % 100 == 0 && yPerMetre % 100 == 0) {
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, float(xPerMetre / 100));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, float(yPerMetre / 100));
    } else {
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, float(std::lround(xPerMetre * 0.0254)));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, float(std::lround(yPerMetre * 0.0254)));
    }
    // The colour profile travels with the pixels, as Qt's writer keeps it.
    const QByteArray profile =
        image.colorSpace().isValid() ? image.colorSpace().iccProfile() : QByteArray();
    if (!profile.isEmpty())
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.constData());
    for (int y = 0; y < pixels.height(); ++y)
        if (TIFFWriteScanline(tiff, pixels.scanLine(y), uint32_t(y), 0) < 0)
            return std::nullopt;
    if (!TIFFFlush(tiff))
        return std::nullopt;
    closing.reset();
    return stream.bytes;
}

std::optional<QByteArray> writeLzwTiff(const QImage& image) {
    QByteArray tiff;
    QBuffer buffer(&tiff);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(LzwCompression);
    if (!writer.write(image))
        return std::nullopt;
    buffer.close();
    return tiff;
}

} // namespace

std::optional<QByteArray> Picture::tiffFromImageData(const QByteArray& encoded) {
    TiffMemory::quieten();
    const QImage image = readAnyImage(encoded);
    if (image.isNull())
        return std::nullopt;
    return hasEightBitChannels(image) ? writeDeflateTiff(image) : writeLzwTiff(image);
}
