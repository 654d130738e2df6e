#pragma once

#include <QAbstractTableModel>

class PasteWindow;

// Presents the paste window's current set to the clip table; every value comes from the
// controller, which is the table's data source and decides what a drop does.
class PasteTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PasteTableModel(PasteWindow* source, QObject* parent = nullptr);

    // Everything anew, as after switching sets.
    void reload();
    // Notices of one change to the shown set, given around the change itself, so the table
    // keeps its selection and redraws only what the change touched.
    void beginInsert(int row) { beginInsertRows({}, row, row); }
    void endInsert() { endInsertRows(); }
    void beginRemove(int first, int last) { beginRemoveRows({}, first, last); }
    void endRemove() { endRemoveRows(); }
    void numbersChanged();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // The identifier of a column: "No", "Contents" or "Kind".
    static QString identifier(int column);
    static int column(const QString& identifier);

private:
    PasteWindow* _source;
};
