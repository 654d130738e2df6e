#include "window/PasteTableModel.h"

#include "platform/Pasteboard.h"
#include "window/PasteWindow.h"

#include <QGuiApplication>
#include <QPixmap>

namespace {
const QString kIdentifiers[] = {QStringLiteral("No"), QStringLiteral("Contents"),
                                QStringLiteral("Kind")};
}

PasteTableModel::PasteTableModel(PasteWindow* source, QObject* parent)
    : QAbstractTableModel(parent), _source(source) {}

QString PasteTableModel::identifier(int column) {
    return column >= 0 && column < 3 ? kIdentifiers[column] : QString();
}

int PasteTableModel::column(const QString& identifier) {
    for (int column = 0; column < 3; ++column)
        if (kIdentifiers[column] == identifier)
            return column;
    return -1;
}

void PasteTableModel::reload() {
    beginResetModel();
    endResetModel();
}

void PasteTableModel::numbersChanged() {
    if (const int rows = rowCount(); rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, 0), {Qt::DisplayRole});
}

int PasteTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return int(qMin<quint64>(_source->numberOfRowsInTableView(), quint64(INT_MAX)));
}

int PasteTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant PasteTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const QString column = identifier(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return _source->tableView(column, index.row());
    case Qt::ToolTipRole:
        // A row shows one line; the whole value is a hover away.
        return column == u"No" ? QVariant() : _source->tableView(column, index.row());
    case Qt::ForegroundRole:
        if (column == u"Kind")
            if (const KindName* kind = _source->kindNameForRow(index.row()))
                return kind->colour;
        return {};
    case Qt::DecorationRole:
        if (column == u"Contents") {
            const auto picture = _source->pictureForRow(index.row());
            if (!picture)
                return {};
            const qreal ratio = qGuiApp->devicePixelRatio();
            const QSize pixels = (picture->size() * ratio).toSize();
            QPixmap pixmap = QPixmap::fromImage(picture->render(pixels));
            pixmap.setDevicePixelRatio(ratio);
            return pixmap;
        }
        return {};
    default:
        return {};
    }
}

QVariant PasteTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return identifier(section);
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

bool PasteTableModel::canDropMimeData(const QMimeData*, Qt::DropAction, int, int,
                                      const QModelIndex& parent) const {
    return _source->validateDrop(!parent.isValid());
}

bool PasteTableModel::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                   const QModelIndex& parent) {
    if (parent.isValid())
        return false;
    // Below the last row the table proposes no row: the drop goes to the end.
    return _source->acceptDrop(data, row < 0 ? rowCount() : row);
}
