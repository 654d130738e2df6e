#include "platform/wayland/wlroots/WlrootsHotKey.h"

#include "platform/Strings.h"

bool WlrootsHotKey::install(quint8 keyCode, quint16 modifierMask, HotKey::Receiver) {
    // Every change of the preferences installs anew; the user needs telling once.
    static bool told = false;
    if (std::exchange(told, true))
        return false;
    // sway reads the combination as this desktop names it.
    const QString combination = HotKey::describe(keyCode, modifierMask);
    warn(Strings::format(QStringLiteral("Wayland lets no program have the hot key %@: bind a key "
                                        "of the compositor to the command kelvrin --paste-window "
                                        "instead (sway: bindsym %@ exec kelvrin --paste-window)"),
                         {combination, combination}));
    return false;
}
