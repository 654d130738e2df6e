#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Temporary files get a short name of their own beside the target.
constexpr char kTemporaryPrefix[] = ".kelvrin-";

// A file system that cannot sync a folder at all says so with one of these; it keeps its
// entries its own way, and nothing more can be done for them there.
bool cannotSyncFolders(int error) {
    return error == EINVAL || error == EROFS || error == ENOTSUP;
}

// The rename is durable only once the folder's entry is on disk too. False with errno set when
// it may not be.
bool syncFolder(const QByteArray& file) {
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(file)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0 || cannotSyncFolders(errno);
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

} // namespace

void AtomicFile::removeLeftovers(const QString& folder) {
    // An empty path would be the working folder.
    if (folder.isEmpty())
        return;
    const QDir dir(folder);
    const QStringList leftovers =
        dir.entryList({QString::fromLatin1(kTemporaryPrefix) + QStringLiteral("??????")},
                      QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : leftovers)
        QFile::remove(dir.filePath(name));
}

AtomicFile::AtomicFile(const QString& path) : _target(QFile::encodeName(path)) {}

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::open() {
    // A short name beside the target: the target's own name may already take all the 255
    // bytes a name can have.
    const qsizetype slash = _target.lastIndexOf('/');
    _temporary = _target.left(slash + 1) + kTemporaryPrefix + "XXXXXX";
    _fd = ::mkstemp(_temporary.data()); // mode 0600
    if (_fd < 0)
        _temporary.clear();
    return _fd >= 0;
}

bool AtomicFile::write(const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(_fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

bool AtomicFile::commit() {
    if (::fsync(_fd) != 0) {
        discard();
        return false;
    }
    const int fd = _fd;
    _fd = -1;
    if (::close(fd) != 0 || ::rename(_temporary.constData(), _target.constData()) != 0) {
        const int error = errno;
        discard();
        errno = error;
        return false;
    }
    _temporary.clear();
    return syncFolder(_target);
}

bool AtomicFile::writeFile(const QString& path, const QByteArray& bytes) {
    AtomicFile file(path);
    return file.open() && file.write(bytes) && file.commit();
}

void AtomicFile::discard() {
    const int error = errno;
    if (_fd >= 0)
        ::close(_fd);
    _fd = -1;
    if (!_temporary.isEmpty())
        ::unlink(_temporary.constData());
    _temporary.clear();
    errno = error;
}
