#include "formats/richtext/RichText.h"

#include "formats/richtext/RichTextDocument.h"

#include <algorithm>
#include <utility>

namespace richtext {

// The reader hashes a format for nearly every run it meets, so the fields are packed into three
// words and mixed once each.
size_t qHash(const CharFormat& f, size_t seed) {
    const quint64 a = quint64(quint32(f.font)) | quint64(quint32(f.size)) << 32;
    const quint64 b = quint64(quint32(f.foreground)) | quint64(quint32(f.background)) << 32;
    const quint64 c = quint64(quint32(f.link)) | quint64(f.bold) << 32 | quint64(f.italic) << 33 |
                      quint64(f.underline) << 40 | quint64(f.strike) << 48 |
                      quint64(f.script) << 56;
    return qHashMulti(seed, a, b, c);
}

size_t qHash(const ParaFormat& f, size_t seed) {
    size_t h =
        qHashMulti(seed, int(f.alignment), f.rightToLeft, f.lineSpacingMultiple, f.spaceBefore,
                   f.spaceAfter, f.lineSpacing, f.leftIndent, f.rightIndent, f.firstLineIndent);
    for (const TabStop& tab : f.tabs)
        h = qHashMulti(h, tab.position, int(tab.kind));
    return h;
}

namespace {

QString safeAttachmentName(const QString& wanted) {
    QString name;
    name.reserve(wanted.size());
    for (const QChar ch : wanted) {
        const char16_t c = ch.unicode();
        // A tilde is an overline in some code pages a reader may read the name in.
        const bool unsafe = c < 0x20 || c >= 0x7F || c == '\\' || c == '{' || c == '}' ||
                            c == '/' || c == ';' || c == '~';
        name += unsafe ? QChar(u'_') : ch;
    }
    name = name.trimmed();
    if (name.isEmpty() || name == u"." || name == u"..")
        return QStringLiteral("Attachment");
    if (name.compare(u"TXT.rtf", Qt::CaseInsensitive) == 0 || name.startsWith(u"__@") ||
        name.startsWith(u'.'))
        return QStringLiteral("Attachment ") + name;
    return name;
}

} // namespace

AttachmentNamer::AttachmentNamer(const Document& document) {
    for (const Attachment& attachment : document.attachments)
        _taken.insert(attachment.name.toLower());
    for (const LooseFile& file : document.looseFiles)
        _taken.insert(file.name.toLower());
}

QString AttachmentNamer::take(const QString& wanted) {
    const QString safe = safeAttachmentName(wanted);
    QString name = safe;
    if (_taken.contains(name.toLower())) {
        // "Pasted Graphic.png" becomes "Pasted Graphic 2.png", then 3, ...; the counter per
        // wanted name keeps many equal names from searching from 2 every time.
        const qsizetype dot = safe.lastIndexOf(u'.');
        const QString stem = dot > 0 ? safe.left(dot) : safe;
        const QString extension = dot > 0 ? safe.mid(dot) : QString();
        int& number = _nextNumber[safe.toLower()];
        number = std::max(number, 2);
        do {
            name = stem + u' ' + QString::number(number++) + extension;
        } while (_taken.contains(name.toLower()));
    }
    _taken.insert(name.toLower());
    return name;
}

} // namespace richtext

using namespace richtext;

namespace {

const QString DefaultFamily = QStringLiteral("Helvetica");

// Maps every entry of `from` to its index in `to`, adding to `to` what it lacks. Small tables
// are searched directly; larger ones through a hash, so that joining stays linear however large
// they grow.
template <typename T, typename KeyOf>
std::vector<int> mergeTable(std::vector<T>& to, const std::vector<T>& from, KeyOf keyOf) {
    std::vector<int> map;
    map.reserve(from.size());
    if (from.size() * (to.size() + from.size()) <= 4096) {
        for (const T& item : from) {
            const auto key = keyOf(item);
            const auto same =
                std::find_if(to.begin(), to.end(), [&](const T& t) { return keyOf(t) == key; });
            map.push_back(int(same - to.begin()));
            if (same == to.end())
                to.push_back(item);
        }
        return map;
    }
    QHash<decltype(keyOf(from.front())), int> indexes;
    for (size_t i = 0; i < to.size(); ++i)
        indexes.insert(keyOf(to[i]), int(i));
    for (const T& item : from) {
        auto it = indexes.constFind(keyOf(item));
        if (it == indexes.constEnd()) {
            it = indexes.insert(keyOf(item), int(to.size()));
            to.push_back(item);
        }
        map.push_back(it.value());
    }
    return map;
}

// The span of a sorted list of spans that holds the position.
const Span* spanAt(const std::vector<Span>& spans, qsizetype position) {
    const auto it = std::upper_bound(spans.begin(), spans.end(), position,
                                     [](qsizetype p, const Span& span) { return p < span.end; });
    return it == spans.end() ? nullptr : &*it;
}

} // namespace

RichText::RichText() : _document(std::make_unique<Document>()) {}
RichText::RichText(const RichText& other)
    : _document(std::make_unique<Document>(*other._document)) {}
// A moved-from document is left empty rather than unusable.
RichText::RichText(RichText&& other) noexcept
    : _document(std::exchange(other._document, std::make_unique<Document>())) {}
RichText::RichText(std::unique_ptr<Document> document) : _document(std::move(document)) {}
RichText::~RichText() = default;

RichText& RichText::operator=(const RichText& other) {
    if (this != &other)
        _document = std::make_unique<Document>(*other._document);
    return *this;
}

RichText& RichText::operator=(RichText&& other) noexcept {
    if (this != &other)
        _document = std::exchange(other._document, std::make_unique<Document>());
    return *this;
}

QString RichText::defaultFamily() {
    return DefaultFamily;
}

RichText RichText::fromPlainText(const QString& text) {
    auto doc = std::make_unique<Document>();
    doc->charFormats.push_back(CharFormat());
    doc->paraFormats.push_back(ParaFormat());
    QString& out = doc->text;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = text.at(i);
        const bool breaks = ch == u'\n' || ch == u'\r' || ch == QChar(0x2029);
        if (!breaks) {
            out += ch;
            continue;
        }
        if (ch == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
            ++i;
        out += u'\n';
        doc->paragraphs.push_back({int(out.size()), 0});
    }
    if (!out.isEmpty()) {
        doc->runs.push_back({int(out.size()), 0});
        if (doc->paragraphs.empty() || doc->paragraphs.back().end != out.size())
            doc->paragraphs.push_back({int(out.size()), 0});
    }
    return RichText(std::move(doc));
}

std::optional<RichText> RichText::fromRTF(const QByteArray& rtf) {
    std::optional<Document> doc = readRtf(rtf, nullptr);
    if (!doc)
        return std::nullopt;
    return RichText(std::make_unique<Document>(std::move(*doc)));
}

std::optional<RichText> RichText::fromRTFD(const QByteArray& flatRtfd) {
    const std::optional<std::vector<FolderEntry>> folder = readFlatRtfd(flatRtfd);
    if (!folder)
        return std::nullopt;
    const auto text = std::find_if(folder->begin(), folder->end(), [](const FolderEntry& entry) {
        return !entry.folder && entry.name.compare(u"TXT.rtf", Qt::CaseInsensitive) == 0;
    });
    if (text == folder->end())
        return std::nullopt;
    std::optional<Document> doc = readRtf(text->contents, &*folder);
    if (!doc)
        return std::nullopt;
    return RichText(std::make_unique<Document>(std::move(*doc)));
}

void RichText::append(const RichText& other) {
    if (&other == this || other._document == _document) {
        const RichText copy(other);
        append(copy);
        return;
    }
    Document& to = *_document;
    const Document& from = *other._document;

    const std::vector<int> fontMap = mergeTable(
        to.fonts, from.fonts, [](const Font& font) { return std::pair(font.name, font.charset); });
    const std::vector<int> colorMap =
        mergeTable(to.colors, from.colors, [](quint32 color) { return color; });
    const std::vector<int> linkMap =
        mergeTable(to.links, from.links, [](const QString& link) { return link; });

    const int formatBase = int(to.charFormats.size());
    for (CharFormat format : from.charFormats) {
        if (format.font >= 0)
            format.font = fontMap[size_t(format.font)];
        if (format.foreground >= 0)
            format.foreground = colorMap[size_t(format.foreground)];
        if (format.background >= 0)
            format.background = colorMap[size_t(format.background)];
        if (format.link >= 0)
            format.link = linkMap[size_t(format.link)];
        to.charFormats.push_back(format);
    }
    const int paragraphBase = int(to.paraFormats.size());
    to.paraFormats.insert(to.paraFormats.end(), from.paraFormats.begin(), from.paraFormats.end());

    const int offset = int(to.text.size());
    const bool openParagraph = offset > 0 && to.text.back() != u'\n';
    to.text += from.text;
    for (const Span& run : from.runs) {
        const int format = run.format + formatBase;
        // Only where the parts meet can two neighbouring runs look alike.
        if (&run == from.runs.data() && !to.runs.empty() &&
            to.charFormats[size_t(to.runs.back().format)] == to.charFormats[size_t(format)])
            to.runs.back().end = run.end + offset;
        else
            to.runs.push_back({run.end + offset, format});
    }
    for (size_t i = 0; i < from.paragraphs.size(); ++i) {
        const Span& paragraph = from.paragraphs[i];
        // The first part's unfinished paragraph goes on with the second part's first one and
        // keeps its own paragraph format, as it started it.
        if (i == 0 && openParagraph)
            to.paragraphs.back().end = paragraph.end + offset;
        else
            to.paragraphs.push_back({paragraph.end + offset, paragraph.format + paragraphBase});
    }

    AttachmentNamer namer(to);
    QHash<QString, QString> renamed;
    auto newName = [&](const QString& name) {
        auto it = renamed.constFind(name);
        if (it == renamed.constEnd())
            it = renamed.insert(name, namer.take(name));
        return it.value();
    };
    for (richtext::Attachment attachment : from.attachments) {
        attachment.position += offset;
        attachment.name = newName(attachment.name);
        to.attachments.push_back(std::move(attachment));
    }
    for (LooseFile file : from.looseFiles) {
        file.name = newName(file.name);
        to.looseFiles.push_back(std::move(file));
    }
}

QByteArray RichText::RTF() const {
    return writeRtf(*_document, AttachmentForm::EmbeddedPicture);
}

QByteArray RichText::RTFD() const {
    std::vector<FolderEntry> entries;
    entries.push_back(
        {QStringLiteral("TXT.rtf"), writeRtf(*_document, AttachmentForm::FolderReference), false});
    QSet<QString> written;
    for (const richtext::Attachment& attachment : _document->attachments) {
        if (!written.contains(attachment.name)) {
            written.insert(attachment.name);
            entries.push_back({attachment.name, attachment.contents, attachment.folder});
        }
    }
    for (const LooseFile& file : _document->looseFiles)
        entries.push_back({file.name, file.contents, file.folder});
    return writeFlatRtfd(entries);
}

QString RichText::plainText() const {
    return _document->text;
}

RichText::CharStyle RichText::charStyleAt(qsizetype position) const {
    CharStyle style;
    style.family = DefaultFamily;
    const Document& doc = *_document;
    const Span* run = spanAt(doc.runs, position);
    if (!run || position < 0)
        return style;
    const CharFormat& f = doc.charFormats[size_t(run->format)];
    if (f.font >= 0)
        style.family = doc.fonts[size_t(f.font)].name;
    style.pointSize = f.size / 2.0;
    style.bold = f.bold;
    style.italic = f.italic;
    style.underline = f.underline;
    style.strike = f.strike;
    style.script = f.script;
    if (f.foreground >= 0)
        style.foreground = doc.colors[size_t(f.foreground)];
    if (f.background >= 0)
        style.background = doc.colors[size_t(f.background)];
    if (f.link >= 0)
        style.link = doc.links[size_t(f.link)];
    return style;
}

RichText::ParagraphStyle RichText::paragraphStyleAt(qsizetype position) const {
    ParagraphStyle style;
    const Span* paragraph = spanAt(_document->paragraphs, position);
    if (!paragraph || position < 0)
        return style;
    const ParaFormat& f = _document->paraFormats[size_t(paragraph->format)];
    style.alignment = f.alignment;
    style.rightToLeft = f.rightToLeft;
    style.spaceBefore = f.spaceBefore;
    style.spaceAfter = f.spaceAfter;
    style.lineSpacing = f.lineSpacing;
    style.lineSpacingMultiple = f.lineSpacingMultiple;
    style.leftIndent = f.leftIndent;
    style.rightIndent = f.rightIndent;
    style.firstLineIndent = f.firstLineIndent;
    return style;
}

QList<RichText::Attachment> RichText::attachments() const {
    QList<Attachment> list;
    for (const richtext::Attachment& a : _document->attachments)
        list.append({a.name, a.contents, a.position});
    for (const LooseFile& file : _document->looseFiles)
        list.append({file.name, file.contents, -1});
    return list;
}
