#pragma once

#include <QtGlobal>

// The code of a clipping's richer payload, and the groups that decide how a clipping is compared,
// combined and written back. Codes outside 0 to 5 are kept unchanged and belong to no group.
namespace ExtraType {

constexpr qint32 Text = 0;
constexpr qint32 RTF = 1;
constexpr qint32 PICT = 2;
constexpr qint32 TIFF = 3;
constexpr qint32 RTFD = 4;
constexpr qint32 PDF = 5;
constexpr qint32 Count = 6;

constexpr bool isRichText(qint32 code) {
    return code == RTF || code == RTFD;
}
constexpr bool isPicture(qint32 code) {
    return code == PICT || code == TIFF || code == PDF;
}
constexpr bool isKnown(qint32 code) {
    return code >= Text && code < Count;
}

} // namespace ExtraType
