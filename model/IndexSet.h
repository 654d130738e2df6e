#pragma once

#include <QtGlobal>
#include <initializer_list>
#include <vector>

// Row numbers in ascending order, without repeats.
class IndexSet {
public:
    IndexSet() = default;
    IndexSet(std::initializer_list<quint64> rows);

    void addIndex(quint64 row);
    bool containsIndex(quint64 row) const;
    qsizetype count() const { return qsizetype(_rows.size()); }
    bool isEmpty() const { return _rows.empty(); }
    quint64 firstIndex() const { return _rows.front(); }
    quint64 lastIndex() const { return _rows.back(); }

    std::vector<quint64>::const_iterator begin() const { return _rows.begin(); }
    std::vector<quint64>::const_iterator end() const { return _rows.end(); }
    std::vector<quint64>::const_reverse_iterator rbegin() const { return _rows.rbegin(); }
    std::vector<quint64>::const_reverse_iterator rend() const { return _rows.rend(); }

    bool operator==(const IndexSet&) const = default;

private:
    std::vector<quint64> _rows;
};
