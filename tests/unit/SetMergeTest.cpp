// Merging two machines' versions of a set against the one they last agreed on: each row a case,
// each merged from both sides, which must agree.
#include "model/SetMerge.h"
#include "formats/SetFiles.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <gtest/gtest.h>

namespace {

using SetMerge::Keys;

// "xab" stands for the clippings x, a and b, newest first; an upper-case letter was captured at
// the time of its place in the alphabet, later than any lower-case one.
Keys keys(const char* letters) {
    Keys keys;
    for (const char* letter = letters; *letter; ++letter)
        keys.push_back(QByteArray(1, *letter));
    return keys;
}

qint64 capturedAt(const SetMerge::Key& key) {
    const char letter = key.front();
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

std::string joined(const Keys& merged) {
    std::string letters;
    for (const SetMerge::Key& key : merged)
        letters += key.toStdString();
    return letters;
}

struct Row {
    const char* what;
    const char* base;
    const char* ours;
    const char* theirs;
    qint64 bound;
    const char* merged;
};

const Row kRows[] = {
    {"nothing changed", "abc", "abc", "abc", 10, "abc"},
    {"one side added", "ab", "xab", "ab", 10, "xab"},
    {"both added, newest first", "ab", "Xab", "Yab", 10, "YXab"},
    {"both added several, each side's order kept", "ab", "XZab", "Yab", 10, "YXZab"},
    {"the same copy on both sides is one", "ab", "xab", "xab", 10, "xab"},
    {"one side deleted", "abc", "ac", "abc", 10, "ac"},
    {"both deleted others", "abcd", "acd", "abd", 10, "ad"},
    {"deleted on one side, added on the other", "abc", "ab", "Xabc", 10, "Xab"},
    {"moved to the front on one side", "abc", "cab", "abc", 10, "cab"},
    {"moved on one side, deleted on the other: deleted", "abc", "cab", "ab", 10, "ab"},
    {"moved on both sides, the nearer the front wins", "abcd", "cabd", "abdc", 10, "cabd"},
    {"each side moved another to the front", "abcd", "cabd", "dabc", 10, "cdab"},
    {"moved on one side, added on the other", "abc", "cab", "Xabc", 10, "Xcab"},
    {"the bound drops the oldest", "abc", "Xabc", "Yabc", 4, "YXab"},
    {"a side already at the bound", "abc", "Xab", "abc", 3, "Xab"},
    {"no base known: everything is kept", "", "ab", "Xa", 10, "Xab"},
    {"everything deleted on one side", "ab", "", "ab", 10, ""},
};

TEST(SetMerge, MergesBothSidesAlikeWhicheverMerges) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(joined(SetMerge::merge(keys(row.base), keys(row.ours), keys(row.theirs),
                                         capturedAt, row.bound)),
                  row.merged);
        EXPECT_EQ(joined(SetMerge::merge(keys(row.base), keys(row.theirs), keys(row.ours),
                                         capturedAt, row.bound)),
                  row.merged);
    }
}

// Random edits of a random base on both sides: whatever they did, nothing kept is lost, nothing
// deleted comes back, and both sides agree.
TEST(SetMerge, KeepsExactlyWhatNeitherSideDeletedInRandomEdits) {
    QRandomGenerator random(20261208);
    const auto edited = [&](Keys side, char& next) {
        for (int edits = random.bounded(5); edits > 0; --edits) {
            const int what = random.bounded(3);
            if (what == 0 || side.empty())
                side.insert(side.begin() + random.bounded(int(side.size()) + 1),
                            QByteArray(1, next++));
            else if (what == 1)
                side.erase(side.begin() + random.bounded(int(side.size())));
            else {
                const auto from = side.begin() + random.bounded(int(side.size()));
                const SetMerge::Key moved = *from;
                side.erase(from);
                side.insert(side.begin() + random.bounded(int(side.size()) + 1), moved);
            }
        }
        return side;
    };
    for (int round = 0; round < 2000; ++round) {
        Keys base;
        for (int i = random.bounded(8); i > 0; --i)
            base.push_back(QByteArray(1, char('a' + i)));
        char next = 'A';
        const Keys ours = edited(base, next), theirs = edited(base, next);
        const Keys merged = SetMerge::merge(base, ours, theirs, capturedAt, 100);
        SCOPED_TRACE(joined(base) + " / " + joined(ours) + " / " + joined(theirs));
        EXPECT_EQ(joined(merged), joined(SetMerge::merge(base, theirs, ours, capturedAt, 100)));
        const QSet<SetMerge::Key> inBase(base.begin(), base.end()),
            inOurs(ours.begin(), ours.end()), inTheirs(theirs.begin(), theirs.end()),
            inMerged(merged.begin(), merged.end());
        EXPECT_EQ(inMerged.size(), qsizetype(merged.size())) << "a clipping twice";
        for (const QSet<SetMerge::Key>* side : {&inOurs, &inTheirs})
            for (const SetMerge::Key& key : *side) {
                const bool kept =
                    (inOurs.contains(key) && inTheirs.contains(key)) || !inBase.contains(key);
                EXPECT_EQ(inMerged.contains(key), kept) << key.constData();
            }
    }
}

TEST(SetMerge, TellsClippingsApartByTextPayloadAndRepeat) {
    const auto clipping = [](const QString& text, qint32 type, const QByteArray& payload) {
        auto data = std::make_unique<PasteData>();
        data->setContents(text);
        if (!payload.isEmpty())
            data->setExtraData(payload, type);
        return data;
    };
    PasteDataList clippings;
    clippings.push_back(clipping(QStringLiteral("words"), 0, {}));
    clippings.push_back(clipping(QStringLiteral("words"), 1, "{\\rtf1 words}"));
    clippings.push_back(clipping(QStringLiteral("words"), 0, {}));
    clippings.push_back(clipping(QStringLiteral("other"), 0, {}));
    const Keys first = SetMerge::keysOf(clippings);
    EXPECT_EQ(QSet<SetMerge::Key>(first.begin(), first.end()).size(), 4);
    EXPECT_EQ(SetMerge::digestOf(first[0]), SetMerge::digestOf(first[2]))
        << "a repeat is the same clipping";
    EXPECT_EQ(SetMerge::digestOf(first[0]), clippings[0]->digest());
    EXPECT_EQ(SetMerge::keysOf(clippings), first) << "keys differ between two looks";
}

} // namespace

// Another machine's version grew from the newest of ours its writer had seen; told nothing, the
// newest of ours it holds new clippings of, never one whose additions it lacks.
TEST(SetMerge, FindsTheVersionAnotherGrewFrom) {
    const std::vector<Keys> versions{keys("a"), keys("xa"), keys("yxa"), keys("ya")};
    const auto seen = [](std::initializer_list<const char*> seenVersions) {
        QList<QByteArray> hashes{SetMerge::hashOf(keys("q"))};
        for (const char* version : seenVersions)
            hashes.append(SetMerge::hashOf(keys(version)));
        return hashes;
    };
    EXPECT_EQ(joined(SetMerge::lastSeen(versions, seen({"a", "yxa"}))), "yxa");
    EXPECT_EQ(joined(SetMerge::lastSeen(versions, seen({"ya", "a"}))), "ya");
    EXPECT_EQ(joined(SetMerge::lastSeen(versions, seen({}))), "") << "no version in common";
    EXPECT_NE(SetMerge::hashOf(keys("ab")), SetMerge::hashOf(keys("ba")));

    const struct {
        const char* theirs;
        const char* base;
    } rows[] = {
        {"zyxa", "yxa"}, // grew from the newest that added something (the last only deleted)
        {"zxa", "xa"},   // grew from an older one: y, added since, is not theirs to delete
        {"za", "a"},     // holds nothing new of ours: the oldest
        {"", "a"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(joined(SetMerge::likelyBaseOf(versions, keys(row.theirs))), row.base)
            << row.theirs;
    EXPECT_TRUE(SetMerge::likelyBaseOf({}, keys("a")).empty());
}

// What the merge needs beyond the set files travels in the sync file, which another machine
// wrote: it reads back as written, and anything else reads as absent. Sync engines' conflict
// copies are told by their names alone.
TEST(SyncFile, ReadsBackWhatWasWrittenAndNothingFromAnythingElse) {
    SetFiles::SyncState state;
    state.times.insert("0123abcd", 1'765'000'000'000);
    state.grewFrom.insert(SetMerge::hashOf(keys("ab")), {SetMerge::hashOf(keys("b")), "x"});
    state.grewFrom.insert(SetMerge::hashOf(keys("")), {});
    const std::optional<SetFiles::SyncState> read =
        SetFiles::decodeSyncState(SetFiles::encodeSyncState(state));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->times, state.times);
    EXPECT_EQ(read->grewFrom, state.grewFrom);
    for (const char* other : {"", "[]", "{\"a1\": 5}", "{\"times\": {}, \"grewFrom\": []}",
                              "{\"times\": {\"a\": \"5\"}, \"grewFrom\": {}}",
                              "{\"times\": {}, \"grewFrom\": {\"a\": [1]}}",
                              "{\"times\": {}, \"grewFrom\": {\"a\": \"b\"}}", "{\"times\": {"})
        EXPECT_FALSE(SetFiles::decodeSyncState(other)) << other;

    EXPECT_EQ(SetFiles::conflictCopyOf("Work.sync-conflict-20261208-120000-ABCDEFG.KVdata"),
              "Work.KVdata");
    EXPECT_EQ(SetFiles::conflictCopyOf("a.b.sync-conflict-20261208-120000-ABCDEFG"), "a.b");
    for (const char* other : {".syncthing.Work.KVdata.tmp", "Work.KVdata",
                              "Work.sync-conflict-2026128-120000-ABCDEFG.KVdata",
                              "Work.sync-conflict-20261208-120000-abcdefg.KVdata"})
        EXPECT_FALSE(SetFiles::conflictCopyOf(other)) << other;
}
