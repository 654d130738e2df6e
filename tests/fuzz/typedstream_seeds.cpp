// Writes the fuzzer's seed corpus into the folder named on the command line: archives from our
// encoder, and by hand the variants other writers produce (big-endian, mutable classes, objects
// named again by reference, wide numbers), so mutation starts from every path the reader has.
#include "platform/TypedStream.h"

#include <QDir>
#include <QFile>
#include <cstdio>

using TypedStream::Value;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

QByteArray str(const QByteArray& text) {
    return char(0x84) + QByteArray(1, char(text.size())) + text;
}

Value clipping(qint64 number, const Value& contents, qint64 code, const Value& payload) {
    return Value::recordOf(
        "PasteData", 2, {Value::fromInteger(number), contents, Value::fromInteger(code), payload});
}

QList<std::pair<const char*, QByteArray>> seeds() {
    const Value one = Value::arrayOf({clipping(1, Value::fromText("ab"), 0, Value::nil())});
    std::vector<Value> many;
    for (int i = 0; i < 130; ++i)
        many.push_back(clipping(i, Value::fromText("t"), 0, Value::fromBytes("")));
    const QByteArray smallBody = TypedStream::encode(Value::arrayOf({Value::fromText("x")}));

    return {
        {"one-clipping", TypedStream::encode(one)},
        {"one-clipping-nsarray", TypedStream::encode(Value::arrayOf(one.elements, false))},
        {"kinds", TypedStream::encode(Value::arrayOf(
                      {clipping(-111, Value::fromText(QString::fromUcs4(U"\U0001F600\r\n")), 40000,
                                Value::fromBytes(hex("00 01 02"))),
                       clipping(128, Value::nil(), 5, Value::fromBytes("")),
                       Value::recordOf("Note", 7, {Value::arrayOf({}, false), Value::nil()})}))},
        {"nil-root", TypedStream::encode(Value::nil())},
        {"many-references", TypedStream::encode(Value::arrayOf(many))},
        {"big-endian", "\x04\x0btypedstream" + hex("81 03 e8") + smallBody.mid(16)},
        {"variants",
         "\x04\x0bstreamtyped" + hex("81 e8 03") + str("@") + hex("84 84") + str("NSArray") +
             hex("00 84") + str("NSObject") + hex("00 85") + str("i") + hex("04 92 84 84") +
             str("NSMutableString") + hex("01 84") + str("NSString") + hex("01 94") + str("+") +
             hex("02") + "ab" + hex("86 92 84 84") + str("NSMutableData") + hex("00 84") +
             str("NSData") + hex("00 94 95 00") + str("[0c]") + hex("86 92 95 92 84 84") +
             str("PasteData") + hex("02 94 95 82 05 00 00 00 92 81 98 ff 95 81 e8 03 92 85 86 86")},
    };
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (const auto& [name, bytes] : seeds()) {
        QFile file(folder.filePath(QStringLiteral("seed-%1").arg(QLatin1String(name))));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
        // A seed the reader refuses would only teach the fuzzer the wrong thing.
        TypedStream::decode(bytes);
    }
    return 0;
}
