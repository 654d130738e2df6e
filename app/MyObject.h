#pragma once

#include "app/PreferencesWindow.h"
#include "platform/InstanceChannel.h"
#include "platform/Processes.h"
#include "window/PasteWindowDelegate.h"

#include <QMenu>
#include <QObject>
#include <QRectF>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

class Defaults;
class Pasteboard;
class PasteData;
class PasteWindow;
class QAction;
class QWidget;

// The application controller: owns the settings, the paste window controller and the clipboard
// poll, answers the hot key, the menus and the command line, and wires them together at launch
// and quit.
class MyObject : public QObject, public PasteWindowDelegate {
    Q_OBJECT
public:
    static constexpr int kPollInterval = 200; // milliseconds

    MyObject(std::unique_ptr<Defaults> defaults, std::unique_ptr<Pasteboard> pasteboard);
    ~MyObject() override;

    void applicationWillFinishLaunching();
    // The user quits: 1 to quit now, 0 to keep running (the user chose to stay after a failed
    // save).
    unsigned applicationShouldTerminate();
    // The session ends (a signal, the session manager): nobody is left to answer, so every
    // panel closes with its safe answer and the quit goes on whatever happens.
    void sessionShouldTerminate();
    // The user quits (the Quit command, the command line): true when the quit was accepted and
    // the event loop is ending, false when the user chose to stay.
    bool quitByUser();
    // A signal or the session manager ends the session: quits without asking.
    void endSession();
    // Whether a quit was accepted; nothing asks the user any more once it was.
    bool isQuitting() const { return _quitting; }
    // A command of a second kelvrin, as the instance channel hands it over.
    InstanceChannel::Answer answerCommand(const QByteArray& request);
    // Saves the sets and the settings without asking anybody; a failed save is logged.
    void commitData();
    void applicationWillTerminate();

    // The poll: one look at the change count, and a capture when it moved; sets changed a few
    // seconds ago are saved (unless the autosave setting is off). When the owner went
    // away with a content the history's head was captured from, Kelvrin serves that clipping
    // in its place (unless the keep_clipboard setting is off).
    void pasteboardCheck();

    void LoadUserSettings();
    void SaveUserSettings();

    PasteWindow* pasteWindow() const { return _pasteWindow.get(); }
    Pasteboard& pasteboard() const { return *_pb; }

    // Settings read by the window side.
    QString nssInitialFolder() const override { return _nssInitialFolder; }
    qint64 iLimits() const override { return _iLimits; }
    const QRectF* ptrRectPasteWindow() const override { return &_rectPasteWindow; }
    qint64 iPasteMode() const override { return _iPasteMode; }
    signed char bHide() const override { return _bHide; }
    signed char bAlwaysOnTop() const override { return _bAlwaysOnTop; }
    float fTransparency() const override { return _fTransparency; }
    float fHeightOfRow() const override { return _fHeightOfRow; }
    signed char bRecentlyTop() const override { return _bRecentlyTop; }

    bool doPasteCommand(const PasteData& data) override;
    bool frontmostSendPSN() override;

    // The hot key: registered from the settings; a press in another application remembers it
    // as the target and brings the paste window up titled with its name, a press with no
    // application in front does the same for the desktop. The paste-window command that a
    // desktop's own key binding runs does what a press does.
    void makeHotKey();
    // The hot key's modifier mask from the four settings; a flag counts only when it is 1.
    quint16 hotKeyModifiers() const;
    // The window in front comes with the press where the hot key's backend saw it; otherwise it
    // is asked for.
    void pressHotKey(const Processes::Activation& activation,
                     std::optional<Processes::Application> seen = std::nullopt);
    // The target: the application a chosen clipping is pasted into.
    void resetSendPSN() { _sendPSN.reset(); }
    const std::optional<Processes::Application>& sendPSN() const { return _sendPSN; }

    // Menu commands, from the paste window's menu bar and the tray icon's menu. Set and
    // clipping commands forward to the paste window (MyObjectMenus.cpp); saving and loading the
    // sets by folder (MyObjectFolders.cpp) and the preferences (MyObjectPreferences.cpp) are
    // our own.
    void menuAddSet();
    void menuDeleteSet();
    void menuSave();
    void menuLoad();
    void menuDeleteData();
    void menuSelectAllData();
    void menuShowWindow();
    void menuPreferences();
    // Whether the menu item can act now: the set and clipping commands only while the paste
    // window is up without a sheet, showing the window only while it is hidden. Asked before a
    // menu opens, before a shortcut is matched and again before an item acts.
    bool validateMenuItem(const QAction* item) const;
    // The icon in the desktop's system tray, with the same commands in its menu.
    QSystemTrayIcon* statusItem() const { return _statusItem.get(); }

    // The preferences window's actions: OK takes the controls into the settings, Cancel and the
    // close button drop them; the opacity and row-height controls preview on the paste window.
    void preferencesOk();
    void preferencesCancel();
    bool windowShouldClose();
    void preferencesFolderButton();
    void preferencesTransparencyChange();
    void preferencesHeightOfRowChange();
    void preferencesBackHideChange();
    // Null until the preferences are first opened.
    PreferencesWindow* preferencesWindow() const { return _preferencesWindow.get(); }

    // This application coming to the front shows the paste window, unless another of its
    // windows is up; going to the background forgets the target.
    void applicationWillBecomeActive();
    void applicationWillResignActive();
    // Whether no visible window but the paste window (and, with the flag, the preferences
    // window) is up; otherwise the first other one found is left in window.
    bool showOnlyPasteWindow(bool flag, QWidget*& window) const;

    // The remaining settings, for the parts of the application that use them.
    signed char bCommand() const { return _bCommand; }
    signed char bControl() const { return _bControl; }
    signed char bOption() const { return _bOption; }
    signed char bShift() const { return _bShift; }
    qint64 iKey() const { return _iKey; }
    signed char bUpdateFolder() const { return _bUpdateFolder; }
    bool bBackHide() const { return _bBackHide; }
    bool bKeepClipboard() const { return _bKeepClipboard; }
    bool bAutosave() const { return _bAutosave; }
    QString nssWriteFolder() const { return _nssWriteFolder; }
    QString nssReadFolder() const { return _nssReadFolder; }

private:
    void unInstallHotKey();
    // A new user is offered a data folder in the paste window, without being held up by it.
    // Keeping makes $XDG_DATA_HOME/kelvrin the data folder; either answer is stored at once, so
    // that a crash before the quit neither loses it nor brings the offer back.
    void offerDataFolder();
    void answerDataFolderOffer(bool keep);
    // The folder the sets live in from now on; an open preferences window shows it at once.
    void becomeDataFolder(const QString& folder);
    // Writes the stored settings out; a failure is logged, and the next write tries again.
    void synchronizeSettings(const char* method);
    void storeDataFolderChoice();
    // Our top-level windows the user works in, shown or not: the tray icon is none of them.
    static QList<QWidget*> userWindows();
    using MenuCommand = void (MyObject::*)();
    // The paste window's menu bar and the tray icon share one set of actions, so that one
    // validation covers both (MyObjectMenus.cpp, MyObjectTray.cpp).
    void makeMenus();
    void makeStatusItem(const QList<QAction*>& items);
    // The items in the desktop's own place for them; false where it has none.
    bool showIndicator(const QList<QAction*>& items);
    bool describeIndicator();
    void validateMenuItems();
    // The clippings of the set of that name (the history when empty) as JSON lines.
    InstanceChannel::Answer listSet(const QString& name) const;
    // The window to bring up for the user: the paste window, or another one of ours in front.
    QWidget* windowToActivate();
    // Puts a clipping on the clipboard as a paste does, and with alsoPrimary into the primary
    // selection too; our own write is no new content for the history. False when the clipping
    // has nothing to write.
    bool writeToPasteboard(const PasteData& data, bool alsoPrimary = false);
    // Serves the clipping the content gone with its owner was captured as, once no picture is
    // still on its way into the history.
    void keepGoneContent();

    using SettingField = std::variant<signed char*, bool*, qint64*, float*, QString*, double*>;
    // Every stored setting with the field it fills, in reading order; the window frame goes
    // through the four doubles given.
    std::vector<std::pair<const char*, SettingField>> settingFields(double frame[4]);

    std::unique_ptr<Defaults> _defaults;
    std::unique_ptr<Pasteboard> _pb;
    std::unique_ptr<PasteWindow> _pasteWindow;
    qint64 _pbCount = 0;
    // The change count of a content gone with its owner, still to be served.
    std::optional<qint64> _goneContent;
    QTimer _timer;
    // The application the user came from, by its window, or the desktop; absent when none is
    // remembered.
    std::optional<Processes::Application> _sendPSN;
    bool _quitting = false;
    // Runs from a press of the hot key until we are active, or at most kActivationSettles: a
    // late notice of an earlier loss of the focus must not forget the target just remembered.
    QTimer _comingToFront;
    static constexpr int kActivationSettles = 1000; // milliseconds
    void activationSettled();
    std::unique_ptr<PreferencesWindow> _preferencesWindow;
    // Each menu action with the command it stands for; Quit stands for none.
    std::vector<std::pair<QAction*, MenuCommand>> _menuItems;
    std::unique_ptr<QMenu> _statusMenu;
    std::unique_ptr<QSystemTrayIcon> _statusItem;
    // The tray menu's items, in the desktop's own place for them.
    QList<QAction*> _indicatorItems;

    signed char _bCommand = 0;
    signed char _bControl = 1;
    signed char _bOption = 0;
    signed char _bShift = 0;
    qint64 _iKey = 1;
    qint64 _iLimits = 100;
    QString _nssInitialFolder;
    signed char _bUpdateFolder = 1;
    signed char _bHide = 1;
    bool _bBackHide = false;
    bool _bKeepClipboard = true;
    bool _bAutosave = true;
    // The data folder is still to be offered: the user has not answered the offer yet.
    bool _bOfferDataFolder = false;
    signed char _bAlwaysOnTop = 0;
    float _fTransparency = 1.0f;
    float _fHeightOfRow = 16.0f;
    signed char _bRecentlyTop = 0;
    QString _nssWriteFolder;
    QString _nssReadFolder;
    qint64 _iPasteMode = 0;
    QRectF _rectPasteWindow{100.0, 100.0, 325.0, 285.0};
};
