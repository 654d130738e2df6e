#pragma once

#include "model/ClipFilter.h"
#include "model/IndexSet.h"

#include <QAbstractTableModel>
#include <vector>

class PasteWindow;

// Presents the paste window's current set to the clip table; every value comes from the
// controller, which is the table's data source and decides what a drop does. Under a filter
// the table shows only the clippings the filter passes, each under its own number; the model
// keeps which row of the set each table row shows.
class PasteTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PasteTableModel(PasteWindow* source, QObject* parent = nullptr);

    // Everything anew, as after switching sets.
    void reload();
    // Notices of one change to the shown set, given around the change itself with rows of the
    // set, so the table keeps its selection and redraws only what the change touched.
    void beginInsert(int row);
    void endInsert();
    void beginRemove(int first, int last);
    void endRemove();
    void numbersChanged();

    // Shows only the clippings the filter passes; an empty filter shows them all.
    void setFilter(const ClipFilter& filter);
    bool isFiltering() const { return !_filter.isEmpty(); }
    // The row of the set that a table row shows; -1 for a row the table does not have.
    qint64 setRow(qint64 row) const;
    IndexSet setRows(const IndexSet& rows) const;
    // The row of the set that a drop above a table row goes to: before the clipping that row
    // shows, or below the last one shown.
    qint32 setRowForDrop(int row) const;

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
    using ShownRows = std::vector<quint64>;
    // The shown rows that stand for the set's rows first to last.
    std::pair<ShownRows::iterator, ShownRows::iterator> shownBetween(qint64 first, qint64 last);
    void showMatching();
    void keepMatching();

    PasteWindow* _source;
    ClipFilter _filter;
    // Under a filter: the rows of the set shown, in their order in the set.
    ShownRows _shown;
    // The rows of the set being inserted or removed, between the two notices.
    qint64 _changeFirst = 0;
    qint64 _changeLast = 0;
};
