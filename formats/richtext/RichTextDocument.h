#pragma once

// What RichText holds, shared by its RTF reader and writer and its RTFD container code. Not for
// use outside formats/richtext/RichText*.

#include "formats/richtext/RichText.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace richtext {

using Underline = RichText::Underline;
using Strike = RichText::Strike;
using Script = RichText::Script;
using Alignment = RichText::Alignment;

// Twelve points, RTF's own default, in half-points.
constexpr int DefaultFontSize = 24;

struct CharFormat {
    int font = -1; // index into Document::fonts; -1 is the default font
    int size = DefaultFontSize;
    int foreground = -1; // index into Document::colors; -1 is automatic
    int background = -1;
    int link = -1; // index into Document::links
    bool bold = false;
    bool italic = false;
    Underline underline = Underline::None;
    Strike strike = Strike::None;
    Script script = Script::Normal;

    bool operator==(const CharFormat&) const = default;
};

enum class TabKind : uint8_t { Left, Center, Right, Decimal };

struct TabStop {
    int position = 0;
    TabKind kind = TabKind::Left;

    bool operator==(const TabStop&) const = default;
};

struct ParaFormat {
    Alignment alignment = Alignment::Left;
    bool rightToLeft = false;
    bool lineSpacingMultiple = false;
    int spaceBefore = 0;
    int spaceAfter = 0;
    int lineSpacing = 0;
    int leftIndent = 0;
    int rightIndent = 0;
    int firstLineIndent = 0;
    QList<TabStop> tabs; // shared on copy, so a reader's group stack copies it for nothing

    bool operator==(const ParaFormat&) const = default;
};

size_t qHash(const CharFormat& format, size_t seed = 0);
size_t qHash(const ParaFormat& format, size_t seed = 0);

enum class FontFamily : uint8_t { Nil, Roman, Swiss, Modern, Script, Decor, Tech, Bidi };

struct Font {
    QString name;
    FontFamily family = FontFamily::Nil;
    int charset = 0;
    int pitch = 0;
};

// A stretch of text ending (exclusively) at `end`, all in one format.
struct Span {
    int end;
    int format;
};

struct Attachment {
    int position; // of its U+FFFC in the text
    QString name;
    QByteArray contents;
    int width = 0; // displayed size in twips; 0 lets the reader use the picture's own
    int height = 0;
    bool folder = false; // contents are a serialized folder value, tag included
};

// A file of an RTFD folder that the text never refers to. It is kept all the same, since the
// folder is what the user copied.
struct LooseFile {
    QString name;
    QByteArray contents;
    bool folder = false;
};

struct Document {
    QString text;
    std::vector<Span> runs;       // character formats; the last ends at text.size()
    std::vector<Span> paragraphs; // paragraph formats; the last ends at text.size()
    std::vector<CharFormat> charFormats;
    std::vector<ParaFormat> paraFormats;
    std::vector<Font> fonts;
    std::vector<quint32> colors; // opaque 0xAARRGGBB
    std::vector<QString> links;
    std::vector<Attachment> attachments; // in text order
    std::vector<LooseFile> looseFiles;
};

// Hands out attachment names that are safe inside TXT.rtf and in the folder (printable ASCII
// without \ { } / ; ~, not TXT.rtf) and not yet taken in the document, ignoring case as some
// file systems do.
class AttachmentNamer {
public:
    explicit AttachmentNamer(const Document& document);
    QString take(const QString& wanted);

private:
    QSet<QString> _taken; // folded to lower case
    QHash<QString, int> _nextNumber;
};

// One entry of an RTFD folder, as read from its flattened form.
struct FolderEntry {
    QString name;
    QByteArray contents;
    bool folder = false;
};

std::optional<Document> readRtf(const QByteArray& rtf, const std::vector<FolderEntry>* folder);

enum class AttachmentForm { EmbeddedPicture, FolderReference };
QByteArray writeRtf(const Document& document, AttachmentForm form);

std::optional<std::vector<FolderEntry>> readFlatRtfd(const QByteArray& bytes);
QByteArray writeFlatRtfd(const std::vector<FolderEntry>& entries);

} // namespace richtext
