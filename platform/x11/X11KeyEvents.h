#pragma once

#include "platform/KeyEvents.h"

// The paste keystroke through XTest, once the user has let go of every modifier key (the server
// would add a held one to ours), and only while the target is the window manager's active
// window.
class X11KeyEvents : public KeyEvents::Backend {
public:
    // First waits, at most a second, until the user has let go of every modifier key. False,
    // with nothing sent, when the server has no XTest, a modifier stays down, or the target is
    // not the active window then.
    bool sendPaste(KeyEvents::Paste keystroke, quint32 target) override;
};
