// The data folder: offered to a new user, and taken from a folder the user saves all sets into
// or loads them from.
#include "app/MyObject.h"

#include "app/PreferencesWindow.h"
#include "platform/Alert.h"
#include "platform/BaseDirectories.h"
#include "platform/FolderPanel.h"
#include "platform/Strings.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QLineEdit>

namespace {

// Where the desktop keeps a user's own data.
QString offeredDataFolder() {
    return BaseDirectories::dataHome() + QStringLiteral("/kelvrin");
}

} // namespace

void MyObject::becomeDataFolder(const QString& folder) {
    _nssInitialFolder = folder;
    if (_preferencesWindow)
        _preferencesWindow->preferencesFolderText()->setText(folder);
}

void MyObject::offerDataFolder() {
    PasteWin* window = _pasteWindow->getWindow();
    window->offerDataFolder(offeredDataFolder());
    connect(window, &PasteWin::dataFolderOfferAnswered, this, &MyObject::answerDataFolderOffer);
}

void MyObject::answerDataFolderOffer(bool keep) {
    if (keep) {
        const QString folder = offeredDataFolder();
        QString erroString;
        // Made now, private to the user, so that the next launch finds a new data folder there
        // even when no save came first. One that cannot be made leaves the offer standing.
        if (!_pasteWindow->createDirectoriesAtPath(folder, std::nullopt, erroString)) {
            Alert::run(
                Strings::localized(QStringLiteral("SaveSetErrorTitle")),
                Strings::localizedFormat(QStringLiteral("SaveSetErrorMessage"), {erroString}),
                Strings::localized(QStringLiteral("OKButton")));
            return;
        }
        becomeDataFolder(folder);
    }
    _bOfferDataFolder = false;
    _pasteWindow->getWindow()->endDataFolderOffer();
    storeDataFolderChoice();
}

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
        becomeDataFolder(*folder);
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
    // With the update setting on, a folder the sets came from is where they live from now on.
    if (loaded && _bUpdateFolder == 1)
        becomeDataFolder(*folder);
}
