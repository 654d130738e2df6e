// Loading the sets of a folder into the set array and saving them back, with the alerts and the
// log lines that tell of it. What the folder's files are named and hold is formats/SetFiles'.
#include "window/PasteWindow.h"

#include "formats/SetFiles.h"
#include "formats/TypedStream.h"
#include "model/PasteDataCoding.h"
#include "platform/Alert.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "window/PasteView.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

// Site codes name the place a load failed, in the messages the user sees.
constexpr int kSiteNewSet = 22;
constexpr int kSiteFirstLine = 33;
constexpr int kSiteHistoryFile = 44;
constexpr int kSiteArchive = 99;

void loadAlert(const QString& key, std::initializer_list<Strings::Arg> args) {
    Alert::run(Strings::localized(QStringLiteral("LoadErrorTitle")),
               Strings::localizedFormat(key, args), Strings::localized(QStringLiteral("OKButton")));
}

void logArchiveError(const char* method, const TypedStream::ArchiveError& error) {
    Log::write(Strings::format(
        QStringLiteral("Error***** :[%s] [data load Error!] [exception=%@] [infromation=%@]"),
        {method, error.name(), error.reason()}));
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
        const auto [line, readable] = SetFiles::decodeListLine(bytes);
        if (_row == 0 && (!readable || line != SetFiles::listLine(PasteWindow::kHistoryName))) {
            loadAlert(QStringLiteral("LoadErrorMessage6"), {_listPath, kSiteFirstLine});
            return false;
        }
        const std::optional<QString> name = SetFiles::setNameOf(line);
        if (readable && !name) {
            Log::write(Strings::format(
                QStringLiteral("warning*** :[loadDataFromFile] [\"%@\"file isn't same pre-fix.]"),
                {line}));
            return true;
        }
        const QString path = SetFiles::inFolder(_directory, line);
        // Two sets in one file would overwrite each other's clippings at the next save.
        if (_loadedFiles.contains(SetFiles::normalised(path))) {
            Log::write(Strings::format(
                QStringLiteral("warning*** :[loadDataFromFile] [\"%@\"file is already loaded.]"),
                {path}));
            return true;
        }
        Log::write(Strings::format(
            QStringLiteral("information:[loadDataFromFile] rowS[%d] load file[%@]"), {_row, path}));
        std::optional<PasteDataList> clippings;
        if (readable && !SetFiles::refusedSetPath(_directory, path) &&
            !readClippings(path, clippings))
            return false;
        if (!clippings)
            return leaveOut(path);
        // Clippings are read only for a readable line that names a set file.
        return addSet(*name, path, std::move(*clippings));
    }

private:
    // False when the user stops the load or the file is too new; a damaged file the user
    // goes past leaves the clippings absent, as does a file that cannot be read or holds nothing.
    bool readClippings(const QString& path, std::optional<PasteDataList>& clippings) {
        try {
            const std::optional<QByteArray> bytes = SetFiles::readSetFile(path);
            clippings = bytes ? unarchivePasteData(*bytes) : std::nullopt;
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
        _loadedFiles.insert(SetFiles::normalised(path));
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

void logLoadEnd(int rows, bool result) {
    Log::write(Strings::format(
        QStringLiteral("information:[loadDataFromFile] [complete laoding. total file =%d] rtn[%@]"),
        {rows, result ? "YES" : "NO"}));
}

} // namespace

std::optional<PasteWindow::SetFileFailure> PasteWindow::writeSetFile(const QString& directory,
                                                                     const QString& name,
                                                                     const PasteDataList& clippings,
                                                                     qint64* bytes) {
    const QString path = SetFiles::setFilePath(directory, name);
    QByteArray archive;
    try {
        archive = archivePasteData(clippings);
    } catch (const TypedStream::ArchiveError& error) {
        return SetFileFailure{QStringLiteral("SaveErrorMessage5"), path, error.name(), error,
                              QStringLiteral("cannot archive: ") + error.name()};
    }
    const std::optional<SetFiles::Refusal> refused = SetFiles::refusedSetPath(directory, path);
    if (refused || !AtomicFile::writeFile(path, archive))
        return SetFileFailure{
            QStringLiteral("SaveErrorMessage2"), path,
            refused == SetFiles::Refusal::NameTooLong ? ENAMETOOLONG : kSiteArchive, std::nullopt,
            refused ? QStringLiteral("the name leads out of the folder") : qt_error_string(errno)};
    if (bytes)
        *bytes = archive.size();
    return std::nullopt;
}

bool PasteWindow::canNameNewSet(const QString& name) const {
    // A line break would split the set's list line, and the set would not load again.
    const bool oneLine = !name.contains(u'\n') && !name.contains(u'\r');
    return oneLine && SetFiles::isStorableSetName(name) && SetFiles::liesDirectlyInFolder(name) &&
           !isSetFileTaken(name, nullptr);
}

bool PasteWindow::isSetFileTaken(const QString& name, const PasteSet* except) const {
    const QString file = SetFiles::setFileOf(name);
    return std::any_of(_pasteArray.cbegin(), _pasteArray.cend(), [&](const auto& set) {
        return set.get() != except && SetFiles::setFileOf(set->name()) == file;
    });
}

bool PasteWindow::kelvrinFileExistsIndirectory(const QString& directory) const {
    return QFileInfo::exists(SetFiles::inFolder(directory, SetFiles::kListFileName)) &&
           QFileInfo::exists(SetFiles::setFilePath(directory, kHistoryName));
}

void PasteWindow::loadDataFolder(const QString& directory) {
    if (!directory.isEmpty() && SetFiles::holdsNoSetsYet(directory)) {
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
    _ownFolders.insert(SetFiles::normalised(dirName));
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
    const QString listPath = SetFiles::inFolder(directory, SetFiles::kListFileName);
    SetFiles::ListReader list;
    if (!list.open(listPath)) {
        loadAlert(QStringLiteral("LoadErrorMessage1"), {listPath, errno});
        return false;
    }
    SetListLoader loader(directory, listPath, array);
    QByteArray line;
    for (;;) {
        switch (list.next(line)) {
        case SetFiles::ListReader::Read::Line:
            if (loader.takeLine(line))
                continue;
            break;
        case SetFiles::ListReader::Read::End:
            logLoadEnd(loader.row(), true);
            return true;
        // A list that cannot be read to its end is no list: what was read of it is dropped.
        case SetFiles::ListReader::Read::Failed:
            if (errno == ENOMEM)
                loadAlert(QStringLiteral("LoadErrorMessage2"), {errno});
            else
                loadAlert(QStringLiteral("LoadErrorMessage1"), {listPath, errno});
            return false;
        case SetFiles::ListReader::Read::TooLong:
            loadAlert(QStringLiteral("LoadErrorMessage3"), {int(SetFiles::kMaxListLine), errno});
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
    if (!fileCheck && !_ownFolders.contains(SetFiles::normalised(directory)) &&
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

    const QString listPath = SetFiles::inFolder(directory, SetFiles::kListFileName);
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
        const QString path = SetFiles::setFilePath(directory, set->name());
        Log::write(
            Strings::format(QStringLiteral("information:[saveData] [save file=%@]"), {path}));
        if (const std::optional<SetFileFailure> failure =
                writeSetFile(directory, set->name(), set->pasteData(), nullptr)) {
            if (failure->archiveError)
                logArchiveError("saveData", *failure->archiveError);
            erroString = Strings::localizedFormat(failure->key, {failure->path, failure->detail});
            return false;
        }
        const QString line = SetFiles::listLine(set->name());
        lastFormed = line;
        if (!list.write(SetFiles::encodeListLine(line))) {
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
    _ownFolders.insert(SetFiles::normalised(directory));
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
