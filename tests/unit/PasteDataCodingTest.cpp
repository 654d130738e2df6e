#include "model/PasteDataCoding.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

using TypedStream::Value;

namespace {

QByteArray archiveOfVersion(qint32 version) {
    return TypedStream::encode(Value::arrayOf(
        {Value::recordOf(QStringLiteral("PasteData"), version,
                         {Value::fromInteger(9), Value::fromText(QStringLiteral("old")),
                          Value::fromInteger(1), Value::fromBytes("{\\rtf1 old}")})}));
}

} // namespace

// A set of one clipping {1, "ab", 0, no payload} is the archive real systems write for it, and
// reads back.
TEST(PasteDataCoding, ASetArchivesAsARealMutableArrayArchive) {
    PasteDataList list;
    list.push_back(std::make_unique<PasteData>());
    list.back()->setContents(QStringLiteral("ab"));
    list.back()->setNumber(1);
    const QByteArray expected = fixture(QStringLiteral("archives/one-clipping.mutable-array"));
    EXPECT_EQ(archivePasteData(list), expected);
    const auto back = unarchivePasteData(expected);
    ASSERT_TRUE(back && back->size() == 1);
    EXPECT_EQ(back->front()->contents(), QStringLiteral("ab"));
    EXPECT_EQ(back->front()->number(), 1);
}

TEST(PasteDataCoding, OlderRecordsReadAlikeAndNewerOnesAreRefused) {
    for (qint32 version : {0, 1, 2}) {
        const auto list = unarchivePasteData(archiveOfVersion(version));
        ASSERT_TRUE(list && list->size() == 1) << version;
        const PasteData& data = *list->front();
        EXPECT_EQ(data.number(), 9) << "numbers are read as stored";
        EXPECT_EQ(data.contents(), QStringLiteral("old"));
        EXPECT_EQ(data.extraType(), 1);
        EXPECT_EQ(data.extraData(), QByteArray("{\\rtf1 old}"));
        EXPECT_EQ(data.strInfo(), QStringLiteral("\n3")) << "derived values are rebuilt";
    }
    // A newer record is too new whatever it holds, also a group this decoder cannot read (a
    // 64-bit "q" here) before the record ends.
    QByteArray withNewGroup = archiveOfVersion(3);
    withNewGroup.insert(withNewGroup.size() - 2, QByteArray::fromHex("8401710800000000000000"));
    for (const QByteArray& newer : {archiveOfVersion(3), withNewGroup}) {
        try {
            unarchivePasteData(newer);
            ADD_FAILURE() << "a newer record was read";
        } catch (const TypedStream::ArchiveError& error) {
            EXPECT_EQ(error.name(), QStringLiteral("VersionCheckException"));
            EXPECT_EQ(error.reason(), QStringLiteral("file version[3]  program version[2]"));
        }
    }
}

TEST(PasteDataCoding, ArchivesOfAnotherShapeAreDamagedAndNilIsNothing) {
    EXPECT_EQ(unarchivePasteData(TypedStream::encode(Value::nil())), std::nullopt);
    const QList<Value> wrongRoots = {
        Value::fromText(QStringLiteral("not a list")),
        Value::arrayOf({Value::fromText(QStringLiteral("not a clipping"))}),
        Value::arrayOf({Value::recordOf(QStringLiteral("PasteData"), 2,
                                        {Value::fromInteger(1), Value::fromInteger(2)})}),
        Value::arrayOf(
            {Value::recordOf(QStringLiteral("PasteData"), 2,
                             {Value::fromInteger(1), Value::fromBytes("bytes where text belongs"),
                              Value::fromInteger(0), Value::nil()})}),
    };
    for (const Value& root : wrongRoots)
        EXPECT_THROW(unarchivePasteData(TypedStream::encode(root)), TypedStream::ArchiveError);
    // The immutable list older files hold reads as well.
    const auto list = unarchivePasteData(TypedStream::encode(Value::arrayOf({}, false)));
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->empty());
}
