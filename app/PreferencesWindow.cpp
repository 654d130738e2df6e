#include "app/PreferencesWindow.h"

#include "app/MyObject.h"
#include "platform/HotKey.h"
#include "platform/WindowHints.h"
#include "ui_PreferencesWindow.h"

#include <QCloseEvent>

namespace {

// X names the arrow keys with English words; the other keys of the table are digits, letters
// and F-keys, which read the same in every language.
constexpr const char* kArrowKeys[] = {QT_TRANSLATE_NOOP("PreferencesWindow", "Up"),
                                      QT_TRANSLATE_NOOP("PreferencesWindow", "Down"),
                                      QT_TRANSLATE_NOOP("PreferencesWindow", "Left"),
                                      QT_TRANSLATE_NOOP("PreferencesWindow", "Right")};

QString keyName(quint8 keyCode) {
    const QString name = HotKey::describe(keyCode, 0);
    for (const char* arrow : kArrowKeys)
        if (name == QLatin1String(arrow))
            return PreferencesWindow::tr(arrow);
    return name;
}

} // namespace

PreferencesWindow::PreferencesWindow(MyObject& owner)
    : _ui(std::make_unique<Ui::PreferencesWindow>()), _owner(owner) {
    _ui->setupUi(this);
    for (int choice = 0; choice < int(gKeyTable.size()); ++choice)
        _ui->_preferencesKey->addItem(keyName(*HotKey::keyCode(choice)));
    showHowTheHotKeyWorks();
    if (!alwaysOnTopOffered())
        _ui->_preferencesAlwaysOnTop->setToolTip(
            tr("Wayland gives a program no way to keep its window above the others."));

    connect(_ui->okButton, &QPushButton::clicked, &_owner, &MyObject::preferencesOk);
    connect(_ui->cancelButton, &QPushButton::clicked, &_owner, &MyObject::preferencesCancel);
    connect(_ui->folderButton, &QPushButton::clicked, &_owner, &MyObject::preferencesFolderButton);
    // Every step of the controls previews at once, typed or stepped.
    connect(_ui->_preferencesTransparency, &QDoubleSpinBox::valueChanged, &_owner,
            &MyObject::preferencesTransparencyChange);
    connect(_ui->_preferencesHeightOfRow, &QDoubleSpinBox::valueChanged, &_owner,
            &MyObject::preferencesHeightOfRowChange);
    connect(_ui->_preferencesBackHide, &QCheckBox::toggled, &_owner,
            &MyObject::preferencesBackHideChange);
}

PreferencesWindow::~PreferencesWindow() = default;

QCheckBox* PreferencesWindow::preferencesCommand() const {
    return _ui->_preferencesCommand;
}
QCheckBox* PreferencesWindow::preferencesControl() const {
    return _ui->_preferencesControl;
}
QCheckBox* PreferencesWindow::preferencesOption() const {
    return _ui->_preferencesOption;
}
QCheckBox* PreferencesWindow::preferencesShift() const {
    return _ui->_preferencesShift;
}
QComboBox* PreferencesWindow::preferencesKey() const {
    return _ui->_preferencesKey;
}
QLineEdit* PreferencesWindow::preferencesLimits() const {
    return _ui->_preferencesLimits;
}
QLineEdit* PreferencesWindow::preferencesFolderText() const {
    return _ui->_preferencesFolderText;
}
QCheckBox* PreferencesWindow::preferencesUpdateFolder() const {
    return _ui->_preferencesUpdateFolder;
}
QCheckBox* PreferencesWindow::preferencesHide() const {
    return _ui->_preferencesHide;
}
QCheckBox* PreferencesWindow::preferencesBackHide() const {
    return _ui->_preferencesBackHide;
}
QCheckBox* PreferencesWindow::preferencesAlwaysOnTop() const {
    return _ui->_preferencesAlwaysOnTop;
}
QDoubleSpinBox* PreferencesWindow::preferencesTransparency() const {
    return _ui->_preferencesTransparency;
}
QDoubleSpinBox* PreferencesWindow::preferencesHeightOfRow() const {
    return _ui->_preferencesHeightOfRow;
}
QCheckBox* PreferencesWindow::preferencesRecentlyTop() const {
    return _ui->_preferencesRecentlyTop;
}

QCheckBox* PreferencesWindow::preferencesKeepClipboard() const {
    return _ui->_preferencesKeepClipboard;
}

QCheckBox* PreferencesWindow::preferencesAutosave() const {
    return _ui->_preferencesAutosave;
}
QCheckBox* PreferencesWindow::startAtLogin() const {
    return _ui->startAtLogin;
}
QPushButton* PreferencesWindow::okButton() const {
    return _ui->okButton;
}
QPushButton* PreferencesWindow::cancelButton() const {
    return _ui->cancelButton;
}
QPushButton* PreferencesWindow::folderButton() const {
    return _ui->folderButton;
}

bool PreferencesWindow::alwaysOnTopOffered() {
    return WindowHints::canKeepAbove();
}

void PreferencesWindow::showHowTheHotKeyWorks() {
    if (HotKey::canGrab()) {
        _ui->hotKeyNote->setText(
            tr("Pressed in any program, it brings up the paste window for that program. A key "
               "binding of your desktop's own may run \"kelvrin --paste-window\" instead."));
        return;
    }
    // The combination is kept for the X11 sessions the user may also start.
    for (QWidget* control : {static_cast<QWidget*>(_ui->_preferencesControl),
                             static_cast<QWidget*>(_ui->_preferencesOption),
                             static_cast<QWidget*>(_ui->_preferencesShift),
                             static_cast<QWidget*>(_ui->_preferencesCommand),
                             static_cast<QWidget*>(_ui->_preferencesKey)})
        control->setEnabled(false);
    _ui->hotKeyNote->setText(
        tr("Wayland lets no program take a key for itself: bind a key of your compositor to "
           "\"kelvrin --paste-window\" (the README shows the lines for sway, Hyprland and "
           "KDE)."));
}

void PreferencesWindow::reject() {
    _owner.preferencesCancel();
}

void PreferencesWindow::closeEvent(QCloseEvent* event) {
    if (_owner.windowShouldClose())
        event->accept();
    else
        event->ignore();
}
