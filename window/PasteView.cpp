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
