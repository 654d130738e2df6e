#include "platform/Pasteboard.h"

#include "formats/Picture.h"

#include <QBuffer>
#include <QImage>
#include <QMimeData>

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

void PasteboardOffer::add(const QString& name) {
    marked = marked || name == kSecretMark;
    if (names.size() < kMaxNames)
        names.append(name);
}

std::shared_ptr<PasteboardContent> HeldContent::of(const QMimeData& data) {
    Named named;
    for (const QString& format : data.formats())
        named.append({format, data.data(format)});
    return std::make_shared<HeldContent>(std::move(named));
}

std::optional<PasteboardOffer> HeldContent::offer(const Transfer&) {
    PasteboardOffer offer;
    for (const auto& [name, bytes] : _named)
        offer.add(name);
    return offer;
}

std::optional<QByteArray> HeldContent::read(const QString& name, qsizetype allowed,
                                            const Transfer&) {
    for (const auto& [offered, bytes] : _named)
        if (offered == name)
            return bytes && bytes->size() <= allowed ? bytes : std::nullopt;
    return std::nullopt;
}

PasteboardReader::PasteboardReader(std::shared_ptr<PasteboardContent> content, Transfer transfer)
    : _content(std::move(content)), _transfer(std::move(transfer)) {}

const PasteboardOffer& PasteboardReader::offer() {
    if (!_offer) {
        _offer = _content->offer(_transfer).value_or(PasteboardOffer());
        for (const QString& name : _offer->names) {
            const auto type = typeForName(name);
            if (type && !_names.contains(*type)) {
                _names.insert(*type, name);
                _types.append(*type);
            }
        }
    }
    return *_offer;
}

QList<PasteboardType> PasteboardReader::types() {
    offer();
    return _types;
}

bool PasteboardReader::isSecret() {
    if (!_secret) {
        // A mark that cannot be read might have said "secret": the content is not kept.
        const std::optional<QByteArray> mark =
            offer().marked ? _content->read(QString(PasteboardOffer::kSecretMark),
                                            Transfer::kMaxMarkBytes, _transfer)
                           : QByteArray();
        _secret = !mark || mark->trimmed() == "secret";
    }
    return *_secret;
}

std::optional<QByteArray> PasteboardReader::dataForType(PasteboardType type) {
    offer();
    if (!_names.contains(type))
        return std::nullopt;
    if (!_data.contains(type)) {
        const QString name = _names.value(type);
        std::optional<QByteArray> bytes = _content->read(name, Transfer::kMaxBytes, _transfer);
        // Converting a large picture takes a while of its own.
        _data.insert(type, givenUp() ? std::nullopt : asStored(std::move(bytes), type, name));
    }
    return _data.value(type);
}

std::optional<QString> PasteboardReader::stringForType(PasteboardType type) {
    offer();
    if (type != PasteboardType::String || !_names.contains(type))
        return std::nullopt;
    if (!_string) {
        const QString name = _names.value(type);
        const std::optional<QByteArray> bytes =
            _content->read(name, Transfer::kMaxTextBytes, _transfer);
        if (!bytes)
            _string = std::optional<QString>();
        else if (name == u"STRING")
            _string = QString::fromLatin1(*bytes);
        else
            _string = QString::fromUtf8(*bytes);
    }
    return *_string;
}

bool PasteboardReader::givenUp() const {
    return _transfer.stopped() || _content->replaced();
}

std::optional<qint64> Pasteboard::write(const QList<PasteboardEntry>& entries, bool alsoPrimary) {
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
    const std::optional<qint64> written = writeNames(named);
    if (written && alsoPrimary)
        writePrimaryNames(named);
    return written;
}
