// The flattened form of an RTFD folder: "rtfd", a version, then a tagged dictionary of file
// names and contents. Every length is checked against what is left, so a truncated or forged
// buffer fails instead of reading past its end.

#include "formats/richtext/RichTextDocument.h"

namespace richtext {

namespace {

constexpr quint32 TagFile = 1;
constexpr quint32 TagList = 2;
constexpr quint32 TagFolder = 3;
constexpr quint32 TagString = 4;
constexpr quint32 TagNothing = 0;
constexpr quint32 PaddedMarker = 0x80000000u;
// Folders inside folders are rare; ten levels are plenty and keep hostile input from recursing.
constexpr int MaxFolderDepth = 10;

class FlatReader {
public:
    explicit FlatReader(const QByteArray& bytes) : _data(bytes.constData()), _size(bytes.size()) {}

    qsizetype position() const { return _pos; }
    void skip(qsizetype n) { _pos += n; }

    bool u32(quint32& value) {
        if (_size - _pos < 4)
            return false;
        const auto* p = reinterpret_cast<const unsigned char*>(_data + _pos);
        value = quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
        _pos += 4;
        return true;
    }

    // Either a length and the bytes, or the page-aligned form: marker, length, padding size,
    // the padding, then the bytes.
    bool sizedBytes(const char*& bytes, qsizetype& length) {
        quint32 first = 0;
        if (!u32(first))
            return false;
        quint32 size = first;
        if (first == PaddedMarker) {
            quint32 padding = 0;
            if (!u32(size) || !u32(padding) || qsizetype(padding) > _size - _pos)
                return false;
            _pos += padding;
        }
        if (qsizetype(size) > _size - _pos)
            return false;
        bytes = _data + _pos;
        length = size;
        _pos += size;
        return true;
    }

    // Reads one tagged value; for a file, its contents; for a folder, the dictionary's entries.
    bool value(int depth, quint32& tag, QByteArray* contents, std::vector<FolderEntry>* entries) {
        if (depth > MaxFolderDepth || !u32(tag))
            return false;
        switch (tag) {
        case TagFile:
        case TagString: {
            const char* bytes = nullptr;
            qsizetype length = 0;
            if (!sizedBytes(bytes, length))
                return false;
            if (contents)
                *contents = QByteArray(bytes, length);
            return true;
        }
        case TagFolder:
            return dictionary(depth, entries);
        case TagList: {
            quint32 count = 0;
            if (!u32(count) || qsizetype(count) > (_size - _pos) / 8)
                return false;
            _pos += qsizetype(count) * 4;
            for (quint32 i = 0; i < count; ++i) {
                quint32 inner = 0;
                if (!value(depth + 1, inner, nullptr, nullptr))
                    return false;
            }
            return true;
        }
        case TagNothing:
            return true;
        default:
            return false;
        }
    }

    bool dictionary(int depth, std::vector<FolderEntry>* entries) {
        quint32 count = 0;
        // Each entry needs at least a key length, a size and a tag.
        if (!u32(count) || qsizetype(count) > (_size - _pos) / 12)
            return false;
        QStringList names;
        names.reserve(count);
        for (quint32 i = 0; i < count; ++i) {
            const char* bytes = nullptr;
            qsizetype length = 0;
            if (!sizedBytes(bytes, length))
                return false;
            names.append(QString::fromUtf8(bytes, length));
        }
        if (qsizetype(count) * 4 > _size - _pos)
            return false;
        _pos += qsizetype(count) * 4; // the sizes; each value is read by its tag instead
        for (quint32 i = 0; i < count; ++i) {
            const qsizetype start = _pos;
            quint32 tag = 0;
            QByteArray contents;
            if (!value(depth + 1, tag, entries ? &contents : nullptr, nullptr))
                return false;
            if (!entries)
                continue;
            if (tag == TagFile)
                entries->push_back({names.at(i), contents, false});
            else if (tag == TagFolder)
                entries->push_back({names.at(i), QByteArray(_data + start, _pos - start), true});
        }
        return true;
    }

private:
    const char* _data;
    qsizetype _size;
    qsizetype _pos = 0;
};

void appendU32(QByteArray& out, quint32 value) {
    const char bytes[4] = {char(value & 0xFF), char((value >> 8) & 0xFF),
                           char((value >> 16) & 0xFF), char((value >> 24) & 0xFF)};
    out.append(bytes, 4);
}

} // namespace

std::optional<std::vector<FolderEntry>> readFlatRtfd(const QByteArray& bytes) {
    FlatReader reader(bytes);
    if (bytes.size() >= 8 && bytes.startsWith(QByteArrayView("rtfd\0", 5)))
        reader.skip(8);
    quint32 tag = 0;
    std::vector<FolderEntry> entries;
    if (!reader.value(0, tag, nullptr, &entries) || tag != TagFolder)
        return std::nullopt;
    return entries;
}

QByteArray writeFlatRtfd(const std::vector<FolderEntry>& entries) {
    QByteArray out;
    qsizetype total = 16;
    for (const FolderEntry& entry : entries)
        total += 24 + entry.name.size() * 3 + entry.contents.size();
    out.reserve(total);
    out.append("rtfd", 4);
    appendU32(out, 0);
    appendU32(out, TagFolder);
    appendU32(out, quint32(entries.size()));
    for (const FolderEntry& entry : entries) {
        const QByteArray name = entry.name.toUtf8();
        appendU32(out, quint32(name.size()));
        out.append(name);
    }
    for (const FolderEntry& entry : entries)
        appendU32(out, quint32(entry.folder ? entry.contents.size() : entry.contents.size() + 8));
    for (const FolderEntry& entry : entries) {
        if (entry.folder) {
            out.append(entry.contents);
        } else {
            appendU32(out, TagFile);
            appendU32(out, quint32(entry.contents.size()));
            out.append(entry.contents);
        }
    }
    return out;
}

} // namespace richtext
