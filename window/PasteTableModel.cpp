#include "window/PasteTableModel.h"

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

void PasteTableModel::reload() {
    beginResetModel();
    endResetModel();
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
    case Qt::TextAlignmentRole:
        // Rows are one line high; the first line of a cell is the one that must show.
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignTop));
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
