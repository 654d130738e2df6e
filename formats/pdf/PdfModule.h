#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>

// What the PDF module offers: the first page of a document, measured and drawn through Poppler.
// The module is loaded only when a PDF is first met, so Poppler and the libraries it brings are
// mapped only for the users who copy PDFs.
struct PdfModule {
    // The first page's size in points; empty when the bytes are no readable, unlocked PDF.
    QSizeF (*pageSize)(const QByteArray& bytes);
    // The first page drawn at that many pixels, the page being that many points; null on failure.
    QImage (*render)(const QByteArray& bytes, QSizeF pagePoints, QSize pixelSize);
};

// The module's one entry point, looked up by this name.
extern "C" const PdfModule* kelvrin_pdf_module();
