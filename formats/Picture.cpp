#include "formats/Picture.h"

#include "formats/TiffMemory.h"
#include "formats/pdf/PdfModule.h"
#include "platform/Log.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLibrary>
#include <cmath>

namespace {

// A missing, senseless or unit-less resolution counts as one pixel per point.
double dotsPerInch(TIFF* tiff, ttag_t resolutionTag) {
    float resolution = 0;
    if (!TIFFGetField(tiff, resolutionTag, &resolution) || !std::isfinite(resolution) ||
        resolution <= 0)
        return TiffMemory::PointsPerInch;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER)
        return resolution * TiffMemory::CentimetresPerInch;
    if (unit == RESUNIT_INCH)
        return resolution;
    return TiffMemory::PointsPerInch;
}

QSizeF tiffNaturalSize(const QByteArray& bytes) {
    TiffMemory::Stream stream{bytes};
    const TiffMemory::Handle tiff = TiffMemory::openReading(stream);
    uint32_t width = 0;
    uint32_t height = 0;
    if (!tiff || !TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height))
        return {};
    return {width * TiffMemory::PointsPerInch / dotsPerInch(tiff.get(), TIFFTAG_XRESOLUTION),
            height * TiffMemory::PointsPerInch / dotsPerInch(tiff.get(), TIFFTAG_YRESOLUTION)};
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

} // namespace

Picture::Picture(QByteArray bytes, Format format, QSizeF naturalSize)
    : _bytes(std::move(bytes)), _format(format), _naturalSize(naturalSize), _size(naturalSize) {}

std::shared_ptr<Picture> Picture::fromData(const QByteArray& bytes, Format format) {
    TiffMemory::quieten();
    const QSizeF naturalSize = naturalSizeOf(bytes, format);
    if (!hasArea(naturalSize))
        return nullptr;
    return std::shared_ptr<Picture>(new Picture(bytes, format, naturalSize));
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
