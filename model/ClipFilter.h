#pragma once

#include <QByteArray>
#include <QString>

class PasteData;

// What the paste window's filter looks for: a text that a clipping's text must contain, both
// compared without regard to case or accents, so that "cafe" finds "Café".
class ClipFilter {
public:
    // No filter: every clipping shows.
    ClipFilter() = default;
    explicit ClipFilter(const QString& typed);

    bool isEmpty() const { return _empty; }
    // Whether a clipping's text contains the filter. A clipping without text never does, and
    // neither does any clipping for a filter of nothing but accents.
    bool matches(const PasteData& data) const;
    // Whether every clipping this filter passes is also passed by the wider one: the same
    // filter typed further, say. Only then may the rows the wider one showed be searched alone.
    bool narrows(const ClipFilter& wider) const;

    // A text in the form it is compared in, as UTF-8: decomposed, without its non-spacing marks
    // (the accents), case-folded. UTF-8 because most clipped text is mostly ASCII: it takes
    // half the memory of UTF-16 and half the time to search.
    static QByteArray folded(const QString& text);

private:
    QByteArray _folded;
    bool _empty = true;
};
