#pragma once

#include "platform/HotKey.h"

// A Wayland compositor lets no program grab a key for itself: the hot key never installs, and
// the user is told once to bind a key of the compositor to the paste-window command, which
// does what the hot key does. A desktop portal's global shortcuts would come in here.
class WlrootsHotKey : public HotKey::Backend {
public:
    bool grabs() const override { return false; }
    bool install(quint8 keyCode, quint16 modifierMask, HotKey::Receiver) override;
};
