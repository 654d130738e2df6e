#include "formats/Picture.h"

#include "formats/pdf/PdfModule.h"
#include "platform/Log.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QLibrary>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <tiffio.h>

namespace {

constexpr double PointsPerInch = 72.0;
constexpr double CentimetresPerInch = 2.54;
// Qt's TIFF writer takes any non-zero compression as LZW.
constexpr int LzwCompression = 1;
// Deflate's fastest level: higher ones save a few per cent for up to twice the time.
constexpr int DeflateLevel = 1;
constexpr qint64 DeflateStripBytes = 1024 * 1024;

// Damaged clipboard pictures are ordinary. libtiff (for us and for Qt's TIFF reader alike) would
// report each of them on stderr, so it is kept quiet from the first picture on.
void quietenDecoders() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// libtiff reads the header straight from the clipping's bytes through these callbacks, so
// sizing a picture copies nothing (the bytes are shared) and decodes no pixels; a TIFF being
// written grows in the same kind of stream.
struct MemoryStream {
    QByteArray bytes;
    qint64 position = 0;
};

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size) {
    auto* stream = static_cast<MemoryStream*>(handle);
    const qint64 available = stream->bytes.size() - stream->position;
    const qint64 count = std::min<qint64>(size, available);
    if (count <= 0)
        return 0;
    std::memcpy(buffer, stream->bytes.constData() + stream->position, size_t(count));
    stream->position += count;
    return tmsize_t(count);
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* stream = static_cast<MemoryStream*>(handle);
    qint64 origin = 0;
    if (whence == SEEK_CUR)
        origin = stream->position;
    else if (whence == SEEK_END)
        origin = stream->bytes.size();
    // A backward relative seek arrives as a wrapped unsigned offset.
    const qint64 target = origin + qint64(offset);
    if (target < 0)
        return toff_t(-1);
    stream->position = target;
    return toff_t(target);
}

int closeMemory(thandle_t) {
    return 0;
}

toff_t memorySize(thandle_t handle) {
    return toff_t(static_cast<MemoryStream*>(handle)->bytes.size());
}

int refuseMapping(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapNothing(thandle_t, void*, toff_t) {}

using TiffHandle = std::unique_ptr<TIFF, decltype(&TIFFClose)>;

TiffHandle openTiff(MemoryStream& stream) {
    TIFF* tiff = TIFFClientOpen("clipping", "r", &stream, readMemory, refuseWrite, seekMemory,
                                closeMemory, memorySize, refuseMapping, unmapNothing);
    return TiffHandle(tiff, &TIFFClose);
}

// A missing, senseless or unit-less resolution counts as one pixel per point.
double dotsPerInch(TIFF* tiff, ttag_t resolutionTag) {
    float resolution = 0;
    if (!TIFFGetField(tiff, resolutionTag, &resolution) || !std::isfinite(resolution) ||
        resolution <= 0)
        return PointsPerInch;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER)
        return resolution * CentimetresPerInch;
    if (unit == RESUNIT_INCH)
        return resolution;
    return PointsPerInch;
}

QSizeF tiffNaturalSize(const QByteArray& bytes) {
    MemoryStream stream{bytes};
    const TiffHandle tiff = openTiff(stream);
    uint32_t width = 0;
    uint32_t height = 0;
    if (!tiff || !TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height))
        return {};
    return {width * PointsPerInch / dotsPerInch(tiff.get(), TIFFTAG_XRESOLUTION),
            height * PointsPerInch / dotsPerInch(tiff.get(), TIFFTAG_YRESOLUTION)};
}

// The PDF module, loaded when the first PDF is met: where it is installed beside the program,
// else where the build made it. Null, said once in the log, when neither loads; PDFs are then
// kept but not drawn.
const PdfModule* pdfModule() {
    static const PdfModule* const module = []() -> const PdfModule* {
        using Entry = const PdfModule* (*)();
        const QDir programs =
            QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path();
        QStringList errors;
        for (const QString& path : {programs.filePath(QStringLiteral(KELVRIN_PDF_MODULE_INSTALLED)),
                                    QStringLiteral(KELVRIN_PDF_MODULE_BUILT)}) {
            if (!QFileInfo(path).isFile())
                continue;
            QLibrary library(path);
            if (const auto entry = reinterpret_cast<Entry>(library.resolve("kelvrin_pdf_module")))
                return entry();
            errors << library.errorString();
        }
        if (errors.isEmpty())
            errors << QStringLiteral("the module is not installed");
        Log::write(QStringLiteral("warning*** :[Picture] [PDF pictures cannot be drawn: %1]")
                       .arg(errors.join(QStringLiteral("; "))));
        return nullptr;
    }();
    return module;
}

QSizeF pdfNaturalSize(const QByteArray& bytes) {
    const PdfModule* pdf = pdfModule();
    return pdf ? pdf->pageSize(bytes) : QSizeF();
}

QSizeF naturalSizeOf(const QByteArray& bytes, Picture::Format format) {
    switch (format) {
    case Picture::Format::TIFF:
        return tiffNaturalSize(bytes);
    case Picture::Format::PDF:
        return pdfNaturalSize(bytes);
    case Picture::Format::PICT:
        break;
    }
    return {};
}

bool hasArea(QSizeF size) {
    return std::isfinite(size.width()) && std::isfinite(size.height()) && size.width() > 0 &&
           size.height() > 0;
}

QImage readTiff(const QByteArray& bytes, QSize pixelSize) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "tiff");
    reader.setScaledSize(pixelSize);
    return reader.read();
}

QImage renderPdf(const QByteArray& bytes, QSizeF pagePoints, QSize pixelSize) {
    const PdfModule* pdf = pdfModule();
    return pdf ? pdf->render(bytes, pagePoints, pixelSize) : QImage();
}

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
    MemoryStream stream{bytes};
    const TiffHandle tiff = openTiff(stream);
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
        const int pointsPerMetre = int(std::lround(PointsPerInch * 100 / CentimetresPerInch));
        image.setDotsPerMeterX(pointsPerMetre);
        image.setDotsPerMeterY(pointsPerMetre);
    }
    return image;
}

// The TIFF being written grows in memory; libtiff seeks back to fill in offsets.
tmsize_t writeGrowing(thandle_t handle, void* buffer, tmsize_t size) {
    auto* stream = static_cast<MemoryStream*>(handle);
    const qint64 end = stream->position + size;
    if (end > stream->bytes.size())
        stream->bytes.resize(end);
    std::memcpy(stream->bytes.data() + stream->position, buffer, size_t(size));
    stream->position = end;
    return size;
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
    MemoryStream stream;
    stream.bytes.reserve(qsizetype(pixels.width()) * pixels.height());
    TIFF* tiff = TIFFClientOpen("clipping", "w", &stream, readMemory, writeGrowing, seekMemory,
                                closeMemory, memorySize, refuseMapping, unmapNothing);
    if (!tiff)
        return std::nullopt;
    TiffHandle closing(tiff, &TIFFClose);
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

Picture::Picture(QByteArray bytes, Format format, QSizeF naturalSize)
    : _bytes(std::move(bytes)), _format(format), _naturalSize(naturalSize), _size(naturalSize) {}

std::shared_ptr<Picture> Picture::fromData(const QByteArray& bytes, Format format) {
    quietenDecoders();
    const QSizeF naturalSize = naturalSizeOf(bytes, format);
    if (!hasArea(naturalSize))
        return nullptr;
    return std::shared_ptr<Picture>(new Picture(bytes, format, naturalSize));
}

std::optional<QByteArray> Picture::tiffFromImageData(const QByteArray& encoded) {
    quietenDecoders();
    const QImage image = readAnyImage(encoded);
    if (image.isNull())
        return std::nullopt;
    return hasEightBitChannels(image) ? writeDeflateTiff(image) : writeLzwTiff(image);
}

QImage Picture::render(QSize pixelSize) const {
    if (pixelSize.isEmpty())
        return {};
    // Remembering the size even when decoding failed keeps a damaged picture from being
    // decoded again at every repaint.
    if (pixelSize != _renderedSize) {
        _rendered = decode(pixelSize);
        _renderedSize = pixelSize;
    }
    return _rendered;
}

QImage Picture::decode(QSize pixelSize) const {
    QImage image;
    if (_format == Format::TIFF)
        image = readTiff(_bytes, pixelSize);
    else if (_format == Format::PDF)
        image = renderPdf(_bytes, _naturalSize, pixelSize);
    // Whatever a decoder's rounding or a file's orientation tag does, the caller gets exactly
    // the size it asked for.
    if (!image.isNull() && image.size() != pixelSize)
        image = image.scaled(pixelSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}
