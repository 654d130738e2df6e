// The sets stored in a folder: a list file naming the sets in order, one archive per set.
#include "window/PasteWindow.h"

#include "formats/TypedStream.h"
#include "model/PasteDataCoding.h"
#include "platform/Alert.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "window/PasteView.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Site codes name the place a load failed, in the messages the user sees.
constexpr int kSiteNewSet = 22;
constexpr int kSiteFirstLine = 33;
constexpr int kSiteHistoryFile = 44;
constexpr int kSiteArchive = 99;

// A list line longer than this is no set name: a set file's path is far shorter.
constexpr qsizetype kMaxListLine = 64 * 1024;
// The longest name of a file or folder the file systems we run on accept.
constexpr qsizetype kMaxFileName = NAME_MAX;

QString inFolder(const QString& folder, const QString& name) {
    return Strings::format(QStringLiteral("%@/%@"), {folder, name});
}

QString normalised(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString setFilePath(const QString& directory, const QString& name) {
    return Strings::format(QStringLiteral("%@/%@%s"), {directory, name, ".KVdata"});
}

// Which names lead to one file, and whether a name's file stays inside its folder, does not
// depend on the folder: any absolute one will do.
const QString kAnyFolder = QStringLiteral("/folder");

// The file a set of that name is stored in, its path cleaned: "b", "/b", "./b" and "x/../b"
// all lead to b's file.
QString setFileOf(const QString& name) {
    return QDir::cleanPath(setFilePath(kAnyFolder, name));
}

// Whether the file system reaches the name's file without entering a folder inside the
// data folder, which would have to exist for the file to be written.
bool liesDirectlyInFolder(const QString& name) {
    QStringList steps = name.split(u'/');
    steps.removeLast();
    return std::all_of(steps.cbegin(), steps.cend(),
                       [](const QString& step) { return step.isEmpty() || step == u"."; });
}

// Why a set file's path, formed from its folder and a set's name, may not be used: it leads
// out of the folder (the archive site code) or holds a name longer than a file system
// allows (ENAMETOOLONG). Nothing when it may be used. A name such as "/notes" or ".." stays
// inside and is fine.
std::optional<int> refusedSetPath(const QString& folder, const QString& path) {
    const QString base = normalised(folder);
    const QString full = normalised(path);
    const QString prefix = base.endsWith(u'/') ? base : base + u'/';
    if (!full.startsWith(prefix))
        return kSiteArchive;
    for (const QString& name : full.mid(prefix.size()).split(u'/')) {
        if (QFile::encodeName(name).size() > kMaxFileName)
            return ENAMETOOLONG;
    }
    return std::nullopt;
}

void loadAlert(const QString& key, std::initializer_list<Strings::Arg> args) {
    Alert::run(Strings::localized(QStringLiteral("LoadErrorTitle")),
               Strings::localizedFormat(key, args), Strings::localized(QStringLiteral("OKButton")));
}

void logArchiveError(const char* method, const TypedStream::ArchiveError& error) {
    Log::write(Strings::format(
        QStringLiteral("Error***** :[%s] [data load Error!] [exception=%@] [infromation=%@]"),
        {method, error.name(), error.reason()}));
}

// Opens a file for reading without ever waiting on it: a FIFO or a device named like a set
// file would block the launch or never end. Only a regular file is opened; a folder fails
// with EISDIR, anything else with EINVAL. -1 with errno set on failure.
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

// Whether the folder can be read and holds neither a list file nor a set file, whatever else it
// holds: one made for the sets and not saved into yet, or a synced one they have not reached.
// A folder that is not there at all is not new: it may be on a disk not mounted yet, which the
// user is to hear of before a second history grows in a folder made in its place.
bool holdsNoSetsYet(const QString& directory) {
    DIR* folder = ::opendir(QFile::encodeName(directory).constData());
    if (!folder)
        return false;
    bool holdsSets = false;
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == PasteWindow::kListFileName || name.endsWith(PasteWindow::kSetFileSuffix)) {
            holdsSets = true;
            break;
        }
    }
    // A listing cut short by an error may have missed them.
    const bool listedWhole = errno == 0;
    ::closedir(folder);
    return listedWhole && !holdsSets;
}

// The set list, line by line. The end of the file is told apart from a read error, and a line
// is bounded, so a damaged or hostile list fails the load instead of ending it early or
// exhausting memory.
class ListFile {
public:
    enum class Read { Line, End, Failed, TooLong };

    ~ListFile() {
        if (_file)
            std::fclose(_file);
    }

    // False with errno set when the list cannot be read.
    bool open(const QString& path) {
        const int fd = openRegularFile(path);
        _file = fd < 0 ? nullptr : ::fdopen(fd, "r");
        if (fd >= 0 && !_file)
            ::close(fd);
        return _file != nullptr;
    }

    // The next line without its line feed. A line of any length up to kMaxListLine is read
    // whole; the last line may end without a line feed.
    Read next(QByteArray& line) {
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

private:
    std::FILE* _file = nullptr;
};

// The clippings stored in a set file; absent when there is no such file, it is no regular
// file, or it holds nothing.
std::optional<PasteDataList> readSetFile(const QString& path) {
    const int fd = openRegularFile(path);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return std::nullopt;
    return unarchivePasteData(file.readAll());
}

// Reads the lines of a set list one by one into sets. The row counts the lines that named a
// set file, whether that file loaded or was left out.
class SetListLoader {
public:
    SetListLoader(const QString& directory, const QString& listPath,
                  std::vector<std::unique_ptr<PasteSet>>& array)
        : _directory(directory), _listPath(listPath), _array(array) {}

    int row() const { return _row; }

    // False when the whole load fails.
    bool takeLine(const QByteArray& bytes) {
        // Exactly the bytes: a leading byte-order mark is part of the name.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                      QStringDecoder::Flag::ConvertInitialBom);
        const QString line = utf8(bytes);
        const bool readable = !utf8.hasError();
        if (_row == 0 &&
            (!readable || line != PasteWindow::kHistoryName + PasteWindow::kSetFileSuffix)) {
            loadAlert(QStringLiteral("LoadErrorMessage6"), {_listPath, kSiteFirstLine});
            return false;
        }
        if (readable && !line.endsWith(PasteWindow::kSetFileSuffix)) {
            Log::write(Strings::format(
                QStringLiteral("warning*** :[loadDataFromFile] [\"%@\"file isn't same pre-fix.]"),
                {line}));
            return true;
        }
        const QString path = inFolder(_directory, line);
        // Two sets in one file would overwrite each other's clippings at the next save.
        if (_loadedFiles.contains(normalised(path))) {
            Log::write(Strings::format(
                QStringLiteral("warning*** :[loadDataFromFile] [\"%@\"file is already loaded.]"),
                {path}));
            return true;
        }
        Log::write(Strings::format(
            QStringLiteral("information:[loadDataFromFile] rowS[%d] load file[%@]"), {_row, path}));
        std::optional<PasteDataList> clippings;
        if (readable && !refusedSetPath(_directory, path) && !readClippings(path, clippings))
            return false;
        if (!clippings)
            return leaveOut(path);
        return addSet(line.chopped(PasteWindow::kSetFileSuffix.size()), path,
                      std::move(*clippings));
    }

private:
    // False when the user stops the load or the file is too new; a damaged file the user
    // goes past leaves the clippings absent.
    bool readClippings(const QString& path, std::optional<PasteDataList>& clippings) {
        try {
            clippings = readSetFile(path);
            return true;
        } catch (const TypedStream::ArchiveError& error) {
            logArchiveError("loadDataFromFile", error);
            if (error.name() == u"VersionCheckException") {
                loadAlert(QStringLiteral("LoadErrorMessage8"), {path});
                return false;
            }
            const int answer = Alert::run(
                Strings::localized(QStringLiteral("LoadErrorTitle")),
                Strings::localizedFormat(QStringLiteral("LoadErrorMessage5"), {path}),
                Strings::localized(QStringLiteral("LoadErrorButton1")),
                Strings::localized(QStringLiteral("LoadErrorButton2")), Alert::AlternateReturn);
            return answer == Alert::DefaultReturn;
        }
    }

    // Without the history set nothing loads; any other set is left out.
    bool leaveOut(const QString& path) {
        if (_row == 0) {
            loadAlert(QStringLiteral("LoadErrorMessage6"), {path, kSiteHistoryFile});
            return false;
        }
        Log::write(Strings::format(
            QStringLiteral("warning*** :[loadDataFromFile] rowE[%d] [\"%@\"file cann't be load.]"),
            {_row, path}));
        ++_row;
        return true;
    }

    bool addSet(const QString& name, const QString& path, PasteDataList clippings) {
        auto set = PasteSet::init(name);
        if (!set) {
            loadAlert(QStringLiteral("LoadErrorMessage4"), {quint64(_array.size()), kSiteNewSet});
            return false;
        }
        const quint64 count = clippings.size();
        set->setPasteData(std::move(clippings));
        _array.push_back(std::move(set));
        _loadedFiles.insert(normalised(path));
        Log::write(Strings::format(
            QStringLiteral("information:[loadDataFromFile] rowE[%d] load file[%@] count[%lu]"),
            {_row, path, count}));
        ++_row;
        return true;
    }

    const QString& _directory;
    const QString& _listPath;
    std::vector<std::unique_ptr<PasteSet>>& _array;
    QSet<QString> _loadedFiles;
    int _row = 0;
};

// Why a set file was not written: the message key and its arguments the user is shown, the
// archiving error when there was one, and the reason in a few words for the log.
struct SetFileFailure {
    QString key;
    QString path;
    Strings::Arg detail;
    std::optional<TypedStream::ArchiveError> archiveError;
    QString reason;
};

QString listLine(const QString& name) {
    return Strings::format(QStringLiteral("%@%@"), {name, PasteWindow::kSetFileSuffix});
}

// Writes one set's archive over its file, whole or not at all. Safe on any thread; bytes gets
// the file's size.
std::optional<SetFileFailure> writeSetFile(const QString& directory, const QString& name,
                                           const PasteDataList& clippings, qint64* bytes) {
    const QString path = setFilePath(directory, name);
    QByteArray archive;
    try {
        archive = archivePasteData(clippings);
    } catch (const TypedStream::ArchiveError& error) {
        return SetFileFailure{QStringLiteral("SaveErrorMessage5"), path, error.name(), error,
                              QStringLiteral("cannot archive: ") + error.name()};
    }
    const std::optional<int> refused = refusedSetPath(directory, path);
    if (refused || !AtomicFile::writeFile(path, archive))
        return SetFileFailure{
            QStringLiteral("SaveErrorMessage2"), path, refused.value_or(kSiteArchive), std::nullopt,
            refused ? QStringLiteral("the name leads out of the folder") : qt_error_string(errno)};
    if (bytes)
        *bytes = archive.size();
    return std::nullopt;
}

void logLoadEnd(int rows, bool result) {
    Log::write(Strings::format(
        QStringLiteral("information:[loadDataFromFile] [complete laoding. total file =%d] rtn[%@]"),
        {rows, result ? "YES" : "NO"}));
}

} // namespace

bool PasteWindow::isStorableSetName(const QString& name) {
    return !name.contains(QChar(0)) && !refusedSetPath(kAnyFolder, setFilePath(kAnyFolder, name));
}

bool PasteWindow::canNameNewSet(const QString& name) const {
    // A line break would split the set's list line, and the set would not load again.
    const bool oneLine = !name.contains(u'\n') && !name.contains(u'\r');
    return oneLine && isStorableSetName(name) && liesDirectlyInFolder(name) &&
           !isSetFileTaken(name, nullptr);
}

bool PasteWindow::isSetFileTaken(const QString& name, const PasteSet* except) const {
    const QString file = setFileOf(name);
    return std::any_of(_pasteArray.cbegin(), _pasteArray.cend(), [&](const auto& set) {
        return set.get() != except && setFileOf(set->name()) == file;
    });
}

bool PasteWindow::kelvrinFileExistsIndirectory(const QString& directory) const {
    return QFileInfo::exists(inFolder(directory, kListFileName)) &&
           QFileInfo::exists(inFolder(directory, kHistoryName + kSetFileSuffix));
}

void PasteWindow::loadDataFolder(const QString& directory) {
    if (!directory.isEmpty() && holdsNoSetsYet(directory)) {
        Log::write(Strings::format(
            QStringLiteral("information:[loadData] [no sets stored in %@ yet, they are saved "
                           "there from now on.]"),
            {directory}));
        return;
    }
    loadData(true, directory);
}

bool PasteWindow::loadData(bool flag, const QString& dirName) {
    if (dirName.isEmpty()) {
        Log::write(QStringLiteral("information:[loadData] [directory is null, no loading.]"));
        return false;
    }
    if (!kelvrinFileExistsIndirectory(dirName)) {
        loadAlert(QStringLiteral("LoadErrorMessage7"), {dirName});
        return false;
    }
    std::vector<std::unique_ptr<PasteSet>> array;
    if (!loadDataFromFile(dirName, array))
        return false;
    _ownFolders.insert(normalised(dirName));
    // The set array always begins with the history set, whatever the flag asks.
    Q_UNUSED(flag);
    if (array.empty())
        array.push_back(std::make_unique<PasteSet>(kHistoryName));
    _pasteArray = std::move(array);
    refillSetList();
    recordSaved(dirName);
    return true;
}

void PasteWindow::refillSetList() {
    const QSignalBlocker quiet(_list);
    _list->clear();
    for (const auto& set : _pasteArray)
        _list->addItem(set->name());
    _list->setCurrentIndex(0);
    _table->reloadData();
}

bool PasteWindow::loadDataFromFile(const QString& directory,
                                   std::vector<std::unique_ptr<PasteSet>>& array) {
    const QString listPath = inFolder(directory, kListFileName);
    ListFile list;
    if (!list.open(listPath)) {
        loadAlert(QStringLiteral("LoadErrorMessage1"), {listPath, errno});
        return false;
    }
    SetListLoader loader(directory, listPath, array);
    QByteArray line;
    for (;;) {
        switch (list.next(line)) {
        case ListFile::Read::Line:
            if (loader.takeLine(line))
                continue;
            break;
        case ListFile::Read::End:
            logLoadEnd(loader.row(), true);
            return true;
        // A list that cannot be read to its end is no list: what was read of it is dropped.
        case ListFile::Read::Failed:
            if (errno == ENOMEM)
                loadAlert(QStringLiteral("LoadErrorMessage2"), {errno});
            else
                loadAlert(QStringLiteral("LoadErrorMessage1"), {listPath, errno});
            return false;
        case ListFile::Read::TooLong:
            loadAlert(QStringLiteral("LoadErrorMessage3"), {int(kMaxListLine), errno});
            return false;
        }
        logLoadEnd(loader.row(), false);
        return false;
    }
}

bool PasteWindow::saveData(const QString& directory, QString& erroString, bool fileCheck,
                           bool* declined) {
    finishAutosave();
    if (declined)
        *declined = false;
    if (directory.isEmpty()) {
        Log::write(QStringLiteral("information:[saveData] [directory is null, no saving.]"));
        return true;
    }
    // Stored sets that are not the ones in memory (they could not be read, or the folder was
    // chosen after they were stored) are still the user's: replacing them needs the user's yes.
    if (!fileCheck && !_ownFolders.contains(normalised(directory)) &&
        kelvrinFileExistsIndirectory(directory)) {
        erroString = Strings::localizedFormat(QStringLiteral("SaveErrorMessage6"), {directory});
        return false;
    }
    if (!createDirectoriesAtPath(directory, std::nullopt, erroString))
        return false;
    if (fileCheck && kelvrinFileExistsIndirectory(directory)) {
        const int answer = Alert::run(Strings::localized(QStringLiteral("SaveWarningTitle")),
                                      Strings::localized(QStringLiteral("SaveWarningMessage")),
                                      Strings::localized(QStringLiteral("SaveWarningButton1")),
                                      Strings::localized(QStringLiteral("SaveWarningButton2")),
                                      Alert::AlternateReturn);
        if (answer != Alert::DefaultReturn) {
            if (declined)
                *declined = true;
            return true;
        }
    }

    const QString listPath = inFolder(directory, kListFileName);
    std::printf(
        "%s", qPrintable(Strings::format(QStringLiteral("save file[%s]\n"), {listPath.toUtf8()})));
    std::fflush(stdout);
    // The new list replaces the old one only once every set's file is written. With a shorter
    // list the next launch would lose the sets after the one that failed, and the save after it
    // would write over their files, which are still whole.
    AtomicFile list(listPath);
    if (!list.open()) {
        erroString =
            Strings::localizedFormat(QStringLiteral("SaveErrorMessage1"), {listPath, errno});
        return false;
    }
    QString lastFormed = listPath;
    for (const auto& set : _pasteArray) {
        const QString path = setFilePath(directory, set->name());
        Log::write(
            Strings::format(QStringLiteral("information:[saveData] [save file=%@]"), {path}));
        if (const std::optional<SetFileFailure> failure =
                writeSetFile(directory, set->name(), set->pasteData(), nullptr)) {
            if (failure->archiveError)
                logArchiveError("saveData", *failure->archiveError);
            erroString = Strings::localizedFormat(failure->key, {failure->path, failure->detail});
            return false;
        }
        const QString line = listLine(set->name());
        lastFormed = line;
        if (!list.write(line.toUtf8() + '\n')) {
            erroString =
                Strings::localizedFormat(QStringLiteral("SaveErrorMessage2"), {line, errno});
            return false;
        }
    }
    if (!list.commit()) {
        erroString =
            Strings::localizedFormat(QStringLiteral("SaveErrorMessage3"), {lastFormed, errno});
        return false;
    }
    _ownFolders.insert(normalised(directory));
    recordSaved(directory);
    return true;
}

bool PasteWindow::createDirectoriesAtPath(const QString& path,
                                          std::optional<QFileDevice::Permissions> attributes,
                                          QString& erroString) {
    const QFileDevice::Permissions permissions = attributes.value_or(
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QStringList components = path.split(u'/', Qt::SkipEmptyParts);
    QString partial = path.startsWith(u'/') ? QStringLiteral("/") : QString();
    for (const QString& component : components) {
        partial = partial.isEmpty() || partial.endsWith(u'/') ? partial + component
                                                              : partial + u'/' + component;
        if (QFileInfo::exists(partial))
            continue;
        if (!QDir().mkdir(partial, permissions)) {
            erroString = Strings::localizedFormat(QStringLiteral("SaveErrorMessage4"), {partial});
            return false;
        }
    }
    return true;
}

// What an autosave writes, taken from the sets when it starts: the clippings are copies that
// share their text and payload bytes with the sets', so the worker never touches a set.
struct PasteWindow::AutosaveJob {
    struct Set {
        const PasteSet* set;
        quint64 revision;
        QString name;
        PasteDataList clippings;
        std::optional<SetFileFailure> failure;
        qint64 bytes = 0;
    };
    QString directory;
    Clock::time_point started;
    std::vector<Set> sets;
    // The set names, when the list file is to be written.
    std::optional<QStringList> list;
    bool listWritten = false;
    QString listFailure;
    bool taken = false;

    void run() {
        bool setsWritten = true;
        for (Set& set : sets) {
            set.failure = writeSetFile(directory, set.name, set.clippings, &set.bytes);
            setsWritten = setsWritten && !set.failure;
            // The copies go as soon as they are written: a history of screenshots is large.
            PasteDataList().swap(set.clippings);
        }
        // The list names a set only once its file is there.
        if (list && setsWritten)
            listWritten = writeList();
    }

    bool writeList() {
        const QString path = inFolder(directory, PasteWindow::kListFileName);
        AtomicFile file(path);
        bool written = file.open();
        for (const QString& name : *list)
            written = written && file.write(listLine(name).toUtf8() + '\n');
        written = written && file.commit();
        if (!written)
            listFailure = path + QStringLiteral(": ") + qt_error_string(errno);
        return written;
    }
};

void PasteWindow::recordSaved(const QString& directory) {
    SavedSets& saved = _autosave.saved;
    saved = {normalised(directory), {}, {}};
    for (const auto& set : _pasteArray) {
        saved.revisions[set.get()] = set->revision();
        saved.list.append(set->name());
    }
}

void PasteWindow::noticeChanges(Clock::time_point now) {
    quint64 newest = 0;
    QStringList names;
    for (const auto& set : _pasteArray) {
        newest = std::max(newest, set->revision());
        names.append(set->name());
    }
    if (newest == _autosave.seenRevision && names == _autosave.seenNames)
        return;
    _autosave.seenRevision = newest;
    _autosave.seenNames = std::move(names);
    _autosave.lastChange = now;
    if (!_autosave.firstChange)
        _autosave.firstChange = now;
    _autosave.failed = false;
}

void PasteWindow::autosaveCheck(const QString& directory, Clock::time_point now) {
    if (directory.isEmpty())
        return;
    noticeChanges(now);
    if (!_autosave.firstChange || _autosave.running || _autosave.failed)
        return;
    if (now - _autosave.lastChange < kAutosaveQuiet &&
        now - *_autosave.firstChange < kAutosaveLatest)
        return;
    startAutosave(directory, now);
}

void PasteWindow::startAutosave(const QString& directory, Clock::time_point now) {
    const QString folder = normalised(directory);
    if (_autosave.saved.folder != folder) {
        // Another folder: it gets every set.
        _autosave.saved = {folder, {}, {}};
        _autosave.bigFiles.clear();
    }
    // Sets stored there that this run did not read are the user's to replace, at the quit.
    if (!_ownFolders.contains(folder) && kelvrinFileExistsIndirectory(directory)) {
        logAutosaveFailure(QStringLiteral("not own"),
                           directory + QStringLiteral(" holds sets this run did not load"));
        _autosave.failed = true;
        return;
    }
    auto job = std::make_shared<AutosaveJob>();
    job->directory = directory;
    job->started = now;
    bool waiting = false;
    for (const auto& set : _pasteArray) {
        const auto saved = _autosave.saved.revisions.find(set.get());
        if (saved != _autosave.saved.revisions.end() && saved->second == set->revision())
            continue;
        const auto big = _autosave.bigFiles.constFind(set->name());
        if (big != _autosave.bigFiles.cend() && big->first > kBigSetFile &&
            now - big->second < kBigSetInterval) {
            waiting = true;
            continue;
        }
        PasteDataList copies;
        copies.reserve(set->pasteData().size());
        for (const auto& clipping : set->pasteData())
            copies.push_back(std::make_unique<PasteData>(*clipping));
        job->sets.push_back({set.get(), set->revision(), set->name(), std::move(copies), {}, 0});
    }
    // The names as this tick saw them.
    if (_autosave.seenNames != _autosave.saved.list)
        job->list = _autosave.seenNames;
    // A big set waiting for its turn keeps the change open, so a later tick saves it.
    if (!waiting)
        _autosave.firstChange.reset();
    if (job->sets.empty() && !job->list)
        return;
    QString erroString;
    // An autosave that fails only logs.
    const Strings::InEnglish forTheLog;
    if (!createDirectoriesAtPath(directory, std::nullopt, erroString)) {
        logAutosaveFailure(QStringLiteral("folder"), erroString);
        _autosave.failed = true;
        return;
    }
    _autosave.running = job;
    _autosaveJobs.start([this, job] {
        job->run();
        // Safe from this thread: the destructor waits for the job, and the call it posts is
        // dropped with the object.
        QMetaObject::invokeMethod(
            this, [this, job] { takeAutosave(job); }, Qt::QueuedConnection);
    });
}

void PasteWindow::takeAutosave(std::shared_ptr<AutosaveJob> job) {
    if (job->taken)
        return;
    job->taken = true;
    if (_autosave.running == job)
        _autosave.running.reset();
    // Written for a folder that is no longer the one the sets are saved in.
    if (normalised(job->directory) != _autosave.saved.folder)
        return;
    bool failed = false;
    for (const AutosaveJob::Set& set : job->sets) {
        if (set.failure) {
            logAutosaveFailure(set.failure->key,
                               set.failure->path + QStringLiteral(": ") + set.failure->reason);
            failed = true;
            continue;
        }
        _autosave.saved.revisions[set.set] = set.revision;
        if (set.bytes > kBigSetFile)
            _autosave.bigFiles.insert(set.name, {set.bytes, job->started});
        else
            _autosave.bigFiles.remove(set.name);
    }
    if (job->listWritten)
        _autosave.saved.list = *job->list;
    else if (job->list && !job->listFailure.isEmpty()) {
        logAutosaveFailure(QStringLiteral("list"), job->listFailure);
        failed = true;
    }
    // Sets deleted meanwhile are forgotten.
    std::erase_if(_autosave.saved.revisions, [&](const auto& saved) {
        return std::none_of(_pasteArray.begin(), _pasteArray.end(),
                            [&](const auto& set) { return set.get() == saved.first; });
    });
    _autosave.failed = failed;
    if (!failed) {
        _autosave.failuresLogged.clear();
        _ownFolders.insert(_autosave.saved.folder);
    }
}

void PasteWindow::finishAutosave() {
    _autosaveJobs.waitForDone();
    if (_autosave.running)
        takeAutosave(_autosave.running);
}

void PasteWindow::logAutosaveFailure(const QString& kind, const QString& text) {
    if (_autosave.failuresLogged.contains(kind))
        return;
    _autosave.failuresLogged.insert(kind);
    Log::write(
        Strings::format(QStringLiteral("warning*** :[autosave] [sets not saved: %@]"), {text}));
}
