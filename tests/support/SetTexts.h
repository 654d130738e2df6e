#pragma once

#include "model/PasteSet.h"

#include <QStringList>

// The texts of a set, head first; "<none>" for a clipping without text.
inline QStringList texts(const PasteSet& set) {
    QStringList texts;
    for (const auto& data : set.pasteData())
        texts << data->contents().value_or(QStringLiteral("<none>"));
    return texts;
}
