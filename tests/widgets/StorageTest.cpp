#include "WidgetFixtures.h"

#include <QProcess>
#include <functional>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString kHistoryFile = QStringLiteral("PasteBoard History.KVdata");

struct Clipping {
    qint32 number;
    std::optional<QString> contents;
    qint32 extraType = 0;
    std::optional<QByteArray> extraData = std::nullopt;
};

QByteArray archive(const QList<Clipping>& clippings) {
    PasteDataList list;
    for (const Clipping& c : clippings) {
        auto data = std::make_unique<PasteData>();
        data->setContents(c.contents);
        data->setExtraData(c.extraData, c.extraType);
        data->setNumber(c.number);
        list.push_back(std::move(data));
    }
    return archivePasteData(list);
}

// While it lives, this thread may use files only as their modes allow, even when run by root.
struct ModesApply {
    ModesApply() {
        ::syscall(SYS_capget, &_header, _saved);
        __user_cap_data_struct lowered[2] = {_saved[0], _saved[1]};
        for (const int power : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            lowered[power / 32].effective &= ~(1u << (power % 32));
        ::syscall(SYS_capset, &_header, lowered);
    }
    ~ModesApply() { ::syscall(SYS_capset, &_header, _saved); }
    __user_cap_header_struct _header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct _saved[2] = {};
};

} // namespace

class Storage : public AppFixture {
protected:
    void SetUp() override {
        launch();
        captureEach({"in memory"});
    }

    void storeFolder(const QString& dir, const QByteArray& list,
                     const QList<std::pair<QString, QByteArray>>& files) {
        QDir().mkpath(dir);
        SetFolder::write(dir + QStringLiteral("/Kelvrin.KVlist"), list);
        for (const auto& [name, bytes] : files)
            SetFolder::write(dir + u'/' + name, bytes);
    }

    QStringList setNames() {
        QStringList names;
        for (const auto& set : window().pasteArray())
            names.append(set->name());
        return names;
    }

    void expectSetsUnchanged() {
        EXPECT_EQ(setNames(), QStringList{PasteWindow::kHistoryName});
        EXPECT_EQ(texts(history()), QStringList{"in memory"});
    }
};

TEST_F(Storage, AFailedLoadSaysWhyLeavesTheSetsAsTheyWereAndListLinesAreReadWholeOddOnesSkipped) {
    const QString dir = scratch("sets");
    // Loaded through "dir/", so the alerts name the files with a doubled slash.
    const QString listPath = dir + QStringLiteral("//Kelvrin.KVlist");
    const QString historyPath = dir + QStringLiteral("//") + kHistoryFile;
    using Make = std::function<void(const QString&)>;
    const auto bytes = [](const QByteArray& b) -> Make {
        return [b](const QString& path) { SetFolder::write(path, b); };
    };
    const Make fifo = [](const QString& path) { ::mkfifo(QFile::encodeName(path), 0600); };
    const Make aFolder = [](const QString& path) { QDir().mkdir(path); };
    // A regular file whose reading fails with EIO.
    const Make failing = [](const QString& path) { QFile::link("/proc/self/mem", path); };
    const QByteArray goodList = "PasteBoard History.KVdata\n";
    const Make good = bytes(goodList), empty = bytes(archive({}));
    const auto error = [](int number, std::initializer_list<Strings::Arg> args) {
        return Strings::localizedFormat(QStringLiteral("LoadErrorMessage%1").arg(number), args);
    };
    // How the list and the history's file are stored, and what the alert says.
    const QList<std::tuple<Make, Make, QString>> cases = {
        {bytes("\n" + goodList), empty, error(6, {listPath, 33})},
        {bytes("Work.KVdata\n"), empty, error(6, {listPath, 33})},
        {bytes("\xef\xbb\xbf" + goodList), empty, error(6, {listPath, 33})},
        {good, aFolder, error(6, {historyPath, 44})},
        {good, fifo, error(6, {historyPath, 44})}, // never opened for good
        {good, bytes(fixture("archives/newer-version.array")), error(8, {historyPath})},
        // A list that cannot be read to its end is no list, not a shorter one.
        {aFolder, empty, error(1, {listPath, EISDIR})},
        {fifo, empty, error(1, {listPath, EINVAL})},
        {failing, empty, error(1, {listPath, EIO})},
        {bytes(goodList + QByteArray(64 * 1024 + 1, 'x')), empty, error(3, {64 * 1024, EOVERFLOW})},
    };
    for (const auto& [list, history, message] : cases) {
        SCOPED_TRACE(message.toStdString());
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        list(dir + QStringLiteral("/Kelvrin.KVlist"));
        history(dir + u'/' + kHistoryFile);
        ScriptedAlerts alerts;
        EXPECT_FALSE(window().loadData(true, dir + u'/'));
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].message, message);
        expectSetsUnchanged();
    }

    // Odd lines are skipped; a damaged set file stops the load or is left out, as the user chooses.
    const QString longName = QString(3000, u'x');
    QByteArray damaged = archive({{1, QStringLiteral("kept")}});
    damaged.truncate(damaged.size() - 3);
    SetFolder::write(scratch("Outside.KVdata"), archive({}));
    QByteArray list = "PasteBoard History.KVdata\nBroken.KVdata\n\nno suffix\n";
    list += longName.toUtf8() + "\n";       // skipped: no suffix, read whole
    list += "Missing.KVdata\n";             // counted, left out
    list += "bad \xff utf8.KVdata\n";       // counted, left out
    list += "../Outside.KVdata\n";          // never read outside the folder
    list += "Zero.KVdata\n";                // a device: no set, and no read without end
    list += "Twice.KVdata\n./Twice.KVdata"; // one file, one set; the last line has no LF
    storeFolder(dir, list,
                {{kHistoryFile, archive({})},
                 {QStringLiteral("Broken.KVdata"), damaged},
                 {QStringLiteral("Twice.KVdata"), archive({})}});
    QFile::link(QStringLiteral("/dev/zero"), dir + QStringLiteral("/Zero.KVdata"));
    {
        ScriptedAlerts alerts({ScriptedAlerts::kEscape});
        EXPECT_FALSE(window().loadData(true, dir));
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].defaultButton, Strings::localized("LoadErrorButton1"));
        expectSetsUnchanged();
    }
    Log::Capture log;
    ScriptedAlerts alerts({Alert::DefaultReturn});
    ASSERT_TRUE(window().loadData(true, dir));
    EXPECT_EQ(setNames(), (QStringList{PasteWindow::kHistoryName, QStringLiteral("Twice")}));
    for (const QString& line :
         {QStringLiteral("warning*** :[loadDataFromFile] rowE[1] [\"%1/Broken.KVdata\"file cann't "
                         "be load.]")
              .arg(dir),
          QStringLiteral("warning*** :[loadDataFromFile] [\"%1/./Twice.KVdata\"file is already "
                         "loaded.]")
              .arg(dir),
          QStringLiteral("warning*** :[loadDataFromFile] [\"%1\"file isn't same pre-fix.]")
              .arg(longName),
          QStringLiteral("information:[loadDataFromFile] [complete laoding. total file =7] "
                         "rtn[YES]")})
        EXPECT_TRUE(log.contains(line)) << line.toStdString();
    EXPECT_EQ(log.lines()
                  .filter(QStringLiteral("Error***** :[loadDataFromFile] [data load Error!] "
                                         "[exception=NSArchiverArchiveInconsistency]"))
                  .size(),
              1);
    EXPECT_EQ(log.lines().filter(QStringLiteral("isn't same pre-fix")).size(), 3);
    EXPECT_EQ(log.lines().filter(QStringLiteral("cann't be load")).size(), 5);
}

// Sets load, save and load back alike, numbers as stored, odd names too whose files stay inside
// the folder: in a subfolder, with a byte-order mark kept, a file name of 250 of 255 bytes.
TEST_F(Storage, ANameSavesAndLoadsBackUnlessItsFileWouldLeaveTheFolder) {
    const QString cjk = QString(81, QChar(0x6587));
    const QString odd = QString::fromUtf8("ẞ 😀 \r\0", 11);
    const QByteArray tiff = TestPictures::tiffOfPoints(8, 4);
    const QStringList names = {
        PasteWindow::kHistoryName, "Work ä", "sub/Inner", "/notes", "..", "\uFEFFNotes", cjk};
    const QString source = scratch("source");
    QDir().mkpath(source + QStringLiteral("/sub"));
    QByteArray list;
    QList<std::pair<QString, QByteArray>> files;
    for (const QString& name : names) {
        list += (name + PasteWindow::kSetFileSuffix).toUtf8() + '\n';
        files.append({name + PasteWindow::kSetFileSuffix, archive({{1, name}})});
    }
    files[0].second = archive({{7, "first\nline"}, {3, std::nullopt, 1, QByteArray("{\\rtf1 x}")}});
    files[1].second = archive({{1, odd, 3, tiff}});
    storeFolder(source, list, files);
    ASSERT_TRUE(window().loadData(true, source));
    ASSERT_EQ(setNames(), names);
    EXPECT_EQ(window().getWindow()->list()->count(), names.size());
    EXPECT_EQ(window().getWindow()->list()->currentIndex(), 0);
    EXPECT_EQ(history().getDataAtIndex(0)->number(), 7) << "numbers are kept as stored";
    EXPECT_EQ(history().getDataAtIndex(1)->contents(), std::nullopt);

    const QString dir = scratch("new/copy");
    QString error;
    ASSERT_TRUE(window().createDirectoriesAtPath(dir, std::nullopt, error));
    QDir(dir).mkdir(QStringLiteral("sub"));
    ASSERT_TRUE(window().saveData(dir, error, false)) << error.toStdString();
    EXPECT_EQ(readFile(dir + QStringLiteral("/Kelvrin.KVlist")), list);
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(readFile(dir + u'/' + name), bytes) << name.toStdString();
        EXPECT_EQ(QFile::permissions(dir + u'/' + name) & 0x0077, 0) << "readable by others";
    }
    for (const QString& made : {scratch("new"), dir})
        EXPECT_EQ(QFile::permissions(made) & 0x0077, 0) << "a folder made open to others";
    const auto filesLeft = [&] { return QDir(dir).entryList(QDir::Files | QDir::Hidden).size(); };
    EXPECT_EQ(filesLeft(), names.size()) << "a temporary file was left";
    ASSERT_TRUE(window().loadData(true, dir));
    EXPECT_EQ(setNames(), names);
    EXPECT_EQ(window().pasteArray()[6]->getDataAtIndex(0)->contents(), cjk);
    const PasteData& work = *window().pasteArray()[1]->getDataAtIndex(0);
    EXPECT_EQ(work.contents(), odd);
    EXPECT_EQ(work.extraData(), tiff);
    EXPECT_EQ(work.extraType(), 3);

    // A set whose file cannot be written (out of the folder, past 255 bytes, a folder in its
    // place) fails the save and leaves the list: a shorter one would lose the sets after it.
    const QList<std::pair<QString, int>> refused = {{QStringLiteral("../Outside"), 99},
                                                    {QString(250, u'x'), ENAMETOOLONG}};
    for (const auto& [name, code] : refused) {
        window().pasteArray()[1]->setName(name);
        EXPECT_FALSE(window().saveData(dir, error, false));
        EXPECT_EQ(error, Strings::localizedFormat(
                             "SaveErrorMessage2",
                             {dir + u'/' + name + PasteWindow::kSetFileSuffix, code}));
        EXPECT_EQ(readFile(dir + QStringLiteral("/Kelvrin.KVlist")), list);
    }
    EXPECT_FALSE(QFile::exists(scratch("new/Outside.KVdata")));
    window().pasteArray()[1]->setName(names[1]);
    ASSERT_TRUE(QFile::remove(dir + u'/' + kHistoryFile) && QDir(dir).mkdir(kHistoryFile));
    EXPECT_FALSE(window().saveData(dir, error, false));
    EXPECT_EQ(readFile(dir + QStringLiteral("/Kelvrin.KVlist")), list);
    EXPECT_EQ(filesLeft(), names.size() - 1) << "a temporary file was left";

    // A folder that cannot be opened to sync its entries: a power cut could undo them, so it fails.
    const QString unsynced = scratch("unsynced");
    QDir().mkpath(unsynced);
    QFile::setPermissions(unsynced, QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    {
        ModesApply modes;
        EXPECT_FALSE(window().saveData(unsynced, error, false));
    }
    QFile::setPermissions(unsynced,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(error,
              Strings::localizedFormat("SaveErrorMessage2", {unsynced + u'/' + kHistoryFile, 99}));
    EXPECT_FALSE(QFile::exists(unsynced + QStringLiteral("/Kelvrin.KVlist")));
    // A folder where no file can be made.
    EXPECT_FALSE(window().saveData(QStringLiteral("/proc/self"), error, false));
    EXPECT_TRUE(
        error.startsWith(Strings::localizedFormat("SaveErrorMessage1",
                                                  {QStringLiteral("/proc/self/Kelvrin.KVlist"), 0})
                             .section(u'(', 0, 0)));
    Log::Capture log;
    EXPECT_TRUE(window().saveData(QString(), error, false));
    EXPECT_FALSE(window().loadData(true, QString()));
    EXPECT_EQ(log.lines(),
              (QStringList{"information:[saveData] [directory is null, no saving.]",
                           "information:[loadData] [directory is null, no loading.]"}));
    EXPECT_EQ(setNames(), names);
}

TEST_F(Storage, TheFolderPrinterShowsEveryClippingOrTheAlertAndLoadsLeaveWritesInFlight) {
    const QString dir = scratch("sets");
    storeFolder(
        dir, "PasteBoard History.KVdata\nWork.KVdata\n",
        {{kHistoryFile, archive({{1, QStringLiteral("a \"quoted\" text")}})},
         {QStringLiteral("Work.KVdata"), archive({{4, std::nullopt, 5, QByteArray("pdf")}})}});
    // The temporary file of a save the running Kelvrin is making there.
    const QString inFlight = dir + QStringLiteral("/.kelvrin-Ab12Cd");
    SetFolder::write(inFlight, "half a set");
    ASSERT_TRUE(window().loadData(true, dir));
    QProcess printer;
    printer.start(QStringLiteral(KELVRIN_BINARY), {QStringLiteral("--print-folder"), dir});
    ASSERT_TRUE(printer.waitForFinished(30000));
    EXPECT_EQ(printer.exitCode(), 0) << printer.readAllStandardError().toStdString();
    EXPECT_EQ(printer.readAllStandardOutput(), fixture("printed/two-sets.jsonl"));
    EXPECT_EQ(readFile(inFlight), "half a set");

    printer.start(QStringLiteral(KELVRIN_BINARY),
                  {QStringLiteral("--print-folder"), scratch("absent")});
    ASSERT_TRUE(printer.waitForFinished(30000));
    EXPECT_EQ(printer.exitCode(), 1);
    EXPECT_TRUE(printer.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(QString::fromUtf8(printer.readAllStandardError())
                    .contains(Strings::localizedFormat("LoadErrorMessage7", {scratch("absent")})));
}

using DataFolderAtLaunch = AppFixture;

// A data folder that holds nothing of ours yet, whatever else it holds, is a new one: nothing to
// load, and the sets are saved there. One that holds set files without their list, cannot be
// read or is not there at all (a disk not mounted yet) holds sets that could not be loaded.
TEST_F(DataFolderAtLaunch, AFolderHoldingNoSetsYetIsNewAndOtherwiseTheUserIsTold) {
    const QString fresh = scratch("fresh");
    QDir().mkpath(fresh);
    SetFolder::write(fresh + QStringLiteral("/notes.txt"), "not a set");
    {
        Log::Capture log;
        launch({{"initial_directory", fresh}});
        EXPECT_EQ(log.lines().filter(fresh).size(), 1) << log.lines().join(u'\n').toStdString();
    }
    EXPECT_EQ(window().pasteArray().size(), 1u);
    EXPECT_EQ(texts(history()), QStringList());
    captureEach({"first"});
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);
    EXPECT_EQ(
        texts(unarchivePasteData(readFile(fresh + u'/' + kHistoryFile)).value_or(PasteDataList())),
        QStringList{"first"});

    const QString setsWithoutList = scratch("sets without list");
    QDir().mkpath(setsWithoutList);
    SetFolder::writeSet(setsWithoutList, QStringLiteral("Work"), {});
    const QString unreadable = scratch("unreadable");
    QDir().mkpath(unreadable);
    QFile::setPermissions(unreadable, QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    for (const QString& folder : {setsWithoutList, unreadable, scratch("absent")}) {
        SCOPED_TRACE(folder.toStdString());
        ModesApply modes;
        ScriptedAlerts alerts;
        launchAgain({{"initial_directory", folder}});
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].message,
                  Strings::localizedFormat("LoadErrorMessage7", {folder}));
    }
    EXPECT_FALSE(QFileInfo::exists(scratch("absent")));
}
