// The RTF reader: one pass over the bytes with a stack of group states. Text bytes wait in a small
// buffer until something else comes, so that double-byte characters split over \'hh escapes and
// literal bytes decode as one, in the code page of the font they were written in. This file holds
// the pass itself: groups, control symbols, text bytes and their decoding, and skipping.

#include "formats/richtext/RichTextRtfReader.h"

#include <algorithm>
#include <utility>

namespace richtext {

namespace {

// Real writers stay far below this; deeper input is taken as hostile rather than flattened.
constexpr int MaxDepth = 1000;
constexpr int MaxWordLength = 32;
constexpr char16_t ZeroWidthSpace = 0x200B;
constexpr char16_t NotSign = 0x00AC;

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

} // namespace

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

std::optional<Document> readRtf(const QByteArray& rtf, const std::vector<FolderEntry>* folder) {
    // Offsets into the text are ints; no clipboard holds two gigabytes of RTF.
    if (rtf.size() >= std::numeric_limits<int>::max())
        return std::nullopt;
    RtfReader reader(rtf, folder);
    return reader.read();
}

} // namespace richtext
