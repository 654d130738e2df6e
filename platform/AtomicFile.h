#pragma once

#include <QByteArray>
#include <QString>

// A file that holds clipboard content: readable by its owner only, and replaced whole. The
// bytes go to a temporary file beside the target, reach the disk, and are renamed over it, so
// a failure at any point leaves either the old file or the new one, never a part of either.
// Each operation answers false on failure and leaves the C library's error number in errno.
class AtomicFile {
public:
    explicit AtomicFile(const QString& path);
    ~AtomicFile(); // discards what was not committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open();
    bool write(const QByteArray& bytes);
    // Makes the written bytes the file's content. False also when they are the content but the
    // folder's entry for them could not be put on disk: a power cut could still bring back the
    // old file.
    bool commit();

    // The whole file in one go.
    static bool writeFile(const QString& path, const QByteArray& bytes);
    // Removes the temporary files a process ended in the middle of a write left in the folder
    // (none when no folder is named). Only by the one process that writes there, before it
    // writes: another's write in flight would lose its file.
    static void removeLeftovers(const QString& folder);

private:
    void discard();

    QByteArray _target;
    QByteArray _temporary;
    int _fd = -1;
};
