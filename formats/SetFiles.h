#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdio>
#include <optional>

// The files a folder of sets holds: a list file naming the sets in order, one line each, and
// one file per set, named after the set, holding its archive. What the archive holds is the
// model's to say; here are the names, the paths and the bytes.
namespace SetFiles {

inline const QString kListFileName = QStringLiteral("Kelvrin.KVlist");
inline const QString kSetFileSuffix = QStringLiteral(".KVdata");
// What merging two machines' versions of the sets needs and the set files do not hold (when each
// clipping was captured, which versions each version grew from). Programs that read only the list
// and the set files never see it.
inline const QString kSyncFileName = QStringLiteral("Kelvrin.KVsync");
// A list line longer than this is no set name: a set file's path is far shorter.
constexpr qsizetype kMaxListLine = 64 * 1024;

QString inFolder(const QString& folder, const QString& name);
// The form paths are compared in: absolute, without "." and ".." steps.
QString normalised(const QString& path);

QString setFilePath(const QString& directory, const QString& name);
// The file a set of that name is stored in, its path cleaned: "b", "/b", "./b" and "x/../b"
// all lead to b's file.
QString setFileOf(const QString& name);
// Whether the file system reaches the name's file without entering a folder inside the
// data folder, which would have to exist for the file to be written.
bool liesDirectlyInFolder(const QString& name);

// Why a set file's path, formed from its folder and a set's name, may not be used: it leads out
// of the folder, or holds a name longer than a file system allows. A name such as "/notes" or
// ".." stays inside and is fine.
enum class Refusal { OutOfFolder, NameTooLong };
std::optional<Refusal> refusedSetPath(const QString& folder, const QString& path);
// Whether a set of that name can be stored in a folder: its file must stay inside the folder
// and its file name must fit the file system.
bool isStorableSetName(const QString& name);

// The line that names the set in the list, without its line feed.
QString listLine(const QString& name);
// The set a line of the list names; absent when it names no set file.
std::optional<QString> setNameOf(const QString& line);

// A line of the list as text, exactly its bytes: a leading byte-order mark is part of the name.
// A line that is not UTF-8 is unreadable; its text then serves only to tell of it.
struct ListLine {
    QString text;
    bool readable;
};
ListLine decodeListLine(const QByteArray& bytes);
// A line as the list file holds it: UTF-8, ended by a line feed.
QByteArray encodeListLine(const QString& line);

// Whether the folder can be read and holds neither a list file nor a set file, whatever else it
// holds: one made for the sets and not saved into yet, or a synced one they have not reached.
// A folder that is not there at all is not new: it may be on a disk not mounted yet, which the
// user is to hear of before a second history grows in a folder made in its place.
bool holdsNoSetsYet(const QString& directory);

// Opens a file for reading without ever waiting on it: a FIFO or a device named like a set
// file would block the launch or never end. Only a regular file is opened; a folder fails
// with EISDIR, anything else with EINVAL. -1 with errno set on failure.
int openRegularFile(const QString& path);

// The bytes of a set file; absent when there is no such file or it is no regular file.
std::optional<QByteArray> readSetFile(const QString& path);

// The set list, line by line. The end of the file is told apart from a read error, and a line
// is bounded, so a damaged or hostile list fails the load instead of ending it early or
// exhausting memory.
class ListReader {
public:
    enum class Read { Line, End, Failed, TooLong };

    ListReader() = default;
    ~ListReader();
    ListReader(const ListReader&) = delete;
    ListReader& operator=(const ListReader&) = delete;

    // False with errno set when the list cannot be read.
    bool open(const QString& path);

    // The next line without its line feed. A line of any length up to kMaxListLine is read
    // whole; the last line may end without a line feed.
    Read next(QByteArray& line);

private:
    std::FILE* _file = nullptr;
};

// The file a sync engine's conflict copy stands for: Syncthing keeps the version that lost a
// conflict as NAME.sync-conflict-DATE-TIME-DEVICE.EXT beside NAME.EXT. Absent for any other name.
std::optional<QString> conflictCopyOf(const QString& fileName);

// The sync file's content, a JSON object.
struct SyncState {
    // "times": milliseconds since the epoch by clipping (the clipping's digest as the merge names
    // it).
    QHash<QByteArray, qint64> times;
    // "grewFrom": by a version of a set (its hash as the merge names it), the versions of that set
    // its writer had written or read when it wrote it.
    QHash<QByteArray, QList<QByteArray>> grewFrom;
};
QByteArray encodeSyncState(const SyncState& state);
// Absent for a file that is not such an object.
std::optional<SyncState> decodeSyncState(const QByteArray& bytes);

} // namespace SetFiles
