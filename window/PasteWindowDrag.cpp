// Dragging rows: out of the table as pasteboard content, back into it as a move that keeps
// the selection, and in from other programs as a capture at the drop row.
#include "window/PasteWindow.h"

#include "platform/MimeDataPasteboard.h"
#include "window/PasteView.h"

#include <QMimeData>

QMimeData* PasteWindow::writeRowsWithIndexes(const IndexSet& rows) {
    _draggedDatas = rows;
    const PasteData* offered = nullptr;
    std::unique_ptr<PasteData> combined;
    if (rows.count() == 1) {
        const PasteSet* set = currentSet();
        offered = set ? set->getDataAtIndex(rows.firstIndex()) : nullptr;
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

bool PasteWindow::acceptDrop(const QMimeData* data, qint32 row) {
    PasteSet* set = currentSet();
    if (!set || !data)
        return false;
    // Our own rows come back: they move, and the selection stays on the same clippings.
    if (data == _ownDrag && data->hasFormat(kKelvrin73Type)) {
        const std::vector<PasteData*> selected = set->indexTodata(_table->selectedRowIndexes());
        set->dropMoveing(_draggedDatas, row);
        _table->reloadData();
        _table->selectIndexes(set->dataToindex(selected), false);
        return true;
    }
    // Anything else is taken as the clipboard would be, into the current set at the row.
    // PDF alone is not taken: it is kept only beside a text.
    MimeDataPasteboard dropped(data);
    const QList<PasteboardType> types = dropped.types();
    if (types.isEmpty() || types == QList{PasteboardType::PDF})
        return false;
    addPasteDataCheck(dropped, false, false, row);
    return true;
}
