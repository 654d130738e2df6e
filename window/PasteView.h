#pragma once

#include <QTableView>

// The clip table: one row per clipping of the current set.
class PasteView : public QTableView {
    Q_OBJECT
public:
    explicit PasteView(QWidget* parent = nullptr);

    // Asks the data source for everything again.
    void reloadData();
    qint64 numberOfSelectedRows() const;
};
