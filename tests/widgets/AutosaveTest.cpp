// Saving the sets as they change: which sets are written, when, and what a failure does. The
// tests give the time themselves; the poll's own autosave is switched off.
#include "AppFixture.h"

#include "model/PasteDataCoding.h"
#include "platform/Log.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

// A file's identity: every save replaces a file by a new one.
ino_t inode(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

class Autosave : public AppFixture {
protected:
    void SetUp() override {
        launch({{"autosave", false}});
        _start = PasteWindow::Clock::now();
    }

    QString folder() const { return scratch(QStringLiteral("data")); }
    QString file(const QString& name) const { return folder() + u'/' + name; }
    QString historyFile() const { return file(PasteWindow::kHistoryName + ".KVdata"); }

    // One look of the autosave at that many milliseconds after the start, then the wait for a
    // save it began.
    void at(std::chrono::milliseconds time) {
        window().autosaveCheck(folder(), _start + time);
        window().finishAutosave();
    }

    QStringList storedHistory() {
        return texts(unarchivePasteData(readFile(historyFile())).value_or(PasteDataList()));
    }

private:
    PasteWindow::Clock::time_point _start;
};

TEST_F(Autosave, ChangesAreSavedOnceTheSetsRestAndOnlyTheFilesThatChanged) {
    captureEach({"one"});
    at(0ms);
    at(1900ms);
    EXPECT_FALSE(QFile::exists(historyFile())) << "saved before the sets came to rest";
    at(2000ms);
    EXPECT_EQ(storedHistory(), QStringList{"one"});
    EXPECT_EQ(readFile(file(PasteWindow::kListFileName)), "PasteBoard History.KVdata\n");
    EXPECT_EQ(QFile::permissions(folder()) & 0x0077, 0) << "a folder made open to others";

    // A set of its own, then a change of the history alone: only its file is written again.
    window().addSet();
    window()
        .setSelectWindow()
        ->findChild<QComboBox*>(QStringLiteral("_setSelectCombo"))
        ->setEditText(QStringLiteral("Work"));
    window().setSelectWindow()->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    ASSERT_EQ(window().pasteArray().size(), 2u);
    at(10'000ms);
    at(12'000ms);
    const QString workFile = file(QStringLiteral("Work.KVdata"));
    ASSERT_TRUE(QFile::exists(workFile));
    const ino_t work = inode(workFile);
    const ino_t list = inode(file(PasteWindow::kListFileName));
    // Changes a second apart: the save waits for them to stop, but no longer than the latest.
    for (int second = 20; second <= 24; ++second) {
        captureEach({QStringLiteral("copy %1").arg(second)});
        at(std::chrono::seconds(second));
        EXPECT_EQ(storedHistory().value(0), QStringLiteral("one")) << "saved at " << second;
    }
    at(25'000ms);
    EXPECT_EQ(storedHistory().value(0), QStringLiteral("copy 24"));
    EXPECT_EQ(inode(workFile), work);
    EXPECT_EQ(inode(file(PasteWindow::kListFileName)), list);

    // Nothing changed, nothing written.
    const ino_t history = inode(historyFile());
    at(60'000ms);
    EXPECT_EQ(inode(historyFile()), history);
}

TEST_F(Autosave, AFailureIsLoggedOnceLeavesTheSetsAndIsTriedAgainAfterTheNextChange) {
    Log::Capture log;
    // A folder where the history's file should be: no file can replace it, whoever we are.
    QDir().mkpath(historyFile());
    captureEach({"one"});
    at(0ms);
    at(2000ms);
    captureEach({"two"});
    at(3000ms);
    at(5000ms);
    EXPECT_TRUE(QFileInfo(historyFile()).isDir());
    EXPECT_FALSE(QFile::exists(file(PasteWindow::kListFileName))) << "names a set not written";
    EXPECT_EQ(log.lines().filter(QStringLiteral("[autosave]")).size(), 1)
        << log.lines().join('\n').toStdString();
    EXPECT_EQ(history().pasteData().size(), 2u);

    // Without a change nothing is tried; the next change is saved once the folder allows it.
    ASSERT_TRUE(QDir().rmdir(historyFile()));
    at(10'000ms);
    EXPECT_FALSE(QFile::exists(historyFile()));
    captureEach({"three"});
    at(11'000ms);
    at(13'000ms);
    EXPECT_EQ(storedHistory(), (QStringList{"three", "two", "one"}));
}

TEST_F(Autosave, ABigSetFileIsRewrittenAtMostOnceAMinute) {
    captureEach({QString(int(PasteWindow::kBigSetFile) + 1000, u'x')});
    at(0ms);
    at(2000ms);
    ASSERT_GT(QFileInfo(historyFile()).size(), PasteWindow::kBigSetFile);
    const ino_t first = inode(historyFile());

    captureEach({"small"});
    at(10'000ms);
    at(12'000ms);
    at(40'000ms);
    EXPECT_EQ(inode(historyFile()), first) << "rewritten within the minute";
    at(62'000ms);
    EXPECT_NE(inode(historyFile()), first);
    EXPECT_EQ(storedHistory().value(0), QStringLiteral("small"));
}

TEST_F(Autosave, SetsLoadedFromTheFolderAreNotWrittenBackButAMenuLoadIsWrittenIn) {
    captureEach({"stored"});
    QString error;
    ASSERT_TRUE(window().saveData(folder(), error, false)) << error.toStdString();
    ASSERT_TRUE(window().loadData(true, folder()));
    const ino_t stored = inode(historyFile());
    at(0ms);
    at(5000ms);
    EXPECT_EQ(inode(historyFile()), stored) << "what the folder holds was written again";

    // Sets loaded from elsewhere go into the data folder.
    const QString elsewhere = folder() + QStringLiteral("-elsewhere");
    captureEach({"elsewhere"});
    ASSERT_TRUE(window().saveData(elsewhere, error, false)) << error.toStdString();
    ASSERT_TRUE(window().loadData(true, elsewhere));
    at(10'000ms);
    at(12'000ms);
    EXPECT_EQ(storedHistory(), (QStringList{"elsewhere", "stored"}));
}
