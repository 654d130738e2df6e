// Arbitrary bytes as a folder's set list, read the way a launch reads the data folder's: line by
// line, the set file each line names read when it lies in the folder. The folder also holds a
// history file and one other set file, so lines that name them read real archives. Nothing may
// crash, hang or read astray: the lines are the list's bytes, all of them in order and none
// longer than a list line may be, and a set file read is one of the folder's own.
#include "formats/SetFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace {

struct Folder {
    QTemporaryDir dir;
    QByteArray history;
    QByteArray other;
};
Folder* folder = nullptr;

QByteArray readFixture(const QString& name) {
    QFile file(QStringLiteral(KELVRIN_SET_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        __builtin_trap();
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        __builtin_trap();
}

void readSetFileNamedBy(const QByteArray& bytes) {
    const auto [line, readable] = SetFiles::decodeListLine(bytes);
    if (!readable || !SetFiles::setNameOf(line))
        return;
    const QString path = SetFiles::inFolder(folder->dir.path(), line);
    if (SetFiles::refusedSetPath(folder->dir.path(), path))
        return;
    const std::optional<QByteArray> archive = SetFiles::readSetFile(path);
    if (archive && *archive != folder->history && *archive != folder->other)
        __builtin_trap();
}

// What the lines read gave back, each with its line feed, against the list: the last line
// feed is the one thing a list may leave out.
bool isWholeList(const QByteArray& read, const QByteArray& list) {
    return read == (list.isEmpty() || list.endsWith('\n') ? list : list + '\n');
}

// A line is refused as too long only once it is longer than a list line may be.
bool startsTooLongLine(const QByteArray& read, const QByteArray& list) {
    const qsizetype end = list.indexOf('\n', read.size());
    const qsizetype length = (end < 0 ? list.size() : end) - read.size();
    return list.startsWith(read) && length > SetFiles::kMaxListLine;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = new Folder;
    folder->history = readFixture(QStringLiteral("PasteBoard History.KVdata"));
    folder->other = readFixture(QStringLiteral("Snippets.KVdata"));
    writeFile(SetFiles::setFilePath(folder->dir.path(), QStringLiteral("PasteBoard History")),
              folder->history);
    writeFile(SetFiles::setFilePath(folder->dir.path(), QStringLiteral("Set")), folder->other);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray list(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = SetFiles::inFolder(folder->dir.path(), SetFiles::kListFileName);
    writeFile(path, list);
    SetFiles::ListReader reader;
    if (!reader.open(path))
        __builtin_trap();
    QByteArray read;
    QByteArray line;
    for (;;) {
        switch (reader.next(line)) {
        case SetFiles::ListReader::Read::Line:
            if (line.size() > SetFiles::kMaxListLine || line.contains('\n'))
                __builtin_trap();
            read += line + '\n';
            readSetFileNamedBy(line);
            continue;
        case SetFiles::ListReader::Read::End:
            if (!isWholeList(read, list))
                __builtin_trap();
            return 0;
        case SetFiles::ListReader::Read::TooLong:
            if (!startsTooLongLine(read, list))
                __builtin_trap();
            return 0;
        case SetFiles::ListReader::Read::Failed:
            __builtin_trap();
        }
    }
}
