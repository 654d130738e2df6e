#include "formats/SetFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SetFiles {

namespace {

// The longest name of a file or folder the file systems we run on accept.
constexpr qsizetype kMaxFileName = NAME_MAX;

// Which names lead to one file, and whether a name's file stays inside its folder, does not
// depend on the folder: any absolute one will do.
const QString kAnyFolder = QStringLiteral("/folder");

} // namespace

QString inFolder(const QString& folder, const QString& name) {
    return folder + u'/' + name;
}

QString normalised(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString setFilePath(const QString& directory, const QString& name) {
    return inFolder(directory, listLine(name));
}

QString setFileOf(const QString& name) {
    return QDir::cleanPath(setFilePath(kAnyFolder, name));
}

bool liesDirectlyInFolder(const QString& name) {
    QStringList steps = name.split(u'/');
    steps.removeLast();
    return std::all_of(steps.cbegin(), steps.cend(),
                       [](const QString& step) { return step.isEmpty() || step == u"."; });
}

std::optional<Refusal> refusedSetPath(const QString& folder, const QString& path) {
    const QString base = normalised(folder);
    const QString full = normalised(path);
    const QString prefix = base.endsWith(u'/') ? base : base + u'/';
    if (!full.startsWith(prefix))
        return Refusal::OutOfFolder;
    for (const QString& name : full.mid(prefix.size()).split(u'/')) {
        if (QFile::encodeName(name).size() > kMaxFileName)
            return Refusal::NameTooLong;
    }
    return std::nullopt;
}

bool isStorableSetName(const QString& name) {
    return !name.contains(QChar(0)) && !refusedSetPath(kAnyFolder, setFilePath(kAnyFolder, name));
}

QString listLine(const QString& name) {
    return name + kSetFileSuffix;
}

std::optional<QString> setNameOf(const QString& line) {
    if (!line.endsWith(kSetFileSuffix))
        return std::nullopt;
    return line.chopped(kSetFileSuffix.size());
}

ListLine decodeListLine(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8(bytes);
    return {std::move(text), !utf8.hasError()};
}

QByteArray encodeListLine(const QString& line) {
    return line.toUtf8() + '\n';
}

bool holdsNoSetsYet(const QString& directory) {
    DIR* folder = ::opendir(QFile::encodeName(directory).constData());
    if (!folder)
        return false;
    bool holdsSets = false;
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == kListFileName || name.endsWith(kSetFileSuffix)) {
            holdsSets = true;
            break;
        }
    }
    // A listing cut short by an error may have missed them.
    const bool listedWhole = errno == 0;
    ::closedir(folder);
    return listedWhole && !holdsSets;
}

int openRegularFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        return fd;
    const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = error;
    return -1;
}

std::optional<QByteArray> readSetFile(const QString& path) {
    const int fd = openRegularFile(path);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return std::nullopt;
    return file.readAll();
}

ListReader::~ListReader() {
    if (_file)
        std::fclose(_file);
}

bool ListReader::open(const QString& path) {
    const int fd = openRegularFile(path);
    _file = fd < 0 ? nullptr : ::fdopen(fd, "r");
    if (fd >= 0 && !_file)
        ::close(fd);
    return _file != nullptr;
}

ListReader::Read ListReader::next(QByteArray& line) {
    line.clear();
    for (int c; (c = getc_unlocked(_file)) != EOF;) {
        if (c == '\n')
            return Read::Line;
        if (line.size() == kMaxListLine) {
            errno = EOVERFLOW;
            return Read::TooLong;
        }
        line.append(char(c));
    }
    if (std::ferror(_file))
        return Read::Failed;
    return line.isEmpty() ? Read::End : Read::Line;
}

std::optional<QString> conflictCopyOf(const QString& fileName) {
    static const QRegularExpression conflict(
        QStringLiteral("^(.+)\\.sync-conflict-\\d{8}-\\d{6}-[0-9A-Z]{7}(\\.[^.]*)?$"));
    const QRegularExpressionMatch match = conflict.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1) + match.captured(2);
}

QByteArray encodeSyncState(const SyncState& state) {
    QJsonObject times, grewFrom;
    for (auto time = state.times.cbegin(); time != state.times.cend(); ++time)
        times.insert(QString::fromLatin1(time.key()), time.value());
    for (auto version = state.grewFrom.cbegin(); version != state.grewFrom.cend(); ++version) {
        QJsonArray earlier;
        for (const QByteArray& hash : version.value())
            earlier.append(QString::fromLatin1(hash));
        grewFrom.insert(QString::fromLatin1(version.key()), earlier);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("times"), times},
                                     {QStringLiteral("grewFrom"), grewFrom}})
        .toJson(QJsonDocument::Compact);
}

std::optional<SyncState> decodeSyncState(const QByteArray& bytes) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonValue times = document.object().value(QStringLiteral("times")),
                     grewFrom = document.object().value(QStringLiteral("grewFrom"));
    if (!times.isObject() || !grewFrom.isObject())
        return std::nullopt;
    SyncState state;
    const QJsonObject timesObject = times.toObject(), grewFromObject = grewFrom.toObject();
    for (auto time = timesObject.constBegin(); time != timesObject.constEnd(); ++time) {
        if (!time.value().isDouble())
            return std::nullopt;
        state.times.insert(time.key().toLatin1(), qint64(time.value().toDouble()));
    }
    for (auto version = grewFromObject.constBegin(); version != grewFromObject.constEnd();
         ++version) {
        if (!version.value().isArray())
            return std::nullopt;
        QList<QByteArray>& earlier = state.grewFrom[version.key().toLatin1()];
        for (const QJsonValue hash : version.value().toArray()) {
            if (!hash.isString())
                return std::nullopt;
            earlier.append(hash.toString().toLatin1());
        }
    }
    return state;
}

} // namespace SetFiles
