#include "formats/richtext/RichTextCodePage.h"

#include <QSysInfo>
#include <cerrno>
#include <iconv.h>

namespace richtext {

namespace {

// 0x80..0x9F of code page 1252. The five holes decode to the C1 controls, as Windows does.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char16_t ReplacementCharacter = 0xFFFD;
const iconv_t NoConverter = reinterpret_cast<iconv_t>(-1);

QByteArray iconvName(int codePage) {
    switch (codePage) {
    case 10000:
        return "MACINTOSH";
    case 10007:
        return "MACCYRILLIC";
    case 10029:
        return "MAC-CENTRALEUROPE";
    case 10001:
        return "SJIS";
    case 20127:
        return "ASCII";
    case 20932:
        return "EUC-JP";
    case 1361:
        return "JOHAB";
    default:
        if (codePage >= 28591 && codePage <= 28606)
            return "ISO-8859-" + QByteArray::number(codePage - 28590);
        return "CP" + QByteArray::number(codePage);
    }
}

void decodeCp1252(const char* bytes, qsizetype size, QString& out) {
    const qsizetype start = out.size();
    out.resize(start + size);
    char16_t* to = reinterpret_cast<char16_t*>(out.data()) + start;
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        to[i] = (b >= 0x80 && b < 0xA0) ? Cp1252High[b - 0x80] : char16_t(b);
    }
}

} // namespace

std::optional<int> codePageOfCharset(int charset) {
    switch (charset) {
    case 77:
        return 10000;
    case 78:
        return 10001;
    case 89:
        return 10007;
    case 88:
        return 10029;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
    case 181:
        return 1255;
    case 178:
    case 179:
    case 180:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return std::nullopt;
    }
}

std::optional<char> cp1252Byte(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return char(ch);
    for (int i = 0; i < 32; ++i) {
        if (Cp1252High[i] == ch && ch > 0xFF)
            return char(0x80 + i);
    }
    return std::nullopt;
}

CodePageDecoder::~CodePageDecoder() {
    for (const auto& [codePage, cd] : _converters) {
        if (cd)
            iconv_close(static_cast<iconv_t>(cd));
    }
}

void* CodePageDecoder::converter(int codePage) {
    for (const auto& [known, cd] : _converters) {
        if (known == codePage)
            return cd;
    }
    const char* utf16 = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
    iconv_t cd = iconv_open(utf16, iconvName(codePage).constData());
    void* kept = cd == NoConverter ? nullptr : static_cast<void*>(cd);
    _converters.emplace_back(codePage, kept);
    return kept;
}

void CodePageDecoder::decode(int codePage, const char* bytes, qsizetype size, QString& out) {
    if (size <= 0)
        return;
    if (codePage == 65001) {
        out += QString::fromUtf8(bytes, size);
        return;
    }
    void* cd = codePage == Cp1252 ? nullptr : converter(codePage);
    if (!cd) {
        decodeCp1252(bytes, size, out);
        return;
    }
    const auto conv = static_cast<iconv_t>(cd);
    iconv(conv, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes);
    size_t inLeft = size_t(size);
    while (inLeft > 0) {
        // One byte never gives more than two UTF-16 units in these code pages; the loop copes
        // with any that would.
        const qsizetype start = out.size();
        const qsizetype room = qsizetype(inLeft) * 2 + 8;
        out.resize(start + room);
        char* to = reinterpret_cast<char*>(out.data() + start);
        size_t outLeft = size_t(room) * sizeof(char16_t);
        const size_t result = iconv(conv, &in, &inLeft, &to, &outLeft);
        const int error = result == size_t(-1) ? errno : 0;
        out.resize(start + room - qsizetype(outLeft / sizeof(char16_t)));
        if (error == EILSEQ) {
            out += QChar(ReplacementCharacter);
            ++in;
            --inLeft;
        } else if (error == EINVAL) {
            out += QChar(ReplacementCharacter);
            break;
        } else if (error != 0 && error != E2BIG) {
            break;
        }
    }
}

} // namespace richtext
