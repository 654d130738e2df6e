#include "formats/pdf/PdfModule.h"

#include <memory>
#include <poppler-qt6.h>

namespace {

constexpr double PointsPerInch = 72.0;

void ignorePopplerMessage(const QString&, const QVariant&) {}

// Poppler's page refers to its document, so the two travel together and the page is released
// first.
struct FirstPage {
    std::unique_ptr<Poppler::Document> document;
    std::unique_ptr<Poppler::Page> page;
};

FirstPage openFirstPage(const QByteArray& bytes) {
    FirstPage pdf;
    pdf.document = Poppler::Document::loadFromData(bytes);
    if (!pdf.document || pdf.document->isLocked() || pdf.document->numPages() < 1)
        return {};
    pdf.document->setRenderHint(Poppler::Document::Antialiasing);
    pdf.document->setRenderHint(Poppler::Document::TextAntialiasing);
    pdf.page = pdf.document->page(0);
    return pdf;
}

QSizeF pageSize(const QByteArray& bytes) {
    const FirstPage pdf = openFirstPage(bytes);
    return pdf.page ? pdf.page->pageSizeF() : QSizeF();
}

QImage render(const QByteArray& bytes, QSizeF pagePoints, QSize pixelSize) {
    const FirstPage pdf = openFirstPage(bytes);
    if (!pdf.page)
        return {};
    const double xDpi = pixelSize.width() * PointsPerInch / pagePoints.width();
    const double yDpi = pixelSize.height() * PointsPerInch / pagePoints.height();
    // Asking for exactly that rectangle keeps Poppler's rounding of the page from adding a pixel.
    return pdf.page->renderToImage(xDpi, yDpi, 0, 0, pixelSize.width(), pixelSize.height());
}

} // namespace

extern "C" Q_DECL_EXPORT const PdfModule* kelvrin_pdf_module() {
    // Damaged clipboard PDFs are ordinary: Poppler would report each of them on stderr.
    static const PdfModule module = [] {
        Poppler::setDebugErrorFunction(ignorePopplerMessage, QVariant());
        return PdfModule{pageSize, render};
    }();
    return &module;
}
