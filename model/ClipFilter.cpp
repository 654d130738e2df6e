#include "model/ClipFilter.h"

#include "model/PasteData.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// The folded form of one code point, worked out from Unicode's tables: its canonical
// decomposition followed all the way down ("ǖ" is "ü" and a macron, "ü" is "u" and a
// diaeresis), without the non-spacing marks, each code point left case-folded.
void appendFolded(char32_t codePoint, QString& folded) {
    if (QChar::decompositionTag(codePoint) == QChar::Canonical) {
        const QList<uint> parts = QChar::decomposition(codePoint).toUcs4();
        for (const uint part : parts)
            appendFolded(part, folded);
        return;
    }
    if (QChar::category(codePoint) == QChar::Mark_NonSpacing)
        return;
    const char32_t caseFolded = QChar::toCaseFolded(codePoint);
    folded += QString::fromUcs4(&caseFolded, 1);
}

QByteArray foldedUtf8(char32_t codePoint) {
    QString folded;
    appendFolded(codePoint, folded);
    return folded.toUtf8();
}

// What each UTF-16 unit of the Basic Multilingual Plane folds into, as UTF-8, looked up once:
// folding then costs a table look-up a character. The few units whose form does not fit, and
// the surrogates, which only stand for something in pairs, are folded one by one.
struct FoldedUnit {
    static constexpr quint8 kOwnWay = 0xff;
    quint8 size = kOwnWay;
    char bytes[3] = {};
};

const std::array<FoldedUnit, 0x10000>& foldedUnits() {
    static const auto table = [] {
        auto units = std::make_unique<std::array<FoldedUnit, 0x10000>>();
        for (char32_t unit = 0; unit < 0x10000; ++unit) {
            if (QChar::isSurrogate(unit))
                continue;
            const QByteArray folded = foldedUtf8(unit);
            if (folded.size() > qsizetype(sizeof(FoldedUnit::bytes)))
                continue;
            FoldedUnit& entry = (*units)[unit];
            entry.size = quint8(folded.size());
            std::memcpy(entry.bytes, folded.constData(), size_t(folded.size()));
        }
        return units;
    }();
    return *table;
}

// UTF-8 written through a pointer into a buffer that grows only for the rare code point whose
// folded form is longer than three bytes a UTF-16 unit.
class Utf8Writer {
public:
    explicit Utf8Writer(qsizetype capacity) : _bytes(capacity, Qt::Uninitialized) {
        _next = _bytes.data();
        _end = _next + capacity;
    }

    void put(char byte) {
        if (_next == _end)
            grow(1);
        *_next++ = byte;
    }
    void put(const FoldedUnit& unit) {
        if (_end - _next < qsizetype(sizeof(unit.bytes)))
            grow(sizeof(unit.bytes));
        // All three bytes, whatever the size: a copy of fixed size is a few moves.
        std::memcpy(_next, unit.bytes, sizeof(unit.bytes));
        _next += unit.size;
    }
    void put(const QByteArray& bytes) {
        if (_end - _next < bytes.size())
            grow(bytes.size());
        _next = std::copy(bytes.begin(), bytes.end(), _next);
    }

    QByteArray take() {
        _bytes.truncate(_next - _bytes.constData());
        // The slack goes back, as the text is kept as long as the clipping.
        _bytes.squeeze();
        return std::move(_bytes);
    }

private:
    void grow(qsizetype size) {
        const qsizetype written = _next - _bytes.data();
        _bytes.resize(2 * _bytes.size() + size);
        _next = _bytes.data() + written;
        _end = _bytes.data() + _bytes.size();
    }

    QByteArray _bytes;
    char* _next;
    char* _end;
};

// memmem, glibc's Two-Way search, takes time in proportion to the text whatever is looked
// for; a search that backs up, as Qt's does, takes seconds for a long filter over a text of
// one character repeated.
bool contains(const QByteArray& text, const QByteArray& part) {
    return memmem(text.constData(), size_t(text.size()), part.constData(), size_t(part.size())) !=
           nullptr;
}

} // namespace

ClipFilter::ClipFilter(const QString& typed) : _folded(folded(typed)), _empty(typed.isEmpty()) {}

bool ClipFilter::matches(const PasteData& data) const {
    return !_folded.isEmpty() && data.contents() && contains(data.foldedContents(), _folded);
}

bool ClipFilter::narrows(const ClipFilter& wider) const {
    if (_folded.isEmpty())
        return true;
    return !wider._folded.isEmpty() && contains(_folded, wider._folded);
}

QByteArray ClipFilter::folded(const QString& text) {
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype size = text.size();
    const std::array<FoldedUnit, 0x10000>& table = foldedUnits();
    // Room for the longest form from the start: a large buffer that grows is moved to other
    // pages (mremap), and on the virtual machines this runs on the first read of moved pages
    // took several times as long as the search itself. The slack is given back at the end.
    Utf8Writer writer(3 * size);
    for (qsizetype at = 0; at < size; ++at) {
        const char16_t unit = units[at];
        if (unit < 0x80) {
            writer.put(char(unit >= u'A' && unit <= u'Z' ? unit | 0x20 : unit));
            continue;
        }
        const FoldedUnit& entry = table[unit];
        if (entry.size != FoldedUnit::kOwnWay) {
            writer.put(entry);
            continue;
        }
        char32_t codePoint = unit;
        if (QChar::isHighSurrogate(unit) && at + 1 < size && QChar::isLowSurrogate(units[at + 1]))
            codePoint = QChar::surrogateToUcs4(unit, units[++at]);
        writer.put(foldedUtf8(codePoint));
    }
    return writer.take();
}
