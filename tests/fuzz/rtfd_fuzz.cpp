// Arbitrary bytes into the flattened RTFD reader. What it accepts must write back and read again
// with the same text and the same attachments, and must also leave as RTF that reads again.
#include "formats/richtext/RichText.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<RichText> doc = RichText::fromRTFD(bytes);
    if (!doc)
        return 0;
    const std::optional<RichText> again = RichText::fromRTFD(doc->RTFD());
    if (!again || again->plainText() != doc->plainText())
        __builtin_trap();
    const QList<RichText::Attachment> before = doc->attachments(), after = again->attachments();
    if (before.size() != after.size())
        __builtin_trap();
    for (qsizetype i = 0; i < before.size(); ++i) {
        if (before[i].name != after[i].name || before[i].contents != after[i].contents ||
            before[i].position != after[i].position)
            __builtin_trap();
    }
    if (!RichText::fromRTF(doc->RTF()))
        __builtin_trap();
    return 0;
}
