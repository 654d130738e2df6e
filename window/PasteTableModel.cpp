#include "window/PasteTableModel.h"

#include "platform/Pasteboard.h"
#include "window/PasteWindow.h"

#include <QGuiApplication>
#include <QPixmap>
#include <algorithm>

namespace {
// The columns by name; the names also title them, translated.
constexpr const char* kIdentifiers[] = {QT_TRANSLATE_NOOP("PasteTableModel", "No"),
                                        QT_TRANSLATE_NOOP("PasteTableModel", "Contents"),
                                        QT_TRANSLATE_NOOP("PasteTableModel", "Kind")};
} // namespace

PasteTableModel::PasteTableModel(PasteWindow* source, QObject* parent)
    : QAbstractTableModel(parent), _source(source) {}

QString PasteTableModel::identifier(int column) {
    return column >= 0 && column < 3 ? QString::fromLatin1(kIdentifiers[column]) : QString();
}

int PasteTableModel::column(const QString& identifier) {
    for (int column = 0; column < 3; ++column)
        if (QLatin1String(kIdentifiers[column]) == identifier)
            return column;
    return -1;
}

void PasteTableModel::reload() {
    beginResetModel();
    showMatching();
    endResetModel();
}

void PasteTableModel::setFilter(const ClipFilter& filter) {
    beginResetModel();
    const bool narrows = isFiltering() && filter.narrows(_filter);
    _filter = filter;
    if (narrows)
        keepMatching();
    else
        showMatching();
    endResetModel();
}

void PasteTableModel::showMatching() {
    _shown.clear();
    const PasteSet* set = _source->currentSet();
    if (!isFiltering() || !set)
        return;
    const PasteDataList& clippings = set->pasteData();
    for (size_t row = 0; row < clippings.size(); ++row)
        if (_filter.matches(*clippings[row]))
            _shown.push_back(row);
}

void PasteTableModel::keepMatching() {
    const PasteSet* set = _source->currentSet();
    std::erase_if(_shown, [&](quint64 row) {
        const PasteData* data = set ? set->getDataAtIndex(row) : nullptr;
        return !data || !_filter.matches(*data);
    });
}

std::pair<PasteTableModel::ShownRows::iterator, PasteTableModel::ShownRows::iterator>
PasteTableModel::shownBetween(qint64 first, qint64 last) {
    const auto from = std::lower_bound(_shown.begin(), _shown.end(), quint64(first));
    return {from, std::upper_bound(from, _shown.end(), quint64(last))};
}

void PasteTableModel::beginInsert(int row) {
    _changeFirst = _changeLast = row;
    if (!isFiltering())
        beginInsertRows({}, row, row);
}

void PasteTableModel::endInsert() {
    if (!isFiltering()) {
        endInsertRows();
        return;
    }
    // The clipping is in the set now: the rows of the set below it moved down by one, and it
    // shows only when the filter passes it.
    const auto below = std::lower_bound(_shown.begin(), _shown.end(), quint64(_changeFirst));
    std::for_each(below, _shown.end(), [](quint64& row) { ++row; });
    const PasteSet* set = _source->currentSet();
    const PasteData* inserted = set ? set->getDataAtIndex(quint64(_changeFirst)) : nullptr;
    if (!inserted || !_filter.matches(*inserted))
        return;
    const int row = int(below - _shown.begin());
    beginInsertRows({}, row, row);
    _shown.insert(_shown.begin() + row, quint64(_changeFirst));
    endInsertRows();
}

void PasteTableModel::beginRemove(int first, int last) {
    _changeFirst = first;
    _changeLast = last;
    if (!isFiltering()) {
        beginRemoveRows({}, first, last);
        return;
    }
    const auto [from, to] = shownBetween(first, last);
    if (from != to)
        beginRemoveRows({}, int(from - _shown.begin()), int(to - _shown.begin()) - 1);
}

void PasteTableModel::endRemove() {
    if (!isFiltering()) {
        endRemoveRows();
        return;
    }
    const auto [from, to] = shownBetween(_changeFirst, _changeLast);
    const quint64 removed = quint64(_changeLast - _changeFirst + 1);
    std::for_each(to, _shown.end(), [removed](quint64& row) { row -= removed; });
    const bool shown = from != to;
    _shown.erase(from, to);
    if (shown)
        endRemoveRows();
}

void PasteTableModel::numbersChanged() {
    if (const int rows = rowCount(); rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, 0), {Qt::DisplayRole});
}

qint64 PasteTableModel::setRow(qint64 row) const {
    if (row < 0)
        return -1;
    if (!isFiltering())
        return row;
    return quint64(row) < _shown.size() ? qint64(_shown[size_t(row)]) : -1;
}

IndexSet PasteTableModel::setRows(const IndexSet& rows) const {
    IndexSet mapped;
    for (const quint64 row : rows)
        if (const qint64 inSet = setRow(qint64(row)); inSet >= 0)
            mapped.addIndex(quint64(inSet));
    return mapped;
}

qint32 PasteTableModel::setRowForDrop(int row) const {
    if (!isFiltering())
        return row;
    if (row >= 0 && size_t(row) < _shown.size())
        return qint32(_shown[size_t(row)]);
    return _shown.empty() ? 0 : qint32(_shown.back() + 1);
}

int PasteTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    if (isFiltering())
        return int(_shown.size());
    return int(qMin<quint64>(_source->numberOfRowsInTableView(), quint64(INT_MAX)));
}

int PasteTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant PasteTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const QString column = identifier(index.column());
    const qint64 row = setRow(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return _source->tableView(column, row);
    case Qt::ToolTipRole:
        // A row shows one line; the whole value is a hover away.
        return column == u"No" ? QVariant() : _source->tableView(column, row);
    case Qt::ForegroundRole:
        if (column == u"Kind")
            if (const KindName* kind = _source->kindNameForRow(row))
                return kind->colour;
        return {};
    case Qt::DecorationRole:
        if (column == u"Contents") {
            const QImage thumbnail = _source->thumbnailForRow(row);
            if (thumbnail.isNull())
                return {};
            QPixmap pixmap = QPixmap::fromImage(thumbnail);
            pixmap.setDevicePixelRatio(qGuiApp->devicePixelRatio());
            return pixmap;
        }
        return {};
    default:
        return {};
    }
}

QVariant PasteTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3)
        return tr(kIdentifiers[section]);
    return {};
}

Qt::ItemFlags PasteTableModel::flags(const QModelIndex& index) const {
    // Rows take drops so that a drop onto a row is proposed as such, and refused.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList PasteTableModel::mimeTypes() const {
    return QStringList{PasteWindow::kKelvrin73Type} + Pasteboard::typeNames();
}

Qt::DropActions PasteTableModel::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

bool PasteTableModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                      const QModelIndex& parent) const {
    return _source->validateDrop(data, !parent.isValid());
}

bool PasteTableModel::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                   const QModelIndex& parent) {
    if (parent.isValid())
        return false;
    // Below the last row the table proposes no row: the drop goes to the end.
    return _source->acceptDrop(data, setRowForDrop(row < 0 ? rowCount() : row));
}
