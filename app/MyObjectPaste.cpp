// The hot key and the paste: remembering the application the user came from, bringing the
// paste window up, and delivering the chosen clipping back into that application.
#include "app/MyObject.h"

#include "app/MainApplication.h"
#include "model/PasteData.h"
#include "platform/Alert.h"
#include "platform/KeyEvents.h"
#include "platform/Pasteboard.h"
#include "platform/Strings.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QWindow>

quint16 MyObject::hotKeyModifiers() const {
    quint16 mask = 0;
    if (_bCommand == 1)
        mask += HotKey::CommandKey;
    if (_bControl == 1)
        mask += HotKey::ControlKey;
    if (_bOption == 1)
        mask += HotKey::OptionKey;
    if (_bShift == 1)
        mask += HotKey::ShiftKey;
    return mask;
}

void MyObject::makeHotKey() {
    const std::optional<quint8> keyCode = HotKey::keyCode(int(_iKey));
    MainApplication* application = MainApplication::sharedApplication();
    if (keyCode && application)
        application->installHotKeyEvent(*keyCode, hotKeyModifiers(),
                                        [this](const HotKey::Press& press) {
                                            pressHotKey({press.timestamp, {}}, press.front);
                                        });
}

void MyObject::unInstallHotKey() {
    if (MainApplication* application = MainApplication::sharedApplication())
        application->unInstallHotKeyEvent();
}

void MyObject::pressHotKey(const Processes::Activation& activation,
                           std::optional<Processes::Application> seen) {
    const std::optional<Processes::Application> inFront = seen ? seen : Processes::frontmost();
    // Called up from our own window there is nothing to go back to.
    if (inFront && Processes::isCurrent(inFront->window)) {
        Alert::beep();
        return;
    }
    // Pressed again while the window manager passes the focus from the target to us, when no
    // window is active for a moment: the target stays.
    if (!inFront && _sendPSN) {
        Processes::activate(windowToActivate(), activation);
        return;
    }
    // With no window in front (an empty desktop, every window minimised, a window manager that
    // does not tell) the desktop is the target: a choice can only go onto the clipboard.
    const Processes::Application front = inFront.value_or(Processes::Application());
    _sendPSN = front;
    // A later press starts the wait anew: the wait of an earlier one must not end this one's.
    _comingToFront.start();
    const QByteArray name = front.name.toUtf8();
    _pasteWindow->setTitleStr(
        front.isDesktop() ? Strings::localized(QStringLiteral("PasteWindowTitleDesktop"))
                          : Strings::localizedFormat(QStringLiteral("PasteWindowTitleFront"),
                                                     {int(name.size()), name}));
    _pasteWindow->selectFirstRowIfNone();
    // The press's own time, or the token of the binding's command, lets the window manager give
    // us the focus at once.
    Processes::activate(windowToActivate(), activation);
}

QWidget* MyObject::windowToActivate() {
    QWidget* other = nullptr;
    if (showOnlyPasteWindow(true, other)) {
        _pasteWindow->showPasteWindow();
        return _pasteWindow->getWindow();
    }
    return other;
}

QList<QWidget*> MyObject::userWindows() {
    QList<QWidget*> windows = QApplication::topLevelWidgets();
    // The tray icon's window is one the window manager never sees, not one the user works in:
    // it neither counts as another window nor hides with them.
    windows.removeIf([](const QWidget* window) {
        return window->windowFlags().testFlag(Qt::BypassWindowManagerHint);
    });
    return windows;
}

bool MyObject::showOnlyPasteWindow(bool flag, QWidget*& window) const {
    window = nullptr;
    const QWidget* paste = _pasteWindow ? _pasteWindow->getWindow() : nullptr;
    for (QWidget* candidate : userWindows()) {
        if (!candidate->isVisible() || candidate == paste ||
            (flag && candidate == _preferencesWindow.get()))
            continue;
        window = candidate;
        return false;
    }
    return true;
}

void MyObject::applicationWillBecomeActive() {
    // One of our menus taking the keyboard (the tray icon's, opened over another program) is
    // not the user coming to us: a paste window brought up now would close the menu at once.
    if (const QWindow* focus = QGuiApplication::focusWindow(); focus && focus->type() == Qt::Popup)
        return;
    _comingToFront.stop();
    QWidget* other = nullptr;
    if (showOnlyPasteWindow(true, other))
        _pasteWindow->showPasteWindow();
    else if (!_pasteWindow->isWindowVisible())
        _pasteWindow->pasteWindowOrderBack(other);
}

void MyObject::activationSettled() {
    // Qt never saw us leave (our activation overtook the notice of the lost focus), or a loss
    // of the focus since the press was set aside: what Qt reports now holds.
    if (QGuiApplication::applicationState() != Qt::ApplicationActive)
        applicationWillResignActive();
}

void MyObject::applicationWillResignActive() {
    // The window system tells of a lost focus a little late: by then the hot key may be
    // bringing us back, and the target it remembered must stay.
    if (_comingToFront.isActive())
        return;
    if (_bBackHide) {
        for (QWidget* window : userWindows())
            window->hide();
    }
    _pasteWindow->setTitleStr(Strings::localized(QStringLiteral("PasteWindowTitleBack")));
    resetSendPSN();
}

bool MyObject::frontmostSendPSN() {
    if (!_sendPSN)
        return false;
    const Processes::Application target = *std::exchange(_sendPSN, std::nullopt);
    // The desktop is in front again as soon as our window goes.
    return target.isDesktop() || Processes::bringToFront(target.window);
}

bool MyObject::writeToPasteboard(const PasteData& data, bool alsoPrimary) {
    const QList<PasteboardEntry> entries = data.pasteboardEntries(_pasteWindow->pasteStatus());
    if (entries.isEmpty())
        return false;
    // Our own write is no new content; a change made by another program after it still is.
    const std::optional<qint64> written = _pb->write(entries, alsoPrimary);
    if (written)
        _pbCount = *written;
    return written.has_value();
}

bool MyObject::doPasteCommand(const PasteData& data) {
    const std::optional<Processes::Application> target = _sendPSN;
    const KeyEvents::Paste keystroke =
        target ? KeyEvents::pasteKeystroke(target->windowClass, target->instance)
               : KeyEvents::Paste::ControlV;
    // With nothing written the keystroke would paste whatever was there before.
    if (!writeToPasteboard(data, KeyEvents::pastesPrimary(keystroke)))
        return false;
    if (!target || !frontmostSendPSN())
        return false;
    // Nothing on the desktop takes a keystroke: the clipping waits on the clipboard.
    if (target->isDesktop())
        return true;
    // Another window in the target's place (a dialog that came up over it), keys the user keeps
    // down, or a desktop that makes no keystrokes: the clipping waits on the clipboard, and the
    // user hears that nothing was pasted.
    if (!KeyEvents::sendPaste(keystroke, target->window)) {
        Alert::beep();
        return false;
    }
    return true;
}
