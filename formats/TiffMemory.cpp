#include "formats/TiffMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace TiffMemory {

namespace {

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size) {
    auto* stream = static_cast<Stream*>(handle);
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

// libtiff seeks back to fill in offsets.
tmsize_t writeGrowing(thandle_t handle, void* buffer, tmsize_t size) {
    auto* stream = static_cast<Stream*>(handle);
    const qint64 end = stream->position + size;
    if (end > stream->bytes.size())
        stream->bytes.resize(end);
    std::memcpy(stream->bytes.data() + stream->position, buffer, size_t(size));
    stream->position = end;
    return size;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* stream = static_cast<Stream*>(handle);
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
    return toff_t(static_cast<Stream*>(handle)->bytes.size());
}

int refuseMapping(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapNothing(thandle_t, void*, toff_t) {}

} // namespace

Handle openReading(Stream& stream) {
    TIFF* tiff = TIFFClientOpen("clipping", "r", &stream, readMemory, refuseWrite, seekMemory,
                                closeMemory, memorySize, refuseMapping, unmapNothing);
    return Handle(tiff, &TIFFClose);
}

Handle openWriting(Stream& stream) {
    TIFF* tiff = TIFFClientOpen("clipping", "w", &stream, readMemory, writeGrowing, seekMemory,
                                closeMemory, memorySize, refuseMapping, unmapNothing);
    return Handle(tiff, &TIFFClose);
}

void quieten() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

} // namespace TiffMemory
