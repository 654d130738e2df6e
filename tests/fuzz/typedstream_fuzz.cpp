// Arbitrary bytes into the archive decoder. It may refuse them only with ArchiveError; what it
// accepts must write back and read again as the same tree, or reading and writing disagree.
#include "formats/TypedStream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Not copied, so the sanitizer sees any read past the fuzzer's own buffer.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    TypedStream::Archive archive;
    try {
        archive = TypedStream::decode(bytes);
    } catch (const TypedStream::ArchiveError&) {
        return 0;
    }
    const QByteArray again = TypedStream::encode(archive.root);
    if (!(TypedStream::decode(again).root == archive.root))
        __builtin_trap();
    return 0;
}
