// The archived form of clippings.
#include "model/PasteDataCoding.h"

#include "platform/Strings.h"

using TypedStream::ArchiveError;
using TypedStream::Value;

namespace {

const QString kClassName = QStringLiteral("PasteData");

void require(bool condition, const char* what) {
    if (!condition)
        throw ArchiveError(ArchiveError::kInconsistency, QString::fromLatin1(what));
}

std::optional<QString> textOf(const Value& value) {
    require(value.kind == Value::Kind::Text || value.kind == Value::Kind::Nil,
            "a clipping's text is neither a string nor nil");
    return value.kind == Value::Kind::Text ? std::optional(value.text) : std::nullopt;
}

std::optional<QByteArray> bytesOf(const Value& value) {
    require(value.kind == Value::Kind::Bytes || value.kind == Value::Kind::Nil,
            "a clipping's payload is neither data nor nil");
    return value.kind == Value::Kind::Bytes ? std::optional(value.bytes) : std::nullopt;
}

// A clipping record of a version this program does not know yet: the file is not damaged,
// only too new, whatever its records hold.
void requireKnownVersion(const QHash<QString, qint64>& classVersions) {
    const qint64 version = classVersions.value(kClassName, -1);
    if (version > PasteData::kClassVersion)
        throw ArchiveError(
            QStringLiteral("VersionCheckException"),
            Strings::format(QStringLiteral("file version[%ld]  program version[%ld]"),
                            {version, qint64(PasteData::kClassVersion)}));
}

} // namespace

TypedStream::Value PasteData::encodeWithCoder() const {
    return Value::recordOf(kClassName, kClassVersion,
                           {Value::fromInteger(_number),
                            _contents ? Value::fromText(*_contents) : Value::nil(),
                            Value::fromInteger(_extraType),
                            _extraData ? Value::fromBytes(*_extraData) : Value::nil()});
}

std::unique_ptr<PasteData> PasteData::initWithCoder(const TypedStream::Archive& archive,
                                                    const TypedStream::Value& record) {
    requireKnownVersion(archive.classVersions);
    require(record.kind == Value::Kind::Record && record.className == kClassName,
            "an element of the list is not a clipping");
    const std::vector<Value>& fields = record.elements;
    require(fields.size() == 4 && fields[0].kind == Value::Kind::Integer &&
                fields[2].kind == Value::Kind::Integer,
            "a clipping does not hold its four values");
    auto data = std::make_unique<PasteData>();
    data->_number = qint32(fields[0].integer);
    data->setContents(textOf(fields[1]));
    data->setExtraData(bytesOf(fields[3]), qint32(fields[2].integer));
    return data;
}

QByteArray archivePasteData(const PasteDataList& pasteData) {
    std::vector<Value> records;
    records.reserve(pasteData.size());
    for (const auto& data : pasteData)
        records.push_back(data->encodeWithCoder());
    return TypedStream::encode(Value::arrayOf(std::move(records)));
}

std::optional<PasteDataList> unarchivePasteData(const QByteArray& bytes) {
    TypedStream::Archive archive;
    try {
        archive = TypedStream::decode(bytes);
    } catch (const ArchiveError& error) {
        // A newer record may hold groups this decoder cannot read; its class came first.
        requireKnownVersion(error.classVersions());
        throw;
    }
    if (archive.root.kind == Value::Kind::Nil)
        return std::nullopt;
    require(archive.root.kind == Value::Kind::Array, "the root object is not a list");
    PasteDataList pasteData;
    pasteData.reserve(archive.root.elements.size());
    for (const Value& record : archive.root.elements)
        pasteData.push_back(PasteData::initWithCoder(archive, record));
    return pasteData;
}
