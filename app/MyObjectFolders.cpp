// Saving all sets into a folder the user picks, and loading them from one.
#include "app/MyObject.h"

#include "app/PreferencesWindow.h"
#include "platform/Alert.h"
#include "platform/FolderPanel.h"
#include "platform/Strings.h"
#include "window/PasteWindow.h"

#include <QLineEdit>

namespace {

// With the update setting on, a folder the sets went into or came from is where they live from
// now on; an open preferences window shows it at once.
void becomeDataFolder(QString& dataFolder, PreferencesWindow* preferences, const QString& folder) {
    dataFolder = folder;
    if (preferences)
        preferences->preferencesFolderText()->setText(folder);
}

} // namespace

void MyObject::menuSave() {
    QString erroString;
    const std::optional<QString> folder =
        FolderPanel::run(Strings::localized(QStringLiteral("SaveSetTitle")), _nssWriteFolder, true);
    // An empty path names no folder: the save would quietly do nothing and succeed.
    if (!folder || folder->isEmpty())
        return;
    _nssWriteFolder = *folder;
    bool declined = false;
    if (!_pasteWindow->saveData(*folder, erroString, true, &declined)) {
        Alert::run(Strings::localized(QStringLiteral("SaveSetErrorTitle")),
                   Strings::localizedFormat(QStringLiteral("SaveSetErrorMessage"), {erroString}),
                   Strings::localized(QStringLiteral("OKButton")));
        return;
    }
    // The user kept the sets stored there: the folder still holds them and not ours, and a quit
    // must not replace them unasked.
    if (!declined && _bUpdateFolder == 1)
        becomeDataFolder(_nssInitialFolder, _preferencesWindow.get(), *folder);
}

void MyObject::menuLoad() {
    const std::optional<QString> folder =
        FolderPanel::run(Strings::localized(QStringLiteral("LoadSetTitle")), _nssReadFolder, false);
    if (!folder || folder->isEmpty())
        return;
    _nssReadFolder = *folder;
    _pasteWindow->pasteWindowOrderOut();
    const bool loaded = _pasteWindow->loadData(true, *folder);
    _pasteWindow->showPasteWindow();
    if (loaded && _bUpdateFolder == 1)
        becomeDataFolder(_nssInitialFolder, _preferencesWindow.get(), *folder);
}
