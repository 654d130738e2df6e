// Kelvrin as a process, killed without warning while it saves as it goes: the data folder must
// load every time, holding what was captured before the save.
#include "tests/e2e/E2eHarness.h"

#include "model/PasteDataCoding.h"
#include "platform/Defaults.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Settings with a data folder that holds an empty history, as a previous run left it.
class DataFolder {
public:
    DataFolder() : _path(storeEmptyHistory(_home.path())) {
        Defaults settings(_home.filePath(QStringLiteral("Kelvrin/Kelvrin.ini")));
        settings.setInteger(4, QStringLiteral("paste_limits"));
        settings.synchronize();
    }

    QString configHome() const { return _home.path(); }
    const QString& path() const { return _path; }

    // The history's texts (their first words) as the next launch will load them: absent when
    // the folder does not load.
    std::optional<QStringList> storedHistory() const {
        if (readFile(path() + QStringLiteral("/Kelvrin.KVlist")) != "PasteBoard History.KVdata\n")
            return std::nullopt;
        try {
            const std::optional<PasteDataList> clippings =
                unarchivePasteData(readFile(historyPath()));
            if (!clippings)
                return std::nullopt;
            QStringList texts;
            for (const auto& clipping : *clippings)
                texts << clipping->contents().value_or(QString()).section(u' ', 0, 1);
            return texts;
        } catch (const TypedStream::ArchiveError&) {
            return std::nullopt;
        }
    }

    // Whether a save is writing a file there now.
    bool beingWritten() const {
        return !QDir(path())
                    .entryList({QStringLiteral(".kelvrin-*")}, QDir::Files | QDir::Hidden)
                    .isEmpty();
    }

    // Looks often: a save takes some tens of milliseconds. On a busy machine this thread may
    // sleep through a whole save, which then shows as a new history file; true either way.
    bool waitUntilBeingWritten(int timeoutMs) const {
        const ino_t before = historyFile();
        for (const QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QThread::usleep(300))
            if (beingWritten() || historyFile() != before)
                return true;
        return false;
    }

private:
    QString historyPath() const { return path() + QStringLiteral("/PasteBoard History.KVdata"); }
    // A save puts a new file in the history's place.
    ino_t historyFile() const {
        struct stat status {};
        const bool found = ::stat(QFile::encodeName(historyPath()).constData(), &status) == 0;
        return found ? status.st_ino : 0;
    }

    QTemporaryDir _home;
    QString _path;
};

} // namespace

TEST(AutosaveKill, WhatWasCopiedIsOnDiskWithinSecondsAndThereAfterAKill) {
    DataFolder folder;
    {
        RunningKelvrin kelvrin(folder.configHome());
        ASSERT_TRUE(kelvrin.answered());
        for (const char* text : {"one", "two", "three"}) {
            copyWithXclip(text);
            ASSERT_TRUE(kelvrin.waitForText(text, 10000));
        }
        EXPECT_TRUE(waitFor([&] {
            return folder.storedHistory() == QStringList{"three", "two", "one"};
        })) << "not on disk within 10 s";
        kelvrin.kill();
    }
    RunningKelvrin kelvrin(folder.configHome());
    EXPECT_EQ(kelvrin.history(), (QStringList{"three", "two", "one"}));
}

// Fifty kills in all, ten to a test so that the tests fit their time and run side by side.
class AutosaveKills : public ::testing::TestWithParam<int> {};

TEST_P(AutosaveKills, AKillAtAnyMomentOfASaveLeavesAFolderThatLoads) {
    DataFolder folder;
    QRandomGenerator random(quint32(20261207 + GetParam()));
    int killedWhileWriting = 0;
    for (int round = 1; round <= 10; ++round) {
        RunningKelvrin kelvrin(folder.configHome());
        ASSERT_TRUE(kelvrin.answered()) << "round " << round << ": it did not start";
        // Megabytes of text make a save last long enough to be cut short.
        copyWithXclip(QByteArray("round ") + QByteArray::number(round) + ' ' +
                      QByteArray(2 << 20, char('a' + round)));
        ASSERT_TRUE(folder.waitUntilBeingWritten(15000)) << "round " << round;
        QThread::usleep(random.bounded(20'000u));
        killedWhileWriting += folder.beingWritten();
        kelvrin.kill();
        ASSERT_TRUE(folder.storedHistory()) << "round " << round << ": the folder does not load";
    }
    RunningKelvrin kelvrin(folder.configHome());
    EXPECT_TRUE(kelvrin.answered());
    EXPECT_FALSE(kelvrin.history().value_or(QStringList()).isEmpty());
    std::printf("killed while a file was being written: %d of 10\n", killedWhileWriting);
}

INSTANTIATE_TEST_SUITE_P(FiftyKills, AutosaveKills, ::testing::Range(0, 5));
