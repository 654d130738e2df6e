// Acting on whole sets and on the selection: stepping through the sets, copying clippings
// into a set, deleting a set and its file, deleting and selecting clippings.
#include "window/PasteWindow.h"

#include "formats/SetFiles.h"
#include "platform/Alert.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "ui_SetDeleteWindow.h"
#include "ui_SetSelectWindow.h"
#include "window/PasteTableModel.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <cerrno>

namespace {

// The sheets' return codes.
constexpr int kSheetOk = 0;
constexpr int kSheetCancel = 1;

// A combo box lists at most ten sets at once.
int visibleItems(size_t sets) {
    return int(std::min<size_t>(sets, 10));
}

QDialog* makeSheet(QWidget* window) {
    auto* sheet = new QDialog(window);
    sheet->setWindowModality(Qt::WindowModal);
    return sheet;
}

} // namespace

void PasteWindow::buildSheets() {
    _setSelectWindow = makeSheet(_window.get());
    Ui::SetSelectWindow select;
    select.setupUi(_setSelectWindow);
    _setSelectCombo = select._setSelectCombo;
    // A name is taken as typed: the combo never adds it to its own list.
    _setSelectCombo->setInsertPolicy(QComboBox::NoInsert);
    connect(select.okButton, &QPushButton::clicked, this, &PasteWindow::setSelectWindowOk);
    connect(select.cancelButton, &QPushButton::clicked, this, &PasteWindow::setSelectWindowCancel);
    connect(_setSelectWindow, &QDialog::finished, this, &PasteWindow::sheetSelectDidEnd);

    _setDeleteWindow = makeSheet(_window.get());
    Ui::SetDeleteWindow remove;
    remove.setupUi(_setDeleteWindow);
    _setDeleteCombo = remove._setDeleteCombo;
    _setDeleteCheck = remove._setDeleteCheck;
    connect(remove.okButton, &QPushButton::clicked, this, &PasteWindow::setDeleteWindowOk);
    connect(remove.cancelButton, &QPushButton::clicked, this, &PasteWindow::setDeleteWindowCancel);
    connect(_setDeleteWindow, &QDialog::finished, this, &PasteWindow::sheetDeleteDidEnd);
}

void PasteWindow::showSet(int index) {
    const QSignalBlocker quiet(_list);
    _list->setCurrentIndex(index);
    _table->reloadData();
}

void PasteWindow::changeSet(int step) {
    const int count = _list->count();
    int target = _list->currentIndex() + step;
    if (target < 0)
        target = count - 1;
    else if (target >= count)
        target = 0;
    showSet(target);
}

qint64 PasteWindow::setIndexForSelectItem(int item) const {
    const qint64 current = _list->currentIndex();
    return current == 0 || item + 1 < current ? item + 1 : item + 2;
}

void PasteWindow::beginSheet(QDialog* sheet) {
    _bShowSheet = 1;
    _openSheet = sheet;
    sheet->open();
}

void PasteWindow::endSheet() {
    _bShowSheet = 0;
    _openSheet = nullptr;
    takeFocusBack();
}

void PasteWindow::cancelOpenSheet() {
    if (_openSheet)
        _openSheet->done(kSheetCancel);
}

void PasteWindow::addSet() {
    // The name typed last time stays, ready to be used again.
    const QString typed = _setSelectCombo->currentText();
    _setSelectCombo->clear();
    for (size_t set = 1; set < _pasteArray.size(); ++set) {
        if (int(set) != _list->currentIndex())
            _setSelectCombo->addItem(_pasteArray[set]->name());
    }
    _setSelectCombo->setMaxVisibleItems(visibleItems(_pasteArray.size()));
    _setSelectCombo->setCurrentIndex(-1);
    _setSelectCombo->setEditText(typed);
    beginSheet(_setSelectWindow);
}

void PasteWindow::setSelectWindowOk() {
    const QString name = _setSelectCombo->currentText();
    if (name.startsWith(kHistoryName)) {
        Log::write(Strings::format(QStringLiteral("warning*** :[addSet] input[%@] isn't allowed!"),
                                   {name}));
        Alert::beep();
        return;
    }
    PasteSet* current = currentSet();
    qint64 target = -1;
    if (name.isEmpty()) {
        if (_setSelectCombo->currentIndex() < 0) {
            Alert::beep();
            return;
        }
        target = setIndexForSelectItem(_setSelectCombo->currentIndex());
    } else if (current && name == current->name()) {
        Alert::beep();
        return;
    } else if (const int item = _setSelectCombo->findText(name, Qt::MatchExactly); item >= 0) {
        target = setIndexForSelectItem(item);
    } else if (!canNameNewSet(name)) {
        // A set whose file could never be written would make every later save fail; one in
        // another set's file would overwrite that set's clippings.
        Alert::beep();
        return;
    }

    if (target >= 0) {
        copySelectionInto(*_pasteArray[size_t(target)]);
    } else if (std::unique_ptr<PasteSet> created = PasteSet::init(name)) {
        copySelectionInto(*created);
        _pasteArray.push_back(std::move(created));
        const QSignalBlocker quiet(_list);
        _list->addItem(name);
    } else {
        Alert::run(Strings::localized(QStringLiteral("AddSetTitle")),
                   Strings::localizedFormat(QStringLiteral("AddSetMessage1"),
                                            {quint64(_pasteArray.size()), errno}),
                   Strings::localized(QStringLiteral("OKButton")));
    }
    _setSelectWindow->done(kSheetOk);
}

// Copies are inserted at the head one by one from the last selected row up, so they keep the
// order they have in the current set.
void PasteWindow::copySelectionInto(PasteSet& target) {
    const PasteSet* current = currentSet();
    const IndexSet rows = selectedSetRows();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        const PasteData* clipping = current ? current->getDataAtIndex(*row) : nullptr;
        if (clipping && !target.copyAddData(*clipping)) {
            Alert::run(Strings::localized(QStringLiteral("AddSetTitle")),
                       Strings::localizedFormat(QStringLiteral("AddSetMessage2"),
                                                {quint64(_pasteArray.size()), errno}),
                       Strings::localized(QStringLiteral("OKButton")));
            break;
        }
    }
    trimToLimit(target);
    target.reNumber();
}

void PasteWindow::setSelectWindowCancel() {
    _setSelectWindow->done(kSheetCancel);
}

void PasteWindow::sheetSelectDidEnd(int) {
    endSheet();
}

void PasteWindow::takeFocusBack() {
    // Some window managers (openbox) give the focus to no window when a dialog closes; without
    // it the table's keys would go nowhere until the user clicks the window.
    if (_window->isVisible())
        _window->activateWindow();
}

void PasteWindow::deleteSet() {
    _setDeleteCombo->clear();
    for (size_t set = 1; set < _pasteArray.size(); ++set)
        _setDeleteCombo->addItem(_pasteArray[set]->name());
    _setDeleteCombo->setMaxVisibleItems(visibleItems(_pasteArray.size()));
    _setDeleteCombo->setCurrentIndex(-1);
    beginSheet(_setDeleteWindow);
}

void PasteWindow::setDeleteWindowOk() {
    const int item = _setDeleteCombo->currentIndex();
    if (item < 0) {
        Alert::beep();
        return;
    }
    const int doomed = item + 1;
    const PasteSet& set = *_pasteArray[size_t(doomed)];
    const QString folder = _applicationIns->nssInitialFolder();
    if (_setDeleteCheck->isChecked() && !folder.isEmpty()) {
        const QString path = SetFiles::setFilePath(folder, set.name());
        // Only a file of this folder is ever removed, whatever the name says, and never one
        // that holds another set too.
        if (SetFiles::isStorableSetName(set.name()) && !isSetFileTaken(set.name(), &set)) {
            Log::write(Strings::format(
                QStringLiteral("information:[setDeleteWindowOk] [remove file=%@]"), {path}));
            QFile::remove(path);
        }
    }
    const int current = _list->currentIndex();
    {
        const QSignalBlocker quiet(_list);
        _list->removeItem(doomed);
        _pasteArray.erase(_pasteArray.begin() + doomed);
    }
    if (current == doomed)
        showSet(0);
    else if (current > doomed)
        showSet(current - 1);
    _setDeleteWindow->done(kSheetOk);
}

void PasteWindow::setDeleteWindowCancel() {
    _setDeleteWindow->done(kSheetCancel);
}

void PasteWindow::sheetDeleteDidEnd(int) {
    endSheet();
}

void PasteWindow::deletePasteData() {
    if (selectedSetRows().isEmpty())
        return;
    const int answer =
        Alert::run(Strings::localized(QStringLiteral("DeleteDataTitle")),
                   Strings::localized(QStringLiteral("DeleteDataMessage")),
                   Strings::localized(QStringLiteral("DeleteDataButtion1")),
                   Strings::localized(QStringLiteral("DeleteDataButtion2")), Alert::DefaultReturn);
    if (answer == Alert::DefaultReturn)
        return;
    // The rows as they are now, after whatever came and went while the user answered.
    if (PasteSet* set = currentSet())
        set->removeData(selectedSetRows());
    _table->clearSelection();
    _table->reloadData();
}

void PasteWindow::selectAllPasteData() {
    _table->selectAll();
}
