#pragma once

// Real picture bytes made at test time, so the tests read what Qt's writers produce.
#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <cmath>

namespace TestPictures {

inline QImage filled(QSize pixels, QColor color, double dpi = 72) {
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(color);
    image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    return image;
}

// Every pixel of its row and column its own colour, so that a comparison sees any pixel moved.
inline QImage gradient(QSize pixels, double dpi = 72) {
    QImage image = filled(pixels, Qt::black, dpi);
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            image.setPixel(x, y,
                           qRgb(x * 255 / pixels.width(), y * 255 / pixels.height(), x * y % 256));
    return image;
}

// Pixels no encoder can shrink much, so the picture's size is what it says.
inline QImage noise(QSize pixels, quint32 seed) {
    QImage image(pixels, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return image;
}

inline QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

inline QByteArray tiffOfPoints(int width, int height) {
    return encoded(filled(QSize(width, height), Qt::red), "tiff");
}

inline QByteArray pdfOfPoints(QSizeF points, QColor color) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch));
    writer.setPageMargins(QMarginsF());
    QPainter(&writer).fillRect(QRect(0, 0, writer.width(), writer.height()), color);
    return bytes;
}

} // namespace TestPictures
