#include "platform/gnome/GnomeKeyEvents.h"

#include "platform/Alert.h"
#include "platform/gnome/GnomeShell.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

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

GnomeKeyEvents::GnomeKeyEvents(std::shared_ptr<GnomeShell> shell, bool clipboardOnX11)
    : _shell(std::move(shell)), _clipboardOnX11(clipboardOnX11) {}

bool GnomeKeyEvents::sendPaste(KeyEvents::Paste keystroke, quint32 target) {
    std::vector<quint32> keysyms;
    for (const KeyEvents::Key key : KeyEvents::keysOf(keystroke))
        keysyms.push_back(keysymOf(key));
    // The shell presses the keys once the target is in front and our clipboard has reached the
    // Wayland programs, which through XWayland takes our own answers to the shell's questions
    // about it: Kelvrin does not wait, and the user hears when the keys did not go.
    _shell->pressKeys(target, keysyms, _clipboardOnX11, [](bool sent) {
        if (!sent)
            Alert::beep();
    });
    return true;
}
