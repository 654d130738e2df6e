// The preferences window: filling it from the settings, taking its controls back into them, and
// the live preview of the paste window's look.
#include "app/MyObject.h"

#include "app/PreferencesWindow.h"
#include "platform/Alert.h"
#include "platform/Autostart.h"
#include "platform/FolderPanel.h"
#include "platform/Strings.h"
#include "window/PasteWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace {

constexpr int kFewestClippings = 1;
constexpr int kMostClippings = 100;

signed char stateOf(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

// The limit the field holds; nothing for anything but a whole number in range, so text, a
// fraction or a number too large for any integer is refused rather than read as something else.
std::optional<qint64> limitIn(const QLineEdit* field) {
    bool isNumber = false;
    const int limit = field->text().trimmed().toInt(&isNumber);
    if (!isNumber || limit < kFewestClippings || limit > kMostClippings)
        return std::nullopt;
    return limit;
}

// The data folder the field names, always absolute: a relative one would mean another folder
// whenever Kelvrin starts from another working folder, as it does at login. "~" stands for the
// home folder as in a shell, and any other relative path is taken from there too. An empty
// field is no data folder.
QString dataFolderIn(const QLineEdit* field) {
    const QString text = field->text();
    if (text.isEmpty() || QDir::isAbsolutePath(text))
        return text;
    if (text == u"~" || text.startsWith(u"~/"))
        return QDir::homePath() + text.mid(1);
    return QDir::homePath() + u'/' + text;
}

} // namespace

void MyObject::menuPreferences() {
    if (!_preferencesWindow)
        _preferencesWindow = std::make_unique<PreferencesWindow>(*this);
    PreferencesWindow& window = *_preferencesWindow;

    window.preferencesCommand()->setChecked(_bCommand == 1);
    window.preferencesControl()->setChecked(_bControl == 1);
    window.preferencesOption()->setChecked(_bOption == 1);
    window.preferencesShift()->setChecked(_bShift == 1);
    window.preferencesKey()->setCurrentIndex(
        _iKey >= 0 && _iKey < window.preferencesKey()->count() ? int(_iKey) : -1);
    window.preferencesLimits()->setText(QString::number(_iLimits));
    window.preferencesFolderText()->setText(_nssInitialFolder);
    window.preferencesUpdateFolder()->setChecked(_bUpdateFolder == 1);
    {
        // Filling a control is no change by the user: it previews and switches nothing.
        const QSignalBlocker quiet(window.preferencesBackHide());
        window.preferencesBackHide()->setChecked(_bBackHide);
    }
    preferencesBackHideChange();
    window.preferencesHide()->setChecked(_bHide == 1);
    window.preferencesAlwaysOnTop()->setChecked(_bAlwaysOnTop == 1);
    {
        const QSignalBlocker quietTransparency(window.preferencesTransparency());
        const QSignalBlocker quietHeight(window.preferencesHeightOfRow());
        window.preferencesTransparency()->setValue(double(_fTransparency));
        window.preferencesHeightOfRow()->setValue(double(_fHeightOfRow));
    }
    window.preferencesRecentlyTop()->setChecked(_bRecentlyTop == 1);
    window.preferencesKeepClipboard()->setChecked(_bKeepClipboard);
    window.preferencesAutosave()->setChecked(_bAutosave);
    window.startAtLogin()->setChecked(Autostart::isEnabled());

    window.show();
    window.raise();
    window.activateWindow();
}

void MyObject::preferencesOk() {
    if (!_preferencesWindow)
        return;
    PreferencesWindow& window = *_preferencesWindow;
    const std::optional<qint64> limit = limitIn(window.preferencesLimits());
    if (!limit) {
        Alert::beep();
        return;
    }

    const signed char command = stateOf(window.preferencesCommand());
    const signed char control = stateOf(window.preferencesControl());
    const signed char option = stateOf(window.preferencesOption());
    const signed char shift = stateOf(window.preferencesShift());
    // A stored key outside the table shows no choice; leaving it so changes nothing.
    const int choice = window.preferencesKey()->currentIndex();
    const qint64 key = choice >= 0 ? choice : _iKey;
    // Registering anew for an unchanged combination would leave a moment without a hot key.
    if (command != _bCommand || control != _bControl || option != _bOption || shift != _bShift ||
        key != _iKey) {
        _bCommand = command;
        _bControl = control;
        _bOption = option;
        _bShift = shift;
        _iKey = key;
        unInstallHotKey();
        makeHotKey();
    }

    _iLimits = *limit;
    _nssInitialFolder = dataFolderIn(window.preferencesFolderText());
    _bUpdateFolder = stateOf(window.preferencesUpdateFolder());
    _bHide = stateOf(window.preferencesHide());
    _bBackHide = window.preferencesBackHide()->isChecked();
    _bAlwaysOnTop = stateOf(window.preferencesAlwaysOnTop());
    _fTransparency = float(window.preferencesTransparency()->value());
    _fHeightOfRow = float(window.preferencesHeightOfRow()->value());
    _bRecentlyTop = stateOf(window.preferencesRecentlyTop());
    _bKeepClipboard = window.preferencesKeepClipboard()->isChecked();
    _bAutosave = window.preferencesAutosave()->isChecked();

    // The autostart entry is the setting itself; it is touched only when the user changed it.
    const bool startAtLogin = window.startAtLogin()->isChecked();
    QString erroString;
    if (startAtLogin != Autostart::isEnabled() && !Autostart::setEnabled(startAtLogin, erroString))
        Alert::run(Strings::localized(QStringLiteral("AutostartErrorTitle")), erroString,
                   Strings::localized(QStringLiteral("OKButton")));

    _pasteWindow->setWindowLevel(_bAlwaysOnTop);
    window.hide();
}

void MyObject::preferencesCancel() {
    if (_preferencesWindow)
        _preferencesWindow->hide();
    _pasteWindow->setViewHeight(_fHeightOfRow);
    _pasteWindow->setWindowTransparency(_fTransparency);
}

bool MyObject::windowShouldClose() {
    preferencesCancel();
    return true;
}

void MyObject::preferencesFolderButton() {
    if (!_preferencesWindow)
        return;
    QLineEdit* field = _preferencesWindow->preferencesFolderText();
    const std::optional<QString> folder = FolderPanel::run(
        Strings::localized(QStringLiteral("PreferencesFolderTitle")), dataFolderIn(field), true);
    if (folder)
        field->setText(*folder);
}

void MyObject::preferencesTransparencyChange() {
    if (!_preferencesWindow)
        return;
    _pasteWindow->setWindowTransparency(
        float(_preferencesWindow->preferencesTransparency()->value()));
}

void MyObject::preferencesHeightOfRowChange() {
    if (!_preferencesWindow)
        return;
    _pasteWindow->setViewHeight(float(_preferencesWindow->preferencesHeightOfRow()->value()));
}

void MyObject::preferencesBackHideChange() {
    if (!_preferencesWindow)
        return;
    PreferencesWindow& window = *_preferencesWindow;
    // Hiding the whole application in the background leaves nothing to hide after a paste, and
    // nothing to keep on top.
    const bool backHide = window.preferencesBackHide()->isChecked();
    for (QCheckBox* box : {window.preferencesHide(), window.preferencesAlwaysOnTop()}) {
        if (backHide)
            box->setChecked(false);
        box->setEnabled(!backHide && (box == window.preferencesHide() ||
                                      PreferencesWindow::alwaysOnTopOffered()));
    }
}
