#include "window/PasteView.h"

#include "platform/Alert.h"
#include "window/PasteTableModel.h"
#include "window/PasteWindow.h"
#include "window/PasteWindowDelegate.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <algorithm>
#include <optional>

namespace {

// The column titles as the table shows them. Qt measures every title again each time the table
// lays out its rows, which is on every capture; the titles change only with the font or style.
class ColumnHeader : public QHeaderView {
public:
    explicit ColumnHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
        setSectionsClickable(true);
        setHighlightSections(false);
    }
    QSize sizeHint() const override {
        if (!_sizeHint.isValid())
            _sizeHint = QHeaderView::sizeHint();
        return _sizeHint;
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            _sizeHint = QSize();
        return QHeaderView::event(event);
    }

private:
    mutable QSize _sizeHint;
};

// The rows' scroll bar. While the history fills, each capture lengthens its range by one row,
// which moves the slider's ends by less than a pixel once the history is longer than a few
// screens; the bar is painted again only when the slider or the state of its arrows changed.
class RowScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override {
        if (change == SliderOrientationChange || !_painted || looks() != *_painted)
            QScrollBar::sliderChange(change);
    }
    void paintEvent(QPaintEvent* event) override {
        _painted = looks();
        QScrollBar::paintEvent(event);
    }

private:
    struct Looks {
        QRect slider;
        bool atMinimum;
        bool atMaximum;
        bool operator==(const Looks&) const = default;
    };
    Looks looks() const {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                        this),
                value() == minimum(), value() == maximum()};
    }
    std::optional<Looks> _painted;
};

// Whether a key types into the filter: printable text, with no modifier held but Shift (and
// those that never count, such as the keypad's).
bool typesIntoFilter(const QKeyEvent* event) {
    if (event->text().isEmpty() ||
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QList<uint> codePoints = event->text().toUcs4();
    return std::ranges::all_of(codePoints,
                               [](uint codePoint) { return QChar::isPrint(codePoint); });
}

} // namespace

PasteView::PasteView(QWidget* parent) : QTableView(parent) {
    verticalHeader()->hide();
    setHorizontalHeader(new ColumnHeader(this));
    setVerticalScrollBar(new RowScrollBar(Qt::Vertical, this));
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropOverwriteMode(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    setTextElideMode(Qt::ElideRight);
    // Tab and Shift+Tab move between the window's controls, not between the cells of a row.
    setTabKeyNavigation(false);
}

// A capture puts one row at the top. Qt would paint every visible row again, each having moved
// down by one; the rows already on the screen are moved down as pixels instead, so only the new
// row is painted. Without a filter a row's number is its position, so the numbers stay where
// they are and only a row that newly appears at the bottom has its number painted; under a
// filter they move with their rows and the whole column is painted again.
void PasteView::rowsInserted(const QModelIndex& parent, int start, int end) {
    QTableView::rowsInserted(parent, start, end);
    if (parent.isValid() || start != 0 || verticalScrollBar()->value() != 0 || _moved.rows < 0 ||
        !isVisible()) {
        _moved.rows = -1;
        return;
    }
    const auto* source = qobject_cast<PasteTableModel*>(model());
    const int numbers = PasteTableModel::column(QStringLiteral("No"));
    if (_moved.rows == 0)
        _moved.numbersInPlace = source && !source->isFiltering() && !isColumnHidden(numbers);
    const int rows = end - start + 1;
    const QRect all = viewport()->rect();
    if (!_moved.numbersInPlace) {
        viewport()->scroll(0, rowsHeight(rows));
    } else {
        const int left = columnViewportPosition(numbers);
        const int right = left + columnWidth(numbers);
        for (const QRect& side : {QRect(all.topLeft(), QPoint(left - 1, all.bottom())) & all,
                                  QRect(QPoint(right, all.top()), all.bottomRight()) & all})
            if (!side.isEmpty())
                viewport()->scroll(0, rowsHeight(rows), side);
        const int rowsBefore = model()->rowCount() - rows;
        viewport()->update(left, rowsHeight(rowsBefore), columnWidth(numbers), rowsHeight(rows));
    }
    _moved.rows += rows;
}

// Rows trimmed from the end after a capture leave their moved pixels behind while the view has
// room for them.
void PasteView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    if (_moved.rows > 0) {
        if (parent.isValid() || end != model()->rowCount() - 1)
            _moved.rows = -1;
        else
            viewport()->update(0, rowsHeight(start), viewport()->width(),
                               rowsHeight(end - start + 1));
    }
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

int PasteView::rowsHeight(int rows) const {
    return rows * verticalHeader()->defaultSectionSize();
}

void PasteView::doItemsLayout() {
    const bool moved = _moved.rows > 0;
    _moved = Moved();
    if (!moved) {
        QTableView::doItemsLayout();
        return;
    }
    // The layout asks for all of the rows to be painted: they are where they belong already.
    viewport()->setAttribute(Qt::WA_UpdatesDisabled, true);
    QTableView::doItemsLayout();
    viewport()->setAttribute(Qt::WA_UpdatesDisabled, false);
}

void PasteView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                            const QList<int>& roles) {
    if (topLeft.row() == bottomRight.row() || topLeft.column() != bottomRight.column()) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    // Renumbering changes one column of every row: only that column is painted again, unless
    // the numbers kept their places on the screen.
    if (_moved.rows > 0 && _moved.numbersInPlace)
        return;
    const int column = topLeft.column();
    viewport()->update(columnViewportPosition(column), 0, columnWidth(column),
                       viewport()->height());
}

void PasteView::setSender(PasteWindow* sender, PasteWindowDelegate* applicationIns) {
    _sender = sender;
    _applicationIns = applicationIns;
    _enterKeyDown = 0;
}

void PasteView::reloadData() {
    if (auto* source = qobject_cast<PasteTableModel*>(model()))
        keepingRowNumbers([source] { source->reload(); });
}

void PasteView::keepingRowNumbers(const std::function<void()>& change) {
    const IndexSet selected = selectedRowIndexes();
    const int current = selectionModel() ? selectionModel()->currentIndex().row() : -1;
    change();
    selectIndexes(selected, false);
    if (current >= 0 && current < model()->rowCount())
        selectionModel()->setCurrentIndex(model()->index(current, 0),
                                          QItemSelectionModel::NoUpdate);
}

qint64 PasteView::numberOfSelectedRows() const {
    return selectionModel() ? selectionModel()->selectedRows().size() : 0;
}

IndexSet PasteView::selectedRowIndexes() const {
    IndexSet rows;
    if (selectionModel())
        for (const QModelIndex& index : selectionModel()->selectedRows())
            rows.addIndex(quint64(index.row()));
    return rows;
}

qint64 PasteView::selectedRow() const {
    const IndexSet rows = selectedRowIndexes();
    if (rows.isEmpty())
        return -1;
    const QModelIndex current = selectionModel()->currentIndex();
    if (current.isValid() && rows.containsIndex(quint64(current.row())))
        return current.row();
    return qint64(rows.lastIndex());
}

void PasteView::selectIndexes(const IndexSet& rows, bool byExtendingSelection) {
    if (!selectionModel())
        return;
    if (!byExtendingSelection)
        clearSelection();
    QItemSelection selection;
    for (const quint64 row : rows) {
        if (row < quint64(model()->rowCount()))
            selection.select(model()->index(int(row), 0), model()->index(int(row), 0));
    }
    selectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void PasteView::selectFirstRow() {
    scrollToTop();
    if (model()->rowCount() == 0)
        return;
    // Not through the table's own selection commands, which extend the selection while Shift
    // is down, as it is for a capital letter typed into the filter.
    selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
}

void PasteView::paste() {
    bool pasted = false;
    if (_sender->doPaste(pasted) && pasted && _applicationIns->bHide() == 1)
        window()->hide();
}

void PasteView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Find)) {
        _sender->openFilter();
        return;
    }
    if (typesIntoFilter(event)) {
        _sender->typeFilter(event->text());
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        _sender->changeSet(-1);
        return;
    case Qt::Key_Right:
        _sender->changeSet(+1);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Held down, the key repeats; only the first press counts, and the paste waits for
        // the release.
        if (!event->isAutoRepeat())
            _enterKeyDown = 1;
        return;
    case Qt::Key_Backspace:
        // Held down while it empties the filter, it stops there rather than go on to ask about
        // deleting clippings.
        if (_sender->eraseFilter() || (event->isAutoRepeat() && _sender->isFilterOpen()))
            return;
        _sender->deletePasteData();
        return;
    case Qt::Key_Delete:
        _sender->deletePasteData();
        return;
    default:
        QTableView::keyPressEvent(event);
    }
}

void PasteView::keyReleaseEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A repeating key sends a release before each repeated press; only the last counts.
        if (event->isAutoRepeat() || _enterKeyDown != 1)
            return;
        _enterKeyDown = 0;
        if (event->modifiers() & kCommandModifiers)
            Alert::beep();
        else
            paste();
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return;
    default:
        QTableView::keyReleaseEvent(event);
    }
}

void PasteView::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    // Taking the focus makes the first row current; with nothing selected the first Down must
    // select that row rather than move past it.
    if (selectionModel() && !selectionModel()->hasSelection())
        selectionModel()->clearCurrentIndex();
}

void PasteView::mousePressEvent(QMouseEvent* event) {
    _pressedAt = event->position().toPoint();
    QTableView::mousePressEvent(event);
}

void PasteView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The selection is the one the first click made; the second one only pastes.
    if (event->modifiers() & kCommandModifiers)
        Alert::beep();
    else
        paste();
}

void PasteView::mouseMoveEvent(QMouseEvent* event) {
    // The table first decides whether a drag may begin at all (a press on a selected row).
    if (state() != DraggingState) {
        QTableView::mouseMoveEvent(event);
        if (state() != DraggingState)
            return;
    }
    // Then the direction decides: sideways drags the rows, up or down selects them.
    const QPoint moved = event->position().toPoint() - _pressedAt;
    if (moved.manhattanLength() < QApplication::startDragDistance())
        return;
    if (qAbs(moved.y()) >= qAbs(moved.x()))
        setState(DragSelectingState);
    QTableView::mouseMoveEvent(event);
}

QModelIndex PasteView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    const int rows = model() ? model()->rowCount() : 0;
    if ((cursorAction != MoveHome && cursorAction != MoveEnd) || rows == 0)
        return QTableView::moveCursor(cursorAction, modifiers);
    const QModelIndex current = currentIndex();
    return model()->index(cursorAction == MoveHome ? 0 : rows - 1,
                          current.isValid() ? current.column() : 0);
}

void PasteView::startDrag(Qt::DropActions) {
    const IndexSet rows = selectedRowIndexes();
    if (rows.isEmpty())
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(_sender->writeRowsWithIndexes(rows));
    // Other programs take a copy; within the table a drop always moves the rows.
    _sender->setTableDragging(true);
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    _sender->setTableDragging(false);
}
