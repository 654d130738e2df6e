// Finding a clipping by typing part of its text: the filter field above the table and the rows
// the table shows under it.
#include "window/PasteWindow.h"

#include "window/PasteTableModel.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"

void PasteWindow::openFilter() {
    getWindow()->openFilter();
}

void PasteWindow::typeFilter(const QString& text) {
    getWindow()->typeIntoFilter(text);
}

bool PasteWindow::eraseFilter() {
    return getWindow()->eraseFromFilter();
}

bool PasteWindow::isFilterOpen() const {
    return _window && _window->isFilterOpen();
}

void PasteWindow::filterChange(const QString& typed) {
    _model->setFilter(ClipFilter(typed));
    // The best match is the first row: typing and Return pastes it.
    _table->selectFirstRow();
}

IndexSet PasteWindow::selectedSetRows() const {
    return _table ? _model->setRows(_table->selectedRowIndexes()) : IndexSet();
}
