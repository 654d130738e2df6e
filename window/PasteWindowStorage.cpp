// The sets stored in a folder: a list file naming the sets in order, one archive per set.
#include "window/PasteWindow.h"

#include "model/PasteDataCoding.h"
#include "platform/Alert.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/TypedStream.h"
#include "window/PasteView.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// Site codes name the place a load failed, in the messages the user sees.
constexpr int kSiteNewSet = 22;
constexpr int kSiteFirstLine = 33;
constexpr int kSiteHistoryFile = 44;
constexpr int kSiteArchive = 99;

QString inFolder(const QString& folder, const QString& name) {
    return Strings::format(QStringLiteral("%@/%@"), {folder, name});
}

// A name from a list line or a set must not lead out of the folder it is stored in.
bool staysInFolder(const QString& relative) {
    if (relative.startsWith(u'/'))
        return false;
    const QStringList components = relative.split(u'/');
    return !components.contains(QStringLiteral(".."));
}

void loadAlert(const QString& key, std::initializer_list<Strings::Arg> args) {
    Alert::run(Strings::localized(QStringLiteral("LoadErrorTitle")),
               Strings::localizedFormat(key, args), QStringLiteral("OK"));
}

void logArchiveError(const char* method, const TypedStream::ArchiveError& error) {
    Log::write(Strings::format(
        QStringLiteral("Error***** :[%s] [data load Error!] [exception=%@] [infromation=%@]"),
        {method, error.name(), error.reason()}));
}

// Reads one line of any length; absent at the end of the file. The line feed is removed.
std::optional<QByteArray> readLine(std::FILE* file) {
    char* buffer = nullptr;
    size_t capacity = 0;
    const ssize_t length = ::getline(&buffer, &capacity, file);
    std::optional<QByteArray> line;
    if (length >= 0) {
        line = QByteArray(buffer, length);
        if (line->endsWith('\n'))
            line->chop(1);
    }
    std::free(buffer);
    return line;
}

// The clippings stored in a set file; absent when there is no such file or it holds nothing.
std::optional<PasteDataList> readSetFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
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
        QStringDecoder utf8(QStringDecoder::Utf8);
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
        Log::write(Strings::format(
            QStringLiteral("information:[loadDataFromFile] rowS[%d] load file[%@]"), {_row, path}));
        std::optional<PasteDataList> clippings;
        if (readable && staysInFolder(line) && !readClippings(path, clippings))
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
            const int answer =
                Alert::run(Strings::localized(QStringLiteral("LoadErrorTitle")),
                           Strings::localizedFormat(QStringLiteral("LoadErrorMessage5"), {path}),
                           Strings::localized(QStringLiteral("LoadErrorButton1")),
                           Strings::localized(QStringLiteral("LoadErrorButton2")));
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
        Log::write(Strings::format(
            QStringLiteral("information:[loadDataFromFile] rowE[%d] load file[%@] count[%lu]"),
            {_row, path, count}));
        ++_row;
        return true;
    }

    const QString& _directory;
    const QString& _listPath;
    std::vector<std::unique_ptr<PasteSet>>& _array;
    int _row = 0;
};

} // namespace

bool PasteWindow::kelvrinFileExistsIndirectory(const QString& directory) const {
    return QFileInfo::exists(inFolder(directory, kListFileName)) &&
           QFileInfo::exists(inFolder(directory, kHistoryName + kSetFileSuffix));
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
    // The set array always begins with the history set, whatever the flag asks.
    Q_UNUSED(flag);
    if (array.empty())
        array.push_back(std::make_unique<PasteSet>(kHistoryName));
    _pasteArray = std::move(array);
    refillSetList();
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
    std::FILE* list = std::fopen(QFile::encodeName(listPath).constData(), "r");
    if (!list) {
        loadAlert(QStringLiteral("LoadErrorMessage1"), {listPath, errno});
        return false;
    }
    SetListLoader loader(directory, listPath, array);
    bool result = true;
    while (const std::optional<QByteArray> line = readLine(list)) {
        if (!loader.takeLine(*line)) {
            result = false;
            break;
        }
    }
    std::fclose(list);
    Log::write(Strings::format(
        QStringLiteral("information:[loadDataFromFile] [complete laoding. total file =%d] rtn[%@]"),
        {loader.row(), result ? "YES" : "NO"}));
    return result;
}

bool PasteWindow::saveData(const QString& directory, QString& erroString, bool fileCheck) {
    if (directory.isEmpty()) {
        Log::write(QStringLiteral("information:[saveData] [directory is null, no saving.]"));
        return true;
    }
    if (!createDirectoriesAtPath(directory, std::nullopt, erroString))
        return false;
    if (fileCheck && kelvrinFileExistsIndirectory(directory)) {
        const int answer = Alert::run(Strings::localized(QStringLiteral("SaveWarningTitle")),
                                      Strings::localized(QStringLiteral("SaveWarningMessage")),
                                      Strings::localized(QStringLiteral("SaveWarningButton1")),
                                      Strings::localized(QStringLiteral("SaveWarningButton2")));
        if (answer != Alert::DefaultReturn)
            return true;
    }

    const QString listPath = inFolder(directory, kListFileName);
    std::printf(
        "%s", qPrintable(Strings::format(QStringLiteral("save file[%s]\n"), {listPath.toUtf8()})));
    std::fflush(stdout);
    // The list names a set only once its file is written, and replaces the old list only at the
    // end, so every file in the folder is always whole.
    AtomicFile list(listPath);
    if (!list.open()) {
        erroString =
            Strings::localizedFormat(QStringLiteral("SaveErrorMessage1"), {listPath, errno});
        return false;
    }
    QString lastFormed = listPath;
    bool result = true;
    for (const auto& set : _pasteArray) {
        const QString path =
            Strings::format(QStringLiteral("%@/%@%s"), {directory, set->name(), ".KVdata"});
        lastFormed = path;
        Log::write(
            Strings::format(QStringLiteral("information:[saveData] [save file=%@]"), {path}));
        QByteArray archive;
        try {
            archive = archivePasteData(set->pasteData());
        } catch (const TypedStream::ArchiveError& error) {
            logArchiveError("saveData", error);
            erroString =
                Strings::localizedFormat(QStringLiteral("SaveErrorMessage5"), {path, error.name()});
            result = false;
            break;
        }
        if (!staysInFolder(set->name()) || !AtomicFile::writeFile(path, archive)) {
            erroString =
                Strings::localizedFormat(QStringLiteral("SaveErrorMessage2"), {path, kSiteArchive});
            result = false;
            break;
        }
        const QString line = Strings::format(QStringLiteral("%@%@"), {set->name(), kSetFileSuffix});
        lastFormed = line;
        if (!list.write(line.toUtf8() + '\n')) {
            erroString =
                Strings::localizedFormat(QStringLiteral("SaveErrorMessage2"), {line, errno});
            result = false;
            break;
        }
    }
    if (!list.commit()) {
        erroString =
            Strings::localizedFormat(QStringLiteral("SaveErrorMessage3"), {lastFormed, errno});
        return false;
    }
    return result;
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
