#pragma once

#include "platform/WindowHints.h"

#include <QWidget>
#include <memory>

namespace Ui {
class PasteWin;
}
class PasteWindowDelegate;
class PasteView;
class QComboBox;
class QLineEdit;
class QMenuBar;

// The paste window's widget: the window itself, its controls from its interface file; the
// controller (PasteWindow) decides what they do.
class PasteWin : public QWidget {
    Q_OBJECT
public:
    explicit PasteWin(QWidget* parent = nullptr);
    ~PasteWin() override;

    void initWindow(PasteWindowDelegate* applicationIns);

    QComboBox* list() const;
    QComboBox* status() const;
    PasteView* table() const;
    // The filter field above the table. It never takes the keyboard: the table hands it what
    // is typed. Escape empties and closes it, and so does hiding the window.
    QLineEdit* filter() const;
    void openFilter();
    void typeIntoFilter(const QString& text);
    // Takes the character before the end off; false when the field is empty.
    bool eraseFromFilter();
    bool isFilterOpen() const;
    // The offer to keep the clipboard history in a data folder: a line above the table with a
    // button to keep it there and one to decline. It waits for an answer without holding
    // anything up, and its buttons never take the keyboard from the table on a click.
    void offerDataFolder(const QString& folder);
    void endDataFolderOffer();
    // The application's menus, above the controls; the window owns the bar from then on.
    void setMenuBar(QMenuBar* menuBar);

    // Above other windows or not; a shown window stays shown.
    void setAlwaysOnTop(bool alwaysOnTop);
    // Every show puts the window on every workspace, out of the task bar and the pager.
    void setVisible(bool visible) override;

signals:
    // The window went out of view, whatever hid it.
    void hidden();
    // A button of the data folder offer was pressed: keep is true for keeping the history there.
    void dataFolderOfferAnswered(bool keep);

protected:
    // Closing the window leaves it, as Escape does; Kelvrin goes on in the background.
    void closeEvent(QCloseEvent* event) override;
    // Return in the set or the paste-mode box is Return in the table: a mode chosen from the
    // keyboard pastes at once, without a click back into the table.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void escapeKeyDown();
    // Empties and closes the filter field; false when it was not open.
    bool closeFilter();

    std::unique_ptr<Ui::PasteWin> _ui;
    PasteWindowDelegate* _applicationIns = nullptr;
    WindowHints _desktop{this};
};
