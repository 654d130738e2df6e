#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class PreferencesWindow;
}
class MyObject;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;

// The preferences window. Its controls come from its interface file and are named after the
// settings they edit; what they do is the application's: every action, Escape and the close
// button go to MyObject, which fills the controls and takes their values.
class PreferencesWindow : public QDialog {
    Q_OBJECT
public:
    explicit PreferencesWindow(MyObject& owner);
    ~PreferencesWindow() override;

    QCheckBox* preferencesCommand() const;
    QCheckBox* preferencesControl() const;
    QCheckBox* preferencesOption() const;
    QCheckBox* preferencesShift() const;
    // One entry per key of the hot-key table, in its order.
    QComboBox* preferencesKey() const;
    QLineEdit* preferencesLimits() const;
    QLineEdit* preferencesFolderText() const;
    QCheckBox* preferencesUpdateFolder() const;
    QCheckBox* preferencesHide() const;
    QCheckBox* preferencesBackHide() const;
    QCheckBox* preferencesAlwaysOnTop() const;
    QDoubleSpinBox* preferencesTransparency() const;
    QDoubleSpinBox* preferencesHeightOfRow() const;
    QCheckBox* preferencesRecentlyTop() const;
    QCheckBox* preferencesKeepClipboard() const;
    QCheckBox* preferencesAutosave() const;
    QCheckBox* startAtLogin() const;
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;
    QPushButton* folderButton() const;

    // Whether the window system lets a window stay above the others; the box is disabled, with
    // a tool tip that says why, where it does not.
    static bool alwaysOnTopOffered();

    // Escape.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Tells how a key brings the paste window up on this session: the combination chosen here,
    // or a key binding of the desktop's own running the paste-window command.
    void showHowTheHotKeyWorks();

    std::unique_ptr<Ui::PreferencesWindow> _ui;
    MyObject& _owner;
};
