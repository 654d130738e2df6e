#include "model/PasteSet.h"

#include <gtest/gtest.h>

namespace {

PasteSet setOf(const QString& letters) {
    PasteSet set("test");
    for (const QChar letter : letters)
        set.addData(QString(letter), 0, std::nullopt, qint32(set.pasteData().size()), 100);
    return set;
}

// The letters in list order; a clipping whose number is not its row + 1 shows as '?'.
QString order(const PasteSet& set) {
    QString letters;
    for (size_t row = 0; row < set.pasteData().size(); ++row) {
        const PasteData& data = *set.pasteData()[row];
        letters += data.number() == qint32(row + 1) ? *data.contents() : QStringLiteral("?");
    }
    return letters;
}

} // namespace

TEST(PasteSet, AddDataInsertsThenTrimsAndRenumbers) {
    const auto added = [](qint32 row, qint64 maximum) {
        PasteSet set = setOf("ABCDE");
        EXPECT_TRUE(set.addData(QString("X"), 0, std::nullopt, row, maximum));
        return order(set);
    };
    EXPECT_EQ(added(0, 5), "XABCD");
    EXPECT_EQ(added(0, 3), "XAB");
    EXPECT_EQ(added(3, 3), "ABC");
    EXPECT_EQ(added(9, 100), "ABCDEX");
    EXPECT_EQ(added(-2, 100), "XABCDE");

    PasteSet target = setOf("XY");
    ASSERT_TRUE(target.copyAddData(*setOf("C").pasteData()[0]));
    EXPECT_EQ(target.pasteData()[0]->contents(), "C");
    EXPECT_EQ(target.pasteData()[0]->number(), 0);
}

TEST(PasteSet, RemoveDataDeleteDataExchangeStackFrontAndRowLookUps) {
    PasteSet set = setOf("ABCDE");
    const std::vector<PasteData*> removed = set.indexTodata({1, 3, 7});
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(removed[1]->contents(), "D");
    set.removeData({1, 3, 9});
    EXPECT_EQ(order(set), "ACE");
    EXPECT_EQ(set.getIndexOfObject(set.getDataAtIndex(2)), 2);
    EXPECT_EQ(set.getDataAtIndex(3), nullptr);
    const PasteData stranger;
    EXPECT_EQ(set.getIndexOfObject(&stranger), PasteSet::NotFound);
    set.removeData({});
    for (const qint64 keepsAll : {3, 6, -1})
        set.deleteData(keepsAll);
    EXPECT_EQ(order(set), "ACE");
    set.deleteData(2);
    EXPECT_EQ(order(set), "AC");
    set.deleteData(0);
    EXPECT_TRUE(set.pasteData().empty());
    EXPECT_EQ(PasteSet::init(std::nullopt), nullptr);

    PasteSet stack = setOf("ABCDE");
    stack.exchangeStackFront(3);
    EXPECT_EQ(order(stack), "DABCE");
    for (const qint64 ignored : {0, -1, 5})
        stack.exchangeStackFront(ignored);
    EXPECT_EQ(order(stack), "DABCE");
}

TEST(PasteSet, DropMoveingPutsTheGroupAfterTheNearestUnmovedRow) {
    const std::tuple<IndexSet, qint32, const char*> cases[] = {
        {{1, 3}, 5, "ACEBD"},  {{1, 3}, 0, "BDACE"},  {{1, 3}, 2, "ABDCE"},
        {{1, 3}, 4, "ACBDE"},  {{0, 2}, 2, "BACDE"},  {{1, 2}, 3, "ABCDE"},
        {{2, 3}, 4, "ABCDE"},  {{0, 1}, 2, "ABCDE"},  {{1, 2, 4}, 4, "ADBCE"},
        {{1, 3}, 99, "ACEBD"}, {{1, 3}, -7, "BDACE"}, {{1, 8}, 0, "BACDE"}};
    for (const auto& [rows, drop, expected] : cases) {
        PasteSet set = setOf("ABCDE");
        set.dropMoveing(rows, drop);
        EXPECT_EQ(order(set), expected) << "drop row " << drop;
    }
}
