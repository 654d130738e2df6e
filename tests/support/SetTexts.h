#pragma once

#include "model/PasteSet.h"

#include <QStringList>

// The texts of a set's clippings, head first; "<none>" for a clipping without text.
inline QStringList texts(const PasteDataList& clippings) {
    QStringList texts;
    for (const auto& data : clippings)
        texts << data->contents().value_or(QStringLiteral("<none>"));
    return texts;
}

inline QStringList texts(const PasteSet& set) {
    return texts(set.pasteData());
}
