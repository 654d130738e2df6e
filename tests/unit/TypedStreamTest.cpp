#include "formats/TypedStream.h"

#include "Fixtures.h"

#include <QMap>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

using namespace TypedStream;

namespace TypedStream {
// Failures print the tree, not its raw bytes: each value's fields, then its elements.
void PrintTo(const Value& value, std::ostream* out) {
    *out << " (" << int(value.kind) << ' ' << value.className.toStdString() << " v"
         << value.classVersion << (value.mutableArray ? " " : " const ") << value.integer << " \""
         << value.text.toStdString() << "\" <" << value.bytes.toHex(' ').toStdString() << ">";
    for (const Value& element : value.elements)
        PrintTo(element, out);
    *out << ')';
}
} // namespace TypedStream

namespace {

QByteArray hex(const QByteArray& text) {
    return QByteArray::fromHex(text);
}

const QByteArray kHeader = hex("04 0b") + "streamtyped" + hex("81 e8 03");

// A new shared string of fewer than 128 bytes: a type or a class name.
QByteArray str(const QByteArray& text) {
    return char(0x84) + QByteArray(1, char(text.size())) + text;
}

// New classes, subclass first, down to a new NSObject: how the first object of a class starts.
QByteArray classes(std::initializer_list<std::pair<QByteArray, char>> chain) {
    QByteArray bytes;
    for (const auto& [name, version] : chain)
        bytes += char(0x84) + str(name) + version;
    return bytes + char(0x84) + str("NSObject") + hex("00 85");
}

Value clipping(qint64 number, const Value& contents, qint64 code, const Value& payload) {
    return Value::recordOf(
        "PasteData", 2, {Value::fromInteger(number), contents, Value::fromInteger(code), payload});
}

// A fixture's lines, failing the test when it has none.
QStringList fixtureLines(const QString& path) {
    const QStringList lines = QString::fromUtf8(fixture(path)).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_FALSE(lines.isEmpty()) << path.toStdString();
    return lines;
}

// Arrays written by hand, with back references. The first array defines the class NSArray
// (entry 1) and the type "i" (string 3); later arrays refer to them.
class ArrayWriter {
public:
    QByteArray bytes = kHeader + str("@");

    // Starts an array of count elements and answers its entry number.
    int open(int count) {
        const int number = _entries;
        bytes += char(0x84) + (_entries == 0 ? classes({{"NSArray", 0}}) + str("i") : hex("93 95"));
        _entries += _entries == 0 ? 3 : 1;
        bytes += char(count);
        return number;
    }
    void element() { bytes += char(0x92); }
    // An element that names an array written before.
    void reference(int entry) {
        element();
        bytes += char(-110 + entry);
    }
    void close(int times = 1) { bytes += QByteArray(times, char(0x86)); }
    // Arrays of one element each, the next one inside.
    void chain(int levels) {
        for (int level = 0; level < levels; ++level) {
            open(1);
            element();
        }
    }

private:
    int _entries = 0;
};

QByteArray nestedArrays(int depth) {
    ArrayWriter writer;
    writer.chain(depth - 1);
    writer.open(0);
    writer.close(depth);
    return writer.bytes;
}

// The arrays nestedArrays writes.
Value nested(int depth) {
    Value value = Value::arrayOf({}, false);
    while (--depth > 0)
        value = Value::arrayOf({value}, false);
    return value;
}

// The work throws an ArchiveError of that name with the part in its reason: the error.
std::optional<ArchiveError> expectError(const std::function<void()>& work, const QString& name,
                                        const QString& reasonPart) {
    try {
        work();
        ADD_FAILURE() << "no error where one of " << reasonPart.toStdString() << " belongs";
        return std::nullopt;
    } catch (const ArchiveError& error) {
        EXPECT_EQ(error.name(), name);
        EXPECT_TRUE(error.reason().contains(reasonPart))
            << error.reason().toStdString() << " lacks " << reasonPart.toStdString();
        return error;
    }
}

std::optional<ArchiveError> expectDecodeError(const QByteArray& bytes, const QString& reasonPart) {
    return expectError([&] { decode(bytes); }, "NSArchiverArchiveInconsistency", reasonPart);
}

void expectEncodeError(const Value& tree, const QString& reasonPart) {
    expectError([&] { encode(tree); }, "NSInvalidArgumentException", reasonPart);
}

// One clipping in an NSArray, as the format notes show it.
const QByteArray kOneClippingNSArray = fixture(QStringLiteral("archives/one-clipping.array"));
const Value kFirst = clipping(1, Value::fromText("ab"), 0, Value::nil());

} // namespace

TEST(TypedStream, ReadsOtherWritersAndWritesTheRealLayoutsAndIntegersInTheShortestForm) {
    EXPECT_EQ(encode(Value::arrayOf({kFirst}, false)), kOneClippingNSArray);
    EXPECT_EQ(decode(kOneClippingNSArray).root, Value::arrayOf({kFirst}, false));

    // The second element refers back to the classes and strings the first one wrote.
    const QByteArray two = fixture(QStringLiteral("archives/two-clippings.array"));
    const Value both = Value::arrayOf(
        {kFirst, clipping(2, Value::fromText("cd"), 5, Value::fromBytes(hex("00 01 02")))}, false);
    EXPECT_EQ(encode(both), two);
    EXPECT_EQ(decode(two).root, both);

    // What other writers produce and our encoder never does: the mutable chains, zero-length data,
    // objects written once and named again, numbers in wider forms than they need, big-endian.
    const QByteArray bytes = fixture(QStringLiteral("archives/other-writer.array"));
    const Archive archive = decode(bytes);
    const Value expected =
        Value::arrayOf({Value::fromText("ab"), Value::fromBytes(""), Value::fromText("ab"),
                        clipping(5, Value::fromBytes(""), 1000, Value::nil())},
                       false);
    EXPECT_EQ(archive.root, expected);
    EXPECT_EQ(archive.versionForClassName("NSMutableString"), 1);

    // The same in four-byte references where one byte would do.
    QByteArray wide = bytes;
    wide.replace(hex("92 95"), hex("82 92 ff ff ff 82 95 ff ff ff"));
    EXPECT_EQ(decode(wide).root, expected);

    EXPECT_EQ(decode(fixture("archives/big-endian.array")).root,
              Value::arrayOf(
                  {Value::recordOf("PasteData", 1,
                                   {Value::fromInteger(1000), Value::fromText(QString(300, u'x')),
                                    Value::fromInteger(40000), Value::fromBytes(hex("01 02"))})}));

    const QByteArray prefix = kHeader + str("@") + hex("84") + classes({{"R", 0}}) + str("i");
    for (const QString& line : fixtureLines(QStringLiteral("archives/integer-forms.txt"))) {
        const qint64 number = line.section(u' ', 0, 0).toLongLong();
        const Value record = Value::recordOf("R", 0, {Value::fromInteger(number)});
        EXPECT_EQ(encode(record), prefix + hex(line.section(u' ', 1).toLatin1()) + hex("86"))
            << number;
        EXPECT_EQ(decode(encode(record)).root, record) << number;
    }
}

// Absent is not empty, and any class version is handed over: the reader of the records decides
// what it accepts.
TEST(TypedStream, TreesRoundTripWithReferencesBeyond238EntriesAndEveryTruncationIsAnError) {
    const Value tree = Value::arrayOf(
        {clipping(1000, Value::nil(), 0, Value::nil()),
         clipping(-40000, Value::fromText(""), 1, Value::fromBytes("")),
         clipping(3, Value::fromText("é"), 3, Value::fromBytes("xyz")),
         Value::recordOf("Note", 7,
                         {Value::arrayOf({Value::fromText("x"), Value::fromBytes("y")}, false),
                          Value::recordOf("Inner", -3, {}), Value::fromInteger(-5), Value::nil(),
                          Value::arrayOf({})}),
         Value::recordOf("Note", 7, {})});
    const QByteArray archive = encode(tree);
    for (qsizetype length = 0; length < archive.size(); ++length)
        EXPECT_THROW(decode(archive.left(length)), ArchiveError) << length;
    expectDecodeError(archive + '\0', "1 bytes after the root object");
    const Archive decoded = decode(archive);
    EXPECT_EQ(decoded.root, tree);
    EXPECT_EQ(decoded.versionForClassName("Inner"), -3);
    EXPECT_EQ(decoded.versionForClassName("Note"), 7);
    EXPECT_EQ(decoded.versionForClassName("Absent"), -1);
    EXPECT_EQ(decode(encode(Value::nil())).root, Value::nil());
    EXPECT_EQ(encode(Value::fromBytes("")), kHeader + str("@") + hex("84") +
                                                classes({{"NSData", 0}}) + str("i") + hex("00") +
                                                str("[0c]") + hex("86"));

    // Texts keep every code unit; lengths count UTF-8 bytes, four for a character outside the
    // basic plane.
    std::vector<Value> texts = {Value::fromBytes(QByteArray(70000, '\xff'))};
    for (const QString& text : {QString(), QStringLiteral("a") + QChar(0) + QStringLiteral("b"),
                                QStringLiteral("line\r\nline\n"), QStringLiteral("é日本語"),
                                QString::fromUcs4(U"\U0001F600 \U0010FFFF"),
                                QChar(0xFEFF) + QStringLiteral("after a byte order mark"),
                                QString(300, u'x'), QString(40000, u'é')})
        texts.push_back(Value::fromText(text));
    EXPECT_EQ(decode(encode(Value::arrayOf(texts))).root, Value::arrayOf(texts));
    EXPECT_TRUE(encode(Value::fromText(QString::fromUcs4(U"\U0001F600")))
                    .endsWith(str("+") + hex("04 f0 9f 98 80 86")));
    const QString lone = QStringLiteral("a") + QChar(0xD800);
    EXPECT_EQ(decode(encode(Value::fromText(lone))).root.text, QStringLiteral("a\uFFFD"));

    std::vector<Value> clippings;
    for (int i = 0; i < 150; ++i)
        clippings.push_back(clipping(i + 1, Value::fromText(QString::number(i)), 0, Value::nil()));
    // NSData is first written as entry 308, so later payloads name their class in two bytes;
    // 300 payload lengths make as many "[Nc]" types, and type 259, "[250c]", is named in two.
    for (int i = 0; i < 300; ++i)
        clippings.push_back(
            clipping(151 + i, Value::nil(), 5, Value::fromBytes(QByteArray(i, 'p'))));
    clippings.push_back(clipping(451, Value::nil(), 5, Value::fromBytes(QByteArray(250, 'q'))));
    const QByteArray many = encode(Value::arrayOf(clippings));
    EXPECT_TRUE(many.contains(hex("92 84 81 c6 00 96"))); // new object of class entry 308
    EXPECT_TRUE(
        many.endsWith(hex("96 81 fa 00 81 95 00") + QByteArray(250, 'q') + hex("86 86 86")));
    EXPECT_EQ(decode(many).root, Value::arrayOf(clippings));

    // The contents of the last clipping named by reference to clipping 149's text (entry 303).
    clippings.resize(150);
    clippings.back().elements[1] = Value::nil();
    QByteArray shared = encode(Value::arrayOf(clippings));
    ASSERT_TRUE(shared.endsWith(hex("92 85 96 00 92 85 86 86")));
    shared.chop(8);
    shared += hex("92 81 c1 00 96 00 92 85 86 86");
    clippings.back().elements[1] = Value::fromText("148");
    EXPECT_EQ(decode(shared).root, Value::arrayOf(clippings));
}

TEST(TypedStream, RejectsMalformedArchivesAndUnwritableTreesAndBoundsNestingAndRepetition) {
    expectDecodeError(hex("03") + kOneClippingNSArray.mid(1), "streamer version 3");
    expectDecodeError(kOneClippingNSArray.left(12) + "X" + kOneClippingNSArray.mid(13),
                      "unknown signature");
    const QByteArray root = kHeader + str("@");
    const QMap<QString, QByteArray> prefixes = {
        {"header", kHeader},
        {"root", root},
        {"array", root + hex("84") + classes({{"NSArray", 0}}) + str("i")},
        {"record", root + hex("84") + classes({{"R", 0}})},
        {"text", root + hex("84") + classes({{"NSString", 1}}) + str("+")},
        {"data", root + hex("84") + classes({{"NSData", 0}}) + str("i")}};
    for (const QString& line : fixtureLines(QStringLiteral("archives/malformed.txt"))) {
        QStringList tokens = line.section(u'|', 0, 0).split(u' ');
        QByteArray bytes = prefixes.value(tokens.takeFirst());
        for (const QString& token : tokens)
            bytes += token.startsWith(u'"') ? str(token.mid(1, token.size() - 2).toUtf8())
                                            : hex(token.toLatin1());
        expectDecodeError(bytes, line.section(u'|', 1));
    }

    EXPECT_EQ(decode(nestedArrays(kMaxDepth)).root, nested(kMaxDepth));
    expectDecodeError(nestedArrays(kMaxDepth + 1), "nested deeper than 64");
    expectDecodeError(nestedArrays(100000), "nested deeper than 64");

    // Each array holds the one inside it twice, the second time by reference: 50 levels would
    // repeat 2^51 values.
    ArrayWriter doubling;
    std::vector<int> entries;
    for (int level = 0; level < 50; ++level) {
        entries.push_back(doubling.open(2));
        doubling.element();
    }
    entries.push_back(doubling.open(0));
    doubling.close();
    for (size_t inner = entries.size() - 1; inner > 0; --inner) {
        doubling.reference(entries[inner]);
        doubling.close();
    }
    expectDecodeError(doubling.bytes, "repeat more values than the archive has bytes");

    // Two bytes an integer group, a hundred and more in memory each: refused as it is read,
    // long before it takes the memory. The class read before says which version failed.
    QByteArray groups = kHeader + str("@") + hex("84") + classes({{"R", 7}}) + str("i") + hex("01");
    groups += hex("95 01").repeated(4 << 20);
    const auto refused = expectDecodeError(groups + hex("86"), "would take more than");
    EXPECT_EQ(refused ? refused->classVersions().value("R") : -1, 7);

    // A reference may not carry a deep object below the depth it is named at.
    ArrayWriter deep;
    deep.open(2);
    deep.element();
    const int first = deep.open(1);
    deep.element();
    deep.chain(38);
    deep.open(0);
    deep.close(40);
    deep.element();
    deep.chain(29);
    deep.open(1);
    deep.reference(first);
    deep.close(31);
    expectDecodeError(deep.bytes, "nested deeper than 64");

    // Nor are trees written that the format cannot hold.
    expectEncodeError(Value::fromInteger(1), "an integer where an object belongs");
    expectEncodeError(Value::recordOf("R", 0, {Value::fromInteger(qint64(1) << 31)}),
                      "does not fit in 32 bits");
    expectEncodeError(Value::arrayOf({Value::nil()}), "nil inside an array");
    for (const char* name : {"", "NSObject", "NSString", "NSMutableArray"})
        expectEncodeError(Value::recordOf(name, 0, {}), "a record cannot be of class");
    expectEncodeError(
        Value::arrayOf({Value::recordOf("PasteData", 2, {}), Value::recordOf("PasteData", 3, {})}),
        "class PasteData with versions 2 and 3");
    EXPECT_EQ(encode(nested(kMaxDepth)), nestedArrays(kMaxDepth));
    expectEncodeError(nested(kMaxDepth + 1), "nested deeper than 64");
}
