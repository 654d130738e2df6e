#include "platform/wayland/PipeWriter.h"

#include "platform/Transfer.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// What one write hands the pipe at most: what a pipe holds by default.
constexpr qsizetype kChunkBytes = 64 * 1024;

} // namespace

void PipeWriter::start(int fd, QByteArray bytes, QObject* parent) {
    (new PipeWriter(fd, std::move(bytes), parent))->writeMore();
}

PipeWriter::PipeWriter(int fd, QByteArray bytes, QObject* parent)
    : QObject(parent), _fd(fd), _bytes(std::move(bytes)), _writable(fd, QSocketNotifier::Write) {
    ::fcntl(_fd, F_SETFL, ::fcntl(_fd, F_GETFL) | O_NONBLOCK);
    _writable.setEnabled(false);
    connect(&_writable, &QSocketNotifier::activated, this, &PipeWriter::writeMore);
    _stalled.setSingleShot(true);
    _stalled.setInterval(Transfer::kTimeout);
    connect(&_stalled, &QTimer::timeout, this, &PipeWriter::finish);
    _stalled.start();
}

PipeWriter::~PipeWriter() {
    ::close(_fd);
}

void PipeWriter::writeMore() {
    while (_written < _bytes.size()) {
        const ssize_t sent = ::write(_fd, _bytes.constData() + _written,
                                     size_t(std::min(_bytes.size() - _written, kChunkBytes)));
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno == EAGAIN) {
            _writable.setEnabled(true);
            return;
        }
        // The reader closed its end (EPIPE) or the pipe broke: nobody wants the rest.
        if (sent < 0)
            break;
        _written += sent;
        _stalled.start();
    }
    finish();
}

void PipeWriter::finish() {
    _writable.setEnabled(false);
    _stalled.stop();
    deleteLater();
}
