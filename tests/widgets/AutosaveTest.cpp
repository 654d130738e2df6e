// Saving the sets as they change. The tests give the time; the poll's own autosave is off.
#include "WidgetFixtures.h"

#include "platform/Transfer.h"

#include <QFileInfo>
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

    QString folder() const { return scratch("data"); }
    QString file(const QString& name) const { return folder() + u'/' + name; }
    QString historyFile() const { return file(PasteWindow::kHistoryName + ".KVdata"); }

    // Looks of the autosave these times after the start, each then waiting for a save it began.
    void at(std::initializer_list<std::chrono::milliseconds> times) {
        for (const auto time : times) {
            window().autosaveCheck(folder(), _start + time);
            window().finishAutosave();
        }
    }

    QStringList storedHistory() {
        return texts(unarchivePasteData(readFile(historyFile())).value_or(PasteDataList()));
    }

private:
    PasteWindow::Clock::time_point _start;
};

TEST_F(Autosave, ChangesAreSavedOnceTheSetsRestOnlyTheFilesThatChangedAndBigOnesOnceAMinute) {
    captureEach({"one"});
    at({0ms, 1900ms});
    EXPECT_FALSE(QFile::exists(historyFile())) << "saved before the sets came to rest";
    at({2000ms});
    EXPECT_EQ(storedHistory(), QStringList{"one"});
    EXPECT_EQ(readFile(file(PasteWindow::kListFileName)), "PasteBoard History.KVdata\n");
    EXPECT_EQ(QFile::permissions(folder()) & 0x0077, 0) << "a folder made open to others";

    // A set of its own, then a change of the history alone: only its file is written again.
    ASSERT_TRUE(addToSet(window(), QStringLiteral("Work")));
    at({10'000ms, 12'000ms});
    const QString workFile = file("Work.KVdata");
    ASSERT_TRUE(QFile::exists(workFile));
    const ino_t work = inode(workFile);
    const ino_t list = inode(file(PasteWindow::kListFileName));
    // Changes a second apart: the save waits for them to stop, but no longer than the latest.
    for (int second = 20; second <= 24; ++second) {
        captureEach({QStringLiteral("copy %1").arg(second)});
        at({std::chrono::seconds(second)});
        EXPECT_EQ(storedHistory().value(0), QStringLiteral("one")) << "saved at " << second;
    }
    at({25'000ms});
    EXPECT_EQ(storedHistory().value(0), QStringLiteral("copy 24"));
    EXPECT_EQ(inode(workFile), work);
    EXPECT_EQ(inode(file(PasteWindow::kListFileName)), list);

    const ino_t history = inode(historyFile());
    at({60'000ms});
    EXPECT_EQ(inode(historyFile()), history);

    // A file that big takes several texts: no text copied may be that large.
    const int parts = int(PasteWindow::kBigSetFile / Transfer::kMaxTextBytes) + 1;
    for (char16_t part = 0; part < parts; ++part)
        captureEach({QString(int(PasteWindow::kBigSetFile / parts) + 1000, char16_t(u'a' + part))});
    at({100'000ms, 102'000ms});
    ASSERT_GT(QFileInfo(historyFile()).size(), PasteWindow::kBigSetFile);
    const ino_t first = inode(historyFile());

    captureEach({"small"});
    at({110'000ms, 112'000ms, 140'000ms});
    EXPECT_EQ(inode(historyFile()), first) << "rewritten within the minute";
    at({162'000ms});
    EXPECT_NE(inode(historyFile()), first);
    EXPECT_EQ(storedHistory().value(0), QStringLiteral("small"));
}

TEST_F(Autosave, AFailureIsLoggedOnceAndTriedAgainAndOnlySetsLoadedFromElsewhereAreWrittenIn) {
    Log::Capture log;
    // A folder where the history's file should be: no file can replace it, whoever we are.
    QDir().mkpath(historyFile());
    captureEach({"one"});
    at({0ms, 2000ms});
    captureEach({"two"});
    at({3000ms, 5000ms});
    EXPECT_TRUE(QFileInfo(historyFile()).isDir());
    EXPECT_FALSE(QFile::exists(file(PasteWindow::kListFileName))) << "names a set not written";
    EXPECT_EQ(log.lines().filter(QStringLiteral("[autosave]")).size(), 1)
        << log.lines().join('\n').toStdString();
    EXPECT_EQ(history().pasteData().size(), 2u);

    // Without a change nothing is tried; the next change is saved once the folder allows it.
    ASSERT_TRUE(QDir().rmdir(historyFile()));
    at({10'000ms});
    EXPECT_FALSE(QFile::exists(historyFile()));
    captureEach({"three"});
    at({11'000ms, 13'000ms});
    EXPECT_EQ(storedHistory(), (QStringList{"three", "two", "one"}));

    // Sets loaded from the folder are not written back, but a menu load is written in.
    captureEach({"stored"});
    QString error;
    ASSERT_TRUE(window().saveData(folder(), error, false)) << error.toStdString();
    ASSERT_TRUE(window().loadData(true, folder()));
    const ino_t stored = inode(historyFile());
    at({20'000ms, 25'000ms});
    EXPECT_EQ(inode(historyFile()), stored) << "what the folder holds was written again";

    // Sets loaded from elsewhere go into the data folder.
    const QString elsewhere = folder() + QStringLiteral("-elsewhere");
    captureEach({"elsewhere"});
    ASSERT_TRUE(window().saveData(elsewhere, error, false)) << error.toStdString();
    ASSERT_TRUE(window().loadData(true, elsewhere));
    at({30'000ms, 32'000ms});
    EXPECT_EQ(storedHistory().mid(0, 2), (QStringList{"elsewhere", "stored"}));
}
