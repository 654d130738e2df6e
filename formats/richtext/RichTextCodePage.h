#pragma once

// The Windows and Mac code pages that RTF text bytes are written in. Qt 6.4 decodes only the
// Unicode forms and Latin-1, so everything else goes through the C library's iconv.

#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace richtext {

constexpr int Cp1252 = 1252;

// The code page that an RTF font charset (\fcharsetN) implies; nullopt for the ANSI, default and
// symbol charsets, whose bytes follow the document's code page.
std::optional<int> codePageOfCharset(int charset);

// The byte that stands for the character in code page 1252, if there is one.
std::optional<char> cp1252Byte(char16_t ch);

// Decodes runs of bytes, keeping one converter per code page for its own lifetime.
class CodePageDecoder {
public:
    CodePageDecoder() = default;
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;
    ~CodePageDecoder();

    // Appends the decoded bytes to `out`. Bytes that do not decode become U+FFFD; an unknown code
    // page is read as 1252.
    void decode(int codePage, const char* bytes, qsizetype size, QString& out);

private:
    void* converter(int codePage);

    std::vector<std::pair<int, void*>> _converters; // iconv_t; null when iconv does not know it
};

} // namespace richtext
