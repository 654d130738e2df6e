// The RTF writer. Every run is its own group on top of plain defaults, so no reader has to
// undo the previous run's attributes, and every paragraph starts with \pard and its own props.
// Text leaves as ASCII: everything else as \uN with a code page 1252 or "?" fallback.

#include "formats/richtext/RichTextCodePage.h"
#include "formats/richtext/RichTextDocument.h"

#include <QSize>
#include <bitset>
#include <charconv>
#include <cstring>
#include <string>

namespace richtext {

namespace {

constexpr char16_t AttachmentCharacter = 0xFFFC;
constexpr int TwipsPerPixel = 15; // at 96 dots per inch

void appendNumber(std::string& out, long long value) {
    const size_t at = out.size();
    out.resize(at + 20);
    const auto result = std::to_chars(out.data() + at, out.data() + out.size(), value);
    out.resize(size_t(result.ptr - out.data()));
}

void appendWord(std::string& out, const char* word, long long value) {
    out.append(word);
    appendNumber(out, value);
}

void appendUnicode(std::string& out, char16_t ch, bool ansiFallback) {
    appendWord(out, "\\u", static_cast<int16_t>(ch));
    const std::optional<char> fallback = ansiFallback ? cp1252Byte(ch) : std::nullopt;
    if (fallback && static_cast<unsigned char>(*fallback) >= 0x80) {
        static const char hex[] = "0123456789abcdef";
        const auto b = static_cast<unsigned char>(*fallback);
        out.append("\\'");
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 15]);
    } else {
        // "?" written as an escape: some readers skip one character too many after \uN?.
        out.append("\\'3f");
    }
}

// How text in one font has to be written. Readers decode literal bytes in the code page of the
// font's charset, and a few code pages give some ASCII bytes other meanings (0x5C is the won sign
// in Johab, the yen sign in Mac Shift-JIS): such characters go as \uN instead.
struct FontForm {
    bool ansi = true; // fallbacks may be code page 1252 bytes
    std::bitset<128> literal;
};

FontForm fontForm(const Font* font, CodePageDecoder& decoder) {
    FontForm form;
    form.literal.set();
    if (!font)
        return form;
    form.ansi = font->charset == 0 || font->charset == 1;
    const std::optional<int> codePage = codePageOfCharset(font->charset);
    if (!codePage)
        return form;
    QString decoded;
    for (char c = 0x20; c < 0x7F; ++c) {
        decoded.resize(0);
        decoder.decode(*codePage, &c, 1, decoded);
        form.literal[size_t(c)] = decoded.size() == 1 && decoded.at(0) == QLatin1Char(c);
    }
    return form;
}

// Text that is not document text (font names, link targets): ASCII as it stands, the rest as \uN.
void appendEscapedName(std::string& out, QStringView text, const char* dropped,
                       const FontForm& form = FontForm{true, std::bitset<128>().set()}) {
    for (const QChar qc : text) {
        const char16_t ch = qc.unicode();
        if (ch < 0x80 && std::strchr(dropped, char(ch)))
            continue;
        if (ch >= 0x20 && ch < 0x7F && !form.literal[ch]) {
            appendUnicode(out, ch, false);
        } else if (ch == '\\' || ch == '{' || ch == '}') {
            out.push_back('\\');
            out.push_back(char(ch));
        } else if (ch >= 0x20 && ch < 0x7F) {
            out.push_back(char(ch));
        } else if (ch >= 0x80) {
            appendUnicode(out, ch, false);
        }
    }
}

const char* familyWord(FontFamily family) {
    switch (family) {
    case FontFamily::Roman:
        return "\\froman";
    case FontFamily::Swiss:
        return "\\fswiss";
    case FontFamily::Modern:
        return "\\fmodern";
    case FontFamily::Script:
        return "\\fscript";
    case FontFamily::Decor:
        return "\\fdecor";
    case FontFamily::Tech:
        return "\\ftech";
    case FontFamily::Bidi:
        return "\\fbidi";
    case FontFamily::Nil:
        break;
    }
    return "\\fnil";
}

const char* underlineWord(Underline underline) {
    switch (underline) {
    case Underline::Single:
        return "\\ul";
    case Underline::Double:
        return "\\uldb";
    case Underline::Thick:
        return "\\ulth";
    case Underline::Dotted:
        return "\\uld";
    case Underline::Dashed:
        return "\\uldash";
    case Underline::Wave:
        return "\\ulwave";
    case Underline::Words:
        return "\\ulw";
    case Underline::None:
        break;
    }
    return "";
}

bool isPng(const QByteArray& data) {
    return data.startsWith("\x89PNG");
}

bool isJpeg(const QByteArray& data) {
    return data.startsWith("\xFF\xD8");
}

int bigEndian16(const QByteArray& data, qsizetype at) {
    return int(static_cast<unsigned char>(data[at])) << 8 |
           static_cast<unsigned char>(data[at + 1]);
}

// The pixel size from the PNG header or the JPEG frame header; reading just that keeps the
// writer free of image decoders. Both headers allow at most 65535 pixels a side here, so sizes
// in twips stay far from overflowing.
QSize pixelSize(const QByteArray& data) {
    if (isPng(data)) {
        if (data.size() < 24 || data.mid(12, 4) != "IHDR" || bigEndian16(data, 16) != 0 ||
            bigEndian16(data, 20) != 0)
            return {};
        return QSize(bigEndian16(data, 18), bigEndian16(data, 22));
    }
    qsizetype at = 2;
    while (at + 4 <= data.size()) {
        if (static_cast<unsigned char>(data[at]) != 0xFF)
            return {};
        const int marker = static_cast<unsigned char>(data[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && at + 9 <= data.size())
            return QSize(bigEndian16(data, at + 7), bigEndian16(data, at + 5));
        at += 2 + bigEndian16(data, at + 2);
    }
    return {};
}

class RtfWriter {
public:
    RtfWriter(const Document& document, AttachmentForm form) : _doc(document), _form(form) {}

    QByteArray write();

private:
    void header();
    void paragraphProps(const ParaFormat& format);
    void charProps(const CharFormat& format);
    void text(qsizetype from, qsizetype to, const FontForm& form);
    void attachment(const Attachment& attachment);
    void openLink(int link);

    const Document& _doc;
    AttachmentForm _form;
    std::string _out;
    size_t _nextAttachment = 0;
    std::vector<FontForm> _fontForms; // by font index plus one; the default font first
};

QByteArray RtfWriter::write() {
    _out.reserve(size_t(_doc.text.size()) * 2 + size_t(_doc.runs.size()) * 16 + 1024);
    header();
    const QString& text = _doc.text;
    size_t run = 0;
    qsizetype pos = 0;
    for (const Span& paragraph : _doc.paragraphs) {
        paragraphProps(_doc.paraFormats[size_t(paragraph.format)]);
        int link = -1;
        while (pos < paragraph.end) {
            while (_doc.runs[run].end <= pos)
                ++run;
            const CharFormat& format = _doc.charFormats[size_t(_doc.runs[run].format)];
            qsizetype end = std::min<qsizetype>(_doc.runs[run].end, paragraph.end);
            // A paragraph mark inside a link would split the field between paragraphs.
            const bool markAfterLink = format.link >= 0 && text.at(end - 1) == u'\n';
            if (markAfterLink)
                --end;
            if (format.link != link && end > pos) {
                if (link >= 0)
                    _out.append("}}");
                link = format.link;
                if (link >= 0)
                    openLink(link);
            }
            if (end > pos) {
                _out.push_back('{');
                const size_t propsStart = _out.size();
                charProps(format);
                if (_out.size() > propsStart)
                    _out.push_back(' ');
                this->text(pos, end, _fontForms[size_t(format.font + 1)]);
                _out.push_back('}');
                pos = end;
            }
            if (markAfterLink) {
                if (link >= 0)
                    _out.append("}}");
                link = -1;
                CharFormat mark = format;
                mark.link = -1;
                _out.push_back('{');
                charProps(mark);
                _out.append("\\par}\n");
                ++pos;
            }
        }
        if (link >= 0)
            _out.append("}}");
        _out.push_back('\n');
    }
    _out.push_back('}');
    return QByteArray(_out.data(), qsizetype(_out.size()));
}

void RtfWriter::header() {
    _out.append("{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 ");
    appendEscapedName(_out, RichText::defaultFamily(), ";");
    _out.append(";}");
    CodePageDecoder decoder;
    _fontForms.push_back(fontForm(nullptr, decoder));
    for (size_t i = 0; i < _doc.fonts.size(); ++i) {
        const Font& font = _doc.fonts[i];
        _fontForms.push_back(fontForm(&font, decoder));
        appendWord(_out, "{\\f", qsizetype(i) + 1);
        _out.append(familyWord(font.family));
        appendWord(_out, "\\fcharset", font.charset);
        if (font.pitch > 0)
            appendWord(_out, "\\fprq", font.pitch);
        _out.push_back(' ');
        appendEscapedName(_out, font.name, ";", _fontForms.back());
        _out.append(";}");
    }
    _out.append("}\n{\\colortbl;");
    for (const quint32 color : _doc.colors) {
        appendWord(_out, "\\red", (color >> 16) & 0xFF);
        appendWord(_out, "\\green", (color >> 8) & 0xFF);
        appendWord(_out, "\\blue", color & 0xFF);
        _out.push_back(';');
    }
    _out.append("}\n");
}

void RtfWriter::paragraphProps(const ParaFormat& format) {
    _out.append("\\pard");
    for (const TabStop& tab : format.tabs) {
        switch (tab.kind) {
        case TabKind::Center:
            _out.append("\\tqc");
            break;
        case TabKind::Right:
            _out.append("\\tqr");
            break;
        case TabKind::Decimal:
            _out.append("\\tqdec");
            break;
        case TabKind::Left:
            break;
        }
        appendWord(_out, "\\tx", tab.position);
    }
    switch (format.alignment) {
    case Alignment::Center:
        _out.append("\\qc");
        break;
    case Alignment::Right:
        _out.append("\\qr");
        break;
    case Alignment::Justified:
        _out.append("\\qj");
        break;
    case Alignment::Left:
        _out.append("\\ql");
        break;
    }
    if (format.rightToLeft)
        _out.append("\\rtlpar");
    if (format.spaceBefore)
        appendWord(_out, "\\sb", format.spaceBefore);
    if (format.spaceAfter)
        appendWord(_out, "\\sa", format.spaceAfter);
    if (format.lineSpacing) {
        appendWord(_out, "\\sl", format.lineSpacing);
        appendWord(_out, "\\slmult", format.lineSpacingMultiple ? 1 : 0);
    }
    if (format.leftIndent)
        appendWord(_out, "\\li", format.leftIndent);
    if (format.rightIndent)
        appendWord(_out, "\\ri", format.rightIndent);
    if (format.firstLineIndent)
        appendWord(_out, "\\fi", format.firstLineIndent);
    _out.push_back('\n');
}

// A run's group starts from the document's defaults (\f0 by \deff0, twelve points), so only
// what differs from them is written.
void RtfWriter::charProps(const CharFormat& format) {
    if (format.font >= 0)
        appendWord(_out, "\\f", format.font + 1);
    if (format.size != DefaultFontSize)
        appendWord(_out, "\\fs", format.size);
    if (format.bold)
        _out.append("\\b");
    if (format.italic)
        _out.append("\\i");
    _out.append(underlineWord(format.underline));
    if (format.strike == Strike::Single)
        _out.append("\\strike");
    else if (format.strike == Strike::Double)
        _out.append("\\striked1");
    if (format.script == Script::Super)
        _out.append("\\super");
    else if (format.script == Script::Sub)
        _out.append("\\sub");
    if (format.foreground >= 0)
        appendWord(_out, "\\cf", format.foreground + 1);
    if (format.background >= 0) {
        // \cb is the documented word; Word and LibreOffice read and write \chcbpat instead.
        appendWord(_out, "\\cb", format.background + 1);
        appendWord(_out, "\\chcbpat", format.background + 1);
    }
}

void RtfWriter::openLink(int link) {
    _out.append("{\\field{\\*\\fldinst{HYPERLINK \"");
    QString target = _doc.links[size_t(link)];
    target.replace(u'"', QStringLiteral("%22"));
    appendEscapedName(_out, target, "");
    _out.append("\"}}{\\fldrslt ");
}

void RtfWriter::text(qsizetype from, qsizetype to, const FontForm& form) {
    const char16_t* chars = reinterpret_cast<const char16_t*>(_doc.text.constData());
    for (qsizetype i = from; i < to; ++i) {
        const char16_t ch = chars[i];
        if (ch >= 0x20 && ch < 0x7F && form.literal[ch]) {
            if (ch == '\\' || ch == '{' || ch == '}')
                _out.push_back('\\');
            _out.push_back(char(ch));
            continue;
        }
        switch (ch) {
        case '\t':
            _out.append("\\tab ");
            break;
        case '\n':
            _out.append("\\par\n");
            break;
        case 0x000C:
            _out.append("\\page ");
            break;
        case 0x2028:
            _out.append("\\line ");
            break;
        case 0x00A0:
            _out.append("\\~");
            break;
        case 0x00AD:
            _out.append("\\-");
            break;
        case 0x2011:
            _out.append("\\_");
            break;
        case AttachmentCharacter:
            while (_nextAttachment < _doc.attachments.size() &&
                   _doc.attachments[_nextAttachment].position < i)
                ++_nextAttachment;
            if (_nextAttachment < _doc.attachments.size() &&
                _doc.attachments[_nextAttachment].position == i)
                attachment(_doc.attachments[_nextAttachment++]);
            else
                appendUnicode(_out, ch, false);
            break;
        default:
            appendUnicode(_out, ch, form.ansi);
            break;
        }
    }
}

void RtfWriter::attachment(const Attachment& attachment) {
    if (_form == AttachmentForm::FolderReference) {
        _out.append("{{\\NeXTGraphic ");
        _out.append(attachment.name.toLatin1().toStdString());
        appendWord(_out, " \\width", attachment.width);
        appendWord(_out, " \\height", attachment.height);
        _out.append(" \\appleattachmentpadding0 \\appleembedtype0 \\appleaqc\n}\xAC}");
        return;
    }
    const QByteArray& data = attachment.contents;
    if (attachment.folder || (!isPng(data) && !isJpeg(data)))
        return;
    const QSize pixels = pixelSize(data);
    const qint64 width =
        attachment.width > 0 ? attachment.width : qint64(pixels.width()) * TwipsPerPixel;
    const qint64 height =
        attachment.height > 0 ? attachment.height : qint64(pixels.height()) * TwipsPerPixel;
    _out.append(isPng(data) ? "{\\pict\\pngblip" : "{\\pict\\jpegblip");
    if (!pixels.isEmpty()) {
        appendWord(_out, "\\picw", pixels.width());
        appendWord(_out, "\\pich", pixels.height());
    }
    if (width > 0 && height > 0) {
        appendWord(_out, "\\picwgoal", width);
        appendWord(_out, "\\pichgoal", height);
    }
    _out.push_back('\n');
    static const char hex[] = "0123456789abcdef";
    const size_t start = _out.size();
    _out.resize(start + size_t(data.size()) * 2 + size_t(data.size()) / 64 + 1);
    char* to = _out.data() + start;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        *to++ = hex[b >> 4];
        *to++ = hex[b & 15];
        if (i % 64 == 63)
            *to++ = '\n';
    }
    _out.resize(size_t(to - _out.data()));
    _out.push_back('}');
}

} // namespace

QByteArray writeRtf(const Document& document, AttachmentForm form) {
    return RtfWriter(document, form).write();
}

} // namespace richtext
