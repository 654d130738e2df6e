#pragma once

#include "platform/KeyEvents.h"

// The paste keystroke through XTest, once the user has let go of every modifier key: the server
// would add a held one to ours.
class X11KeyEvents : public KeyEvents::Backend {
public:
    // First waits, at most a second, until the user has let go of every modifier key. False,
    // with nothing sent, when the server has no XTest or a modifier stays down.
    bool sendPaste(KeyEvents::Paste keystroke) override;
};
