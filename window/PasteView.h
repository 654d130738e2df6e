#pragma once

#include "model/IndexSet.h"

#include <QTableView>
#include <functional>

class PasteWindow;
class PasteWindowDelegate;

// The clip table: one row per clipping of the current set. On top of a table's own keys and
// mouse it pastes when Return is released or a row is double-clicked, switches sets with Left
// and Right, deletes clippings with Backspace and Delete, drags rows, and hands what is typed
// to the filter. It decides nothing about clippings: every command goes to the controller.
class PasteView : public QTableView {
    Q_OBJECT
public:
    explicit PasteView(QWidget* parent = nullptr);

    // The controller that takes the commands and the application asked whether to hide after
    // a paste; both outlive the table.
    void setSender(PasteWindow* sender, PasteWindowDelegate* applicationIns);

    // Asks the data source for everything again.
    void reloadData();
    // Runs a change of the rows, after which the same row numbers are selected and current as
    // before, whatever clippings they show now: the table keeps its selection by number.
    void keepingRowNumbers(const std::function<void()>& change);
    qint64 numberOfSelectedRows() const;
    // The row selected last (the current one when it is selected); -1 when none is.
    qint64 selectedRow() const;
    IndexSet selectedRowIndexes() const;
    // Selects the rows one by one, after dropping the selection unless extending it.
    void selectIndexes(const IndexSet& rows, bool byExtendingSelection);
    // Selects the first row alone, and makes it current, whatever modifier keys are down.
    void selectFirstRow();

    // The modifiers that stop a paste: Shift, Control, Alt and Super. Caps Lock, Num Lock and
    // the keypad never do.
    static constexpr Qt::KeyboardModifiers kCommandModifiers =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

    void doItemsLayout() override;

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    // Home and End go to the first and the last row, as in the desktop's lists, rather than
    // along the row to its first and last column.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    // Rows that came in at the top since the last layout, whose neighbours' pixels were moved
    // down instead of being painted again (-1 when the next layout must paint everything), and
    // whether the number column stayed where it was.
    struct Moved {
        int rows = 0;
        bool numbersInPlace = false;
    };
    Moved _moved;
    // The height of that many rows, which all have the same height.
    int rowsHeight(int rows) const;
    // Pastes the selection and hides the window when the application asks for that.
    void paste();

    PasteWindow* _sender = nullptr;
    PasteWindowDelegate* _applicationIns = nullptr;
    signed char _enterKeyDown = 0;
    QPoint _pressedAt;
};
