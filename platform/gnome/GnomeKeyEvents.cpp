#include "platform/gnome/GnomeKeyEvents.h"

#include "platform/gnome/GnomeShell.h"

#include <QDeadlineTimer>
#include <QThread>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

// The target comes to the front in a few milliseconds once asked; if it has not by then, the
// keys would land elsewhere.
constexpr int kTargetTimeoutMs = 500;
constexpr int kLookEveryMs = 5;

quint32 keysymOf(KeyEvents::Key key) {
    switch (key) {
    case KeyEvents::Key::Control:
        return XKB_KEY_Control_L;
    case KeyEvents::Key::Shift:
        return XKB_KEY_Shift_L;
    case KeyEvents::Key::V:
        return XKB_KEY_v;
    case KeyEvents::Key::Insert:
        return XKB_KEY_Insert;
    }
    return XKB_KEY_v;
}

} // namespace

GnomeKeyEvents::GnomeKeyEvents(std::shared_ptr<GnomeShell> shell) : _shell(std::move(shell)) {}

bool GnomeKeyEvents::sendPaste(KeyEvents::Paste keystroke, quint32 target) {
    const QDeadlineTimer deadline(kTargetTimeoutMs);
    for (;;) {
        const std::optional<GnomeShell::Window> front = _shell->active();
        if (front && front->id == target)
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kLookEveryMs);
    }
    std::vector<quint32> keysyms;
    for (const KeyEvents::Key key : KeyEvents::keysOf(keystroke))
        keysyms.push_back(keysymOf(key));
    // The extension checks the target again as it presses: nothing goes to a window that took
    // the keyboard in between.
    return _shell->pressKeys(target, keysyms);
}
