// Arbitrary bytes into the RTF reader. Whatever it accepts must survive our own writing and
// reading, alone and joined with others, as RTF and as RTFD, with the same text and look;
// otherwise the writer produces something the reader takes differently.
#include "formats/richtext/RichText.h"

#include <cstddef>
#include <cstdint>

namespace {

bool sameLook(const RichText& a, const RichText& b) {
    const QString text = a.plainText();
    if (b.plainText() != text)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const RichText::CharStyle x = a.charStyleAt(i), y = b.charStyleAt(i);
        if (x.family != y.family || x.pointSize != y.pointSize || x.bold != y.bold ||
            x.italic != y.italic || x.underline != y.underline || x.strike != y.strike ||
            x.script != y.script || x.foreground != y.foreground || x.background != y.background)
            return false;
        const RichText::ParagraphStyle p = a.paragraphStyleAt(i), q = b.paragraphStyleAt(i);
        if (p.alignment != q.alignment || p.spaceBefore != q.spaceBefore ||
            p.spaceAfter != q.spaceAfter || p.leftIndent != q.leftIndent ||
            p.firstLineIndent != q.firstLineIndent || p.lineSpacing != q.lineSpacing)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Not copied, so the sanitizer sees any read past the fuzzer's own buffer.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<RichText> doc = RichText::fromRTF(bytes);
    if (!doc)
        return 0;
    const std::optional<RichText> again = RichText::fromRTF(doc->RTF());
    if (!again || !sameLook(*doc, *again))
        __builtin_trap();

    RichText joined = *doc;
    joined.append(RichText::fromPlainText(QStringLiteral("plain\n")));
    joined.append(*doc);
    const std::optional<RichText> folder = RichText::fromRTFD(joined.RTFD());
    if (!folder || !sameLook(joined, *folder) ||
        folder->attachments().size() != joined.attachments().size())
        __builtin_trap();
    return 0;
}
