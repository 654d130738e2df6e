#pragma once

#include "model/IndexSet.h"

#include <QTableView>

// The clip table: one row per clipping of the current set.
class PasteView : public QTableView {
    Q_OBJECT
public:
    explicit PasteView(QWidget* parent = nullptr);

    // Asks the data source for everything again.
    void reloadData();
    qint64 numberOfSelectedRows() const;
    // The row selected last (the current one when it is selected); -1 when none is.
    qint64 selectedRow() const;
    IndexSet selectedRowIndexes() const;
};
