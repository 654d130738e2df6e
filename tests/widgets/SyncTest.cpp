// A data folder another machine writes into too, as a sync engine puts that machine's versions of
// the files there: each version is merged into the sets and the result saved at once. The folder
// is watched for real; the other machine's files are written the way Syncthing writes them (a
// temporary file renamed over the old one).
#include "WidgetFixtures.h"

#include "model/PasteDataCoding.h"
#include "model/SetMerge.h"
#include "platform/AtomicFile.h"

namespace {

PasteDataList clippingsOf(const QStringList& texts) {
    PasteDataList clippings;
    for (const QString& text : texts) {
        clippings.push_back(std::make_unique<PasteData>());
        clippings.back()->setContents(text);
    }
    return clippings;
}

constexpr int kSyncRetryMs = int(std::chrono::milliseconds(PasteWindow::kSyncRetry).count());

} // namespace

class Sync : public AppFixture {
protected:
    void SetUp() override {
        launch({{"autosave", false}});
        // The first save makes the folder ours, and the watch begins.
        captureEach({"one"});
        save();
    }

    QString folder() const { return scratch("data"); }
    QString file(const QString& name) const { return folder() + u'/' + name; }
    QString setFile(const QString& name) const { return file(name + ".KVdata"); }
    QString historyFile() const { return setFile(PasteWindow::kHistoryName); }

    // An autosave of what changed, and the wait for it: the sets rest as long as it takes.
    void save() {
        for (int look = 0; look < 2; ++look) {
            _time += std::chrono::hours(1);
            window().autosaveCheck(folder(), _time);
        }
        window().finishAutosave();
    }
    // The other machine's version of a set file, as the sync engine puts it in the folder. With
    // the sync file that machine's Kelvrin writes along, when the versions it grew from are given.
    void arrive(const QString& path, const QStringList& texts,
                const std::optional<QList<QStringList>>& grewFrom) {
        if (grewFrom) {
            SetFiles::SyncState state;
            QList<QByteArray>& earlier =
                state.grewFrom[SetMerge::hashOf(SetMerge::keysOf(clippingsOf(texts)))];
            for (const QStringList& version : *grewFrom)
                earlier.append(SetMerge::hashOf(SetMerge::keysOf(clippingsOf(version))));
            ASSERT_TRUE(AtomicFile::writeFile(file(SetFiles::kSyncFileName),
                                              SetFiles::encodeSyncState(state)));
        }
        ASSERT_TRUE(AtomicFile::writeFile(path, archivePasteData(clippingsOf(texts))));
    }
    static void arriveList(const QString& path, const QStringList& names) {
        QByteArray list;
        for (const QString& name : names)
            list += SetFiles::encodeListLine(SetFiles::listLine(name));
        ASSERT_TRUE(AtomicFile::writeFile(path, list));
    }
    QStringList stored(const QString& path) {
        return texts(unarchivePasteData(readFile(path)).value_or(PasteDataList()));
    }
    // Waits until the watch has seen the folder change and the merge is saved.
    bool merged(const std::function<bool()>& done, int timeoutMs = 5000) {
        return QTest::qWaitFor(
            [&] {
                window().finishAutosave();
                return done();
            },
            timeoutMs);
    }

private:
    PasteWindow::Clock::time_point _time = PasteWindow::Clock::now();
};

TEST_F(Sync, AnotherMachinesVersionIsTakenOrMergedWithOursAndSavedAtOnce) {
    // Nothing changed here: their version is the set, and nothing of ours is written over their
    // files.
    arrive(historyFile(), {"two", "one"}, {{{"one"}}});
    const QByteArray theirSyncFile = readFile(file(SetFiles::kSyncFileName));
    ASSERT_TRUE(merged([&] { return texts(history()) == QStringList({"two", "one"}); }));
    save();
    EXPECT_EQ(readFile(file(SetFiles::kSyncFileName)), theirSyncFile);
    // Both sides changed: the copy made here and theirs are both kept, and their deletion holds.
    captureEach({"three"});
    arrive(historyFile(), {"four", "two"}, {{{"one"}, {"two", "one"}}});
    ASSERT_TRUE(merged([&] { return texts(history()).contains(u"four"); }))
        << texts(history()).join(u',').toStdString();
    EXPECT_EQ(texts(history()), QStringList({"three", "four", "two"}));
    EXPECT_TRUE(merged([&] { return stored(historyFile()) == texts(history()); }))
        << stored(historyFile()).join(u',').toStdString();
    // They deleted the newest clipping of ours, and added nothing: it stays deleted.
    captureEach({"five"});
    save();
    arrive(historyFile(), {"three", "four", "two"}, {{{"five", "three", "four", "two"}}});
    EXPECT_TRUE(merged([&] {
        return texts(history()) == QStringList({"three", "four", "two"});
    })) << texts(history()).join(u',').toStdString();
}

// A conflict copy whose writer said nothing of what it grew from (an older Kelvrin, or its sync
// file lost to another conflict) is merged once its word had time to come.
TEST_F(Sync, AConflictCopyIsMergedThenRemovedAndAHalfWrittenFileWaits) {
    const QString copy = file("PasteBoard History.sync-conflict-20261208-120000-ABCDEFG.KVdata");
    arrive(copy, {"theirs", "one"}, std::nullopt);
    ASSERT_TRUE(merged([&] { return !QFile::exists(copy); }, 4 * kSyncRetryMs));
    EXPECT_EQ(texts(history()), QStringList({"theirs", "one"}));
    EXPECT_EQ(stored(historyFile()), QStringList({"theirs", "one"}));

    // A file cut short is left alone until it is whole.
    const QByteArray whole = archivePasteData(clippingsOf({"later", "theirs", "one"}));
    ASSERT_TRUE(AtomicFile::writeFile(historyFile(), whole.left(whole.size() / 2)));
    QTest::qWait(4 * FolderWatch::kSettleMs);
    EXPECT_EQ(texts(history()), QStringList({"theirs", "one"}));
    arrive(historyFile(), {"later", "theirs", "one"}, {{{"theirs", "one"}}});
    EXPECT_TRUE(merged([&] { return texts(history()).value(0) == u"later"; }))
        << texts(history()).join(u',').toStdString();
}

TEST_F(Sync, ASetMadeElsewhereAppearsAndOneDeletedElsewhereGoesUnlessChangedHere) {
    arrive(setFile("Work"), {"w1"}, {{}});
    arrive(setFile("Home"), {"h1"}, {{}});
    arriveList(file(PasteWindow::kListFileName), {PasteWindow::kHistoryName, "Work", "Home"});
    ASSERT_TRUE(merged([&] { return window().pasteArray().size() == 3; }));
    EXPECT_EQ(texts(*window().pasteArray()[1]), QStringList({"w1"}));
    save();
    // Home is changed here while the other machine deletes both.
    captureEach({"h2"});
    window().selectFirstRowIfNone();
    ASSERT_TRUE(addToSet(window(), QStringLiteral("Home")));
    ASSERT_EQ(texts(*window().pasteArray()[2]), QStringList({"h2", "h1"}));
    arriveList(file(PasteWindow::kListFileName), {PasteWindow::kHistoryName});
    ASSERT_TRUE(merged([&] { return window().pasteArray().size() == 2; }))
        << window().pasteArray().size();
    EXPECT_EQ(window().pasteArray()[1]->name(), u"Home");
    EXPECT_TRUE(merged([&] {
        return readFile(file(PasteWindow::kListFileName)) ==
               "PasteBoard History.KVdata\nHome.KVdata\n";
    })) << readFile(file(PasteWindow::kListFileName)).constData();
}
