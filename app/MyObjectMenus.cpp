// The menu commands: the paste window's menu bar, the commands it forwards to the paste window,
// and which of them can act at a given moment.
#include "app/MyObject.h"

#include "platform/Processes.h"
#include "platform/Strings.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenuBar>
#include <algorithm>
#include <functional>

namespace {

// Runs its function whenever a key is about to be matched against the shortcuts, anywhere in
// the application: the enabled states are brought up to date first, so that a command that
// cannot act leaves the key to the focused control instead of swallowing it.
class ShortcutWatch : public QObject {
public:
    ShortcutWatch(std::function<void()> before, QObject* parent)
        : QObject(parent), _before(std::move(before)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride)
            _before();
        return false;
    }

private:
    std::function<void()> _before;
};

} // namespace

void MyObject::menuAddSet() {
    _pasteWindow->addSet();
}

void MyObject::menuDeleteSet() {
    _pasteWindow->deleteSet();
}

void MyObject::menuDeleteData() {
    _pasteWindow->deletePasteData();
}

void MyObject::menuSelectAllData() {
    _pasteWindow->selectAllPasteData();
}

void MyObject::menuShowWindow() {
    _pasteWindow->showPasteWindow();
    // Asked for from the tray, whose icon and menu the window manager does not count as a
    // window the user works in: without a time of its own the request may be turned down as
    // focus stealing, and the window would come up without the keyboard.
    Processes::activate(_pasteWindow->getWindow());
}

bool MyObject::validateMenuItem(const QAction* item) const {
    const auto found = std::find_if(_menuItems.begin(), _menuItems.end(),
                                    [item](const auto& entry) { return entry.first == item; });
    const MenuCommand action = found != _menuItems.end() ? found->second : nullptr;
    // The first rule that names the command decides.
    if (action == &MyObject::menuAddSet || action == &MyObject::menuDeleteData)
        return _pasteWindow->isWindowAccepted() && _pasteWindow->selectedRows() > 0;
    if (action == &MyObject::menuDeleteSet)
        return _pasteWindow->isWindowAccepted() &&
               _pasteWindow->numberOfSetsWithoutPasteBoardHistory() != 0;
    if (action == &MyObject::menuSave || action == &MyObject::menuLoad ||
        action == &MyObject::menuSelectAllData)
        return _pasteWindow->isWindowAccepted();
    if (action == &MyObject::menuShowWindow)
        return !_pasteWindow->isWindowVisible();
    return true;
}

void MyObject::validateMenuItems() {
    for (const auto& [action, command] : _menuItems)
        action->setEnabled(validateMenuItem(action));
}

void MyObject::makeMenus() {
    auto item = [this](const char* key, MenuCommand command, const QKeySequence& shortcut = {}) {
        auto* action = new QAction(Strings::localized(QString::fromLatin1(key)), this);
        action->setObjectName(QString::fromLatin1(key));
        action->setShortcut(shortcut);
        // A shortcut or a menu that was validated a moment ago may be out of date by now (a
        // global menu bar is drawn by another program): the command is asked once more.
        connect(action, &QAction::triggered, this, [this, action, command] {
            if (!validateMenuItem(action))
                return;
            if (command)
                (this->*command)();
            else
                quitByUser();
        });
        _menuItems.emplace_back(action, command);
        return action;
    };
    QAction* save = item("MenuSave", &MyObject::menuSave, Qt::CTRL | Qt::Key_S);
    QAction* load = item("MenuLoad", &MyObject::menuLoad, Qt::CTRL | Qt::Key_O);
    QAction* preferences =
        item("MenuPreferences", &MyObject::menuPreferences, Qt::CTRL | Qt::Key_Comma);
    QAction* quit = item("MenuQuit", nullptr, Qt::CTRL | Qt::Key_Q);
    QAction* selectAll =
        item("MenuSelectAllData", &MyObject::menuSelectAllData, Qt::CTRL | Qt::Key_A);
    QAction* deleteData = item("MenuDeleteData", &MyObject::menuDeleteData);
    // Delete and Backspace already delete in the table; the menu only reminds of them.
    deleteData->setText(deleteData->text() + u'\t' +
                        QKeySequence(Qt::Key_Delete).toString(QKeySequence::NativeText));
    QAction* addSet = item("MenuAddSet", &MyObject::menuAddSet, Qt::CTRL | Qt::Key_D);
    QAction* deleteSet = item("MenuDeleteSet", &MyObject::menuDeleteSet);
    QAction* showWindow = item("MenuShowWindow", &MyObject::menuShowWindow);

    auto* bar = new QMenuBar;
    auto menu = [this, bar](const char* key, const QList<QList<QAction*>>& groups) {
        QMenu* menu = bar->addMenu(Strings::localized(QString::fromLatin1(key)));
        menu->setObjectName(QString::fromLatin1(key));
        for (const QList<QAction*>& group : groups) {
            if (!menu->isEmpty())
                menu->addSeparator();
            menu->addActions(group);
        }
        connect(menu, &QMenu::aboutToShow, this, &MyObject::validateMenuItems);
    };
    menu("MenuFile", {{save, load}, {preferences}, {quit}});
    menu("MenuEdit", {{selectAll, deleteData}, {addSet, deleteSet}});
    menu("MenuWindow", {{showWindow}});
    _pasteWindow->getWindow()->setMenuBar(bar);

    makeStatusItem({showWindow, nullptr, selectAll, deleteData, addSet, deleteSet, nullptr, save,
                    load, nullptr, preferences, nullptr, quit});
    qApp->installEventFilter(new ShortcutWatch([this] { validateMenuItems(); }, this));
    validateMenuItems();
}
