// The control words the RTF reader knows, looked up in a table of their own, and what each does
// to the group's state, the destination it reads into, or the text.

#include "formats/richtext/RichTextRtfReader.h"

#include <algorithm>
#include <utility>

namespace richtext {

namespace {

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

} // namespace

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

} // namespace richtext
