#include "model/PasteSet.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <new>
#include <unordered_set>

namespace {

std::unique_ptr<PasteData> makeClipping(const std::optional<QString>& text, qint32 extraType,
                                        const std::optional<QByteArray>& extraData) {
    auto clipping = std::make_unique<PasteData>();
    clipping->setContents(text);
    clipping->setExtraData(extraData, extraType);
    return clipping;
}

// Running out of memory for one clipping refuses that clipping and leaves the list as it was;
// inserting a pointer never leaves a vector half changed.
bool insertClipping(PasteDataList& list, qint64 row, const std::optional<QString>& text,
                    qint32 extraType, const std::optional<QByteArray>& extraData) {
    try {
        list.insert(list.begin() + row, makeClipping(text, extraType, extraData));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

qint64 rowOf(const PasteDataList& list, const PasteData* data) {
    const auto found = std::find_if(
        list.begin(), list.end(), [data](const auto& clipping) { return clipping.get() == data; });
    if (found == list.end())
        return PasteSet::NotFound;
    return std::distance(list.begin(), found);
}

// The clipping that the moved group is put after: the one at the row above the drop row,
// or, when that row is itself moving, the nearest row above it that is not. -1 when the group
// goes to the top.
qint64 dropAnchorRow(const IndexSet& rows, qint64 dropRow) {
    qint64 anchor = dropRow - 1;
    while (anchor >= 0 && rows.containsIndex(quint64(anchor)))
        --anchor;
    return anchor;
}

// Revisions are drawn from one counter for all sets.
std::atomic<quint64> gLastRevision{0};

} // namespace

std::unique_ptr<PasteSet> PasteSet::init(const std::optional<QString>& name) {
    if (!name)
        return nullptr;
    return std::make_unique<PasteSet>(*name);
}

PasteSet::PasteSet(const QString& name) : _name(name), _revision(++gLastRevision) {}

void PasteSet::changed() {
    _revision = ++gLastRevision;
}

void PasteSet::setName(const QString& name) {
    _name = name;
    changed();
}

void PasteSet::setPasteData(PasteDataList pasteData) {
    _pasteData = std::move(pasteData);
    changed();
}

PasteData* PasteSet::getDataAtIndex(quint64 row) const {
    if (row >= _pasteData.size())
        return nullptr;
    return _pasteData[row].get();
}

qint64 PasteSet::getIndexOfObject(const PasteData* data) const {
    return rowOf(_pasteData, data);
}

bool PasteSet::addData(const std::optional<QString>& text, qint32 extraType,
                       const std::optional<QByteArray>& extraData, qint32 posOfInsert,
                       qint64 maxNumber) {
    const qint64 row = std::clamp<qint64>(posOfInsert, 0, qint64(_pasteData.size()));
    if (!insertClipping(_pasteData, row, text, extraType, extraData))
        return false;
    deleteData(maxNumber);
    reNumber();
    return true;
}

bool PasteSet::copyAddData(const PasteData& source) {
    if (!insertClipping(_pasteData, 0, source.contents(), source.extraType(), source.extraData()))
        return false;
    changed();
    return true;
}

void PasteSet::removeData(const IndexSet& rows) {
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        if (*row < _pasteData.size())
            _pasteData.erase(_pasteData.begin() + qint64(*row));
    }
    reNumber();
}

void PasteSet::deleteData(qint64 maxNumber) {
    // Compared unsigned, a negative maximum is larger than any count and trims nothing.
    const quint64 maximum = quint64(maxNumber);
    if (_pasteData.size() > maximum) {
        _pasteData.erase(_pasteData.begin() + qint64(maximum), _pasteData.end());
        changed();
    }
}

void PasteSet::exchangeStackFront(qint64 row) {
    if (row > 0 && quint64(row) < _pasteData.size()) {
        const auto moved = _pasteData.begin() + row;
        std::rotate(_pasteData.begin(), moved, moved + 1);
    }
    reNumber();
}

void PasteSet::dropMoveing(const IndexSet& rows, qint32 toIndex) {
    const qint64 dropRow = std::min<qint64>(toIndex, qint64(_pasteData.size()));
    const qint64 anchorRow = dropAnchorRow(rows, dropRow);
    const PasteData* anchor = anchorRow >= 0 ? _pasteData[quint64(anchorRow)].get() : nullptr;

    // With room reserved up front, nothing below can fail halfway through the move.
    PasteDataList moving;
    PasteDataList staying;
    moving.reserve(_pasteData.size());
    staying.reserve(_pasteData.size());
    for (quint64 row = 0; row < _pasteData.size(); ++row)
        (rows.containsIndex(row) ? moving : staying).push_back(std::move(_pasteData[row]));

    const qint64 insertRow = anchor ? rowOf(staying, anchor) + 1 : 0;
    staying.insert(staying.begin() + insertRow, std::make_move_iterator(moving.begin()),
                   std::make_move_iterator(moving.end()));
    _pasteData = std::move(staying);
    reNumber();
}

void PasteSet::reNumber() {
    for (size_t row = 0; row < _pasteData.size(); ++row)
        _pasteData[row]->setNumber(qint32(row + 1));
    // Every change of the rows ends here.
    changed();
}

std::vector<PasteData*> PasteSet::indexTodata(const IndexSet& rows) const {
    std::vector<PasteData*> datas;
    for (quint64 row : rows) {
        if (row < _pasteData.size())
            datas.push_back(_pasteData[row].get());
    }
    return datas;
}

IndexSet PasteSet::dataToindex(const std::vector<PasteData*>& datas) const {
    const std::unordered_set<const PasteData*> wanted(datas.begin(), datas.end());
    IndexSet rows;
    for (const auto& clipping : _pasteData) {
        // A clipping not yet numbered has no row to report.
        if (wanted.contains(clipping.get()) && clipping->number() > 0)
            rows.addIndex(quint64(clipping->number() - 1));
    }
    return rows;
}
