#include "platform/Pasteboard.h"

#include "platform/Picture.h"

#include <QBuffer>
#include <QImage>

namespace {

struct NamedType {
    const char* name;
    PasteboardType type;
};

// Every name a Linux program may offer for each type; writing uses them in this order too.
constexpr NamedType kNames[] = {
    {"text/plain;charset=utf-8", PasteboardType::String},
    {"UTF8_STRING", PasteboardType::String},
    {"text/plain", PasteboardType::String},
    {"STRING", PasteboardType::String},
    {"TEXT", PasteboardType::String},
    {"text/rtf", PasteboardType::RTF},
    {"application/rtf", PasteboardType::RTF},
    {"text/richtext", PasteboardType::RTF},
    {"com.apple.flat-rtfd", PasteboardType::RTFD},
    {"image/tiff", PasteboardType::TIFF},
    {"image/png", PasteboardType::TIFF},
    {"image/jpeg", PasteboardType::TIFF},
    {"image/bmp", PasteboardType::TIFF},
    {"image/gif", PasteboardType::TIFF},
    {"application/pdf", PasteboardType::PDF},
};

// The target by which password managers mark what they copy; "secret" asks that it be kept
// nowhere.
constexpr QLatin1StringView kSecretMark("x-kde-passwordManagerHint");

QStringList namesForWriting(PasteboardType type) {
    switch (type) {
    case PasteboardType::TIFF:
        return {QStringLiteral("image/tiff"), QStringLiteral("image/png")};
    case PasteboardType::RTF:
        return {QStringLiteral("text/rtf"), QStringLiteral("application/rtf")};
    default:
        break;
    }
    QStringList names;
    for (const NamedType& named : kNames)
        if (named.type == type)
            names.append(QString::fromLatin1(named.name));
    return names;
}

std::optional<PasteboardType> typeForName(const QString& name) {
    for (const NamedType& named : kNames)
        if (name == QLatin1StringView(named.name))
            return named.type;
    return std::nullopt;
}

QByteArray pngFromTiff(const QByteArray& tiff) {
    QImage image;
    if (!image.loadFromData(tiff, "TIFF"))
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// Bitmaps offered in another format than TIFF are kept as TIFF.
std::optional<QByteArray> asStored(std::optional<QByteArray> bytes, PasteboardType type,
                                   const QString& name) {
    if (bytes && type == PasteboardType::TIFF && name != u"image/tiff")
        bytes = Picture::tiffFromImageData(*bytes);
    return bytes;
}

} // namespace

QStringList Pasteboard::typeNames() {
    QStringList names;
    for (const NamedType& named : kNames)
        names.append(QString::fromLatin1(named.name));
    return names;
}

Pasteboard::Snapshot& Pasteboard::snapshot() {
    const qint64 count = changeCount();
    if (_snapshot.count != count) {
        _snapshot = Snapshot();
        _snapshot.count = count;
    }
    return _snapshot;
}

Pasteboard::Snapshot& Pasteboard::snapshotWithTypes() {
    Snapshot& current = snapshot();
    if (!current.typesRead) {
        current.typesRead = true;
        for (const QString& name : offeredNames()) {
            current.secretMarkOffered = current.secretMarkOffered || name == kSecretMark;
            const auto type = typeForName(name);
            if (type && !current.names.contains(*type)) {
                current.names.insert(*type, name);
                current.types.append(*type);
            }
        }
    }
    return current;
}

QList<PasteboardType> Pasteboard::types() {
    return snapshotWithTypes().types;
}

bool Pasteboard::isSecret() {
    // The mark is looked for among the types of the same content, however long they took.
    Snapshot& current = snapshotWithTypes();
    if (!current.secret) {
        const std::optional<QByteArray> mark =
            current.secretMarkOffered ? readName(kSecretMark) : std::nullopt;
        current.secret = mark && mark->trimmed() == "secret";
    }
    return *current.secret;
}

std::optional<QByteArray> Pasteboard::dataForType(PasteboardType type) {
    Snapshot& current = snapshotWithTypes();
    if (!current.names.contains(type))
        return std::nullopt;
    if (!current.data.contains(type)) {
        const QString name = current.names.value(type);
        current.data.insert(type, asStored(readName(name), type, name));
    }
    return current.data.value(type);
}

Pasteboard::DataJob Pasteboard::dataForTypeLater(PasteboardType type) {
    Snapshot& current = snapshotWithTypes();
    const bool picture = type == PasteboardType::TIFF || type == PasteboardType::PDF;
    if (!picture || !current.names.contains(type))
        return [](std::stop_token) { return std::optional<QByteArray>(); };
    if (current.data.contains(type)) {
        std::optional<QByteArray> known = current.data.value(type);
        return [known](std::stop_token) { return known; };
    }
    const QString name = current.names.value(type);
    return [read = readNameLater(name), type, name](std::stop_token stop) {
        std::optional<QByteArray> bytes = read(stop);
        // Converting a large picture takes a while of its own.
        if (stop.stop_requested())
            return std::optional<QByteArray>();
        return asStored(std::move(bytes), type, name);
    };
}

std::optional<QString> Pasteboard::stringForType(PasteboardType type) {
    Snapshot& current = snapshotWithTypes();
    if (type != PasteboardType::String || !current.names.contains(type))
        return std::nullopt;
    if (!current.string)
        current.string = readText(current.names.value(type));
    return *current.string;
}

std::optional<QString> Pasteboard::readText(const QString& name) {
    const std::optional<QByteArray> bytes = readName(name);
    if (!bytes)
        return std::nullopt;
    if (name == u"STRING")
        return QString::fromLatin1(*bytes);
    return QString::fromUtf8(*bytes);
}

Pasteboard::DataJob Pasteboard::readNameLater(const QString& name) {
    return [bytes = readName(name)](std::stop_token) { return bytes; };
}

void Pasteboard::write(const QList<PasteboardEntry>& entries, bool alsoPrimary) {
    QList<std::pair<QString, QByteArray>> named;
    for (const PasteboardEntry& entry : entries) {
        for (const QString& name : namesForWriting(entry.type)) {
            if (name == u"image/png")
                named.append({name, pngFromTiff(entry.data)});
            else if (name == u"STRING")
                named.append({name, QString::fromUtf8(entry.data).toLatin1()});
            else
                named.append({name, entry.data});
        }
    }
    writeNames(named);
    if (alsoPrimary)
        writePrimaryNames(named);
}
