#pragma once

// The RTF reader's class and the state it keeps per group, shared by the files it is written in:
// RichTextRtfReader.cpp reads the bytes, RichTextRtfControlWords.cpp knows the control words and
// RichTextRtfDestinations.cpp builds the document. Not for use outside them.

#include "formats/richtext/RichTextCodePage.h"
#include "formats/richtext/RichTextDocument.h"

#include <QHash>
#include <QSet>
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace richtext {

constexpr char16_t AttachmentCharacter = 0xFFFC;

enum class Dest : uint8_t {
    Text,
    Skip,
    FontTable,
    ColorTable,
    FieldInstruction,
    AttachmentName,
    Picture,
};

struct State {
    CharFormat format; // font and colours as numbers of the document's own tables
    ParaFormat paragraph;
    int formatIndex = -1; // interned forms, -1 until needed
    int paragraphIndex = -1;
    Dest dest = Dest::Text;
    int unicodeSkip = 1;
    bool hidden = false;
    TabKind nextTab = TabKind::Left;
};

struct RawFont {
    Font font;
    int codePage = 0; // \cpg, 0 when absent
};

struct FieldContext {
    int depth;
    QString instruction;
};

constexpr int PngBlip = 1;
constexpr int JpegBlip = 2;

struct PictureData {
    int blip = 0;
    QByteArray data;
    int pendingNibble = -1;
    int goalWidth = 0; // twips
    int goalHeight = 0;
    int scaleX = 100; // per cent
    int scaleY = 100;
};

template <size_t N> std::array<int, N> filledWith(int value) {
    std::array<int, N> a;
    a.fill(value);
    return a;
}

class RtfReader {
public:
    RtfReader(const QByteArray& input, const std::vector<FolderEntry>* folder)
        : _in(input.constData()), _size(input.size()), _folder(folder), _namer(_doc) {}

    std::optional<Document> read();

private:
    State& state() { return _stack.back(); }
    int depth() const { return int(_stack.size()); }

    // Reading the bytes (RichTextRtfReader.cpp): groups, control symbols, text bytes decoded in
    // the code page of their font, and what is skipped unread.
    bool openGroup();
    bool closeGroup();
    bool control();
    bool symbol(char c);
    void textByte(unsigned char b);
    void emitChar(char16_t ch);
    void flush();
    int codePage();
    bool skipGroup();
    bool skipBinary(int length, QByteArray* into);

    // What each control word does (RichTextRtfControlWords.cpp).
    bool word(std::string_view name, bool hasParam, int param);

    // What the reader builds (RichTextRtfDestinations.cpp): the text with its runs and
    // paragraphs, the font and colour tables, pictures and attachments, and at the end the
    // document itself.
    void appendText(const QString& text);
    void appendLatin1(const char* bytes, qsizetype size);
    bool appendCharacter(char16_t ch);
    void endParagraph();
    void endRow();
    void noteTextAdded();
    int formatIndex();
    int paragraphIndex();
    void commitFont();
    void commitColor();
    void endDestination(const State& closed);
    void finishPicture();
    void finishAttachment();
    void addAttachment(const QString& name, const QByteArray& contents, int width, int height,
                       bool folder);
    void finish();

    const char* _in;
    qsizetype _size;
    qsizetype _pos = 0;
    const std::vector<FolderEntry>* _folder;

    Document _doc;
    AttachmentNamer _namer;
    std::vector<State> _stack;
    QHash<CharFormat, int> _formatIndexes;
    static constexpr size_t FormatCacheSize = 64;
    std::array<int, FormatCacheSize> _formatCache = filledWith<FormatCacheSize>(-1);
    QHash<ParaFormat, int> _paragraphIndexes;

    int _documentCodePage = Cp1252;
    int _defaultFont = -1;
    std::unordered_map<int, RawFont> _fonts;
    int _fontsVersion = 0;
    int _cachedCodePageFont = std::numeric_limits<int>::min();
    int _cachedCodePageVersion = -1;
    int _cachedCodePage = Cp1252;
    std::vector<std::optional<quint32>> _colors;

    std::string _pending;
    int _pendingCodePage = Cp1252;
    QString _decoded;
    CodePageDecoder _decoder;

    int _skip = 0; // fallback units still to skip after \uN
    bool _ignorable = false;
    int _placeholderDepth = -1;
    qsizetype _lastCellEnd = -1;
    int _openParagraph = -1;

    QHash<QString, int> _linkIndexes;
    RawFont _fontEntry;
    int _fontNumberOfEntry = 0;
    bool _fontEntryOpen = false;
    QString _fontName;
    quint32 _color = 0;
    bool _colorSet = false;

    std::vector<FieldContext> _fields;
    PictureData _picture;
    QString _attachmentName;
    bool _attachmentNameDone = false;
    std::array<int, 2> _attachmentSize = {0, 0}; // width and height in twips
    QHash<QString, int> _folderIndexes;
    QHash<QString, QString> _attachmentNames; // folder name -> document name
    QSet<QString> _referenced;
};

} // namespace richtext
