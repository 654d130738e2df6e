#include "model/IndexSet.h"

#include <algorithm>

IndexSet::IndexSet(std::initializer_list<quint64> rows) {
    for (quint64 row : rows)
        addIndex(row);
}

void IndexSet::addIndex(quint64 row) {
    const auto place = std::lower_bound(_rows.begin(), _rows.end(), row);
    if (place == _rows.end() || *place != row)
        _rows.insert(place, row);
}

bool IndexSet::containsIndex(quint64 row) const {
    return std::binary_search(_rows.begin(), _rows.end(), row);
}
