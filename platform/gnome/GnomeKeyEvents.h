#pragma once

#include "platform/KeyEvents.h"

#include <memory>

class GnomeShell;

// The paste keystroke through a virtual keyboard of the shell, which Kelvrin's extension presses
// only while the target has the keyboard. The shell reads the keys as keysyms and finds them on
// the user's layout itself.
class GnomeKeyEvents : public KeyEvents::Backend {
public:
    // clipboardOnX11: Kelvrin writes the X11 clipboard, which the shell takes over for Wayland
    // programs only a moment later; the keys then wait for it.
    GnomeKeyEvents(std::shared_ptr<GnomeShell> shell, bool clipboardOnX11);

    // Asks the shell for the keystroke and returns true at once; a beep tells when the target did
    // not come to the front within half a second, or another window took the keyboard.
    bool sendPaste(KeyEvents::Paste keystroke, quint32 target) override;

private:
    std::shared_ptr<GnomeShell> _shell;
    bool _clipboardOnX11;
};
