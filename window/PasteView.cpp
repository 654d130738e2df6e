#include "window/PasteView.h"

#include "window/PasteTableModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>

PasteView::PasteView(QWidget* parent) : QTableView(parent) {
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
}

void PasteView::reloadData() {
    if (auto* source = qobject_cast<PasteTableModel*>(model()))
        source->reload();
}

qint64 PasteView::numberOfSelectedRows() const {
    return selectionModel() ? selectionModel()->selectedRows().size() : 0;
}

IndexSet PasteView::selectedRowIndexes() const {
    IndexSet rows;
    if (selectionModel())
        for (const QModelIndex& index : selectionModel()->selectedRows())
            rows.addIndex(quint64(index.row()));
    return rows;
}

qint64 PasteView::selectedRow() const {
    const IndexSet rows = selectedRowIndexes();
    if (rows.isEmpty())
        return -1;
    const QModelIndex current = selectionModel()->currentIndex();
    if (current.isValid() && rows.containsIndex(quint64(current.row())))
        return current.row();
    return qint64(rows.lastIndex());
}
