// Dragging rows: out of the table as pasteboard content, back into it as a move that keeps
// the selection, and in from other programs as a capture at the drop row.
#include "window/PasteWindow.h"

#include "platform/MimeDataPasteboard.h"
#include "window/PasteTableModel.h"
#include "window/PasteView.h"

#include <QMimeData>

QMimeData* PasteWindow::writeRowsWithIndexes(const IndexSet& rows) {
    _draggedDatas = _model->setRows(rows);
    const PasteData* offered = nullptr;
    std::unique_ptr<PasteData> combined;
    if (_draggedDatas.count() == 1) {
        const PasteSet* set = currentSet();
        offered = set ? set->getDataAtIndex(_draggedDatas.firstIndex()) : nullptr;
    } else if (synthesisData(combined, false)) {
        offered = combined.get();
    }
    auto* mimeData = new QMimeData;
    if (offered)
        MimeDataPasteboard(mimeData).write(offered->pasteboardEntries(pasteStatus()));
    mimeData->setData(kKelvrin73Type, QByteArray());
    _ownDrag = mimeData;
    return mimeData;
}

bool PasteWindow::isOwnDrag(const QMimeData* data) const {
    return data && data == _ownDrag && data->hasFormat(kKelvrin73Type);
}

bool PasteWindow::validateDrop(const QMimeData* data, bool betweenRows) const {
    // Under a filter the place between two rows is no place in the set: the clippings hidden
    // between them would have to move too.
    return betweenRows && !(isOwnDrag(data) && _model->isFiltering());
}

bool PasteWindow::acceptDrop(const QMimeData* data, qint32 row) {
    PasteSet* set = currentSet();
    if (!set || !data || !validateDrop(data, true))
        return false;
    // Our own rows come back: they move, and the selection stays on the same clippings.
    if (isOwnDrag(data)) {
        const std::vector<PasteData*> selected = set->indexTodata(_table->selectedRowIndexes());
        set->dropMoveing(_draggedDatas, row);
        _table->reloadData();
        _table->selectIndexes(set->dataToindex(selected), false);
        return true;
    }
    // Anything else is taken as the clipboard would be, into the current set at the row.
    // PDF alone is not taken: it is kept only beside a text.
    MimeDataPasteboard dropped(data);
    const QList<PasteboardType> types = PasteboardReader(dropped.content(), Transfer()).types();
    if (types.isEmpty() || types == QList{PasteboardType::PDF})
        return false;
    addPasteDataCheck(dropped, false, false, row);
    return true;
}
