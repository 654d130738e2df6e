#pragma once

#include <QAbstractTableModel>

class PasteWindow;

// Presents the paste window's current set to the clip table; every value comes from the
// controller, which is the table's data source.
class PasteTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PasteTableModel(PasteWindow* source, QObject* parent = nullptr);

    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The identifier of a column: "No", "Contents" or "Kind".
    static QString identifier(int column);

private:
    PasteWindow* _source;
};
