#pragma once

#include "platform/HotKey.h"

#include <memory>

class GnomeShell;

// The hot key held by the shell for Kelvrin, through its extension: each press comes back with
// the window that had the keyboard.
class GnomeHotKey : public HotKey::Backend {
public:
    explicit GnomeHotKey(std::shared_ptr<GnomeShell> shell);
    // Lets go of the combination, so that a new one, or another program, can have it.
    ~GnomeHotKey() override;

    bool install(quint8 keyCode, quint16 modifierMask, HotKey::Receiver receiver) override;

    // The combination as GTK writes accelerators ("<Control>Down"); empty for a key code outside
    // the preferences' keys.
    static QString accelerator(quint8 keyCode, quint16 modifierMask);

private:
    std::shared_ptr<GnomeShell> _shell;
    bool _held = false;
};
