// The RTF reader: one pass over the bytes with a stack of group states. Text bytes wait in a small
// buffer until something else comes, so that double-byte characters split over \'hh escapes and
// literal bytes decode as one, in the code page of the font they were written in.

#include "formats/richtext/RichTextCodePage.h"
#include "formats/richtext/RichTextDocument.h"

#include <QSet>
#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace richtext {

namespace {

// Real writers stay far below this; deeper input is taken as hostile rather than flattened.
constexpr int MaxDepth = 1000;
constexpr int MaxWordLength = 32;
constexpr char16_t AttachmentCharacter = 0xFFFC;
constexpr char16_t ZeroWidthSpace = 0x200B;
constexpr char16_t NotSign = 0x00AC;

enum class Kw : uint8_t {
    CodePage, // value: the document's code page; 0 takes the parameter (\ansicpg)
    DefaultFont,
    UnicodeSkip,
    Unicode,
    Binary,
    FontTable,
    ColorTable,
    Field,
    FieldInstruction,
    FieldResult,
    Picture,
    PictureGroup, // \shppict: a group that holds the picture Word wants read
    Attachment,
    SkipDestination,
    Plain,
    Font,
    FontSize,
    Flag,      // value: index into CharFlags
    Underline, // value: the kind (\ulnone: none)
    Strike,    // value: the kind
    Color,     // value: 0 foreground, 1 background
    Script,    // value: the position
    Raise,     // \up and \dn; value: the position for a positive parameter
    Hidden,
    Pard,
    Align,      // value: the alignment
    ParaNumber, // value: index into ParaNumbers
    LineSpacingMultiple,
    TabPosition,
    TabKindWord, // value: the kind
    Direction,   // value: 1 for right to left
    Par,
    Character, // value: the character
    Cell,
    Row,
    FontFamilyWord, // value: the family
    FontCharset,
    FontPitch,
    FontCodePage,
    ColorComponent, // value: the shift of the component in 0xRRGGBB
    Blip,           // value: PngBlip, JpegBlip, or 0 for kinds that are not kept
    PictureNumber,  // value: index into PictureNumbers
    AttachmentSize, // value: 0 width, 1 height
};

struct Keyword {
    std::string_view name;
    Kw kw;
    int value = 0;
};

constexpr int PngBlip = 1;
constexpr int JpegBlip = 2;

constexpr bool CharFormat::*CharFlags[] = {&CharFormat::bold, &CharFormat::italic};
constexpr int ParaFormat::*ParaNumbers[] = {&ParaFormat::spaceBefore, &ParaFormat::spaceAfter,
                                            &ParaFormat::lineSpacing, &ParaFormat::leftIndent,
                                            &ParaFormat::rightIndent, &ParaFormat::firstLineIndent};

// Destinations whose content is not part of the text. Groups marked with \* and a destination
// not in the keyword table are skipped as well.
constexpr std::string_view SkippedDestinations =
    "stylesheet info header headerl headerr headerf footer footerl footerr footerf footnote "
    "annotation atnid atnauthor atnref atndate atnicn atrfstart atrfend comment author operator "
    "title subject keywords doccomm company category manager hlinkbase xe tc txe rxe bkmkstart "
    "bkmkend listtable listoverridetable revtbl rsidtbl pgdsctbl generator ftnsep ftnsepc ftncn "
    "aftnsep aftnsepc aftncn objdata objclass objname objalias objsect objtime private docvar "
    "nonesttables nonshppict pn pntxta pntxtb upr datastore themedata colorschememapping "
    "latentstyles mmathPr fchars lchars template creatim revtim printim buptim xmlnstbl "
    "userprops filetbl falt panose fname shpinst blipuid do listpicture ftnalt mhtmltag htmltag "
    "fontemb fontfile expandedcolortbl";

const std::vector<Keyword>& keywordList() {
    static const std::vector<Keyword> list = [] {
        std::vector<Keyword> k = {
            {"ansi", Kw::CodePage, Cp1252},
            {"mac", Kw::CodePage, 10000},
            {"pc", Kw::CodePage, 437},
            {"pca", Kw::CodePage, 850},
            {"ansicpg", Kw::CodePage, 0},
            {"deff", Kw::DefaultFont},
            {"uc", Kw::UnicodeSkip},
            {"u", Kw::Unicode},
            {"bin", Kw::Binary},
            {"fonttbl", Kw::FontTable},
            {"colortbl", Kw::ColorTable},
            {"field", Kw::Field},
            {"fldinst", Kw::FieldInstruction},
            {"fldrslt", Kw::FieldResult},
            {"pict", Kw::Picture},
            {"shppict", Kw::PictureGroup},
            {"NeXTGraphic", Kw::Attachment},
            {"plain", Kw::Plain},
            {"f", Kw::Font},
            {"fs", Kw::FontSize},
            {"b", Kw::Flag, 0},
            {"i", Kw::Flag, 1},
            {"ul", Kw::Underline, int(Underline::Single)},
            {"uldb", Kw::Underline, int(Underline::Double)},
            {"ulth", Kw::Underline, int(Underline::Thick)},
            {"uld", Kw::Underline, int(Underline::Dotted)},
            {"ulthd", Kw::Underline, int(Underline::Dotted)},
            {"uldash", Kw::Underline, int(Underline::Dashed)},
            {"uldashd", Kw::Underline, int(Underline::Dashed)},
            {"uldashdd", Kw::Underline, int(Underline::Dashed)},
            {"ulldash", Kw::Underline, int(Underline::Dashed)},
            {"ulthdash", Kw::Underline, int(Underline::Dashed)},
            {"ulwave", Kw::Underline, int(Underline::Wave)},
            {"ulhwave", Kw::Underline, int(Underline::Wave)},
            {"ululdbwave", Kw::Underline, int(Underline::Wave)},
            {"ulw", Kw::Underline, int(Underline::Words)},
            {"ulnone", Kw::Underline, int(Underline::None)},
            {"strike", Kw::Strike, int(Strike::Single)},
            {"striked", Kw::Strike, int(Strike::Double)},
            {"cf", Kw::Color, 0},
            {"cb", Kw::Color, 1},
            {"chcbpat", Kw::Color, 1},
            {"highlight", Kw::Color, 1},
            {"super", Kw::Script, int(Script::Super)},
            {"sub", Kw::Script, int(Script::Sub)},
            {"nosupersub", Kw::Script, int(Script::Normal)},
            {"up", Kw::Raise, int(Script::Super)},
            {"dn", Kw::Raise, int(Script::Sub)},
            {"v", Kw::Hidden},
            {"pard", Kw::Pard},
            {"ql", Kw::Align, int(Alignment::Left)},
            {"qc", Kw::Align, int(Alignment::Center)},
            {"qr", Kw::Align, int(Alignment::Right)},
            {"qj", Kw::Align, int(Alignment::Justified)},
            {"qd", Kw::Align, int(Alignment::Justified)},
            {"sb", Kw::ParaNumber, 0},
            {"sa", Kw::ParaNumber, 1},
            {"sl", Kw::ParaNumber, 2},
            {"li", Kw::ParaNumber, 3},
            {"lin", Kw::ParaNumber, 3},
            {"ri", Kw::ParaNumber, 4},
            {"rin", Kw::ParaNumber, 4},
            {"fi", Kw::ParaNumber, 5},
            {"slmult", Kw::LineSpacingMultiple},
            {"tx", Kw::TabPosition},
            {"tqc", Kw::TabKindWord, int(TabKind::Center)},
            {"tqr", Kw::TabKindWord, int(TabKind::Right)},
            {"tqdec", Kw::TabKindWord, int(TabKind::Decimal)},
            {"rtlpar", Kw::Direction, 1},
            {"ltrpar", Kw::Direction, 0},
            {"par", Kw::Par},
            {"sect", Kw::Par},
            {"column", Kw::Par},
            {"line", Kw::Character, 0x2028},
            {"lbr", Kw::Character, 0x2028},
            {"page", Kw::Character, 0x000C},
            {"tab", Kw::Character, '\t'},
            {"emdash", Kw::Character, 0x2014},
            {"endash", Kw::Character, 0x2013},
            {"emspace", Kw::Character, 0x2003},
            {"enspace", Kw::Character, 0x2002},
            {"qmspace", Kw::Character, 0x2005},
            {"bullet", Kw::Character, 0x2022},
            {"lquote", Kw::Character, 0x2018},
            {"rquote", Kw::Character, 0x2019},
            {"ldblquote", Kw::Character, 0x201C},
            {"rdblquote", Kw::Character, 0x201D},
            {"zwj", Kw::Character, 0x200D},
            {"zwnj", Kw::Character, 0x200C},
            {"zwbo", Kw::Character, 0x200B},
            {"zwnbo", Kw::Character, 0xFEFF},
            {"ltrmark", Kw::Character, 0x200E},
            {"rtlmark", Kw::Character, 0x200F},
            {"cell", Kw::Cell},
            {"nestcell", Kw::Cell},
            {"row", Kw::Row},
            {"nestrow", Kw::Row},
            {"fnil", Kw::FontFamilyWord, int(FontFamily::Nil)},
            {"froman", Kw::FontFamilyWord, int(FontFamily::Roman)},
            {"fswiss", Kw::FontFamilyWord, int(FontFamily::Swiss)},
            {"fmodern", Kw::FontFamilyWord, int(FontFamily::Modern)},
            {"fscript", Kw::FontFamilyWord, int(FontFamily::Script)},
            {"fdecor", Kw::FontFamilyWord, int(FontFamily::Decor)},
            {"ftech", Kw::FontFamilyWord, int(FontFamily::Tech)},
            {"fbidi", Kw::FontFamilyWord, int(FontFamily::Bidi)},
            {"fcharset", Kw::FontCharset},
            {"fprq", Kw::FontPitch},
            {"cpg", Kw::FontCodePage},
            {"red", Kw::ColorComponent, 16},
            {"green", Kw::ColorComponent, 8},
            {"blue", Kw::ColorComponent, 0},
            {"pngblip", Kw::Blip, PngBlip},
            {"jpegblip", Kw::Blip, JpegBlip},
            {"emfblip", Kw::Blip},
            {"wmetafile", Kw::Blip},
            {"macpict", Kw::Blip},
            {"dibitmap", Kw::Blip},
            {"wbitmap", Kw::Blip},
            {"pmmetafile", Kw::Blip},
            {"picwgoal", Kw::PictureNumber, 0},
            {"pichgoal", Kw::PictureNumber, 1},
            {"picscalex", Kw::PictureNumber, 2},
            {"picscaley", Kw::PictureNumber, 3},
            {"width", Kw::AttachmentSize, 0},
            {"height", Kw::AttachmentSize, 1},
        };
        for (size_t at = 0; at < SkippedDestinations.size();) {
            const size_t space =
                std::min(SkippedDestinations.find(' ', at), SkippedDestinations.size());
            k.push_back({SkippedDestinations.substr(at, space - at), Kw::SkipDestination});
            at = space + 1;
        }
        return k;
    }();
    return list;
}

uint32_t wordHash(std::string_view word) {
    uint32_t h = 2166136261u;
    for (const char c : word)
        h = (h ^ uint8_t(c)) * 16777619u;
    return h;
}

// Control words are looked up once each, millions of times in a large document, so the table is
// an open-addressed one sized well beyond the keyword count: most lookups probe one slot.
class KeywordTable {
public:
    KeywordTable() {
        for (const Keyword& k : keywordList()) {
            uint32_t slot = wordHash(k.name) & Mask;
            while (_slots[slot])
                slot = (slot + 1) & Mask;
            _slots[slot] = &k;
        }
    }

    const Keyword* find(std::string_view word) const {
        for (uint32_t slot = wordHash(word) & Mask;; slot = (slot + 1) & Mask) {
            const Keyword* k = _slots[slot];
            if (!k || word == k->name)
                return k;
        }
    }

private:
    static constexpr uint32_t Size = 2048;
    static constexpr uint32_t Mask = Size - 1;
    const Keyword* _slots[Size] = {};
};

const Keyword* findKeyword(std::string_view word) {
    static const KeywordTable table;
    return table.find(word);
}

template <size_t N> std::array<int, N> filledWith(int value) {
    std::array<int, N> a;
    a.fill(value);
    return a;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A byte that can join the plain text as it stands.
bool isPlainAscii(char c) {
    return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}';
}

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

struct PictureData {
    int blip = 0;
    QByteArray data;
    int pendingNibble = -1;
    int goalWidth = 0; // twips
    int goalHeight = 0;
    int scaleX = 100; // per cent
    int scaleY = 100;
};

struct PictureNumber {
    int PictureData::*field;
    int least;
    int most;
};

constexpr PictureNumber PictureNumbers[] = {
    {&PictureData::goalWidth, 0, std::numeric_limits<int>::max()},
    {&PictureData::goalHeight, 0, std::numeric_limits<int>::max()},
    {&PictureData::scaleX, 1, 10000},
    {&PictureData::scaleY, 1, 10000}};

// The link target of a HYPERLINK field instruction: the first argument that is not a switch,
// or the \l bookmark as "#name".
QString hyperlinkTarget(const QString& instruction) {
    QStringList args;
    const qsizetype n = instruction.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && instruction.at(i).isSpace())
            ++i;
        if (i >= n)
            break;
        QString arg;
        if (instruction.at(i) == u'"') {
            ++i;
            while (i < n && instruction.at(i) != u'"')
                arg += instruction.at(i++);
            ++i;
        } else {
            while (i < n && !instruction.at(i).isSpace())
                arg += instruction.at(i++);
        }
        args.append(arg);
    }
    if (args.isEmpty() || args.first().compare(u"HYPERLINK", Qt::CaseInsensitive) != 0)
        return {};
    QString target;
    QString bookmark;
    for (qsizetype a = 1; a < args.size(); ++a) {
        const QString& arg = args.at(a);
        if (arg.startsWith(u'\\')) {
            if (arg.size() == 2 && arg.at(1) != u'l' && arg.at(1) != u'm' && arg.at(1) != u'n')
                ++a; // a switch with an argument (\o tooltip, \t target frame)
            else if (arg == u"\\l" && a + 1 < args.size())
                bookmark = args.at(++a);
            continue;
        }
        if (target.isEmpty())
            target = arg;
    }
    if (target.isEmpty() && !bookmark.isEmpty())
        return u'#' + bookmark;
    if (!bookmark.isEmpty())
        return target + u'#' + bookmark;
    return target;
}

class RtfReader {
public:
    RtfReader(const QByteArray& input, const std::vector<FolderEntry>* folder)
        : _in(input.constData()), _size(input.size()), _folder(folder), _namer(_doc) {}

    std::optional<Document> read();

private:
    State& state() { return _stack.back(); }
    int depth() const { return int(_stack.size()); }

    bool openGroup();
    bool closeGroup();
    bool control();
    bool word(std::string_view name, bool hasParam, int param);
    bool symbol(char c);
    void textByte(unsigned char b);
    void emitChar(char16_t ch);
    void flush();
    bool skipGroup();
    bool skipBinary(int length, QByteArray* into);

    void appendText(const QString& text);
    void appendLatin1(const char* bytes, qsizetype size);
    bool appendCharacter(char16_t ch);
    void endParagraph();
    void endRow();
    void noteTextAdded();
    int formatIndex();
    int paragraphIndex();
    int codePage();

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

std::optional<Document> RtfReader::read() {
    while (_pos < _size &&
           (_in[_pos] == ' ' || _in[_pos] == '\t' || _in[_pos] == '\r' || _in[_pos] == '\n'))
        ++_pos;
    if (_size - _pos < 5 || std::string_view(_in + _pos, 5) != "{\\rtf")
        return std::nullopt;
    _stack.reserve(64);
    // The text never has more characters than the RTF has bytes; reserving that much spares the
    // copies of growing a large text step by step.
    _doc.text.reserve(_size - _pos);
    while (_pos < _size) {
        const char c = _in[_pos];
        if (c == '{') {
            ++_pos;
            if (!openGroup())
                return std::nullopt;
        } else if (c == '}') {
            ++_pos;
            if (!closeGroup())
                break; // the document's own group has closed; whatever follows is not read
        } else if (c == '\\') {
            if (!control())
                return std::nullopt;
        } else if (c == '\r' || c == '\n') {
            ++_pos;
        } else if (_skip == 0 && state().dest == Dest::Text && _pending.empty() &&
                   isPlainAscii(c)) {
            const qsizetype start = _pos;
            while (_pos < _size && isPlainAscii(_in[_pos]))
                ++_pos;
            appendLatin1(_in + start, _pos - start);
        } else {
            textByte(static_cast<unsigned char>(c));
            ++_pos;
        }
    }
    flush();
    finish();
    return std::move(_doc);
}

bool RtfReader::openGroup() {
    flush();
    if (depth() >= MaxDepth)
        return false;
    if (_stack.empty())
        _stack.emplace_back();
    else
        _stack.push_back(_stack.back());
    _skip = 0;
    _ignorable = false;
    return true;
}

bool RtfReader::closeGroup() {
    flush();
    _skip = 0;
    _ignorable = false;
    if (_stack.empty())
        return false;
    const State closed = std::move(_stack.back());
    _stack.pop_back();
    if (depth() < _placeholderDepth)
        _placeholderDepth = -1;
    while (!_fields.empty() && _fields.back().depth > depth())
        _fields.pop_back();
    if (_stack.empty())
        return false;
    endDestination(closed);
    return true;
}

void RtfReader::endDestination(const State& closed) {
    const Dest parent = state().dest;
    switch (closed.dest) {
    case Dest::FontTable:
        commitFont();
        break;
    case Dest::ColorTable:
        if (parent != Dest::ColorTable && _colorSet)
            commitColor();
        break;
    case Dest::Picture:
        if (parent != Dest::Picture)
            finishPicture();
        break;
    case Dest::AttachmentName:
        if (parent != Dest::AttachmentName)
            finishAttachment();
        break;
    default:
        break;
    }
}

bool RtfReader::control() {
    ++_pos;
    if (_pos >= _size)
        return true;
    const char c = _in[_pos];
    if (!isLetter(c)) {
        ++_pos;
        if (c == '\'') {
            int value = 0;
            int digits = 0;
            while (digits < 2 && _pos < _size && hexValue(_in[_pos]) >= 0) {
                value = value * 16 + hexValue(_in[_pos++]);
                ++digits;
            }
            if (digits > 0)
                textByte(static_cast<unsigned char>(value));
            return true;
        }
        return symbol(c);
    }
    const qsizetype start = _pos;
    while (_pos < _size && isLetter(_in[_pos]))
        ++_pos;
    const std::string_view name(_in + start, size_t(_pos - start));
    bool negative = false;
    if (_pos + 1 < _size && _in[_pos] == '-' && isDigit(_in[_pos + 1])) {
        negative = true;
        ++_pos;
    }
    bool hasParam = false;
    long long param = 0;
    while (_pos < _size && isDigit(_in[_pos])) {
        hasParam = true;
        if (param < 100'000'000'000LL)
            param = param * 10 + (_in[_pos] - '0');
        ++_pos;
    }
    if (_pos < _size && _in[_pos] == ' ')
        ++_pos;
    if (negative)
        param = -param;
    param = std::clamp<long long>(param, std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max());
    if (name.size() > size_t(MaxWordLength))
        return true;
    return word(name, hasParam, int(param));
}

bool RtfReader::symbol(char c) {
    if (_skip > 0) {
        --_skip;
        return true;
    }
    flush();
    if (c == '*') {
        _ignorable = true;
        return true;
    }
    if (std::exchange(_ignorable, false))
        return skipGroup();
    switch (c) {
    case '\\':
    case '{':
    case '}':
        textByte(static_cast<unsigned char>(c));
        break;
    case '~':
        emitChar(0x00A0);
        break;
    case '-':
        emitChar(0x00AD);
        break;
    case '_':
        emitChar(0x2011);
        break;
    case '\n':
    case '\r':
        if (state().dest == Dest::Text)
            endParagraph();
        break;
    case '\t':
        emitChar('\t');
        break;
    default:
        break;
    }
    return true;
}

bool RtfReader::word(std::string_view name, bool hasParam, int param) {
    const Keyword* keyword = findKeyword(name);
    if (_skip > 0) {
        --_skip;
        if (keyword && keyword->kw == Kw::Binary)
            return skipBinary(param, nullptr);
        return true;
    }
    flush();
    const bool ignorable = std::exchange(_ignorable, false);
    State& st = state();
    if (st.dest == Dest::AttachmentName && !(keyword && keyword->kw == Kw::Attachment) &&
        !_attachmentName.isEmpty())
        _attachmentNameDone = true;
    if (!keyword)
        return ignorable ? skipGroup() : true;
    const Kw kw = keyword->kw;
    if (ignorable && kw != Kw::FieldInstruction && kw != Kw::PictureGroup && kw != Kw::FontTable &&
        kw != Kw::ColorTable && kw != Kw::Picture && kw != Kw::Attachment)
        return skipGroup();

    const bool on = !hasParam || param != 0;
    const int value = keyword->value;
    const bool inText = st.dest == Dest::Text;
    CharFormat& cf = st.format;
    ParaFormat& pf = st.paragraph;
    // Character words break out of the switch to mark the interned format stale; paragraph
    // words do the same for the paragraph format; all others return.
    auto paragraphChanged = [&st] {
        st.paragraphIndex = -1;
        return true;
    };
    switch (kw) {
    case Kw::CodePage:
        if (value > 0 || (hasParam && param > 0))
            _documentCodePage = value > 0 ? value : param;
        return true;
    case Kw::DefaultFont:
        if (hasParam)
            _defaultFont = param;
        return true;
    case Kw::UnicodeSkip:
        if (hasParam)
            st.unicodeSkip = std::clamp(param, 0, 255);
        return true;
    case Kw::Unicode:
        if (hasParam) {
            emitChar(char16_t(param & 0xFFFF));
            _skip = st.unicodeSkip;
        }
        return true;
    case Kw::Binary:
        return skipBinary(param, st.dest == Dest::Picture ? &_picture.data : nullptr);
    case Kw::FontTable:
        if (depth() > 1)
            st.dest = Dest::FontTable;
        return true;
    case Kw::ColorTable:
        if (depth() > 1) {
            st.dest = Dest::ColorTable;
            _color = 0;
            _colorSet = false;
        }
        return true;
    case Kw::Field:
        if (inText)
            _fields.push_back({depth(), {}});
        return true;
    case Kw::FieldInstruction:
        if (inText && !_fields.empty() && _fields.back().depth < depth())
            st.dest = Dest::FieldInstruction;
        else if (inText)
            return skipGroup();
        return true;
    case Kw::FieldResult:
        if (inText && !_fields.empty()) {
            const QString target = hyperlinkTarget(_fields.back().instruction);
            if (!target.isEmpty()) {
                auto it = _linkIndexes.constFind(target);
                if (it == _linkIndexes.constEnd()) {
                    it = _linkIndexes.insert(target, int(_doc.links.size()));
                    _doc.links.push_back(target);
                }
                cf.link = it.value();
                break;
            }
        }
        return true;
    case Kw::Picture:
        if (inText && depth() > 1) {
            st.dest = Dest::Picture;
            _picture = PictureData();
        }
        return true;
    case Kw::PictureGroup:
        return true;
    case Kw::Attachment:
        if (inText && depth() > 1) {
            st.dest = Dest::AttachmentName;
            _attachmentName.clear();
            _attachmentNameDone = false;
            _attachmentSize = {0, 0};
        }
        return true;
    case Kw::SkipDestination:
        return depth() > 1 ? skipGroup() : true;
    case Kw::Plain: {
        const int link = cf.link;
        cf = CharFormat();
        cf.link = link;
        st.hidden = false;
        break;
    }
    case Kw::Font:
        if (st.dest == Dest::FontTable) {
            commitFont();
            _fontEntry = RawFont();
            _fontEntry.font.charset = -1;
            _fontEntryOpen = true;
            _fontNumberOfEntry = hasParam ? param : 0;
            return true;
        }
        if (!hasParam)
            return true;
        cf.font = param;
        break;
    case Kw::FontSize:
        if (hasParam && param <= 0)
            return true;
        cf.size = hasParam ? std::min(param, 3276) : DefaultFontSize;
        break;
    case Kw::Flag:
        cf.*CharFlags[value] = on;
        break;
    case Kw::Underline:
        cf.underline = on ? Underline(value) : Underline::None;
        break;
    case Kw::Strike:
        cf.strike = on ? Strike(value) : Strike::None;
        break;
    case Kw::Color:
        (value == 0 ? cf.foreground : cf.background) = hasParam ? param : 0;
        break;
    case Kw::Script:
        cf.script = Script(value);
        break;
    case Kw::Raise:
        cf.script = (!hasParam || param > 0) ? Script(value) : Script::Normal;
        break;
    case Kw::Hidden:
        st.hidden = on;
        return true;
    case Kw::Pard:
        pf = ParaFormat();
        st.nextTab = TabKind::Left;
        return paragraphChanged();
    case Kw::Align:
        pf.alignment = Alignment(value);
        return paragraphChanged();
    case Kw::ParaNumber:
        pf.*ParaNumbers[value] = param;
        return paragraphChanged();
    case Kw::LineSpacingMultiple:
        pf.lineSpacingMultiple = on;
        return paragraphChanged();
    case Kw::TabPosition:
        // Hostile input could pile up tab stops; no paragraph needs more than a few dozen.
        if (pf.tabs.size() < 256)
            pf.tabs.append({param, st.nextTab});
        st.nextTab = TabKind::Left;
        return paragraphChanged();
    case Kw::TabKindWord:
        st.nextTab = TabKind(value);
        return true;
    case Kw::Direction:
        pf.rightToLeft = value == 1;
        return paragraphChanged();
    case Kw::Par:
        if (inText)
            endParagraph();
        return true;
    case Kw::Character:
        emitChar(char16_t(value));
        return true;
    case Kw::Cell:
        if (inText && appendCharacter('\t'))
            _lastCellEnd = _doc.text.size();
        return true;
    case Kw::Row:
        if (inText)
            endRow();
        return true;
    case Kw::FontFamilyWord:
        if (st.dest == Dest::FontTable)
            _fontEntry.font.family = FontFamily(value);
        return true;
    case Kw::FontCharset:
        if (st.dest == Dest::FontTable)
            _fontEntry.font.charset = param;
        return true;
    case Kw::FontPitch:
        if (st.dest == Dest::FontTable)
            _fontEntry.font.pitch = param;
        return true;
    case Kw::FontCodePage:
        if (st.dest == Dest::FontTable && param > 0)
            _fontEntry.codePage = param;
        return true;
    case Kw::ColorComponent:
        if (st.dest == Dest::ColorTable) {
            _color = (_color & ~(0xFFu << value)) | quint32(std::clamp(param, 0, 255)) << value;
            _colorSet = true;
        }
        return true;
    case Kw::Blip:
        if (st.dest == Dest::Picture)
            _picture.blip = value;
        return true;
    case Kw::PictureNumber:
        if (st.dest == Dest::Picture) {
            const PictureNumber& number = PictureNumbers[value];
            _picture.*number.field = std::clamp(param, number.least, number.most);
        }
        return true;
    case Kw::AttachmentSize:
        if (st.dest == Dest::AttachmentName)
            _attachmentSize[size_t(value)] = std::max(param, 0);
        return true;
    }
    st.formatIndex = -1;
    return true;
}

void RtfReader::endRow() {
    // The row's last cell ends the paragraph rather than leaving a tab behind.
    if (_lastCellEnd == _doc.text.size() && _lastCellEnd > 0) {
        _doc.text.chop(1);
        Span& last = _doc.runs.back();
        last.end -= 1;
        const int previousEnd = _doc.runs.size() > 1 ? _doc.runs.rbegin()[1].end : 0;
        if (last.end == previousEnd)
            _doc.runs.pop_back();
    }
    endParagraph();
}

// Skips the rest of the current group, \bin data included, without keeping any state for its
// inner groups, then closes it.
bool RtfReader::skipGroup() {
    if (depth() <= 1)
        return true;
    state().dest = Dest::Skip;
    int level = 1;
    while (_pos < _size) {
        const char c = _in[_pos++];
        if (c == '{') {
            ++level;
        } else if (c == '}') {
            if (--level == 0) {
                closeGroup();
                return true;
            }
        } else if (c == '\\' && _pos < _size) {
            if (!isLetter(_in[_pos])) {
                ++_pos;
                continue;
            }
            const qsizetype start = _pos;
            while (_pos < _size && isLetter(_in[_pos]))
                ++_pos;
            if (std::string_view(_in + start, size_t(_pos - start)) != "bin")
                continue;
            long long length = 0;
            while (_pos < _size && isDigit(_in[_pos])) {
                if (length < 100'000'000'000LL)
                    length = length * 10 + (_in[_pos] - '0');
                ++_pos;
            }
            if (_pos < _size && _in[_pos] == ' ')
                ++_pos;
            if (length > _size - _pos)
                return false;
            _pos += qsizetype(length);
        }
    }
    return true;
}

bool RtfReader::skipBinary(int length, QByteArray* into) {
    if (length < 0)
        length = 0;
    if (length > _size - _pos)
        return false;
    if (into)
        into->append(_in + _pos, length);
    _pos += length;
    return true;
}

void RtfReader::textByte(unsigned char b) {
    if (_skip > 0) {
        --_skip;
        return;
    }
    State& st = state();
    switch (st.dest) {
    case Dest::Picture: {
        const int nibble = hexValue(char(b));
        if (nibble < 0)
            return;
        if (_picture.pendingNibble < 0) {
            _picture.pendingNibble = nibble;
        } else {
            _picture.data.append(char(_picture.pendingNibble * 16 + nibble));
            _picture.pendingNibble = -1;
        }
        return;
    }
    case Dest::ColorTable:
        if (b == ';')
            commitColor();
        return;
    case Dest::FontTable:
        if (b == ';') {
            flush();
            commitFont();
            return;
        }
        break;
    case Dest::Skip:
        return;
    case Dest::Text:
        if (_placeholderDepth == depth() && b == 0xAC) {
            _placeholderDepth = -1;
            return;
        }
        _placeholderDepth = -1;
        if (b == '\t') {
            flush();
            appendCharacter('\t');
            return;
        }
        break;
    case Dest::FieldInstruction:
    case Dest::AttachmentName:
        break;
    }
    if (b < 0x20)
        return;
    if (_pending.empty())
        _pendingCodePage = codePage();
    _pending.push_back(char(b));
}

void RtfReader::emitChar(char16_t ch) {
    if (_skip > 0) {
        --_skip;
        return;
    }
    flush();
    switch (state().dest) {
    case Dest::Text:
        if (_placeholderDepth == depth() &&
            (ch == ZeroWidthSpace || ch == AttachmentCharacter || ch == NotSign)) {
            _placeholderDepth = -1;
            return;
        }
        _placeholderDepth = -1;
        appendCharacter(ch);
        break;
    case Dest::FontTable:
        _fontName += QChar(ch);
        break;
    case Dest::FieldInstruction:
        if (!_fields.empty())
            _fields.back().instruction += QChar(ch);
        break;
    case Dest::AttachmentName:
        if (!_attachmentNameDone)
            _attachmentName += QChar(ch);
        break;
    default:
        break;
    }
}

void RtfReader::flush() {
    if (_pending.empty())
        return;
    _decoded.resize(0);
    _decoder.decode(_pendingCodePage, _pending.data(), qsizetype(_pending.size()), _decoded);
    _pending.clear();
    switch (state().dest) {
    case Dest::Text:
        appendText(_decoded);
        break;
    case Dest::FontTable:
        _fontName += _decoded;
        break;
    case Dest::FieldInstruction:
        if (!_fields.empty())
            _fields.back().instruction += _decoded;
        break;
    case Dest::AttachmentName:
        if (!_attachmentNameDone)
            _attachmentName += _decoded;
        break;
    default:
        break;
    }
}

int RtfReader::codePage() {
    const State& st = state();
    if (st.dest == Dest::FontTable) {
        if (_fontEntry.codePage > 0)
            return _fontEntry.codePage;
        return codePageOfCharset(_fontEntry.font.charset).value_or(_documentCodePage);
    }
    const int number = st.format.font >= 0 ? st.format.font : _defaultFont;
    if (number == _cachedCodePageFont && _fontsVersion == _cachedCodePageVersion)
        return _cachedCodePage;
    int result = _documentCodePage;
    const auto it = _fonts.find(number);
    if (it != _fonts.end()) {
        if (it->second.codePage > 0)
            result = it->second.codePage;
        else
            result = codePageOfCharset(it->second.font.charset).value_or(_documentCodePage);
    }
    _cachedCodePageFont = number;
    _cachedCodePageVersion = _fontsVersion;
    _cachedCodePage = result;
    return result;
}

void RtfReader::noteTextAdded() {
    _openParagraph = paragraphIndex();
}

int RtfReader::formatIndex() {
    State& st = state();
    if (st.formatIndex >= 0)
        return st.formatIndex;
    // Documents switch between a handful of formats; a small cache in front of the table
    // answers most lookups with one comparison.
    const size_t hash = qHash(st.format);
    int& cached = _formatCache[hash % FormatCacheSize];
    if (cached >= 0 && _doc.charFormats[size_t(cached)] == st.format) {
        st.formatIndex = cached;
        return cached;
    }
    const auto it = _formatIndexes.constFind(st.format);
    if (it != _formatIndexes.constEnd()) {
        st.formatIndex = it.value();
    } else {
        st.formatIndex = int(_doc.charFormats.size());
        _doc.charFormats.push_back(st.format);
        _formatIndexes.insert(st.format, st.formatIndex);
    }
    cached = st.formatIndex;
    return st.formatIndex;
}

int RtfReader::paragraphIndex() {
    State& st = state();
    if (st.paragraphIndex < 0) {
        const auto it = _paragraphIndexes.constFind(st.paragraph);
        if (it != _paragraphIndexes.constEnd()) {
            st.paragraphIndex = it.value();
        } else {
            st.paragraphIndex = int(_doc.paraFormats.size());
            _doc.paraFormats.push_back(st.paragraph);
            _paragraphIndexes.insert(st.paragraph, st.paragraphIndex);
        }
    }
    return st.paragraphIndex;
}

void RtfReader::appendText(const QString& text) {
    if (state().hidden || text.isEmpty())
        return;
    const int format = formatIndex();
    _doc.text += text;
    if (_doc.runs.empty() || _doc.runs.back().format != format)
        _doc.runs.push_back({int(_doc.text.size()), format});
    else
        _doc.runs.back().end = int(_doc.text.size());
    noteTextAdded();
}

void RtfReader::appendLatin1(const char* bytes, qsizetype size) {
    _placeholderDepth = -1;
    if (state().hidden)
        return;
    const int format = formatIndex();
    _doc.text.append(QLatin1StringView(bytes, size));
    if (_doc.runs.empty() || _doc.runs.back().format != format)
        _doc.runs.push_back({int(_doc.text.size()), format});
    else
        _doc.runs.back().end = int(_doc.text.size());
    noteTextAdded();
}

bool RtfReader::appendCharacter(char16_t ch) {
    if (state().hidden && ch != '\n')
        return false;
    const int format = formatIndex();
    _doc.text += QChar(ch);
    if (_doc.runs.empty() || _doc.runs.back().format != format)
        _doc.runs.push_back({int(_doc.text.size()), format});
    else
        _doc.runs.back().end = int(_doc.text.size());
    noteTextAdded();
    return true;
}

void RtfReader::endParagraph() {
    appendCharacter('\n');
    _doc.paragraphs.push_back({int(_doc.text.size()), paragraphIndex()});
    _openParagraph = -1;
}

void RtfReader::commitFont() {
    if (!_fontEntryOpen)
        return;
    flush();
    _fontEntryOpen = false;
    // Control characters and semicolons cannot stand in a font table, so no writer can have
    // meant them.
    QString name;
    for (const QChar ch : std::as_const(_fontName)) {
        if (ch.unicode() >= 0x20 && ch.unicode() != 0x7F && ch != u';')
            name += ch;
    }
    name = name.trimmed();
    _fontName.clear();
    _fontEntry.font.name = name;
    if (_fontEntry.font.charset < 0)
        _fontEntry.font.charset = 0;
    // The first entry of a number counts, as later ones usually repeat it in another script.
    _fonts.try_emplace(_fontNumberOfEntry, _fontEntry);
    ++_fontsVersion;
}

void RtfReader::commitColor() {
    if (_colors.size() < 100'000) {
        if (_colorSet)
            _colors.push_back(0xFF000000u | _color);
        else
            _colors.push_back(std::nullopt);
    }
    _colorSet = false;
    _color = 0;
}

void RtfReader::finishPicture() {
    const PictureData picture = std::exchange(_picture, PictureData());
    if (picture.blip == 0 || picture.data.isEmpty())
        return;
    const bool png = picture.blip == PngBlip && picture.data.startsWith("\x89PNG");
    const bool jpeg = picture.blip == JpegBlip && picture.data.startsWith("\xFF\xD8");
    if (!png && !jpeg)
        return;
    const QString name =
        _namer.take(png ? QStringLiteral("image.png") : QStringLiteral("image.jpg"));
    addAttachment(name, picture.data, int(qint64(picture.goalWidth) * picture.scaleX / 100),
                  int(qint64(picture.goalHeight) * picture.scaleY / 100), false);
}

void RtfReader::finishAttachment() {
    flush();
    _placeholderDepth = depth();
    const QString wanted = _attachmentName.trimmed();
    if (!_folder || wanted.isEmpty())
        return;
    if (_folderIndexes.isEmpty()) {
        for (size_t i = 0; i < _folder->size(); ++i)
            _folderIndexes.insert((*_folder)[i].name, int(i));
    }
    const auto found = _folderIndexes.constFind(wanted);
    if (found == _folderIndexes.constEnd())
        return;
    const FolderEntry* entry = &(*_folder)[size_t(found.value())];
    QString name = _attachmentNames.value(entry->name);
    if (name.isEmpty()) {
        name = _namer.take(entry->name);
        _attachmentNames.insert(entry->name, name);
    }
    _referenced.insert(entry->name);
    addAttachment(name, entry->contents, _attachmentSize[0], _attachmentSize[1], entry->folder);
}

void RtfReader::addAttachment(const QString& name, const QByteArray& contents, int width,
                              int height, bool folder) {
    if (state().dest != Dest::Text || !appendCharacter(AttachmentCharacter))
        return;
    _doc.attachments.push_back({int(_doc.text.size() - 1), name, contents, width, height, folder});
}

void RtfReader::finish() {
    if (_openParagraph >= 0)
        _doc.paragraphs.push_back({int(_doc.text.size()), _openParagraph});

    // Only the fonts and colours that some text uses join the document's tables.
    std::unordered_map<int, int> fontIndexes;
    auto fontIndex = [&](int number) {
        auto it = _fonts.find(number);
        if (it == _fonts.end()) {
            number = _defaultFont;
            it = _fonts.find(number);
            if (it == _fonts.end())
                return -1;
        }
        const auto known = fontIndexes.find(number);
        if (known != fontIndexes.end())
            return known->second;
        const int index = int(_doc.fonts.size());
        _doc.fonts.push_back(it->second.font);
        fontIndexes.emplace(number, index);
        return index;
    };
    QHash<quint32, int> colorIndexes;
    auto colorIndex = [&](int number) {
        if (number <= 0 || size_t(number) >= _colors.size() || !_colors[size_t(number)])
            return -1;
        const quint32 rgb = *_colors[size_t(number)];
        const auto known = colorIndexes.constFind(rgb);
        if (known != colorIndexes.constEnd())
            return known.value();
        const int index = int(_doc.colors.size());
        _doc.colors.push_back(rgb);
        colorIndexes.insert(rgb, index);
        return index;
    };
    for (CharFormat& format : _doc.charFormats) {
        format.font = fontIndex(format.font >= 0 ? format.font : _defaultFont);
        format.foreground = colorIndex(format.foreground);
        format.background = colorIndex(format.background);
    }

    // Formats that differed only in the document's own numbering are now equal.
    std::vector<Span>& runs = _doc.runs;
    size_t kept = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (kept > 0 && _doc.charFormats[size_t(runs[kept - 1].format)] ==
                            _doc.charFormats[size_t(runs[i].format)])
            runs[kept - 1].end = runs[i].end;
        else
            runs[kept++] = runs[i];
    }
    runs.resize(kept);

    // A lone surrogate cannot be written back out; it becomes U+FFFD in place, so no offset moves.
    char16_t* text = reinterpret_cast<char16_t*>(_doc.text.data());
    const qsizetype length = _doc.text.size();
    for (qsizetype i = 0; i < length; ++i) {
        if ((text[i] & 0xF800) != 0xD800)
            continue;
        if (text[i] < 0xDC00 && i + 1 < length && (text[i + 1] & 0xFC00) == 0xDC00)
            ++i;
        else
            text[i] = 0xFFFD;
    }
    if (_doc.text.capacity() > length + length / 4 + 64)
        _doc.text.squeeze();

    if (_folder) {
        for (const FolderEntry& entry : *_folder) {
            if (_referenced.contains(entry.name) ||
                entry.name.compare(u"TXT.rtf", Qt::CaseInsensitive) == 0 || entry.name == u"." ||
                entry.name.startsWith(u"__@"))
                continue;
            _doc.looseFiles.push_back({_namer.take(entry.name), entry.contents, entry.folder});
        }
    }
}

} // namespace

std::optional<Document> readRtf(const QByteArray& rtf, const std::vector<FolderEntry>* folder) {
    // Offsets into the text are ints; no clipboard holds two gigabytes of RTF.
    if (rtf.size() >= std::numeric_limits<int>::max())
        return std::nullopt;
    RtfReader reader(rtf, folder);
    return reader.read();
}

} // namespace richtext
