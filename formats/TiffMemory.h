#pragma once

#include <QByteArray>
#include <memory>
#include <tiffio.h>

// libtiff over bytes in memory, shared by the pictures, which read a TIFF's header straight from
// the clipping's bytes, and the encoding of captures, which writes a TIFF without a file.
namespace TiffMemory {

// A picture's size is in points, whatever the resolution of its pixels.
constexpr double PointsPerInch = 72.0;
constexpr double CentimetresPerInch = 2.54;

// The bytes libtiff reads or writes, and where it is in them.
struct Stream {
    QByteArray bytes;
    qint64 position = 0;
};

using Handle = std::unique_ptr<TIFF, decltype(&TIFFClose)>;

// A TIFF read from the stream's bytes, which are shared, not copied; null when they hold none.
Handle openReading(Stream& stream);
// A TIFF written into the stream, which grows as libtiff writes.
Handle openWriting(Stream& stream);

// Damaged clipboard pictures are ordinary. libtiff (for us and for Qt's TIFF reader alike) would
// report each of them on stderr, so it is kept quiet from the first picture on.
void quieten();

} // namespace TiffMemory
